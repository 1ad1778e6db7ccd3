// The player's side of the board driver interface: the one driver table,
// the loader and the wrappers through which every board is reached.  Main
// thread only.
#ifndef HRX_BOARD_BOARD_H
#define HRX_BOARD_BOARD_H

#include "board/mpegdrv.h"

// The process-wide driver table, zero at start.
extern MpegDriverTable MpegTable;

// Loads the library of table->boardType, calls its InitMPEG at once and
// looks up the other entry points.  Returns 0.
int LoadMpegDriver(MpegDriverTable *table);
// Calls FreeMPEG and releases the library.  Returns 0.
int FreeMpegDriver(MpegDriverTable *table);

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
