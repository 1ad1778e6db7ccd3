// The chapter table: the list with its header, the sorted and stable
// insertion, building from a pattern, looking up and freeing.
#include "player_fixture.h"

#include <algorithm>
#include <limits.h>

namespace {

class Chapters : public PlayerTest {
protected:
    // An empty table, built from a pattern that matches nothing.
    ChapterList *EmptyTable()
    {
        CopyText(record->settings.defaultMpeg, sizeof record->settings.defaultMpeg, "no-such-directory\\*.mpg");
        FreeChapterTable(hwnd);
        BuildChapterTable(hwnd);
        return record->chapterTable;
    }

    std::vector<std::string> Paths()
    {
        std::vector<std::string> paths;
        for (int n = 0; const ChapterNode *node = FindChapter(record->chapterTable, n); n++)
            paths.push_back(node->path);
        return paths;
    }

    void MakeFiles(const std::string &directory, const std::vector<std::string> &names)
    {
        CreateDirectoryA(directory.c_str(), NULL);
        for (const std::string &name : names)
            ASSERT_TRUE(WriteWholeFile(directory + name, name)) << directory + name;
    }
};

// Walks the chain both ways and checks the header's end markers.
void ExpectWellLinked(ChapterList *list, size_t count)
{
    ChapterNode *header = reinterpret_cast<ChapterNode *>(list);
    ChapterNode *end = reinterpret_cast<ChapterNode *>(&list->tail);
    EXPECT_EQ(list->tail, nullptr);
    ChapterNode *previous = header;
    size_t seen = 0;
    for (ChapterNode *node = list->head; node != end; node = node->succ) {
        ASSERT_NE(node->succ, nullptr) << "only the header's tail field ends the chain";
        EXPECT_EQ(node->pred, previous);
        EXPECT_EQ(node->name, node->path);
        EXPECT_EQ(GlobalHandle(node), (HGLOBAL)node) << "fixed global memory";
        previous = node;
        seen++;
    }
    EXPECT_EQ(seen, count);
    EXPECT_EQ(list->tailPred, previous);
}

TEST_F(Chapters, EmptyTableHeader)
{
    ChapterList *list = EmptyTable();
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->head, reinterpret_cast<ChapterNode *>(&list->tail));
    EXPECT_EQ(list->tail, nullptr);
    EXPECT_EQ(list->tailPred, reinterpret_cast<ChapterNode *>(list));
    EXPECT_EQ(FindChapter(list, 0), nullptr);
    EXPECT_EQ(Events(), Lines()) << "nothing matched: no trace line";
}

TEST_F(Chapters, SortedByUnsignedBytesWhateverTheOrderAdded)
{
    std::vector<std::string> names = {"D:\\Movie\\B.mpg", "D:\\Movie\\a.mpg", "D:\\Movie\\C.mpg"};
    std::sort(names.begin(), names.end());
    do {
        ChapterList *list = EmptyTable();
        for (const std::string &name : names)
            InsertChapterSorted(list, name.c_str());
        EXPECT_EQ(Paths(), Lines({"D:\\Movie\\B.mpg", "D:\\Movie\\C.mpg", "D:\\Movie\\a.mpg"}))
            << names[0] << " " << names[1] << " " << names[2];
        ExpectWellLinked(list, 3);
    } while (std::next_permutation(names.begin(), names.end()));

    ChapterList *list = EmptyTable();
    for (const char *name : {"\xE9t\xE9.mpg", "z.mpg", "Z.mpg", "intro.mpg.bak", "intro.mpg", "", "a"})
        InsertChapterSorted(list, name);
    EXPECT_EQ(Paths(), Lines({"", "Z.mpg", "a", "intro.mpg", "intro.mpg.bak", "z.mpg", "\xE9t\xE9.mpg"}));
    ExpectWellLinked(list, 7);
}

TEST_F(Chapters, EqualPathsKeepTheOrderAdded)
{
    ChapterList *list = EmptyTable();
    InsertChapterSorted(list, "b.mpg");
    InsertChapterSorted(list, "a.mpg");
    ChapterNode *first = FindChapter(list, 1);
    InsertChapterSorted(list, "b.mpg");
    InsertChapterSorted(list, "a.mpg");
    EXPECT_EQ(FindChapter(list, 2), first) << "the first b.mpg stays before the second";
    EXPECT_EQ(Paths(), Lines({"a.mpg", "a.mpg", "b.mpg", "b.mpg"}));
    ExpectWellLinked(list, 4);
}

TEST_F(Chapters, PathsLongerThan255CharactersAreLeftOut)
{
    ChapterList *list = EmptyTable();
    std::string fits(255, 'f'), tooLong(256, 'l');
    InsertChapterSorted(list, tooLong.c_str());
    InsertChapterSorted(list, fits.c_str());
    InsertChapterSorted(list, NULL);
    InsertChapterSorted(NULL, "x.mpg");
    EXPECT_EQ(Paths(), Lines({fits}));

    std::string directory = WorkPath("longnames") + "\\";
    std::string longName = std::string(255 - directory.size(), 'n') + ".mpg";   // 259 characters in all
    MakeFiles(directory, {"short.mpg", longName});
    CopyText(record->settings.defaultMpeg, sizeof record->settings.defaultMpeg, (directory + "*.mpg").c_str());
    FreeChapterTable(hwnd);
    Events();
    BuildChapterTable(hwnd);
    EXPECT_EQ(Paths(), Lines({directory + "short.mpg"}));
    // Mend: the path left out is named, so the operator sees why the
    // chapter numbers moved.
    EXPECT_EQ(Events(), Lines({"Chapter path too long - " + directory + longName, "CHP 0 - " + directory + "short.mpg"}));
}

TEST_F(Chapters, BuildTakesTheDriveAndDirectoryOfThePattern)
{
    struct Case {
        const char *directory;   // where the files are made, as the test names it
        const char *pattern;     // the chapter pattern, "" for the full path of the directory
        std::vector<std::string> made;
        std::vector<std::string> expected;   // "" stands for the directory's full path
    };
    const Case cases[] = {
        {"movie-one\\", "", {"a.mpg", "C.mpg", "B.mpg", "x.txt"}, {"B.mpg", "C.mpg", "a.mpg"}},
        {"movie-two\\", "", {"C.mpg", "B.mpg", "a.mpg"}, {"B.mpg", "C.mpg", "a.mpg"}},
        // Mend: "x.mpg2" matches "*.mpg" only through its short name.
        {"movie-three\\", "", {"x.mpg2", "a.mpg"}, {"a.mpg"}},
        {"D:\\PlayerTests\\", "D:\\PlayerTests\\Missing\\*.mpg", {}, {}},
        {"", "intro.mpg*", {"intro.mpg.bak", "intro.mpg"}, {"intro.mpg", "intro.mpg.bak"}},
        {"relative\\", "relative\\*.mpg", {"b.mpg", "a.mpg"}, {"relative\\a.mpg", "relative\\b.mpg"}},
        {"D:\\", "D:hrx-player-chapter*.mpg", {"hrx-player-chapter.mpg"}, {"D:hrx-player-chapter.mpg"}},
    };
    CreateDirectoryA("D:\\PlayerTests", NULL);
    for (const Case &c : cases) {
        SCOPED_TRACE(c.pattern[0] ? c.pattern : c.directory);
        std::string directory = c.directory[0] && c.directory[1] != ':' ? WorkPath(c.directory) : c.directory;
        MakeFiles(directory, c.made);
        std::string pattern = c.pattern[0] ? c.pattern : directory + "*.mpg";
        CopyText(record->settings.defaultMpeg, sizeof record->settings.defaultMpeg, pattern.c_str());
        std::vector<std::string> expected;
        Lines trace;
        for (const std::string &name : c.expected) {
            expected.push_back(c.pattern[0] ? name : directory + name);
            trace.push_back("CHP " + std::to_string(trace.size()) + " - " + expected.back());
        }
        FreeChapterTable(hwnd);
        Events();
        record->currentChapter = 4;
        BuildChapterTable(hwnd);
        EXPECT_EQ(Paths(), expected);
        EXPECT_EQ(Events(), trace);
        EXPECT_EQ(record->currentChapter, 0);
    }
    DeleteFileA("D:\\hrx-player-chapter.mpg");
}

TEST_F(Chapters, DefaultPatternOnTheChapterDrive)
{
    // D: is the rig's chapter drive; a directory of our own keeps other
    // tests' files out of the table.
    CreateDirectoryA("D:\\PlayerTests", NULL);
    std::string directory = "D:\\PlayerTests\\Movie\\";
    MakeFiles(directory, {"a.mpg", "C.mpg", "B.mpg"});
    CopyText(record->settings.defaultMpeg, sizeof record->settings.defaultMpeg, (directory + "*.mpg").c_str());
    BuildChapterTable(hwnd);
    EXPECT_EQ(Events(), Lines({"CHP 0 - D:\\PlayerTests\\Movie\\B.mpg", "CHP 1 - D:\\PlayerTests\\Movie\\C.mpg",
                               "CHP 2 - D:\\PlayerTests\\Movie\\a.mpg"}));
    for (const char *name : {"a.mpg", "C.mpg", "B.mpg"})
        DeleteFileA((directory + name).c_str());
    RemoveDirectoryA(directory.c_str());
    RemoveDirectoryA("D:\\PlayerTests");
}

TEST_F(Chapters, FindChapterOutsideTheTableFindsNothing)
{
    std::string movie = MakeChapters("find", 3);
    ChapterList *list = record->chapterTable;
    struct Case {
        int number;
        const char *found;
    };
    const Case cases[] = {{-1, NULL}, {INT_MIN, NULL}, {0, "ch00.mpg"}, {2, "ch02.mpg"}, {3, NULL}, {INT_MAX, NULL}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.number);
        ChapterNode *node = FindChapter(list, c.number);
        if (c.found)
            EXPECT_STREQ(node ? node->path : "(none)", (movie + c.found).c_str());
        else
            EXPECT_EQ(node, nullptr);
    }
    EXPECT_EQ(FindChapter(NULL, 0), nullptr);
}

TEST_F(Chapters, EmptyPatternBuildsNothingAndFreeIsSafeTwice)
{
    record->currentChapter = 5;
    BuildChapterTable(hwnd);
    EXPECT_EQ(record->chapterTable, nullptr);
    EXPECT_EQ(record->currentChapter, 5) << "an empty pattern leaves everything as it was";
    FreeChapterTable(hwnd);

    MakeChapters("free", 2);
    ASSERT_NE(record->chapterTable, nullptr);
    FreeChapterTable(hwnd);
    EXPECT_EQ(record->chapterTable, nullptr);
    FreeChapterTable(hwnd);
    EXPECT_TRUE(HeapValidate(GetProcessHeap(), 0, NULL));
}

}  // namespace
