// The pages of the property sheet, "Control", "Trace" and ".hrx", and for
// screen boards "Screens": each shows the sheet's copy of the settings (of
// SWmpeg.ini for "Screens") and writes every change straight into it (UI
// thread).
#include <windows.h>
#include <prsht.h>
#include <stdio.h>
#include <string.h>

#include <initializer_list>

#include "app/instance.h"
#include "app/settings.h"
#include "app/text.h"
#include "board/mpegdrv.h"
#include "ui/browse.h"
#include "ui/resource.h"
#include "ui/ui.h"

namespace {

// A drop-down list's entries, in the order they are added, and the setting
// code each stands for.
struct ListEntry {
    const char *text;
    int32_t code;
};

struct ListTable {
    const ListEntry *entries;
    size_t count;
};

#define LIST_TABLE(entries) {entries, sizeof entries / sizeof entries[0]}

const ListEntry boardTypeEntries[] = {
    {BOARD_NAME_VIDEOPLEX, BOARD_TYPE_VIDEOPLEX},
    {BOARD_NAME_VIDEOQUEST, BOARD_TYPE_VIDEOQUEST},
    {BOARD_NAME_SCREEN, BOARD_TYPE_SCREEN}};
const ListEntry videoModeEntries[] = {
    {"NTSC_M", VIDEO_NTSC_M}, {"NTSC_443", VIDEO_NTSC_443}, {"PAL_M", VIDEO_PAL_M}, {"PAL_443", VIDEO_PAL_443}};
const ListEntry streamTypeEntries[] = {
    {"Video", STREAM_VIDEO}, {"Audio", STREAM_AUDIO}, {"System", STREAM_SYSTEM}, {"Transport", STREAM_TRANSPORT}};
const ListEntry outputEntries[] = {{"YUV", OUTPUT_YUV}, {"RGB", OUTPUT_RGB}};
const ListEntry syncEntries[] = {{"Int.", SYNC_INTERNAL}, {"Ext.", SYNC_EXTERNAL}};
const ListEntry protocolEntries[] = {{"Sony LDP", PROTOCOL_SONY_LDP}};
const ListEntry placeEntries[] = {{"Tile", PLACE_TILE}, {"Full screen", PLACE_DISPLAY}, {"Window", PLACE_WINDOW}};

const ListTable boardTypes = LIST_TABLE(boardTypeEntries);
const ListTable videoModes = LIST_TABLE(videoModeEntries);
const ListTable streamTypes = LIST_TABLE(streamTypeEntries);
const ListTable outputs = LIST_TABLE(outputEntries);
const ListTable syncs = LIST_TABLE(syncEntries);
const ListTable protocols = LIST_TABLE(protocolEntries);
const ListTable places = LIST_TABLE(placeEntries);

const char startUpImageTitle[] = "Start Up Image";
const char closeDownImageTitle[] = "Close Down Image";

// Each page keeps the address of the sheet's settings copy, given by its
// page description when it is initialised.
Settings *controlSettings;
Settings *traceSettings;
Settings *hrxSettings;
ScreensCopy *screensCopy;

Settings *SettingsOfPage(LPARAM initParam)
{
    const PROPSHEETPAGEA *page = reinterpret_cast<const PROPSHEETPAGEA *>(initParam);
    return page ? reinterpret_cast<Settings *>(page->lParam) : NULL;
}

void FillList(HWND page, int id, const ListTable &table)
{
    for (size_t i = 0; i < table.count; i++)
        SendDlgItemMessageA(page, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(table.entries[i].text));
}

// Selects the entry whose text is exactly text; none when there is none.
// Setting the selection sends no change notification.
void SelectText(HWND page, int id, const char *text)
{
    LRESULT index = SendDlgItemMessageA(page, id, CB_FINDSTRINGEXACT, (WPARAM)-1, reinterpret_cast<LPARAM>(text));
    SendDlgItemMessageA(page, id, CB_SETCURSEL, index == CB_ERR ? (WPARAM)-1 : (WPARAM)index, 0);
}

void SelectCode(HWND page, int id, const ListTable &table, int32_t code)
{
    for (size_t i = 0; i < table.count; i++)
        if (table.entries[i].code == code) {
            SelectText(page, id, table.entries[i].text);
            return;
        }
}

// The selected entry's text; 0 when nothing is selected or it does not fit.
int SelectedText(HWND page, int id, char *text, size_t size)
{
    LRESULT index = SendDlgItemMessageA(page, id, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return 0;
    LRESULT length = SendDlgItemMessageA(page, id, CB_GETLBTEXTLEN, (WPARAM)index, 0);
    if (length == CB_ERR || (size_t)length >= size)
        return 0;
    return SendDlgItemMessageA(page, id, CB_GETLBTEXT, (WPARAM)index, reinterpret_cast<LPARAM>(text)) != CB_ERR;
}

// The code of the selected entry, compared exactly, letter case included.
int SelectedCode(HWND page, int id, const ListTable &table, int32_t *code)
{
    char text[TEXT_FIELD_SIZE];
    if (!SelectedText(page, id, text, sizeof text))
        return 0;
    for (size_t i = 0; i < table.count; i++)
        if (strcmp(text, table.entries[i].text) == 0) {
            *code = table.entries[i].code;
            return 1;
        }
    return 0;
}

void ShowEdit(HWND page, int id, const char *text)
{
    SendDlgItemMessageA(page, id, EM_LIMITTEXT, TEXT_FIELD_SIZE - 1, 0);
    SetDlgItemTextA(page, id, text);
}

// Copies an edit's text, at most 255 characters, into its setting.
void ReadEdit(HWND page, int id, char *setting)
{
    GetDlgItemTextA(page, id, setting, TEXT_FIELD_SIZE);
}

// -- "Control" ---------------------------------------------------------------

void EnableOutput(HWND page, const Settings *s)
{
    EnableWindow(GetDlgItem(page, IDC_OUTPUT), TRUE);
    SelectText(page, IDC_OUTPUT, s->outputStd == OUTPUT_RGB ? "RGB" : "YUV");
}

void InitControlPage(HWND page, const Settings *s)
{
    FillList(page, IDC_BOARD_TYPE, boardTypes);
    SelectCode(page, IDC_BOARD_TYPE, boardTypes, s->boardType);
    FillList(page, IDC_VIDEO_STANDARD, videoModes);
    SelectCode(page, IDC_VIDEO_STANDARD, videoModes, s->videoMode);
    FillList(page, IDC_STREAM_TYPE, streamTypes);
    SelectCode(page, IDC_STREAM_TYPE, streamTypes, s->streamType);
    FillList(page, IDC_OUTPUT, outputs);
    if (s->boardType == BOARD_TYPE_VIDEOQUEST)
        EnableOutput(page, s);
    else
        EnableWindow(GetDlgItem(page, IDC_OUTPUT), FALSE);
    FillList(page, IDC_SYNC, syncs);
    SelectText(page, IDC_SYNC, s->syncMode == SYNC_INTERNAL ? "Int." : "Ext.");
    ShowEdit(page, IDC_STARTUP_IMAGE, s->startUpImage);
    ShowEdit(page, IDC_CLOSE_IMAGE, s->closeDownImage);
}

// Switching the board type keeps outputStd: only VideoQuest boards choose
// their output; the others only hide it.
void BoardTypeChanged(HWND page, Settings *s)
{
    int32_t type;
    if (!SelectedCode(page, IDC_BOARD_TYPE, boardTypes, &type))
        return;
    s->boardType = type;
    if (type == BOARD_TYPE_VIDEOQUEST)
        EnableOutput(page, s);
    else
        EnableWindow(GetDlgItem(page, IDC_OUTPUT), FALSE);
    ShowScreensPage(GetParent(page), type == BOARD_TYPE_SCREEN);
}

void BrowseImageInto(HWND page, const char *title, Settings *s, char *setting, int edit)
{
    if (BrowseImage(page, title, s->boardType, setting))
        SetDlgItemTextA(page, edit, setting);
}

void ControlPageCommand(HWND page, Settings *s, int id, int code)
{
    switch (id) {
    case IDC_BOARD_TYPE:
        if (code == CBN_SELCHANGE)
            BoardTypeChanged(page, s);
        break;
    case IDC_VIDEO_STANDARD:
        if (code == CBN_SELCHANGE)
            SelectedCode(page, id, videoModes, &s->videoMode);
        break;
    case IDC_STREAM_TYPE:
        if (code == CBN_SELCHANGE)
            SelectedCode(page, id, streamTypes, &s->streamType);
        break;
    case IDC_OUTPUT:
        if (code == CBN_SELCHANGE)
            SelectedCode(page, id, outputs, &s->outputStd);
        break;
    case IDC_SYNC:
        if (code == CBN_SELCHANGE)
            SelectedCode(page, id, syncs, &s->syncMode);
        break;
    case IDC_STARTUP_IMAGE:
        if (code == EN_CHANGE)
            ReadEdit(page, id, s->startUpImage);
        break;
    case IDC_CLOSE_IMAGE:
        if (code == EN_CHANGE)
            ReadEdit(page, id, s->closeDownImage);
        break;
    case IDC_STARTUP_BROWSE:
        if (code == BN_CLICKED)
            BrowseImageInto(page, startUpImageTitle, s, s->startUpImage, IDC_STARTUP_IMAGE);
        break;
    case IDC_CLOSE_BROWSE:
        if (code == BN_CLICKED)
            BrowseImageInto(page, closeDownImageTitle, s, s->closeDownImage, IDC_CLOSE_IMAGE);
        break;
    default:
        break;
    }
}

// -- "Trace" -----------------------------------------------------------------

void InitTracePage(HWND page, const Settings *s)
{
    char size[16];
    snprintf(size, sizeof size, "%d", (int)s->traceSize);
    ShowEdit(page, IDC_TRACE_FILE, s->traceFile);
    ShowEdit(page, IDC_TRACE_SIZE, size);
}

// The size is taken at every keystroke; an empty field gives 0.
void ReadTraceSize(HWND page, Settings *s)
{
    char text[TEXT_FIELD_SIZE];
    GetDlgItemTextA(page, IDC_TRACE_SIZE, text, sizeof text);
    s->traceSize = (int32_t)ParseLeadingNumber(text);
}

void TracePageCommand(HWND page, Settings *s, int id, int code)
{
    switch (id) {
    case IDC_TRACE_FILE:
        if (code == EN_CHANGE)
            ReadEdit(page, id, s->traceFile);
        break;
    case IDC_TRACE_SIZE:
        if (code == EN_CHANGE)
            ReadTraceSize(page, s);
        break;
    case IDC_TRACE_BROWSE:
        if (code == BN_CLICKED && BrowseTraceFile(page, s->traceFile))
            SetDlgItemTextA(page, IDC_TRACE_FILE, s->traceFile);
        break;
    default:
        break;
    }
}

// -- ".hrx" ------------------------------------------------------------------

void InitHrxPage(HWND page, const Settings *s)
{
    char number[16];
    for (int port = 1; port <= COM_ID_MAX; port++) {
        snprintf(number, sizeof number, "%d", port);
        SendDlgItemMessageA(page, IDC_COM_PORT, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(number));
    }
    snprintf(number, sizeof number, "%d", (int)s->comId);
    SelectText(page, IDC_COM_PORT, number);
    ShowEdit(page, IDC_CHAPTER_FILTER, s->defaultMpeg);
    FillList(page, IDC_PROTOCOL, protocols);
    SelectCode(page, IDC_PROTOCOL, protocols, s->protocol);
}

void ReadComPort(HWND page, Settings *s)
{
    char text[TEXT_FIELD_SIZE];
    if (SelectedText(page, IDC_COM_PORT, text, sizeof text))
        s->comId = (int32_t)ParseLeadingNumber(text);
}

void HrxPageCommand(HWND page, Settings *s, int id, int code)
{
    switch (id) {
    case IDC_COM_PORT:
        if (code == CBN_SELCHANGE)
            ReadComPort(page, s);
        break;
    case IDC_PROTOCOL:
        if (code == CBN_SELCHANGE)
            SelectedCode(page, id, protocols, &s->protocol);
        break;
    case IDC_CHAPTER_FILTER:
        if (code == EN_CHANGE)
            ReadEdit(page, id, s->defaultMpeg);
        break;
    case IDC_CHAPTER_BROWSE:
        if (code == BN_CLICKED && BrowseChapterFilter(page, s->defaultMpeg))
            SetDlgItemTextA(page, IDC_CHAPTER_FILTER, s->defaultMpeg);
        break;
    default:
        break;
    }
}

// -- "Screens" ---------------------------------------------------------------

// Set while the page fills its fields itself: their change notifications
// are no edits.
bool fillingScreens;

// The numbers 1 to count as a list's entries.
void FillNumbers(HWND page, int id, int count)
{
    char number[16];
    SendDlgItemMessageA(page, id, CB_RESETCONTENT, 0, 0);
    for (int n = 1; n <= count; n++) {
        snprintf(number, sizeof number, "%d", n);
        SendDlgItemMessageA(page, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(number));
    }
}

void SelectNumber(HWND page, int id, int n)
{
    char number[16];
    snprintf(number, sizeof number, "%d", n);
    SelectText(page, id, number);
}

void ShowNumber(HWND page, int id, int n)
{
    char number[16];
    snprintf(number, sizeof number, "%d", n);
    SetDlgItemTextA(page, id, number);
}

// The board whose placement the page shows.
int ShownBoard(HWND page)
{
    LRESULT index = SendDlgItemMessageA(page, IDC_SCREEN_BOARD, CB_GETCURSEL, 0, 0);
    return index == CB_ERR || index >= MPEG_MAX_BOARDS ? 0 : (int)index;
}

// A full-screen board has no frame and no window of its own; only a
// full-screen board names a display.
void EnablePlacement(HWND page, BoardPlace place)
{
    EnableWindow(GetDlgItem(page, IDC_SCREEN_DISPLAY), place == PLACE_DISPLAY);
    for (int id : {IDC_SCREEN_LEFT, IDC_SCREEN_TOP, IDC_SCREEN_WIDTH, IDC_SCREEN_HEIGHT})
        EnableWindow(GetDlgItem(page, id), place == PLACE_WINDOW);
    EnableWindow(GetDlgItem(page, IDC_SCREEN_FRAME), place != PLACE_DISPLAY);
}

void ShowPlacement(HWND page, const BoardPlacement &p)
{
    fillingScreens = true;
    SelectCode(page, IDC_SCREEN_PLACE, places, p.place);
    SelectNumber(page, IDC_SCREEN_DISPLAY, p.display);
    ShowNumber(page, IDC_SCREEN_LEFT, p.window.left);
    ShowNumber(page, IDC_SCREEN_TOP, p.window.top);
    ShowNumber(page, IDC_SCREEN_WIDTH, p.window.width);
    ShowNumber(page, IDC_SCREEN_HEIGHT, p.window.height);
    CheckDlgButton(page, IDC_SCREEN_FRAME, p.frame ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(page, IDC_SCREEN_TOPMOST, p.topMost ? BST_CHECKED : BST_UNCHECKED);
    EnablePlacement(page, p.place);
    fillingScreens = false;
}

// The board list holds "Board 0" to the last board; the board shown stays
// when it still exists.
void FillBoards(HWND page, const ScreensCopy *c)
{
    int shown = ShownBoard(page);
    char name[16];
    SendDlgItemMessageA(page, IDC_SCREEN_BOARD, CB_RESETCONTENT, 0, 0);
    for (int board = 0; board < c->setup.boards; board++) {
        snprintf(name, sizeof name, "Board %d", board);
        SendDlgItemMessageA(page, IDC_SCREEN_BOARD, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
    if (shown >= c->setup.boards)
        shown = c->setup.boards - 1;
    SendDlgItemMessageA(page, IDC_SCREEN_BOARD, CB_SETCURSEL, (WPARAM)shown, 0);
    ShowPlacement(page, c->setup.placements[shown]);
}

void InitScreensPage(HWND page, ScreensCopy *c)
{
    FillNumbers(page, IDC_SCREEN_BOARDS, MPEG_MAX_BOARDS);
    SelectNumber(page, IDC_SCREEN_BOARDS, c->setup.boards);
    FillList(page, IDC_SCREEN_PLACE, places);
    FillNumbers(page, IDC_SCREEN_DISPLAY, MOST_SCREEN_DISPLAYS);
    FillBoards(page, c);
}

void ReadBoards(HWND page, ScreensCopy *c)
{
    char text[TEXT_FIELD_SIZE];
    if (!SelectedText(page, IDC_SCREEN_BOARDS, text, sizeof text))
        return;
    c->setup.boards = (int)ParseLeadingNumber(text);
    FillBoards(page, c);
}

void ReadDisplay(HWND page, BoardPlacement *p)
{
    char text[TEXT_FIELD_SIZE];
    if (SelectedText(page, IDC_SCREEN_DISPLAY, text, sizeof text))
        p->display = (int)ParseLeadingNumber(text);
}

// An empty field gives 0.
int ReadNumber(HWND page, int id)
{
    char text[TEXT_FIELD_SIZE];
    GetDlgItemTextA(page, id, text, sizeof text);
    return (int)ParseLeadingNumber(text);
}

void ReadPlace(HWND page, BoardPlacement *p)
{
    int32_t place;
    if (!SelectedCode(page, IDC_SCREEN_PLACE, places, &place))
        return;
    p->place = (BoardPlace)place;
    EnablePlacement(page, p->place);
}

// Each change goes into the copy of the board shown; true when it was one.
bool ScreensChange(HWND page, ScreensCopy *c, int id, int code)
{
    BoardPlacement *p = &c->setup.placements[ShownBoard(page)];
    switch (id) {
    case IDC_SCREEN_BOARDS:
        if (code == CBN_SELCHANGE)
            ReadBoards(page, c);
        return code == CBN_SELCHANGE;
    case IDC_SCREEN_BOARD:
        if (code == CBN_SELCHANGE)
            ShowPlacement(page, c->setup.placements[ShownBoard(page)]);
        return false;
    case IDC_SCREEN_PLACE:
        if (code == CBN_SELCHANGE)
            ReadPlace(page, p);
        return code == CBN_SELCHANGE;
    case IDC_SCREEN_DISPLAY:
        if (code == CBN_SELCHANGE)
            ReadDisplay(page, p);
        return code == CBN_SELCHANGE;
    case IDC_SCREEN_LEFT:
    case IDC_SCREEN_TOP:
    case IDC_SCREEN_WIDTH:
    case IDC_SCREEN_HEIGHT:
        if (code != EN_CHANGE)
            return false;
        p->window = BoardWindowRect{ReadNumber(page, IDC_SCREEN_LEFT), ReadNumber(page, IDC_SCREEN_TOP),
                                    ReadNumber(page, IDC_SCREEN_WIDTH), ReadNumber(page, IDC_SCREEN_HEIGHT)};
        return true;
    case IDC_SCREEN_FRAME:
        if (code == BN_CLICKED)
            p->frame = IsDlgButtonChecked(page, id) == BST_CHECKED;
        return code == BN_CLICKED;
    case IDC_SCREEN_TOPMOST:
        if (code == BN_CLICKED)
            p->topMost = IsDlgButtonChecked(page, id) == BST_CHECKED;
        return code == BN_CLICKED;
    default:
        return false;
    }
}

void ScreensPageCommand(HWND page, ScreensCopy *c, int id, int code)
{
    if (!fillingScreens && ScreensChange(page, c, id, code))
        c->edited = true;
}

// The message switch shared by the three pages.
INT_PTR PageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam, Settings **settings,
                 void (*init)(HWND, const Settings *), void (*command)(HWND, Settings *, int, int))
{
    switch (msg) {
    case WM_INITDIALOG:
        *settings = SettingsOfPage(lParam);
        if (*settings)
            init(page, *settings);
        return TRUE;
    case WM_COMMAND:
        if (*settings)
            command(page, *settings, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

INT_PTR CALLBACK ControlPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return PageProc(page, msg, wParam, lParam, &controlSettings, InitControlPage, ControlPageCommand);
}

INT_PTR CALLBACK TracePageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return PageProc(page, msg, wParam, lParam, &traceSettings, InitTracePage, TracePageCommand);
}

INT_PTR CALLBACK HrxPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam)
{
    return PageProc(page, msg, wParam, lParam, &hrxSettings, InitHrxPage, HrxPageCommand);
}

INT_PTR CALLBACK ScreensPageProc(HWND page, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG: {
        const PROPSHEETPAGEA *sheetPage = reinterpret_cast<const PROPSHEETPAGEA *>(lParam);
        screensCopy = sheetPage ? reinterpret_cast<ScreensCopy *>(sheetPage->lParam) : NULL;
        if (screensCopy)
            InitScreensPage(page, screensCopy);
        return TRUE;
    }
    case WM_COMMAND:
        if (screensCopy)
            ScreensPageCommand(page, screensCopy, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}
