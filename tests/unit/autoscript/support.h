// Test support for the AutoScript tests: a window that stands in for the
// progress dialog and records every caption, text and bar position it is
// given; the AutoScript log read back; real files in the working directory.
#ifndef HRX_TESTS_AUTOSCRIPT_SUPPORT_H
#define HRX_TESTS_AUTOSCRIPT_SUPPORT_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "testfiles.h"

// The progress dialog's stand-in: caption "Dialog", statics
// IDC_PROGRESS_FILE, IDC_PROGRESS_FROM_TO and IDC_PROGRESS_ESTIMATE, and
// IDC_PROGRESS_BAR.  Events are recorded in order as "caption TEXT",
// "<static's id> TEXT" with the id in decimal ("1008 TEXT"), "bar N",
// "cancel" (a WM_COMMAND IDCANCEL) and "command N" (another WM_COMMAND, as
// the main window gets them when the stand-in is made the run's owner).
// onBar runs after each bar position is recorded, on the window's thread,
// as a user's Cancel would.
struct ProgressStandIn {
    HWND dialog = NULL;
    std::vector<std::string> events;
    std::function<void(int percent)> onBar;

    ProgressStandIn();
    ~ProgressStandIn();
    std::string Caption() const;
    std::string Text(int id) const;
    int Bar() const;
    // Sets the texts and the bar without recording, to see what is cleared.
    void Prefill(const char *text, int percent);
    std::vector<std::string> EventsStartingWith(const std::string &prefix) const;
};

// Runs AutoScriptThread on a thread of its own while this thread serves
// the stand-in's messages, as the dialog's modal loop does, and waits for
// the tray moves it asked for.
void RunAutoScriptThread();
// Runs a function on a worker thread while this thread serves messages.
void RunOnWorker(const std::function<void()> &work);

// The AutoScript log of the test: set as logPath and emptied.
extern const char *const kLogFile;
void ResetAutoScript(HWND dialog);
// The messages of the log; each line's stamp is checked for the form
// "dd/mm/yy hh:mm:ss - " and its end for CR LF.
Lines LogMessages();

std::string Pattern(size_t size, unsigned seed);
DWORD Attributes(const std::string &path);
// "\\?\" and the absolute path (ASCII), for paths longer than MAX_PATH.
std::wstring LongPath(const std::string &path);
// Removes a file or a directory tree, whatever its attributes and length.
void RemoveTree(const std::string &path);
void MakeDirectory(const std::string &path);
// Names of the files in a directory, sorted.
Lines FilesIn(const std::string &directory);

#endif
