// The main menu with its button map and start animations, and the options screen with its direction buttons.
//
// [SECTION] Main menu geometry
// [SECTION] Main menu
// [SECTION] Options
#include "pictures.h"

#include <cstdio>

namespace pic {

// ---- [SECTION] Main menu geometry ----

// The three energy cells start a game: Game 1 red, Game 2 blue, Game 3 green.
static const uint32_t CELL_COLOURS[3] = {0xFF4028, 0x3880FF, 0x30D048};
static const char* const CELL_LABELS[3] = {"GAME 1", "GAME 2", "GAME 3"};

// level 0 is the cell at rest as the menu shows it, 4 fully lit.
static void drawEnergyCell(Surface* s, int x, int y, int kind, int level) {
    const int w = MENU_CELL_W, h = MENU_CELL_H;
    uint32_t c = CELL_COLOURS[kind];
    plate(s, x, y, x + w - 1, y + h - 1, 0x6A7C92, 0x2E3A4A, 2);
    // The glass window, glowing brighter with each step.
    uint32_t dim = lerp(0x101418, c, 70 + 40 * level), deep = lerp(0x06080A, c, 20 + 30 * level);
    int gx0 = x + 4, gy0 = y + 4, gx1 = x + w - 5, gy1 = y + h - 5;
    frame(s, gx0 - 1, gy0 - 1, gx1 + 1, gy1 + 1, 0x06080C);
    vgrad(s, gx0, gy0, gx1, gy1, dim, deep);
    // The glow is an ellipse that fades out inside the glass: a round one wider than the glass is tall
    // spilled over the bezel and was cut off by the picture's lower edge.
    if (level > 0) {
        const int rx = 10 + 5 * level, ry = (gy1 - gy0) / 2, strength = 50 + 35 * level;
        const uint32_t glowColour = lerp(c, 0xFFFFE0, 40 * level);
        shade(s, gx0, gy0, gx1 - gx0 + 1, gy1 - gy0 + 1, [&](int dx, int dy) -> int64_t {
            // dx, dy come in half pixels; d reaches 256 on the ellipse's rim
            const int64_t d = int64_t(dx) * dx * 256 / (4 * rx * rx) + int64_t(dy) * dy * 256 / (4 * ry * ry);
            if (d >= 256) return -1;
            const int px = gx0 + (dx + gx1 - gx0 + 1 - 1) / 2, py = gy0 + (dy + gy1 - gy0 + 1 - 1) / 2;
            const uint32_t v = sfGetPixel(s, px, py);
            const uint32_t old = ((v & 0xF800) << 8) | ((v & 0x07E0) << 5) | ((v & 0x001F) << 3);
            return lerp(old, glowColour, strength * int(256 - d) / 256);
        });
    }
    hline(s, gx0 + 1, gx1 - 1, gy0, lerp(dim, 0xFFFFFF, 110));
    titleText(s, (gx0 + gx1 + 1) / 2, y + 9, CELL_LABELS[kind], 11, lerp(0xD8E0E8, 0xFFFFF0, level * 64),
              0x080A0E);
}

// ---- [SECTION] Main menu ----

static void drawConduit(Surface* s, int x0, int y0, int x1, int y1) {
    fill(s, x0 - 2, y0 - 2, x1 + 2, y1 + 2, 0x0A0E14);
    fill(s, x0, y0, x1, y1, 0x2890B0);
    if (x1 - x0 > y1 - y0)
        hline(s, x0, x1, (y0 + y1) / 2, 0x90F0FF);
    else
        vline(s, (x0 + x1) / 2, y0, y1, 0x90F0FF);
}

static Surface* makeMainMenu() {
    Surface* s = canvas(240, 320, 0);
    drawMachineBody(s);
    titleText(s, 120, 8, "KORVATRON", 22, 0xFFD870, 0x101820);
    // Three clear rows above the GAME 1 cell (y 38) and below the title's rim.
    text(s, 120, 29, "THE ENERGY MACHINE", 8, 0x90C8E0, MK_ALIGN_CENTRE);

    // Conduits feed the three cells from the reactor; drawn first so the cells sit on top of them.
    drawConduit(s, 180, 68, 182, 108);
    drawConduit(s, 152, 84, 180, 86);
    drawConduit(s, 110, 100, 112, 139);
    drawConduit(s, 122, 154, 160, 156);
    drawConduit(s, 112, 128, 176, 130);
    drawConduit(s, 176, 128, 178, 134);
    // The reactor, below the quick-load window.
    glowDisc(s, 178, 154, 20, 0x1C2430, 0x06080C);
    glowDisc(s, 178, 154, 17, 0xFFF0A0, 0x2890B0);
    halo(s, 178, 154, 26, 0x60E0FF, 60);
    text(s, 8, 46, "NEW GAME", 9, 0xFFD870, MK_ALIGN_LEFT);
    for (int i = 0; i < 3; i++) hline(s, 8, 60, 58 + 2 * i, lerp(0x60E0FF, 0x1C6078, i * 100));

    for (int k = 0; k < 3; k++) drawEnergyCell(s, MENU_CELLS[k].x, MENU_CELLS[k].y, k, 0);

    // The quick-load window: light, since the game writes "QUICK LOAD" there in black when it can.
    window(s, MENU_QUICK_LOAD.x - 3, MENU_QUICK_LOAD.y - 3, MENU_QUICK_LOAD.x + MENU_QUICK_LOAD.width + 1,
           MENU_QUICK_LOAD.y + MENU_QUICK_LOAD.height + 1);

    text(s, 120, 181, "LOAD GAME", 9, 0xFFD870, MK_ALIGN_CENTRE);
    for (int k = 3; k < 9; k++) {
        const MenuButton& b = MENU_BUTTONS[k];
        drawButton(s, b.area.x, b.area.y, b.area.x + b.area.width - 1, b.area.y + b.area.height - 1, b.label,
                   10);
    }
    // Footer: a row of charge lamps across the machine's base.
    plate(s, 8, 282, 231, 312, 0x3A4A5E, 0x1E2632, 2);
    for (int i = 0; i < 10; i++)
        glowDisc(s, 22 + 22 * i, 297, 5, i < 7 ? 0xC0FFB0 : 0xFFE090, i < 7 ? 0x208030 : 0x906010);
    return s;
}

// Exactly the nine raw values over the button areas and black elsewhere: the game reads it pixel by pixel.
static Surface* makeMainMenuMask() {
    Surface* s = sfCreate(240, 320, pf565, 0, SF_NO_KEY, nullptr);
    if (!s) return nullptr;
    gfxSetDrawMode(0);
    gfxSetColour(0);
    gfxFillRect(s, nullptr);
    for (const MenuButton& b : MENU_BUTTONS) {
        gfxSetColour(b.mapValue);
        gfxFillRect(s, &b.area);
    }
    return s;
}

// ---- [SECTION] Options ----

// A direction button: level 0 selected (lamp lit), 4 unselected (lamp dark).
static Surface* makeRotationButton(int step) {
    Surface* s = canvas(40, 40, 0);
    int lit = 4 - step;
    plate(s, 0, 0, 39, 39, lerp(0x4A5A6E, 0x7A8EA6, lit * 64), lerp(0x262E3A, 0x3A4A5E, lit * 64), 3);
    glowDisc(s, 20, 20, 12, 0x1C2430, 0x06080C);
    glowDisc(s, 20, 20, 10, lerp(0x3A4450, 0xE0FFD0, lit * 64), lerp(0x1A2028, 0x208030, lit * 64));
    if (lit > 0) halo(s, 20, 20, 16, 0x80FF90, 25 * lit);
    return s;
}

// An arc with a head, turning anticlockwise (dir 0) or clockwise (dir 1), centred at (cx, cy).
static void drawTurnArrow(Surface* s, int cx, int cy, int dir) {
    gfxSetColour(to565(0x60E0FF));
    gfxEllipse(s, cx, cy, 11, 11,
               GFX_ELLIPSE_THICK | GFX_ELLIPSE_UL | GFX_ELLIPSE_UR | GFX_ELLIPSE_LL | GFX_ELLIPSE_LR);
    fill(s, cx - 3, cy + 6, cx + 3, cy + 12, 0x1E2838);  // a gap at the bottom where the head sits
    // At the bottom of the circle an anticlockwise turn moves right and a clockwise one left: the head's
    // tip points that way.
    int hx = dir ? cx + 4 : cx - 4;
    for (int i = 0; i < 5; i++) {
        int x = dir ? hx - i : hx + i;
        vline(s, x, cy + 10 - (4 - i), cy + 10 + (4 - i), 0xFFE090);
    }
}

static Surface* makeOptions(const Surface* selectedButton) {
    Surface* s = canvas(240, 320, 0);
    drawMachineBody(s);
    drawHeading(s, 120, 8, "OPTIONS");
    text(s, 120, 52, "ROTATION", 10, 0xFFD870, MK_ALIGN_CENTRE);
    plate(s, 10, 64, 229, 136, 0x3A4A5E, 0x1E2632, 2);
    fill(s, 14, 68, 225, 132, 0x1E2838);
    sfCopyRect(selectedButton, s, 60, 71, nullptr);
    sfCopyRect(selectedButton, s, 142, 71, nullptr);
    drawTurnArrow(s, 34, 88, 0);
    drawTurnArrow(s, 206, 88, 1);
    text(s, 80, 117, "ANTICLOCKWISE", 8, 0xD8E4EE, MK_ALIGN_CENTRE);
    text(s, 162, 117, "CLOCKWISE", 8, 0xD8E4EE, MK_ALIGN_CENTRE);

    // Brightness: a ramp from dark to light, with the mark where the pictures stay unchanged.
    text(s, 120, 160, "BRIGHTNESS", 10, 0xFFD870, MK_ALIGN_CENTRE);
    plate(s, 43, 172, 194, 195, 0x3A4A5E, 0x1E2632, 2);
    frame(s, 48, 177, 189, 190, 0x06080C);
    hgrad(s, 49, 178, 188, 189, 0x101418, 0xE8E0C0);
    for (int y : {174, 175, 176, 191, 192, 193}) hline(s, 118, 119, y, 0xFFE090);
    vline(s, 118, 178, 189, 0xFF9030);
    vline(s, 119, 178, 189, 0xFF9030);

    // Volume: a wedge that grows to the right.
    text(s, 120, 204, "VOLUME", 10, 0xFFD870, MK_ALIGN_CENTRE);
    plate(s, 43, 216, 194, 239, 0x3A4A5E, 0x1E2632, 2);
    frame(s, 48, 221, 189, 234, 0x06080C);
    fill(s, 49, 222, 188, 233, 0x0E141C);
    for (int x = 49; x <= 188; x++) {
        int h = (x - 49) * 10 / 139;
        vline(s, x, 232 - h, 232, lerp(0x1C6078, 0x60E0FF, (x - 49) * 256 / 139));
    }

    drawButton(s, 55, 265, 182, 278, "BACK TO MENU", 9);
    return s;
}

void makeMenus(const std::string& outDir, int& count) {
    Surface* menu = makeMainMenu();
    static const char* const SERIES[3] = {"Red", "Blue", "Green"};
    for (int k = 0; k < 3; k++)
        for (int step = 0; step < 5; step++) {
            // Step 0 is cut from the menu itself so the animation starts on exactly its pixels.
            Surface* f = cut(menu, MENU_CELLS[k].x, MENU_CELLS[k].y, MENU_CELL_W, MENU_CELL_H);
            if (f && step > 0) drawEnergyCell(f, 0, 0, k, step);
            char name[32];
            snprintf(name, sizeof name, "%s_%02d.tga", SERIES[k], step);
            save(outDir, name, f, count);
        }
    save(outDir, "MainMenu.tga", menu, count);
    save(outDir, "MainMenuMask.tga", makeMainMenuMask(), count);

    Surface* buttons[5];
    for (int i = 0; i < 5; i++) buttons[i] = makeRotationButton(i);
    save(outDir, "OptionsMenu.tga", makeOptions(buttons[0]), count);
    for (int i = 0; i < 5; i++) {
        char name[32];
        snprintf(name, sizeof name, "ROTATION_%02d.tga", i);
        save(outDir, name, buttons[i], count);
    }
}

}  // namespace pic
