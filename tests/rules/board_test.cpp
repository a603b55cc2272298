// Board set-up, the rotators' hit areas and the quarter turns.
#include <algorithm>
#include <vector>

#include "rules_fixture.h"

using BoardTest = RulesTest;

TEST_F(BoardTest, HitAreasAreInclusiveSquaresWithGapsBetween) {
    struct Case {
        int x, y, i, j;  // i = -1: no hit
    } cases[] = {{35, 35, 0, 0},    {45, 45, 0, 0},   {46, 46, -1, 0},  {34, 40, -1, 0},  {40, 34, -1, 0},
                 {55, 35, 1, 0},    {50, 40, -1, 0},  {125, 165, 4, 6}, {195, 205, 8, 8}, {205, 206, -1, 0},
                 {215, 215, -1, 0}, {225, 40, -1, 0}, {-1, -1, -1, 0}};
    gGame.variant = VARIANT_GAME1;
    for (const Case& t : cases) {
        int32_t score = gGame.score, i = -1, j = -1;
        EXPECT_EQ(boardHitRotator(t.x, t.y, &i, &j), t.i >= 0) << t.x << "," << t.y;
        EXPECT_EQ(i, t.i);
        EXPECT_EQ(j, t.i >= 0 ? t.j : -1);
        EXPECT_EQ(gGame.score, score - (t.i >= 0)) << "only a hit charges Game 1's cost";
    }
}

TEST_F(BoardTest, QuarterTurnsBothWaysAndFourTurnsRestore) {
    set(3, 5, 1), set(4, 5, 2), set(3, 6, 3), set(4, 6, 4);  // TL, TR, BL, BR
    boardRotateClockwise(3, 5);
    EXPECT_EQ((std::vector<int>{cell(3, 5), cell(4, 5), cell(4, 6), cell(3, 6)}),
              (std::vector<int>{3, 1, 2, 4}));
    boardRotateAnticlockwise(3, 5);
    boardRotateAnticlockwise(3, 5);
    EXPECT_EQ((std::vector<int>{cell(3, 5), cell(4, 5), cell(4, 6), cell(3, 6)}),
              (std::vector<int>{2, 4, 3, 1}));

    for (int k = 0; k < BOARD_CELLS; k++) gGame.board[k] = k;  // all distinct: a stray move shows
    GameState before = gGame;
    for (int c = 0; c < ROTATOR_COUNT; c++) {
        for (int r = 0; r < ROTATOR_COUNT; r++) {
            boardRotateClockwise(c, r);
            EXPECT_FALSE(sameBoard(before));
            for (int n = 0; n < 3; n++) boardRotateClockwise(c, r);
            for (int n = 0; n < 4; n++) boardRotateAnticlockwise(c, r);
            EXPECT_TRUE(sameBoard(before)) << c << "," << r;
        }
    }
    // A loaded record may name a block off the board: nothing moves.
    boardRotateClockwise(9, 0), boardRotateAnticlockwise(0, -1), boardRotateClockwise(-1, 8);
    EXPECT_TRUE(sameBoard(before));
}

TEST_F(BoardTest, FillDrawsRowsOuterColumnsInnerAndResetsTimers) {
    for (int k = 0; k < STEP_TIMER_COUNT; k++) gGame.stepTimer[k] = k + 1;
    gGame.lineBusy = 1;
    rndSeed(99);
    boardFill();
    rndSeed(99);
    for (int r = 0; r < BOARD_SIZE; r++)
        for (int c = 0; c < BOARD_SIZE; c++) ASSERT_EQ(cell(c, r), 1 + rndNext() % 5) << c << "," << r;
    for (int k = 0; k < STEP_TIMER_COUNT; k++) EXPECT_EQ(gGame.stepTimer[k], 0);
    EXPECT_EQ(gGame.lineBusy, 0);
}

// Independent of boardFindLines: the longest run of equal kinds along any row or column.
static int longestRun() {
    int best = 0;
    for (int a = 0; a < BOARD_SIZE; a++) {
        for (int b = 1, row = 1, col = 1; b < BOARD_SIZE; b++) {
            row = RulesTest::cell(b, a) == RulesTest::cell(b - 1, a) ? row + 1 : 1;
            col = RulesTest::cell(a, b) == RulesTest::cell(a, b - 1) ? col + 1 : 1;
            best = std::max({best, row, col});
        }
    }
    return best;
}

TEST_F(BoardTest, NoNewGameStartsWithALine) {
    int hadLines = 0;
    for (uint32_t seed = 1; seed <= 500; seed++) {
        rndSeed(seed);
        boardFill();
        hadLines += longestRun() >= 4;
        gameNew();
        ASSERT_LT(longestRun(), 4) << "seed " << seed;
        for (int k = 0; k < BOARD_CELLS; k++) ASSERT_TRUE(gGame.board[k] >= 1 && gGame.board[k] <= 5);
    }
    EXPECT_GT(hadLines, 100) << "the seeds hardly exercised the removal of start lines";
}
