// CentreWindow: centred over a reference window or the screen, and never
// begun left of or above the display nor ended beyond its edges.
#include <gtest/gtest.h>
#include <windows.h>

#include "app/app.h"

namespace {

HWND Popup(int x, int y, int w, int h)
{
    return CreateWindowExA(0, "STATIC", "", WS_POPUP, x, y, w, h, NULL, NULL, NULL, NULL);
}

POINT Origin(HWND hwnd)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    return POINT{r.left, r.top};
}

TEST(CentreWindow, CentresAndKeepsTheWindowOnTheDisplay)
{
    HDC dc = GetDC(NULL);
    int width = GetDeviceCaps(dc, HORZRES), height = GetDeviceCaps(dc, VERTRES);
    ReleaseDC(NULL, dc);
    ASSERT_GT(width, 400);
    ASSERT_GT(height, 300);

    struct {
        int line;
        RECT reference;  // left, top, right, bottom; empty means the screen
        POINT expected;
    } cases[] = {
        {__LINE__, {100, 100, 301, 201}, {100 + (201 - 100) / 2, 100 + (101 - 50) / 2}},
        {__LINE__, {-300, -200, -100, -100}, {0, 0}},
        {__LINE__, {width - 50, height - 20, width + 150, height + 80}, {width - 100, height - 50}},
    };
    for (const auto &c : cases) {
        HWND ref = Popup(c.reference.left, c.reference.top, c.reference.right - c.reference.left,
                         c.reference.bottom - c.reference.top);
        HWND window = Popup(500, 500, 100, 50);
        CentreWindow(window, ref);
        POINT at = Origin(window);
        EXPECT_EQ(at.x, c.expected.x) << "case at line " << c.line;
        EXPECT_EQ(at.y, c.expected.y) << "case at line " << c.line;
        DestroyWindow(window);
        DestroyWindow(ref);
    }

    HWND window = Popup(0, 0, 100, 50);
    CentreWindow(window, NULL);
    POINT at = Origin(window);
    EXPECT_EQ(at.x, (GetSystemMetrics(SM_CXSCREEN) - 100) / 2);
    EXPECT_EQ(at.y, (GetSystemMetrics(SM_CYSCREEN) - 50) / 2);
    DestroyWindow(window);
}

}  // namespace
