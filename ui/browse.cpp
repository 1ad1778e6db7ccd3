// File-open dialogs of the property pages' Browse buttons: their titles,
// filters and options, and what each stores in its setting (UI thread).
#include "ui/browse.h"

#include <commdlg.h>
#include <stdio.h>
#include <string.h>

#include "app/text.h"
#include "board/mpegdrv.h"

namespace {

// Pairs of description and pattern, each ended by a zero, the list by a
// second zero.  The "All Files" patterns begin with a space.
const char imageFilter[] = "YBR Image (*.ybr)\0*.ybr\0All Files (*.*)\0 *.*\0";
const char pictureFilter[] =
    "Pictures (*.bmp,*.png,*.jpg,*.mpg)\0*.bmp;*.png;*.jpg;*.jpeg;*.mpg\0All Files (*.*)\0 *.*\0";
const char traceFilter[] = "TXT Files (*.txt)\0*.txt\0All Files (*.*)\0 *.*\0";
const char mpegFilter[] =
    "MPEG files (*.mpg,*.mpa,*.mpv)\0*.mpg;*.mpa;*.mpv\0"
    "System files (*.mpg)\0*.mpg\0"
    "Audio/Video files (*.mpa,*.mpv)\0*.mpa;*.mpv\0"
    "All Files (*.*)\0 *.*\0";

const char traceTitle[] = "Trace File";
const char chapterTitle[] = "Default MPEG Location";

const DWORD existingFile = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
const DWORD anyFileInExistingPath = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;

// Runs the dialog on a copy of the setting: a failed dialog may write into
// its buffer (a name too long for it leaves the needed size there), and the
// setting must stay as it was.  The dialog moves the process's current
// directory, against which the default trace file "Trace.txt" and the help
// pages are found, so it is put back.
int ChooseFile(HWND page, const char *title, const char *filter, DWORD flags, const char *setting,
               char *chosen)
{
    char initialDir[TEXT_FIELD_SIZE];
    DirectoryPart(setting, initialDir, sizeof initialDir);
    CopyText(chosen, TEXT_FIELD_SIZE, setting);
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = page;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = chosen;
    ofn.nMaxFile = TEXT_FIELD_SIZE;
    ofn.lpstrInitialDir = initialDir[0] ? initialDir : NULL;
    ofn.lpstrTitle = title;
    ofn.Flags = flags;
    char savedDir[MAX_PATH];
    DWORD saved = GetCurrentDirectoryA(sizeof savedDir, savedDir);
    BOOL ok = GetOpenFileNameA(&ofn);
    if (saved > 0 && saved < sizeof savedDir)
        SetCurrentDirectoryA(savedDir);
    return ok ? 1 : 0;
}

}  // namespace

int DirectoryPart(const char *path, char *out, size_t size)
{
    size_t length = FolderLength(path, ANY_COLON);
    if (length >= size) {
        out[0] = '\0';
        return 0;
    }
    memcpy(out, path, length);
    out[length] = '\0';
    return 1;
}

int ExtensionPart(const char *path, char *out, size_t size)
{
    const char *dot = strrchr(path + FolderLength(path, ANY_COLON), '.');
    return CopyText(out, size, dot ? dot : "");
}

int ChapterPattern(const char *path, char *out, size_t size)
{
    char extension[TEXT_FIELD_SIZE];
    ExtensionPart(path, extension, sizeof extension);
    int directoryLength = (int)FolderLength(path, ANY_COLON);
    int n = snprintf(out, size, "%.*s*%s", directoryLength, path, extension);
    return n >= 0 && (size_t)n < size;
}

// The still images a board type shows: the decoder boards' YBR images, the
// screen boards' pictures; any file for a board type of another maker.
static const char *ImageFilterOf(int boardType)
{
    switch (boardType) {
    case BOARD_TYPE_VIDEOPLEX:
    case BOARD_TYPE_VIDEOQUEST: return imageFilter;
    case BOARD_TYPE_SCREEN: return pictureFilter;
    default: return NULL;
    }
}

int BrowseImage(HWND page, const char *title, int boardType, char *setting)
{
    char chosen[TEXT_FIELD_SIZE];
    if (!ChooseFile(page, title, ImageFilterOf(boardType), existingFile, setting, chosen))
        return 0;
    CopyText(setting, TEXT_FIELD_SIZE, chosen);
    return 1;
}

int BrowseTraceFile(HWND page, char *setting)
{
    char chosen[TEXT_FIELD_SIZE];
    if (!ChooseFile(page, traceTitle, traceFilter, anyFileInExistingPath, setting, chosen))
        return 0;
    CopyText(setting, TEXT_FIELD_SIZE, chosen);
    return 1;
}

int BrowseChapterFilter(HWND page, char *setting)
{
    char chosen[TEXT_FIELD_SIZE], pattern[TEXT_FIELD_SIZE];
    if (!ChooseFile(page, chapterTitle, mpegFilter, existingFile, setting, chosen))
        return 0;
    if (!ChapterPattern(chosen, pattern, sizeof pattern))
        return 0;
    CopyText(setting, TEXT_FIELD_SIZE, pattern);
    return 1;
}
