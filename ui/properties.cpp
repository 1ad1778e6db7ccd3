// The property sheet: its three pages edit a copy of the settings, and OK
// has the player restart with the copy and save it (UI thread).
#include <windows.h>
#include <commctrl.h>
#include <prsht.h>

#include "app/app.h"
#include "app/instance.h"
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

// Creates the three pages over the copy; on a failure destroys those made
// and returns 0.
int CreatePages(HINSTANCE instance, Settings *copy, HPROPSHEETPAGE *pages)
{
    for (int i = 0; i < PROPERTY_PAGE_COUNT; i++) {
        PROPSHEETPAGEA page = {};
        page.dwSize = sizeof page;
        page.dwFlags = PSP_DEFAULT;
        page.hInstance = instance;
        page.pszTemplate = MAKEINTRESOURCEA(pageDescriptions[i].templateId);
        page.pfnDlgProc = pageDescriptions[i].proc;
        page.lParam = reinterpret_cast<LPARAM>(copy);
        pages[i] = CreatePropertySheetPageA(&page);
        if (!pages[i]) {
            while (i-- > 0)
                DestroyPropertySheetPage(pages[i]);
            return 0;
        }
    }
    return 1;
}

// Runs the sheet modally; above 0 when the user confirmed it with OK.
INT_PTR RunSheet(HWND hwnd, HINSTANCE instance, HPROPSHEETPAGE *pages)
{
    PROPSHEETHEADERA sheet = {};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_NOAPPLYNOW;
    sheet.hwndParent = hwnd;
    sheet.hInstance = instance;
    sheet.pszCaption = PROPERTIES_CAPTION;
    sheet.nPages = PROPERTY_PAGE_COUNT;
    sheet.nStartPage = 0;
    sheet.phpage = pages;
    return PropertySheetA(&sheet);
}

}  // namespace

int ShowProperties(HWND hwnd)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    if (!record)
        return 1;
    Settings copy = record->settings;
    HPROPSHEETPAGE pages[PROPERTY_PAGE_COUNT];
    INT_PTR result = CreatePages(record->hInstance, &copy, pages) ? RunSheet(hwnd, record->hInstance, pages) : -1;
    // A main window closed while the sheet ran has released its record.
    record = GetInstanceRecord(hwnd);
    if (record && result > 0)
        RestartWithSettings(hwnd, record, copy);
    SetTimer(hwnd, IDT_AUTOSCRIPT_POLL, AUTOSCRIPT_POLL_MS, NULL);
    return 1;
}
