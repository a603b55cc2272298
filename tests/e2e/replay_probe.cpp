// A small program for the record-and-replay test: what it shows depends on the launch seed, on the player
// file it starts with and on every tap and BUT.A press, and it writes that file back when its window closes,
// so a replay that missed any of them, or wrote over the player's file, shows.
#include "brask/app.h"
#include "brask/display.h"
#include "brask/gfx.h"
#include "brask/input.h"
#include "brask/random.h"
#include "brask/text.h"
#include "brask/vfs.h"

namespace {

enum { SCREEN_W = 240, SCREEN_H = 320, MAX_MARKS = 16, NAME_MAX = 300 };

uint32_t colour565(int32_t r) {
    return sfGetFormatOps(pf565)->fromRGB(uint32_t(r) * 2654435761u);
}

}  // namespace

int gameMain() {
    inpOpen(0);
    if (!appOpen(SCREEN_W, SCREEN_H, 16, 0)) return 1;
    vfsInit();
    const AppLaunchOptions* launch = appLaunchOptions();
    rndSeed(launch->seedGiven ? launch->seed : 1);

    char16_t name[NAME_MAX] = {};
    if (launch->dataFolder) wstrCopy(name, launch->dataFolder);
    wstrCat(name, u"KORVA.Probe");
    uint8_t presses = 0;
    if (VfsFile* f = vfsOpen(name)) {
        vfsRead(f, &presses, 1);
        vfsClose(f);
    }

    Surface* back = sfCreate(SCREEN_W, SCREEN_H, pf565, 0, SF_NO_KEY, nullptr);
    if (!back) return 1;
    const uint32_t background = colour565(rndNext());
    Rect marks[MAX_MARKS];
    uint32_t markColours[MAX_MARKS];
    int32_t markCount = 0;
    const View view = {back, 0, 0, {0, 0, SCREEN_W, SCREEN_H}};
    for (;;) {
        if (inpKeyState(INP_PEN) == INP_PRESSED && markCount < MAX_MARKS) {
            marks[markCount] = {inpStylusX() - 4, inpStylusY() - 4, 9, 9};
            markColours[markCount++] = colour565(rndNext());
        }
        if (inpKeyState(INP_A) == INP_PRESSED) presses++;
        gfxSetColour(background);
        gfxFillRect(back, nullptr);
        gfxSetColour(0xFFFF);
        const Rect bar = {0, 0, presses * 8, 6};
        gfxFillRect(back, &bar);
        for (int32_t i = 0; i < markCount; i++) {
            gfxSetColour(markColours[i]);
            gfxFillRect(back, &marks[i]);
        }
        if (!appPumpMessages() || appQuitRequested()) break;
        inpUpdate();
        gfxPresent(&view);
    }
    if (VfsFile* f = vfsCreate(name)) {
        vfsWrite(f, &presses, 1);
        vfsClose(f);
    }
    sfFree(back);
    vfsShutdown();
    appClose();
    inpClose();
    return 0;
}
