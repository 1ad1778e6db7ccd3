// The file-open dialogs behind the property pages' Browse buttons (UI
// thread).  Private to the user interface.
#ifndef HRX_UI_BROWSE_H
#define HRX_UI_BROWSE_H

#include <windows.h>
#include <stddef.h>

#include "app/instance.h"

// Each asks for a file and, when one was chosen, stores the result in the
// setting (TEXT_FIELD_SIZE bytes) and returns 1; otherwise it leaves the
// setting as it was and returns 0.  The images offer the filter of the
// board type's still images (none for board type 1).
int BrowseImage(HWND page, const char *title, int boardType, char *setting);
int BrowseTraceFile(HWND page, char *setting);
// Stores the chosen file's drive and directory, "*" and its extension.
int BrowseChapterFilter(HWND page, char *setting);

// The drive and directory of a path ("D:\Movie\" of "D:\Movie\intro.mpg"),
// and its extension (".mpg", or "" when the name has none).  Both return 1
// when the part fitted the buffer.
int DirectoryPart(const char *path, char *out, size_t size);
int ExtensionPart(const char *path, char *out, size_t size);
// The chapter pattern of a chosen file: D:\Movie\*.mpg for
// D:\Movie\intro.mpg.  Returns 1 when it fitted the buffer.
int ChapterPattern(const char *path, char *out, size_t size);

#endif
