// The screen board library SWmpeg, loaded as the player loads it: what its
// boards put on screen (the library's picture journal) against FFmpeg's
// reference decode of the same files, and the table as the player sees it.
#include <gtest/gtest.h>
#include <windows.h>

#include <stdio.h>

#include <functional>
#include <vector>

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

}  // namespace
