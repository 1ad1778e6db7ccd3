// Token scanner: a text is handed over once, then asked for one token after
// another.  Its state belongs to the calling thread, so the AutoScript
// thread and the main thread scan at the same time undisturbed.
#include "app/tokens.h"

#include <windows.h>
#include <string.h>

#include "app/text.h"

namespace {

struct ScannerState {
    char buffer[TOKEN_BUFFER_SIZE];
    size_t length;
    size_t position;
};

// A Win32 thread-local slot holds each thread's state: the compiler's
// thread_local brings in a threads library that imports functions Windows
// XP lacks.
LONG volatile stateSlot = (LONG)TLS_OUT_OF_INDEXES;

DWORD StateSlot()
{
    if (stateSlot == (LONG)TLS_OUT_OF_INDEXES) {
        DWORD slot = TlsAlloc();
        LONG first = InterlockedCompareExchange(&stateSlot, (LONG)slot, (LONG)TLS_OUT_OF_INDEXES);
        if (first != (LONG)TLS_OUT_OF_INDEXES && slot != TLS_OUT_OF_INDEXES)
            TlsFree(slot);  // another thread was first
    }
    return (DWORD)stateSlot;
}

// Null when the thread has no state and create is false, or when Windows is
// out of slots or memory.
ScannerState *ThreadState(bool create)
{
    DWORD slot = StateSlot();
    if (slot == TLS_OUT_OF_INDEXES)
        return NULL;
    ScannerState *state = static_cast<ScannerState *>(TlsGetValue(slot));
    if (!state && create) {
        state = static_cast<ScannerState *>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof *state));
        if (state && !TlsSetValue(slot, state)) {
            HeapFree(GetProcessHeap(), 0, state);
            state = NULL;
        }
    }
    return state;
}

// The loader calls this for every thread of the process as it ends (the
// executable's thread-local callbacks), so an ended thread's state is freed.
void NTAPI FreeStateOfEndingThread(PVOID, DWORD reason, PVOID)
{
    if (reason != DLL_THREAD_DETACH || stateSlot == (LONG)TLS_OUT_OF_INDEXES)
        return;
    void *state = TlsGetValue((DWORD)stateSlot);
    if (state)
        HeapFree(GetProcessHeap(), 0, state);
}

__attribute__((used, section(".CRT$XLF"))) PIMAGE_TLS_CALLBACK freeStateCallback = FreeStateOfEndingThread;

bool IsDelimiter(char c, const char *delimiters)
{
    return c != '\0' && strchr(delimiters, c) != NULL;
}

}  // namespace

const char *SkipSpaces(const char *text)
{
    while (*text == ' ')
        text++;
    return text;
}

char *NextToken(const char *text, const char *delimiters)
{
    ScannerState *state = ThreadState(text != NULL);
    if (!state)
        return NULL;
    ScannerState &s = *state;
    if (text) {
        CopyText(s.buffer, sizeof s.buffer, text);
        s.length = strlen(s.buffer);
        s.position = 0;
    }
    if (s.position >= s.length)
        return NULL;
    size_t pos = s.position;
    while (IsDelimiter(s.buffer[pos], delimiters))
        pos++;
    size_t start = pos, end;
    char c = s.buffer[pos];
    if (c == '\'' || c == '"') {
        start = pos + 1;
        end = start;
        while (s.buffer[end] != '\0' && s.buffer[end] != c)
            end++;
    } else {
        end = start;
        while (s.buffer[end] != '\0' && !IsDelimiter(s.buffer[end], delimiters))
            end++;
    }
    s.buffer[end] = '\0';
    s.position = end + 1;
    return s.buffer + start;
}
