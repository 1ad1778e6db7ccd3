// The AutoScript progress dialog: open for the whole run, it starts the
// worker thread and cancels the run when it closes (UI thread; the worker
// writes into its controls by synchronous window calls).
#include <windows.h>
#include <commctrl.h>

#include "app/instance.h"
#include "app/text.h"
#include "autoscript/autoscript.h"
#include "ui/resource.h"
#include "ui/ui.h"

namespace {

void InitProgressDialog(HWND dialog)
{
    autoScript.active = 1;
    autoScript.progressDialog = dialog;
    SetDlgItemTextA(dialog, IDC_PROGRESS_FILE, "");
    SetDlgItemTextA(dialog, IDC_PROGRESS_FROM_TO, "");
    SetDlgItemTextA(dialog, IDC_PROGRESS_ESTIMATE, "");
    SendDlgItemMessageA(dialog, IDC_PROGRESS_BAR, PBM_SETPOS, 0, 0);
    // Without a worker the dialog stays open until the user cancels.  Its
    // handle is kept: a worker can outlive a Cancel (in a slow read), and
    // no other run may start until it has ended.
    DWORD threadId;
    autoScript.worker = CreateThread(NULL, 0, AutoScriptThread, NULL, 0, &threadId);
}

}  // namespace

int RunAutoScriptDialog(HWND hwnd)
{
    const InstanceRecord *record = GetInstanceRecord(hwnd);
    if (!record)
        return 0;
    InitCommonControls();
    CopyText(autoScript.logPath, sizeof autoScript.logPath, record->settings.traceFile);
    autoScript.owner = hwnd;
    DialogBoxParamA(record->hInstance, MAKEINTRESOURCEA(IDD_PROGRESS), hwnd, ProgressDialogProc, 0);
    return 0;
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        InitProgressDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL)
            return FALSE;
        autoScript.active = 0;
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}
