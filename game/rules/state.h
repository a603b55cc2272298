// The game's one state record: board, input fields, score, clock, settings, step timers, animation state.
//
// The layout is fixed byte for byte, because a saved game is this record written out as it stands in memory
// (little-endian, no header). Reserved fields are never read but keep their place; the ones commented
// "cleared" are zeroed by gameNew.
#pragma once
#include <cstddef>
#include <cstdint>

enum {
    BOARD_SIZE = 10,    // cells per row and per column
    BOARD_CELLS = 100,  // stored column-major: cell (c, r) at index c * BOARD_SIZE + r
    ROTATOR_COUNT = 9,  // rotators per row and per column
    STEP_TIMER_COUNT = 20,
    ELEMENT_KINDS = 5,  // cells hold kinds 1..ELEMENT_KINDS; 0 never appears during play
};

// stepTimer slots the game uses; the others exist, count down and are saved like these.
enum {
    TIMER_SHRINK = 1,       // removal: marked elements shrink away
    TIMER_EMPTY = 2,        // removal: cells empty; refilled when it reads 3
    TIMER_GROW = 3,         // removal: new elements grow; chain check when it reads 1
    TIMER_ROTATION = 4,     // the block is turned when it reads 1
    TIMER_PANEL_OPEN = 5,   // volume panel opening
    TIMER_PANEL_CLOSE = 6,  // volume panel closing
};

enum { VARIANT_GAME1 = 0, VARIANT_GAME2 = 1, VARIANT_GAME3 = 2, VARIANT_COUNT = 3 };

enum { GAME_OVER = 100 };  // the value gameOver takes; only "above 0" is ever tested

struct GameState {
    int32_t board[BOARD_CELLS];   // element kinds 1..5
    int32_t marked[BOARD_CELLS];  // 1 = cell of a line found by the last line check
    int32_t reserved800[4];
    int32_t tapX, tapY;    // screen position of the last tap
    int32_t dragX, dragY;  // stylus position while held
    int32_t reserved832[6];
    int32_t reserved856[2];  // cleared
    int32_t accumulators;    // Game 1's rotation charges
    int32_t reserved868[2];
    float timeLeft;  // Game 2's clock; single precision on purpose, the clock's length depends on it
    float timeStep;
    float volume;         // setting, 0..1
    float brightness;     // setting, 0..1
    int32_t reserved892;  // cleared
    int32_t entryFlag;    // stored with a new hall-of-fame entry
    int32_t score;        // signed: Game 1's can go below 0
    int32_t reserved904;
    int32_t variant;  // VARIANT_GAME1..VARIANT_GAME3
    uint8_t reserved912;
    uint8_t reserved913;  // cleared
    uint8_t leaveFlag;    // cleared; nothing sets it
    uint8_t paused;
    uint8_t clockHeld;
    uint8_t tap;  // a tap arrived this update
    uint8_t stylusHeld;
    uint8_t soundOn;  // setting
    uint8_t keyUsed;
    uint8_t panelOpen;  // volume panel
    uint8_t leftPressed, rightPressed, upPressed, downPressed;
    uint8_t startPressed;
    uint8_t reserved927;
    int32_t reserved928;  // cleared
    int32_t gameOver;     // 0 while playing, GAME_OVER once ended
    int32_t bonusTimer;   // the bonus banner shows while above 0
    int32_t stepTimer[STEP_TIMER_COUNT];
    int32_t lineBusy;  // 1 from a successful line check until a chain check finds nothing
    int32_t rotating;
    int32_t rotCol, rotRow;         // top-left cell of the turning block, 0..8
    int32_t rotationDirection;      // setting: 1 clockwise, anything else anticlockwise
    int32_t columnLines, rowLines;  // line units of the last successful check
};

static_assert(sizeof(GameState) == 1048, "GameState is a file format");
static_assert(offsetof(GameState, board) == 0, "");
static_assert(offsetof(GameState, marked) == 400, "");
static_assert(offsetof(GameState, reserved800) == 800, "");
static_assert(offsetof(GameState, tapX) == 816, "");
static_assert(offsetof(GameState, tapY) == 820, "");
static_assert(offsetof(GameState, dragX) == 824, "");
static_assert(offsetof(GameState, dragY) == 828, "");
static_assert(offsetof(GameState, reserved832) == 832, "");
static_assert(offsetof(GameState, reserved856) == 856, "");
static_assert(offsetof(GameState, accumulators) == 864, "");
static_assert(offsetof(GameState, reserved868) == 868, "");
static_assert(offsetof(GameState, timeLeft) == 876, "");
static_assert(offsetof(GameState, timeStep) == 880, "");
static_assert(offsetof(GameState, volume) == 884, "");
static_assert(offsetof(GameState, brightness) == 888, "");
static_assert(offsetof(GameState, reserved892) == 892, "");
static_assert(offsetof(GameState, entryFlag) == 896, "");
static_assert(offsetof(GameState, score) == 900, "");
static_assert(offsetof(GameState, reserved904) == 904, "");
static_assert(offsetof(GameState, variant) == 908, "");
static_assert(offsetof(GameState, reserved912) == 912, "");
static_assert(offsetof(GameState, reserved913) == 913, "");
static_assert(offsetof(GameState, leaveFlag) == 914, "");
static_assert(offsetof(GameState, paused) == 915, "");
static_assert(offsetof(GameState, clockHeld) == 916, "");
static_assert(offsetof(GameState, tap) == 917, "");
static_assert(offsetof(GameState, stylusHeld) == 918, "");
static_assert(offsetof(GameState, soundOn) == 919, "");
static_assert(offsetof(GameState, keyUsed) == 920, "");
static_assert(offsetof(GameState, panelOpen) == 921, "");
static_assert(offsetof(GameState, leftPressed) == 922, "");
static_assert(offsetof(GameState, rightPressed) == 923, "");
static_assert(offsetof(GameState, upPressed) == 924, "");
static_assert(offsetof(GameState, downPressed) == 925, "");
static_assert(offsetof(GameState, startPressed) == 926, "");
static_assert(offsetof(GameState, reserved927) == 927, "");
static_assert(offsetof(GameState, reserved928) == 928, "");
static_assert(offsetof(GameState, gameOver) == 932, "");
static_assert(offsetof(GameState, bonusTimer) == 936, "");
static_assert(offsetof(GameState, stepTimer) == 940, "");
static_assert(offsetof(GameState, lineBusy) == 1020, "");
static_assert(offsetof(GameState, rotating) == 1024, "");
static_assert(offsetof(GameState, rotCol) == 1028, "");
static_assert(offsetof(GameState, rotRow) == 1032, "");
static_assert(offsetof(GameState, rotationDirection) == 1036, "");
static_assert(offsetof(GameState, columnLines) == 1040, "");
static_assert(offsetof(GameState, rowLines) == 1044, "");

// The one record of the run, zero at program start.
extern GameState gGame;

inline int32_t boardIndex(int32_t c, int32_t r) {
    return c * BOARD_SIZE + r;
}
