// The CD drive's tray, moved with MCI command strings (any thread).
#include "app/cdtray.h"

#include <windows.h>
#include <mmsystem.h>

static void SendMci(const char *command)
{
    char reply[256] = "";
    mciSendStringA(command, reply, sizeof reply, NULL);
}

void SendCdDoorSequence(bool open)
{
    SendMci("open cdaudio");
    SendMci(open ? "set cdaudio door open" : "set cdaudio door closed");
    SendMci("close cdaudio");
}
