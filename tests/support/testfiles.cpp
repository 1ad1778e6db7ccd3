// Helpers shared by the C++ test programs (see testfiles.h).
#include "testfiles.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>
#include <string.h>

#define TRACE_STAMP_FORM "00/00/00 00:00:00.000 - "
#define TRAY_LOG_NAME "tray.log"

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool HasTraceStamp(const std::string &line)
{
    const size_t length = strlen(TRACE_STAMP_FORM);
    if (line.size() < length)
        return false;
    for (size_t i = 0; i < length; i++) {
        char form = TRACE_STAMP_FORM[i];
        if (form == '0' ? !IsDigit(line[i]) : line[i] != form)
            return false;
    }
    return true;
}

}  // namespace

std::string ReadWholeFile(const std::string &path)
{
    std::string bytes;
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return bytes;
    char buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, n);
    fclose(file);
    return bytes;
}

bool WriteWholeFile(const std::string &path, const std::string &bytes)
{
    FILE *file = fopen(path.c_str(), "wb");
    bool written = file && fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    written = file && fclose(file) == 0 && written;
    if (!written)
        ADD_FAILURE() << "cannot write " << path;
    return written;
}

bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SetModificationTime(const std::string &path, unsigned long long ticks)
{
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, NULL, OPEN_EXISTING, 0, NULL);
    FILETIME time = {(DWORD)ticks, (DWORD)(ticks >> 32)};
    bool set = file != INVALID_HANDLE_VALUE && SetFileTime(file, NULL, NULL, &time);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    return set;
}

Lines SplitLines(const std::string &text, const char *end)
{
    Lines lines;
    const size_t endLength = strlen(end);
    size_t start = 0;
    while (start < text.size()) {
        size_t stop = text.find(end, start);
        if (stop == std::string::npos)
            stop = text.size();
        lines.push_back(text.substr(start, stop - start));
        start = stop + endLength;
    }
    return lines;
}

bool EndsWith(const std::string &text, const std::string &end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string TraceMessage(const std::string &line)
{
    return HasTraceStamp(line) ? line.substr(strlen(TRACE_STAMP_FORM)) : line;
}

std::string TodayStamp()
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char date[16];
    snprintf(date, sizeof date, "%02u/%02u/%02u ", now.wDay, now.wMonth, now.wYear % 100);
    return date;
}

Lines TakeLines(const std::string &path)
{
    Lines lines = SplitLines(ReadWholeFile(path));
    DeleteFileA(path.c_str());
    for (std::string &line : lines) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        line = TraceMessage(line);
    }
    return lines;
}

std::string WorkDirectory()
{
    char directory[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof directory, directory);
    std::string path(directory, length < sizeof directory ? length : 0);
    if (path.empty() || path.back() != '\\')
        path += '\\';
    return path;
}

std::string WorkPath(const std::string &name)
{
    return WorkDirectory() + name;
}

double ClockMs()
{
    LARGE_INTEGER frequency, count;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&count);
    return (double)count.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

std::string EnvironmentText(const char *name)
{
    char value[MAX_PATH];
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

std::string DtrOfPort(int com)
{
    char variable[32];
    snprintf(variable, sizeof variable, "HALCYRA_RIG_MODEM_COM%d", com);
    return ReadWholeFile(EnvironmentText(variable)).substr(0, 5);
}

void ResetTrayLog()
{
    std::string path = WorkPath(TRAY_LOG_NAME);
    DeleteFileA(path.c_str());
    SetEnvironmentVariableA("HALCYRA_RIG_MCI_LOG", path.c_str());
}

Lines TrayRequests()
{
    return TakeLines(WorkPath(TRAY_LOG_NAME));
}
