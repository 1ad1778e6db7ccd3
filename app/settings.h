// Settings in the registry of the current user (main thread).
#ifndef HRX_APP_SETTINGS_H
#define HRX_APP_SETTINGS_H

#include <windows.h>

#define REG_BASE_KEY "SOFTWARE\\Calloway Software\\Halcyra\\V2.00"
#define REG_KEY_CONTROL "Control"
#define REG_KEY_DEBUG "Debug"
#define REG_KEY_HRX ".hrx"

#define REG_SYNC_MODE "SyncMode"
#define REG_BOARD_TYPE "BoardType"
#define REG_VIDEO_MODE "VideoMode"
#define REG_STREAM_TYPE "StreamType"
#define REG_STARTUP_IMAGE "StartUpImage"
#define REG_CLOSEDOWN_IMAGE "CloseDnImage"
#define REG_SCREEN_X "ScreenX"
#define REG_SCREEN_Y "ScreenY"
#define REG_FIFO_LIMIT "FIFOLimit"
#define REG_OUTPUT_STD "OutputStd"
#define REG_IDLE_PROCESSING "IdleProcessing"
#define REG_TRACE_SIZE "TraceSize"
#define REG_TRACE_FILE "TraceFile"
#define REG_COM_ID "ComID"
#define REG_DEFAULT_MPEG "DefaultMPEG"
#define REG_PROTOCOL "Protocol"

#define DEFAULT_STARTUP_IMAGE "C:\\Program File\\Calloway Software\\Halcyra\\Stills\\Halcyra.ybr"
#define DEFAULT_CLOSEDOWN_IMAGE "C:\\Program File\\Calloway Software\\Halcyra\\Stills\\Calloway.ybr"
#define DEFAULT_TRACE_FILE "Trace.txt"
#define DEFAULT_MPEG_PATTERN "D:\\Movie\\*.mpg"
#define DEFAULT_TRACE_SIZE 1000
#define DEFAULT_FIFO_LIMIT 2048
#define DEFAULT_COM_ID 2
// The ports the sheet offers and a start loads: COM1 to COM256.
#define COM_ID_MAX 256
#define DEFAULT_BOARD_TYPE 3

// Reads a registry value (null: the key's default value) as text into a
// 256-byte buffer.  Returns false when it is absent, unreadable or longer
// than 255 characters.  Data of another type, or without a terminator, ends
// at the length the registry returns.
bool ReadRegistryText(HKEY key, const char *name, char *text);
// Main thread: reads the three sub-keys into the window's record, a missing
// value taking its default.  Always 1.
int LoadSettings(HWND hwnd);
// Main thread: writes the record's settings to the three sub-keys (all but
// IdleProcessing).  Always 1.
int SaveSettings(HWND hwnd);

#endif
