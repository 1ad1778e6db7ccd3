// A window whose user data is an instance record, as start-up attaches the
// record to the main window, the fixture of tests that need one, and the
// window classes of the test programs (test thread).
#ifndef HRX_TESTS_SUPPORT_RECORDWINDOW_H
#define HRX_TESTS_SUPPORT_RECORDWINDOW_H

#include <gtest/gtest.h>
#include <windows.h>

#include "app/instance.h"

struct RecordWindow {
    HWND hwnd;
    InstanceRecord *record;
};

// Attaches a new zero-filled record, which names the window and this
// program, to the window; without one, to a message-only window made here.
RecordWindow CreateRecordWindow(HWND window = NULL);
// Destroys the window, then frees its record.
void DestroyRecordWindow(RecordWindow &window);
// Registers a window class of this program; registering it again changes
// nothing.
void RegisterWindowClass(const char *name, WNDPROC proc);

// Each test gets a record window of its own.
class RecordWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // The window the record is attached to; null for a message-only one.
    virtual HWND MakeWindow() { return NULL; }

    HWND hwnd = NULL;
    InstanceRecord *record = nullptr;
};

#endif
