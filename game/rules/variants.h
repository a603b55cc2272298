// The three game variants: what a rotation costs, what the score starts at, what ends a game.
#pragma once
#include <cstdint>

#include "rules/state.h"

// Per-variant tables, indexed by gameVariantIndex().
extern const int32_t gameElementPoints[VARIANT_COUNT];  // credited per refilled cell
extern const int32_t gameRotationCost[VARIANT_COUNT];   // added to the score when a tap hits a rotator
extern const int32_t gameStartScore[VARIANT_COUNT];
extern const int32_t gameRotationCharge[VARIANT_COUNT];  // accumulators a rotation uses (Game 1 only)

enum { GAME_ACCUMULATORS = 2 };
extern const float gameClockStart;  // 100.0
extern const float gameClockStep;   // 0.1 per update

// gGame.variant as a safe table index: a loaded record may hold anything, which is read as Game 1.
int32_t gameVariantIndex();

// A new game of gGame.variant: a board without lines, the start values, the input and interface state
// cleared. Settings (sound, volume, brightness, direction), the variant and the entry flag survive.
void gameNew();

// The end rules checked at the start of every update: Game 2's clock runs unless paused or held and ends the
// game when it reaches 0; Game 3 ends when the score is 0. (Game 1's rule sits in the line check.)
void gameEndRules();
