// The log: pieces, flags, source-line reports, a fresh file per run, and the line that needs a free handle.
#include <gtest/gtest.h>

#include <vector>

#include "brask/log.h"
#include "brask/vfs.h"
#include "platform/headless.h"
#include "support/test_support.h"

TEST(Log, PiecesBuildLinesAndFlagsPickTheFirstMatchingKind) {
    TestFolders dirs;
    int32_t twelve = 12, minus = -255;
    logWrite("abc", LOG_EOL);
    logWrite(&twelve, LOG_INT);
    logWrite(&twelve, LOG_INT | LOG_EOL);
    logWrite(&minus, LOG_HEX | LOG_EOL);
    logWrite(u"w\u0101de", LOG_WIDE | LOG_INT | LOG_EOL);  // wide wins over int; 0x101 narrows to '?'
    float f = 3.25f;
    logWrite(&f, LOG_FLOAT | LOG_EOL);
    int16_t s = -300;
    logWrite(&s, LOG_SHORT | LOG_FLOAT | LOG_EOL);  // short is tested before float
    signed char b = -5;
    logWrite(&b, LOG_BYTE | LOG_EOL);
    for (uint32_t u : {4294967295u, 0u}) logWrite(&u, LOG_UINT | LOG_EOL);
    EXPECT_EQ(readFile(dirs.prog + "/Brask.log"),
              "abc\n1212\nFFFFFF01\nw?de\n3.2500\n-300\n-5\n4294967295\n0\n");
}

TEST(Log, SourceLineReports) {
    TestFolders dirs;
    logSourceLine("BraskLib/src/BraskVFS", 144, nullptr, 0);
    logSourceLine("BraskLib/src/BraskGfx", 7, "bad surface", 0);
    logSourceLine("BraskLib/src/BraskGfx", 8, u"wide", LOG_WIDE);
    EXPECT_EQ(dbgAssertFail("BraskLib/src/BraskLib", 1100), 0);
    EXPECT_EQ(readFile(dirs.prog + "/Brask.log"),
              "BraskLib/src/BraskVFS(144)\n"
              "BraskLib/src/BraskGfx(7): bad surface\n"
              "BraskLib/src/BraskGfx(8): wide\n"
              "BraskLib/src/BraskLib(1100): assert failed\n");
}

TEST(Log, EachRunStartsANewLog) {
    TestFolders dirs;
    writeFile(dirs.prog + "/Brask.log", "old run\nold run\n");
    logWrite("new", LOG_EOL);
    logWrite("run", LOG_EOL);
    EXPECT_EQ(readFile(dirs.prog + "/Brask.log"), "new\nrun\n");
}

TEST(Log, TooManyOpenFilesReachesTheLogWhenEveryHandleIsTaken) {
    TestFolders dirs;
    writeFile(dirs.prog + "/data.bin", "x");
    logWrite("start", LOG_EOL);
    std::vector<VfsFile*> open;
    for (int i = 0; i < VFS_MAX_FILES; i++) {
        VfsFile* f = vfsOpen(u"data.bin");
        ASSERT_NE(f, nullptr) << i;
        open.push_back(f);
    }
    EXPECT_EQ(vfsOpen(u"data.bin"), nullptr);
    EXPECT_EQ(vfsCreate(u"new.bin"), nullptr);
    for (VfsFile* f : open) EXPECT_EQ(vfsClose(f), 1);
    EXPECT_EQ(readFile(dirs.prog + "/Brask.log"),
              "start\nToo many open files\nBraskLib/src/BraskVFS(144)\nToo many open files\n");
    VfsFile* again = vfsOpen(u"data.bin");
    EXPECT_NE(again, nullptr);
    vfsClose(again);
}

TEST(Log, GoesToTheDocumentsFolderWhenTheProgramFolderIsReadOnly) {
    TestFolders dirs;
    headlessRefuse((dirs.prog + "/").c_str(), HEADLESS_REFUSE_CREATE);
    logWrite("here", LOG_EOL);
    EXPECT_FALSE(fileExists(dirs.prog + "/Brask.log"));
    EXPECT_EQ(readFile(dirs.docs + "/Brask.log"), "here\n");
}
