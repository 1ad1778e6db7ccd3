// The property pages on their own: what each shows of a settings copy, and
// what each change of a list or an edit writes into the copy; the chapter
// pattern made from a chosen file.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <string.h>

#include <string>
#include <vector>

#include "board/mpegdrv.h"
#include "ui/browse.h"
#include "ui/resource.h"
#include "ui/ui.h"
#include "ui_fixture.h"

namespace {

class Pages : public testing::Test {
protected:
    void SetUp() override
    {
        main = CreateTestMainWindow();
        DefaultSettings(&settings);
    }
    void TearDown() override
    {
        for (HWND page : pages)
            DestroyWindow(page);
        DestroyTestMainWindow(main);
    }

    // A page as the sheet makes it: its page description carries the copy.
    HWND Open(int templateId, DLGPROC proc)
    {
        description = {};
        description.dwSize = sizeof description;
        description.lParam = reinterpret_cast<LPARAM>(&settings);
        HWND page = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(templateId), main.hwnd, proc,
                                       reinterpret_cast<LPARAM>(&description));
        pages.push_back(page);
        return page;
    }

    RecordWindow main;
    Settings settings;
    PROPSHEETPAGEA description;
    std::vector<HWND> pages;
};

std::vector<std::string> Items(HWND page, int id)
{
    std::vector<std::string> items;
    LRESULT count = SendDlgItemMessageA(page, id, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; i++) {
        char text[64] = "";
        SendDlgItemMessageA(page, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        items.push_back(text);
    }
    return items;
}

// The selected entry's text; "-" when none is selected.
std::string Selected(HWND page, int id)
{
    LRESULT index = SendDlgItemMessageA(page, id, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return "-";
    char text[64] = "";
    SendDlgItemMessageA(page, id, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return text;
}

// As the user does it: the selection changes, then the page hears of it.
void Choose(HWND page, int id, const char *text)
{
    LRESULT index = SendDlgItemMessageA(page, id, CB_FINDSTRINGEXACT, (WPARAM)-1, reinterpret_cast<LPARAM>(text));
    ASSERT_NE(index, CB_ERR) << text;
    SendDlgItemMessageA(page, id, CB_SETCURSEL, index, 0);
    SendMessageA(page, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(GetDlgItem(page, id)));
}

bool Enabled(HWND page, int id)
{
    return IsWindowEnabled(GetDlgItem(page, id)) != 0;
}

TEST_F(Pages, ControlPageShowsTheStoredValuesInSortedLists)
{
    struct {
        int line;
        int32_t boardType, videoMode, streamType, outputStd, syncMode;
        const char *type, *standard, *stream, *output, *sync;
        bool outputEnabled;
    } cases[] = {
        {__LINE__, 3, 16, 4, 2, 1, "VideoQuest", "PAL_443", "System", "RGB", "Int.", true},
        {__LINE__, 3, 2, 2, 1, 2, "VideoQuest", "NTSC_M", "Video", "YUV", "Ext.", true},
        {__LINE__, 2, 4, 8, 2, 2, "VideoPlex", "NTSC_443", "Audio", "-", "Ext.", false},
        {__LINE__, 4, 16, 4, 2, 1, "Screen", "PAL_443", "System", "-", "Int.", false},
        {__LINE__, 1, 8, 16, 1, 1, "-", "PAL_M", "Transport", "-", "Int.", false},
        {__LINE__, 3, 5, 7, 7, 9, "VideoQuest", "-", "-", "YUV", "Ext.", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "case at line " << c.line);
        settings.boardType = c.boardType;
        settings.videoMode = c.videoMode;
        settings.streamType = c.streamType;
        settings.outputStd = c.outputStd;
        settings.syncMode = c.syncMode;
        Settings before = settings;
        HWND page = Open(IDD_CONTROL_PAGE, ControlPageProc);
        ASSERT_TRUE(page != NULL);
        EXPECT_EQ(Items(page, IDC_BOARD_TYPE), (std::vector<std::string>{"Screen", "VideoPlex", "VideoQuest"}));
        EXPECT_EQ(Items(page, IDC_VIDEO_STANDARD), (std::vector<std::string>{"NTSC_443", "NTSC_M", "PAL_443", "PAL_M"}));
        EXPECT_EQ(Items(page, IDC_STREAM_TYPE), (std::vector<std::string>{"Audio", "System", "Transport", "Video"}));
        EXPECT_EQ(Items(page, IDC_OUTPUT), (std::vector<std::string>{"RGB", "YUV"}));
        EXPECT_EQ(Items(page, IDC_SYNC), (std::vector<std::string>{"Ext.", "Int."}));
        EXPECT_EQ(Selected(page, IDC_BOARD_TYPE), c.type);
        EXPECT_EQ(Selected(page, IDC_VIDEO_STANDARD), c.standard);
        EXPECT_EQ(Selected(page, IDC_STREAM_TYPE), c.stream);
        EXPECT_EQ(Selected(page, IDC_OUTPUT), c.output);
        EXPECT_EQ(Selected(page, IDC_SYNC), c.sync);
        EXPECT_EQ(Enabled(page, IDC_OUTPUT), c.outputEnabled);
        EXPECT_EQ(ControlText(page, IDC_STARTUP_IMAGE), settings.startUpImage);
        EXPECT_EQ(ControlText(page, IDC_CLOSE_IMAGE), settings.closeDownImage);
        EXPECT_EQ(memcmp(&before, &settings, sizeof settings), 0) << "showing the copy changed it";
    }
}

TEST_F(Pages, ControlPageStoresTheCodeOfTheChosenEntry)
{
    struct {
        int line;
        int id;
        const char *text;
        int32_t Settings::*field;
        int32_t code;
    } cases[] = {
        {__LINE__, IDC_VIDEO_STANDARD, "NTSC_M", &Settings::videoMode, 2},
        {__LINE__, IDC_VIDEO_STANDARD, "NTSC_443", &Settings::videoMode, 4},
        {__LINE__, IDC_VIDEO_STANDARD, "PAL_M", &Settings::videoMode, 8},
        {__LINE__, IDC_VIDEO_STANDARD, "PAL_443", &Settings::videoMode, 16},
        {__LINE__, IDC_STREAM_TYPE, "Video", &Settings::streamType, 2},
        {__LINE__, IDC_STREAM_TYPE, "System", &Settings::streamType, 4},
        {__LINE__, IDC_STREAM_TYPE, "Audio", &Settings::streamType, 8},
        {__LINE__, IDC_STREAM_TYPE, "Transport", &Settings::streamType, 16},
        {__LINE__, IDC_OUTPUT, "RGB", &Settings::outputStd, 2},
        {__LINE__, IDC_OUTPUT, "YUV", &Settings::outputStd, 1},
        {__LINE__, IDC_SYNC, "Ext.", &Settings::syncMode, 2},
        {__LINE__, IDC_SYNC, "Int.", &Settings::syncMode, 1},
        {__LINE__, IDC_BOARD_TYPE, "VideoPlex", &Settings::boardType, 2},
        {__LINE__, IDC_BOARD_TYPE, "VideoQuest", &Settings::boardType, 3},
        {__LINE__, IDC_BOARD_TYPE, "Screen", &Settings::boardType, 4},
    };
    HWND page = Open(IDD_CONTROL_PAGE, ControlPageProc);
    ASSERT_TRUE(page != NULL);
    for (const auto &c : cases) {
        settings.*c.field = 99;
        Choose(page, c.id, c.text);
        EXPECT_EQ(settings.*c.field, c.code) << "case at line " << c.line;
    }
}

TEST_F(Pages, SwitchingTheTypeKeepsTheOutputSetting)
{
    settings.boardType = BOARD_TYPE_VIDEOQUEST;
    settings.outputStd = OUTPUT_RGB;
    HWND page = Open(IDD_CONTROL_PAGE, ControlPageProc);
    ASSERT_TRUE(page != NULL);
    Choose(page, IDC_BOARD_TYPE, "VideoPlex");
    EXPECT_EQ(settings.boardType, BOARD_TYPE_VIDEOPLEX);
    EXPECT_FALSE(Enabled(page, IDC_OUTPUT));
    EXPECT_EQ(settings.outputStd, OUTPUT_RGB);
    Choose(page, IDC_BOARD_TYPE, "VideoQuest");
    EXPECT_EQ(settings.boardType, BOARD_TYPE_VIDEOQUEST);
    EXPECT_TRUE(Enabled(page, IDC_OUTPUT));
    EXPECT_EQ(Selected(page, IDC_OUTPUT), "RGB");
    EXPECT_EQ(settings.outputStd, OUTPUT_RGB);
    Choose(page, IDC_BOARD_TYPE, "Screen");
    EXPECT_EQ(settings.boardType, BOARD_TYPE_SCREEN);
    EXPECT_FALSE(Enabled(page, IDC_OUTPUT));
    EXPECT_EQ(settings.outputStd, OUTPUT_RGB);

    // From the third board type, which shows no type, to VideoQuest.
    settings.boardType = BOARD_TYPE_THIRD;
    settings.outputStd = OUTPUT_YUV;
    page = Open(IDD_CONTROL_PAGE, ControlPageProc);
    EXPECT_FALSE(Enabled(page, IDC_OUTPUT));
    Choose(page, IDC_BOARD_TYPE, "VideoQuest");
    EXPECT_TRUE(Enabled(page, IDC_OUTPUT));
    EXPECT_EQ(Selected(page, IDC_OUTPUT), "YUV");
}

TEST_F(Pages, EditsStoreTheirTextAtEveryChangeWithinTheField)
{
    HWND control = Open(IDD_CONTROL_PAGE, ControlPageProc);
    HWND trace = Open(IDD_TRACE_PAGE, TracePageProc);
    HWND hrx = Open(IDD_HRX_PAGE, HrxPageProc);
    ASSERT_TRUE(control && trace && hrx);
    struct {
        int line;
        HWND page;
        int id;
        char *field;
    } cases[] = {
        {__LINE__, control, IDC_STARTUP_IMAGE, settings.startUpImage},
        {__LINE__, control, IDC_CLOSE_IMAGE, settings.closeDownImage},
        {__LINE__, trace, IDC_TRACE_FILE, settings.traceFile},
        {__LINE__, hrx, IDC_CHAPTER_FILTER, settings.defaultMpeg},
    };
    std::string longText(300, 'x');
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "case at line " << c.line);
        SetDlgItemTextA(c.page, c.id, "E:\\Stills\\Show.ybr");
        EXPECT_STREQ(c.field, "E:\\Stills\\Show.ybr");
        SetDlgItemTextA(c.page, c.id, "");
        EXPECT_STREQ(c.field, "");
        Settings before = settings;
        SetDlgItemTextA(c.page, c.id, longText.c_str());
        EXPECT_EQ(strlen(c.field), (size_t)TEXT_FIELD_SIZE - 1);
        // Nothing beyond the field changed.
        size_t offset = (size_t)(c.field - reinterpret_cast<char *>(&settings)) + TEXT_FIELD_SIZE;
        EXPECT_EQ(memcmp(reinterpret_cast<char *>(&before) + offset, reinterpret_cast<char *>(&settings) + offset,
                         sizeof settings - offset),
                  0);
    }
}

TEST_F(Pages, TracePageShowsAndReadsTheSize)
{
    settings.traceSize = 1000;
    HWND page = Open(IDD_TRACE_PAGE, TracePageProc);
    ASSERT_TRUE(page != NULL);
    EXPECT_EQ(ControlText(page, IDC_TRACE_FILE), "ui_trace.txt");
    EXPECT_EQ(ControlText(page, IDC_TRACE_SIZE), "1000");
    struct {
        int line;
        const char *typed;
        int32_t size;
    } cases[] = {
        {__LINE__, "25", 25},
        {__LINE__, "", 0},
        {__LINE__, "7x", 7},
        {__LINE__, "0", 0},
        {__LINE__, "99999999999", 2147483647},
    };
    for (const auto &c : cases) {
        settings.traceSize = -12345;
        SetDlgItemTextA(page, IDC_TRACE_SIZE, c.typed);
        EXPECT_EQ(settings.traceSize, c.size) << "case at line " << c.line;
    }
}

TEST_F(Pages, HrxPageShowsExactlyTheStoredPortAndProtocol)
{
    struct {
        int line;
        int32_t comId, protocol;
        const char *port, *shownProtocol;
    } cases[] = {
        {__LINE__, 1, 1, "1", "Sony LDP"},
        {__LINE__, 12, 1, "12", "Sony LDP"},
        {__LINE__, 256, 0, "256", "-"},
        {__LINE__, 0, 0, "-", "-"},
        {__LINE__, 257, 1, "-", "Sony LDP"},
        {__LINE__, -3, 1, "-", "Sony LDP"},
    };
    std::vector<std::string> ports;
    for (int i = 1; i <= 256; i++)
        ports.push_back(std::to_string(i));
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "case at line " << c.line);
        settings.comId = c.comId;
        settings.protocol = c.protocol;
        HWND page = Open(IDD_HRX_PAGE, HrxPageProc);
        ASSERT_TRUE(page != NULL);
        EXPECT_EQ(Items(page, IDC_COM_PORT), ports);
        EXPECT_EQ(Items(page, IDC_PROTOCOL), (std::vector<std::string>{"Sony LDP"}));
        EXPECT_EQ(Selected(page, IDC_COM_PORT), c.port);
        EXPECT_EQ(Selected(page, IDC_PROTOCOL), c.shownProtocol);
        EXPECT_EQ(ControlText(page, IDC_CHAPTER_FILTER), settings.defaultMpeg);
    }
}

TEST_F(Pages, HrxPageStoresThePortAndOnlyEverTheSonyProtocol)
{
    settings.protocol = 0;
    HWND page = Open(IDD_HRX_PAGE, HrxPageProc);
    ASSERT_TRUE(page != NULL);
    Choose(page, IDC_COM_PORT, "7");
    EXPECT_EQ(settings.comId, 7);
    Choose(page, IDC_COM_PORT, "256");
    EXPECT_EQ(settings.comId, 256);
    EXPECT_EQ(settings.protocol, 0);
    Choose(page, IDC_PROTOCOL, "Sony LDP");
    EXPECT_EQ(settings.protocol, 1);
}

TEST(ChapterPattern, DriveAndDirectoryOfTheChosenFileWithItsExtension)
{
    struct {
        int line;
        const char *chosen, *pattern, *directory, *extension;
    } cases[] = {
        {__LINE__, "D:\\Movie\\intro.mpg", "D:\\Movie\\*.mpg", "D:\\Movie\\", ".mpg"},
        {__LINE__, "D:\\Movie\\intro.mpg.bak", "D:\\Movie\\*.bak", "D:\\Movie\\", ".bak"},
        {__LINE__, "C:\\a.b\\clip", "C:\\a.b\\*", "C:\\a.b\\", ""},
        {__LINE__, "D:intro.mpa", "D:*.mpa", "D:", ".mpa"},
        {__LINE__, "intro.mpv", "*.mpv", "", ".mpv"},
        {__LINE__, "\\\\server\\share\\x.mpg", "\\\\server\\share\\*.mpg", "\\\\server\\share\\", ".mpg"},
        {__LINE__, "E:/Media/show.MPG", "E:/Media/*.MPG", "E:/Media/", ".MPG"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "case at line " << c.line);
        char out[TEXT_FIELD_SIZE];
        memset(out, 'z', sizeof out);
        EXPECT_EQ(ChapterPattern(c.chosen, out, sizeof out), 1);
        EXPECT_STREQ(out, c.pattern);
        memset(out, 'z', sizeof out);
        EXPECT_EQ(DirectoryPart(c.chosen, out, sizeof out), 1);
        EXPECT_STREQ(out, c.directory);
        memset(out, 'z', sizeof out);
        EXPECT_EQ(ExtensionPart(c.chosen, out, sizeof out), 1);
        EXPECT_STREQ(out, c.extension);
    }
}

TEST(ChapterPattern, ReportsAndTerminatesWhatDoesNotFit)
{
    char out[8];
    memset(out, 'z', sizeof out);
    EXPECT_EQ(ChapterPattern("D:\\Movie\\intro.mpg", out, sizeof out), 0);
    EXPECT_EQ(strlen(out), sizeof out - 1);
    memset(out, 'z', sizeof out);
    EXPECT_EQ(DirectoryPart("D:\\Movie\\intro.mpg", out, sizeof out), 0);
    EXPECT_STREQ(out, "");
    memset(out, 'z', sizeof out);
    EXPECT_EQ(ExtensionPart("D:\\Movie\\intro.mpeg2video", out, sizeof out), 0);
    EXPECT_EQ(strlen(out), sizeof out - 1);
}

}  // namespace
