// A window that carries an instance record (see recordwindow.h).
#include "recordwindow.h"

RecordWindow CreateRecordWindow(HWND window)
{
    if (!window)
        window = CreateWindowExA(0, "STATIC", "record", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    InstanceRecord *record = new InstanceRecord();
    record->hInstance = GetModuleHandleA(NULL);
    record->hWnd = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
    return RecordWindow{window, record};
}

void DestroyRecordWindow(RecordWindow &window)
{
    if (window.hwnd)
        DestroyWindow(window.hwnd);
    delete window.record;
    window = RecordWindow{NULL, nullptr};
}

void RegisterWindowClass(const char *name, WNDPROC proc)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = name;
    RegisterClassA(&wc);
}

void RecordWindowTest::SetUp()
{
    RecordWindow window = CreateRecordWindow(MakeWindow());
    hwnd = window.hwnd;
    record = window.record;
    ASSERT_NE(hwnd, (HWND)NULL);
}

void RecordWindowTest::TearDown()
{
    RecordWindow window = {hwnd, record};
    DestroyRecordWindow(window);
    hwnd = NULL;
    record = nullptr;
}
