// The screen board library SWmpeg, loaded as the player loads it: what its
// boards put on screen (the library's picture journal) against FFmpeg's
// reference decode of the same files, and the table as the player sees it.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>

#include <functional>
#include <vector>

#include "screen/setup.h"
#include "tests/unit/drivers/driverfixture.h"

namespace {

// A journal line: board, kind, then the picture number (P only), the time
// and what was shown (a checksum or a still's path).
struct Shown {
    int board;
    char kind;
    int picture;
    double ms;
    std::string what;
};

std::vector<Shown> Parse(const Lines &lines)
{
    std::vector<Shown> shown;
    for (const std::string &line : lines) {
        Shown s = {-1, '?', -1, 0, ""};
        char what[MAX_PATH + 1] = "";
        int fields = sscanf(line.c_str(), "%d %c", &s.board, &s.kind);
        if (fields == 2 && s.kind == 'P')
            sscanf(line.c_str(), "%*d %*c %d %lf %260s", &s.picture, &s.ms, what);
        else if (fields == 2)
            sscanf(line.c_str(), "%*d %*c %lf %260[^\n]", &s.ms, what);
        s.what = what;
        shown.push_back(s);
    }
    return shown;
}

std::vector<Shown> PicturesOf(const std::vector<Shown> &shown)
{
    std::vector<Shown> pictures;
    for (const Shown &s : shown)
        if (s.kind == 'P')
            pictures.push_back(s);
    return pictures;
}

// FFmpeg's checksum of each picture of a test file, in display order.
std::vector<std::string> Reference(const char *name)
{
    std::vector<std::string> adlers;
    for (const std::string &line : SplitLines(ReadWholeFile(StreamPath(name) + ".crc"))) {
        size_t comma = line.rfind(", ");
        if (!line.empty() && line[0] != '#' && comma != std::string::npos)
            adlers.push_back(line.substr(comma + 2));
    }
    return adlers;
}

struct WindowSearch {
    const std::string *title;
    HWND found;
};

BOOL CALLBACK MatchOwnWindow(HWND hwnd, LPARAM lParam)
{
    WindowSearch *search = reinterpret_cast<WindowSearch *>(lParam);
    DWORD process = 0;
    char text[64] = "";
    GetWindowThreadProcessId(hwnd, &process);
    GetWindowTextA(hwnd, text, sizeof text);
    if (process == GetCurrentProcessId() && *search->title == text)
        search->found = hwnd;
    return TRUE;
}

// A top-level window of this program with the title (other programs on the
// rig, a player among them, may show board windows of their own).
HWND OwnWindow(const std::string &title)
{
    WindowSearch search = {&title, NULL};
    EnumWindows(MatchOwnWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool HasOwnWindow(const std::string &title)
{
    return OwnWindow(title) != NULL;
}

// A copy of the library in a folder of its own, which reads the
// SWmpeg.ini of that folder.  FFmpeg's DLLs come from the program's
// folder, searched first.
std::string CopyLibrary()
{
    char exe[MAX_PATH];
    GetModuleFileNameA(NULL, exe, sizeof exe);
    std::string bin(exe, strrchr(exe, '\\') + 1);
    std::string folder = WorkPath("library\\");
    CreateDirectoryA(folder.c_str(), NULL);
    EXPECT_TRUE(CopyFileA((bin + "SWmpeg.dll").c_str(), (folder + "SWmpeg.dll").c_str(), FALSE));
    return folder;
}

// Makes the settings file the text (none for null), so that the profile
// functions see nothing they cached of the one before.
void WriteSetup(const std::string &path, const char *text)
{
    DeleteFileA(path.c_str());
    if (text)
        WriteWholeFile(path, text);
    WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
}

MpegSystemEntry SystemEntry(HMODULE library, const char *name)
{
    return reinterpret_cast<MpegSystemEntry>(reinterpret_cast<void (*)(void)>(GetProcAddress(library, name)));
}

class ScreenTest : public testing::Test {
protected:
    MpegDriverTable table;
    HMODULE module = NULL;
    Journal journal;
    std::string two = StreamPath("two.mpg");
    std::string twenty = StreamPath("twenty.mpg");

    void SetUp() override
    {
        journal.path = WorkPath("swmpeg-journal.txt");
        DeleteFileA(journal.path.c_str());
        SetEnvironmentVariableA("SWMPEG_JOURNAL", journal.path.c_str());
        memset(&table, 0, sizeof table);
    }

    void TearDown() override
    {
        if (module) {
            table.FreeMPEG(&table);
            FreeLibrary(module);
        }
        module = NULL;
    }

    // Loads SWmpeg by name as the player does, looks up its 19 entry points
    // and brings the system and both boards up.
    void BringUp()
    {
        module = LoadLibraryA("SWmpeg");
        ASSERT_NE(module, nullptr) << "error " << GetLastError();
        table.hLibrary = module;
        table.boardType = 4;
        FARPROC *slots = reinterpret_cast<FARPROC *>(&table.InitMPEG);
        for (size_t i = 0; i < sizeof kSlotNames / sizeof kSlotNames[0]; i++) {
            std::string name = std::string("SW") + kSlotNames[i] + "MPEG";
            slots[i] = GetProcAddress(module, name.c_str());
            ASSERT_NE(slots[i], nullptr) << name;
        }
        table.InitMPEG(&table);
        ASSERT_EQ(table.boardCount, 2);
        for (int board = 0; board < 2; board++)
            table.InitBoardMPEG(&table, board);
    }

    // Polls the board as the player's watcher does, every 5 ms, until the
    // condition holds; false when it still does not after the timeout.
    bool PollUntil(int board, const std::function<bool()> &done, DWORD timeoutMs)
    {
        DWORD started = GetTickCount();
        while (!done()) {
            if (GetTickCount() - started > timeoutMs)
                return false;
            table.CheckMPEG(&table, board);
            Sleep(5);
        }
        return true;
    }

    std::vector<Shown> Pictures() { return PicturesOf(Parse(journal.since())); }

    // The picture the journal shows last on the board.
    int LastPicture(int board)
    {
        int last = -1;
        for (const Shown &s : Pictures())
            if (s.board == board)
                last = s.picture;
        return last;
    }

    bool ShowsPicture(int board, int picture)
    {
        return PollUntil(board, [&] { return LastPicture(board) == picture; }, 3000);
    }
};

TEST_F(ScreenTest, PlaysEveryPictureOfAFileAsFfmpegDecodesIt)
{
    BringUp();
    std::vector<std::string> reference = Reference("two.mpg");
    ASSERT_EQ(reference.size(), 50u);
    journal.mark();
    ASSERT_EQ(table.OpenMPEG(&table, 0, two.c_str()), 0);
    table.PlayMPEG(&table, 0, MPEG_PLAY_CONTINUE, MPEG_PLAY_END, 0);
    EXPECT_EQ(table.playState[0], MPEG_PLAYING);
    ASSERT_TRUE(PollUntil(0, [&] { return table.playState[0] == MPEG_STOPPED; }, 10000));
    std::vector<Shown> pictures = Pictures();
    ASSERT_EQ(pictures.size(), reference.size()) << Listing(journal.since());
    for (size_t i = 0; i < pictures.size(); i++) {
        EXPECT_EQ(pictures[i].picture, (int)i);
        EXPECT_EQ(pictures[i].what, reference[i]) << "picture " << i;
    }
    double spacing = (pictures.back().ms - pictures.front().ms) / (pictures.size() - 1);
    EXPECT_GT(spacing, 30.0);
    EXPECT_LT(spacing, 60.0);
    EXPECT_EQ(Parse(journal.since()).back().kind, 'E') << "the last picture stays";
    EXPECT_EQ(table.GetFrameMPEG(&table, 0), 49);
    EXPECT_EQ(table.totalFrames[0], 50);
    EXPECT_STREQ(table.playingFile[0], two.c_str());
}

// SetFrameMPEG n and the StepMPEG after it, as the player's frame search
// sends them, end paused on picture n and show nothing on the way; a
// StepMPEG on its own moves one picture on.
TEST_F(ScreenTest, FrameSearchEndsPausedOnTheFrame)
{
    BringUp();
    std::vector<std::string> reference = Reference("twenty.mpg");
    ASSERT_EQ(reference.size(), 500u);
    ASSERT_EQ(table.OpenMPEG(&table, 0, twenty.c_str()), 0);
    ASSERT_TRUE(PollUntil(0, [&] { return table.GetFrameMPEG(&table, 0) == 0 && table.totalFrames[0] == 500; }, 5000));
    journal.mark();
    std::vector<int> searched = {250, 0, 13, 499, 487, 5, 6};
    for (int frame : searched) {
        EXPECT_EQ(table.SetFrameMPEG(&table, 0, frame), frame);
        table.StepMPEG(&table, 0);
        EXPECT_EQ(table.GetFrameMPEG(&table, 0), frame);
        EXPECT_EQ(table.playState[0], MPEG_STILL);
        ASSERT_TRUE(ShowsPicture(0, frame)) << "frame " << frame << "\n" << Listing(journal.since());
        EXPECT_EQ(Pictures().back().what, reference[frame]) << "frame " << frame;
    }
    // A search past the end does nothing, so the step moves on.
    for (int step : {7, 8}) {
        EXPECT_EQ(table.SetFrameMPEG(&table, 0, step == 8 ? 500 : -1), step == 8 ? 500 : -1);
        table.StepMPEG(&table, 0);
        EXPECT_EQ(table.GetFrameMPEG(&table, 0), step);
        ASSERT_TRUE(ShowsPicture(0, step));
        searched.push_back(step);
    }
    std::vector<int> shown;
    for (const Shown &s : Pictures())
        shown.push_back(s.picture);
    EXPECT_EQ(shown, searched) << Listing(journal.since());
}

// The watcher's repeat: the playing file opened again while it plays, and
// again each time it has begun.  Its picture 0 follows picture 49 one frame
// time later, and CheckMPEG reports the new start.
TEST_F(ScreenTest, AQueuedFileFollowsTheLastPictureWithoutAGap)
{
    BringUp();
    std::vector<std::string> reference = Reference("two.mpg");
    journal.mark();
    table.OpenMPEG(&table, 0, two.c_str());
    table.PlayMPEG(&table, 0, MPEG_PLAY_CONTINUE, MPEG_PLAY_END, 0);
    for (int loop = 0; loop < 2; loop++) {
        EXPECT_EQ(table.OpenMPEG(&table, 0, two.c_str()), 0);
        ASSERT_TRUE(PollUntil(0, [&] { return table.playState[0] == MPEG_FILE_STARTED; }, 5000));
        EXPECT_STREQ(table.playingFile[0], two.c_str());
        table.playState[0] = MPEG_PLAYING;
    }
    table.StopMPEG(&table, 0);
    std::vector<Shown> shown = Parse(journal.since());
    std::vector<Shown> pictures = PicturesOf(shown);
    ASSERT_GE(pictures.size(), 101u) << Listing(journal.since());
    for (size_t i = 0; i < 101; i++) {
        EXPECT_EQ(pictures[i].picture, (int)(i % 50)) << "line " << i;
        EXPECT_EQ(pictures[i].what, reference[i % 50]) << "line " << i;
    }
    for (size_t i : {50, 100}) {
        double gap = pictures[i].ms - pictures[i - 1].ms;
        EXPECT_GT(gap, 25.0) << "picture " << i;
        EXPECT_LT(gap, 60.0) << "picture " << i;
    }
    int queued = 0;
    for (const Shown &s : shown)
        queued += s.kind == 'Q' && s.what == two;
    EXPECT_EQ(queued, 2);
    EXPECT_EQ(table.playState[0], MPEG_STOPPED);
}

// Stills of each kind, black for one that cannot be read, blanking, a cued
// file that leaves the screen alone, pausing, stepping, slow and fast.
TEST_F(ScreenTest, StillsBlankingPauseStepAndSpeeds)
{
    BringUp();
    struct Still {
        const char *name;
        int result;
        char kind;
    } stills[] = {
        {"still.png", 0, 'I'}, {"still.bmp", 0, 'I'},      {"still.jpg", 0, 'I'},
        {"still.mpg", 0, 'I'}, {"two.mpg.crc", -1, 'B'},   {"missing.png", -1, 'B'},
    };
    for (const Still &still : stills) {
        journal.mark();
        std::string path = StreamPath(still.name);
        EXPECT_EQ(table.DisplayImageMPEG(&table, 1, path.c_str()), still.result) << still.name;
        EXPECT_EQ(table.playState[1], MPEG_STOPPED);
        ASSERT_TRUE(PollUntil(1, [&] { return !journal.since().empty(); }, 3000)) << still.name;
        std::vector<Shown> shown = Parse(journal.since());
        EXPECT_EQ(shown.back().kind, still.kind) << still.name;
        EXPECT_EQ(shown.back().what, still.kind == 'I' ? path : "") << still.name;
    }
    journal.mark();
    for (int blank : {1, 1, 0, 0})
        table.BlankMPEG(&table, 1, blank);
    std::vector<Shown> shown = Parse(journal.since());
    ASSERT_EQ(shown.size(), 2u) << Listing(journal.since());
    EXPECT_EQ(shown[0].kind, 'B');
    EXPECT_EQ(shown[1].kind, 'V');

    // Cued, the file shows nothing until the step brings its picture 0.
    table.OpenMPEG(&table, 1, two.c_str());
    table.StepMPEG(&table, 1);
    ASSERT_TRUE(ShowsPicture(1, 0));
    EXPECT_EQ(Pictures().size(), 1u) << Listing(journal.since());

    table.PlayMPEG(&table, 1, MPEG_PLAY_CONTINUE, MPEG_PLAY_END, 0);
    ASSERT_TRUE(PollUntil(1, [&] { return LastPicture(1) >= 5; }, 3000));
    table.StillMPEG(&table, 1);
    int held = table.GetFrameMPEG(&table, 1);
    Sleep(200);
    EXPECT_EQ(LastPicture(1), held) << "the picture on screen when StillMPEG returned stays";
    table.StepMPEG(&table, 1);
    EXPECT_TRUE(ShowsPicture(1, held + 1));

    // Slow holds each picture four frame times, fast shows every third.
    journal.mark();
    table.SlowMPEG(&table, 1);
    ASSERT_TRUE(PollUntil(1, [&] { return Pictures().size() >= 3; }, 3000));
    table.FastMPEG(&table, 1);
    ASSERT_TRUE(PollUntil(1, [&] { return Pictures().size() >= 6; }, 3000));
    table.StillMPEG(&table, 1);
    std::vector<Shown> pictures = Pictures();
    for (size_t i = 1; i < 3; i++) {
        EXPECT_EQ(pictures[i].picture, pictures[i - 1].picture + 1);
        EXPECT_GT(pictures[i].ms - pictures[i - 1].ms, 120.0);
    }
    for (size_t i = 4; i < 6; i++)
        EXPECT_EQ(pictures[i].picture, pictures[i - 1].picture + 3) << Listing(journal.since());

    // The closing still, shown just before the board is freed, is shown.
    journal.mark();
    std::string closing = StreamPath("still.png");
    table.DisplayImageMPEG(&table, 1, closing.c_str());
    table.FreeBoardMPEG(&table, 1);
    EXPECT_EQ(table.playState[1], MPEG_IDLE);
    ASSERT_EQ(Parse(journal.since()).size(), 1u);
    EXPECT_EQ(Parse(journal.since()).back().what, closing);
}

// Files that are not what they seem: OpenMPEG refuses what it can tell at
// once; the rest play what they hold and end as files end.
TEST_F(ScreenTest, HostileFilesNeitherCrashNorHang)
{
    BringUp();
    std::string whole = ReadWholeFile(StreamPath("two.mpg"));
    ASSERT_FALSE(whole.empty());
    WriteWholeFile(WorkPath("text.mpg"), "not a picture at all\r\n");
    WriteWholeFile(WorkPath("empty.mpg"), "");
    WriteWholeFile(WorkPath("half.mpg"), whole.substr(0, whole.size() / 2));
    for (const char *name : {"text.mpg", "empty.mpg", "missing.mpg"}) {
        EXPECT_EQ(table.OpenMPEG(&table, 0, WorkPath(name).c_str()), -1) << name;
        EXPECT_STREQ(table.openedFile[0], "") << name;
    }

    // Half a file plays the pictures it holds, as FFmpeg decodes them.
    std::vector<std::string> reference = Reference("two.mpg");
    journal.mark();
    ASSERT_EQ(table.OpenMPEG(&table, 0, WorkPath("half.mpg").c_str()), 0);
    table.PlayMPEG(&table, 0, MPEG_PLAY_CONTINUE, MPEG_PLAY_END, 0);
    ASSERT_TRUE(PollUntil(0, [&] { return table.playState[0] == MPEG_STOPPED; }, 5000));
    std::vector<Shown> pictures = Pictures();
    ASSERT_GT(pictures.size(), 10u);
    ASSERT_LT(pictures.size(), 50u);
    for (size_t i = 0; i + 1 < pictures.size(); i++)
        EXPECT_EQ(pictures[i].what, reference[i]) << "picture " << i;

    // A 1920x1080 MPEG-2 file seeks like any other.
    std::vector<std::string> hdReference = Reference("hd.mpg");
    ASSERT_EQ(hdReference.size(), 25u);
    ASSERT_EQ(table.OpenMPEG(&table, 0, StreamPath("hd.mpg").c_str()), 0);
    table.SetFrameMPEG(&table, 0, 20);
    table.StepMPEG(&table, 0);
    ASSERT_TRUE(ShowsPicture(0, 20));
    EXPECT_EQ(Pictures().back().what, hdReference[20]);

    // Deleted on board 0 while it plays, board 1's file replaced: each board
    // plays what it holds open to its end.  (Windows, like Wine, refuses to
    // replace a file that is open, however it is shared: the copy fails and
    // the file stays as it was.)
    const char *names[] = {"gone.mpg", "swapped.mpg"};
    journal.mark();
    for (int board = 0; board < 2; board++) {
        std::string path = WorkPath(names[board]);
        WriteWholeFile(path, whole);
        table.StopMPEG(&table, board);
        table.OpenMPEG(&table, board, path.c_str());
        table.PlayMPEG(&table, board, MPEG_PLAY_CONTINUE, MPEG_PLAY_END, 0);
    }
    ASSERT_TRUE(PollUntil(1, [&] { return LastPicture(0) >= 5 && LastPicture(1) >= 5; }, 3000));
    EXPECT_TRUE(DeleteFileA(WorkPath(names[0]).c_str())) << GetLastError();
    MoveFileExA(WorkPath("half.mpg").c_str(), WorkPath(names[1]).c_str(), MOVEFILE_REPLACE_EXISTING);
    for (int board = 0; board < 2; board++) {
        ASSERT_TRUE(PollUntil(board, [&] { return table.playState[board] == MPEG_STOPPED; }, 5000));
        std::vector<Shown> played;
        for (const Shown &s : Pictures())
            if (s.board == board)
                played.push_back(s);
        ASSERT_EQ(played.size(), 50u) << names[board];
        EXPECT_EQ(played.back().what, reference[49]) << names[board];
    }
}

// Boards=n in SWmpeg.ini beside the library, 1 to 16; 2 without the file
// or a number.  A copy of the library in a folder of its own reads its own.
TEST_F(ScreenTest, BoardsComeFromTheSettingsFileBesideTheLibrary)
{
    std::string folder = CopyLibrary();
    struct Case {
        int line;
        const char *settings;  // null: no file
        int boards;
    } cases[] = {
        {__LINE__, NULL, 2},
        {__LINE__, "[SWmpeg]\r\nBoards=5\r\n", 5},
        {__LINE__, "[SWmpeg]\r\nBoards=0\r\n", 1},
        {__LINE__, "[SWmpeg]\r\nBoards=40\r\n", 16},
        {__LINE__, "[SWmpeg]\r\nBoards=many\r\n", 2},
        {__LINE__, "[Other]\r\nBoards=5\r\n", 2},
    };
    std::string settings = folder + "SWmpeg.ini";
    for (const Case &c : cases) {
        WriteSetup(settings, c.settings);
        HMODULE library = LoadLibraryA((folder + "SWmpeg.dll").c_str());
        ASSERT_NE(library, nullptr) << "case of line " << c.line;
        MpegSystemEntry init = SystemEntry(library, "SWInitMPEG");
        MpegSystemEntry free = SystemEntry(library, "SWFreeMPEG");
        table.boardCount = 99;
        init(&table);
        EXPECT_EQ(table.boardCount, c.boards) << "case of line " << c.line;
        for (int board = 0; board < MPEG_MAX_BOARDS; board++) {
            std::string title = "Board " + std::to_string(board);
            EXPECT_EQ(HasOwnWindow(title), board < c.boards)
                << title << ", case of line " << c.line;
        }
        free(&table);
        EXPECT_FALSE(HasOwnWindow("Board 0")) << "case of line " << c.line;
        FreeLibrary(library);
    }
}

// A placement as one line: place, display, window, frame, always on top.
std::string Described(const BoardPlacement &p)
{
    const char *places[] = {"Tile", "Display", "Window"};
    char text[96];
    snprintf(text, sizeof text, "%s %d %d,%d,%d,%d %d %d", places[p.place], p.display, p.window.left, p.window.top,
             p.window.width, p.window.height, p.frame, p.topMost);
    return text;
}

// Each board's section of SWmpeg.ini: what is read, what a place that
// cannot be used becomes, and the same again after the sheet's write,
// which keeps the rest of the file.
TEST(ScreenSetupFile, PlacementsAreReadAndWrittenBack)
{
    std::string path = WorkPath("setup.ini");
    WriteSetup(path, "; the operator's note\r\n[SWmpeg]\r\nBoards=10\r\n"
                     "[Board 0]\r\nPlace=Display\r\nDisplay=2\r\nFrame=0\r\nTopMost=1\r\n"
                     "[Board 1]\r\nPlace=window\r\nWindow=-100, 20 ,300,200\r\n"
                     "[Board 2]\r\nPlace=Window\r\nWindow=1,2,0,5\r\n"
                     "[Board 3]\r\nPlace=Window\r\nWindow=1,2,3\r\n"
                     "[Board 4]\r\nPlace=Display\r\nDisplay=17\r\n"
                     "[Board 5]\r\nPlace=Display\r\nDisplay=two\r\n"
                     "[Board 6]\r\nPlace=Moon\r\nWindow=9,9,99999,9\r\nFrame=no\r\n"
                     "[Board 8]\r\nPlace=Tile\r\nWindow=7,8,9,10\r\nTopMost=2\r\n"
                     "[Board 13]\r\nPlace=Display\r\nDisplay=3\r\n");
    const std::vector<std::string> expected = {
        "Display 2 0,0,640,480 0 1", "Window 0 -100,20,300,200 1 0", "Tile 0 0,0,640,480 1 0",
        "Tile 0 0,0,640,480 1 0",    "Display 0 0,0,640,480 1 0",    "Display 0 0,0,640,480 1 0",
        "Tile 0 0,0,640,480 0 0",    "Tile 0 0,0,640,480 1 0",       "Tile 0 7,8,9,10 1 1",
        "Tile 0 0,0,640,480 1 0"};
    ScreenSetup setup;
    for (const char *when : {"as read", "as written"}) {
        ReadScreenSetup(path.c_str(), &setup);
        EXPECT_EQ(setup.boards, (int)expected.size()) << when;
        for (size_t board = 0; board < expected.size(); board++)
            EXPECT_EQ(Described(setup.placements[board]), expected[board]) << "board " << board << ", " << when;
        ASSERT_TRUE(WriteScreenSetup(path.c_str(), &setup));
    }
    std::string text = ReadWholeFile(path);
    EXPECT_EQ(text.find("; the operator's note"), 0u) << text;
    EXPECT_NE(text.find("[Board 13]\r\nPlace=Display\r\nDisplay=3\r\n["), std::string::npos)
        << "a board past the count keeps its section as it was\n" << text;
    EXPECT_NE(text.find("[Board 1]\r\nPlace=Window\r\nWindow=-100,20,300,200\r\nDisplay=0\r\nFrame=1\r\nTopMost=0\r\n"),
              std::string::npos) << text;
    // Without a file, or a name: two boards, each in its tile.
    std::string missing = WorkPath("none.ini");
    for (const char *none : {missing.c_str(), "", (const char *)NULL}) {
        ReadScreenSetup(none, &setup);
        EXPECT_EQ(setup.boards, 2);
        EXPECT_EQ(Described(setup.placements[0]), "Tile 0 0,0,640,480 1 0");
    }
}

// The board windows where SWmpeg.ini places them: a display that is not
// attached gives the board a tile, and the tiles are shared among the
// boards that take one.
TEST_F(ScreenTest, BoardWindowsArePlacedAsTheSettingsFileSays)
{
    std::string folder = CopyLibrary();
    WriteSetup(folder + "SWmpeg.ini", "[SWmpeg]\r\nBoards=5\r\n"
                                      "[Board 0]\r\nPlace=Display\r\nDisplay=1\r\nTopMost=1\r\n"
                                      "[Board 1]\r\nPlace=Display\r\nDisplay=9\r\n"
                                      "[Board 2]\r\nPlace=Window\r\nWindow=30,40,320,240\r\nFrame=0\r\n"
                                      "[Board 3]\r\nPlace=Window\r\nWindow=50,60,400,300\r\n"
                                      "[Board 4]\r\nFrame=0\r\n");
    HMODULE library = LoadLibraryA((folder + "SWmpeg.dll").c_str());
    ASSERT_NE(library, nullptr);
    SystemEntry(library, "SWInitMPEG")(&table);
    ASSERT_EQ(table.boardCount, 5);
    MONITORINFO primary;
    primary.cbSize = sizeof primary;
    ASSERT_TRUE(GetMonitorInfoA(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary));
    const RECT &work = primary.rcWork;
    LONG half = (work.right - work.left) / 2;
    auto described = [](const RECT &r, bool framed, bool topMost) {
        return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " +
               std::to_string(r.bottom) + (framed ? " framed" : "") + (topMost ? " on top" : "");
    };
    const std::string expected[] = {
        described(primary.rcMonitor, false, true),
        described({work.left, work.top, work.left + half, work.bottom}, true, false),
        described({30, 40, 350, 280}, false, false), described({50, 60, 450, 360}, true, false),
        described({work.left + half, work.top, work.left + 2 * half, work.bottom}, false, false)};
    for (int board = 0; board < 5; board++) {
        HWND window = OwnWindow("Board " + std::to_string(board));
        ASSERT_NE(window, nullptr) << "board " << board;
        RECT r;
        GetWindowRect(window, &r);
        EXPECT_EQ(described(r, (GetWindowLongA(window, GWL_STYLE) & WS_CAPTION) == WS_CAPTION,
                            (GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0),
                  expected[board]) << "board " << board;
    }
    SystemEntry(library, "SWFreeMPEG")(&table);
    FreeLibrary(library);
}

}  // namespace
