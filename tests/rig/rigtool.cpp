// Bench rig: the operator's and the show PC's hands, for tests that drive the
// player from outside.  Each argument group is one command; several commands
// may be given at once, separated by ";" (one Wine start for all of them).
//
//   reg-set KEY NAME TYPE DATA   TYPE sz, dword, binary (hex), none
//   reg-delete-key KEY           the key and everything below it
//   reg-dump KEY                 prints NAME<TAB>TYPE<TAB>DATA per value
//   reg-keys KEY                 prints the names of the sub-keys
//   exists PATH                  prints 1 or 0
//   find CLASS                   prints the window handle, fails if none
//   wait-window CLASS MS         waits until a window of CLASS exists
//   wait-gone CLASS MS           waits until no window of CLASS exists
//   post CLASS MSG WPARAM LPARAM posts a message (numbers, 0x allowed)
//   send CLASS MSG WPARAM LPARAM sends a message, prints the result
//   rect CLASS                   prints left top right bottom
//   style CLASS                  prints the window style in hex
//   texts CLASS TITLE            prints ID<TAB>CLASS<TAB>TEXT of each child
//   command CLASS TITLE ID       posts WM_COMMAND ID to that window
//
// CLASS may be "*" for any class; TITLE "*" for any title.  When the
// environment names HALCYRA_RIG_ARGS_LOG, every start appends its
// arguments to that file first (the rig then stands in for a program the
// player starts).
//
// KEY begins with HKCU\ or HKLM\.  Runs on its own main thread only.
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static HKEY RootOf(const char *key, const char **rest)
{
    if (_strnicmp(key, "HKCU\\", 5) == 0) {
        *rest = key + 5;
        return HKEY_CURRENT_USER;
    }
    if (_strnicmp(key, "HKLM\\", 5) == 0) {
        *rest = key + 5;
        return HKEY_LOCAL_MACHINE;
    }
    *rest = key;
    return NULL;
}

static unsigned long Number(const char *text)
{
    return strtoul(text, NULL, 0);
}

static int HexNibble(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

static int RegSet(char **args)
{
    const char *path;
    HKEY root = RootOf(args[0], &path);
    HKEY key;
    if (!root || RegCreateKeyExA(root, path, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key, NULL) != ERROR_SUCCESS)
        return 1;
    const char *type = args[2];
    const char *data = args[3];
    static BYTE bytes[65536];
    DWORD size = 0, regType;
    if (strcmp(type, "sz") == 0) {
        regType = REG_SZ;
        size = (DWORD)strlen(data) + 1;
        memcpy(bytes, data, size);
    } else if (strcmp(type, "dword") == 0) {
        regType = REG_DWORD;
        DWORD v = (DWORD)Number(data);
        memcpy(bytes, &v, 4);
        size = 4;
    } else {
        regType = strcmp(type, "binary") == 0 ? REG_BINARY : REG_NONE;
        for (size_t i = 0; data[i] && data[i + 1] && size < sizeof bytes; i += 2)
            bytes[size++] = (BYTE)(HexNibble(data[i]) * 16 + HexNibble(data[i + 1]));
    }
    LONG rc = RegSetValueExA(key, args[1], 0, regType, bytes, size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 0 : 1;
}

static int RegDeleteKeyTree(char **args)
{
    const char *path;
    HKEY root = RootOf(args[0], &path);
    if (!root)
        return 1;
    LONG rc = RegDeleteTreeA(root, path);
    if (rc == ERROR_SUCCESS)
        RegDeleteKeyA(root, path);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND ? 0 : 1;
}

static const char *TypeName(DWORD type)
{
    switch (type) {
    case REG_SZ: return "sz";
    case REG_DWORD: return "dword";
    case REG_BINARY: return "binary";
    case REG_EXPAND_SZ: return "expand";
    default: return "other";
    }
}

static int RegDump(char **args)
{
    const char *path;
    HKEY root = RootOf(args[0], &path);
    HKEY key;
    if (!root || RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        printf("no key\n");
        return 2;
    }
    for (DWORD i = 0;; i++) {
        char name[1024];
        static BYTE data[65536];
        DWORD nameLen = sizeof name, dataLen = sizeof data, type;
        if (RegEnumValueA(key, i, name, &nameLen, NULL, &type, data, &dataLen) != ERROR_SUCCESS)
            break;
        printf("%s\t%s\t", name, TypeName(type));
        // Data as hex, so tabs, line ends and missing terminators show.
        for (DWORD j = 0; j < dataLen; j++)
            printf("%02x", data[j]);
        printf("\n");
    }
    RegCloseKey(key);
    return 0;
}

static int RegKeys(char **args)
{
    const char *path;
    HKEY root = RootOf(args[0], &path);
    HKEY key;
    if (!root || RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        printf("no key\n");
        return 2;
    }
    for (DWORD i = 0;; i++) {
        char name[1024];
        DWORD nameLen = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameLen, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
            break;
        printf("%s\n", name);
    }
    RegCloseKey(key);
    return 0;
}

static int Exists(char **args)
{
    printf("%d\n", GetFileAttributesA(args[0]) != INVALID_FILE_ATTRIBUTES ? 1 : 0);
    return 0;
}

static const char *AnyIsNull(const char *text)
{
    return strcmp(text, "*") == 0 ? NULL : text;
}

static HWND FindTop(const char *cls, const char *title)
{
    return FindWindowA(AnyIsNull(cls), AnyIsNull(title));
}

static int Find(char **args)
{
    HWND hwnd = FindWindowA(args[0], NULL);
    if (!hwnd)
        return 1;
    printf("%lu\n", (unsigned long)(ULONG_PTR)hwnd);
    return 0;
}

static int WaitWindow(const char *cls, DWORD ms, bool present)
{
    DWORD start = GetTickCount();
    for (;;) {
        if ((FindWindowA(cls, NULL) != NULL) == present)
            return 0;
        if (GetTickCount() - start >= ms)
            return 1;
        Sleep(10);
    }
}

static int Message(char **args, bool post)
{
    HWND hwnd = FindWindowA(args[0], NULL);
    if (!hwnd)
        return 1;
    UINT msg = (UINT)Number(args[1]);
    WPARAM wp = (WPARAM)Number(args[2]);
    LPARAM lp = (LPARAM)Number(args[3]);
    if (post)
        return PostMessageA(hwnd, msg, wp, lp) ? 0 : 1;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(hwnd, msg, wp, lp, SMTO_NORMAL, 5000, &result))
        return 1;
    printf("%ld\n", (long)result);
    return 0;
}

static int Rect(char **args)
{
    HWND hwnd = FindWindowA(args[0], NULL);
    RECT r;
    if (!hwnd || !GetWindowRect(hwnd, &r))
        return 1;
    printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
}

static int Style(char **args)
{
    HWND hwnd = FindWindowA(args[0], NULL);
    if (!hwnd)
        return 1;
    printf("%08lx\n", (unsigned long)GetWindowLongA(hwnd, GWL_STYLE));
    return 0;
}

static BOOL CALLBACK PrintChild(HWND child, LPARAM)
{
    char cls[64] = "", text[1024] = "";
    GetClassNameA(child, cls, sizeof cls);
    SendMessageTimeoutA(child, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_NORMAL, 2000, NULL);
    text[sizeof text - 1] = '\0';
    for (char *p = text; *p; p++)
        if (*p == '\t' || *p == '\n' || *p == '\r')
            *p = ' ';
    printf("%d\t%s\t%s\n", GetDlgCtrlID(child), cls, text);
    return TRUE;
}

static int Texts(char **args)
{
    HWND hwnd = FindTop(args[0], args[1]);
    if (!hwnd)
        return 1;
    EnumChildWindows(hwnd, PrintChild, 0);
    return 0;
}

static int PostCommand(char **args)
{
    HWND hwnd = FindTop(args[0], args[1]);
    if (!hwnd)
        return 1;
    return PostMessageA(hwnd, WM_COMMAND, (WPARAM)Number(args[2]), 0) ? 0 : 1;
}

static void LogArguments(int argc, char **argv)
{
    char path[MAX_PATH];
    DWORD len = GetEnvironmentVariableA("HALCYRA_RIG_ARGS_LOG", path, sizeof path);
    if (len == 0 || len >= sizeof path)
        return;
    FILE *f = fopen(path, "ab");
    if (!f)
        return;
    for (int i = 0; i < argc; i++)
        fprintf(f, "%s%s", i ? "\t" : "", argv[i]);
    fprintf(f, "\n");
    fclose(f);
}

struct Command {
    const char *name;
    int argCount;
    int (*run)(char **args);
};

static int WaitWindowCmd(char **a) { return WaitWindow(a[0], (DWORD)Number(a[1]), true); }
static int WaitGoneCmd(char **a) { return WaitWindow(a[0], (DWORD)Number(a[1]), false); }
static int PostCmd(char **a) { return Message(a, true); }
static int SendCmd(char **a) { return Message(a, false); }

static const Command commands[] = {
    {"reg-set", 4, RegSet},         {"reg-delete-key", 1, RegDeleteKeyTree},
    {"reg-dump", 1, RegDump},       {"reg-keys", 1, RegKeys},
    {"exists", 1, Exists},          {"find", 1, Find},
    {"wait-window", 2, WaitWindowCmd}, {"wait-gone", 2, WaitGoneCmd},
    {"post", 4, PostCmd},           {"send", 4, SendCmd},
    {"rect", 1, Rect},              {"style", 1, Style},
    {"texts", 2, Texts},            {"command", 3, PostCommand},
};

int main(int argc, char **argv)
{
    LogArguments(argc, argv);
    int i = 1, rc = 0;
    while (i < argc && rc == 0) {
        const Command *cmd = NULL;
        for (const Command &c : commands)
            if (strcmp(argv[i], c.name) == 0)
                cmd = &c;
        if (!cmd || i + 1 + cmd->argCount > argc) {
            fprintf(stderr, "rigtool: bad command at '%s'\n", argv[i]);
            return 64;
        }
        rc = cmd->run(argv + i + 1);
        printf("--\n");
        i += 1 + cmd->argCount;
        if (i < argc && strcmp(argv[i], ";") == 0)
            i++;
    }
    fflush(stdout);
    return rc;
}
