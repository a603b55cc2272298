// Shared inside the graphics module: the drawing state, compile-time format traits and the blend templates
// that both the per-format tables and the specialised blit loops are made from, so the two cannot disagree.
#pragma once
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "brask/gfx.h"

#define GFX_SOURCE_PATH "BraskLib/src/BraskGfx"

// [SECTION] Processor paths
//
// The hot pixel loops are built once per instruction set, and g_gfx.path picks which row of each loop
// table runs. The baseline (SSE2, which every x86-64 has) is always there; the AVX2 loops are compiled for
// that target alone (GFX_AVX2), so the program still starts on any x86-64. Every path writes the same bytes:
// the tests draw random scenes on each and compare them with the per-pixel path.
enum GfxPath { GFX_PATH_SSE2 = 0, GFX_PATH_AVX2 = 1, GFX_PATH_COUNT = 2 };
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define GFX_HAVE_AVX2 1
#define GFX_AVX2 __attribute__((target("avx2")))
#else
#define GFX_HAVE_AVX2 0
#define GFX_AVX2
#endif
// Loop bodies shared by the paths: forced inline, so each path's wrapper compiles them for its own target.
#define GFX_INLINE inline __attribute__((always_inline))

// [SECTION] Drawing state
struct GfxState {
    Pool surfacePool;  // Surface records, 16 per chunk
    Surface* target;
    int32_t drawMode;
    int32_t opacity;
    uint32_t colour;
    const Rect* clip;   // borrowed from the caller
    uint8_t fastPaths;  // 0 forces the per-pixel table path (tests compare the two)
    uint8_t path;       // GfxPath of the loops in use
    uint8_t detected;   // GfxPath the processor allows, found once at start
};
extern GfxState g_gfx;

// Tests switch the specialised loops off to compare them with the per-pixel path; returns the previous value.
int32_t gfxSetFastPaths(int32_t enabled);

inline bool gfxValidFormat(int32_t f) {
    return f >= 1 && f < PF_COUNT;
}

// [SECTION] Raw loads and stores: memcpy so odd addresses and negative steps stay defined behaviour
inline uint32_t gfxLoad8(const uint8_t* p) {
    return *p;
}
inline uint32_t gfxLoad16(const uint8_t* p) {
    uint16_t v;
    memcpy(&v, p, 2);
    return v;
}
inline uint32_t gfxLoad24(const uint8_t* p) {
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16);
}
inline uint32_t gfxLoad32(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}
inline void gfxStore8(uint8_t* p, uint32_t v) {
    *p = uint8_t(v);
}
inline void gfxStore16(uint8_t* p, uint32_t v) {
    uint16_t w = uint16_t(v);
    memcpy(p, &w, 2);
}
inline void gfxStore24(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
}
inline void gfxStore32(uint8_t* p, uint32_t v) {
    memcpy(p, &v, 4);
}
// The pixel value at an address of a byte format, by its bytes per pixel.
template <int Bpp>
inline uint32_t gfxLoadPixel(const uint8_t* p) {
    if constexpr (Bpp == 1)
        return gfxLoad8(p);
    else if constexpr (Bpp == 2)
        return gfxLoad16(p);
    else if constexpr (Bpp == 3)
        return gfxLoad24(p);
    else
        return gfxLoad32(p);
}
template <int Bpp>
inline void gfxStorePixel(uint8_t* p, uint32_t v) {
    if constexpr (Bpp == 1)
        gfxStore8(p, v);
    else if constexpr (Bpp == 2)
        gfxStore16(p, v);
    else if constexpr (Bpp == 3)
        gfxStore24(p, v);
    else
        gfxStore32(p, v);
}

// [SECTION] Format traits for the direct-colour formats
template <int F, int Bpp, int SR, int SG, int SB, int MR, int MG, int MB, uint32_t AlphaMask>
struct RgbFmt {
    static constexpr int format = F, bpp = Bpp;
    static constexpr int sR = SR, sG = SG, sB = SB;
    static constexpr uint32_t mR = MR, mG = MG, mB = MB;
    static constexpr uint32_t alphaMask = AlphaMask;
    // Channel arithmetic: 16-bit formats never exceed 63 x 512, 8-bit channels need 32 bits.
    using Chan = std::conditional_t<(Bpp > 2), uint32_t, uint16_t>;
    static uint32_t read(const uint8_t* p) {
        if constexpr (Bpp == 2)
            return gfxLoad16(p);
        else if constexpr (Bpp == 3)
            return gfxLoad24(p);
        else
            return gfxLoad32(p);
    }
    static void write(uint8_t* p, uint32_t v) {
        if constexpr (Bpp == 2)
            gfxStore16(p, v);
        else if constexpr (Bpp == 3)
            gfxStore24(p, v);
        else
            gfxStore32(p, v);
    }
    static uint32_t fromRGB(uint32_t c) {
        return ((((c >> 16) & 255) * mR / 255) << sR) | ((((c >> 8) & 255) * mG / 255) << sG) |
               (((c & 255) * mB / 255) << sB);
    }
    static uint32_t toRGB(uint32_t v) {
        return ((((v >> sR) & mR) * 255 / mR) << 16) | ((((v >> sG) & mG) * 255 / mG) << 8) |
               (((v >> sB) & mB) * 255 / mB);
    }
};
using Fmt444 = RgbFmt<pf444, 2, 8, 4, 0, 15, 15, 15, 0>;
using Fmt555 = RgbFmt<pf555, 2, 10, 5, 0, 31, 31, 31, 0>;
using Fmt565 = RgbFmt<pf565, 2, 11, 5, 0, 31, 63, 31, 0>;
using Fmt888 = RgbFmt<pf888, 3, 16, 8, 0, 255, 255, 255, 0>;
using Fmt8888 = RgbFmt<pf8888, 4, 16, 8, 0, 255, 255, 255, 0xFF000000u>;

// channel x To / From, truncating. Every product fits 16 bits (at most 255 x 255), which lets the
// vectoriser keep 16-bit lanes, where a division by a constant is a multiply-high.
template <uint32_t From, uint32_t To>
constexpr uint32_t gfxScaleChannel(uint32_t c) {
    if constexpr (From == To) {
        return c;
    } else {
        return uint16_t(uint16_t(c * To) / uint16_t(From));
    }
}

// An 8-bit channel x 31 / 255 and x 63 / 255 (truncating) as one 16-bit multiply-high, (c x M) >> 16: the
// smallest multipliers that equal the division for all 256 inputs (the tests check every one). SIMD loops
// use them where a division has no instruction.
constexpr uint32_t kGfxMulHi8To5 = 7968, kGfxMulHi8To6 = 16192;

// One step from format S to format D: each channel x D's max / S's max, alpha dropped.
template <class S, class D>
inline uint32_t gfxConvRGB(uint32_t v) {
    if constexpr (std::is_same_v<S, D>) {
        return v;
    } else {
        return (gfxScaleChannel<S::mR, D::mR>((v >> S::sR) & S::mR) << D::sR) |
               (gfxScaleChannel<S::mG, D::mG>((v >> S::sG) & S::mG) << D::sG) |
               (gfxScaleChannel<S::mB, D::mB>((v >> S::sB) & S::mB) << D::sB);
    }
}

// [SECTION] Blends: blend(dst, src) with src already in the destination's format
//
// Written per channel value rather than on the fields in place: ((c << k) x a ...) >> 8 AND (max << k)
// equals ((c x a ...) >> 8) << k for any shift k, and a saturating test against the field mask equals a
// minimum on the channel. The channel form keeps 16-bit formats in 16-bit lanes (every sum is at most
// 63 x 512), so the specialised loops vectorise.
template <class T, int Shift, uint32_t Max>
inline uint32_t gfxChanMix(uint32_t d, uint32_t s, uint32_t a) {
    using C = typename T::Chan;
    const C cs = C((s >> Shift) & Max), cd = C((d >> Shift) & Max);
    return uint32_t(C(C(cs * C(a) + cd * C(256 - a)) >> 8)) << Shift;
}
template <class T, int Shift, uint32_t Max>
inline uint32_t gfxChanAdd(uint32_t d, uint32_t s, uint32_t a) {
    using C = typename T::Chan;
    const C cs = C((s >> Shift) & Max), cd = C((d >> Shift) & Max);
    const C v = C(C(cs * C(a) + C(cd << 8)) >> 8);
    return uint32_t(v > Max ? C(Max) : v) << Shift;
}

template <class T, int Mode>
inline uint32_t gfxBlendRGB(uint32_t d, uint32_t s, int32_t opacity, uint32_t colour) {
    const uint32_t a = uint32_t(opacity);
    if constexpr (Mode == 1) {
        return gfxChanMix<T, T::sR, T::mR>(d, s, a) | gfxChanMix<T, T::sG, T::mG>(d, s, a) |
               gfxChanMix<T, T::sB, T::mB>(d, s, a) | (d & T::alphaMask);
    } else if constexpr (Mode == 2) {
        return gfxChanAdd<T, T::sR, T::mR>(d, s, a) | gfxChanAdd<T, T::sG, T::mG>(d, s, a) |
               gfxChanAdd<T, T::sB, T::mB>(d, s, a) | (d & T::alphaMask);
    } else if constexpr (Mode == 3) {
        // Coverage from the lowest field, so a grey or blue glyph image tints smoothly; opacity plays no
        // part.
        // At most 255 x 256: a 16-bit division, which vectorises as a multiply-high.
        const uint32_t k = uint16_t(uint16_t(((s >> T::sB) & T::mB) << 8) / uint16_t(T::mB));
        return gfxChanMix<T, T::sR, T::mR>(d, colour, k) | gfxChanMix<T, T::sG, T::mG>(d, colour, k) |
               gfxChanMix<T, T::sB, T::mB>(d, colour, k) | (d & T::alphaMask);
    } else if constexpr (Mode == 4) {
        (void)d, (void)s, (void)a;
        return colour;
    } else {
        (void)d, (void)a, (void)colour;
        return s;
    }
}

// [SECTION] Blit jobs: a clipped rectangle as raw pointers and steps
struct BlitJob {
    const uint8_t* src;
    int32_t srcStep, srcPitch;
    uint8_t* dst;
    int32_t dstStep, dstPitch;
    int32_t width, height;
    uint32_t key;
    int32_t opacity;
    uint32_t colour;
};
typedef void (*BlitLoopFn)(const BlitJob& j);

// The specialised loop for a pair of direct-colour formats, a draw mode and keying; null when there is none.
BlitLoopFn gfxFindLoop(int32_t srcFormat, int32_t dstFormat, int32_t mode, bool keyed);

// Clips a blit as the general blit does (source rectangle, optionally the clip rectangle, destination).
// Out: the source start and the size, with *x, *y moved; false when nothing is left.
bool gfxClipBlit(const Surface* src, const Surface* dst, int32_t* x, int32_t* y, const Rect* srcRect,
                 bool useClip, int32_t* sx, int32_t* sy, int32_t* w, int32_t* h);

// [SECTION] Drawing index of encoded surfaces
// Builds (again) the index of an encoded surface from its rows; on failure the surface simply has none.
void gfxBuildRleIndex(Surface* s);
void gfxFreeRleIndex(Surface* s);

// [SECTION] Same-format copiers behind the blitFast slot
int32_t gfxBlitFast565(const Surface* src, Surface* dst, int32_t dstX, int32_t dstY, int32_t srcX,
                       int32_t srcY, int32_t width, int32_t height);
int32_t gfxBlitFast888(const Surface* src, Surface* dst, int32_t dstX, int32_t dstY, int32_t srcX,
                       int32_t srcY, int32_t width, int32_t height);
int32_t gfxBlitFast8888(const Surface* src, Surface* dst, int32_t dstX, int32_t dstY, int32_t srcX,
                        int32_t srcY, int32_t width, int32_t height);
int32_t gfxBlitFastMono(const Surface* src, Surface* dst, int32_t dstX, int32_t dstY, int32_t srcX,
                        int32_t srcY, int32_t width, int32_t height);
int32_t gfxBlitFastPalette(const Surface* src, Surface* dst, int32_t dstX, int32_t dstY, int32_t srcX,
                           int32_t srcY, int32_t width, int32_t height);
