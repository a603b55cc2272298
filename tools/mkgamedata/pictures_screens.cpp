// The screens around the game: hall of fame and name entry, help, credits, the help's stylus, the loading
// badge, and the intro's background and iris frames.
//
// [SECTION] Hall of fame and keyboard
// [SECTION] Help and credits
// [SECTION] Stylus and loading
// [SECTION] Intro
#include "pictures.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace pic {

// ---- [SECTION] Hall of fame and keyboard ----

// The keyboard's geometry as the name entry tests taps: origin (29, 270), rows 10 high, keys 16 wide, rows 0
// and 2 starting 4 pixels right of the origin, rows 1 and 3 12 pixels; taps at dx 0 or dy 0 and from dx 174
// on type nothing, so caps leave a one-pixel gap at the left and top of each key and the last key of a long
// row is cut short.
static const int KBD_X = 29, KBD_Y = 270;
static const char* const KBD_ROWS[4] = {"1234567890-", "QWERTYUIOP", "ASDFGHJKL:_", "ZXCVBNM<>"};
const uint32_t CAP_FACE = 0xD8E2EA;

static void drawCap(Surface* s, int x0, int y0, int x1, int y1, uint32_t face) {
    fill(s, x0, y0, x1, y1, face);
    hline(s, x0, x1, y0, lerp(face, 0xFFFFFF, 60));
    vline(s, x0, y0, y1, lerp(face, 0xFFFFFF, 60));
    hline(s, x0, x1, y1, 0x404C5A);
    vline(s, x1, y0, y1, 0x404C5A);
}

// The table's light window (heading at (30, 80), ten lines from y 100 every 9 pixels, scores at x 160).
static void drawTablePanel(Surface* s) {
    drawMachineBody(s);
    drawHeading(s, 120, 8, "HALL OF FAME");
    plate(s, 16, 66, 223, 200, 0x4A5A6E, 0x28323E, 2);
    window(s, 20, 70, 219, 196);
    hline(s, 26, 213, 92, 0x98A8B4);  // under the heading, clear of its letters (80-87) and line 0 (100)
}

static Surface* makeHofKeyboard() {
    Surface* s = canvas(240, 320, 0);
    drawTablePanel(s);
    text(s, 120, 212, "ENTER YOUR NAME", 9, 0xFFD870, MK_ALIGN_CENTRE);
    plate(s, 74, 229, 176, 254, 0x4A5A6E, 0x28323E, 2);
    window(s, 78, 233, 172, 250);  // the name is written at (85, 238)

    plate(s, 6, 264, 234, 315, 0x3A4A5E, 0x1E2632, 2);
    fill(s, 10, 268, 230, 311, 0x141A22);
    for (int r = 0; r < 4; r++) {
        int start = KBD_X + ((r & 1) ? 12 : 4);
        int n = int(strlen(KBD_ROWS[r]));
        for (int k = 0; k < n; k++) {
            int x0 = start + 16 * k + 1, x1 = start + 16 * k + 15;
            if (x1 > start + 173) x1 = start + 173;
            int y0 = KBD_Y + 10 * r + 1, y1 = y0 + 8;
            drawCap(s, x0, y0, x1, y1, CAP_FACE);
            char label[2] = {KBD_ROWS[r][k], 0};
            // Clipped to the cap, so a tail like Q's never bridges the gap to the next row.
            Rect cap{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
            gfxSetClip(&cap);
            if (label[0] == ':') {
                // Too small for the face's colon: two square dots read better.
                int cx = (x0 + x1) / 2;
                fill(s, cx, y0 + 2, cx + 1, y0 + 3, 0x000000);
                fill(s, cx, y0 + 5, cx + 1, y0 + 6, 0x000000);
            } else if (label[0] == 'J') {
                // The face's J hooks below the line, where the cap cuts it off and leaves an I: drawn by hand
                // on the capitals' six rows instead.
                int cx = (x0 + x1) / 2;
                fill(s, cx, y0 + 1, cx + 1, y0 + 5, 0x000000);
                fill(s, cx - 3, y0 + 4, cx - 2, y0 + 5, 0x000000);
                fill(s, cx - 2, y0 + 6, cx, y0 + 6, 0x000000);
            } else {
                text(s, (x0 + x1 + 1) / 2, label[0] == '_' ? y0 - 2 : y0 + 1, label, 8, 0x000000,
                     MK_ALIGN_CENTRE);
            }
            gfxSetClip(nullptr);
        }
    }
    // Cancel (13-27 x 270-277): a red cross.
    drawCap(s, 13, 270, 27, 277, 0xE07060);
    for (int i = 0; i < 5; i++) {
        put(s, 18 + i, 271 + i, 0x300808);
        put(s, 22 - i, 271 + i, 0x300808);
    }
    // Delete the last character (209-230 x 270-279): an arrow pointing left.
    drawCap(s, 209, 271, 230, 279, 0xE8C070);
    hline(s, 214, 226, 275, 0x302008);
    for (int i = 0; i < 4; i++) vline(s, 213 + i, 275 - i, 275 + i, 0x302008);
    // Done (200-220 x 280-290): green, to the right of the last key of its row.
    drawCap(s, 202, 281, 220, 289, 0x70D070);
    text(s, 211, 282, "OK", 7, 0x082008, MK_ALIGN_CENTRE);
    return s;
}

static Surface* makeHof() {
    Surface* s = canvas(240, 320, 0);
    drawTablePanel(s);
    plate(s, 40, 228, 199, 262, 0x3A4A5E, 0x1E2632, 2);
    for (int i = 0; i < 5; i++) glowDisc(s, 64 + 28 * i, 245, 6, 0xFFF0A0, 0x907010);
    text(s, 120, 284, "TAP TO CONTINUE", 9, 0x90C8E0, MK_ALIGN_CENTRE);
    return s;
}

// ---- [SECTION] Help and credits ----

// The help's text box: pages are justified at (30, 70) 180 wide over 19 lines of 10 pixels, and the rotation
// example turns around (160, 200) on the second page, inside the same light box.
static Surface* makeHelp() {
    Surface* s = canvas(240, 320, 0);
    drawMachineBody(s);
    drawHeading(s, 120, 8, "HELP");
    plate(s, 20, 59, 219, 271, 0x4A5A6E, 0x28323E, 2);
    window(s, 24, 63, 215, 267);
    text(s, 120, 284, "TAP FOR THE NEXT PAGE", 9, 0x90C8E0, MK_ALIGN_CENTRE);
    return s;
}

static Surface* makeCredits() {
    Surface* s = canvas(240, 320, 0);
    drawMachineBody(s);
    titleText(s, 120, 10, "KORVATRON", 22, 0xFFD870, 0x101820);
    text(s, 120, 36, "THE ENERGY MACHINE", 8, 0x90C8E0, MK_ALIGN_CENTRE);
    plate(s, 14, 56, 225, 276, 0x4A5A6E, 0x28323E, 2);
    window(s, 18, 60, 221, 272);
    struct Line {
        const char* t;
        int size;
        uint32_t c;
    };
    const Line lines[] = {{"GAME DESIGN AND CODE", 8, 0x2A4A6A},
                          {"THE KORVATRON TEAM", 10, 0x101418},
                          {"", 6, 0},
                          {"ENGINE", 8, 0x2A4A6A},
                          {"BRASKLIB", 10, 0x101418},
                          {"", 6, 0},
                          {"PICTURES AND SOUNDS", 8, 0x2A4A6A},
                          {"DRAWN BY OUR OWN GENERATOR", 9, 0x101418},
                          {"", 6, 0},
                          {"LETTERING", 8, 0x2A4A6A},
                          {"DEJAVU FONTS", 10, 0x101418},
                          {"", 6, 0},
                          {"THANK YOU FOR PLAYING!", 10, 0x7A3A08}};
    // The block of lines is centred in the window's light face (rows 62-271), six rows clear at each end.
    int y = 68;
    for (const Line& l : lines) {
        if (l.t[0]) text(s, 120, y, l.t, l.size, l.c, MK_ALIGN_CENTRE);
        y += l.size + 8;
    }
    for (int i = 0; i < 8; i++) glowDisc(s, 36 + 24 * i, 296, 5, 0xB0F8FF, 0x2890B0);
    return s;
}

// ---- [SECTION] Stylus and loading ----

// A pen leaning right with its tip in the bottom-left pixel, where the game anchors it.
static Surface* makeStylus() {
    const int w = 24, h = 34;
    Surface* s = canvas(w, h, KEY);
    const double tx = 0.5, ty = h - 0.5, ux = 21.5, uy = -31.0;
    const double len = std::sqrt(ux * ux + uy * uy);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            double px = x + 0.5 - tx, py = y + 0.5 - ty;
            double t = (px * ux + py * uy) / len, d = (px * uy - py * ux) / len;
            double r = t < 9 ? 0.4 + t * 2.4 / 9 : 2.8;
            if (t < 0 || t > len - 0.5 || std::fabs(d) > r) continue;
            int across = int((d + r) * 256 / (2 * r));
            uint32_t c;
            if (t < 9)
                c = lerp(0x8A96A6, 0x262E3A, across);
            else if (t > 16 && t < 21)
                c = lerp(0x90F0FF, 0x1C6078, across);  // the glowing grip
            else if (t > len - 5)
                c = lerp(0xF08040, 0x802010, across);
            else
                c = lerp(0xD0D8E0, 0x4A5666, across);
            put(s, x, y, c);
        }
    put(s, 0, h - 1, 0x262E3A);
    keySafe(s);
    return s;
}

static Surface* makeLoading() {
    Surface* s = canvas(150, 40, KEY);
    shade(s, 0, 0, 150, 40, [](int dx, int dy) -> int64_t {
        int ax = dx < 0 ? -dx : dx;
        int ex = ax > 100 ? ax - 100 : 0;
        int d2 = ex * ex + dy * dy;
        if (d2 > 37 * 37) return -1;
        if (d2 > 33 * 33) return 0x0A0E14;
        return lerp(0x5A6C82, 0x262E3A, (dy + 36) * 256 / 72);
    });
    titleText(s, 75, 7, "LOADING", 13, 0xFFD870, 0x101820);
    fill(s, 24, 26, 125, 32, 0x06080C);
    hgrad(s, 25, 27, 124, 31, 0x1C6078, 0x90F0FF);
    keySafe(s);
    return s;
}

// ---- [SECTION] Intro ----

const int INTRO_W = 146, INTRO_H = 138, INTRO_X = 47, INTRO_Y = 91, IRIS_R = 62;

static Surface* makeIntroBig() {
    Surface* s = canvas(240, 320, 0);
    drawMachineBody(s);
    titleText(s, 120, 36, "POWERING UP", 12, 0x90E8FF, 0x101820);
    plate(s, INTRO_X - 7, INTRO_Y - 7, INTRO_X + INTRO_W + 6, INTRO_Y + INTRO_H + 6, 0x6A7C92, 0x2E3A4A, 3);
    fill(s, INTRO_X, INTRO_Y, INTRO_X + INTRO_W - 1, INTRO_Y + INTRO_H - 1, 0x0A0E14);
    for (int i = 0; i < 9; i++) glowDisc(s, 24 + 24 * i, 268, 4, 0xB0F8FF, 0x2890B0);
    return s;
}

// The energy behind the iris: bright core, rings of charge.
static uint32_t coreColour(int dx, int dy) {
    int d = int(std::sqrt(double(dx * dx + dy * dy)) + 0.5);
    uint32_t c = lerp(0xFFFFF0, 0x30C8FF, d * 256 / 30);
    if (d > 30) c = lerp(0x30C8FF, 0x0C3050, (d - 30) * 256 / (IRIS_R - 30));
    if (d % 12 == 6) c = lerp(c, 0xFFFFFF, 120);
    return c;
}

// An iris of six blades, open to radius `open` (0 closed); glow 0..256 lights the seams and blades.
static void drawIris(Surface* s, int open, int glow) {
    const double pi = 3.14159265358979323846;
    int cx = INTRO_W / 2, cy = INTRO_H / 2;
    for (int y = 0; y < INTRO_H; y++)
        for (int x = 0; x < INTRO_W; x++) {
            int dx = x - cx, dy = y - cy;
            int d2 = dx * dx + dy * dy;
            if (d2 > (IRIS_R + 5) * (IRIS_R + 5)) continue;
            if (d2 > IRIS_R * IRIS_R) {
                put(s, x, y, lerp(0x8A98AA, 0x3A4656, (dy + IRIS_R) * 256 / (2 * IRIS_R + 10)));
                continue;
            }
            if (d2 < open * open) {
                put(s, x, y, coreColour(dx, dy));
                continue;
            }
            double d = std::sqrt(double(d2));
            double a = std::atan2(double(dy), double(dx)) / (2 * pi) + 0.5;  // 0..1
            // Opening swings the blades a quarter turn about the rim as their tips draw back, so each frame
            // shows the blades themselves moving rather than a disc growing over blades that stand still.
            double f = a * 6 + (d - open) / IRIS_R * 0.9 - 1.5 * open / IRIS_R;
            double frac = f - std::floor(f);
            uint32_t blade = lerp(0x5A6676, 0x9AA6B6, int(frac * 256));
            if (open > 0 && d < open + 2.5)
                blade = lerp(blade, 0x10161E, 160);  // the tips' edge around the opening
            else if (frac < 0.06)
                blade = lerp(0x10161E, 0x90F0FF, glow);
            else if (glow > 0)
                blade = lerp(blade, 0xE8FCFF, glow / 2);
            put(s, x, y, blade);
        }
}

static Surface* makeIntroFrame(const Surface* big, int index) {
    Surface* s = cut(big, INTRO_X, INTRO_Y, INTRO_W, INTRO_H);
    if (!s) return nullptr;
    static const int OPEN[5] = {0, 16, 32, 48, IRIS_R};
    if (index <= 4) {
        drawIris(s, OPEN[index], 0);
        return s;
    }
    if (index <= 6) {
        drawIris(s, 0, index == 5 ? 128 : 256);
        if (index == 6) halo(s, INTRO_W / 2, INTRO_H / 2, 50, 0xFFFFFF, 150);
        return s;
    }
    // 7 and 8: the title plate rising out of the flash.
    drawIris(s, IRIS_R, 0);
    halo(s, INTRO_W / 2, INTRO_H / 2, 70, 0xE8FCFF, index == 7 ? 200 : 90);
    plate(s, 6, 46, INTRO_W - 7, 92, 0x3A4A5E, 0x1E2632, 2);
    int size = 20;
    while (size > 10 && mkTextWidth("KORVATRON", size, 1) > INTRO_W - 24) size--;
    titleText(s, INTRO_W / 2, 54, "KORVATRON", size, index == 7 ? 0xFFF6D0 : 0xFFD870, 0x101820);
    if (index == 8) text(s, INTRO_W / 2, 80, "THE ENERGY MACHINE", 8, 0x90E8FF, MK_ALIGN_CENTRE);
    return s;
}

void makeScreens(const std::string& outDir, int& count) {
    save(outDir, "HOF_KBD.tga", makeHofKeyboard(), count);
    save(outDir, "HOF.tga", makeHof(), count);
    save(outDir, "HELP.tga", makeHelp(), count);
    save(outDir, "CREDITS.tga", makeCredits(), count);
    save(outDir, "Stylus.tga", makeStylus(), count);
    save(outDir, "Loading.tga", makeLoading(), count);
    Surface* big = makeIntroBig();
    for (int i = 0; i < 9; i++) {
        char name[32];
        snprintf(name, sizeof name, "intro_%02d.tga", i);
        save(outDir, name, makeIntroFrame(big, i), count);
    }
    save(outDir, "intro_big.tga", big, count);
}

}  // namespace pic
