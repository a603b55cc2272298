// The screens around the game: units of the sliders, the settings bytes, the scores table and the keyboard,
// then whole runs from a cold start through the intro, the menu and its buttons, the options, the help, the
// name entry and the credits. The menu's first poll reads script lines of frame 82 (after 82 intro frames and
// the loading picture), so menu frame k reads those of frame 82 + k.
#include <cmath>
#include <array>
#include <map>

#include "brask/image.h"
#include "brask/random.h"
#include "rules/board.h"
#include "shell_fixture.h"

namespace {

std::string le32(uint32_t v) {
    return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
}
std::string f32(float f) {
    uint32_t v;
    memcpy(&v, &f, 4);
    return le32(v);
}
std::string tapLine(int32_t frame, int32_t x, int32_t y) {
    return std::to_string(frame) + " tap " + std::to_string(x) + " " + std::to_string(y) + "\n";
}

}  // namespace

TEST(Sliders, ValuesAndKnobsAlongTheTrack) {
    gGame.stylusHeld = 1;
    gGame.dragY = 183;
    for (auto [x, v] : std::map<int32_t, float>{{49, 0.0f},
                                                {115, 66 / 139.0f},
                                                {118, 69 / 139.0f},
                                                {122, 73 / 139.0f},
                                                {123, 74 / 139.0f},
                                                {188, 1.0f}}) {
        gGame.dragX = x;
        EXPECT_FLOAT_EQ(v, sliderValueAt(49, 178, 188, 189)) << x;
        EXPECT_EQ(int32_t(108 * v + 49), sliderKnobX(49, 188, v)) << x;
    }
    gGame.dragX = 48;
    EXPECT_EQ(-1.0f, sliderValueAt(49, 178, 188, 189));
    gGame.dragX = 100;
    gGame.stylusHeld = 0;
    EXPECT_EQ(-1.0f, sliderValueAt(49, 178, 188, 189));
}

TEST(Keyboard, KeysByRowWithStrictEdgesAndDeadKeys) {
    gGame.tap = 1;
    auto at = [](int32_t x, int32_t y) {
        gGame.tapX = x;
        gGame.tapY = y;
        return kbdHitKey(29, 270);
    };
    EXPECT_EQ(u'1', at(34, 275));
    EXPECT_EQ(u'-', at(206, 275));
    EXPECT_EQ(u'A', at(40, 295));
    EXPECT_EQ(u'B', at(110, 305));
    EXPECT_EQ(u'P', at(200, 282));
    for (auto [x, y] : {std::pair{33, 275}, {40, 270}, {207, 275}, {186, 305}, {201, 285}})
        EXPECT_EQ(0, at(x, y)) << x << "," << y;
    at(34, 275);
    gGame.tap = 0;
    EXPECT_EQ(0, kbdHitKey(29, 270));  // no tap this update
}

class ScoresTable : public ShellTest {};

TEST_F(ScoresTable, RankAndInsertKeepTenBestWithTiesAbove) {
    hofReset();
    EXPECT_EQ(22, gHallOfFame.table[1][0].score);
    EXPECT_EQ(9, hofRank(1, 14));
    EXPECT_EQ(0, hofRank(1, 13));
    EXPECT_EQ(0, hofRank(1, 0));
    EXPECT_EQ(1, hofRank(1, 22));
    hofInsert(1, 14, 1, u"");
    EXPECT_EQ(1, hofSave());
    const std::string bytes = readFile(folders.prog + "/KORVA.Score");
    ASSERT_EQ(3240u, bytes.size());
    EXPECT_EQ(std::string("\x0E\0\0\0\x01\0\0\0\0\0", 10), bytes.substr(1944, 10));
    EXPECT_EQ(le32(14), bytes.substr(1080 + 9 * 108, 4));  // the old ninth moved down, the tenth dropped
    hofInsert(1, 22, 1, u"ZED");
    EXPECT_EQ(22, gHallOfFame.table[1][0].score);
    EXPECT_EQ(std::u16string(u"ZED"), gHallOfFame.table[1][0].name);
    EXPECT_EQ(std::u16string(u"BRASK"), gHallOfFame.table[1][1].name);

    // Names without their terminator end at ten characters when read back.
    std::string hostile(3240, 'A');
    writeFile(folders.prog + "/KORVA.Score", hostile);
    EXPECT_EQ(1, hofLoad());
    EXPECT_EQ(10u, std::u16string(gHallOfFame.table[2][9].name).size());
}

TEST_F(ScoresTable, SettingsBytesBothWaysWithRepairs) {
    gGame.volume = 1.0f, gGame.brightness = 0.5f, gGame.rotationDirection = 1, gGame.soundOn = 1;
    ASSERT_EQ(1, setupSave());
    EXPECT_EQ(std::string("\x00\x00\x80\x3F\x00\x00\x00\x3F\x01\x00\x00\x00\x01\x00\x00\x00", 16),
              readFile(folders.prog + "/KORVA.Setup"));
    writeFile(folders.prog + "/KORVA.Setup", f32(0.25f) + f32(0.75f) + le32(0) + std::string("\0\0\0\0", 4));
    ASSERT_EQ(1, setupLoad());
    EXPECT_EQ(0.25f, gGame.volume);
    EXPECT_EQ(0.75f, gGame.brightness);
    EXPECT_EQ(0, gGame.rotationDirection);
    EXPECT_EQ(0, gGame.soundOn);
    writeFile(folders.prog + "/KORVA.Setup", f32(NAN) + f32(1e30f) + le32(5) + std::string("\x07\0\0\0", 4));
    ASSERT_EQ(1, setupLoad());
    EXPECT_EQ(1.0f, gGame.volume);
    EXPECT_EQ(1.0f, gGame.brightness);
    EXPECT_EQ(0, gGame.rotationDirection);
    EXPECT_EQ(1, gGame.soundOn);
    std::filesystem::remove(folders.prog + "/KORVA.Setup");
    EXPECT_EQ(0, setupLoad());
    EXPECT_EQ(0.5f, gGame.brightness);

    // A cut-off file gives the defaults, not zeros for what is missing; 16 bytes are enough.
    const std::string quiet = f32(0.25f) + f32(0.75f) + le32(0) + std::string("\0\0\0\0", 4);
    for (size_t n = 0; n < 16; n++) {
        gGame.volume = gGame.brightness = 0.0f, gGame.rotationDirection = 0, gGame.soundOn = 0;
        writeFile(folders.prog + "/KORVA.Setup", quiet.substr(0, n));
        EXPECT_EQ(0, setupLoad()) << n;
        EXPECT_EQ(1.0f, gGame.volume) << n;
        EXPECT_EQ(0.5f, gGame.brightness) << n;
        EXPECT_EQ(1, gGame.rotationDirection) << n;
        EXPECT_EQ(1, gGame.soundOn) << n;
    }
    writeFile(folders.prog + "/KORVA.Setup", quiet.substr(0, 4) + f32(NAN) + quiet.substr(8));
    EXPECT_EQ(1, setupLoad());
    EXPECT_EQ(0.5f, gGame.brightness);
    EXPECT_EQ(0.25f, gGame.volume);
}

// ---- Whole runs from a cold start ----

// The name of entry j of a variant in a scores file's bytes.
static std::u16string entryName(const std::string& scores, int32_t variant, int32_t j) {
    std::u16string n;
    for (size_t at = size_t(1080 * variant + 108 * j + 8); scores[at] || scores[at + 1]; at += 2)
        n += char16_t(uint8_t(scores[at]) | uint8_t(scores[at + 1]) << 8);
    return n;
}

class ShellScreens : public ShellProgram {
   protected:
    std::map<uint32_t, std::pair<int32_t, int32_t>> buttons;  // map value -> the centre of its area
    GameState ended{};                                        // gGame as the run left it
    int32_t heard[SOUND_SLOTS] = {};                          // sounds the run started, per slot

    void SetUp() override {
        ShellProgram::SetUp();
        startShell();
        const Surface* map = image(IMG_MENU_MAP);
        ASSERT_TRUE(map);
        std::map<uint32_t, std::array<int32_t, 4>> box;
        for (int32_t y = 0; y < map->height; y++)
            for (int32_t x = 0; x < map->width; x++) {
                const uint32_t v = sfGetPixel(map, x, y);
                auto it = box.try_emplace(v, std::array<int32_t, 4>{x, y, x, y}).first;
                it->second = {std::min(it->second[0], x), std::min(it->second[1], y),
                              std::max(it->second[2], x), std::max(it->second[3], y)};
            }
        for (auto& [v, b] : box) buttons[v] = {(b[0] + b[2]) / 2, (b[1] + b[3]) / 2};
    }
    // A tap on the menu's button of this map value, read by the poll of menu frame k.
    std::string menuTap(int32_t k, uint32_t value) {
        return tapLine(82 + k, buttons[value].first, buttons[value].second);
    }
    int cold(const std::string& script) {
        shellShutDown();
        started = false;
        launch = AppLaunchOptions{};
        const int rc = run(script.c_str());
        ended = gGame;
        memcpy(heard, gShell.played, sizeof heard);
        startShell();
        return rc;
    }
    static Surface* raw(const char16_t* name) { return sfLoadTGA(name, pf565, nullptr); }
};

TEST_F(ShellScreens, AColdStartPlaysTheIntroShowsTheMenuAndLeavesThroughTheCredits) {
    shootAt({0, 40, 81, 82, 83, 91});
    // Taps during the intro change nothing; exit at menu frame 8; the credits until a tap.
    EXPECT_EQ(0, cold("5 tap 120 160\n" + menuTap(8, 0x9180) + tapLine(100, 10, 10)));
    Surface* intro0 = raw(u"gamedata/intro_00.tga");
    Surface* intro4 = raw(u"gamedata/intro_04.tga");
    Surface* intro8 = raw(u"gamedata/intro_08.tga");
    EXPECT_TRUE(frameShows(frame(0), intro0, 47, 91));
    EXPECT_TRUE(frameShows(frame(40), intro4, 47, 91));
    EXPECT_TRUE(frameShows(frame(81), intro8, 47, 91));
    EXPECT_FALSE(frameShows(frame(82), image(IMG_MENU), 0, 0));
    EXPECT_TRUE(frameShows(frame(83), image(IMG_MENU), 0, 0));  // no QUICK LOAD written over it
    EXPECT_TRUE(frameShows(frame(91), image(IMG_CREDITS), 0, 0));
    for (Surface* s : {intro0, intro4, intro8}) sfFree(s);
    EXPECT_EQ(std::string("\x00\x00\x80\x3F\x00\x00\x00\x3F\x01\x00\x00\x00\x01\x00\x00\x00", 16),
              file("KORVA.Setup"));
    EXPECT_GE(headlessFrame(), 100);
}

TEST_F(ShellScreens, NewGameButtonsStartTheirVariantAfterTheStartAnimation) {
    const uint32_t values[3] = {0x3000, 0x6000, 0x9000};
    for (int32_t v = 0; v < 3; v++) {
        std::filesystem::remove(folders.prog + "/KORVA.Quick");
        shots.clear();
        if (v == 1) shootAt({91, 92, 95, 100});
        EXPECT_EQ(0, cold(menuTap(8, values[v]) + tapLine(110, 59, 310)));
        const std::string q = file("KORVA.Quick");
        ASSERT_EQ(1048u, q.size()) << v;
        EXPECT_EQ(le32(uint32_t(v)), q.substr(908, 4)) << v;
        EXPECT_EQ(1, heard[SND_START_GAME]) << v;
        EXPECT_EQ(0, heard[SND_CLICK] - 1) << v;  // the quick save's click only
    }
    // Game 2's animation: Blue_00, 01, 01, 01, 02, 03, 04 ... over the menu, from the first frame after the
    // tap.
    EXPECT_TRUE(frameShows(frame(91), image(IMG_START_BLUE), 72, 70));
    EXPECT_TRUE(frameShows(frame(92), image(IMG_START_BLUE + 1), 72, 70));
    EXPECT_TRUE(frameShows(frame(95), image(IMG_START_BLUE + 2), 72, 70));
    EXPECT_TRUE(frameShows(frame(100), image(IMG_START_BLUE + 4), 72, 70));
}

TEST_F(ShellScreens, LoadButtonsAndQuickLoadTakeTheirFilesOrStayInTheMenu) {
    const uint32_t values[3] = {0xC000, 0xF800, 0x0180};
    for (int32_t v = 0; v < 3; v++) {
        GameState g = idleGame2();
        g.variant = v;
        g.score = 40 + v;
        const std::string name = "KORVA.Game" + std::to_string(v + 1);
        writeFile(folders.prog + "/" + name, recordBytes(g));
        std::filesystem::remove(folders.prog + "/KORVA.Quick");
        EXPECT_EQ(0, cold(menuTap(8, values[v]) + tapLine(110, 59, 310)));
        const std::string q = file("KORVA.Quick");
        ASSERT_EQ(1048u, q.size()) << v;
        EXPECT_EQ(le32(uint32_t(40 + v)), q.substr(900, 4)) << v;
        std::filesystem::remove(folders.prog + "/" + name);
        // Missing: the menu stays, and exit still works.
        std::filesystem::remove(folders.prog + "/KORVA.Quick");
        EXPECT_EQ(0, cold(menuTap(8, values[v]) + menuTap(12, 0x9180) + tapLine(120, 10, 10)));
        EXPECT_FALSE(fileExists(folders.prog + "/KORVA.Quick")) << v;
        EXPECT_EQ(0, heard[SND_START_GAME]) << v;
    }
    // QUICK LOAD is offered (drawn) with a quick save, and loads it without a click.
    GameState g = idleGame2();
    g.score = 77;
    writeFile(folders.prog + "/KORVA.Quick", recordBytes(g));
    shootAt({84});
    EXPECT_EQ(0, cold(tapLine(90, 150, 117) + tapLine(110, 59, 310)));
    EXPECT_FALSE(frameShows(frame(84), image(IMG_MENU), 0, 0));
    EXPECT_EQ(le32(77), file("KORVA.Quick").substr(900, 4));
    EXPECT_EQ(1, heard[SND_CLICK]);  // the quick save's click only
}

TEST_F(ShellScreens, OptionsAnimateTheDirectionSnapBrightnessAndReloadThePictures) {
    for (int32_t i = 90; i <= 112; i++) shots.push_back(i);
    // Options at menu frame 8; the held-stylus wait ends with the lift; (80, 90) selects anticlockwise, a
    // second tap there nothing; brightness at 49 (0.0); volume at 120; leave; exit; credits.
    const std::string script = menuTap(8, 0x3180) + tapLine(92, 80, 90) + tapLine(102, 80, 90) +
                               tapLine(106, 49, 183) + tapLine(110, 120, 227) + tapLine(114, 100, 270) +
                               menuTap(40, 0x9180) + tapLine(130, 10, 10);
    shots.push_back(120);
    EXPECT_EQ(0, cold(script));
    EXPECT_EQ(1, heard[SND_DIRECTION]);
    // Five frames: the new button from ROTATION_04 down to _00, the other from _00 up, then at rest.
    auto buttonsShow = [&](int32_t f, int32_t slot0, int32_t slot1) {
        return frameShows(frame(f), image(slot0), 60, 71) && frameShows(frame(f), image(slot1), 142, 71);
    };
    // (The first step looks like the screen at rest, whose selected square is ROTATION_00.)
    int32_t second = 91;
    while (second < 108 && !buttonsShow(second, IMG_OPTIONS + 4, IMG_OPTIONS + 2)) second++;
    ASSERT_LT(second, 108);
    for (int32_t a = 5; a >= 1; a--)
        EXPECT_TRUE(buttonsShow(second + 4 - a, IMG_OPTIONS + a, IMG_OPTIONS + 6 - a)) << a;
    EXPECT_TRUE(frameShows(frame(second + 4), image(IMG_ROTATION + 4), 142, 71));
    EXPECT_FALSE(frameShows(frame(second + 4), image(IMG_ROTATION + 4), 60, 71));
    const std::string setup = file("KORVA.Setup");
    ASSERT_EQ(16u, setup.size());
    EXPECT_EQ(f32(71 / 139.0f), setup.substr(0, 4));
    EXPECT_EQ(f32(0.0f), setup.substr(4, 4));
    EXPECT_EQ(le32(0), setup.substr(8, 4));
    // The menu after leaving is drawn at half brightness.
    Surface* menu = raw(u"gamedata/MainMenu.tga");
    ASSERT_TRUE(menu);
    const std::vector<uint32_t> f = frame(120);
    ASSERT_FALSE(f.empty());
    int32_t wrong = 0;
    for (int32_t y = 0; y < 320; y += 7)
        for (int32_t x = 0; x < 240; x += 5)
            wrong += f[size_t(y) * 240 + x] != colourScale565(sfGetPixel(menu, x, y), 128);
    EXPECT_EQ(0, wrong);
    sfFree(menu);
}

TEST_F(ShellScreens, BrightnessSnapsToTheMiddleAndTheHelpTurnsTheBoardsBlock) {
    // 118 on the brightness track is exactly 0.5, and so the pictures stay as they are.
    EXPECT_EQ(0, cold(menuTap(8, 0x3180) + tapLine(95, 118, 183) + tapLine(99, 100, 270) +
                      menuTap(30, 0x9180) + tapLine(125, 10, 10)));
    EXPECT_EQ(f32(0.5f), file("KORVA.Setup").substr(4, 4));

    // Help: one click for the button, one per page, two for the last; the second page shown long enough for
    // exactly one turn of the example, anticlockwise as the settings say.
    writeFile(folders.prog + "/KORVA.Setup", f32(1.0f) + f32(0.5f) + le32(0) + std::string("\x01\0\0\0", 4));
    const std::string script = menuTap(8, 0x6180) + tapLine(95, 10, 10) + tapLine(115, 10, 10) +
                               tapLine(120, 10, 10) + tapLine(125, 10, 10) + tapLine(130, 10, 10) +
                               menuTap(60, 0x9180) + tapLine(150, 10, 10);
    EXPECT_EQ(0, cold(script));
    EXPECT_EQ(1 + 6 + 1 + 1, heard[SND_CLICK]);  // with the exit button and the credits
    rndSeed(7);
    boardFill();
    EXPECT_NE(0, memcmp(gGame.board, ended.board, sizeof gGame.board));
    boardRotateAnticlockwise(6, 8);
    EXPECT_EQ(0, memcmp(gGame.board, ended.board, sizeof gGame.board));
}

// A finished Game 2 of the given score loaded through LOAD 2: its game-over picture waits for a tap, then
// the name entry (when the score ranks) with the taps given from frame 110 on, 5 frames apart, then START
// closes the table, exit and a tap on the credits end the program. The scores file it leaves.
class HallOfFameSession : public ShellScreens {
   protected:
    std::string session(int32_t score, const std::vector<std::pair<int32_t, int32_t>>& entry) {
        GameState g = idleGame2();
        g.score = score;
        g.gameOver = GAME_OVER;
        g.timeLeft = -0.05f;
        g.volume = 0.8f;
        writeFile(folders.prog + "/KORVA.Game2", recordBytes(g));
        std::filesystem::remove(folders.prog + "/KORVA.Score");  // every session starts from the defaults
        std::string script = menuTap(8, 0xF800) + tapLine(105, 10, 10);
        int32_t f = 110;
        for (auto [x, y] : entry) script += tapLine(f += 5, x, y);
        script += std::to_string(f + 10) + " key 13\n" +
                  tapLine(f + 20, buttons[0x9180].first, buttons[0x9180].second) + tapLine(f + 30, 10, 10);
        EXPECT_EQ(0, cold(script));
        return file("KORVA.Score");
    }
};

TEST_F(HallOfFameSession, TheNameTypedEntersTheTableAtItsRank) {
    const std::pair<int32_t, int32_t> A = {40, 295}, B = {110, 305}, done = {210, 285}, del = {220, 275},
                                      cancel = {20, 273}, P = {200, 282};
    std::string scores = session(30, {A, B, done});
    ASSERT_EQ(3240u, scores.size());
    EXPECT_EQ(le32(30) + le32(1), scores.substr(1080, 8));
    EXPECT_EQ(u"AB", entryName(scores, 1, 0));
    EXPECT_EQ(u"BRASK", entryName(scores, 1, 1));
    EXPECT_EQ(le32(22), scores.substr(1080 + 108, 4));

    // Eleven characters keep ten, but the eleventh still clicks; done does not click.
    std::vector<std::pair<int32_t, int32_t>> eleven(11, A);
    eleven.push_back(done);
    const int32_t clicksBefore = 1 + 1 + 1 + 1;  // load button, closing the table, exit, credits
    EXPECT_EQ(u"AAAAAAAAAA", entryName(session(30, eleven), 1, 0));
    EXPECT_EQ(clicksBefore + 11, heard[SND_CLICK]);

    EXPECT_EQ(u"A", entryName(session(30, {A, B, del, done}), 1, 0));
    EXPECT_EQ(u"", entryName(session(30, {done}), 1, 0));
    EXPECT_EQ(u"P", entryName(session(30, {P}), 1, 0));
    scores = session(30, {A, cancel});
    EXPECT_EQ(le32(22), scores.substr(1080, 4));
    EXPECT_EQ(u"BRASK", entryName(scores, 1, 0));

    // Scores that do not rank show the table only: nothing typed, nothing entered.
    for (int32_t low : {13, 0}) {
        scores = session(low, {A});
        EXPECT_EQ(le32(22), scores.substr(1080, 4)) << low;
        EXPECT_EQ(le32(13), scores.substr(1080 + 9 * 108, 4)) << low;
        EXPECT_EQ(clicksBefore, heard[SND_CLICK]) << low;
    }
}

TEST_F(ShellScreens, ACloseRequestOnEveryScreenEndsTheProgramWithinTwoFramesKeepingWhatWasDone) {
    const auto [ox, oy] = buttons[0x3180];
    struct Case {
        const char* screen;
        std::string script;
        int32_t close;
        const char16_t* entered;  // the name the scores file must hold at the top of Game 2, or null
    };
    GameState over = idleGame2();
    over.gameOver = GAME_OVER;
    over.timeLeft = -0.05f;
    over.score = 30;
    writeFile(folders.prog + "/KORVA.Game2", recordBytes(over));
    const std::string toEntry = menuTap(8, 0xF800) + tapLine(105, 10, 10);
    const Case cases[] = {
        {"intro", "40 close\n", 40, nullptr},
        {"loading", "82 close\n", 82, nullptr},
        {"menu", "90 close\n", 90, nullptr},
        {"start animation", menuTap(8, 0x6000) + "93 close\n", 93, nullptr},
        {"options, stylus held", "90 down " + std::to_string(ox) + " " + std::to_string(oy) + "\n95 close\n",
         95, nullptr},
        {"options", menuTap(8, 0x3180) + "100 close\n", 100, nullptr},
        {"help", menuTap(8, 0x6180) + "100 close\n", 100, nullptr},
        {"name entry", toEntry + tapLine(110, 40, 295) + "115 close\n", 115, u"A"},
        {"table", toEntry + tapLine(110, 210, 285) + "120 close\n", 120, u""},
        {"credits", menuTap(8, 0x9180) + "100 close\n", 100, nullptr},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(folders.prog + "/KORVA.Setup");
        std::filesystem::remove(folders.prog + "/KORVA.Score");
        EXPECT_EQ(0, cold(c.script)) << c.screen;
        EXPECT_LE(headlessFrame(), c.close + 2) << c.screen;
        EXPECT_GE(headlessFrame(), c.close) << c.screen;
        EXPECT_EQ(16u, file("KORVA.Setup").size()) << c.screen;
        EXPECT_FALSE(fileExists(folders.prog + "/KORVA.Quick")) << c.screen;  // no game was in progress
        const std::string scores = file("KORVA.Score");
        if (!c.entered) {
            EXPECT_TRUE(scores.empty()) << c.screen;
            continue;
        }
        ASSERT_EQ(3240u, scores.size()) << c.screen;
        EXPECT_EQ(le32(30), scores.substr(1080, 4)) << c.screen;
        EXPECT_EQ(c.entered, entryName(scores, 1, 0)) << c.screen;
    }
}

TEST_F(ShellScreens, WithoutTheLoadingPictureTheFramesKeepTheirNumbers) {
    writeFile(folders.prog + "/gamedata/Loading.tga", "");  // shadows the packed picture
    shootAt({83});
    EXPECT_EQ(0, cold(menuTap(8, 0x9180) + tapLine(100, 10, 10)));
    EXPECT_TRUE(frameShows(frame(83), image(IMG_MENU), 0, 0));
    EXPECT_EQ(16u, file("KORVA.Setup").size());
}

// Every screen in one sitting, as a player meets them, over three starts: options, help, each variant to its
// end, a name entered, the exit through the credits; a quick save; QUICK LOAD, the dialog's save and a close.
// CTest runs it under valgrind as well, where any error or leak fails it.
TEST_F(ShellScreens, AFullSessionVisitsEveryScreenAndEndsClean) {
    GameState one = idleGame2();
    one.variant = VARIANT_GAME1;
    for (int32_t c = 0; c < BOARD_SIZE; c++)
        for (int32_t r = 0; r < BOARD_SIZE; r++) one.board[boardIndex(c, r)] = 1 + (c + 2 * r) % 5;
    GameState three = one;
    three.variant = VARIANT_GAME3;
    three.score = 1;
    GameState over = idleGame2();
    over.gameOver = GAME_OVER;
    over.timeLeft = -0.05f;
    over.score = 30;
    writeFile(folders.prog + "/KORVA.Game1", recordBytes(one));
    writeFile(folders.prog + "/KORVA.Game2", recordBytes(over));
    writeFile(folders.prog + "/KORVA.Game3", recordBytes(three));
    const auto menuAt = [this](int32_t frame, uint32_t value) { return menuTap(frame - 82, value); };
    std::string script = menuAt(90, 0x3180) + tapLine(100, 80, 90) + tapLine(114, 100, 270);  // options
    script += menuAt(122, 0x6180);                                                            // help
    for (int32_t f : {130, 140, 150, 160, 170}) script += tapLine(f, 10, 10);
    // Game 1: two turns without a line spend both charges; the game-over tap, then the table's.
    script += menuAt(190, 0xC000) + tapLine(205, 45, 45) + tapLine(225, 45, 45) + tapLine(270, 10, 10) +
              tapLine(280, 10, 10);
    // Game 3: its last unit goes in one turn.
    script += menuAt(290, 0x0180) + tapLine(305, 45, 45) + tapLine(330, 10, 10) + tapLine(340, 10, 10);
    // A finished Game 2 of 30 loaded: "AB" entered, the table closed.
    script += menuAt(350, 0xF800) + tapLine(370, 10, 10) + tapLine(380, 40, 295) + tapLine(385, 110, 305) +
              tapLine(390, 210, 285) + tapLine(400, 10, 10);
    // A new Game 2 left alone until its clock runs out; then the exit and the credits.
    script += menuAt(410, 0x6000) + tapLine(1440, 10, 10) + tapLine(1450, 10, 10) + menuAt(1460, 0x9180) +
              tapLine(1480, 10, 10);
    EXPECT_EQ(0, cold(script));
    EXPECT_GE(headlessFrame(), 1480);
    EXPECT_LT(headlessFrame(), 1500);
    const std::string scores = file("KORVA.Score");
    ASSERT_EQ(3240u, scores.size());
    EXPECT_EQ(u"AB", entryName(scores, 1, 0));
    EXPECT_EQ(le32(30), scores.substr(1080, 4));
    EXPECT_EQ(16u, file("KORVA.Setup").size());
    EXPECT_FALSE(fileExists(folders.prog + "/KORVA.Quick"));

    // A new Game 1, quick-saved; back through QUICK LOAD, saved from the dialog, then the window closed.
    EXPECT_EQ(0, cold(menuAt(90, 0x3000) + tapLine(110, 59, 310)));
    ASSERT_EQ(1048u, file("KORVA.Quick").size());
    EXPECT_EQ(0, cold(tapLine(90, 150, 117) + tapLine(110, 180, 310) + tapLine(120, 100, 120) +
                      tapLine(130, 10, 10) + "150 close\n"));
    EXPECT_EQ(file("KORVA.Quick").substr(0, 400), file("KORVA.Game1").substr(0, 400));  // the same board
    EXPECT_LT(headlessFrame(), 153);
    EXPECT_EQ(std::string::npos, logText().find("Memory leaks")) << logText();
}
