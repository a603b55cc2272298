// Sprites: a ".gsf" surface whose every frame is drawn into a small screen of its own format with
// sfBlitFrame, sfBlitRLE and sfBlitRotated, at angles, scales, draw modes, opacities and clips taken from the
// input's first bytes. Frames come from the file unchecked against the surface, so every blitter must
// clip them.
#include "brask/gfx.h"
#include "brask/image.h"
#include "fuzz_support.h"

namespace {

enum { KNOBS = 8, MAX_FRAMES = 16 };

// The drawing state back to its defaults, whatever an input set.
struct DrawState {
    ~DrawState() {
        gfxSetDrawMode(0);
        gfxSetOpacity(256);
        gfxSetColour(0);
        gfxSetClip(nullptr);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < KNOBS) return 0;
    const uint8_t* k = data;
    fuzz::Input input;
    fuzz::writeInput("in.gsf", data + KNOBS, size - KNOBS);
    Surface* s = sfLoadGSF(u"in.gsf", 0, nullptr);
    if (!s) return 0;
    Surface* screen = sfCreate(40, 32, s->format, 0, SF_NO_KEY, nullptr);
    Surface* plain = fuzz::screen(40, 32);
    if (!screen) {  // a format no surface can be made in
        sfFree(plain);
        sfFree(s);
        return 0;
    }
    DrawState restore;
    const Rect clip = {k[5] % 16, k[6] % 16, 8 + k[5] / 8, 8 + k[6] / 8};
    gfxSetDrawMode(k[4] % 5);
    gfxSetOpacity(k[4] & 0x80 ? 256 : k[7] + 1);
    gfxSetColour(uint32_t(k[7]) * 0x01010101u);
    if (k[5] & 1) gfxSetClip(&clip);

    const int32_t frames = s->frames.count < MAX_FRAMES ? s->frames.count : MAX_FRAMES;
    for (int32_t i = -1; i < frames; i++) {
        const int32_t x = int8_t(k[0] + i * 13) % 48, y = int8_t(k[1] + i * 7) % 40;
        if (s->rle) {
            const Rect* r = i >= 0 ? static_cast<const Rect*>(s->frames.data) + i : nullptr;
            sfBlitRLE(s, screen, x, y, r);
            sfBlitRLE(s, plain, x - 20, y - 16, r);
        } else {
            sfBlitFrame(s, screen, x, y, i);
            sfBlitFrame(s, plain, x - 20, y - 16, i);
        }
        // Whole degrees in any range, scales from the smallest accepted (3) to 8 times.
        const RotateParams p = {x, y, int32_t(int16_t(k[2] << 8 | k[3])) + i * 97,
                                int16_t(1 + (k[2] ^ uint8_t(i)) % 2048), int16_t(1 + (k[3] + i * 31) % 2048)};
        sfBlitRotated(s, screen, &p, i);
    }
    sfFree(plain);
    sfFree(screen);
    sfFree(s);
    return 0;
}
