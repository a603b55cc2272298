// TGA pictures: load in the file's own format and as 565, draw onto a screen-sized 565 surface (whole, and
// hanging over the corners), encode and draw the encoded form, and fill a given surface in place.
#include "brask/gfx.h"
#include "brask/image.h"
#include "fuzz_support.h"

namespace {

void draw(Surface* s, Surface* screen) {
    sfBlit(s, screen, 0, 0);
    sfBlit(s, screen, -s->width / 2, -s->height / 2);
    sfBlit(s, screen, 240 - s->width / 2, 320 - s->height / 2);
    if (sfEncodeRLE(s)) {
        sfBlitRLE(s, screen, 3, 5, nullptr);
        const Rect part = {1, 1, s->width / 2, s->height / 2};
        sfBlitRLE(s, screen, -2, -2, &part);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input;
    fuzz::writeInput("in.tga", data, size);
    Surface* screen = sfCreate(240, 320, pf565, 0, SF_NO_KEY, nullptr);
    if (!screen) abort();
    for (int32_t format : {0, int32_t(pf565)}) {
        Surface* s = sfLoadTGA(u"in.tga", format, nullptr);
        if (!s) continue;
        draw(s, screen);
        sfFree(s);
    }
    // In place: only a plain 565 surface of the file's own size takes the pixels.
    Surface* given = sfCreate(16, 16, pf565, 0, SF_NO_KEY, nullptr);
    if (!given) abort();
    Surface* s = sfLoadTGA(u"in.tga", 0, given);
    if (s && s != given) sfFree(s);
    sfBlit(given, screen, 10, 10);
    sfFree(given);
    sfFree(screen);
    return 0;
}
