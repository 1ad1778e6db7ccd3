// The About box, the splash window and the AutoScript progress dialog,
// driven through the window system from this thread's own modal loops.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include <regex>
#include <string>
#include <vector>

#include "autoscript/autoscript.h"
#include "fake_autoscript.h"
#include "ui/resource.h"
#include "ui/ui.h"
#include "ui_fixture.h"

namespace {

const char aboutTitle[] = "About Halcyra.hrx";
const DWORD closerDelayMs = 100;

std::vector<std::string> ListLines(HWND list)
{
    std::vector<std::string> lines;
    LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        char text[256] = "";
        SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(text));
        lines.push_back(text);
    }
    return lines;
}

// The three ways a user closes a dialog without its own buttons' help.
enum Closing { PRESS_DEFAULT_BUTTON, ESCAPE_KEY, CLOSE_BOX };

void Close(HWND dialog, Closing how, int buttonId)
{
    switch (how) {
    case PRESS_DEFAULT_BUTTON:
        PostMessageA(GetDlgItem(dialog, buttonId), BM_CLICK, 0, 0);
        break;
    case ESCAPE_KEY:
        PostMessageA(GetFocus() ? GetFocus() : dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        break;
    case CLOSE_BOX:
        PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
}

TEST(AboutBox, ListsProductVersionBuildAndCreditsAndClosesWithOne)
{
    struct {
        int line;
        Closing how;
    } cases[] = {{__LINE__, PRESS_DEFAULT_BUTTON}, {__LINE__, ESCAPE_KEY}, {__LINE__, CLOSE_BOX}};
    RecordWindow main = CreateTestMainWindow();
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "case at line " << c.line);
        std::vector<std::string> lines;
        bool found = false;
        RunLater(closerDelayMs, [&] {
            HWND dialog = FindThreadDialog(aboutTitle);
            found = dialog != NULL;
            if (!dialog)
                return;
            lines = ListLines(GetDlgItem(dialog, IDC_ABOUT_LIST));
            Close(dialog, c.how, IDOK);
        });
        INT_PTR result = DialogBoxParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_ABOUT), main.hwnd,
                                         AboutDialogProc, 0);
        ASSERT_TRUE(found);
        EXPECT_EQ(result, 1);
        ASSERT_GE(lines.size(), 8u);
        EXPECT_EQ(lines[0], "Halcyra.hrx");
        EXPECT_EQ(lines[1], "Ver 1.25 Rev B");
        EXPECT_TRUE(std::regex_match(lines[2], std::regex("[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{4}"))) << lines[2];
        EXPECT_TRUE(std::regex_match(lines[3], std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2}"))) << lines[3];
        EXPECT_EQ(lines[4], "");
        // Credits: sections of a heading and indented entries, one empty
        // line between sections.
        size_t i = 5;
        int sections = 0;
        while (i < lines.size()) {
            SCOPED_TRACE(testing::Message() << "credits line " << i);
            ASSERT_FALSE(lines[i].empty());
            EXPECT_NE(lines[i][0], ' ') << "heading " << lines[i];
            size_t entries = 0;
            for (i++; i < lines.size() && !lines[i].empty(); i++, entries++)
                EXPECT_EQ(lines[i][0], ' ') << "entry " << lines[i];
            EXPECT_GE(entries, 1u);
            sections++;
            if (i < lines.size())
                i++;
        }
        EXPECT_GE(sections, 3);
    }
    DestroyTestMainWindow(main);
}

// Centred on the screen, the size of its picture, gone at the first timer
// message 3.5 s after it was made; a timer of another id does nothing.
TEST(Splash, ShowsCentredAndClosesItselfAfterItsTimer)
{
    RecordWindow main = CreateTestMainWindow();
    DWORD created = GetTickCount();
    ShowSplash(main.hwnd);
    HWND splash = GetWindow(main.hwnd, GW_ENABLEDPOPUP);
    if (!splash)
        splash = FindThreadDialog("");
    ASSERT_TRUE(splash != NULL);
    EXPECT_EQ(GetWindow(splash, GW_OWNER), main.hwnd);
    EXPECT_TRUE(IsWindowVisible(splash));
    RECT r;
    GetWindowRect(splash, &r);
    EXPECT_EQ(r.right - r.left, 311);
    EXPECT_EQ(r.bottom - r.top, 179);
    EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 311) / 2);
    EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 179) / 2);

    SendMessageA(splash, WM_TIMER, IDT_SPLASH + 1, 0);
    EXPECT_TRUE(IsWindow(splash));
    EXPECT_TRUE(PumpUntil([&] { return !IsWindow(splash); }, SPLASH_MS + 2000));
    DWORD lived = GetTickCount() - created;
    EXPECT_GE(lived, (DWORD)SPLASH_MS - 20);
    EXPECT_LT(lived, (DWORD)SPLASH_MS + 1500);
    DestroyTestMainWindow(main);
}

class ProgressDialog : public testing::Test {
protected:
    void SetUp() override
    {
        main = CreateTestMainWindow();
        autoScript.active = 0;
        autoScript.progressDialog = NULL;
        memset(autoScript.logPath, 'z', sizeof autoScript.logPath);
        autoScript.logPath[sizeof autoScript.logPath - 1] = '\0';
    }
    void TearDown() override
    {
        PumpUntil([] { return fakeWorker.finished.load(); }, 6000);
        DestroyTestMainWindow(main);
    }
    RecordWindow main;
};

struct OpenState {
    bool found = false;
    std::string caption, file, fromTo, estimate;
    LRESULT position = -1;
    LONG active = -1;
    HWND dialog = NULL, progressDialog = NULL;
};

OpenState ReadOpenDialog()
{
    OpenState state;
    HWND dialog = FindThreadDialog("Dialog");
    state.found = dialog != NULL;
    if (!dialog)
        return state;
    state.dialog = dialog;
    state.caption = WindowTextOf(dialog);
    state.file = ControlText(dialog, IDC_PROGRESS_FILE);
    state.fromTo = ControlText(dialog, IDC_PROGRESS_FROM_TO);
    state.estimate = ControlText(dialog, IDC_PROGRESS_ESTIMATE);
    state.position = SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_GETPOS, 0, 0);
    state.active = autoScript.active;
    state.progressDialog = autoScript.progressDialog;
    return state;
}

// Opens with empty texts and the bar at 0, with the run active and the
// worker started; the Cancel button, Esc and the close box all cancel it.
TEST_F(ProgressDialog, OpensEmptyStartsTheWorkerAndCancelsWhenClosed)
{
    struct {
        int line;
        Closing how;
    } cases[] = {{__LINE__, PRESS_DEFAULT_BUTTON}, {__LINE__, ESCAPE_KEY}, {__LINE__, CLOSE_BOX}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "case at line " << c.line);
        ResetFakeWorker(false);
        OpenState open;
        RunLater(closerDelayMs, [&] {
            PumpUntil([] { return fakeWorker.starts.load() > 0; }, 2000);
            open = ReadOpenDialog();
            if (open.found)
                Close(open.dialog, c.how, IDCANCEL);
        });
        RunAutoScriptDialog(main.hwnd);
        ASSERT_TRUE(open.found);
        EXPECT_EQ(open.caption, "Dialog");
        EXPECT_EQ(open.file, "");
        EXPECT_EQ(open.fromTo, "");
        EXPECT_EQ(open.estimate, "");
        EXPECT_EQ(open.position, 0);
        EXPECT_EQ(open.active, 1);
        EXPECT_EQ(open.progressDialog, open.dialog);
        EXPECT_EQ(autoScript.active, 0);
        EXPECT_FALSE(IsWindow(open.dialog));
        EXPECT_STREQ(autoScript.logPath, main.record->settings.traceFile);
        ASSERT_TRUE(PumpUntil([] { return fakeWorker.finished.load(); }, 6000));
        EXPECT_EQ(fakeWorker.starts, 1);
        EXPECT_EQ(fakeWorker.activeAtStart, 1);
        EXPECT_EQ(fakeWorker.dialogAtStart, open.dialog);
        EXPECT_TRUE(fakeWorker.sawCancel);
    }
}

// The worker ends the run by posting Cancel once its script is done.
TEST_F(ProgressDialog, ClosesOnTheCancelTheWorkerPosts)
{
    ResetFakeWorker(true);
    DWORD start = GetTickCount();
    RunAutoScriptDialog(main.hwnd);
    EXPECT_LT(GetTickCount() - start, 3000u);
    EXPECT_EQ(fakeWorker.starts, 1);
    EXPECT_EQ(autoScript.active, 0);
}

}  // namespace
