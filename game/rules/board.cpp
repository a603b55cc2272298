// The board: random elements, the rotators' hit test and quarter turns.
#include "rules/board.h"

#include "brask/random.h"
#include "rules/state.h"
#include "rules/variants.h"

bool ptInRect(int32_t x, int32_t y, int32_t left, int32_t top, int32_t right, int32_t bottom) {
    return left <= x && x <= right && top <= y && y <= bottom;
}

int32_t boardNewElement() {
    return 1 + rndNext() % ELEMENT_KINDS;
}

void boardFill() {
    for (int32_t r = 0; r < BOARD_SIZE; r++)
        for (int32_t c = 0; c < BOARD_SIZE; c++) gGame.board[boardIndex(c, r)] = boardNewElement();
    for (int32_t k = 0; k < STEP_TIMER_COUNT; k++) gGame.stepTimer[k] = 0;
    gGame.lineBusy = 0;
}

bool boardHitRotator(int32_t x, int32_t y, int32_t* col, int32_t* row) {
    for (int32_t i = 0; i < ROTATOR_COUNT; i++) {
        for (int32_t j = 0; j < ROTATOR_COUNT; j++) {
            int32_t cx = ROTATOR_ORIGIN + CELL_PITCH * i;
            int32_t cy = ROTATOR_ORIGIN + CELL_PITCH * j;
            if (!ptInRect(x, y, cx - ROTATOR_HALF_SIZE, cy - ROTATOR_HALF_SIZE, cx + ROTATOR_HALF_SIZE,
                          cy + ROTATOR_HALF_SIZE))
                continue;
            gGame.score += gameRotationCost[gameVariantIndex()];
            if (col) *col = i;
            if (row) *row = j;
            return true;
        }
    }
    return false;
}

// A loaded game may carry any rotCol/rotRow; a block reaching past the board is not turned at all.
static bool boardBlockInside(int32_t c, int32_t r) {
    return c >= 0 && c < ROTATOR_COUNT && r >= 0 && r < ROTATOR_COUNT;
}

// Clockwise on screen: TL -> TR -> BR -> BL -> TL.
void boardRotateClockwise(int32_t c, int32_t r) {
    if (!boardBlockInside(c, r)) return;
    int32_t* b = gGame.board;
    int32_t tl = b[boardIndex(c, r)], tr = b[boardIndex(c + 1, r)];
    int32_t bl = b[boardIndex(c, r + 1)], br = b[boardIndex(c + 1, r + 1)];
    b[boardIndex(c, r)] = bl;
    b[boardIndex(c + 1, r)] = tl;
    b[boardIndex(c + 1, r + 1)] = tr;
    b[boardIndex(c, r + 1)] = br;
}

// Anticlockwise on screen: TL -> BL -> BR -> TR -> TL.
void boardRotateAnticlockwise(int32_t c, int32_t r) {
    if (!boardBlockInside(c, r)) return;
    int32_t* b = gGame.board;
    int32_t tl = b[boardIndex(c, r)], tr = b[boardIndex(c + 1, r)];
    int32_t bl = b[boardIndex(c, r + 1)], br = b[boardIndex(c + 1, r + 1)];
    b[boardIndex(c, r)] = tr;
    b[boardIndex(c + 1, r)] = br;
    b[boardIndex(c + 1, r + 1)] = bl;
    b[boardIndex(c, r + 1)] = tl;
}
