// Helpers shared by the C++ test programs: whole files and their lines, the
// working directory, a fine clock, the environment, and what the bench rig
// records of the DTR lines and the CD tray (test thread).
#ifndef HRX_TESTS_SUPPORT_TESTFILES_H
#define HRX_TESTS_SUPPORT_TESTFILES_H

#include <string>
#include <vector>

using Lines = std::vector<std::string>;

// The bytes of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string &path);
// Makes the bytes the whole file.  A file that cannot be written fails the
// test; the result tells whether every byte was written.
bool WriteWholeFile(const std::string &path, const std::string &bytes);
bool Exists(const std::string &path);
// Sets a file's modification time, in 100 ns ticks since 1601 (UTC).
bool SetModificationTime(const std::string &path, unsigned long long ticks);

// The lines of a text, each ended by `end`; a last line without it counts.
Lines SplitLines(const std::string &text, const char *end = "\n");
bool EndsWith(const std::string &text, const std::string &end);
// A trace line's message, the line without its stamp "dd/mm/yy hh:mm:ss.mmm
// - ".  A line whose stamp is malformed is kept whole, so that a comparison
// fails.
std::string TraceMessage(const std::string &line);
// Today's date as trace and log lines begin with it: "dd/mm/yy ".
std::string TodayStamp();
// The lines of a file with their ends (LF or CR LF) and trace stamps taken
// off; the file is deleted, so the next call sees only what came since.
Lines TakeLines(const std::string &path);

// The working directory with a trailing backslash, and a name in it.
std::string WorkDirectory();
std::string WorkPath(const std::string &name);
// A steady clock in milliseconds, finer than the ticks of GetTickCount.
double ClockMs();
// An environment variable's value; empty when it is not set.
std::string EnvironmentText(const char *name);

// "DTR=1" or "DTR=0" as the bench rig's pty shim last saw the DTR line of
// COM<com> set; empty when the rig names no file for the port or nothing
// was written yet.
std::string DtrOfPort(int com);

// The CD tray's requests ("open", "set door open", "close") as the bench
// rig's fake cdaudio driver logs them into a file of the working directory.
// ResetTrayLog starts the log afresh; TrayRequests takes what came since.
void ResetTrayLog();
Lines TrayRequests();

#endif
