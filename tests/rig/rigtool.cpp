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
// Dialogs of another process, as an operator works them.  DLG is the exact
// title of a visible top-level dialog ("" for an untitled one, such as a
// splash window); ID a control anywhere inside it (on a property sheet,
// the controls of the pages that have been shown).
//   dialog-wait DLG MS           waits until the dialog exists
//   dialog-gone DLG MS           waits until it no longer exists
//   dialog-rect DLG              prints the window's and the client area's
//                                screen rectangles (left top right bottom)
//   window-rect TITLE            the same of the top-level window of TITLE
//   dialog-post DLG MSG WP LP    posts a message to the dialog (ending a
//                                modal loop needs a posted message)
//   dialog-send DLG MSG WP LP    sends one, prints the result
//   ctl-text DLG ID              prints the control's text
//   ctl-set-text DLG ID TEXT     sets it (an edit then sends EN_CHANGE)
//   ctl-select DLG ID TEXT       selects the list entry of exactly TEXT and
//                                sends CBN_SELCHANGE to the control's parent
//   ctl-selection DLG ID         prints INDEX<TAB>TEXT of the selected entry
//   ctl-items DLG ID             prints the entries of a list or combo box
//   ctl-enabled DLG ID           prints 1 or 0
//   ctl-style DLG ID             prints the control's style in hex
//   ctl-rect DLG ID              prints the control's screen rectangle
//   ctl-press DLG ID             posts BN_CLICKED of the button ID to its parent
//   ctl-send DLG ID MSG WP LP    sends a message to the control, prints the
//                                result
//   modules CLASS                prints the modules loaded by the process of
//                                the window of CLASS
//   process-usage CLASS          prints the private bytes and the handle count
//                                of the process of the window of CLASS: the
//                                committed private memory of its address
//                                space, region by region, and its entries
//                                in the system's handle table
//   error-mode CLASS             prints, in hex, the error mode (SetErrorMode)
//                                the process of the window of CLASS runs
//                                with, as a thread of its own reads it there
//   hold-file PATH MS            opens PATH for writing, sharing only reading,
//                                prints "holding", and keeps it open for MS
//                                ms: another program that holds a log
//   hold-mutex NAME MS           makes the named mutex, prints "holding",
//                                and keeps it for MS ms: a copy of the
//                                player that this desktop does not show
//   pipe-serve NAME MS           a source that reads slowly, as a CD that
//                                retries: makes the pipe \\.\pipe\NAME,
//                                waits for a reader, prints "connected",
//                                sends 2048 bytes MS ms later and closes
//   serial-waits PORT            stands in for the player's receive thread:
//                                opens PORT (COM9) as the player does and
//                                waits for bytes (a pending overlapped read
//                                of one byte, then a read of what is
//                                queued) until an EOT byte (0x04) arrives
//                                or a read fails.  Its window, of class
//                                RigSerialWaits, lets process-usage measure
//                                what Wine's serial waits alone cost.
//   file-version PATH            prints "version<TAB>FILE PRODUCT" (the fixed
//                                versions, a.b.c.d) and NAME<TAB>VALUE of each
//                                string of the first language
//   shortcut PATH                prints a shell link's target, arguments and
//                                working folder, one a line
// Texts cross the process boundary as Unicode: the ANSI calls come back
// empty or cut to their first character for another process's controls.
//
// CLASS may be "*" for any class; TITLE "*" for any title.  When the
// environment names HALCYRA_RIG_ARGS_LOG, every start appends its
// arguments to that file first (the rig then stands in for a program the
// player starts).
//
// KEY begins with HKCU\ or HKLM\.  Runs on its own main thread only.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <tlhelp32.h>
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


// -- dialogs of another process -------------------------------------------

#define MESSAGE_TIMEOUT_MS 5000
#define CONTROL_TEXT_SIZE 1024

struct DialogSearch {
    const char *title;
    HWND found;
};

static BOOL CALLBACK MatchDialog(HWND hwnd, LPARAM param)
{
    DialogSearch *search = (DialogSearch *)param;
    char cls[16] = "", title[256] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (strcmp(cls, "#32770") != 0 || !IsWindowVisible(hwnd))
        return TRUE;
    GetWindowTextA(hwnd, title, sizeof title);
    if (strcmp(title, search->title) != 0)
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

static HWND FindDialog(const char *title)
{
    DialogSearch search = {title, NULL};
    EnumWindows(MatchDialog, (LPARAM)&search);
    return search.found;
}

struct ControlSearch {
    int id;
    const char *cls;
    HWND found;
};

static BOOL CALLBACK MatchControl(HWND hwnd, LPARAM param)
{
    ControlSearch *search = (ControlSearch *)param;
    char cls[64] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    if (GetDlgCtrlID(hwnd) != search->id || (search->cls && _stricmp(cls, search->cls) != 0))
        return TRUE;
    search->found = hwnd;
    return FALSE;
}

// The first control with that id, of class cls unless that is null (a
// file dialog's list view shares the id of its Open button).
static HWND FindControlOfClass(const char *title, const char *id, const char *cls)
{
    HWND dialog = FindDialog(title);
    if (!dialog) {
        fprintf(stderr, "rigtool: no dialog '%s'\n", title);
        return NULL;
    }
    ControlSearch search = {(int)Number(id), cls, NULL};
    EnumChildWindows(dialog, MatchControl, (LPARAM)&search);
    if (!search.found)
        fprintf(stderr, "rigtool: no control %s in '%s'\n", id, title);
    return search.found;
}

static HWND FindControl(const char *title, const char *id)
{
    return FindControlOfClass(title, id, NULL);
}

static LRESULT SendWithTimeout(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, bool *ok)
{
    DWORD_PTR result = 0;
    *ok = SendMessageTimeoutW(hwnd, msg, wp, lp, SMTO_NORMAL, MESSAGE_TIMEOUT_MS, &result) != 0;
    return (LRESULT)result;
}

static void PrintWide(const WCHAR *text)
{
    char bytes[CONTROL_TEXT_SIZE * 2];
    int n = WideCharToMultiByte(CP_ACP, 0, text, -1, bytes, sizeof bytes, NULL, NULL);
    printf("%s\n", n > 0 ? bytes : "");
}

static int WaitDialog(const char *title, DWORD ms, bool present)
{
    DWORD start = GetTickCount();
    for (;;) {
        if ((FindDialog(title) != NULL) == present)
            return 0;
        if (GetTickCount() - start >= ms)
            return 1;
        Sleep(10);
    }
}

static int DialogWait(char **a) { return WaitDialog(a[0], (DWORD)Number(a[1]), true); }
static int DialogGone(char **a) { return WaitDialog(a[0], (DWORD)Number(a[1]), false); }

static void PrintRect(const RECT &r)
{
    printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
}

static int PrintWindowRects(HWND hwnd)
{
    RECT window, client;
    if (!hwnd || !GetWindowRect(hwnd, &window) || !GetClientRect(hwnd, &client))
        return 1;
    MapWindowPoints(hwnd, NULL, (POINT *)&client, 2);
    PrintRect(window);
    PrintRect(client);
    return 0;
}

static int DialogRect(char **a)
{
    return PrintWindowRects(FindDialog(a[0]));
}

static int WindowRect(char **a)
{
    return PrintWindowRects(FindWindowA(NULL, a[0]));
}

static int DialogMessage(char **a, bool post)
{
    HWND dialog = FindDialog(a[0]);
    if (!dialog)
        return 1;
    UINT msg = (UINT)Number(a[1]);
    WPARAM wp = (WPARAM)Number(a[2]);
    LPARAM lp = (LPARAM)Number(a[3]);
    if (post)
        return PostMessageW(dialog, msg, wp, lp) ? 0 : 1;
    bool ok;
    LRESULT result = SendWithTimeout(dialog, msg, wp, lp, &ok);
    if (!ok)
        return 1;
    printf("%ld\n", (long)result);
    return 0;
}

static int DialogPost(char **a) { return DialogMessage(a, true); }
static int DialogSend(char **a) { return DialogMessage(a, false); }

static int ControlText(char **a)
{
    HWND control = FindControl(a[0], a[1]);
    if (!control)
        return 1;
    WCHAR text[CONTROL_TEXT_SIZE] = L"";
    bool ok;
    SendWithTimeout(control, WM_GETTEXT, CONTROL_TEXT_SIZE, (LPARAM)text, &ok);
    text[CONTROL_TEXT_SIZE - 1] = 0;
    if (!ok)
        return 1;
    PrintWide(text);
    return 0;
}

static int ControlSetText(char **a)
{
    HWND control = FindControl(a[0], a[1]);
    WCHAR text[CONTROL_TEXT_SIZE];
    if (!control || !MultiByteToWideChar(CP_ACP, 0, a[2], -1, text, CONTROL_TEXT_SIZE))
        return 1;
    bool ok;
    SendWithTimeout(control, WM_SETTEXT, 0, (LPARAM)text, &ok);
    return ok ? 0 : 1;
}

static bool IsComboBox(HWND control)
{
    char cls[32] = "";
    GetClassNameA(control, cls, sizeof cls);
    return _stricmp(cls, "ComboBox") == 0;
}

// The text of entry index of a combo or list box; false when it has none.
static bool EntryText(HWND control, LRESULT index, WCHAR *text)
{
    bool combo = IsComboBox(control), ok;
    LRESULT length = SendWithTimeout(control, combo ? CB_GETLBTEXTLEN : LB_GETTEXTLEN, index, 0, &ok);
    if (!ok || length < 0 || length >= CONTROL_TEXT_SIZE)
        return false;
    LRESULT rc = SendWithTimeout(control, combo ? CB_GETLBTEXT : LB_GETTEXT, index, (LPARAM)text, &ok);
    return ok && rc >= 0;
}

static int ControlSelect(char **a)
{
    HWND control = FindControl(a[0], a[1]);
    WCHAR text[CONTROL_TEXT_SIZE];
    if (!control || !MultiByteToWideChar(CP_ACP, 0, a[2], -1, text, CONTROL_TEXT_SIZE))
        return 1;
    bool ok;
    LRESULT index = SendWithTimeout(control, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)text, &ok);
    if (!ok || index < 0) {
        fprintf(stderr, "rigtool: no entry '%s'\n", a[2]);
        return 1;
    }
    SendWithTimeout(control, CB_SETCURSEL, (WPARAM)index, 0, &ok);
    if (!ok)
        return 1;
    WPARAM command = MAKEWPARAM(GetDlgCtrlID(control), CBN_SELCHANGE);
    SendWithTimeout(GetParent(control), WM_COMMAND, command, (LPARAM)control, &ok);
    return ok ? 0 : 1;
}

static int ControlSelection(char **a)
{
    HWND control = FindControl(a[0], a[1]);
    if (!control)
        return 1;
    bool ok;
    LRESULT index = SendWithTimeout(control, IsComboBox(control) ? CB_GETCURSEL : LB_GETCURSEL, 0, 0, &ok);
    if (!ok)
        return 1;
    WCHAR text[CONTROL_TEXT_SIZE] = L"";
    if (index >= 0 && !EntryText(control, index, text))
        return 1;
    printf("%ld\t", (long)index);
    PrintWide(text);
    return 0;
}

static int ControlItems(char **a)
{
    HWND control = FindControl(a[0], a[1]);
    if (!control)
        return 1;
    bool ok;
    LRESULT count = SendWithTimeout(control, IsComboBox(control) ? CB_GETCOUNT : LB_GETCOUNT, 0, 0, &ok);
    if (!ok || count < 0)
        return 1;
    for (LRESULT i = 0; i < count; i++) {
        WCHAR text[CONTROL_TEXT_SIZE] = L"";
        if (!EntryText(control, i, text))
            return 1;
        PrintWide(text);
    }
    return 0;
}

static int ControlEnabled(char **a)
{
    HWND control = FindControl(a[0], a[1]);
    if (!control)
        return 1;
    printf("%d\n", IsWindowEnabled(control) ? 1 : 0);
    return 0;
}

static int ControlStyle(char **a)
{
    HWND control = FindControl(a[0], a[1]);
    if (!control)
        return 1;
    printf("%08lx\n", (unsigned long)GetWindowLongA(control, GWL_STYLE));
    return 0;
}

static int ControlRect(char **a)
{
    HWND control = FindControl(a[0], a[1]);
    RECT r;
    if (!control || !GetWindowRect(control, &r))
        return 1;
    PrintRect(r);
    return 0;
}

static int ControlPress(char **a)
{
    HWND control = FindControlOfClass(a[0], a[1], "Button");
    if (!control)
        return 1;
    WPARAM command = MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED);
    return PostMessageW(GetParent(control), WM_COMMAND, command, (LPARAM)control) ? 0 : 1;
}

static int ControlSend(char **a)
{
    HWND control = FindControl(a[0], a[1]);
    if (!control)
        return 1;
    bool ok;
    LRESULT result = SendWithTimeout(control, (UINT)Number(a[2]), (WPARAM)Number(a[3]), (LPARAM)Number(a[4]), &ok);
    if (!ok)
        return 1;
    printf("%ld\n", (long)result);
    return 0;
}

// The process that owns the first window of a class; 0 when there is none.
static DWORD ProcessOfWindow(const char *windowClass)
{
    HWND hwnd = FindWindowA(windowClass, NULL);
    DWORD pid = 0;
    if (hwnd)
        GetWindowThreadProcessId(hwnd, &pid);
    return pid;
}

static int Modules(char **a)
{
    DWORD pid = ProcessOfWindow(a[0]);
    if (!pid)
        return 1;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 1;
    MODULEENTRY32 module;
    module.dwSize = sizeof module;
    for (BOOL more = Module32First(snapshot, &module); more; more = Module32Next(snapshot, &module))
        printf("%s\n", module.szModule);
    CloseHandle(snapshot);
    return 0;
}

// Private bytes as Windows counts them: every committed region of the
// address space that belongs to the process alone (not an image, not a
// mapped file).
static unsigned long long PrivateBytes(HANDLE process)
{
    unsigned long long total = 0;
    MEMORY_BASIC_INFORMATION region;
    for (const char *address = NULL;
         VirtualQueryEx(process, address, &region, sizeof region) == sizeof region;
         address = (const char *)region.BaseAddress + region.RegionSize) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            total += region.RegionSize;
        if ((ULONG_PTR)region.BaseAddress + region.RegionSize < (ULONG_PTR)region.BaseAddress)
            break;
    }
    return total;
}

// The system's handle table (information class 16), as ntdll gives it.
struct SystemHandleEntry {
    ULONG ownerProcessId;
    BYTE objectType;
    BYTE flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

struct SystemHandleTable {
    ULONG count;
    SystemHandleEntry entries[1];
};

typedef LONG(WINAPI *QuerySystemInformation)(ULONG infoClass, PVOID buffer, ULONG size, PULONG needed);

#define SYSTEM_HANDLE_INFORMATION 16
#define STATUS_INFO_LENGTH_MISMATCH ((LONG)0xC0000004)

// The handles the process holds, counted in the system's handle table
// (Wine answers GetProcessHandleCount with 0).  -1 when it cannot be read.
static long HandleCount(DWORD pid)
{
    QuerySystemInformation query = (QuerySystemInformation)(void (*)(void))GetProcAddress(
        GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation");
    if (!query)
        return -1;
    ULONG size = 1 << 16;
    for (;;) {
        SystemHandleTable *table = (SystemHandleTable *)malloc(size);
        if (!table)
            return -1;
        ULONG needed = 0;
        LONG status = query(SYSTEM_HANDLE_INFORMATION, table, size, &needed);
        if (status == STATUS_INFO_LENGTH_MISMATCH && size < (1u << 28)) {
            free(table);
            size = needed > size ? needed + 4096 : size * 2;
            continue;
        }
        long count = -1;
        if (status == 0) {
            count = 0;
            for (ULONG i = 0; i < table->count; i++)
                if (table->entries[i].ownerProcessId == pid)
                    count++;
        }
        free(table);
        return count;
    }
}

#define SERIAL_WAITS_CLASS "RigSerialWaits"
#define SERIAL_WAITS_END 0x04

// Waits for received bytes the way the player's receive thread does, until
// the controller's end of the line sends the end byte.
static int SerialWaits(char **a)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = SERIAL_WAITS_CLASS;
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, SERIAL_WAITS_CLASS, "", 0, 0, 0, 0, 0, NULL, NULL, wc.hInstance, NULL);
    char path[32];
    snprintf(path, sizeof path, "\\\\.\\%s", a[0]);
    HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, NULL);
    if (!window || port == INVALID_HANDLE_VALUE)
        return 1;
    COMMTIMEOUTS timeouts = {MAXDWORD, 0, 1000, 0, 1000};
    SetCommTimeouts(port, &timeouts);
    OVERLAPPED wait = {}, read = {};
    wait.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    read.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    for (bool ended = false; !ended;) {
        char bytes[256];
        DWORD first = 0, queued = 0, errors = 0;
        BOOL done = ReadFile(port, bytes, 1, &first, &wait);
        if (!done && GetLastError() == ERROR_IO_PENDING)
            done = GetOverlappedResult(port, &wait, &first, TRUE);
        if (!done && wait.Internal != STATUS_TIMEOUT)
            break;
        if (first == 0)
            continue;
        COMSTAT status = {};
        ClearCommError(port, &errors, &status);
        DWORD wanted = status.cbInQue < sizeof bytes - 1 ? status.cbInQue : sizeof bytes - 1;
        if (wanted && !ReadFile(port, bytes + 1, wanted, &queued, &read) && GetLastError() == ERROR_IO_PENDING)
            GetOverlappedResult(port, &read, &queued, TRUE);
        ended = memchr(bytes, SERIAL_WAITS_END, 1 + queued) != NULL;
    }
    CloseHandle(wait.hEvent);
    CloseHandle(read.hEvent);
    CloseHandle(port);
    DestroyWindow(window);
    return 0;
}

// Reads the error mode inside the process: a few bytes of code there call
// its GetErrorMode (kernel32 sits at the same address in every process)
// and end the thread with the result.  Nothing of the process changes.
static int ErrorMode(char **a)
{
    DWORD pid = ProcessOfWindow(a[0]);
    FARPROC getErrorMode = GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetErrorMode");
    if (!pid || !getErrorMode)
        return 1;
    HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                     PROCESS_VM_WRITE | PROCESS_VM_READ,
                                 FALSE, pid);
    if (!process)
        return 1;
    // mov eax, GetErrorMode; call eax; ret 4
    unsigned char code[10] = {0xB8, 0, 0, 0, 0, 0xFF, 0xD0, 0xC2, 0x04, 0x00};
    memcpy(code + 1, &getErrorMode, 4);
    void *remote = VirtualAllocEx(process, NULL, sizeof code, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE);
    DWORD mode = 0;
    bool read = false;
    if (remote && WriteProcessMemory(process, remote, code, sizeof code, NULL)) {
        HANDLE thread = CreateRemoteThread(process, NULL, 0, (LPTHREAD_START_ROUTINE)remote, NULL, 0, NULL);
        if (thread) {
            read = WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &mode);
            CloseHandle(thread);
        }
    }
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    if (!read)
        return 1;
    printf("%#lx\n", mode);
    return 0;
}

static int HoldFile(char **a)
{
    HANDLE file = CreateFileA(a[0], GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    printf("holding\n");
    fflush(stdout);
    Sleep((DWORD)Number(a[1]));
    CloseHandle(file);
    return 0;
}

static int HoldMutex(char **a)
{
    HANDLE mutex = CreateMutexA(NULL, FALSE, a[0]);
    if (!mutex)
        return 1;
    printf("holding\n");
    fflush(stdout);
    Sleep((DWORD)Number(a[1]));
    CloseHandle(mutex);
    return 0;
}

static int PipeServe(char **a)
{
    char name[MAX_PATH];
    snprintf(name, sizeof name, "\\\\.\\pipe\\%s", a[0]);
    HANDLE pipe = CreateNamedPipeA(name, PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, NULL);
    if (pipe == INVALID_HANDLE_VALUE)
        return 1;
    if (!ConnectNamedPipe(pipe, NULL) && GetLastError() != ERROR_PIPE_CONNECTED) {
        CloseHandle(pipe);
        return 1;
    }
    printf("connected\n");
    fflush(stdout);
    Sleep((DWORD)Number(a[1]));
    static char bytes[2048];
    DWORD written = 0;
    WriteFile(pipe, bytes, sizeof bytes, &written, NULL);
    FlushFileBuffers(pipe);
    CloseHandle(pipe);
    return 0;
}

static int ProcessUsage(char **a)
{
    DWORD pid = ProcessOfWindow(a[0]);
    if (!pid)
        return 1;
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process)
        return 1;
    unsigned long long bytes = PrivateBytes(process);
    CloseHandle(process);
    long handles = HandleCount(pid);
    if (bytes == 0 || handles <= 0)
        return 1;
    printf("%llu %ld\n", bytes, handles);
    return 0;
}

static int FileVersion(char **a)
{
    static const char *const names[] = {"CompanyName", "FileDescription", "FileVersion", "InternalName",
                                        "LegalCopyright", "OriginalFilename", "ProductName", "ProductVersion"};
    static BYTE info[65536];
    DWORD size = GetFileVersionInfoSizeA(a[0], NULL);
    VS_FIXEDFILEINFO *fixed;
    WORD *translation;
    UINT length;
    if (size == 0 || size > sizeof info || !GetFileVersionInfoA(a[0], 0, size, info) ||
        !VerQueryValueA(info, "\\", (void **)&fixed, &length) ||
        !VerQueryValueA(info, "\\VarFileInfo\\Translation", (void **)&translation, &length) || length < 4)
        return 2;
    printf("version\t%u.%u.%u.%u %u.%u.%u.%u\n", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
           HIWORD(fixed->dwFileVersionLS), LOWORD(fixed->dwFileVersionLS), HIWORD(fixed->dwProductVersionMS),
           LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS), LOWORD(fixed->dwProductVersionLS));
    for (const char *name : names) {
        char path[128];
        char *value;
        snprintf(path, sizeof path, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1], name);
        if (VerQueryValueA(info, path, (void **)&value, &length) && length > 0)
            printf("%s\t%s\n", name, value);
    }
    return 0;
}

static int Shortcut(char **a)
{
    WCHAR path[MAX_PATH];
    if (!MultiByteToWideChar(CP_ACP, 0, a[0], -1, path, MAX_PATH))
        return 2;
    CoInitialize(NULL);
    IShellLinkA *link = NULL;
    IPersistFile *file = NULL;
    char target[MAX_PATH] = "", arguments[1024] = "", folder[MAX_PATH] = "";
    bool read = SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                           (void **)&link)) &&
                SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void **)&file)) &&
                SUCCEEDED(file->Load(path, STGM_READ)) &&
                SUCCEEDED(link->GetPath(target, sizeof target, NULL, SLGP_RAWPATH)) &&
                SUCCEEDED(link->GetArguments(arguments, sizeof arguments)) &&
                SUCCEEDED(link->GetWorkingDirectory(folder, sizeof folder));
    if (file)
        file->Release();
    if (link)
        link->Release();
    CoUninitialize();
    if (!read)
        return 2;
    printf("%s\n%s\n%s\n", target, arguments, folder);
    return 0;
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
    {"dialog-wait", 2, DialogWait}, {"dialog-gone", 2, DialogGone},
    {"dialog-rect", 1, DialogRect}, {"window-rect", 1, WindowRect}, {"dialog-post", 4, DialogPost},
    {"dialog-send", 4, DialogSend}, {"ctl-text", 2, ControlText},
    {"ctl-set-text", 3, ControlSetText}, {"ctl-select", 3, ControlSelect},
    {"ctl-selection", 2, ControlSelection}, {"ctl-items", 2, ControlItems},
    {"ctl-enabled", 2, ControlEnabled}, {"ctl-style", 2, ControlStyle},
    {"ctl-rect", 2, ControlRect},   {"ctl-press", 2, ControlPress},
    {"ctl-send", 5, ControlSend},   {"modules", 1, Modules},
    {"process-usage", 1, ProcessUsage}, {"serial-waits", 1, SerialWaits},
    {"error-mode", 1, ErrorMode},   {"hold-file", 2, HoldFile},
    {"hold-mutex", 2, HoldMutex},   {"pipe-serve", 2, PipeServe},
    {"file-version", 1, FileVersion}, {"shortcut", 1, Shortcut},
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
