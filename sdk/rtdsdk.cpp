// Bench decoder standing in for the vendor's MPEG decoder SDK.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
