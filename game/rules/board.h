// The board and its rotators: random elements, the tap hit test, quarter turns, and the energy lines that
// are found, counted, paid and refilled. Everything works on gGame.
#pragma once
#include <cstdint>

// Screen geometry of the 240 x 320 portrait screen. Rotator (i, j) joins cells (i..i+1, j..j+1); its touch
// square is 11 x 11 pixels around the common corner, inclusive, with gaps between squares.
enum {
    CELL_PITCH = 20,
    CELL_ORIGIN = 30,       // centre of cell (0, 0) on both axes
    ROTATOR_ORIGIN = 40,    // centre of rotator (0, 0) on both axes
    ROTATOR_HALF_SIZE = 5,  // the touch square reaches this far from the centre, edges included
};

// True when left <= x <= right and top <= y <= bottom: every tap area of the game is inclusive.
bool ptInRect(int32_t x, int32_t y, int32_t left, int32_t top, int32_t right, int32_t bottom);

int32_t boardNewElement();  // 1..5 from the engine's generator
// Fills every cell (rows outer, columns inner: the draw order is part of every seeded game), zeroes the
// step timers and clears lineBusy. The board may hold lines afterwards; gameNew removes them.
void boardFill();
// Hit test in screen pixels. On a hit charges the variant's rotation cost to the score and returns true with
// the rotator in *col, *row (either may be null); otherwise changes nothing.
bool boardHitRotator(int32_t x, int32_t y, int32_t* col, int32_t* row);
// Quarter turns of the block whose top-left cell is (c, r), 0..8; outside that range nothing happens.
void boardRotateClockwise(int32_t c, int32_t r);
void boardRotateAnticlockwise(int32_t c, int32_t r);

// Rewrites marked: 1 for every cell in a row or column run of 4 or more equal kinds. True when any exists.
bool boardFindLines();
// Line units in marked: a maximal marked stretch of 4..7 cells is one unit, 8..10 cells two.
int32_t boardCountColumnLines();
int32_t boardCountRowLines();
// Two or more units (columnLines + rowLines) pay 20 each and start the bonus banner.
void boardLineBonus();
// New elements for every marked cell (rows outer, columns inner) and the variant's points for each.
void boardRefillMarked();
