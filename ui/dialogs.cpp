// Property sheet and dialogs.  Not built yet.
#include "ui/ui.h"

int ShowProperties(HWND) { return 1; }
int ShowSplash(HWND) { return 1; }
int RunAutoScriptDialog(HWND) { return 0; }

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM)
{
    if (msg == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, 1);
        return TRUE;
    }
    return FALSE;
}
