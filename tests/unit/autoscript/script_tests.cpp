// AutoScript runner: the script's lines as the worker thread reads them,
// the commands, the log, the ends of a run and the poll of drives C: to H:
// and its worker.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/cdtray.h"
#include "app/instance.h"
#include "autoscript/autoscript.h"
#include "importpatch.h"
#include "recordwindow.h"
#include "support.h"
#include "ui/resource.h"

namespace {

const Lines kEjected = {"open", "set door open", "close"};

std::string UnknownCommand(const std::string &line)
{
    return "Unknown Auto Command - " + line;
}

class AutoScriptRun : public ::testing::Test {
protected:
    ProgressStandIn standIn;
    std::string scriptPath = WorkDirectory() + "Halcyra.inf";

    void SetUp() override
    {
        ResetAutoScript(standIn.dialog);
        ResetTrayLog();
        snprintf(autoScript.scriptPath, sizeof autoScript.scriptPath, "%s", scriptPath.c_str());
    }

    // Runs a script; returns the log between "AutoScript started" and
    // "AutoScript completed", which must frame it.
    Lines RunScript(const std::string &script, int line)
    {
        WriteWholeFile(scriptPath, script);
        standIn.events.clear();
        ResetAutoScript(standIn.dialog);
        snprintf(autoScript.scriptPath, sizeof autoScript.scriptPath, "%s", scriptPath.c_str());
        RunAutoScriptThread();
        Lines log = LogMessages();
        EXPECT_EQ(autoScript.active, 0) << "line " << line;
        EXPECT_EQ(standIn.EventsStartingWith("cancel").size(), 1u) << "line " << line;
        if (log.size() < 2 || log.front() != "AutoScript started" || log.back() != "AutoScript completed") {
            ADD_FAILURE() << "line " << line << ": run not framed by started and completed";
            return log;
        }
        return Lines(log.begin() + 1, log.end() - 1);
    }
};

TEST_F(AutoScriptRun, ScriptLinesAreReadAsWritten)
{
    const std::string spaces250(250, ' ');
    const struct {
        int line;
        std::string script;
        Lines log;
        Lines tray;
    } cases[] = {
        {__LINE__, "EJECT\r\n", {}, kEjected},
        {__LINE__, "eject\r\n", {}, kEjected},
        {__LINE__, "eJeCt\r\n", {}, kEjected},
        {__LINE__, "   ; a comment that says EJECT\r\n\r\n", {}, {}},
        {__LINE__, ";EJECT\r\n", {}, {}},
        // Mend: only the line end is stripped, so a last line without CR LF
        // runs whole.
        {__LINE__, "EJECT", {}, kEjected},
        {__LINE__, "RESET\r\nEJECT", {UnknownCommand("RESET")}, kEjected},
        // Mend: LF-only line ends lose nothing of the line.
        {__LINE__, "RESET\nEJECT\n", {UnknownCommand("RESET")}, kEjected},
        // Mend: a bare line feed is an empty line.
        {__LINE__, "\n\n\r\nEJECT\r\n", {}, kEjected},
        {__LINE__, "EJECT\tnow\r\n", {UnknownCommand("EJECT\tnow")}, {}},
        {__LINE__, "\tEJECT\r\n", {UnknownCommand("\tEJECT")}, {}},
        {__LINE__, "  ,,,\r\n", {UnknownCommand(",,,")}, {}},
        {__LINE__, "EJECT, now\r\n", {}, kEjected},
        {__LINE__, "RESET\r\nDEFRAG C:\r\nreset\r\n",
         {UnknownCommand("RESET"), UnknownCommand("DEFRAG C:"), UnknownCommand("reset")}, {}},
        {__LINE__, "FORMAT C:\r\n", {UnknownCommand("FORMAT C:")}, {}},
        // 255 characters fit a line; the 256th makes it too long to run.
        {__LINE__, "EJECT" + spaces250 + "\r\n", {}, kEjected},
        {__LINE__, "EJECT" + spaces250 + " \r\n", {UnknownCommand("EJECT" + spaces250)}, {}},
        {__LINE__, std::string(300, ' ') + ";" + std::string(300, 'c') + "\r\nEJECT\r\n", {}, kEjected},
        // Mend: blanks that fill the 255 characters no longer hide the
        // command of an over-long line; a blank line of any length is empty.
        {__LINE__, std::string(300, ' ') + "EJECT\r\nRESET\r\n", {UnknownCommand("EJECT"), UnknownCommand("RESET")},
         {}},
        {__LINE__, std::string(300, ' ') + "\r\nEJECT\r\n", {}, kEjected},
    };
    for (const auto &c : cases) {
        ResetTrayLog();
        EXPECT_EQ(RunScript(c.script, c.line), c.log) << "line " << c.line;
        EXPECT_EQ(TrayRequests(), c.tray) << "line " << c.line;
    }
}

// Mend: a line longer than 255 characters is reported, never run cut
// short (a cut DEL pattern could match more than was written).
TEST_F(AutoScriptRun, OverlongLineIsReportedNotRunCut)
{
    RemoveTree("long");
    MakeDirectory("long");
    WriteWholeFile("long\\a.bin", "keep");
    std::string line = "DEL " + WorkDirectory() + "long\\a" + std::string(300, 'x') + "*.bin";
    EXPECT_EQ(RunScript(line + "\r\n", __LINE__), Lines{UnknownCommand(line.substr(0, 255))});
    EXPECT_EQ(ReadWholeFile("long\\a.bin"), "keep");
    RemoveTree("long");
}

TEST_F(AutoScriptRun, RunEndsAsTheDialogAndTheScriptAllow)
{
    WriteWholeFile(scriptPath, "EJECT\r\n");

    autoScript.active = 0;  // Cancel pressed before the thread began
    RunAutoScriptThread();
    EXPECT_EQ(LogMessages(), Lines{"AutoScript started"});
    EXPECT_TRUE(standIn.events.empty());
    EXPECT_TRUE(TrayRequests().empty());

    ResetAutoScript(standIn.dialog);
    autoScript.scriptPath[0] = '\0';
    RunAutoScriptThread();
    EXPECT_EQ(LogMessages(), (Lines{"AutoScript started", "AutoScript no INF name"}));
    EXPECT_EQ(autoScript.active, 0);
    EXPECT_TRUE(standIn.events.empty()) << "the dialog stays open until the user's Cancel";

    ResetAutoScript(standIn.dialog);
    snprintf(autoScript.scriptPath, sizeof autoScript.scriptPath, "%s", (WorkDirectory() + "gone.inf").c_str());
    RunAutoScriptThread();
    EXPECT_EQ(LogMessages(), (Lines{"AutoScript started", "AutoScript unable to open INF file"}));
    EXPECT_EQ(autoScript.active, 0);
    EXPECT_TRUE(standIn.events.empty());
    EXPECT_TRUE(TrayRequests().empty());

    EXPECT_EQ(RunScript("", __LINE__), Lines{});
}

TEST_F(AutoScriptRun, CancelDuringCopyStopsTheScript)
{
    RemoveTree("cancel");
    MakeDirectory("cancel");
    MakeDirectory("cancel\\out");
    WriteWholeFile("cancel\\src.bin", Pattern(100 * COPY_CHUNK_SIZE, 1));
    standIn.onBar = [](int percent) {
        if (percent == 30)
            autoScript.active = 0;
    };
    std::string source = WorkDirectory() + "cancel\\src.bin";
    std::string out = WorkDirectory() + "cancel\\out\\";
    Lines log = RunScript("COPY " + source + " " + out + "\r\nEJECT\r\n", __LINE__);
    EXPECT_EQ(log, (Lines{"Copying file '" + source + "' to '" + out + "src.bin'", "60.0 KB copied"}));
    EXPECT_TRUE(TrayRequests().empty()) << "no line after the Cancel runs";
    EXPECT_TRUE(FilesIn("cancel\\out").empty());
    RemoveTree("cancel");
}

TEST_F(AutoScriptRun, CommandsActOnTheirKeywordInAnyCase)
{
    RemoveTree("cmd");
    MakeDirectory("cmd");
    MakeDirectory("cmd\\out");
    MakeDirectory("cmd\\sp ace, dir");
    WriteWholeFile("cmd\\a.bin", "alpha");
    WriteWholeFile("cmd\\sp ace, dir\\q.bin", "quoted");
    const std::string dir = WorkDirectory() + "cmd\\";
    const Lines eject = {"caption Eject CD", "1008 ", "1009 ", "1010 ", "bar 0"};
    const Lines copy = {"caption Copying...", "1010 ", "bar 0"};
    const Lines del = {"caption Deleteing...", "1010 ", "bar 0"};
    const struct {
        int line;
        std::string command;
        Lines firstEvents;  // none: the dialog is left as it was
        Lines log;
        Lines tray;
    } cases[] = {
        {__LINE__, "EJECT", eject, {}, kEjected},
        {__LINE__, "copy " + dir + "a.bin " + dir + "out\\", copy,
         {"Copying file '" + dir + "a.bin' to '" + dir + "out\\a.bin'", "0.0 KB copied"}, {}},
        {__LINE__, "Copy \"" + dir + "sp ace, dir\\*.bin\" '" + dir + "out\\' ignored", copy,
         {"Copying file '" + dir + "sp ace, dir\\q.bin' to '" + dir + "out\\q.bin'", "0.0 KB copied"}, {}},
        {__LINE__, "Del " + dir + "out\\a.bin", del, {"Deleting file '" + dir + "out\\a.bin'"}, {}},
        {__LINE__, "RESET", {}, {UnknownCommand("RESET")}, {}},
        {__LINE__, "DEFRAG", {}, {UnknownCommand("DEFRAG")}, {}},
        {__LINE__, "COPYING a b", {}, {UnknownCommand("COPYING a b")}, {}},
        // Mend: a COPY without source or destination and a DEL without
        // pattern are unknown commands; the dialog is left as it was.
        {__LINE__, "COPY", {}, {UnknownCommand("COPY")}, {}},
        {__LINE__, "COPY " + dir + "a.bin", {}, {UnknownCommand("COPY " + dir + "a.bin")}, {}},
        {__LINE__, "COPY " + dir + "a.bin ,", {}, {UnknownCommand("COPY " + dir + "a.bin ,")}, {}},
        {__LINE__, "COPY \"\" " + dir + "out\\", {}, {UnknownCommand("COPY \"\" " + dir + "out\\")}, {}},
        {__LINE__, "DEL", {}, {UnknownCommand("DEL")}, {}},
        {__LINE__, "del ,", {}, {UnknownCommand("del ,")}, {}},
    };
    for (const auto &c : cases) {
        ResetAutoScript(standIn.dialog);
        ResetTrayLog();
        SetWindowTextA(standIn.dialog, "Dialog");
        standIn.Prefill("before", 40);
        standIn.events.clear();
        RunAutoCommand(c.command.c_str());
        EXPECT_EQ(LogMessages(), c.log) << "line " << c.line;
        EXPECT_TRUE(WaitForCdTray(CD_TRAY_STOP_WAIT_MS)) << "line " << c.line;
        EXPECT_EQ(TrayRequests(), c.tray) << "line " << c.line;
        size_t shown = std::min(standIn.events.size(), c.firstEvents.size());
        EXPECT_EQ(Lines(standIn.events.begin(), standIn.events.begin() + shown), c.firstEvents) << "line " << c.line;
        if (c.firstEvents.empty()) {
            EXPECT_TRUE(standIn.events.empty()) << "line " << c.line;
            EXPECT_EQ(standIn.Caption(), "Dialog") << "line " << c.line;
            EXPECT_EQ(standIn.Bar(), 40) << "line " << c.line;
        }
    }
    EXPECT_EQ(ReadWholeFile("cmd\\out\\q.bin"), "quoted");
    EXPECT_FALSE(Exists("cmd\\out\\a.bin"));

    standIn.Prefill("before", 40);
    RunAutoCommand("EJECT");
    for (int id : {IDC_PROGRESS_FILE, IDC_PROGRESS_FROM_TO, IDC_PROGRESS_ESTIMATE})
        EXPECT_EQ(standIn.Text(id), "") << "control " << id << " is cleared by EJECT";
    EXPECT_EQ(standIn.Bar(), 0);
    RemoveTree("cmd");
}

TEST(AutoScriptLog, LinesAreAppendedWithoutMilliseconds)
{
    ResetAutoScript(NULL);
    WriteWholeFile(kLogFile, "earlier line\r\n");
    std::string long1000(1000, 'm');
    WriteAutoScriptLog("AutoScript started");
    WriteAutoScriptLog(long1000.c_str());
    std::string text = ReadWholeFile(kLogFile);
    ASSERT_EQ(text.compare(0, 14, "earlier line\r\n"), 0) << text;
    WriteWholeFile(kLogFile, text.substr(14));
    EXPECT_EQ(LogMessages(), (Lines{"AutoScript started", long1000}));

    EXPECT_EQ(text.substr(14, 9), TodayStamp()) << "day, month, two-digit year";

    autoScript.logPath[0] = '\0';
    DeleteFileA(kLogFile);
    WriteAutoScriptLog("lost");
    EXPECT_FALSE(Exists(kLogFile));

    MakeDirectory("log-is-a-directory");
    snprintf(autoScript.logPath, sizeof autoScript.logPath, "log-is-a-directory");
    WriteAutoScriptLog("lost");
    RemoveDirectoryA("log-is-a-directory");
}

// Mend: a chapter a board holds open can be neither replaced nor deleted.
// Before its first COPY or DEL a run has the main window stop the boards,
// and waits for it; at its end it tells the window to read the chapters
// again.  A run without either leaves the boards alone.
TEST_F(AutoScriptRun, CopyAndDeleteHaveTheBoardsStoppedFirstAndTheChaptersReadAfter)
{
    const std::string dir = WorkDirectory() + "update\\";
    MakeDirectory(dir);
    MakeDirectory(dir + "out");
    WriteWholeFile(dir + "a.mpg", "a");
    const std::string copy = "COPY " + dir + "a.mpg " + dir + "out\\\r\n";
    const std::string stop = "command " + std::to_string(ID_AUTOSCRIPT_STOP_BOARDS);
    const std::string changed = "command " + std::to_string(ID_AUTOSCRIPT_MEDIA_CHANGED);
    const struct {
        int line;
        std::string script;
        Lines events;  // the stand-in's captions and commands
    } cases[] = {
        {__LINE__, "EJECT\r\nDEL\r\n", {"caption Eject CD", "cancel"}},
        {__LINE__, copy + "DEL " + dir + "out\\a.mpg\r\n" + copy + "EJECT\r\n",
         {stop, "caption Copying...", "caption Deleteing...", "caption Copying...", "caption Eject CD", "cancel",
          changed}},
    };
    autoScript.owner = standIn.dialog;
    for (const auto &c : cases) {
        RunScript(c.script, c.line);
        Lines events;
        for (const std::string &event : standIn.events)
            if (event.rfind("caption", 0) == 0 || event.rfind("command", 0) == 0 || event == "cancel")
                events.push_back(event);
        EXPECT_EQ(events, c.events) << "line " << c.line;
    }
    autoScript.owner = NULL;
    EXPECT_EQ(ReadWholeFile(dir + "out\\a.mpg"), "a");
}

// The poll over drives C: (the prefix's drive_c) and D: (the rig's drive
// directory); E: to H: are not mapped in this test.
class AutoScriptPoll : public RecordWindowTest {
protected:
    const char *c = "C:\\Halcyra.inf";
    const char *d = "D:\\Halcyra.inf";

    void SetUp() override
    {
        RecordWindowTest::SetUp();
        DeleteFileA(c);
        DeleteFileA(d);
        memset(autoScript.lastScriptTime, 0, sizeof autoScript.lastScriptTime);
        memset(autoScript.scriptPath, 'p', sizeof autoScript.scriptPath - 1);
        autoScript.scriptPath[sizeof autoScript.scriptPath - 1] = '\0';
        ASSERT_EQ(Poll(), "none");
        for (char drive = 'E'; drive <= 'H'; drive++) {
            std::string path = std::string(1, drive) + ":\\Halcyra.inf";
            ASSERT_FALSE(Exists(path)) << path;
        }
    }

    void TearDown() override
    {
        DeleteFileA(c);
        DeleteFileA(d);
        RecordWindowTest::TearDown();
    }

    // Places a script with a modification time of base + seconds.
    void PlaceScript(const char *path, int seconds)
    {
        WriteWholeFile(path, "EJECT\r\n");
        ASSERT_TRUE(SetModificationTime(path, (13000000000ULL + seconds) * 10000000ULL)) << path;
    }

    // "none" or the script path found.
    std::string Poll()
    {
        return FindAutoScript() ? std::string(autoScript.scriptPath) : std::string("none");
    }

    // Waits at most timeoutMs for the poll worker's report to the window.
    bool FoundReported(DWORD timeoutMs)
    {
        for (double start = ClockMs(); ClockMs() - start < timeoutMs;) {
            MSG msg;
            if (PeekMessageA(&msg, hwnd, WM_COMMAND, WM_COMMAND, PM_REMOVE))
                return msg.wParam == ID_AUTOSCRIPT_FOUND;
            MsgWaitForMultipleObjects(0, NULL, FALSE, 50, QS_POSTMESSAGE);
        }
        return false;
    }
};

TEST_F(AutoScriptPoll, ScriptRunsOncePerAppearance)
{
    PlaceScript(c, 100);
    EXPECT_EQ(Poll(), c);
    EXPECT_EQ(Poll(), "none") << "the same CD left in place";
    EXPECT_EQ(Poll(), "none");
    DeleteFileA(c);
    EXPECT_EQ(Poll(), "none");
    PlaceScript(c, 100);
    EXPECT_EQ(Poll(), c) << "after one poll without a script it runs again";

    PlaceScript(c, 200);
    EXPECT_EQ(Poll(), c) << "another script in the drive runs at the next poll";
    EXPECT_EQ(Poll(), "none");

    DeleteFileA(c);
    PlaceScript(d, 300);
    EXPECT_EQ(Poll(), d) << "every drive is tried";
    EXPECT_EQ(Poll(), "none");
}

TEST_F(AutoScriptPoll, NothingIsDoneWhileARunIsInProgress)
{
    PlaceScript(d, 100);
    record->autoScriptRunning = 1;
    EXPECT_FALSE(StartAutoScriptPoll(hwnd));
    EXPECT_EQ(autoScript.lastScriptTime['D' - 'C'], 0);
    record->autoScriptRunning = 0;
    EXPECT_EQ(Poll(), d);
}

DWORD WINAPI SlowDriveAttributes(LPCSTR path, GET_FILEEX_INFO_LEVELS level, LPVOID data)
{
    typedef DWORD(WINAPI * AttributesEntry)(LPCSTR, GET_FILEEX_INFO_LEVELS, LPVOID);
    static const AttributesEntry real =
        reinterpret_cast<AttributesEntry>(RealFunction("kernel32.dll", "GetFileAttributesExA"));
    Sleep(200);
    return real(path, level, data);
}

UINT WINAPI DriveDIsRemote(LPCSTR root)
{
    typedef UINT(WINAPI * DriveTypeEntry)(LPCSTR);
    static const DriveTypeEntry real = reinterpret_cast<DriveTypeEntry>(RealFunction("kernel32.dll", "GetDriveTypeA"));
    return root && (root[0] == 'D' || root[0] == 'd') ? DRIVE_REMOTE : real(root);
}

// Mend: the drives are looked at on a worker thread (each look here takes
// 200 ms, as a CD spinning up takes seconds); the UI thread only starts it
// and, when told of a script, takes it.  One poll at a time.
TEST_F(AutoScriptPoll, DrivesAreLookedAtOnAWorkerThatReportsWhatItFound)
{
    PlaceScript(d, 100);
    ImportPatch slow("kernel32.dll", "GetFileAttributesExA", reinterpret_cast<void *>(SlowDriveAttributes));
    ASSERT_TRUE(slow.Applied());
    double start = ClockMs();
    EXPECT_TRUE(StartAutoScriptPoll(hwnd));
    EXPECT_FALSE(StartAutoScriptPoll(hwnd)) << "the first poll still looks";
    EXPECT_LT(ClockMs() - start, 150.0) << "the UI thread does not wait for the drives";
    EXPECT_TRUE(FoundReported(10000));
    EXPECT_TRUE(TakeFoundAutoScript());
    EXPECT_EQ(autoScript.poller, nullptr);
    EXPECT_STREQ(autoScript.scriptPath, d);
    EXPECT_FALSE(TakeFoundAutoScript()) << "taken once";

    EXPECT_TRUE(StartAutoScriptPoll(hwnd));
    EXPECT_TRUE(StopAutoScriptPoll(10000));
    EXPECT_FALSE(FoundReported(100)) << "the same script is not found again";
    EXPECT_FALSE(TakeFoundAutoScript());
}

// Mend: a network drive is never looked at: its server may be gone.
TEST_F(AutoScriptPoll, NetworkDrivesAreSkipped)
{
    PlaceScript(d, 100);
    {
        ImportPatch remote("kernel32.dll", "GetDriveTypeA", reinterpret_cast<void *>(DriveDIsRemote));
        ASSERT_TRUE(remote.Applied());
        EXPECT_EQ(Poll(), "none");
    }
    EXPECT_EQ(Poll(), d);
}

// Mend: a worker that outlives its run (a Cancel while it waits on a slow
// read) holds the next run off until it has ended; stopping it cancels the
// run and serves its window calls while it waits.
TEST_F(AutoScriptPoll, NoRunStartsWhileTheLastWorkerLives)
{
    ProgressStandIn standIn;
    ResetAutoScript(standIn.dialog);
    std::string script = WorkPath("worker.inf");
    WriteWholeFile(script, "EJECT\r\n");
    snprintf(autoScript.scriptPath, sizeof autoScript.scriptPath, "%s", script.c_str());
    // The worker waits in its first call to the dialog, which this thread
    // does not answer until it stops the worker.
    autoScript.worker = CreateThread(NULL, 0, AutoScriptThread, NULL, 0, NULL);
    ASSERT_NE(autoScript.worker, nullptr);
    double start = ClockMs();
    while (!(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) && ClockMs() - start < 10000)
        Sleep(1);
    ASSERT_TRUE(HIWORD(GetQueueStatus(QS_SENDMESSAGE)) & QS_SENDMESSAGE) << "the worker waits on the dialog";
    PlaceScript(d, 100);
    EXPECT_FALSE(StartAutoScriptPoll(hwnd));
    EXPECT_EQ(autoScript.lastScriptTime['D' - 'C'], 0) << "the script is left for the next poll";
    EXPECT_TRUE(IsAutoScriptWorkerAlive());

    EXPECT_TRUE(StopAutoScriptWorker(10000));
    EXPECT_EQ(autoScript.worker, nullptr);
    EXPECT_EQ(autoScript.active, 0);
    EXPECT_EQ(LogMessages(), (Lines{"AutoScript started", "AutoScript completed"}));
    EXPECT_EQ(Poll(), d);
    EXPECT_TRUE(StopAutoScriptWorker(0)) << "no worker: nothing to wait for";
    DeleteFileA(script.c_str());
}

// Mend: the time is remembered per drive, so scripts on two drives with
// different times each run once instead of at every poll.
TEST_F(AutoScriptPoll, ScriptsOnTwoDrivesEachRunOnce)
{
    PlaceScript(c, 100);
    PlaceScript(d, 200);
    EXPECT_EQ(Poll(), d);
    EXPECT_EQ(Poll(), c);
    EXPECT_EQ(Poll(), "none");
    EXPECT_EQ(Poll(), "none");

    DeleteFileA(d);
    EXPECT_EQ(Poll(), "none");
    PlaceScript(d, 200);
    EXPECT_EQ(Poll(), d) << "the CD taken out of D: and put back runs again";
    EXPECT_EQ(Poll(), "none") << "while C: keeps its script";

    PlaceScript(c, 100);
    PlaceScript(d, 200);
    EXPECT_EQ(Poll(), "none") << "rewritten with the times they had";
}

}  // namespace
