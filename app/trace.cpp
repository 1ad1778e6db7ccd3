// Trace log writer and trimmer, file times and durations.  WriteTrace runs
// on the main thread and on the serial receive thread without a lock: each
// line opens the file for appending, writes once and closes it, so lines of
// different threads interleave whole.  Lines a thread holds stay in its own
// record until it writes them.
#include "app/trace.h"

#include <atomic>

#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/instance.h"
#include "app/tempfile.h"
#include "app/text.h"

#define TRACE_LINE_MAX 2048
#define TRIM_PIECE_SIZE 256
#define TRACE_OPEN_SPIN_ATTEMPTS 20
#define TRACE_OPEN_WAIT_MS 20
#define TRACE_HOLD_SIZE 4096
#define DEVICE_NAME_MAX 8   // the longest device name, "CONOUT$", and a terminator
// FILETIME counts 100 ns ticks from 1601 (UTC).
#define FILETIME_TICKS_PER_SECOND 10000000LL
#define FILETIME_1970 116444736000000000LL

namespace {

// Names that Windows gives devices in every folder, whatever extension
// follows them: COM1 to COM9 and LPT1 to LPT9 besides these.
const char *const kDeviceNames[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};

// A trace log is a file on a disk.  A path that names a device (a serial
// port, a printer, the console) is never opened: the trimmer would wait
// for a serial port's bytes without end, the writer would send its lines
// out on the port, or wait for the port the player holds.
bool NamesDevice(const char *path)
{
    if (strncmp(path, "\\\\.\\", 4) == 0)
        return true;
    const char *name = path + FolderLength(path, ANY_COLON);
    size_t length = strcspn(name, ".");
    while (length > 0 && name[length - 1] == ' ')
        length--;
    if (length == 0 || length >= DEVICE_NAME_MAX)
        return false;
    char base[DEVICE_NAME_MAX];
    memcpy(base, name, length);
    base[length] = '\0';
    for (const char *device : kDeviceNames) {
        if (_stricmp(base, device) == 0)
            return true;
    }
    return length == 4 && (_strnicmp(base, "COM", 3) == 0 || _strnicmp(base, "LPT", 3) == 0) && base[3] >= '1' &&
           base[3] <= '9';
}

bool IsDiskFile(HANDLE file)
{
    return GetFileType(file) == FILE_TYPE_DISK;
}

double MillisecondsSince(const LARGE_INTEGER &start, const LARGE_INTEGER &frequency)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)(now.QuadPart - start.QuadPart) * 1000.0 / (double)frequency.QuadPart;
}

// Opens the file to append one line.  Other writers are shut out while the
// line is written (readers such as Notepad are not): Wine places an
// "append" at the end it saw at the time, so two writers at once could put
// their lines at the same place.  A writer that finds the file busy (the
// player's other thread, for a moment) tries again at once a few times,
// then after short pauses, for at most 20 ms in all, and then drops its
// line: a program that holds the log for writing must not hold up the
// answers to the controller.  A pause is taken only while the longest one
// so far still fits in what is left, since Sleep(1) lasts up to a timer
// tick (10 to 16 ms) on Windows.
HANDLE OpenForAppend(const char *path)
{
    if (NamesDevice(path))
        return INVALID_HANDLE_VALUE;
    LARGE_INTEGER frequency, start;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    double longestPause = 0;
    for (int attempt = 0;; attempt++) {
        HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, NULL, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE && !IsDiskFile(file)) {
            CloseHandle(file);
            return INVALID_HANDLE_VALUE;
        }
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION)
            return file;
        if (attempt < TRACE_OPEN_SPIN_ATTEMPTS) {
            Sleep(0);
            continue;
        }
        double before = MillisecondsSince(start, frequency);
        if (before + longestPause >= TRACE_OPEN_WAIT_MS)
            return INVALID_HANDLE_VALUE;
        Sleep(1);
        double pause = MillisecondsSince(start, frequency) - before;
        if (pause > longestPause)
            longestPause = pause;
    }
}

// Writes whole lines at the end of the file, which no other writer can
// move while the file is open.  Lines the disk has no room for are dropped
// whole: the part of them that was written is cut off again, so that the
// next line does not run on from a torn one.
void AppendWholeLines(HANDLE file, const char *lines, DWORD length)
{
    LARGE_INTEGER end = {};
    if (!GetFileSizeEx(file, &end) || !SetFilePointerEx(file, end, NULL, FILE_BEGIN))
        return;
    DWORD written = 0;
    if (WriteFile(file, lines, length, &written, NULL) && written == length)
        return;
    if (written > 0 && SetFilePointerEx(file, end, NULL, FILE_BEGIN))
        SetEndOfFile(file);
}

void AppendToFile(const char *path, const char *lines, DWORD length)
{
    HANDLE file = OpenForAppend(path);
    if (file != INVALID_HANDLE_VALUE) {
        AppendWholeLines(file, lines, length);
        CloseHandle(file);
    }
}

// The lines one thread holds for one file, one after the other, each with
// its line end.  Only the holding thread touches anything but its id.
struct HeldLines {
    std::atomic<DWORD> thread;  // 0 while no thread holds its lines
    char path[MAX_PATH];
    char text[TRACE_HOLD_SIZE];
    size_t length;
};

HeldLines held;

void WriteHeld()
{
    if (held.length > 0)
        AppendToFile(held.path, held.text, (DWORD)held.length);
    held.length = 0;
}

// Keeps the line when the calling thread holds its lines; what is held goes
// out first when the line is for another file or would not fit.  False
// when the line is to be written at once.
bool HoldLine(const char *path, const char *line, size_t length)
{
    if (held.thread != GetCurrentThreadId())
        return false;
    if (held.length > 0 && (strcmp(held.path, path) != 0 || held.length + length > sizeof held.text))
        WriteHeld();
    if (length > sizeof held.text || !CopyText(held.path, sizeof held.path, path))
        return false;
    memcpy(held.text + held.length, line, length);
    held.length += length;
    return true;
}

}  // namespace

void HoldTraceLines(void)
{
    held.length = 0;
    held.thread = GetCurrentThreadId();
}

void WriteHeldTraceLines(void)
{
    if (held.thread != GetCurrentThreadId())
        return;
    WriteHeld();
    held.thread = 0;
}

void AppendTraceLine(const char *path, const char *prefix, const char *message)
{
    size_t prefixLength = strlen(prefix), length = prefixLength + 2;
    for (const char *p = message; *p; p++)
        length += *p == '\n' ? 2 : 1;
    char small[TRACE_LINE_MAX];
    char *line = length <= sizeof small ? small : static_cast<char *>(malloc(length));
    if (!line)
        return;
    memcpy(line, prefix, prefixLength);
    char *out = line + prefixLength;
    for (const char *p = message; *p; p++) {
        if (*p == '\n')
            *out++ = '\r';
        *out++ = *p;
    }
    *out++ = '\r';
    *out++ = '\n';
    if (!HoldLine(path, line, length))
        AppendToFile(path, line, (DWORD)length);
    if (line != small)
        free(line);
}

int WriteTrace(HWND, const char *traceFile, const char *message)
{
    if (!traceFile || traceFile[0] == '\0')
        return 1;
    SYSTEMTIME now;
    GetLocalTime(&now);
    char prefix[64];
    snprintf(prefix, sizeof prefix, "%02u/%02u/%02u %02u:%02u:%02u.%3.3hu - ", now.wDay, now.wMonth,
             now.wYear % 100, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    AppendTraceLine(traceFile, prefix, message);
    return 1;
}

int WriteTraceF(HWND hwnd, const char *traceFile, const char *format, ...)
{
    char message[TRACE_LINE_MAX];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    return WriteTrace(hwnd, traceFile, message);
}

namespace {

struct Piece {
    Piece *next;
    char text[TRIM_PIECE_SIZE];
};

void FreePieces(Piece *first)
{
    while (first) {
        Piece *next = first->next;
        free(first);
        first = next;
    }
}

// Reads the file in pieces of at most 255 characters, each ending after a
// line feed or when full; returns the list and its count.
Piece *ReadPieces(FILE *file, long *count)
{
    Piece *first = NULL, **tail = &first;
    char text[TRIM_PIECE_SIZE];
    *count = 0;
    while (fgets(text, sizeof text, file)) {
        Piece *piece = static_cast<Piece *>(malloc(sizeof(Piece)));
        if (!piece)
            continue;
        memcpy(piece->text, text, sizeof text);
        piece->next = NULL;
        *tail = piece;
        tail = &piece->next;
        ++*count;
    }
    return first;
}

// Writes the pieces in text mode, as they were read, to the temporary file,
// and on to the disk; closes it.  False when not every byte got there.
bool WritePieces(HANDLE temp, const Piece *piece)
{
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(temp), _O_WRONLY | _O_TEXT);
    if (descriptor < 0) {
        CloseHandle(temp);
        return false;
    }
    FILE *file = _fdopen(descriptor, "w");
    if (!file) {
        _close(descriptor);
        return false;
    }
    for (; piece; piece = piece->next)
        fputs(piece->text, file);
    bool written = fflush(file) == 0 && !ferror(file) && FlushFileBuffers(temp);
    return fclose(file) == 0 && written;
}

// The kept lines go into a temporary file beside the log, which then takes
// the log's place: a crash or a full disk on the way leaves the old log
// whole, never a cut one.
void ReplaceWithPieces(const char *path, const Piece *first)
{
    char tempPath[2 * TEXT_FIELD_SIZE];
    HANDLE temp = CreateTempBeside(path, tempPath, sizeof tempPath);
    if (temp == INVALID_HANDLE_VALUE)
        return;
    if (!WritePieces(temp, first) || !MoveTempInPlace(tempPath, path))
        DeleteFileA(tempPath);
}

}  // namespace

extern "C" int __cdecl TrimFile(HWND, const char *path, int maxLines)
{
    if (!path || path[0] == '\0' || NamesDevice(path))
        return 0;
    FILE *file = fopen(path, "r");
    if (!file)
        return 0;
    if (!IsDiskFile(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))))) {
        fclose(file);
        return 0;
    }
    long count;
    Piece *first = ReadPieces(file, &count);
    fclose(file);
    long keep = maxLines < 0 ? 0 : maxLines;
    if (count > keep) {
        Piece *piece = first;
        for (long skip = count - keep; skip > 0; skip--)
            piece = piece->next;
        ReplaceWithPieces(path, piece);
    }
    FreePieces(first);
    return 0;
}

// The last-write time as the file system keeps it, in UTC: the C
// runtime's stat converts through today's local offset on Windows, so at a
// change to or from daylight-saving time every file would seem rewritten.
extern "C" long __cdecl FileTime(const char *path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    ULONGLONG ticks = ((ULONGLONG)data.ftLastWriteTime.dwHighDateTime << 32) | data.ftLastWriteTime.dwLowDateTime;
    return (long)(((LONGLONG)ticks - FILETIME_1970) / FILETIME_TICKS_PER_SECOND);
}

int FormatDuration(DWORD milliseconds, char *out, size_t size)
{
    DWORD seconds = milliseconds / 1000;
    DWORD minutes = seconds / 60;
    DWORD hours = minutes / 60;
    int n = snprintf(out, size, "%.2lu:%.2lu:%.2lu.%.2lu", hours % 24, minutes % 60, seconds % 60,
                     (milliseconds % 1000) / 10);
    if (n < 0)
        return 0;
    return size == 0 ? 0 : (size_t)n < size ? n : (int)size - 1;
}
