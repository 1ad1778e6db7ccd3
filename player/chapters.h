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

int BuildChapterTable(HWND hwnd);
int FreeChapterTable(HWND hwnd);
ChapterNode *FindChapter(ChapterList *list, int number);
void InsertChapterSorted(ChapterList *list, const char *path);

#endif
