// What the player sees at given frames of whole runs: the game's end, the batteries of Game 1, a turn, and a
// recorded run of the program replayed frame for frame.
#include <cstdlib>

#include "shell_fixture.h"

class ShellFrames : public ShellProgram {
   protected:
    // A run, then the shell started again for the pictures to compare its frames with (the run freed its
    // own).
    void rerun(const char* script) {
        EXPECT_EQ(0, run(script));
        startShell();
    }
    static Surface* picture(int32_t slot) { return image(slot); }
};

TEST_F(ShellFrames, AnUntouchedGame2EndsAtFrame1000) {
    launch.game = 2;
    shootAt({998, 999, 1000});
    rerun("1100 tap 10 10\n");
    Surface* over = picture(IMG_GAME_OVER);
    EXPECT_FALSE(frameShows(frame(999), over, 120, 106));
    EXPECT_TRUE(frameShows(frame(1000), over, 120, 106));
    // The last clock segment goes with the clock.
    EXPECT_TRUE(frameShows(frame(998), picture(IMG_CLOCK), 111, 255));
    EXPECT_FALSE(frameShows(frame(1000), picture(IMG_CLOCK), 111, 255));
}

TEST_F(ShellFrames, Game1ShowsItsChargesGoAndEndsWhenTheSecondTurnCompletes) {
    GameState one = idleGame2();
    one.variant = VARIANT_GAME1;
    for (int32_t c = 0; c < BOARD_SIZE; c++)
        for (int32_t r = 0; r < BOARD_SIZE; r++) one.board[boardIndex(c, r)] = 1 + (c + 2 * r) % 5;
    loadFrom(one);
    shootAt({0, 1, 20, 21, 27, 28});
    rerun("0 tap 45 45\n20 tap 45 45\n60 tap 10 10\n");
    Surface* battery = picture(IMG_BATTERY);
    auto charges = [&](int32_t f) {
        return int(frameShows(frame(f), battery, 160, 259)) + int(frameShows(frame(f), battery, 180, 259));
    };
    EXPECT_EQ(2, charges(0));
    EXPECT_EQ(1, charges(1));
    EXPECT_EQ(1, charges(20));
    EXPECT_EQ(0, charges(21));
    EXPECT_FALSE(frameShows(frame(27), picture(IMG_GAME_OVER), 120, 106));
    EXPECT_TRUE(frameShows(frame(28), picture(IMG_GAME_OVER), 120, 106));
}

TEST_F(ShellFrames, ATurnIsDrawnAwayFromTheRestingCellsAndSnapsBack) {
    launch.game = 2;
    shootAt({0, 1, 7, 8});
    rerun("0 tap 125 125\n20 tap 59 310\n");
    // Rotator (4, 4) turns cells 4..5 x 4..5: frame 0 at rest, frames 1-7 turning, frame 8 at rest again.
    const std::vector<uint32_t> rest = frame(0), turning = frame(1), last = frame(7), after = frame(8);
    auto block = [](const std::vector<uint32_t>& f) {
        std::vector<uint32_t> out;
        for (int32_t y = 110; y < 150; y++)
            for (int32_t x = 110; x < 150; x++)
                out.push_back(f.empty() ? 0 : f[size_t(y) * SCREEN_WIDTH + x]);
        return out;
    };
    ASSERT_FALSE(rest.empty());
    EXPECT_NE(block(rest), block(turning));
    EXPECT_NE(block(rest), block(last));
    EXPECT_NE(block(last), block(after));
    // Elsewhere the board stands still.
    EXPECT_EQ(rest[size_t(30) * SCREEN_WIDTH + 30], turning[size_t(30) * SCREEN_WIDTH + 30]);
}

// The program itself: a recorded run replays, from its own record, to the same frames and the same files.
TEST_F(ShellFrames, ARecordedProgramRunReplaysToTheSameFramesAndFiles) {
    const std::string d1 = folders.root + "/d1", d2 = folders.root + "/d2", rec = folders.root + "/run.rec";
    writeFile(folders.root + "/in.txt", "3 tap 125 125\n15 key 90\n18 key 90\n30 tap 59 310\n");
    auto korvatron = [&](const std::string& args) {
        const std::string cmd =
            std::string("\"") + KORVATRON_EXE + "\" --headless " + args + " > /dev/null 2>&1";
        return std::system(cmd.c_str());
    };
    ASSERT_EQ(0, korvatron("--game 2 --seed 99 --data " + d1 + " --record " + rec + " --script " +
                           folders.root + "/in.txt --screenshot-at 20:" + folders.root + "/a.png"));
    ASSERT_EQ(0, korvatron("--game 2 --data " + d2 + " --script " + rec +
                           " --screenshot-at 20:" + folders.root + "/b.png"));
    const std::string a = readFile(folders.root + "/a.png"), b = readFile(folders.root + "/b.png");
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a, b);
    const std::string q1 = readFile(d1 + "/KORVA.Quick"), q2 = readFile(d2 + "/KORVA.Quick");
    EXPECT_EQ(1048u, q1.size());
    EXPECT_EQ(q1, q2);
    // The player folder holds the player's files only: nothing landed beside the test's program.
    EXPECT_FALSE(fileExists(folders.prog + "/KORVA.Quick"));
}
