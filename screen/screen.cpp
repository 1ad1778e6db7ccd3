// The board windows: one thread of the library creates a window per board,
// where SWmpeg.ini places it (full screen on a display, a window of its own,
// or a tile of the primary display), and paints each board's newest
// picture, scaled to fit with its aspect kept and black bars.  Painting
// takes only the board's lock; it never waits for a worker or the player.
#include <stdio.h>

#include <initializer_list>

#include "screen/swmpeg.h"

namespace {

#define BOARD_WINDOW_CLASS "SWmpegBoard"
#define BOARD_TITLE_SIZE 32
// Posted to a board window: the window thread ends.
#define WM_SCREEN_QUIT (WM_APP + 1)

struct ScreenThread {
    HANDLE thread;
    DWORD threadId;
    HANDLE ready;
    int boardCount;
    ScreenSetup setup;
};

ScreenThread screen;

// The displays attached, as full-screen rectangles of the virtual screen:
// the primary first, then the others in the order Windows lists them.
struct DisplayList {
    RECT areas[MOST_SCREEN_DISPLAYS];
    int count;
};

// Where a board's window goes and how it looks.
struct WindowPlace {
    RECT rect;
    DWORD style;
    DWORD exStyle;
};

// The worker scales each picture to the size it takes in the window, so it
// is painted pixel for pixel; only while the window is being resized, until
// the worker has caught up, is it stretched.
void PaintPicture(HDC dc, const RECT &client, const ScreenPicture &picture)
{
    RECT fit = FitRect(client, picture.aspect);
    int saved = SaveDC(dc);
    ExcludeClipRect(dc, fit.left, fit.top, fit.right, fit.bottom);
    FillRect(dc, &client, (HBRUSH)GetStockObject(BLACK_BRUSH));
    RestoreDC(dc, saved);
    BITMAPINFO info;
    ZeroMemory(&info, sizeof info);
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = picture.width;
    info.bmiHeader.biHeight = -picture.height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    int width = fit.right - fit.left, height = fit.bottom - fit.top;
    if (width == picture.width && height == picture.height) {
        SetDIBitsToDevice(dc, fit.left, fit.top, width, height, 0, 0, 0, picture.height, picture.pixels, &info,
                          DIB_RGB_COLORS);
        return;
    }
    SetStretchBltMode(dc, HALFTONE);
    SetBrushOrgEx(dc, 0, 0, NULL);
    StretchDIBits(dc, fit.left, fit.top, width, height, 0, 0, picture.width, picture.height, picture.pixels, &info,
                  DIB_RGB_COLORS, SRCCOPY);
}

void PaintBoard(HWND hwnd, Board *b)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd, &ps);
    RECT client;
    GetClientRect(hwnd, &client);
    if (b)
        EnterCriticalSection(&b->lock);
    if (b && b->showsPicture && !b->blank && b->front.pixels)
        PaintPicture(dc, client, b->front);
    else
        FillRect(dc, &client, (HBRUSH)GetStockObject(BLACK_BRUSH));
    if (b)
        LeaveCriticalSection(&b->lock);
    EndPaint(hwnd, &ps);
}

// Tells the board's worker the size its pictures take in the window.
void SetView(Board *b, int width, int height)
{
    b->viewWidth = width;
    b->viewHeight = height;
    b->resized = true;
    if (b->wake)
        SetEvent(b->wake);
}

LRESULT CALLBACK BoardWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Board *b = reinterpret_cast<Board *>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    switch (message) {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        PaintBoard(hwnd, b);
        return 0;
    case WM_SIZE:
        if (b)
            SetView(b, LOWORD(lParam), HIWORD(lParam));
        InvalidateRect(hwnd, NULL, FALSE);
        return 0;
    case WM_CLOSE:
        // A board's output stays open as long as the library runs.
        return 0;
    case WM_SCREEN_QUIT:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(hwnd, message, wParam, lParam);
    }
}

bool RegisterBoardClass(void)
{
    WNDCLASSA windowClass;
    ZeroMemory(&windowClass, sizeof windowClass);
    windowClass.lpfnWndProc = BoardWindowProc;
    windowClass.hInstance = LibraryInstance();
    windowClass.hCursor = LoadCursor(NULL, IDC_ARROW);
    windowClass.lpszClassName = BOARD_WINDOW_CLASS;
    return RegisterClassA(&windowClass) != 0;
}

BOOL CALLBACK ListDisplay(HMONITOR monitor, HDC, LPRECT, LPARAM parameter)
{
    DisplayList *list = reinterpret_cast<DisplayList *>(parameter);
    MONITORINFO info;
    info.cbSize = sizeof info;
    if (!GetMonitorInfoA(monitor, &info) || list->count == MOST_SCREEN_DISPLAYS)
        return TRUE;
    bool primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    int at = primary ? 0 : list->count;
    for (int i = list->count; i > at; i--)
        list->areas[i] = list->areas[i - 1];
    list->areas[at] = info.rcMonitor;
    list->count++;
    return TRUE;
}

void ListDisplays(DisplayList *list)
{
    list->count = 0;
    EnumDisplayMonitors(NULL, NULL, ListDisplay, reinterpret_cast<LPARAM>(list));
}

// A board on a display that is attached fills it.
bool ShownOnDisplay(const BoardPlacement &p, const DisplayList &displays)
{
    return p.place == PLACE_DISPLAY && p.display >= 1 && p.display <= displays.count;
}

bool Tiled(const BoardPlacement &p, const DisplayList &displays)
{
    return p.place == PLACE_TILE || (p.place == PLACE_DISPLAY && !ShownOnDisplay(p, displays));
}

// A grid of ceil(sqrt(n)) columns over the primary display's work area.
RECT TileOf(int board, int boardCount)
{
    RECT area;
    if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0))
        SetRect(&area, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    int columns = 1;
    while (columns * columns < boardCount)
        columns++;
    int rows = (boardCount + columns - 1) / columns;
    int width = (area.right - area.left) / columns;
    int height = (area.bottom - area.top) / rows;
    RECT tile;
    tile.left = area.left + board % columns * width;
    tile.top = area.top + board / columns * height;
    tile.right = tile.left + width;
    tile.bottom = tile.top + height;
    return tile;
}

// The tiles go to the boards placed as tiles, and to those whose display
// is not attached, in the order of their numbers.
WindowPlace PlaceOf(int board, const ScreenSetup &setup, const DisplayList &displays)
{
    const BoardPlacement &p = setup.placements[board];
    WindowPlace place;
    place.style = p.frame ? WS_OVERLAPPEDWINDOW : WS_POPUP;
    place.exStyle = p.topMost ? WS_EX_TOPMOST : 0;
    if (ShownOnDisplay(p, displays)) {
        place.rect = displays.areas[p.display - 1];
        place.style = WS_POPUP;
    } else if (p.place == PLACE_WINDOW) {
        SetRect(&place.rect, p.window.left, p.window.top, p.window.left + p.window.width,
                p.window.top + p.window.height);
    } else {
        int tile = 0;
        int tiles = 0;
        for (int i = 0; i < setup.boards; i++)
            if (Tiled(setup.placements[i], displays)) {
                tile += i < board;
                tiles++;
            }
        place.rect = TileOf(tile, tiles);
    }
    return place;
}

void CreateBoardWindows(const ScreenSetup &setup)
{
    DisplayList displays;
    ListDisplays(&displays);
    for (int i = 0; i < setup.boards; i++) {
        Board *b = BoardRecord(i);
        char title[BOARD_TITLE_SIZE];
        snprintf(title, sizeof title, "Board %d", i);
        WindowPlace place = PlaceOf(i, setup, displays);
        const RECT &r = place.rect;
        HWND hwnd = CreateWindowExA(place.exStyle, BOARD_WINDOW_CLASS, title, place.style, r.left, r.top,
                                    r.right - r.left, r.bottom - r.top, NULL, NULL, LibraryInstance(), NULL);
        if (!hwnd)
            continue;
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(b));
        b->window = hwnd;
        RECT client;
        GetClientRect(hwnd, &client);
        SetView(b, client.right, client.bottom);
    }
    // The boards always on top are shown last: a window system that stacks
    // a window it shows above all others (Wine's X11 driver without a window
    // manager) then keeps them on top as well.
    for (bool topMost : {false, true})
        for (int i = 0; i < setup.boards; i++)
            if (BoardRecord(i)->window && setup.placements[i].topMost == topMost)
                ShowWindow(BoardRecord(i)->window, SW_SHOWNOACTIVATE);
}

void DestroyBoardWindows(int boardCount)
{
    for (int i = 0; i < boardCount; i++) {
        Board *b = BoardRecord(i);
        if (b->window)
            DestroyWindow(b->window);
        b->window = NULL;
    }
}

DWORD WINAPI ScreenThreadMain(void *)
{
    bool registered = RegisterBoardClass();
    if (registered)
        CreateBoardWindows(screen.setup);
    SetEvent(screen.ready);
    if (!registered)
        return 1;
    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    DestroyBoardWindows(screen.boardCount);
    UnregisterClassA(BOARD_WINDOW_CLASS, LibraryInstance());
    return 0;
}

}  // namespace

bool StartScreen(const ScreenSetup *setup)
{
    screen.boardCount = setup->boards;
    screen.setup = *setup;
    screen.ready = CreateEventA(NULL, TRUE, FALSE, NULL);
    if (!screen.ready)
        return false;
    screen.thread = CreateThread(NULL, 0, ScreenThreadMain, NULL, 0, &screen.threadId);
    if (!screen.thread)
        return false;
    HANDLE waits[2] = {screen.ready, screen.thread};
    return WaitForMultipleObjects(2, waits, FALSE, THREAD_START_MS) == WAIT_OBJECT_0 && BoardRecord(0)->window;
}

void StopScreen(void)
{
    if (screen.thread) {
        HWND first = screen.boardCount > 0 ? BoardRecord(0)->window : NULL;
        // A message to a window reaches the thread even inside a modal loop
        // (a window being moved); without a window the thread's queue does.
        if (first)
            PostMessageA(first, WM_SCREEN_QUIT, 0, 0);
        else
            PostThreadMessageA(screen.threadId, WM_QUIT, 0, 0);
        // A thread that does not end in time is left running, never killed.
        if (WaitForSingleObject(screen.thread, THREAD_STOP_MS) == WAIT_OBJECT_0)
            CloseHandle(screen.thread);
        screen.thread = NULL;
    }
    if (screen.ready)
        CloseHandle(screen.ready);
    screen.ready = NULL;
    screen.boardCount = 0;
}

void RepaintBoard(Board *b)
{
    if (b->window)
        InvalidateRect(b->window, NULL, FALSE);
}
