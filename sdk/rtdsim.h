// Inside the bench decoder: its environment, the call journal and the MPEG
// stream measure shared by the SDK's files.  One calling thread.
#ifndef HRX_SDK_RTDSIM_H
#define HRX_SDK_RTDSIM_H

#include <stdint.h>

// Environment read by rtdInitSystem (boards, time scale) and by the first
// call after loading or after rtdFreeSystem (journal, its time stamps).
#define RTDSIM_BOARDS_ENV "RTDSIM_BOARDS"
#define RTDSIM_JOURNAL_ENV "RTDSIM_JOURNAL"
// "1": every journal line begins with the time of the call, milliseconds
// of the performance counter with three decimals, and a blank.
#define RTDSIM_JOURNAL_TIMES_ENV "RTDSIM_JOURNAL_TIMES"
#define RTDSIM_TIME_SCALE_ENV "RTDSIM_TIME_SCALE"
#define RTDSIM_DEFAULT_BOARDS 2
#define RTDSIM_MAX_TIME_SCALE 100000

// Bytes scanned at each end of a file when the scan parameter is not set,
// and the most any setting may ask for.
#define RTDSIM_DEFAULT_SCAN_BYTES (1024 * 1024)
#define RTDSIM_MAX_SCAN_BYTES (64 * 1024 * 1024)

#define RTDSIM_FRAMES_PER_SECOND 25

// Appends one line to the journal when RTDSIM_JOURNAL names a file; the
// format is printf's, the line feed is added, and the time stamp goes
// first when RTDSIM_JOURNAL_TIMES asks for it.
void JournalLine(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Closes the journal; the next line reads RTDSIM_JOURNAL again.
void JournalClose(void);

struct StreamMeasure {
    bool readable;
    uint32_t fileBytes;  // saturates at 4 GiB - 1
    long frames;         // 0 when the file holds no group-of-pictures header
};

// Length of an MPEG video stream in frames at 25 a second: from the time
// codes of its first and last group-of-pictures headers plus the pictures
// after the last, reading at most scanBytes at each end of the file.
StreamMeasure MeasureStream(const char *fileName, long scanBytes);

#endif
