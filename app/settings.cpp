// Settings in the registry of the current user, read leniently with a
// default for each value and written back in one pass (main thread).
#include "app/settings.h"

#include <stdio.h>
#include <string.h>

#include "app/instance.h"
#include "app/text.h"

namespace {

HKEY OpenSubKey(const char *subKey)
{
    char path[TEXT_FIELD_SIZE];
    snprintf(path, sizeof path, "%s\\%s", REG_BASE_KEY, subKey);
    HKEY key = NULL;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, const_cast<char *>(""), REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, NULL, &key, &disposition) != ERROR_SUCCESS)
        return NULL;
    return key;
}

void LoadNumber(HKEY key, const char *name, int32_t *field, int32_t absent)
{
    char text[TEXT_FIELD_SIZE];
    *field = ReadRegistryText(key, name, text) ? (int32_t)ParseLeadingNumber(text) : absent;
}

void LoadPath(HKEY key, const char *name, char *field, const char *absent)
{
    char text[TEXT_FIELD_SIZE];
    CopyText(field, TEXT_FIELD_SIZE, ReadRegistryText(key, name, text) ? text : absent);
}

struct WordCode {
    const char *word;
    int32_t code;
};

// The code of the first word equal to the text (any case), else otherCode.
int32_t CodeOfWord(const char *text, const WordCode *words, size_t count, int32_t otherCode)
{
    for (size_t i = 0; i < count; i++)
        if (lstrcmpiA(text, words[i].word) == 0)
            return words[i].code;
    return otherCode;
}

template <size_t N>
void LoadWord(HKEY key, const char *name, int32_t *field, int32_t absent,
              const WordCode (&words)[N], int32_t otherCode)
{
    char text[TEXT_FIELD_SIZE];
    *field = ReadRegistryText(key, name, text) ? CodeOfWord(text, words, N, otherCode) : absent;
}

const WordCode kSyncWords[] = {{"EXT", SYNC_EXTERNAL}};
const WordCode kVideoWords[] = {{"NTSC_M", VIDEO_NTSC_M}, {"NTSC_443", VIDEO_NTSC_443}, {"PAL_M", VIDEO_PAL_M}};
const WordCode kStreamWords[] = {{"VIDEO", STREAM_VIDEO}, {"AUDIO", STREAM_AUDIO}, {"TRANSPORT", STREAM_TRANSPORT}};
const WordCode kOutputWords[] = {{"RGB", OUTPUT_RGB}};
const WordCode kIdleWords[] = {{"NO", 0}};
const WordCode kProtocolWords[] = {{"Sony LDP", PROTOCOL_SONY_LDP}};

void LoadControl(Settings *s)
{
    HKEY key = OpenSubKey(REG_KEY_CONTROL);
    LoadWord(key, REG_SYNC_MODE, &s->syncMode, SYNC_INTERNAL, kSyncWords, SYNC_INTERNAL);
    LoadNumber(key, REG_BOARD_TYPE, &s->boardType, DEFAULT_BOARD_TYPE);
    LoadWord(key, REG_VIDEO_MODE, &s->videoMode, VIDEO_PAL_443, kVideoWords, VIDEO_PAL_443);
    LoadWord(key, REG_STREAM_TYPE, &s->streamType, STREAM_SYSTEM, kStreamWords, STREAM_SYSTEM);
    LoadPath(key, REG_STARTUP_IMAGE, s->startUpImage, DEFAULT_STARTUP_IMAGE);
    LoadPath(key, REG_CLOSEDOWN_IMAGE, s->closeDownImage, DEFAULT_CLOSEDOWN_IMAGE);
    LoadNumber(key, REG_SCREEN_X, &s->screenX, 0);
    LoadNumber(key, REG_SCREEN_Y, &s->screenY, 0);
    LoadNumber(key, REG_FIFO_LIMIT, &s->fifoLimit, DEFAULT_FIFO_LIMIT);
    if (s->fifoLimit <= 0)
        s->fifoLimit = DEFAULT_FIFO_LIMIT;
    LoadWord(key, REG_OUTPUT_STD, &s->outputStd, OUTPUT_YUV, kOutputWords, OUTPUT_YUV);
    LoadWord(key, REG_IDLE_PROCESSING, &s->idleProcessing, 0, kIdleWords, 1);
    if (key)
        RegCloseKey(key);
}

void LoadDebug(Settings *s)
{
    HKEY key = OpenSubKey(REG_KEY_DEBUG);
    LoadNumber(key, REG_TRACE_SIZE, &s->traceSize, DEFAULT_TRACE_SIZE);
    if (s->traceSize < 0)
        s->traceSize = DEFAULT_TRACE_SIZE;
    LoadPath(key, REG_TRACE_FILE, s->traceFile, DEFAULT_TRACE_FILE);
    if (s->traceFile[0] == '\0')
        CopyText(s->traceFile, sizeof s->traceFile, DEFAULT_TRACE_FILE);
    if (key)
        RegCloseKey(key);
}

void LoadHrx(Settings *s)
{
    HKEY key = OpenSubKey(REG_KEY_HRX);
    LoadNumber(key, REG_COM_ID, &s->comId, DEFAULT_COM_ID);
    if (s->comId < 1)
        s->comId = 1;
    if (s->comId > COM_ID_MAX)
        s->comId = COM_ID_MAX;
    LoadPath(key, REG_DEFAULT_MPEG, s->defaultMpeg, DEFAULT_MPEG_PATTERN);
    LoadWord(key, REG_PROTOCOL, &s->protocol, PROTOCOL_SONY_LDP, kProtocolWords, PROTOCOL_NATIVE);
    if (key)
        RegCloseKey(key);
}

void WriteText(HKEY key, const char *name, const char *text)
{
    if (key)
        RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text), (DWORD)strlen(text) + 1);
}

void WriteNumber(HKEY key, const char *name, long value)
{
    char text[32];
    snprintf(text, sizeof text, "%ld", value);
    WriteText(key, name, text);
}

const char *VideoModeWord(int32_t mode)
{
    switch (mode) {
    case VIDEO_NTSC_M: return "NTSC_M";
    case VIDEO_NTSC_443: return "NTSC_443";
    case VIDEO_PAL_M: return "PAL_M";
    default: return "PAL_443";
    }
}

const char *StreamTypeWord(int32_t type)
{
    switch (type) {
    case STREAM_VIDEO: return "Video";
    case STREAM_AUDIO: return "Audio";
    case STREAM_TRANSPORT: return "Transport";
    default: return "System";
    }
}

}  // namespace

bool ReadRegistryText(HKEY key, const char *name, char *text)
{
    text[0] = '\0';
    if (!key)
        return false;
    DWORD size = TEXT_FIELD_SIZE;
    if (RegQueryValueExA(key, name, NULL, NULL, reinterpret_cast<BYTE *>(text), &size) != ERROR_SUCCESS)
        return false;
    if (size > 0 && memchr(text, '\0', size) != NULL)
        return true;
    if (size >= TEXT_FIELD_SIZE) {
        text[0] = '\0';
        return false;
    }
    text[size] = '\0';
    return true;
}

int LoadSettings(HWND hwnd)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    LoadControl(&record->settings);
    LoadDebug(&record->settings);
    LoadHrx(&record->settings);
    return 1;
}

int SaveSettings(HWND hwnd)
{
    const Settings *s = &GetInstanceRecord(hwnd)->settings;
    HKEY key = OpenSubKey(REG_KEY_CONTROL);
    WriteNumber(key, REG_BOARD_TYPE, s->boardType);
    WriteText(key, REG_SYNC_MODE, s->syncMode == SYNC_INTERNAL ? "Int" : "Ext");
    WriteText(key, REG_VIDEO_MODE, VideoModeWord(s->videoMode));
    WriteText(key, REG_STREAM_TYPE, StreamTypeWord(s->streamType));
    WriteText(key, REG_STARTUP_IMAGE, s->startUpImage);
    WriteText(key, REG_CLOSEDOWN_IMAGE, s->closeDownImage);
    WriteNumber(key, REG_SCREEN_X, s->screenX);
    WriteNumber(key, REG_SCREEN_Y, s->screenY);
    WriteNumber(key, REG_FIFO_LIMIT, s->fifoLimit);
    WriteText(key, REG_OUTPUT_STD, s->outputStd == OUTPUT_RGB ? "RGB" : "YUV");
    if (key)
        RegCloseKey(key);

    key = OpenSubKey(REG_KEY_DEBUG);
    WriteNumber(key, REG_TRACE_SIZE, s->traceSize);
    WriteText(key, REG_TRACE_FILE, s->traceFile);
    if (key)
        RegCloseKey(key);

    key = OpenSubKey(REG_KEY_HRX);
    WriteNumber(key, REG_COM_ID, s->comId);
    WriteText(key, REG_DEFAULT_MPEG, s->defaultMpeg);
    WriteText(key, REG_PROTOCOL, s->protocol == PROTOCOL_NATIVE ? "Halcyra" : "Sony LDP");
    if (key)
        RegCloseKey(key);
    return 1;
}
