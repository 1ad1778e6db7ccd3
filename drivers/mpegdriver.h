// Constants of the board driver libraries KSmpeg (VideoQuest) and OSmpeg
// (VideoPlex): the decoder settings files, the waits and the values the
// libraries hand the decoder SDK.  The entry points run on the caller's
// (the player's main) thread.
#ifndef HRX_DRIVERS_MPEGDRIVER_H
#define HRX_DRIVERS_MPEGDRIVER_H

// Decoder settings: bare file names, so the Windows directory is searched.
#define SETTINGS_FILE "videoplx.ini"
#define TRANSFER_SETTINGS_FILE "videplex.ini"
#define SETTINGS_SECTION "VideoPlex"

#define KEY_OPT_PATH "OptPath"
#define KEY_USE_PTS "USE_PTS"
#define KEY_USE_BKG "USE_BKG"
#define KEY_PRIORITY "Priority"
#define KEY_UCODE_VERSION "CL_UCODE_VER"
#define KEY_USE_FILE_INFO "USE_FILE_INFO"
#define KEY_PTS_THRESHOLD "PTS_THRESHOLD"
#define KEY_TRANSFER_BUFFER "BufferSizeTransferToBoard"
#define KEY_SCAN_FROM_END "LengthToScanFromEnd"

#define DEFAULT_OPT_PATH "c:\\"
#define DEFAULT_USE_PTS 1
#define DEFAULT_USE_BKG 0
#define DEFAULT_PRIORITY 1
#define DEFAULT_UCODE_VERSION "19"
#define DEFAULT_USE_FILE_INFO 1
#define DEFAULT_PTS_THRESHOLD 0
#define DEFAULT_TRANSFER_BUFFER 0x40000
#define DEFAULT_SCAN_FROM_END 0

// The microcode version is read into this many bytes: two hex digits.
#define UCODE_VERSION_SIZE 3

// Wait after a board has initialised; the environment variable replaces it
// (bench rig and tests).
#define BOARD_WAIT_MS 5000
#define BOARD_WAIT_ENV "HALCYRA_BOARD_WAIT_MS"

// A frame seek gives up waiting when the time stamp has not moved for this
// long (wall clock).
#define SEEK_STALL_MS 2000

// Values the libraries hand the SDK.
#define INIT_BOARD_OPTION 200
#define LOAD_IMAGE_OPTION (-1)
#define OPEN_FLAGS 0
#define INIT_SYSTEM_RESERVED 0
#define PLAY_CONTROL_STOP 0
#define VIDEO_SOURCE_MPEG 0
#define VIDEO_SOURCE_EXTERNAL 1
#define VIDEO_OUTPUT_YUV 1
#define VIDEO_OUTPUT_RGB 2
#define STREAM_ID_VIDEO 0xE0
#define STREAM_ID_AUDIO 0xC0

#endif
