// AutoScript: the poll for "Halcyra.inf" on drives C: to H: (started by the
// UI thread, run on the poll worker thread) and the run of one script, line
// by line, on the AutoScript worker thread that the progress dialog starts.
#include "autoscript/autoscript.h"

#include <stdio.h>
#include <string.h>

#include "app/cdtray.h"
#include "app/tokens.h"
#include "app/trace.h"
#include "autoscript/output.h"
#include "ui/resource.h"

AutoScriptState autoScript;

namespace {

// Whether the run has had the boards stopped; the worker's own.
bool boardsStopped;

// Before the run's first COPY or DEL: the window stops the boards on its
// own thread while this one waits.
void StopBoardsOnce()
{
    if (boardsStopped)
        return;
    boardsStopped = true;
    SendMessageA(autoScript.owner, WM_COMMAND, ID_AUTOSCRIPT_STOP_BOARDS, 0);
}

struct AutoCommand {
    const char *keyword;
    // Null: the keyword is known but has no action.  False: the line lacks
    // an argument the command needs.
    bool (*action)();
};

bool EjectCd()
{
    ShowProgressCaption(CAPTION_EJECT);
    ShowProgressText(IDC_PROGRESS_FILE, "");
    ShowProgressText(IDC_PROGRESS_FROM_TO, "");
    ShowProgressText(IDC_PROGRESS_ESTIMATE, "");
    ShowProgressBar(0);
    MoveCdTray(true);
    return true;
}

bool IsMissing(const char *token)
{
    return token == NULL || token[0] == '\0';
}

bool CopyCommand()
{
    const char *source = NextToken(NULL, TOKEN_DELIMITERS);
    const char *destination = NextToken(NULL, TOKEN_DELIMITERS);
    if (IsMissing(source) || IsMissing(destination))
        return false;
    StopBoardsOnce();
    ShowProgressCaption(CAPTION_COPY);
    ShowProgressText(IDC_PROGRESS_ESTIMATE, "");
    ShowProgressBar(0);
    CopyFiles(source, destination);
    return true;
}

bool DeleteCommand()
{
    const char *pattern = NextToken(NULL, TOKEN_DELIMITERS);
    if (IsMissing(pattern))
        return false;
    StopBoardsOnce();
    ShowProgressCaption(CAPTION_DELETE);
    ShowProgressText(IDC_PROGRESS_ESTIMATE, "");
    ShowProgressBar(0);
    DeleteFiles(pattern);
    return true;
}

const AutoCommand AutoCommandTable[] = {
    {"EJECT", EjectCd},
    {"RESET", NULL},
    {"COPY", CopyCommand},
    {"DEL", DeleteCommand},
    {"DEFRAG", NULL},
    {"", NULL},
};

void ReportUnknownCommand(const char *line)
{
    WriteAutoScriptLogF("Unknown Auto Command - %s", line);
}

enum ScriptLineKind { SCRIPT_END, SCRIPT_LINE, SCRIPT_LINE_TOO_LONG };

// One character of a line: counted, and kept while there is room.  Blanks
// before the first other character are counted but not kept, so that a
// line too long for the buffer still shows its command.
void AddLineCharacter(char c, char *line, size_t size, size_t *length, size_t *total)
{
    ++*total;
    if (c == ' ' && *length == 0)
        return;
    if (*length + 1 < size)
        line[(*length)++] = c;
}

// Reads one line into line (size bytes) without its line end (a line feed
// and a carriage return before it) and its leading blanks.  A line of more
// than size - 1 characters in all, blanks included, is read to its end and
// reported as too long; the first size - 1 characters after its blanks are
// kept.
ScriptLineKind ReadScriptLine(FILE *script, char *line, size_t size)
{
    size_t length = 0, total = 0;
    bool anything = false, carriageReturn = false;
    int c;
    while ((c = getc(script)) != EOF) {
        anything = true;
        if (c == '\n')
            break;
        // A carriage return not followed by the line feed is part of the line.
        if (carriageReturn)
            AddLineCharacter('\r', line, size, &length, &total);
        carriageReturn = c == '\r';
        if (!carriageReturn)
            AddLineCharacter((char)c, line, size, &length, &total);
    }
    line[length] = '\0';
    if (!anything)
        return SCRIPT_END;
    return total >= size ? SCRIPT_LINE_TOO_LONG : SCRIPT_LINE;
}

// Runs the script's lines until its end or a Cancel.  A line too long for
// a path of 255 characters is not run cut short (a cut DEL pattern could
// match more): it is reported, even when its blanks alone fill the 255.
void RunScriptLines(FILE *script)
{
    char line[TEXT_FIELD_SIZE];
    for (;;) {
        ScriptLineKind kind = ReadScriptLine(script, line, sizeof line);
        if (kind == SCRIPT_END || autoScript.active != 1)
            break;
        if (line[0] == '\0' || line[0] == ';')
            continue;
        if (kind == SCRIPT_LINE_TOO_LONG)
            ReportUnknownCommand(line);
        else
            RunAutoCommand(line);
    }
}

void ScriptPathOfDrive(int drive, char *path, size_t size)
{
    snprintf(path, size, "%c%s", AUTOSCRIPT_FIRST_DRIVE + drive, AUTOSCRIPT_FILE_NAME);
}

// The time of the drive's script, 0 when it has none or is a network
// drive (the drive's type is known without asking its server).
LONG ScriptTimeOfDrive(int drive)
{
    char root[] = {(char)(AUTOSCRIPT_FIRST_DRIVE + drive), ':', '\\', '\0'};
    if (GetDriveTypeA(root) == DRIVE_REMOTE)
        return 0;
    char path[TEXT_FIELD_SIZE];
    ScriptPathOfDrive(drive, path, sizeof path);
    return FileTime(path);
}

// True while the thread has not ended; the handle of one that has ended is
// closed and cleared.
bool IsThreadAlive(HANDLE *thread)
{
    if (!*thread)
        return false;
    if (WaitForSingleObject(*thread, 0) == WAIT_TIMEOUT)
        return true;
    CloseHandle(*thread);
    *thread = NULL;
    return false;
}

bool IsPollerAlive()
{
    return IsThreadAlive(&autoScript.poller);
}

// The poll worker: a drive may take seconds to answer (a CD spinning up, a
// USB disk waking), which the UI thread does not wait for.  Its last act
// tells the window what it found.
DWORD WINAPI AutoScriptPollThread(LPVOID window)
{
    if (FindAutoScript() == 1) {
        autoScript.found = 1;
        PostMessageA(static_cast<HWND>(window), WM_COMMAND, ID_AUTOSCRIPT_FOUND, 0);
    }
    return 0;
}

}  // namespace

bool StartAutoScriptPoll(HWND hwnd)
{
    const InstanceRecord *record = GetInstanceRecord(hwnd);
    // A script found but not yet taken is not looked for again.
    if (!record || record->autoScriptRunning != 0 || IsAutoScriptWorkerAlive() || IsPollerAlive() ||
        autoScript.found != 0)
        return false;
    autoScript.poller = CreateThread(NULL, 0, AutoScriptPollThread, hwnd, 0, NULL);
    return autoScript.poller != NULL;
}

bool TakeFoundAutoScript(void)
{
    if (autoScript.poller && WaitForSingleObject(autoScript.poller, AUTOSCRIPT_STOP_WAIT_MS) != WAIT_OBJECT_0)
        return false;
    IsPollerAlive();
    return autoScript.found.exchange(0) == 1;
}

bool StopAutoScriptPoll(DWORD timeoutMs)
{
    if (autoScript.poller)
        WaitForSingleObject(autoScript.poller, timeoutMs);
    return !IsPollerAlive();
}

// Each drive remembers the time of the script that last ran from it, and
// forgets it at a poll that finds no script there: a script runs once for
// each appearance, on whichever drives it appears.  Of several new scripts
// the last drive's runs now and the others' at the next polls.
int FindAutoScript(void)
{
    int newDrive = -1;
    LONG newTime = 0;
    for (int drive = 0; drive < AUTOSCRIPT_DRIVE_COUNT; drive++) {
        LONG time = ScriptTimeOfDrive(drive);
        if (time == 0) {
            autoScript.lastScriptTime[drive] = 0;
        } else if (time != autoScript.lastScriptTime[drive]) {
            newDrive = drive;
            newTime = time;
        }
    }
    if (newDrive < 0)
        return 0;
    autoScript.lastScriptTime[newDrive] = newTime;
    ScriptPathOfDrive(newDrive, autoScript.scriptPath, sizeof autoScript.scriptPath);
    return 1;
}

bool IsAutoScriptWorkerAlive(void)
{
    return IsThreadAlive(&autoScript.worker);
}

// Only messages sent to this thread are served: the worker's synchronous
// calls to the progress dialog.  Posted ones (commands, menu, timers) wait.
bool StopAutoScriptWorker(DWORD timeoutMs)
{
    autoScript.active = 0;
    DWORD start = GetTickCount();
    for (;;) {
        // Calls already waiting are served first: the wait below wakes
        // only for new ones.
        MSG msg;
        PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        if (!IsAutoScriptWorkerAlive())
            return true;
        DWORD waited = GetTickCount() - start;
        if (waited >= timeoutMs)
            return false;
        MsgWaitForMultipleObjects(1, &autoScript.worker, FALSE, timeoutMs - waited, QS_SENDMESSAGE);
    }
}

DWORD WINAPI AutoScriptThread(LPVOID)
{
    boardsStopped = false;
    WriteAutoScriptLog("AutoScript started");
    if (autoScript.active != 1)
        return 0;
    if (autoScript.scriptPath[0] == '\0') {
        autoScript.active = 0;
        WriteAutoScriptLog("AutoScript no INF name");
        return 0;
    }
    FILE *script = fopen(autoScript.scriptPath, "rb");
    if (!script) {
        autoScript.active = 0;
        WriteAutoScriptLog("AutoScript unable to open INF file");
        return 0;
    }
    RunScriptLines(script);
    fclose(script);
    autoScript.active = 0;
    PostMessageA(autoScript.progressDialog, WM_COMMAND, IDCANCEL, 0);
    WriteAutoScriptLog("AutoScript completed");
    if (boardsStopped)
        PostMessageA(autoScript.owner, WM_COMMAND, ID_AUTOSCRIPT_MEDIA_CHANGED, 0);
    return 0;
}

int RunAutoCommand(const char *line)
{
    const char *keyword = NextToken(line, TOKEN_DELIMITERS);
    bool taken = false;
    for (const AutoCommand *command = AutoCommandTable; command->keyword[0] != '\0' && !taken; command++) {
        if (keyword && command->action && _stricmp(keyword, command->keyword) == 0)
            taken = command->action();
    }
    if (!taken)
        ReportUnknownCommand(line);
    return 0;
}
