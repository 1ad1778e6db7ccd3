// The bench decoder's call journal: one line per SDK call, appended to the
// file RTDSIM_JOURNAL names and flushed at once, so a test or an operator
// can read it while the show runs; optionally time-stamped, so a bench can
// tell how often the player services a board.  One calling thread.
#include <windows.h>

#include <share.h>
#include <stdarg.h>
#include <stdio.h>

#include "sdk/rtdsim.h"

namespace {

FILE *journalFile;
bool journalChecked;  // RTDSIM_JOURNAL has been read since the last close
bool journalTimes;    // each line begins with the time of the call

bool TimesWanted()
{
    char text[4];
    DWORD length = GetEnvironmentVariableA(RTDSIM_JOURNAL_TIMES_ENV, text, sizeof text);
    return length == 1 && text[0] == '1';
}

double PerformanceMilliseconds()
{
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    return (double)count.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

FILE *OpenJournal()
{
    if (journalChecked)
        return journalFile;
    journalChecked = true;
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(RTDSIM_JOURNAL_ENV, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return NULL;
    journalFile = _fsopen(path, "ab", _SH_DENYNO);
    journalTimes = TimesWanted();
    return journalFile;
}

}  // namespace

void JournalLine(const char *format, ...)
{
    FILE *file = OpenJournal();
    if (!file)
        return;
    if (journalTimes)
        fprintf(file, "%.3f ", PerformanceMilliseconds());
    va_list args;
    va_start(args, format);
    vfprintf(file, format, args);
    va_end(args);
    fputc('\n', file);
    fflush(file);
}

void JournalClose(void)
{
    if (journalFile)
        fclose(journalFile);
    journalFile = NULL;
    journalChecked = false;
}
