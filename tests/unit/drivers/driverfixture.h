// The fixture of the driver library tests: loads KSmpeg or OSmpeg from the
// bin directory as the player does, with the bench decoder journaling into
// the test's directory and the decoder settings files under control.
#ifndef HRX_TESTS_UNIT_DRIVERS_DRIVERFIXTURE_H
#define HRX_TESTS_UNIT_DRIVERS_DRIVERFIXTURE_H

#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include "board/mpegdrv.h"
#include "tests/unit/drivers/testsupport.h"

struct DriverVariant {
    const char *library;
    const char *prefix;
    bool videoQuest;
};

const DriverVariant kVideoQuest = {"KSmpeg.dll", "KS", true};
const DriverVariant kVideoPlex = {"OSmpeg.dll", "OS", false};

const char *const kSlotNames[] = {"Init", "Free", "InitBoard", "FreeBoard", "DisplayImage", "Open", "Play",
                                  "Check", "Stop", "Still", "Step", "GetFrame", "SetFrame", "Slow",
                                  "SetVideoOutput", "Blank", "Fast", "Mute", "Genlock"};

inline std::string SettingsPath(const char *file)
{
    char dir[MAX_PATH];
    GetWindowsDirectoryA(dir, sizeof dir);
    return std::string(dir) + "\\" + file;
}

// Writes a decoder settings file where the libraries look for it, and makes
// the profile functions forget what they cached of the old one.
inline void WriteSettings(const char *file, const std::string &text)
{
    WriteWholeFile(SettingsPath(file), text);
    WritePrivateProfileStringA(NULL, NULL, NULL, file);
}

inline void RemoveSettings()
{
    for (const char *file : {"videoplx.ini", "videplex.ini"}) {
        DeleteFileA(SettingsPath(file).c_str());
        WritePrivateProfileStringA(NULL, NULL, NULL, file);
    }
}

class DriverTest : public testing::Test {
protected:
    MpegDriverTable table;
    HMODULE module = NULL;
    Journal journal;

    void SetUp() override
    {
        SetEnvironmentVariableA("RTDSIM_JOURNAL", journal.path.c_str());
        SetEnvironmentVariableA("RTDSIM_BOARDS", "2");
        SetEnvironmentVariableA("RTDSIM_TIME_SCALE", NULL);
        SetEnvironmentVariableA("HALCYRA_BOARD_WAIT_MS", "0");
        DeleteFileA(journal.path.c_str());
        RemoveSettings();
        memset(&table, 0, sizeof table);
    }

    void TearDown() override
    {
        Unload();
        RemoveSettings();
    }

    // Loads the library and looks up its 19 entry points into the table.
    testing::AssertionResult Load(const DriverVariant &variant)
    {
        memset(&table, 0, sizeof table);
        module = LoadLibraryA(variant.library);
        if (!module)
            return testing::AssertionFailure() << variant.library << " not loaded, error " << GetLastError();
        table.hLibrary = module;
        table.boardType = variant.videoQuest ? BOARD_TYPE_VIDEOQUEST : BOARD_TYPE_VIDEOPLEX;
        FARPROC *slots = reinterpret_cast<FARPROC *>(&table.InitMPEG);
        for (size_t i = 0; i < sizeof kSlotNames / sizeof kSlotNames[0]; i++) {
            std::string name = std::string(variant.prefix) + kSlotNames[i] + "MPEG";
            slots[i] = GetProcAddress(module, name.c_str());
            if (!slots[i])
                return testing::AssertionFailure() << variant.library << " lacks " << name;
        }
        return testing::AssertionSuccess();
    }

    void Unload()
    {
        if (module)
            FreeLibrary(module);
        module = NULL;
    }

    // Loads the library, initialises the system and both boards as the
    // player's bring-up does, and marks the journal.
    void BringUp(const DriverVariant &variant)
    {
        ASSERT_TRUE(Load(variant));
        table.InitMPEG(&table);
        ASSERT_EQ(table.boardCount, 2);
        for (int board = 0; board < table.boardCount; board++) {
            table.videoMode[board] = 16;
            table.streamType[board] = 4;
            table.syncMode[board] = 1;
            table.InitBoardMPEG(&table, board);
        }
        journal.mark();
    }

    // Services the board as the player's poll does, every 5 ms, until its
    // play state leaves `from`; returns the milliseconds since `started`.
    DWORD PollWhileState(int board, int32_t from, DWORD started, DWORD timeoutMs)
    {
        while (table.playState[board] == from && GetTickCount() - started < timeoutMs) {
            table.CheckMPEG(&table, board);
            if (table.playState[board] == from)
                Sleep(5);
        }
        return GetTickCount() - started;
    }
};

#endif
