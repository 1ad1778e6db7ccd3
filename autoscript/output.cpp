// What an AutoScript run shows and records (AutoScript thread).  The window
// system hands each call on the progress dialog to its UI thread.  Log
// lines go to the trace log file in the form "dd/mm/yy hh:mm:ss - message",
// without milliseconds, each appended by one write.
#include "autoscript/output.h"

#include <windows.h>
#include <commctrl.h>
#include <stdarg.h>
#include <stdio.h>
#include <time.h>

#include "app/trace.h"
#include "autoscript/autoscript.h"
#include "ui/resource.h"

void ShowProgressCaption(const char *caption)
{
    SetWindowTextA(autoScript.progressDialog, caption);
}

void ShowProgressText(int controlId, const char *text)
{
    SetDlgItemTextA(autoScript.progressDialog, controlId, text);
}

void ShowProgressBar(int percent)
{
    SendDlgItemMessageA(autoScript.progressDialog, IDC_PROGRESS_BAR, PBM_SETPOS, (WPARAM)percent, 0);
}

int WriteAutoScriptLog(const char *message)
{
    if (autoScript.logPath[0] == '\0')
        return 1;
    char stamp[TEXT_FIELD_SIZE] = "";
    time_t now = time(NULL);
    struct tm *local = localtime(&now);
    if (local)
        strftime(stamp, sizeof stamp, "%d/%m/%y %H:%M:%S - ", local);
    AppendTraceLine(autoScript.logPath, stamp, message);
    return 1;
}

int WriteAutoScriptLogF(const char *format, ...)
{
    char message[AUTOSCRIPT_LOG_LINE_MAX];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    return WriteAutoScriptLog(message);
}
