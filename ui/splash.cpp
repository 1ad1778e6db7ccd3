// The splash window: bitmap IDB_SPLASH in its own palette, shown from
// start-up until its timer has run out (UI thread).
#include <windows.h>

#include "app/app.h"
#include "app/instance.h"
#include "ui/resource.h"
#include "ui/ui.h"

#define PALETTE_SIZE 256
#define PALETTE_VERSION 0x300

namespace {

struct Palette256 {
    WORD version;
    WORD count;
    PALETTEENTRY entries[PALETTE_SIZE];
};

HINSTANCE OwnerInstance(HWND dialog)
{
    const InstanceRecord *record = GetInstanceRecord(GetWindow(dialog, GW_OWNER));
    return record ? record->hInstance : NULL;
}

// A 256-entry logical palette of the colour table of the bitmap selected
// into memory; entries beyond the table are black.
HPALETTE PaletteOfColourTable(HDC memory)
{
    RGBQUAD colours[PALETTE_SIZE] = {};
    GetDIBColorTable(memory, 0, PALETTE_SIZE, colours);
    Palette256 palette = {};
    palette.version = PALETTE_VERSION;
    palette.count = PALETTE_SIZE;
    for (int i = 0; i < PALETTE_SIZE; i++) {
        palette.entries[i].peRed = colours[i].rgbRed;
        palette.entries[i].peGreen = colours[i].rgbGreen;
        palette.entries[i].peBlue = colours[i].rgbBlue;
        palette.entries[i].peFlags = 0;
    }
    return CreatePalette(reinterpret_cast<LOGPALETTE *>(&palette));
}

// Copies the bitmap, loaded anew, to the window's top left corner; a
// bitmap of at most 8 bits per pixel brings its own palette.
void PaintBitmap(HWND dialog, HDC dc)
{
    HINSTANCE instance = OwnerInstance(dialog);
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDB_SPLASH), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap)
        return;
    HDC memory = CreateCompatibleDC(dc);
    if (!memory) {
        DeleteObject(bitmap);
        return;
    }
    SelectObject(memory, bitmap);
    SetMapMode(memory, GetMapMode(dc));
    BITMAP info = {};
    GetObjectA(bitmap, sizeof info, &info);
    HPALETTE palette = NULL, previous = NULL;
    if (info.bmPlanes * info.bmBitsPixel <= 8) {
        palette = PaletteOfColourTable(memory);
        if (palette) {
            previous = SelectPalette(dc, palette, FALSE);
            RealizePalette(dc);
        }
    }
    POINT size = {info.bmWidth, info.bmHeight};
    DPtoLP(dc, &size, 1);
    POINT origin = {0, 0};
    DPtoLP(memory, &origin, 1);
    BitBlt(dc, 0, 0, size.x, size.y, memory, origin.x, origin.y, SRCCOPY);
    DeleteDC(memory);
    DeleteObject(bitmap);
    if (palette) {
        SelectPalette(dc, previous, FALSE);
        DeleteObject(palette);
    }
}

void PaintSplash(HWND dialog)
{
    PAINTSTRUCT paint;
    BeginPaint(dialog, &paint);
    HDC dc = GetDC(dialog);
    if (dc) {
        PaintBitmap(dialog, dc);
        ReleaseDC(dialog, dc);
    }
    EndPaint(dialog, &paint);
}

}  // namespace

int ShowSplash(HWND hwnd)
{
    const InstanceRecord *record = GetInstanceRecord(hwnd);
    if (record)
        CreateDialogParamA(record->hInstance, MAKEINTRESOURCEA(IDD_SPLASH), hwnd, SplashDialogProc, 0);
    return 1;
}

INT_PTR CALLBACK SplashDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        CentreWindow(dialog, NULL);
        SetTimer(dialog, IDT_SPLASH, SPLASH_MS, NULL);
        return FALSE;
    case WM_TIMER:
        if (wParam != IDT_SPLASH)
            return FALSE;
        KillTimer(dialog, IDT_SPLASH);
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        EndDialog(dialog, 1);
        return TRUE;
    case WM_PAINT:
        PaintSplash(dialog);
        return FALSE;
    default:
        return FALSE;
    }
}
