// Numbers from the environment that the bench rig and the tests set to
// replace a wait or a count (any thread).
#ifndef HRX_APP_ENVIRONMENT_H
#define HRX_APP_ENVIRONMENT_H

#include <windows.h>

// The longest wait the environment may set: never Sleep's INFINITE.
#define ENVIRONMENT_WAIT_LIMIT_MS (INFINITE - 1)

// The environment variable's value when it is a decimal number of digits
// only (at most 15 of them) no greater than maximum; absent for anything
// else, and when it is not set.
DWORD EnvironmentNumber(const char *name, DWORD absent, DWORD maximum);

#endif
