// The engine used as a game would use it: a window, a picture, keyed and rotated sprites, text, a sound on
// every tap, and an end when the window is closed.
//
// Run it on the desktop (`brask_demo`, `--scale N`), or headless with a script and a screenshot:
//   brask_demo --headless --script taps.txt --screenshot shot.png
// Headless, it ends once the script has nothing more to give (at once without one), after showing a frame
// with everything the script did. The picture is "gamedata/demo.tga" when there is one, else drawn here; the
// sound likewise is written as "demo_beep.wav" next to the program when no file of that name exists. Text
// needs the engine's system font ("SysFont7x14.tga"), which the build copies beside the program.
#include <cstdio>
#include <cstring>

#include "brask/app.h"
#include "brask/display.h"
#include "brask/font.h"
#include "brask/gfx.h"
#include "brask/image.h"
#include "brask/input.h"
#include "brask/memory.h"
#include "brask/random.h"
#include "brask/sound.h"
#include "brask/system.h"
#include "brask/vfs.h"
// The demo's one look past the engine: whether it runs headless and the script is used up, so automation
// needs no close line. A game never needs this; the desktop has a window to close.
#include "platform/headless.h"
#include "platform/platform.h"

namespace {

enum { SCREEN_W = 240, SCREEN_H = 320, FRAME_MS = 50, MAX_MARKS = 8 };
const uint32_t KEY_565 = 0xF81F;  // magenta: the sprites' see-through colour

uint32_t rgb(uint32_t c) {
    return sfGetFormatOps(pf565)->fromRGB(c);
}

// A 48 x 48 ball on a magenta background, with a stripe so that its turning shows.
Surface* drawOwnPicture() {
    Surface* s = sfCreate(48, 48, pf565, 0, SF_NO_KEY, nullptr);
    if (!s) return nullptr;
    const uint32_t old = gfxSetColour(KEY_565);
    gfxFillRect(s, nullptr);
    gfxSetColour(rgb(0x2060E0));
    gfxEllipse(s, 24, 24, 22, 22,
               GFX_ELLIPSE_UL | GFX_ELLIPSE_UR | GFX_ELLIPSE_LL | GFX_ELLIPSE_LR | GFX_ELLIPSE_FILL);
    gfxSetColour(rgb(0xFFE040));
    const Rect stripe = {6, 20, 36, 8};
    gfxFillRect(s, &stripe);
    gfxSetColour(old);
    return s;
}

void put(uint8_t* p, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; i++) p[i] = uint8_t(v >> (8 * i));
}

// A tenth of a second of a 880 Hz tone, 16-bit mono at 22050 Hz, written once.
void writeBeep(const char16_t* name) {
    if (VfsFile* f = vfsOpen(name)) {
        vfsClose(f);
        return;
    }
    enum { RATE = 22050, SAMPLES = RATE / 10, DATA = SAMPLES * 2 };
    uint8_t* wav = static_cast<uint8_t*>(memAlloc(44 + DATA));
    if (!wav) return;
    memcpy(wav, "RIFF", 4);
    put(wav + 4, 36 + DATA, 4);
    memcpy(wav + 8, "WAVEfmt ", 8);
    put(wav + 16, 16, 4);
    put(wav + 20, 1, 2);
    put(wav + 22, 1, 2);
    put(wav + 24, RATE, 4);
    put(wav + 28, RATE * 2, 4);
    put(wav + 32, 2, 2);
    put(wav + 34, 16, 2);
    memcpy(wav + 36, "data", 4);
    put(wav + 40, DATA, 4);
    for (int i = 0; i < SAMPLES; i++) {
        // A square wave: no floating point, the same bytes everywhere.
        const int32_t v = ((i * 880 * 2 / RATE) & 1) ? 6000 : -6000;
        put(wav + 44 + 2 * i, uint32_t(v), 2);
    }
    if (VfsFile* f = vfsCreate(name)) {
        vfsWrite(f, wav, 44 + DATA);
        vfsClose(f);
    }
    memFree(wav);
}

struct Demo {
    Surface* back;
    Surface* picture;
    SndSound* beep;
    int32_t frame;
    int32_t marks[MAX_MARKS][2];
    int32_t markCount;
};

void draw(Demo& d) {
    Surface* back = d.back;
    // Background: bands of colour so that every row of the screenshot is known.
    for (int32_t band = 0; band < 8; band++) {
        gfxSetColour(rgb(0x101830 + uint32_t(band) * 0x080806));
        const Rect r = {0, band * 40, SCREEN_W, 40};
        gfxFillRect(back, &r);
    }
    // The picture keyed at the top, then turning in the middle.
    sfBlit(d.picture, back, 40, 40);
    RotateParams turn = {SCREEN_W / 2, SCREEN_H / 2, (d.frame * 9) % 360, 256 + 64, 256 + 64};
    sfBlitRotated(d.picture, back, &turn, -1);
    // A white square where each tap landed.
    gfxSetColour(rgb(0xFFFFFF));
    for (int32_t i = 0; i < d.markCount; i++) {
        const Rect r = {d.marks[i][0] - 3, d.marks[i][1] - 3, 7, 7};
        gfxFillRect(back, &r);
    }
    const Font* font = fntGetSystemFont();
    if (font->image) {
        gfxSetColour(rgb(0xFFFFFF));
        fntDrawText(font, back, u"Tap the screen", FNT_CENTRE, 290, FNT_ALIGN_CENTRE, 0);
    }
}

// The entry point takes every option and leaves the rest for the program; the demo takes none of its own.
// 0 when there is nothing left over, else the exit code after the usage, as the entry point refuses.
int refuseArguments() {
    const SysCommandLine* line = static_cast<const SysCommandLine*>(appGetInstance());
    if (!line || line->argc <= 1) return 0;
    const char* name = line->argv[0] ? strrchr(line->argv[0], '/') : nullptr;
    name = name ? name + 1 : "brask_demo";
    fprintf(stderr, "%s: unexpected argument '%s'\n", name, line->argv[1]);
    fprintf(stderr, "Usage: %s [--headless] [--script FILE] [--screenshot FILE] [--scale N] [--help]\n",
            name);
    return 2;
}

}  // namespace

int gameMain() {
    if (const int refused = refuseArguments()) return refused;
    appSetTitle(u"BraskLib demo");
    inpOpen(0);
    if (!appOpen(SCREEN_W, SCREEN_H, 16, 0)) appFatalExit(u"The demo could not open its window.");
    if (!sndInit()) appFatalExit(u"The demo could not start its sound.");
    vfsInit();
    vfsMountDefaults();  // archives next to the program may hold gamedata/demo.tga

    Demo d = {};
    d.back = sfCreate(SCREEN_W, SCREEN_H, pf565, 0, SF_NO_KEY, nullptr);
    d.picture = sfLoadTGA(u"gamedata/demo.tga", pf565, nullptr);
    if (!d.picture) d.picture = drawOwnPicture();
    if (!d.back || !d.picture) appFatalExit(u"The demo ran out of memory.");
    d.picture->colourKey = KEY_565;
    d.picture->anchorX = d.picture->anchorY = 128;  // blit and turn about the centre
    writeBeep(u"demo_beep.wav");
    d.beep = sndLoadSample(u"demo_beep.wav");
    gfxSetTarget(d.back);

    const View view = {d.back, 0, 0, {0, 0, SCREEN_W, SCREEN_H}};
    const bool headless = platBackend() == &platHeadless;
    uint32_t frameStart = appGetTicks();
    for (;;) {
        if (inpKeyState(INP_PEN) == INP_PRESSED) {
            sndPlaySample(d.beep, nullptr);
            if (d.markCount < MAX_MARKS) {
                d.marks[d.markCount][0] = inpStylusX();
                d.marks[d.markCount][1] = inpStylusY();
                d.markCount++;
            }
        }
        draw(d);
        d.frame++;
        // Asked before the pump: a script used up by an earlier pump has had its effect drawn in this frame.
        const bool scriptOver = headless && headlessScriptDone();
        if (!appPumpMessages() || appQuitRequested()) break;
        inpUpdate();
        sndUpdate();
        gfxPresent(&view);
        if (scriptOver) break;
        // Sleeping, not spinning on the ticks, leaves the core free; appWait would pump and update the input
        // itself and swallow a press before the next frame could see it.
        const uint32_t spent = appGetTicks() - frameStart;
        if (spent < FRAME_MS) appSleep(FRAME_MS - spent);
        frameStart = appGetTicks();
    }

    gfxSetTarget(nullptr);
    sndFreeSample(d.beep);
    sfFree(d.picture);
    sfFree(d.back);
    vfsShutdown();
    sndShutdown();
    appClose();
    inpClose();
    return 0;
}
