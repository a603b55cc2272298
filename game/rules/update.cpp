// The rule steps of the in-game update: starting and completing turns, line checks, removal, timers.
#include "rules/update.h"

#include "rules/board.h"
#include "rules/variants.h"

static const RulesSounds* rulesSounds;

void rulesSetSounds(const RulesSounds* sounds) {
    rulesSounds = sounds;
}

static void rulesPlayRotation() {
    if (rulesSounds && rulesSounds->rotation) rulesSounds->rotation(rulesSounds->user);
}

static void rulesPlayLine() {
    if (rulesSounds && rulesSounds->line) rulesSounds->line(rulesSounds->user);
}

bool gameTapRotator() {
    if (!gGame.tap || gGame.lineBusy || gGame.rotating || gGame.paused) return false;
    int32_t col = 0, row = 0;
    if (!boardHitRotator(gGame.tapX, gGame.tapY, &col, &row)) return false;
    rulesPlayRotation();
    gGame.rotating = 1;
    gGame.stepTimer[TIMER_ROTATION] = ROTATION_STEPS;
    gGame.rotCol = col;
    gGame.rotRow = row;
    gGame.accumulators -= gameRotationCharge[gameVariantIndex()];
    if (gGame.panelOpen) {
        gGame.panelOpen = 0;
        gGame.stepTimer[TIMER_PANEL_CLOSE] = PANEL_STEPS;
    }
    return true;
}

void gameLineCheck() {
    if (!boardFindLines()) {
        if (gGame.accumulators == 0) gGame.gameOver = GAME_OVER;
        return;
    }
    rulesPlayLine();
    gGame.columnLines = boardCountColumnLines();
    gGame.rowLines = boardCountRowLines();
    boardLineBonus();
    gGame.lineBusy = 1;
    gGame.stepTimer[TIMER_SHRINK] = SHRINK_STEPS;
    // A chain found by the check at the end of the grow phase starts the removal over instead of ending it.
    gGame.stepTimer[TIMER_GROW] = 0;
    gGame.accumulators = GAME_ACCUMULATORS;
}

void gameTurnStep() {
    if (gGame.paused) return;
    if (gGame.stepTimer[TIMER_ROTATION] == 1) {
        if (gGame.rotationDirection == 1)
            boardRotateClockwise(gGame.rotCol, gGame.rotRow);
        else
            boardRotateAnticlockwise(gGame.rotCol, gGame.rotRow);
        gGame.rotating = 0;
        gameLineCheck();
    } else if (gGame.stepTimer[TIMER_GROW] == 1) {
        gameLineCheck();
    }
}

void gameRemovalStep() {
    if (gGame.paused) return;
    int32_t* t = gGame.stepTimer;
    if (t[TIMER_SHRINK] == 1) t[TIMER_EMPTY] = EMPTY_STEPS;
    if (t[TIMER_EMPTY] == EMPTY_REFILL_AT) boardRefillMarked();
    if (t[TIMER_EMPTY] == 1) t[TIMER_GROW] = GROW_STEPS;
    if (t[TIMER_GROW] == 1) gGame.lineBusy = 0;
}

void gameTimerStep() {
    // The bonus banner keeps rising while paused; only the step timers stand still.
    if (gGame.bonusTimer > 0) gGame.bonusTimer -= BONUS_TIMER_FALL;
    if (gGame.paused) return;
    for (int32_t k = 0; k < STEP_TIMER_COUNT; k++)
        if (gGame.stepTimer[k] > 0) gGame.stepTimer[k]--;
}

void gameRulesUpdate() {
    gameEndRules();
    gameTapRotator();
    gameTurnStep();
    gameRemovalStep();
    gameTimerStep();
}
