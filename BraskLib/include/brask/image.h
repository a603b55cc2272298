// Image files: TGA pictures, the engine's prepared ".gsf" surfaces, ".raw" pixel dumps, and the named image
// cache. Every reader returns a new surface owned by the caller (freed with sfFree), or the caller's own
// surface when it was filled in place; null on failure.
#pragma once
#include <cstdint>

#include "brask/containers.h"
#include "brask/gfx.h"

// format 0 = the file's own format (or the given surface's). A given surface is filled in place only when it
// is a plain surface whose format, size, steps and data size equal the file's; otherwise it is left alone.
Surface* sfLoadTGA(const char16_t* name, int32_t format, Surface* surface);
Surface* sfLoadGSF(const char16_t* name, int32_t format, Surface* surface);
Surface* sfLoadRAW(const char16_t* name, int32_t format, Surface* surface);
// Picks the reader by the extension (.tga, .gsf, .raw, any case); without one tries .gsf, .tga, .raw.
Surface* sfLoad(const char16_t* name, int32_t format, Surface* surface);

int32_t sfSaveGSF(const Surface* s, const char16_t* name);  // 1 when every byte was written

// Loads a TGA as 565 and hands over its pixel buffer (free it with memFree); sizes 0 and null on failure.
uint8_t* sfLoadTGAPixels(const char16_t* name, int32_t* outWidth, int32_t* outHeight);

// Image caches: records keyed by file name, loaded with sfLoad in the format given here, freed with sfFree
// when the cache is destroyed (resCacheDestroy with releaseAll). Names are borrowed and must outlive the
// cache.
ResCache* sfInitImageCache(ResCache* cache, int32_t format);
// The engine's own cache: graphics start-up initialises it with sfInitImageCache and destroys it at shutdown.
ResCache* sfGetImageCache();
Surface* sfGetImage(const char16_t* name);  // from the engine's cache; null before it is initialised

// Turns a cached image into a ready-to-draw ".gsf" file: key, frames and encoding applied, saved when
// changed. name must end in ".gsf"; when that file does not load, the ".tga" of the same name is taken.
Surface* sfPrepare(ResCache* cache, const char16_t* name, uint32_t colourKey, int32_t encode, int32_t columns,
                   int32_t rows);
