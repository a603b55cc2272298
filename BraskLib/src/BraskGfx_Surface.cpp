// Surfaces: creation from the record pool, release, clone and conversion, pixel addresses, frames.
//
// [SECTION] Creation and release
// [SECTION] Pixel addressing
// [SECTION] Frames and animation
#include <cmath>

#include "BraskGfx_internal.h"
#include "brask/memory.h"

// =====================================================================================================
// [SECTION] Creation and release
// =====================================================================================================

// Fills a record for a new surface; false when the size does not fit the record's 16-bit fields.
static bool initRecord(Surface* s, int32_t width, int32_t height, int32_t format, uint32_t colourKey) {
    memFill(s, 0, int32_t(sizeof(Surface)));
    const PixelFormatInfo* info = sfGetFormat(format);
    if (!info || width < 1 || height < 1 || width > 32767 || height > 32767) return false;
    int32_t pitch = info->bytesPerPixel > 0 ? width * info->bytesPerPixel
                                            : (width + info->pixelsPerByte - 1) / info->pixelsPerByte;
    if (pitch > 32767) return false;
    s->info = info;
    s->format = uint8_t(format);
    s->width = int16_t(width);
    s->height = int16_t(height);
    s->xStep = int16_t(info->bytesPerPixel > 0 ? info->bytesPerPixel : 1);
    s->rowPitch = int16_t(pitch);
    s->dataSize = uint32_t(height) * uint32_t(pitch);
    s->colourKey = colourKey;
    s->animMode = 1;
    s->animLoop = 1;
    s->frameTime = 50;
    arrInit(&s->frames, int32_t(sizeof(Rect)), 0);
    return true;
}

static Surface* allocRecord() {
    if (!gfxInitSurfacePool()) return nullptr;
    return static_cast<Surface*>(poolAlloc(&g_gfx.surfacePool));
}

Surface* sfCreate(int32_t width, int32_t height, int32_t format, int32_t rle, uint32_t colourKey,
                  void* pixels) {
    Surface* s = allocRecord();
    if (!s) return nullptr;
    if (!initRecord(s, width, height, format, colourKey)) {
        poolFree(&g_gfx.surfacePool, s);
        return nullptr;
    }
    if (rle) {
        if (pixels) {
            // The flag is set by the encoder itself, so a failed encoding never leaves a plain buffer
            // marked as encoded.
            s->pixels = static_cast<uint8_t*>(pixels);
            if (!sfEncodeRLE(s)) {
                sfFree(s);
                return nullptr;
            }
        } else {
            s->rle = 1;  // the encoded stream is filled in by the caller (image files)
        }
    } else if (pixels) {
        s->pixels = static_cast<uint8_t*>(pixels);
    } else {
        s->pixels = static_cast<uint8_t*>(memAlloc(int32_t(s->dataSize)));
        if (!s->pixels) {
            sfFree(s);
            return nullptr;
        }
        memFill(s->pixels, 0, int32_t(s->dataSize));
        s->ownsPixels = 1;
    }
    return s;
}

void sfRelease(Surface* s) {
    if (!s) return;
    s->width = s->height = 0;
    s->dataSize = 0;
    arrFree(&s->frames);
    gfxFreeRleIndex(s);
    if (s->ownsPixels) memFree(s->pixels);
    if (s->ownsPalette) memFree(s->palette);
    s->ownsPixels = s->ownsPalette = 0;
    s->pixels = nullptr;
    s->palette = nullptr;
    s->info = nullptr;
}

void sfFree(Surface* s) {
    if (!s) return;
    sfRelease(s);
    poolFree(&g_gfx.surfacePool, s);
}

Surface* sfClone(const Surface* s) {
    if (!s) return nullptr;
    Surface* c = allocRecord();
    if (!c) return nullptr;
    *c = *s;
    c->rleIndex = nullptr;  // the clone gets an index of its own below
    c->ownsPixels = c->ownsPalette = 0;
    c->pixels = nullptr;
    c->palette = s->palette;
    arrInit(&c->frames, int32_t(sizeof(Rect)), 0);
    if (s->frames.count > 0 && !arrCopy(&c->frames, &s->frames)) {
        sfFree(c);
        return nullptr;
    }
    if (s->pixels) {
        const int32_t bpp = s->info ? s->info->bytesPerPixel : 0;
        if (!s->rle && bpp > 0 && (s->xStep != bpp || s->rowPitch <= 0)) {
            // A view turned by a negative or crosswise step points into the middle of a buffer it does not
            // own: the copy is laid out plainly, so the clone owns a block that starts at its pixels.
            c->xStep = int16_t(bpp);
            c->rowPitch = int16_t(s->width * bpp);
            c->dataSize = uint32_t(s->height) * uint32_t(c->rowPitch);
            c->pixels = static_cast<uint8_t*>(memAlloc(int32_t(c->dataSize)));
            if (!c->pixels) {
                sfFree(c);
                return nullptr;
            }
            c->ownsPixels = 1;
            for (int32_t y = 0; y < s->height; y++)
                for (int32_t x = 0; x < s->width; x++)
                    memCopy(sfPixelAddress(c, x, y), sfPixelAddress(s, x, y), bpp);
        } else {
            c->pixels = static_cast<uint8_t*>(memAlloc(int32_t(s->dataSize)));
            if (!c->pixels) {
                sfFree(c);
                return nullptr;
            }
            c->ownsPixels = 1;
            memCopy(c->pixels, s->pixels, int32_t(s->dataSize));
        }
    }
    if (s->palette && s->ownsPalette) {
        c->palette = nullptr;
        sfSetPalette(c, s->palette, 1);
        if (!c->palette) {
            sfFree(c);
            return nullptr;
        }
    }
    if (c->rle && c->pixels) gfxBuildRleIndex(c);
    return c;
}

// The copy behind sfCopyRect, after clipping; shared with sfConvert, which must copy whatever the opacity.
void gfxCopyPixels(const Surface* src, Surface* dst, int32_t dx, int32_t dy, int32_t sx, int32_t sy,
                   int32_t w, int32_t h);

Surface* sfConvert(const Surface* s, int32_t format) {
    if (!s || !s->pixels || s->rle || !gfxValidFormat(s->format) || !gfxValidFormat(format)) return nullptr;
    Surface* c = sfCreate(s->width, s->height, format, 0, SF_NO_KEY, nullptr);
    if (!c) return nullptr;
    c->anchorX = s->anchorX;
    c->anchorY = s->anchorY;
    c->animMode = s->animMode;
    c->animLoop = s->animLoop;
    c->frameTime = s->frameTime;
    if (s->frames.count > 0 && !arrCopy(&c->frames, &s->frames)) {
        sfFree(c);
        return nullptr;
    }
    gfxCopyPixels(s, c, 0, 0, 0, 0, s->width, s->height);
    if (s->colourKey != SF_NO_KEY) c->colourKey = sfConvertColour(s->colourKey, s, c);
    return c;
}

// =====================================================================================================
// [SECTION] Pixel addressing
// =====================================================================================================

uint8_t* sfPixelAddress(const Surface* s, int32_t x, int32_t y) {
    if (!s || !s->pixels || !s->info) return nullptr;
    const PixelFormatInfo* f = s->info;
    if (f->bytesPerPixel > 0) return s->pixels + int64_t(y) * s->rowPitch + int64_t(x) * s->xStep;
    // Sub-byte: divisions truncate towards zero, as C's do.
    if (s->xStep == 1 || s->xStep == -1)
        return s->pixels + int64_t(y) * s->rowPitch + int64_t(x) * s->xStep * f->bitsPerPixel / 8;
    // A frame buffer stored down the columns: y walks the packed bits.
    return s->pixels + int64_t(x) * s->xStep + int64_t(s->rowPitch) * f->bitsPerPixel * y / 8;
}

static bool inside(const Surface* s, int32_t x, int32_t y) {
    return s && s->pixels && !s->rle && s->info && gfxValidFormat(s->format) && x >= 0 && y >= 0 &&
           x < s->width && y < s->height;
}

uint32_t sfGetPixel(const Surface* s, int32_t x, int32_t y) {
    if (!inside(s, x, y)) return 0;
    const PixelFormatInfo* f = s->info;
    const uint8_t* p = sfPixelAddress(s, x, y);
    if (f->bytesPerPixel > 0) return sfGetFormatOps(s->format)->read(p);
    int32_t i = (s->xStep == 1 || s->xStep == -1) ? x : y;
    return (uint32_t(*p) >> ((i % f->pixelsPerByte) * f->bitsPerPixel)) & uint32_t(f->monoMask);
}

void sfPutPixel(Surface* s, int32_t x, int32_t y, uint32_t value) {
    if (!inside(s, x, y)) return;  // encoded surfaces too: there are no pixels to address
    const Rect* c = g_gfx.clip;
    if (c && (int64_t(x) < c->x || int64_t(y) < c->y || int64_t(x) >= int64_t(c->x) + c->width ||
              int64_t(y) >= int64_t(c->y) + c->height))
        return;
    const PixelFormatInfo* f = s->info;
    uint8_t* p = sfPixelAddress(s, x, y);
    if (f->bytesPerPixel > 0) {
        sfGetFormatOps(s->format)->write(p, value);
        return;
    }
    int32_t i = (s->xStep == 1 || s->xStep == -1) ? x : y;
    int32_t shift = (i % f->pixelsPerByte) * f->bitsPerPixel;
    uint32_t mask = uint32_t(f->monoMask) << shift;
    *p = uint8_t((*p & ~mask) | ((value << shift) & mask));
}

// =====================================================================================================
// [SECTION] Frames and animation
// =====================================================================================================

int32_t sfSplitFrames(Surface* s, int32_t columns, int32_t rows) {
    if (!s || columns <= 0 || rows <= 0) return 0;
    s->frames.count = 0;
    const int32_t w = s->width / columns, h = s->height / rows;
    for (int32_t r = 0; r < rows; r++) {
        for (int32_t c = 0; c < columns; c++) {
            Rect f = {c * w, r * h, w, h};
            if (arrAppend(&s->frames, &f) < 0) return 0;
        }
    }
    return 1;
}

int32_t sfAddFrames(Surface* s, const int32_t* quads) {
    if (!s || !quads) return 0;
    for (; quads[0] >= 0; quads += 4) {
        Rect f = {quads[0], quads[1], quads[2], quads[3]};
        if (arrAppend(&s->frames, &f) < 0) return 0;
    }
    return 1;
}

void sfFrameSize(const Surface* s, int32_t frame, int32_t* outWidth, int32_t* outHeight) {
    int32_t w = 0, h = 0;
    if (s) {
        w = s->width;
        h = s->height;
        if (frame >= 0 && frame < s->frames.count) {
            const Rect* f = static_cast<const Rect*>(s->frames.data) + frame;
            w = f->width;
            h = f->height;
        }
    }
    if (outWidth) *outWidth = w;
    if (outHeight) *outHeight = h;
}

int32_t sfAnimFrame(const Surface* s, int32_t timeMs) {
    if (!s || s->frames.count < 2) return -1;
    if (s->frameTime <= 0) return 0;
    const int32_t n = s->frames.count;
    const double e = double(timeMs) / s->frameTime;
    int64_t r = 0;
    switch (s->animMode) {
        case 1:
            r = (!s->animLoop && e >= n) ? n - 1 : int64_t(e - n * std::floor(e / n));
            break;
        case 2:
            // A time exactly on a whole cycle would give n: that is frame 0 of the next cycle.
            if (s->animLoop || e < n) r = int64_t(n - (e - n * std::floor(e / n))) % n;
            break;
        case 3: {
            const int32_t m = 2 * n - 2;
            if (s->animLoop || e < m) {
                double q = e - m * std::floor(e / m);
                r = q >= n ? int64_t(2 * n - 1 - q) : int64_t(q);
            }
            break;
        }
        default:
            r = e < 0 ? 0 : e >= n ? n - 1 : int64_t(e);
            break;
    }
    return int32_t(r < 0 ? 0 : r >= n ? n - 1 : r);
}
