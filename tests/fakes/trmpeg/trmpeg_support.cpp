// Installing the recording TRmpeg.dll (see trmpeg_support.h).
#include "trmpeg_support.h"

#include <windows.h>

bool InstallTrmpeg(bool partial)
{
    return CopyFileA(partial ? TRMPEG_PARTIAL_DLL : TRMPEG_DLL, "TRmpeg.dll", FALSE) != 0;
}

void RemoveTrmpeg()
{
    DeleteFileA("TRmpeg.dll");
}
