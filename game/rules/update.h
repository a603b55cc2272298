// The rule steps of the in-game update, one call each, for the shell's gameUpdate to run in this order:
//
//   1. (shell) game over pending: wait for a tap, end the game
//   2. gameEndRules()                                  variants.h
//   3. if a tap arrived, lineBusy = 0 and rotating = 0:
//        gameTapRotator(), and when it returns false (shell) the in-game buttons
//   4. (shell) volume drag
//   5, 6. gameTurnStep()                               turn completion, line check, chain check
//   7. (shell) unless paused: stepTimer[TIMER_PANEL_OPEN] = 1 opens the volume panel
//   8. gameRemovalStep()                               shrink, refill, grow
//   9-11. gameTimerStep()                              bonus timer; unless paused, every step timer
//
// While paused, steps 5 to 8 do nothing at all, so a turn or a removal stands where it was: run on every
// paused update they would turn the block again or refill and credit the same cells again, without end.
// gameRulesUpdate runs steps 2, 3 (rotators only), 5, 6, 8 and 9-11 for callers without buttons.
#pragma once

#include "rules/state.h"

// The rules' two sounds, filled by the shell (which knows the sound slots and the sound switch). Borrowed:
// the table must outlive its use. A null table or a null entry is silent.
struct RulesSounds {
    void (*rotation)(void* user);  // a turn starts
    void (*line)(void* user);      // a line check found lines
    void* user;
};
void rulesSetSounds(const RulesSounds* sounds);

enum {
    ROTATION_STEPS = 8,
    SHRINK_STEPS = 5,
    EMPTY_STEPS = 6,
    EMPTY_REFILL_AT = 3,
    GROW_STEPS = 5,
    PANEL_STEPS = 6
};
enum { BONUS_TIMER_FALL = 8 };

// Starts a turn when a tap arrived this update, nothing is turning or being removed, the game is not paused
// and the tap hits a rotator: charges the cost, uses a Game 1 charge, plays the rotation sound, starts the
// rotation timer and closes an open volume panel. False (nothing changed) sends the tap to the buttons.
bool gameTapRotator();
// Completes a turn when the rotation timer reads 1 (reading the direction setting now, not at the tap), or
// runs the chain check when the grow timer reads 1; either way followed by gameLineCheck.
void gameTurnStep();
// One line check: on lines, the line sound, the line units, the bonus and the start of a removal, and the
// Game 1 charges refilled; on none, an empty `marked` and the end of a game with no charges left.
void gameLineCheck();
void gameRemovalStep();
void gameTimerStep();
void gameRulesUpdate();
