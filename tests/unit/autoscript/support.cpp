// Test support for the AutoScript tests: the progress dialog's stand-in,
// the log read back, the tray log and file helpers (test main thread).
#include "support.h"

#include <gtest/gtest.h>
#include <commctrl.h>
#include <stdio.h>

#include <algorithm>
#include <regex>

#include "autoscript/autoscript.h"
#include "recordwindow.h"
#include "app/cdtray.h"
#include "ui/resource.h"

const char *const kLogFile = "autoscript-log.txt";

namespace {

const char kStandInClass[] = "AutoScriptProgressStandIn";
ProgressStandIn *current;
bool recording = true;
WNDPROC staticProc, barProc;

void Record(const std::string &event)
{
    if (current && recording)
        current->events.push_back(event);
}

LRESULT CALLBACK StandInProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_SETTEXT)
        Record("caption " + std::string(reinterpret_cast<const char *>(lParam)));
    if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL)
        Record("cancel");
    else if (msg == WM_COMMAND)
        Record("command " + std::to_string(LOWORD(wParam)));
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_SETTEXT)
        Record(std::to_string(GetDlgCtrlID(hwnd)) + " " + reinterpret_cast<const char *>(lParam));
    return CallWindowProcA(staticProc, hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK BarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg != PBM_SETPOS)
        return CallWindowProcA(barProc, hwnd, msg, wParam, lParam);
    Record("bar " + std::to_string((int)wParam));
    LRESULT result = CallWindowProcA(barProc, hwnd, msg, wParam, lParam);
    if (current && recording && current->onBar)
        current->onBar((int)wParam);
    return result;
}

HWND Child(HWND parent, const char *cls, int id, int y)
{
    return CreateWindowExA(0, cls, "", WS_CHILD | WS_VISIBLE, 5, y, 300, 12, parent,
                           reinterpret_cast<HMENU>((INT_PTR)id), GetModuleHandleA(NULL), NULL);
}

DWORD WINAPI WorkerEntry(LPVOID work)
{
    (*static_cast<const std::function<void()> *>(work))();
    return 0;
}

void ServeMessages()
{
    MSG msg;
    while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

}  // namespace

ProgressStandIn::ProgressStandIn()
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    RegisterWindowClass(kStandInClass, StandInProc);
    dialog = CreateWindowExA(0, kStandInClass, "Dialog", WS_POPUP, 0, 0, 330, 80, NULL, NULL,
                             GetModuleHandleA(NULL), NULL);
    HWND file = Child(dialog, "STATIC", IDC_PROGRESS_FILE, 5);
    Child(dialog, "STATIC", IDC_PROGRESS_FROM_TO, 20);
    Child(dialog, "STATIC", IDC_PROGRESS_ESTIMATE, 35);
    HWND bar = Child(dialog, PROGRESS_CLASSA, IDC_PROGRESS_BAR, 50);
    staticProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(file, GWLP_WNDPROC));
    barProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrA(bar, GWLP_WNDPROC));
    for (int id : {IDC_PROGRESS_FILE, IDC_PROGRESS_FROM_TO, IDC_PROGRESS_ESTIMATE})
        SetWindowLongPtrA(GetDlgItem(dialog, id), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StaticProc));
    SetWindowLongPtrA(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BarProc));
    current = this;
}

ProgressStandIn::~ProgressStandIn()
{
    current = nullptr;
    DestroyWindow(dialog);
    ServeMessages();
}

std::string ProgressStandIn::Caption() const
{
    char text[256] = "";
    GetWindowTextA(dialog, text, sizeof text);
    return text;
}

std::string ProgressStandIn::Text(int id) const
{
    char text[1024];
    memset(text, 'x', sizeof text);
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

int ProgressStandIn::Bar() const
{
    return (int)SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0);
}

void ProgressStandIn::Prefill(const char *text, int percent)
{
    recording = false;
    for (int id : {IDC_PROGRESS_FILE, IDC_PROGRESS_FROM_TO, IDC_PROGRESS_ESTIMATE})
        SetDlgItemTextA(dialog, id, text);
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, (WPARAM)percent, 0);
    recording = true;
}

std::vector<std::string> ProgressStandIn::EventsStartingWith(const std::string &prefix) const
{
    std::vector<std::string> found;
    for (const std::string &event : events) {
        if (event.compare(0, prefix.size(), prefix) == 0)
            found.push_back(event);
    }
    return found;
}

void RunOnWorker(const std::function<void()> &work)
{
    HANDLE thread = CreateThread(NULL, 0, WorkerEntry, const_cast<std::function<void()> *>(&work), 0, NULL);
    ASSERT_NE(thread, nullptr);
    DWORD started = GetTickCount();
    for (;;) {
        DWORD wait = MsgWaitForMultipleObjects(1, &thread, FALSE, 1000, QS_ALLINPUT);
        if (wait == WAIT_OBJECT_0)
            break;
        ServeMessages();
        if (GetTickCount() - started > 120000) {
            ADD_FAILURE() << "the worker did not end within two minutes";
            break;
        }
    }
    CloseHandle(thread);
    ServeMessages();
}

void RunAutoScriptThread()
{
    RunOnWorker([] { AutoScriptThread(NULL); });
    EXPECT_TRUE(WaitForCdTray(CD_TRAY_STOP_WAIT_MS)) << "the run's tray moves are over";
}

void ResetAutoScript(HWND dialog)
{
    autoScript.active = 1;
    autoScript.progressDialog = dialog;
    snprintf(autoScript.logPath, sizeof autoScript.logPath, "%s", WorkPath(kLogFile).c_str());
    DeleteFileA(kLogFile);
}

Lines LogMessages()
{
    std::string text = ReadWholeFile(kLogFile);
    if (!text.empty() && !EndsWith(text, "\r\n"))
        ADD_FAILURE() << "the last log line has no CR LF: " << text;
    Lines messages;
    std::regex stamp("\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d - ");
    for (const std::string &line : SplitLines(text, "\r\n")) {
        if (line.size() < 20 || !std::regex_match(line.substr(0, 20), stamp))
            ADD_FAILURE() << "log line not in the form dd/mm/yy hh:mm:ss - message: " << line;
        else
            messages.push_back(line.substr(20));
    }
    return messages;
}

std::string Pattern(size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    unsigned state = seed * 2654435761u + 1;
    for (size_t i = 0; i < size; i++) {
        state = state * 1103515245u + 12345u;
        bytes[i] = (char)(state >> 16);
    }
    return bytes;
}

DWORD Attributes(const std::string &path)
{
    return GetFileAttributesA(path.c_str());
}

std::wstring LongPath(const std::string &path)
{
    std::string absolute = path.size() > 1 && path[1] == ':' ? path : WorkDirectory() + path;
    std::wstring wide(absolute.size(), L'\0');
    for (size_t i = 0; i < absolute.size(); i++)
        wide[i] = (unsigned char)absolute[i];
    return L"\\\\?\\" + wide;
}

static void RemoveTreeW(const std::wstring &path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path.c_str());
        return;
    }
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..")
                RemoveTreeW(path + L"\\" + name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(path.c_str());
}

void RemoveTree(const std::string &path)
{
    RemoveTreeW(LongPath(path));
}

void MakeDirectory(const std::string &path)
{
    CreateDirectoryA(path.c_str(), NULL);
    DWORD attributes = GetFileAttributesA(path.c_str());
    ASSERT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) << path;
}

Lines FilesIn(const std::string &directory)
{
    Lines names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}
