// User interface: the property sheet, the splash window, the About box and
// the AutoScript progress dialog (UI thread).
#ifndef HRX_UI_UI_H
#define HRX_UI_UI_H

#include <windows.h>

#include "screen/setup.h"

#define PROPERTIES_CAPTION "Properties"
// The pages every sheet has; the "Screens" page follows them for board
// type 4.
#define PROPERTY_PAGE_COUNT 3
#define SCREENS_PAGE_INDEX PROPERTY_PAGE_COUNT

// The "Screens" page's copy of SWmpeg.ini; OK writes it when edited.
struct ScreensCopy {
    ScreenSetup setup;
    bool edited;
};

// The splash window closes itself at the first timer message after this.
#define IDT_SPLASH 1
#define SPLASH_MS 3500

int ShowProperties(HWND hwnd);
INT_PTR CALLBACK ControlPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TracePageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK HrxPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ScreensPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
// Adds the "Screens" page to the open sheet, or takes it away, as the
// board type chosen on the "Control" page asks.
void ShowScreensPage(HWND sheet, bool shown);

int ShowSplash(HWND hwnd);
INT_PTR CALLBACK SplashDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
int RunAutoScriptDialog(HWND hwnd);
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

#endif
