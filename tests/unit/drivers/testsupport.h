// Helpers of the driver and decoder tests: the bench decoder's journal, the
// generated test streams and the environment (test thread).
#ifndef HRX_TESTS_UNIT_DRIVERS_TESTSUPPORT_H
#define HRX_TESTS_UNIT_DRIVERS_TESTSUPPORT_H

#include <windows.h>

#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

inline void SetEnv(const char *name, const char *value)
{
    SetEnvironmentVariableA(name, value);
}

inline std::string WorkPath(const char *name)
{
    char dir[MAX_PATH];
    GetCurrentDirectoryA(sizeof dir, dir);
    return std::string(dir) + "\\" + name;
}

// A stream the generator wrote at build time (DRIVER_STREAMS, a Unix path).
inline std::string StreamPath(const char *name)
{
    char dir[MAX_PATH] = "";
    GetEnvironmentVariableA("DRIVER_STREAMS", dir, sizeof dir);
    std::string path = std::string("Z:") + dir + "/" + name;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

inline std::string ReadWholeFile(const std::string &path)
{
    std::string text;
    FILE *f = fopen(path.c_str(), "rb");
    if (!f)
        return text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    fclose(f);
    return text;
}

inline void WriteWholeFile(const std::string &path, const std::string &text)
{
    FILE *f = fopen(path.c_str(), "wb");
    if (f) {
        fwrite(text.data(), 1, text.size(), f);
        fclose(f);
    }
}

// The decoder's journal: one line per SDK call.  mark() notes where the
// lines of the case under test begin.
struct Journal {
    std::string path = WorkPath("rtd-journal.txt");
    size_t marked = 0;

    std::vector<std::string> all() const
    {
        std::vector<std::string> lines;
        std::string text = ReadWholeFile(path);
        size_t start = 0, end;
        while ((end = text.find('\n', start)) != std::string::npos) {
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }
    void mark() { marked = all().size(); }
    std::vector<std::string> since() const
    {
        std::vector<std::string> lines = all();
        return std::vector<std::string>(lines.begin() + (marked < lines.size() ? marked : lines.size()), lines.end());
    }
    // The first `count` lines since the mark, or fewer.
    std::vector<std::string> first(size_t count) const
    {
        std::vector<std::string> lines = since();
        lines.resize(std::min(count, lines.size()));
        return lines;
    }
    // The lines since the mark without the service calls and reads that
    // waits repeat.
    std::vector<std::string> sinceWithoutPolls() const
    {
        std::vector<std::string> kept;
        for (const std::string &line : since())
            if (line.compare(0, 12, "rtdContinue ") != 0 && line.compare(0, 13, "rtdGetParams ") != 0)
                kept.push_back(line);
        return kept;
    }
    size_t count(const std::string &line) const
    {
        size_t n = 0;
        for (const std::string &l : since())
            n += l == line;
        return n;
    }
};

inline std::string Lines(const std::vector<std::string> &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += "  " + line + "\n";
    return text;
}

#endif
