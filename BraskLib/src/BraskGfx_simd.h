// AVX2 building blocks of the graphics module's loops: 16-bit lane vectors of two widths and the 565 blends
// written on them. Everything here is compiled for AVX2 alone (GFX_AVX2) and is only reached through the
// AVX2 row of a loop table, so the baseline build never executes it.
//
// [SECTION] Vectors of 16-bit lanes
// [SECTION] 565 blends, sixteen or eight pixels at a time
// [SECTION] Rows of 565 pixels
#pragma once
#include "BraskGfx_internal.h"

#if GFX_HAVE_AVX2
#include <immintrin.h>

// =====================================================================================================
// [SECTION] Vectors of 16-bit lanes
// =====================================================================================================

// The same operations on 16, 8 or 4 lanes, so one blend template serves a long row and the short tail of
// a glyph. Loads and stores are unaligned; V4 touches only 8 bytes.
struct V16 {
    using T = __m256i;
    static constexpr int n = 16;
    GFX_AVX2 static T load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const T*>(p)); }
    GFX_AVX2 static void store(uint8_t* p, T v) { _mm256_storeu_si256(reinterpret_cast<T*>(p), v); }
    GFX_AVX2 static T set(uint32_t v) { return _mm256_set1_epi16(int16_t(v)); }
    GFX_AVX2 static T add(T a, T b) { return _mm256_add_epi16(a, b); }
    GFX_AVX2 static T sub(T a, T b) { return _mm256_sub_epi16(a, b); }
    GFX_AVX2 static T mul(T a, T b) { return _mm256_mullo_epi16(a, b); }
    GFX_AVX2 static T mulhi(T a, T b) { return _mm256_mulhi_epu16(a, b); }
    GFX_AVX2 static T band(T a, T b) { return _mm256_and_si256(a, b); }
    GFX_AVX2 static T bor(T a, T b) { return _mm256_or_si256(a, b); }
    GFX_AVX2 static T min(T a, T b) { return _mm256_min_epu16(a, b); }
    GFX_AVX2 static T eq(T a, T b) { return _mm256_cmpeq_epi16(a, b); }
    GFX_AVX2 static T pick(T a, T b, T m) { return _mm256_blendv_epi8(a, b, m); }  // b where m
    template <int k>
    GFX_AVX2 static T shr(T a) {
        return _mm256_srli_epi16(a, k);
    }
    template <int k>
    GFX_AVX2 static T shl(T a) {
        return _mm256_slli_epi16(a, k);
    }
};
struct V8 {
    using T = __m128i;
    static constexpr int n = 8;
    GFX_AVX2 static T load(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const T*>(p)); }
    GFX_AVX2 static void store(uint8_t* p, T v) { _mm_storeu_si128(reinterpret_cast<T*>(p), v); }
    GFX_AVX2 static T set(uint32_t v) { return _mm_set1_epi16(int16_t(v)); }
    GFX_AVX2 static T add(T a, T b) { return _mm_add_epi16(a, b); }
    GFX_AVX2 static T sub(T a, T b) { return _mm_sub_epi16(a, b); }
    GFX_AVX2 static T mul(T a, T b) { return _mm_mullo_epi16(a, b); }
    GFX_AVX2 static T mulhi(T a, T b) { return _mm_mulhi_epu16(a, b); }
    GFX_AVX2 static T band(T a, T b) { return _mm_and_si128(a, b); }
    GFX_AVX2 static T bor(T a, T b) { return _mm_or_si128(a, b); }
    GFX_AVX2 static T min(T a, T b) { return _mm_min_epu16(a, b); }
    GFX_AVX2 static T eq(T a, T b) { return _mm_cmpeq_epi16(a, b); }
    GFX_AVX2 static T pick(T a, T b, T m) { return _mm_blendv_epi8(a, b, m); }
    template <int k>
    GFX_AVX2 static T shr(T a) {
        return _mm_srli_epi16(a, k);
    }
    template <int k>
    GFX_AVX2 static T shl(T a) {
        return _mm_slli_epi16(a, k);
    }
};
struct V4 : V8 {
    static constexpr int n = 4;
    GFX_AVX2 static T load(const uint8_t* p) { return _mm_loadl_epi64(reinterpret_cast<const T*>(p)); }
    GFX_AVX2 static void store(uint8_t* p, T v) { _mm_storel_epi64(reinterpret_cast<T*>(p), v); }
};

// =====================================================================================================
// [SECTION] 565 blends, sixteen or eight pixels at a time
// =====================================================================================================

// k = blue x 256 / 31 (truncating) for every blue field 0..31, as ((blue << 8) x this >> 16) >> 2; the
// tests compare it with the division for all 32 values.
constexpr uint32_t kGfxMulHiCover31 = 8457;

// What a blit's blend needs, spread across the lanes once per blit.
template <class V>
struct Blend565Args {
    typename V::T key, a, na, colour, cr, cg, cb;
    GFX_AVX2 Blend565Args(uint32_t keyValue, int32_t opacity, uint32_t colourValue) {
        key = V::set(keyValue);
        a = V::set(uint32_t(opacity));
        na = V::set(uint32_t(256 - opacity));
        colour = V::set(colourValue);
        cr = V::set((colourValue >> 11) & 31);
        cg = V::set((colourValue >> 5) & 63);
        cb = V::set(colourValue & 31);
    }
};

// gfxBlendRGB<Fmt565, Mode> (and the key test of rgbRow) on whole vectors, with the same 16-bit channel
// arithmetic: every sum stays below 65536, so no lane ever wraps.
template <class V, bool Keyed, int Mode>
GFX_AVX2 GFX_INLINE typename V::T blend565(typename V::T d, typename V::T s, const Blend565Args<V>& q) {
    using T = typename V::T;
    const T m6 = V::set(63), m5 = V::set(31);
    T out;
    if constexpr (Mode == 0) {
        out = s;
    } else if constexpr (Mode == 4) {
        out = q.colour;
    } else {
        const T dr = V::template shr<11>(d), dg = V::band(V::template shr<5>(d), m6), db = V::band(d, m5);
        T r, g, b;
        if constexpr (Mode == 1 || Mode == 2) {
            const T sr = V::template shr<11>(s), sg = V::band(V::template shr<5>(s), m6), sb = V::band(s, m5);
            if constexpr (Mode == 1) {
                r = V::template shr<8>(V::add(V::mul(sr, q.a), V::mul(dr, q.na)));
                g = V::template shr<8>(V::add(V::mul(sg, q.a), V::mul(dg, q.na)));
                b = V::template shr<8>(V::add(V::mul(sb, q.a), V::mul(db, q.na)));
            } else {
                r = V::min(V::template shr<8>(V::add(V::mul(sr, q.a), V::template shl<8>(dr))), m5);
                g = V::min(V::template shr<8>(V::add(V::mul(sg, q.a), V::template shl<8>(dg))), m6);
                b = V::min(V::template shr<8>(V::add(V::mul(sb, q.a), V::template shl<8>(db))), m5);
            }
        } else {
            const T k =
                V::template shr<2>(V::mulhi(V::template shl<8>(V::band(s, m5)), V::set(kGfxMulHiCover31)));
            const T nk = V::sub(V::set(256), k);
            r = V::template shr<8>(V::add(V::mul(q.cr, k), V::mul(dr, nk)));
            g = V::template shr<8>(V::add(V::mul(q.cg, k), V::mul(dg, nk)));
            b = V::template shr<8>(V::add(V::mul(q.cb, k), V::mul(db, nk)));
        }
        out = V::bor(V::bor(V::template shl<11>(r), V::template shl<5>(g)), b);
    }
    if constexpr (Keyed) out = V::pick(out, d, V::eq(s, q.key));
    return out;
}

// =====================================================================================================
// [SECTION] Rows of 565 pixels
// =====================================================================================================

// A row of at least V::n pixels. The last vector ends at the row's end and may overlap the one before; it
// is computed from the destination as it was, before any store, so the pixels both cover get the same
// value twice, whatever the mode.
template <class V, bool Keyed, int Mode>
GFX_AVX2 GFX_INLINE void row565(const uint8_t* s, uint8_t* d, int32_t w, const Blend565Args<V>& q) {
    const int32_t last = 2 * (w - V::n);
    const typename V::T tail = blend565<V, Keyed, Mode>(V::load(d + last), V::load(s + last), q);
    for (int32_t i = 0; i < last; i += 2 * V::n)
        V::store(d + i, blend565<V, Keyed, Mode>(V::load(d + i), V::load(s + i), q));
    V::store(d + last, tail);
}

// Short rows gathered into one 16-lane vector: a row of 8 to 16 pixels as its first and last 8, two rows
// of 4 to 8 pixels as the first and last 4 of each. Where the pieces overlap, the lanes hold the same
// pixels, get the same values, and the stores write them twice.
GFX_AVX2 GFX_INLINE __m256i gfxLoad2x8(const uint8_t* a, const uint8_t* b) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(V8::load(a)), V8::load(b), 1);
}
GFX_AVX2 GFX_INLINE void gfxStore2x8(uint8_t* a, uint8_t* b, __m256i v) {
    V8::store(a, _mm256_castsi256_si128(v));
    V8::store(b, _mm256_extracti128_si256(v, 1));
}
GFX_AVX2 GFX_INLINE __m256i gfxLoad4x4(const uint8_t* a, const uint8_t* b, const uint8_t* c,
                                       const uint8_t* d) {
    const __m128i lo = _mm_unpacklo_epi64(V4::load(a), V4::load(b));
    const __m128i hi = _mm_unpacklo_epi64(V4::load(c), V4::load(d));
    return _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
}
GFX_AVX2 GFX_INLINE void gfxStore4x4(uint8_t* a, uint8_t* b, uint8_t* c, uint8_t* d, __m256i v) {
    const __m128i lo = _mm256_castsi256_si128(v), hi = _mm256_extracti128_si256(v, 1);
    // The high halves moved down and stored like the low ones: _mm_storeh_pd stores through a double*,
    // which must be aligned.
    V4::store(a, lo);
    V4::store(b, _mm_unpackhi_epi64(lo, lo));
    V4::store(c, hi);
    V4::store(d, _mm_unpackhi_epi64(hi, hi));
}

#endif
