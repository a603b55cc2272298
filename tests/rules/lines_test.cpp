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
        SetUp();
        p.draw();
        gameLineCheck();
        boardRefillMarked();
        EXPECT_EQ(gGame.score, p.points) << p.name;
        EXPECT_EQ(markedCount(), p.elements) << p.name;
        EXPECT_EQ(gGame.columnLines + gGame.rowLines, p.units) << p.name;
        EXPECT_EQ(gGame.bonusTimer, p.units > 1 ? 200 : 0) << p.name;
    }
}

TEST_F(LinesTest, StretchesUpToTheEdgesCountOneOrTwoUnitsAndShortOnesNothing) {
    const int units[11] = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2};
    for (int len = 3; len <= 10; len++) {
        SetUp();
        for (int k = 0; k < BOARD_CELLS; k++) gGame.marked[k] = 1;  // a failed check must clear them all
        rowRun(9, 10 - len, len);                                   // reaches the right edge
        EXPECT_EQ(boardFindLines(), len >= 4) << len;
        EXPECT_EQ(markedCount(), len >= 4 ? len : 0);
        EXPECT_EQ(boardCountRowLines(), units[len]) << len;
        EXPECT_EQ(boardCountColumnLines(), 0);
        SetUp();
        columnRun(9, 10 - len, len);  // reaches the bottom edge
        EXPECT_EQ(boardFindLines(), len >= 4) << len;
        EXPECT_EQ(boardCountColumnLines(), units[len]) << len;
        EXPECT_EQ(boardCountRowLines(), 0);
    }
}

TEST_F(LinesTest, RefillReplacesOnlyMarkedCellsInRowMajorOrder) {
    rowRun(1, 2, 4);
    columnRun(0, 3, 4);  // column-major order would draw for these first
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
    EXPECT_EQ(gGame.score, 8);
}
