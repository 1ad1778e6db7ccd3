// The library's own SWmpeg.ini, beside SWmpeg.dll: how many boards there
// are and where each is shown.  Read in InitMPEG (main thread).
#include <stdio.h>

#include "app/text.h"
#include "screen/swmpeg.h"

namespace {

// The settings file's full name: the library's own folder.
bool SettingsPath(char *path, size_t size)
{
    char module[MAX_PATH];
    DWORD length = GetModuleFileNameA(LibraryInstance(), module, sizeof module);
    if (length == 0 || length >= sizeof module)
        return false;
    module[FolderLength(module, DRIVE_COLON_ONLY)] = '\0';
    return snprintf(path, size, "%s%s", module, SCREEN_SETUP_FILE) < (int)size;
}

}  // namespace

void ReadLibrarySetup(ScreenSetup *setup)
{
    char path[MAX_PATH];
    if (!SettingsPath(path, sizeof path))
        path[0] = '\0';
    ReadScreenSetup(path, setup);
}
