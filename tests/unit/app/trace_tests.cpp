// Trace log: the line form on disk, trimming, file times, durations, and
// the plain-named exports of hrx.exe.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>

#include <regex>
#include <string>
#include <vector>

#include "app/trace.h"
#include "testfiles.h"

namespace {

std::string NumberedLines(int first, int last)
{
    std::string text;
    for (int i = first; i <= last; i++)
        text += "line " + std::to_string(i) + "\r\n";
    return text;
}

TEST(TraceLog, LineIsStampedWithMillisecondsAndEndsInCrLf)
{
    const char *path = "stamp.txt";
    DeleteFileA(path);
    WriteTrace(NULL, path, "User Cmd - Exit");
    std::string message300(300, 'm');
    WriteTrace(NULL, path, message300.c_str());
    WriteTrace(NULL, path, "Halcyra Remote Closed\n\n");
    std::string text = ReadWholeFile(path);
    std::regex form("\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d - User Cmd - Exit\r\n"
                    "\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d - m{300}\r\n"
                    "\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d - Halcyra Remote Closed\r\n\r\n\r\n");
    EXPECT_TRUE(std::regex_match(text, form)) << text;

    EXPECT_EQ(text.substr(0, 9), TodayStamp()) << "day, month, two-digit year";
}

int FilesHere()
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("*", &found);
    int files = 0;
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            files++;
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return files;
}

TEST(TraceLog, EmptyPathOrUnopenableFileWritesNothing)
{
    int before = FilesHere();
    WriteTrace(NULL, "", "nothing");
    WriteTrace(NULL, "no-such-dir\\x.txt", "lost");
    EXPECT_EQ(FilesHere(), before);
    EXPECT_FALSE(Exists("no-such-dir\\x.txt"));
}

struct Writer {
    const char *path;
    char letter;
};

DWORD WINAPI WriteManyLines(LPVOID param)
{
    const Writer *w = static_cast<const Writer *>(param);
    std::string message(150, w->letter);
    for (int i = 0; i < 1500; i++)
        WriteTrace(NULL, w->path, message.c_str());
    return 0;
}

TEST(TraceLog, LinesOfTwoThreadsNeverOverlap)
{
    const char *path = "two-writers.txt";
    DeleteFileA(path);
    Writer a = {path, 'a'}, b = {path, 'b'};
    HANDLE threads[2] = {CreateThread(NULL, 0, WriteManyLines, &a, 0, NULL),
                         CreateThread(NULL, 0, WriteManyLines, &b, 0, NULL)};
    WaitForMultipleObjects(2, threads, TRUE, 60000);
    CloseHandle(threads[0]);
    CloseHandle(threads[1]);
    std::string text = ReadWholeFile(path);
    std::regex line("\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d - (a{150}|b{150})");
    int counts[2] = {0, 0};
    for (const std::string &one : SplitLines(text, "\r\n")) {
        ASSERT_TRUE(std::regex_match(one, line)) << one;
        counts[one.back() == 'b']++;
    }
    EXPECT_TRUE(EndsWith(text, "\r\n")) << "the last line ends in CR LF";
    EXPECT_EQ(counts[0], 1500);
    EXPECT_EQ(counts[1], 1500);
}

DWORD WINAPI WriteLineOfAnotherThread(LPVOID path)
{
    WriteTrace(NULL, static_cast<const char *>(path), "another thread");
    return 0;
}

// Milliseconds of the day in a trace line's stamp.
long StampMs(const std::string &line)
{
    unsigned hours = 0, minutes = 0, seconds = 0, ms = 0;
    EXPECT_EQ(sscanf(line.c_str(), "%*2u/%*2u/%*2u %2u:%2u:%2u.%3u", &hours, &minutes, &seconds, &ms), 4) << line;
    return ((hours * 60L + minutes) * 60L + seconds) * 1000L + ms;
}

TEST(TraceLog, HeldLinesFollowInTheirOrderWithTheStampsOfTheirWriting)
{
    const char *path = "held.txt", *other = "held-other.txt";
    DeleteFileA(path);
    DeleteFileA(other);
    HoldTraceLines();
    WriteTrace(NULL, path, "first");
    Sleep(50);
    WriteTrace(NULL, path, "second");
    HANDLE thread = CreateThread(NULL, 0, WriteLineOfAnotherThread, const_cast<char *>(path), 0, NULL);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_EQ(TakeLines(path), Lines({"another thread"})) << "only the holding thread's lines wait";

    // A line for another file, and a hold that is full, write what is held.
    WriteTrace(NULL, other, "0");
    Lines held = SplitLines(ReadWholeFile(path), "\r\n");
    ASSERT_EQ(held.size(), 2u);
    EXPECT_GE(StampMs(held[1]) - StampMs(held[0]), 50) << "each line is stamped when it is written";
    EXPECT_EQ(TakeLines(path), Lines({"first", "second"}));
    Lines numbered = {"0"};
    for (int i = 1; i <= 30; i++) {
        numbered.push_back(std::to_string(i) + std::string(200, '.'));
        WriteTrace(NULL, other, numbered.back().c_str());
    }
    Lines early = TakeLines(other);
    EXPECT_GT(early.size(), 1u);
    EXPECT_LT(early.size(), numbered.size());
    WriteHeldTraceLines();
    Lines late = TakeLines(other);
    early.insert(early.end(), late.begin(), late.end());
    EXPECT_EQ(early, numbered);

    WriteTrace(NULL, path, "after the hold");
    EXPECT_EQ(TakeLines(path), Lines({"after the hold"}));
}

TEST(TrimFile, KeepsTheLastLinesInOrder)
{
    const char *path = "trim1500.txt";
    WriteWholeFile(path, NumberedLines(1, 1500));
    TrimFile(NULL, path, 1000);
    EXPECT_EQ(ReadWholeFile(path), NumberedLines(501, 1500));
}

TEST(TrimFile, LeavesAFileOfExactlyMaxLinesUntouched)
{
    const char *path = "exact.txt";
    WriteWholeFile(path, NumberedLines(1, 20));
    ASSERT_TRUE(SetModificationTime(path, 0x01B0000012345600ULL));
    long before = FileTime(path);
    TrimFile(NULL, path, 20);
    EXPECT_EQ(FileTime(path), before) << "the file must not be rewritten";
    EXPECT_EQ(ReadWholeFile(path), NumberedLines(1, 20));
}

TEST(TrimFile, ZeroEmptiesMissingStaysMissingEmptyPathIgnored)
{
    const char *path = "zero.txt";
    WriteWholeFile(path, NumberedLines(1, 3));
    TrimFile(NULL, path, 0);
    EXPECT_TRUE(Exists(path));
    EXPECT_EQ(ReadWholeFile(path), "");

    DeleteFileA("missing.txt");
    TrimFile(NULL, "missing.txt", 5);
    EXPECT_FALSE(Exists("missing.txt"));
    TrimFile(NULL, "", 5);
}

TEST(TrimFile, LongLinesCountAsPiecesAndALastLineKeepsItsMissingLineFeed)
{
    const char *path = "pieces.txt";
    std::string longLine(300, 'L');
    // 300 characters are two pieces: 255, then 45 with the line end.
    WriteWholeFile(path, "first\r\n" + longLine + "\r\nlast");
    TrimFile(NULL, path, 2);
    EXPECT_EQ(ReadWholeFile(path), std::string(45, 'L') + "\r\nlast");

    WriteWholeFile(path, NumberedLines(1, 3) + "tail");
    TrimFile(NULL, path, 2);
    EXPECT_EQ(ReadWholeFile(path), "line 3\r\ntail");
}

// The time is the file system's own, in UTC: a time in summer and one in
// winter come back as set, whatever the local offset is today.
TEST(FileTime, IsZeroForAMissingFileAndFollowsTheModificationTime)
{
    EXPECT_EQ(FileTime("surely-missing.txt"), 0);
    CreateDirectoryA("timed-folder", NULL);
    EXPECT_EQ(FileTime("timed-folder"), 0) << "a folder is no file";
    const char *path = "timed.txt";
    WriteWholeFile(path, "x");
    // 2001-09-09 01:46:40 UTC is 1000000000 seconds after 1970; the others
    // fall in summer and in winter time.
    for (long seconds : {1000000000L, 1719835200L, 1735732800L}) {
        ASSERT_TRUE(SetModificationTime(path, (seconds + 11644473600ULL) * 10000000ULL));
        EXPECT_EQ(FileTime(path), seconds);
    }
    WriteWholeFile(path, "rewritten");
    EXPECT_GT(FileTime(path), 1735732800L);
}

TEST(FormatDuration, FormatsHoursModulo24WithHundredths)
{
    struct {
        DWORD ms;
        const char *text;
    } cases[] = {
        {0, "00:00:00.00"},
        {59999, "00:00:59.99"},
        {3723456, "01:02:03.45"},
        {86400000, "00:00:00.00"},
        {90000000, "01:00:00.00"},
        {0xFFFFFFFF, "17:02:47.29"},
    };
    for (const auto &c : cases) {
        char out[32];
        memset(out, '#', sizeof out);
        EXPECT_EQ(FormatDuration(c.ms, out, sizeof out), 11) << c.ms;
        EXPECT_STREQ(out, c.text) << c.ms;
    }
    char small[6];
    memset(small, '#', sizeof small);
    EXPECT_EQ(FormatDuration(3723456, small, sizeof small), 5);
    EXPECT_STREQ(small, "01:02");
}

TEST(Exports, HrxExportsFileTimeAndTrimFileByPlainName)
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    strcpy(strrchr(path, '\\') + 1, "hrx.exe");
    HMODULE hrx = LoadLibraryExA(path, NULL, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(hrx, nullptr) << path;
    EXPECT_NE(GetProcAddress(hrx, "FileTime"), nullptr);
    EXPECT_NE(GetProcAddress(hrx, "TrimFile"), nullptr);
    EXPECT_EQ(GetProcAddress(hrx, "_FileTime"), nullptr);
    FreeLibrary(hrx);
}

}  // namespace
