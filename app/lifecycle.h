// Bring-up and take-down of the boards and the first chapter, shared by
// start-up, the property sheet's restart and shut-down (main thread).
#ifndef HRX_APP_LIFECYCLE_H
#define HRX_APP_LIFECYCLE_H

#include <windows.h>

// Loads the driver library of the board type and brings every board up
// with the opening image, tracing each step.
void BringUpBoards(HWND hwnd);
// Shows the closing image on every board, frees it, then the library.
void TakeDownBoards(HWND hwnd);
// Selects chapter 0, frame mode and board 0, and opens chapter 0 on every
// board.
void OpenChapterZero(HWND hwnd);
// Sends the single unsolicited acknowledgement byte to the controller.
void SendStartupAck(HWND hwnd);

#endif
