// The MPEG decoder SDK as the board driver libraries call it: functions,
// parameter numbers, status codes and the file information record.  Every
// call comes from one thread, one at a time.
#ifndef HRX_SDK_RTDSDK_H
#define HRX_SDK_RTDSDK_H

#include <stddef.h>
#include <stdint.h>

#ifdef RTDSDK_BUILD
#define RTDSDK_API extern "C" __declspec(dllexport)
#else
#define RTDSDK_API extern "C" __declspec(dllimport)
#endif

// Board number that addresses the decoder system as a whole (parameters).
#define RTD_SYSTEM 256
#define RTD_MAX_BOARDS 16

// Parameters of rtdSetParams and rtdGetParams.
#define RTD_PARAM_PLAY_CONTROL 6        // board: 0 stops decoding
#define RTD_PARAM_USE_PTS 7             // system
#define RTD_PARAM_SPEED 12              // board: RTD_SPEED_*
#define RTD_PARAM_JUMP_PERCENT 13       // board: jump to this percentage of the file
#define RTD_PARAM_CURRENT_FRAME 16      // board, read only: the frame on screen
#define RTD_PARAM_TRANSFER_BUFFER 23    // board: bytes per transfer to the board
#define RTD_PARAM_PRIORITY 36           // system
#define RTD_PARAM_TIME_STAMP 0x1009     // board, read only: RTD_STAMP_PER_FRAME a frame
#define RTD_PARAM_UCODE_VERSION 0x100C  // system
#define RTD_PARAM_PTS_THRESHOLD 0x100D  // system
#define RTD_PARAM_VIDEO_SOURCE 0x2001   // board: 0 MPEG video, 1 external video
#define RTD_PARAM_VIDEO_OUTPUT 0x2004   // board: 1 YUV, 2 RGB
#define RTD_PARAM_BLANK 0x2006          // board: 1 blank, 0 show
#define RTD_PARAM_MUTE 0x3003           // board: 1 mute, 0 sound
#define RTD_PARAM_VIDEO_STREAM_ID 0x4001
#define RTD_PARAM_AUDIO_STREAM_ID 0x4002
#define RTD_PARAM_USE_FILE_INFO 0x6001  // system
#define RTD_PARAM_SCAN_FROM_END 0x6003  // bytes scanned at each end of a file

#define RTD_SPEED_NORMAL 3
#define RTD_SPEED_FAST 7
#define RTD_SPEED_SLOW 11

// rtdPlay: start where the board holds, and play to the end of the file.
#define RTD_PLAY_CONTINUE 0x7FFFFFFE
#define RTD_PLAY_TO_END 0x7FFFFFFF

// Time stamp units (90 kHz) per frame at 25 frames a second.
#define RTD_STAMP_PER_FRAME 3600

// Video standard codes of rtdInitBoard and rtdLoadImage.
#define RTD_VIDEO_NTSC_M 13
#define RTD_VIDEO_NTSC_443 3
#define RTD_VIDEO_PAL_M 9
#define RTD_VIDEO_PAL_443 5

// Stream codes of rtdInitBoard.
#define RTD_STREAM_VIDEO 0
#define RTD_STREAM_SYSTEM 1
#define RTD_STREAM_TRANSPORT 2
#define RTD_STREAM_AUDIO 4

// Results.  rtdContinue returns a status: RTD_STATUS_FILE_STARTED once when
// the queued file has begun, RTD_STATUS_PLAY_ENDED once when the last file
// has ended, otherwise RTD_STATUS_NONE.
#define RTD_OK 0
#define RTD_STATUS_NONE 0
#define RTD_STATUS_FILE_STARTED 0x101
#define RTD_STATUS_PLAY_ENDED 0x102
#define RTD_ERR_BOARD (-1)      // no such board
#define RTD_ERR_FILE (-2)       // the file cannot be read, or its name is too long
#define RTD_ERR_PARAM (-3)      // parameter unknown, never set, or read only
#define RTD_ERR_NO_STREAM (-4)  // nothing is open to play

// rtdFileInfo: the SDK owns both records; they hold until the next call.
struct RtdStreamInfo {
    uint8_t reserved[116];
    uint16_t hours;
    uint16_t minutes;
    uint16_t seconds;
    uint16_t frames;
};

struct RtdFileInfo {
    uint32_t recordSize;
    uint32_t fileBytes;
    uint32_t totalFrames;
    RtdStreamInfo *stream;
};

static_assert(offsetof(RtdFileInfo, stream) == 12, "layout");
static_assert(offsetof(RtdStreamInfo, hours) == 116, "layout");
static_assert(offsetof(RtdStreamInfo, minutes) == 118, "layout");
static_assert(offsetof(RtdStreamInfo, seconds) == 120, "layout");
static_assert(offsetof(RtdStreamInfo, frames) == 122, "layout");

// Returns the number of boards found.
RTDSDK_API short __cdecl rtdInitSystem(int useBackground, const char *optPath, int reserved);
RTDSDK_API short __cdecl rtdFreeSystem(void);
RTDSDK_API short __cdecl rtdInitBoard(int board, int reserved, int videoStandard, int streamCode, int syncFlag);
RTDSDK_API short __cdecl rtdFreeBoard(int board);
// Opening while a stream is active (playing or paused) queues the file to
// follow the one playing.
RTDSDK_API short __cdecl rtdOpen(int board, const char *fileName, int flags);
RTDSDK_API short __cdecl rtdClose(int board);
RTDSDK_API short __cdecl rtdPlay(int board, long start, long end, int speed);
RTDSDK_API short __cdecl rtdPause(int board);
RTDSDK_API short __cdecl rtdSingle(int board);
// The service call: call it often while a board plays.
RTDSDK_API short __cdecl rtdContinue(int board);
RTDSDK_API short __cdecl rtdGetParams(int board, int param, long *value);
RTDSDK_API short __cdecl rtdSetParams(int board, int param, long value);
RTDSDK_API short __cdecl rtdLoadImage(int board, const char *fileName, int reserved, int videoStandard);
RTDSDK_API short __cdecl rtdFileInfo(const char *fileName, RtdFileInfo **info);

#endif
