// Loose files through the virtual file system: the open order, folders, read-only data, seeks and search.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "brask/log.h"
#include "brask/vfs.h"
#include "platform/headless.h"
#include "support/test_support.h"

namespace {

std::string readAll(VfsFile* f) {
    std::string s(vfsSize(f), '\0');
    EXPECT_EQ(vfsReadAll(f, s.data()), (int32_t)s.size());
    return s;
}

std::string openAndRead(const char16_t* name) {
    VfsFile* f = vfsOpen(name);
    if (!f) return "<none>";
    std::string s = readAll(f);
    vfsClose(f);
    return s;
}

// Every file below a folder with its bytes.
std::map<std::string, std::string> contents(const std::string& folder) {
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        out[e.path().string()] = e.is_regular_file() ? readFile(e.path().string()) : "<folder>";
    return out;
}

void save(const char16_t* name, const char* bytes) {
    VfsFile* f = vfsCreate(name);
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(vfsWriteString(f, bytes));
    EXPECT_EQ(vfsClose(f), 1);
}

}  // namespace

TEST(VfsFolders, ProgramDocumentsAndDataFoldersEndInASlash) {
    TestFolders dirs;
    EXPECT_EQ(std::u16string(vfsGetFolder(0)), u"");
    EXPECT_EQ(std::u16string(vfsGetFolder(1)), u16(dirs.prog + "/"));
    // The platform gives the documents folder without a slash, and creates it when missing.
    headlessSetDocumentsFolder((dirs.root + "/new/docs").c_str());
    EXPECT_EQ(std::u16string(vfsGetFolder(2)), u16(dirs.root + "/new/docs/"));
    EXPECT_TRUE(fileExists(dirs.root + "/new/docs"));
    EXPECT_EQ(std::u16string(vfsGetFolder(3)), u16(dirs.prog + "/"));
    EXPECT_FALSE(fileExists(dirs.prog + "/brasktst"));
    EXPECT_EQ(vfsGetFolder(4), nullptr);
    EXPECT_EQ(vfsGetFolder(-1), nullptr);
}

TEST(VfsFolders, DataFolderFallsBackToDocumentsThenFailsAndIsRetried) {
    TestFolders dirs;
    headlessRefuse((dirs.prog + "/").c_str(), HEADLESS_REFUSE_CREATE);
    headlessRefuse((dirs.docs + "/").c_str(), HEADLESS_REFUSE_CREATE);
    EXPECT_EQ(vfsGetFolder(3), nullptr);
    headlessReset();
    headlessSetProgramPath((dirs.prog + "/korvatron").c_str());
    headlessSetDocumentsFolder(dirs.docs.c_str());
    headlessRefuse((dirs.prog + "/").c_str(), HEADLESS_REFUSE_CREATE);
    EXPECT_EQ(std::u16string(vfsGetFolder(3)), u16(dirs.docs + "/"));
    EXPECT_FALSE(fileExists(dirs.docs + "/brasktst"));
}

TEST(VfsOpen, ProgramFolderShadowsDataFolderWhichIsTriedThird) {
    TestFolders dirs;
    headlessRefuse((dirs.prog + "/").c_str(), HEADLESS_REFUSE_CREATE);  // data folder = documents
    writeFile(dirs.docs + "/KORVA.Score", "data");
    EXPECT_EQ(openAndRead(u"KORVA.Score"), "data");
    writeFile(dirs.prog + "/KORVA.Score", "program");
    EXPECT_EQ(openAndRead(u"KORVA.Score"), "program");
    EXPECT_EQ(openAndRead(u"missing"), "<none>");
    EXPECT_EQ(vfsOpenCount(), 0);
}

TEST(VfsOpen, AbsoluteNamesAreNeverPrefixedWithAFolder) {
    TestFolders dirs;
    headlessRefuse((dirs.prog + "/").c_str(), HEADLESS_REFUSE_CREATE);
    writeFile(dirs.docs + "/korva-absolute.bin", "wrong file");
    EXPECT_EQ(openAndRead(u"/korva-absolute.bin"), "<none>");
    EXPECT_EQ(openAndRead(u16(dirs.docs + "/korva-absolute.bin").c_str()), "wrong file");
}

TEST(VfsOpen, ReadOnlyFilesOpenForReadingAndRefuseWrites) {
    TestFolders dirs;
    writeFile(dirs.prog + "/gamedata/font.tga", "pixels");
    headlessRefuse((dirs.prog + "/gamedata/font.tga").c_str(), HEADLESS_REFUSE_UPDATE);
    VfsFile* f = vfsOpen(u"gamedata/font.tga");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(vfsSize(f), 6);
    EXPECT_EQ(vfsWrite(f, "XX", 2), 0);
    EXPECT_EQ(vfsTell(f), 0);
    EXPECT_EQ(readAll(f), "pixels");
    EXPECT_EQ(vfsClose(f), 1);
    EXPECT_EQ(readFile(dirs.prog + "/gamedata/font.tga"), "pixels");
}

TEST(VfsOpen, FoldersEmptyNamesAndOverlongNamesOpenNothing) {
    TestFolders dirs;
    writeFile(dirs.prog + "/sub/x", "x");
    EXPECT_EQ(vfsOpen(u"sub"), nullptr);
    EXPECT_EQ(vfsOpen(u""), nullptr);
    EXPECT_EQ(vfsOpen(nullptr), nullptr);
    EXPECT_EQ(vfsCreate(nullptr), nullptr);
    std::u16string longName(259, u'a');
    EXPECT_EQ(vfsOpen(longName.c_str()), nullptr);  // fits alone, not behind the program folder
    EXPECT_EQ(vfsCreate(longName.c_str()), nullptr);
    longName += u"b";
    EXPECT_EQ(vfsOpen(longName.c_str()), nullptr);
    EXPECT_EQ(vfsOpenCount(), 0);
}

TEST(VfsCreate, SavesGoToTheProgramFolderOrTheDataFolderWhenItIsReadOnly) {
    TestFolders dirs;
    VfsFile* f = vfsCreate(u"KORVA.Setup");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(vfsWrite(f, "0123456789", 10), 10);
    EXPECT_EQ(vfsSize(f), 0);  // a created file's size is not updated by writes
    EXPECT_EQ(vfsTell(f), 10);
    EXPECT_EQ(vfsClose(f), 1);
    EXPECT_EQ(readFile(dirs.prog + "/KORVA.Setup"), "0123456789");

    vfsResetFolders();
    headlessRefuse((dirs.prog + "/").c_str(), HEADLESS_REFUSE_CREATE | HEADLESS_REFUSE_UPDATE);
    f = vfsCreate(u"KORVA.Game1");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(vfsWriteString(f, "saved"));
    vfsClose(f);
    EXPECT_FALSE(fileExists(dirs.prog + "/KORVA.Game1"));
    EXPECT_EQ(readFile(dirs.docs + "/KORVA.Game1"), "saved");
    EXPECT_EQ(openAndRead(u"KORVA.Game1"), "saved");
}

TEST(VfsHandles, SeeksCountFromTheEndAndMoveOnlyOnSuccess) {
    TestFolders dirs;
    writeFile(dirs.prog + "/f", "abcdefgh");
    VfsFile* f = vfsOpen(u"f");
    ASSERT_NE(f, nullptr);
    char buf[4] = {};
    EXPECT_EQ(vfsSeek(f, 3, 2), 1);
    EXPECT_EQ(vfsTell(f), 5);
    EXPECT_EQ(vfsRead(f, buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "fgh");
    EXPECT_EQ(vfsEof(f), 1);
    EXPECT_EQ(vfsSeek(f, 2, 0), 1);
    EXPECT_EQ(vfsSeek(f, 1, 1), 1);
    EXPECT_EQ(vfsTell(f), 3);
    EXPECT_EQ(vfsSeek(f, 0, 3), 0);
    EXPECT_EQ(vfsSeek(f, -10, 1), 0);
    EXPECT_EQ(vfsTell(f), 3);
    EXPECT_EQ(vfsRead(f, buf, -1), 0);
    EXPECT_EQ(vfsTell(f), 3);
    EXPECT_EQ(vfsSeek(f, 0, 2), 1);
    EXPECT_EQ(vfsTell(f), 8);
    EXPECT_EQ(vfsEof(f), 1);
    EXPECT_EQ(vfsRead(f, buf, 4), 0);
    EXPECT_EQ(vfsClose(f), 1);
    EXPECT_EQ(vfsClose(f), 0);  // a closed handle is no handle

    EXPECT_EQ(vfsRead(nullptr, buf, 1), 0);
    EXPECT_EQ(vfsWrite(nullptr, buf, 1), 0);
    EXPECT_EQ(vfsSeek(nullptr, 0, 0), 0);
    EXPECT_EQ(vfsTell(nullptr), -1);
    EXPECT_EQ(vfsSize(nullptr), -1);
    EXPECT_EQ(vfsEof(nullptr), 1);
    EXPECT_EQ(vfsWriteString(nullptr, nullptr), 0);
}

TEST(VfsHandles, DeleteTakesTheNameAsGiven) {
    TestFolders dirs;
    writeFile(dirs.prog + "/gone", "x");
    EXPECT_EQ(vfsDelete(u"gone"), 0);  // no folder is added
    EXPECT_EQ(vfsDelete(u16(dirs.prog + "/gone").c_str()), 1);
    EXPECT_FALSE(fileExists(dirs.prog + "/gone"));
    EXPECT_EQ(vfsDelete(u""), 0);
}

namespace {
std::vector<std::u16string> g_seen;
int record(const char16_t* path) {
    g_seen.push_back(path);
    return 2;
}
}  // namespace

TEST(VfsFind, MatchesIgnoreCaseComeSortedAndCloseOnce) {
    TestFolders dirs;
    writeFile(dirs.prog + "/b.zip", "1");
    writeFile(dirs.prog + "/DATA.ZIP", "2");
    writeFile(dirs.prog + "/a.zipx", "3");
    VfsFind find;
    ASSERT_EQ(vfsFindFirst(u"*.zip", &find), 1);
    EXPECT_EQ(std::u16string(find.name), u"DATA.ZIP");
    EXPECT_EQ(std::u16string(find.fullPath), u16(dirs.prog + "/DATA.ZIP"));
    EXPECT_EQ(find.isDirectory, 0);
    EXPECT_EQ(vfsFindNext(&find), 1);
    EXPECT_EQ(std::u16string(find.name), u"b.zip");
    EXPECT_EQ(vfsFindNext(&find), 0);  // closes the search
    EXPECT_EQ(vfsFindClose(&find), 0);
    EXPECT_EQ(vfsFindNext(&find), 0);

    g_seen.clear();
    EXPECT_EQ(vfsForEachFile(u"*.ZIP", record), 4);
    ASSERT_EQ(g_seen.size(), 2u);
    EXPECT_EQ(g_seen[1], u16(dirs.prog + "/b.zip"));

    g_seen.clear();
    EXPECT_EQ(vfsForEachFile(u"*.pak", record), 2);
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0], u"*.pak");
    EXPECT_EQ(vfsForEachFile(u"", record), 0);
}

TEST(VfsFind, ReportsFoldersAndReadOnlyFiles) {
    TestFolders dirs;
    writeFile(dirs.prog + "/sub/x", "x");
    writeFile(dirs.prog + "/ro", "x");
    headlessRefuse((dirs.prog + "/ro").c_str(), HEADLESS_REFUSE_UPDATE);
    VfsFind find;
    ASSERT_EQ(vfsFindFirst(u"*", &find), 1);
    EXPECT_EQ(std::u16string(find.name), u"ro");
    EXPECT_EQ(find.isReadOnly, 1);
    EXPECT_NE(find.writeTimeHigh, 0u);
    ASSERT_EQ(vfsFindNext(&find), 1);
    EXPECT_EQ(std::u16string(find.name), u"sub");
    EXPECT_EQ(find.isDirectory, 1);
    EXPECT_EQ(vfsFindClose(&find), 1);
    EXPECT_EQ(vfsFindFirst(u"nothing*", &find), 0);
}

// The fuzz targets' files live in memory; the engine must see them exactly as it sees files on disk.
TEST(VfsMemoryFolder, ServesOpensWritesSeeksDeletesAndSearchesWithoutTheDisk) {
    TestFolders dirs;
    headlessSetMemoryFolder(dirs.prog.c_str());
    EXPECT_EQ(1, headlessSetMemoryFile((dirs.prog + "/in.bin").c_str(), "abcdef", 6));
    EXPECT_EQ(0, headlessSetMemoryFile((dirs.docs + "/in.bin").c_str(), "x", 1));  // not in the folder
    EXPECT_EQ(openAndRead(u"in.bin"), "abcdef");
    VfsFile* f = vfsOpen(u"in.bin");  // opened for update, as loose files are
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(1, vfsSeek(f, 2, 2));  // two before the end
    EXPECT_EQ(3, vfsWrite(f, "XYZ", 3));
    EXPECT_EQ(1, vfsSeek(f, 1, 0));
    char two[2];
    EXPECT_EQ(2, vfsRead(f, two, 2));
    EXPECT_EQ(std::string(two, 2), "bc");
    EXPECT_EQ(3, vfsTell(f));
    vfsClose(f);
    EXPECT_EQ(openAndRead(u"in.bin"), "abcdXYZ");

    VfsFile* out = vfsCreate(u"made.txt");
    ASSERT_NE(nullptr, out);
    EXPECT_EQ(1, vfsWriteString(out, "made"));
    vfsClose(out);
    EXPECT_EQ(openAndRead(u"made.txt"), "made");
    EXPECT_FALSE(fileExists(dirs.prog + "/made.txt"));  // nothing reached the disk
    // A file on disk in the folder is hidden by it; outside the folder the disk is used as ever.
    writeFile(dirs.prog + "/disk.txt", "disk");
    EXPECT_EQ(openAndRead(u"disk.txt"), "<none>");
    writeFile(dirs.docs + "/d.txt", "docs");
    EXPECT_EQ(openAndRead(u16(dirs.docs + "/d.txt").c_str()), "docs");

    VfsFind find;
    std::vector<std::u16string> found;
    for (int ok = vfsFindFirst(u16(dirs.prog + "/*").c_str(), &find); ok; ok = vfsFindNext(&find))
        found.push_back(find.name);
    vfsFindClose(&find);
    EXPECT_EQ(found, (std::vector<std::u16string>{u"in.bin", u"made.txt"}));

    // A deleted file stays readable through a stream already open on it, as on POSIX.
    VfsFile* held = vfsOpen(u"made.txt");
    ASSERT_NE(nullptr, held);
    const std::u16string made = u16(dirs.prog + "/made.txt");
    EXPECT_EQ(1, vfsDelete(made.c_str()));
    EXPECT_EQ(0, vfsDelete(made.c_str()));
    EXPECT_EQ(openAndRead(u"made.txt"), "<none>");
    EXPECT_EQ(readAll(held), "made");
    vfsClose(held);
    headlessSetMemoryFolder(nullptr);
    EXPECT_EQ(openAndRead(u"in.bin"), "<none>");
}

// Saves that the program folder refuses land elsewhere; the next start must read them, not the old copy.
TEST(VfsOpen, AReadOnlyProgramCopyYieldsToTheSaveWrittenElsewhere) {
    for (const bool wholeFolder : {true, false}) {
        SCOPED_TRACE(wholeFolder ? "read-only folder" : "read-only file");
        TestFolders dirs;
        writeFile(dirs.prog + "/KORVA.Score", "old");
        // A read-only file in a writable folder leaves the data folder in the program folder: the save goes
        // to the documents folder then.
        headlessRefuse((dirs.prog + (wholeFolder ? "/" : "/KORVA.Score")).c_str(),
                       HEADLESS_REFUSE_CREATE | HEADLESS_REFUSE_UPDATE);
        EXPECT_EQ(openAndRead(u"KORVA.Score"), "old");  // alone, it is read
        for (const char* scores : {"new", "newer"}) {
            save(u"KORVA.Score", scores);
            vfsResetFolders();  // the next start
            EXPECT_EQ(openAndRead(u"KORVA.Score"), scores);
        }
        EXPECT_EQ(readFile(dirs.prog + "/KORVA.Score"), "old");
        EXPECT_EQ(readFile(dirs.docs + "/KORVA.Score"), "newer");
        EXPECT_EQ(vfsOpenCount(), 0);
    }
}

TEST(VfsOpen, LooseNamesTakeBackslashesAndIgnoreCaseWhenTheExactNameIsMissing) {
    TestFolders dirs;
    writeFile(dirs.prog + "/GameData/Sub/Back.TGA", "mixed");
    EXPECT_EQ(openAndRead(u"gamedata/sub/back.tga"), "mixed");
    EXPECT_EQ(openAndRead(u"GAMEDATA\\SUB\\BACK.TGA"), "mixed");
    EXPECT_EQ(openAndRead(u16(dirs.prog + "/gamedata/SUB/back.tga").c_str()), "mixed");  // absolute
    // The exact name first; of several others, the first in byte order.
    writeFile(dirs.prog + "/gamedata/sub/back.tga", "exact");
    EXPECT_EQ(openAndRead(u"gamedata/sub/back.tga"), "exact");
    EXPECT_EQ(openAndRead(u"GameData/Sub/Back.TGA"), "mixed");
    EXPECT_EQ(openAndRead(u"GAMEDATA/SUB/BACK.TGA"), "mixed");  // "GameData" sorts before "gamedata"
    // Only ASCII letters fold, and a folder is no file.
    writeFile(dirs.prog + "/\u00C9t\u00E9.txt", "accents");
    EXPECT_EQ(openAndRead(u"\u00E9T\u00E9.TXT"), "<none>");
    EXPECT_EQ(openAndRead(u"\u00C9T\u00E9.TXT"), "accents");
    EXPECT_EQ(openAndRead(u"GAMEDATA/SUB"), "<none>");
    save(u"gamedata\\new.bin", "made");
    EXPECT_EQ(readFile(dirs.prog + "/gamedata/new.bin"), "made");
    // The headless backend's memory files go through the same search.
    headlessSetMemoryFolder(dirs.docs.c_str());
    ASSERT_TRUE(headlessSetMemoryFile((dirs.docs + "/Mem/File.bin").c_str(), "memory", 6));
    EXPECT_EQ(openAndRead(u16(dirs.docs + "\\mem\\FILE.BIN").c_str()), "memory");
    EXPECT_EQ(vfsOpenCount(), 0);
}

TEST(VfsOpen, ANameThatDoesNotFitBehindTheProgramFolderFailsInsteadOfUsingTheWorkingFolder) {
    TestFolders dirs;
    const std::string prog = dirs.root + "/" + std::string(174 - dirs.root.size() - 1, 'p');
    const std::string cwd = dirs.root + "/cwd", name(120, 'n');
    std::filesystem::create_directories(prog);
    headlessSetProgramPath((prog + "/korvatron").c_str());
    vfsResetFolders();
    ASSERT_EQ(std::u16string(vfsGetFolder(1)).size(), 175u);
    writeFile(cwd + "/" + name, "stray");
    char old[4096];
    ASSERT_NE(getcwd(old, sizeof old), nullptr);
    ASSERT_EQ(chdir(cwd.c_str()), 0);
    EXPECT_EQ(vfsCreate(u16(name).c_str()), nullptr);
    EXPECT_EQ(openAndRead(u16(name).c_str()), "<none>");
    VfsFind find;
    EXPECT_EQ(vfsFindFirst(u16(name).c_str(), &find), 0);
    EXPECT_EQ(chdir(old), 0);
    EXPECT_EQ(readFile(cwd + "/" + name), "stray");
    EXPECT_NE(readFile(prog + "/Brask.log").find("name too long for the program folder"), std::string::npos);
    EXPECT_EQ(vfsOpenCount(), 0);
}

// A system package ships "installed.txt" beside the program: player files then never touch its folder,
// whoever runs it, and the game's own data still come from there.
TEST(VfsInstalled, PlayerFilesAndTheLogLiveInTheDocumentsFolderAndDataInTheProgramFolder) {
    TestFolders dirs;
    writeFile(dirs.prog + "/installed.txt", "Player files go to each user's data folder.\n");
    writeFile(dirs.prog + "/SysFont7x14.tga", "font");
    writeFile(dirs.prog + "/KORVA.Score", "stale");
    const auto before = contents(dirs.prog);
    EXPECT_EQ(vfsInstalled(), 1);
    EXPECT_EQ(std::u16string(vfsGetFolder(3)), u16(dirs.docs + "/"));
    save(u"KORVA.Score", "mine");
    save(u"KORVA.Setup", "setup");
    logWrite("a line", LOG_EOL);
    EXPECT_EQ(openAndRead(u"KORVA.Score"), "mine");
    EXPECT_EQ(openAndRead(u"SysFont7x14.tga"), "font");
    EXPECT_EQ(contents(dirs.prog), before);
    EXPECT_EQ(readFile(dirs.docs + "/KORVA.Setup"), "setup");
    EXPECT_EQ(readFile(dirs.docs + "/Brask.log"), "a line\n");
    EXPECT_FALSE(fileExists(dirs.docs + "/brasktst"));

    // Without a documents folder nothing is written at all.
    vfsResetFolders();
    headlessRefuse((dirs.docs + "/").c_str(), HEADLESS_REFUSE_CREATE);
    EXPECT_EQ(vfsCreate(u"KORVA.Game1"), nullptr);
    EXPECT_EQ(contents(dirs.prog), before);

    // The same folder without the marker is a portable copy again.
    std::filesystem::remove(dirs.prog + "/installed.txt");
    vfsResetFolders();
    EXPECT_EQ(vfsInstalled(), 0);
    EXPECT_EQ(openAndRead(u"KORVA.Score"), "stale");
}

// A replacement written beside the old file: the old one stays whole until the new one is all there.
TEST(VfsCommit, ReplacesTheFileBesideItOrLeavesTheOldOneAndNoTemporary) {
    for (bool memory : {false, true}) {
        SCOPED_TRACE(memory ? "memory folder" : "disk");
        TestFolders dirs;  // a fresh platform each time: refusals last until a reset
        if (memory) headlessSetMemoryFolder(dirs.prog.c_str());
        VfsFile* old = vfsCreate(u"KORVA.Score");
        ASSERT_NE(nullptr, old);
        vfsWriteString(old, "old scores");
        vfsClose(old);
        VfsFile* held = vfsOpen(u"KORVA.Score");  // a reader that opened before the replacement

        VfsFile* f = vfsCreate(u"KORVA.Score.new");
        ASSERT_NE(nullptr, f);
        EXPECT_EQ(1, vfsWriteString(f, "new scores!"));
        EXPECT_EQ(openAndRead(u"KORVA.Score"), "old scores");
        // Only the last part of the name counts: the file stays in the folder it was written in.
        EXPECT_EQ(1, vfsCommit(f, u"elsewhere/KORVA.Score"));
        EXPECT_EQ(0, vfsOpenCount() - 1);  // the written handle is closed; the reader's stays
        EXPECT_EQ(openAndRead(u"KORVA.Score"), "new scores!");
        EXPECT_EQ(openAndRead(u"KORVA.Score.new"), "<none>");
        EXPECT_EQ(readAll(held), "old scores");
        vfsClose(held);

        // Given up on: gone, and the file it would have replaced untouched.
        f = vfsCreate(u"KORVA.Score.new");
        ASSERT_NE(nullptr, f);
        vfsWriteString(f, "half");
        vfsDiscard(f);
        EXPECT_EQ(openAndRead(u"KORVA.Score.new"), "<none>");
        EXPECT_EQ(openAndRead(u"KORVA.Score"), "new scores!");
        EXPECT_EQ(0, vfsOpenCount());

        // A rename the folder refuses fails, deletes what was written and keeps the old file.
        f = vfsCreate(u"KORVA.Score.new");
        ASSERT_NE(nullptr, f);
        vfsWriteString(f, "refused");
        headlessRefuse((dirs.prog + "/KORVA.Score").c_str(), HEADLESS_REFUSE_CREATE);
        EXPECT_EQ(0, vfsCommit(f, u"KORVA.Score"));
        EXPECT_EQ(openAndRead(u"KORVA.Score.new"), "<none>");
        EXPECT_EQ(openAndRead(u"KORVA.Score"), "new scores!");
        EXPECT_EQ(0, vfsCommit(nullptr, u"KORVA.Score"));
        EXPECT_EQ(0, vfsOpenCount());
        EXPECT_EQ(!memory, fileExists(dirs.prog + "/KORVA.Score"));  // memory files never reach the disk
    }
}
