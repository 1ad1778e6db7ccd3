// The board driver table: the fixed contract between the player and every
// board driver library.  The player owns the one table and passes it as the
// first argument of every entry point; the library reads and writes its
// per-board fields.  The layout assumes 32-bit pointers (i686 only).
#ifndef HRX_BOARD_MPEGDRV_H
#define HRX_BOARD_MPEGDRV_H

#include <windows.h>
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#define MPEG_MAX_BOARDS 16
#define MPEG_PATH_SIZE 256

// Play states.  A board in a state above MPEG_LAST_INACTIVE_STATE has an
// active stream.
#define MPEG_IDLE 0
#define MPEG_READY 2
#define MPEG_STOPPED 4
#define MPEG_PLAYING 8
#define MPEG_STILL 16
#define MPEG_FILE_STARTED 256
#define MPEG_LAST_INACTIVE_STATE 7

// Board types and their libraries.
#define BOARD_TYPE_THIRD 1
#define BOARD_TYPE_VIDEOPLEX 2
#define BOARD_TYPE_VIDEOQUEST 3
#define BOARD_TYPE_SCREEN 4
// The names the player gives board types 2 to 4 (trace log, property sheet).
#define BOARD_NAME_VIDEOPLEX "VideoPlex"
#define BOARD_NAME_VIDEOQUEST "VideoQuest"
#define BOARD_NAME_SCREEN "Screen"

// Setting codes: the player copies its video mode, stream type and sync
// mode into the table and passes its output standard to SetVideoOutputMPEG.
#define VIDEO_NTSC_M 2
#define VIDEO_NTSC_443 4
#define VIDEO_PAL_M 8
#define VIDEO_PAL_443 16
#define STREAM_VIDEO 2
#define STREAM_SYSTEM 4
#define STREAM_AUDIO 8
#define STREAM_TRANSPORT 16
#define SYNC_INTERNAL 1
#define SYNC_EXTERNAL 2
#define OUTPUT_YUV 1
#define OUTPUT_RGB 2

// GenlockMPEG's modes.
#define GENLOCK_EXTERNAL 0
#define GENLOCK_MPEG 1

// FPLAY's start point: continue from where the board holds.
#define MPEG_PLAY_CONTINUE 0x7FFFFFFE
#define MPEG_PLAY_END 999999999

struct MpegDriverTable;

extern "C" {
typedef int(__cdecl *MpegSystemEntry)(MpegDriverTable *table);
typedef int(__cdecl *MpegBoardEntry)(MpegDriverTable *table, int board);
typedef int(__cdecl *MpegBoardPathEntry)(MpegDriverTable *table, int board, const char *path);
typedef int(__cdecl *MpegBoardValueEntry)(MpegDriverTable *table, int board, int value);
typedef int(__cdecl *MpegPlayEntry)(MpegDriverTable *table, int board, int start, int end, int flags);
}

struct MpegDriverTable {
    int32_t boardType;
    HMODULE hLibrary;
    MpegSystemEntry InitMPEG;
    MpegSystemEntry FreeMPEG;
    MpegBoardEntry InitBoardMPEG;
    MpegBoardEntry FreeBoardMPEG;
    MpegBoardPathEntry DisplayImageMPEG;
    MpegBoardPathEntry OpenMPEG;
    MpegPlayEntry PlayMPEG;
    MpegBoardEntry CheckMPEG;
    MpegBoardEntry StopMPEG;
    MpegBoardEntry StillMPEG;
    MpegBoardEntry StepMPEG;
    MpegBoardEntry GetFrameMPEG;
    MpegBoardValueEntry SetFrameMPEG;
    MpegBoardEntry SlowMPEG;
    MpegBoardValueEntry SetVideoOutputMPEG;
    MpegBoardValueEntry BlankMPEG;
    MpegBoardEntry FastMPEG;
    MpegBoardValueEntry MuteMPEG;
    MpegBoardValueEntry GenlockMPEG;
    int32_t boardCount;
    int32_t fifoLimit;
    int32_t reserved1;
    int32_t playState[MPEG_MAX_BOARDS];
    int16_t videoMode[MPEG_MAX_BOARDS];
    int16_t streamType[MPEG_MAX_BOARDS];
    int32_t syncMode[MPEG_MAX_BOARDS];
    uint8_t reserved2[192];
    char playingFile[MPEG_MAX_BOARDS][MPEG_PATH_SIZE];
    char openedFile[MPEG_MAX_BOARDS][MPEG_PATH_SIZE];
    int32_t totalFrames[MPEG_MAX_BOARDS];
};

// File names cross between player and library in MPEG_PATH_SIZE-byte
// fields; a path fits when it is there and shorter than a field.
inline bool FitsPathField(const char *path)
{
    return path && strnlen(path, MPEG_PATH_SIZE) < MPEG_PATH_SIZE;
}

static_assert(sizeof(void *) == 4, "the driver table assumes 32-bit pointers");
static_assert(offsetof(MpegDriverTable, boardType) == 0, "layout");
static_assert(offsetof(MpegDriverTable, hLibrary) == 4, "layout");
static_assert(offsetof(MpegDriverTable, InitMPEG) == 8, "layout");
static_assert(offsetof(MpegDriverTable, FreeMPEG) == 12, "layout");
static_assert(offsetof(MpegDriverTable, InitBoardMPEG) == 16, "layout");
static_assert(offsetof(MpegDriverTable, FreeBoardMPEG) == 20, "layout");
static_assert(offsetof(MpegDriverTable, DisplayImageMPEG) == 24, "layout");
static_assert(offsetof(MpegDriverTable, OpenMPEG) == 28, "layout");
static_assert(offsetof(MpegDriverTable, PlayMPEG) == 32, "layout");
static_assert(offsetof(MpegDriverTable, CheckMPEG) == 36, "layout");
static_assert(offsetof(MpegDriverTable, StopMPEG) == 40, "layout");
static_assert(offsetof(MpegDriverTable, StillMPEG) == 44, "layout");
static_assert(offsetof(MpegDriverTable, StepMPEG) == 48, "layout");
static_assert(offsetof(MpegDriverTable, GetFrameMPEG) == 52, "layout");
static_assert(offsetof(MpegDriverTable, SetFrameMPEG) == 56, "layout");
static_assert(offsetof(MpegDriverTable, SlowMPEG) == 60, "layout");
static_assert(offsetof(MpegDriverTable, SetVideoOutputMPEG) == 64, "layout");
static_assert(offsetof(MpegDriverTable, BlankMPEG) == 68, "layout");
static_assert(offsetof(MpegDriverTable, FastMPEG) == 72, "layout");
static_assert(offsetof(MpegDriverTable, MuteMPEG) == 76, "layout");
static_assert(offsetof(MpegDriverTable, GenlockMPEG) == 80, "layout");
static_assert(offsetof(MpegDriverTable, boardCount) == 84, "layout");
static_assert(offsetof(MpegDriverTable, fifoLimit) == 88, "layout");
static_assert(offsetof(MpegDriverTable, reserved1) == 92, "layout");
static_assert(offsetof(MpegDriverTable, playState) == 96, "layout");
static_assert(offsetof(MpegDriverTable, videoMode) == 160, "layout");
static_assert(offsetof(MpegDriverTable, streamType) == 192, "layout");
static_assert(offsetof(MpegDriverTable, syncMode) == 224, "layout");
static_assert(offsetof(MpegDriverTable, reserved2) == 288, "layout");
static_assert(offsetof(MpegDriverTable, playingFile) == 480, "layout");
static_assert(offsetof(MpegDriverTable, openedFile) == 4576, "layout");
static_assert(offsetof(MpegDriverTable, totalFrames) == 8672, "layout");
static_assert(sizeof(MpegDriverTable) == 8736, "layout");

#endif
