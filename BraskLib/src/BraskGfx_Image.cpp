// Image files: the TGA reader, the ".gsf" reader and writer, the ".raw" reader, the loader that picks one by
// name, the image caches and the ".gsf" preparation step. Part of the surface module: its source reports
// print "BraskLib/src/BraskGfx_Surface".
//
// [SECTION] Shared helpers
// [SECTION] TGA reader
// [SECTION] ".gsf" reader and writer
// [SECTION] ".raw" reader
// [SECTION] Loader by name
// [SECTION] Image caches and preparation
//
// Every byte read here comes from outside. File layouts are read field by field, little-endian, and each size
// is checked against what the surface record can hold and what the file really contains before anything is
// allocated, so a crafted file is refused instead of leaving a surface that a later blit reads past.
#include "BraskGfx_internal.h"
#include "BraskGfx_simd.h"
#include "brask/image.h"
#include "brask/log.h"
#include "brask/memory.h"
#include "brask/text.h"
#include "brask/vfs.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif

// =====================================================================================================
// [SECTION] Shared helpers
// =====================================================================================================

namespace {

const char kSourcePath[] = "BraskLib/src/BraskGfx_Surface";

inline uint32_t rd16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
inline uint32_t rd32(const uint8_t* p) {
    return rd16(p) | rd16(p + 2) << 16;
}
inline void wr16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void wr32(uint8_t* p, uint32_t v) {
    wr16(p, v);
    wr16(p + 2, v >> 16);
}

// Row length of a plain surface, in 64 bits so oversized requests can be refused rather than wrapped.
int64_t plainPitch(const PixelFormatInfo* in, int64_t width) {
    return in->bytesPerPixel > 0 ? width * in->bytesPerPixel
                                 : (width + in->pixelsPerByte - 1) / in->pixelsPerByte;
}

// True when a plain surface of this format and size fits the record's 16-bit fields and a 32-bit size.
bool sizeFits(int32_t format, int64_t width, int64_t height) {
    const PixelFormatInfo* in = sfGetFormat(format);
    if (!in || width < 1 || height < 1 || width > 32767 || height > 32767) return false;
    const int64_t pitch = plainPitch(in, width);
    return pitch <= 32767 && pitch * height <= 0x7FFFFFFF;
}

// A surface that can take a file's pixels in place: plain, with its own buffer laid out as sfCreate would.
bool plainMatch(const Surface* s, int32_t format, int32_t width, int32_t height) {
    if (!s || s->rle || !s->pixels || !s->info || s->format != format || s->width != width ||
        s->height != height)
        return false;
    const PixelFormatInfo* in = sfGetFormat(format);
    if (!in) return false;
    const int64_t pitch = plainPitch(in, width);
    return s->xStep == (in->bytesPerPixel > 0 ? in->bytesPerPixel : 1) && s->rowPitch == pitch &&
           int64_t(s->dataSize) == pitch * height;
}

// Case-insensitive test of the last four characters (ASCII only, as names are).
bool hasExtension(const char16_t* name, int32_t len, const char* ext) {
    if (len < 4) return false;
    for (int i = 0; i < 4; i++) {
        char16_t c = name[len - 4 + i];
        if (c >= u'A' && c <= u'Z') c = char16_t(c - u'A' + u'a');
        if (c != char16_t(ext[i])) return false;
    }
    return true;
}

}  // namespace

// =====================================================================================================
// [SECTION] TGA reader
// =====================================================================================================

namespace {

struct TgaHeader {
    uint32_t idLen, cmapType, imgType, cmapOrig, cmapLen, cmapSize, xPos, yPos, width, height, pixSize,
        descriptor;
};

void parseTgaHeader(const uint8_t* b, TgaHeader* h) {
    h->idLen = b[0];
    h->cmapType = b[1];
    h->imgType = b[2];
    h->cmapOrig = rd16(b + 3);
    h->cmapLen = rd16(b + 5);
    h->cmapSize = b[7];
    h->xPos = rd16(b + 8);
    h->yPos = rd16(b + 10);
    h->width = rd16(b + 12);
    h->height = rd16(b + 14);
    h->pixSize = b[16];
    h->descriptor = b[17];
}

void logTgaFailure(const char16_t* name, const TgaHeader& h) {
    static const char* const kLabels[] = {
        "\tnIDLen:", "\tnCMapType:", "\tnImgType:", "\tnCMapOrig:", "\tnCMapLen:", "\tnCMapSize:",
        "\tnXPos:",  "\tnYPos:",     "\tnWidth:",   "\tnHeight:",   "\tnPixSize:"};
    const int32_t values[] = {int32_t(h.idLen),    int32_t(h.cmapType), int32_t(h.imgType),
                              int32_t(h.cmapOrig), int32_t(h.cmapLen),  int32_t(h.cmapSize),
                              int32_t(h.xPos),     int32_t(h.yPos),     int32_t(h.width),
                              int32_t(h.height),   int32_t(h.pixSize)};
    static_assert(sizeof(kLabels) / sizeof(kLabels[0]) == sizeof(values) / sizeof(values[0]),
                  "one per field");
    logWrite("sfLoadTGA failed for ", 0);
    logWrite(name, LOG_WIDE | LOG_EOL);
    logWrite("TGA header:", LOG_EOL);
    for (size_t i = 0; i < sizeof(values) / sizeof(values[0]); i++) {
        logWrite(kLabels[i], 0);
        logWrite(&values[i], LOG_INT | LOG_EOL);
    }
}

// One decode: where pixels go and how a run of file pixels becomes destination pixels. The destination is
// always a plain surface (new, or an exact in-place match), so rows can be addressed directly.
struct TgaJob;
// A span stores n file pixels from src at (x, y); a fill stores the one file pixel at src n times.
typedef void (*TgaSpanFn)(const TgaJob& j, const uint8_t* src, int32_t n, int32_t x, int32_t y);

struct TgaJob {
    Surface* s;
    int32_t srcFormat;
    int32_t srcBpp;
    const Palette* map;  // the colour map block (colour-mapped files), else null
    int32_t width, height;
    int32_t x, rowsDone;  // cursor: column, rows finished in file order
    bool topDown;
};

uint32_t loadPixel(const uint8_t* p, int32_t bpp) {
    switch (bpp) {
        case 1:
            return p[0];
        case 2:
            return rd16(p);
        case 3:
            return rd16(p) | uint32_t(p[2]) << 16;
        default:
            return rd32(p);
    }
}

// Loaders write past the clip rectangle: a picture is loaded whole whatever the drawing state.
void storeNoClip(Surface* s, int32_t x, int32_t y, uint32_t v) {
    const PixelFormatInfo* in = s->info;
    uint8_t* row = s->pixels + int64_t(y) * s->rowPitch;
    if (in->bytesPerPixel > 0) {
        sfGetFormatOps(s->format)->writeBytes(row + int64_t(x) * in->bytesPerPixel, v);
        return;
    }
    uint8_t* b = row + x / in->pixelsPerByte;
    const int32_t shift = (x % in->pixelsPerByte) * in->bitsPerPixel;
    const uint32_t mask = uint32_t(in->monoMask) << shift;
    *b = uint8_t((*b & ~mask) | ((v << shift) & mask));
}

// The reference: every pixel through the colour converter, any destination format.
void spanRef(const TgaJob& j, const uint8_t* src, int32_t n, int32_t x, int32_t y) {
    for (int32_t i = 0; i < n; i++, src += j.srcBpp)
        storeNoClip(j.s, x + i, y, sfConvertColourFormat(loadPixel(src, j.srcBpp), j.srcFormat, j.map, j.s));
}
void fillRef(const TgaJob& j, const uint8_t* src, int32_t n, int32_t x, int32_t y) {
    const uint32_t v = sfConvertColourFormat(loadPixel(src, j.srcBpp), j.srcFormat, j.map, j.s);
    for (int32_t i = 0; i < n; i++) storeNoClip(j.s, x + i, y, v);
}

// Fast paths for direct-colour destinations: the same channel arithmetic as the converter, specialised per
// pair; colour-mapped pixels read the block's cache, which the loader built for the destination's format.
struct PalSrc {
    static constexpr int bpp = 1;
};
template <class S, class D>
inline uint32_t convertOne(const uint32_t* cache, const uint8_t* p) {
    if constexpr (std::is_same_v<S, PalSrc>)
        return cache[*p];
    else
        return gfxConvRGB<S, D>(S::read(p));
}
#ifdef __SSE2__
// Eight pixels 0x..RRGGBB, four to a vector, packed to 565 with the multiply-high forms of x 31 / 255 and
// x 63 / 255 (the top byte is ignored, so 32-bit pixels need no masking of alpha first).
inline __m128i pack565x8(__m128i a, __m128i b) {
    const __m128i m = _mm_set1_epi32(0xFF);
    const __m128i bl = _mm_packs_epi32(_mm_and_si128(a, m), _mm_and_si128(b, m));
    const __m128i gr =
        _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(a, 8), m), _mm_and_si128(_mm_srli_epi32(b, 8), m));
    const __m128i rd =
        _mm_packs_epi32(_mm_and_si128(_mm_srli_epi32(a, 16), m), _mm_and_si128(_mm_srli_epi32(b, 16), m));
    const __m128i m5 = _mm_set1_epi16(int16_t(kGfxMulHi8To5)), m6 = _mm_set1_epi16(int16_t(kGfxMulHi8To6));
    return _mm_or_si128(
        _mm_or_si128(_mm_slli_epi16(_mm_mulhi_epu16(rd, m5), 11), _mm_slli_epi16(_mm_mulhi_epu16(gr, m6), 5)),
        _mm_mulhi_epu16(bl, m5));
}
// Four 3-byte pixels from a 16-byte load into the low bytes of four lanes; reads 4 bytes past them.
inline __m128i load888x4(const uint8_t* p) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(v, _mm_srli_si128(v, 3)),
                              _mm_unpacklo_epi32(_mm_srli_si128(v, 6), _mm_srli_si128(v, 9)));
}
#endif

// How many leading pixels of a span the vector loop takes; the rest go one by one. 3-byte pixels are read 16
// bytes at a time, so that loop stops while the last load still ends inside the span.
template <class S, class D>
inline int32_t spanVector(const uint8_t* src, uint8_t* d, int32_t n) {
#ifdef __SSE2__
    if constexpr (std::is_same_v<D, Fmt565> && (std::is_same_v<S, Fmt888> || std::is_same_v<S, Fmt8888>)) {
        int32_t i = 0;
        for (; i + (S::bpp == 3 ? 10 : 8) <= n; i += 8, src += 8 * S::bpp, d += 16) {
            __m128i a, b;
            if constexpr (S::bpp == 3) {
                a = load888x4(src);
                b = load888x4(src + 12);
            } else {
                a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
                b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + 16));
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), pack565x8(a, b));
        }
        return i;
    } else if constexpr (std::is_same_v<D, Fmt565> && std::is_same_v<S, Fmt555>) {
        // Green x 63 / 31 is 2g, plus one when g is 31; red and blue keep their fields, the top bit goes.
        const __m128i keep = _mm_set1_epi16(0x7FE0), blue = _mm_set1_epi16(0x1F);
        const __m128i green = _mm_set1_epi16(0x3E0), low = _mm_set1_epi16(0x20);
        int32_t i = 0;
        for (; i + 8 <= n; i += 8, src += 16, d += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
            const __m128i full = _mm_cmpeq_epi16(_mm_and_si128(v, green), green);
            const __m128i o =
                _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_and_si128(v, keep), 1), _mm_and_si128(v, blue)),
                             _mm_and_si128(full, low));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d), o);
        }
        return i;
    }
#endif
    (void)src, (void)d, (void)n;
    return 0;
}

// The job's fields are copied to locals first: stores through a byte pointer may alias anything, so the
// compiler would otherwise reload them for every pixel.
template <class S, class D>
GFX_INLINE void spanFast(const TgaJob& j, const uint8_t* src, int32_t n, int32_t x, int32_t y) {
    uint8_t* d = j.s->pixels + int64_t(y) * j.s->rowPitch + int64_t(x) * D::bpp;
    const uint32_t* cache = j.map ? j.map->cache : nullptr;
    int32_t i = spanVector<S, D>(src, d, n);
    src += int64_t(i) * S::bpp;
    d += int64_t(i) * D::bpp;
    if constexpr (std::is_same_v<S, PalSrc> && D::bpp == 2) {
        // Four indices per load and four pixels per store.
        for (; i + 4 <= n; i += 4, src += 4, d += 8) {
            const uint64_t v = uint64_t(cache[src[0]] & 0xFFFF) | uint64_t(cache[src[1]] & 0xFFFF) << 16 |
                               uint64_t(cache[src[2]] & 0xFFFF) << 32 |
                               uint64_t(cache[src[3]] & 0xFFFF) << 48;
            memcpy(d, &v, 8);
        }
    }
    for (; i < n; i++, src += S::bpp, d += D::bpp) D::write(d, convertOne<S, D>(cache, src));
}
#if GFX_HAVE_AVX2
// spanFast compiled for AVX2, where the vectoriser packs 16 lanes at a time. Colour-mapped spans stay with
// one lookup per pixel: AVX2's gather and register-picked indices both measured slower than that here.
template <class S, class D>
GFX_AVX2 void spanFastAvx2(const TgaJob& j, const uint8_t* src, int32_t n, int32_t x, int32_t y) {
    spanFast<S, D>(j, src, n, x, y);
}
#endif

template <class S, class D>
void fillFast(const TgaJob& j, const uint8_t* src, int32_t n, int32_t x, int32_t y) {
    uint8_t* d = j.s->pixels + int64_t(y) * j.s->rowPitch + int64_t(x) * D::bpp;
    const uint32_t v = convertOne<S, D>(j.map ? j.map->cache : nullptr, src);
    for (int32_t i = 0; i < n; i++, d += D::bpp) D::write(d, v);
}

// Stores n file pixels (or one pixel n times) at the cursor; a run that leaves a row carries on at column 0
// of the next row in file order. The span functions are template arguments so the fast ones inline into
// the packet loop: most packets are short, and a call through a pointer for each cost as much as the pixels.
template <TgaSpanFn Span, TgaSpanFn Fill>
inline void tgaEmit(TgaJob& j, const uint8_t* src, int64_t n, bool repeat) {
    while (n > 0 && j.rowsDone < j.height) {
        const int32_t k = int32_t(n < j.width - j.x ? n : j.width - j.x);
        const int32_t y = j.topDown ? j.rowsDone : j.height - 1 - j.rowsDone;
        if (repeat) {
            Fill(j, src, k, j.x, y);
        } else {
            Span(j, src, k, j.x, y);
            src += int64_t(k) * j.srcBpp;
        }
        j.x += k;
        n -= k;
        if (j.x == j.width) {
            j.x = 0;
            j.rowsDone++;
        }
    }
}

int64_t tgaPixelsLeft(const TgaJob& j) {
    return int64_t(j.height - j.rowsDone) * j.width - j.x;
}

// Run-length packets from p; false when the data ends before the last pixel.
template <TgaSpanFn Span, TgaSpanFn Fill>
bool tgaDecodeRLE(TgaJob& j, const uint8_t* p, const uint8_t* end) {
    while (j.rowsDone < j.height) {
        if (p >= end) return false;
        const uint8_t hdr = *p++;
        const int64_t count = (hdr & 0x7F) + 1;
        const int64_t left = tgaPixelsLeft(j);
        const int64_t n = count < left ? count : left;
        if (hdr & 0x80) {
            if (end - p < j.srcBpp) return false;
            tgaEmit<Span, Fill>(j, p, n, true);
            p += j.srcBpp;
        } else {
            if (end - p < n * j.srcBpp) return false;
            tgaEmit<Span, Fill>(j, p, n, false);
            p += n * j.srcBpp;
        }
    }
    return true;
}

// The pixels after the colour map, plain or run-length; false when the data ends too soon.
typedef bool (*TgaPixelsFn)(TgaJob& j, const uint8_t* p, const uint8_t* end, bool rle);
template <TgaSpanFn Span, TgaSpanFn Fill>
bool tgaPixels(TgaJob& j, const uint8_t* p, const uint8_t* end, bool rle) {
    if (rle) return tgaDecodeRLE<Span, Fill>(j, p, end);
    const int64_t pixels = int64_t(j.width) * j.height;
    if (end - p < pixels * j.srcBpp) return false;
    tgaEmit<Span, Fill>(j, p, pixels, false);
    return true;
}

#if GFX_HAVE_AVX2
#define GFX_TGA_SPAN_AVX2 spanFastAvx2
#else
#define GFX_TGA_SPAN_AVX2 spanFast
#endif
// By processor path, then the destination format from pf444 to pf8888.
template <class S>
constexpr TgaPixelsFn kFastRow[GFX_PATH_COUNT][5] = {
    {tgaPixels<spanFast<S, Fmt444>, fillFast<S, Fmt444>>, tgaPixels<spanFast<S, Fmt555>, fillFast<S, Fmt555>>,
     tgaPixels<spanFast<S, Fmt565>, fillFast<S, Fmt565>>, tgaPixels<spanFast<S, Fmt888>, fillFast<S, Fmt888>>,
     tgaPixels<spanFast<S, Fmt8888>, fillFast<S, Fmt8888>>},
    {tgaPixels<GFX_TGA_SPAN_AVX2<S, Fmt444>, fillFast<S, Fmt444>>,
     tgaPixels<GFX_TGA_SPAN_AVX2<S, Fmt555>, fillFast<S, Fmt555>>,
     tgaPixels<GFX_TGA_SPAN_AVX2<S, Fmt565>, fillFast<S, Fmt565>>,
     tgaPixels<GFX_TGA_SPAN_AVX2<S, Fmt888>, fillFast<S, Fmt888>>,
     tgaPixels<GFX_TGA_SPAN_AVX2<S, Fmt8888>, fillFast<S, Fmt8888>>}};
static_assert(GFX_PATH_COUNT == 2, "one span table per processor path");

// Indexed by the source format and then the destination format from pf444 to pf8888.
const TgaPixelsFn* fastRow(int32_t srcFormat) {
    const int32_t path = g_gfx.path;
    switch (srcFormat) {
        case pfPalette:
            return kFastRow<PalSrc>[path];
        case pf555:
            return kFastRow<Fmt555>[path];
        case pf888:
            return kFastRow<Fmt888>[path];
        case pf8888:
            return kFastRow<Fmt8888>[path];
        default:
            return nullptr;
    }
}

enum TgaStatus { TGA_OK, TGA_FAIL, TGA_FAIL_REPORT };

// Everything between the header and the pixels: validation, the surface, the colour map, the decode.
// On failure frees what it created and leaves *out null; the caller logs.
TgaStatus tgaDecode(VfsFile* f, const TgaHeader& h, int32_t format, Surface* given, Surface** out,
                    int32_t* reportLine) {
    *out = nullptr;
    const bool mapped = h.imgType == 1 || h.imgType == 9;
    const bool rle = h.imgType == 9 || h.imgType == 10;
    int32_t srcFormat = 0;
    if (mapped) {
        if (h.pixSize == 8 && (h.cmapSize == 16 || h.cmapSize == 24)) srcFormat = pfPalette;
    } else if (h.imgType == 2 || h.imgType == 10) {
        srcFormat = h.pixSize == 16 ? pf555 : h.pixSize == 24 ? pf888 : h.pixSize == 32 ? pf8888 : 0;
    }
    if (!srcFormat) {
        *reportLine = __LINE__;
        return TGA_FAIL_REPORT;
    }
    const int32_t wanted = format ? format : given && given->info ? given->format : srcFormat;
    if (!sizeFits(wanted, h.width, h.height)) {
        *reportLine = __LINE__;
        return TGA_FAIL_REPORT;
    }
    const int32_t srcBpp = sfGetFormat(srcFormat)->bytesPerPixel;

    // The bytes the picture can need, so a file with a long tail (or a lying size) costs no more than that.
    const int64_t entryBytes = mapped ? h.cmapSize / 8 : h.cmapType == 1 ? (h.cmapSize + 7) / 8 : 0;
    const int64_t pixels = int64_t(h.width) * h.height;
    const int64_t need =
        int64_t(h.idLen) + int64_t(h.cmapLen) * entryBytes + pixels * (srcBpp + (rle ? 1 : 0));
    const int64_t avail = int64_t(vfsSize(f)) - vfsTell(f);
    // The fewest bytes that can describe the picture (every run packet repeating 128 pixels): a file shorter
    // than that would fail once its data ran out, so it fails before the picture's memory is taken; a few
    // damaged bytes of header must not cost megabytes.
    const int64_t least = int64_t(h.idLen) + int64_t(h.cmapLen) * entryBytes +
                          (rle ? (pixels + 127) / 128 * (srcBpp + 1) : pixels * srcBpp);
    if (avail < least) return TGA_FAIL;
    const int64_t take = need < avail ? need : avail;
    if (take <= 0 || take > 0x7FFFFFFF) return TGA_FAIL;
    uint8_t* data = static_cast<uint8_t*>(memAlloc(int32_t(take)));
    if (!data) {
        *reportLine = __LINE__;
        return TGA_FAIL_REPORT;
    }
    Surface* s = nullptr;
    Palette* map = nullptr;
    bool ok = false;
    bool mapIsSurfacePalette = false;
    const uint8_t* p = data;
    const uint8_t* end = data + take;
    do {
        if (vfsRead(f, data, int32_t(take)) != take) break;
        if (end - p < int64_t(h.idLen)) break;
        p += h.idLen;

        if (plainMatch(given, wanted, int32_t(h.width), int32_t(h.height))) {
            s = given;
        } else {
            // Made without a buffer and given one unfilled: a load that succeeds writes every pixel.
            s = sfCreate(int32_t(h.width), int32_t(h.height), wanted, 1, SF_NO_KEY, nullptr);
            if (s) {
                s->rle = 0;
                s->pixels = static_cast<uint8_t*>(memAlloc(int32_t(s->dataSize)));
                s->ownsPixels = 1;
                if (!s->pixels) {
                    sfFree(s);
                    s = nullptr;
                }
            }
            if (!s) {
                *reportLine = __LINE__;
                break;
            }
            if (given && given->palette) sfSetPalette(s, given->palette, 0);
        }

        const int64_t mapBytes = int64_t(h.cmapLen) * entryBytes;
        if (end - p < mapBytes) break;
        if (mapped) {
            map = static_cast<Palette*>(memAlloc(int32_t(sizeof(Palette))));
            if (!map) {
                *reportLine = __LINE__;
                break;
            }
            // Zeroed, so an index past the map reads black rather than stale memory.
            memFill(map, 0, int32_t(sizeof(Palette)));
            const uint32_t kept = h.cmapLen < 256 ? h.cmapLen : 256;
            const int32_t mapFormat = h.cmapSize == 16 ? pf555 : pf888;
            uint32_t (*toRGB)(uint32_t) = sfGetFormatOps(mapFormat)->toRGB;
            for (uint32_t i = 0; i < kept; i++)
                map->colours[i] = toRGB(loadPixel(p + i * entryBytes, int32_t(entryBytes)));
            map->count = kept;
            if (s->format == pfPalette && !s->palette) {
                s->palette = map;
                s->ownsPalette = 1;
                mapIsSurfacePalette = true;
            }
            palBuildCache(map, wanted, s->palette);
        }
        p += mapBytes;  // a true-colour file's map is skipped

        TgaJob j = {};
        j.s = s;
        j.srcFormat = srcFormat;
        j.srcBpp = srcBpp;
        j.map = map;
        j.width = int32_t(h.width);
        j.height = int32_t(h.height);
        j.topDown = (h.descriptor & 0x20) != 0;
        TgaPixelsFn decode = tgaPixels<spanRef, fillRef>;
        if (g_gfx.fastPaths && wanted >= pf444 && wanted <= pf8888)
            decode = fastRow(srcFormat)[wanted - pf444];
        if (!decode(j, p, end, rle)) break;
        ok = true;
    } while (false);
    memFree(data);

    if (!ok) {
        if (s && s != given) {
            sfFree(s);  // frees the map too when it became the surface's palette
        } else if (mapIsSurfacePalette) {
            // The caller's surface keeps nothing of a failed load.
            s->palette = nullptr;
            s->ownsPalette = 0;
            memFree(map);
        }
        if (!mapIsSurfacePalette) memFree(map);
        return *reportLine ? TGA_FAIL_REPORT : TGA_FAIL;
    }
    if (!mapIsSurfacePalette) memFree(map);
    Surface* target = gfxGetTarget();
    if (wanted == pfPalette && s->palette && target && target->info && gfxValidFormat(target->format))
        palBuildCache(s->palette, target->format, target->palette);
    *out = s;
    return TGA_OK;
}

}  // namespace

Surface* sfLoadTGA(const char16_t* name, int32_t format, Surface* surface) {
    VfsFile* f = vfsOpen(name);
    if (!f) return nullptr;
    TgaHeader h = {};
    uint8_t raw[18];
    Surface* s = nullptr;
    int32_t reportLine = 0;
    if (vfsRead(f, raw, 18) == 18) {
        parseTgaHeader(raw, &h);
        if (tgaDecode(f, h, format, surface, &s, &reportLine) == TGA_FAIL_REPORT)
            logSourceLine(kSourcePath, reportLine, nullptr, 0);
    }
    vfsClose(f);
    if (!s) logTgaFailure(name, h);
    return s;
}

uint8_t* sfLoadTGAPixels(const char16_t* name, int32_t* outWidth, int32_t* outHeight) {
    Surface* s = sfLoadTGA(name, pf565, nullptr);
    if (outWidth) *outWidth = s ? s->width : 0;
    if (outHeight) *outHeight = s ? s->height : 0;
    if (!s) return nullptr;
    uint8_t* pixels = s->pixels;
    // The record goes back to the pool; the buffer now belongs to the caller.
    s->ownsPixels = 0;
    s->pixels = nullptr;
    sfFree(s);
    return pixels;
}

// =====================================================================================================
// [SECTION] ".gsf" reader and writer
// =====================================================================================================

namespace {

// magic 3, version 1, dataSize 4, format 1, flags 1, width, height, xStep, rowPitch, anchorX, anchorY 2 each,
// colourKey 4, animMode 1, animLoop 1, frameTime 4; the frame list and the pixel data follow.
enum { GSF_HEAD = 32, GSF_VERSION = 1, GSF_FLAG_RLE = 1, GSF_FLAG_WIDE = 2 };

struct GsfHead {
    uint32_t dataSize;
    int32_t format, flags;
    int32_t width, height, xStep, rowPitch, anchorX, anchorY;
    uint32_t colourKey;
    int32_t animMode, animLoop, frameTime;
};

bool parseGsfHead(const uint8_t* b, GsfHead* h) {
    if (b[0] != 'G' || b[1] != 'S' || b[2] != 'F' || b[3] != GSF_VERSION) return false;
    h->dataSize = rd32(b + 4);
    h->format = b[8];
    h->flags = b[9];
    h->width = int16_t(rd16(b + 10));
    h->height = int16_t(rd16(b + 12));
    h->xStep = int16_t(rd16(b + 14));
    h->rowPitch = int16_t(rd16(b + 16));
    h->anchorX = int16_t(rd16(b + 18));
    h->anchorY = int16_t(rd16(b + 20));
    h->colourKey = rd32(b + 22);
    h->animMode = b[26];
    h->animLoop = b[27];
    h->frameTime = int32_t(rd32(b + 28));
    return true;
}

// Every row of an encoded stream must lie inside the data, its packets inside the row and its columns
// inside the width, or the blit that trusts them would read or write out of bounds.
bool gsfEncodedValid(const GsfHead& h, const uint8_t* data) {
    const int32_t bpp = sfGetFormat(h.format)->bytesPerPixel;
    const bool wide = (h.flags & GSF_FLAG_WIDE) != 0;
    const uint32_t tableSize = uint32_t(h.height) * (wide ? 4 : 2);
    if (tableSize > h.dataSize) return false;
    const uint8_t* packets = data + tableSize;
    const uint32_t len = h.dataSize - tableSize;
    uint32_t pos = 0;
    for (int32_t y = 0; y < h.height; y++) {
        const uint32_t end = wide ? rd32(data + y * 4) : rd16(data + y * 2);
        if (end < pos || end > len) return false;
        int32_t col = 0;
        while (pos < end) {
            if (end - pos < 2) return false;
            const uint8_t b0 = packets[pos], b1 = packets[pos + 1];
            const int32_t type = (b0 >> 5) & 3;
            if (!(b0 & 0x80) || type == 0) break;  // the row's end marker
            const int32_t count = (((b0 & 31) << 8) | b1) + 1;
            const uint32_t payload = type == 2 ? uint32_t(count * bpp) : type == 3 ? uint32_t(bpp) : 0;
            if (end - pos - 2 < payload || count > h.width - col) return false;
            col += count;
            pos += 2 + payload;
        }
        pos = end;
    }
    return true;
}

// The header against the format table: a plain surface must be laid out exactly as sfCreate lays it out.
bool gsfLayoutValid(const GsfHead& h) {
    if (h.flags & ~(GSF_FLAG_RLE | GSF_FLAG_WIDE)) return false;
    if (h.flags == GSF_FLAG_WIDE) return false;  // a wide row table without encoding
    if (!sizeFits(h.format, h.width, h.height) || h.dataSize == 0 || h.dataSize > 0x7FFFFFFF) return false;
    const PixelFormatInfo* in = sfGetFormat(h.format);
    const int64_t pitch = plainPitch(in, h.width);
    if (h.xStep != (in->bytesPerPixel > 0 ? in->bytesPerPixel : 1) || h.rowPitch != pitch) return false;
    if (h.flags & GSF_FLAG_RLE) return in->bytesPerPixel > 0 && h.width <= 8192;
    return int64_t(h.dataSize) == pitch * h.height;
}

Surface* gsfRead(VfsFile* f, int32_t format, Surface* given) {
    uint8_t raw[GSF_HEAD];
    GsfHead h;
    if (vfsRead(f, raw, GSF_HEAD) != GSF_HEAD || !parseGsfHead(raw, &h) || !gsfLayoutValid(h)) return nullptr;
    const int32_t wanted = format ? format : given && given->info ? given->format : h.format;
    if (wanted != h.format) return nullptr;
    Array frames = {};
    if (!arrLoad(&frames, f)) return nullptr;
    Surface* s = nullptr;
    uint8_t* data = nullptr;
    do {
        if (frames.elementSize != int32_t(sizeof(Rect))) break;
        if (int64_t(vfsSize(f)) - vfsTell(f) < int64_t(h.dataSize)) break;  // before allocating
        if (!(h.flags & GSF_FLAG_RLE) && plainMatch(given, h.format, h.width, h.height)) {
            if (vfsRead(f, given->pixels, int32_t(h.dataSize)) != int32_t(h.dataSize)) break;
            arrFree(&frames);
            return given;
        }
        data = static_cast<uint8_t*>(memAlloc(int32_t(h.dataSize)));
        if (!data || vfsRead(f, data, int32_t(h.dataSize)) != int32_t(h.dataSize)) break;
        if ((h.flags & GSF_FLAG_RLE) && !gsfEncodedValid(h, data)) break;
        // Created encoded and without a buffer, so there is no buffer of sfCreate's own to lose.
        s = sfCreate(h.width, h.height, h.format, 1, h.colourKey, nullptr);
        if (!s) break;
        s->rle = uint8_t(h.flags & GSF_FLAG_RLE ? 1 : 0);
        s->rleWideRows = uint8_t(h.flags & GSF_FLAG_WIDE ? 1 : 0);
        s->xStep = int16_t(h.xStep);
        s->rowPitch = int16_t(h.rowPitch);
        s->anchorX = int16_t(h.anchorX);
        s->anchorY = int16_t(h.anchorY);
        s->animMode = uint8_t(h.animMode);
        s->animLoop = uint8_t(h.animLoop);
        s->frameTime = h.frameTime;
        arrFree(&s->frames);
        s->frames = frames;
        s->dataSize = h.dataSize;
        s->pixels = data;
        s->ownsPixels = 1;
        if (s->rle) gfxBuildRleIndex(s);
        return s;
    } while (false);
    memFree(data);
    arrFree(&frames);
    return nullptr;
}

}  // namespace

Surface* sfLoadGSF(const char16_t* name, int32_t format, Surface* surface) {
    VfsFile* f = vfsOpen(name);
    if (!f) return nullptr;
    Surface* s = gsfRead(f, format, surface);
    vfsClose(f);
    return s;
}

int32_t sfSaveGSF(const Surface* s, const char16_t* name) {
    if (!s) return 0;
    VfsFile* f = vfsCreate(name);
    if (!f) return 0;
    uint8_t raw[GSF_HEAD];
    const uint32_t dataSize = s->pixels ? s->dataSize : 0;
    raw[0] = 'G';
    raw[1] = 'S';
    raw[2] = 'F';
    raw[3] = GSF_VERSION;
    wr32(raw + 4, dataSize);
    raw[8] = s->format;
    raw[9] = uint8_t((s->rleWideRows ? GSF_FLAG_WIDE : 0) | (s->rle ? GSF_FLAG_RLE : 0));
    wr16(raw + 10, uint16_t(s->width));
    wr16(raw + 12, uint16_t(s->height));
    wr16(raw + 14, uint16_t(s->xStep));
    wr16(raw + 16, uint16_t(s->rowPitch));
    wr16(raw + 18, uint16_t(s->anchorX));
    wr16(raw + 20, uint16_t(s->anchorY));
    wr32(raw + 22, s->colourKey);
    raw[26] = s->animMode;
    raw[27] = s->animLoop;
    wr32(raw + 28, uint32_t(s->frameTime));
    int32_t ok = vfsWrite(f, raw, GSF_HEAD) == GSF_HEAD && arrSave(&s->frames, f);
    if (ok && dataSize > 0) ok = vfsWrite(f, s->pixels, int32_t(dataSize)) == int32_t(dataSize);
    if (!vfsClose(f)) ok = 0;
    return ok;
}

// =====================================================================================================
// [SECTION] ".raw" reader
// =====================================================================================================

Surface* sfLoadRAW(const char16_t* name, int32_t format, Surface* surface) {
    VfsFile* f = vfsOpen(name);
    if (!f) return nullptr;
    const int32_t size = vfsSize(f);
    Surface* s = nullptr;
    bool inPlace = false;
    do {
        if (size <= 0) break;
        // Any plain surface of that many bytes takes the dump as it is, whatever its format.
        if (surface && plainMatch(surface, surface->format, surface->width, surface->height) &&
            surface->dataSize == uint32_t(size)) {
            s = surface;
            inPlace = true;
        } else {
            // 4^k bytes: a Palette square of side 2^k; 2 x 4^k bytes: a 565 square.
            int32_t fileFormat = 0, side = 0;
            for (int32_t k = 0; k <= 14 && !fileFormat; k++) {
                const int64_t sq = int64_t(1) << (2 * k);
                if (sq == size) fileFormat = pfPalette, side = 1 << k;
                if (2 * sq == size) fileFormat = pf565, side = 1 << k;
            }
            if (!fileFormat || (format && format != fileFormat) || !sizeFits(fileFormat, side, side)) break;
            s = sfCreate(side, side, fileFormat, 0, SF_NO_KEY, nullptr);
            if (!s) break;
        }
        if (vfsRead(f, s->pixels, size) != size) {
            if (!inPlace) sfFree(s);
            s = nullptr;
        }
    } while (false);
    vfsClose(f);
    return s;
}

// =====================================================================================================
// [SECTION] Loader by name
// =====================================================================================================

Surface* sfLoad(const char16_t* name, int32_t format, Surface* surface) {
    if (!name) return nullptr;
    const int32_t len = wstrLen(name);
    if (hasExtension(name, len, ".tga")) return sfLoadTGA(name, format, surface);
    if (hasExtension(name, len, ".gsf")) return sfLoadGSF(name, format, surface);
    if (hasExtension(name, len, ".raw")) return sfLoadRAW(name, format, surface);
    if (len >= 4 && name[len - 4] == u'.') return nullptr;
    if (len + 4 >= VFS_PATH_MAX) return nullptr;
    char16_t buf[VFS_PATH_MAX];
    static const char16_t* const kTries[] = {u".gsf", u".tga", u".raw"};
    Surface* (*const readers[])(const char16_t*, int32_t, Surface*) = {sfLoadGSF, sfLoadTGA, sfLoadRAW};
    for (int i = 0; i < 3; i++) {
        wstrCopy(buf, name);
        wstrCat(buf, kTries[i]);
        if (Surface* s = readers[i](buf, format, surface)) return s;
    }
    return nullptr;
}

// =====================================================================================================
// [SECTION] Image caches and preparation
// =====================================================================================================

namespace {

ResCache g_imageCache;  // the engine's; zero (elementSize 0) until graphics start-up initialises it

// Marks a record whose name the cache itself allocated (sfPrepare's ".tga" fallback), to be freed with it.
enum { IMG_LOADED = 1, IMG_LOADED_OWN_NAME = 2 };

void* imageLoad(ResRecord* r) {
    Surface* s = sfLoad(r->name, r->cache->owner, nullptr);
    r->data = s;
    r->loaded = s ? IMG_LOADED : 0;
    return s;
}

void imageRelease(ResRecord* r) {
    sfFree(static_cast<Surface*>(r->data));
    r->data = nullptr;
    if (r->loaded == IMG_LOADED_OWN_NAME) memFree(const_cast<char16_t*>(r->name));
}

}  // namespace

ResCache* sfInitImageCache(ResCache* cache, int32_t format) {
    if (!gfxInitSurfacePool()) return nullptr;
    cache = resCacheInit(cache, 128, &g_gfx.surfacePool, imageLoad, imageRelease);
    if (cache) cache->owner = format;
    return cache;
}

ResCache* sfGetImageCache() {
    return &g_imageCache;
}

Surface* sfGetImage(const char16_t* name) {
    if (g_imageCache.records.elementSize == 0) return nullptr;
    return static_cast<Surface*>(resCacheGet(&g_imageCache, name));
}

Surface* sfPrepare(ResCache* cache, const char16_t* name, uint32_t colourKey, int32_t encode, int32_t columns,
                   int32_t rows) {
    if (!cache || !name) return nullptr;
    const int32_t len = wstrLen(name);
    if (!hasExtension(name, len, ".gsf") || len >= VFS_PATH_MAX) return nullptr;
    Surface* s = static_cast<Surface*>(resCacheGet(cache, name));
    if (!s) {
        char16_t tga[VFS_PATH_MAX];
        wstrCopy(tga, name);
        wstrCopy(tga + len - 3, u"tga");
        ResRecord* known = resCacheFind(cache, tga);
        s = known ? static_cast<Surface*>(known->data) : nullptr;
        if (!known) {
            // The cache borrows names: a new record must get a name that lives as long as it does.
            char16_t* own = wstrDup(tga);
            if (own) {
                s = static_cast<Surface*>(resCacheLoad(cache, own));
                ResRecord* r = s ? resCacheFind(cache, own) : nullptr;
                if (r && r->name == own)
                    r->loaded = IMG_LOADED_OWN_NAME;
                else
                    memFree(own);
            }
        }
    }
    if (!s) return nullptr;
    bool changed = false;
    if (s->colourKey != colourKey) {
        s->colourKey = colourKey;
        changed = true;
    }
    if (columns > 0 && rows > 0 && int64_t(s->frames.count) != int64_t(columns) * rows) {
        sfSplitFrames(s, columns, rows);
        changed = true;
    }
    if (encode && !s->rle && sfEncodeRLE(s)) changed = true;
    if (changed) sfSaveGSF(s, name);
    return s;
}
