// Units of the shell: brightness, the turning block's path, the input poll, the in-game buttons and the
// volume drag, and the checks a loaded game file must pass.
#include <cmath>
#include <functional>
#include <vector>

#include "brask/image.h"
#include "shell_fixture.h"

TEST(Brightness, ScalesEachChannelAndKeepsWhiteWhenBrightening) {
    EXPECT_EQ(128, brightnessFactor(0.0f));
    EXPECT_EQ(256, brightnessFactor(0.5f));
    EXPECT_EQ(384, brightnessFactor(1.0f));
    EXPECT_EQ(0x8410u, colourScale565(0xFFFF, 128));  // white at half brightness: (16, 32, 16)
    EXPECT_EQ((24u << 11) | (48u << 5) | 24u, colourScale565((16u << 11) | (32u << 5) | 16u, 384));
    // At 256 the pass still runs: 31 caps at 30 and green loses its lowest bit; only white is spared.
    EXPECT_EQ(0xF000u, colourScale565(0xF800, 256));
    EXPECT_EQ(0x0780u, colourScale565(0x07E0, 256));
    for (uint32_t v : {0x0000u, 0x8410u, 0xFFFFu}) EXPECT_EQ(v, colourScale565(v, 256));
    // Nothing but white reaches white when brightening, so white-keyed pictures stay exactly transparent.
    for (uint32_t v = 0; v < 0xFFFF; v++) ASSERT_NE(0xFFFFu, colourScale565(v, 384)) << v;
}

// The pass over the loaded pictures runs along their rows with a table; every pixel must still be what
// colourScale565 gives for the file's pixel, and the button map must stay untouched.
TEST_F(ShellTest, PicturesLoadBrightenedPixelForPixelAsTheColourScaleSays) {
    startShell();
    const struct {
        int32_t slot;
        const char16_t* file;
    } kPictures[] = {{IMG_BACK, u"gamedata/back.tga"},     {IMG_ELEMENT, u"gamedata/element00.tga"},
                     {IMG_BONUS, u"gamedata/bonus.tga"},   {IMG_CLOCK, u"gamedata/TimeSlide.tga"},
                     {IMG_MENU, u"gamedata/MainMenu.tga"}, {IMG_MENU_MAP, u"gamedata/MainMenuMask.tga"}};
    for (int32_t factor : {128, 255, 256, 300, 384}) {
        imagesFree();
        imagesLoad(factor);
        for (const auto& p : kPictures) {
            Surface* file = sfLoadTGA(p.file, pf565, nullptr);
            const Surface* loaded = image(p.slot);
            ASSERT_TRUE(file && loaded);
            ASSERT_EQ(file->width, loaded->width);
            ASSERT_EQ(file->height, loaded->height);
            int32_t wrong = 0;
            for (int32_t y = 0; y < file->height; y++)
                for (int32_t x = 0; x < file->width; x++) {
                    const uint32_t v = sfGetPixel(file, x, y);
                    const uint32_t want = p.slot == IMG_MENU_MAP ? v : colourScale565(v, factor);
                    wrong += sfGetPixel(loaded, x, y) != want;
                }
            EXPECT_EQ(0, wrong) << "slot " << p.slot << " at factor " << factor;
            sfFree(file);
        }
    }
}

TEST(RotationPath, BothDirectionsFollowTheirTables) {
    gGame.rotationDirection = 1;
    rotAnimBuild();
    const RotAnim* t = rotAnim();
    const int32_t tl1[8][2] = {{24, -4}, {20, -6}, {17, -8}, {13, -9}, {10, -10}, {6, -9}, {3, -8}, {-1, -6}};
    const int32_t angles1[8] = {135, 123, 112, 101, 90, 78, 67, 56};
    for (int f = 0; f < 8; f++) {
        EXPECT_EQ(tl1[f][0], t->dx[0][f]) << f;
        EXPECT_EQ(tl1[f][1], t->dy[0][f]) << f;
        EXPECT_EQ(angles1[f], t->angle[f]) << f;
    }
    // Any direction other than 1 turns anticlockwise; its angles run past 360 instead of wrapping.
    gGame.rotationDirection = 7;
    rotAnimBuild();
    EXPECT_EQ(-4, t->dx[0][0]);
    EXPECT_EQ(24, t->dy[0][0]);
    EXPECT_EQ(-6, t->dx[0][1]);
    EXPECT_EQ(21, t->dy[0][1]);
    EXPECT_EQ(-6, t->dx[0][7]);
    EXPECT_EQ(0, t->dy[0][7]);
    const int32_t angles0[8] = {315, 326, 337, 348, 360, 371, 382, 393};
    for (int f = 0; f < 8; f++) EXPECT_EQ(angles0[f], t->angle[f]) << f;
}

class ShellInput : public ShellTest {
   protected:
    void SetUp() override {
        ShellTest::SetUp();
        startShell();
    }
    void key(uint32_t message, uint32_t vk) { post(message, vk); }
};

TEST_F(ShellInput, KeysToggleOncePerPressAndTheStylusTapsOncePerPress) {
    // BUT.A held over several polls pauses once; BUT.A and BUT.B in one poll cancel out.
    key(PLAT_WM_KEYDOWN, PLAT_VK_Z);
    deliver();
    EXPECT_EQ(1, gGame.paused);
    deliver();
    EXPECT_EQ(1, gGame.paused);
    key(PLAT_WM_KEYUP, PLAT_VK_Z);
    deliver();
    key(PLAT_WM_KEYDOWN, PLAT_VK_Z);
    key(PLAT_WM_KEYDOWN, PLAT_VK_X);
    deliver();
    EXPECT_EQ(1, gGame.paused);
    key(PLAT_WM_KEYDOWN, PLAT_VK_C);
    deliver();
    EXPECT_EQ(1, gGame.clockHeld);
    EXPECT_EQ(1, gGame.paused);

    // START sets its flag only in the poll of the press.
    key(PLAT_WM_KEYDOWN, PLAT_VK_RETURN);
    deliver();
    EXPECT_EQ(1, gGame.startPressed);
    EXPECT_EQ(1, gGame.keyUsed);
    deliver();
    EXPECT_EQ(0, gGame.startPressed);

    // A held stylus is one tap, dragged positions follow it, and a new press is the next tap.
    post(PLAT_WM_LBUTTONDOWN, 1, 50, 60);
    deliver();
    EXPECT_EQ(1, gGame.tap);
    EXPECT_EQ(0, gGame.keyUsed);
    EXPECT_EQ(50, gGame.tapX);
    EXPECT_EQ(60, gGame.tapY);
    post(PLAT_WM_MOUSEMOVE, 1, 70, 80);
    deliver();
    EXPECT_EQ(0, gGame.tap);
    EXPECT_EQ(1, gGame.stylusHeld);
    EXPECT_EQ(70, gGame.dragX);
    EXPECT_EQ(50, gGame.tapX);
    post(PLAT_WM_LBUTTONUP, 0, 70, 80);
    deliver();
    EXPECT_EQ(0, gGame.stylusHeld);
    post(PLAT_WM_LBUTTONDOWN, 1, 10, 20);
    deliver();
    EXPECT_EQ(1, gGame.tap);
    EXPECT_EQ(10, gGame.tapX);
}

TEST_F(ShellInput, ButtonsAnswerInsideTheirEdgesOnly) {
    gameNew();
    // Outside the pause bar by one pixel: nothing; on its corner: paused; a board tap while paused is the
    // bar's business only, so it does not turn.
    tapAt(45, 286);
    EXPECT_EQ(UPDATE_PLAYING, gameUpdate());
    EXPECT_EQ(0, gGame.paused);
    deliver();
    tapAt(46, 286);
    gameUpdate();
    EXPECT_EQ(1, gGame.paused);
    deliver();
    tapAt(40, 40);
    gameUpdate();
    EXPECT_EQ(0, gGame.rotating);
    deliver();
    tapAt(190, 299);
    gameUpdate();
    EXPECT_EQ(0, gGame.paused);

    // The sound switch clicks before it toggles, so only switching off is heard.
    deliver();
    gShell.voices[SND_CLICK] = -2;
    tapAt(210, 8);
    gameUpdate();
    EXPECT_EQ(0, gGame.soundOn);
    EXPECT_GE(gShell.voices[SND_CLICK], 0);
    deliver();
    gShell.voices[SND_CLICK] = -2;
    tapAt(225, 15);
    gameUpdate();
    EXPECT_EQ(1, gGame.soundOn);
    EXPECT_EQ(-2, gShell.voices[SND_CLICK]);
    deliver();
    tapAt(210, 8);
    gameUpdate();
    ASSERT_EQ(0, gGame.soundOn);
    // The handle opens the panel six updates later, and only while it is closed.
    deliver();
    tapAt(170, 8);
    gameUpdate();
    std::vector<int32_t> frames;
    for (int i = 0; i < 6 && !gGame.panelOpen; i++) {
        int32_t opening, closing;
        gamePanelFrames(&opening, &closing);
        frames.push_back(opening);
        deliver();
        gameUpdate();
    }
    EXPECT_EQ((std::vector<int32_t>{17, 18, 18, 19, 19}), frames);
    EXPECT_EQ(1, gGame.panelOpen);

    // Dragging on the open panel's track sets the volume from its left end to its right end.
    for (auto [x, v] : {std::pair{96, 0.0f}, {143, 0.5f}, {190, 1.0f}}) {
        post(PLAT_WM_LBUTTONDOWN, 1, x, 8);
        deliver();
        gameUpdate();
        EXPECT_FLOAT_EQ(v, gGame.volume) << x;
        post(PLAT_WM_LBUTTONUP, 0, x, 8);
        deliver();
    }
    post(PLAT_WM_LBUTTONDOWN, 1, 191, 8);
    deliver();
    gameUpdate();
    EXPECT_FLOAT_EQ(1.0f, gGame.volume);
}

// ---- Game files ----

class GameFiles : public ShellTest {
   protected:
    std::string path() const { return folders.prog + "/KORVA.Game2"; }
    bool load(const std::string& bytes) {
        writeFile(path(), bytes);
        return gameLoad(u"KORVA.Game2") == 1;
    }
};

TEST_F(GameFiles, EveryRecordThatWouldIndexHangOrNeverEndIsRefused) {
    const std::vector<std::pair<const char*, std::function<void(GameState&)>>> rules = {
        {"kind 0", [](GameState& g) { g.board[57] = 0; }},
        {"kind 6", [](GameState& g) { g.board[3] = 6; }},
        {"variant 3", [](GameState& g) { g.variant = 3; }},
        {"variant -1", [](GameState& g) { g.variant = -1; }},
        {"rotCol 9", [](GameState& g) { g.rotCol = 9; }},
        {"rotRow -1", [](GameState& g) { g.rotRow = -1; }},
        {"rotating 2", [](GameState& g) { g.rotating = 2; }},
        {"lineBusy 2", [](GameState& g) { g.lineBusy = 2; }},
        {"shrink 6", [](GameState& g) { g.stepTimer[1] = 6; }},
        {"empty 7", [](GameState& g) { g.stepTimer[2] = 7; }},
        {"grow -1", [](GameState& g) { g.stepTimer[3] = -1; }},
        {"turn 9", [](GameState& g) { g.stepTimer[4] = 9; }},
        {"panel 7", [](GameState& g) { g.stepTimer[5] = 7; }},
        {"panel closing 7", [](GameState& g) { g.stepTimer[6] = 7; }},
        {"turn never completes", [](GameState& g) { g.rotating = 1; }},
        {"removal never ends", [](GameState& g) { g.lineBusy = 1; }},
        {"clock NaN", [](GameState& g) { g.timeLeft = NAN; }},
        {"clock 101", [](GameState& g) { g.timeLeft = 101.0f; }},
        {"Game 2 out of time", [](GameState& g) { g.timeLeft = 0.0f; }},
        {"step infinite", [](GameState& g) { g.timeStep = INFINITY; }},
        {"step too small", [](GameState& g) { g.timeStep = 1e-6f; }},
        {"charges 3", [](GameState& g) { g.accumulators = 3; }},
        {"charges -1", [](GameState& g) { g.accumulators = -1; }},
        {"Game 1 without charges",
         [](GameState& g) {
             g.variant = VARIANT_GAME1;
             g.accumulators = 0;
         }},
        {"Game 3 below zero",
         [](GameState& g) {
             g.variant = VARIANT_GAME3;
             g.score = -1;
         }},
        // A removal under way would credit points past the 32-bit limit, a Game 1 turn take one below it.
        {"score at the top",
         [](GameState& g) {
             g.score = INT32_MAX - 3;
             g.lineBusy = 1;
             g.stepTimer[2] = 4;
             g.marked[11] = 1;
         }},
        {"score at the bottom",
         [](GameState& g) {
             g.variant = VARIANT_GAME1;
             g.score = INT32_MIN;
         }},
    };
    startShell();
    for (const auto& [name, breakIt] : rules) {
        GameState g = idleGame2();
        breakIt(g);
        gGame.score = 4321;
        EXPECT_FALSE(load(recordBytes(g))) << name;
        EXPECT_EQ(4321, gGame.score) << name << ": a refused file changes nothing";
    }
    // The wrong size, longer or shorter (an empty file among them), is refused too.
    for (size_t n : {size_t(0), size_t(1047), size_t(1049)}) {
        std::string bytes = recordBytes(idleGame2());
        bytes.resize(n);
        EXPECT_FALSE(load(bytes)) << n;
    }
    EXPECT_NE(std::string::npos, logText().find("Game file refused"));
    EXPECT_NE(std::string::npos, logText().find("KORVA.Game2"));

    // What the game itself writes passes: an over game out of time, a turn or a removal under way.
    GameState over = idleGame2();
    over.timeLeft = -0.05f;
    over.gameOver = GAME_OVER;
    EXPECT_TRUE(load(recordBytes(over)));
    GameState turning = idleGame2();
    turning.rotating = 1;
    turning.stepTimer[4] = 5;
    EXPECT_TRUE(load(recordBytes(turning)));
    GameState removing = idleGame2();
    removing.lineBusy = 1;
    removing.stepTimer[2] = 4;
    removing.marked[11] = 1;
    removing.score = 1000000000;
    EXPECT_TRUE(load(recordBytes(removing)));
    EXPECT_EQ(1, gGame.marked[11]);
}

TEST_F(GameFiles, SettingsAndFlagsOutOfRangeAreRepaired) {
    startShell();
    GameState g = idleGame2();
    g.volume = NAN;
    g.brightness = 7.0f;
    g.rotationDirection = 5;
    g.soundOn = 9;
    g.paused = 200;
    g.marked[4] = 3;  // no removal under way: the marks are stale
    ASSERT_TRUE(load(recordBytes(g)));
    EXPECT_FLOAT_EQ(1.0f, gGame.volume);
    EXPECT_FLOAT_EQ(1.0f, gGame.brightness);
    EXPECT_EQ(0, gGame.rotationDirection);
    EXPECT_EQ(1, gGame.soundOn);
    EXPECT_EQ(1, gGame.paused);
    EXPECT_EQ(0, gGame.marked[4]);
    g.brightness = -INFINITY;
    g.volume = -2.0f;
    ASSERT_TRUE(load(recordBytes(g)));
    EXPECT_FLOAT_EQ(0.5f, gGame.brightness);
    EXPECT_FLOAT_EQ(0.0f, gGame.volume);
    // The turning block's path follows the loaded direction.
    EXPECT_EQ(-4, rotAnim()->dx[0][0]);
}
