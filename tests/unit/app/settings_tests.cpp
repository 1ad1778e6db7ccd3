// Settings: the registry rows with their defaults and lenient parsing, and
// the one-pass write back.  Works on the real registry key of the player.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "app/instance.h"
#include "app/settings.h"
#include "recordwindow.h"

namespace {

const char kBase[] = REG_BASE_KEY;

// A record window whose settings LoadSettings must overwrite field by field.
struct SettingsWindow {
    RecordWindow window = CreateRecordWindow();
    HWND hwnd = window.hwnd;
    SettingsWindow() { memset(&s(), 0xA5, sizeof(Settings)); }
    ~SettingsWindow() { DestroyRecordWindow(window); }
    Settings &s() { return window.record->settings; }
};

std::string SubKeyPath(const char *sub)
{
    return std::string(kBase) + "\\" + sub;
}

void DeleteKeyTree(HKEY parent, const char *path)
{
    HKEY key;
    if (RegOpenKeyExA(parent, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    char child[256];
    DWORD len = sizeof child;
    while (RegEnumKeyExA(key, 0, child, &len, NULL, NULL, NULL, NULL) == ERROR_SUCCESS) {
        DeleteKeyTree(key, child);
        len = sizeof child;
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, path);
}

void DeleteBaseKey()
{
    DeleteKeyTree(HKEY_CURRENT_USER, kBase);
}

void SetValue(const char *sub, const char *name, DWORD type, const void *data, DWORD size)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, SubKeyPath(sub).c_str(), 0, NULL, 0, KEY_ALL_ACCESS, NULL,
                              &key, NULL),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE *>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

void SetText(const char *sub, const char *name, const std::string &text)
{
    SetValue(sub, name, REG_SZ, text.c_str(), (DWORD)text.size() + 1);
}

struct Value {
    DWORD type;
    std::string data;
};

// name -> value of a sub-key; nothing when the key is absent.
std::map<std::string, Value> ReadKey(const char *sub, bool *exists = nullptr)
{
    std::map<std::string, Value> values;
    HKEY key;
    bool found = RegOpenKeyExA(HKEY_CURRENT_USER, SubKeyPath(sub).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
    if (exists)
        *exists = found;
    if (!found)
        return values;
    for (DWORD i = 0;; i++) {
        char name[256];
        BYTE data[1024];
        DWORD nameLen = sizeof name, dataLen = sizeof data, type;
        if (RegEnumValueA(key, i, name, &nameLen, NULL, &type, data, &dataLen) != ERROR_SUCCESS)
            break;
        values[name] = Value{type, std::string(reinterpret_cast<char *>(data), dataLen)};
    }
    RegCloseKey(key);
    return values;
}

TEST(Settings, FirstStartGivesDefaultsAndCreatesEmptySubKeys)
{
    DeleteBaseKey();
    SettingsWindow w;
    LoadSettings(w.hwnd);
    const Settings &s = w.s();
    EXPECT_STREQ(s.traceFile, "Trace.txt");
    EXPECT_EQ(s.traceSize, 1000);
    EXPECT_STREQ(s.startUpImage, "C:\\Program File\\Calloway Software\\Halcyra\\Stills\\Halcyra.ybr");
    EXPECT_STREQ(s.closeDownImage, "C:\\Program File\\Calloway Software\\Halcyra\\Stills\\Calloway.ybr");
    EXPECT_EQ(s.screenX, 0);
    EXPECT_EQ(s.screenY, 0);
    EXPECT_EQ(s.videoMode, 16);
    EXPECT_EQ(s.streamType, 4);
    EXPECT_EQ(s.syncMode, 1);
    EXPECT_EQ(s.boardType, 3);
    EXPECT_EQ(s.fifoLimit, 2048);
    EXPECT_EQ(s.comId, 2);
    EXPECT_STREQ(s.defaultMpeg, "D:\\Movie\\*.mpg");
    EXPECT_EQ(s.protocol, 1);
    EXPECT_EQ(s.outputStd, 1);
    EXPECT_EQ(s.idleProcessing, 0);
    for (const char *sub : {REG_KEY_CONTROL, REG_KEY_DEBUG, REG_KEY_HRX}) {
        bool exists = false;
        EXPECT_TRUE(ReadKey(sub, &exists).empty()) << sub;
        EXPECT_TRUE(exists) << sub;
    }
}

struct LoadCase {
    int line;
    const char *sub;
    const char *name;
    const char *text;
    int32_t Settings::*field;
    int32_t expected;
};

TEST(Settings, NumbersAndWordsAreReadLeniently)
{
    const LoadCase cases[] = {
        {__LINE__, REG_KEY_CONTROL, REG_SYNC_MODE, "ext", &Settings::syncMode, 2},
        {__LINE__, REG_KEY_CONTROL, REG_SYNC_MODE, "Int", &Settings::syncMode, 1},
        {__LINE__, REG_KEY_CONTROL, REG_SYNC_MODE, "", &Settings::syncMode, 1},
        {__LINE__, REG_KEY_CONTROL, REG_BOARD_TYPE, "7", &Settings::boardType, 7},
        {__LINE__, REG_KEY_CONTROL, REG_BOARD_TYPE, "  -2x", &Settings::boardType, -2},
        {__LINE__, REG_KEY_CONTROL, REG_VIDEO_MODE, "ntsc_m", &Settings::videoMode, 2},
        {__LINE__, REG_KEY_CONTROL, REG_VIDEO_MODE, "NTSC_443", &Settings::videoMode, 4},
        {__LINE__, REG_KEY_CONTROL, REG_VIDEO_MODE, "pal_m", &Settings::videoMode, 8},
        {__LINE__, REG_KEY_CONTROL, REG_VIDEO_MODE, "pal_443", &Settings::videoMode, 16},
        {__LINE__, REG_KEY_CONTROL, REG_VIDEO_MODE, "SECAM", &Settings::videoMode, 16},
        {__LINE__, REG_KEY_CONTROL, REG_STREAM_TYPE, "Video", &Settings::streamType, 2},
        {__LINE__, REG_KEY_CONTROL, REG_STREAM_TYPE, "AUDIO", &Settings::streamType, 8},
        {__LINE__, REG_KEY_CONTROL, REG_STREAM_TYPE, "transport", &Settings::streamType, 16},
        {__LINE__, REG_KEY_CONTROL, REG_STREAM_TYPE, "System", &Settings::streamType, 4},
        {__LINE__, REG_KEY_CONTROL, REG_STREAM_TYPE, "mpeg", &Settings::streamType, 4},
        {__LINE__, REG_KEY_CONTROL, REG_SCREEN_X, "-1", &Settings::screenX, -1},
        {__LINE__, REG_KEY_CONTROL, REG_SCREEN_Y, "250", &Settings::screenY, 250},
        {__LINE__, REG_KEY_CONTROL, REG_FIFO_LIMIT, "0", &Settings::fifoLimit, 2048},
        {__LINE__, REG_KEY_CONTROL, REG_FIFO_LIMIT, "-1", &Settings::fifoLimit, 2048},
        {__LINE__, REG_KEY_CONTROL, REG_FIFO_LIMIT, "4096", &Settings::fifoLimit, 4096},
        {__LINE__, REG_KEY_CONTROL, REG_OUTPUT_STD, "rgb", &Settings::outputStd, 2},
        {__LINE__, REG_KEY_CONTROL, REG_OUTPUT_STD, "YUV", &Settings::outputStd, 1},
        {__LINE__, REG_KEY_CONTROL, REG_IDLE_PROCESSING, "no", &Settings::idleProcessing, 0},
        {__LINE__, REG_KEY_CONTROL, REG_IDLE_PROCESSING, "", &Settings::idleProcessing, 1},
        {__LINE__, REG_KEY_CONTROL, REG_IDLE_PROCESSING, "yes", &Settings::idleProcessing, 1},
        {__LINE__, REG_KEY_DEBUG, REG_TRACE_SIZE, "0", &Settings::traceSize, 0},
        {__LINE__, REG_KEY_DEBUG, REG_TRACE_SIZE, "-5", &Settings::traceSize, 1000},
        {__LINE__, REG_KEY_DEBUG, REG_TRACE_SIZE, "lines", &Settings::traceSize, 0},
        {__LINE__, REG_KEY_DEBUG, REG_TRACE_SIZE, "99999999999", &Settings::traceSize, 2147483647},
        {__LINE__, REG_KEY_HRX, REG_COM_ID, "0", &Settings::comId, 1},
        {__LINE__, REG_KEY_HRX, REG_COM_ID, "COM3", &Settings::comId, 1},
        // Mend: every port the sheet offers loads, not only COM1 to COM4.
        {__LINE__, REG_KEY_HRX, REG_COM_ID, "12", &Settings::comId, 12},
        {__LINE__, REG_KEY_HRX, REG_COM_ID, "256", &Settings::comId, 256},
        {__LINE__, REG_KEY_HRX, REG_COM_ID, "257", &Settings::comId, 256},
        {__LINE__, REG_KEY_HRX, REG_COM_ID, "3", &Settings::comId, 3},
        {__LINE__, REG_KEY_HRX, REG_PROTOCOL, "", &Settings::protocol, 0},
        {__LINE__, REG_KEY_HRX, REG_PROTOCOL, "sony ldp", &Settings::protocol, 1},
        {__LINE__, REG_KEY_HRX, REG_PROTOCOL, "Halcyra", &Settings::protocol, 0},
    };
    for (const LoadCase &c : cases) {
        DeleteBaseKey();
        SetText(c.sub, c.name, c.text);
        SettingsWindow w;
        LoadSettings(w.hwnd);
        EXPECT_EQ(w.s().*c.field, c.expected) << "case at line " << c.line << ": " << c.name << "=\"" << c.text << "\"";
    }
}

TEST(Settings, PathsKeepTheirTextExceptAnEmptyTraceFile)
{
    DeleteBaseKey();
    SetText(REG_KEY_DEBUG, REG_TRACE_FILE, "");
    SetText(REG_KEY_CONTROL, REG_STARTUP_IMAGE, "");
    SetText(REG_KEY_CONTROL, REG_CLOSEDOWN_IMAGE, "E:\\close.ybr");
    SetText(REG_KEY_HRX, REG_DEFAULT_MPEG, "");
    SettingsWindow w;
    LoadSettings(w.hwnd);
    EXPECT_STREQ(w.s().traceFile, "Trace.txt");
    EXPECT_STREQ(w.s().startUpImage, "");
    EXPECT_STREQ(w.s().closeDownImage, "E:\\close.ybr");
    EXPECT_STREQ(w.s().defaultMpeg, "");
}

TEST(Settings, LongAndForeignValuesNeverOverrunTheFields)
{
    // 255 characters fit; 256 and 300 do not, and the default applies.
    for (size_t length : {255u, 256u, 300u}) {
        DeleteBaseKey();
        std::string text(length, 'x');
        SetText(REG_KEY_DEBUG, REG_TRACE_FILE, text);
        SetText(REG_KEY_HRX, REG_DEFAULT_MPEG, text);
        SettingsWindow w;
        LoadSettings(w.hwnd);
        const char *expectedTrace = length == 255 ? text.c_str() : "Trace.txt";
        const char *expectedMpeg = length == 255 ? text.c_str() : "D:\\Movie\\*.mpg";
        EXPECT_STREQ(w.s().traceFile, expectedTrace) << length;
        EXPECT_STREQ(w.s().defaultMpeg, expectedMpeg) << length;
        EXPECT_EQ(w.s().traceSize, 1000) << "the field after traceFile is intact";
        EXPECT_EQ(w.s().protocol, 1) << "the field after defaultMpeg is intact";
    }

    // Data without a terminator ends at its length; a full 256 bytes of it
    // cannot hold a terminator and takes the default.
    DeleteBaseKey();
    SetValue(REG_KEY_DEBUG, REG_TRACE_FILE, REG_BINARY, "log.txtGARBAGE", 7);
    SetValue(REG_KEY_HRX, REG_COM_ID, REG_BINARY, "3", 1);
    std::string full(256, 'y');
    SetValue(REG_KEY_HRX, REG_DEFAULT_MPEG, REG_BINARY, full.data(), 256);
    DWORD three = 3;
    SetValue(REG_KEY_CONTROL, REG_BOARD_TYPE, REG_DWORD, &three, sizeof three);
    SetValue(REG_KEY_CONTROL, REG_SYNC_MODE, REG_BINARY, "EXT", 3);
    SettingsWindow w;
    LoadSettings(w.hwnd);
    EXPECT_STREQ(w.s().traceFile, "log.txt");
    EXPECT_EQ(w.s().comId, 3);
    EXPECT_STREQ(w.s().defaultMpeg, "D:\\Movie\\*.mpg");
    EXPECT_EQ(w.s().boardType, 0) << "the raw bytes of a DWORD 3 are no decimal text";
    EXPECT_EQ(w.s().syncMode, 2);
}

void ExpectSameSettings(const Settings &a, const Settings &b)
{
    EXPECT_STREQ(a.traceFile, b.traceFile);
    EXPECT_EQ(a.traceSize, b.traceSize);
    EXPECT_STREQ(a.startUpImage, b.startUpImage);
    EXPECT_STREQ(a.closeDownImage, b.closeDownImage);
    EXPECT_EQ(a.screenX, b.screenX);
    EXPECT_EQ(a.screenY, b.screenY);
    EXPECT_EQ(a.videoMode, b.videoMode);
    EXPECT_EQ(a.streamType, b.streamType);
    EXPECT_EQ(a.syncMode, b.syncMode);
    EXPECT_EQ(a.boardType, b.boardType);
    EXPECT_EQ(a.fifoLimit, b.fifoLimit);
    EXPECT_EQ(a.comId, b.comId);
    EXPECT_STREQ(a.defaultMpeg, b.defaultMpeg);
    EXPECT_EQ(a.protocol, b.protocol);
    EXPECT_EQ(a.outputStd, b.outputStd);
    EXPECT_EQ(a.idleProcessing, b.idleProcessing);
}

TEST(Settings, SaveWritesFifteenTextValuesThatLoadBack)
{
    DeleteBaseKey();
    SetText(REG_KEY_CONTROL, REG_IDLE_PROCESSING, "Yes please");
    SettingsWindow w;
    LoadSettings(w.hwnd);
    Settings &s = w.s();
    strcpy(s.traceFile, "C:\\logs\\show.txt");
    s.traceSize = 0;
    strcpy(s.startUpImage, "");
    strcpy(s.closeDownImage, "C:\\stills\\bye.ybr");
    s.screenX = -40;
    s.screenY = 1200;
    s.videoMode = VIDEO_NTSC_443;
    s.streamType = STREAM_TRANSPORT;
    s.syncMode = SYNC_EXTERNAL;
    s.boardType = 2;
    s.fifoLimit = 65536;
    s.comId = 7;
    strcpy(s.defaultMpeg, "E:\\Clips\\*.mpv");
    s.protocol = PROTOCOL_NATIVE;
    s.outputStd = OUTPUT_RGB;
    Settings saved = s;
    SaveSettings(w.hwnd);

    std::map<std::string, Value> control = ReadKey(REG_KEY_CONTROL), debug = ReadKey(REG_KEY_DEBUG),
                                 hrx = ReadKey(REG_KEY_HRX);
    Value idle = control[REG_IDLE_PROCESSING];
    EXPECT_EQ(idle.type, (DWORD)REG_SZ);
    EXPECT_EQ(idle.data, std::string("Yes please", 11)) << "IdleProcessing is never written";
    control.erase(REG_IDLE_PROCESSING);
    EXPECT_EQ(control.size() + debug.size() + hrx.size(), 15u);
    const std::map<std::string, std::string> expected = {
        {REG_BOARD_TYPE, "2"}, {REG_SYNC_MODE, "Ext"}, {REG_VIDEO_MODE, "NTSC_443"},
        {REG_STREAM_TYPE, "Transport"}, {REG_STARTUP_IMAGE, ""}, {REG_CLOSEDOWN_IMAGE, "C:\\stills\\bye.ybr"},
        {REG_SCREEN_X, "-40"}, {REG_SCREEN_Y, "1200"}, {REG_FIFO_LIMIT, "65536"}, {REG_OUTPUT_STD, "RGB"},
        {REG_TRACE_SIZE, "0"}, {REG_TRACE_FILE, "C:\\logs\\show.txt"}, {REG_COM_ID, "7"},
        {REG_DEFAULT_MPEG, "E:\\Clips\\*.mpv"}, {REG_PROTOCOL, "Halcyra"},
    };
    for (auto *key : {&control, &debug, &hrx}) {
        for (const auto &entry : *key) {
            EXPECT_EQ(entry.second.type, (DWORD)REG_SZ) << entry.first;
            ASSERT_TRUE(expected.count(entry.first)) << entry.first;
            EXPECT_EQ(entry.second.data, expected.at(entry.first) + std::string(1, '\0')) << entry.first;
        }
    }

    SettingsWindow again;
    LoadSettings(again.hwnd);
    saved.idleProcessing = 1;  // "Yes please" is any other text
    ExpectSameSettings(again.s(), saved);
}

TEST(Settings, WordsWrittenForEveryCodeLoadBackToTheSameCode)
{
    struct Round {
        int32_t Settings::*field;
        std::vector<int32_t> codes;
    } rounds[] = {
        {&Settings::videoMode, {2, 4, 8, 16}},
        {&Settings::streamType, {2, 4, 8, 16}},
        {&Settings::syncMode, {1, 2}},
        {&Settings::outputStd, {1, 2}},
        {&Settings::protocol, {0, 1}},
    };
    for (const Round &round : rounds) {
        for (int32_t code : round.codes) {
            DeleteBaseKey();
            SettingsWindow w;
            LoadSettings(w.hwnd);
            w.s().*round.field = code;
            SaveSettings(w.hwnd);
            SettingsWindow again;
            LoadSettings(again.hwnd);
            EXPECT_EQ(again.s().*round.field, code);
        }
    }
    DeleteBaseKey();
}

}  // namespace
