// The player's side of the board driver interface.  No library is loaded
// yet: every wrapper answers as for a missing library.
#include "board/board.h"

MpegDriverTable MpegTable;

int LoadMpegDriver(MpegDriverTable *table)
{
    if (table)
        table->boardCount = 0;
    return 0;
}

int FreeMpegDriver(MpegDriverTable *) { return 0; }
int MpegInitBoard(int) { return 0; }
int MpegFreeBoard(int) { return 0; }
int MpegDisplayImage(int, const char *) { return 0; }
int MpegOpen(int, const char *) { return -2; }
int MpegPlay(int, int, int, int) { return -1; }
int MpegCheck(int) { return 0; }
int MpegStop(int) { return 0; }
int MpegStill(int) { return 0; }
int MpegStep(int) { return 0; }
int MpegGetFrame(int) { return -1; }
int MpegSetFrame(int, int) { return -1; }
int MpegSlow(int) { return 0; }
int MpegSetVideoOutput(int, int) { return 0; }
int MpegBlank(int, int) { return 0; }
int MpegFast(int) { return 0; }
int MpegMute(int, int) { return 0; }
int MpegGenlock(int, int) { return 0; }
