// Finding, counting and paying energy lines.
#include "rules_fixture.h"

using LinesTest = RulesTest;

static void rowRun(int r, int c0, int len) {
    for (int c = c0; c < c0 + len; c++) RulesTest::set(c, r, 5);
}
static void columnRun(int c, int r0, int len) {
    for (int r = r0; r < r0 + len; r++) RulesTest::set(c, r, 5);
}
static int markedCount() {
    int n = 0;
    for (int k = 0; k < BOARD_CELLS; k++) n += gGame.marked[k];
    return n;
}

// The check, the bonus and the refill as one removal pays them (points per element 1).
static int32_t payLines() {
    gGame.score = 0;
    gameLineCheck();
    boardRefillMarked();
    return gGame.score;
}

TEST_F(LinesTest, WorkedScores) {
    struct Pattern {
        const char* name;
        void (*draw)();
        int elements, units, points;
    } patterns[] = {
        {"row of 4", [] { rowRun(2, 3, 4); }, 4, 1, 4},
        {"row of 5", [] { rowRun(2, 3, 5); }, 5, 1, 5},
        {"row of 8", [] { rowRun(2, 1, 8); }, 8, 2, 8 + 40},
        {"cross", [] { rowRun(4, 2, 4), columnRun(3, 2, 4); }, 7, 2, 7 + 40},
        {"neighbouring rows", [] { rowRun(6, 0, 4), rowRun(7, 0, 4); }, 8, 2, 8 + 40},
    };
    for (const Pattern& p : patterns) {
        plainBoard();
        p.draw();
        EXPECT_EQ(payLines(), p.points) << p.name;
        EXPECT_EQ(markedCount(), p.elements) << p.name;
        EXPECT_EQ(gGame.columnLines + gGame.rowLines, p.units) << p.name;
        EXPECT_EQ(gGame.bonusTimer, p.units > 1 ? 200 : 0) << p.name;
        gGame.bonusTimer = 0;
    }
}

TEST_F(LinesTest, StretchesOfFourToTenCountOneOrTwoUnitsEitherWay) {
    for (int len = 3; len <= 10; len++) {
        plainBoard();
        rowRun(9, 10 - len, len);  // reaches the right edge
        EXPECT_EQ(boardFindLines(), len >= 4) << len;
        EXPECT_EQ(markedCount(), len >= 4 ? len : 0);
        EXPECT_EQ(boardCountRowLines(), len / 4 >= 2 ? 2 : len / 4) << len;
        EXPECT_EQ(boardCountColumnLines(), 0);

        plainBoard();
        columnRun(9, 10 - len, len);  // reaches the bottom edge
        EXPECT_EQ(boardFindLines(), len >= 4) << len;
        EXPECT_EQ(boardCountColumnLines(), len / 4 >= 2 ? 2 : len / 4) << len;
        EXPECT_EQ(boardCountRowLines(), 0);
    }
}

TEST_F(LinesTest, AFailedCheckLeavesNothingMarked) {
    for (int k = 0; k < BOARD_CELLS; k++) gGame.marked[k] = 1;
    rowRun(0, 0, 3);
    columnRun(9, 0, 3);
    EXPECT_FALSE(boardFindLines());
    EXPECT_EQ(markedCount(), 0);
}

TEST_F(LinesTest, RefillReplacesOnlyMarkedCellsInRowMajorOrder) {
    rowRun(1, 2, 4);
    columnRun(7, 3, 4);
    ASSERT_TRUE(boardFindLines());
    GameState before = gGame;
    rndSeed(42);
    boardRefillMarked();
    rndSeed(42);
    for (int r = 0; r < BOARD_SIZE; r++) {
        for (int c = 0; c < BOARD_SIZE; c++) {
            int k = boardIndex(c, r);
            EXPECT_EQ(gGame.board[k], before.marked[k] ? 1 + rndNext() % 5 : before.board[k])
                << c << "," << r;
        }
    }
    EXPECT_EQ(gGame.score, before.score + 8);
}
