// The picture makers' shared drawing kit: colours, gradients, bevelled panels, glows and the keyed-picture
// rules.
//
// Colours are 0x00RRGGBB everywhere here and become RGB 565 only when a pixel is stored, so every picture is
// built in the format the game loads it in. Nothing here reads a clock or an unseeded generator: the same
// calls give the same pixels.
#pragma once
#include <cstdint>
#include <string>

#include "brask/gfx.h"
#include "mkgamedata.h"

namespace pic {

// ---- Colours ----
inline uint32_t to565(uint32_t rgb) {
    return ((rgb >> 8) & 0xF800) | ((rgb >> 5) & 0x07E0) | ((rgb >> 3) & 0x001F);
}
inline uint32_t rgb(int r, int g, int b) {
    auto c = [](int v) { return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v); };
    return (c(r) << 16) | (c(g) << 8) | c(b);
}
// a to b by t/256.
inline uint32_t lerp(uint32_t a, uint32_t b, int t) {
    if (t <= 0) return a;
    if (t >= 256) return b;
    auto ch = [&](int sh) {
        int x = int((a >> sh) & 255), y = int((b >> sh) & 255);
        return uint32_t(x + (y - x) * t / 256) << sh;
    };
    return ch(16) | ch(8) | ch(0);
}

// ---- Pixels and areas (inclusive corners, clipped to the surface) ----
inline void put(Surface* s, int x, int y, uint32_t c) {
    if (x >= 0 && y >= 0 && x < s->width && y < s->height) sfPutPixel(s, x, y, to565(c));
}
inline void fill(Surface* s, int x0, int y0, int x1, int y1, uint32_t c) {
    gfxSetDrawMode(0);
    gfxSetColour(to565(c));
    Rect r{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    gfxFillRect(s, &r);
}
inline void frame(Surface* s, int x0, int y0, int x1, int y1, uint32_t c) {
    gfxSetDrawMode(0);
    gfxSetColour(to565(c));
    Rect r{x0, y0, x1 - x0 + 1, y1 - y0 + 1};
    gfxFrameRect(s, &r);
}
inline void hline(Surface* s, int x0, int x1, int y, uint32_t c) {
    gfxSetColour(to565(c));
    gfxHLine(s, x0, y, x1 - x0 + 1);
}
inline void vline(Surface* s, int x, int y0, int y1, uint32_t c) {
    gfxSetColour(to565(c));
    gfxVLine(s, x, y0, y1 - y0 + 1);
}
// Top colour to bottom colour, one line at a time.
inline void vgrad(Surface* s, int x0, int y0, int x1, int y1, uint32_t top, uint32_t bottom) {
    int h = y1 - y0;
    for (int y = y0; y <= y1; y++) hline(s, x0, x1, y, lerp(top, bottom, h > 0 ? (y - y0) * 256 / h : 0));
}
inline void hgrad(Surface* s, int x0, int y0, int x1, int y1, uint32_t left, uint32_t right) {
    int w = x1 - x0;
    for (int x = x0; x <= x1; x++) vline(s, x, y0, y1, lerp(left, right, w > 0 ? (x - x0) * 256 / w : 0));
}

// A bevelled slab: gradient face, lit top and left edges, shaded bottom and right ones (swapped when sunken).
inline void bevel(Surface* s, int x0, int y0, int x1, int y1, uint32_t faceTop, uint32_t faceBottom,
                  int depth, bool sunken = false) {
    vgrad(s, x0, y0, x1, y1, faceTop, faceBottom);
    uint32_t lit = lerp(faceTop, 0xFFFFFF, 150), dark = lerp(faceBottom, 0x000000, 150);
    if (sunken) {
        uint32_t t = lit;
        lit = dark;
        dark = t;
    }
    for (int i = 0; i < depth; i++) {
        uint32_t l = lerp(lit, faceTop, i * 256 / depth), d = lerp(dark, faceBottom, i * 256 / depth);
        hline(s, x0 + i, x1 - i, y0 + i, l);
        vline(s, x0 + i, y0 + i, y1 - i, l);
        hline(s, x0 + i, x1 - i, y1 - i, d);
        vline(s, x1 - i, y0 + i, y1 - i, d);
    }
}
// A machine plate: dark outline around a raised bevel.
inline void plate(Surface* s, int x0, int y0, int x1, int y1, uint32_t faceTop, uint32_t faceBottom,
                  int depth = 2) {
    frame(s, x0, y0, x1, y1, 0x0A0E14);
    bevel(s, x0 + 1, y0 + 1, x1 - 1, y1 - 1, faceTop, faceBottom, depth);
}
// A light window set into the machine, for text the game writes in black.
inline void window(Surface* s, int x0, int y0, int x1, int y1) {
    frame(s, x0, y0, x1, y1, 0x0A0E14);
    hline(s, x0 + 1, x1 - 1, y0 + 1, 0x6A7888);
    vline(s, x0 + 1, y0 + 1, y1 - 1, 0x6A7888);
    vgrad(s, x0 + 2, y0 + 2, x1 - 1, y1 - 1, 0xE6EEF2, 0xCAD8E0);
}

// Fills every pixel where f(dx, dy) (offsets of the pixel centre from the area's centre, in 1/2 pixels so
// even sizes stay symmetric) returns a colour; a negative result leaves the pixel alone.
template <class F>
void shade(Surface* s, int x0, int y0, int w, int h, F f) {
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            int64_t c = f(2 * x + 1 - w, 2 * y + 1 - h);
            if (c >= 0) put(s, x0 + x, y0 + y, uint32_t(c));
        }
}
// A round glow: core colour in the middle fading to the rim colour at radius r (hard edge, no blending out).
inline void glowDisc(Surface* s, int cx, int cy, int r, uint32_t core, uint32_t rim) {
    for (int y = -r; y <= r; y++)
        for (int x = -r; x <= r; x++) {
            int d2 = x * x + y * y;
            if (d2 <= r * r) put(s, cx + x, cy + y, lerp(core, rim, d2 * 256 / (r * r + 1)));
        }
}
// A soft halo added over what is there: colour c blended in, strongest at the centre, gone at radius r.
inline void halo(Surface* s, int cx, int cy, int r, uint32_t c, int strength) {
    for (int y = -r; y <= r; y++)
        for (int x = -r; x <= r; x++) {
            int px = cx + x, py = cy + y;
            int d2 = x * x + y * y;
            if (d2 > r * r || px < 0 || py < 0 || px >= s->width || py >= s->height) continue;
            uint32_t v = sfGetPixel(s, px, py);
            uint32_t old = ((v & 0xF800) << 8) | ((v & 0x07E0) << 5) | ((v & 0x001F) << 3);
            put(s, px, py, lerp(old, c, strength * (r * r - d2) / (r * r)));
        }
}

// ---- Keyed pictures ----
const uint32_t KEY = 0xFFFFFF;
// The loader's near-white test: such a pixel would be taken for the key and vanish.
inline bool nearWhite565(uint32_t v) {
    return (v >> 11) >= 30 && ((v >> 5) & 63) >= 60 && (v & 31) >= 30;
}
// Pulls every opaque near-white pixel down to a safe pale grey; the key itself stays pure white.
inline void keySafe(Surface* s) {
    for (int y = 0; y < s->height; y++)
        for (int x = 0; x < s->width; x++) {
            uint32_t v = sfGetPixel(s, x, y);
            if (v != 0xFFFF && nearWhite565(v)) sfPutPixel(s, x, y, (v & ~0x07E0u) | (58u << 5));
        }
}

// ---- Surfaces and files ----
inline Surface* canvas(int w, int h, uint32_t c) {
    Surface* s = sfCreate(w, h, pf565, 0, SF_NO_KEY, nullptr);
    if (s) fill(s, 0, 0, w - 1, h - 1, c);
    return s;
}
// Copies an area of one picture into a new one of that size (for frames that must match a screen exactly).
inline Surface* cut(const Surface* from, int x, int y, int w, int h) {
    Surface* s = sfCreate(w, h, pf565, 0, SF_NO_KEY, nullptr);
    if (!s) return nullptr;
    Rect r{x, y, w, h};
    sfCopyRect(from, s, 0, 0, &r);
    return s;
}
// Writes gamedata/<name> and frees the surface; counts the files written. (The writer widens channels so the
// loader gives back every raw 565 value exactly, which the button map depends on.)
inline void save(const std::string& outDir, const char* name, Surface* s, int& count) {
    if (s && mkWriteTGA(outDir + "/gamedata/" + name, s)) count++;
    sfFree(s);
}

// ---- Lettering ----
// Rows between the lettering's top line and the top of a capital, so layouts can place capitals exactly.
inline int capDrop(int size, bool bold) {
    static int cache[64][2];
    static bool known[64][2];
    if (size < 1 || size >= 64) return 0;
    if (!known[size][bold]) {
        known[size][bold] = true;
        Surface* t = sfCreate(64, 64, pf565, 0, SF_NO_KEY, nullptr);
        if (!t) return 0;
        fill(t, 0, 0, 63, 63, 0xFFFFFF);
        mkText(t, 4, 0, "H", size, 0x000000, bold ? 1 : 0, MK_ALIGN_LEFT, 0);
        for (int y = 63; y >= 0; y--)
            for (int x = 0; x < 64; x++)
                if (sfGetPixel(t, x, y) != 0xFFFF) cache[size][bold] = y;
        sfFree(t);
    }
    return cache[size][bold];
}
// Lettering whose capitals start at row y.
inline int text(Surface* s, int x, int y, const char* t, int size, uint32_t c, int align = MK_ALIGN_LEFT,
                bool bold = true, bool smooth = true) {
    return mkText(s, x, y - capDrop(size, bold), t, size, c, bold ? 1 : 0, align, smooth ? 1 : 0);
}
// Lettering with a one-pixel dark rim, for titles over busy machinery.
inline void titleText(Surface* s, int x, int y, const char* t, int size, uint32_t c, uint32_t rim,
                      int align = MK_ALIGN_CENTRE) {
    y -= capDrop(size, true);
    for (int dy = -1; dy <= 1; dy++)
        for (int dx = -1; dx <= 1; dx++)
            if (dx || dy) mkText(s, x + dx, y + dy, t, size, rim, 1, align, 1);
    mkText(s, x, y, t, size, c, 1, align, 1);
}

// ---- Shared pieces drawn by more than one maker ----
// Element kinds 0..4 and the rotator, drawn centred on a 20 x 20 key-white square at (x, y).
void drawElement(Surface* s, int x, int y, int kind);
void drawRotator(Surface* s, int x, int y);
// The machine's dark riveted body as a background for a whole screen.
void drawMachineBody(Surface* s);
// A screen heading on a bevelled name plate, centred on x.
void drawHeading(Surface* s, int cx, int y, const char* t);
// A raised machine button filling the area, its label centred in light lettering.
void drawButton(Surface* s, int x0, int y0, int x1, int y1, const char* label, int size);

// ---- Main menu layout ----
// The three energy cells sit where the start animations are drawn; the map paints each button's area in the
// raw value the menu looks up, in this order: new games 1-3, loads 1-3, options, help, exit.
const int MENU_CELL_W = 80, MENU_CELL_H = 30;
struct MenuCell {
    int x, y;
};
const MenuCell MENU_CELLS[3] = {{149, 38}, {72, 70}, {42, 140}};
struct MenuButton {
    Rect area;
    uint32_t mapValue;
    const char* label;
};
const MenuButton MENU_BUTTONS[9] = {{{149, 38, MENU_CELL_W, MENU_CELL_H}, 0x3000, "GAME 1"},
                                    {{72, 70, MENU_CELL_W, MENU_CELL_H}, 0x6000, "GAME 2"},
                                    {{42, 140, MENU_CELL_W, MENU_CELL_H}, 0x9000, "GAME 3"},
                                    {{14, 194, 64, 24}, 0xC000, "LOAD 1"},
                                    {{88, 194, 64, 24}, 0xF800, "LOAD 2"},
                                    {{162, 194, 64, 24}, 0x0180, "LOAD 3"},
                                    {{14, 230, 64, 24}, 0x3180, "OPTIONS"},
                                    {{88, 230, 64, 24}, 0x6180, "HELP"},
                                    {{162, 230, 64, 24}, 0x9180, "EXIT"}};
const Rect MENU_QUICK_LOAD = {140, 113, 74, 10};  // inclusive 140,113 - 213,122; the game writes there

// ---- The makers of each group; each adds the files it wrote to count ----
void makeInGame(const std::string& outDir, int& count);
void makeMenus(const std::string& outDir, int& count);
void makeScreens(const std::string& outDir, int& count);

}  // namespace pic
