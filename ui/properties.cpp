// The property sheet: its three pages edit a copy of the settings, and OK
// has the player restart with the copy and save it.  For screen boards a
// fourth page edits a copy of SWmpeg.ini, which OK writes before the
// restart (UI thread).
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>
#include <stdio.h>

#include "app/app.h"
#include "app/instance.h"
#include "board/board.h"
#include "ui/resource.h"
#include "ui/ui.h"

namespace {

struct PageDescription {
    int templateId;
    DLGPROC proc;
};

const PageDescription pageDescriptions[PROPERTY_PAGE_COUNT] = {
    {IDD_CONTROL_PAGE, ControlPageProc},
    {IDD_TRACE_PAGE, TracePageProc},
    {IDD_HRX_PAGE, HrxPageProc},
};

// The sheet that runs (one at a time, modal): the "Screens" page's copy
// and whether the page is in the sheet.
struct ScreensPageState {
    HINSTANCE instance;
    ScreensCopy *copy;
    bool shown;
};

ScreensPageState screensPage;

HPROPSHEETPAGE CreatePage(HINSTANCE instance, int templateId, DLGPROC proc, void *copy)
{
    PROPSHEETPAGEA page = {};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_DEFAULT;
    page.hInstance = instance;
    page.pszTemplate = MAKEINTRESOURCEA(templateId);
    page.pfnDlgProc = proc;
    page.lParam = reinterpret_cast<LPARAM>(copy);
    return CreatePropertySheetPageA(&page);
}

HPROPSHEETPAGE CreateScreensPage(void)
{
    return CreatePage(screensPage.instance, IDD_SCREENS_PAGE, ScreensPageProc, screensPage.copy);
}

// Creates the three pages over the copy; on a failure destroys those made
// and returns 0.
int CreatePages(HINSTANCE instance, Settings *copy, HPROPSHEETPAGE *pages)
{
    for (int i = 0; i < PROPERTY_PAGE_COUNT; i++) {
        pages[i] = CreatePage(instance, pageDescriptions[i].templateId, pageDescriptions[i].proc, copy);
        if (!pages[i]) {
            while (i-- > 0)
                DestroyPropertySheetPage(pages[i]);
            return 0;
        }
    }
    return 1;
}

// Runs the sheet modally; above 0 when the user confirmed it with OK.
INT_PTR RunSheet(HWND hwnd, HINSTANCE instance, HPROPSHEETPAGE *pages, int pageCount)
{
    PROPSHEETHEADERA sheet = {};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_NOAPPLYNOW;
    sheet.hwndParent = hwnd;
    sheet.hInstance = instance;
    sheet.pszCaption = PROPERTIES_CAPTION;
    sheet.nPages = pageCount;
    sheet.nStartPage = 0;
    sheet.phpage = pages;
    return PropertySheetA(&sheet);
}

// SWmpeg.ini beside the screen board library; false when its name is too
// long.
bool ScreenSetupPath(char *path, size_t size)
{
    char folder[MAX_PATH];
    return DriverLibraryFolder(BOARD_TYPE_SCREEN, folder, sizeof folder) &&
           snprintf(path, size, "%s%s", folder, SCREEN_SETUP_FILE) < (int)size;
}

// The pages over the copies, the "Screens" page with them for screen
// boards; the number made, 0 on a failure.
int CreateSheetPages(HINSTANCE instance, Settings *copy, HPROPSHEETPAGE *pages)
{
    screensPage.shown = false;
    if (!CreatePages(instance, copy, pages))
        return 0;
    if (copy->boardType != BOARD_TYPE_SCREEN)
        return PROPERTY_PAGE_COUNT;
    pages[SCREENS_PAGE_INDEX] = CreateScreensPage();
    screensPage.shown = pages[SCREENS_PAGE_INDEX] != NULL;
    return screensPage.shown ? PROPERTY_PAGE_COUNT + 1 : PROPERTY_PAGE_COUNT;
}

}  // namespace

void ShowScreensPage(HWND sheet, bool shown)
{
    if (!screensPage.copy || shown == screensPage.shown)
        return;
    if (!shown) {
        // The sheet destroys the page it takes away.
        SendMessageA(sheet, PSM_REMOVEPAGE, SCREENS_PAGE_INDEX, 0);
        screensPage.shown = false;
        return;
    }
    HPROPSHEETPAGE page = CreateScreensPage();
    if (page && SendMessageA(sheet, PSM_ADDPAGE, 0, reinterpret_cast<LPARAM>(page)))
        screensPage.shown = true;
    else if (page)
        DestroyPropertySheetPage(page);
}

int ShowProperties(HWND hwnd)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    if (!record)
        return 1;
    Settings copy = record->settings;
    ScreensCopy screens = {};
    char setupPath[MAX_PATH];
    bool setupKnown = ScreenSetupPath(setupPath, sizeof setupPath);
    ReadScreenSetup(setupKnown ? setupPath : NULL, &screens.setup);
    screensPage.instance = record->hInstance;
    screensPage.copy = &screens;
    HPROPSHEETPAGE pages[PROPERTY_PAGE_COUNT + 1];
    int pageCount = CreateSheetPages(record->hInstance, &copy, pages);
    INT_PTR result = pageCount ? RunSheet(hwnd, record->hInstance, pages, pageCount) : -1;
    screensPage.copy = NULL;
    // A main window closed while the sheet ran has released its record.
    record = GetInstanceRecord(hwnd);
    // The library reads SWmpeg.ini when the restart brings it up.
    if (record && result > 0 && copy.boardType == BOARD_TYPE_SCREEN && screens.edited && setupKnown)
        WriteScreenSetup(setupPath, &screens.setup);
    if (record && result > 0)
        RestartWithSettings(hwnd, record, copy);
    SetTimer(hwnd, IDT_AUTOSCRIPT_POLL, AUTOSCRIPT_POLL_MS, NULL);
    return 1;
}
