// Stand-ins for the screens around the game until they exist: the menu starts one Game 2 and then leaves,
// the loading screen does its work without its picture, the settings are the defaults and are not written,
// and the intro, hall of fame and credits show nothing.
#include "shell/shell.h"

int32_t menuMain() {
    gShell.loadedFromMenu = 0;
    if (gShell.menuVisits++ > 0) return 0;
    gGame.variant = VARIANT_GAME2;
    return 1;
}

int32_t gameLoadedFromMenu() {
    return gShell.loadedFromMenu;
}

int32_t setupLoad() {
    gGame.rotationDirection = 1;
    gGame.volume = 1.0f;
    gGame.brightness = 0.5f;
    gGame.soundOn = 1;
    return 0;
}

int32_t setupSave() {
    return 0;
}

// With no scores file the defaults are set up, and with them the turning block's path.
void hofLoad() {
    rotAnimBuild();
}

int32_t hofSave() {
    return 0;
}

int32_t hofScreen() {
    return 1;
}

int32_t introPlay() {
    return 1;
}

int32_t loadingScreen(int32_t) {
    imagesLoad(brightnessFactor(gGame.brightness));
    gGame.leaveFlag = 0;
    gGame.variant = VARIANT_GAME2;
    gGame.entryFlag = 1;
    gGame.accumulators = 2;
    hofLoad();
    return 1;
}

int32_t creditsScreen() {
    return 1;
}
