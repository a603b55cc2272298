// The in-game update as the player meets it, update by update: a turn, a removal with its looks, the bonus
// banner, pauses, the clock key and the sound switch.
#include <vector>

#include "brask/sound.h"
#include "shell_fixture.h"

namespace {

// A board without lines: kinds in a pattern no row or column repeats four times.
void quietBoard() {
    for (int32_t c = 0; c < BOARD_SIZE; c++)
        for (int32_t r = 0; r < BOARD_SIZE; r++) gGame.board[boardIndex(c, r)] = 1 + (c + 2 * r) % 5;
}

int32_t& cell(int32_t c, int32_t r) {
    return gGame.board[boardIndex(c, r)];
}

}  // namespace

class ShellPlay : public ShellTest {
   protected:
    void SetUp() override {
        ShellTest::SetUp();
        startShell();
        gGame.variant = VARIANT_GAME2;
        gameNew();
        quietBoard();
    }
    // One update with the key pressed in it, released before the next.
    void pressKey(uint32_t vk) {
        post(PLAT_WM_KEYDOWN, vk);
        update();
        post(PLAT_WM_KEYUP, vk);
    }
    // One in-game frame's update, with a tap at (x, y) when x >= 0.
    int32_t update(int32_t x = -1, int32_t y = -1) {
        if (x >= 0)
            tapAt(x, y);
        else
            deliver();
        const int32_t result = gameUpdate();
        if (x >= 0) deliver();  // the release, so the next press is a new tap
        return result;
    }
};

TEST_F(ShellPlay, ATurnShowsSevenFramesThenTheBlockHasTurned) {
    cell(0, 0) = 1;  // TL
    cell(1, 0) = 2;  // TR
    cell(0, 1) = 3;  // BL
    cell(1, 1) = 4;  // BR
    const int32_t score = gGame.score;
    update(45, 45);
    ASSERT_EQ(1, gGame.rotating);
    EXPECT_EQ(0, gGame.rotCol);
    std::vector<int32_t> shown;
    while (gGame.rotating) {
        shown.push_back(gGame.stepTimer[TIMER_ROTATION] - 1);
        update(85, 85);  // taps during the turn are ignored and cost nothing
    }
    EXPECT_EQ((std::vector<int32_t>{6, 5, 4, 3, 2, 1, 0}), shown);
    EXPECT_EQ(3, cell(0, 0));
    EXPECT_EQ(1, cell(1, 0));
    EXPECT_EQ(2, cell(1, 1));
    EXPECT_EQ(4, cell(0, 1));
    EXPECT_EQ(score, gGame.score);  // Game 2: turns are free

    // Anticlockwise turns the other way; a tap between rotator squares hits nothing.
    gGame.rotationDirection = 0;
    cell(0, 0) = 1, cell(1, 0) = 2, cell(0, 1) = 3, cell(1, 1) = 4;
    update(46, 46);
    EXPECT_EQ(0, gGame.rotating);
    update(45, 45);
    while (gGame.rotating) update();
    EXPECT_EQ(2, cell(0, 0));
    EXPECT_EQ(4, cell(1, 0));
    EXPECT_EQ(3, cell(1, 1));
    EXPECT_EQ(1, cell(0, 1));
}

// Lines that stand on the board from the start are found by the check after the next turn; the block at
// (7, 7) is turned to trigger it, away from the lines.
TEST_F(ShellPlay, ARemovalShowsItsPhasesAndACrossPaysTheBonus) {
    for (int32_t i = 2; i <= 5; i++) cell(4, i) = cell(i, 3) = 5;  // 4 down and 4 across, sharing (4, 3)
    const int32_t score = gGame.score;
    update(180, 180);
    while (gGame.rotating) update();
    ASSERT_EQ(1, gGame.lineBusy);
    std::vector<std::pair<int32_t, int32_t>> looks;
    std::vector<int32_t> scores, banner;
    for (int frame = 0; frame < 30; frame++) {
        int16_t s;
        int32_t o;
        gameMarkedLook(&s, &o);
        looks.push_back({s, o});
        scores.push_back(gGame.score);
        if (gGame.bonusTimer > 0) banner.push_back(gGame.bonusTimer - 10);
        update();
    }
    const std::vector<std::pair<int32_t, int32_t>> want = {
        {179, -1}, {128, -1}, {102, -1}, {51, -1},  {26, 8},   {26, 9},  {26, 9},
        {26, 8},   {26, -1},  {102, -1}, {128, -1}, {179, -1}, {205, -1}};
    for (size_t i = 0; i < want.size(); i++) EXPECT_EQ(want[i], looks[i]) << i;
    // Seven cells at a point each and two line units at 20: credited once, at the refill.
    EXPECT_EQ(score + 40, scores[0]);
    EXPECT_EQ(score + 47, scores[8]);
    ASSERT_EQ(24u, banner.size());
    for (size_t i = 0; i < banner.size(); i++) EXPECT_EQ(182 - 8 * int32_t(i), banner[i]);
}

// The bar takes no taps during a removal (nor do the other buttons): the keys pause it.
TEST_F(ShellPlay, APauseFreezesARemovalAndItCreditsOnce) {
    for (int32_t c = 2; c <= 5; c++) cell(c, 8) = 1;  // a run of exactly 4
    const int32_t score = gGame.score;
    update(60, 60);
    while (gGame.rotating) update();
    ASSERT_EQ(1, gGame.lineBusy);
    while (gGame.stepTimer[TIMER_EMPTY] != 4) update();
    update(100, 290);
    EXPECT_EQ(0, gGame.paused);
    for (uint32_t vk : {PLAT_VK_Z, PLAT_VK_X}) {
        pressKey(vk);
        ASSERT_EQ(1, gGame.paused) << vk;
        const int32_t empty = gGame.stepTimer[TIMER_EMPTY];
        for (int i = 0; i < 5; i++) update();
        EXPECT_EQ(empty, gGame.stepTimer[TIMER_EMPTY]) << vk;
        pressKey(vk);
        ASSERT_EQ(0, gGame.paused) << vk;
        update();
    }
    while (gGame.stepTimer[TIMER_GROW] == 0) update();
    EXPECT_EQ(score + 4, gGame.score);
}

TEST_F(ShellPlay, TheClockKeyHoldsOnlyTheClock) {
    const float before = gGame.timeLeft;
    post(PLAT_WM_KEYDOWN, PLAT_VK_C);
    update();
    EXPECT_EQ(1, gGame.clockHeld);
    for (int i = 0; i < 5; i++) update();
    EXPECT_FLOAT_EQ(before, gGame.timeLeft);
    // Turns still run while the clock stands.
    update(45, 45);
    EXPECT_EQ(1, gGame.rotating);
    // Both pause keys pressed in one frame leave the game running.
    post(PLAT_WM_KEYDOWN, PLAT_VK_Z);
    post(PLAT_WM_KEYDOWN, PLAT_VK_X);
    update();
    EXPECT_EQ(0, gGame.paused);
}
