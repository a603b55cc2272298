// Text and number utilities: signed narrow bytes, case folding, padding, paths, wildcards, formatting limits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "brask/memory.h"
#include "brask/text.h"
#include "support/test_support.h"

namespace {

std::u16string w(const char16_t* s) {
    return s ? std::u16string(s) : std::u16string();
}

}  // namespace

TEST(Text, NarrowBytesWidenSignedAndWideNarrowsToQuestionMark) {
    char16_t wide[8];
    ASSERT_EQ(1, strToWstr("a\xE9z", wide, -1));
    EXPECT_EQ(u"a\xFFE9z", w(wide));
    ASSERT_EQ(1, strToWstr("abcdef", wide, 2));
    EXPECT_EQ(u"ab", w(wide));

    char narrow[8];
    ASSERT_EQ(1, wstrToStr(u"a\x0101\x00E9", narrow, -1));
    EXPECT_STREQ("a?\xE9", narrow);
    EXPECT_EQ(0, wstrToStr(nullptr, narrow, -1));
}

TEST(Text, CaseInsensitiveCompareFoldsOnlyAsciiAndEndsDecide) {
    EXPECT_EQ(-1, strICmp("abc", "ABD"));
    EXPECT_EQ(0, strICmp("ab", "AB"));
    EXPECT_EQ(1, strICmp("abc", "ab"));
    EXPECT_EQ(-1, strICmp("ab", "abc"));
    EXPECT_EQ(1, strICmp("\xE9", ""));        // an end decides before the byte's sign
    EXPECT_EQ(-1, strICmp("\xE9", "a"));      // narrow bytes compare signed
    EXPECT_EQ(1, wstrICmp(u"\x00E9", u"a"));  // wide units compare unsigned
    EXPECT_EQ(1, strICmp("[", "a"));          // '[' is not folded: 0x5B > 'A'
    EXPECT_EQ(0, wstrICmp(u"GameData/X.TGA", u"gamedata/x.tga"));

    char s[] = "ab\xE9z1";
    char* end = strUpper(s);
    EXPECT_STREQ("AB\xE9Z1", s);
    EXPECT_EQ(s + 5, end);
}

TEST(Text, PadAppendsOrRightJustifiesAndNeverCuts) {
    char a[8] = "42";
    strPad(a, -5, '0');
    EXPECT_STREQ("00042", a);
    char b[8] = "42";
    strPad(b, 5, ' ');
    EXPECT_STREQ("42   ", b);
    char c[8] = "1234567";
    strPad(c, 5, '-');
    EXPECT_STREQ("1234567", c);
    strPad(c, -5, '-');
    EXPECT_STREQ("1234567", c);
    char16_t d[8] = u"7";
    wstrPad(d, -3, u' ');
    EXPECT_EQ(u"  7", w(d));
}

TEST(Text, SplitPathAtLastSlashAndLastDotAfterIt) {
    char16_t folder[64], name[64], ext[64] = u"unchanged";
    wstrSplitPath(u"a.b/gamedata/font.tga", folder, name, ext);
    EXPECT_EQ(u"a.b/gamedata", w(folder));
    EXPECT_EQ(u"font", w(name));
    EXPECT_EQ(u".tga", w(ext));

    wstrCopy(ext, u"unchanged");
    wstrSplitPath(u"a.b/README", folder, name, ext);
    EXPECT_EQ(u"a.b", w(folder));
    EXPECT_EQ(u"README", w(name));
    EXPECT_EQ(u"unchanged", w(ext));

    char16_t file[64];
    wstrSplitFolder(u"noslash.txt", folder, file);
    EXPECT_EQ(u"", w(folder));
    EXPECT_EQ(u"noslash.txt", w(file));
    wstrSplitFolder(u"/root/x/", folder, file);
    EXPECT_EQ(u"/root/x", w(folder));
    EXPECT_EQ(u"", w(file));
}

TEST(Text, WildcardStarAlignsToTheEndWithoutBacktracking) {
    EXPECT_TRUE(wstrMatch(u"DATA.ZIP", u"*.zip"));
    EXPECT_TRUE(wstrMatch(u"notes.TXT", u"*.t?t"));
    EXPECT_TRUE(wstrMatch(u"abc", u"*"));
    EXPECT_FALSE(wstrMatch(u"a", u"a*"));  // the star needs a character
    EXPECT_FALSE(wstrMatch(u"", u"*"));
    EXPECT_FALSE(wstrMatch(u"zip", u"*.zip"));
    EXPECT_FALSE(wstrMatch(u"xxab", u"*a*b"));  // the second star only realigns to the end
    EXPECT_TRUE(wstrMatch(u"aab", u"*a*b"));
    EXPECT_FALSE(wstrMatch(u"abc", u"ab"));
    EXPECT_FALSE(wstrMatch(u"[", u"{"));
    EXPECT_FALSE(wstrMatch(nullptr, u"*"));
}

TEST(Text, HashWrapsWithArithmeticShifts) {
    // Reference values from an independent model of the hash in arbitrary-precision arithmetic.
    EXPECT_EQ(0, strHash(""));
    EXPECT_EQ(128, strHash("a"));
    EXPECT_EQ(5161, strHash("ab"));
    EXPECT_EQ(778000810, strHash("The quick brown fox jumps over the lazy dog, again and again."));
    EXPECT_EQ(1422686814, strHash(std::string(40, '\xFF').c_str()));
}

TEST(Text, MakePathNeedsRoomForTheTerminator) {
    TestFolders folders;
    std::u16string prog = u16(folders.prog + "/");
    char16_t dst[300];
    ASSERT_EQ(1, appMakePath(u"x.dat", 1, dst, 300));
    EXPECT_EQ(prog + u"x.dat", w(dst));

    int32_t exact = (int32_t)prog.size() + 5;
    wstrCopy(dst, u"old");
    EXPECT_EQ(0, appMakePath(u"x.dat", 1, dst, exact));
    EXPECT_EQ(u"old", w(dst));
    EXPECT_EQ(1, appMakePath(u"x.dat", 1, dst, exact + 1));
    EXPECT_EQ(1, appMakePath(u"x.dat", 0, dst, 6));
    EXPECT_EQ(u"x.dat", w(dst));
    EXPECT_EQ(0, appMakePath(u"", 1, dst, 300));
    EXPECT_EQ(0, appMakePath(u"x", 7, dst, 300));
}

TEST(Text, IntegerFormattingBasesSignsAndLimits) {
    char s[40];
    EXPECT_EQ(4, strFromInt(s, -305, 10));
    EXPECT_STREQ("-305", s);
    EXPECT_EQ(2, strFromInt(s, 255, 16));
    EXPECT_STREQ("FF", s);
    EXPECT_EQ(8, strFromInt(s, -1, 16));
    EXPECT_STREQ("FFFFFFFF", s);
    EXPECT_EQ(11, strFromInt(s, INT32_MIN, 10));
    EXPECT_STREQ("-2147483648", s);
    EXPECT_EQ(32, strFromInt(s, INT32_MIN, 2));
    EXPECT_EQ("1" + std::string(31, '0'), s);
    EXPECT_EQ(1, strFromInt(s, 0, 7));
    EXPECT_STREQ("0", s);

    memset(s, 'x', sizeof s);
    EXPECT_EQ(0, strFromInt(s, 5, 1));
    EXPECT_EQ(0, strFromInt(s, 5, 17));
    EXPECT_EQ('x', s[0]);

    EXPECT_EQ(3, strFromIntLimit(s, -305, 10, 3));  // the sign counts
    EXPECT_STREQ("-30", s);
    EXPECT_EQ('x', s[4]);
    char16_t ws[8];
    EXPECT_EQ(3, wstrFromInt(ws, 4095, 16));
    EXPECT_EQ(u"FFF", w(ws));
}

TEST(Text, FloatFormattingTruncatesInSinglePrecision) {
    char s[64];
    auto f = [&](float v, int32_t d, int32_t max) {
        memset(s, 'x', sizeof s);
        int32_t n = strFromFloat(s, v, d, max);
        EXPECT_EQ((int32_t)strlen(s), n);
        return std::string(s);
    };
    EXPECT_EQ("3.2500", f(3.25f, 4, 0));
    EXPECT_EQ("5", f(5.0f, 0, 0));
    EXPECT_EQ("5.0", f(5.0f, -1, 0));
    EXPECT_EQ("2.67", f(2.675f, 2, 0));
    EXPECT_EQ("-1.50", f(-1.5f, 2, 0));
    // Digits computed in float, as the handheld did; double arithmetic would give 0.699999988 and a long 0.1.
    EXPECT_EQ("0.700000000", f(0.7f, 9, 0));
    EXPECT_EQ("0.1", f(0.1f, -1, 0));
    EXPECT_EQ("inf", f(3e9f, 2, 0));
    EXPECT_EQ("-inf", f(-INFINITY, 2, 0));
    EXPECT_EQ("nan", f(NAN, 4, 0));

    // Limits hold for every part, the integer part included, and nothing lands past the terminator.
    EXPECT_EQ("-", f(-1.5f, 2, 1));
    EXPECT_EQ("123", f(12345.5f, 2, 3));
    EXPECT_EQ('x', s[4]);
    EXPECT_EQ("1.", f(1.25f, 4, 2));
    EXPECT_EQ("1.2", f(1.25f, 4, 3));
    EXPECT_EQ("-i", f(-3e9f, 0, 2));
    EXPECT_EQ("na", f(NAN, 0, 2));
    EXPECT_EQ('x', s[3]);

    char16_t ws[16];
    EXPECT_EQ(6, wstrFromFloat(ws, 12.5f, 3, 0));
    EXPECT_EQ(u"12.500", w(ws));
}

TEST(Text, ParsingCountsTheCharacterThatEndsTheNumber) {
    int32_t v = 99;
    EXPECT_EQ(6, strParseInt("  -12x", &v, 0, 10, 0));
    EXPECT_EQ(-12, v);
    EXPECT_EQ(3, strParseInt("fF", &v, 0, 16, 0));  // the terminator counts
    EXPECT_EQ(255, v);
    EXPECT_EQ(1, strParseInt("-5", &v, 0, 16, 0));  // only base 10 reads a sign
    EXPECT_EQ(0, v);
    EXPECT_EQ(4, strParseInt("1012", &v, 0, 2, 0));
    EXPECT_EQ(5, v);
    EXPECT_EQ(3, strParseInt("12345", &v, 0, 10, 3));
    EXPECT_EQ(123, v);
    EXPECT_EQ(2, strParseInt("\t 7", &v, 0, 10, 2));
    EXPECT_EQ(0, v);

    v = 99;
    EXPECT_EQ(0, strParseInt("12", &v, 0, 1, 0));
    EXPECT_EQ(0, strParseInt("12", &v, 0, 17, 0));
    EXPECT_EQ(99, v);

    EXPECT_EQ(3, strParseInt(u" 7\xFFFF", &v, 1, 10, 0));  // wide units are unsigned: no digit
    EXPECT_EQ(7, v);
    EXPECT_EQ(2, strParseInt("7\xE9", &v, 0, 10, 0));
    EXPECT_EQ(7, v);
    EXPECT_EQ(-1, strToInt("4294967295"));  // wraps in 32 bits
    EXPECT_EQ(INT32_MIN, strHexToInt("80000000"));
    EXPECT_EQ(0, strToInt(nullptr));
}

TEST(Text, DuplicatesAreTrackedAndFailCleanly) {
    TestFolders folders;  // the failed allocation writes to this test's log
    char* d = strDup("hello");
    ASSERT_NE(nullptr, d);
    EXPECT_STREQ("hello", d);
    EXPECT_EQ(6, memSize(d));
    memFree(d);
    char16_t* wd = wstrDup(u"hi");
    ASSERT_NE(nullptr, wd);
    EXPECT_EQ(u"hi", w(wd));
    memFree(wd);
    memFailAfter(1);
    EXPECT_EQ(nullptr, strDup("x"));
    EXPECT_EQ(nullptr, strDup(nullptr));
}

TEST(Text, RuntimeWrappersBehaveLikeTheCRuntime) {
    char16_t buf[8];
    wstrCopy(buf, u"ab");
    wstrCat(buf, u"cd");
    EXPECT_EQ(u"abcd", w(buf));
    EXPECT_EQ(4, wstrLen(buf));
    EXPECT_EQ(buf + 2, wstrChr(buf, u'c'));
    EXPECT_EQ(buf + 4, wstrChr(buf, 0));
    EXPECT_EQ(nullptr, wstrChr(buf, u'z'));
    for (auto& c : buf) c = u'x';
    wstrNCopy(buf, u"ab", 4);
    EXPECT_EQ(0, buf[2]);
    EXPECT_EQ(0, buf[3]);
    EXPECT_EQ(u'x', buf[4]);
    char16_t path[] = u"a\\b\\c";
    wstrToSlashes(path);
    EXPECT_EQ(u"a/b/c", w(path));
    EXPECT_EQ(3, strLen("abc"));
    EXPECT_LT(strCmp("abc", "abd"), 0);
    EXPECT_GT(strCmp("\xE9", "a"), 0);
}
