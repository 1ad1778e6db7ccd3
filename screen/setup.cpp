// SWmpeg.ini read and written through the profile functions (the thread
// that calls: the library's main thread at InitMPEG, the property sheet's
// UI thread).
#include "screen/setup.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

#define SETUP_SECTION "SWmpeg"
#define KEY_BOARDS "Boards"
#define KEY_PLACE "Place"
#define KEY_DISPLAY "Display"
#define KEY_WINDOW "Window"
#define KEY_FRAME "Frame"
#define KEY_TOP_MOST "TopMost"
#define SETUP_TEXT_SIZE 64
#define SECTION_NAME_SIZE 16

const char *const kPlaceNames[] = {"Tile", "Display", "Window"};

// A board without a section: its tile, framed.  The window is where it
// goes when it is made a window without a usable one of its own.
const BoardPlacement kDefaultPlacement = {PLACE_TILE, 0, {0, 0, 640, 480}, true, false};

void SectionOf(int board, char *section, size_t size)
{
    snprintf(section, size, "Board %d", board);
}

// A whole decimal number, white space around it allowed; false for
// anything else.
bool ParseWhole(const char *text, long *value)
{
    char *end = NULL;
    *value = strtol(text, &end, 10);
    if (end == text)
        return false;
    while (*end == ' ' || *end == '\t')
        end++;
    return *end == '\0';
}

// A rectangle Windows can place a window at.
bool UsableWindowRect(const BoardWindowRect &rect)
{
    return rect.width >= 1 && rect.height >= 1 && rect.width <= LARGEST_SCREEN_COORDINATE &&
           rect.height <= LARGEST_SCREEN_COORDINATE && abs(rect.left) <= LARGEST_SCREEN_COORDINATE &&
           abs(rect.top) <= LARGEST_SCREEN_COORDINATE;
}

// "left,top,width,height"; false for anything else.
bool ParseWindowRect(const char *text, BoardWindowRect *rect)
{
    long values[4];
    char part[SETUP_TEXT_SIZE];
    const char *at = text;
    for (int i = 0; i < 4; i++) {
        size_t length = strcspn(at, ",");
        if (length >= sizeof part || (i < 3) != (at[length] == ','))
            return false;
        memcpy(part, at, length);
        part[length] = '\0';
        if (!ParseWhole(part, &values[i]) || labs(values[i]) > LARGEST_SCREEN_COORDINATE)
            return false;
        at += length + (i < 3);
    }
    *rect = BoardWindowRect{(int)values[0], (int)values[1], (int)values[2], (int)values[3]};
    return UsableWindowRect(*rect);
}

int ReadBoards(const char *path)
{
    char text[SETUP_TEXT_SIZE];
    GetPrivateProfileStringA(SETUP_SECTION, KEY_BOARDS, "", text, sizeof text, path);
    char *end = NULL;
    long boards = strtol(text, &end, 10);
    if (end == text)
        return DEFAULT_SCREEN_BOARDS;
    if (boards < 1)
        return 1;
    return boards > MPEG_MAX_BOARDS ? MPEG_MAX_BOARDS : (int)boards;
}

BoardPlace PlaceNamed(const char *name)
{
    for (int place = 0; place < (int)(sizeof kPlaceNames / sizeof kPlaceNames[0]); place++)
        if (_stricmp(name, kPlaceNames[place]) == 0)
            return (BoardPlace)place;
    return PLACE_TILE;
}

void ReadPlacement(const char *path, int board, BoardPlacement *p)
{
    char section[SECTION_NAME_SIZE];
    char text[SETUP_TEXT_SIZE];
    SectionOf(board, section, sizeof section);
    GetPrivateProfileStringA(section, KEY_PLACE, "", text, sizeof text, path);
    p->place = PlaceNamed(text);
    GetPrivateProfileStringA(section, KEY_DISPLAY, "", text, sizeof text, path);
    long display;
    p->display = ParseWhole(text, &display) && display >= 1 && display <= MOST_SCREEN_DISPLAYS ? (int)display : 0;
    GetPrivateProfileStringA(section, KEY_WINDOW, "", text, sizeof text, path);
    if (!ParseWindowRect(text, &p->window)) {
        p->window = kDefaultPlacement.window;
        if (p->place == PLACE_WINDOW)
            p->place = PLACE_TILE;
    }
    p->frame = GetPrivateProfileIntA(section, KEY_FRAME, kDefaultPlacement.frame, path) != 0;
    p->topMost = GetPrivateProfileIntA(section, KEY_TOP_MOST, kDefaultPlacement.topMost, path) != 0;
}

bool WriteValue(const char *path, const char *section, const char *key, const char *value)
{
    return WritePrivateProfileStringA(section, key, value, path) != 0;
}

bool WriteNumber(const char *path, const char *section, const char *key, int value)
{
    char text[SETUP_TEXT_SIZE];
    snprintf(text, sizeof text, "%d", value);
    return WriteValue(path, section, key, text);
}

bool WritePlacement(const char *path, int board, const BoardPlacement &p)
{
    char section[SECTION_NAME_SIZE];
    char window[SETUP_TEXT_SIZE];
    SectionOf(board, section, sizeof section);
    snprintf(window, sizeof window, "%d,%d,%d,%d", p.window.left, p.window.top, p.window.width, p.window.height);
    bool written = WriteValue(path, section, KEY_PLACE, kPlaceNames[p.place]);
    written = WriteNumber(path, section, KEY_DISPLAY, p.display) && written;
    written = WriteValue(path, section, KEY_WINDOW, window) && written;
    written = WriteNumber(path, section, KEY_FRAME, p.frame) && written;
    return WriteNumber(path, section, KEY_TOP_MOST, p.topMost) && written;
}

}  // namespace

void ReadScreenSetup(const char *path, ScreenSetup *setup)
{
    bool named = path && path[0] != '\0';
    setup->boards = named ? ReadBoards(path) : DEFAULT_SCREEN_BOARDS;
    for (int board = 0; board < MPEG_MAX_BOARDS; board++) {
        setup->placements[board] = kDefaultPlacement;
        if (named)
            ReadPlacement(path, board, &setup->placements[board]);
    }
}

bool WriteScreenSetup(const char *path, const ScreenSetup *setup)
{
    bool written = WriteNumber(path, SETUP_SECTION, KEY_BOARDS, setup->boards);
    for (int board = 0; board < setup->boards && board < MPEG_MAX_BOARDS; board++)
        written = WritePlacement(path, board, setup->placements[board]) && written;
    // Windows may keep the file in a cache; this writes it out.
    WritePrivateProfileStringA(NULL, NULL, NULL, path);
    return written;
}
