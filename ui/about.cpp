// The About box: the splash picture, the version and build time of the
// program, and its credits (UI thread).
#include <windows.h>

#include "app/app.h"
#include "app/instance.h"
#include "ui/resource.h"
#include "ui/ui.h"

namespace {

// Headed sections, separated by empty lines.
const char *const credits[] = {
    "Engineering",
    "    Player and serial link",
    "    Board driver libraries",
    "    Bench decoder",
    "",
    "Show control",
    "    Controller programming",
    "    Chapter authoring",
    "    Site commissioning",
    "",
    "Testing",
    "    Bench rig",
    "    Show trials",
    "",
    "Thanks",
    "    Every operator who reported a fault",
};

void AddLine(HWND list, const char *text)
{
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void FillAboutList(HWND list)
{
    AddLine(list, PRODUCT_NAME);
    AddLine(list, PRODUCT_VERSION);
    AddLine(list, __DATE__);
    AddLine(list, __TIME__);
    AddLine(list, "");
    for (const char *line : credits)
        AddLine(list, line);
}

}  // namespace

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        CentreWindow(dialog, NULL);
        FillAboutList(GetDlgItem(dialog, IDC_ABOUT_LIST));
        return FALSE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDOK && LOWORD(wParam) != IDCANCEL)
            return FALSE;
        EndDialog(dialog, 1);
        return TRUE;
    default:
        return FALSE;
    }
}
