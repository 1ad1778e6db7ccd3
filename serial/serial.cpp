// Serial link to the show controller.  Not opened yet: the player runs
// without a port until the link is built.
#include "serial/serial.h"

int OpenCommPort(HWND, SerialBlock *)
{
    return -1;
}

int CloseCommPort(HWND, SerialBlock *)
{
    return 0;
}

int WriteCommBlock(HWND, const BYTE *, DWORD)
{
    return 0;
}
