// Test double of the serial link's reply write (see commcapture.h).
#include "commcapture.h"

#include <windows.h>
#include <stdio.h>

#include "serial/serial.h"

namespace {

std::string captured;
std::string logPath;

void LogWrite(const BYTE *bytes, DWORD count)
{
    if (logPath.empty())
        return;
    FILE *file = fopen(logPath.c_str(), "ab");
    if (!file)
        return;
    fputs("reply", file);
    for (DWORD i = 0; i < count; i++)
        fprintf(file, " %02X", bytes[i]);
    fputc('\n', file);
    fclose(file);
}

}  // namespace

std::string TakeCapturedReplies()
{
    std::string replies;
    replies.swap(captured);
    return replies;
}

void SetCommCaptureLog(const char *path)
{
    logPath = path ? path : "";
}

int WriteCommBlock(HWND, const BYTE *bytes, DWORD count)
{
    captured.append(reinterpret_cast<const char *>(bytes), count);
    LogWrite(bytes, count);
    return 0;
}
