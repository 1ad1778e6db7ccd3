// A stand-in for the AutoScript worker that the progress dialog starts: it
// notes what it saw and either waits for the run to be cancelled or ends
// the run at once, as the real worker does at the end of its script.
#ifndef HRX_TESTS_UNIT_UI_FAKE_AUTOSCRIPT_H
#define HRX_TESTS_UNIT_UI_FAKE_AUTOSCRIPT_H

#include <windows.h>

#include <atomic>

struct FakeWorker {
    std::atomic<bool> endRunAtOnce;   // post Cancel to the dialog at once
    std::atomic<int> starts;          // threads started
    std::atomic<LONG> activeAtStart;  // active when the thread began
    std::atomic<HWND> dialogAtStart;  // progressDialog when it began
    std::atomic<bool> sawCancel;      // active fell to 0 while it waited
    std::atomic<bool> finished;
};

extern FakeWorker fakeWorker;
void ResetFakeWorker(bool endRunAtOnce);

#endif
