// Fonts: glyph scanning, measuring, tab stops, alignment, cut-off and justification, and the system font.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>

#include "brask/font.h"
#include "brask/image.h"
#include "support/test_support.h"

namespace {

const uint32_t kInk = 0xFFFF, kKey = 0;

// A grid font on a 565 image (key black, cells one pixel apart, origin 1): every cell fully inked unless
// inked(code, column) says otherwise.
template <class F>
Font makeFont(int cw, int ch, int cols, int rows, bool proportional, int spacing, F inked) {
    Font f = {};
    f.cellWidth = cw;
    f.cellHeight = ch;
    f.spacing = spacing;
    f.proportional = proportional;
    f.gapX = f.gapY = 1;
    f.originX = f.originY = 1;
    f.columns = cols;
    f.rows = rows;
    f.firstChar = 32;
    f.image = sfCreate(1 + cols * (cw + 1), 1 + rows * (ch + 1), pf565, 0, kKey, nullptr);
    for (int i = 0; i < cols * rows; i++)
        for (int x = 0; x < cw; x++)
            for (int y = 0; y < ch; y++)
                if (inked(32 + i, x))
                    sfPutPixel(f.image, 1 + (i % cols) * (cw + 1) + x, 1 + (i / cols) * (ch + 1) + y, kInk);
    EXPECT_TRUE(fntBuildGlyphs(&f));
    return f;
}
Font fixedFont(int cw = 7, int spacing = 0) {
    return makeFont(cw, 14, 14, 7, false, spacing, [](int, int) { return true; });
}

// Width and height as one value, "w x h".
std::string measure(const Font* f, const char16_t* text) {
    int32_t w, h;
    fntMeasure(f, text, &w, &h);
    return std::to_string(w) + " x " + std::to_string(h);
}

class Fnt : public ::testing::Test {
   protected:
    TestFolders tf;
    Surface* target = sfCreate(240, 60, pf565, 0, SF_NO_KEY, nullptr);
    void TearDown() override {
        sfFree(target);
        gfxSetDrawMode(0);
        gfxShutdownSurfacePool();
    }
    // Columns of row y that were painted, as a string of '#' and '.'.
    std::string row(int y, int from, int to) {
        std::string s;
        for (int x = from; x < to; x++) s += sfGetPixel(target, x, y) ? '#' : '.';
        return s;
    }
    void clear() {
        const uint32_t colour = gfxSetColour(0);
        const int32_t mode = gfxSetDrawMode(0);
        gfxFillRect(target, nullptr);
        gfxSetColour(colour);
        gfxSetDrawMode(mode);
    }
};

}  // namespace

TEST_F(Fnt, MeasuringLinesTabsAndSpacing) {
    Font f = fixedFont();
    EXPECT_EQ("14 x 14", measure(&f, u"AB"));
    EXPECT_EQ("7 x 28", measure(&f, u"A\nB"));
    EXPECT_EQ("0 x 14", measure(&f, nullptr));
    EXPECT_EQ(35, fntTextWidth(&f, u"\tA"));      // stops every 4 x 7
    EXPECT_EQ(63, fntTextWidth(&f, u"AAAA\tB"));  // a pen on a stop moves to the next one
    Font s = fixedFont(7, 1);
    EXPECT_EQ(16, fntTextWidth(&s, u"AB"));  // spacing after the last character counts
    sfFree(f.image);
    sfFree(s.image);

    // Proportional: B has two blank columns left and one right, C is empty, codes outside the grid and the
    // space advance half a cell; tab stops every 2 x (cell + spacing).
    Font p = makeFont(7, 5, 16, 3, true, 1, [](int c, int x) {
        return c == 'C' ? false : c == 'B' ? x >= 2 && x < 6 : true;
    });
    EXPECT_EQ(79, p.lastChar);
    const Glyph& b = p.glyphs['B' - 32];
    EXPECT_EQ(std::make_tuple(4, 2, 1), std::make_tuple(int(b.width), int(b.leftBlank), int(b.rightBlank)));
    EXPECT_EQ(3, p.glyphs['C' - 32].width);
    EXPECT_EQ(5, fntTextWidth(&p, u"B"));
    EXPECT_EQ(4 + 4 + 4, fntTextWidth(&p, u"C z"));
    EXPECT_EQ(16 + 5, fntTextWidth(&p, u"B\tB"));
    sfFree(p.image);

    // No room for tab stops: a tab moves nothing, and nothing loops.
    Font n = fixedFont(1, -1);
    EXPECT_EQ(0, fntTextWidth(&n, u"\t\t"));
    sfFree(n.image);
}

TEST_F(Fnt, DrawingPlacesCentresAlignsAndCutsOff) {
    Font p = makeFont(7, 5, 16, 3, true, 1, [](int c, int x) { return c == 'B' ? x >= 2 && x < 6 : true; });
    gfxSetColour(kInk);
    gfxSetDrawMode(1);
    EXPECT_EQ(0, fntDrawText(&p, target, u"B", 10, 0, FNT_ALIGN_LEFT, 0));
    EXPECT_EQ(".####.", row(2, 9, 15));  // drawn at pen - leftBlank: ink from the pen on
    EXPECT_EQ(1, gfxGetDrawMode());
    sfFree(p.image);

    Font f = fixedFont(10);
    const char16_t* ten = u"AAAAAAAAAA";
    clear();
    fntDrawText(&f, target, ten, FNT_CENTRE, 0, FNT_ALIGN_LEFT, 0);
    EXPECT_EQ(".#", row(0, 69, 71));
    EXPECT_EQ("#.", row(0, 169, 171));
    clear();
    fntDrawText(&f, target, u"AA", 0, 0, FNT_ALIGN_RIGHT, 50);
    EXPECT_EQ(".#", row(0, 29, 31));
    clear();
    fntDrawText(&f, target, u"AA", 0, 0, FNT_ALIGN_CENTRE, 50);
    EXPECT_EQ(".#", row(0, 14, 16));
    clear();
    fntDrawText(&f, target, ten, 0, 0, FNT_ALIGN_LEFT, 50);  // the sixth glyph would pass x0 + 50
    EXPECT_EQ("#.", row(0, 49, 51));
    EXPECT_EQ(1, gfxGetDrawMode());
    EXPECT_EQ(0, fntDrawText(&f, nullptr, ten, 0, 0, FNT_ALIGN_LEFT, 0));
    sfFree(f.image);
}

TEST_F(Fnt, JustificationSpreadsTheSpareWidthOverTheGaps) {
    EXPECT_EQ(2, fntCountGaps(u"aa bb cc\nd"));
    EXPECT_EQ(0, fntCountGaps(u"aa bb cc"));       // the last line is not stretched
    EXPECT_EQ(0, fntCountGaps(u"aa bb\n\nx"));     // nor one before an empty line
    EXPECT_EQ(2, fntCountGaps(u"aa\tbb  cc\nx"));  // a run of blanks is one gap

    Font f = makeFont(3, 4, 16, 6, false, 1, [](int, int x) { return x == 0; });  // a = 4, ink in column 0
    gfxSetColour(kInk);
    auto starts = [&]() {
        std::string s;
        for (int x = 0; x < 120; x++)
            if (sfGetPixel(target, x, 0)) s += std::to_string(x) + " ";
        return s;
    };
    fntDrawText(&f, target, u"aa bb cc\nd", 0, 0, FNT_ALIGN_JUSTIFY, 32 + 10);
    EXPECT_EQ("0 4 17 21 34 38 ", starts());  // 5 extra per gap
    EXPECT_TRUE(sfGetPixel(target, 0, 5));    // the second line starts again at x0
    clear();
    fntDrawText(&f, target, u"aa bb cc\nd", 0, 0, FNT_ALIGN_JUSTIFY, 32 + 11);
    EXPECT_EQ("0 4 17 21 35 39 ", starts());  // the last gap takes the remainder
    clear();
    // A run of spaces is one gap and takes the extra once: the line ends on the box's edge, nothing is cut.
    fntDrawText(&f, target, u"aa  bb\nc", 0, 0, FNT_ALIGN_JUSTIFY, 24 + 6);
    EXPECT_EQ("0 4 22 26 ", starts());
    clear();
    fntDrawText(&f, target, u"aa  bb cc\nd", 0, 0, FNT_ALIGN_JUSTIFY, 36 + 10);
    EXPECT_EQ("0 4 21 25 38 42 ", starts());  // both gaps widen alike
    clear();
    // A line that is not stretched draws as left-aligned text, even in a box it exactly fills.
    fntDrawText(&f, target, u"aa bb cc", 0, 0, FNT_ALIGN_JUSTIFY, 32);
    EXPECT_EQ("0 4 12 16 24 28 ", starts());
    clear();
    fntDrawText(&f, target, u"aa bb  \n\nc", 0, 0, FNT_ALIGN_JUSTIFY, 60);
    EXPECT_EQ("0 4 12 16 ", starts());         // a paragraph's last line, before an empty one
    EXPECT_EQ("4 x 8", measure(&f, u"a\nb"));  // the single-line flag was cleared
    sfFree(f.image);
}

TEST_F(Fnt, GridsThatDoNotFitTheirImageAreRefused) {
    Font f = fixedFont();
    Surface* mono = sfCreate(113, 106, pfMono1, 0, 0, nullptr);
    Surface* enc = sfClone(f.image);
    ASSERT_EQ(1, sfEncodeRLE(enc));
    // One row too many; the last column one pixel past the image; no first character; unreadable images;
    // 1400 cells, of which only the first 256 are used and only they must fit.
    void (*const bad[])(Font&, Surface*, Surface*) = {
        [](Font& g, Surface*, Surface*) { g.rows = 8; },
        [](Font& g, Surface*, Surface*) { g.originX = 3; },
        [](Font& g, Surface*, Surface*) { g.firstChar = 0; },
        [](Font& g, Surface* m, Surface*) { g.image = m; },
        [](Font& g, Surface*, Surface* e) { g.image = e; },
        [](Font& g, Surface*, Surface*) { g.rows = 100; },
    };
    for (size_t i = 0; i < sizeof bad / sizeof bad[0]; i++) {
        Font g = f;
        bad[i](g, mono, enc);
        EXPECT_EQ(nullptr, fntBuildGlyphs(&g)) << "case " << i;
    }
    for (Surface* s : {f.image, mono, enc}) sfFree(s);
}

TEST_F(Fnt, SystemFontComesFromTheImageCache) {
    EXPECT_EQ(0, fntInitSystem());  // no cache yet
    ASSERT_TRUE(sfInitImageCache(sfGetImageCache(), pf565));
    EXPECT_EQ(0, fntInitSystem());  // no image
    // 113 x 106, black with white ink, in the second of the three places looked at.
    std::string tga = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 113, 0, 106, 0, 24, 0};
    for (int i = 0; i < 113 * 106; i++) tga += i % 3 ? std::string(3, '\xFF') : std::string(3, '\0');
    writeFile(tf.prog + "/gfx/SysFont7x14.tga", tga);
    EXPECT_EQ(1, fntInitSystem());
    const Font* f = fntGetSystemFont();
    EXPECT_EQ(kKey, f->image->colourKey);
    EXPECT_EQ(129, f->lastChar);
    EXPECT_EQ(std::make_pair(105, 91), std::make_pair(int(f->glyphs[97].x), int(f->glyphs[97].y)));
    EXPECT_EQ("14 x 14", measure(f, u"AB"));
    resCacheDestroy(sfGetImageCache(), 1);

    // On a palette display black is found in the image's palette.
    ASSERT_TRUE(sfInitImageCache(sfGetImageCache(), pfPalette));
    std::string mapped = {0, 1, 1, 0, 0, 3, 0, 24, 0, 0, 0, 0, 113, 0, 106, 0, 8, 0};
    mapped += std::string("\xFF\xFF\xFF\x10\x10\x10\0\0\0", 9) + std::string(113 * 106, '\1');
    writeFile(tf.prog + "/SysFont7x14.tga", mapped);
    writeFile(tf.prog + "/gfx/SysFont7x14.tga", "");
    EXPECT_EQ(1, fntInitSystem());
    EXPECT_EQ(2u, fntGetSystemFont()->image->colourKey);
    resCacheDestroy(sfGetImageCache(), 1);
}
