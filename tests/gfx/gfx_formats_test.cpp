// Pixel formats, conversions, palettes, pixel addressing, surface life cycle and frames.
#include <vector>

#include "brask/memory.h"
#include "gfx_fixture.h"

namespace {

uint32_t conv(uint32_t v, int from, int to) {
    Surface* t = sfCreate(1, 1, to, 0, SF_NO_KEY, nullptr);
    uint32_t r = sfConvertColourFormat(v, from, nullptr, t);
    sfFree(t);
    return r;
}

TEST_F(Gfx, PackingAndUnpackingTruncate) {
    const PixelFormatOps* f = sfGetFormatOps(pf565);
    EXPECT_EQ(f->fromRGB(0x080008), 0u);         // 8 x 31 / 255 is 0, not 1
    EXPECT_EQ(f->fromRGB(0x000800), 1u << 5);    // green has 6 bits: 8 x 63 / 255 = 1
    EXPECT_EQ(f->toRGB(16u << 11), 131u << 16);  // 16 x 255 / 31
    EXPECT_EQ(f->toRGB(30u << 11), 246u << 16);
    EXPECT_EQ(f->toRGB(0xF800), 0xFF0000u);
    EXPECT_EQ(f->toRGB(0x07E0), 0x00FF00u);
    EXPECT_EQ(f->fromRGB(0x808080), 0x7BEFu);
    EXPECT_EQ(sfGetFormatOps(pf555)->toRGB(0x8000 | 0x7C00), 0xFF0000u);  // the attribute bit is ignored
    EXPECT_EQ(sfGetFormatOps(pfMono1)->fromRGB(0xFFFFFF), 1u);
    EXPECT_EQ(sfGetFormatOps(pfMono1)->fromRGB(0x404040), 0u);
    EXPECT_EQ(sfGetFormatOps(pfMono2)->toRGB(2), 0xAAAAAAu);
    EXPECT_EQ(sfGetFormatOps(pfMono4)->fromRGB(0x102030), 2u);  // (16 + 32 + 48) / 3 = 32, >> 4
    EXPECT_EQ(sfGetFormatOps(pf444)->toRGB(0x0F00), 0xFF0000u);
}

TEST_F(Gfx, FormatTableRejectsNumbersOutsideOneToTen) {
    EXPECT_EQ(sfGetFormat(0), nullptr);
    EXPECT_EQ(sfGetFormat(11), nullptr);
    EXPECT_EQ(sfGetFormat(-1), nullptr);
    EXPECT_STREQ(sfGetFormat(pf565)->name, "565");
    EXPECT_EQ(sfGetFormat(pfMono4)->pixelsPerByte, 2);
    EXPECT_EQ(sfCreate(4, 4, 0, 0, SF_NO_KEY, nullptr), nullptr);
    EXPECT_EQ(sfCreate(4, 4, 11, 0, SF_NO_KEY, nullptr), nullptr);
    Surface* s = sfCreate(1, 1, pf565, 0, SF_NO_KEY, nullptr);
    EXPECT_EQ(sfConvertColourFormat(5, 0, nullptr, s), 0u);
    EXPECT_EQ(sfConvertColourFormat(5, 12, nullptr, s), 0u);
    EXPECT_EQ(sfConvert(s, 0), nullptr);
    EXPECT_EQ(sfConvert(s, 11), nullptr);
    EXPECT_EQ(gfxGetBlend(11, 1), nullptr);
    sfFree(s);
}

TEST_F(Gfx, WhiteAndBlackConvertBetweenEveryPairOfFormats) {
    const uint32_t white[PF_COUNT] = {0, 0, 0xFFF, 0x7FFF, 0xFFFF, 0xFFFFFF, 0xFFFFFF, 1, 3, 15, 255};
    for (int from = pf444; from < PF_COUNT; from++) {
        for (int to = pf444; to < PF_COUNT; to++) {
            // 8888 white without alpha: alpha is never carried
            EXPECT_EQ(conv(white[from], from, to), white[to]) << from << " -> " << to;
            EXPECT_EQ(conv(0, from, to), 0u) << from << " -> " << to;
        }
    }
}

TEST_F(Gfx, RgbToRgbIsOneStepAndMonoGoesThroughRgb) {
    EXPECT_EQ(conv(0xF800, pf565, pf888), 0xFF0000u);
    EXPECT_EQ(conv(32u << 5, pf565, pf888), 129u << 8);  // 32 x 255 / 63
    EXPECT_EQ(conv(33u << 5, pf565, pf555), 16u << 5);   // green 33 x 31 / 63 in one step
    EXPECT_EQ(conv(0xFFFFFF, pf888, pf565), 0xFFFFu);
    EXPECT_EQ(conv(0xFF123456, pf8888, pf888), 0x123456u);  // alpha dropped
    EXPECT_EQ(conv(0x123456, pf888, pf8888), 0x123456u);    // alpha 0
    EXPECT_EQ(conv(0x123456, pf888, pf8888) >> 24, 0u);
    // 565 red 16 -> 888 131 -> 565 15: each step truncates
    EXPECT_EQ(conv(conv(16u << 11, pf565, pf888), pf888, pf565), 15u << 11);
    EXPECT_EQ(conv(conv(0x00ABCDEF, pf888, pf8888), pf8888, pf888), 0xABCDEFu);
    // mono: grey level through 0x00RRGGBB, truncating twice: 565 (16,32,16) -> (131,130,131) -> 130 -> 8
    EXPECT_EQ(conv((16u << 11) | (32u << 5) | 16u, pf565, pfMono4), 8u);
    EXPECT_EQ(conv(2, pfMono2, pf565), sfGetFormatOps(pf565)->fromRGB(0xAAAAAA));
}

TEST_F(Gfx, PaletteConversionUsesCacheOrPacksColour) {
    Surface* p = sfCreate(2, 2, pfPalette, 0, SF_NO_KEY, nullptr);
    Surface* d = sfCreate(1, 1, pf565, 0, SF_NO_KEY, nullptr);
    const uint32_t cols[3] = {0x000000, 0xFF0000, 0x0000FF};
    sfSetPaletteRGB32(p, 3, cols);
    EXPECT_EQ(sfConvertColour(1, p, d), 0xF800u);  // no cache: packed
    palBuildCache(p->palette, pf565, nullptr);
    p->palette->cache[1] = 0x1234;  // proves the cache entry is used as it stands
    EXPECT_EQ(sfConvertColour(1, p, d), 0x1234u);
    palBuildCache(p->palette, pf888, nullptr);
    EXPECT_EQ(sfConvertColour(2, p, d), 0x001Fu);
    EXPECT_EQ(sfConvertColour(256, p, d), 0u);                       // past the block
    EXPECT_EQ(sfConvertColourFormat(1, pfPalette, nullptr, d), 0u);  // no palette anywhere
    EXPECT_EQ(sfConvertColour(0x001F, d, p), 2u);                    // to a palette: nearest colour
    Surface* q = sfCreate(1, 1, pfPalette, 0, SF_NO_KEY, nullptr);
    const uint32_t other[2] = {0x0000F0, 0xF00000};
    sfSetPaletteRGB32(q, 2, other);
    EXPECT_EQ(sfConvertColour(1, p, q), 1u);  // palette to palette: nearest in the target
    EXPECT_EQ(sfConvertColour(2, p, q), 0u);
    sfFree(p);
    sfFree(d);
    sfFree(q);
}

TEST_F(Gfx, NearestColourAndDistance) {
    Palette pal = {};
    pal.count = 4;
    pal.colours[0] = 0x100000;
    pal.colours[1] = 0x000010;  // same distance from 0 as entry 0
    pal.colours[2] = 0x808080;
    pal.colours[3] = 0x808080;
    EXPECT_EQ(colourDistance(0x010203, 0x030201), 8u);
    EXPECT_EQ(palFindNearest(&pal, 0), 0);         // tie: lower index
    EXPECT_EQ(palFindNearest(&pal, 0x808080), 2);  // exact match returns at once
    EXPECT_EQ(palFindNearest(&pal, 0x7F7F7F), 2);
    pal.count = 0;
    EXPECT_EQ(palFindNearest(&pal, 0x808080), 0);
}

TEST_F(Gfx, BrightnessShadesTheCacheAndKeepsColours) {
    Palette pal = {};
    pal.count = 2;
    pal.colours[0] = 0x00FA0A;   // green 250, blue 10
    palSetBrightness(&pal, 40);  // no cache yet: nothing
    EXPECT_EQ(pal.cache[0], 0u);
    palBuildCache(&pal, pf888, nullptr);
    palSetBrightness(&pal, 40);
    EXPECT_EQ(pal.cache[0], 0x28FF32u);
    palSetBrightness(&pal, -40);
    EXPECT_EQ(pal.cache[0], 0x00D200u);
    palSetBrightness(&pal, 0);
    EXPECT_EQ(pal.cache[0], 0x00FA0Au);
    EXPECT_EQ(pal.colours[0], 0x00FA0Au);
    // A cache of indices into another palette: shaded colours are matched there.
    Palette target = {};
    target.count = 2;
    target.colours[0] = 0x000000;
    target.colours[1] = 0xFFFFFF;
    Palette src = {};
    src.count = 1;
    src.colours[0] = 0x606060;
    palBuildCache(&src, pfPalette, &target);
    EXPECT_EQ(src.cache[0], 0u);
    palSetBrightness(&src, 100);
    EXPECT_EQ(src.cache[0], 1u);
    // Building for format 1 against itself leaves the block alone.
    Palette self = {};
    self.cacheFormat = pf565;
    palBuildCache(&self, pfPalette, &self);
    EXPECT_EQ(self.cacheFormat, uint32_t(pf565));
    EXPECT_EQ(self.cachePalette, nullptr);
}

TEST_F(Gfx, PaletteBlocksOwnedSharedAndClamped) {
    Surface* s = sfCreate(1, 1, pfPalette, 0, SF_NO_KEY, nullptr);
    std::vector<uint32_t> many(300, 0x123456);
    sfSetPaletteRGB32(s, 300, many.data());  // clamped: the block holds 256
    EXPECT_EQ(s->palette->count, 256u);
    EXPECT_EQ(s->ownsPalette, 1);
    const uint8_t rgb[6] = {1, 2, 3, 4, 5, 6};
    sfSetPaletteRGB24(s, 2, rgb);
    EXPECT_EQ(s->palette->colours[1], 0x040506u);
    sfSetPaletteRGB24(s, -3, rgb);
    EXPECT_EQ(s->palette->count, 0u);
    // Referencing its own block must not free it first.
    Palette* own = s->palette;
    sfSetPalette(s, own, 0);
    EXPECT_EQ(s->palette, own);
    EXPECT_EQ(s->ownsPalette, 1);
    Palette shared = {};
    shared.count = 7;
    sfSetPalette(s, &shared, 0);  // frees the owned block, then references the caller's
    EXPECT_EQ(s->palette, &shared);
    EXPECT_EQ(s->ownsPalette, 0);
    sfSetPalette(s, &shared, 1);
    EXPECT_NE(s->palette, &shared);
    EXPECT_EQ(s->palette->count, 7u);
    sfSetPalette(s, nullptr, 0);
    EXPECT_EQ(s->palette, nullptr);
    memFailAfter(1);
    sfSetPaletteRGB32(s, 1, many.data());
    EXPECT_EQ(s->palette, nullptr);
    sfFree(s);
}

TEST_F(Gfx, SubByteFormatsAtEveryBitPosition) {
    for (int f = pfMono1; f <= pfMono4; f++) {
        const PixelFormatInfo* info = sfGetFormat(f);
        const int ppb = info->pixelsPerByte, bits = info->bitsPerPixel, mask = info->monoMask;
        Surface* s = sfCreate(ppb + 1, 2, f, 0, SF_NO_KEY, nullptr);
        EXPECT_EQ(s->rowPitch, 2);
        for (int x = 0; x < ppb + 1; x++) {
            sfPutPixel(s, x, 1, uint32_t(mask));
            const int byte = x / ppb, shift = (x % ppb) * bits;
            EXPECT_EQ(s->pixels[2 + byte], uint8_t(mask << shift)) << "format " << f << " x " << x;
            EXPECT_EQ(sfGetPixel(s, x, 1), uint32_t(mask));
            for (int o = 0; o < ppb + 1; o++) EXPECT_EQ(sfGetPixel(s, o, 1), o == x ? uint32_t(mask) : 0u);
            sfPutPixel(s, x, 1, 0);
        }
        EXPECT_EQ(s->pixels[0] | s->pixels[1], 0);  // row 0 never touched
        sfFree(s);
    }
    // A MONO4 buffer stored down the columns: y walks the nibbles, x the column bytes.
    uint8_t buf[8] = {};
    Surface* c = sfCreate(2, 4, pfMono4, 0, SF_NO_KEY, buf);
    c->xStep = 4;
    c->rowPitch = 1;
    sfPutPixel(c, 1, 3, 9);
    EXPECT_EQ(buf[4 + 1], 0x90);
    EXPECT_EQ(sfGetPixel(c, 1, 3), 9u);
    EXPECT_EQ(sfGetPixel(c, 1, 2), 0u);
    sfFree(c);
}

TEST_F(Gfx, PixelAccessOutsideSurfaceClipOrEncoding) {
    Surface* s = sfCreate(20, 20, pf565, 0, SF_NO_KEY, nullptr);
    sfPutPixel(s, 3, 4, 0xABCD);
    EXPECT_EQ(sfGetPixel(s, 3, 4), 0xABCDu);
    EXPECT_EQ(sfGetPixel(s, 20, 0), 0u);
    EXPECT_EQ(sfGetPixel(s, 0, 20), 0u);
    EXPECT_EQ(sfGetPixel(s, -1, 0), 0u);
    sfPutPixel(s, 20, 0, 1);
    sfPutPixel(s, -1, 0, 1);
    Rect clip = {10, 10, 5, 5};
    gfxSetClip(&clip);
    sfPutPixel(s, 14, 14, 7);
    sfPutPixel(s, 15, 14, 7);
    EXPECT_EQ(sfGetPixel(s, 14, 14), 7u);
    EXPECT_EQ(sfGetPixel(s, 15, 14), 0u);
    gfxSetClip(nullptr);
    s->colourKey = 0;
    ASSERT_EQ(sfEncodeRLE(s), 1);
    const std::vector<uint8_t> before(s->pixels, s->pixels + s->dataSize);
    sfPutPixel(s, 0, 0, 0xFFFF);  // an encoded surface has no addressable pixels
    EXPECT_EQ(std::vector<uint8_t>(s->pixels, s->pixels + s->dataSize), before);
    EXPECT_EQ(sfGetPixel(s, 3, 4), 0u);
    sfFree(s);
}

TEST_F(Gfx, CreateReleaseCloneConvert) {
    Surface* s = sfCreate(240, 320, pf565, 0, SF_NO_KEY, nullptr);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->xStep, 2);
    EXPECT_EQ(s->rowPitch, 480);
    EXPECT_EQ(s->dataSize, 153600u);
    EXPECT_EQ(s->animMode, 1);
    EXPECT_EQ(s->frameTime, 50);
    sfFree(s);
    memFailAfter(1);  // the pooled record exists already: the pixel buffer fails
    EXPECT_EQ(sfCreate(8, 8, pf888, 0, SF_NO_KEY, nullptr), nullptr);

    Surface* a = make(
        5, 4, pf565, [](int x, int y) { return uint32_t(x * 100 + y); }, 0x1F);
    a->anchorX = 128;
    const int32_t quads[] = {0, 0, 2, 2, 2, 0, 3, 4, -1};
    sfAddFrames(a, quads);
    const uint32_t cols[2] = {0xFFFFFF, 0};
    sfSetPaletteRGB32(a, 2, cols);
    Surface* c = sfClone(a);
    ASSERT_NE(c, nullptr);
    EXPECT_NE(c->pixels, a->pixels);
    EXPECT_NE(c->palette, a->palette);
    EXPECT_EQ(c->palette->colours[0], 0xFFFFFFu);
    EXPECT_EQ(c->frames.count, 2);
    EXPECT_EQ(sfGetPixel(c, 4, 3), 403u);
    Surface* v = sfConvert(a, pf888);
    ASSERT_NE(v, nullptr);
    EXPECT_EQ(v->colourKey, 0x0000FFu);
    EXPECT_EQ(v->anchorX, 128);
    EXPECT_EQ(v->frames.count, 2);
    EXPECT_EQ(sfGetPixel(v, 4, 3), conv(403, pf565, pf888));
    gfxSetOpacity(0);  // conversion copies whatever the opacity
    Surface* v2 = sfConvert(a, pf444);
    EXPECT_EQ(sfGetPixel(v2, 4, 3), conv(403, pf565, pf444));
    for (Surface* x : {a, c, v, v2}) sfFree(x);
}

TEST_F(Gfx, CloneOfAViewTurnedByANegativeStepCopiesTheWholeBuffer) {
    uint16_t buf[12];
    for (int i = 0; i < 12; i++) buf[i] = uint16_t(i + 1);
    // 4 x 3 buffer seen mirrored: pixel (0, 0) is the last pixel of row 0.
    Surface* v = sfCreate(4, 3, pf565, 0, SF_NO_KEY, buf);
    v->xStep = -2;
    v->pixels = reinterpret_cast<uint8_t*>(buf + 3);
    Surface* c = sfClone(v);
    ASSERT_NE(c, nullptr);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 4; x++) EXPECT_EQ(sfGetPixel(c, x, y), sfGetPixel(v, x, y));
    EXPECT_EQ(c->xStep, 2);  // the copy is laid out plainly
    sfFree(c);
    sfFree(v);
}

TEST_F(Gfx, FramesAndAnimation) {
    Surface* s = sfCreate(100, 50, pf565, 0, SF_NO_KEY, nullptr);
    EXPECT_EQ(sfSplitFrames(s, 0, 2), 0);
    EXPECT_EQ(sfSplitFrames(s, 3, -1), 0);
    ASSERT_EQ(sfSplitFrames(s, 3, 2), 1);
    ASSERT_EQ(s->frames.count, 6);
    const Rect last = static_cast<const Rect*>(s->frames.data)[5];
    EXPECT_EQ(last.x, 66);
    EXPECT_EQ(last.y, 25);
    EXPECT_EQ(last.width, 33);
    EXPECT_EQ(last.height, 25);
    int32_t w, h;
    sfFrameSize(s, 5, &w, &h);
    EXPECT_EQ(w * 1000 + h, 33025);
    sfFrameSize(s, 6, &w, &h);  // past the list: the whole surface
    EXPECT_EQ(w * 1000 + h, 100050);

    ASSERT_EQ(sfSplitFrames(s, 4, 1), 1);
    s->animLoop = 0;
    for (int t : {200, 250, 5000}) EXPECT_EQ(sfAnimFrame(s, t), 3);
    s->animLoop = 1;
    EXPECT_EQ(sfAnimFrame(s, 250), 1);
    s->animMode = 2;
    for (int t = 0; t < 1000; t += 10) {
        int f = sfAnimFrame(s, t);
        EXPECT_TRUE(f >= 0 && f < 4) << t;
    }
    EXPECT_EQ(sfAnimFrame(s, 60), 2);  // e = 1.2: 4 - 1.2
    s->animMode = 3;                   // 0 1 2 3 2 1 0 ...
    EXPECT_EQ(sfAnimFrame(s, 200), 3);
    EXPECT_EQ(sfAnimFrame(s, 250), 2);  // e = 5: on the way back, 2n - 1 - 5
    s->animMode = 9;
    EXPECT_EQ(sfAnimFrame(s, 100000), 3);
    s->frameTime = 0;
    EXPECT_EQ(sfAnimFrame(s, 100), 0);
    sfSplitFrames(s, 1, 1);
    EXPECT_EQ(sfAnimFrame(s, 100), -1);
    sfFree(s);
}

}  // namespace
