// ".gsf" surfaces: load, draw every frame (encoded or plain) onto a screen-sized 565 surface, write back and
// read again; what was written must load and hold the same bytes.
#include <cstring>

#include "brask/gfx.h"
#include "brask/image.h"
#include "fuzz_support.h"

namespace {

void draw(const Surface* s, Surface* screen) {
    if (s->rle) {
        sfBlitRLE(s, screen, 0, 0, nullptr);
        sfBlitRLE(s, screen, -s->width / 2, 320 - s->height / 2, nullptr);
    } else {
        sfBlit(s, screen, 0, 0);
        sfBlit(s, screen, 240 - s->width / 2, -s->height / 2);
    }
    const int32_t frames = s->frames.count < 8 ? s->frames.count : 8;
    for (int32_t i = 0; i < frames; i++) sfBlitFrame(s, screen, 100, 100, i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input;
    fuzz::writeInput("in.gsf", data, size);
    Surface* s = sfLoadGSF(u"in.gsf", 0, nullptr);
    if (!s) return 0;
    Surface* screen = fuzz::screen();
    draw(s, screen);
    if (!sfSaveGSF(s, u"out.gsf")) abort();
    Surface* again = sfLoadGSF(u"out.gsf", 0, nullptr);
    if (!again || again->dataSize != s->dataSize || again->width != s->width || again->height != s->height ||
        again->frames.count != s->frames.count || memcmp(again->pixels, s->pixels, s->dataSize) != 0) {
        fprintf(stderr, "a loaded surface did not survive being written back\n");
        abort();
    }
    draw(again, screen);
    sfFree(again);
    sfFree(s);
    sfFree(screen);
    return 0;
}
