// Temporary files that take a file's place only once they are whole: the
// AutoScript copies (AutoScript thread) and the trim of the trace log (main
// thread).
#include "app/tempfile.h"

#include <stdio.h>

#include "app/text.h"

#define TEMP_NAME_ATTEMPTS 100

HANDLE CreateTempBeside(const char *path, char *tempPath, size_t size)
{
    static LONG sequence;
    size_t folder = FolderLength(path, DRIVE_COLON_ONLY);
    for (int attempt = 0; attempt < TEMP_NAME_ATTEMPTS; attempt++) {
        unsigned tag = (GetCurrentProcessId() << 16) ^ (unsigned)InterlockedIncrement(&sequence);
        int length = snprintf(tempPath, size, "%.*s" TEMP_FILE_PREFIX "%08X" TEMP_FILE_SUFFIX, (int)folder, path,
                              tag);
        if (length < 0 || (size_t)length >= size)
            return INVALID_HANDLE_VALUE;
        HANDLE temp = CreateFileA(tempPath, GENERIC_WRITE, 0, NULL, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
        if (temp != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return temp;
    }
    return INVALID_HANDLE_VALUE;
}

bool MoveTempInPlace(const char *tempPath, const char *path)
{
    return MoveFileExA(tempPath, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}
