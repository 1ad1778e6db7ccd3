// File copy and delete of an AutoScript run on real files: what is copied
// and deleted, what the progress dialog shows, what is logged, and that a
// destination is replaced only by a whole copy.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "autoscript/autoscript.h"
#include "importpatch.h"
#include "support.h"
#include "ui/resource.h"

namespace {

const std::regex kTempName("~hrx[0-9A-F]{8}\\.tmp");

class FileWork : public ::testing::Test {
protected:
    ProgressStandIn standIn;
    std::string dir;  // absolute, with a trailing backslash

    void SetUp() override
    {
        ResetAutoScript(standIn.dialog);
        snprintf(autoScript.scriptPath, sizeof autoScript.scriptPath, "D:\\Halcyra.inf");
        RemoveTree("files");
        MakeDirectory("files");
        MakeDirectory("files\\src");
        MakeDirectory("files\\out");
        dir = WorkDirectory() + "files\\";
    }

    void TearDown() override { RemoveTree("files"); }

    std::string Src(const std::string &name) { return dir + "src\\" + name; }
    std::string Out(const std::string &name) { return dir + "out\\" + name; }

    void Place(const std::string &path, const std::string &bytes, DWORD attributes = 0)
    {
        WriteWholeFile(path, bytes);
        if (attributes) {
            ASSERT_TRUE(SetFileAttributesA(path.c_str(), attributes)) << path;
        }
    }

    // What a walk over src\\*.mpg must pass over: a text file, a hidden and
    // a system file, and a directory with a matching name.
    void PlaceWalkFiles()
    {
        Place(Src("a.mpg"), "A");
        Place(Src("b.MPG"), "B");
        Place(Src("keep.txt"), "K");
        Place(Src("hidden.mpg"), "H", FILE_ATTRIBUTE_HIDDEN);
        Place(Src("system.mpg"), "S", FILE_ATTRIBUTE_SYSTEM);
        MakeDirectory(Src("folder.mpg"));
        Place(Src("folder.mpg\\inner.mpg"), "I");
    }

    static std::string Copying(const std::string &from, const std::string &to)
    {
        return "Copying file '" + from + "' to '" + to + "'";
    }

    // No temporary file of a copy is left in the directory.
    void ExpectNoTempIn(const std::string &directory, int line)
    {
        for (const std::string &name : FilesIn(directory))
            EXPECT_FALSE(std::regex_match(name, kTempName)) << "line " << line << ": " << name << " left";
    }
};

TEST_F(FileWork, SmallFilesReachTheirEndWithTheFirstChunk)
{
    const struct {
        int line;
        size_t size;
        std::string copied;
        Lines progress;  // events after the names
    } cases[] = {
        {__LINE__, 0, "0.0 KB", {}},
        {__LINE__, 1, "0.0 KB", {"1010 Est. time left 00:00:00 (0.0 KB copied)", "bar 100"}},
        {__LINE__, 1000, "1.0 KB", {"1010 Est. time left 00:00:00 (1.0 KB copied)", "bar 100"}},
        {__LINE__, 2048, "2.0 KB", {"1010 Est. time left 00:00:00 (2.0 KB copied)", "bar 100"}},
    };
    for (const auto &c : cases) {
        std::string name = "small" + std::to_string(c.size) + ".mpg";
        std::string bytes = Pattern(c.size, (unsigned)c.size);
        Place(Src(name), bytes);
        ResetAutoScript(standIn.dialog);
        standIn.events.clear();
        EXPECT_EQ(CopyOneFile(Src(name).c_str(), Out(name).c_str()), 1) << "line " << c.line;
        EXPECT_EQ(ReadWholeFile(Out(name)), bytes) << "line " << c.line;
        EXPECT_EQ(LogMessages(), (Lines{Copying(Src(name), Out(name)), c.copied + " copied"})) << "line " << c.line;
        Lines expected = {"1008 " + name, "1009 From '" + dir + "src\\' to '" + dir + "out\\'"};
        expected.insert(expected.end(), c.progress.begin(), c.progress.end());
        EXPECT_EQ(standIn.events, expected) << "line " << c.line;
    }
    ExpectNoTempIn(dir + "out", __LINE__);
}

TEST_F(FileWork, ProgressShowsEachWholePercentOnce)
{
    const std::regex estimate("1010 Est\\. time left \\d\\d:\\d\\d:\\d\\d \\(\\d+\\.\\d (KB) copied\\)");
    for (size_t chunks : {100u, 250u}) {
        std::string bytes = Pattern(chunks * COPY_CHUNK_SIZE, 7);
        Place(Src("p.mpg"), bytes);
        ResetAutoScript(standIn.dialog);
        standIn.events.clear();
        CopyFiles(Src("p.mpg").c_str(), (dir + "out\\").c_str());
        EXPECT_EQ(ReadWholeFile(Out("p.mpg")), bytes);
        Lines bars = standIn.EventsStartingWith("bar ");
        Lines estimates = standIn.EventsStartingWith("1010 ");
        ASSERT_EQ(bars.size(), 100u) << chunks << " chunks";
        ASSERT_EQ(estimates.size(), 100u) << chunks << " chunks";
        for (int i = 0; i < 100; i++) {
            EXPECT_EQ(bars[i], "bar " + std::to_string(i + 1));
            EXPECT_TRUE(std::regex_match(estimates[i], estimate)) << estimates[i];
        }
        char copied[32], last[64];
        snprintf(copied, sizeof copied, "%.1f KB copied", chunks * 2.0);
        snprintf(last, sizeof last, "1010 Est. time left 00:00:00 (%s)", copied);
        EXPECT_EQ(estimates.back(), last);
        EXPECT_EQ(LogMessages(), (Lines{Copying(Src("p.mpg"), Out("p.mpg")), copied}));
    }
}

TEST_F(FileWork, CopyWalksOrdinaryFilesOnly)
{
    PlaceWalkFiles();
    CopyFiles((dir + "src\\*.mpg").c_str(), (dir + "out\\").c_str());
    EXPECT_EQ(FilesIn(dir + "out"), (Lines{"a.mpg", "b.MPG"}));
    EXPECT_EQ(ReadWholeFile(Out("a.mpg")), "A");
    EXPECT_EQ(ReadWholeFile(Out("b.MPG")), "B");
    Lines log = LogMessages();
    EXPECT_EQ(log.size(), 4u);
    EXPECT_NE(std::find(log.begin(), log.end(), Copying(Src("a.mpg"), Out("a.mpg"))), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), Copying(Src("b.MPG"), Out("b.MPG"))), log.end());
}

TEST_F(FileWork, DestinationNamesADirectoryOnlyWithItsBackslash)
{
    Place(Src("rootcopy-test.mpg"), "to the root");
    DeleteFileA("D:\\rootcopy-test.mpg");
    CopyFiles(Src("rootcopy-test.mpg").c_str(), "D:\\MPEG");
    EXPECT_EQ(ReadWholeFile("D:\\rootcopy-test.mpg"), "to the root");
    EXPECT_EQ(LogMessages(), (Lines{Copying(Src("rootcopy-test.mpg"), "D:\\rootcopy-test.mpg"), "0.0 KB copied"}));
    EXPECT_FALSE(Exists("D:\\MPEG"));
    DeleteFileA("D:\\rootcopy-test.mpg");

    ResetAutoScript(standIn.dialog);
    CopyFiles(Src("rootcopy-test.mpg").c_str(), (dir + "out\\ignored-name.bin").c_str());
    EXPECT_EQ(FilesIn(dir + "out"), Lines{"rootcopy-test.mpg"});
}

TEST_F(FileWork, SameSourceAndDestinationCopiesNothing)
{
    Place(Src("a.mpg"), "A");
    Place(Src("b.mpg"), "B");
    CopyFiles((dir + "src\\*.mpg").c_str(), (dir + "src\\").c_str());
    CopyFiles((dir + "src\\*.mpg").c_str(), (dir + "SRC\\").c_str());
    EXPECT_TRUE(LogMessages().empty());
    EXPECT_TRUE(standIn.events.empty());
    EXPECT_EQ(FilesIn(dir + "src"), (Lines{"a.mpg", "b.mpg"}));
    EXPECT_EQ(ReadWholeFile(Src("a.mpg")), "A");
}

TEST_F(FileWork, ReadOnlyFilesAreReplacedAndDeleted)
{
    Place(Src("a.mpg"), "new");
    Place(Out("a.mpg"), "old old old", FILE_ATTRIBUTE_READONLY);
    CopyFiles(Src("a.mpg").c_str(), (dir + "out\\").c_str());
    EXPECT_EQ(ReadWholeFile(Out("a.mpg")), "new");
    EXPECT_FALSE(Attributes(Out("a.mpg")) & FILE_ATTRIBUTE_READONLY);

    ASSERT_TRUE(SetFileAttributesA(Out("a.mpg").c_str(), FILE_ATTRIBUTE_READONLY));
    ResetAutoScript(standIn.dialog);
    DeleteFiles((dir + "out\\*.mpg").c_str());
    EXPECT_FALSE(Exists(Out("a.mpg")));
    EXPECT_EQ(LogMessages(), Lines{"Deleting file '" + Out("a.mpg") + "'"});
}

TEST_F(FileWork, DeleteWalksOrdinaryFilesOnly)
{
    PlaceWalkFiles();
    standIn.Prefill("before", 40);
    DeleteFiles((dir + "src\\*.mpg").c_str());
    EXPECT_EQ(FilesIn(dir + "src"), (Lines{"hidden.mpg", "keep.txt", "system.mpg"}));
    EXPECT_TRUE(Exists(Src("folder.mpg\\inner.mpg")));
    Lines log = LogMessages();
    EXPECT_EQ(log.size(), 2u);
    EXPECT_NE(std::find(log.begin(), log.end(), "Deleting file '" + Src("a.mpg") + "'"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "Deleting file '" + Src("b.MPG") + "'"), log.end());
    ASSERT_EQ(standIn.events.size(), 3u);
    EXPECT_EQ(standIn.events[0], "1009 From '" + dir + "src\\'");
    EXPECT_EQ(standIn.Bar(), 40) << "DEL leaves the bar alone";
}

TEST_F(FileWork, TildeStandsForTheScriptsDrive)
{
    RemoveTree("D:\\AutoScriptTest");
    MakeDirectory("D:\\AutoScriptTest");
    Place("D:\\AutoScriptTest\\cd.mpg", "from the CD");
    CopyFiles("~:\\AutoScriptTest\\*.mpg", (dir + "out\\").c_str());
    EXPECT_EQ(ReadWholeFile(Out("cd.mpg")), "from the CD");
    EXPECT_EQ(LogMessages().front(), Copying("D:\\AutoScriptTest\\cd.mpg", Out("cd.mpg")));

    ResetAutoScript(standIn.dialog);
    CopyFiles("~:\\AutoScriptTest\\cd.mpg", "~:\\AutoScriptTest\\copy\\");
    EXPECT_EQ(LogMessages(), (Lines{Copying("D:\\AutoScriptTest\\cd.mpg", "~:\\AutoScriptTest\\copy\\cd.mpg"),
                                    "Unable to open output file '~:\\AutoScriptTest\\copy\\cd.mpg'"}))
        << "the destination has no drive of its own";

    ResetAutoScript(standIn.dialog);
    standIn.events.clear();
    DeleteFiles("~:\\AutoScriptTest\\*.mpg");
    EXPECT_FALSE(Exists("D:\\AutoScriptTest\\cd.mpg"));
    EXPECT_EQ(LogMessages(), Lines{"Deleting file 'D:\\AutoScriptTest\\cd.mpg'"});
    EXPECT_EQ(standIn.events, (Lines{"1009 From 'D:\\AutoScriptTest\\'", "1008 cd.mpg"}));
    RemoveTree("D:\\AutoScriptTest");
}

TEST_F(FileWork, PatternMatchingNothingIsLogged)
{
    std::string pattern = dir + "src\\*.none";
    CopyFiles(pattern.c_str(), (dir + "out\\").c_str());
    EXPECT_EQ(LogMessages(),
              (Lines{Copying(pattern, dir + "out\\"), "Unable to open input file '" + pattern + "'"}));
    EXPECT_TRUE(FilesIn(dir + "out").empty());

    ResetAutoScript(standIn.dialog);
    CopyFiles("~:\\no-such-folder\\*.mpg", (dir + "out\\").c_str());
    EXPECT_EQ(LogMessages(), (Lines{Copying("D:\\no-such-folder\\*.mpg", dir + "out\\"),
                                    "Unable to open input file 'D:\\no-such-folder\\*.mpg'"}));

    ResetAutoScript(standIn.dialog);
    standIn.events.clear();
    DeleteFiles(pattern.c_str());
    EXPECT_EQ(LogMessages(), (Lines{"Deleting file '" + pattern + "'",
                                    "Unable to delete file '" + pattern + "' - error 123"}));
    EXPECT_EQ(standIn.events, (Lines{"1009 From '" + dir + "src\\'", "1008 *.none"}));
}

struct MoveFailures {
    DWORD error;
    int left;   // calls still to fail
    int calls;
} moveFailures;

BOOL WINAPI FailingMove(LPCSTR from, LPCSTR to, DWORD flags)
{
    typedef BOOL(WINAPI * MoveEntry)(LPCSTR, LPCSTR, DWORD);
    static const MoveEntry realMove = reinterpret_cast<MoveEntry>(RealFunction("kernel32.dll", "MoveFileExA"));
    moveFailures.calls++;
    if (moveFailures.left > 0) {
        moveFailures.left--;
        SetLastError(moveFailures.error);
        return FALSE;
    }
    return realMove(from, to, flags);
}

// Mend: a replace held up by a sharing violation (a virus scanner looking
// at the fresh copy) is tried again 100 ms apart, five times in all; one
// that fails for good is logged with its Win32 error, and the earlier file
// stays.
TEST_F(FileWork, AReplaceHeldUpForAMomentIsTriedAgain)
{
    const std::string failed = "FileCopy Failed - " + Out("m.mpg");
    const struct {
        int line;
        DWORD error;
        int failures, calls;
        Lines failure;
    } cases[] = {
        {__LINE__, ERROR_SHARING_VIOLATION, 2, 3, {}},
        {__LINE__, ERROR_SHARING_VIOLATION, 9, 5, {"Unable to replace file '" + Out("m.mpg") + "' - error 32", failed}},
        {__LINE__, ERROR_ACCESS_DENIED, 9, 1, {"Unable to replace file '" + Out("m.mpg") + "' - error 5", failed}},
    };
    ImportPatch move("kernel32.dll", "MoveFileExA", reinterpret_cast<void *>(FailingMove));
    ASSERT_TRUE(move.Applied());
    for (const auto &c : cases) {
        Place(Src("m.mpg"), "new");
        Place(Out("m.mpg"), "old");
        ResetAutoScript(standIn.dialog);
        moveFailures = {c.error, c.failures, 0};
        double start = ClockMs();
        EXPECT_EQ(CopyOneFile(Src("m.mpg").c_str(), Out("m.mpg").c_str()), 1) << "line " << c.line;
        EXPECT_EQ(moveFailures.calls, c.calls) << "line " << c.line;
        EXPECT_GE(ClockMs() - start, (c.calls - 1) * 100 - 20.0) << "line " << c.line;
        Lines log = {Copying(Src("m.mpg"), Out("m.mpg"))};
        log.insert(log.end(), c.failure.begin(), c.failure.end());
        log.push_back("0.0 KB copied");
        EXPECT_EQ(LogMessages(), log) << "line " << c.line;
        EXPECT_EQ(ReadWholeFile(Out("m.mpg")), c.failure.empty() ? "new" : "old") << "line " << c.line;
        ExpectNoTempIn(dir + "out", c.line);
    }
}

TEST_F(FileWork, CopyOneFileTellsWhetherBothFilesOpened)
{
    Place(Src("a.mpg"), "A");
    EXPECT_EQ(CopyOneFile(Src("missing.mpg").c_str(), Out("missing.mpg").c_str()), 0);
    EXPECT_EQ(CopyOneFile(Src("a.mpg").c_str(), (dir + "no-such-folder\\a.mpg").c_str()), 0);
    EXPECT_EQ(CopyOneFile(Src("a.mpg").c_str(), Out("a.mpg").c_str()), 1);
    EXPECT_EQ(LogMessages(), (Lines{Copying(Src("missing.mpg"), Out("missing.mpg")),
                                    "Unable to open input file '" + Src("missing.mpg") + "'",
                                    Copying(Src("a.mpg"), dir + "no-such-folder\\a.mpg"),
                                    "Unable to open output file '" + dir + "no-such-folder\\a.mpg'",
                                    Copying(Src("a.mpg"), Out("a.mpg")), "0.0 KB copied"}));
}

TEST(ByteCount, KilobytesUpTo999Point9ThenMegabytes)
{
    const struct {
        long long count;
        const char *text;
    } cases[] = {
        {0, "0.0 KB"},
        {1024, "1.0 KB"},
        {1023897, "999.9 KB"},
        {1023898, "0.98 MB"},
        {104857600, "100.00 MB"},
        {2147483647, "2048.00 MB"},
        {2147483648LL, "2.000 GB"},
        {4294967296LL, "4.000 GB"},
    };
    for (const auto &c : cases)
        EXPECT_STREQ(FormatByteCount(c.count), c.text) << c.count;
    const char *first = FormatByteCount(1);
    FormatByteCount(2048);
    EXPECT_STREQ(first, "2.0 KB") << "one buffer, overwritten by the next call";
}

// Mend: the copy is written into a temporary file beside the destination,
// which keeps its old contents until every byte has been written.
TEST_F(FileWork, CopyReplacesDestinationOnlyWhenWhole)
{
    std::string bytes = Pattern(100 * COPY_CHUNK_SIZE, 3);
    Place(Src("m.mpg"), bytes);
    Place(Out("m.mpg"), "old version");
    Lines seenMidway;
    std::string destinationMidway;
    standIn.onBar = [&](int percent) {
        if (percent != 50)
            return;
        seenMidway = FilesIn(dir + "out");
        destinationMidway = ReadWholeFile(Out("m.mpg"));
    };
    CopyFiles(Src("m.mpg").c_str(), (dir + "out\\").c_str());
    ASSERT_EQ(seenMidway.size(), 2u);
    EXPECT_EQ(seenMidway[0], "m.mpg");
    EXPECT_TRUE(std::regex_match(seenMidway[1], kTempName)) << seenMidway[1];
    EXPECT_EQ(destinationMidway, "old version");
    EXPECT_EQ(ReadWholeFile(Out("m.mpg")), bytes);
    EXPECT_EQ(FilesIn(dir + "out"), Lines{"m.mpg"});
}

// Mend: a Cancel keeps the earlier destination, removes the temporary file
// and stops the walk: no later file is opened.
TEST_F(FileWork, CancelKeepsEarlierDestinationAndStopsTheWalk)
{
    for (const char *name : {"a.mpg", "b.mpg", "c.mpg"})
        Place(Src(name), Pattern(100 * COPY_CHUNK_SIZE, name[0]));
    Place(Out("b.mpg"), "old b");
    Place(Out("c.mpg"), "old c");
    standIn.onBar = [&](int percent) {
        if (percent == 30 && standIn.Text(IDC_PROGRESS_FILE) == "b.mpg")
            autoScript.active = 0;
    };
    RunOnWorker([&] { CopyFiles((dir + "src\\*.mpg").c_str(), (dir + "out\\").c_str()); });
    EXPECT_EQ(LogMessages(), (Lines{Copying(Src("a.mpg"), Out("a.mpg")), "200.0 KB copied",
                                    Copying(Src("b.mpg"), Out("b.mpg")), "60.0 KB copied"}));
    EXPECT_EQ(ReadWholeFile(Out("a.mpg")), ReadWholeFile(Src("a.mpg")));
    EXPECT_EQ(ReadWholeFile(Out("b.mpg")), "old b");
    EXPECT_EQ(ReadWholeFile(Out("c.mpg")), "old c");
    EXPECT_EQ(FilesIn(dir + "out"), (Lines{"a.mpg", "b.mpg", "c.mpg"}));
    EXPECT_EQ(standIn.EventsStartingWith("1008 ").back(), "1008 b.mpg");
}

// Mend: a read error ends the copy as a failure: logged, the temporary
// file removed and the earlier destination kept.
TEST_F(FileWork, ReadErrorKeepsEarlierDestination)
{
    const char *unreadable = "Z:\\proc\\self\\mem";  // opens, but reading at offset 0 fails
    HANDLE probe = CreateFileA(unreadable, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                               OPEN_EXISTING, 0, NULL);
    if (probe == INVALID_HANDLE_VALUE)
        GTEST_SKIP() << "no file here fails to read: " << unreadable << " cannot be opened";
    char byte;
    DWORD got;
    BOOL read = ReadFile(probe, &byte, 1, &got, NULL);
    CloseHandle(probe);
    ASSERT_FALSE(read) << unreadable << " was expected to fail to read";

    Place(Out("mem"), "earlier version");
    EXPECT_EQ(CopyOneFile(unreadable, Out("mem").c_str()), 1);
    EXPECT_EQ(LogMessages(), (Lines{Copying(unreadable, Out("mem")), "FileCopy Failed - " + Out("mem"),
                                    "0.0 KB copied"}));
    EXPECT_EQ(ReadWholeFile(Out("mem")), "earlier version");
    EXPECT_EQ(FilesIn(dir + "out"), Lines{"mem"});
}

// Mend, and the bound on composed paths: a found name that would make a
// path longer than 255 characters is skipped, never cut; a destination
// whose temporary file would not fit is not opened, and stays as it was.
TEST_F(FileWork, OverlongPathsAreSkippedWhole)
{
    std::string longSource = dir + "src\\" + std::string(200 - (dir.size() + 4), 's') + "\\";
    ASSERT_EQ(CreateDirectoryW(LongPath(longSource).c_str(), NULL), TRUE);
    std::string fits = std::string(255 - longSource.size() - 4, 'f') + ".mpg";
    std::string over = std::string(256 - longSource.size() - 4, 'o') + ".mpg";
    Place(longSource + fits, "fits");
    HANDLE file = CreateFileW(LongPath(longSource + over).c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    ASSERT_EQ((longSource + fits).size(), 255u);

    CopyFiles((longSource + "*.mpg").c_str(), (dir + "out\\").c_str());
    EXPECT_EQ(FilesIn(dir + "out"), Lines{fits});
    Lines log = LogMessages();
    EXPECT_NE(std::find(log.begin(), log.end(), "Path too long - " + longSource + over), log.end());

    ResetAutoScript(standIn.dialog);
    DeleteFiles((longSource + "*.mpg").c_str());
    log = LogMessages();
    EXPECT_EQ(log.size(), 2u);
    EXPECT_NE(std::find(log.begin(), log.end(), "Path too long - " + longSource + over), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "Deleting file '" + longSource + fits + "'"), log.end());
    EXPECT_NE(GetFileAttributesW(LongPath(longSource + over).c_str()), INVALID_FILE_ATTRIBUTES);

    std::string longPattern = dir + "src\\" + std::string(300, 'p') + "*.mpg";
    ResetAutoScript(standIn.dialog);
    CopyFiles(longPattern.c_str(), (dir + "out\\").c_str());
    DeleteFiles(longPattern.c_str());
    EXPECT_EQ(LogMessages(), (Lines{"Path too long - " + longPattern, "Path too long - " + longPattern}));

    std::string longOut = dir + "out\\" + std::string(245 - (dir.size() + 5), 'd') + "\\";
    ASSERT_EQ(longOut.size(), 245u);
    ASSERT_EQ(CreateDirectoryW(LongPath(longOut).c_str(), NULL), TRUE);
    Place(Src("a.mpg"), "new a");
    Place(Src("b23456.mpg"), "new b");
    Place(Src("c234567.mpg"), "new c");
    Place(longOut + "a.mpg", "old a");
    ResetAutoScript(standIn.dialog);
    CopyFiles((dir + "src\\*.mpg").c_str(), longOut.c_str());
    log = LogMessages();
    EXPECT_NE(std::find(log.begin(), log.end(), "Unable to open output file '" + longOut + "a.mpg'"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "Unable to open output file '" + longOut + "b23456.mpg'"), log.end());
    EXPECT_NE(std::find(log.begin(), log.end(), "Path too long - " + longOut + "c234567.mpg"), log.end());
    EXPECT_EQ(log.size(), 5u);
    EXPECT_EQ(ReadWholeFile(longOut + "a.mpg"), "old a");
}

// Mend: on a full disk the copy fails as a whole: "FileCopy Failed", the
// temporary file removed, the earlier destination kept; and a disk with no
// room for the temporary file leaves the destination as it was.  The test's
// small disk is a tmpfs of 256 KB with 8 inodes that the test's fixture
// mounts (as root).
TEST_F(FileWork, FullDiskKeepsEarlierDestination)
{
    const std::string disk = WorkDirectory() + "small-disk\\";
    ULARGE_INTEGER total;
    if (!GetDiskFreeSpaceExA(disk.c_str(), NULL, &total, NULL) || total.QuadPart > 1024 * 1024)
        GTEST_SKIP() << "the small disk is not mounted at " << disk;
    RemoveTree(disk + "Movie");
    MakeDirectory(disk + "Movie");
    std::string earlier = Pattern(40000, 9);
    Place(disk + "Movie\\big.mpg", earlier);
    Place(Src("big.mpg"), Pattern(400000, 10));

    EXPECT_EQ(CopyOneFile(Src("big.mpg").c_str(), (disk + "Movie\\big.mpg").c_str()), 1);
    Lines log = LogMessages();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1], "FileCopy Failed - " + disk + "Movie\\big.mpg");
    EXPECT_TRUE(std::regex_match(log[2], std::regex("\\d+\\.\\d KB copied"))) << log[2];
    EXPECT_EQ(ReadWholeFile(disk + "Movie\\big.mpg"), earlier);
    EXPECT_EQ(FilesIn(disk + "Movie"), Lines{"big.mpg"});

    std::vector<std::string> fillers;
    for (int i = 0; i < 16; i++) {
        std::string filler = disk + "filler" + std::to_string(i);
        HANDLE file = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
        if (file == INVALID_HANDLE_VALUE)
            break;
        CloseHandle(file);
        fillers.push_back(filler);
    }
    ASSERT_LT(fillers.size(), 16u) << "the small disk has more room for files than expected";
    ResetAutoScript(standIn.dialog);
    Place(Src("small.mpg"), "small");
    EXPECT_EQ(CopyOneFile(Src("small.mpg").c_str(), (disk + "Movie\\big.mpg").c_str()), 0);
    EXPECT_EQ(LogMessages(), (Lines{Copying(Src("small.mpg"), disk + "Movie\\big.mpg"),
                                    "Unable to open output file '" + disk + "Movie\\big.mpg'"}));
    EXPECT_EQ(ReadWholeFile(disk + "Movie\\big.mpg"), earlier);
    for (const std::string &filler : fillers)
        DeleteFileA(filler.c_str());
    RemoveTree(disk + "Movie");
}

}  // namespace
