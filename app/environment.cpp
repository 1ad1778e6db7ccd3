// Numbers from the environment that the bench rig and the tests set to
// replace a wait or a count (any thread).
#include "app/environment.h"

#define ENVIRONMENT_NUMBER_SIZE 16   // 15 characters and a terminator

DWORD EnvironmentNumber(const char *name, DWORD absent, DWORD maximum)
{
    char text[ENVIRONMENT_NUMBER_SIZE];
    DWORD length = GetEnvironmentVariableA(name, text, sizeof text);
    if (length == 0 || length >= sizeof text)
        return absent;
    DWORD value = 0;
    for (DWORD i = 0; i < length; i++) {
        if (text[i] < '0' || text[i] > '9')
            return absent;
        DWORD digit = (DWORD)(text[i] - '0');
        if (digit > maximum || value > (maximum - digit) / 10)
            return absent;
        value = value * 10 + digit;
    }
    return value;
}
