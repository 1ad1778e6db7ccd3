// Places dialogs centred over a window or the screen, kept on the display
// (UI thread).
#include "app/app.h"

void CentreWindow(HWND hwnd, HWND reference)
{
    RECT window, ref;
    GetWindowRect(hwnd, &window);
    int w = window.right - window.left, h = window.bottom - window.top;
    if (reference) {
        GetWindowRect(reference, &ref);
    } else {
        ref.left = ref.top = 0;
        ref.right = GetSystemMetrics(SM_CXSCREEN);
        ref.bottom = GetSystemMetrics(SM_CYSCREEN);
    }
    HDC dc = GetDC(hwnd);
    int displayWidth = GetDeviceCaps(dc, HORZRES), displayHeight = GetDeviceCaps(dc, VERTRES);
    ReleaseDC(hwnd, dc);
    int x = ref.left + ((ref.right - ref.left) - w) / 2;
    if (x < 0)
        x = 0;
    else if (x + w > displayWidth)
        x = displayWidth - w;
    int y = ref.top + ((ref.bottom - ref.top) - h) / 2;
    if (y < 0)
        y = 0;
    else if (y + h > displayHeight)
        y = displayHeight - h;
    SetWindowPos(hwnd, NULL, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}
