// The update step's timing: turns, removals, chains and the pause.
#include "rules_fixture.h"

using UpdateTest = RulesTest;

TEST_F(UpdateTest, ATapIsAppliedSevenUpdatesLaterAndFurtherTapsWaitForIt) {
    gGame.variant = VARIANT_GAME1;
    gGame.panelOpen = 1;
    GameState start = gGame;
    tapRotator(2, 3);  // update 0
    update();
    EXPECT_EQ(gGame.panelOpen, 0) << "a turn closes the volume panel";
    EXPECT_EQ(gGame.stepTimer[TIMER_PANEL_CLOSE], PANEL_STEPS - 1);
    for (int n = 1; n <= 6; n++) {
        tapRotator(5, 5);  // ignored and free while the turn runs
        update();
        EXPECT_TRUE(sameBoard(start)) << "update " << n;
    }
    update();  // update 7
    EXPECT_EQ(gGame.rotating, 0);
    EXPECT_EQ(gGame.score, -1);
    EXPECT_EQ(rotationSounds, 1);
    boardRotateAnticlockwise(2, 3);
    EXPECT_TRUE(sameBoard(start)) << "exactly block (2, 3) turned, clockwise";
}

TEST_F(UpdateTest, TheDirectionIsReadWhenTheTurnCompletes) {
    for (int32_t late : {2, 1}) {  // anything but 1 turns anticlockwise
        SetUp();
        rowRun3AndOneBelow();
        gGame.rotationDirection = 3 - late;
        tapRotator(3, 0);
        update();
        gGame.rotationDirection = late;
        update(7);
        EXPECT_EQ(lineSounds, late == 1) << "only the clockwise turn completes the row";
    }
}

TEST_F(UpdateTest, RemovalPhasesRunOnTheirUpdates) {
    // A turn forms a cross: row 0 columns 0..3 and column 3 rows 0..3, seven elements, two units.
    rowRun3AndOneBelow();
    set(4, 1, 5), set(3, 2, 5), set(3, 3, 5);
    tapRotator(3, 0);
    update(7);
    const int32_t* t = gGame.stepTimer;
    int32_t score[15], shrink[15], empty[15], grow[15], busy[15];  // after updates n, n + 1, ...
    for (int n = 0; n < 15; n++) {
        update();
        score[n] = gGame.score, shrink[n] = t[1], empty[n] = t[2], grow[n] = t[3], busy[n] = gGame.lineBusy;
    }
    EXPECT_EQ(score[0], 40) << "bonus in n";
    EXPECT_TRUE(shrink[3] > 0 && empty[3] == 0) << "shrink shows to n + 3";
    EXPECT_EQ(empty[4], EMPTY_STEPS - 1) << "empty phase from n + 4";
    EXPECT_EQ(score[6], 40);
    EXPECT_EQ(score[7], 47) << "points credited in n + 7";
    EXPECT_TRUE(grow[8] == 0 && grow[9] == GROW_STEPS - 1) << "grow phase from n + 9";
    EXPECT_TRUE(busy[12] == 1 && busy[13] == 0) << "the chain check in n + 13 finds nothing (seed 1)";
    EXPECT_EQ(lineSounds, 1);
}

TEST_F(UpdateTest, AChainFormedByTheRefillIsFoundSixUpdatesLater) {
    // Row 3 is removed; above each of its cells stand three of one kind, so a refilled cell of that kind
    // completes a column. Seeds are tried until three of them do.
    int chains = 0;
    for (uint32_t seed = 1; seed <= 40 && chains < 3; seed++) {
        SetUp();
        for (int c = 0; c < 4; c++) set(c, 0, c + 1), set(c, 1, c + 1), set(c, 2, c + 1), set(c, 3, 5);
        gGame.lineBusy = 1;
        gGame.stepTimer[TIMER_GROW] = 1;  // update n: the chain check finds row 3
        rndSeed(seed);
        int refillAt = -1, foundAt = -1;
        for (int n = 0; n <= 14 && foundAt < 0; n++) {
            int32_t scoreBefore = gGame.score;
            int soundsBefore = lineSounds;
            update();
            if (gGame.score != scoreBefore && refillAt < 0) refillAt = n;
            if (n > 0 && lineSounds > soundsBefore) foundAt = n;
        }
        ASSERT_EQ(refillAt, 7);
        if (foundAt < 0) continue;
        chains++;
        EXPECT_EQ(foundAt, refillAt + 6) << "seed " << seed;
        EXPECT_EQ(gGame.lineBusy, 1);
        EXPECT_EQ(gGame.stepTimer[TIMER_SHRINK], SHRINK_STEPS - 1);
    }
    EXPECT_EQ(chains, 3);
}

TEST_F(UpdateTest, PauseFreezesEveryStepTimerButTheBonusBanner) {
    for (int k = 0; k < STEP_TIMER_COUNT; k++) gGame.stepTimer[k] = 2 + k;
    gGame.bonusTimer = 200;
    gGame.paused = 1;
    update(10);
    for (int k = 0; k < STEP_TIMER_COUNT; k++) EXPECT_EQ(gGame.stepTimer[k], 2 + k);
    EXPECT_EQ(gGame.bonusTimer, 200 - 80);
    gGame.paused = 0;
    update();
    for (int k = 0; k < STEP_TIMER_COUNT; k++) EXPECT_EQ(gGame.stepTimer[k], 1 + k);
}

TEST_F(UpdateTest, PausingOnADueStepNeitherRepeatsNorLosesIt) {
    tapRotator(6, 6);
    update(7);
    ASSERT_EQ(gGame.stepTimer[TIMER_ROTATION], 1);
    GameState before = gGame;
    gGame.paused = 1;
    update(7);
    EXPECT_TRUE(sameBoard(before)) << "a due turn waits for the pause to end";
    gGame.paused = 0;
    update();
    boardRotateAnticlockwise(6, 6);
    EXPECT_TRUE(sameBoard(before)) << "then turns exactly once";

    gGame.variant = VARIANT_GAME1;
    gGame.paused = 1;
    tapRotator(1, 1);
    update();
    EXPECT_EQ(gGame.rotating + gGame.score, 0) << "a paused tap neither turns nor charges";

    for (int c = 0; c < 4; c++) gGame.marked[boardIndex(c, 9)] = 1;
    gGame.lineBusy = 1;
    gGame.stepTimer[TIMER_EMPTY] = EMPTY_REFILL_AT;
    update(50);
    EXPECT_EQ(gGame.score, 0) << "a due refill is not credited on every paused update";
    gGame.paused = 0;
    update();
    EXPECT_EQ(gGame.score, 4);
}

TEST_F(UpdateTest, ARecordCopiedMidTurnCompletesTheTurnWhenRestored) {
    rowRun3AndOneBelow();
    tapRotator(3, 0);
    update(4);
    uint8_t saved[sizeof(GameState)];
    memcpy(saved, &gGame, sizeof saved);
    update(20);
    GameState played = gGame;
    memset(&gGame, 0, sizeof gGame);
    memcpy(&gGame, saved, sizeof saved);
    rndSeed(1);  // as at the start: nothing drew from the generator before the copy
    update(20);
    EXPECT_EQ(memcmp(&gGame, &played, sizeof played), 0);
    EXPECT_EQ(lineSounds, 2);
}
