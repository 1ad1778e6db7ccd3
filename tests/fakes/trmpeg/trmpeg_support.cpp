// Helpers for tests that drive the player against TRmpeg.dll (see
// trmpeg_support.h).
#include "trmpeg_support.h"

#include <stdio.h>
#include <string.h>

#include "app/instance.h"

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "dd/mm/yy hh:mm:ss.mmm - "
bool HasTraceStamp(const std::string &line)
{
    const char *form = "00/00/00 00:00:00.000 - ";
    size_t length = strlen(form);
    if (line.size() < length)
        return false;
    for (size_t i = 0; i < length; i++) {
        if (form[i] == '0' ? !IsDigit(line[i]) : line[i] != form[i])
            return false;
    }
    return true;
}

}  // namespace

bool InstallTrmpeg(bool partial)
{
    return CopyFileA(partial ? TRMPEG_PARTIAL_DLL : TRMPEG_DLL, "TRmpeg.dll", FALSE) != 0;
}

void RemoveTrmpeg()
{
    DeleteFileA("TRmpeg.dll");
}

HWND CreateRecordWindow(InstanceRecord *record)
{
    HWND hwnd = CreateWindowExA(0, "STATIC", "record", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL, NULL, NULL);
    if (hwnd) {
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
        record->hWnd = hwnd;
    }
    return hwnd;
}

std::string WorkPath(const char *name)
{
    char directory[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof directory, directory);
    std::string path(directory, length);
    if (!path.empty() && path.back() != '\\')
        path += '\\';
    return path + name;
}

std::vector<std::string> TakeLines(const std::string &path)
{
    std::vector<std::string> lines;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return lines;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    fclose(file);
    DeleteFileA(path.c_str());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(HasTraceStamp(line) ? line.substr(24) : line);
        start = end + 1;
    }
    return lines;
}

bool WriteTextFile(const std::string &path, const std::string &text)
{
    FILE *file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool written = fwrite(text.data(), 1, text.size(), file) == text.size();
    return fclose(file) == 0 && written;
}
