// TGA pictures: load in the file's own format and as 565, draw onto a small 565 screen (whole, and hanging
// over the corners), encode and draw the encoded form, and fill a given surface in place.
#include "brask/gfx.h"
#include "brask/image.h"
#include "fuzz_support.h"

namespace {

void draw(Surface* s, Surface* screen) {
    // A run-length file a few kilobytes long can unpack to a picture of megapixels; drawing and encoding one
    // walks no path a picture of a thousand pixels does not (every row width the blit loops tell apart, and
    // clipping on every side of the small screen), at a thousand times the cost. Pictures of a few thousand
    // pixels, drawn through the per-pixel loops, took half of the fuzzer's time.
    if (int64_t(s->width) * s->height > 32 * 32) return;
    sfBlit(s, screen, 0, 0);
    sfBlit(s, screen, -s->width / 2, -s->height / 2);
    sfBlit(s, screen, screen->width - s->width / 2, screen->height - s->height / 2);
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
    Surface* screen = fuzz::screen(64, 80);
    // A file that fails in its own format fails the other ways too, each with the same long log entry:
    // the fuzzer's time is better spent on the next input.
    Surface* own = sfLoadTGA(u"in.tga", 0, nullptr);
    if (!own) {
        sfFree(screen);
        return 0;
    }
    draw(own, screen);
    sfFree(own);
    if (Surface* s = sfLoadTGA(u"in.tga", pf565, nullptr)) {
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
