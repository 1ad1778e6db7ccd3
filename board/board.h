// The player's side of the board driver interface: the one driver table,
// the loader and the wrappers through which every board is reached.  Main
// thread only.
#ifndef HRX_BOARD_BOARD_H
#define HRX_BOARD_BOARD_H

#include "board/mpegdrv.h"

// The process-wide driver table, zero at start.
extern MpegDriverTable MpegTable;

// Loads the library of table->boardType, calls its InitMPEG at once and
// looks up the other entry points; a name the library lacks leaves its slot
// null.  A board count above 16 is cut to 16.  Returns 0.
int LoadMpegDriver(MpegDriverTable *table);
// Calls FreeMPEG, releases the library and clears hLibrary and the slots,
// so that a later wrapper call does nothing.  Returns 0.
int FreeMpegDriver(MpegDriverTable *table);
// The folder, with its last backslash, of the library of a board type: the
// one loaded, else the program's own folder, where LoadMpegDriver looks
// first.  False for a type without a library or a folder too long.
bool DriverLibraryFolder(int boardType, char *folder, size_t size);

// The wrappers call their slot only when a library is loaded for board type
// 1 to 4 and the slot is filled.  Otherwise they return 0, except
// MpegOpen (-1 for another board type, -2 with no library or no OpenMPEG),
// MpegPlay, MpegGetFrame and MpegSetFrame (-1).  A path of 256 characters or
// more is not passed on: MpegOpen returns -1, MpegDisplayImage shows nothing.

int MpegInitBoard(int board);
int MpegFreeBoard(int board);
int MpegDisplayImage(int board, const char *path);
int MpegOpen(int board, const char *path);
int MpegPlay(int board, int start, int end, int flags);
int MpegCheck(int board);
int MpegStop(int board);
int MpegStill(int board);
int MpegStep(int board);
int MpegGetFrame(int board);
int MpegSetFrame(int board, int frame);
int MpegSlow(int board);
int MpegSetVideoOutput(int board, int outputStd);
int MpegBlank(int board, int blank);
int MpegFast(int board);
int MpegMute(int board, int mute);
int MpegGenlock(int board, int mode);

#endif
