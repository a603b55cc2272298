// The update step's timing: turns, removals, chains and the pause.
#include <vector>

#include "rules_fixture.h"

using UpdateTest = RulesTest;

TEST_F(UpdateTest, ATapIsAppliedSevenUpdatesLaterAndFurtherTapsWaitForIt) {
    gGame.variant = VARIANT_GAME1;
    gGame.panelOpen = 1;
    GameState start = gGame;
    tapRotator(2, 3);  // update 0
    update();
    EXPECT_EQ(rotationSounds, 1);
    EXPECT_EQ(gGame.score, -1);
    EXPECT_EQ(gGame.panelOpen, 0) << "a turn closes the volume panel";
    EXPECT_EQ(gGame.stepTimer[TIMER_PANEL_CLOSE], PANEL_STEPS - 1);
    for (int n = 1; n <= 6; n++) {
        tapRotator(5, 5);  // ignored and free while the turn runs
        update();
        EXPECT_EQ(memcmp(gGame.board, start.board, sizeof start.board), 0) << "update " << n;
        EXPECT_EQ(gGame.rotating, 1);
    }
    update();  // update 7
    EXPECT_EQ(gGame.rotating, 0);
    EXPECT_EQ(gGame.score, -1);
    EXPECT_EQ(rotationSounds, 1);
    boardRotateAnticlockwise(2, 3);
    EXPECT_EQ(memcmp(gGame.board, start.board, sizeof start.board), 0)
        << "exactly block (2, 3) turned clockwise";
}

TEST_F(UpdateTest, TheDirectionIsReadWhenTheTurnCompletes) {
    rowRun3AndOneBelow();
    tapRotator(3, 0);
    update();
    gGame.rotationDirection = 0;  // changed mid-turn: anticlockwise, no line
    for (int n = 1; n <= 7; n++) update();
    EXPECT_EQ(lineSounds, 0);
    EXPECT_EQ(cell(3, 0), 1) << "old top-right moved left";

    SetUp();
    rowRun3AndOneBelow();
    gGame.rotationDirection = 0;
    tapRotator(3, 0);
    update();
    gGame.rotationDirection = 1;
    for (int n = 1; n <= 7; n++) update();
    EXPECT_EQ(lineSounds, 1);
}

// A cross formed by a turn: row 0 columns 0..3 and column 3 rows 0..3, seven elements, two units.
static void crossAfterTurn() {
    RulesTest::rowRun3AndOneBelow();
    RulesTest::set(4, 1, 5), RulesTest::set(3, 2, 5), RulesTest::set(3, 3, 5);
}

TEST_F(UpdateTest, RemovalPhasesRunOnTheirUpdates) {
    crossAfterTurn();
    tapRotator(3, 0);
    for (int n = 0; n < 7; n++) update();
    ASSERT_EQ(gGame.lineBusy, 0);

    struct Seen {
        int32_t score, bonusTimer, shrink, empty, grow, lineBusy;
    };
    std::vector<Seen> seen;  // after updates n, n + 1, ...; the refill of seed 1 forms no chain
    for (int n = 0; n <= 14; n++) {
        update();
        const int32_t* t = gGame.stepTimer;
        seen.push_back({gGame.score, gGame.bonusTimer, t[1], t[2], t[3], gGame.lineBusy});
    }
    EXPECT_EQ(lineSounds, 1);
    EXPECT_EQ(seen[0].score, 40) << "bonus in n";
    EXPECT_EQ(seen[0].bonusTimer, 200 - 8);
    for (int n = 0; n <= 3; n++) EXPECT_GT(seen[n].shrink, 0) << "shrink shows in " << n;
    EXPECT_EQ(seen[3].empty, 0);
    EXPECT_EQ(seen[4].empty, EMPTY_STEPS - 1) << "empty phase starts in n + 4";
    EXPECT_EQ(seen[6].score, 40);
    EXPECT_EQ(seen[7].score, 47) << "points credited in n + 7";
    EXPECT_EQ(seen[8].grow, 0);
    EXPECT_EQ(seen[9].grow, GROW_STEPS - 1) << "grow phase starts in n + 9";
    EXPECT_EQ(seen[12].lineBusy, 1);
    EXPECT_EQ(seen[13].lineBusy, 0) << "chain check in n + 13 finds nothing";
    EXPECT_EQ(seen[14].score, 47);
}

TEST_F(UpdateTest, AChainFormedByTheRefillIsFoundSixUpdatesLater) {
    // Row 3 is removed; above each of its cells stand three equal kinds, so a refilled cell of the same
    // kind completes a column of four. Seeds are tried until one does.
    int chains = 0;
    for (uint32_t seed = 1; seed <= 40 && chains < 3; seed++) {
        SetUp();
        for (int c = 0; c < 4; c++) {
            for (int r = 0; r < 3; r++) set(c, r, c + 1);
            set(c, 3, 5);
        }
        gGame.lineBusy = 1;
        gGame.stepTimer[TIMER_GROW] = 1;  // update n: the chain check finds row 3
        rndSeed(seed);
        int refillAt = -1, foundAt = -1;
        for (int n = 0; n <= 14 && foundAt < 0; n++) {
            int sounds = lineSounds;
            int32_t scoreBefore = gGame.score;
            update();
            if (n > 0 && gGame.score != scoreBefore && refillAt < 0) refillAt = n;
            if (n > 0 && lineSounds > sounds) foundAt = n;
        }
        ASSERT_EQ(refillAt, 7);
        if (foundAt < 0) continue;
        chains++;
        EXPECT_EQ(foundAt, refillAt + 6) << "seed " << seed;
        EXPECT_EQ(gGame.lineBusy, 1);
        EXPECT_EQ(gGame.stepTimer[TIMER_SHRINK], SHRINK_STEPS - 1);
        EXPECT_EQ(gGame.stepTimer[TIMER_GROW], 0);
    }
    EXPECT_EQ(chains, 3);
}

TEST_F(UpdateTest, PauseFreezesEveryStepTimerButTheBonusBanner) {
    for (int k = 0; k < STEP_TIMER_COUNT; k++) gGame.stepTimer[k] = 2 + k;
    gGame.bonusTimer = 200;
    gGame.paused = 1;
    GameState before = gGame;
    for (int n = 0; n < 10; n++) update();
    EXPECT_EQ(memcmp(gGame.stepTimer, before.stepTimer, sizeof before.stepTimer), 0);
    EXPECT_EQ(gGame.bonusTimer, 200 - 80);
    gGame.paused = 0;
    update();
    for (int k = 0; k < STEP_TIMER_COUNT; k++) EXPECT_EQ(gGame.stepTimer[k], 1 + k);
}

TEST_F(UpdateTest, PausingOnADueStepNeitherRepeatsNorLosesIt) {
    // A turn due this update: paused, the block must not turn again and again.
    tapRotator(6, 6);
    for (int n = 0; n < 7; n++) update();
    ASSERT_EQ(gGame.stepTimer[TIMER_ROTATION], 1);
    GameState before = gGame;
    gGame.paused = 1;
    for (int n = 0; n < 7; n++) update();
    EXPECT_EQ(memcmp(gGame.board, before.board, sizeof before.board), 0);
    gGame.paused = 0;
    update();
    EXPECT_EQ(gGame.rotating, 0);
    boardRotateAnticlockwise(6, 6);
    EXPECT_EQ(memcmp(gGame.board, before.board, sizeof before.board), 0) << "turned exactly once";
    boardRotateClockwise(6, 6);

    // Idle and paused: a tap on a rotator neither turns nor charges.
    gGame.variant = VARIANT_GAME1;
    gGame.paused = 1;
    tapRotator(1, 1);
    update();
    EXPECT_EQ(gGame.rotating, 0);
    EXPECT_EQ(gGame.score, 0);
    EXPECT_EQ(rotationSounds, 1);

    // A refill due this update: paused, the points must not be credited again and again.
    SetUp();
    for (int c = 0; c < 4; c++) gGame.marked[boardIndex(c, 9)] = 1;
    gGame.lineBusy = 1;
    gGame.stepTimer[TIMER_EMPTY] = EMPTY_REFILL_AT;
    gGame.paused = 1;
    for (int n = 0; n < 50; n++) update();
    EXPECT_EQ(gGame.score, 0);
    gGame.paused = 0;
    update();
    EXPECT_EQ(gGame.score, 4);
}

TEST_F(UpdateTest, ARecordCopiedMidTurnCompletesTheTurnWhenRestored) {
    crossAfterTurn();
    tapRotator(3, 0);
    for (int n = 0; n < 4; n++) update();
    uint8_t saved[sizeof(GameState)];
    memcpy(saved, &gGame, sizeof saved);
    for (int n = 0; n < 20; n++) update();
    GameState played = gGame;

    memset(&gGame, 0, sizeof gGame);
    memcpy(&gGame, saved, sizeof saved);
    rndSeed(1);  // as at the start: nothing drew from the generator before the copy
    for (int n = 0; n < 20; n++) update();
    EXPECT_EQ(memcmp(&gGame, &played, sizeof played), 0);
    EXPECT_EQ(gGame.score, 47);
}
