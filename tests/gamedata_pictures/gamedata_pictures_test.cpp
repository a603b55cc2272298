// The generated pictures as the game sees them: loaded by the engine's TGA reader in RGB 565, checked against
// the geometry the screens tap and draw on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "brask/gfx.h"
#include "brask/image.h"
#include "mkgamedata.h"
#include "support/test_support.h"

namespace {

struct Expect {
    std::string name;
    int w, h;
    bool keyed;
};
// Sizes the game's drawing positions were laid out for; "about" sizes are the ones this data chose.
std::vector<Expect> expectedPictures() {
    std::vector<Expect> all = {
        {"back", 240, 320, false},          {"rotator", 20, 20, true},     {"battery", 18, 10, true},
        {"gameover", 160, 48, false},       {"bonus", 100, 24, true},      {"mute", 24, 15, false},
        {"SliderVol", 32, 12, true},        {"PauseDown", 145, 14, false}, {"TimeSlide", 3, 8, true},
        {"QuitSaveResume", 100, 44, false}, {"MainMenu", 240, 320, false}, {"MainMenuMask", 240, 320, false},
        {"OptionsMenu", 240, 320, false},   {"HOF_KBD", 240, 320, false},  {"HOF", 240, 320, false},
        {"HELP", 240, 320, false},          {"CREDITS", 240, 320, false},  {"Stylus", 24, 34, true},
        {"Loading", 150, 40, true},         {"intro_big", 240, 320, false}};
    auto two = [](int i) { return std::string{char('0' + i / 10), char('0' + i % 10)}; };
    for (int i = 0; i < 5; i++) all.push_back({"element" + two(i), 20, 20, true});
    for (int i = 0; i < 3; i++) all.push_back({"blend" + two(i), 20, 20, true});
    for (int i = 1; i <= 3; i++) all.push_back({"Open_" + two(i), 202, 20, false});
    for (const char* series : {"Red_", "Blue_", "Green_"})
        for (int i = 0; i < 5; i++) all.push_back({series + two(i), 80, 30, false});
    for (int i = 0; i < 5; i++) all.push_back({"ROTATION_" + two(i), 40, 40, false});
    for (int i = 0; i < 9; i++) all.push_back({"intro_" + two(i), 146, 138, false});
    return all;
}

struct Pictures : ::testing::Test {
    TestFolders tf;
    std::vector<Surface*> loaded;
    void SetUp() override { ASSERT_EQ(60, mkPictures(tf.prog)); }
    void TearDown() override {
        for (Surface* s : loaded) sfFree(s);
        gfxSetClip(nullptr);
        gfxSetTarget(nullptr);
        gfxShutdownSurfacePool();
    }
    Surface* load(const std::string& name) {
        Surface* s = sfLoadTGA(u16("gamedata/" + name + ".tga").c_str(), pf565, nullptr);
        if (s) loaded.push_back(s);
        return s;
    }
};

uint32_t px(const Surface* s, int x, int y) {
    return sfGetPixel(s, x, y);
}
// Light enough for black lettering: every channel at least about 60 % up.
bool light(uint32_t v) {
    return (v >> 11) >= 19 && ((v >> 5) & 63) >= 38 && (v & 31) >= 19;
}
bool allLight(const Surface* s, int x0, int y0, int x1, int y1) {
    for (int y = y0; y <= y1; y++)
        for (int x = x0; x <= x1; x++)
            if (!light(px(s, x, y))) return false;
    return true;
}

// The name entry's hit test as the game does it: origin (29, 270), rows 10 high, keys 16 wide.
char kbdHit(int x, int y) {
    static const char* const rows[4] = {"1234567890-", "QWERTYUIOP", "ASDFGHJKL:_", "ZXCVBNM<>"};
    int dy = y - 270, row = dy / 10;
    int dx = x - 29 - ((row == 1 || row == 3) ? 12 : 4);
    if (!(dx > 0 && dy > 0 && dx < 174 && dy < 40)) return 0;
    size_t i = size_t(dx / 16);
    return i < strlen(rows[row]) ? rows[row][i] : 0;
}

TEST_F(Pictures, EveryPictureLoadsAtItsSizeAndKeyedOnesStayOpaqueOffWhite) {
    std::vector<Expect> all = expectedPictures();
    ASSERT_EQ(60u, all.size());
    for (const Expect& e : all) {
        SCOPED_TRACE(e.name);
        Surface* s = load(e.name);
        ASSERT_TRUE(s);
        EXPECT_EQ(e.w, s->width);
        EXPECT_EQ(e.h, s->height);
        if (!e.keyed) continue;
        int key = 0, opaque = 0, nearWhite = 0;
        for (int y = 0; y < s->height; y++)
            for (int x = 0; x < s->width; x++) {
                uint32_t v = px(s, x, y);
                if (v == 0xFFFF) {
                    key++;
                    continue;
                }
                opaque++;
                // Red and blue from 247 and green from 243 up would be taken for the key.
                if ((v >> 11) >= 30 && ((v >> 5) & 63) >= 60 && (v & 31) >= 30) nearWhite++;
            }
        EXPECT_GT(key, 0);
        EXPECT_GE(opaque, 8);
        EXPECT_EQ(0, nearWhite);
    }
    // The stylus is anchored at its bottom-left pixel, which must be its tip; the loading badge stays short.
    Surface* stylus = load("Stylus");
    EXPECT_NE(0xFFFFu, px(stylus, 0, stylus->height - 1));
    EXPECT_EQ(0xFFFFu, px(stylus, 0, 0));
    EXPECT_LE(stylus->height, 35);
}

TEST_F(Pictures, BoardPiecesTurnAndTellApart) {
    // A resting rotator and a turning one must look alike after every quarter turn.
    Surface* rot = load("rotator");
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++) ASSERT_EQ(px(rot, x, y), px(rot, 19 - y, x)) << x << "," << y;
    // The five kinds differ in outline (for colour-blind players) and in colour.
    Surface* el[5];
    for (int k = 0; k < 5; k++) el[k] = load("element0" + std::string(1, char('0' + k)));
    for (int a = 0; a < 5; a++)
        for (int b = a + 1; b < 5; b++) {
            int shapeDiff = 0, colourDiff = 0;
            for (int y = 0; y < 20; y++)
                for (int x = 0; x < 20; x++) {
                    uint32_t va = px(el[a], x, y), vb = px(el[b], x, y);
                    shapeDiff += (va == 0xFFFF) != (vb == 0xFFFF);
                    colourDiff += va != 0xFFFF && vb != 0xFFFF && va != vb;
                }
            EXPECT_GE(shapeDiff, 16) << a << " vs " << b;
            uint32_t ca = px(el[a], 10, 12), cb = px(el[b], 10, 12);
            int dr = int(ca >> 11) - int(cb >> 11), dg = int((ca >> 5) & 63) / 2 - int((cb >> 5) & 63) / 2,
                db = int(ca & 31) - int(cb & 31);
            EXPECT_GE(dr * dr + dg * dg + db * db, 64) << a << " vs " << b;
        }
}

TEST_F(Pictures, ButtonMapHoldsNineValuesWhereTheMenuShowsButtons) {
    Surface* map = load("MainMenuMask");
    Surface* menu = load("MainMenu");
    const uint32_t values[9] = {0x3000, 0x6000, 0x9000, 0xC000, 0xF800, 0x0180, 0x3180, 0x6180, 0x9180};
    struct Box {
        int x0 = 999, y0 = 999, x1 = -1, y1 = -1, n = 0;
    };
    std::map<uint32_t, Box> boxes;
    for (int y = 0; y < 320; y++)
        for (int x = 0; x < 240; x++) {
            uint32_t v = px(map, x, y);
            if (v == 0) continue;
            ASSERT_NE(std::end(values), std::find(std::begin(values), std::end(values), v)) << std::hex << v;
            Box& b = boxes[v];
            b.x0 = std::min(b.x0, x), b.y0 = std::min(b.y0, y), b.x1 = std::max(b.x1, x),
            b.y1 = std::max(b.y1, y);
            b.n++;
        }
    ASSERT_EQ(9u, boxes.size());
    for (uint32_t v : values) {
        const Box& b = boxes[v];
        SCOPED_TRACE(v);
        // Each area is one solid rectangle, and the menu draws a button's one-colour outline exactly around
        // it.
        EXPECT_EQ((b.x1 - b.x0 + 1) * (b.y1 - b.y0 + 1), b.n);
        uint32_t edge = px(menu, b.x0, b.y0);
        for (int x = b.x0; x <= b.x1; x++)
            EXPECT_TRUE(px(menu, x, b.y0) == edge && px(menu, x, b.y1) == edge);
        for (int y = b.y0; y <= b.y1; y++)
            EXPECT_TRUE(px(menu, b.x0, y) == edge && px(menu, b.x1, y) == edge);
    }
    // The new-game areas are the start animations' frames, whose first step is the menu itself.
    const char* series[3] = {"Red_", "Blue_", "Green_"};
    const int at[3][2] = {{149, 38}, {72, 70}, {42, 140}};
    for (int k = 0; k < 3; k++) {
        Surface* first = load(std::string(series[k]) + "00");
        Surface* lit = load(std::string(series[k]) + "04");
        const Box& b = boxes[values[k]];
        EXPECT_EQ(at[k][0], b.x0);
        EXPECT_EQ(at[k][1], b.y0);
        EXPECT_EQ(first->width, b.x1 - b.x0 + 1);
        EXPECT_EQ(first->height, b.y1 - b.y0 + 1);
        int same = 0, changed = 0;
        for (int y = 0; y < first->height; y++)
            for (int x = 0; x < first->width; x++) {
                same += px(first, x, y) == px(menu, at[k][0] + x, at[k][1] + y);
                changed += px(lit, x, y) != px(first, x, y);
            }
        EXPECT_EQ(first->width * first->height, same);
        EXPECT_GT(changed, first->width * first->height / 4);
    }
    // "QUICK LOAD" is written in black by the game over a light window the map leaves alone.
    EXPECT_TRUE(allLight(menu, 140, 113, 213, 122));
    for (int y = 113; y <= 122; y++)
        for (int x = 140; x <= 213; x++) ASSERT_EQ(0u, px(map, x, y));
}

TEST_F(Pictures, KeyboardCapsSitWhereTapsFindThem) {
    Surface* kbd = load("HOF_KBD");
    // Caps stand on one flat colour inside the keyboard's housing; each cap, lettering and bevel included, is
    // one region of other colours. Its corners and centre must all type the same key.
    const int X0 = 10, Y0 = 268, X1 = 230, Y1 = 311;
    const uint32_t gap = px(kbd, X0, Y0);
    std::vector<std::vector<int>> seen(320, std::vector<int>(240, 0));
    std::set<char> typed;
    int caps = 0, controls = 0;
    for (int y = Y0; y <= Y1; y++)
        for (int x = X0; x <= X1; x++) {
            if (seen[y][x] || px(kbd, x, y) == gap) continue;
            int x0 = x, y0 = y, x1 = x, y1 = y;
            std::vector<std::pair<int, int>> todo{{x, y}};
            seen[y][x] = 1;
            while (!todo.empty()) {
                auto [cx, cy] = todo.back();
                todo.pop_back();
                x0 = std::min(x0, cx), y0 = std::min(y0, cy), x1 = std::max(x1, cx), y1 = std::max(y1, cy);
                const int d[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
                for (auto& o : d) {
                    int nx = cx + o[0], ny = cy + o[1];
                    if (nx < X0 || ny < Y0 || nx > X1 || ny > Y1 || seen[ny][nx] || px(kbd, nx, ny) == gap)
                        continue;
                    seen[ny][nx] = 1;
                    todo.push_back({nx, ny});
                }
            }
            // Cancel 13,270-27,277, delete 209,270-230,279 and done 200,280-220,290 are not keys.
            auto inside = [&](int ax0, int ay0, int ax1, int ay1) {
                return x0 >= ax0 && y0 >= ay0 && x1 <= ax1 && y1 <= ay1;
            };
            if (inside(13, 270, 27, 277) || inside(209, 270, 230, 279) || inside(200, 280, 220, 290)) {
                controls++;
                continue;
            }
            char c = kbdHit((x0 + x1) / 2, (y0 + y1) / 2);
            EXPECT_NE(0, c) << "cap at " << x0 << "," << y0;
            EXPECT_EQ(c, kbdHit(x0, y0)) << "cap at " << x0 << "," << y0;
            EXPECT_EQ(c, kbdHit(x1, y1)) << "cap at " << x0 << "," << y0;
            typed.insert(c);
            caps++;
        }
    EXPECT_EQ(41, caps);
    EXPECT_EQ(41u, typed.size());
    EXPECT_EQ(3, controls);
}

TEST_F(Pictures, TextTheGameWritesLandsOnLightBackdrops) {
    Surface* back = load("back");
    EXPECT_TRUE(allLight(back, 36, 254, 106, 265));   // "SCORE : " and the number
    EXPECT_TRUE(allLight(back, 109, 253, 214, 266));  // clock, batteries, "FREE RIDE"
    for (const char* name : {"HOF_KBD", "HOF"}) {
        Surface* s = load(name);
        SCOPED_TRACE(name);
        EXPECT_TRUE(allLight(s, 30, 80, 200, 87));    // heading
        EXPECT_TRUE(allLight(s, 30, 100, 200, 189));  // ten lines, scores at x 160
    }
    EXPECT_TRUE(allLight(load("HOF_KBD"), 85, 238, 165, 246));  // the typed name
    // Help pages: 19 lines of 10 pixels from (30, 70), 180 wide; the rotation example turns around (160,
    // 200).
    Surface* help = load("HELP");
    EXPECT_TRUE(allLight(help, 30, 70, 209, 259));
    EXPECT_TRUE(allLight(help, 134, 150, 186, 226));
}

TEST_F(Pictures, OptionsShowTheSelectedLookInBothSquares) {
    Surface* options = load("OptionsMenu");
    Surface* selected = load("ROTATION_00");
    Surface* unselected = load("ROTATION_04");
    int differ = 0;
    for (int y = 0; y < 40; y++)
        for (int x = 0; x < 40; x++) {
            ASSERT_EQ(px(selected, x, y), px(options, 60 + x, 71 + y));
            ASSERT_EQ(px(selected, x, y), px(options, 142 + x, 71 + y));
            differ += px(selected, x, y) != px(unselected, x, y);
        }
    EXPECT_GT(differ, 200);
}

// A lit cell glows inside its glass (4..75 x 4..25): the bezel around it stays as at rest, so no glow
// spills over it and gets cut off by the picture's edge.
TEST_F(Pictures, StartAnimationGlowStaysInsideTheGlass) {
    for (const char* series : {"Red_", "Blue_", "Green_"}) {
        Surface* rest = load(std::string(series) + "00");
        for (int step = 1; step <= 4; step++) {
            Surface* lit = load(series + std::string("0") + char('0' + step));
            int spilled = 0, glowing = 0;
            for (int y = 0; y < 30; y++)
                for (int x = 0; x < 80; x++) {
                    const bool glass = x >= 4 && x <= 75 && y >= 4 && y <= 25;
                    const bool same = px(lit, x, y) == px(rest, x, y);
                    spilled += !glass && !same;
                    glowing += glass && !same;
                }
            EXPECT_EQ(0, spilled) << series << step;
            EXPECT_GT(glowing, 600) << series << step;
        }
    }
}

// The intro's opening (radius 16, 32, 48 in frames 1-3) is bounded by the blades' dark tips, so the blades
// are seen drawing back rather than a disc growing over blades that stand still.
TEST_F(Pictures, IntroIrisOpeningIsEdgedByTheBladeTips) {
    const int radius[3] = {16, 32, 48};
    for (int k = 0; k < 3; k++) {
        Surface* frame = load("intro_0" + std::string(1, char('1' + k)));
        int ring = 0, dark = 0;
        for (int y = 0; y < 138; y++)
            for (int x = 0; x < 146; x++) {
                const int dx = x - 73, dy = y - 69, d2 = dx * dx + dy * dy;
                const int r = radius[k];
                if (d2 < r * r || d2 >= (r + 2) * (r + 2)) continue;
                ring++;
                dark += (px(frame, x, y) >> 11) < 12;
            }
        EXPECT_GT(ring, 50) << k;
        EXPECT_GE(dark * 10, ring * 9) << "frame " << k + 1 << ": " << dark << " of " << ring;
    }
}

// The credits' lines sit in their light window with equal margins above the first and below the last.
TEST_F(Pictures, CreditsLinesAreCentredInTheirPanel) {
    Surface* credits = load("CREDITS");
    const int faceTop = 62, faceBottom = 271;  // the window's light face, inside its frame and highlight
    int first = -1, last = -1;
    for (int y = faceTop; y <= faceBottom; y++)
        for (int x = 24; x <= 215; x++)
            if ((px(credits, x, y) >> 11) < 21) {
                if (first < 0) first = y;
                last = y;
            }
    ASSERT_GT(first, 0);
    const int above = first - faceTop, below = faceBottom - last;
    EXPECT_GE(below, 4);
    EXPECT_LE(std::abs(above - below), 1) << above << " above, " << below << " below";
}

// J and I share a stem; only J's hook, left of the stem in the lowest rows of the lettering, tells them apart
// on the keyboard's small caps.
TEST_F(Pictures, KeyboardJHasTheHookThatTellsItFromI) {
    Surface* kbd = load("HOF_KBD");
    // Cap k of a row starts at 29 + (4 or 12) + 16 k + 1; J is the 7th of row 2, I the 8th of row 1.
    auto hook = [&](int x0, int y0) {
        int dark = 0;
        for (int y = y0 + 4; y <= y0 + 6; y++)
            for (int x = x0 + 2; x <= x0 + 5; x++) dark += (px(kbd, x, y) >> 11) < 12;
        return dark;
    };
    EXPECT_GE(hook(29 + 4 + 16 * 6 + 1, 291), 3);
    EXPECT_EQ(0, hook(29 + 12 + 16 * 7 + 1, 281));
}

// The subtitle under the title keeps at least three dark rows above the GAME 1 cell's top edge (y 38).
TEST_F(Pictures, MenuSubtitleStandsClearOfTheFirstCell) {
    Surface* menu = load("MainMenu");
    int lit = 0, subtitle = 0;
    for (int x = 60; x < 200; x++) {
        for (int y = 35; y <= 37; y++) lit += (px(menu, x, y) & 31) >= 12;
        for (int y = 26; y <= 34; y++) subtitle += (px(menu, x, y) & 31) >= 12;
    }
    EXPECT_EQ(0, lit);
    EXPECT_GT(subtitle, 100);  // it is still there
}

// The arrows beside the direction buttons turn the way their labels say: the head sits in the circle's gap at
// the bottom, where an anticlockwise turn moves right, so its tip (the shortest column) is right of its base.
TEST_F(Pictures, RotationArrowsTurnTheWayTheirLabelsSay) {
    Surface* options = load("OptionsMenu");
    const uint32_t head = ((0xFF >> 3) << 11) | ((0xE0 >> 2) << 5) | (0x90 >> 3);
    const int centres[2] = {34, 206};  // beside ANTICLOCKWISE, beside CLOCKWISE
    for (int k = 0; k < 2; k++) {
        int tallest = -1, tallestX = 0, shortest = 99, shortestX = 0;
        for (int x = centres[k] - 8; x <= centres[k] + 8; x++) {
            int n = 0;
            for (int y = 88; y <= 104; y++) n += px(options, x, y) == head;
            if (n == 0) continue;
            if (n > tallest) tallest = n, tallestX = x;
            if (n < shortest) shortest = n, shortestX = x;
        }
        ASSERT_GT(tallest, shortest) << k;
        EXPECT_EQ(k == 0, shortestX > tallestX) << "arrow " << k;
    }
}

}  // namespace
