// New games and the three variants' costs and end rules.
#include "rules_fixture.h"

using VariantsTest = RulesTest;

TEST_F(VariantsTest, NewGameSetsStartValuesClearsExactlyItsFieldsAndKeepsSettings) {
    const int32_t startScore[] = {0, 0, 4};
    for (int32_t v = 0; v < VARIANT_COUNT; v++) {
        memset(&gGame, 0xA5, sizeof gGame);
        gGame.variant = v;
        gGame.soundOn = 1;
        gGame.volume = 0.25f;
        gGame.brightness = 0.75f;
        gGame.rotationDirection = 0;
        GameState before = gGame;
        gameNew();

        EXPECT_EQ(gGame.score, startScore[v]);
        EXPECT_EQ(gGame.accumulators, 2);
        EXPECT_EQ(gGame.timeLeft, 100.0f);
        EXPECT_EQ(gGame.timeStep, 0.1f);
        EXPECT_EQ(gGame.gameOver, 0);
        EXPECT_EQ(gGame.bonusTimer, 0);
        for (int32_t t : gGame.stepTimer) EXPECT_EQ(t, 0);
        for (int32_t m : gGame.marked) EXPECT_EQ(m, 0);

        // Cleared: the marked reserved fields, the input flags, the busy flags and the volume panel.
        const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&gGame);
        for (size_t at : {856u, 860u, 892u, 928u})
            for (size_t k = 0; k < 4; k++) EXPECT_EQ(bytes[at + k], 0) << "offset " << at + k;
        for (size_t at = 913; at <= 926; at++)
            if (at != 919) {  // soundOn, a setting
                EXPECT_EQ(bytes[at], 0) << "offset " << at;
            }
        EXPECT_EQ(gGame.lineBusy, 0);
        EXPECT_EQ(gGame.rotating, 0);

        // Kept: settings, variant, entry flag, the unmarked reserved fields, tap and drag positions.
        EXPECT_EQ(gGame.soundOn, 1);
        EXPECT_EQ(gGame.volume, 0.25f);
        EXPECT_EQ(gGame.brightness, 0.75f);
        EXPECT_EQ(gGame.rotationDirection, 0);
        EXPECT_EQ(gGame.variant, v);
        EXPECT_EQ(gGame.entryFlag, before.entryFlag);
        EXPECT_EQ(memcmp(gGame.reserved800, before.reserved800, 32), 0);  // 800..831: reserved, tap, drag
        EXPECT_EQ(memcmp(gGame.reserved832, before.reserved832, 24), 0);
        EXPECT_EQ(gGame.reserved904, before.reserved904);
        EXPECT_EQ(gGame.reserved912, before.reserved912);
        EXPECT_EQ(gGame.reserved927, before.reserved927);
    }
}

TEST_F(VariantsTest, Game1EndsAfterTwoFruitlessTurnsAndALineRecharges) {
    gGame.variant = VARIANT_GAME1;
    tapRotator(0, 0);
    for (int n = 0; n < 8; n++) update();
    EXPECT_EQ(gGame.score, -1);
    EXPECT_EQ(gGame.accumulators, 1);
    EXPECT_EQ(gGame.gameOver, 0);

    tapRotator(0, 0);
    for (int n = 0; n < 7; n++) update();
    EXPECT_EQ(gGame.accumulators, 0);
    EXPECT_EQ(gGame.gameOver, 0) << "the game ends when the turn completes, not at the tap";
    update();
    EXPECT_EQ(gGame.gameOver, GAME_OVER);
    EXPECT_EQ(gGame.score, -2);

    // Same start, but the second turn completes a row: the charges come back.
    SetUp();
    gGame.variant = VARIANT_GAME1;
    gGame.accumulators = 1;
    rowRun3AndOneBelow();
    tapRotator(3, 0);
    for (int n = 0; n < 8; n++) update();
    EXPECT_EQ(gGame.accumulators, 2);
    EXPECT_EQ(gGame.lineBusy, 1);
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
    EXPECT_LE(gGame.timeLeft, 0.0f);
}

TEST_F(VariantsTest, Game2ClockRunningOutMidRemovalStillCreditsThatUpdatesRefill) {
    for (int c = 0; c < 4; c++) gGame.marked[boardIndex(c, 0)] = 1;
    gGame.lineBusy = 1;
    gGame.stepTimer[TIMER_EMPTY] = 3;
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
    EXPECT_EQ(memcmp(gGame.board, before.board, sizeof before.board), 0) << "the turn was never applied";
    EXPECT_EQ(lineSounds, 0);
}
