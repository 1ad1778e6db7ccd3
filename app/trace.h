// Trace log: one time-stamped line per event, opened, appended and closed
// for every line (main thread and serial receive thread); trimming, file
// times and durations.
#ifndef HRX_APP_TRACE_H
#define HRX_APP_TRACE_H

#include <windows.h>
#include <stddef.h>

// Appends prefix, message and a line end to a file in one write, each line
// feed stored as CR LF.  Lines of different threads and writers never
// overlap.  A file that cannot be opened loses the line (one that another
// program holds for writing, after at most 20 ms); so does a disk without
// room for all of it (no part of the line stays in the file), and a path
// that names a device (COM2, \\.\COM3, LPT1.txt) is never opened.
void AppendTraceLine(const char *path, const char *prefix, const char *message);

// From now on the calling thread's lines, each stamped when it is written,
// are held back until WriteHeldTraceLines writes them, in their order and
// in one go; a line for another file, or one that the hold has no room
// for, first writes what is held.  One thread at a time holds its lines:
// the LDP interpreter, so that its answer does not wait for the log file.
void HoldTraceLines(void);
// Writes the lines the calling thread holds and ends its hold.
void WriteHeldTraceLines(void);

// Appends "dd/mm/yy hh:mm:ss.mmm - message".  Returns 1 in every case.
int WriteTrace(HWND hwnd, const char *traceFile, const char *message);

// Writes a trace line composed with a printf format into a buffer of the
// caller's thread.
int WriteTraceF(HWND hwnd, const char *traceFile, const char *format, ...)
    __attribute__((format(printf, 3, 4)));

extern "C" {
// Cuts a text file down to its last maxLines lines, through a temporary
// file that replaces it only once written whole (on failure the file stays
// as it was); a device is left alone.  Returns 0.
int __cdecl TrimFile(HWND hwnd, const char *path, int maxLines);
// Last modification time in seconds since 1970 (UTC), 0 when unreadable.
long __cdecl FileTime(const char *path);
}

// "hh:mm:ss.cc" of a millisecond count, hours modulo 24.  Returns the
// number of characters written (never more than size - 1).
int FormatDuration(DWORD milliseconds, char *out, size_t size);

#endif
