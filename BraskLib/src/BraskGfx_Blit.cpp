// Blitters: the general blit with clipping, key and draw modes, the converting copy with its same-format
// copiers, and the rotated and scaled blit.
//
// [SECTION] Clipping
// [SECTION] Pixel loops (specialised and per-pixel)
// [SECTION] General blit
// [SECTION] Same-format copiers
// [SECTION] Converting copy
// [SECTION] Rotated and scaled blit
// [SECTION] Colour helpers live in BraskGfx.cpp
#include <cstddef>

#include "BraskGfx_internal.h"
#include "BraskGfx_simd.h"
#include "brask/random.h"
#include "brask/memory.h"

// =====================================================================================================
// [SECTION] Clipping
// =====================================================================================================

bool gfxClipBlit(const Surface* src, const Surface* dst, int32_t* x, int32_t* y, const Rect* srcRect,
                 bool useClip, int32_t* sx, int32_t* sy, int32_t* w, int32_t* h) {
    // 64-bit throughout: a rectangle near the int32 limits must not overflow while it is cut.
    int64_t X = *x, Y = *y, SX = 0, SY = 0, W = src->width, H = src->height;
    if (srcRect) {
        SX = srcRect->x;
        SY = srcRect->y;
        W = srcRect->width;
        H = srcRect->height;
        if (SX >= src->width || SY >= src->height || SX + W < 1 || SY + H < 1) return false;
        if (SX < 0) W += SX, SX = 0;
        if (SY < 0) H += SY, SY = 0;
        if (W > src->width - SX) W = src->width - SX;
        if (H > src->height - SY) H = src->height - SY;
    }
    // A negative size from any step below would become a memory move of negative length.
    if (W <= 0 || H <= 0) return false;
    const Rect* c = g_gfx.clip;
    if (useClip && c) {
        const int64_t right = int64_t(c->x) + c->width, bottom = int64_t(c->y) + c->height;
        if (X >= right || Y >= bottom || c->x >= X + W || c->y >= Y + H) return false;
        if (c->x > X) SX += c->x - X, W -= c->x - X, X = c->x;
        if (c->y > Y) SY += c->y - Y, H -= c->y - Y, Y = c->y;
        if (W > right - X) W = right - X;
        if (H > bottom - Y) H = bottom - Y;
        if (W <= 0 || H <= 0) return false;
    }
    if (X >= dst->width || Y >= dst->height || X + W <= 0 || Y + H <= 0) return false;
    if (X < 0) SX -= X, W += X, X = 0;
    if (Y < 0) SY -= Y, H += Y, Y = 0;
    if (W > dst->width - X) W = dst->width - X;
    if (H > dst->height - Y) H = dst->height - Y;
    if (W <= 0 || H <= 0) return false;
    *x = int32_t(X);
    *y = int32_t(Y);
    *sx = int32_t(SX);
    *sy = int32_t(SY);
    *w = int32_t(W);
    *h = int32_t(H);
    return true;
}

// =====================================================================================================
// [SECTION] Pixel loops (specialised and per-pixel)
// =====================================================================================================

// gfxConvRGB as three lookups, one per source channel: the same values, built from the same formula at
// compile time, for the rows whose 24-bit stores keep the conversion from vectorising.
template <class S, class D>
struct ConvTables {
    uint32_t r[S::mR + 1], g[S::mG + 1], b[S::mB + 1];
    constexpr ConvTables() : r(), g(), b() {
        for (uint32_t c = 0; c <= S::mR; c++) r[c] = gfxScaleChannel<S::mR, D::mR>(c) << D::sR;
        for (uint32_t c = 0; c <= S::mG; c++) g[c] = gfxScaleChannel<S::mG, D::mG>(c) << D::sG;
        for (uint32_t c = 0; c <= S::mB; c++) b[c] = gfxScaleChannel<S::mB, D::mB>(c) << D::sB;
    }
};
template <class S, class D>
static constexpr ConvTables<S, D> kConvTables{};

template <class S, class D>
static inline uint32_t convByTable(uint32_t v) {
    if constexpr (std::is_same_v<S, D>) {
        return v;
    } else {
        const ConvTables<S, D>& t = kConvTables<S, D>;
        return t.r[(v >> S::sR) & S::mR] | t.g[(v >> S::sG) & S::mG] | t.b[(v >> S::sB) & S::mB];
    }
}

template <class S, class D, bool Keyed, int Mode, bool Packed>
static GFX_INLINE void rgbRow(const uint8_t* sp, int32_t sStep, uint8_t* dp, int32_t dStep, int32_t w,
                              const BlitJob& j) {
    if constexpr (Packed) sStep = S::bpp, dStep = D::bpp;
    const uint32_t key = j.key, colour = j.colour;
    const int32_t opacity = j.opacity;
    int32_t i = 0;
    if constexpr (Packed && D::bpp == 3 && Mode == 0 && !Keyed) {
        // Four 24-bit pixels as three 32-bit stores rather than twelve byte stores.
        for (; i + 4 <= w; i += 4) {
            const uint32_t a = convByTable<S, D>(S::read(sp + i * S::bpp));
            const uint32_t b = convByTable<S, D>(S::read(sp + (i + 1) * S::bpp));
            const uint32_t c = convByTable<S, D>(S::read(sp + (i + 2) * S::bpp));
            const uint32_t d = convByTable<S, D>(S::read(sp + (i + 3) * S::bpp));
            gfxStore32(dp + 3 * i, a | (b << 24));
            gfxStore32(dp + 3 * i + 4, (b >> 8) | (c << 16));
            gfxStore32(dp + 3 * i + 8, (c >> 16) | (d << 8));
        }
    }
    for (; i < w; i++) {
        const uint32_t raw = S::read(sp + i * sStep);
        uint8_t* d = dp + i * dStep;
        uint32_t v = gfxConvRGB<S, D>(raw);
        if constexpr (Mode != 0) v = gfxBlendRGB<D, Mode>(D::read(d), v, opacity, colour);
        // A keyed pixel rewrites the destination's own value: no branch, so the row can be vectorised.
        if constexpr (Keyed) v = raw == key ? D::read(d) : v;
        D::write(d, v);
    }
}

template <class S, class D, bool Keyed, int Mode>
static GFX_INLINE void rgbRows(const BlitJob& job) {
    const BlitJob j = job;  // a local copy: stores through the pixel pointers cannot alias it
    const uint8_t* s = j.src;
    uint8_t* d = j.dst;
    const bool packed = j.srcStep == S::bpp && j.dstStep == D::bpp;
    for (int32_t y = 0; y < j.height; y++, s += j.srcPitch, d += j.dstPitch) {
        if (packed)
            rgbRow<S, D, Keyed, Mode, true>(s, 0, d, 0, j.width, j);
        else
            rgbRow<S, D, Keyed, Mode, false>(s, j.srcStep, d, j.dstStep, j.width, j);
    }
}

#if GFX_HAVE_AVX2
// The rows of one blit lie apart in memory or not at all: a surface drawn onto itself overlapping keeps the
// pixel-by-pixel order of reads and writes, which vectors reading ahead would not.
static bool jobOverlaps(const BlitJob& j, int32_t sBpp, int32_t dBpp) {
    auto span = [&](const uint8_t* p, int32_t pitch, int32_t bpp, uintptr_t* lo, uintptr_t* hi) {
        const int64_t last = int64_t(j.height - 1) * pitch;
        *lo = uintptr_t(p) + uintptr_t(last < 0 ? last : 0);
        *hi = uintptr_t(p) + uintptr_t(last > 0 ? last : 0) + uintptr_t(j.width) * uintptr_t(bpp);
    };
    uintptr_t s0, s1, d0, d1;
    span(j.src, j.srcPitch, sBpp, &s0, &s1);
    span(j.dst, j.dstPitch, dBpp, &d0, &d1);
    return s0 < d1 && d0 < s1;
}
#endif

template <class S, class D, bool Keyed, int Mode>
static void rgbLoopSse2(const BlitJob& j) {
    rgbRows<S, D, Keyed, Mode>(j);
}

#if GFX_HAVE_AVX2
// 565 onto 565, rows stored forwards: whole vectors of 16 pixels, the last one ending at the row's end, so a
// 20-pixel sprite row is two vectors; rows of 9 to 15 pixels are one vector, rows of 4 to 8 two to a vector,
// and only rows below 4 go pixel by pixel.
template <bool Keyed, int Mode>
GFX_AVX2 static void rows565Avx2(const BlitJob& j) {
    const Blend565Args<V16> q(j.key, j.opacity, j.colour);
    const uint8_t* s = j.src;
    uint8_t* d = j.dst;
    const int32_t w = j.width, h = j.height, sp = j.srcPitch, dp = j.dstPitch;
    int32_t y = 0;
    if (w >= 16) {
        for (; y < h; y++, s += sp, d += dp) row565<V16, Keyed, Mode>(s, d, w, q);
    } else if (w > 8) {
        const int32_t last = 2 * (w - 8);
        for (; y < h; y++, s += sp, d += dp)
            gfxStore2x8(d, d + last,
                        blend565<V16, Keyed, Mode>(gfxLoad2x8(d, d + last), gfxLoad2x8(s, s + last), q));
    } else if (w >= 4 && (dp >= 2 * w || dp <= -2 * w)) {
        // Two rows per vector, which must not share a byte of the destination.
        const int32_t last = 2 * (w - 4);
        for (; y + 2 <= h; y += 2, s += 2 * sp, d += 2 * dp) {
            const uint8_t* s1 = s + sp;
            uint8_t* d1 = d + dp;
            const __m256i out = blend565<V16, Keyed, Mode>(gfxLoad4x4(d, d + last, d1, d1 + last),
                                                           gfxLoad4x4(s, s + last, s1, s1 + last), q);
            gfxStore4x4(d, d + last, d1, d1 + last, out);
        }
    }
    for (; y < h; y++, s += sp, d += dp) rgbRow<Fmt565, Fmt565, Keyed, Mode, true>(s, 0, d, 0, w, j);
}

// The same rows compiled for AVX2, where the vectoriser takes 16 lanes; 565 onto 565 has its own vectors.
template <class S, class D, bool Keyed, int Mode>
GFX_AVX2 static void rgbLoopAvx2(const BlitJob& j) {
    if constexpr (std::is_same_v<S, Fmt565> && std::is_same_v<D, Fmt565>) {
        if (j.srcStep == 2 && j.dstStep == 2 && !jobOverlaps(j, 2, 2)) {
            // A key no 16-bit pixel can equal is no key: the lanes compare only 16 bits.
            if (Keyed && j.key <= 0xFFFF)
                rows565Avx2<true, Mode>(j);
            else
                rows565Avx2<false, Mode>(j);
            return;
        }
    }
    if constexpr (D::bpp == 3 && Mode == 0 && !Keyed) {
        // The table conversion into 24-bit pixels: the AVX2 vectoriser turns its lookups into gathers,
        // slower here than the baseline's single loads.
        rgbLoopSse2<S, D, Keyed, Mode>(j);
    } else {
        rgbRows<S, D, Keyed, Mode>(j);
    }
}
#endif

// Blended loops are made for equal formats only; a pair of formats gets the copying loops.
template <class S, class D, int Mode, int Path>
static constexpr BlitLoopFn rgbEntry(bool keyed) {
    if constexpr (Mode != 0 && !std::is_same_v<S, D>) return nullptr;
#if GFX_HAVE_AVX2
    else if constexpr (Path == GFX_PATH_AVX2)
        return keyed ? rgbLoopAvx2<S, D, true, Mode> : rgbLoopAvx2<S, D, false, Mode>;
#endif
    else
        return keyed ? rgbLoopSse2<S, D, true, Mode> : rgbLoopSse2<S, D, false, Mode>;
}

template <class S, class D, int Path>
static BlitLoopFn rgbPick(int32_t mode, bool keyed) {
    static constexpr BlitLoopFn loops[5][2] = {
        {rgbEntry<S, D, 0, Path>(false), rgbEntry<S, D, 0, Path>(true)},
        {rgbEntry<S, D, 1, Path>(false), rgbEntry<S, D, 1, Path>(true)},
        {rgbEntry<S, D, 2, Path>(false), rgbEntry<S, D, 2, Path>(true)},
        {rgbEntry<S, D, 3, Path>(false), rgbEntry<S, D, 3, Path>(true)},
        {rgbEntry<S, D, 4, Path>(false), rgbEntry<S, D, 4, Path>(true)}};
    return loops[mode][keyed ? 1 : 0];
}

typedef BlitLoopFn (*PickFn)(int32_t mode, bool keyed);
#define GFX_PICK_ROW(S, P)                                                                          \
    {                                                                                               \
        rgbPick<S, Fmt444, P>, rgbPick<S, Fmt555, P>, rgbPick<S, Fmt565, P>, rgbPick<S, Fmt888, P>, \
            rgbPick<S, Fmt8888, P>                                                                  \
    }
#define GFX_PICK_TABLE(P)                                                                                   \
    {                                                                                                       \
        GFX_PICK_ROW(Fmt444, P), GFX_PICK_ROW(Fmt555, P), GFX_PICK_ROW(Fmt565, P), GFX_PICK_ROW(Fmt888, P), \
            GFX_PICK_ROW(Fmt8888, P)                                                                        \
    }
// By path, then source and destination format 444, 555, 565, 888, 8888 (numbers 2..6).
static const PickFn kRgbLoops[GFX_PATH_COUNT][5][5] = {GFX_PICK_TABLE(GFX_PATH_SSE2),
                                                       GFX_PICK_TABLE(GFX_PATH_AVX2)};
static_assert(GFX_PATH_COUNT == 2, "one loop table per processor path");

BlitLoopFn gfxFindLoop(int32_t srcFormat, int32_t dstFormat, int32_t mode, bool keyed) {
    if (!g_gfx.fastPaths || srcFormat < pf444 || srcFormat > pf8888 || dstFormat < pf444 ||
        dstFormat > pf8888 || mode < 0 || mode > 4)
        return nullptr;
    return kRgbLoops[g_gfx.path][srcFormat - pf444][dstFormat - pf444](mode, keyed);
}

// The per-pixel path through the format tables: every format pair, every mode.
static void tableLoop(const Surface* src, const Surface* dst, const BlitJob& j, bool keyed, BlendFn blend) {
    uint32_t (*read)(const uint8_t*) = sfGetFormatOps(src->format)->read;
    uint32_t (*dread)(const uint8_t*) = sfGetFormatOps(dst->format)->read;
    void (*write)(uint8_t*, uint32_t) = sfGetFormatOps(dst->format)->write;
    const bool convert = src->format != dst->format;
    const uint8_t* s = j.src;
    uint8_t* d = j.dst;
    for (int32_t y = 0; y < j.height; y++, s += j.srcPitch, d += j.dstPitch) {
        const uint8_t* sp = s;
        uint8_t* dp = d;
        for (int32_t x = 0; x < j.width; x++, sp += j.srcStep, dp += j.dstStep) {
            uint32_t v = read(sp);
            if (keyed && v == j.key) continue;
            if (convert) v = sfConvertColour(v, src, dst);
            if (blend) v = blend(dread(dp), v, j.opacity, j.colour);
            write(dp, v);
        }
    }
}

// Sub-byte formats on either side: pixel by pixel through the addressing rules.
static void subByteLoop(const Surface* src, Surface* dst, int32_t x, int32_t y, int32_t sx, int32_t sy,
                        int32_t w, int32_t h, bool keyed, BlendFn blend) {
    const bool convert = src->format != dst->format;
    for (int32_t j = 0; j < h; j++) {
        for (int32_t i = 0; i < w; i++) {
            uint32_t v = sfGetPixel(src, sx + i, sy + j);
            if (keyed && v == src->colourKey) continue;
            if (convert) v = sfConvertColour(v, src, dst);
            if (blend) v = blend(sfGetPixel(dst, x + i, y + j), v, g_gfx.opacity, g_gfx.colour);
            sfPutPixel(dst, x + i, y + j, v);
        }
    }
}

static BlitJob makeJob(const Surface* src, Surface* dst, int32_t x, int32_t y, int32_t sx, int32_t sy,
                       int32_t w, int32_t h) {
    BlitJob j;
    // Byte formats only (callers send packed bits elsewhere): sfPixelAddress's first rule, without the call.
    j.src = src->pixels + int64_t(sy) * src->rowPitch + int64_t(sx) * src->xStep;
    j.srcStep = src->xStep;
    j.srcPitch = src->rowPitch;
    j.dst = dst->pixels + int64_t(y) * dst->rowPitch + int64_t(x) * dst->xStep;
    j.dstStep = dst->xStep;
    j.dstPitch = dst->rowPitch;
    j.width = w;
    j.height = h;
    j.key = src->colourKey;
    j.opacity = g_gfx.opacity;
    j.colour = g_gfx.colour;
    return j;
}

// Moves whole rows when both sides are stored forwards; false when the layouts do not allow it.
static bool moveRows(const Surface* src, Surface* dst, int32_t x, int32_t y, int32_t sx, int32_t sy,
                     int32_t w, int32_t h) {
    const int32_t bpp = src->info->bytesPerPixel;
    if (src->xStep != bpp || dst->xStep != bpp) return false;
    const uint8_t* s = sfPixelAddress(src, sx, sy);
    uint8_t* d = sfPixelAddress(dst, x, y);
    if (src->rowPitch == dst->rowPitch && src->rowPitch > 0 && x == 0 && y == 0 && sx == 0 && sy == 0 &&
        w == src->width && w == dst->width && h == src->height && h == dst->height) {
        memMove(d, s, h * src->rowPitch);
        return true;
    }
    for (int32_t r = 0; r < h; r++, s += src->rowPitch, d += dst->rowPitch) memMove(d, s, w * bpp);
    return true;
}

// =====================================================================================================
// [SECTION] General blit
// =====================================================================================================

static bool usable(const Surface* s) {
    return s && s->pixels && s->info && gfxValidFormat(s->format);
}

int32_t sfBlitRect(const Surface* src, Surface* dst, int32_t x, int32_t y, const Rect* srcRect) {
    if (!usable(src) || !usable(dst) || dst->rle || g_gfx.opacity == 0) return 0;
    if (src->rle) return sfBlitRLE(src, dst, x, y, srcRect);
    int32_t sx, sy, w, h;
    if (!gfxClipBlit(src, dst, &x, &y, srcRect, true, &sx, &sy, &w, &h)) return 0;
    const int32_t mode = g_gfx.drawMode;
    if (src->info->bytesPerPixel == 0 || dst->info->bytesPerPixel == 0) {
        subByteLoop(src, dst, x, y, sx, sy, w, h, true, mode ? gfxGetBlend(dst->format, mode) : nullptr);
        return 1;
    }
    if (src->format == dst->format && src->xStep == dst->xStep && src->colourKey == SF_NO_KEY && mode == 0 &&
        moveRows(src, dst, x, y, sx, sy, w, h))
        return 1;
    BlitJob j = makeJob(src, dst, x, y, sx, sy, w, h);
    // Only a 32-bit source can hold the "no key" value itself, so only there must every pixel be tested.
    const bool keyed = src->colourKey != SF_NO_KEY || src->info->bytesPerPixel == 4;
    if (BlitLoopFn loop = gfxFindLoop(src->format, dst->format, mode, keyed)) {
        loop(j);
        return 1;
    }
    tableLoop(src, dst, j, true, mode ? gfxGetBlend(dst->format, mode) : nullptr);
    return 1;
}

int32_t sfBlit(const Surface* src, Surface* dst, int32_t x, int32_t y) {
    if (!src || !dst) return 0;
    return sfBlitRect(src, dst, x - ((src->width * src->anchorX + 128) >> 8),
                      y - ((src->height * src->anchorY + 128) >> 8), nullptr);
}

int32_t sfBlitFrame(const Surface* src, Surface* dst, int32_t x, int32_t y, int32_t frame) {
    if (!src || !dst) return 0;
    // An index past the list draws the whole surface, as sfFrameSize measures it.
    if (frame < 0 || frame >= src->frames.count) return sfBlit(src, dst, x, y);
    const Rect r = static_cast<const Rect*>(src->frames.data)[frame];
    // Frames come from files: a huge one puts its anchor past the int32 range. Clamped there it still lies
    // beyond any surface, so it draws just as little as the true position would.
    auto place = [](int32_t at, int32_t size, int32_t anchor) {
        const int64_t p = at - ((int64_t(size) * anchor + 128) >> 8);
        return int32_t(p < INT32_MIN ? INT32_MIN : p > INT32_MAX ? INT32_MAX : p);
    };
    return sfBlitRect(src, dst, place(x, r.width, src->anchorX), place(y, r.height, src->anchorY), &r);
}

// =====================================================================================================
// [SECTION] Same-format copiers
// =====================================================================================================

struct CopyArgs {
    const uint8_t* s;
    uint8_t* d;
    int32_t sStep, sPitch, dStep, dPitch, w, h;
};

static CopyArgs copyArgs(const Surface* src, Surface* dst, int32_t dstX, int32_t dstY, int32_t srcX,
                         int32_t srcY, int32_t w, int32_t h) {
    return {sfPixelAddress(src, srcX, srcY),
            sfPixelAddress(dst, dstX, dstY),
            src->xStep,
            src->rowPitch,
            dst->xStep,
            dst->rowPitch,
            w,
            h};
}

// Any steps on both sides, one pixel of Bpp bytes at a time.
template <int Bpp>
static void copyStepped(const CopyArgs& a) {
    const uint8_t* s = a.s;
    uint8_t* d = a.d;
    for (int32_t y = 0; y < a.h; y++, s += a.sPitch, d += a.dPitch) {
        const uint8_t* sp = s;
        uint8_t* dp = d;
        for (int32_t x = 0; x < a.w; x++, sp += a.sStep, dp += a.dStep) memcpy(dp, sp, Bpp);
    }
}

// A packed source row written along a destination step known at compile time (a 240 x 320 frame buffer
// stored turned or mirrored), 8 pixels per round.
template <int Bpp, int DStep>
static void copyToStep(const CopyArgs& a) {
    const uint8_t* s = a.s;
    uint8_t* d = a.d;
    for (int32_t y = 0; y < a.h; y++, s += a.sPitch, d += a.dPitch) {
        const uint8_t* sp = s;
        uint8_t* dp = d;
        for (int32_t n = a.w >> 3; n > 0; n--, sp += 8 * Bpp, dp += 8 * DStep) {
            memcpy(dp, sp, Bpp);
            memcpy(dp + DStep, sp + Bpp, Bpp);
            memcpy(dp + 2 * DStep, sp + 2 * Bpp, Bpp);
            memcpy(dp + 3 * DStep, sp + 3 * Bpp, Bpp);
            memcpy(dp + 4 * DStep, sp + 4 * Bpp, Bpp);
            memcpy(dp + 5 * DStep, sp + 5 * Bpp, Bpp);
            memcpy(dp + 6 * DStep, sp + 6 * Bpp, Bpp);
            memcpy(dp + 7 * DStep, sp + 7 * Bpp, Bpp);
        }
        for (int32_t n = a.w & 7; n > 0; n--, sp += Bpp, dp += DStep) memcpy(dp, sp, Bpp);
    }
}

// Packed source, any destination step, 8 pixels per round.
template <int Bpp>
static void copyToAnyStep(const CopyArgs& a) {
    const uint8_t* s = a.s;
    uint8_t* d = a.d;
    const int32_t st = a.dStep;
    for (int32_t y = 0; y < a.h; y++, s += a.sPitch, d += a.dPitch) {
        const uint8_t* sp = s;
        uint8_t* dp = d;
        for (int32_t n = a.w >> 3; n > 0; n--, sp += 8 * Bpp, dp += 8 * st) {
            for (int k = 0; k < 8; k++) memcpy(dp + k * st, sp + k * Bpp, Bpp);
        }
        for (int32_t n = a.w & 7; n > 0; n--, sp += Bpp, dp += st) memcpy(dp, sp, Bpp);
    }
}

// A frame buffer stored down the columns (row pitch of one pixel, either way): 8 source rows at a time, so
// each column of 8 lands as one 16-byte store instead of 8 stores a whole row apart.
static void copy16ToColumns(const CopyArgs& a) {
    const bool up = a.dPitch < 0;
    int32_t y = 0;
    for (; y + 8 <= a.h; y += 8) {
        const uint8_t* s = a.s + int64_t(y) * a.sPitch;
        uint8_t* d = a.d + int64_t(y) * a.dPitch;
        for (int32_t x = 0; x < a.w; x++, d += a.dStep) {
            uint16_t t[8];
            for (int k = 0; k < 8; k++) memcpy(&t[up ? 7 - k : k], s + int64_t(k) * a.sPitch + 2 * x, 2);
            memcpy(up ? d - 14 : d, t, 16);
        }
    }
    if (y < a.h) {
        CopyArgs rest = a;
        rest.s += int64_t(y) * a.sPitch;
        rest.d += int64_t(y) * a.dPitch;
        rest.h = a.h - y;
        copyToAnyStep<2>(rest);
    }
}

#if GFX_HAVE_AVX2
// Eight rows of 8 pixels in each 128-bit lane turned into eight columns (each lane on its own): register j
// ends up holding column j in its low lane and column j + 8 in its high lane.
GFX_AVX2 static inline void transpose8x8Lanes(__m256i* r) {
    __m256i a[8], b[8];
    for (int k = 0; k < 4; k++) {
        a[2 * k] = _mm256_unpacklo_epi16(r[2 * k], r[2 * k + 1]);
        a[2 * k + 1] = _mm256_unpackhi_epi16(r[2 * k], r[2 * k + 1]);
    }
    for (int k = 0; k < 2; k++) {
        b[4 * k] = _mm256_unpacklo_epi32(a[4 * k], a[4 * k + 2]);
        b[4 * k + 1] = _mm256_unpackhi_epi32(a[4 * k], a[4 * k + 2]);
        b[4 * k + 2] = _mm256_unpacklo_epi32(a[4 * k + 1], a[4 * k + 3]);
        b[4 * k + 3] = _mm256_unpackhi_epi32(a[4 * k + 1], a[4 * k + 3]);
    }
    for (int k = 0; k < 4; k++) {
        r[2 * k] = _mm256_unpacklo_epi64(b[k], b[k + 4]);
        r[2 * k + 1] = _mm256_unpackhi_epi64(b[k], b[k + 4]);
    }
}

// copy16ToColumns with blocks of 16 x 16 pixels turned in registers: each column of 16 lands as one 32-byte
// store. Rows are loaded bottom first for a column that runs towards lower addresses.
GFX_AVX2 static void copy16ToColumnsAvx2(const CopyArgs& a) {
    // Columns closer than 32 bytes would share bytes between their stores.
    if (a.dStep < 32 && a.dStep > -32) {
        copy16ToColumns(a);
        return;
    }
    const bool up = a.dPitch < 0;
    int32_t y = 0;
    for (; y + 16 <= a.h; y += 16) {
        const uint8_t* s = a.s + int64_t(y) * a.sPitch;
        uint8_t* d = a.d + int64_t(y) * a.dPitch - (up ? 30 : 0);
        int32_t x = 0;
        for (; x + 16 <= a.w; x += 16) {
            __m256i r[16];
            for (int k = 0; k < 16; k++)
                r[k] = _mm256_loadu_si256(
                    reinterpret_cast<const __m256i*>(s + int64_t(up ? 15 - k : k) * a.sPitch + 2 * x));
            transpose8x8Lanes(r);
            transpose8x8Lanes(r + 8);
            uint8_t* col = d + int64_t(x) * a.dStep;
            for (int k = 0; k < 8; k++) {
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(col + int64_t(k) * a.dStep),
                                    _mm256_permute2x128_si256(r[k], r[k + 8], 0x20));
                _mm256_storeu_si256(reinterpret_cast<__m256i*>(col + int64_t(k + 8) * a.dStep),
                                    _mm256_permute2x128_si256(r[k], r[k + 8], 0x31));
            }
        }
        for (; x < a.w; x++) {
            uint16_t t[16];
            for (int k = 0; k < 16; k++) memcpy(&t[up ? 15 - k : k], s + int64_t(k) * a.sPitch + 2 * x, 2);
            memcpy(d + int64_t(x) * a.dStep, t, 32);
        }
    }
    if (y < a.h) {
        CopyArgs rest = a;
        rest.s += int64_t(y) * a.sPitch;
        rest.d += int64_t(y) * a.dPitch;
        rest.h = a.h - y;
        copy16ToColumns(rest);
    }
}
#endif

typedef void (*CopyFn)(const CopyArgs& a);
static const CopyFn kCopyToColumns[GFX_PATH_COUNT] = {copy16ToColumns,
#if GFX_HAVE_AVX2
                                                      copy16ToColumnsAvx2
#else
                                                      copy16ToColumns
#endif
};

template <int Bpp>
static int32_t copySameFormat(const Surface* src, Surface* dst, int32_t dstX, int32_t dstY, int32_t srcX,
                              int32_t srcY, int32_t w, int32_t h) {
    if (src->format != dst->format) return 0;
    if (moveRows(src, dst, dstX, dstY, srcX, srcY, w, h)) return 1;
    CopyArgs a = copyArgs(src, dst, dstX, dstY, srcX, srcY, w, h);
    if (a.sStep != Bpp) {
        copyStepped<Bpp>(a);
        return 1;
    }
    if constexpr (Bpp == 2) {
        if ((a.dPitch == 2 || a.dPitch == -2) && (a.dStep >= 16 || a.dStep <= -16)) {
            kCopyToColumns[g_gfx.path](a);
            return 1;
        }
        switch (a.dStep) {
            case 480:
                copyToStep<2, 480>(a);
                return 1;
            case 640:
                copyToStep<2, 640>(a);
                return 1;
            case -640:
                copyToStep<2, -640>(a);
                return 1;
            case -480:
                copyToStep<2, -480>(a);
                return 1;
            case -2:
                copyToStep<2, -2>(a);
                return 1;
            default:
                break;
        }
    }
    copyToAnyStep<Bpp>(a);
    return 1;
}

int32_t gfxBlitFast565(const Surface* src, Surface* dst, int32_t dstX, int32_t dstY, int32_t srcX,
                       int32_t srcY, int32_t w, int32_t h) {
    return copySameFormat<2>(src, dst, dstX, dstY, srcX, srcY, w, h);
}
int32_t gfxBlitFast888(const Surface* src, Surface* dst, int32_t dstX, int32_t dstY, int32_t srcX,
                       int32_t srcY, int32_t w, int32_t h) {
    return copySameFormat<3>(src, dst, dstX, dstY, srcX, srcY, w, h);
}
int32_t gfxBlitFast8888(const Surface* src, Surface* dst, int32_t dstX, int32_t dstY, int32_t srcX,
                        int32_t srcY, int32_t w, int32_t h) {
    return copySameFormat<4>(src, dst, dstX, dstY, srcX, srcY, w, h);
}

int32_t gfxBlitFastMono(const Surface* src, Surface* dst, int32_t dstX, int32_t dstY, int32_t srcX,
                        int32_t srcY, int32_t w, int32_t h) {
    // Packed bits move only as whole buffers of identical layout; anything else goes pixel by pixel.
    if (src->format != dst->format || src->rowPitch != dst->rowPitch || src->rowPitch <= 0 ||
        src->xStep != dst->xStep || dstX || dstY || srcX || srcY || w != src->width || w != dst->width ||
        h != src->height || h != dst->height)
        return 0;
    memMove(dst->pixels, src->pixels, h * src->rowPitch);
    return 1;
}

// Palette indices looked up in the source palette's cache, written as Bpp-byte pixels.
template <int Bpp>
static void paletteLookup(const CopyArgs& a, const uint32_t* cache) {
    const uint8_t* s = a.s;
    uint8_t* d = a.d;
    if (Bpp == 2 && a.sStep == 1 && a.dStep == 2) {
        // Rows stored forwards on both sides: four pixels per 64-bit store.
        for (int32_t y = 0; y < a.h; y++, s += a.sPitch, d += a.dPitch) {
            int32_t x = 0;
            for (; x + 4 <= a.w; x += 4) {
                const uint64_t v = uint64_t(cache[s[x]] & 0xFFFF) | uint64_t(cache[s[x + 1]] & 0xFFFF) << 16 |
                                   uint64_t(cache[s[x + 2]] & 0xFFFF) << 32 |
                                   uint64_t(cache[s[x + 3]] & 0xFFFF) << 48;
                memcpy(d + 2 * x, &v, 8);
            }
            for (; x < a.w; x++) gfxStore16(d + 2 * x, cache[s[x]]);
        }
        return;
    }
    for (int32_t y = 0; y < a.h; y++, s += a.sPitch, d += a.dPitch) {
        const uint8_t* sp = s;
        uint8_t* dp = d;
        int32_t x = 0;
        for (; x + 8 <= a.w; x += 8) {
            for (int k = 0; k < 8; k++, sp += a.sStep, dp += a.dStep) {
                gfxStorePixel<Bpp>(dp, cache[*sp]);
            }
        }
        for (; x < a.w; x++, sp += a.sStep, dp += a.dStep) {
            gfxStorePixel<Bpp>(dp, cache[*sp]);
        }
    }
}

int32_t gfxBlitFastPalette(const Surface* src, Surface* dst, int32_t dstX, int32_t dstY, int32_t srcX,
                           int32_t srcY, int32_t w, int32_t h) {
    if (dst->format == pfPalette) return copySameFormat<1>(src, dst, dstX, dstY, srcX, srcY, w, h);
    const Palette* p = src->palette;
    if (!p || p->cacheFormat != dst->format || dst->info->bytesPerPixel == 0) return 0;
    CopyArgs a = copyArgs(src, dst, dstX, dstY, srcX, srcY, w, h);
    switch (dst->info->bytesPerPixel) {
        case 1:
            paletteLookup<1>(a, p->cache);
            break;
        case 2:
            paletteLookup<2>(a, p->cache);
            break;
        case 3:
            paletteLookup<3>(a, p->cache);
            break;
        default:
            paletteLookup<4>(a, p->cache);
            break;
    }
    return 1;
}

// =====================================================================================================
// [SECTION] Converting copy
// =====================================================================================================

void gfxCopyPixels(const Surface* src, Surface* dst, int32_t dx, int32_t dy, int32_t sx, int32_t sy,
                   int32_t w, int32_t h) {
    const PixelFormatOps* ops = sfGetFormatOps(src->format);
    if (ops->blitFast && ops->blitFast(src, dst, dx, dy, sx, sy, w, h)) return;
    if (src->info->bytesPerPixel == 0 || dst->info->bytesPerPixel == 0) {
        const Rect* clip = gfxSetClip(nullptr);  // the copy ignores the clip rectangle; sfPutPixel would not
        subByteLoop(src, dst, dx, dy, sx, sy, w, h, false, nullptr);
        gfxSetClip(clip);
        return;
    }
    BlitJob j = makeJob(src, dst, dx, dy, sx, sy, w, h);
    if (BlitLoopFn loop = gfxFindLoop(src->format, dst->format, 0, false)) {
        loop(j);
        return;
    }
    tableLoop(src, dst, j, false, nullptr);
}

int32_t sfCopyRect(const Surface* src, Surface* dst, int32_t x, int32_t y, const Rect* srcRect) {
    if (!usable(src) || !usable(dst) || src->rle || dst->rle || g_gfx.opacity == 0) return 0;
    if (src == dst && x == (srcRect ? srcRect->x : 0) && y == (srcRect ? srcRect->y : 0)) return 1;
    int32_t sx, sy, w, h;
    if (!gfxClipBlit(src, dst, &x, &y, srcRect, false, &sx, &sy, &w, &h)) return 0;
    gfxCopyPixels(src, dst, x, y, sx, sy, w, h);
    return 1;
}

// =====================================================================================================
// [SECTION] Rotated and scaled blit
// =====================================================================================================

// The smallest n in [0, N] with a + n x b >= t, for b > 0 (N when none below N is). Estimated in floating
// point and then settled exactly: a 64-bit division costs more than a whole row of a small sprite, and a
// blit finds two of these bounds per row.
// inv is 1 / b, found once per blit.
static inline int64_t firstAtLeast(int64_t a, int64_t b, double inv, int64_t t, int64_t N) {
    // Truncated rather than rounded up: the steps below settle the last one either way, and the baseline
    // processor has no instruction for ceil (it would be a library call).
    const double est = double(t - a) * inv;
    int64_t n = est < 0 ? 0 : est > double(N) ? N : int64_t(est);
    while (n > 0 && a + (n - 1) * b >= t) n--;
    while (n < N && a + n * b < t) n++;
    return n;
}

// Narrows [*n0, *n1) (with *n0 >= 0) to the steps n at which a + n x b lies in [0, limit).
static inline void stepRange(int64_t a, int64_t b, double inv, int64_t limit, int64_t* n0, int64_t* n1) {
    const int64_t N = *n1;
    int64_t lo, hi;  // first step inside, first step past
    if (b == 0) {
        lo = 0;
        hi = (a >= 0 && a < limit) ? N : 0;
    } else if (b > 0) {
        lo = firstAtLeast(a, b, inv, 0, N);
        hi = firstAtLeast(a, b, inv, limit, N);
    } else {
        lo = firstAtLeast(-a, -b, -inv, 1 - limit, N);  // a + n b < limit
        hi = firstAtLeast(-a, -b, -inv, 1, N);          // a + n b < 0
    }
    if (lo > *n0) *n0 = lo;
    if (hi < *n1) *n1 = hi;
    if (*n1 < *n0) *n1 = *n0;
}

struct RotRows {
    const Surface* src;
    Surface* dst;
    Rect origin;
    int64_t x, y, left, top, right, bottom, W, H, u0, v0, isx, isy, sn, cs;
    BlendFn blend;
    bool inside;  // the frame lies within the source surface
};

// The rows of a rotated blit. Byte formats read and write through raw pointers; packed bits (Bpp 0) go
// through sfGetPixel / sfPutPixel. A frame that reaches past its surface (frames come from files) reads 0
// at the points outside, as sfGetPixel does, through a per-point test; a frame inside reads without one.
template <int Bpp, int Path>
static GFX_INLINE void rotateRows(const RotRows& q) {
    const Surface* src = q.src;
    Surface* dst = q.dst;
    const int64_t du = (q.isx * q.cs) >> 8, dv = (q.isy * q.sn) >> 8;
    const double invU = du ? 1.0 / double(du) : 0.0, invV = dv ? -1.0 / double(dv) : 0.0;
    const uint32_t key = src->colourKey;
    const int32_t opacity = g_gfx.opacity;
    const uint32_t colour = g_gfx.colour;
    // Only formed for a frame inside: an address outside the buffer is not even to be computed.
    const uint8_t* base = Bpp && q.inside ? sfPixelAddress(src, q.origin.x, q.origin.y) : nullptr;
    const uint8_t* corner = Bpp ? sfPixelAddress(src, 0, 0) : nullptr;
    const int64_t sStep = src->xStep, sPitch = src->rowPitch, dStep = dst->xStep;
    const int64_t sw = src->width, sh = src->height, ox = q.origin.x, oy = q.origin.y;
    for (int64_t py = q.top; py < q.bottom; py++) {
        const int64_t dx = q.left - q.x, dy = py - q.y;
        int64_t u = q.u0 + ((q.isx * q.cs * dx) >> 8) + ((q.isx * q.sn * dy) >> 8);
        int64_t v = q.v0 - ((q.isy * q.sn * dx) >> 8) + ((q.isy * q.cs * dy) >> 8);
        if constexpr (Bpp > 0) {
            // The pixels whose source point lies inside W x H form one run of the row: find it once, so the
            // loop over it needs no bounds tests.
            int64_t n0 = 0, n1 = q.right - q.left;
            stepRange(u + 128, du, invU, q.W * 256, &n0, &n1);
            stepRange(v + 128, -dv, invV, q.H * 256, &n0, &n1);
            // A byte format's address, as sfPixelAddress forms it.
            uint8_t* p = dst->pixels + py * dst->rowPitch + q.left * dStep + n0 * dStep;
            u += n0 * du;
            v -= n0 * dv;
            if (q.inside && !q.blend) {
                // Inside the run both points lie in [0, 256 x size), so 32 bits hold them.
                int32_t uu = int32_t(u + 128), vv = int32_t(v + 128);
                const int32_t du32 = int32_t(du), dv32 = int32_t(dv);
                const int32_t sp32 = int32_t(sPitch), ss32 = int32_t(sStep);
                int64_t n = n0;
                if constexpr (Path == GFX_PATH_AVX2) {
                    // The source offsets a chunk at a time, in vector lanes, then the loads and stores.
                    int32_t off[32];
                    while (n < n1) {
                        const int32_t m = n1 - n < 32 ? int32_t(n1 - n) : 32;
                        for (int32_t i = 0; i < m; i++)
                            off[i] = ((vv - i * dv32) >> 8) * sp32 + ((uu + i * du32) >> 8) * ss32;
                        for (int32_t i = 0; i < m; i++, p += dStep) {
                            const uint32_t val = gfxLoadPixel<Bpp>(base + off[i]);
                            if (val != key) gfxStorePixel<Bpp>(p, val);
                        }
                        uu += m * du32;
                        vv -= m * dv32;
                        n += m;
                    }
                }
                for (; n < n1; n++, uu += du32, vv -= dv32, p += dStep) {
                    const uint32_t val =
                        gfxLoadPixel<Bpp>(base + ptrdiff_t(vv >> 8) * sPitch + ptrdiff_t(uu >> 8) * sStep);
                    if (val != key) gfxStorePixel<Bpp>(p, val);
                }
                continue;
            }
            for (int64_t n = n0; n < n1; n++, u += du, v -= dv, p += dStep) {
                uint32_t val;
                if (q.inside) {
                    val = gfxLoadPixel<Bpp>(base + ((v + 128) >> 8) * sPitch + ((u + 128) >> 8) * sStep);
                } else {
                    const int64_t tx = ox + ((u + 128) >> 8), ty = oy + ((v + 128) >> 8);
                    val = tx >= 0 && ty >= 0 && tx < sw && ty < sh
                              ? gfxLoadPixel<Bpp>(corner + ty * sPitch + tx * sStep)
                              : 0;
                }
                if (val != key) {
                    if (q.blend) val = q.blend(gfxLoadPixel<Bpp>(p), val, opacity, colour);
                    gfxStorePixel<Bpp>(p, val);
                }
            }
        } else {
            for (int64_t px = q.left; px < q.right; px++, u += du, v -= dv) {
                if (u + 128 < 0 || v + 128 < 0) continue;
                const int64_t tx = (u + 128) >> 8, ty = (v + 128) >> 8;
                if (tx >= q.W || ty >= q.H) continue;
                uint32_t val = sfGetPixel(src, q.origin.x + int32_t(tx), q.origin.y + int32_t(ty));
                if (val == key) continue;
                if (q.blend) val = q.blend(sfGetPixel(dst, int32_t(px), int32_t(py)), val, opacity, colour);
                sfPutPixel(dst, int32_t(px), int32_t(py), val);
            }
        }
    }
}

template <int Bpp>
static void rotateRowsSse2(const RotRows& q) {
    rotateRows<Bpp, GFX_PATH_SSE2>(q);
}
#if GFX_HAVE_AVX2
template <int Bpp>
GFX_AVX2 static void rotateRowsAvx2(const RotRows& q) {
    rotateRows<Bpp, GFX_PATH_AVX2>(q);
}
#else
#define rotateRowsAvx2 rotateRowsSse2
#endif
typedef void (*RotateRowsFn)(const RotRows& q);
// By processor path, then bytes per pixel (0 for packed bits).
static const RotateRowsFn kRotateRows[GFX_PATH_COUNT][5] = {
    {rotateRowsSse2<0>, rotateRowsSse2<1>, rotateRowsSse2<2>, rotateRowsSse2<3>, rotateRowsSse2<4>},
    {rotateRowsAvx2<0>, rotateRowsAvx2<1>, rotateRowsAvx2<2>, rotateRowsAvx2<3>, rotateRowsAvx2<4>}};

int32_t sfBlitRotated(const Surface* src, Surface* dst, const RotateParams* params, int32_t frame) {
    if (!usable(src) || !usable(dst) || !params || src->rle || dst->rle || src->format != dst->format ||
        g_gfx.opacity == 0)
        return 0;
    // Below 3 the inverse scale no longer fits its 16 bits.
    if (params->scaleX < 3 || params->scaleY < 3) return 0;
    Rect r = {0, 0, src->width, src->height};
    if (frame >= 0 && frame < src->frames.count) r = static_cast<const Rect*>(src->frames.data)[frame];
    const int64_t W = r.width, H = r.height, ax = src->anchorX, ay = src->anchorY;
    if (W <= 0 || H <= 0) return 0;
    int16_t sn16, cs16;
    mathSinCos(params->angle, &sn16, &cs16);
    const int64_t sn = sn16, cs = cs16, sx = params->scaleX, sy = params->scaleY;
    const int64_t acs = cs < 0 ? -cs : cs, asn = sn < 0 ? -sn : sn;
    const int64_t bw = (((sx * acs * W + sy * asn * H) >> 8) + 255) >> 8;
    const int64_t bh = (((sy * acs * H + sx * asn * W) >> 8) + 255) >> 8;
    // The "/ 256" steps truncate towards zero (C division); the final shifts floor.
    const int64_t cx = (sx * cs * W / 256 * (128 - ax) - sn * sy * H / 256 * (128 - ay)) / 256;
    const int64_t cy = (sn * sx * W / 256 * (128 - ax) + sy * cs * H / 256 * (128 - ay)) / 256;
    int64_t left = params->x + ((cx - bw * 128 + 255) >> 8);
    int64_t top = params->y + ((cy - bh * 128 + 255) >> 8);
    int64_t right = left + bw, bottom = top + bh;
    if (const Rect* c = g_gfx.clip) {
        const int64_t cr = int64_t(c->x) + c->width, cb = int64_t(c->y) + c->height;
        if (left > cr || top > cb || right < c->x || bottom < c->y) return 0;
        left = left > c->x ? left : c->x;
        top = top > c->y ? top : c->y;
        right = right < cr ? right : cr;
        bottom = bottom < cb ? bottom : cb;
    }
    if (left > dst->width || top > dst->height || right < 0 || bottom < 0) return 0;
    left = left < 0 ? 0 : left;
    top = top < 0 ? 0 : top;
    right = right > dst->width ? dst->width : right;
    bottom = bottom > dst->height ? dst->height : bottom;

    const int64_t isx = int16_t(int32_t(256.0 / (double(sx) / 256.0) + 0.5));
    const int64_t isy = int16_t(int32_t(256.0 / (double(sy) / 256.0) + 0.5));
    RotRows rows;
    rows.src = src;
    rows.dst = dst;
    rows.origin = r;
    rows.x = params->x;
    rows.y = params->y;
    rows.left = left;
    rows.top = top;
    rows.right = right;
    rows.bottom = bottom;
    rows.W = W;
    rows.H = H;
    rows.u0 = W * ax;
    rows.v0 = H * ay;
    rows.isx = isx;
    rows.isy = isy;
    rows.sn = sn;
    rows.cs = cs;
    const int32_t mode = g_gfx.drawMode;
    rows.blend = mode ? gfxGetBlend(dst->format, mode) : nullptr;
    rows.inside = r.x >= 0 && r.y >= 0 && int64_t(r.x) + W <= src->width && int64_t(r.y) + H <= src->height;
    const int32_t bpp = dst->info->bytesPerPixel;
    kRotateRows[g_gfx.path][bpp >= 1 && bpp <= 4 ? bpp : 0](rows);
    return 1;
}
