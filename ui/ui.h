// User interface: the property sheet, the splash window, the About box and
// the AutoScript progress dialog (UI thread).
#ifndef HRX_UI_UI_H
#define HRX_UI_UI_H

#include <windows.h>

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
