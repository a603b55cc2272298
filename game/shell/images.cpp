// The game's pictures: the 54-slot image table with each slot's set-up, the brightness baked into the
// pixels at load time, and the game font.
//
// Brightness is applied once per load, so drawing never pays for it. Keyed pictures are keyed on the
// transformed white, which no other colour can reach when brightening, so transparency stays exact. The
// button map (slot 24) is compared by raw value and is never transformed; neither are the font and the
// loading picture, which load elsewhere.
#include <cmath>
#include <cstring>

#include "brask/image.h"
#include "brask/system.h"
#include "shell/shell.h"

namespace {

enum : uint8_t {
    SET_KEYED = 1,        // colour key: the transformed white
    SET_CENTRE = 2,       // anchor at the middle
    SET_BOTTOM_LEFT = 4,  // anchor at the left of the bottom row
    SET_RAW = 8,          // exact colours: loaded after the transform, never transformed
};

struct ImageSlot {
    const char16_t* file;  // null: the slot stays empty
    uint8_t setup;
};

const ImageSlot kImages[IMAGE_SLOTS] = {
    {u"gamedata/rotator.tga", SET_KEYED | SET_CENTRE},
    {u"gamedata/element00.tga", SET_KEYED | SET_CENTRE},
    {u"gamedata/element01.tga", SET_KEYED | SET_CENTRE},
    {u"gamedata/element02.tga", SET_KEYED | SET_CENTRE},
    {u"gamedata/element03.tga", SET_KEYED | SET_CENTRE},
    {u"gamedata/element04.tga", SET_KEYED | SET_CENTRE},
    {u"gamedata/QuitSaveResume.tga", 0},
    {u"gamedata/blend00.tga", SET_KEYED | SET_CENTRE},
    {u"gamedata/blend01.tga", SET_KEYED | SET_CENTRE},
    {u"gamedata/blend02.tga", SET_KEYED | SET_CENTRE},
    {nullptr, 0},
    {nullptr, 0},
    {u"gamedata/back.tga", 0},
    {u"gamedata/battery.tga", SET_KEYED | SET_CENTRE},
    {u"gamedata/gameover.tga", SET_CENTRE},
    {u"gamedata/bonus.tga", SET_KEYED | SET_CENTRE},
    {u"gamedata/mute.tga", 0},
    {u"gamedata/Open_01.tga", 0},
    {u"gamedata/Open_02.tga", 0},
    {u"gamedata/Open_03.tga", 0},
    {u"gamedata/SliderVol.tga", SET_KEYED},
    {u"gamedata/PauseDown.tga", 0},
    {u"gamedata/TimeSlide.tga", SET_KEYED},
    {u"gamedata/MainMenu.tga", 0},
    {u"gamedata/MainMenuMask.tga", SET_RAW},
    {u"gamedata/Red_00.tga", 0},
    {u"gamedata/Red_01.tga", 0},
    {u"gamedata/Red_02.tga", 0},
    {u"gamedata/Red_03.tga", 0},
    {u"gamedata/Red_04.tga", 0},
    {u"gamedata/Blue_00.tga", 0},
    {u"gamedata/Blue_01.tga", 0},
    {u"gamedata/Blue_02.tga", 0},
    {u"gamedata/Blue_03.tga", 0},
    {u"gamedata/Blue_04.tga", 0},
    {u"gamedata/Green_00.tga", 0},
    {u"gamedata/Green_01.tga", 0},
    {u"gamedata/Green_02.tga", 0},
    {u"gamedata/Green_03.tga", 0},
    {u"gamedata/Green_04.tga", 0},
    {u"gamedata/OptionsMenu.tga", 0},
    {u"gamedata/ROTATION_00.tga", 0},
    {u"gamedata/ROTATION_01.tga", 0},
    {u"gamedata/ROTATION_02.tga", 0},
    {u"gamedata/ROTATION_03.tga", 0},
    {u"gamedata/ROTATION_04.tga", 0},
    {u"gamedata/CREDITS.tga", 0},
    {u"gamedata/HELP.tga", 0},
    {u"gamedata/HOF_KBD.tga", 0},
    {u"gamedata/HOF.tga", 0},
    {nullptr, 0},
    {u"gamedata/Stylus.tga", SET_KEYED | SET_BOTTOM_LEFT},
    {nullptr, 0},
    {nullptr, 0},
};

Surface* loadSlot(int32_t slot, int32_t factor) {
    const ImageSlot& e = kImages[slot];
    if (!e.file) return nullptr;
    Surface* s = sfLoadTGA(e.file, pf565, nullptr);
    // A missing picture leaves its slot empty (the loader logged it); nothing is set on a record not loaded.
    if (!s) return nullptr;
    if (e.setup & SET_KEYED) s->colourKey = colourScale565(0xFFFF, factor);
    if (e.setup & SET_CENTRE) s->anchorX = s->anchorY = 128;
    if (e.setup & SET_BOTTOM_LEFT) {
        s->anchorX = 0;
        s->anchorY = 256;
    }
    return s;
}

// One channel of colourScale565: green keeps only its upper five bits, and every channel stops at 30, so
// nothing else becomes white.
uint32_t channelScale(uint32_t channel, int32_t factor) {
    const int32_t v = (factor * int32_t(channel) + 128) >> 8;
    return uint32_t(v < 0 ? 0 : v > 30 ? 30 : v);
}

// Every pixel through colourScale565. The pictures load as plain 565, so the pass runs along the rows with
// the factor's 32 channel values looked up: through sfGetPixel and sfPutPixel, with their bounds, clip and
// format checks per pixel, it was over half of what the start-up spent.
void applyBrightness(Surface* s, int32_t factor) {
    if (s->format != pf565 || s->rle || !s->pixels || s->xStep != 2) {
        for (int32_t y = 0; y < s->height; y++)
            for (int32_t x = 0; x < s->width; x++)
                sfPutPixel(s, x, y, colourScale565(sfGetPixel(s, x, y), factor));
        return;
    }
    uint16_t scaled[32];
    for (uint32_t c = 0; c < 32; c++) scaled[c] = uint16_t(channelScale(c, factor));
    const bool keepWhite = factor >= 256;
    for (int32_t y = 0; y < s->height; y++) {
        uint8_t* row = s->pixels + intptr_t(y) * s->rowPitch;
        for (int32_t x = 0; x < s->width; x++) {
            uint16_t p;
            memcpy(&p, row + 2 * x, 2);
            if (keepWhite && p == 0xFFFF) continue;
            p = uint16_t(scaled[p >> 11] << 11 | scaled[p >> 6 & 31] << 6 | scaled[p & 31]);
            memcpy(row + 2 * x, &p, 2);
        }
    }
}

}  // namespace

int32_t brightnessFactor(float brightness) {
    return int32_t(std::floor((brightness + 0.5f) * 256.0f + 0.5f));
}

uint32_t colourScale565(uint32_t pixel, int32_t factor) {
    if (factor >= 256 && pixel == 0xFFFF) return 0xFFFF;
    return channelScale(pixel >> 11 & 31, factor) * 2048 + channelScale(pixel >> 6 & 31, factor) * 64 +
           channelScale(pixel & 31, factor);
}

void imagesLoad(int32_t factor) {
    for (int32_t i = 0; i < IMAGE_SLOTS; i++)
        if (!(kImages[i].setup & SET_RAW)) gShell.images[i] = loadSlot(i, factor);
    for (int32_t i = 0; i < IMAGE_SLOTS; i++) {
        Surface* s = gShell.images[i];
        if (s && s->height > 0) applyBrightness(s, factor);
    }
    for (int32_t i = 0; i < IMAGE_SLOTS; i++)
        if (kImages[i].setup & SET_RAW) gShell.images[i] = loadSlot(i, factor);
}

void imagesFree() {
    for (Surface*& s : gShell.images) {
        sfFree(s);
        s = nullptr;
    }
}

Surface* image(int32_t slot) {
    return slot >= 0 && slot < IMAGE_SLOTS ? gShell.images[slot] : nullptr;
}

int32_t fontLoad() {
    Surface* img = sfLoadTGA(u"gamedata/font.tga", pf565, nullptr);
    if (!img) {
        sysMessageBox(u"Fatal: could not load font", 0);
        return 0;
    }
    img->colourKey = sfGetFormatOps(pf565)->fromRGB(0x000000);
    gShell.fontImage = img;
    Font& f = gShell.font;
    f = Font{};
    f.cellWidth = 8;
    f.cellHeight = 8;
    f.spacing = 1;
    f.lineGap = 2;
    f.proportional = 1;
    f.coverage = 1;
    f.image = img;
    f.columns = 31;
    f.rows = 2;
    f.firstChar = 33;
    fntBuildGlyphs(&f);
    return 1;
}

const Font* gameFont() {
    return &gShell.font;
}
