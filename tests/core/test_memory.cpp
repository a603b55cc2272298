// The tracked heap: sizes, alignment, reallocation, injected failures and the leak report.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "brask/app.h"
#include "brask/log.h"
#include "brask/memory.h"
#include "platform/headless.h"
#include "support/test_support.h"

TEST(Memory, BlocksKnowTheirSizeAndAreAlignedForAnyType) {
    void* p = memAlloc(10);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(memSize(p), 10);
    EXPECT_EQ((uintptr_t)p % alignof(std::max_align_t), 0u);
    EXPECT_EQ(memGetStats()->unfreedBytes >= 10, true);
    memFree(p);
    memFree(nullptr);
}

TEST(Memory, EmptyAndNegativeSizesFailSilently) {
    TestFolders dirs;
    EXPECT_EQ(memAlloc(0), nullptr);
    EXPECT_EQ(memAlloc(-5), nullptr);
    EXPECT_FALSE(fileExists(dirs.prog + "/Brask.log"));
}

TEST(Memory, ReallocKeepsTheCommonPrefixAndLeavesTheOldBlockOnFailure) {
    TestFolders dirs;
    unsigned char* p = (unsigned char*)memAlloc(100);
    for (int i = 0; i < 100; i++) p[i] = (unsigned char)i;
    unsigned char* small = (unsigned char*)memRealloc(p, 40);
    ASSERT_NE(small, nullptr);
    EXPECT_EQ(memSize(small), 40);
    for (int i = 0; i < 40; i++) ASSERT_EQ(small[i], i);
    unsigned char* big = (unsigned char*)memRealloc(small, 200);
    for (int i = 0; i < 40; i++) ASSERT_EQ(big[i], i);

    memFailAfter(1);
    EXPECT_EQ(memRealloc(big, 300), nullptr);
    EXPECT_EQ(memSize(big), 200);
    EXPECT_EQ(big[39], 39);
    memFree(big);
    EXPECT_EQ(readFile(dirs.prog + "/Brask.log"), "Memory allocation failed!\n");
}

TEST(Memory, TheNthAllocationFailsOnly) {
    TestFolders dirs;
    memFailAfter(3);
    void* a = memAlloc(8);
    void* b = memAlloc(8);
    void* c = memAlloc(8);
    void* d = memAlloc(8);
    EXPECT_NE(a, nullptr);
    EXPECT_NE(b, nullptr);
    EXPECT_EQ(c, nullptr);
    EXPECT_NE(d, nullptr);
    memFree(a), memFree(b), memFree(d);
}

TEST(Memory, LeakReportNeedsBothAFlagAndUnfreedBytes) {
    TestFolders dirs;
    uint32_t before = memGetStats()->unfreedBytes;
    memReportLeaks(0);
    void* p = before == 0 ? memAlloc(77) : nullptr;
    memReportLeaks(0);
    EXPECT_FALSE(fileExists(dirs.prog + "/Brask.log"));
    memReportLeaks(1);
    std::string expected =
        "Memory leaks detected, total unfreed memory: " + std::to_string(memGetStats()->unfreedBytes) + "\n";
    EXPECT_EQ(readFile(dirs.prog + "/Brask.log"), expected);
    memFree(p);
}

TEST(MemoryDeathTest, CheckFreeEndsTheProgramUnlessThePlayerAgrees) {
    TestFolders dirs;
    memFailAfter(1);
    headlessQueueMessageBoxAnswer(1);
    memCheckFree(64);  // answered OK: goes on
    EXPECT_EQ(headlessMessageBoxCount(), 1);
    const char* text = nullptr;
    const char* caption = nullptr;
    int32_t kind = 0;
    ASSERT_TRUE(headlessMessageBox(0, &text, &caption, &kind));
    EXPECT_STREQ(text, "Warning! Not enough available memory. Continue?");
    EXPECT_STREQ(caption, "BraskApp");
    EXPECT_EQ(kind, 1);

    memCheckFree(64);  // enough memory: no question
    EXPECT_EQ(headlessMessageBoxCount(), 1);

    EXPECT_EXIT(
        {
            memFailAfter(1);
            headlessQueueMessageBoxAnswer(2);
            memCheckFree(64);
        },
        testing::ExitedWithCode(1), "");
}
