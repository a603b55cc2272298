// Blits: clipping, key, blends, fast paths against the per-pixel path, copies into turned frame buffers,
// the rotated blit and run-length encoded sprites.
#include <cstdlib>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "BraskLib/src/BraskGfx_internal.h"
#include "brask/memory.h"
#include "brask/random.h"
#include "gfx_fixture.h"
#include "platform/platform.h"

namespace {

std::vector<uint8_t> bytes(const Surface* s) {
    return std::vector<uint8_t>(s->pixels, s->pixels + s->dataSize);
}

// Every pixel a different value: x + 64 y + 1 in 565.
Surface* numbered(int w, int h, uint32_t key = SF_NO_KEY) {
    Surface* s = sfCreate(w, h, pf565, 0, key, nullptr);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) sfPutPixel(s, x, y, uint32_t(x + 64 * y + 1));
    return s;
}

TEST_F(Gfx, OpacityZeroDrawsNothingAnywhere) {
    Surface* s = numbered(8, 8);
    Surface* d = sfCreate(16, 16, pf565, 0, SF_NO_KEY, nullptr);
    gfxSetOpacity(0);
    RotateParams rp = {8, 8, 0, 256, 256};
    EXPECT_EQ(sfBlitRect(s, d, 0, 0, nullptr), 0);
    EXPECT_EQ(sfBlit(s, d, 0, 0), 0);
    EXPECT_EQ(sfBlitFrame(s, d, 0, 0, 0), 0);
    EXPECT_EQ(sfCopyRect(s, d, 0, 0, nullptr), 0);
    EXPECT_EQ(sfBlitRotated(s, d, &rp, -1), 0);
    EXPECT_EQ(bytes(d), std::vector<uint8_t>(d->dataSize, 0));
    sfFree(s);
    sfFree(d);
}

TEST_F(Gfx, BlendTableWorkedValues) {
    EXPECT_EQ(gfxGetBlend(pf565, 0), nullptr);  // copy writes the source as it is
    EXPECT_EQ(gfxGetBlend(pf565, 1)(0x0000, 0xFFFF, 128, 0), 0x7BEFu);
    EXPECT_EQ(gfxGetBlend(pf565, 2)(0x8410, 0x8410, 256, 0), 0xFFFFu);
    EXPECT_EQ(gfxGetBlend(pf8888, 2)(0xABFF8000, 0x01FF8000, 256, 0), 0xABFFFF00u);  // keeps the dst alpha
    EXPECT_EQ(gfxGetBlend(pf565, 3)(0x1234, 0x001F, 77, 0xF800), 0xF800u);  // full coverage, opacity ignored
    EXPECT_EQ(gfxGetBlend(pf565, 4)(0x1234, 0x5678, 77, 0x0F0F), 0x0F0Fu);
    EXPECT_EQ(gfxGetBlend(pfMono8, 2)(200, 100, 256, 0), 255u);
    EXPECT_EQ(gfxGetBlend(pfMono4, 1)(0, 15, 128, 0), 7u);
    EXPECT_EQ(gfxGetBlend(pfMono1, 3)(0, 1, 256, 1), 1u);
    EXPECT_EQ(gfxGetBlend(pfMono2, 3)(0, 3, 256, 3), 3u);
    EXPECT_EQ(gfxGetBlend(pfPalette, 1), nullptr);  // palette: unblended
    EXPECT_EQ(gfxGetBlend(pfPalette, 4)(1, 2, 256, 9), 9u);
}

// The blend rules as stated, on the fields in place with 64-bit sums, to hold the table's arithmetic to.
uint32_t blendByFields(int format, int mode, uint32_t d, uint32_t s, uint64_t a, uint32_t colour) {
    const PixelFormatInfo* f = sfGetFormat(format);
    const int shifts[3] = {f->shiftR, f->shiftG, f->shiftB};
    const int maxes[3] = {f->maxR, f->maxG, f->maxB};
    uint64_t k = mode == 3 ? ((s >> f->shiftB) & uint32_t(f->maxB)) * 256ull / uint32_t(f->maxB) : 0;
    uint32_t out = format == pf8888 ? (d & 0xFF000000u) : 0;
    for (int c = 0; c < 3; c++) {
        const uint64_t M = uint64_t(maxes[c]) << shifts[c];
        uint64_t v;
        if (mode == 1)
            v = (((s & M) * a + (d & M) * (256 - a)) >> 8) & M;
        else if (mode == 2)
            v = ((s & M) * a + (d & M) * 256) >> 8, v = v > M ? M : v & M;
        else
            v = (((colour & M) * k + (d & M) * (256 - k)) >> 8) & M;
        out |= uint32_t(v);
    }
    return out;
}

TEST_F(Gfx, BlendTableFollowsTheFieldRulesForEveryDirectColourFormat) {
    std::mt19937 rng(9);
    for (int f = pf444; f <= pf8888; f++) {
        const uint32_t mask = f == pf8888 ? 0xFFFFFFFFu : (1u << sfGetFormat(f)->bitsPerPixel) - 1;
        for (int mode = 1; mode <= 3; mode++) {
            for (int n = 0; n < 4000; n++) {
                uint32_t d = rng() & mask, s = rng() & mask, c = rng() & mask;
                int a = n < 8 ? n * 32 + (n == 7) * 32 : int(rng() % 257);
                ASSERT_EQ(gfxGetBlend(f, mode)(d, s, a, c), blendByFields(f, mode, d, s, uint64_t(a), c))
                    << "format " << f << " mode " << mode << " d " << d << " s " << s << " a " << a;
            }
        }
    }
}

TEST_F(Gfx, KeyIsTestedOnTheRawSourceValueBeforeConversion) {
    Surface* s = make(
        4, 1, pf565, [](int x, int) { return x == 1 ? 0x001Fu : 0xF800u + x; }, 0x001F);
    Surface* d = make(4, 1, pf888, [](int, int) { return 0x123456u; });
    EXPECT_EQ(sfBlit(s, d, 0, 0), 1);
    EXPECT_EQ(sfGetPixel(d, 0, 0), 0xFF0000u);
    EXPECT_EQ(sfGetPixel(d, 1, 0), 0x123456u);
    EXPECT_EQ(sfGetPixel(d, 2, 0), 0xFF0010u);  // blue field 2 -> 2 x 255 / 31
    // In 8888 the "no key" value is a real pixel, and is tested like any key.
    Surface* a = make(2, 1, pf8888, [](int x, int) { return x ? 0x80000000u : 0x00FFFFFFu; });
    Surface* b = make(2, 1, pf8888, [](int, int) { return 0x11111111u; });
    gfxSetDrawMode(1);
    sfBlit(a, b, 0, 0);
    EXPECT_EQ(sfGetPixel(b, 1, 0), 0x11111111u);
    EXPECT_EQ(sfGetPixel(b, 0, 0), 0x11FFFFFFu);
    for (Surface* x : {s, d, a, b}) sfFree(x);
}

// Where the general blit puts a source pixel, modelled pixel by pixel: the source rectangle is first
// trimmed to the source (the destination point stays put), then clip and destination keep what falls inside.
void expectBlitModel(int w, int h, int x, int y, const Rect* sr, const Rect* clip, int dw, int dh) {
    Surface* s = numbered(w, h);
    Surface* d = sfCreate(dw, dh, pf565, 0, SF_NO_KEY, nullptr);
    gfxSetClip(clip);
    sfBlitRect(s, d, x, y, sr);
    gfxSetClip(nullptr);
    std::vector<uint32_t> want(size_t(dw * dh), 0);
    int rx = 0, ry = 0, rw = w, rh = h;
    if (sr) {
        rx = sr->x, ry = sr->y, rw = sr->width, rh = sr->height;
        if (rx < 0) rw += rx, rx = 0;
        if (ry < 0) rh += ry, ry = 0;
    }
    for (int j = 0; j < rh; j++) {
        for (int i = 0; i < rw; i++) {
            int px = x + i, py = y + j, sx = rx + i, sy = ry + j;
            if (sx >= w || sy >= h || px < 0 || py < 0 || px >= dw || py >= dh) continue;
            if (clip &&
                (px < clip->x || py < clip->y || px >= clip->x + clip->width || py >= clip->y + clip->height))
                continue;
            want[size_t(py * dw + px)] = uint32_t(sx + 64 * sy + 1);
        }
    }
    for (int py = 0; py < dh; py++)
        for (int px = 0; px < dw; px++)
            ASSERT_EQ(sfGetPixel(d, px, py), want[size_t(py * dw + px)])
                << "at " << px << "," << py << " blit " << x << "," << y;
    sfFree(s);
    sfFree(d);
}

TEST_F(Gfx, ClippingStepsAtEveryEdge) {
    Rect neg = {-5, 0, 10, 40};
    expectBlitModel(40, 40, 3, 0, &neg, nullptr, 50, 50);  // source columns from 0, drawn from x = 3
    std::mt19937 rng(4);
    auto r = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    for (int n = 0; n < 300; n++) {
        Rect s = {r(-12, 30), r(-12, 30), r(-5, 30), r(-5, 30)};
        Rect c = {r(-10, 30), r(-10, 30), r(-5, 30), r(-5, 30)};
        expectBlitModel(24, 20, r(-30, 35), r(-30, 35), r(0, 2) ? &s : nullptr, r(0, 1) ? &c : nullptr, 30,
                        26);
        if (HasFatalFailure()) return;
    }
}

TEST_F(Gfx, AnchorsAndFrames) {
    Surface* s = numbered(5, 6);
    Surface* d = sfCreate(20, 20, pf565, 0, SF_NO_KEY, nullptr);
    s->anchorX = 128;
    s->anchorY = -128;  // arithmetic shift: (6 x -128 + 128) >> 8 = -3
    sfBlit(s, d, 10, 10);
    EXPECT_EQ(sfGetPixel(d, 7, 13), 1u);
    const int32_t quads[] = {2, 3, 2, 2, -1};
    sfAddFrames(s, quads);
    Surface* e = sfCreate(20, 20, pf565, 0, SF_NO_KEY, nullptr);
    sfBlitFrame(s, e, 10, 10, 0);  // anchor on the frame's size: 10 - 1, 10 + 1
    EXPECT_EQ(sfGetPixel(e, 9, 11), uint32_t(2 + 64 * 3 + 1));
    EXPECT_EQ(sfGetPixel(e, 10, 12), uint32_t(3 + 64 * 4 + 1));
    Surface* f = sfCreate(20, 20, pf565, 0, SF_NO_KEY, nullptr);
    sfBlitFrame(s, f, 10, 10, 7);  // past the list: the whole surface
    EXPECT_EQ(bytes(f), bytes(d));
    for (Surface* x : {s, d, e, f}) sfFree(x);
}

Surface* randomSprite(std::mt19937& rng, int format, int w, int h, bool keyed) {
    const PixelFormatInfo* info = sfGetFormat(format);
    uint32_t mask = info->bitsPerPixel >= 32 ? 0xFFFFFFFFu : (1u << info->bitsPerPixel) - 1;
    uint32_t pool[6];
    for (uint32_t& v : pool) v = rng() & mask;
    Surface* s = sfCreate(w, h, format, 0, keyed ? pool[0] : SF_NO_KEY, nullptr);
    for (int y = 0; y < h; y++) {
        uint32_t v = pool[rng() % 6];
        for (int x = 0; x < w; x++) {
            if (rng() % 3 == 0) v = rng() % 4 ? pool[rng() % 6] : rng() & mask;  // runs, repeats and noise
            sfPutPixel(s, x, y, v);
        }
    }
    if (format == pfPalette || (format == pfMono8 && rng() % 2)) {
        std::vector<uint32_t> cols(256);
        for (uint32_t& c : cols) c = rng() & 0xFFFFFF;
        sfSetPaletteRGB32(s, 256, cols.data());
        if (format == pfPalette && rng() % 2) palBuildCache(s->palette, pf565, nullptr);
    }
    return s;
}

struct Scene {
    int mode, opacity, x, y;
    uint32_t colour;
    bool useRect, useClip;
    Rect rect, clip;
};

Scene randomScene(std::mt19937& rng, int sw, int sh, int dw, int dh) {
    auto r = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Scene s;
    s.mode = r(0, 4);
    s.opacity = r(1, 256);
    s.colour = rng();
    s.x = r(-sw, dw);
    s.y = r(-sh, dh);
    s.useRect = r(0, 1);
    s.useClip = r(0, 1);
    s.rect = {r(-4, sw), r(-4, sh), r(-2, sw + 4), r(-2, sh + 4)};
    s.clip = {r(-4, dw), r(-4, dh), r(-2, dw), r(-2, dh)};
    return s;
}

int drawScene(const Surface* src, Surface* dst, const Scene& sc) {
    gfxSetDrawMode(sc.mode);
    gfxSetOpacity(sc.opacity);
    gfxSetColour(sc.colour & (sfGetFormat(dst->format)->bitsPerPixel >= 32
                                  ? 0xFFFFFFFFu
                                  : (1u << sfGetFormat(dst->format)->bitsPerPixel) - 1));
    gfxSetClip(sc.useClip ? &sc.clip : nullptr);
    int r = sfBlitRect(src, dst, sc.x, sc.y, sc.useRect ? &sc.rect : nullptr);
    gfxSetClip(nullptr);
    return r;
}

// Runs a check once on every processor path this machine has: the baseline always, AVX2 where present.
template <class F>
void onEveryPath(F check) {
    const int32_t was = gfxForceBaseline(1);
    check("baseline");
    gfxForceBaseline(0);
    if (std::string(gfxPathName()) != "sse2") check(gfxPathName());
    gfxForceBaseline(was);
}

TEST_F(Gfx, BaselineIsChosenByTheCallOrTheEnvironment) {
    const std::string detected = gfxPathName();
    EXPECT_EQ(detected, __builtin_cpu_supports("avx2") && !getenv("BRASK_CPU") ? "avx2" : "sse2");
    gfxForceBaseline(1);
    EXPECT_STREQ(gfxPathName(), "sse2");
    EXPECT_EQ(gfxForceBaseline(0), detected == "avx2" ? 1 : 0);
    EXPECT_EQ(gfxPathName(), detected);
    const char* was = getenv("BRASK_CPU");
    const std::string saved = was ? was : "";
    setenv("BRASK_CPU", "baseline", 1);
    EXPECT_EQ(platProcessorFeaturePresent(PLAT_PF_AVX2), 0);
    unsetenv("BRASK_CPU");
    EXPECT_EQ(platProcessorFeaturePresent(PLAT_PF_AVX2), __builtin_cpu_supports("avx2") ? 1 : 0);
    if (was) setenv("BRASK_CPU", saved.c_str(), 1);
}

TEST_F(Gfx, SpecialisedLoopsDrawExactlyLikeThePerPixelPathOnEveryProcessorPath) {
    onEveryPath([](const char* path) {
        std::mt19937 rng(7);
        for (int sf = pf444; sf <= pf8888; sf++) {
            for (int df = pf444; df <= pf8888; df++) {
                // Widths from 1 to 40 meet every vector width and each short-row gathering.
                for (int n = 0; n < 60; n++) {
                    Surface* src = randomSprite(rng, sf, 1 + rng() % 40, 1 + rng() % 24, rng() % 2);
                    Surface* a = randomSprite(rng, df, 46, 28, false);
                    Surface* b = sfClone(a);
                    Scene sc = randomScene(rng, src->width, src->height, 46, 28);
                    if (n % 5 == 0) sc.mode = 0;
                    gfxSetFastPaths(1);
                    int ra = drawScene(src, a, sc);
                    gfxSetFastPaths(0);
                    int rb = drawScene(src, b, sc);
                    gfxSetFastPaths(1);
                    EXPECT_EQ(ra, rb);
                    ASSERT_EQ(bytes(a), bytes(b))
                        << path << ": " << sf << " -> " << df << " mode " << sc.mode << " case " << n;
                    for (Surface* x : {src, a, b}) sfFree(x);
                }
            }
        }
    });
}

// Every coverage a 565 glyph can carry, and a surface drawn onto itself overlapping, where vectors reading
// ahead of the writes would see pixels the per-pixel order has already changed.
TEST_F(Gfx, TintCoverageAndSelfOverlapMatchThePerPixelPathOnEveryProcessorPath) {
    onEveryPath([](const char* path) {
        Surface* glyph = make(
            32, 3, pf565, [](int x, int y) { return uint32_t(x | (y * 21) << 5); }, 0);
        for (int mode = 0; mode <= 4; mode++) {
            Surface* a = make(40, 40, pf565, [](int x, int y) { return uint32_t(x * 2017 + y * 61); });
            Surface* b = sfClone(a);
            gfxSetDrawMode(mode);
            gfxSetOpacity(77);
            gfxSetColour(0xFBE0);
            for (Surface* d : {a, b}) {
                gfxSetFastPaths(d == a);
                sfBlit(glyph, d, 1, 2);
                Rect r = {2, 1, 33, 30};
                sfBlitRect(d, d, 3, 2, &r);  // down and right: reads what it wrote
                sfBlitRect(d, d, 0, 0, &r);  // up and left
            }
            gfxSetFastPaths(1);
            ASSERT_EQ(bytes(a), bytes(b)) << path << " mode " << mode;
            sfFree(a);
            sfFree(b);
        }
        sfFree(glyph);
    });
}

// The encoded sprite on every path, drawn through its span index (fast paths) and by walking its packets
// (per-pixel path), against its keyed original.
TEST_F(Gfx, EncodedSpriteDrawsExactlyLikeItsKeyedOriginalOnEveryProcessorPath) {
    onEveryPath([](const char* path) {
        std::mt19937 rng(11);
        const int srcFormats[] = {pfPalette, pf444, pf565, pf888, pf8888, pfMono8};
        const int dstFormats[] = {pfPalette, pf444, pf555, pf565, pf888, pf8888, pfMono8};
        for (int sf : srcFormats) {
            for (int df : dstFormats) {
                for (int n = 0; n < 25; n++) {
                    Surface* plain = randomSprite(rng, sf, 1 + rng() % 40, 1 + rng() % 20, n % 8 != 0);
                    Surface* enc = sfClone(plain);
                    ASSERT_EQ(sfEncodeRLE(enc), 1);
                    ASSERT_NE(enc->rleIndex, nullptr);
                    Surface* twin = sfClone(enc);  // its own index, built from the copied rows
                    Surface* a = randomSprite(rng, df, 36, 24, false);
                    Surface* b = sfClone(a);
                    Surface* c = sfClone(a);
                    Scene sc = randomScene(rng, plain->width, plain->height, 36, 24);
                    if (n % 3 == 0) sc.mode = 0;
                    drawScene(plain, a, sc);
                    EXPECT_EQ(drawScene(twin, b, sc), 1);
                    gfxSetFastPaths(0);
                    drawScene(enc, c, sc);
                    gfxSetFastPaths(1);
                    ASSERT_EQ(bytes(a), bytes(b))
                        << path << ": " << sf << " -> " << df << " mode " << sc.mode << " case " << n;
                    ASSERT_EQ(bytes(a), bytes(c))
                        << path << ": " << sf << " -> " << df << " mode " << sc.mode << " case " << n;
                    for (Surface* x : {plain, enc, twin, a, b, c}) sfFree(x);
                }
            }
        }
    });
}

// Packets damaged after encoding (as a file could bring them, had it not been checked): the index is
// built from the rows as the packet walk reads them, so both draw the same.
TEST_F(Gfx, EncodedIndexReadsDamagedRowsAsThePacketWalkDoes) {
    std::mt19937 rng(17);
    for (int n = 0; n < 300; n++) {
        Surface* enc = randomSprite(rng, n % 2 ? pf565 : pf888, 1 + rng() % 30, 1 + rng() % 12, true);
        ASSERT_EQ(sfEncodeRLE(enc), 1);
        for (int k = 0; k < 3; k++) enc->pixels[rng() % enc->dataSize] = uint8_t(rng());
        gfxBuildRleIndex(enc);
        Surface* a = randomSprite(rng, enc->format, 34, 16, false);
        Surface* b = sfClone(a);
        Scene sc = randomScene(rng, enc->width, enc->height, 34, 16);
        sc.mode = 0;
        drawScene(enc, a, sc);
        gfxSetFastPaths(0);
        drawScene(enc, b, sc);
        gfxSetFastPaths(1);
        ASSERT_EQ(bytes(a), bytes(b)) << "case " << n;
        for (Surface* x : {enc, a, b}) sfFree(x);
    }
}

TEST_F(Gfx, EncodingWritesSkipFillAndLiteralPackets) {
    const uint16_t K = 0x7777, A = 0x1111, B = 0x2222;
    uint16_t px[16] = {K, K, A, A, A, A, B, K, K, K, K, K, K, K, K, K};
    Surface* s = sfCreate(8, 2, pf565, 1, K, px);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->rle, 1);
    EXPECT_EQ(s->rleWideRows, 0);
    const uint8_t want[] = {10,   0,    10,   0,  // row ends: row 1 holds no packets
                            0xA0, 0x01, 0xE0, 0x03, 0x11, 0x11, 0xC0, 0x00, 0x22, 0x22};
    EXPECT_EQ(bytes(s), std::vector<uint8_t>(want, want + sizeof(want)));
    EXPECT_EQ(px[2], A);           // the caller's buffer is left alone
    EXPECT_EQ(sfEncodeRLE(s), 0);  // already encoded
    // Without a key: literal and fill packets only.
    uint16_t q[6] = {1, 2, 3, 3, 3, 3};
    Surface* t = sfCreate(6, 1, pf565, 1, SF_NO_KEY, q);
    const uint8_t want2[] = {10, 0, 0xC0, 0x01, 1, 0, 2, 0, 0xE0, 0x03, 3, 0};
    EXPECT_EQ(bytes(t), std::vector<uint8_t>(want2, want2 + sizeof(want2)));
    sfFree(s);
    sfFree(t);
}

TEST_F(Gfx, EncodingRefusesWideOrFailingSurfacesAndLeavesThemPlain) {
    Surface* w = sfCreate(8193, 1, pf565, 0, 0, nullptr);
    sfPutPixel(w, 8192, 0, 5);
    EXPECT_EQ(sfEncodeRLE(w), 0);
    EXPECT_EQ(w->rle, 0);
    EXPECT_EQ(sfGetPixel(w, 8192, 0), 5u);
    std::vector<uint16_t> buf(8193, 1);
    EXPECT_EQ(sfCreate(8193, 1, pf565, 1, 0, buf.data()), nullptr);
    Surface* m = sfCreate(16, 1, pfMono1, 0, 0, nullptr);
    EXPECT_EQ(sfEncodeRLE(m), 0);
    Surface* f = numbered(10, 10, 1);
    memFailAfter(2);  // the work buffer succeeds, the final one fails
    EXPECT_EQ(sfEncodeRLE(f), 0);
    EXPECT_EQ(f->rle, 0);
    EXPECT_EQ(sfGetPixel(f, 9, 9), uint32_t(9 + 64 * 9 + 1));
    for (Surface* x : {w, m, f}) sfFree(x);
}

TEST_F(Gfx, WideRowTableDrawsLikeThePlainSurface) {
    std::mt19937 rng(3);
    Surface* plain = sfCreate(200, 120, pf888, 0, 0x000001, nullptr);
    for (int y = 0; y < 120; y++)
        for (int x = 0; x < 200; x++) sfPutPixel(plain, x, y, x % 7 == 0 ? 1 : (rng() & 0xFFFFFF) | 2);
    Surface* enc = sfClone(plain);
    ASSERT_EQ(sfEncodeRLE(enc), 1);
    EXPECT_EQ(enc->rleWideRows, 1);
    Surface* a = sfCreate(180, 150, pf565, 0, SF_NO_KEY, nullptr);
    Surface* b = sfClone(a);
    Rect clip = {5, 7, 150, 120};
    gfxSetClip(&clip);
    sfBlit(plain, a, -13, 4);
    sfBlit(enc, b, -13, 4);
    EXPECT_EQ(bytes(a), bytes(b));
    for (Surface* x : {plain, enc, a, b}) sfFree(x);
}

struct Layout {
    int xStep, rowPitch, w, h;
    int64_t origin;  // byte offset of pixel (0, 0) in the 153600-byte buffer
};

TEST_F(Gfx, CopyIntoTurnedAndMirroredFrameBuffersLandsEveryPixelAtItsAddress) {
    const Layout layouts[] = {
        {2, 480, 240, 320, 0},       {-2, 480, 240, 320, 478},    {-2, -480, 240, 320, 153598},
        {640, -2, 240, 320, 638},    {-640, 2, 240, 320, 152960}, {480, -2, 320, 240, 478},
        {-480, 2, 320, 240, 153120}, {2, -480, 240, 320, 153120},
    };
    onEveryPath([&](const char* path) {
        SCOPED_TRACE(path);
        std::mt19937 rng(5);
        for (const Layout& l : layouts) {
            Surface* src = make(l.w, l.h, pf565, [&](int, int) { return uint32_t(rng() & 0xFFFF); });
            std::vector<uint8_t> fb(153600, 0xEE);
            Surface* d = sfCreate(l.w, l.h, pf565, 0, SF_NO_KEY, fb.data() + l.origin);
            d->xStep = int16_t(l.xStep);
            d->rowPitch = int16_t(l.rowPitch);
            ASSERT_EQ(sfCopyRect(src, d, 0, 0, nullptr), 1);
            for (int y = 0; y < l.h; y++) {
                for (int x = 0; x < l.w; x++) {
                    int64_t at = l.origin + int64_t(y) * l.rowPitch + int64_t(x) * l.xStep;
                    uint32_t v = fb[size_t(at)] | (fb[size_t(at + 1)] << 8);
                    ASSERT_EQ(v, sfGetPixel(src, x, y))
                        << l.xStep << "/" << l.rowPitch << " at " << x << "," << y;
                }
            }
            // A part of the screen, with odd widths for the unrolled loops' tails.
            Rect part = {3, 5, 13, 11};  // one strip of 8 rows and 3 rows left over
            std::fill(fb.begin(), fb.end(), 0);
            sfCopyRect(src, d, 100, 50, &part);
            int written = 0;
            for (uint8_t b : fb) written += b != 0;
            EXPECT_LE(written, 13 * 11 * 2);
            EXPECT_EQ(sfGetPixel(d, 112, 56), sfGetPixel(src, 15, 11));
            // Blocks of 16 rows with a strip of rows and of columns left over.
            Rect odd = {1, 2, 37, 35};
            std::fill(fb.begin(), fb.end(), 0);
            sfCopyRect(src, d, 7, 9, &odd);
            for (int y = 0; y < 35; y++)
                for (int x = 0; x < 37; x++)
                    ASSERT_EQ(sfGetPixel(d, 7 + x, 9 + y), sfGetPixel(src, 1 + x, 2 + y));
            sfFree(src);
            sfFree(d);
        }
    });
}

TEST_F(Gfx, CopyRectConvertsIgnoresClipAndKeyAndSkipsItself) {
    Surface* s = numbered(6, 6, 1);
    Rect clip = {0, 0, 1, 1};
    gfxSetClip(&clip);
    EXPECT_EQ(sfCopyRect(s, s, 0, 0, nullptr), 1);
    Rect r = {2, 2, 2, 2};
    EXPECT_EQ(sfCopyRect(s, s, 2, 2, &r), 1);
    EXPECT_EQ(sfGetPixel(s, 5, 5), uint32_t(5 + 64 * 5 + 1));
    gfxSetClip(nullptr);
    Surface* d = sfCreate(6, 6, pf888, 0, SF_NO_KEY, nullptr);
    Surface* m = sfCreate(6, 6, pfMono1, 0, SF_NO_KEY, nullptr);
    EXPECT_EQ(sfCopyRect(s, d, 0, 0, nullptr), 1);
    EXPECT_EQ(sfCopyRect(s, m, 0, 0, nullptr), 1);
    EXPECT_EQ(sfGetPixel(d, 0, 0), sfConvertColour(1, s, d));  // the key value is copied too
    EXPECT_EQ(sfGetPixel(d, 5, 5), sfConvertColour(5 + 64 * 5 + 1, s, d));
    EXPECT_EQ(sfGetPixel(m, 5, 5), sfConvertColour(5 + 64 * 5 + 1, s, m));
    // A palette source onto its cache's format goes through the cache.
    Surface* p = make(3, 1, pfPalette, [](int x, int) { return uint32_t(x); });
    const uint32_t cols[3] = {0xFF0000, 0x00FF00, 0x0000FF};
    sfSetPaletteRGB32(p, 3, cols);
    palBuildCache(p->palette, pf565, nullptr);
    p->palette->cache[2] = 0xBEEF;
    Surface* q = sfCreate(3, 1, pf565, 0, SF_NO_KEY, nullptr);
    sfCopyRect(p, q, 0, 0, nullptr);
    EXPECT_EQ(sfGetPixel(q, 0, 0), 0xF800u);
    EXPECT_EQ(sfGetPixel(q, 2, 0), 0xBEEFu);
    for (Surface* x : {s, d, m, p, q}) sfFree(x);
}

// Palette indices through the cache at any width and place, rows forwards (four pixels per store) and into
// a mirrored destination (one at a time).
TEST_F(Gfx, PaletteCopyLooksUpEveryPixelInTheCache) {
    std::mt19937 rng(23);
    for (int n = 0; n < 200; n++) {
        const int w = 1 + int(rng() % 40), h = 1 + int(rng() % 6);
        Surface* p = make(w, h, pfPalette, [&](int, int) { return uint32_t(rng() & 255); });
        std::vector<uint32_t> cols(256);
        for (uint32_t& c : cols) c = rng() & 0xFFFFFF;
        sfSetPaletteRGB32(p, 256, cols.data());
        palBuildCache(p->palette, pf565, nullptr);
        std::vector<uint8_t> fb(48 * 10 * 2, 0xEE);
        Surface* d = sfCreate(48, 10, pf565, 0, SF_NO_KEY, fb.data() + (n % 2 ? 94 : 0));
        if (n % 2) d->xStep = -2;
        const int x = int(rng() % 50) - 4, y = int(rng() % 12) - 3;
        sfCopyRect(p, d, x, y, nullptr);
        for (int j = 0; j < h; j++)
            for (int i = 0; i < w; i++)
                if (x + i >= 0 && x + i < 48 && y + j >= 0 && y + j < 10) {
                    ASSERT_EQ(sfGetPixel(d, x + i, y + j), p->palette->cache[sfGetPixel(p, i, j)] & 0xFFFF)
                        << "case " << n << " at " << i << "," << j;
                }
        sfFree(p);
        sfFree(d);
    }
}

TEST_F(Gfx, RotatedBlitBoxesTurnsAndIdentity) {
    Surface* s = numbered(10, 20, 0);
    Surface* a = sfCreate(100, 100, pf565, 0, SF_NO_KEY, nullptr);
    Surface* b = sfCreate(100, 100, pf565, 0, SF_NO_KEY, nullptr);
    s->anchorX = s->anchorY = 128;
    RotateParams id = {50, 50, 0, 256, 256};
    EXPECT_EQ(sfBlitRotated(s, a, &id, -1), 1);
    sfBlit(s, b, 50, 50);
    EXPECT_EQ(bytes(a), bytes(b));

    // A quarter turn: a 10 x 20 source covers a box 20 wide and 10 high.
    s->anchorX = s->anchorY = 0;
    Surface* q = sfCreate(100, 100, pf565, 0, SF_NO_KEY, nullptr);
    RotateParams turn = {50, 50, 90, 256, 256};
    EXPECT_EQ(sfBlitRotated(s, q, &turn, -1), 1);
    int minX = 100, maxX = -1, minY = 100, maxY = -1;
    for (int y = 0; y < 100; y++)
        for (int x = 0; x < 100; x++)
            if (sfGetPixel(q, x, y))
                minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y),
                maxY = std::max(maxY, y);
    EXPECT_EQ(std::make_tuple(31, 49, 50, 59), std::make_tuple(minX, maxX, minY, maxY));
    for (int dy = 0; dy < 10; dy++)
        for (int dx = -19; dx <= -1; dx++) ASSERT_EQ(sfGetPixel(q, 50 + dx, 50 + dy), sfGetPixel(s, dy, -dx));

    RotateParams tiny = {50, 50, 0, 2, 256};
    EXPECT_EQ(sfBlitRotated(s, q, &tiny, -1), 0);
    Surface* other = sfCreate(10, 10, pf888, 0, SF_NO_KEY, nullptr);
    EXPECT_EQ(sfBlitRotated(s, other, &id, -1), 0);
    // Onto packed bits: through sfPutPixel.
    Surface* m1 = make(8, 8, pfMono1, [](int x, int y) { return uint32_t((x + y) & 1); });
    Surface* m2 = sfCreate(8, 8, pfMono1, 0, SF_NO_KEY, nullptr);
    RotateParams mid = {0, 0, 0, 256, 256};
    EXPECT_EQ(sfBlitRotated(m1, m2, &mid, -1), 1);
    EXPECT_EQ(bytes(m1), bytes(m2));
    for (Surface* x : {s, a, b, q, other, m1, m2}) sfFree(x);
}

// The rotated blit's per-pixel rule, tested point by point, to hold the engine's per-row runs to. Points
// are read from the frame (the whole surface when null) with sfGetPixel, which reads 0 outside the surface.
void rotateByPoints(const Surface* src, Surface* dst, const RotateParams& p, const Rect* frame = nullptr) {
    const Rect r = frame ? *frame : Rect{0, 0, src->width, src->height};
    int16_t s16, c16;
    mathSinCos(p.angle, &s16, &c16);
    const int64_t sn = s16, cs = c16, W = r.width, H = r.height, ax = src->anchorX, ay = src->anchorY;
    const int64_t sx = p.scaleX, sy = p.scaleY;
    const int64_t bw = (((sx * std::abs(cs) * W + sy * std::abs(sn) * H) >> 8) + 255) >> 8;
    const int64_t bh = (((sy * std::abs(cs) * H + sx * std::abs(sn) * W) >> 8) + 255) >> 8;
    const int64_t cx = (sx * cs * W / 256 * (128 - ax) - sn * sy * H / 256 * (128 - ay)) / 256;
    const int64_t cy = (sn * sx * W / 256 * (128 - ax) + sy * cs * H / 256 * (128 - ay)) / 256;
    const int64_t left = p.x + ((cx - bw * 128 + 255) >> 8), top = p.y + ((cy - bh * 128 + 255) >> 8);
    const int64_t isx = int64_t(256.0 / (sx / 256.0) + 0.5), isy = int64_t(256.0 / (sy / 256.0) + 0.5);
    for (int64_t py = std::max<int64_t>(top, 0); py < std::min<int64_t>(top + bh, dst->height); py++) {
        const int64_t l = std::max<int64_t>(left, 0), dx = l - p.x, dy = py - p.y;
        for (int64_t px = l; px < std::min<int64_t>(left + bw, dst->width); px++) {
            const int64_t n = px - l;
            int64_t u = W * ax + ((isx * cs * dx) >> 8) + ((isx * sn * dy) >> 8) + n * ((isx * cs) >> 8);
            int64_t v = H * ay - ((isy * sn * dx) >> 8) + ((isy * cs * dy) >> 8) - n * ((isy * sn) >> 8);
            if (u + 128 < 0 || v + 128 < 0 || ((u + 128) >> 8) >= W || ((v + 128) >> 8) >= H) continue;
            uint32_t val = sfGetPixel(src, r.x + int((u + 128) >> 8), r.y + int((v + 128) >> 8));
            if (val != src->colourKey) sfPutPixel(dst, int(px), int(py), val);
        }
    }
}

TEST_F(Gfx, RotatedBlitMatchesItsPointRuleAtAnyAngleScaleAndPlaceOnEveryProcessorPath) {
    onEveryPath([](const char* path) {
        SCOPED_TRACE(path);
        std::mt19937 rng(21);
        for (int n = 0; n < 300; n++) {
            Surface* s = randomSprite(rng, n % 2 ? pf565 : pf888, 1 + rng() % 30, 1 + rng() % 30, true);
            s->anchorX = int16_t(rng() % 300) - 20;
            s->anchorY = int16_t(rng() % 300) - 20;
            Surface* a = sfCreate(40, 36, s->format, 0, SF_NO_KEY, nullptr);
            Surface* b = sfCreate(40, 36, s->format, 0, SF_NO_KEY, nullptr);
            RotateParams p = {int(rng() % 60) - 10, int(rng() % 60) - 10, int(rng() % 800) - 400,
                              int16_t(3 + rng() % 700), int16_t(3 + rng() % 700)};
            sfBlitRotated(s, a, &p, -1);
            rotateByPoints(s, b, p);
            ASSERT_EQ(bytes(a), bytes(b))
                << "case " << n << " angle " << p.angle << " scale " << p.scaleX << "/" << p.scaleY;
            for (Surface* x : {s, a, b}) sfFree(x);
        }
    });
}

// Frames come from files and may reach past their surface: the points outside read 0, never the memory
// around the buffer (under ASan the old reads were overflows).
TEST_F(Gfx, RotatedBlitOfAFrameOutsideItsSurfaceReadsZeroThere) {
    std::mt19937 rng(5);
    std::vector<Rect> frames = {{2, 2, 4, 4}, {-3, -3, 4, 4}, {0, 0, 4, 4}};
    for (int n = 0; n < 60; n++)
        frames.push_back({int(rng() % 12) - 6, int(rng() % 12) - 6, 1 + int(rng() % 9), 1 + int(rng() % 9)});
    for (size_t n = 0; n < frames.size(); n++) {
        Surface* s = randomSprite(rng, n % 2 ? pf888 : pf565, 4, 4, false);
        arrAppend(&s->frames, &frames[n]);
        s->anchorX = s->anchorY = int16_t(n % 3 * 128);
        Surface* a = sfCreate(24, 24, s->format, 0, SF_NO_KEY, nullptr);
        Surface* b = sfCreate(24, 24, s->format, 0, SF_NO_KEY, nullptr);
        // Filled, so that a point read as 0 shows in the result.
        for (Surface* d : {a, b}) memFill(d->pixels, 0x5A, int32_t(d->dataSize));
        RotateParams p = {12, 12, n < 3 ? 0 : int(rng() % 360), int16_t(n < 3 ? 256 : 128 + rng() % 400),
                          int16_t(n < 3 ? 256 : 128 + rng() % 400)};
        EXPECT_EQ(1, sfBlitRotated(s, a, &p, 0));
        rotateByPoints(s, b, p, &frames[n]);
        ASSERT_EQ(bytes(a), bytes(b)) << "frame " << frames[n].x << "," << frames[n].y << " "
                                      << frames[n].width << "x" << frames[n].height << " angle " << p.angle;
        for (Surface* x : {s, a, b}) sfFree(x);
    }
}

TEST_F(Gfx, ColourHelpers) {
    EXPECT_EQ(colScale(0x808080, 256), 0x808080u);
    EXPECT_EQ(colScale(0x804020, 512), 0xFF8040u);
    EXPECT_EQ(colScale(0x010101, 128), 0x010101u);  // + 128 rounds
    EXPECT_EQ(colMix(0xFF0000, 0x0000FF, 1, 4), 0xBF003Fu);
    EXPECT_EQ(colMix(0x123456, 0xFFFFFF, 3, 0), 0x123456u);
}

}  // namespace
