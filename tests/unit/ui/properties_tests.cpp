// The property sheet run in-process: Cancel leaves the record as it was,
// OK replaces its settings as a whole and saves them; the AutoScript poll
// timer runs again either way.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <shlwapi.h>
#include <string.h>

#include <string>

#include "app/app.h"
#include "app/settings.h"
#include "board/mpegdrv.h"
#include "ui/resource.h"
#include "ui/ui.h"
#include "ui_fixture.h"

namespace {

const DWORD closerDelayMs = 100;

struct ControlSearch {
    int id;
    HWND found;
};

BOOL CALLBACK MatchControl(HWND hwnd, LPARAM param)
{
    ControlSearch *search = reinterpret_cast<ControlSearch *>(param);
    if (GetDlgCtrlID(hwnd) != search->id)
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

HWND FindControl(HWND sheet, int id)
{
    ControlSearch search = {id, NULL};
    EnumChildWindows(sheet, MatchControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void Choose(HWND sheet, int id, const char *text)
{
    HWND list = FindControl(sheet, id);
    LRESULT index = SendMessageA(list, CB_FINDSTRINGEXACT, (WPARAM)-1, reinterpret_cast<LPARAM>(text));
    SendMessageA(list, CB_SETCURSEL, index, 0);
    SendMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

void Type(HWND sheet, int id, const char *text)
{
    SetWindowTextA(FindControl(sheet, id), text);
}

// Shows every page, so that all of them exist, then changes one setting on
// each: what an operator does before pressing OK or Cancel.
bool EditEveryPage(HWND sheet)
{
    for (int page = 0; page < PROPERTY_PAGE_COUNT; page++)
        SendMessageA(sheet, PSM_SETCURSEL, page, 0);
    if (!FindControl(sheet, IDC_BOARD_TYPE) || !FindControl(sheet, IDC_TRACE_SIZE) || !FindControl(sheet, IDC_COM_PORT))
        return false;
    Choose(sheet, IDC_BOARD_TYPE, "VideoPlex");
    Type(sheet, IDC_TRACE_SIZE, "");
    Type(sheet, IDC_TRACE_FILE, "ui_new_trace.txt");
    Choose(sheet, IDC_COM_PORT, "7");
    return true;
}

std::string RegistryText(const char *sub, const char *name)
{
    char key[256], data[256] = "";
    snprintf(key, sizeof key, "%s\\%s", REG_BASE_KEY, sub);
    DWORD size = sizeof data - 1;
    if (RegGetValueA(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, NULL, data, &size) != ERROR_SUCCESS)
        return "<absent>";
    return data;
}

class PropertySheet : public testing::Test {
protected:
    void SetUp() override
    {
        SHDeleteKeyA(HKEY_CURRENT_USER, REG_BASE_KEY);
        main = CreateTestMainWindow();
        KillTimer(main.hwnd, IDT_AUTOSCRIPT_POLL);
    }
    void TearDown() override
    {
        DestroyTestMainWindow(main);
        SHDeleteKeyA(HKEY_CURRENT_USER, REG_BASE_KEY);
    }

    // Runs the sheet, edits it, and leaves it with the button given.
    bool RunSheet(int button)
    {
        bool edited = false;
        RunLater(closerDelayMs, [&] {
            HWND sheet = FindThreadDialog(PROPERTIES_CAPTION);
            if (!sheet)
                return;
            edited = EditEveryPage(sheet);
            PostMessageA(sheet, PSM_PRESSBUTTON, button, 0);
        });
        ShowProperties(main.hwnd);
        return edited;
    }

    RecordWindow main;
};

TEST_F(PropertySheet, CancelChangesNothingAndRestartsTheAutoScriptTimer)
{
    Settings before = main.record->settings;
    ASSERT_TRUE(RunSheet(PSBTN_CANCEL));
    EXPECT_EQ(memcmp(&before, &main.record->settings, sizeof before), 0);
    EXPECT_EQ(RegistryText(REG_KEY_DEBUG, REG_TRACE_SIZE), "<absent>");
    EXPECT_TRUE(KillTimer(main.hwnd, IDT_AUTOSCRIPT_POLL));
}

TEST_F(PropertySheet, OkTakesTheEditedCopyAsAWholeAndSavesIt)
{
    Settings expected = main.record->settings;
    expected.boardType = BOARD_TYPE_VIDEOPLEX;
    expected.traceSize = 0;
    strcpy(expected.traceFile, "ui_new_trace.txt");
    expected.comId = 7;
    main.record->currentChapter = 5;
    main.record->currentBoard = 3;
    main.record->addressMode = 2;
    strcpy(main.record->currentFile, "C:\\elsewhere.mpg");

    ASSERT_TRUE(RunSheet(PSBTN_OK));
    EXPECT_EQ(memcmp(&expected, &main.record->settings, sizeof expected), 0);
    EXPECT_STREQ(main.record->currentFile, expected.defaultMpeg);
    EXPECT_EQ(main.record->currentChapter, 0);
    EXPECT_EQ(main.record->currentBoard, 0);
    EXPECT_EQ(main.record->addressMode, 0);
    EXPECT_EQ(RegistryText(REG_KEY_CONTROL, REG_BOARD_TYPE), "2");
    EXPECT_EQ(RegistryText(REG_KEY_DEBUG, REG_TRACE_SIZE), "0");
    EXPECT_EQ(RegistryText(REG_KEY_DEBUG, REG_TRACE_FILE), "ui_new_trace.txt");
    EXPECT_EQ(RegistryText(REG_KEY_HRX, REG_COM_ID), "7");
    EXPECT_TRUE(KillTimer(main.hwnd, IDT_AUTOSCRIPT_POLL));
}

}  // namespace
