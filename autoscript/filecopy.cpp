// File copy and delete of an AutoScript run (AutoScript thread): COPY and
// DEL over wildcard patterns, with progress, an estimate of the time left
// and a Cancel seen between two 2048-byte chunks.  A copy is written into a
// temporary file beside the destination and replaces it only once every
// byte is written, so no truncated media file is ever left to be played.
#include "autoscript/autoscript.h"

#include <windows.h>
#include <mmsystem.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/tempfile.h"
#include "app/text.h"
#include "app/trace.h"
#include "autoscript/output.h"
#include "ui/resource.h"

#define SKIPPED_ATTRIBUTES (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_DIRECTORY)
#define REPLACE_ATTEMPTS 5
#define REPLACE_RETRY_MS 100
#define MILLISECONDS_PER_DAY 86400000ULL

namespace {

// Copies a pattern with a leading "~:" standing for the drive the script
// was found on.  False when it does not fit.
bool ExpandScriptDrive(const char *pattern, char *out, size_t size)
{
    if (!CopyText(out, size, pattern))
        return false;
    if (out[0] == '~' && out[1] == ':' && autoScript.scriptPath[0] != '\0')
        out[0] = autoScript.scriptPath[0];
    return true;
}

// The folder of path (its first folderLength characters) joined with a
// found name; false, and the whole path reported, when it does not fit.
bool JoinFound(char *out, size_t size, const char *path, size_t folderLength, const char *name)
{
    int length = snprintf(out, size, "%.*s%s", (int)folderLength, path, name);
    if (length >= 0 && (size_t)length < size)
        return true;
    WriteAutoScriptLogF("Path too long - %.*s%s", (int)folderLength, path, name);
    return false;
}

// A destination that exists keeps its name as it is written on the disk:
// a CD gives upper-case names, and "CHAP01.MPG" taking the place of
// "chap01.mpg" would move it among the chapters, sorted byte by byte.  The
// name found must be the destination's own, not a file whose short name
// it happens to be.
void KeepExistingName(char *target, size_t folderLength)
{
    WIN32_FIND_DATAA existing;
    HANDLE search = FindFirstFileA(target, &existing);
    if (search == INVALID_HANDLE_VALUE)
        return;
    FindClose(search);
    char *name = target + folderLength;
    if (_stricmp(name, existing.cFileName) == 0)
        memcpy(name, existing.cFileName, strlen(name));
}

// Clears a read-only attribute; returns the attributes the file had.
DWORD ClearReadOnly(const char *path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY)) {
        DWORD rest = attributes & ~FILE_ATTRIBUTE_READONLY;
        SetFileAttributesA(path, rest ? rest : FILE_ATTRIBUTE_NORMAL);
    }
    return attributes;
}

HANDLE OpenCopySource(const char *path)
{
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
}

// Puts the temporary file in the destination's place.  A program that
// holds the fresh copy for a moment (a virus scanner looking at it) makes
// the move fail with a sharing violation: it is tried again a few times,
// REPLACE_RETRY_MS apart.  A move that fails for good is logged with its
// Win32 error.
bool MoveIntoPlace(const char *tempPath, const char *destination)
{
    for (int attempt = 1;; attempt++) {
        if (MoveTempInPlace(tempPath, destination))
            return true;
        DWORD error = GetLastError();
        if (error != ERROR_SHARING_VIOLATION || attempt == REPLACE_ATTEMPTS) {
            WriteAutoScriptLogF("Unable to replace file '%s' - error %u", destination, (unsigned)error);
            return false;
        }
        Sleep(REPLACE_RETRY_MS);
    }
}

// Makes the finished temporary file the destination: written to the disk,
// then put in the destination's place in one step.  A read-only destination
// is replaced; one that cannot be replaced keeps its attributes.
bool ReplaceDestination(HANDLE temp, const char *tempPath, const char *destination)
{
    bool written = FlushFileBuffers(temp) != 0;
    if (!CloseHandle(temp) || !written)
        return false;
    DWORD attributes = ClearReadOnly(destination);
    if (MoveIntoPlace(tempPath, destination))
        return true;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(destination, attributes);
    return false;
}

void ShowCopyNames(const char *source, const char *destination)
{
    size_t sourceFolder = FolderLength(source, DRIVE_COLON_ONLY);
    size_t destinationFolder = FolderLength(destination, DRIVE_COLON_ONLY);
    ShowProgressText(IDC_PROGRESS_FILE, source + sourceFolder);
    char text[2 * TEXT_FIELD_SIZE + 32];
    snprintf(text, sizeof text, "From '%.*s' to '%.*s'", (int)sourceFolder, source, (int)destinationFolder,
             destination);
    ShowProgressText(IDC_PROGRESS_FROM_TO, text);
}

// The whole percentage, in integers so that no step is lost to rounding.
int PercentOf(long long copied, long long size)
{
    if (size <= 0 || copied >= size)
        return 100;
    return (int)(copied * 100 / size);
}

struct CopyProgress {
    long long size;
    long long copied;
    int shownPercent;
    DWORD lastUpdate;
};

// The estimate of the time left, from the time the last step took, and
// the bar; at most 100 times a file, as the whole percentage rises.
void ShowCopyProgress(CopyProgress *progress)
{
    int percent = PercentOf(progress->copied, progress->size);
    if (percent <= progress->shownPercent)
        return;
    DWORD now = timeGetTime();
    DWORD elapsed = now - progress->lastUpdate;
    progress->lastUpdate = now;
    unsigned long long left = (unsigned long long)(100 - percent) * elapsed;
    char duration[32];
    FormatDuration((DWORD)(left % MILLISECONDS_PER_DAY), duration, sizeof duration);
    char text[96];
    snprintf(text, sizeof text, "Est. time left %8.8s (%s copied)", duration, FormatByteCount(progress->copied));
    ShowProgressText(IDC_PROGRESS_ESTIMATE, text);
    ShowProgressBar(percent);
    progress->shownPercent = percent;
}

// The memory of one file's copy, allocated zero-filled for each file: the
// chunk the copy loop works on, and a block on either side, so that the
// files are read and written a block at a time; a file call for every chunk
// made the copy several times slower than it need be.
struct CopyBuffers {
    char chunk[COPY_CHUNK_SIZE];
    char readBlock[COPY_BLOCK_SIZE];
    char writeBlock[COPY_BLOCK_SIZE];
    DWORD readFilled, readUsed, writeFilled;
};

// Takes the next up to 2048 bytes of the source into the chunk; 0 bytes at
// its end.  False on a read error.
bool ReadChunk(HANDLE source, CopyBuffers *buffers, DWORD *got)
{
    if (buffers->readUsed == buffers->readFilled) {
        buffers->readUsed = 0;
        if (!ReadFile(source, buffers->readBlock, COPY_BLOCK_SIZE, &buffers->readFilled, NULL)) {
            buffers->readFilled = 0;
            return false;
        }
    }
    *got = buffers->readFilled - buffers->readUsed;
    if (*got > COPY_CHUNK_SIZE)
        *got = COPY_CHUNK_SIZE;
    memcpy(buffers->chunk, buffers->readBlock + buffers->readUsed, *got);
    buffers->readUsed += *got;
    return true;
}

// False when fewer bytes were written than the block held.
bool FlushWriteBlock(HANDLE temp, CopyBuffers *buffers)
{
    DWORD pending = buffers->writeFilled, written = 0;
    buffers->writeFilled = 0;
    return pending == 0 || (WriteFile(temp, buffers->writeBlock, pending, &written, NULL) && written == pending);
}

bool WriteChunk(HANDLE temp, CopyBuffers *buffers, DWORD got)
{
    memcpy(buffers->writeBlock + buffers->writeFilled, buffers->chunk, got);
    buffers->writeFilled += got;
    return buffers->writeFilled + COPY_CHUNK_SIZE <= COPY_BLOCK_SIZE || FlushWriteBlock(temp, buffers);
}

// Copies chunk by chunk until the end of the source or a Cancel.  False on
// a read error or a short write.
bool CopyChunks(HANDLE source, HANDLE temp, CopyBuffers *buffers, CopyProgress *progress)
{
    DWORD got = 0;
    if (!ReadChunk(source, buffers, &got))
        return false;
    while (got > 0 && autoScript.active == 1) {
        if (!WriteChunk(temp, buffers, got))
            return false;
        progress->copied += got;
        ShowCopyProgress(progress);
        Sleep(0);
        if (!ReadChunk(source, buffers, &got))
            return false;
    }
    return autoScript.active != 1 || FlushWriteBlock(temp, buffers);
}

// Copies between two open files; the destination is replaced only when
// every byte arrived and the run was not cancelled.
void CopyOpenFiles(HANDLE source, HANDLE temp, const char *tempPath, CopyBuffers *buffers, const char *destination)
{
    CopyProgress progress = {0, 0, 0, timeGetTime()};
    LARGE_INTEGER size;
    if (GetFileSizeEx(source, &size))
        progress.size = size.QuadPart;
    bool intact = CopyChunks(source, temp, buffers, &progress);
    bool replaced = false;
    if (intact && autoScript.active == 1)
        intact = replaced = ReplaceDestination(temp, tempPath, destination);
    else
        CloseHandle(temp);
    if (!intact)
        WriteAutoScriptLogF("FileCopy Failed - %s", destination);
    if (!replaced)
        DeleteFileA(tempPath);
    WriteAutoScriptLogF("%s copied", FormatByteCount(progress.copied));
}

}  // namespace

int CopyFiles(const char *sourcePattern, const char *destination)
{
    char pattern[TEXT_FIELD_SIZE];
    if (!ExpandScriptDrive(sourcePattern, pattern, sizeof pattern)) {
        WriteAutoScriptLogF("Path too long - %s", sourcePattern);
        return 0;
    }
    size_t sourceFolder = FolderLength(pattern, DRIVE_COLON_ONLY);
    size_t destinationFolder = FolderLength(destination, DRIVE_COLON_ONLY);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        CopyOneFile(pattern, destination);
        return 0;
    }
    // A Cancel ends the walk: no later file is opened.
    do {
        if (autoScript.active != 1)
            break;
        if (entry.dwFileAttributes & SKIPPED_ATTRIBUTES)
            continue;
        char source[TEXT_FIELD_SIZE], target[TEXT_FIELD_SIZE];
        if (!JoinFound(source, sizeof source, pattern, sourceFolder, entry.cFileName) ||
            !JoinFound(target, sizeof target, destination, destinationFolder, entry.cFileName))
            continue;
        KeepExistingName(target, destinationFolder);
        if (_stricmp(source, target) != 0)
            CopyOneFile(source, target);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return 0;
}

int CopyOneFile(const char *sourcePath, const char *destinationPath)
{
    CopyBuffers *buffers = static_cast<CopyBuffers *>(calloc(1, sizeof(CopyBuffers)));
    if (!buffers)
        return 0;
    WriteAutoScriptLogF("Copying file '%s' to '%s'", sourcePath, destinationPath);
    int result = 0;
    HANDLE source = OpenCopySource(sourcePath);
    if (source == INVALID_HANDLE_VALUE) {
        WriteAutoScriptLogF("Unable to open input file '%s'", sourcePath);
    } else {
        char tempPath[TEXT_FIELD_SIZE];
        HANDLE temp = CreateTempBeside(destinationPath, tempPath, sizeof tempPath);
        if (temp == INVALID_HANDLE_VALUE) {
            WriteAutoScriptLogF("Unable to open output file '%s'", destinationPath);
        } else {
            ShowCopyNames(sourcePath, destinationPath);
            CopyOpenFiles(source, temp, tempPath, buffers, destinationPath);
            result = 1;
        }
        CloseHandle(source);
    }
    free(buffers);
    return result;
}

int DeleteFiles(const char *pattern)
{
    char expanded[TEXT_FIELD_SIZE];
    if (!ExpandScriptDrive(pattern, expanded, sizeof expanded)) {
        WriteAutoScriptLogF("Path too long - %s", pattern);
        return 0;
    }
    size_t folder = FolderLength(expanded, DRIVE_COLON_ONLY);
    char from[TEXT_FIELD_SIZE + 16];
    snprintf(from, sizeof from, "From '%.*s'", (int)folder, expanded);
    ShowProgressText(IDC_PROGRESS_FROM_TO, from);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(expanded, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        DeleteOneFile(expanded);
        return 0;
    }
    do {
        if (entry.dwFileAttributes & SKIPPED_ATTRIBUTES)
            continue;
        char path[TEXT_FIELD_SIZE];
        if (JoinFound(path, sizeof path, expanded, folder, entry.cFileName))
            DeleteOneFile(path);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return 0;
}

int DeleteOneFile(const char *path)
{
    ShowProgressText(IDC_PROGRESS_FILE, path + FolderLength(path, DRIVE_COLON_ONLY));
    WriteAutoScriptLogF("Deleting file '%s'", path);
    ClearReadOnly(path);
    if (!DeleteFileA(path))
        WriteAutoScriptLogF("Unable to delete file '%s' - error %u", path, (unsigned)GetLastError());
    return 0;
}

const char *FormatByteCount(long long count)
{
    static char text[32];
    double kilobytes = count / 1024.0;
    if (count > LONG_MAX)
        snprintf(text, sizeof text, "%.3f GB", count / 1073741824.0);
    else if (kilobytes > 999.9)
        snprintf(text, sizeof text, "%.2f MB", count / 1048576.0);
    else
        snprintf(text, sizeof text, "%.1f KB", kilobytes);
    return text;
}
