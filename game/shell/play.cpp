// The in-game screen: the update step around the rules (game-over wait, buttons, volume drag, panel) and
// the frame drawn from gGame alone, with the turning block's path.
//
// [SECTION] Update
// [SECTION] Rotation-animation table
// [SECTION] Drawing
#include <cmath>

#include "brask/app.h"
#include "brask/random.h"
#include "brask/text.h"
#include "brask/vfs.h"
#include "rules/board.h"
#include "rules/update.h"
#include "rules/variants.h"
#include "shell/shell.h"

int32_t elementImageSlot(int32_t kind) {
    return kind >= 1 && kind <= ELEMENT_KINDS ? IMG_ELEMENT + kind - 1 : -1;
}

bool tapIn(const TapArea& a, int32_t x, int32_t y) {
    return ptInRect(x, y, a.left, a.top, a.right, a.bottom);
}

//-----------------------------------------------------------------------------
// [SECTION] Update
//-----------------------------------------------------------------------------

namespace {

const TapArea kPauseBar = {46, 286, 190, 299};
const TapArea kQuickSave = {31, 305, 87, 316};
const TapArea kMenuButton = {154, 305, 206, 316};
const TapArea kSoundSwitch = {202, 1, 225, 15};
const TapArea kPanelHandle = {157, 3, 188, 14};
const TapArea kVolumeTrack = {96, 3, 190, 14};

// The last drawn frame (the game-over picture) stays on screen until a tap; no drawing.
int32_t waitAfterGameOver() {
    gGame.tap = 0;
    for (;;) {
        const uint32_t start = appGetTicks();
        pollInput();
        if (gGame.tap) return UPDATE_GAME_ENDED;
        if (!frameEnd()) return UPDATE_QUIT;
        framePace(start, FRAME_MS);
    }
}

// The buttons, for a tap the rotators did not take. UPDATE_PLAYING lets the update go on.
int32_t tapButtons() {
    GameState& g = gGame;
    const int32_t x = g.tapX, y = g.tapY;
    if (tapIn(kPauseBar, x, y)) {
        playSound(SND_CLICK);
        g.paused = !g.paused;
    } else if (tapIn(kQuickSave, x, y)) {
        playSound(SND_CLICK);
        // Ending the program after a failed write would lose the game: it goes on instead.
        if (gameQuickSave()) return UPDATE_QUICK_SAVED;
    } else if (tapIn(kMenuButton, x, y)) {
        playSound(SND_CLICK);
        const int32_t choice = dlgQuitSaveResume();
        if (choice < 0) return UPDATE_QUIT;
        if (choice == 0) return UPDATE_GAME_ENDED;
    } else if (tapIn(kSoundSwitch, x, y)) {
        // Played before the switch: only switching off clicks.
        playSound(SND_CLICK);
        g.soundOn = !g.soundOn;
    } else if (tapIn(kPanelHandle, x, y) && !g.panelOpen) {
        playSound(SND_SLIDER);
        g.stepTimer[TIMER_PANEL_OPEN] = PANEL_STEPS;
    }
    return UPDATE_PLAYING;
}

}  // namespace

int32_t gameUpdate() {
    GameState& g = gGame;
    if (g.gameOver > 0) return waitAfterGameOver();
    gameEndRules();
    if (g.tap && !g.lineBusy && !g.rotating && !gameTapRotator()) {
        const int32_t result = tapButtons();
        if (result != UPDATE_PLAYING) return result;
    }
    if (g.stylusHeld && g.panelOpen && tapIn(kVolumeTrack, g.dragX, g.dragY))
        g.volume = float(g.dragX - kVolumeTrack.left) / float(kVolumeTrack.right - kVolumeTrack.left);
    gameTurnStep();
    // Like the rules' steps, the panel stands still while paused.
    if (!g.paused && g.stepTimer[TIMER_PANEL_OPEN] == 1) g.panelOpen = 1;
    gameRemovalStep();
    gameTimerStep();
    return UPDATE_PLAYING;
}

//-----------------------------------------------------------------------------
// [SECTION] Rotation-animation table
//-----------------------------------------------------------------------------

void rotAnimBuild() {
    static const float kStartClockwise[ROT_CELLS] = {315, 45, 225, 135};
    static const float kStartAnticlockwise[ROT_CELLS] = {135, 225, 45, 315};
    static const int32_t kRestX[ROT_CELLS] = {-10, 10, -10, 10}, kRestY[ROT_CELLS] = {-10, -10, 10, 10};
    const bool clockwise = gGame.rotationDirection == 1;
    const float step = clockwise ? -11.25f : 11.25f;
    RotAnim& t = gShell.rot;
    for (int32_t cell = 0; cell < ROT_CELLS; cell++) {
        float a = clockwise ? kStartClockwise[cell] : kStartAnticlockwise[cell];
        for (int32_t f = 0; f < ROT_FRAMES; f++) {
            const int32_t g = int32_t(a);
            t.dx[cell][f] = -kRestX[cell] - int32_t(float(mathCos(g)) / 256.0f * -20.0f);
            t.dy[cell][f] = -kRestY[cell] - int32_t(float(mathSin(g)) / 256.0f * -20.0f);
            // Every cell writes the list, so it ends with the last cell's angles.
            t.angle[f] = g;
            a += step;
            if (a < 0) a += 360.0f;
        }
    }
}

const RotAnim* rotAnim() {
    return &gShell.rot;
}

//-----------------------------------------------------------------------------
// [SECTION] Drawing
//-----------------------------------------------------------------------------

namespace {

constexpr int16_t scale88(float s) {
    return int16_t(s * 256.0f + 0.5f);
}
// Element sizes of the removal, indexed by the timer's value 1..5.
const int16_t kShrinkScale[6] = {
    0, scale88(0.2f), scale88(0.4f), scale88(0.5f), scale88(0.7f), scale88(0.8f)};
const int16_t kGrowScale[6] = {0, scale88(0.8f), scale88(0.7f), scale88(0.5f), scale88(0.4f), scale88(0.2f)};
const int16_t kEmptyScale = scale88(0.1f);
const int16_t kTurnScale = scale88(1.2f);
static_assert(scale88(0.1f) == 26 && scale88(0.2f) == 51 && scale88(0.7f) == 179 && scale88(1.2f) == 307,
              "scales as the single-precision rounding gives them");
// The empty phase's overlay by stepTimer[TIMER_EMPTY] 1..5 (-1: none), the panel's frames by its timer.
const int32_t kOverlay[7] = {-1, -1, IMG_BLEND + 1, IMG_BLEND + 2, IMG_BLEND + 2, IMG_BLEND + 1, -1};
const int32_t kPanelOpening[7] = {-1, 19, 19, 18, 18, 17, 17};
const int32_t kPanelClosing[7] = {-1, 17, 17, 18, 18, 19, 19};

void blit(int32_t slot, int32_t x, int32_t y) {
    if (Surface* s = image(slot)) sfBlit(s, gfxGetTarget(), x, y);
}

void blitTurned(int32_t slot, int32_t x, int32_t y, int32_t angle, int16_t scale) {
    Surface* s = image(slot);
    if (!s) return;
    const RotateParams p = {x, y, angle, scale, scale};
    sfBlitRotated(s, gfxGetTarget(), &p, -1);
}

int32_t cellCentre(int32_t i) {
    return CELL_ORIGIN + CELL_PITCH * i;
}

// The slot of a cell's element; -1 for an empty cell (or a kind no loaded game can hold).
int32_t elementSlot(int32_t c, int32_t r) {
    return elementImageSlot(gGame.board[boardIndex(c, r)]);
}

int32_t timerIndex(int32_t value, int32_t max) {
    return value >= 1 && value <= max ? value : 0;
}

bool inTurningBlock(int32_t c, int32_t r) {
    const GameState& g = gGame;
    return g.rotating && (c == g.rotCol || c == g.rotCol + 1) && (r == g.rotRow || r == g.rotRow + 1);
}

void drawBoard() {
    const GameState& g = gGame;
    int16_t markedScale = 0;
    int32_t overlay = -1;
    gameMarkedLook(&markedScale, &overlay);
    for (int32_t r = 0; r < BOARD_SIZE; r++) {
        for (int32_t c = 0; c < BOARD_SIZE; c++) {
            const int32_t slot = elementSlot(c, r);
            if (slot < 0) continue;
            const int32_t x = cellCentre(c), y = cellCentre(r);
            if (g.marked[boardIndex(c, r)]) {
                blitTurned(slot, x, y, 0, markedScale);
                if (overlay >= 0) blit(overlay, x, y);
            } else if (!inTurningBlock(c, r)) {
                blit(slot, x, y);
            }
        }
    }
}

void drawTurningBlock() {
    const GameState& g = gGame;
    const int32_t f = g.stepTimer[TIMER_ROTATION] - 1;
    if (f < 0 || f >= ROT_FRAMES) return;
    const RotAnim& t = gShell.rot;
    blitTurned(IMG_ROTATOR, CELL_PITCH * g.rotCol + 39, CELL_PITCH * g.rotRow + 39, t.angle[f] + 45,
               kTurnScale);
    static const int32_t kCellCol[ROT_CELLS] = {0, 1, 0, 1}, kCellRow[ROT_CELLS] = {0, 0, 1, 1};
    for (int32_t cell = 0; cell < ROT_CELLS; cell++) {
        const int32_t c = g.rotCol + kCellCol[cell], r = g.rotRow + kCellRow[cell];
        if (c >= BOARD_SIZE || r >= BOARD_SIZE) continue;
        const int32_t slot = elementSlot(c, r);
        if (slot < 0) continue;
        blitTurned(slot, cellCentre(c) + t.dx[cell][f], cellCentre(r) + t.dy[cell][f], 0, kTurnScale);
    }
}

void drawText(const char16_t* text, int32_t x, int32_t y) {
    const Font* font = gameFont();
    if (font->image) fntDrawText(font, gfxGetTarget(), text, x, y, FNT_ALIGN_LEFT, 0);
}

void drawGauge() {
    const GameState& g = gGame;
    switch (gameVariantIndex()) {
        case VARIANT_GAME1:
            for (int32_t i = 0; i < g.accumulators && i < GAME_ACCUMULATORS; i++)
                blit(IMG_BATTERY, 160 + 20 * i, 259);
            break;
        case VARIANT_GAME2:
            if (g.timeLeft > 0)
                for (int32_t x = 111; float(x) < 111.0f + g.timeLeft; x += 3) blit(IMG_CLOCK, x, 255);
            break;
        default:
            drawText(u"FREE RIDE", 135, 256);
            break;
    }
}

}  // namespace

void gameMarkedLook(int16_t* scale, int32_t* overlay) {
    const int32_t* t = gGame.stepTimer;
    *scale = t[TIMER_SHRINK] ? kShrinkScale[timerIndex(t[TIMER_SHRINK], 5)]
             : t[TIMER_GROW] ? kGrowScale[timerIndex(t[TIMER_GROW], 5)]
                             : kEmptyScale;
    *overlay = kOverlay[timerIndex(t[TIMER_EMPTY], 5)];
}

void gamePanelFrames(int32_t* opening, int32_t* closing) {
    *opening = kPanelOpening[timerIndex(gGame.stepTimer[TIMER_PANEL_OPEN], 6)];
    *closing = kPanelClosing[timerIndex(gGame.stepTimer[TIMER_PANEL_CLOSE], 6)];
}

void gameDraw() {
    const GameState& g = gGame;
    blit(IMG_BACK, 0, 0);
    // A paused game hides its elements (but not a block that is turning).
    if (!g.paused) drawBoard();
    if (g.rotating) drawTurningBlock();
    int32_t opening = -1, closing = -1;
    gamePanelFrames(&opening, &closing);
    blit(opening, 0, 0);
    blit(closing, 0, 0);
    int32_t knobX = 157;
    if (g.panelOpen) {
        blit(IMG_PANEL + 2, 0, 0);
        knobX = int32_t(float(190 - 96 - 31) * g.volume + 96.0f);
    }
    blit(IMG_KNOB, knobX, 3);
    if (!g.soundOn) blit(IMG_MUTE, 202, 1);
    if (g.paused) blit(IMG_PAUSED, 46, 286);
    if (g.bonusTimer > 0) blit(IMG_BONUS, 120, g.bonusTimer - 10);
    if (g.gameOver > 0) blit(IMG_GAME_OVER, 120, 106);
    drawGauge();
    char16_t score[32] = u"SCORE : ";
    wstrFromInt(score + wstrLen(score), g.score, 10);
    drawText(score, 36, 256);
}
