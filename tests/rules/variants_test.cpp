// New games and the three variants' costs and end rules.
#include "rules_fixture.h"

using VariantsTest = RulesTest;

TEST_F(VariantsTest, NewGameSetsStartValuesClearsItsFieldsAndKeepsTheRest) {
    const int32_t startScore[VARIANT_COUNT] = {0, 0, 4};
    for (int32_t v = 0; v < VARIANT_COUNT; v++) {
        memset(&gGame, 0xA5, sizeof gGame);
        gGame.variant = v;
        GameState before = gGame;
        gameNew();
        EXPECT_EQ(gGame.score, startScore[v]);
        EXPECT_EQ(gGame.accumulators, 2);
        EXPECT_EQ(gGame.timeLeft, 100.0f);
        EXPECT_EQ(gGame.timeStep, 0.1f);
        EXPECT_EQ(gGame.gameOver + gGame.bonusTimer + gGame.lineBusy + gGame.rotating, 0);
        for (int32_t t : gGame.stepTimer) EXPECT_EQ(t, 0);

        // Byte by byte from the reserved block at 800 to the end of the input fields at 927: only the
        // cleared reserved fields and the input and panel flags (913..926 but soundOn at 919) change.
        const uint8_t* now = reinterpret_cast<const uint8_t*>(&gGame);
        const uint8_t* was = reinterpret_cast<const uint8_t*>(&before);
        for (size_t at = 800; at < 932; at++) {
            bool cleared = (at >= 856 && at < 864) || (at >= 892 && at < 896) ||
                           (at >= 913 && at <= 926 && at != 919) || at >= 928;
            // accumulators, timeLeft and timeStep, score: start values
            bool changedByNew = (at >= 864 && at < 868) || (at >= 876 && at < 884) || (at >= 900 && at < 904);
            if (cleared) {
                EXPECT_EQ(now[at], 0) << "offset " << at;
            } else if (!changedByNew) {
                EXPECT_EQ(now[at], was[at]) << "offset " << at;
            }
        }
        EXPECT_EQ(gGame.rotationDirection, before.rotationDirection);
    }
}

TEST_F(VariantsTest, Game1EndsAfterTwoFruitlessTurnsAndALineRecharges) {
    gGame.variant = VARIANT_GAME1;
    tapRotator(0, 0);
    update(8);
    EXPECT_EQ(gGame.score, -1);
    EXPECT_EQ(gGame.accumulators, 1);
    tapRotator(0, 0);
    update(7);
    EXPECT_EQ(gGame.gameOver, 0) << "the game ends when the turn completes, not at the tap";
    update();
    EXPECT_EQ(gGame.gameOver, GAME_OVER);
    EXPECT_EQ(gGame.score, -2);

    SetUp();
    gGame.variant = VARIANT_GAME1;
    gGame.accumulators = 1;
    rowRun3AndOneBelow();
    tapRotator(3, 0);
    update(8);
    EXPECT_EQ(gGame.accumulators, 2) << "the last charge's turn completed a line";
    EXPECT_EQ(gGame.gameOver, 0);
}

TEST_F(VariantsTest, Game2ClockRunsOutAfter1001UpdatesUnlessPausedOrHeld) {
    int updates = 0;
    while (!gGame.gameOver && updates < 2000) {
        updates++;
        gGame.paused = updates > 10 && updates <= 20;
        gGame.clockHeld = updates > 20 && updates <= 30;
        if (updates == 25) tapRotator(4, 4);
        float before = gGame.timeLeft;
        update();
        if (updates == 25) {
            EXPECT_EQ(gGame.rotating, 1) << "turns go on while only the clock is held";
        }
        if (gGame.paused || gGame.clockHeld) {
            EXPECT_EQ(gGame.timeLeft, before) << updates;
        }
    }
    EXPECT_EQ(updates, 1001 + 20);

    // Running out during a removal: the update completes, crediting a refill that falls in it.
    SetUp();
    for (int c = 0; c < 4; c++) gGame.marked[boardIndex(c, 0)] = 1;
    gGame.lineBusy = 1;
    gGame.stepTimer[TIMER_EMPTY] = EMPTY_REFILL_AT;
    gGame.timeLeft = 0.05f;
    update();
    EXPECT_EQ(gGame.gameOver, GAME_OVER);
    EXPECT_EQ(gGame.score, 4);
}

TEST_F(VariantsTest, Game3SpendingTheLastUnitEndsEvenWhenTheTurnWouldFormALine) {
    gGame.variant = VARIANT_GAME3;
    gGame.score = 1;
    rowRun3AndOneBelow();
    GameState before = gGame;
    tapRotator(3, 0);
    update();
    EXPECT_EQ(gGame.score, 0);
    EXPECT_EQ(gGame.gameOver, 0);
    update();
    EXPECT_EQ(gGame.gameOver, GAME_OVER);
    EXPECT_TRUE(sameBoard(before)) << "the turn was never applied";
}
