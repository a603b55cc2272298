// Run-length encoded surfaces: rows of skip, literal and fill packets behind a table of row end offsets.
//
// Packet header: byte 0 = 0x80 | type << 5 | (count - 1) >> 8, byte 1 = (count - 1) & 0xFF, count 1..8192.
// Type 1 skips count pixels, type 2 is followed by count pixels, type 3 by one pixel repeated count times,
// type 0 ends the row. The row table holds each row's end offset from the start of the packet data.
#include "BraskGfx_internal.h"
#include "BraskGfx_simd.h"
#include "brask/memory.h"

#include <cstddef>

enum { RLE_SKIP = 1, RLE_LITERAL = 2, RLE_FILL = 3, RLE_MAX_RUN = 8192 };

static uint8_t* putHeader(uint8_t* p, int32_t type, int32_t count) {
    p[0] = uint8_t(0x80 | (type << 5) | ((count - 1) >> 8));
    p[1] = uint8_t((count - 1) & 0xFF);
    return p + 2;
}

int32_t sfEncodeRLE(Surface* s) {
    // Already encoded: encoding the stream again would treat packet bytes as pixels.
    if (!s || s->rle || !s->pixels || !s->info || !gfxValidFormat(s->format)) return 0;
    const int32_t bpp = s->info->bytesPerPixel;
    // Wider rows could need a run longer than a header can count.
    if (bpp == 0 || s->width <= 0 || s->height <= 0 || s->width > RLE_MAX_RUN) return 0;
    const int32_t W = s->width, H = s->height;
    // Worst case per pixel: a skip and a one-pixel literal for every two pixels, below bpp + 4 bytes.
    const int64_t work = int64_t(H) * 4 + int64_t(W) * H * (bpp + 4);
    if (work > 0x7FFFFFFF) return 0;
    uint8_t* buf = static_cast<uint8_t*>(memAlloc(int32_t(work)));
    if (!buf) return 0;
    uint32_t* table = reinterpret_cast<uint32_t*>(buf);  // memAlloc blocks are aligned for any type
    uint8_t* data = buf + int64_t(H) * 4;
    uint8_t* out = data;
    uint32_t (*read)(const uint8_t*) = sfGetFormatOps(s->format)->read;
    void (*write)(uint8_t*, uint32_t) = sfGetFormatOps(s->format)->write;
    const uint32_t key = s->colourKey;
    for (int32_t y = 0; y < H; y++) {
        auto px = [&](int32_t x) { return read(sfPixelAddress(s, x, y)); };
        auto literal = [&](int32_t from, int32_t to) {
            if (to <= from) return;
            out = putHeader(out, RLE_LITERAL, to - from);
            for (int32_t i = from; i < to; i++, out += bpp) memcpy(out, sfPixelAddress(s, i, y), size_t(bpp));
        };
        int32_t n = 0;
        while (n < W) {
            int32_t k = 0;
            while (n + k < W && px(n + k) == key) k++;
            if (n + k == W) break;  // trailing transparency is not stored
            if (k > 0) out = putHeader(out, RLE_SKIP, k);
            n += k;
            int32_t lit = n;
            while (n < W) {
                const uint32_t v = px(n);
                if (v == key) break;
                int32_t j = 1;
                while (n + j < W && px(n + j) == v) j++;
                if (j > 3) {
                    literal(lit, n);
                    out = putHeader(out, RLE_FILL, j);
                    write(out, v);
                    out += bpp;
                    lit = n + j;
                }
                n += j;
            }
            literal(lit, n);
        }
        table[y] = uint32_t(out - data);
    }
    const uint32_t packets = uint32_t(out - data);
    const bool wide = packets > 0xFFFF;
    const uint32_t tableSize = uint32_t(H) * (wide ? 4 : 2);
    const uint32_t total = tableSize + packets;
    uint8_t* enc = static_cast<uint8_t*>(memAlloc(int32_t(total)));
    if (!enc) {
        memFree(buf);
        return 0;  // the surface stays plain and readable
    }
    for (int32_t y = 0; y < H; y++) {
        if (wide) {
            memcpy(enc + y * 4, &table[y], 4);
        } else {
            uint16_t e = uint16_t(table[y]);
            memcpy(enc + y * 2, &e, 2);
        }
    }
    memcpy(enc + tableSize, data, packets);
    memFree(buf);
    if (s->ownsPixels) memFree(s->pixels);
    s->pixels = enc;
    s->ownsPixels = 1;
    s->dataSize = total;
    s->rleWideRows = wide ? 1 : 0;
    s->rle = 1;
    gfxBuildRleIndex(s);
    return 1;
}

template <bool Wide>
static inline uint32_t rowEnd(const uint8_t* table, int32_t row) {
    if constexpr (Wide) {
        uint32_t e;
        memcpy(&e, table + row * 4, 4);
        return e;
    } else {
        uint16_t e;
        memcpy(&e, table + row * 2, 2);
        return e;
    }
}

// One row's packets from p to e until the row reaches column `stop`: packet(col, count, payload, isLiteral)
// for every fill and literal, in order. Every header and payload is checked against the row's end, so a
// damaged stream stops its row instead of reading on. The drawing walk and the index both read rows here.
template <class F>
static GFX_INLINE void forEachRowPacket(const uint8_t* p, const uint8_t* e, int32_t bpp, int32_t stop,
                                        F packet) {
    int64_t col = 0;  // a packet is reported only left of stop, so its column fits
    while (e - p >= 2) {
        const uint32_t b0 = p[0];
        const int32_t count = int32_t(((b0 & 31) << 8) | p[1]) + 1;
        const uint32_t kind = b0 >> 5;  // 0x80 | type << 5: 4 ends the row, below 4 is no header
        if (kind == (4 | RLE_SKIP)) {
            p += 2;
            col += count;
            if (col >= stop) break;
            continue;
        }
        if (kind < (4 | RLE_LITERAL)) break;
        const uint8_t* pay = p + 2;
        const bool lit = kind == (4 | RLE_LITERAL);
        const ptrdiff_t size = lit ? ptrdiff_t(count) * bpp : bpp;
        if (e - pay < size) break;
        p = pay + size;
        packet(int32_t(col), count, pay, lit);
        col += count;
        if (col >= stop) break;
    }
}

// =====================================================================================================
// Drawing index: the rows' opaque spans with their pixels laid out flat
// =====================================================================================================
//
// One block: the header, rows + 1 first-span numbers, the spans, then the pixels (fills written out). It
// is read exactly as walkRows reads the packets: a damaged row table gives a row no spans, a row stops at a
// packet it cannot read, and nothing at or past the width is kept (no clip rectangle reaches it). A span
// clipped to the visible columns is then exactly what the packets would have drawn there.

struct RleSpan {
    uint16_t row, col, count, pad;  // source columns [col, col + count) of the row
    uint32_t offset;                // bytes into the pixels
};
struct RleIndexHead {
    int32_t rows, width;
    uint32_t spans, pad;
};

// Calls span(row, col, count, payload, isLiteral) for every visible packet, with neighbouring ones in a row
// not merged yet.
template <class F>
static bool forEachPacket(const Surface* s, F span) {
    const int32_t bpp = s->info->bytesPerPixel, W = s->width;
    const uint32_t tableSize = uint32_t(s->height) * (s->rleWideRows ? 4 : 2);
    if (tableSize > s->dataSize) return false;
    const uint8_t* data = s->pixels + tableSize;
    const uint32_t dataLen = s->dataSize - tableSize;
    uint32_t start = 0;
    for (int32_t r = 0; r < s->height; r++) {
        const uint32_t end = s->rleWideRows ? rowEnd<true>(s->pixels, r) : rowEnd<false>(s->pixels, r);
        const uint32_t from = start;
        start = end;
        if (end > dataLen || from > end) continue;
        forEachRowPacket(data + from, data + end, bpp, W,
                         [&](int32_t col, int32_t count, const uint8_t* pay, bool lit) {
                             span(r, col, count < W - col ? count : W - col, pay, lit);
                         });
    }
    return true;
}

static void fillRun(uint8_t* d, const uint8_t* pixel, int32_t n, int32_t bpp);

void gfxFreeRleIndex(Surface* s) {
    memFree(s->rleIndex);
    s->rleIndex = nullptr;
}

void gfxBuildRleIndex(Surface* s) {
    gfxFreeRleIndex(s);
    if (!s->rle || !s->pixels || !s->info || s->info->bytesPerPixel == 0 || s->height <= 0) return;
    const int32_t bpp = s->info->bytesPerPixel;
    // Counting pass: spans after merging, and pixel bytes.
    int64_t spans = 0, bytes = 0;
    int32_t lastRow = -1, lastEnd = -1;
    const bool ok = forEachPacket(s, [&](int32_t r, int32_t col, int32_t n, const uint8_t*, bool) {
        if (r != lastRow || col != lastEnd) spans++;
        lastRow = r;
        lastEnd = col + n;
        bytes += int64_t(n) * bpp;
    });
    if (!ok) return;
    const int64_t head = int64_t(sizeof(RleIndexHead)) + int64_t(s->height + 1) * 4;
    const int64_t spanBytes = spans * int64_t(sizeof(RleSpan));
    const int64_t total = head + spanBytes + bytes;
    if (total > 0x7FFFFFFF) return;
    uint8_t* block = static_cast<uint8_t*>(memAlloc(int32_t(total)));
    if (!block) return;  // drawing walks the packets instead
    RleIndexHead* h = reinterpret_cast<RleIndexHead*>(block);
    uint32_t* first = reinterpret_cast<uint32_t*>(block + sizeof(RleIndexHead));
    RleSpan* sp = reinterpret_cast<RleSpan*>(block + head);
    uint8_t* px = block + head + spanBytes;
    h->rows = s->height;
    h->width = s->width;
    h->spans = uint32_t(spans);
    h->pad = 0;
    uint32_t k = 0, off = 0;
    int32_t row = 0;
    lastRow = -1;
    lastEnd = -1;
    forEachPacket(s, [&](int32_t r, int32_t col, int32_t n, const uint8_t* pay, bool lit) {
        while (row <= r) first[row++] = k;
        if (r == lastRow && col == lastEnd) {
            sp[k - 1].count = uint16_t(sp[k - 1].count + n);
        } else {
            sp[k++] = {uint16_t(r), uint16_t(col), uint16_t(n), 0, off};
        }
        lastRow = r;
        lastEnd = col + n;
        if (lit) {
            memcpy(px + off, pay, size_t(n) * size_t(bpp));
        } else {
            fillRun(px + off, pay, n, bpp);
        }
        off += uint32_t(n) * uint32_t(bpp);
    });
    while (row <= s->height) first[row++] = k;
    s->rleIndex = block;
}

// Copies n bytes between two different buffers without a library call: the runs of a sprite are short,
// and a call per run costs more than the copy.
static GFX_INLINE void copyRun(uint8_t* d, const uint8_t* s, size_t n) {
    if (n >= 16) {
        if (n > 256) {
            memcpy(d, s, n);
            return;
        }
        for (size_t i = 0; i + 16 < n; i += 16) memcpy(d + i, s + i, 16);
        memcpy(d + n - 16, s + n - 16, 16);
    } else if (n >= 8) {
        memcpy(d, s, 8);
        memcpy(d + n - 8, s + n - 8, 8);
    } else if (n >= 4) {
        memcpy(d, s, 4);
        memcpy(d + n - 4, s + n - 4, 4);
    } else if (n >= 2) {
        memcpy(d, s, 2);
        memcpy(d + n - 2, s + n - 2, 2);
    } else if (n) {
        *d = *s;
    }
}

#if GFX_HAVE_AVX2
// copyRun with 32-byte moves; the last move of a run ends at its end and may overlap the one before.
GFX_AVX2 static inline void copyRunAvx2(uint8_t* d, const uint8_t* s, size_t n) {
    if (n >= 32) {
        for (size_t i = 0; i + 32 < n; i += 32)
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + i),
                                _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i)));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + n - 32),
                            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + n - 32)));
    } else if (n >= 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + n - 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d), a);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + n - 16), b);
    } else {
        copyRun(d, s, n);
    }
}
#endif

// A plain copy of the same format through the index: each visible span is one move.
template <int Path>
static GFX_INLINE void copySpan(uint8_t* d, const uint8_t* s, size_t n) {
#if GFX_HAVE_AVX2
    if constexpr (Path == GFX_PATH_AVX2)
        copyRunAvx2(d, s, n);
    else
#endif
        copyRun(d, s, n);
}

template <int Path, int Bpp>
static GFX_INLINE void drawIndexRows(const uint8_t* index, int32_t c0, int32_t c1, int32_t row0, int32_t rows,
                                     uint8_t* dRow, int32_t dstPitch) {
    const RleIndexHead* h = reinterpret_cast<const RleIndexHead*>(index);
    const uint32_t* first = reinterpret_cast<const uint32_t*>(index + sizeof(RleIndexHead));
    const int64_t head = int64_t(sizeof(RleIndexHead)) + int64_t(h->rows + 1) * 4;
    const RleSpan* sp = reinterpret_cast<const RleSpan*>(index + head);
    const uint8_t* px = index + head + int64_t(h->spans) * int64_t(sizeof(RleSpan));
    // The spans of the visible rows lie together; each knows its row.
    const RleSpan* k = sp + first[row0];
    const RleSpan* const kEnd = sp + first[row0 + rows];
    if (c0 == 0 && c1 >= h->width) {
        // Nothing cut at the sides, as for most sprites: every span is drawn whole.
        for (; k < kEnd; k++)
            copySpan<Path>(dRow + ptrdiff_t(k->row - row0) * dstPitch + ptrdiff_t(k->col) * Bpp,
                           px + k->offset, size_t(k->count) * Bpp);
        return;
    }
    for (; k < kEnd; k++) {
        const int32_t col = k->col, end = col + k->count;
        const int32_t a = col > c0 ? col : c0, b = end < c1 ? end : c1;
        if (a < b)
            copySpan<Path>(dRow + ptrdiff_t(k->row - row0) * dstPitch + ptrdiff_t(a - c0) * Bpp,
                           px + k->offset + ptrdiff_t(a - col) * Bpp, size_t(b - a) * Bpp);
    }
}

template <int Path>
static GFX_INLINE void drawIndexAny(const uint8_t* index, int32_t bpp, int32_t c0, int32_t c1, int32_t row0,
                                    int32_t rows, uint8_t* dRow, int32_t dstPitch) {
    switch (bpp) {
        case 1:
            drawIndexRows<Path, 1>(index, c0, c1, row0, rows, dRow, dstPitch);
            break;
        case 2:
            drawIndexRows<Path, 2>(index, c0, c1, row0, rows, dRow, dstPitch);
            break;
        case 3:
            drawIndexRows<Path, 3>(index, c0, c1, row0, rows, dRow, dstPitch);
            break;
        default:
            drawIndexRows<Path, 4>(index, c0, c1, row0, rows, dRow, dstPitch);
            break;
    }
}
static void drawIndexSse2(const uint8_t* index, int32_t bpp, int32_t c0, int32_t c1, int32_t row0,
                          int32_t rows, uint8_t* dRow, int32_t dstPitch) {
    drawIndexAny<GFX_PATH_SSE2>(index, bpp, c0, c1, row0, rows, dRow, dstPitch);
}
#if GFX_HAVE_AVX2
GFX_AVX2 static void drawIndexAvx2(const uint8_t* index, int32_t bpp, int32_t c0, int32_t c1, int32_t row0,
                                   int32_t rows, uint8_t* dRow, int32_t dstPitch) {
    drawIndexAny<GFX_PATH_AVX2>(index, bpp, c0, c1, row0, rows, dRow, dstPitch);
}
#endif
typedef void (*DrawIndexFn)(const uint8_t* index, int32_t bpp, int32_t c0, int32_t c1, int32_t row0,
                            int32_t rows, uint8_t* dRow, int32_t dstPitch);
static const DrawIndexFn kDrawIndex[GFX_PATH_COUNT] = {drawIndexSse2,
#if GFX_HAVE_AVX2
                                                       drawIndexAvx2
#else
                                                       drawIndexSse2
#endif
};

// Same format, copy mode: literal runs move as bytes, fills are plain stores.
template <int Bpp>
struct PlainDraw {
    static constexpr int srcBpp = Bpp, dstBpp = Bpp;
    void literal(uint8_t* dp, const uint8_t* sp, int32_t n) const { copyRun(dp, sp, size_t(n) * Bpp); }
    void fill(uint8_t* dp, const uint8_t* sp, int32_t n) const {
        if constexpr (Bpp == 2 || Bpp == 4) {
            // The pixel repeated across 16 bytes; the last store may overlap the one before, which stays
            // exact because every store starts on a pixel boundary. Fills hold 4 pixels or more, so only a
            // clipped one is shorter than 8 bytes.
            const uint64_t half = Bpp == 2 ? uint64_t(gfxLoad16(sp)) * 0x0001000100010001ull
                                           : uint64_t(gfxLoad32(sp)) * 0x0000000100000001ull;
            const uint64_t pat[2] = {half, half};
            const size_t bytes = size_t(n) * Bpp;
            if (bytes >= 16) {
                for (size_t i = 0; i + 16 < bytes; i += 16) memcpy(dp + i, pat, 16);
                memcpy(dp + bytes - 16, pat, 16);
            } else if (bytes >= 8) {
                memcpy(dp, pat, 8);
                memcpy(dp + bytes - 8, pat, 8);
            } else {
                for (int32_t i = 0; i < n; i++) memcpy(dp + Bpp * i, pat, Bpp);
            }
        } else {
            for (int32_t i = 0; i < n; i++) memcpy(dp + Bpp * i, sp, Bpp);
        }
    }
};

// A fill of the index written out with the drawing's own stores, not a call per pixel.
static void fillRun(uint8_t* d, const uint8_t* pixel, int32_t n, int32_t bpp) {
    switch (bpp) {
        case 1:
            PlainDraw<1>{}.fill(d, pixel, n);
            break;
        case 2:
            PlainDraw<2>{}.fill(d, pixel, n);
            break;
        case 3:
            PlainDraw<3>{}.fill(d, pixel, n);
            break;
        case 4:
            PlainDraw<4>{}.fill(d, pixel, n);
            break;
        default:
            for (int32_t i = 0; i < n; i++) memcpy(d + size_t(i) * size_t(bpp), pixel, size_t(bpp));
    }
}

// Same direct-colour format, a blending mode: the blend inlined from the specialised loops' templates
// instead of a call through the table per pixel.
template <class F, int Mode>
struct BlendDraw {
    static constexpr int srcBpp = F::bpp, dstBpp = F::bpp;
    int32_t opacity;
    uint32_t colour;
    void literal(uint8_t* dp, const uint8_t* sp, int32_t n) const {
        for (int32_t i = 0; i < n; i++)
            F::write(dp + i * F::bpp, gfxBlendRGB<F, Mode>(F::read(dp + i * F::bpp), F::read(sp + i * F::bpp),
                                                           opacity, colour));
    }
    void fill(uint8_t* dp, const uint8_t* sp, int32_t n) const {
        const uint32_t v = F::read(sp);
        for (int32_t i = 0; i < n; i++)
            F::write(dp + i * F::bpp, gfxBlendRGB<F, Mode>(F::read(dp + i * F::bpp), v, opacity, colour));
    }
};

// Any other case: pixels converted to the destination's format and blended as the state asks.
struct RleDraw {
    static constexpr int srcBpp = 0, dstBpp = 0;  // known only at run time
    const Surface* src;
    Surface* dst;
    int32_t sbpp, dbpp;
    uint32_t (*read)(const uint8_t*);
    uint32_t (*dread)(const uint8_t*);
    void (*write)(uint8_t*, uint32_t);
    BlendFn blend;

    uint32_t value(const uint8_t* sp) const {
        uint32_t v = read(sp);
        return src->format == dst->format ? v : sfConvertColour(v, src, dst);
    }
    void literal(uint8_t* dp, const uint8_t* sp, int32_t n) const {
        for (int32_t i = 0; i < n; i++, sp += sbpp, dp += dbpp) put(dp, value(sp));
    }
    void fill(uint8_t* dp, const uint8_t* sp, int32_t n) const {
        const uint32_t v = value(sp);
        for (int32_t i = 0; i < n; i++, dp += dbpp) put(dp, v);
    }
    void put(uint8_t* dp, uint32_t v) const {
        if (blend) v = blend(dread(dp), v, g_gfx.opacity, g_gfx.colour);
        write(dp, v);
    }
};

struct RleRows {
    const uint8_t* table;  // row end offsets, 16- or 32-bit
    const uint8_t* data;   // packets
    uint32_t dataLen;
    int32_t sbpp, dbpp;
    int32_t c0, c1;  // visible source columns [c0, c1)
    int32_t row0, rows;
    uint8_t* dst;  // destination of column c0 in the first visible row
    int32_t dstPitch;
};

// Each visible row starts at its own offset from the row table. Nearly every packet lies wholly inside the
// visible columns and is drawn as it stands; only one straddling a clipped edge is cut.
template <bool Wide, class Draw>
static void walkRows(const RleRows& q, const Draw& d) {
    // Bytes per pixel as constants where the drawer fixes them, so the offsets below become shifts.
    const int32_t sbpp = Draw::srcBpp ? Draw::srcBpp : q.sbpp, dbpp = Draw::dstBpp ? Draw::dstBpp : q.dbpp;
    const int32_t c0 = q.c0, c1 = q.c1;
    uint8_t* dRow = q.dst;
    uint32_t start = q.row0 > 0 ? rowEnd<Wide>(q.table, q.row0 - 1) : 0;
    for (int32_t r = 0; r < q.rows; r++, dRow += q.dstPitch) {
        const uint32_t end = rowEnd<Wide>(q.table, q.row0 + r);
        const uint32_t from = start;
        start = end;
        if (end > q.dataLen || from > end) continue;  // a damaged table: draw nothing of this row
        forEachRowPacket(q.data + from, q.data + end, sbpp, c1,
                         [&](int32_t col, int32_t count, const uint8_t* pay, bool lit) {
                             if (col >= c0 && col + count <= c1) {
                                 uint8_t* dp = dRow + (col - c0) * dbpp;
                                 if (lit)
                                     d.literal(dp, pay, count);
                                 else
                                     d.fill(dp, pay, count);
                                 return;
                             }
                             const int32_t a = col > c0 ? col : c0, b = col + count < c1 ? col + count : c1;
                             if (a >= b) return;
                             uint8_t* dp = dRow + (a - c0) * dbpp;
                             if (lit)
                                 d.literal(dp, pay + (a - col) * sbpp, b - a);
                             else
                                 d.fill(dp, pay, b - a);
                         });
    }
}

template <class Draw>
static void walk(const RleRows& q, bool wide, const Draw& d) {
    if (wide)
        walkRows<true>(q, d);
    else
        walkRows<false>(q, d);
}

template <class F>
static bool walkBlended(const RleRows& q, bool wide, int32_t mode) {
    const int32_t opacity = g_gfx.opacity;
    const uint32_t colour = g_gfx.colour;
    switch (mode) {
        case 1:
            walk(q, wide, BlendDraw<F, 1>{opacity, colour});
            return true;
        case 2:
            walk(q, wide, BlendDraw<F, 2>{opacity, colour});
            return true;
        case 3:
            walk(q, wide, BlendDraw<F, 3>{opacity, colour});
            return true;
        case 4:
            walk(q, wide, BlendDraw<F, 4>{opacity, colour});
            return true;
        default:
            return false;
    }
}

// Same format and a blending mode: the inlined blends where the specialised loops have them (the fast
// paths switch), else false for the per-pixel drawer.
static bool walkSameFormat(const RleRows& q, bool wide, int32_t format, int32_t mode) {
    if (!g_gfx.fastPaths) return false;
    switch (format) {
        case pf444:
            return walkBlended<Fmt444>(q, wide, mode);
        case pf555:
            return walkBlended<Fmt555>(q, wide, mode);
        case pf565:
            return walkBlended<Fmt565>(q, wide, mode);
        case pf888:
            return walkBlended<Fmt888>(q, wide, mode);
        case pf8888:
            return walkBlended<Fmt8888>(q, wide, mode);
        default:
            return false;
    }
}

int32_t sfBlitRLE(const Surface* src, Surface* dst, int32_t x, int32_t y, const Rect* srcRect) {
    if (!src || !dst || !src->rle || !src->pixels || !src->info || !gfxValidFormat(src->format) ||
        !dst->pixels || dst->rle || !dst->info || !gfxValidFormat(dst->format) || g_gfx.opacity == 0)
        return 1;
    const int32_t sbpp = src->info->bytesPerPixel, dbpp = dst->info->bytesPerPixel;
    if (sbpp == 0 || dbpp == 0 || dst->xStep != dbpp) return 1;
    int32_t sx, sy, w, h;
    if (!gfxClipBlit(src, dst, &x, &y, srcRect, true, &sx, &sy, &w, &h)) return 1;
    const uint32_t tableSize = uint32_t(src->height) * (src->rleWideRows ? 4 : 2);
    if (tableSize > src->dataSize) return 1;
    RleRows q;
    q.table = src->pixels;
    q.data = src->pixels + tableSize;
    q.dataLen = src->dataSize - tableSize;
    q.sbpp = sbpp;
    q.dbpp = dbpp;
    q.c0 = sx;
    q.c1 = sx + w;
    q.row0 = sy;
    q.rows = h;
    q.dst = sfPixelAddress(dst, x, y);
    q.dstPitch = dst->rowPitch;
    const bool wide = src->rleWideRows;
    const int32_t mode = g_gfx.drawMode;
    if (src->format == dst->format && mode == 0) {
        if (src->rleIndex && g_gfx.fastPaths) {
            kDrawIndex[g_gfx.path](src->rleIndex, dbpp, q.c0, q.c1, q.row0, q.rows, q.dst, q.dstPitch);
            return 1;
        }
        switch (dbpp) {
            case 1:
                walk(q, wide, PlainDraw<1>());
                break;
            case 2:
                walk(q, wide, PlainDraw<2>());
                break;
            case 3:
                walk(q, wide, PlainDraw<3>());
                break;
            default:
                walk(q, wide, PlainDraw<4>());
                break;
        }
        return 1;
    }
    if (src->format == dst->format && walkSameFormat(q, wide, dst->format, mode)) return 1;
    RleDraw d = {src,
                 dst,
                 sbpp,
                 dbpp,
                 sfGetFormatOps(src->format)->read,
                 sfGetFormatOps(dst->format)->read,
                 sfGetFormatOps(dst->format)->write,
                 mode ? gfxGetBlend(dst->format, mode) : nullptr};
    walk(q, wide, d);
    return 1;
}
