// The in-game pictures: background with board and HUD, elements, rotator, sparks, gauges, banners, the volume
// panel, pause bar and the quit-save-resume dialog; plus the shared pieces and the pictures' entry point.
//
// [SECTION] Shared pieces
// [SECTION] Board pieces
// [SECTION] Background
// [SECTION] Small keyed pictures
// [SECTION] Panel, banners and dialog
// [SECTION] Entry point
#include "pictures.h"

#include <cstdio>

namespace pic {

// ---- [SECTION] Shared pieces ----

void drawMachineBody(Surface* s) {
    int w = s->width, h = s->height;
    vgrad(s, 0, 0, w - 1, h - 1, 0x2A3646, 0x161C26);
    // Panel seams every 64 rows and rivets along them: the casing of the machine.
    for (int y = 63; y < h; y += 64) {
        hline(s, 0, w - 1, y, 0x0C1016);
        hline(s, 0, w - 1, y + 1, 0x3A485A);
        for (int x = 6; x < w; x += 38) {
            put(s, x, y - 3, 0x56667A);
            put(s, x + 1, y - 3, 0x3A485A);
            put(s, x, y - 2, 0x3A485A);
            put(s, x + 1, y - 2, 0x0C1016);
        }
    }
}

void drawHeading(Surface* s, int cx, int y, const char* t) {
    int tw = mkTextWidth(t, 16, 1);
    int x0 = cx - tw / 2 - 12, x1 = cx + tw / 2 + 12;
    plate(s, x0, y, x1, y + 23, 0x5A6A80, 0x2E3A4A, 2);
    halo(s, cx, y + 11, 10, 0x60E0FF, 60);
    titleText(s, cx, y + 6, t, 16, 0xFFE9A0, 0x101820);
}

// ---- [SECTION] Board pieces ----

// The five kinds differ in shape as well as colour: orb, square, triangle, diamond, cross.
struct ElementLook {
    uint32_t core, body, rim;
};
static const ElementLook ELEMENT_LOOKS[5] = {
    {0xFFC0A8, 0xE03020, 0x5A0C08},  // red orb
    {0xB8D8FF, 0x2868E0, 0x0C1C5A},  // blue square
    {0xC8FFB0, 0x30B040, 0x0C4010},  // green triangle
    {0xFFF4A0, 0xE8B818, 0x5A4004},  // yellow diamond
    {0xF0C0FF, 0xA040D0, 0x3A0C50},  // violet cross
};

// Inside test in half-pixel offsets from the 20 x 20 square's centre (range -19..19).
static bool elementInside(int kind, int dx, int dy) {
    int ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
    switch (kind) {
        case 0:
            return dx * dx + dy * dy <= 16 * 16 + 8;
        case 1:
            return ax <= 14 && ay <= 14 && ax + ay <= 25;
        case 2:
            return dy <= 13 && dy >= -17 && 2 * ax <= dy + 17 + 2;  // apex up, wide base
        case 3:
            return ax + ay <= 18;
        default:
            return (ax <= 5 && ay <= 17) || (ay <= 5 && ax <= 17);
    }
}

void drawElement(Surface* s, int x, int y, int kind) {
    const ElementLook& L = ELEMENT_LOOKS[kind];
    for (int py = 0; py < 20; py++)
        for (int px = 0; px < 20; px++) {
            int dx = 2 * px - 19, dy = 2 * py - 19;
            if (!elementInside(kind, dx, dy)) continue;
            bool edge = !elementInside(kind, dx - 2, dy) || !elementInside(kind, dx + 2, dy) ||
                        !elementInside(kind, dx, dy - 2) || !elementInside(kind, dx, dy + 2);
            // The glow sits a little above and left of centre, so each element reads as a lit gem.
            int gx = dx + 4, gy = dy + 5;
            int d = (gx * gx + gy * gy) * 256 / (22 * 22);
            uint32_t c = edge      ? L.rim
                         : d < 256 ? lerp(L.core, L.body, d)
                                   : lerp(L.body, L.rim, (d - 256) / 3);
            put(s, x + px, y + py, c);
        }
}

// A hub with four notches and a glowing centre: only radial shading, so a quarter turn looks the same.
void drawRotator(Surface* s, int x, int y) {
    for (int py = 0; py < 20; py++)
        for (int px = 0; px < 20; px++) {
            int dx = 2 * px - 19, dy = 2 * py - 19;
            int ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
            int d2 = dx * dx + dy * dy;
            if (d2 > 13 * 13 + 4) continue;
            uint32_t c;
            if (d2 > 11 * 11 + 4)
                c = 0x10161E;  // dark rim
            else if ((ax <= 1 && ay >= 5) || (ay <= 1 && ax >= 5))
                c = 0x1C2632;  // the four notches
            else if (d2 <= 3 * 3 + 2)
                c = 0x80F0FF;  // energy core
            else if (d2 <= 5 * 5 + 4)
                c = 0x2890B0;
            else
                c = lerp(0xA8B4C4, 0x5A6676, (d2 - 25) * 256 / 100);
            put(s, x + px, y + py, c);
        }
}

// ---- [SECTION] Background ----

// A round speaker grille with sound waves; the mute picture is this with a cross over it.
static void drawSpeaker(Surface* s, int x, int y) {
    bevel(s, x, y, x + 23, y + 14, 0x4A5A6E, 0x28323E, 1);
    fill(s, x + 4, y + 5, x + 6, y + 9, 0xC8D4E0);
    for (int i = 0; i < 4; i++) vline(s, x + 7 + i, y + 5 - i, y + 9 + i, 0xC8D4E0);
    for (int r = 0; r < 3; r++) {
        gfxSetColour(to565(lerp(0x70E8FF, 0x2890B0, r * 90)));
        gfxEllipse(s, x + 11, y + 7, 3 + 3 * r, 2 + 2 * r, GFX_ELLIPSE_UR | GFX_ELLIPSE_LR);
    }
}

// The volume panel's housing with its left edge at x0: closed it only holds the handle, open it shows the
// track 96-190 x 3-14 with a rising wedge that tells loud from quiet.
static void drawVolumePanel(Surface* s, int x0) {
    plate(s, x0, 0, 193, 17, 0x46566A, 0x262E3A, 1);
    int t0 = x0 + 2 > 96 ? x0 + 2 : 96;
    fill(s, t0, 3, 190, 14, 0x0E141C);
    for (int x = t0; x <= 190; x++) {
        int h = (x - 96) * 9 / 94;
        vline(s, x, 13 - h, 13, lerp(0x1C6078, 0x60E0FF, (x - 96) * 256 / 94));
    }
    hline(s, t0, 190, 3, 0x06080C);
}

void drawButton(Surface* s, int x0, int y0, int x1, int y1, const char* label, int size) {
    plate(s, x0, y0, x1, y1, 0x6A7C92, 0x38465A, 1);
    while (size > 6 && mkTextWidth(label, size, 1) > x1 - x0 - 5) size--;
    titleText(s, (x0 + x1 + 1) / 2, y0 + (y1 - y0 + 1 - size * 3 / 4) / 2, label, size, 0xE8F4FF, 0x141C26);
}

static Surface* makeBack() {
    Surface* s = canvas(240, 320, 0);
    drawMachineBody(s);
    // Top bar: name plate, volume housing (closed) and speaker.
    vgrad(s, 0, 0, 239, 17, 0x3A4A5E, 0x1E2632);
    hline(s, 0, 239, 18, 0x080C10);
    titleText(s, 6, 4, "KORVATRON", 11, 0xFFD870, 0x101820, MK_ALIGN_LEFT);
    drawVolumePanel(s, 155);
    drawSpeaker(s, 202, 1);

    // The board: a framed bed of 10 x 10 sockets, the 81 resting rotators at the corners between them.
    plate(s, 15, 15, 224, 224, 0x5A6C82, 0x2A3442, 3);
    fill(s, 19, 19, 220, 220, 0x06090E);
    for (int r = 0; r < 10; r++)
        for (int c = 0; c < 10; c++) {
            int x = 20 + 20 * c, y = 20 + 20 * r;
            uint32_t base = ((r + c) & 1) ? 0x1A2230 : 0x1E2838;
            for (int py = 0; py < 20; py++)
                for (int px = 0; px < 20; px++) {
                    int dx = 2 * px - 19, dy = 2 * py - 19;
                    put(s, x + px, y + py, lerp(0x2C3C52, base, (dx * dx + dy * dy) * 256 / 722));
                }
        }
    for (int j = 0; j < 9; j++)
        for (int i = 0; i < 9; i++) drawRotator(s, 30 + 20 * i, 30 + 20 * j);

    // Energy conduits from the board down to the gauges.
    for (int k = 0; k < 3; k++) {
        int x = 60 + 60 * k;
        fill(s, x - 3, 226, x + 3, 249, 0x0E141C);
        vgrad(s, x - 1, 226, x + 1, 249, 0x60E0FF, 0x1C6078);
    }
    // Score band and gauge window: light, because the game writes its numbers there in black.
    plate(s, 26, 247, 219, 271, 0x4A5A6E, 0x28323E, 2);
    window(s, 30, 251, 215, 267);
    vline(s, 107, 253, 266, 0x98A8B4);

    // Pause bar, quick save and menu buttons at their tap areas.
    drawButton(s, 46, 286, 190, 299, "PAUSE", 10);
    drawButton(s, 31, 305, 87, 316, "QUICK SAVE", 8);
    drawButton(s, 154, 305, 206, 316, "MENU", 8);
    // Status lamps beside the buttons, glowing like the conduits.
    glowDisc(s, 22, 292, 4, 0xC0FFB0, 0x208030);
    glowDisc(s, 214, 292, 4, 0xC0FFB0, 0x208030);
    glowDisc(s, 120, 310, 3, 0xFFE090, 0x906010);
    return s;
}

// ---- [SECTION] Small keyed pictures ----

static Surface* makeKeyed(int w, int h) {
    return canvas(w, h, KEY);
}

// Sparks of a line turning into energy: rays from the centre, longer and brighter with the level.
static Surface* makeSpark(int level) {
    Surface* s = makeKeyed(20, 20);
    int reach = 5 + 2 * level;
    for (int py = 0; py < 20; py++)
        for (int px = 0; px < 20; px++) {
            int dx = 2 * px - 19, dy = 2 * py - 19;
            int ax = dx < 0 ? -dx : dx, ay = dy < 0 ? -dy : dy;
            int d = ax > ay ? ax : ay;
            bool ray = (ax <= 1 || ay <= 1) && d <= 2 * reach;
            bool diag = (ax - ay <= 2 && ay - ax <= 2) && d <= 2 * reach - 6;
            bool core = dx * dx + dy * dy <= (4 + 2 * level) * (4 + 2 * level);
            if (core)
                put(s, px, py,
                    lerp(0xFFFAC0, 0xFFB020,
                         (dx * dx + dy * dy) * 256 / ((5 + 2 * level) * (5 + 2 * level))));
            else if (ray)
                put(s, px, py, lerp(0x90F0FF, 0x2080C0, d * 256 / (2 * reach + 1)));
            else if (diag)
                put(s, px, py, 0xFFC040);
        }
    return s;
}

static Surface* makeBattery() {
    Surface* s = makeKeyed(18, 10);
    frame(s, 0, 1, 15, 8, 0x101820);
    vgrad(s, 1, 2, 14, 7, 0xA0F090, 0x208030);
    hline(s, 2, 13, 3, 0xD0FFC0);
    vline(s, 5, 3, 6, 0x185C24);
    vline(s, 10, 3, 6, 0x185C24);
    fill(s, 16, 3, 17, 6, 0x101820);
    return s;
}

// One clock segment: two lit columns and a keyed gap, so segments every 3 pixels read as a bar of ticks.
static Surface* makeTimeSlide() {
    Surface* s = makeKeyed(3, 8);
    vgrad(s, 0, 0, 1, 7, 0xFFD050, 0xD05010);
    return s;
}

static Surface* makeKnob() {
    Surface* s = makeKeyed(32, 12);
    bevel(s, 1, 1, 30, 10, 0xC8D2DE, 0x5A6676, 2);
    put(s, 1, 1, KEY);
    put(s, 30, 1, KEY);
    put(s, 1, 10, KEY);
    put(s, 30, 10, KEY);
    vline(s, 0, 2, 9, 0x2A3442);
    vline(s, 31, 2, 9, 0x2A3442);
    // A glowing grip in the middle: the part the eye follows along the track.
    fill(s, 14, 3, 17, 8, 0x1C6078);
    vline(s, 15, 3, 8, 0x90F0FF);
    vline(s, 16, 3, 8, 0x60E0FF);
    for (int x : {7, 10, 21, 24}) vline(s, x, 3, 8, 0x3A4656);
    return s;
}

static Surface* makeBonus() {
    Surface* s = makeKeyed(100, 24);
    // A pill with hard edges against the key.
    shade(s, 0, 0, 100, 24, [](int dx, int dy) -> int64_t {
        int ax = dx < 0 ? -dx : dx;
        int ex = ax > 72 ? ax - 72 : 0;
        int d2 = ex * ex + dy * dy;
        if (d2 > 23 * 23) return -1;
        if (d2 > 20 * 20) return 0x5A3004;
        return lerp(0xFFE880, 0xE08810, (dy + 20) * 256 / 40);
    });
    text(s, 50, 6, "BONUS!", 14, 0x3A1C00, MK_ALIGN_CENTRE);
    return s;
}

// ---- [SECTION] Panel, banners and dialog ----

static Surface* makeGameOver() {
    Surface* s = canvas(160, 48, 0);
    plate(s, 0, 0, 159, 47, 0x7A2A22, 0x3A0E0A, 3);
    halo(s, 80, 24, 40, 0xFF6030, 70);
    titleText(s, 80, 13, "GAME OVER", 20, 0xFFE0A0, 0x200404);
    return s;
}

static Surface* makePauseDown(const Surface* back) {
    Surface* s = cut(back, 46, 286, 145, 14);
    bevel(s, 0, 0, 144, 13, 0x6A4A18, 0xB08028, 1, true);
    frame(s, 0, 0, 144, 13, 0x0A0E14);
    halo(s, 72, 7, 30, 0xFFD060, 80);
    titleText(s, 72, 2, "PAUSED", 10, 0xFFF0B0, 0x2A1804);
    return s;
}

static Surface* makeMute(const Surface* back) {
    Surface* s = cut(back, 202, 1, 24, 15);
    for (int i = 0; i < 11; i++) {
        for (int t = 0; t < 2; t++) {
            put(s, 12 + i + t, 2 + i, 0xE02818);
            put(s, 22 - i + t, 2 + i, 0xE02818);
        }
    }
    return s;
}

// The quit, save and resume bars fill their tap areas exactly (at 12-86 x 9-16, 17-24 and 27-34 here).
static Surface* makeQuitSaveResume() {
    Surface* s = canvas(100, 44, 0);
    plate(s, 0, 0, 99, 43, 0x5A6C82, 0x2A3442, 2);
    struct Bar {
        int y0, y1;
        const char* word;
        uint32_t top, bottom, lamp;
    };
    const Bar bars[3] = {{9, 16, "QUIT", 0xF0B0A0, 0xC86850, 0xFF5030},
                         {17, 24, "SAVE", 0xB0D0F0, 0x6890C8, 0x50A0FF},
                         {27, 34, "RESUME", 0xB8F0B0, 0x68B060, 0x40E040}};
    for (const Bar& b : bars) {
        bevel(s, 12, b.y0, 86, b.y1, b.top, b.bottom, 1);
        text(s, 49, b.y0 + 1, b.word, 7, 0x101418, MK_ALIGN_CENTRE);
        glowDisc(s, 92, (b.y0 + b.y1) / 2, 3, 0xFFFFC0, b.lamp);
    }
    glowDisc(s, 6, 22, 2, 0xB0F8FF, 0x2890B0);
    return s;
}

void makeInGame(const std::string& outDir, int& count) {
    Surface* back = makeBack();
    // The panel frames copy the top bar and draw the housing further open each time.
    const int panelLeft[3] = {136, 115, 94};
    for (int i = 0; i < 3; i++) {
        Surface* f = cut(back, 0, 0, 202, 20);
        drawVolumePanel(f, panelLeft[i]);
        char name[32];
        snprintf(name, sizeof name, "Open_%02d.tga", i + 1);
        save(outDir, name, f, count);
    }
    save(outDir, "PauseDown.tga", makePauseDown(back), count);
    save(outDir, "mute.tga", makeMute(back), count);
    save(outDir, "back.tga", back, count);

    Surface* rot = makeKeyed(20, 20);
    drawRotator(rot, 0, 0);
    save(outDir, "rotator.tga", rot, count);
    for (int k = 0; k < 5; k++) {
        Surface* e = makeKeyed(20, 20);
        drawElement(e, 0, 0, k);
        keySafe(e);
        char name[32];
        snprintf(name, sizeof name, "element%02d.tga", k);
        save(outDir, name, e, count);
    }
    for (int k = 0; k < 3; k++) {
        Surface* b = makeSpark(k);
        keySafe(b);
        char name[32];
        snprintf(name, sizeof name, "blend%02d.tga", k);
        save(outDir, name, b, count);
    }
    Surface* keyed[4] = {makeBattery(), makeTimeSlide(), makeKnob(), makeBonus()};
    const char* keyedNames[4] = {"battery.tga", "TimeSlide.tga", "SliderVol.tga", "bonus.tga"};
    for (int i = 0; i < 4; i++) {
        keySafe(keyed[i]);
        save(outDir, keyedNames[i], keyed[i], count);
    }
    save(outDir, "gameover.tga", makeGameOver(), count);
    save(outDir, "QuitSaveResume.tga", makeQuitSaveResume(), count);
}

}  // namespace pic

// ---- [SECTION] Entry point ----

int mkPictures(const std::string& outDir) {
    int count = 0;
    uint32_t oldColour = gfxGetColour();
    int32_t oldMode = gfxSetDrawMode(0);
    const Rect* oldClip = gfxSetClip(nullptr);
    pic::makeInGame(outDir, count);
    pic::makeMenus(outDir, count);
    pic::makeScreens(outDir, count);
    gfxSetClip(oldClip);
    gfxSetDrawMode(oldMode);
    gfxSetColour(oldColour);
    return count;
}
