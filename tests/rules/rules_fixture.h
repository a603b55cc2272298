// Shared set-up of the rules tests: a clean record, a board without equal neighbours, updates as the shell
// drives them.
#pragma once
#include <gtest/gtest.h>

#include <cstring>

#include "brask/random.h"
#include "rules/board.h"
#include "rules/state.h"
#include "rules/update.h"
#include "rules/variants.h"

struct RulesTest : testing::Test {
    int rotationSounds = 0, lineSounds = 0;
    RulesSounds sounds{[](void* u) { static_cast<RulesTest*>(u)->rotationSounds++; },
                       [](void* u) { static_cast<RulesTest*>(u)->lineSounds++; }, this};

    void SetUp() override {
        memset(&gGame, 0, sizeof gGame);
        rndSeed(1);
        gGame.variant = VARIANT_GAME2;
        gGame.timeLeft = 100.0f;
        gGame.timeStep = 0.1f;
        gGame.accumulators = 2;
        gGame.rotationDirection = 1;
        rotationSounds = lineSounds = 0;
        rulesSetSounds(&sounds);
        // Kinds 1..4, no two equal neighbours; kind 5 is left for the patterns.
        for (int c = 0; c < BOARD_SIZE; c++)
            for (int r = 0; r < BOARD_SIZE; r++) set(c, r, 1 + (c + 2 * r) % 4);
    }
    void TearDown() override { rulesSetSounds(nullptr); }

    static void set(int c, int r, int kind) { gGame.board[boardIndex(c, r)] = kind; }
    static int cell(int c, int r) { return gGame.board[boardIndex(c, r)]; }
    static bool sameBoard(const GameState& g) { return memcmp(gGame.board, g.board, sizeof g.board) == 0; }
    // Row 0 holds 5s in columns 0..2 and cell (3, 1) a 5: a clockwise turn of rotator (3, 0) completes a
    // row of four, an anticlockwise one does not.
    static void rowRun3AndOneBelow() { set(0, 0, 5), set(1, 0, 5), set(2, 0, 5), set(3, 1, 5); }

    // One update; the tap flag then falls as the next poll would clear it.
    static void update(int times = 1) {
        for (int n = 0; n < times; n++) gameRulesUpdate(), gGame.tap = 0;
    }
    static void tapRotator(int i, int j) {
        gGame.tap = 1;
        gGame.tapX = ROTATOR_ORIGIN + CELL_PITCH * i;
        gGame.tapY = ROTATOR_ORIGIN + CELL_PITCH * j;
    }
};
