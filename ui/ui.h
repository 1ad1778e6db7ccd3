// User interface: the property sheet, the splash window, the About box and
// the AutoScript progress dialog (UI thread).
#ifndef HRX_UI_UI_H
#define HRX_UI_UI_H

#include <windows.h>

#define PROPERTIES_CAPTION "Properties"
#define PROPERTY_PAGE_COUNT 3

// The splash window closes itself at the first timer message after this.
#define IDT_SPLASH 1
#define SPLASH_MS 3500

int ShowProperties(HWND hwnd);
INT_PTR CALLBACK ControlPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK TracePageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK HrxPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam);

int ShowSplash(HWND hwnd);
INT_PTR CALLBACK SplashDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);
int RunAutoScriptDialog(HWND hwnd);
INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM lParam);

#endif
