// ldpctl: the show controller's console.  Sends Sony LDP commands (by name
// or as raw bytes) and native protocol lines to a player on a COM port,
// prints each byte sent and each answer with its meaning, and runs scripts
// of such commands.  Single-threaded console program.
#include <windows.h>
#include <ctype.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "player/ldpbytes.h"

#define LINE_SIZE 512
#define DEFAULT_TIMEOUT_MS 1000
// A frame search holds the player until the board has reached the frame.
#define COMPLETION_TIMEOUT_MS 15000
// The end of input as a console passes it on in a line: Ctrl-D from a
// terminal under Wine, Ctrl-Z where the runtime does not take it as the end.
#define CTRL_D 0x04
#define CTRL_Z 0x1A

enum AnswerKind {
    ANSWER_ONE,       // ACK or NAK
    ANSWER_ENTER,     // ACK, then COMPLETION or NOT-TARGET when an entry is open
    ANSWER_DIGITS_2,  // two digits
    ANSWER_DIGITS_5,  // five digits, or nothing in chapter mode
};

// A command by its byte (named as the player names it) and its alias here.
struct LdpCommand {
    BYTE code;
    const char *alias;
    AnswerKind answer;
};

static const LdpCommand kCommands[] = {
    {LDP_EJECT, "eject", ANSWER_ONE},
    {LDP_CLEARALL, "clear-all", ANSWER_ONE},
    {LDP_STILL, "still", ANSWER_ONE},
    {LDP_FPLAY, "play", ANSWER_ONE},
    {LDP_FSTEP, "step", ANSWER_ONE},
    {LDP_SEARCH, "search-key", ANSWER_ONE},
    {LDP_SETCHPMODE, "chapter-mode", ANSWER_ONE},
    {LDP_SETFRMMODE, "frame-mode", ANSWER_ONE},
    {LDP_ENTER, "enter", ANSWER_ENTER},
    {LDP_SADDRENQ, "addrenq", ANSWER_DIGITS_5},
    {LDP_CHPENQ, "chpenq", ANSWER_DIGITS_2},
    {LDP_FSLOW, "slow", ANSWER_ONE},
    {LDP_SETSCRMODE, "board-key", ANSWER_ONE},
    {LDP_SRCENQ, "srcenq", ANSWER_DIGITS_2},
    {LDP_STOP, "stop", ANSWER_ONE},
    {LDP_REPEAT, "repeat", ANSWER_ONE},
    {LDP_CLEARENTRY, "clear-entry", ANSWER_ONE},
    {LDP_FFAST, "fast", ANSWER_ONE},
    {LDP_VIDEOON, "video-on", ANSWER_ONE},
    {LDP_VIDEOOFF, "video-off", ANSWER_ONE},
    {LDP_AUDIOON, "audio-on", ANSWER_ONE},
    {LDP_AUDIOOFF, "audio-off", ANSWER_ONE},
    {LDP_MOTORON, "motor-on", ANSWER_ONE},
    {LDP_VIDEO_MPEG, "video-mpeg", ANSWER_ONE},
    {LDP_VIDEO_EXTERNAL, "video-external", ANSWER_ONE},
};

static const char *kNativeWords[] = {"OP", "CO", "SA", "PL"};

struct Console {
    HANDLE port;
    DWORD timeoutMs;
    bool entryOpen;      // a SEARCH or SETSCRMODE awaits its ENTER
    int failures;        // commands that got NAK or no answer
};

static void PrintCommands()
{
    printf("Commands (any case; several on one line separated by ';'):\n"
           "  chapter-mode | frame-mode | search N | board N | play | still | step | slow\n"
           "  fast | stop | repeat | chpenq | srcenq | addrenq | clear-entry | clear-all\n"
           "  enter | eject | motor-on | video-on | video-off | audio-on | audio-off\n"
           "  video-mpeg | video-external, the LDP names (FPLAY, SETCHPMODE, ...),\n"
           "  digits such as 12 (sent one by one), raw bytes such as 0x43,\n"
           "  wait MS, and native protocol lines: OP | CO | SA [file [board]] | PL\n"
           "  help or ? lists these; quit, exit or the end of input ends ldpctl\n");
}

static void Usage()
{
    printf("usage: ldpctl [-p PORT] [-t MS] [-f FILE | -] [COMMAND ...]\n"
           "  -p PORT   the COM port wired to the player (default COM1)\n"
           "  -t MS     how long to wait for an answer (default %d)\n"
           "  -f FILE   run the commands of FILE, one per line ('-' reads standard input)\n",
           DEFAULT_TIMEOUT_MS);
    PrintCommands();
}

static const char *AnswerName(BYTE b)
{
    switch (b) {
    case LDP_ACK: return "ACK";
    case LDP_NAK: return "NAK";
    case LDP_COMPLETION: return "COMPLETION";
    case LDP_NOT_TARGET: return "NOT-TARGET";
    default: return NULL;
    }
}

static const char *CommandName(BYTE code)
{
    if (const char *name = LdpCommandName(code))
        return name;
    if (code >= '0' && code <= '9')
        return "digit";
    return "unknown";
}

static bool OpenPort(Console *console, const char *port)
{
    char name[64];
    snprintf(name, sizeof name, "\\\\.\\%s", port);
    console->port = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
    if (console->port == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "ldpctl: cannot open %s (error %lu)\n", port, GetLastError());
        return false;
    }
    PurgeComm(console->port, PURGE_RXCLEAR | PURGE_TXCLEAR);
    EscapeCommFunction(console->port, SETDTR);
    return true;
}

static bool WriteBytes(Console *console, const BYTE *bytes, DWORD count)
{
    DWORD written = 0;
    return WriteFile(console->port, bytes, count, &written, NULL) && written == count;
}

// Reads one byte, waiting at most timeoutMs; returns false on time-out.
static bool ReadByte(Console *console, BYTE *b, DWORD timeoutMs)
{
    // Returns at once with a byte that is there, else waits for the first.
    COMMTIMEOUTS timeouts = {MAXDWORD, MAXDWORD, timeoutMs, 0, 1000};
    SetCommTimeouts(console->port, &timeouts);
    DWORD got = 0;
    return ReadFile(console->port, b, 1, &got, NULL) && got == 1;
}

static void PrintAnswerByte(BYTE b)
{
    const char *meaning = AnswerName(b);
    if (meaning)
        printf("  <- 0x%02X %s\n", b, meaning);
    else if (b >= 0x20 && b < 0x7F)
        printf("  <- 0x%02X '%c'\n", b, b);
    else
        printf("  <- 0x%02X\n", b);
}

// Reads an enquiry's digits; prints them as one number.
static bool ReadDigits(Console *console, int count, DWORD timeoutMs)
{
    char digits[8] = "";
    for (int i = 0; i < count; i++) {
        BYTE b;
        if (!ReadByte(console, &b, i == 0 ? timeoutMs : DEFAULT_TIMEOUT_MS)) {
            if (i > 0)
                printf("  <- \"%s\" (cut short)\n", digits);
            return false;
        }
        digits[i] = (char)b;
    }
    printf("  <- \"%s\"\n", digits);
    return true;
}

static void SendLdpByte(Console *console, BYTE code, AnswerKind answer)
{
    printf("-> 0x%02X %s\n", code, CommandName(code));
    fflush(stdout);
    if (!WriteBytes(console, &code, 1)) {
        printf("  (write failed)\n");
        console->failures++;
        return;
    }
    BYTE b;
    switch (answer) {
    case ANSWER_DIGITS_2:
    case ANSWER_DIGITS_5:
        if (!ReadDigits(console, answer == ANSWER_DIGITS_2 ? 2 : 5, console->timeoutMs)) {
            printf("  (no answer)\n");
            if (answer == ANSWER_DIGITS_2)
                console->failures++;
        }
        break;
    case ANSWER_ENTER:
        if (!ReadByte(console, &b, console->timeoutMs)) {
            printf("  (no answer)\n");
            console->failures++;
            break;
        }
        PrintAnswerByte(b);
        if (b == LDP_ACK && console->entryOpen) {
            if (ReadByte(console, &b, COMPLETION_TIMEOUT_MS))
                PrintAnswerByte(b);
            else
                printf("  (no completion)\n");
        }
        console->entryOpen = false;
        break;
    case ANSWER_ONE:
        if (!ReadByte(console, &b, console->timeoutMs)) {
            printf("  (no answer)\n");
            console->failures++;
            break;
        }
        PrintAnswerByte(b);
        if (b == LDP_NAK)
            console->failures++;
        if (b == LDP_ACK && (code == LDP_SEARCH || code == LDP_SETSCRMODE))
            console->entryOpen = true;
        if (b == LDP_ACK && code == LDP_CLEARALL)
            console->entryOpen = false;
        break;
    }
    fflush(stdout);
}

static void SendDigits(Console *console, const char *digits)
{
    for (const char *d = digits; *d; d++)
        SendLdpByte(console, (BYTE)*d, ANSWER_ONE);
}

static bool IsNumber(const char *text)
{
    if (!*text)
        return false;
    for (const char *p = text; *p; p++)
        if (!isdigit((unsigned char)*p))
            return false;
    return true;
}

static void SendNativeLine(Console *console, const char *line)
{
    char framed[LINE_SIZE + 2];
    int n = snprintf(framed, sizeof framed, "%s\r\n", line);
    if (n < 0 || n >= (int)sizeof framed) {
        printf("  (line too long)\n");
        console->failures++;
        return;
    }
    printf("-> \"%s\" CR LF\n", line);
    fflush(stdout);
    if (!WriteBytes(console, (const BYTE *)framed, (DWORD)n)) {
        printf("  (write failed)\n");
        console->failures++;
        return;
    }
    // Only OP and CO answer: "R" and a line feed.
    bool answers = _strnicmp(line, "OP", 2) == 0 || _strnicmp(line, "CO", 2) == 0;
    BYTE b;
    if (!answers) {
        if (ReadByte(console, &b, 200))
            PrintAnswerByte(b);
        return;
    }
    for (int i = 0; i < 2; i++) {
        if (!ReadByte(console, &b, console->timeoutMs)) {
            printf("  (no answer)\n");
            console->failures++;
            return;
        }
        PrintAnswerByte(b);
    }
    fflush(stdout);
}

static bool IsNativeLine(const char *word)
{
    for (const char *native : kNativeWords)
        if (_stricmp(word, native) == 0)
            return true;
    return false;
}

// Runs one command: a word, possibly followed by an argument.  False when
// the command ends ldpctl.
static bool RunCommand(Console *console, char *text)
{
    while (*text == ' ' || *text == '\t')
        text++;
    size_t len = strlen(text);
    while (len > 0 && (text[len - 1] == ' ' || text[len - 1] == '\t' || text[len - 1] == '\r' || text[len - 1] == '\n'))
        text[--len] = '\0';
    if (text[0] == CTRL_D || text[0] == CTRL_Z)
        return false;
    if (len == 0 || text[0] == '#')
        return true;
    char word[LINE_SIZE];
    const char *rest = text + strcspn(text, " \t");
    snprintf(word, sizeof word, "%.*s", (int)(rest - text), text);
    while (*rest == ' ' || *rest == '\t')
        rest++;

    if (_stricmp(word, "quit") == 0 || _stricmp(word, "exit") == 0) {
        return false;
    } else if (_stricmp(word, "help") == 0 || strcmp(word, "?") == 0) {
        PrintCommands();
    } else if (IsNativeLine(word)) {
        SendNativeLine(console, text);
    } else if ((_stricmp(word, "search") == 0 || _stricmp(word, "board") == 0) && IsNumber(rest)) {
        SendLdpByte(console, _stricmp(word, "search") == 0 ? LDP_SEARCH : LDP_SETSCRMODE, ANSWER_ONE);
        SendDigits(console, rest);
        SendLdpByte(console, LDP_ENTER, ANSWER_ENTER);
    } else if (_stricmp(word, "wait") == 0 && IsNumber(rest)) {
        Sleep((DWORD)atol(rest));
    } else if (IsNumber(word)) {
        SendDigits(console, word);
    } else if ((word[0] == '0') && (word[1] == 'x' || word[1] == 'X') && word[2]) {
        char *end;
        unsigned long value = strtoul(word, &end, 16);
        if (*end || value > 0xFF) {
            printf("?? %s: a raw byte is 0x00 to 0xFF\n", word);
            return true;
        }
        BYTE code = (BYTE)value;
        AnswerKind answer = ANSWER_ONE;
        for (const LdpCommand &c : kCommands)
            if (c.code == code)
                answer = c.answer;
        SendLdpByte(console, code, answer);
    } else {
        for (const LdpCommand &c : kCommands) {
            if (_stricmp(word, LdpCommandName(c.code)) == 0 || _stricmp(word, c.alias) == 0) {
                SendLdpByte(console, c.code, c.answer);
                return true;
            }
        }
        printf("?? %s: not a command (ldpctl -h lists them)\n", word);
    }
    return true;
}

// False when a command of the line ends ldpctl; the rest is not run.
static bool RunLine(Console *console, char *line)
{
    for (char *command = strtok(line, ";"); command; command = strtok(NULL, ";"))
        if (!RunCommand(console, command))
            return false;
    return true;
}

static void RunScript(Console *console, FILE *script, bool prompt)
{
    if (prompt)
        printf("help lists the commands; quit, exit or Ctrl-Z Enter ends\n");
    char line[LINE_SIZE];
    for (;;) {
        if (prompt) {
            printf("ldp> ");
            fflush(stdout);
        }
        if (!fgets(line, sizeof line, script) || !RunLine(console, line))
            break;
    }
}

int main(int argc, char **argv)
{
    Console console = {};
    console.timeoutMs = DEFAULT_TIMEOUT_MS;
    const char *port = "COM1";
    const char *scriptPath = NULL;
    int first = 1;
    for (; first < argc && argv[first][0] == '-' && argv[first][1]; first++) {
        const char *opt = argv[first];
        if ((strcmp(opt, "-p") == 0 || strcmp(opt, "-t") == 0 || strcmp(opt, "-f") == 0) && first + 1 < argc) {
            const char *value = argv[++first];
            if (opt[1] == 'p')
                port = value;
            else if (opt[1] == 't')
                console.timeoutMs = (DWORD)atol(value);
            else
                scriptPath = value;
        } else {
            Usage();
            return strcmp(opt, "-h") == 0 ? 0 : 2;
        }
    }
    if (!OpenPort(&console, port))
        return 1;
    printf("ldpctl on %s\n", port);
    if (first < argc) {
        for (int i = first; i < argc; i++) {
            char line[LINE_SIZE];
            snprintf(line, sizeof line, "%s", argv[i]);
            if (!RunLine(&console, line))
                break;
        }
    } else if (scriptPath && strcmp(scriptPath, "-") != 0) {
        FILE *script = fopen(scriptPath, "r");
        if (!script) {
            fprintf(stderr, "ldpctl: cannot read %s\n", scriptPath);
            return 1;
        }
        RunScript(&console, script, false);
        fclose(script);
    } else {
        RunScript(&console, stdin, !scriptPath && _isatty(_fileno(stdin)));
    }
    EscapeCommFunction(console.port, CLRDTR);
    CloseHandle(console.port);
    if (console.failures)
        printf("%d command(s) got NAK or no answer\n", console.failures);
    return console.failures ? 3 : 0;
}
