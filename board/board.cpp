// The player's side of the board driver interface: the one driver table,
// the loader and unloader of the driver library, and the wrappers through
// which every board is reached.  Main thread only.
#include "board/board.h"

#include <stdio.h>

#include "app/text.h"

MpegDriverTable MpegTable;

namespace {

struct DriverLibrary {
    int boardType;
    const char *name;     // passed to LoadLibraryA as it is: no path, no extension
    const char *prefix;   // of every entry-point name
};

const DriverLibrary kDriverLibraries[] = {
    {BOARD_TYPE_THIRD, "TRmpeg", "TR"},
    {BOARD_TYPE_VIDEOPLEX, "OSmpeg", "OS"},
    {BOARD_TYPE_VIDEOQUEST, "KSmpeg", "KS"},
    {BOARD_TYPE_SCREEN, "SWmpeg", "SW"},
};

const DriverLibrary *DriverLibraryOf(int boardType)
{
    for (const DriverLibrary &library : kDriverLibraries)
        if (library.boardType == boardType)
            return &library;
    return NULL;
}

bool IsDriverBoardType(int boardType)
{
    return DriverLibraryOf(boardType) != NULL;
}

// The table whose entry points may be called, or null when no library is
// loaded for a known board type.
MpegDriverTable *CallableTable()
{
    MpegDriverTable *table = &MpegTable;
    if (!table->hLibrary || !IsDriverBoardType(table->boardType))
        return NULL;
    return table;
}

FARPROC FindEntryPoint(HMODULE library, const char *prefix, const char *slot)
{
    char name[64];
    snprintf(name, sizeof name, "%s%s", prefix, slot);
    return GetProcAddress(library, name);
}

// GetProcAddress yields a generic pointer; going through void (*)(void)
// converts it to the slot's own type without a cast-function-type warning.
template <typename Entry>
void StoreEntryPoint(Entry *slot, FARPROC address)
{
    *slot = reinterpret_cast<Entry>(reinterpret_cast<void (*)(void)>(address));
}

#define LOOK_UP_SLOT(table, prefix, slot) \
    StoreEntryPoint(&(table)->slot, FindEntryPoint((table)->hLibrary, (prefix), #slot))

void ClearEntryPoints(MpegDriverTable *table)
{
    table->InitMPEG = NULL;
    table->FreeMPEG = NULL;
    table->InitBoardMPEG = NULL;
    table->FreeBoardMPEG = NULL;
    table->DisplayImageMPEG = NULL;
    table->OpenMPEG = NULL;
    table->PlayMPEG = NULL;
    table->CheckMPEG = NULL;
    table->StopMPEG = NULL;
    table->StillMPEG = NULL;
    table->StepMPEG = NULL;
    table->GetFrameMPEG = NULL;
    table->SetFrameMPEG = NULL;
    table->SlowMPEG = NULL;
    table->SetVideoOutputMPEG = NULL;
    table->BlankMPEG = NULL;
    table->FastMPEG = NULL;
    table->MuteMPEG = NULL;
    table->GenlockMPEG = NULL;
}

// The 18 entry points after InitMPEG, in slot order.
void LookUpEntryPoints(MpegDriverTable *table, const char *prefix)
{
    LOOK_UP_SLOT(table, prefix, FreeMPEG);
    LOOK_UP_SLOT(table, prefix, InitBoardMPEG);
    LOOK_UP_SLOT(table, prefix, FreeBoardMPEG);
    LOOK_UP_SLOT(table, prefix, DisplayImageMPEG);
    LOOK_UP_SLOT(table, prefix, OpenMPEG);
    LOOK_UP_SLOT(table, prefix, PlayMPEG);
    LOOK_UP_SLOT(table, prefix, CheckMPEG);
    LOOK_UP_SLOT(table, prefix, StopMPEG);
    LOOK_UP_SLOT(table, prefix, StillMPEG);
    LOOK_UP_SLOT(table, prefix, StepMPEG);
    LOOK_UP_SLOT(table, prefix, GetFrameMPEG);
    LOOK_UP_SLOT(table, prefix, SetFrameMPEG);
    LOOK_UP_SLOT(table, prefix, SlowMPEG);
    LOOK_UP_SLOT(table, prefix, SetVideoOutputMPEG);
    LOOK_UP_SLOT(table, prefix, BlankMPEG);
    LOOK_UP_SLOT(table, prefix, FastMPEG);
    LOOK_UP_SLOT(table, prefix, MuteMPEG);
    LOOK_UP_SLOT(table, prefix, GenlockMPEG);
}

}  // namespace

int LoadMpegDriver(MpegDriverTable *table)
{
    if (!table)
        return 0;
    table->boardCount = 0;
    const DriverLibrary *library = DriverLibraryOf(table->boardType);
    if (!library)
        return 0;
    ClearEntryPoints(table);
    table->hLibrary = LoadLibraryA(library->name);
    if (!table->hLibrary)
        return 0;
    LOOK_UP_SLOT(table, library->prefix, InitMPEG);
    if (table->InitMPEG)
        table->InitMPEG(table);
    // The table has room for 16 boards, whatever the library reports.
    if (table->boardCount > MPEG_MAX_BOARDS)
        table->boardCount = MPEG_MAX_BOARDS;
    LookUpEntryPoints(table, library->prefix);
    return 0;
}

int FreeMpegDriver(MpegDriverTable *table)
{
    if (!table || !table->hLibrary || !IsDriverBoardType(table->boardType))
        return 0;
    if (table->FreeMPEG)
        table->FreeMPEG(table);
    FreeLibrary(table->hLibrary);
    table->hLibrary = NULL;
    ClearEntryPoints(table);
    return 0;
}

bool DriverLibraryFolder(int boardType, char *folder, size_t size)
{
    const DriverLibrary *library = DriverLibraryOf(boardType);
    if (!library || size == 0)
        return false;
    // The module of the library when it is loaded, else of the program.
    HMODULE module = GetModuleHandleA(library->name);
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(module, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return false;
    path[FolderLength(path, DRIVE_COLON_ONLY)] = '\0';
    return CopyText(folder, size, path) != 0;
}

int MpegInitBoard(int board)
{
    MpegDriverTable *table = CallableTable();
    if (table && table->InitBoardMPEG)
        table->InitBoardMPEG(table, board);
    return 0;
}

int MpegFreeBoard(int board)
{
    MpegDriverTable *table = CallableTable();
    if (table && table->FreeBoardMPEG)
        table->FreeBoardMPEG(table, board);
    return 0;
}

int MpegDisplayImage(int board, const char *path)
{
    MpegDriverTable *table = CallableTable();
    if (table && table->DisplayImageMPEG && FitsPathField(path))
        table->DisplayImageMPEG(table, board, path);
    return 0;
}

// -1: no driver board type (or a name too long for the table); -2: no
// library, or the library has no OpenMPEG.
int MpegOpen(int board, const char *path)
{
    if (!IsDriverBoardType(MpegTable.boardType))
        return -1;
    MpegDriverTable *table = CallableTable();
    if (!table || !table->OpenMPEG)
        return -2;
    if (!FitsPathField(path))
        return -1;
    return table->OpenMPEG(table, board, path);
}

int MpegPlay(int board, int start, int end, int flags)
{
    MpegDriverTable *table = CallableTable();
    if (!table || !table->PlayMPEG)
        return -1;
    return table->PlayMPEG(table, board, start, end, flags);
}

int MpegCheck(int board)
{
    MpegDriverTable *table = CallableTable();
    if (table && table->CheckMPEG)
        table->CheckMPEG(table, board);
    return 0;
}

int MpegStop(int board)
{
    MpegDriverTable *table = CallableTable();
    if (table && table->StopMPEG)
        table->StopMPEG(table, board);
    return 0;
}

int MpegStill(int board)
{
    MpegDriverTable *table = CallableTable();
    if (table && table->StillMPEG)
        table->StillMPEG(table, board);
    return 0;
}

int MpegStep(int board)
{
    MpegDriverTable *table = CallableTable();
    if (table && table->StepMPEG)
        table->StepMPEG(table, board);
    return 0;
}

int MpegGetFrame(int board)
{
    MpegDriverTable *table = CallableTable();
    if (!table || !table->GetFrameMPEG)
        return -1;
    return table->GetFrameMPEG(table, board);
}

int MpegSetFrame(int board, int frame)
{
    MpegDriverTable *table = CallableTable();
    if (!table || !table->SetFrameMPEG)
        return -1;
    return table->SetFrameMPEG(table, board, frame);
}

int MpegSlow(int board)
{
    MpegDriverTable *table = CallableTable();
    if (table && table->SlowMPEG)
        table->SlowMPEG(table, board);
    return 0;
}

int MpegSetVideoOutput(int board, int outputStd)
{
    MpegDriverTable *table = CallableTable();
    if (table && table->SetVideoOutputMPEG)
        table->SetVideoOutputMPEG(table, board, outputStd);
    return 0;
}

int MpegBlank(int board, int blank)
{
    MpegDriverTable *table = CallableTable();
    if (table && table->BlankMPEG)
        table->BlankMPEG(table, board, blank);
    return 0;
}

int MpegFast(int board)
{
    MpegDriverTable *table = CallableTable();
    if (table && table->FastMPEG)
        table->FastMPEG(table, board);
    return 0;
}

int MpegMute(int board, int mute)
{
    MpegDriverTable *table = CallableTable();
    if (table && table->MuteMPEG)
        table->MuteMPEG(table, board, mute);
    return 0;
}

int MpegGenlock(int board, int mode)
{
    MpegDriverTable *table = CallableTable();
    if (table && table->GenlockMPEG)
        table->GenlockMPEG(table, board, mode);
    return 0;
}
