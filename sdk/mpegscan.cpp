// Length of an MPEG video stream from its group-of-pictures time codes,
// reading only the start and the end of the file.  One calling thread.
#include <windows.h>

#include <stdlib.h>

#include "sdk/rtdsim.h"

namespace {

#define START_CODE_PICTURE 0x00
#define START_CODE_GOP 0xB8
#define GOP_TIME_CODE_BYTES 4
#define FRAMES_PER_DAY (24L * 60 * 60 * RTDSIM_FRAMES_PER_SECOND)

struct GopScan {
    bool found;
    long lastTimeCode;       // frames, of the last header in the window
    long firstTimeCode;      // frames, of the first header in the window
    long picturesAfterLast;  // picture headers after the last one
};

// The 25-bit time code after a group-of-pictures start code: drop flag,
// hours (5 bits), minutes (6), marker, seconds (6), pictures (6).
long TimeCodeFrames(const unsigned char *code)
{
    long hours = (code[0] >> 2) & 0x1F;
    long minutes = ((code[0] & 0x03) << 4) | (code[1] >> 4);
    long seconds = ((code[1] & 0x07) << 3) | (code[2] >> 5);
    long pictures = ((code[2] & 0x1F) << 1) | (code[3] >> 7);
    return ((hours * 60 + minutes) * 60 + seconds) * RTDSIM_FRAMES_PER_SECOND + pictures;
}

GopScan ScanWindow(const unsigned char *data, DWORD size)
{
    GopScan scan = {false, 0, 0, 0};
    for (DWORD i = 0; i + 3 < size; i++) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1)
            continue;
        unsigned char code = data[i + 3];
        if (code == START_CODE_GOP && i + 4 + GOP_TIME_CODE_BYTES <= size) {
            long timeCode = TimeCodeFrames(data + i + 4);
            if (!scan.found)
                scan.firstTimeCode = timeCode;
            scan.found = true;
            scan.lastTimeCode = timeCode;
            scan.picturesAfterLast = 0;
        } else if (code == START_CODE_PICTURE && scan.found) {
            scan.picturesAfterLast++;
        }
    }
    return scan;
}

bool ReadAt(HANDLE file, LONGLONG offset, unsigned char *data, DWORD size)
{
    LARGE_INTEGER position;
    position.QuadPart = offset;
    DWORD read = 0;
    return SetFilePointerEx(file, position, NULL, FILE_BEGIN) && ReadFile(file, data, size, &read, NULL) &&
           read == size;
}

long ScanBytesOf(long requested)
{
    if (requested <= 0)
        return RTDSIM_DEFAULT_SCAN_BYTES;
    return requested > RTDSIM_MAX_SCAN_BYTES ? RTDSIM_MAX_SCAN_BYTES : requested;
}

}  // namespace

StreamMeasure MeasureStream(const char *fileName, long scanBytes)
{
    StreamMeasure measure = {false, 0, 0};
    HANDLE file = CreateFileA(fileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return measure;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size)) {
        CloseHandle(file);
        return measure;
    }
    measure.readable = true;
    measure.fileBytes = size.QuadPart > 0xFFFFFFFFLL ? 0xFFFFFFFFu : (uint32_t)size.QuadPart;
    LONGLONG window = ScanBytesOf(scanBytes);
    DWORD windowBytes = (DWORD)(size.QuadPart < window ? size.QuadPart : window);
    unsigned char *data = static_cast<unsigned char *>(malloc(windowBytes ? windowBytes : 1));
    if (!data) {
        CloseHandle(file);
        return measure;
    }
    GopScan head = {false, 0, 0, 0};
    GopScan tail = {false, 0, 0, 0};
    if (ReadAt(file, 0, data, windowBytes))
        head = ScanWindow(data, windowBytes);
    if (head.found && windowBytes == size.QuadPart)
        tail = head;
    else if (head.found && ReadAt(file, size.QuadPart - windowBytes, data, windowBytes))
        tail = ScanWindow(data, windowBytes);
    free(data);
    CloseHandle(file);
    if (!head.found)
        return measure;
    // A last group longer than the window leaves the tail without a header:
    // the head's own last group is the best that was read.
    const GopScan &last = tail.found ? tail : head;
    long span = last.lastTimeCode - head.firstTimeCode;
    if (span < 0)
        span += FRAMES_PER_DAY;
    measure.frames = span + last.picturesAfterLast;
    return measure;
}
