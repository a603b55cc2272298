// Narrow (byte) and wide (UTF-16 code unit) text, conversions, number formatting and parsing, paths.
//
// Narrow characters are compared and widened as signed bytes; wide characters are unsigned 16-bit. Case
// folding maps only a..z to A..Z. Allocating functions use memAlloc; the caller frees with memFree.
#pragma once
#include <cstdint>

int strIsSpace(char c);  // NUL, tab, line feed, carriage return, space
int wstrIsSpace(char16_t c);

char* strDup(const char* s);  // null for null or a failed allocation
char16_t* wstrDup(const char16_t* s);

int strToWstr(const char* src, char16_t* dst, int32_t max);  // max < 0: no limit; dst needs max + 1
int wstrToStr(const char16_t* src, char* dst, int32_t max);  // characters above 255 become '?'

int strICmp(const char* a, const char* b);  // -1, 0 or 1
int wstrICmp(const char16_t* a, const char16_t* b);
char* strUpper(char* s);  // returns the end of the text
char16_t* wstrUpper(char16_t* s);
void wstrToSlashes(char16_t* s);
void strPad(char* s, int32_t width, char fill);  // width < 0: right-justify in -width
void wstrPad(char16_t* s, int32_t width, char16_t fill);
void wstrSplitPath(const char16_t* path, char16_t* folder, char16_t* name, char16_t* ext);
void wstrSplitFolder(const char16_t* path, char16_t* folder, char16_t* file);
int wstrMatch(const char16_t* text, const char16_t* pattern);  // ? one character, * aligns to the end
int32_t strHash(const char* s);
// folder (1 program, 2 documents, 3 data) + name into dst of `size` characters; 0 when it does not fit.
int appMakePath(const char16_t* name, int32_t folder, char16_t* dst, int32_t size);

// Integer formatting in base 2..16 (other bases: nothing, 0). Returns the characters written, terminator
// excluded. The limited forms write at most `limit` characters (<= 0: no limit) plus the terminator.
int32_t strFromInt(char* dst, int32_t value, int32_t base);
int32_t wstrFromInt(char16_t* dst, int32_t value, int32_t base);
int32_t strFromIntLimit(char* dst, int32_t value, int32_t base, int32_t limit);
int32_t wstrFromIntLimit(char16_t* dst, int32_t value, int32_t base, int32_t limit);
// Float formatting: digits truncated, never rounded; max <= 0: no limit on the characters.
int32_t strFromFloat(char* dst, float value, int32_t decimals, int32_t max);
int32_t wstrFromFloat(char16_t* dst, float value, int32_t decimals, int32_t max);
// Parses text (narrow when wide is 0, else char16_t) in base 2..16; returns the characters read.
int32_t strParseInt(const void* text, int32_t* value, int wide, int32_t base, int32_t max);
int32_t strToInt(const char* s);  // base 10, no limit
int32_t strHexToInt(const char* s);

// Thin wrappers of the runtime's routines, under the engine's names.
int32_t strLen(const char* s);
int strCmp(const char* a, const char* b);
int32_t wstrLen(const char16_t* s);
char16_t* wstrCopy(char16_t* dst, const char16_t* src);
char16_t* wstrCat(char16_t* dst, const char16_t* src);
char16_t* wstrNCopy(char16_t* dst, const char16_t* src, int32_t n);  // as wcsncpy: pads, may not terminate
char16_t* wstrChr(const char16_t* s, char16_t c);
