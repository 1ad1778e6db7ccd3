// SWmpeg.ini, the screen boards' settings file beside SWmpeg.dll: how many
// boards there are and where each is shown.  Read by the library when it
// starts, read and written by the property sheet's "Screens" page; no state
// of its own, so any thread may call it.
//
//   [SWmpeg]
//   Boards=n            1 to 16; 2 without the file or a number
//   [Board k]           one section a board, k from 0
//   Place=Tile          its share of the primary display (also without a section)
//   Place=Display       full screen on display Display=d: 1 the primary, 2 and
//                       on the others in the order Windows lists them
//   Place=Window        a window at Window=left,top,width,height
//   Frame=1             a tile or window with a frame and title bar (0: none)
//   TopMost=0           1: always on top
#ifndef HRX_SCREEN_SETUP_H
#define HRX_SCREEN_SETUP_H

#include <windows.h>

#include "board/mpegdrv.h"

#define SCREEN_SETUP_FILE "SWmpeg.ini"
#define DEFAULT_SCREEN_BOARDS 2
// Displays a board can name: 1 to this.
#define MOST_SCREEN_DISPLAYS 16
// A window's place and size are kept within the coordinates Windows takes.
#define LARGEST_SCREEN_COORDINATE 32767

enum BoardPlace { PLACE_TILE, PLACE_DISPLAY, PLACE_WINDOW };

struct BoardWindowRect {
    int left;
    int top;
    int width;
    int height;
};

struct BoardPlacement {
    BoardPlace place;
    int display;             // PLACE_DISPLAY; 0 when the file names none
    BoardWindowRect window;  // PLACE_WINDOW
    bool frame;
    bool topMost;
};

struct ScreenSetup {
    int boards;
    BoardPlacement placements[MPEG_MAX_BOARDS];
};

// What the file at path holds; the defaults for whatever it lacks or holds
// in a form not described above (a window without a usable rectangle is a
// tile), and for an empty or null path.
void ReadScreenSetup(const char *path, ScreenSetup *setup);
// Writes the number of boards and the sections of those boards, keeping
// the rest of the file; false when Windows could not write it.
bool WriteScreenSetup(const char *path, const ScreenSetup *setup);

#endif
