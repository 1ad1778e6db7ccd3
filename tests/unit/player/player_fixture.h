// The player's tests: a window with its instance record, the recording
// TRmpeg.dll, chapter files in the working directory, and one event file in
// which the trace lines, the board journal and the replies meet in order.
#ifndef HRX_TESTS_UNIT_PLAYER_FIXTURE_H
#define HRX_TESTS_UNIT_PLAYER_FIXTURE_H

#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/cdtray.h"
#include "app/instance.h"
#include "app/text.h"
#include "board/board.h"
#include "commcapture.h"
#include "player/chapters.h"
#include "player/player.h"
#include "recordwindow.h"
#include "testfiles.h"
#include "trmpeg_support.h"

#define OPEN_IMAGE "C:\\Stills\\open.ybr"

class PlayerTest : public RecordWindowTest {
protected:
    std::string events = WorkPath("player-events.txt");
    std::string control = WorkPath("player-control.txt");

    void SetUp() override
    {
        RecordWindowTest::SetUp();
        CopyText(record->settings.traceFile, sizeof record->settings.traceFile, events.c_str());
        CopyText(record->settings.startUpImage, sizeof record->settings.startUpImage, OPEN_IMAGE);
        SetEnvironmentVariableA("TRMPEG_JOURNAL", events.c_str());
        SetEnvironmentVariableA("TRMPEG_CONTROL", control.c_str());
        ResetTrayLog();
        SetCommCaptureLog(events.c_str());
        DeleteFileA(control.c_str());
        Forget();
    }

    void TearDown() override
    {
        FreeChapterTable(hwnd);
        FreeMpegDriver(&MpegTable);
        memset(&MpegTable, 0, sizeof MpegTable);
        RemoveTrmpeg();
        SetCommCaptureLog(NULL);
        RecordWindowTest::TearDown();
    }

    // Loads TRmpeg.dll reporting `boards` boards and shows the opening
    // image on each, as start-up does; forgets what that logged.
    void LoadBoards(int boards)
    {
        FreeMpegDriver(&MpegTable);
        char count[16];
        snprintf(count, sizeof count, "%d", boards);
        SetEnvironmentVariableA("TRMPEG_BOARDS", count);
        ASSERT_TRUE(InstallTrmpeg());
        MpegTable.boardType = BOARD_TYPE_THIRD;
        LoadMpegDriver(&MpegTable);
        ASSERT_EQ(MpegTable.boardCount, boards);
        for (int board = 0; board < boards; board++) {
            MpegInitBoard(board);
            MpegDisplayImage(board, OPEN_IMAGE);
        }
        Forget();
    }

    // Makes `count` chapter files "chNN.mpg" in a fresh directory under the
    // working directory and builds the table from them; returns the
    // directory's full path with a trailing backslash.
    std::string MakeChapters(const char *directory, int count)
    {
        std::string path = WorkPath(directory) + "\\";
        CreateDirectoryA(path.c_str(), NULL);
        for (int i = 0; i < count; i++) {
            char name[16];
            snprintf(name, sizeof name, "ch%02d.mpg", i);
            EXPECT_TRUE(WriteWholeFile(path + name, name));
        }
        CopyText(record->settings.defaultMpeg, sizeof record->settings.defaultMpeg, (path + "*.mpg").c_str());
        FreeChapterTable(hwnd);
        BuildChapterTable(hwnd);
        return path;
    }

    // The path of chapter n in a directory made by MakeChapters.
    static std::string Chapter(const std::string &directory, int n)
    {
        char name[16];
        snprintf(name, sizeof name, "ch%02d.mpg", n);
        return directory + name;
    }

    // Sends each byte as the serial link posts it: a one-character text,
    // empty for 0x00.  Returns the answer bytes.
    std::string Send(const std::string &bytes)
    {
        for (char byte : bytes) {
            char text[2] = {byte, '\0'};
            InterpretLdpCommand(hwnd, text);
        }
        return TakeCapturedReplies();
    }

    // Everything that happened since the last call, in order.
    Lines Events()
    {
        return TakeLines(events);
    }

    // The last `count` of the events (all of them when fewer happened).
    Lines LastEvents(size_t count)
    {
        Lines lines = Events();
        return Lines(lines.end() - std::min(count, lines.size()), lines.end());
    }

    // The event line of a reply: "reply" and each byte in hex.
    static std::string ReplyLine(const std::string &bytes)
    {
        std::string line = "reply";
        for (unsigned char byte : bytes) {
            char hex[4];
            snprintf(hex, sizeof hex, " %02X", byte);
            line += hex;
        }
        return line;
    }

    // The tray's requests, once its worker has made every move asked for.
    Lines TrayMoves()
    {
        EXPECT_TRUE(WaitForCdTray(CD_TRAY_STOP_WAIT_MS));
        return TrayRequests();
    }

    void Forget()
    {
        TakeCapturedReplies();
        TakeLines(events);
        TrayMoves();
    }
};

#endif
