// SWmpeg.ini, the screen boards' settings file beside the library: how many
// boards there are.  Read in InitMPEG (main thread).
#include <stdio.h>
#include <stdlib.h>

#include "app/text.h"
#include "screen/swmpeg.h"

namespace {

#define SETTING_TEXT_SIZE 32

// The settings file's full name: the library's own folder.
bool SettingsPath(char *path, size_t size)
{
    char module[MAX_PATH];
    DWORD length = GetModuleFileNameA(LibraryInstance(), module, sizeof module);
    if (length == 0 || length >= sizeof module)
        return false;
    module[FolderLength(module, DRIVE_COLON_ONLY)] = '\0';
    return snprintf(path, size, "%s%s", module, SETTINGS_FILE_NAME) < (int)size;
}

}  // namespace

int ReadBoardCount(void)
{
    char path[MAX_PATH];
    char text[SETTING_TEXT_SIZE];
    if (!SettingsPath(path, sizeof path))
        return DEFAULT_BOARDS;
    GetPrivateProfileStringA(SETTINGS_SECTION, KEY_BOARDS, "", text, sizeof text, path);
    char *end = NULL;
    long boards = strtol(text, &end, 10);
    if (end == text)
        return DEFAULT_BOARDS;
    if (boards < 1)
        return 1;
    return boards > MPEG_MAX_BOARDS ? MPEG_MAX_BOARDS : (int)boards;
}
