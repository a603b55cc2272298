// Rectangles, the drawing state and the primitives.
#include <cstdlib>

#include "gfx_fixture.h"

namespace {

int count(const Surface* s, uint32_t v) {
    int n = 0;
    for (int y = 0; y < s->height; y++)
        for (int x = 0; x < s->width; x++) n += sfGetPixel(s, x, y) == v;
    return n;
}

TEST_F(Gfx, RectOverlapNeedsASharedPixel) {
    Rect a = {0, 0, 10, 10}, touch = {10, 0, 5, 5}, corner = {9, 9, 5, 5}, empty = {2, 2, 0, 5},
         negative = {5, 5, -3, 4};
    EXPECT_EQ(rectOverlap(&a, &touch), 0);
    EXPECT_EQ(rectOverlap(&a, &corner), 1);
    EXPECT_EQ(rectOverlap(&a, &empty), 0);
    EXPECT_EQ(rectOverlap(&empty, &a), 0);
    EXPECT_EQ(rectOverlap(&a, &negative), 0);
}

TEST_F(Gfx, SettersRejectUnknownModesAndClampOpacity) {
    EXPECT_EQ(gfxSetDrawMode(3), 0);
    EXPECT_EQ(gfxSetDrawMode(5), 3);
    EXPECT_EQ(gfxGetDrawMode(), 3);
    gfxSetDrawMode(-1);
    EXPECT_EQ(gfxGetDrawMode(), 3);
    gfxSetOpacity(300);
    EXPECT_EQ(gfxGetOpacity(), 256);
    EXPECT_EQ(gfxSetOpacity(-4), 256);
    EXPECT_EQ(gfxGetOpacity(), 0);
    Rect r = {1, 2, 3, 4};
    EXPECT_EQ(gfxSetClip(&r), nullptr);
    EXPECT_EQ(gfxSetClip(nullptr), &r);
    EXPECT_EQ(gfxSetColour(5), 0u);
    EXPECT_EQ(gfxGetColour(), 5u);
}

TEST_F(Gfx, LinesClipToSurfaceAndClipRectangle) {
    Surface* s = sfCreate(20, 20, pf565, 0, SF_NO_KEY, nullptr);
    gfxSetColour(1);
    gfxHLine(s, -5, 0, 10);
    for (int x = 0; x < 20; x++) EXPECT_EQ(sfGetPixel(s, x, 0), x <= 4 ? 1u : 0u) << x;
    gfxVLine(s, 19, 15, 100);
    EXPECT_EQ(sfGetPixel(s, 19, 19), 1u);
    EXPECT_EQ(count(s, 1), 5 + 5);
    Rect clip = {3, 3, 4, 4};
    gfxSetClip(&clip);
    gfxSetColour(2);
    gfxHLine(s, 0, 5, 20);
    gfxVLine(s, 5, 0, 20);
    gfxHLine(s, 0, 7, 20);  // the row below the clip
    EXPECT_EQ(count(s, 2), 4 + 4 - 1);
    EXPECT_EQ(sfGetPixel(s, 3, 5), 2u);
    EXPECT_EQ(sfGetPixel(s, 7, 5), 0u);
    sfFree(s);
}

TEST_F(Gfx, FillRectHonoursClipIncludingEmptyClips) {
    Surface* s = sfCreate(40, 30, pf888, 0, SF_NO_KEY, nullptr);
    gfxSetColour(0xABCDEF);
    Rect clip = {10, 10, 5, 5};
    gfxSetClip(&clip);
    gfxFillRect(s, nullptr);
    EXPECT_EQ(count(s, 0xABCDEF), 25);
    EXPECT_EQ(sfGetPixel(s, 14, 14), 0xABCDEFu);
    Rect bad = {20, 20, -7, -7};
    gfxSetClip(&bad);
    gfxSetColour(1);
    gfxFillRect(s, nullptr);
    EXPECT_EQ(count(s, 1), 0);
    gfxSetClip(nullptr);
    Rect r = {-3, 28, 5, 10};
    gfxFillRect(s, &r);
    EXPECT_EQ(count(s, 1), 2 * 2);
    sfFree(s);
}

TEST_F(Gfx, FrameRectCornersAreDrawnTwiceAndBlendTwice) {
    Surface* s = sfCreate(8, 8, pf565, 0, SF_NO_KEY, nullptr);
    gfxSetDrawMode(1);
    gfxSetOpacity(128);
    gfxSetColour(0xFFFF);
    Rect one = {2, 2, 1, 1};
    gfxFrameRect(s, &one);
    uint32_t want = 0;
    for (int i = 0; i < 4; i++) want = gfxGetBlend(pf565, 1)(want, 0xFFFF, 128, 0xFFFF);
    EXPECT_EQ(sfGetPixel(s, 2, 2), want);
    EXPECT_EQ(count(s, 0), 63);
    sfFree(s);
}

TEST_F(Gfx, PrimitivesFollowTheDrawMode) {
    Surface* s = sfCreate(4, 1, pf565, 0, SF_NO_KEY, nullptr);
    sfPutPixel(s, 0, 0, 0x1234);
    gfxSetDrawMode(4);
    gfxSetColour(0x0F0F);
    gfxHLine(s, 0, 0, 4);
    EXPECT_EQ(count(s, 0x0F0F), 4);
    gfxSetDrawMode(3);  // coverage from the colour itself: blue 31 is full
    gfxSetColour(0xF81F);
    gfxPlot(s, 1, 0);
    EXPECT_EQ(sfGetPixel(s, 1, 0), 0xF81Fu);
    gfxSetColour(0xF800);  // blue 0: nothing changes
    gfxPlot(s, 2, 0);
    EXPECT_EQ(sfGetPixel(s, 2, 0), 0x0F0Fu);
    // A palette surface has no blend for modes 1-3: the colour is written as it is.
    Surface* p = sfCreate(2, 2, pfPalette, 0, SF_NO_KEY, nullptr);
    gfxSetDrawMode(1);
    gfxSetOpacity(10);
    gfxSetColour(7);
    gfxPlot(p, 1, 1);
    gfxFillRect(p, nullptr);
    EXPECT_EQ(count(p, 7), 4);
    // Nothing is drawn on an encoded surface.
    s->colourKey = 0x7777;
    ASSERT_EQ(sfEncodeRLE(s), 1);
    const uint32_t size = s->dataSize;
    gfxSetDrawMode(0);
    gfxFillRect(s, nullptr);
    gfxEllipse(s, 1, 0, 3, 3, 0);
    EXPECT_EQ(s->dataSize, size);
    sfFree(s);
    sfFree(p);
}

// Draws with additive 1 on MONO8, so every pixel counts how often it was drawn.
Surface* traced(int rx, int ry, int flags) {
    Surface* s = sfCreate(41, 41, pfMono8, 0, SF_NO_KEY, nullptr);
    gfxSetDrawMode(2);
    gfxSetOpacity(256);
    gfxSetColour(1);
    gfxEllipse(s, 20, 20, rx, ry, flags);
    return s;
}

TEST_F(Gfx, EllipseRingIsClosedAndDrawsEachPointOnce) {
    Surface* s = traced(6, 6, 0);
    EXPECT_EQ(sfGetPixel(s, 26, 20), 1u);
    EXPECT_EQ(sfGetPixel(s, 20, 26), 1u);
    EXPECT_EQ(sfGetPixel(s, 14, 20), 1u);
    EXPECT_EQ(sfGetPixel(s, 20, 14), 1u);
    int points = 0;
    for (int y = 0; y < 41; y++) {
        for (int x = 0; x < 41; x++) {
            uint32_t v = sfGetPixel(s, x, y);
            if (!v) continue;
            points++;
            EXPECT_EQ(v, 1u) << x << "," << y;
            const int dx = x - 20, dy = y - 20;
            EXPECT_LE(std::abs(dx * dx + dy * dy - 36), 6) << x << "," << y;  // stays by the circle
            int neighbours = 0;
            for (int j = -1; j <= 1; j++)
                for (int i = -1; i <= 1; i++) neighbours += (i || j) && sfGetPixel(s, x + i, y + j);
            EXPECT_GE(neighbours, 2) << "the ring is open at " << x << "," << y;
        }
    }
    EXPECT_GE(points, 24);
    sfFree(s);
}

TEST_F(Gfx, EllipseQuadrantsFillAndThickOutline) {
    Surface* ul = traced(8, 5, GFX_ELLIPSE_UL);
    for (int y = 0; y < 41; y++)
        for (int x = 0; x < 41; x++)
            EXPECT_TRUE(!sfGetPixel(ul, x, y) || (x <= 20 && y <= 20)) << x << "," << y;
    EXPECT_EQ(sfGetPixel(ul, 12, 20), 1u);
    EXPECT_EQ(sfGetPixel(ul, 20, 15), 1u);
    sfFree(ul);

    Surface* f = traced(8, 5, GFX_ELLIPSE_FILL);
    for (int x = 12; x <= 28; x++) EXPECT_EQ(sfGetPixel(f, x, 20), 1u) << x;  // the middle row, once
    EXPECT_EQ(sfGetPixel(f, 11, 20), 0u);
    EXPECT_EQ(sfGetPixel(f, 20, 25), 1u);
    EXPECT_EQ(sfGetPixel(f, 20, 26), 0u);
    for (int y = 15; y <= 25; y++)  // symmetric about the centre
        for (int x = 0; x < 41; x++) EXPECT_EQ(sfGetPixel(f, x, y), sfGetPixel(f, 40 - x, 40 - y));
    sfFree(f);

    Surface* top = traced(8, 5, GFX_ELLIPSE_FILL | GFX_ELLIPSE_UL | GFX_ELLIPSE_UR);
    for (int y = 21; y < 41; y++)
        for (int x = 0; x < 41; x++) EXPECT_EQ(sfGetPixel(top, x, y), 0u);
    sfFree(top);

    // Thick: each outline point becomes a 2 x 2 block reaching towards the centre.
    Surface* t = traced(6, 6, GFX_ELLIPSE_THICK | GFX_ELLIPSE_UL);
    EXPECT_NE(sfGetPixel(t, 15, 21), 0u);  // side point (14, 20) -> block from (15, 21)
    EXPECT_NE(sfGetPixel(t, 16, 22), 0u);
    EXPECT_EQ(sfGetPixel(t, 14, 20), 0u);
    sfFree(t);
    gfxEllipse(nullptr, 0, 0, 3, 3, 0);
}

}  // namespace
