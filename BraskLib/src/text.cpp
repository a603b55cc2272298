// Narrow and wide text: conversions, case-insensitive comparison, padding, paths, number formatting and
// parsing.
//
// [SECTION] Characters        space test, case folding, the signed view of narrow bytes
// [SECTION] Strings           duplicate, convert, compare, upper-case, pad, split, match, hash
// [SECTION] Numbers           integer and float formatting, integer parsing
// [SECTION] Runtime wrappers  length, copy, append, search under the engine's names
//
// Narrow and wide forms share one template each, so the two can never drift apart. Narrow bytes are read
// through `signed char` on purpose: the handheld's compiler treated char as signed, and plain char is
// unsigned on ARM Linux, which would change both comparisons and widening (0xE9 must widen to 0xFFE9). Number
// code computes in uint32_t: wrap-around is the intended arithmetic, and signed overflow would be UB.
#include "brask/text.h"

#include <cmath>

#include "brask/memory.h"
#include "brask/vfs.h"

//-----------------------------------------------------------------------------
// [SECTION] Characters
//-----------------------------------------------------------------------------

namespace {

// The character's value as the comparisons see it: narrow bytes signed, wide units unsigned.
inline int32_t charValue(char c) {
    return (signed char)c;
}
inline int32_t charValue(char16_t c) {
    return c;
}

inline int32_t foldValue(int32_t v) {
    return (v >= 'a' && v <= 'z') ? v - ('a' - 'A') : v;
}

template <typename C>
int isSpaceT(C c) {
    int32_t v = charValue(c);
    return v == 0 || v == 9 || v == 10 || v == 13 || v == 32;
}

template <typename C>
int32_t lenT(const C* s) {
    if (!s) return 0;
    int32_t n = 0;
    while (s[n]) n++;
    return n;
}

}  // namespace

int strIsSpace(char c) {
    return isSpaceT(c);
}
int wstrIsSpace(char16_t c) {
    return isSpaceT(c);
}

//-----------------------------------------------------------------------------
// [SECTION] Strings
//-----------------------------------------------------------------------------

namespace {

template <typename C>
C* dupT(const C* s) {
    if (!s) return nullptr;
    int32_t n = lenT(s);
    // (n + 1) * sizeof(C) must fit the allocator's int32 size.
    if ((int64_t)(n + 1) * (int64_t)sizeof(C) > INT32_MAX) return nullptr;
    C* d = (C*)memAlloc((n + 1) * (int32_t)sizeof(C));
    if (!d) return nullptr;
    memCopy(d, s, (n + 1) * (int32_t)sizeof(C));
    return d;
}

template <typename C>
int iCmpT(const C* a, const C* b) {
    // A missing text compares as an empty one.
    static const C empty[1] = {0};
    if (!a) a = empty;
    if (!b) b = empty;
    for (;; a++, b++) {
        if (!*a) return *b ? -1 : 0;
        if (!*b) return 1;
        int32_t ca = foldValue(charValue(*a)), cb = foldValue(charValue(*b));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
}

template <typename C>
C* upperT(C* s) {
    if (!s) return nullptr;
    for (; *s; s++)
        if (*s >= 'a' && *s <= 'z') *s = (C)(*s - ('a' - 'A'));
    return s;
}

template <typename C>
void padT(C* s, int32_t width, C fill) {
    if (!s || width == 0) return;
    int64_t len = lenT(s);
    if (width > 0) {
        if (len >= width) return;
        for (int64_t i = len; i < width; i++) s[i] = fill;
        s[width] = 0;
        return;
    }
    int64_t w = -(int64_t)width;  // INT32_MIN must not overflow
    if (len >= w) return;
    int64_t shift = w - len;
    for (int64_t i = len; i >= 0; i--) s[i + shift] = s[i];  // from the end: the ranges overlap
    for (int64_t i = 0; i < shift; i++) s[i] = fill;
}

// Index of the last '/' in s, or -1.
int32_t lastSlash(const char16_t* s, int32_t len) {
    for (int32_t i = len - 1; i >= 0; i--)
        if (s[i] == u'/') return i;
    return -1;
}

void copyRange(char16_t* dst, const char16_t* src, int32_t n) {
    for (int32_t i = 0; i < n; i++) dst[i] = src[i];
    dst[n] = 0;
}

}  // namespace

char* strDup(const char* s) {
    return dupT(s);
}
char16_t* wstrDup(const char16_t* s) {
    return dupT(s);
}

int strToWstr(const char* src, char16_t* dst, int32_t max) {
    if (!src || !dst) return 0;
    int32_t i = 0;
    for (; (max < 0 || i < max) && src[i]; i++) dst[i] = (char16_t)(int16_t)(signed char)src[i];
    dst[i] = 0;
    return 1;
}

int wstrToStr(const char16_t* src, char* dst, int32_t max) {
    if (!src || !dst) return 0;
    int32_t i = 0;
    for (; (max < 0 || i < max) && src[i]; i++) dst[i] = src[i] > 255 ? '?' : (char)(unsigned char)src[i];
    dst[i] = 0;
    return 1;
}

int strICmp(const char* a, const char* b) {
    return iCmpT(a, b);
}
int wstrICmp(const char16_t* a, const char16_t* b) {
    return iCmpT(a, b);
}
char* strUpper(char* s) {
    return upperT(s);
}
char16_t* wstrUpper(char16_t* s) {
    return upperT(s);
}

void wstrToSlashes(char16_t* s) {
    if (!s) return;
    for (; *s; s++)
        if (*s == u'\\') *s = u'/';
}

void strPad(char* s, int32_t width, char fill) {
    padT(s, width, fill);
}
void wstrPad(char16_t* s, int32_t width, char16_t fill) {
    padT(s, width, fill);
}

void wstrSplitPath(const char16_t* path, char16_t* folder, char16_t* name, char16_t* ext) {
    if (!path) return;
    int32_t len = wstrLen(path);
    int32_t slash = lastSlash(path, len);
    int32_t dot = -1;
    for (int32_t i = len - 1; i > slash; i--)
        if (path[i] == u'.') {
            dot = i;
            break;
        }
    int32_t nameEnd = dot >= 0 ? dot : len;
    if (folder) copyRange(folder, path, slash > 0 ? slash : 0);
    if (name) copyRange(name, path + slash + 1, nameEnd - slash - 1);
    if (ext && dot >= 0) copyRange(ext, path + dot, len - dot);
}

void wstrSplitFolder(const char16_t* path, char16_t* folder, char16_t* file) {
    if (!path) return;
    int32_t len = wstrLen(path);
    int32_t slash = lastSlash(path, len);
    if (folder) copyRange(folder, path, slash > 0 ? slash : 0);
    if (file) copyRange(file, path + slash + 1, len - slash - 1);
}

int wstrMatch(const char16_t* text, const char16_t* pattern) {
    if (!text || !pattern) return 0;
    while (*text && *pattern) {
        char16_t p = *pattern;
        if (p == u'*') {
            // The rest of the pattern must line up with the end of the text; no backtracking.
            int32_t textRest = wstrLen(text), patternRest = wstrLen(pattern + 1);
            if (textRest < patternRest) return 0;
            text += textRest - patternRest;
            pattern++;
            continue;
        }
        if (p != u'?' && foldValue(p) != foldValue(*text)) return 0;
        text++;
        pattern++;
    }
    return !*text && !*pattern;
}

int32_t strHash(const char* s) {
    int32_t len = strLen(s);
    uint32_t h = (uint32_t)len;
    int32_t step = (len >> 5) + 1;
    for (int32_t i = len; i >= step; i -= step) {
        // The shifts are arithmetic on the signed value; the sum wraps.
        uint32_t sar = (uint32_t)((int32_t)h >> 2);
        h ^= (h << 5) + sar + (uint32_t)(unsigned char)s[i - 1];
    }
    return (int32_t)h;
}

int appMakePath(const char16_t* name, int32_t folder, char16_t* dst, int32_t size) {
    if (!name || !*name || !dst || size <= 0 || folder < 0 || folder > 3) return 0;
    const char16_t* path = vfsGetFolder(folder);
    if (!path) return 0;
    int64_t folderLen = wstrLen(path), nameLen = wstrLen(name);
    if (folderLen + nameLen >= size) return 0;  // the terminator needs the last place
    wstrCopy(dst, path);
    wstrCopy(dst + folderLen, name);
    return 1;
}

//-----------------------------------------------------------------------------
// [SECTION] Numbers
//-----------------------------------------------------------------------------

namespace {

const char kDigits[] = "0123456789ABCDEF";

// Writes at most `limit` characters (<= 0: no limit) and a terminator; returns the characters written.
template <typename C>
int32_t fromIntT(C* dst, int32_t value, int32_t base, int32_t limit) {
    if (!dst || base < 2 || base > 16) return 0;
    int32_t n = 0;
    auto room = [&] { return limit <= 0 || n < limit; };
    uint32_t magnitude = (uint32_t)value;
    if (base == 10 && value < 0) {
        dst[n++] = '-';
        magnitude = 0u - magnitude;  // INT32_MIN has no positive int32 form
    }
    char digits[32];
    int32_t count = 0;
    do {
        digits[count++] = kDigits[magnitude % (uint32_t)base];
        magnitude /= (uint32_t)base;
    } while (magnitude);
    while (count > 0 && room()) dst[n++] = (C)digits[--count];
    dst[n] = 0;
    return n;
}

template <typename C>
int32_t fromFloatT(C* dst, float v, int32_t decimals, int32_t max) {
    if (!dst) return 0;
    int32_t n = 0;
    auto full = [&] { return max > 0 && n >= max; };
    auto putText = [&](const char* t) {
        for (; *t && !full(); t++) dst[n++] = (C)*t;
        dst[n] = 0;
        return n;
    };
    // NaN would run the digit loop forever (NaN never becomes 0) and has no integer part.
    if (std::isnan(v)) return putText("nan");
    if (v < 0) {
        dst[n++] = '-';
        if (full()) {
            dst[n] = 0;
            return n;
        }
        v = -v;
    }
    if (v >= 2147483648.0f) return putText("inf");
    int32_t whole = (int32_t)v;
    n += fromIntT(dst + n, whole, 10, max > 0 ? max - n : 0);
    float f = v - (float)whole;  // exact: whole holds the value's integer bits
    if (f == 0.0f && decimals == 0) return n;
    if (full()) return n;
    dst[n++] = '.';
    // At least one digit follows the point, so 5.0 with no fixed decimals reads "5.0", not "5.".
    for (int32_t written = 0; !full();) {
        f = f * 10.0f;
        int32_t digit = (int32_t)f;  // truncated, never rounded
        if (digit > 9) digit = 9;
        dst[n++] = (C)('0' + digit);
        f = f - (float)digit;
        written++;
        if (decimals > 0 ? written >= decimals : f == 0.0f) break;
    }
    dst[n] = 0;
    return n;
}

template <typename C>
int32_t parseIntT(const C* text, int32_t* value, int32_t base, int32_t max) {
    int32_t count = 0;
    bool stop = false;
    // Every character read counts; the limit ends reading after the character that reaches it.
    auto next = [&]() -> int32_t {
        int32_t c = charValue(text[count++]);
        if (max > 0 && count >= max) stop = true;
        return c;
    };
    auto digitOf = [](int32_t c) -> uint32_t {
        if (c >= '0' && c <= '9') return (uint32_t)(c - '0');
        if (c >= 'a' && c <= 'f') return (uint32_t)(c - 'a' + 10);
        if (c >= 'A' && c <= 'F') return (uint32_t)(c - 'A' + 10);
        return 99;
    };
    uint32_t result = 0;
    bool negative = false;
    int32_t c = next();
    while (!stop && c != 0 && isSpaceT((C)c)) c = next();
    if (!stop && base == 10 && c == '-') {
        negative = true;
        c = next();
    }
    for (;;) {
        uint32_t d = digitOf(c);
        if (d >= (uint32_t)base) break;
        result = result * (uint32_t)base + d;
        if (stop) break;
        c = next();
    }
    *value = (int32_t)(negative ? 0u - result : result);
    return count;
}

}  // namespace

int32_t strFromInt(char* dst, int32_t value, int32_t base) {
    return fromIntT(dst, value, base, 0);
}
int32_t wstrFromInt(char16_t* dst, int32_t value, int32_t base) {
    return fromIntT(dst, value, base, 0);
}
int32_t strFromIntLimit(char* dst, int32_t value, int32_t base, int32_t limit) {
    return fromIntT(dst, value, base, limit);
}
int32_t wstrFromIntLimit(char16_t* dst, int32_t value, int32_t base, int32_t limit) {
    return fromIntT(dst, value, base, limit);
}
int32_t strFromFloat(char* dst, float value, int32_t decimals, int32_t max) {
    return fromFloatT(dst, value, decimals, max);
}
int32_t wstrFromFloat(char16_t* dst, float value, int32_t decimals, int32_t max) {
    return fromFloatT(dst, value, decimals, max);
}

int32_t strParseInt(const void* text, int32_t* value, int wide, int32_t base, int32_t max) {
    if (!text || !value || base < 2 || base > 16) return 0;
    *value = 0;
    return wide ? parseIntT((const char16_t*)text, value, base, max)
                : parseIntT((const char*)text, value, base, max);
}

int32_t strToInt(const char* s) {
    int32_t v = 0;
    strParseInt(s, &v, 0, 10, 0);
    return v;
}

int32_t strHexToInt(const char* s) {
    int32_t v = 0;
    strParseInt(s, &v, 0, 16, 0);
    return v;
}

//-----------------------------------------------------------------------------
// [SECTION] Runtime wrappers
//-----------------------------------------------------------------------------
// As the C runtime's routines, except that a missing text reads as empty and a missing destination is left
// alone, so bad input never crashes.

int32_t strLen(const char* s) {
    return lenT(s);
}

int strCmp(const char* a, const char* b) {
    if (!a) a = "";
    if (!b) b = "";
    for (; *a && *a == *b; a++, b++) {
    }
    unsigned char ca = (unsigned char)*a, cb = (unsigned char)*b;
    return ca < cb ? -1 : ca > cb ? 1 : 0;
}

int32_t wstrLen(const char16_t* s) {
    return lenT(s);
}

char16_t* wstrCopy(char16_t* dst, const char16_t* src) {
    if (!dst || !src) return dst;
    char16_t* d = dst;
    while ((*d++ = *src++) != 0) {
    }
    return dst;
}

char16_t* wstrCat(char16_t* dst, const char16_t* src) {
    if (!dst || !src) return dst;
    wstrCopy(dst + wstrLen(dst), src);
    return dst;
}

char16_t* wstrNCopy(char16_t* dst, const char16_t* src, int32_t n) {
    if (!dst || !src) return dst;
    int32_t i = 0;
    for (; i < n && src[i]; i++) dst[i] = src[i];
    for (; i < n; i++) dst[i] = 0;
    return dst;
}

char16_t* wstrChr(const char16_t* s, char16_t c) {
    if (!s) return nullptr;
    for (;; s++) {
        if (*s == c) return (char16_t*)s;
        if (!*s) return nullptr;
    }
}
