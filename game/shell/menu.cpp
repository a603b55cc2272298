// The main menu (a picture whose buttons are found through a second picture of flat colours), the start
// animation, the options screen with its sliders and direction buttons, and the settings file.
//
// [SECTION] Settings file
// [SECTION] Sliders
// [SECTION] Main menu
// [SECTION] Options
#include <cmath>
#include <cstring>

#include "brask/app.h"
#include "brask/vfs.h"
#include "rules/board.h"
#include "rules/variants.h"
#include "shell/shell.h"

//-----------------------------------------------------------------------------
// [SECTION] Settings file
//-----------------------------------------------------------------------------

namespace {

// "KORVA.Setup": volume, brightness (singles), direction (int32), sound switch (byte), three zero bytes.
enum { SETUP_SIZE = 16 };

void setupDefaults() {
    gGame.rotationDirection = 1;
    gGame.volume = 1.0f;
    gGame.brightness = 0.5f;
    gGame.soundOn = 1;
}

}  // namespace

int32_t setupLoad() {
    char16_t name[VFS_PATH_MAX];
    VfsFile* f = playerFileName(u"KORVA.Setup", name) ? vfsOpen(name) : nullptr;
    if (!f) {
        setupDefaults();
        return 0;
    }
    uint8_t bytes[SETUP_SIZE] = {};
    const int32_t size = vfsRead(f, bytes, SETUP_SIZE);
    vfsClose(f);
    // A cut-off file's missing fields would read as zeros: silent, volume 0, dim and turning anticlockwise.
    if (size < SETUP_SIZE) {
        setupDefaults();
        return 0;
    }
    float volume, brightness;
    int32_t direction;
    memcpy(&volume, bytes, 4);
    memcpy(&brightness, bytes + 4, 4);
    memcpy(&direction, bytes + 8, 4);
    // Outside bytes: a huge brightness would overflow the pictures' factor, and a direction other than 0 or 1
    // would select neither button.
    gGame.volume = settingRepaired(volume, 1.0f);
    gGame.brightness = settingRepaired(brightness, 0.5f);
    gGame.rotationDirection = direction == 1 ? 1 : 0;
    gGame.soundOn = bytes[12] ? 1 : 0;
    rotAnimBuild();
    return 1;
}

int32_t setupSave() {
    uint8_t bytes[SETUP_SIZE] = {};
    memcpy(bytes, &gGame.volume, 4);
    memcpy(bytes + 4, &gGame.brightness, 4);
    memcpy(bytes + 8, &gGame.rotationDirection, 4);
    bytes[12] = gGame.soundOn;
    char16_t name[VFS_PATH_MAX];
    return playerFileName(u"KORVA.Setup", name) && playerFileWrite(name, bytes, SETUP_SIZE);
}

//-----------------------------------------------------------------------------
// [SECTION] Sliders
//-----------------------------------------------------------------------------

float sliderValueAt(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    const GameState& g = gGame;
    if (!g.stylusHeld || !ptInRect(g.dragX, g.dragY, left, top, right, bottom)) return -1.0f;
    return float(g.dragX - left) / float(right - left);
}

// The knob picture is 31 pixels narrower than its track.
int32_t sliderKnobX(int32_t left, int32_t right, float value) {
    return int32_t(float(right - left - 31) * value + float(left));
}

//-----------------------------------------------------------------------------
// [SECTION] Main menu
//-----------------------------------------------------------------------------

namespace {

const TapArea kQuickLoad = {140, 113, 213, 122};

enum MenuAction { MENU_NONE, MENU_NEW, MENU_LOAD, MENU_OPTIONS, MENU_HELP, MENU_EXIT };
struct MenuButton {
    uint32_t mapValue;  // the raw 565 value the button map holds under the button
    MenuAction action;
    int32_t variant;  // new game: its variant; load: the slot's number
};
const MenuButton kButtons[] = {
    {0x3000, MENU_NEW, VARIANT_GAME1},
    {0x6000, MENU_NEW, VARIANT_GAME2},
    {0x9000, MENU_NEW, VARIANT_GAME3},
    {0xC000, MENU_LOAD, VARIANT_GAME1},
    {0xF800, MENU_LOAD, VARIANT_GAME2},
    {0x0180, MENU_LOAD, VARIANT_GAME3},
    {0x3180, MENU_OPTIONS, 0},
    {0x6180, MENU_HELP, 0},
    {0x9180, MENU_EXIT, 0},
};

const MenuButton* buttonAt(int32_t x, int32_t y) {
    const Surface* map = image(IMG_MENU_MAP);
    // Off the picture (or without one) the map reads 0, which no button holds.
    const uint32_t v = map ? sfGetPixel(map, x, y) : 0;
    for (const MenuButton& b : kButtons)
        if (b.mapValue == v) return &b;
    return nullptr;
}

bool quickSaveExists() {
    char16_t name[VFS_PATH_MAX];
    VfsFile* f = playerFileName(u"KORVA.Quick", name) ? vfsOpen(name) : nullptr;
    if (!f) return false;
    vfsClose(f);
    return true;
}

int32_t loadSlot(int32_t variant) {
    char16_t name[VFS_PATH_MAX];
    return gameSlotFileName(variant, name) && gameLoad(name);
}

// Ten frames of the chosen variant's button lighting up, over the menu as it stands.
int32_t startAnimation() {
    static const int32_t kFirst[VARIANT_COUNT] = {IMG_START_RED, IMG_START_BLUE, IMG_START_GREEN};
    static const int32_t kX[VARIANT_COUNT] = {149, 72, 42}, kY[VARIANT_COUNT] = {38, 70, 140};
    static const int32_t kSequence[10] = {0, 1, 1, 1, 2, 3, 4, 4, 4, 4};
    const int32_t v = gameVariantIndex();
    playSound(SND_START_GAME);
    for (int32_t step : kSequence) {
        const uint32_t start = appGetTicks();
        if (Surface* s = image(kFirst[v] + step)) sfBlit(s, gfxGetTarget(), kX[v], kY[v]);
        if (!frameEnd()) return 0;
        framePace(start, FRAME_MS);
    }
    return 1;
}

}  // namespace

int32_t gameLoadedFromMenu() {
    return gShell.loadedFromMenu;
}

int32_t menuMain() {
    const bool quick = quickSaveExists();
    gShell.loadedFromMenu = 0;
    for (;;) {
        const uint32_t start = appGetTicks();
        if (Surface* s = image(IMG_MENU)) sfBlit(s, gfxGetTarget(), 0, 0);
        pollInput();
        const GameState& g = gGame;
        if (quick && gameFont()->image)
            fntDrawText(gameFont(), gfxGetTarget(), u"QUICK LOAD", 140, 113, FNT_ALIGN_LEFT, 0);
        if (g.tap) {
            if (quick && tapIn(kQuickLoad, g.tapX, g.tapY)) {
                // A failed load leaves a new game of the current variant to follow.
                char16_t name[VFS_PATH_MAX];
                gShell.loadedFromMenu = playerFileName(u"KORVA.Quick", name) && gameLoad(name);
                break;
            }
            const MenuButton* b = buttonAt(g.tapX, g.tapY);
            const MenuAction action = b ? b->action : MENU_NONE;
            if (action == MENU_NEW) {
                gGame.variant = b->variant;
                gGame.entryFlag = 1;
                break;
            }
            // The click comes first, so a loaded game's own sound switch decides what follows.
            if (action != MENU_NONE) playSound(SND_CLICK);
            if (action == MENU_LOAD && loadSlot(b->variant)) {
                gShell.loadedFromMenu = 1;
                break;
            }
            if (action == MENU_OPTIONS && !menuOptions()) return 0;
            if (action == MENU_HELP && !helpScreen()) return 0;
            if (action == MENU_EXIT) return 0;
        }
        if (!frameEnd()) return 0;
        framePace(start, FRAME_MS);
    }
    return startAnimation();
}

//-----------------------------------------------------------------------------
// [SECTION] Options
//-----------------------------------------------------------------------------

namespace {

const TapArea kLeave = {55, 265, 182, 278};
const TapArea kDirectionButton[2] = {{60, 71, 100, 111},
                                     {142, 71, 182, 111}};  // 0 anticlockwise, 1 clockwise
enum { SLIDER_LEFT = 49, SLIDER_RIGHT = 188, BRIGHTNESS_Y = 178, VOLUME_Y = 222, SLIDER_HEIGHT = 11 };

int32_t selectedButton() {
    return gGame.rotationDirection == 1 ? 1 : 0;
}

}  // namespace

void optionsDraw(int32_t animation) {
    Surface* target = gfxGetTarget();
    if (Surface* s = image(IMG_OPTIONS)) sfBlit(s, target, 0, 0);
    if (Surface* knob = image(IMG_KNOB)) {
        sfBlit(knob, target, sliderKnobX(SLIDER_LEFT, SLIDER_RIGHT, gGame.brightness), BRIGHTNESS_Y);
        sfBlit(knob, target, sliderKnobX(SLIDER_LEFT, SLIDER_RIGHT, gGame.volume), VOLUME_Y);
    }
    const int32_t selected = selectedButton(), other = 1 - selected;
    auto at = [target](int32_t button, int32_t slot) {
        if (Surface* s = image(slot))
            sfBlit(s, target, kDirectionButton[button].left, kDirectionButton[button].top);
    };
    if (animation >= 1) {
        at(selected, IMG_OPTIONS + animation);
        at(other, IMG_OPTIONS + 6 - animation);
    } else {
        at(other, IMG_ROTATION + 4);
    }
}

namespace {

float snapBrightness(float v) {
    return v > 0.47f && v < 0.53f ? 0.5f : v;
}

}  // namespace

int32_t menuOptions() {
    // The tap that opened the screen is still down: wait for the lift, so it does not land on a slider.
    while (gGame.stylusHeld) {
        const uint32_t start = appGetTicks();
        pollInput();
        optionsDraw(0);
        if (!frameEnd()) return 0;
        framePace(start, FRAME_MS);
    }
    int32_t animation = 0;
    for (;;) {
        const uint32_t start = appGetTicks();
        optionsDraw(animation);
        if (animation >= 1) animation--;
        pollInput();
        GameState& g = gGame;
        if (g.tap && tapIn(kLeave, g.tapX, g.tapY)) break;
        for (int32_t button = 0; button < 2; button++) {
            if (!g.tap || !tapIn(kDirectionButton[button], g.tapX, g.tapY)) continue;
            if (selectedButton() != button) {
                playSound(SND_DIRECTION);
                animation = 5;
            }
            g.rotationDirection = button;
        }
        if (g.stylusHeld) {
            const float b =
                sliderValueAt(SLIDER_LEFT, BRIGHTNESS_Y, SLIDER_RIGHT, BRIGHTNESS_Y + SLIDER_HEIGHT);
            if (b >= 0.0f) g.brightness = snapBrightness(b);
            const float v = sliderValueAt(SLIDER_LEFT, VOLUME_Y, SLIDER_RIGHT, VOLUME_Y + SLIDER_HEIGHT);
            if (v >= 0.0f) g.volume = v;
        }
        if (!frameEnd()) return 0;
        framePace(start, OPTIONS_FRAME_MS);
    }
    playSound(SND_CLICK);
    if (!loadingPicture()) return 0;
    rotAnimBuild();
    imagesFree();
    imagesLoad(brightnessFactor(gGame.brightness));
    return 1;
}
