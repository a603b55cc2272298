// The three game variants: their tables, a new game and the end rules.
#include "rules/variants.h"

#include "rules/board.h"

const int32_t gameElementPoints[VARIANT_COUNT] = {1, 1, 1};
const int32_t gameRotationCost[VARIANT_COUNT] = {-1, 0, -1};
const int32_t gameStartScore[VARIANT_COUNT] = {0, 0, 4};
const int32_t gameRotationCharge[VARIANT_COUNT] = {1, 0, 0};

const float gameClockStart = 100.0f;
const float gameClockStep = 0.1f;

int32_t gameVariantIndex() {
    int32_t v = gGame.variant;
    return v >= 0 && v < VARIANT_COUNT ? v : VARIANT_GAME1;
}

void gameNew() {
    // The points these replacements credit are thrown away by the start score below.
    boardFill();
    while (boardFindLines()) boardRefillMarked();

    gGame.score = gameStartScore[gameVariantIndex()];
    gGame.gameOver = 0;
    gGame.bonusTimer = 0;
    gGame.timeLeft = gameClockStart;
    gGame.accumulators = GAME_ACCUMULATORS;
    gGame.timeStep = gameClockStep;

    gGame.tap = 0;
    gGame.stylusHeld = 0;
    gGame.paused = 0;
    gGame.clockHeld = 0;
    gGame.keyUsed = 0;
    gGame.leftPressed = gGame.rightPressed = gGame.upPressed = gGame.downPressed = 0;
    gGame.startPressed = 0;
    gGame.lineBusy = 0;
    gGame.rotating = 0;
    gGame.panelOpen = 0;
    gGame.leaveFlag = 0;
    gGame.reserved856[0] = gGame.reserved856[1] = 0;
    gGame.reserved892 = 0;
    gGame.reserved913 = 0;
    gGame.reserved928 = 0;
}

static void gameEndNever() {}

static void gameEndClock() {
    if (gGame.paused || gGame.clockHeld || !(gGame.timeLeft > 0.0f)) return;
    // Single precision throughout: 100 less 0.1f per update first reaches 0 after 1001 updates, not 1000.
    gGame.timeLeft -= gGame.timeStep;
    if (gGame.timeLeft <= 0.0f) gGame.gameOver = GAME_OVER;
}

// Only an exact 0 ends: the rotation that spends the last unit ends the game in the next update.
static void gameEndSupply() {
    if (gGame.score == 0) gGame.gameOver = GAME_OVER;
}

// Game 1's end rule belongs to the line check, so its row here does nothing.
static void (*const gameEndRuleTable[])() = {gameEndNever, gameEndClock, gameEndSupply};
static_assert(sizeof(gameEndRuleTable) / sizeof(gameEndRuleTable[0]) == VARIANT_COUNT, "");

void gameEndRules() {
    gameEndRuleTable[gameVariantIndex()]();
}
