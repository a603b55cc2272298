// Blitter benchmarks: each of our operations beside its peer (memcpy, SDL2, pixman, SDL2_gfx) on the same
// data, after checking that both produce the same picture; ends with a table of speed-ups (peer / ours).
#include <benchmark/benchmark.h>

#include "bench_report.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "brask/gfx.h"
#include "brask/random.h"

#ifdef KORVA_HAVE_SDL2
#include <SDL.h>
#endif
#ifdef KORVA_HAVE_SDL2GFX
#include <SDL2_rotozoom.h>
#endif
#ifdef KORVA_HAVE_PIXMAN
#include <pixman.h>
#endif

namespace {

constexpr int SW = 240, SH = 320;
std::mt19937 rng(1234);

// ---- Test pictures ----

uint16_t rgb565(int r, int g, int b) {
    return uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

Surface* noise(int w, int h, int format) {
    Surface* s = sfCreate(w, h, format, 0, SF_NO_KEY, nullptr);
    for (uint32_t i = 0; i < s->dataSize; i++) s->pixels[i] = uint8_t(rng());
    if (format == pf8888)  // alpha is not carried by conversions; keep it 0 so outputs compare byte for byte
        for (uint32_t i = 3; i < s->dataSize; i += 4) s->pixels[i] = 0;
    return s;
}

// A round sprite on a transparent (key) background, with flat runs and shading.
Surface* sprite(int w, int h, uint32_t key) {
    Surface* s = sfCreate(w, h, pf565, 0, key, nullptr);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            double dx = (x + 0.5) / w - 0.5, dy = (y + 0.5) / h - 0.5;
            double d = std::sqrt(dx * dx + dy * dy);
            // Shaded like a rendered ball: neighbouring pixels rarely repeat, so a row is one literal run
            // between the flat rim's fills.
            uint32_t v = d > 0.48 ? key
                         : d > 0.4
                             ? rgb565(200, 40, 40)
                             : rgb565(int(255 * (1 - d)), 64 + (x * 5 + y * 3) % 180, 40 + (x * 7) % 200);
            sfPutPixel(s, x, y, v);
        }
    }
    return s;
}

// An anti-aliased glyph: coverage 0..255 as grey, black (coverage 0) as key.
Surface* glyph(int w, int h, std::vector<uint8_t>* cover) {
    Surface* s = sfCreate(w, h, pf565, 0, 0, nullptr);
    cover->assign(size_t(w * h), 0);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            int c = ((x * 7 + y * 3) % 5 == 0 || x == w / 2) ? 255 : (x + y) % 3 == 0 ? 96 : 0;
            uint32_t v = sfGetFormatOps(pf565)->fromRGB(uint32_t(c) * 0x010101);
            sfPutPixel(s, x, y, v);
            // The mask says exactly the coverage our pixel carries: blue x 255 / 31.
            (*cover)[size_t(y * w + x)] = uint8_t((v & 31) * 255 / 31);
        }
    }
    return s;
}

struct Pos {
    int x, y;
};
std::vector<Pos> positions(int n, int w, int h) {
    std::vector<Pos> p;
    for (int i = 0; i < n; i++) p.push_back({int(rng() % (SW + w)) - w / 2, int(rng() % (SH + h)) - h / 2});
    return p;
}

// ---- Comparison ----

// Largest difference of any 565 channel, in field units.
int maxDiff565(const uint8_t* a, const uint8_t* b, size_t pixels) {
    int worst = 0;
    for (size_t i = 0; i < pixels; i++) {
        uint16_t p, q;
        memcpy(&p, a + 2 * i, 2);
        memcpy(&q, b + 2 * i, 2);
        worst = std::max({worst, std::abs((p >> 11) - (q >> 11)), std::abs(((p >> 5) & 63) - ((q >> 5) & 63)),
                          std::abs((p & 31) - (q & 31))});
    }
    return worst;
}
int maxDiffBytes(const uint8_t* a, const uint8_t* b, size_t n) {
    int worst = 0;
    for (size_t i = 0; i < n; i++) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

// Bytes of 888 or 8888 pixels, alpha left out (SDL fills it; conversions here never carry it).
int maxDiffColourBytes(const uint8_t* a, const uint8_t* b, size_t n, int bpp) {
    int worst = 0;
    for (size_t i = 0; i < n; i++)
        if (bpp == 3 || i % 4 != 3) worst = std::max(worst, std::abs(int(a[i]) - int(b[i])));
    return worst;
}

std::vector<std::string> g_checks;
void check(const char* what, int diff, int allowed) {
    char line[160];
    snprintf(line, sizeof line, "%-34s max difference %d (allowed %d) %s", what, diff, allowed,
             diff <= allowed ? "ok" : "MISMATCH");
    g_checks.push_back(line);
}

Surface* screen() {
    return sfCreate(SW, SH, pf565, 0, SF_NO_KEY, nullptr);
}

#ifdef KORVA_HAVE_SDL2
SDL_Surface* sdlView(Surface* s, uint32_t fmt) {
    return SDL_CreateRGBSurfaceWithFormatFrom(s->pixels, s->width, s->height, SDL_BITSPERPIXEL(fmt),
                                              s->rowPitch, fmt);
}
void sdlBlitAll(SDL_Surface* src, SDL_Surface* dst, const std::vector<Pos>& at) {
    for (const Pos& p : at) {
        SDL_Rect r = {p.x, p.y, 0, 0};
        SDL_BlitSurface(src, nullptr, dst, &r);
    }
}
#endif

void oursBlitAll(const Surface* src, Surface* dst, const std::vector<Pos>& at) {
    for (const Pos& p : at) sfBlitRect(src, dst, p.x, p.y, nullptr);
}

// ---- Benchmarks ----

struct Row {
    const char* key;
    const char* operation;
    const char* peer;
    double goal;  // required speed-up; 1.0 = at least as fast; 0.95 = within 5%
};
std::vector<Row> g_rows;

void add(const char* key, const char* op, const char* peer, double goal, std::function<void()> ours,
         std::function<void()> theirs) {
    g_rows.push_back({key, op, peer, goal});
    benchTimed(std::string("ours/") + key, ours);
    if (std::string(gfxPathName()) != "sse2") benchTimed(std::string("base/") + key, ours, true);
    if (theirs) benchTimed(std::string("peer/") + key, theirs);
}

// Our rotated blit's formulas written out a second time, plainly, to check the engine against.
void rotateReference(const Surface* src, Surface* dst, int x, int y, int angle, int scale) {
    int16_t s16, c16;
    mathSinCos(angle, &s16, &c16);
    const int64_t sn = s16, cs = c16, W = src->width, H = src->height, ax = src->anchorX, ay = src->anchorY;
    const int64_t bw = (((scale * std::abs(cs) * W + scale * std::abs(sn) * H) >> 8) + 255) >> 8;
    const int64_t bh = (((scale * std::abs(cs) * H + scale * std::abs(sn) * W) >> 8) + 255) >> 8;
    const int64_t cx = (scale * cs * W / 256 * (128 - ax) - sn * scale * H / 256 * (128 - ay)) / 256;
    const int64_t cy = (sn * scale * W / 256 * (128 - ax) + scale * cs * H / 256 * (128 - ay)) / 256;
    const int64_t left = std::max<int64_t>(0, x + ((cx - bw * 128 + 255) >> 8));
    const int64_t top = std::max<int64_t>(0, y + ((cy - bh * 128 + 255) >> 8));
    const int64_t right = std::min<int64_t>(dst->width, x + ((cx - bw * 128 + 255) >> 8) + bw);
    const int64_t bottom = std::min<int64_t>(dst->height, y + ((cy - bh * 128 + 255) >> 8) + bh);
    const int64_t is = int64_t(256.0 / (scale / 256.0) + 0.5);
    for (int64_t py = top; py < bottom; py++) {
        for (int64_t px = left; px < right; px++) {
            const int64_t dx = px - x, dy = py - y, n = px - left, dx0 = left - x;
            int64_t u = W * ax + ((is * cs * dx0) >> 8) + ((is * sn * dy) >> 8) + n * ((is * cs) >> 8);
            int64_t v = H * ay - ((is * sn * dx0) >> 8) + ((is * cs * dy) >> 8) - n * ((is * sn) >> 8);
            (void)dx;
            if (u + 128 < 0 || v + 128 < 0) continue;
            int64_t tx = (u + 128) >> 8, ty = (v + 128) >> 8;
            if (tx >= W || ty >= H) continue;
            uint32_t val = sfGetPixel(src, int(tx), int(ty));
            if (val != src->colourKey) sfPutPixel(dst, int(px), int(py), val);
        }
    }
}

void registerAll() {
    // -- Whole screen into a frame buffer of the same layout, and into one turned a quarter round.
    Surface* back = noise(SW, SH, pf565);
    Surface* fb = screen();
    add(
        "copy_screen", "sfCopyRect screen, same layout", "memcpy", 0.95,
        [=] { sfCopyRect(back, fb, 0, 0, nullptr); },
        [=] {
            memcpy(fb->pixels, back->pixels, back->dataSize);
            benchmark::ClobberMemory();
        });

    static std::vector<uint8_t> turnedMem(SW * SH * 2);
    Surface* turned = sfCreate(SW, SH, pf565, 0, SF_NO_KEY, turnedMem.data() + (SW - 1) * 640);
    turned->xStep = -640;
    turned->rowPitch = 2;
#ifdef KORVA_HAVE_PIXMAN
    {
        // The same memory as pixman sees it: 320 wide, 240 high; screen (x, y) lands at column y, row 239 -
        // x.
        static std::vector<uint8_t> pixMem(SW * SH * 2);
        pixman_image_t* ps = pixman_image_create_bits(PIXMAN_r5g6b5, SW, SH, (uint32_t*)back->pixels, SW * 2);
        pixman_image_t* pd =
            pixman_image_create_bits(PIXMAN_r5g6b5, SH, SW, (uint32_t*)pixMem.data(), SH * 2);
        pixman_transform_t t;
        // dst (X, Y) samples src (239 - Y, X); pixman maps destination pixel centres through the transform.
        pixman_transform_init_identity(&t);
        t.matrix[0][0] = 0;
        t.matrix[0][1] = pixman_int_to_fixed(-1);
        t.matrix[0][2] = pixman_int_to_fixed(SW);
        t.matrix[1][0] = pixman_int_to_fixed(1);
        t.matrix[1][1] = 0;
        t.matrix[1][2] = 0;
        pixman_image_set_transform(ps, &t);
        pixman_image_set_filter(ps, PIXMAN_FILTER_NEAREST, nullptr, 0);
        auto peer = [=] {
            pixman_image_composite32(PIXMAN_OP_SRC, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, SH, SW);
        };
        sfCopyRect(back, turned, 0, 0, nullptr);
        peer();
        check("turned copy vs pixman", maxDiffBytes(turnedMem.data(), pixMem.data(), pixMem.size()), 0);
        add(
            "copy_turned", "sfCopyRect screen, quarter-turned fb", "pixman SRC 90deg", 2.0,
            [=] { sfCopyRect(back, turned, 0, 0, nullptr); }, peer);
    }
#else
    add(
        "copy_turned", "sfCopyRect screen, quarter-turned fb", "pixman SRC 90deg", 2.0,
        [=] { sfCopyRect(back, turned, 0, 0, nullptr); }, nullptr);
#endif

    // -- Sprites: keyed, encoded, alpha, additive.
    const uint32_t key = rgb565(255, 0, 255);
    Surface* spr = sprite(20, 20, key);
    Surface* big = sprite(200, 200, key);
    Surface* sprRle = sfClone(spr);
    Surface* bigRle = sfClone(big);
    sfEncodeRLE(sprRle);
    sfEncodeRLE(bigRle);
    Surface* plain = noise(20, 20, pf565);
    const std::vector<Pos> at20 = positions(100, 20, 20);
    const std::vector<Pos> at200 = {{20, 60}, {-50, 200}, {100, -40}, {150, 250}};
    Surface* dst = noise(SW, SH, pf565);
    Surface* ref = sfClone(dst);
#ifdef KORVA_HAVE_SDL2
    SDL_Surface* sdlDst = sdlView(ref, SDL_PIXELFORMAT_RGB565);
    SDL_Surface* sSpr = sdlView(spr, SDL_PIXELFORMAT_RGB565);
    SDL_Surface* sBig = sdlView(big, SDL_PIXELFORMAT_RGB565);
    SDL_Surface* sSprR = sdlView(spr, SDL_PIXELFORMAT_RGB565);
    SDL_Surface* sBigR = sdlView(big, SDL_PIXELFORMAT_RGB565);
    SDL_Surface* sPlain = sdlView(plain, SDL_PIXELFORMAT_RGB565);
    SDL_SetColorKey(sSpr, SDL_TRUE, key);
    SDL_SetColorKey(sBig, SDL_TRUE, key);
    SDL_SetColorKey(sSprR, SDL_TRUE, key);
    SDL_SetColorKey(sBigR, SDL_TRUE, key);
    SDL_SetSurfaceRLE(sSprR, 1);
    SDL_SetSurfaceRLE(sBigR, 1);
    auto same = [&](const char* what, std::function<void()> a, std::function<void()> b, int allowed) {
        Surface* start = noise(SW, SH, pf565);
        memcpy(dst->pixels, start->pixels, start->dataSize);
        memcpy(ref->pixels, start->pixels, start->dataSize);
        a();
        b();
        check(what, maxDiff565(dst->pixels, ref->pixels, SW * SH), allowed);
        sfFree(start);
    };
    same(
        "keyed 20x20 vs SDL colour key", [=] { oursBlitAll(spr, dst, at20); },
        [=] { sdlBlitAll(sSpr, sdlDst, at20); }, 0);
    same(
        "RLE 20x20 vs SDL RLEACCEL", [=] { oursBlitAll(sprRle, dst, at20); },
        [=] { sdlBlitAll(sSprR, sdlDst, at20); }, 0);
    same(
        "RLE 200x200 vs SDL RLEACCEL", [=] { oursBlitAll(bigRle, dst, at200); },
        [=] { sdlBlitAll(sBigR, sdlDst, at200); }, 0);
    add(
        "key_20", "keyed 565 blit 20x20 x100", "SDL colour key", 2.0, [=] { oursBlitAll(spr, dst, at20); },
        [=] { sdlBlitAll(sSpr, sdlDst, at20); });
    add(
        "rle_20", "RLE blit 20x20 x100", "SDL RLEACCEL", 1.2, [=] { oursBlitAll(sprRle, dst, at20); },
        [=] { sdlBlitAll(sSprR, sdlDst, at20); });
    add(
        "rle_200", "RLE blit 200x200 x4", "SDL RLEACCEL", 1.0, [=] { oursBlitAll(bigRle, dst, at200); },
        [=] { sdlBlitAll(sBigR, sdlDst, at200); });

    // Alpha at opacity 128 (a multiple of 8: SDL's 565 surface alpha keeps 5 bits).
    SDL_SetSurfaceAlphaMod(sPlain, 128);
    SDL_SetSurfaceBlendMode(sPlain, SDL_BLENDMODE_BLEND);
    auto alphaOurs = [=] {
        gfxSetDrawMode(1);
        gfxSetOpacity(128);
        oursBlitAll(plain, dst, at20);
        gfxSetDrawMode(0);
        gfxSetOpacity(256);
    };
    same(
        "alpha 128 vs SDL alpha mod", alphaOurs, [=] { sdlBlitAll(sPlain, sdlDst, at20); }, 1);
    add("alpha_20", "alpha mix 20x20 x100 at 128", "SDL alpha mod", 2.0, alphaOurs,
        [=] { sdlBlitAll(sPlain, sdlDst, at20); });
#else
    (void)at200;
#endif

#ifdef KORVA_HAVE_PIXMAN
    {
        pixman_image_t* pd = pixman_image_create_bits(PIXMAN_r5g6b5, SW, SH, (uint32_t*)ref->pixels, SW * 2);
        pixman_image_t* ps = pixman_image_create_bits(PIXMAN_r5g6b5, 20, 20, (uint32_t*)plain->pixels, 40);
        auto addOurs = [=] {
            gfxSetDrawMode(2);
            oursBlitAll(plain, dst, at20);
            gfxSetDrawMode(0);
        };
        auto addPeer = [=] {
            for (const Pos& p : at20)
                pixman_image_composite32(PIXMAN_OP_ADD, ps, nullptr, pd, 0, 0, 0, 0, p.x, p.y, 20, 20);
        };
        {
            Surface* start = noise(SW, SH, pf565);
            memcpy(dst->pixels, start->pixels, start->dataSize);
            memcpy(ref->pixels, start->pixels, start->dataSize);
            addOurs();
            addPeer();
            check("additive vs pixman ADD", maxDiff565(dst->pixels, ref->pixels, SW * SH), 1);
            sfFree(start);
        }
        add("add_20", "additive 20x20 x100", "pixman ADD r5g6b5", 3.0, addOurs, addPeer);

        // Tint by coverage: glyphs of 8x8 and 7x14, 200 each, in one colour.
        static std::vector<uint8_t> c8, c14;
        Surface* g8 = glyph(8, 8, &c8);
        Surface* g14 = glyph(7, 14, &c14);
        // pixman's a8 rows are 4-byte aligned: copy the coverage into padded rows.
        static std::vector<uint8_t> m8(8 * 8), m14(8 * 14);
        for (int y = 0; y < 8; y++) memcpy(&m8[size_t(y * 8)], &c8[size_t(y * 8)], 8);
        for (int y = 0; y < 14; y++) memcpy(&m14[size_t(y * 8)], &c14[size_t(y * 7)], 7);
        pixman_image_t* mk8 = pixman_image_create_bits(PIXMAN_a8, 8, 8, (uint32_t*)m8.data(), 8);
        pixman_image_t* mk14 = pixman_image_create_bits(PIXMAN_a8, 7, 14, (uint32_t*)m14.data(), 8);
        const uint16_t ink = rgb565(255, 200, 0);
        pixman_color_t pc = {uint16_t(((ink >> 11) * 255 / 31) * 257),
                             uint16_t((((ink >> 5) & 63) * 255 / 63) * 257),
                             uint16_t(((ink & 31) * 255 / 31) * 257), 0xFFFF};
        pixman_image_t* solid = pixman_image_create_solid_fill(&pc);
        const std::vector<Pos> at8 = positions(200, 8, 8), at14 = positions(200, 7, 14);
        auto tintOurs = [=] {
            gfxSetDrawMode(3);
            gfxSetColour(ink);
            oursBlitAll(g8, dst, at8);
            oursBlitAll(g14, dst, at14);
            gfxSetDrawMode(0);
        };
        auto tintPeer = [=] {
            for (const Pos& p : at8)
                pixman_image_composite32(PIXMAN_OP_OVER, solid, mk8, pd, 0, 0, 0, 0, p.x, p.y, 8, 8);
            for (const Pos& p : at14)
                pixman_image_composite32(PIXMAN_OP_OVER, solid, mk14, pd, 0, 0, 0, 0, p.x, p.y, 7, 14);
        };
        {
            Surface* start = noise(SW, SH, pf565);
            memcpy(dst->pixels, start->pixels, start->dataSize);
            memcpy(ref->pixels, start->pixels, start->dataSize);
            tintOurs();
            tintPeer();
            // Our coverage is blue x 256 / 31 with truncating fields; pixman rounds in 8 bits.
            check("tint glyphs vs pixman OVER a8", maxDiff565(dst->pixels, ref->pixels, SW * SH), 2);
            sfFree(start);
        }
        add("tint_glyphs", "tint by coverage, 8x8 + 7x14 glyphs x200", "pixman OVER solid+a8", 4.0, tintOurs,
            tintPeer);
    }
#endif

#ifdef KORVA_HAVE_SDL2
    // -- Conversions of the whole screen into and out of 565.
    struct Conv {
        int format;
        uint32_t sdl;
        const char* name;
    };
    static const Conv convs[] = {{pf555, SDL_PIXELFORMAT_RGB555, "555"},
                                 {pf444, SDL_PIXELFORMAT_RGB444, "444"},
                                 {pf888, SDL_PIXELFORMAT_BGR24, "888"},
                                 {pf8888, SDL_PIXELFORMAT_ARGB8888, "8888"}};
    static std::vector<std::string> names;
    names.reserve(32);
    for (const Conv& c : convs) {
        for (int into565 = 1; into565 >= 0; into565--) {
            Surface* a = noise(SW, SH, into565 ? c.format : pf565);
            Surface* b = sfCreate(SW, SH, into565 ? pf565 : c.format, 0, SF_NO_KEY, nullptr);
            Surface* b2 = sfCreate(SW, SH, into565 ? pf565 : c.format, 0, SF_NO_KEY, nullptr);
            SDL_Surface* sa = sdlView(a, into565 ? c.sdl : uint32_t(SDL_PIXELFORMAT_RGB565));
            SDL_Surface* sb = sdlView(b2, into565 ? uint32_t(SDL_PIXELFORMAT_RGB565) : c.sdl);
            SDL_SetSurfaceBlendMode(sa, SDL_BLENDMODE_NONE);
            sfCopyRect(a, b, 0, 0, nullptr);
            SDL_BlitSurface(sa, nullptr, sb, nullptr);
            names.push_back(into565 ? std::string(c.name) + "_to_565" : std::string("565_to_") + c.name);
            // SDL rounds when it widens a channel (bit replication), we truncate: one unit apart at most,
            // in the target's fields (bytes for 888 and 8888).
            int diff =
                (into565 || c.format == pf555 || c.format == pf444)
                    ? (into565 ? maxDiff565(b->pixels, b2->pixels, SW * SH) : -1)
                    : maxDiffColourBytes(b->pixels, b2->pixels, b->dataSize, c.format == pf8888 ? 4 : 3);
            if (diff < 0) {  // 565 into 555 / 444: compare fields of the target format
                int worst = 0;
                for (int y = 0; y < SH; y++)
                    for (int x = 0; x < SW; x++) {
                        uint32_t p = sfGetPixel(b, x, y), q = sfGetPixel(b2, x, y);
                        int sh = c.format == pf555 ? 5 : 4, m = (1 << sh) - 1;
                        for (int k = 0; k < 3; k++)
                            worst = std::max(worst,
                                             std::abs(int((p >> (k * sh)) & m) - int((q >> (k * sh)) & m)));
                    }
                diff = worst;
            }
            check((names.back() + " vs SDL").c_str(), diff, 1);
            char op[64];
            snprintf(op, sizeof op, "convert screen %s", names.back().c_str());
            static std::vector<std::string> ops;
            ops.reserve(32);
            ops.push_back(op);
            // 565 into 8888 is what a 32-bit desktop frame buffer takes every frame: it must do better.
            add(
                names.back().c_str(), ops.back().c_str(), "SDL_BlitSurface",
                !into565 && c.format == pf8888 ? 1.5 : 1.0, [=] { sfCopyRect(a, b, 0, 0, nullptr); },
                [=] { SDL_BlitSurface(sa, nullptr, sb, nullptr); });
        }
    }
    {
        Surface* p = noise(SW, SH, pfPalette);
        std::vector<uint32_t> cols(256);
        for (uint32_t& c : cols) c = rng() & 0xFFFFFF;
        sfSetPaletteRGB32(p, 256, cols.data());
        palBuildCache(p->palette, pf565, nullptr);
        Surface* b = screen();
        Surface* b2 = screen();
        SDL_Surface* sa = sdlView(p, SDL_PIXELFORMAT_INDEX8);
        SDL_Color sc[256];
        for (int i = 0; i < 256; i++)
            sc[i] = {uint8_t(cols[i] >> 16), uint8_t(cols[i] >> 8), uint8_t(cols[i]), 255};
        SDL_SetPaletteColors(sa->format->palette, sc, 0, 256);
        SDL_Surface* sb = sdlView(b2, SDL_PIXELFORMAT_RGB565);
        sfCopyRect(p, b, 0, 0, nullptr);
        SDL_BlitSurface(sa, nullptr, sb, nullptr);
        check("palette_to_565 vs SDL", maxDiff565(b->pixels, b2->pixels, SW * SH), 1);
        add(
            "palette_to_565", "convert screen palette_to_565", "SDL_BlitSurface", 1.0,
            [=] { sfCopyRect(p, b, 0, 0, nullptr); }, [=] { SDL_BlitSurface(sa, nullptr, sb, nullptr); });
    }
#endif

    // -- Rotated and scaled: 37 degrees at 1.5, checked against the plain reference above.
    for (int size : {20, 120}) {
        Surface* src = sprite(size, size, key);
        src->anchorX = src->anchorY = 128;
        Surface* a = noise(SW, SH, pf565);
        Surface* b = sfClone(a);
        RotateParams rp = {SW / 2, SH / 2, 37, 384, 384};
        sfBlitRotated(src, a, &rp, -1);
        rotateReference(src, b, SW / 2, SH / 2, 37, 384);
        check(size == 20 ? "rotated 20 vs reference" : "rotated 120 vs reference",
              maxDiff565(a->pixels, b->pixels, SW * SH), 0);
        std::function<void()> peer;
#if defined(KORVA_HAVE_SDL2) && defined(KORVA_HAVE_SDL2GFX)
        SDL_Surface* ss = sdlView(src, SDL_PIXELFORMAT_RGB565);
        SDL_SetColorKey(ss, SDL_TRUE, key);
        SDL_Surface* sd = sdlView(b, SDL_PIXELFORMAT_RGB565);
        peer = [=] {
            SDL_Surface* r = rotozoomSurface(ss, 37, 1.5, SMOOTHING_OFF);
            SDL_Rect at = {SW / 2 - r->w / 2, SH / 2 - r->h / 2, 0, 0};
            SDL_BlitSurface(r, nullptr, sd, &at);
            SDL_FreeSurface(r);
        };
#endif
        add(
            size == 20 ? "rotated_20" : "rotated_120",
            size == 20 ? "sfBlitRotated 20x20, 37deg, x1.5" : "sfBlitRotated 120x120, 37deg, x1.5",
            "rotozoom + blit + free", 10.0, [=] { sfBlitRotated(src, a, &rp, -1); }, peer);
    }
}

}  // namespace

int main(int argc, char** argv) {
    registerAll();
    benchmark::Initialize(&argc, argv);
    TableReporter rep;
    benchmark::RunSpecifiedBenchmarks(&rep);
    printf("\nOutput checks (before timing):\n");
    for (const std::string& c : g_checks) printf("  %s\n", c.c_str());
    printf(
        "\nSpeed-up = peer CPU time / our CPU time, medians of 5, all from this run. Processor path: %s"
        " (baseline: the same loops forced to sse2).\n",
        gfxPathName());
    printf("%-44s %-24s %10s %10s %10s %8s %6s %s\n", "operation", "peer", "ours us", "baseline", "peer us",
           "speed-up", "goal", "");
    for (const Row& r : g_rows) {
        auto o = rep.times.find(std::string("ours/") + r.key),
             b = rep.times.find(std::string("base/") + r.key),
             p = rep.times.find(std::string("peer/") + r.key);
        if (o == rep.times.end()) continue;
        char base[32] = "-";
        if (b != rep.times.end()) snprintf(base, sizeof base, "%.2f", b->second);
        if (p == rep.times.end()) {
            printf("%-44s %-24s %10.2f %10s %10s %8s %6.2f peer not built\n", r.operation, r.peer, o->second,
                   base, "-", "-", r.goal);
            continue;
        }
        const double ratio = p->second / o->second;
        printf("%-44s %-24s %10.2f %10s %10.2f %7.2fx %5.2fx %s\n", r.operation, r.peer, o->second, base,
               p->second, ratio, r.goal, ratio >= r.goal ? "met" : "NOT MET");
    }
    return 0;
}
