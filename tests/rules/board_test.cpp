// Board set-up, the rotators' hit areas and the quarter turns.
#include <algorithm>

#include "rules_fixture.h"

using BoardTest = RulesTest;

TEST_F(BoardTest, HitAreasAreInclusiveSquaresWithGapsBetween) {
    struct Case {
        int x, y;
        bool hit;
        int i, j;
    } cases[] = {
        {35, 35, true, 0, 0},   {45, 45, true, 0, 0},    {40, 40, true, 0, 0},    {46, 46, false, 0, 0},
        {34, 40, false, 0, 0},  {40, 34, false, 0, 0},   {55, 35, true, 1, 0},    {50, 40, false, 0, 0},
        {195, 205, true, 8, 8}, {205, 206, false, 0, 0}, {215, 215, false, 0, 0}, {225, 40, false, 0, 0},
        {125, 165, true, 4, 6}, {-1, -1, false, 0, 0},
    };
    gGame.variant = VARIANT_GAME1;
    for (const Case& t : cases) {
        int32_t score = gGame.score, i = -1, j = -1;
        EXPECT_EQ(boardHitRotator(t.x, t.y, &i, &j), t.hit) << t.x << "," << t.y;
        if (t.hit) {
            EXPECT_EQ(i, t.i);
            EXPECT_EQ(j, t.j);
            EXPECT_EQ(gGame.score, score - 1) << "a hit charges Game 1's cost";
        } else {
            EXPECT_EQ(i, -1);
            EXPECT_EQ(gGame.score, score) << "a miss charges nothing";
        }
    }
    EXPECT_TRUE(ptInRect(10, 20, 10, 20, 10, 20));
    EXPECT_FALSE(ptInRect(11, 20, 10, 20, 10, 20));
}

TEST_F(BoardTest, QuarterTurnsMoveTheExampleBlockBothWays) {
    set(3, 5, 1), set(4, 5, 2), set(3, 6, 3), set(4, 6, 4);  // TL, TR, BL, BR
    boardRotateClockwise(3, 5);
    EXPECT_EQ(cell(3, 5), 3);
    EXPECT_EQ(cell(4, 5), 1);
    EXPECT_EQ(cell(4, 6), 2);
    EXPECT_EQ(cell(3, 6), 4);

    set(3, 5, 1), set(4, 5, 2), set(3, 6, 3), set(4, 6, 4);
    boardRotateAnticlockwise(3, 5);
    EXPECT_EQ(cell(3, 5), 2);
    EXPECT_EQ(cell(4, 5), 4);
    EXPECT_EQ(cell(4, 6), 3);
    EXPECT_EQ(cell(3, 6), 1);
}

TEST_F(BoardTest, FourTurnsRestoreABlockAndNoOtherCellMoves) {
    for (int k = 0; k < BOARD_CELLS; k++) gGame.board[k] = k;  // all distinct: any stray move shows
    GameState before = gGame;
    for (int c = 0; c < ROTATOR_COUNT; c++) {
        for (int r = 0; r < ROTATOR_COUNT; r++) {
            boardRotateClockwise(c, r);
            EXPECT_NE(memcmp(gGame.board, before.board, sizeof before.board), 0);
            boardRotateAnticlockwise(c, r);
            EXPECT_EQ(memcmp(gGame.board, before.board, sizeof before.board), 0);
            for (int n = 0; n < 4; n++) boardRotateAnticlockwise(c, r);
            for (int n = 0; n < 4; n++) boardRotateClockwise(c, r);
            EXPECT_EQ(memcmp(gGame.board, before.board, sizeof before.board), 0);
        }
    }
    // A loaded record may name a block off the board: it stays untouched.
    boardRotateClockwise(9, 0);
    boardRotateAnticlockwise(0, -1);
    boardRotateClockwise(-1, 8);
    EXPECT_EQ(memcmp(&gGame, &before, sizeof before), 0);
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
        int rowRun = 1, colRun = 1;
        for (int b = 1; b < BOARD_SIZE; b++) {
            rowRun = gGame.board[boardIndex(b, a)] == gGame.board[boardIndex(b - 1, a)] ? rowRun + 1 : 1;
            colRun = gGame.board[boardIndex(a, b)] == gGame.board[boardIndex(a, b - 1)] ? colRun + 1 : 1;
            best = std::max(best, std::max(rowRun, colRun));
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
        for (int k = 0; k < BOARD_CELLS; k++) {
            ASSERT_GE(gGame.board[k], 1);
            ASSERT_LE(gGame.board[k], 5);
            ASSERT_EQ(gGame.marked[k], 0);
        }
    }
    EXPECT_GT(hadLines, 0) << "the seeds never exercised the removal of start lines";
}
