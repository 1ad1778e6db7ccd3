// Chapter table: the files matching the chapter pattern, kept sorted by path
// in a doubly linked list whose header has two end markers.  Main thread
// only.
#include "player/chapters.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "app/instance.h"
#include "app/text.h"
#include "app/trace.h"
#include "app/wildcard.h"

// Paths are composed in a 256-byte buffer: at most 255 characters.
#define CHAPTER_PATH_MAX 255

namespace {

// The header, seen as the element before the first node.
ChapterNode *HeaderElement(ChapterList *list)
{
    return reinterpret_cast<ChapterNode *>(list);
}

// The header's tail field, seen as the element after the last node.
ChapterNode *EndElement(ChapterList *list)
{
    return reinterpret_cast<ChapterNode *>(&list->tail);
}

// The links are reached through the header's own fields when the element
// is one of its two markers.
ChapterNode **SuccessorLink(ChapterList *list, ChapterNode *element)
{
    return element == HeaderElement(list) ? &list->head : &element->succ;
}

ChapterNode **PredecessorLink(ChapterList *list, ChapterNode *element)
{
    return element == EndElement(list) ? &list->tailPred : &element->pred;
}

void InitialiseList(ChapterList *list)
{
    list->head = EndElement(list);
    list->tail = NULL;
    list->tailPred = HeaderElement(list);
}

void InsertAfter(ChapterList *list, ChapterNode *previous, ChapterNode *node)
{
    ChapterNode **link = SuccessorLink(list, previous);
    ChapterNode *next = *link;
    node->succ = next;
    node->pred = previous;
    *PredecessorLink(list, next) = node;
    *link = node;
}

void AddAtEnd(ChapterList *list, ChapterNode *node)
{
    InsertAfter(list, list->tailPred, node);
}

// Unsigned byte order: strcmp compares the bytes as unsigned char.
bool SortsAfter(const ChapterNode *node, const char *path)
{
    return strcmp(node->path, path) > 0;
}

void TraceChapters(HWND hwnd, InstanceRecord *record)
{
    ChapterList *list = record->chapterTable;
    int number = 0;
    for (ChapterNode *node = list->head; node != EndElement(list); node = node->succ)
        WriteTraceF(hwnd, record->settings.traceFile, "CHP %d - %s", number++, node->path);
}

// A path too long for a board is left out, and every later chapter number
// moves down by one: the trace line (as much of the path as the line
// holds) tells the operator why.  A file the search finds only through its
// short name ("x.mpg2" as "X~1.MPG" for "*.mpg") is no chapter.
void AddMatchingFiles(HWND hwnd, InstanceRecord *record)
{
    const char *pattern = record->settings.defaultMpeg;
    const char *namePattern = pattern + FolderLength(pattern, DRIVE_COLON_ONLY);
    char drive[_MAX_DRIVE], directory[_MAX_DIR];
    _splitpath(pattern, drive, directory, NULL, NULL);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!LongNameMatches(found.cFileName, namePattern))
            continue;
        char path[2 * MAX_PATH];
        snprintf(path, sizeof path, "%s%s%s", drive, directory, found.cFileName);
        if (strlen(path) > CHAPTER_PATH_MAX)
            WriteTraceF(hwnd, record->settings.traceFile, "Chapter path too long - %s", path);
        else
            InsertChapterSorted(record->chapterTable, path);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

}  // namespace

void InsertChapterSorted(ChapterList *list, const char *path)
{
    if (!list || !path || strnlen(path, CHAPTER_PATH_MAX + 1) > CHAPTER_PATH_MAX)
        return;
    ChapterNode *node = static_cast<ChapterNode *>(GlobalAlloc(GPTR, sizeof(ChapterNode)));
    if (!node)
        return;
    CopyText(node->path, sizeof node->path, path);
    node->name = node->path;
    for (ChapterNode *next = list->head; next != EndElement(list); next = next->succ) {
        if (SortsAfter(next, path)) {
            InsertAfter(list, next->pred, node);
            return;
        }
    }
    AddAtEnd(list, node);
}

ChapterNode *FindChapter(ChapterList *list, int number)
{
    if (!list || number < 0)
        return NULL;
    int count = 0;
    for (ChapterNode *node = list->head; node != EndElement(list); node = node->succ)
        if (count++ == number)
            return node;
    return NULL;
}

int BuildChapterTable(HWND hwnd)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    if (!record || record->settings.defaultMpeg[0] == '\0')
        return 0;
    record->currentChapter = 0;
    if (!record->chapterTable) {
        ChapterList *list = static_cast<ChapterList *>(GlobalAlloc(GPTR, sizeof(ChapterList)));
        if (!list)
            return 0;
        InitialiseList(list);
        record->chapterTable = list;
    }
    AddMatchingFiles(hwnd, record);
    TraceChapters(hwnd, record);
    return 0;
}

int FreeChapterTable(HWND hwnd)
{
    InstanceRecord *record = GetInstanceRecord(hwnd);
    if (!record || !record->chapterTable)
        return 0;
    ChapterList *list = record->chapterTable;
    ChapterNode *node = list->head;
    while (node != EndElement(list)) {
        ChapterNode *next = node->succ;
        GlobalFree(node);
        node = next;
    }
    GlobalFree(list);
    record->chapterTable = NULL;
    return 0;
}
