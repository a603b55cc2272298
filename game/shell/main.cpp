// The game's main routine: start-up in its fixed order, the play loop, shutdown; and the frame routine every
// screen shares (input poll, end of frame, pacing, sound effects).
//
// [SECTION] Frame routine
// [SECTION] Sounds
// [SECTION] Start-up and shutdown
// [SECTION] Play loop
//
// gameMain starts from zero on every call (tests call it many times in one process): the game record, the
// latches, the tables of images and sounds. A quit request ends whichever loop is running; every caller
// then goes straight to shutdown, which frees in the same order however far start-up got.
#include <cstring>

#include "brask/app.h"
#include "brask/input.h"
#include "brask/log.h"
#include "brask/random.h"
#include "brask/sound.h"
#include "brask/system.h"
#include "brask/vfs.h"
#include "rules/board.h"
#include "rules/update.h"
#include "rules/variants.h"
#include "shell/shell.h"

Shell gShell;

//-----------------------------------------------------------------------------
// [SECTION] Frame routine
//-----------------------------------------------------------------------------

int32_t frameEnd() {
    // The pump takes the quit message once; the flag it leaves makes every later frame end at once too.
    if (!appPumpMessages() || appQuitRequested()) return 0;
    inpUpdate();
    sndUpdate();
    gfxPresent(&gShell.view);
    return 1;
}

void framePace(uint32_t start, uint32_t ms) {
    // Slept, not spun: a spin keeps a desktop core at full load. appWait would also run the input update,
    // and a press and release within the wait would be gone before the next poll.
    const uint32_t spent = appGetTicks() - start;
    if (spent < ms) appSleep(ms - spent);
}

// True on the poll where the key is newly down; the latch holds until the key is up again.
static bool newPress(uint16_t key, int32_t latch) {
    if (!inpKeyDown(key)) {
        gShell.latches[latch] = 0;
        return false;
    }
    if (gShell.latches[latch]) return false;
    gShell.latches[latch] = 1;
    return true;
}

void pollInput() {
    GameState& g = gGame;
    // Both keys toggle the one flag: pressed in the same poll they cancel out.
    if (newPress(INP_A, LATCH_A)) g.paused = !g.paused;
    if (newPress(INP_B, LATCH_B)) g.paused = !g.paused;
    if (newPress(INP_C, LATCH_C)) g.clockHeld = !g.clockHeld;

    g.upPressed = g.downPressed = g.leftPressed = g.rightPressed = g.startPressed = 0;
    static const struct {
        uint16_t key;
        int32_t latch;
        size_t flag;
    } kKeys[] = {
        {INP_UP, LATCH_UP, offsetof(GameState, upPressed)},
        {INP_DOWN, LATCH_DOWN, offsetof(GameState, downPressed)},
        {INP_LEFT, LATCH_LEFT, offsetof(GameState, leftPressed)},
        {INP_RIGHT, LATCH_RIGHT, offsetof(GameState, rightPressed)},
        {INP_START, LATCH_START, offsetof(GameState, startPressed)},
    };
    for (const auto& k : kKeys) {
        if (!newPress(k.key, k.latch)) continue;
        g.keyUsed = 1;
        reinterpret_cast<uint8_t*>(&g)[k.flag] = 1;
    }

    const bool pen = inpKeyDown(INP_PEN);
    g.stylusHeld = pen;
    if (pen) {
        g.dragX = inpStylusX();
        g.dragY = inpStylusY();
    }
    // One tap per stylus press, in the update of the press.
    if (pen && !gShell.latches[LATCH_PEN]) {
        g.keyUsed = 0;
        gShell.latches[LATCH_PEN] = 1;
        g.tap = 1;
        g.tapX = inpStylusX();
        g.tapY = inpStylusY();
    } else {
        g.tap = 0;
        if (!pen) gShell.latches[LATCH_PEN] = 0;
    }
}

//-----------------------------------------------------------------------------
// [SECTION] Sounds
//-----------------------------------------------------------------------------

static const char16_t* const kSoundFiles[SOUND_FILES] = {
    u"gamedata/sounds/Button_Click.wav",
    u"gamedata/sounds/IntroWav.wav",
    u"gamedata/sounds/Iris_Open.wav",
    u"gamedata/sounds/Button_Click.wav",
    u"gamedata/sounds/Start_Game.wav",
    u"gamedata/sounds/InGame_Rotation.wav",
    u"gamedata/sounds/InGame_Line.wav",
    u"gamedata/sounds/Slider.wav",
    u"gamedata/sounds/Option_ChangeDirection.wav",
};

void playSound(int32_t slot) {
    if (!gGame.soundOn || slot < 0 || slot >= SOUND_SLOTS || !gShell.sounds[slot]) return;
    int8_t voice = -1;
    sndPlaySample(gShell.sounds[slot], &voice);
    gShell.voices[slot] = voice;
    gShell.played[slot]++;
    // Without a voice (all busy, or muted) there is nothing to set, and voice 0 may belong to another sound.
    if (voice < 0) return;
    sndSetVoicePanning(voice, 0.0f);
    sndSetVoiceVolume(voice, gGame.volume);
}

static void playRotationSound(void*) {
    playSound(SND_ROTATION);
}
static void playLineSound(void*) {
    playSound(SND_LINE);
}
static const RulesSounds kRulesSounds = {playRotationSound, playLineSound, nullptr};

//-----------------------------------------------------------------------------
// [SECTION] Start-up and shutdown
//-----------------------------------------------------------------------------

void shellShutDown() {
    const ShellStarted s = gShell.started;
    gShell.started = ShellStarted{};
    sfFree(gShell.loading);
    gShell.loading = nullptr;
    sfFree(gShell.fontImage);
    gShell.fontImage = nullptr;
    gShell.font = Font{};
    imagesFree();
    for (int32_t i = 0; i < SOUND_SLOTS; i++) {
        sndFreeSample(gShell.sounds[i]);
        gShell.sounds[i] = nullptr;
    }
    rulesSetSounds(nullptr);
    if (gShell.back) {
        gfxSetTarget(nullptr);
        sfRelease(gShell.back);
        // The record goes back to the pool too, or the pool could not be shut down with the display.
        sfFree(gShell.back);
        gShell.back = nullptr;
    }
    if (s.files) vfsShutdown();
    if (s.sound) sndShutdown();
    if (s.app) appClose();
    if (s.input) inpClose();
}

int32_t shellStartUp() {
    ShellStarted* s = &gShell.started;
    appSetTitle(u"Korvatron");
    gShell.kbdOriginX = 29;
    gShell.kbdOriginY = 270;
    s->input = inpOpen(0) != 0;
    if (!appOpen(SCREEN_WIDTH, SCREEN_HEIGHT, 16, 0)) return 0;
    s->app = true;
    if (!sndInit()) return 0;
    s->sound = true;
    vfsInit();
    vfsMountDefaults();
    s->files = true;
    const AppLaunchOptions* launch = appLaunchOptions();
    const uint32_t seed = rndSeed(launch->seedGiven ? launch->seed : 0);
    logWrite("Random seed: ", 0);
    logWrite(&seed, LOG_UINT | LOG_EOL);

    gShell.back = sfCreate(SCREEN_WIDTH, SCREEN_HEIGHT, pf565, 0, SF_NO_KEY, nullptr);
    if (!gShell.back) return 0;
    gShell.view = View{gShell.back, 0, 0, {0, 0, SCREEN_WIDTH, SCREEN_HEIGHT}};
    gfxSetTarget(gShell.back);

    if (!fontLoad()) return 0;
    for (int32_t i = 0; i < SOUND_FILES; i++) gShell.sounds[i] = sndLoadSample(kSoundFiles[i]);
    rulesSetSounds(&kRulesSounds);
    setupLoad();
    playerFilesTidy();
    return 1;
}

//-----------------------------------------------------------------------------
// [SECTION] Play loop
//-----------------------------------------------------------------------------

int32_t gamePlay() {
    // A game saved at its game-over picture waits for its tap without drawing: it needs that picture first.
    if (gGame.gameOver > 0) gameDraw();
    for (;;) {
        const uint32_t start = appGetTicks();
        pollInput();
        const int32_t result = gameUpdate();
        if (result != UPDATE_PLAYING) return result;
        gameDraw();
        if (!frameEnd()) return UPDATE_QUIT;
        framePace(start, FRAME_MS);
    }
}

// After a game: the hall of fame and its file. False when the program is to end instead. A quit request
// keeps the game in progress as the quick-save button does, so QUICK LOAD resumes it.
static bool afterGame(int32_t result) {
    if (result == UPDATE_QUIT) gameQuickSave();
    if (result != UPDATE_GAME_ENDED) return false;
    const bool goOn = hofScreen() != 0;
    if (!hofSave()) saveFailedBox(u"Could not save the scores.");
    return goOn;
}

static void keepSettings() {
    if (!setupSave()) saveFailedBox(u"Could not save the settings.");
}

// --game and --load: one game straight away, and the program ends with it.
static void playLaunchedGame(const AppLaunchOptions* launch) {
    if (launch->game >= 1 && launch->game <= 3) gGame.variant = launch->game - 1;
    const int32_t variant = gGame.variant;
    if (!launch->loadFile || !gameLoad(launch->loadFile)) {
        gGame.variant = variant;
        gameNew();
    }
    afterGame(gamePlay());
}

int gameMain() {
    gGame = GameState{};
    gShell = Shell{};
    if (!shellStartUp()) {
        shellShutDown();
        return 1;
    }
    const AppLaunchOptions* launch = appLaunchOptions();
    const bool launched = launch->game != 0 || launch->loadFile;
    bool exitChosen = false;
    bool running = launched || introPlay();
    if (running) running = loadingScreen(!launched);
    if (running) {
        // The loading screen read the scores already; the first board waits for them.
        hofLoad();
        boardFill();
        if (launched) {
            playLaunchedGame(launch);
        } else {
            while (running) {
                if (!menuMain()) {
                    exitChosen = !appQuitRequested();
                    break;
                }
                if (!gameLoadedFromMenu()) gameNew();
                running = afterGame(gamePlay());
            }
            if (exitChosen) {
                keepSettings();
                creditsScreen();
            }
        }
    }
    // A window close or a signal on any screen keeps the settings too, as the menu's exit does.
    if (appQuitRequested() && !exitChosen) keepSettings();
    shellShutDown();
    return 0;
}
