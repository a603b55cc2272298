// Graphics state, the pixel-format tables, blends, palettes and colour conversion.
//
// [SECTION] Graphics state
// [SECTION] Format table and per-format operations
// [SECTION] Blend table
// [SECTION] Palettes
// [SECTION] Colour conversion
// [SECTION] Colour helpers
#include <cstring>

#include "BraskGfx_internal.h"
#include "brask/log.h"
#include "brask/memory.h"
#include "platform/platform.h"

// =====================================================================================================
// [SECTION] Graphics state
// =====================================================================================================

GfxState g_gfx = {{}, nullptr, 0, 256, 0, nullptr, 1, GFX_PATH_SSE2, GFX_PATH_SSE2};

// Once, before main: every blit reads the path, and none may see it change unasked.
static const bool s_pathFound = [] {
    g_gfx.detected =
        GFX_HAVE_AVX2 && platProcessorFeaturePresent(PLAT_PF_AVX2) ? GFX_PATH_AVX2 : GFX_PATH_SSE2;
    g_gfx.path = g_gfx.detected;
    return true;
}();

int32_t gfxForceBaseline(int32_t on) {
    (void)s_pathFound;
    const int32_t old = g_gfx.path != g_gfx.detected;
    g_gfx.path = on ? uint8_t(GFX_PATH_SSE2) : g_gfx.detected;
    return old;
}

const char* gfxPathName() {
    static const char* const kNames[GFX_PATH_COUNT] = {"sse2", "avx2"};
    return kNames[g_gfx.path];
}

int32_t gfxSetFastPaths(int32_t enabled) {
    int32_t old = g_gfx.fastPaths;
    g_gfx.fastPaths = enabled ? 1 : 0;
    return old;
}

Surface* gfxGetTarget() {
    return g_gfx.target;
}
Surface* gfxSetTarget(Surface* s) {
    Surface* old = g_gfx.target;
    g_gfx.target = s;
    return old;
}

int32_t gfxInitSurfacePool() {
    // An empty pool reports 0 bytes in use: that is how we know it has not been set up yet.
    if (poolBytesUsed(&g_gfx.surfacePool) == 0 && g_gfx.surfacePool.recordSize == 0) {
        if (!poolInit(&g_gfx.surfacePool, int32_t(sizeof(Surface)), 16)) return 0;
    }
    return 1;
}

void gfxShutdownSurfacePool() {
    poolDestroy(&g_gfx.surfacePool);
}

int32_t gfxSetDrawMode(int32_t mode) {
    int32_t old = g_gfx.drawMode;
    // An unknown mode would index past the blend table.
    if (mode >= 0 && mode <= 4) g_gfx.drawMode = mode;
    return old;
}
int32_t gfxGetDrawMode() {
    return g_gfx.drawMode;
}

int32_t gfxSetOpacity(int32_t opacity) {
    int32_t old = g_gfx.opacity;
    g_gfx.opacity = opacity < 0 ? 0 : opacity > 256 ? 256 : opacity;
    return old;
}
int32_t gfxGetOpacity() {
    return g_gfx.opacity;
}

uint32_t gfxSetColour(uint32_t colour) {
    uint32_t old = g_gfx.colour;
    g_gfx.colour = colour;
    return old;
}
uint32_t gfxGetColour() {
    return g_gfx.colour;
}

const Rect* gfxSetClip(const Rect* clip) {
    const Rect* old = g_gfx.clip;
    g_gfx.clip = clip;
    return old;
}
const Rect* gfxGetClip() {
    return g_gfx.clip;
}

// =====================================================================================================
// [SECTION] Format table and per-format operations
// =====================================================================================================

static const PixelFormatInfo kFormats[PF_COUNT] = {
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Undefined"},
    {0, 1, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, "Palette"},
    {3, 2, 0, 12, 4, 4, 4, 0, 8, 4, 0, 0, 15, 15, 15, 0, 0, "444"},
    {3, 2, 0, 15, 5, 5, 5, 0, 10, 5, 0, 0, 31, 31, 31, 0, 0, "555"},
    {3, 2, 0, 16, 5, 6, 5, 0, 11, 5, 0, 0, 31, 63, 31, 0, 0, "565"},
    {3, 3, 0, 24, 8, 8, 8, 0, 16, 8, 0, 0, 255, 255, 255, 0, 0, "888"},
    {4, 4, 0, 32, 8, 8, 8, 8, 16, 8, 0, 24, 255, 255, 255, 255, 0, "8888"},
    {1, 0, 8, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, "MONO1"},
    {1, 0, 4, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, "MONO2"},
    {1, 0, 2, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 15, "MONO4"},
    {1, 1, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, "MONO8"},
};
static_assert(sizeof(kFormats) / sizeof(kFormats[0]) == PF_COUNT, "one format row per format number");

const PixelFormatInfo* sfGetFormat(int32_t format) {
    return gfxValidFormat(format) ? &kFormats[format] : nullptr;
}

static uint32_t grey(uint32_t c) {
    return (((c >> 16) & 255) + ((c >> 8) & 255) + (c & 255)) / 3;
}
static uint32_t fromRGB888(uint32_t c) {
    return c & 0xFFFFFF;
}
static uint32_t identity(uint32_t v) {
    return v;
}
static uint32_t fromRGBMono1(uint32_t c) {
    return (grey(c) >> 7) & 1;
}
static uint32_t fromRGBMono2(uint32_t c) {
    return (grey(c) >> 6) & 3;
}
static uint32_t fromRGBMono4(uint32_t c) {
    return (grey(c) >> 4) & 15;
}
static uint32_t fromRGBMono8(uint32_t c) {
    return grey(c);
}
static uint32_t toRGBMono1(uint32_t v) {
    return (v & 1) * 0xFFFFFF;
}
static uint32_t toRGBMono2(uint32_t v) {
    return ((v & 3) * 255 / 3) * 0x010101;
}
static uint32_t toRGBMono4(uint32_t v) {
    return ((v & 15) * 255 / 15) * 0x010101;
}
static uint32_t toRGBMono8(uint32_t v) {
    return (v & 255) * 0x010101;
}
static void store24(uint8_t* p, uint32_t v) {
    gfxStore24(p, v);
}

#define GFX_RGB16_OPS(T, FAST) \
    { T::fromRGB, T::toRGB, gfxLoad16, gfxLoad16, gfxStore16, gfxStore16, FAST }

static const PixelFormatOps kOps[PF_COUNT] = {
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
    {nullptr, nullptr, gfxLoad8, gfxLoad8, gfxStore8, gfxStore8, gfxBlitFastPalette},
    GFX_RGB16_OPS(Fmt444, nullptr),
    GFX_RGB16_OPS(Fmt555, nullptr),
    GFX_RGB16_OPS(Fmt565, gfxBlitFast565),
    // Three bytes, never a 32-bit word: a word read of the last pixel would run past the buffer.
    {fromRGB888, identity, gfxLoad24, gfxLoad24, store24, store24, gfxBlitFast888},
    {identity, identity, gfxLoad32, gfxLoad32, gfxStore32, gfxStore32, gfxBlitFast8888},
    {fromRGBMono1, toRGBMono1, nullptr, nullptr, nullptr, nullptr, gfxBlitFastMono},
    {fromRGBMono2, toRGBMono2, nullptr, nullptr, nullptr, nullptr, gfxBlitFastMono},
    {fromRGBMono4, toRGBMono4, nullptr, nullptr, nullptr, nullptr, gfxBlitFastMono},
    {fromRGBMono8, toRGBMono8, gfxLoad8, gfxLoad8, gfxStore8, gfxStore8, gfxBlitFastMono},
};
static_assert(sizeof(kOps) / sizeof(kOps[0]) == PF_COUNT, "one operation row per format number");

const PixelFormatOps* sfGetFormatOps(int32_t format) {
    return gfxValidFormat(format) ? &kOps[format] : nullptr;
}

// =====================================================================================================
// [SECTION] Blend table
// =====================================================================================================

template <uint32_t Max, int Mode>
static uint32_t blendMono(uint32_t d, uint32_t s, int32_t opacity, uint32_t colour) {
    const uint32_t a = uint32_t(opacity);
    if constexpr (Mode == 1) {
        (void)colour;
        return (d * (256 - a) + s * a) >> 8;
    } else if constexpr (Mode == 2) {
        (void)colour;
        uint32_t v = d + ((s * a) >> 8);
        return v > Max ? Max : v;
    } else if constexpr (Mode == 3) {
        (void)a;
        if constexpr (Max == 1) {
            return (s & 1) ? colour : d;
        } else {
            const uint32_t k = (s & Max) * 256 / Max;
            return (d * (256 - k) + colour * k) >> 8;
        }
    } else {
        (void)d, (void)s, (void)a;
        return colour;
    }
}

static uint32_t blendSolid(uint32_t, uint32_t, int32_t, uint32_t colour) {
    return colour;
}

#define GFX_RGB_BLENDS(T) \
    { nullptr, gfxBlendRGB<T, 1>, gfxBlendRGB<T, 2>, gfxBlendRGB<T, 3>, gfxBlendRGB<T, 4> }
#define GFX_MONO_BLENDS(M) \
    { nullptr, blendMono<M, 1>, blendMono<M, 2>, blendMono<M, 3>, blendMono<M, 4> }

// Null entries write the source value unblended.
static const BlendFn kBlends[PF_COUNT][5] = {
    {nullptr, nullptr, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, blendSolid},
    GFX_RGB_BLENDS(Fmt444),
    GFX_RGB_BLENDS(Fmt555),
    GFX_RGB_BLENDS(Fmt565),
    GFX_RGB_BLENDS(Fmt888),
    GFX_RGB_BLENDS(Fmt8888),
    GFX_MONO_BLENDS(1),
    GFX_MONO_BLENDS(3),
    GFX_MONO_BLENDS(15),
    GFX_MONO_BLENDS(255),
};
static_assert(sizeof(kBlends) / sizeof(kBlends[0]) == PF_COUNT, "one blend row per format number");

BlendFn gfxGetBlend(int32_t format, int32_t mode) {
    if (!gfxValidFormat(format) || mode < 0 || mode > 4) return nullptr;
    return kBlends[format][mode];
}

// =====================================================================================================
// [SECTION] Palettes
// =====================================================================================================

static Palette* ownBlock(Surface* s) {
    if (s->palette && s->ownsPalette) return s->palette;
    Palette* p = static_cast<Palette*>(memAlloc(int32_t(sizeof(Palette))));
    if (!p) {
        logSourceLine(GFX_SOURCE_PATH, __LINE__, nullptr, 0);
        s->palette = nullptr;
        s->ownsPalette = 0;
        return nullptr;
    }
    s->palette = p;
    s->ownsPalette = 1;
    return p;
}

static void dropBlock(Surface* s) {
    if (s->palette && s->ownsPalette) memFree(s->palette);
    s->palette = nullptr;
    s->ownsPalette = 0;
}

void sfSetPalette(Surface* s, const Palette* block, int32_t copy) {
    if (!s) return;
    if (!block) {
        dropBlock(s);
        return;
    }
    if (copy) {
        if (block == s->palette && s->ownsPalette) return;  // already its own copy of these bytes
        Palette* p = ownBlock(s);
        if (p) memCopy(p, block, int32_t(sizeof(Palette)));
        return;
    }
    // Referencing the block it already holds would free it and then point at freed memory.
    if (block == s->palette) return;
    dropBlock(s);
    s->palette = const_cast<Palette*>(block);
    s->ownsPalette = 0;
}

static int32_t clampCount(int32_t count) {
    return count < 0 ? 0 : count > 256 ? 256 : count;
}

void sfSetPaletteRGB32(Surface* s, int32_t count, const uint32_t* colours) {
    if (!s) return;
    Palette* p = ownBlock(s);
    if (!p) return;
    memFill(p, 0, int32_t(sizeof(Palette)));
    count = colours ? clampCount(count) : 0;
    p->count = uint32_t(count);
    for (int32_t i = 0; i < count; i++) p->colours[i] = colours[i];
}

void sfSetPaletteRGB24(Surface* s, int32_t count, const uint8_t* rgb) {
    if (!s) return;
    Palette* p = ownBlock(s);
    if (!p) return;
    memFill(p, 0, int32_t(sizeof(Palette)));
    count = rgb ? clampCount(count) : 0;
    p->count = uint32_t(count);
    for (int32_t i = 0; i < count; i++)
        p->colours[i] = (uint32_t(rgb[i * 3]) << 16) | (uint32_t(rgb[i * 3 + 1]) << 8) | rgb[i * 3 + 2];
}

uint32_t colourDistance(uint32_t a, uint32_t b) {
    int32_t dr = int32_t((a >> 16) & 255) - int32_t((b >> 16) & 255);
    int32_t dg = int32_t((a >> 8) & 255) - int32_t((b >> 8) & 255);
    int32_t db = int32_t(a & 255) - int32_t(b & 255);
    return uint32_t(dr * dr + dg * dg + db * db);
}

int32_t palFindNearest(const Palette* p, uint32_t colour) {
    if (!p) return 0;
    uint32_t n = p->count > 256 ? 256 : p->count;
    int32_t best = 0;
    uint32_t bestDist = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < n; i++) {
        uint32_t d = colourDistance(p->colours[i], colour);
        if (d == 0) return int32_t(i);
        if (d < bestDist) {
            bestDist = d;
            best = int32_t(i);
        }
    }
    return best;
}

void palBuildCache(Palette* p, int32_t format, Palette* targetPalette) {
    if (!p || !gfxValidFormat(format)) return;
    if (format == pfPalette) {
        if (!targetPalette || targetPalette == p) return;
        for (int i = 0; i < 256; i++) p->cache[i] = uint32_t(palFindNearest(targetPalette, p->colours[i]));
    } else {
        uint32_t (*from)(uint32_t) = kOps[format].fromRGB;
        for (int i = 0; i < 256; i++) p->cache[i] = from(p->colours[i]);
    }
    p->cacheFormat = uint32_t(format);
    p->cachePalette = targetPalette;
}

static uint32_t shade(uint32_t c, int32_t delta) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int32_t v = int32_t((c >> shift) & 255) + delta;
        v = v < 0 ? 0 : v > 255 ? 255 : v;
        out |= uint32_t(v) << shift;
    }
    return out;
}

void palSetBrightness(Palette* p, int32_t delta) {
    if (!p || !gfxValidFormat(int32_t(p->cacheFormat))) return;
    if (p->cacheFormat == pfPalette) {
        // Indices into another palette have no packing: shaded colours are matched there instead.
        if (!p->cachePalette) return;
        for (int i = 0; i < 256; i++)
            p->cache[i] = uint32_t(palFindNearest(p->cachePalette, shade(p->colours[i], delta)));
        return;
    }
    uint32_t (*from)(uint32_t) = kOps[p->cacheFormat].fromRGB;
    for (int i = 0; i < 256; i++) p->cache[i] = from(shade(p->colours[i], delta));
}

// =====================================================================================================
// [SECTION] Colour conversion
// =====================================================================================================

uint32_t sfConvertColour(uint32_t value, const Surface* from, const Surface* to) {
    if (!from) return 0;
    return sfConvertColourFormat(value, from->format, from->palette, to);
}

uint32_t sfConvertColourFormat(uint32_t value, int32_t fromFormat, const Palette* fromPalette,
                               const Surface* to) {
    if (!to || !gfxValidFormat(fromFormat) || !gfxValidFormat(to->format)) return 0;
    const int32_t d = to->format;
    if (fromFormat == d) {
        if (d == pfPalette && fromPalette && to->palette && fromPalette != to->palette) {
            if (value >= 256) return 0;
            return uint32_t(palFindNearest(to->palette, fromPalette->colours[value]));
        }
        return value;
    }
    if (fromFormat == pfPalette) {
        const Palette* pal = fromPalette ? fromPalette : to->palette;
        if (!pal || value >= 256) return 0;
        if (pal->cacheFormat == uint32_t(d)) return pal->cache[value];
        return kOps[d].fromRGB(pal->colours[value]);
    }
    if (d == pfPalette) {
        if (!to->palette) return 0;
        return uint32_t(palFindNearest(to->palette, kOps[fromFormat].toRGB(value)));
    }
    const PixelFormatInfo& s = kFormats[fromFormat];
    const PixelFormatInfo& t = kFormats[d];
    if (s.channels >= 3 && t.channels >= 3) {
        uint32_t r = ((value >> s.shiftR) & uint32_t(s.maxR)) * uint32_t(t.maxR) / uint32_t(s.maxR);
        uint32_t g = ((value >> s.shiftG) & uint32_t(s.maxG)) * uint32_t(t.maxG) / uint32_t(s.maxG);
        uint32_t b = ((value >> s.shiftB) & uint32_t(s.maxB)) * uint32_t(t.maxB) / uint32_t(s.maxB);
        return (r << t.shiftR) | (g << t.shiftG) | (b << t.shiftB);
    }
    return kOps[d].fromRGB(kOps[fromFormat].toRGB(value));
}

// =====================================================================================================
// [SECTION] Colour helpers
// =====================================================================================================

uint32_t colScale(uint32_t colour, int32_t factor) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int64_t v = (int64_t((colour >> shift) & 255) * factor + 128) >> 8;
        v = v < 0 ? 0 : v > 255 ? 255 : v;
        out |= uint32_t(v) << shift;
    }
    return out;
}

uint32_t colMix(uint32_t a, uint32_t b, int32_t weight, int32_t total) {
    if (total == 0) return a;
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        int64_t v =
            (int64_t((a >> shift) & 255) * (int64_t(total) - weight) + int64_t((b >> shift) & 255) * weight) /
            total;
        // Weights outside 0..total would spill into the neighbouring channel.
        v = v < 0 ? 0 : v > 255 ? 255 : v;
        out |= uint32_t(v) << shift;
    }
    return out;
}
