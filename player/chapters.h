// Chapter table: every file matching the chapter pattern, sorted by path;
// a file's position is its chapter number.  Main thread only.
#ifndef HRX_PLAYER_CHAPTERS_H
#define HRX_PLAYER_CHAPTERS_H

#include <windows.h>

#define CHAPTER_PATH_SIZE 272

struct ChapterNode {
    ChapterNode *succ;
    ChapterNode *pred;
    char *name;                      // points at path
    char path[CHAPTER_PATH_SIZE];
};

// head: first node, or &tail when empty; tail: always null; tailPred: last
// node, or the header itself when empty.
struct ChapterList {
    ChapterNode *head;
    ChapterNode *tail;
    ChapterNode *tailPred;
};

// Main thread: makes chapter 0 the current one, adds every file matching
// the chapter pattern to the window's table (created when there is none)
// and traces the table; a path of more than 255 characters is left out
// with a trace line of its own.  Does nothing with an empty pattern.
// Always 0.
int BuildChapterTable(HWND hwnd);
// Main thread: frees the window's table and every node in it; safe with no
// table.  Always 0.
int FreeChapterTable(HWND hwnd);
// Main thread: the node of chapter number (0 the first), or null when the
// list is null or shorter.
ChapterNode *FindChapter(ChapterList *list, int number);
// Main thread: inserts a copy of the path in sort order; a path of more
// than 255 characters, or one without memory for its node, is left out.
void InsertChapterSorted(ChapterList *list, const char *path);

#endif
