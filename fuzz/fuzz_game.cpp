// Game files: the input as "KORVA.Quick", loaded (and so checked) as QUICK LOAD loads it. A refused file must
// leave the game as it was. A game that loads is drawn, written back, and must load again as the very record
// it was; then it is played on without a tap for a while, as the frames after a load would run it: a turn
// or a removal it carried must keep moving and a turn must end, and whatever the game became must still be
// a file the shell accepts.
#include <cstring>

#include "fuzz_shell.h"
#include "rules/update.h"

namespace {

// Longer than a turn (ROTATION_STEPS) and a whole removal (shrink, empty, grow) together.
enum { PLAY_UPDATES = 24 };

bool sameRecord(const GameState& a, const GameState& b) {
    return memcmp(&a, &b, sizeof a) == 0;
}

// The state a running phase must never reach: a turn or a removal with no timer left to end it.
void checkMoving(const GameState& g) {
    const int32_t* t = g.stepTimer;
    if (g.rotating && t[TIMER_ROTATION] <= 0) fuzz::fail("a turn with no rotation timer left");
    if (g.lineBusy && t[TIMER_SHRINK] <= 0 && t[TIMER_EMPTY] <= 0 && t[TIMER_GROW] <= 0)
        fuzz::fail("a removal with no timer left");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ShellInput input;
    fuzz::writeInput("KORVA.Quick", data, size);
    const std::u16string name = fuzz::playerFile(u"KORVA.Quick");
    const GameState before = gGame;
    if (!gameLoad(name.c_str())) {
        if (!sameRecord(before, gGame)) fuzz::fail("a refused game file changed the game");
        return 0;
    }
    const GameState loaded = gGame;
    gameDraw();

    if (!gameSave(name.c_str())) fuzz::fail("a loaded game could not be written");
    const std::vector<uint8_t> written = fuzz::readMemoryFile(name.c_str());
    if (written.size() != sizeof(GameState) || memcmp(written.data(), &loaded, sizeof loaded))
        fuzz::fail("the file written is not the game record");
    fuzz::checkNoTemporary(name);
    gGame = before;
    if (!gameLoad(name.c_str())) fuzz::fail("a game the shell wrote was refused");
    if (!sameRecord(gGame, loaded)) fuzz::fail("a written game loaded as another record");

    // The next poll replaces the input fields the file carried, before the first update runs.
    pollInput();
    int32_t updates = 0;
    while (updates < PLAY_UPDATES && gGame.gameOver <= 0) {
        checkMoving(gGame);
        if (gameUpdate() != UPDATE_PLAYING) fuzz::fail("an update without a tap left the game");
        updates++;
        pollInput();
    }
    checkMoving(gGame);
    if (!gGame.paused && gGame.rotating && updates > ROTATION_STEPS) fuzz::fail("a turn did not end");

    if (!gameSave(name.c_str())) fuzz::fail("a game played on could not be written");
    // A record placed at the score limit may pass it in play, and is then refused as no game reaches it.
    const bool beyond = gGame.score > GAME_SCORE_LIMIT || gGame.score < -GAME_SCORE_LIMIT;
    if (!gameLoad(name.c_str()) && !beyond) fuzz::fail("a game played on from a loaded one was refused");
    return 0;
}
