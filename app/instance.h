// The instance record: all per-process state of the player, owned by the
// main window (its user data) from creation to destruction.  Main thread,
// except the fields the serial receive thread reads (protocol, traceFile,
// serial), which change only while that thread is stopped.
#ifndef HRX_APP_INSTANCE_H
#define HRX_APP_INSTANCE_H

#include <windows.h>
#include <stdint.h>

#include "app/product.h"
#include "board/mpegdrv.h"
#include "serial/serial.h"

#define TEXT_FIELD_SIZE 256   // 255 characters and a terminator

// The user's settings; copied as one block by the property sheet.
struct Settings {
    char traceFile[TEXT_FIELD_SIZE];
    int32_t traceSize;
    char startUpImage[TEXT_FIELD_SIZE];
    char closeDownImage[TEXT_FIELD_SIZE];
    int32_t screenX;
    int32_t screenY;
    int32_t videoMode;
    int32_t streamType;
    int32_t syncMode;
    int32_t boardType;
    int32_t fifoLimit;
    int32_t comId;
    char defaultMpeg[TEXT_FIELD_SIZE];
    int32_t protocol;
    int32_t outputStd;
    int32_t idleProcessing;
};

struct ChapterList;

struct InstanceRecord {
    HINSTANCE hInstance;
    HWND hWnd;
    Settings settings;
    SerialBlock serial;
    char currentFile[TEXT_FIELD_SIZE];
    ChapterList *chapterTable;
    int32_t currentChapter;
    int32_t addressMode;      // 0 frame mode, 2 chapter mode
    int32_t currentBoard;
    int32_t repeat[MPEG_MAX_BOARDS];
    int32_t autoScriptRunning;
    int32_t showUp;           // 1 once the boards and the chapters have been brought up
};

// Setting codes; those of the boards are in board/mpegdrv.h.
#define PROTOCOL_NATIVE 0
#define PROTOCOL_SONY_LDP 1
#define ADDRESS_FRAME 0
#define ADDRESS_CHAPTER 2

// The record attached to a window (GWL_USERDATA); null before it is attached.
InstanceRecord *GetInstanceRecord(HWND hwnd);

#endif
