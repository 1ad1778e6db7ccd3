// The dialog templates and the splash bitmap as compiled into the program:
// every control in template order with its class, id, text and style, laid
// out in the dialog units of the dialogs' font; the fonts, captions and
// styles.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "ui/resource.h"
#include "ui_fixture.h"

namespace {

enum Shape {
    EXACT,    // the window's rectangle is the template's
    LIST,     // its height is the font's (a closed drop-down list) or a
              // whole number of lines (a list box)
    PICTURE,  // a bitmap shown at its own size, centred in the rectangle
};

struct ControlRow {
    int line;
    const char *cls;
    const char *text;
    int id;
    DWORD typeMask;  // (template style & typeMask) == type
    DWORD type;
    DWORD on;        // template style bits that must be set
    DWORD off;       // and must not
    Shape shape;
};

#define ROW(...) {__LINE__, __VA_ARGS__}
#define SORTED_LIST(id) ROW("ComboBox", "", id, 0x3, CBS_DROPDOWNLIST, CBS_SORT | WS_VSCROLL | WS_TABSTOP, 0, LIST)
#define LABEL(text) ROW("Static", text, IDC_STATIC, SS_TYPEMASK, SS_LEFT, 0, 0, EXACT)
#define TEXT_FIELD(id) ROW("Static", "Static", id, SS_TYPEMASK, SS_LEFT, 0, 0, EXACT)
#define EDIT(id, on, off) ROW("Edit", "", id, 0, 0, (on) | ES_AUTOHSCROLL, off, EXACT)
#define BROWSE(id) ROW("Button", "Browse...", id, BS_TYPEMASK, BS_PUSHBUTTON, WS_TABSTOP, 0, EXACT)
#define GROUP(text) ROW("Button", text, IDC_STATIC, BS_TYPEMASK, BS_GROUPBOX, 0, 0, EXACT)

const ControlRow controlPage[] = {
    GROUP("Board Setting"),  LABEL("Type"),        SORTED_LIST(IDC_BOARD_TYPE),
    LABEL("Standard"),       SORTED_LIST(IDC_VIDEO_STANDARD),
    LABEL("Output"),         SORTED_LIST(IDC_OUTPUT),
    LABEL("Sync"),           SORTED_LIST(IDC_SYNC),
    LABEL("Stream Type"),    SORTED_LIST(IDC_STREAM_TYPE),
    GROUP("Image Control"),
    LABEL("Start Up Image"), EDIT(IDC_STARTUP_IMAGE, 0, ES_NUMBER), BROWSE(IDC_STARTUP_BROWSE),
    LABEL("Close Image"),    EDIT(IDC_CLOSE_IMAGE, 0, ES_NUMBER),   BROWSE(IDC_CLOSE_BROWSE),
};

const ControlRow tracePage[] = {
    LABEL("Output File"), EDIT(IDC_TRACE_FILE, 0, ES_NUMBER), BROWSE(IDC_TRACE_BROWSE),
    LABEL("Size"),        EDIT(IDC_TRACE_SIZE, ES_NUMBER, 0),
};

const ControlRow hrxPage[] = {
    LABEL("Com Port ID"),
    ROW("ComboBox", "", IDC_COM_PORT, 0x3, CBS_DROPDOWNLIST, WS_VSCROLL | WS_TABSTOP, CBS_SORT, LIST),
    LABEL("Chapter Filter"), EDIT(IDC_CHAPTER_FILTER, 0, ES_NUMBER), BROWSE(IDC_CHAPTER_BROWSE),
    LABEL("Protocol"),       SORTED_LIST(IDC_PROTOCOL),
};

const ControlRow aboutBox[] = {
    ROW("Static", "", IDC_STATIC, SS_TYPEMASK, SS_BITMAP, SS_CENTERIMAGE | SS_SUNKEN, 0, PICTURE),
    ROW("ListBox", "", IDC_ABOUT_LIST, 0, 0, LBS_NOSEL | WS_VSCROLL | WS_BORDER,
        LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL, LIST),
    ROW("Button", "OK", IDOK, BS_TYPEMASK, BS_DEFPUSHBUTTON, 0, 0, EXACT),
};

const ControlRow progressDialog[] = {
    TEXT_FIELD(IDC_PROGRESS_FILE),
    TEXT_FIELD(IDC_PROGRESS_FROM_TO),
    ROW("msctls_progress32", "", IDC_PROGRESS_BAR, 0, 0, 0, 0, EXACT),
    ROW("Button", "Cancel", IDCANCEL, BS_TYPEMASK, BS_DEFPUSHBUTTON, 0, 0, EXACT),
    TEXT_FIELD(IDC_PROGRESS_ESTIMATE),
};

struct TemplateRow {
    int line;
    int id;
    const char *caption;
    DWORD on, off;
    const ControlRow *controls;
    size_t count;
};

#define TEMPLATE(id, caption, on, off, rows) \
    {__LINE__, id, caption, on, off, rows, rows ? sizeof rows / sizeof(ControlRow) : 0}

const ControlRow *const noControls = NULL;
const DWORD frameStyles = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
const DWORD pageStyles = WS_CHILD | WS_CAPTION;

const TemplateRow templates[] = {
    TEMPLATE(IDD_CONTROL_PAGE, "Control", pageStyles, WS_POPUP, controlPage),
    TEMPLATE(IDD_TRACE_PAGE, "Trace", pageStyles, WS_POPUP, tracePage),
    TEMPLATE(IDD_HRX_PAGE, ".hrx", pageStyles, WS_POPUP, hrxPage),
    {__LINE__, IDD_SPLASH, "", WS_POPUP | WS_VISIBLE, WS_CAPTION | WS_BORDER | DS_MODALFRAME, noControls, 0},
    TEMPLATE(IDD_ABOUT, "About Halcyra.hrx", frameStyles, WS_CHILD, aboutBox),
    TEMPLATE(IDD_PROGRESS, "Dialog", frameStyles, WS_CHILD, progressDialog),
};

INT_PTR CALLBACK InertDialogProc(HWND, UINT, WPARAM, LPARAM)
{
    return FALSE;
}

// A control's position and its size are converted each on its own, as the
// dialog manager does: right is left + width in pixels.
RECT DialogUnitsToPixels(HWND dialog, RECT dlu)
{
    RECT r = dlu;
    MapDialogRect(dialog, &r);
    return RECT{r.left, r.top, r.left + r.right, r.top + r.bottom};
}

RECT RectInDialog(HWND dialog, HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(NULL, dialog, reinterpret_cast<POINT *>(&r), 2);
    return r;
}

std::vector<HWND> ChildrenInOrder(HWND dialog)
{
    std::vector<HWND> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    return children;
}

// The template as the resource holds it: the dialog manager changes some
// styles of the windows it makes (borders become edges, a list box shows
// its scroll bar only when needed), so styles and sizes are read here.
struct TemplateItem {
    DWORD style;
    RECT dlu;  // x, y, width, height
};

struct DialogTemplateData {
    DWORD style;
    RECT dlu;  // 0, 0, width, height
    WORD pointSize;
    std::string face;
    std::vector<TemplateItem> items;
};

const WORD *SkipNameOrOrdinal(const WORD *p)
{
    if (*p == 0xFFFF)
        return p + 2;
    while (*p)
        p++;
    return p + 1;
}

const WORD *AlignToDword(const WORD *p, const void *base)
{
    size_t offset = (size_t)(reinterpret_cast<const BYTE *>(p) - static_cast<const BYTE *>(base));
    return reinterpret_cast<const WORD *>(static_cast<const BYTE *>(base) + ((offset + 3) & ~(size_t)3));
}

DialogTemplateData ReadTemplate(int id)
{
    DialogTemplateData data = {};
    HRSRC resource = FindResourceA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
    const void *base = LockResource(LoadResource(GetModuleHandleA(NULL), resource));
    if (!base)
        return data;
    const DLGTEMPLATE *dialog = static_cast<const DLGTEMPLATE *>(base);
    data.style = dialog->style;
    data.dlu = RECT{0, 0, dialog->cx, dialog->cy};
    const WORD *p = reinterpret_cast<const WORD *>(dialog + 1);
    p = SkipNameOrOrdinal(SkipNameOrOrdinal(SkipNameOrOrdinal(p)));  // menu, class, title
    if (dialog->style & DS_SETFONT) {
        data.pointSize = *p++;
        for (; *p; p++)
            data.face += (char)*p;
        p++;
    }
    for (WORD i = 0; i < dialog->cdit; i++) {
        const DLGITEMTEMPLATE *item = reinterpret_cast<const DLGITEMTEMPLATE *>(AlignToDword(p, base));
        data.items.push_back({item->style, {item->x, item->y, item->cx, item->cy}});
        p = SkipNameOrOrdinal(SkipNameOrOrdinal(reinterpret_cast<const WORD *>(item + 1)));
        WORD extra = *p++;
        p = reinterpret_cast<const WORD *>(reinterpret_cast<const BYTE *>(p) + extra);
    }
    return data;
}

void CheckControl(HWND dialog, HWND control, const TemplateItem &item, const ControlRow &row, size_t index)
{
    SCOPED_TRACE(testing::Message() << "control " << index << " (id " << row.id << ") at line " << row.line);
    char cls[64] = "";
    GetClassNameA(control, cls, sizeof cls);
    EXPECT_STRCASEEQ(cls, row.cls);
    EXPECT_EQ((WORD)GetDlgCtrlID(control), (WORD)row.id);
    if (row.shape != PICTURE) {
        EXPECT_EQ(WindowTextOf(control), row.text);
    }
    EXPECT_EQ(item.style & row.typeMask, row.type);
    EXPECT_EQ(item.style & row.on, row.on);
    EXPECT_EQ(item.style & row.off, 0u);

    RECT expected = DialogUnitsToPixels(dialog, item.dlu), actual = RectInDialog(dialog, control);
    EXPECT_EQ(actual.left, expected.left);
    EXPECT_EQ(actual.top, expected.top);
    switch (row.shape) {
    case EXACT:
        EXPECT_EQ(actual.right, expected.right);
        EXPECT_EQ(actual.bottom, expected.bottom);
        break;
    case LIST:
        EXPECT_EQ(actual.right, expected.right);
        break;
    case PICTURE: {
        EXPECT_EQ(actual.right, expected.right);
        EXPECT_EQ(actual.bottom, expected.bottom);
        RECT client;
        GetClientRect(control, &client);
        EXPECT_GE(client.right, 311);
        EXPECT_GE(client.bottom, 179);
        break;
    }
    }
}

TEST(Templates, EveryControlInPlaceWithItsStyleAndTheDialogsInTheirFont)
{
    RecordWindow main = CreateTestMainWindow();
    HDC screen = GetDC(NULL);
    int fontHeight = -MulDiv(8, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(NULL, screen);
    for (const TemplateRow &t : templates) {
        SCOPED_TRACE(testing::Message() << "template at line " << t.line);
        DialogTemplateData data = ReadTemplate(t.id);
        EXPECT_EQ(data.style & t.on, t.on);
        EXPECT_EQ(data.style & t.off, 0u);
        EXPECT_EQ(data.pointSize, 8);
        EXPECT_EQ(data.face, "MS Sans Serif");
        ASSERT_EQ(data.items.size(), t.count);

        HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(t.id), main.hwnd, InertDialogProc, 0);
        ASSERT_TRUE(dialog != NULL);
        EXPECT_EQ(WindowTextOf(dialog), t.caption);
        LOGFONTA font = {};
        GetObjectA(reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_STREQ(font.lfFaceName, "MS Sans Serif");
        EXPECT_EQ(font.lfHeight, fontHeight);

        RECT client, size = DialogUnitsToPixels(dialog, data.dlu);
        GetClientRect(dialog, &client);
        EXPECT_EQ(client.right, size.right);
        EXPECT_EQ(client.bottom, size.bottom);

        std::vector<HWND> children = ChildrenInOrder(dialog);
        ASSERT_EQ(children.size(), t.count);
        for (size_t i = 0; i < t.count; i++)
            CheckControl(dialog, children[i], data.items[i], t.controls[i], i);
        DestroyWindow(dialog);
    }
    DestroyTestMainWindow(main);
}

// With the usual dialog font the splash window is exactly its picture.
TEST(Templates, SplashTemplateHasTheSizeOfItsBitmap)
{
    HWND dialog = CreateDialogParamA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDD_SPLASH), NULL, InertDialogProc, 0);
    ASSERT_TRUE(dialog != NULL);
    RECT r;
    GetWindowRect(dialog, &r);
    EXPECT_EQ(r.right - r.left, 311);
    EXPECT_EQ(r.bottom - r.top, 179);
    DestroyWindow(dialog);
}

TEST(SplashBitmap, EightBitsAPixelWithTwoHundredAndThirtySixColours)
{
    HRSRC resource = FindResourceA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDB_SPLASH), MAKEINTRESOURCEA(2));
    ASSERT_TRUE(resource != NULL);
    const BITMAPINFOHEADER *header =
        static_cast<const BITMAPINFOHEADER *>(LockResource(LoadResource(GetModuleHandleA(NULL), resource)));
    ASSERT_TRUE(header != NULL);
    EXPECT_EQ(header->biWidth, 311);
    EXPECT_EQ(header->biHeight, 179);
    EXPECT_EQ(header->biPlanes, 1);
    EXPECT_EQ(header->biBitCount, 8);
    EXPECT_EQ(header->biCompression, (DWORD)BI_RGB);
    EXPECT_EQ(header->biClrUsed, 236u);
    const DWORD stride = (311 + 3) & ~3u;
    EXPECT_EQ(SizeofResource(GetModuleHandleA(NULL), resource), header->biSize + 236 * 4 + stride * 179);

    // Every pixel names an entry of the table.
    const BYTE *bits = reinterpret_cast<const BYTE *>(header) + header->biSize + 236 * 4;
    int outside = 0;
    for (DWORD y = 0; y < 179; y++)
        for (DWORD x = 0; x < 311; x++)
            outside += bits[y * stride + x] >= 236;
    EXPECT_EQ(outside, 0);

    // Loaded as the splash window loads it, it stays a palette picture.
    HBITMAP bitmap = static_cast<HBITMAP>(
        LoadImageA(GetModuleHandleA(NULL), MAKEINTRESOURCEA(IDB_SPLASH), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    ASSERT_TRUE(bitmap != NULL);
    DIBSECTION section;
    memset(&section, 0xA5, sizeof section);
    ASSERT_EQ(GetObjectA(bitmap, sizeof section, &section), (int)sizeof section);
    EXPECT_EQ(section.dsBm.bmWidth, 311);
    EXPECT_EQ(section.dsBm.bmHeight, 179);
    EXPECT_EQ(section.dsBm.bmBitsPixel * section.dsBm.bmPlanes, 8);
    HDC memory = CreateCompatibleDC(NULL);
    SelectObject(memory, bitmap);
    RGBQUAD loaded[256];
    memset(loaded, 0xA5, sizeof loaded);
    ASSERT_GE(GetDIBColorTable(memory, 0, 256, loaded), 236u);
    const RGBQUAD *table = reinterpret_cast<const RGBQUAD *>(reinterpret_cast<const BYTE *>(header) + header->biSize);
    for (int i = 0; i < 236; i++) {
        EXPECT_EQ(loaded[i].rgbRed, table[i].rgbRed) << "entry " << i;
        EXPECT_EQ(loaded[i].rgbGreen, table[i].rgbGreen) << "entry " << i;
        EXPECT_EQ(loaded[i].rgbBlue, table[i].rgbBlue) << "entry " << i;
    }
    DeleteDC(memory);
    DeleteObject(bitmap);
}

}  // namespace
