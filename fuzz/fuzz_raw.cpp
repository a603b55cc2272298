// ".raw" pixel dumps: load as the size says, draw onto a screen-sized 565 surface, and fill a given surface
// of the same byte count in place.
#include "brask/gfx.h"
#include "brask/image.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input;
    fuzz::writeInput("in.raw", data, size);
    Surface* screen = fuzz::screen();
    for (int32_t format : {0, int32_t(pfPalette), int32_t(pf565)}) {
        Surface* s = sfLoadRAW(u"in.raw", format, nullptr);
        if (!s) continue;
        sfBlit(s, screen, 0, 0);
        sfBlit(s, screen, -s->width / 2, 300);
        sfFree(s);
    }
    Surface* given = sfCreate(16, 16, pf565, 0, SF_NO_KEY, nullptr);
    if (!given) abort();
    Surface* s = sfLoadRAW(u"in.raw", 0, given);
    if (s && s != given) sfFree(s);
    sfBlit(given, screen, 7, 7);
    sfFree(given);
    sfFree(screen);
    return 0;
}
