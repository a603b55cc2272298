// Graphics core: pixel formats, surfaces, palettes, drawing state, primitives, blitters and encoded sprites.
#pragma once
#include <cstdint>

#include "brask/containers.h"

// ---- Rectangles ----

// Covers x <= px < x + width, y <= py < y + height; a width or height of 0 or less covers nothing.
struct Rect {
    int32_t x, y, width, height;
};

int32_t rectOverlap(const Rect* a, const Rect* b);  // 1 when the two share a pixel; 0 for an empty one

// ---- Pixel formats ----

enum PixelFormat {
    pfUndefined = 0,
    pfPalette = 1,
    pf444 = 2,
    pf555 = 3,
    pf565 = 4,
    pf888 = 5,
    pf8888 = 6,
    pfMono1 = 7,
    pfMono2 = 8,
    pfMono4 = 9,
    pfMono8 = 10,
    PF_COUNT = 11
};

// One row of the format table. The name is a real pointer on 64-bit: copy rows by sizeof.
struct PixelFormatInfo {
    int32_t channels, bytesPerPixel, pixelsPerByte, bitsPerPixel;
    int32_t bitsR, bitsG, bitsB, bitsA;
    int32_t shiftR, shiftG, shiftB, shiftA;
    int32_t maxR, maxG, maxB, maxA;
    int32_t monoMask;
    const char* name;
};

struct Surface;

// The seven operations per format; a null slot means the format has none.
struct PixelFormatOps {
    uint32_t (*fromRGB)(uint32_t rgb);                     // 0x00RRGGBB to a pixel value (truncating)
    uint32_t (*toRGB)(uint32_t value);                     // pixel value to 0x00RRGGBB
    uint32_t (*read)(const uint8_t* p);                    // pixel value at an address
    uint32_t (*readBytes)(const uint8_t* p);               // the same by single bytes
    void (*write)(uint8_t* p, uint32_t value);             // store a pixel value
    void (*writeBytes)(uint8_t* p, uint32_t value);        // the same by single bytes
    int32_t (*blitFast)(const Surface* src, Surface* dst,  // same-format copier; 0 = not handled
                        int32_t dstX, int32_t dstY, int32_t srcX, int32_t srcY, int32_t width,
                        int32_t height);
};

const PixelFormatInfo* sfGetFormat(int32_t format);    // row for 1..10, null otherwise
const PixelFormatOps* sfGetFormatOps(int32_t format);  // operations for 1..10, null otherwise

// ---- Palettes ----

// 256 colours plus their copy converted for one target format. cachePalette is a real pointer on 64-bit.
struct Palette {
    uint32_t count;         // colours in use, at most 256
    uint32_t cacheFormat;   // format the cache was built for; 0 = no cache
    Palette* cachePalette;  // for a cache of format 1: the palette whose indices the cache holds (borrowed)
    uint32_t colours[256];  // 0x00RRGGBB
    uint32_t cache[256];    // colour i in cacheFormat, or its nearest index in cachePalette
};

// ---- Surfaces ----

enum : uint32_t { SF_NO_KEY = 0x80000000u };  // colourKey value meaning "no colour key"

struct Surface {
    uint8_t ownsPixels;           // pixels were allocated here and are freed with the surface
    uint8_t ownsPalette;          // palette block was allocated here and is freed with the surface
    const PixelFormatInfo* info;  // row of the format table
    uint8_t format;               // PixelFormat
    uint32_t colourKey;           // raw value drawn as transparent; SF_NO_KEY for none
    uint8_t rle;                  // pixels hold the run-length encoded form (a blit source only)
    uint8_t rleWideRows;          // the encoded row table has 32-bit entries
    int16_t width, height;
    int16_t xStep;             // bytes from one pixel to the next along x (may be negative or a row)
    int16_t rowPitch;          // bytes from one row to the next (may be negative)
    int16_t anchorX, anchorY;  // hot spot in 1/256 of width and height
    uint32_t dataSize;         // bytes of pixel data (or of the encoded stream)
    uint8_t* pixels;           // first byte of row 0
    Palette* palette;          // owned or borrowed, see ownsPalette
    uint8_t animMode, animLoop;
    int32_t frameTime;  // milliseconds per frame
    Array frames;       // Rect per frame
    // Encoded surfaces only: the opaque spans of each row with their pixels laid out flat, derived from the
    // encoded rows when they are made or loaded, so a plain copy draws each span with one move (owned,
    // freed with the surface, never stored in files; null when it could not be built, and drawing then
    // walks the packets).
    uint8_t* rleIndex;
};

Surface* sfCreate(int32_t width, int32_t height, int32_t format, int32_t rle, uint32_t colourKey,
                  void* pixels);                       // from the pool; null on failure
void sfRelease(Surface* s);                            // frees what the surface owns; record stays usable
void sfFree(Surface* s);                               // sfRelease, then back to the pool; null ignored
Surface* sfClone(const Surface* s);                    // deep copy of pixels and an owned palette
Surface* sfConvert(const Surface* s, int32_t format);  // new surface in another format, pixels converted
uint8_t* sfPixelAddress(const Surface* s, int32_t x, int32_t y);    // byte holding pixel (x, y)
uint32_t sfGetPixel(const Surface* s, int32_t x, int32_t y);        // raw value; 0 outside or when encoded
void sfPutPixel(Surface* s, int32_t x, int32_t y, uint32_t value);  // inside surface and clip only
int32_t sfSplitFrames(Surface* s, int32_t columns, int32_t rows);   // replaces the frames with a grid; 1 ok
int32_t sfAddFrames(Surface* s, const int32_t* quads);  // appends (x, y, w, h)... until a negative x
void sfFrameSize(const Surface* s, int32_t frame, int32_t* outWidth, int32_t* outHeight);  // frame or whole
int32_t sfAnimFrame(const Surface* s, int32_t timeMs);  // frame index to show; -1 with fewer than 2

// ---- Graphics state ----

Surface* gfxGetTarget();            // the surface drawing code treats as the screen
Surface* gfxSetTarget(Surface* s);  // returns the previous target
int32_t gfxInitSurfacePool();       // sets up the pool of surface records unless it is; 1 ok
void gfxShutdownSurfacePool();      // frees every chunk of the pool (all records must be free)

int32_t gfxSetDrawMode(int32_t mode);  // 0 copy, 1 alpha, 2 add, 3 tint, 4 solid; returns previous
int32_t gfxGetDrawMode();
int32_t gfxSetOpacity(int32_t opacity);  // clamped to 0..256; returns previous
int32_t gfxGetOpacity();
uint32_t gfxSetColour(uint32_t colour);  // raw value in the target's format; returns previous
uint32_t gfxGetColour();
const Rect* gfxSetClip(const Rect* clip);  // borrowed until replaced; null = none; returns previous
const Rect* gfxGetClip();

// The pixel loops run in AVX2 where the processor has it (found once at start; BRASK_CPU=baseline in the
// environment hides it), else in the baseline SSE2 every x86-64 has. Both draw the same bytes.
int32_t gfxForceBaseline(
    int32_t on);            // 1: baseline loops from now on; 0: the detected path; returns previous
const char* gfxPathName();  // the loops in use: "avx2" or "sse2"

// blend(dst, src) for a format and draw mode, src already in the destination's format; null = plain write.
typedef uint32_t (*BlendFn)(uint32_t dst, uint32_t src, int32_t opacity, uint32_t colour);
BlendFn gfxGetBlend(int32_t format, int32_t mode);

// ---- Palettes and colour conversion ----

void sfSetPalette(Surface* s, const Palette* block, int32_t copy);           // copy, reference or drop
void sfSetPaletteRGB32(Surface* s, int32_t count, const uint32_t* colours);  // owned block from 0x00RRGGBB
void sfSetPaletteRGB24(Surface* s, int32_t count, const uint8_t* rgb);       // owned block from R, G, B bytes
void palBuildCache(Palette* p, int32_t format, Palette* targetPalette);      // fill the converted copy
void palSetBrightness(Palette* p, int32_t delta);                            // shade the cache by delta
int32_t palFindNearest(const Palette* p, uint32_t colour);                   // lowest index of least distance
uint32_t colourDistance(uint32_t a, uint32_t b);                             // squared RGB distance
uint32_t sfConvertColour(uint32_t value, const Surface* from, const Surface* to);  // raw value across formats
uint32_t sfConvertColourFormat(uint32_t value, int32_t fromFormat, const Palette* fromPalette,
                               const Surface* to);  // the same from a bare format

// ---- Primitives (current colour, draw mode, clip) ----

void gfxPlot(Surface* s, int32_t x, int32_t y);
void gfxHLine(Surface* s, int32_t x, int32_t y, int32_t length);
void gfxVLine(Surface* s, int32_t x, int32_t y, int32_t length);
void gfxFrameRect(Surface* s, const Rect* r);
void gfxFillRect(Surface* s, const Rect* r);  // null = the whole surface

enum {
    GFX_ELLIPSE_UL = 1,  // upper-left quadrant
    GFX_ELLIPSE_UR = 2,  // upper-right quadrant
    GFX_ELLIPSE_LL = 4,  // lower-left quadrant
    GFX_ELLIPSE_LR = 8,  // lower-right quadrant
    GFX_ELLIPSE_FILL = 0x10,
    GFX_ELLIPSE_THICK = 0x20
};
void gfxEllipse(Surface* s, int32_t cx, int32_t cy, int32_t rx, int32_t ry, int32_t flags);

// ---- Blitters ----

// Where the source's anchor lands, the angle in whole degrees and the scales in 1/256.
struct RotateParams {
    int32_t x, y;
    int32_t angle;
    int16_t scaleX, scaleY;
};

int32_t sfBlitRect(const Surface* src, Surface* dst, int32_t x, int32_t y, const Rect* srcRect);  // 1 drew
int32_t sfBlit(const Surface* src, Surface* dst, int32_t x, int32_t y);  // whole, at anchor
int32_t sfBlitFrame(const Surface* src, Surface* dst, int32_t x, int32_t y, int32_t frame);  // one frame
int32_t sfCopyRect(const Surface* src, Surface* dst, int32_t x, int32_t y,
                   const Rect* srcRect);  // no key/clip
int32_t sfBlitRotated(const Surface* src, Surface* dst, const RotateParams* params, int32_t frame);
uint32_t colScale(uint32_t colour, int32_t factor);                      // channels x factor / 256, max 255
uint32_t colMix(uint32_t a, uint32_t b, int32_t weight, int32_t total);  // a to b by weight / total

// ---- Run-length encoded surfaces ----

int32_t sfEncodeRLE(Surface* s);  // plain to encoded; 1 ok, 0 leaves the surface as it was
int32_t sfBlitRLE(const Surface* src, Surface* dst, int32_t x, int32_t y, const Rect* srcRect);  // always 1
