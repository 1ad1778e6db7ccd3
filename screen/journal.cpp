// The picture journal for tests: with SWMPEG_JOURNAL naming a file, one line
// per change of what a board shows, appended at once, fields separated by
// one blank, times in milliseconds since InitMPEG:
//   <board> P <picture> <ms> 0x<adler>   a picture put on screen, its planes'
//                                        Adler-32 as FFmpeg's framecrc prints it
//   <board> I <ms> <path>                a still shown
//   <board> B <ms>                       black: blanked, or a still unreadable
//   <board> V <ms>                       blanking off
//   <board> E <ms>                       a file ended, nothing queued
//   <board> Q <ms> <path>                a queued file began: the line of its
//                                        picture 0 follows
//   <board> S <ms> <seconds>             sound began, from that time on the
//                                        stream clock of the file on screen
//   <board> Z <ms>                       sound stopped
// Any thread: the workers write pictures and stills, the main thread
// blanking; one writer at a time.
#include <stdio.h>

#include "screen/swmpeg.h"

namespace {

#define JOURNAL_LINE_SIZE (MAX_PATH + 64)

struct Journal {
    bool lockMade;
    CRITICAL_SECTION lock;
    bool active;
    char path[MAX_PATH];
    LARGE_INTEGER origin;
    LARGE_INTEGER frequency;
};

Journal journal;

double MillisecondsSinceOpen(void)
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)(now.QuadPart - journal.origin.QuadPart) * 1000.0 / (double)journal.frequency.QuadPart;
}

// "<board> <kind> <before><ms><after>": the time is taken under the lock,
// so the lines stand in the order of their times.
void AppendLine(int board, char kind, const char *before, const char *after)
{
    if (!journal.active)
        return;
    EnterCriticalSection(&journal.lock);
    char line[JOURNAL_LINE_SIZE];
    int length = snprintf(line, sizeof line, "%d %c %s%.3f%s\n", board, kind, before, MillisecondsSinceOpen(), after);
    HANDLE file = CreateFileA(journal.path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD written;
        if (length > 0 && length < (int)sizeof line)
            WriteFile(file, line, (DWORD)length, &written, NULL);
        CloseHandle(file);
    }
    LeaveCriticalSection(&journal.lock);
}

}  // namespace

void JournalOpen(void)
{
    if (!journal.lockMade) {
        InitializeCriticalSection(&journal.lock);
        journal.lockMade = true;
    }
    DWORD length = GetEnvironmentVariableA(JOURNAL_ENV, journal.path, sizeof journal.path);
    journal.active = length > 0 && length < sizeof journal.path;
    QueryPerformanceFrequency(&journal.frequency);
    QueryPerformanceCounter(&journal.origin);
}

// Called once every thread that writes has ended.
void JournalClose(void)
{
    journal.active = false;
    if (journal.lockMade) {
        DeleteCriticalSection(&journal.lock);
        journal.lockMade = false;
    }
}

bool JournalActive(void)
{
    return journal.active;
}

void JournalPicture(int board, int picture, uint32_t adler)
{
    char before[16];
    char after[16];
    snprintf(before, sizeof before, "%d ", picture);
    snprintf(after, sizeof after, " 0x%08x", (unsigned)adler);
    AppendLine(board, 'P', before, after);
}

void JournalImage(int board, const char *path)
{
    char after[MAX_PATH + 2];
    snprintf(after, sizeof after, " %s", path);
    AppendLine(board, 'I', "", after);
}

void JournalQueued(int board, const char *path)
{
    char after[MAX_PATH + 2];
    snprintf(after, sizeof after, " %s", path);
    AppendLine(board, 'Q', "", after);
}

void JournalSound(int board, double seconds)
{
    char after[32];
    snprintf(after, sizeof after, " %.3f", seconds);
    AppendLine(board, 'S', "", after);
}

void JournalEvent(int board, char kind)
{
    AppendLine(board, kind, "", "");
}
