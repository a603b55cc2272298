// The TGA reader against files written by ImageMagick and Pillow, and against hand-made files for what no
// tool writes (runs across rows, ID fields, long or short colour maps, hostile sizes).
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <tuple>
#include <vector>

#include "brask/log.h"
#include "brask/memory.h"
#include "image_fixture.h"

namespace {

struct Witness {
    int w = 0, h = 0;
    std::string route;
    std::vector<uint32_t> v;  // r, g, b in 8 bits (exact) or the 5-bit fields, top row first
};

Witness readWitness(const std::string& path) {
    Witness w;
    std::ifstream in(path);
    in >> w.w >> w.h >> w.route;
    std::string t;
    while (in >> t) {
        unsigned r, g, b;
        EXPECT_EQ(3, sscanf(t.c_str(), "%u,%u,%u", &r, &g, &b));
        w.v.push_back(r << 16 | g << 8 | b);
    }
    return w;
}

// The colour the engine must see for a witness value: 16-bit map entries are widened to 8 bits first.
uint32_t engineRGB(const Witness& w, uint32_t v) {
    if (w.route == "exact") return v;
    auto f = [&](int sh) { return ((v >> sh) & 255) * 255 / 31; };
    return f(16) << 16 | f(8) << 8 | f(0);
}

// 565 as the loader must compute it: 16-bit pixels scale 5-bit fields directly, everything else packs 8 bits.
uint32_t expect565(const Witness& w, uint32_t v) {
    if (w.route == "pix16") return (v >> 16 & 31) << 11 | ((v >> 8 & 31) * 63 / 31) << 5 | (v & 31);
    const uint32_t c = engineRGB(w, v);
    return ((c >> 16 & 255) * 31 / 255) << 11 | ((c >> 8 & 255) * 63 / 255) << 5 | (c & 255) * 31 / 255;
}

std::vector<std::string> fixtureNames() {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(KORVA_TGA_FIXTURES))
        if (e.path().extension() == ".tga") names.push_back(e.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST_F(Img, ToolWrittenFilesDecodeToTheConvertersValuesOnEveryPath) {
    const auto names = fixtureNames();
    ASSERT_GE(names.size(), 19u);
    for (const auto& n : names) {
        SCOPED_TRACE(n);
        const Witness w = readWitness(std::string(KORVA_TGA_FIXTURES) + "/" + n + ".txt");
        ASSERT_EQ(size_t(w.w * w.h), w.v.size());
        put(n + ".tga", readFile(std::string(KORVA_TGA_FIXTURES) + "/" + n + ".tga"));
        const std::u16string name = u16(n + ".tga");
        // The baseline loops and then the processor's own (AVX2 where it has it).
        for (int base = 1; base >= 0; base--) {
            gfxForceBaseline(base);
            SCOPED_TRACE(gfxPathName());
            for (int fast = 1; fast >= 0; fast--) {
                gfxSetFastPaths(fast);
                Surface* s565 = sfLoadTGA(name.c_str(), pf565, nullptr);
                Surface* s888 = sfLoadTGA(name.c_str(), pf888, nullptr);
                ASSERT_TRUE(s565 && s888);
                ASSERT_EQ(w.w, s565->width);
                ASSERT_EQ(w.h, s565->height);
                for (int y = 0; y < w.h; y++)
                    for (int x = 0; x < w.w; x++) {
                        const uint32_t v = w.v[y * w.w + x];
                        ASSERT_EQ(expect565(w, v), sfGetPixel(s565, x, y))
                            << x << "," << y << " fast " << fast;
                        ASSERT_EQ(engineRGB(w, v), sfGetPixel(s888, x, y))
                            << x << "," << y << " fast " << fast;
                    }
                sfFree(s565);
                sfFree(s888);
            }
            // Every direct-colour format: the specialised loops give exactly the converter's pixels.
            for (int f = pf444; f <= pf8888; f++) {
                gfxSetFastPaths(1);
                Surface* a = sfLoadTGA(name.c_str(), f, nullptr);
                gfxSetFastPaths(0);
                Surface* b = sfLoadTGA(name.c_str(), f, nullptr);
                ASSERT_TRUE(a && b);
                ASSERT_EQ(a->dataSize, b->dataSize);
                EXPECT_EQ(0, memcmp(a->pixels, b->pixels, a->dataSize)) << "format " << f;
                sfFree(a);
                sfFree(b);
            }
        }
        // Colour-mapped files keep their indices and bring their colours as the palette.
        Surface* p = sfLoadTGA(name.c_str(), 0, nullptr);
        ASSERT_TRUE(p);
        if (p->format == pfPalette) {
            ASSERT_TRUE(p->palette && p->ownsPalette);
            EXPECT_LE(p->palette->count, 256u);
            for (int i = 0; i < w.w * w.h; i++)
                ASSERT_EQ(engineRGB(w, w.v[i]), p->palette->colours[sfGetPixel(p, i % w.w, i / w.w)]);
        }
        sfFree(p);
    }
}

TEST(ImgArithmetic, MultiplyHighFormsEqualTheTruncatingDivisions) {
    for (uint32_t c = 0; c < 256; c++) {
        ASSERT_EQ(c * 31 / 255, (c * kGfxMulHi8To5) >> 16) << c;
        ASSERT_EQ(c * 63 / 255, (c * kGfxMulHi8To6) >> 16) << c;
    }
}

// Every 16-bit value, every 8-bit value in each channel and every index, in files whose odd width leaves
// tails after the vector loops and whose packets (literal and repeat, up to 128 long) run across rows:
// the fast paths must give the reference's bytes for every direct format.
TEST_F(Img, FastPathsEqualTheReferenceForEveryPixelValue) {
    const int w = 251, h = 262;  // 65762 pixels: all 65536 values of two bytes
    std::string map;
    for (int i = 0; i < 256; i++) map += bgr(uint32_t(i * 0x9E3779B1u) >> 8);
    for (int bits : {8, 16, 24, 32}) {
        std::vector<std::string> px;
        for (int i = 0; i < w * h; i++) {
            const uint32_t v = uint32_t(i) & 0xFFFF, r = uint32_t(i * 37 + i / 65536) & 255;
            px.push_back(bits == 8    ? std::string(1, char(v & 255))
                         : bits == 16 ? le16(v)
                         : bits == 24 ? bgr(r << 16 | v)
                                      : le32(0x5A000000u | r << 16 | v));
        }
        std::string plain, rle;
        for (const auto& p : px) plain += p;
        for (int i = 0, k = 0; i < w * h; k++) {
            const int n = std::min(w * h - i, 1 + k * 37 % 128);
            rle += char((k % 3 == 2 ? 0x80 : 0) | (n - 1));
            for (int e = 0; e < (k % 3 == 2 ? 1 : n); e++) rle += px[i + e];
            i += n;
        }
        const bool mapped = bits == 8;
        put("all.tga",
            tgaHeader(mapped ? 1 : 2, bits, w, h, 0, 0, mapped, mapped ? 256 : 0, mapped ? 24 : 0) +
                (mapped ? map : "") + plain);
        put("allrle.tga",
            tgaHeader(mapped ? 9 : 10, bits, w, h, 0, 0, mapped, mapped ? 256 : 0, mapped ? 24 : 0) +
                (mapped ? map : "") + rle);
        for (const char16_t* name : {u"all.tga", u"allrle.tga"})
            for (int f = pf444; f <= pf8888; f++) {
                gfxSetFastPaths(1);
                Surface* a = sfLoadTGA(name, f, nullptr);
                gfxSetFastPaths(0);
                Surface* b = sfLoadTGA(name, f, nullptr);
                ASSERT_TRUE(a && b);
                EXPECT_EQ(0, memcmp(a->pixels, b->pixels, a->dataSize)) << bits << " bits, format " << f;
                sfFree(a);
                sfFree(b);
            }
    }
}

TEST_F(Img, RowOrderRunsAcrossRowsAndCarriedMapsAreHonoured) {
    // Bottom-up 2 x 2 (blue, green / red, white in file order), then the same stored top-down.
    const std::string px = bgr(0x0000FF) + bgr(0x00FF00) + bgr(0xFF0000) + bgr(0xFFFFFF);
    put("up.tga", tgaHeader(2, 24, 2, 2) + px);
    put("down.tga", tgaHeader(2, 24, 2, 2, 0x20) + px);
    Surface* up = sfLoadTGA(u"up.tga", pf565, nullptr);
    Surface* down = sfLoadTGA(u"down.tga", pf565, nullptr);
    ASSERT_TRUE(up && down);
    auto pixels = [](const Surface* s) {
        return std::vector<uint32_t>{sfGetPixel(s, 0, 0), sfGetPixel(s, 1, 0), sfGetPixel(s, 0, 1),
                                     sfGetPixel(s, 1, 1)};
    };
    EXPECT_EQ((std::vector<uint32_t>{0xF800, 0xFFFF, 0x001F, 0x07E0}), pixels(up));
    EXPECT_EQ((std::vector<uint32_t>{0x001F, 0x07E0, 0xF800, 0xFFFF}), pixels(down));
    sfFree(up);
    sfFree(down);

    // An ID field and a colour map in a true-colour file are skipped; a repeat packet runs across rows, and a
    // packet longer than what is left of the picture stops at its end. Clipping plays no part in loading.
    const Rect clip = {0, 0, 1, 1};
    gfxSetClip(&clip);
    const std::string rle = tgaHeader(10, 24, 3, 2, 0x20, 4, 1, 2, 24) + "abcd" + bgr(1) + bgr(2) +
                            std::string(1, char(0x83)) + bgr(0xFF0000) + std::string(1, char(0x05)) +
                            bgr(0x00FF00) + bgr(0x0000FF) + bgr(0xFFFFFF);
    put("rle.tga", rle);
    for (int fast = 1; fast >= 0; fast--) {
        gfxSetFastPaths(fast);
        Surface* s = sfLoadTGA(u"rle.tga", pf888, nullptr);
        ASSERT_TRUE(s);
        const uint32_t want[6] = {0xFF0000, 0xFF0000, 0xFF0000, 0xFF0000, 0x00FF00, 0x0000FF};
        for (int i = 0; i < 6; i++) EXPECT_EQ(want[i], sfGetPixel(s, i % 3, i / 3)) << i << " fast " << fast;
        sfFree(s);
    }
}

TEST_F(Img, ColourMapsLongShortAndSixteenBit) {
    // 300 entries: the first 256 are kept and the rest skipped, so the pixels after the map line up.
    std::string map;
    for (int i = 0; i < 300; i++) map += bgr(uint32_t(i & 255) << 8 | 7);
    put("long.tga", tgaHeader(1, 8, 2, 1, 0, 0, 1, 300, 24) + map + std::string{char(255), char(3)});
    Surface* s = sfLoadTGA(u"long.tga", 0, nullptr);
    ASSERT_TRUE(s);
    EXPECT_EQ(256u, s->palette->count);
    EXPECT_EQ(255u, sfGetPixel(s, 0, 0));
    EXPECT_EQ(0x000307u, s->palette->colours[sfGetPixel(s, 1, 0)]);
    sfFree(s);

    // Two 16-bit entries (555, the attribute bit set on one) and an index past the map, which reads black.
    const std::string map16 = le16(0x8000 | 31 << 10) + le16(1 << 5);
    put("short.tga", tgaHeader(1, 8, 3, 1, 0, 0, 1, 2, 16) + map16 + std::string{0, 1, 9});
    for (int fast = 1; fast >= 0; fast--) {
        gfxSetFastPaths(fast);
        s = sfLoadTGA(u"short.tga", pf565, nullptr);
        ASSERT_TRUE(s);
        EXPECT_EQ(0xF800u, sfGetPixel(s, 0, 0));
        EXPECT_EQ((8u * 63 / 255) << 5, sfGetPixel(s, 1, 0));  // 1 -> 8 in 8 bits -> 1 in 6 bits
        EXPECT_EQ(0u, sfGetPixel(s, 2, 0));
        sfFree(s);
    }

    // A palette image is prepared for drawing on the current target.
    Surface* target = sfCreate(4, 4, pf565, 0, SF_NO_KEY, nullptr);
    gfxSetTarget(target);
    s = sfLoadTGA(u"short.tga", pfPalette, nullptr);
    ASSERT_TRUE(s && s->palette);
    EXPECT_EQ(2u, s->palette->count);
    EXPECT_EQ(uint32_t(pf565), s->palette->cacheFormat);
    EXPECT_EQ(0xF800u, s->palette->cache[0]);
    sfFree(s);
    sfFree(target);
}

TEST_F(Img, InPlaceOnlyIntoAnExactPlainSurface) {
    put("p.tga", tgaHeader(2, 24, 2, 1) + bgr(0xFF0000) + bgr(0x0000FF));
    Surface* same = sfCreate(2, 1, pf565, 0, SF_NO_KEY, nullptr);
    EXPECT_EQ(same, sfLoadTGA(u"p.tga", 0, same));
    EXPECT_EQ(0xF800u, sfGetPixel(same, 0, 0));
    Surface* other = sfCreate(3, 1, pf565, 0, SF_NO_KEY, nullptr);
    Surface* got = sfLoadTGA(u"p.tga", 0, other);
    ASSERT_TRUE(got && got != other);
    EXPECT_EQ(0u, sfGetPixel(other, 0, 0));
    EXPECT_EQ(0x001Fu, sfGetPixel(got, 1, 0));
    sfFree(got);
    // A surface with the right size but another step is a view, not a buffer of the file's layout.
    same->rowPitch = 8;
    got = sfLoadTGA(u"p.tga", 0, same);
    EXPECT_NE(same, got);
    sfFree(got);
    // A failed load never frees the caller's surface.
    put("bad.tga", tgaHeader(2, 24, 2, 1) + bgr(1));
    EXPECT_EQ(nullptr, sfLoadTGA(u"bad.tga", 0, same));
    sfFree(same);
    sfFree(other);

    int32_t w = -1, h = -1;
    uint8_t* px = sfLoadTGAPixels(u"p.tga", &w, &h);
    ASSERT_TRUE(px);
    EXPECT_EQ(std::make_tuple(2, 1, 0x00, 0xF8), std::make_tuple(w, h, int(px[0]), int(px[1])));
    memFree(px);
    EXPECT_EQ(nullptr, sfLoadTGAPixels(u"none.tga", &w, &h));
    EXPECT_EQ(0, w + h);
}

TEST_F(Img, BadFilesFailWithTheirHeaderInTheLog) {
    put("grey.tga", tgaHeader(3, 8, 2, 2) + "abcd");
    EXPECT_EQ(nullptr, sfLoadTGA(u"grey.tga", 0, nullptr));
    const std::string l = log();
    for (const char* line :
         {"sfLoadTGA failed for grey.tga\n", "TGA header:\n\tnIDLen:0\n\tnCMapType:0\n\tnImgType:3\n",
          "\tnWidth:2\n\tnHeight:2\n\tnPixSize:8\n", "BraskLib/src/BraskGfx_Surface("})
        EXPECT_NE(std::string::npos, l.find(line)) << l;

    const std::string hostile[] = {
        tgaHeader(2, 24, 2, 2) + bgr(1) + bgr(2) + bgr(3),              // short pixels
        tgaHeader(10, 24, 2, 2) + std::string(1, char(0x81)) + bgr(1),  // runs end early
        tgaHeader(10, 24, 2, 2) + std::string(1, char(0x03)) + bgr(1),  // raw packet cut short
        tgaHeader(2, 24, 0, 5),                                         // no pixels
        tgaHeader(2, 24, 65535, 65535) + bgr(1),                        // wider than a surface
        tgaHeader(2, 32, 9000, 2) + bgr(1),                             // rows too long for the pitch
        tgaHeader(1, 16, 1, 1, 0, 0, 1, 1, 24) + bgr(1) + "xx",         // mapped pixels are bytes
        tgaHeader(1, 8, 1, 1, 0, 0, 1, 1, 32) + "rgba" + "x",           // map entries of 32 bits
        tgaHeader(1, 8, 1, 1, 0, 0, 1, 2, 24) + bgr(1) + "x",           // map cut short
        tgaHeader(2, 24, 1, 1, 0, 255) + "id",                          // ID field past the end
        tgaHeader(2, 24, 1, 1).substr(0, 17),                           // header cut short
    };
    for (size_t i = 0; i < sizeof hostile / sizeof hostile[0]; i++) {
        put("h.tga", hostile[i]);
        EXPECT_EQ(nullptr, sfLoadTGA(u"h.tga", pf565, nullptr)) << "case " << i;
    }
    EXPECT_EQ(0, vfsOpenCount());
}
