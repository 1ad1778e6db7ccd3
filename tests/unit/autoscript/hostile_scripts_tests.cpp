// 2,000 seeded random AutoScript files run on a scratch drive, S:, that
// hostile_scripts.py maps for the run: random tokens, lines of 1,000
// characters, binary bytes, quotes without their partner, "~:" paths.  Every
// run ends framed by its log, every log line is one the runner writes, and
// no copy leaves its temporary file; nothing outside the scratch drive
// changes (the wrapper checks the rest of the disk).  A script names no
// drive but S: and "~:", and the current directory is the scratch drive's
// root, so that every path a script can name lies on it.
#include <gtest/gtest.h>
#include <windows.h>
#include <stdio.h>

#include <map>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "autoscript/autoscript.h"
#include "support.h"

namespace {

const int kScripts = 2000;
// The scratch drive is set up afresh before every tenth script; the
// scripts between work on what the earlier ones left.
const int kScriptsPerSetUp = 10;
const char kScratch[] = "S:\\";
const char kScript[] = "S:\\Halcyra.inf";

// A random source that gives the same bytes for the same seed with any
// standard library: only the engine's raw output is used.
struct Random {
    std::mt19937 engine;
    explicit Random(unsigned seed) : engine(seed) {}
    unsigned Below(unsigned n) { return engine() % n; }
    bool OneIn(unsigned n) { return Below(n) == 0; }
    template <typename T>
    const T &Pick(const std::vector<T> &items) { return items[Below((unsigned)items.size())]; }
};

const std::vector<std::string> kKeywords = {
    "EJECT", "COPY", "DEL", "RESET", "DEFRAG", "copy", "Del", "eJeCt", "COPYING", "", "DELETE", "C0PY",
};
const std::vector<std::string> kRoots = {"~:\\", "S:\\", "s:", "\\", "", "..\\", "~:", "~", ".\\", "S:/", "~:\\..\\"};
const std::vector<std::string> kSegments = {
    "Media", "Movie", "*.mpg", "*.*", "*", "?.mpg", "a.mpg", "b.mpg", "c d.mpg", "sub", "deeper", "..", ".",
    "readonly.mpg", "hidden.mpg", "notes.txt", "Halcyra.inf", "x,y.mpg", "new dir", "~hrx0000.tmp", "*.tmp",
};
// Arguments that name files the scratch drive holds, so that many COPY
// and DEL lines find something to work on.
const std::vector<std::string> kSources = {
    "~:\\Media\\*.mpg", "S:\\Media\\a.mpg", "~:\\Media\\*.*", "S:\\Media\\c d.mpg", "~:\\Movie\\*.mpg",
    "Media\\*.mpg", "\\sub\\deeper\\*.*", "~:\\Media\\x,y.mpg", "S:/Media/b.mpg", "~:\\*.*",
};
const std::vector<std::string> kDestinations = {
    "S:\\Movie\\", "~:\\Movie\\", "S:\\new dir\\", "S:\\", "Movie\\", "S:\\sub\\deeper\\", "S:\\Movie",
    "\\new dir\\x.mpg", "S:\\Media\\", "..\\Movie\\",
};
const std::vector<std::string> kPatterns = {
    "S:\\Movie\\*.mpg", "~:\\Movie\\readonly.mpg", "S:\\new dir\\*.*", "~:\\*.mpg", "Movie\\a.mpg",
    "S:\\sub\\deeper\\*", "~:\\Media\\?.mpg", "S:\\*.*",
};
const std::vector<std::string> kSeparators = {" ", " ", ",", ", ", "  ", " ,, ", "\t"};

std::string RandomName(Random &r, size_t length)
{
    std::string name;
    for (size_t i = 0; i < length; i++)
        name += (char)('a' + r.Below(26));
    return name;
}

std::string RandomPath(Random &r)
{
    std::string path = r.Pick(kRoots);
    int segments = 1 + (int)r.Below(4);
    for (int i = 0; i < segments; i++) {
        if (i)
            path += r.OneIn(5) ? "/" : "\\";
        path += r.OneIn(12) ? RandomName(r, 1 + r.Below(250)) : r.Pick(kSegments);
    }
    if (r.OneIn(4))
        path += "\\";
    return path;
}

std::string Quoted(Random &r, const std::string &token)
{
    switch (r.Below(8)) {
    case 0: return "\"" + token + "\"";
    case 1: return "'" + token + "'";
    case 2: return "\"" + token;            // no closing partner
    case 3: return token + "'";
    case 4: return "'" + token + "\"";
    default: return token;
    }
}

std::string RandomBytes(Random &r, size_t length)
{
    std::string bytes;
    for (size_t i = 0; i < length; i++)
        bytes += (char)r.Below(256);
    return bytes;
}

// The argument of a command at a position: one that names files of the
// scratch drive half the time, else a random word or path.
std::string Argument(Random &r, const std::string &keyword, int position)
{
    if (r.OneIn(2)) {
        if (_stricmp(keyword.c_str(), "COPY") == 0 && position < 2)
            return r.Pick(position == 0 ? kSources : kDestinations);
        if (_stricmp(keyword.c_str(), "DEL") == 0 && position == 0)
            return r.Pick(kPatterns);
    }
    return r.OneIn(8) ? RandomName(r, 1 + r.Below(12)) : RandomPath(r);
}

std::string CommandLine(Random &r)
{
    std::string line(r.OneIn(4) ? r.Below(6) : 0, ' ');
    const std::string &keyword = r.Pick(kKeywords);
    line += keyword;
    int arguments = (int)r.Below(5);
    for (int i = 0; i < arguments; i++) {
        line += r.Pick(kSeparators);
        line += Quoted(r, Argument(r, keyword, i));
    }
    if (r.OneIn(10))
        line += r.Pick(kSeparators) + RandomBytes(r, 1 + r.Below(20));
    return line;
}

std::string RandomLine(Random &r)
{
    switch (r.Below(12)) {
    case 0: return "; " + RandomBytes(r, r.Below(40));
    case 1: return std::string(r.Below(5), ' ');
    case 2: return RandomBytes(r, 1 + r.Below(300));
    case 3: {
        // A line of 1,000 characters: a command whose last token runs on.
        std::string line = CommandLine(r) + " ";
        while (line.size() < 1000)
            line += r.OneIn(3) ? r.Pick(kSeparators) : r.Pick(kSegments);
        return line.substr(0, 1000);
    }
    default: return CommandLine(r);
    }
}

const std::vector<std::string> kLineEnds = {"\r\n", "\r\n", "\r\n", "\r\n", "\n", "\r", "\r\r\n", ""};

// No drive but the scratch drive: any letter before a colon becomes S.
void KeepToScratchDrive(std::string &script)
{
    for (size_t i = 0; i + 1 < script.size(); i++) {
        unsigned char c = (unsigned char)script[i];
        if (script[i + 1] == ':' && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) && c != 'S' && c != 's')
            script[i] = 'S';
    }
}

std::string RandomScript(Random &r)
{
    std::string script;
    int lines = 1 + (int)r.Below(25);
    for (int i = 0; i < lines; i++)
        script += RandomLine(r) + r.Pick(kLineEnds);
    KeepToScratchDrive(script);
    return script;
}

// -- the scratch drive ------------------------------------------------------

void MakeScratchFiles()
{
    for (const char *directory : {"S:\\Media", "S:\\Movie", "S:\\sub", "S:\\sub\\deeper", "S:\\new dir"})
        MakeDirectory(directory);
    WriteWholeFile("S:\\Media\\a.mpg", Pattern(3000, 1));
    WriteWholeFile("S:\\Media\\b.mpg", Pattern(7000, 2));
    WriteWholeFile("S:\\Media\\c d.mpg", Pattern(100, 3));
    WriteWholeFile("S:\\Media\\x,y.mpg", Pattern(10, 4));
    WriteWholeFile("S:\\Media\\notes.txt", "notes");
    WriteWholeFile("S:\\Movie\\a.mpg", Pattern(500, 5));
    WriteWholeFile("S:\\Movie\\readonly.mpg", Pattern(600, 6));
    SetFileAttributesA("S:\\Movie\\readonly.mpg", FILE_ATTRIBUTE_READONLY);
    WriteWholeFile("S:\\hidden.mpg", "hidden");
    SetFileAttributesA("S:\\hidden.mpg", FILE_ATTRIBUTE_HIDDEN);
    WriteWholeFile("S:\\sub\\deeper\\a.mpg", Pattern(50, 7));
}

void EmptyScratch()
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("S:\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = found.cFileName;
        if (name != "." && name != "..")
            RemoveTree(kScratch + name);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

// Paths of the copies' temporary files anywhere on the scratch drive.
void FindTemporaryFiles(const std::string &directory, std::vector<std::string> *found)
{
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA((directory + "*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        std::string name = entry.cFileName;
        if (name == "." || name == "..")
            continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            FindTemporaryFiles(directory + name + "\\", found);
        else if (std::regex_match(name, std::regex("~hrx[0-9A-F]{8}\\.tmp")))
            found->push_back(directory + name);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

// -- the log ------------------------------------------------------------------

// The lines the runner, the copy and the delete write.
// A script line may hold any byte but a line feed and a zero: [\\s\\S]
// stands for any character.
const std::regex kLogLine(
    "\\d\\d/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d - "
    "(AutoScript started|AutoScript completed|Unknown Auto Command - [\\s\\S]*|Path too long - [\\s\\S]*"
    "|Copying file '[\\s\\S]*' to '[\\s\\S]*'|Unable to open input file '[\\s\\S]*'"
    "|Unable to open output file '[\\s\\S]*'|FileCopy Failed - [\\s\\S]*|\\d+\\.\\d KB copied"
    "|\\d+\\.\\d\\d MB copied|Deleting file '[\\s\\S]*'"
    "|Unable to (replace|delete) file '[\\s\\S]*' - error \\d+)");

// The kinds of log line, counted over the run, so that it shows what the
// scripts did.
const char *const kLogKinds[] = {"Copying file", "copied", "FileCopy Failed", "Unable to open input file",
                                 "Unable to open output file", "Unable to replace file", "Deleting file",
                                 "Unable to delete file", "Unknown Auto Command", "Path too long"};

class HostileScripts : public ::testing::Test {
protected:
    ProgressStandIn standIn;
    std::string logPath;
    std::map<std::string, int> kinds;

    void Count(const std::string &line)
    {
        for (const char *kind : kLogKinds) {
            if (line.find(kind, 20) != std::string::npos) {
                kinds[kind]++;
                return;
            }
        }
    }

    void SetUp() override
    {
        std::string outside = EnvironmentText("HOSTILE_OUTSIDE");
        ASSERT_FALSE(outside.empty()) << "hostile_scripts.py names the directory outside the scratch drive";
        ASSERT_TRUE(SetCurrentDirectoryA(kScratch)) << "the scratch drive S: is mapped";
        logPath = outside + "\\autoscript-log.txt";
    }

    // Runs one script; returns what went wrong, or "" when nothing did.
    std::string Run(const std::string &script, bool freshScratch)
    {
        if (freshScratch) {
            EmptyScratch();
            MakeScratchFiles();
        }
        WriteWholeFile(kScript, script);
        ResetAutoScript(standIn.dialog);
        snprintf(autoScript.logPath, sizeof autoScript.logPath, "%s", logPath.c_str());
        snprintf(autoScript.scriptPath, sizeof autoScript.scriptPath, "%s", kScript);
        DeleteFileA(logPath.c_str());
        RunAutoScriptThread();
        if (autoScript.active != 0)
            return "the run did not end";
        Lines log = SplitLines(ReadWholeFile(logPath), "\r\n");
        if (log.size() < 2 || log.front().substr(20) != "AutoScript started" ||
            log.back().substr(20) != "AutoScript completed")
            return "the log is not framed by started and completed";
        for (const std::string &line : log) {
            if (!std::regex_match(line, kLogLine))
                return "log line " + line;
            Count(line);
        }
        std::vector<std::string> temporaries;
        FindTemporaryFiles(kScratch, &temporaries);
        if (!temporaries.empty())
            return "a copy left " + temporaries.front();
        return "";
    }
};

TEST_F(HostileScripts, TwoThousandRandomScriptsEndWellOnTheScratchDrive)
{
    std::string seedText = EnvironmentText("HRX_SEED");
    unsigned seed = seedText.empty() ? 14 : (unsigned)strtoul(seedText.c_str(), NULL, 10);
    printf("seed %u\n", seed);
    Random random(seed);
    int failures = 0;
    for (int i = 0; i < kScripts; i++) {
        std::string script = RandomScript(random);
        std::string fault = Run(script, i % kScriptsPerSetUp == 0);
        if (!fault.empty() && failures++ < 5)
            ADD_FAILURE() << "seed " << seed << ", script " << i << ": " << fault;
    }
    for (const char *kind : kLogKinds)
        printf("%7d %s\n", kinds[kind], kind);
    EXPECT_EQ(failures, 0);
    EmptyScratch();
}

}  // namespace
