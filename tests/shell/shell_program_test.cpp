// Whole-program runs: gameMain in this process under the headless backend with a frame-keyed script, each
// in its own folders, checked by the files it leaves, the game record it ends with and the frames it ran.
// A script line at frame f reaches the poll of update f + 2 of a launched game.
#include <cstring>
#include <vector>

#include "brask/sound.h"
#include "shell_fixture.h"

TEST_F(ShellProgram, AQuickSaveInUpdate40KeepsTheGameAndWritesNothingElse) {
    launch.game = 2;
    EXPECT_EQ(0, run("38 tap 59 310\n"));
    const std::string q = file("KORVA.Quick");
    ASSERT_EQ(1048u, q.size());
    EXPECT_EQ(std::string("\x08\x00\xC0\x42", 4), q.substr(876, 4));  // forty clock steps from 100
    EXPECT_EQ(std::string("\x01\x00\x00\x00", 4), q.substr(908, 4));  // Game 2
    EXPECT_EQ(std::string("\x3B\x00\x00\x00\x36\x01\x00\x00", 8), q.substr(816, 8));
    EXPECT_FALSE(fileExists(folders.prog + "/KORVA.Setup"));
    EXPECT_FALSE(fileExists(folders.prog + "/KORVA.Score"));
    EXPECT_EQ(39, headlessFrame());  // the saving update presents nothing
}

TEST_F(ShellProgram, ACloseRequestInAGameKeepsItAsTheQuickSaveButtonWould) {
    struct Case {
        const char* name;
        const char* script;
        int32_t closeFrame;
    } cases[] = {
        {"playing", "50 close\n", 50},
        {"paused", "10 key 90\n50 close\n", 50},
        {"dialog", "10 tap 180 310\n50 close\n", 50},
        {"game over", "1010 close\n", 1010},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(folders.prog + "/KORVA.Quick");
        std::filesystem::remove(folders.prog + "/KORVA.Setup");
        launch.game = 2;
        EXPECT_EQ(0, run(c.script)) << c.name;
        EXPECT_LE(headlessFrame(), c.closeFrame + 2) << c.name;
        EXPECT_GE(headlessFrame(), c.closeFrame) << c.name;
        EXPECT_EQ(recordBytes(gGame), file("KORVA.Quick")) << c.name;
        EXPECT_EQ(16u, file("KORVA.Setup").size()) << c.name;
        EXPECT_FALSE(fileExists(folders.prog + "/KORVA.Score")) << c.name;  // no game ended
        EXPECT_EQ(0, headlessMessageBoxCount()) << c.name;
    }
    GameState q;
    memcpy(&q, file("KORVA.Quick").data(), sizeof q);
    EXPECT_GT(q.gameOver, 0);

    // Saved at its game-over picture, it comes back to that picture; a tap ends it, another the table.
    loadFrom(q);
    launch.game = 0;
    shootAt({1});
    EXPECT_EQ(0, run("5 tap 10 10\n10 tap 10 10\n"));
    EXPECT_LT(headlessFrame(), 20);
    startShell();
    EXPECT_TRUE(frameShows(frame(1), image(IMG_GAME_OVER), 120, 106));
}

TEST_F(ShellProgram, AGameClosedMidTurnFinishesTheTurnWhenLoaded) {
    GameState g = idleGame2();
    for (int32_t c = 0; c < BOARD_SIZE; c++)
        for (int32_t r = 0; r < BOARD_SIZE; r++) g.board[boardIndex(c, r)] = 1 + (c + 2 * r) % 5;
    // The turn played through, for comparison: tap a block, quick save well after it.
    loadFrom(g, "KORVA.Game1");
    EXPECT_EQ(0, run("0 tap 45 45\n20 tap 59 310\n"));
    GameState through;
    memcpy(&through, file("KORVA.Quick").data(), sizeof through);
    ASSERT_EQ(0, through.rotating);
    ASSERT_NE(0, memcmp(g.board, through.board, sizeof g.board));

    // Closed two updates into the turn, then resumed from the menu's QUICK LOAD.
    EXPECT_EQ(0, run("0 tap 45 45\n3 close\n"));
    GameState cut;
    memcpy(&cut, file("KORVA.Quick").data(), sizeof cut);
    ASSERT_EQ(1, cut.rotating);
    launch = AppLaunchOptions{};
    EXPECT_EQ(0, run("90 tap 150 117\n140 tap 59 310\n"));
    GameState resumed;
    memcpy(&resumed, file("KORVA.Quick").data(), sizeof resumed);
    EXPECT_EQ(0, resumed.rotating);
    EXPECT_EQ(0, memcmp(through.board, resumed.board, sizeof g.board));
}

TEST_F(ShellProgram, TheDialogResumesSavesByVariantAndQuits) {
    // Resume, then save: the game goes on in between, and the file is the running Game 2.
    launch.game = 2;
    EXPECT_EQ(0, run("10 tap 180 310\n20 tap 100 130\n40 tap 180 310\n50 tap 100 120\n"));
    const std::string saved = file("KORVA.Game2");
    ASSERT_EQ(1048u, saved.size());
    GameState g;
    memcpy(&g, saved.data(), sizeof g);
    EXPECT_EQ(VARIANT_GAME2, g.variant);
    EXPECT_LT(g.timeLeft, 100.0f - 0.1f * 24);  // the dialog stood still for 10 frames of 50
    EXPECT_EQ(0, g.gameOver);

    // A Game 3 loaded from the quick save is saved to its own slot; a quit writes nothing.
    GameState three = idleGame2();
    three.variant = VARIANT_GAME3;
    three.score = 30;
    loadFrom(three);
    launch.game = 0;
    EXPECT_EQ(0, run("10 tap 180 310\n20 tap 100 120\n"));
    ASSERT_EQ(1048u, file("KORVA.Game3").size());
    EXPECT_EQ(30, gGame.score);

    std::filesystem::remove(folders.prog + "/KORVA.Game2");
    launch.loadFile = nullptr;
    launch.game = 2;
    EXPECT_EQ(0, run("10 tap 180 310\n20 tap 100 112\n30 tap 10 10\n"));
    EXPECT_FALSE(fileExists(folders.prog + "/KORVA.Game2"));
    EXPECT_EQ(0, gGame.gameOver);    // the game ended by the player, not by its rule
    EXPECT_LT(headlessFrame(), 40);  // the scores table closed at the tap
}

TEST_F(ShellProgram, ALoadedGameGoesOnFromItsRecord) {
    GameState g = idleGame2();
    g.timeLeft = 37.5f;
    g.score = 12;
    g.board[0] = 5;
    loadFrom(g, "KORVA.Game2");
    EXPECT_EQ(0, run("0 tap 59 310\n"));
    GameState q;
    const std::string bytes = file("KORVA.Quick");
    ASSERT_EQ(1048u, bytes.size());
    memcpy(&q, bytes.data(), sizeof q);
    EXPECT_EQ((37.5f - 0.1f) - 0.1f, q.timeLeft);  // two updates ran
    EXPECT_EQ(12, q.score);
    EXPECT_EQ(0, memcmp(g.board, q.board, sizeof g.board));

    // A rejected file gives a new Game 2.
    GameState broken = idleGame2();
    broken.variant = 9;
    loadFrom(broken, "KORVA.Game1");
    EXPECT_EQ(0, run("0 tap 59 310\n"));
    memcpy(&q, file("KORVA.Quick").data(), sizeof q);
    EXPECT_EQ(VARIANT_GAME2, q.variant);
    EXPECT_EQ((100.0f - 0.1f) - 0.1f, q.timeLeft);
}

TEST_F(ShellProgram, AGameSavedWithSoundOffStaysSilent) {
    for (uint8_t sound : {1, 0}) {
        GameState g = idleGame2();
        g.soundOn = sound;
        loadFrom(g);
        EXPECT_EQ(0, run("0 tap 45 45\n20 tap 210 8\n40 tap 59 310\n"));
        int64_t n = 0;
        const int16_t* pcm = headlessAudioCapture(&n);
        int64_t loud = 0;
        for (int64_t i = 0; i < n; i++) loud += pcm[i] != 0;
        EXPECT_EQ(sound == 1, loud > 0) << int(sound);
        // The switch clicks only when it turns the sound off.
    }
}

TEST_F(ShellProgram, EachVariantEndsByItsOwnRule) {
    // Game 1: two turns without a line use both charges; the game ends when the second completes.
    GameState one = idleGame2();
    one.variant = VARIANT_GAME1;
    for (int32_t c = 0; c < BOARD_SIZE; c++)
        for (int32_t r = 0; r < BOARD_SIZE; r++) one.board[boardIndex(c, r)] = 1 + (c + 2 * r) % 5;
    loadFrom(one);
    EXPECT_EQ(0, run("0 tap 45 45\n20 tap 45 45\n60 tap 10 10\n"));
    EXPECT_EQ(-2, gGame.score);
    EXPECT_EQ(0, gGame.accumulators);
    EXPECT_GT(gGame.gameOver, 0);

    // Game 3 with one unit left: one turn spends it, and the game is over the next update.
    GameState three = one;
    three.variant = VARIANT_GAME3;
    three.score = 1;
    loadFrom(three);
    EXPECT_EQ(0, run("0 tap 45 45\n40 tap 10 10\n"));
    EXPECT_EQ(0, gGame.score);
    EXPECT_GT(gGame.gameOver, 0);

    // Game 2 untouched: the clock runs out after 1001 updates, and a tap leaves the game-over picture.
    launch.loadFile = nullptr;
    launch.game = 2;
    EXPECT_EQ(0, run("1100 tap 10 10\n"));
    EXPECT_GT(gGame.gameOver, 0);
    EXPECT_LE(gGame.timeLeft, 0.0f);
}

TEST_F(ShellProgram, MissingPicturesDoNotStopTheGameButAMissingFontDoes) {
    writeFile(folders.prog + "/gamedata/back.tga", "");  // a loose file shadows the packed one
    launch.game = 2;
    EXPECT_EQ(0, run("5 tap 59 310\n"));
    EXPECT_EQ(1048u, file("KORVA.Quick").size());
    EXPECT_EQ(0, headlessMessageBoxCount());

    writeFile(folders.prog + "/gamedata/font.tga", "no picture");
    EXPECT_EQ(1, run(""));
    ASSERT_EQ(1, headlessMessageBoxCount());
    const char* text = nullptr;
    headlessMessageBox(0, &text, nullptr, nullptr);
    EXPECT_STREQ("Fatal: could not load font", text);
}
