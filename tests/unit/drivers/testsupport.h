// Helpers of the driver and decoder tests: the bench decoder's journal and
// the generated test streams (test thread).
#ifndef HRX_TESTS_UNIT_DRIVERS_TESTSUPPORT_H
#define HRX_TESTS_UNIT_DRIVERS_TESTSUPPORT_H

#include <windows.h>

#include <algorithm>
#include <string>

#include "testfiles.h"

// A stream the generator wrote at build time (DRIVER_STREAMS, a Unix path).
inline std::string StreamPath(const char *name)
{
    std::string path = "Z:" + EnvironmentText("DRIVER_STREAMS") + "/" + name;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// The decoder's journal: one line per SDK call.  mark() notes where the
// lines of the case under test begin.
struct Journal {
    std::string path = WorkPath("rtd-journal.txt");
    size_t marked = 0;

    Lines all() const { return SplitLines(ReadWholeFile(path)); }
    void mark() { marked = all().size(); }
    Lines since() const
    {
        Lines lines = all();
        return Lines(lines.begin() + (marked < lines.size() ? marked : lines.size()), lines.end());
    }
    // The first `count` lines since the mark, or fewer.
    Lines first(size_t count) const
    {
        Lines lines = since();
        lines.resize(std::min(count, lines.size()));
        return lines;
    }
    // The last `count` lines since the mark, or fewer.
    Lines last(size_t count) const
    {
        Lines lines = since();
        return Lines(lines.end() - std::min(count, lines.size()), lines.end());
    }
    // The lines since the mark without the service calls and reads that
    // waits repeat.
    Lines sinceWithoutPolls() const
    {
        Lines kept;
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

// The lines, one to a row, for a failure message.
inline std::string Listing(const Lines &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += "  " + line + "\n";
    return text;
}

#endif
