// Energy lines: finding runs of four or more, counting line units, the bonus and the refill.
#include "brask/random.h"
#include "rules/board.h"
#include "rules/state.h"
#include "rules/variants.h"

enum { LINE_MIN = 4, BONUS_PER_UNIT = 20, BONUS_TIMER_START = 200 };

// One row or column seen as BOARD_SIZE cells from `first`, `stride` apart (10 along a row, 1 down a column).
static bool linesMarkRuns(int32_t first, int32_t stride) {
    const int32_t* b = gGame.board;
    bool found = false;
    // Every start is tested, also those inside a run already marked: that only marks marked cells again.
    for (int32_t k = 0; k <= BOARD_SIZE - LINE_MIN; k++) {
        int32_t v = b[first + k * stride];
        if (b[first + (k + 1) * stride] != v) continue;
        int32_t len = 2;
        while (k + len < BOARD_SIZE && b[first + (k + len) * stride] == v) len++;
        if (len < LINE_MIN) continue;
        for (int32_t n = 0; n < len; n++) gGame.marked[first + (k + n) * stride] = 1;
        found = true;
    }
    return found;
}

bool boardFindLines() {
    for (int32_t k = 0; k < BOARD_CELLS; k++) gGame.marked[k] = 0;
    bool found = false;
    for (int32_t r = 0; r < BOARD_SIZE; r++) found |= linesMarkRuns(boardIndex(0, r), BOARD_SIZE);
    for (int32_t c = 0; c < BOARD_SIZE; c++) found |= linesMarkRuns(boardIndex(c, 0), 1);
    return found;
}

// A stretch shorter than LINE_MIN (where a line of the other direction crosses) counts nothing.
static int32_t linesCountUnits(int32_t first, int32_t stride) {
    int32_t units = 0, run = 0;
    for (int32_t k = 0; k < BOARD_SIZE; k++) {
        if (gGame.marked[first + k * stride]) {
            run++;
        } else {
            units += run / LINE_MIN;
            run = 0;
        }
    }
    return units + run / LINE_MIN;
}

int32_t boardCountColumnLines() {
    int32_t units = 0;
    for (int32_t c = 0; c < BOARD_SIZE; c++) units += linesCountUnits(boardIndex(c, 0), 1);
    return units;
}

int32_t boardCountRowLines() {
    int32_t units = 0;
    for (int32_t r = 0; r < BOARD_SIZE; r++) units += linesCountUnits(boardIndex(0, r), BOARD_SIZE);
    return units;
}

void boardLineBonus() {
    int32_t units = gGame.columnLines + gGame.rowLines;
    if (units <= 1) return;
    gGame.score += BONUS_PER_UNIT * units;
    gGame.bonusTimer = BONUS_TIMER_START;
}

void boardRefillMarked() {
    int32_t points = gameElementPoints[gameVariantIndex()];
    for (int32_t r = 0; r < BOARD_SIZE; r++) {
        for (int32_t c = 0; c < BOARD_SIZE; c++) {
            int32_t k = boardIndex(c, r);
            if (!gGame.marked[k]) continue;
            gGame.board[k] = boardNewElement();
            gGame.score += points;
        }
    }
}
