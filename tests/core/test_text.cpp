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
    return std::u16string(s);
}

std::string pad(std::string s, int32_t width, char fill) {
    s.resize(16, '\0');
    strPad(&s[0], width, fill);
    return s.c_str();
}

// "folder|name|ext"; an extension left untouched reads "-".
std::u16string split(const char16_t* path) {
    char16_t folder[64], name[64], ext[64] = u"-";
    wstrSplitPath(path, folder, name, ext);
    return w(folder) + u"|" + w(name) + u"|" + w(ext);
}

// Formats into a buffer of 'x'; a character past the terminator shows a write beyond the limit.
std::string intText(int32_t v, int32_t base, int32_t limit = 0) {
    char s[48];
    memset(s, 'x', sizeof s);
    int32_t n = strFromIntLimit(s, v, base, limit);
    if (n == 0 && s[0] == 'x') return "(nothing)";
    EXPECT_EQ((int32_t)strlen(s), n);
    return std::string(s) + (s[n + 1] == 'x' ? "" : "(overrun)");
}

std::string floatText(float v, int32_t decimals, int32_t max = 0) {
    char s[64];
    memset(s, 'x', sizeof s);
    int32_t n = strFromFloat(s, v, decimals, max);
    EXPECT_EQ((int32_t)strlen(s), n);
    return std::string(s) + (s[n + 1] == 'x' ? "" : "(overrun)");
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
}

TEST(Text, CaseInsensitiveCompareFoldsOnlyAsciiAndEndsDecide) {
    EXPECT_EQ(-1, strICmp("abc", "ABD"));
    EXPECT_EQ(0, strICmp("ab", "AB"));
    EXPECT_EQ(1, strICmp("abc", "ab"));
    EXPECT_EQ(1, strICmp("\xE9", ""));        // an end decides before the byte's sign
    EXPECT_EQ(-1, strICmp("\xE9", "a"));      // narrow bytes compare signed
    EXPECT_EQ(1, wstrICmp(u"\x00E9", u"a"));  // wide units compare unsigned
    EXPECT_EQ(1, strICmp("[", "a"));          // only letters fold: '[' stays above 'A'
    char s[] = "ab\xE9z1";
    EXPECT_EQ(s + 5, strUpper(s));
    EXPECT_STREQ("AB\xE9Z1", s);
}

TEST(Text, PadAndSplitPath) {
    EXPECT_EQ("00042", pad("42", -5, '0'));
    EXPECT_EQ("42   ", pad("42", 5, ' '));
    EXPECT_EQ("1234567", pad("1234567", 5, '-'));
    EXPECT_EQ("1234567", pad("1234567", -5, '-'));

    EXPECT_EQ(u"a.b/gamedata|font|.tga", split(u"a.b/gamedata/font.tga"));
    EXPECT_EQ(u"a.b|README|-", split(u"a.b/README"));  // the dot before the slash is not the extension's
    EXPECT_EQ(u"||.hidden", split(u".hidden"));
    char16_t folder[16], file[16];
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
    EXPECT_FALSE(wstrMatch(u"[", u"{"));
}

TEST(Text, HashWrapsWithArithmeticShifts) {
    // Reference values from an independent model of the hash in arbitrary-precision arithmetic.
    EXPECT_EQ(0, strHash(""));
    EXPECT_EQ(128, strHash("a"));
    EXPECT_EQ(778000810, strHash("The quick brown fox jumps over the lazy dog, again and again."));
    EXPECT_EQ(1422686814, strHash(std::string(40, '\xFF').c_str()));
}

TEST(Text, MakePathNeedsRoomForTheTerminator) {
    TestFolders folders;
    std::u16string prog = u16(folders.prog + "/");
    char16_t dst[300] = u"old";
    int32_t exact = (int32_t)prog.size() + 5;
    EXPECT_EQ(0, appMakePath(u"x.dat", 1, dst, exact));
    EXPECT_EQ(u"old", w(dst));
    ASSERT_EQ(1, appMakePath(u"x.dat", 1, dst, exact + 1));
    EXPECT_EQ(prog + u"x.dat", w(dst));
    EXPECT_EQ(0, appMakePath(u"", 1, dst, 300));
    EXPECT_EQ(0, appMakePath(u"x", 7, dst, 300));
}

TEST(Text, IntegerFormattingBasesSignsAndLimits) {
    EXPECT_EQ("-305", intText(-305, 10));
    EXPECT_EQ("FF", intText(255, 16));
    EXPECT_EQ("FFFFFFFF", intText(-1, 16));
    EXPECT_EQ("-2147483648", intText(INT32_MIN, 10));
    EXPECT_EQ("1" + std::string(31, '0'), intText(INT32_MIN, 2));
    EXPECT_EQ("0", intText(0, 7));
    EXPECT_EQ("(nothing)", intText(5, 1));
    EXPECT_EQ("(nothing)", intText(5, 17));
    EXPECT_EQ("-30", intText(-305, 10, 3));  // the sign counts
    char16_t ws[8];
    EXPECT_EQ(3, wstrFromInt(ws, 4095, 16));
    EXPECT_EQ(u"FFF", w(ws));
}

TEST(Text, FloatFormattingTruncatesInSinglePrecision) {
    EXPECT_EQ("3.2500", floatText(3.25f, 4));
    EXPECT_EQ("5", floatText(5.0f, 0));
    EXPECT_EQ("5.0", floatText(5.0f, -1));
    EXPECT_EQ("2.67", floatText(2.675f, 2));
    // Digits computed in float; double arithmetic would give 0.699999988 and 0.100000001490116...
    EXPECT_EQ("0.700000000", floatText(0.7f, 9));
    EXPECT_EQ("0.1", floatText(0.1f, -1));
    EXPECT_EQ("inf", floatText(3e9f, 2));
    EXPECT_EQ("nan", floatText(NAN, 4));
    // The limit holds in every part, the integer part included.
    EXPECT_EQ("-", floatText(-1.5f, 2, 1));
    EXPECT_EQ("123", floatText(12345.5f, 2, 3));
    EXPECT_EQ("1.", floatText(1.25f, 4, 2));
    EXPECT_EQ("-i", floatText(-3e9f, 0, 2));
    EXPECT_EQ("na", floatText(NAN, 0, 2));
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
    EXPECT_EQ(3, strParseInt("12345", &v, 0, 10, 3));
    EXPECT_EQ(123, v);
    EXPECT_EQ(2, strParseInt("\t 7", &v, 0, 10, 2));
    EXPECT_EQ(0, v);
    EXPECT_EQ(3, strParseInt(u" 7\xFFFF", &v, 1, 10, 0));
    EXPECT_EQ(7, v);
    v = 99;
    EXPECT_EQ(0, strParseInt("12", &v, 0, 1, 0));
    EXPECT_EQ(0, strParseInt("12", &v, 0, 17, 0));
    EXPECT_EQ(99, v);
    EXPECT_EQ(-1, strToInt("4294967295"));  // wraps in 32 bits
    EXPECT_EQ(INT32_MIN, strHexToInt("80000000"));
}

TEST(Text, DuplicatesAndBoundedCopy) {
    TestFolders folders;  // the failed allocation writes to this test's log
    char* d = strDup("hello");
    ASSERT_NE(nullptr, d);
    EXPECT_STREQ("hello", d);
    memFree(d);
    memFailAfter(1);
    EXPECT_EQ(nullptr, wstrDup(u"x"));
    char16_t buf[6] = u"xxxxx";
    wstrNCopy(buf, u"ab", 4);  // pads with terminators up to n, no further
    EXPECT_EQ(std::u16string(u"ab\0\0x", 5), std::u16string(buf, 5));
}
