// The in-game frame as drawn into the back buffer: which pictures stand where for a given game record.
#include "brask/font.h"
#include "brask/text.h"
#include "shell_fixture.h"

class ShellDraw : public ShellTest {
   protected:
    void SetUp() override {
        ShellTest::SetUp();
        startShell();
        gameNew();
    }
    uint32_t at(int32_t x, int32_t y) const { return sfGetPixel(gShell.back, x, y); }
    // True when every opaque pixel of the slot's picture, placed at (x, y) by its anchor, is in the frame.
    bool shows(int32_t slot, int32_t x, int32_t y) const {
        std::vector<uint32_t> pixels(size_t(SCREEN_WIDTH) * SCREEN_HEIGHT);
        for (int32_t j = 0; j < SCREEN_HEIGHT; j++)
            for (int32_t i = 0; i < SCREEN_WIDTH; i++)
                pixels[size_t(j) * SCREEN_WIDTH + size_t(i)] = at(i, j);
        return frameShows(pixels, image(slot), x, y);
    }
    // True when the frame equals the background picture over the rectangle.
    bool bare(int32_t x, int32_t y, int32_t w, int32_t h) const {
        for (int32_t j = y; j < y + h; j++)
            for (int32_t i = x; i < x + w; i++)
                if (at(i, j) != sfGetPixel(image(IMG_BACK), i, j)) return false;
        return true;
    }
};

TEST_F(ShellDraw, APausedGameHidesItsElementsButNotItsHud) {
    gameDraw();
    for (int32_t c = 0; c < BOARD_SIZE; c++)
        for (int32_t r = 0; r < BOARD_SIZE; r++)
            ASSERT_TRUE(shows(IMG_ELEMENT + gGame.board[boardIndex(c, r)] - 1, 30 + 20 * c, 30 + 20 * r));
    EXPECT_FALSE(shows(IMG_PAUSED, 46, 286));
    gGame.paused = 1;
    gameDraw();
    EXPECT_TRUE(bare(20, 20, 200, 200));
    EXPECT_TRUE(shows(IMG_PAUSED, 46, 286));
    EXPECT_TRUE(shows(IMG_KNOB, 157, 3));
}

TEST_F(ShellDraw, TheGaugeShowsChargesOrClockSegments) {
    gGame.variant = VARIANT_GAME1;
    for (int32_t charges = 0; charges <= 2; charges++) {
        gGame.accumulators = charges;
        gameDraw();
        for (int32_t i = 0; i < 2; i++)
            EXPECT_EQ(i < charges, shows(IMG_BATTERY, 160 + 20 * i, 259)) << charges;
    }
    gGame.variant = VARIANT_GAME2;
    const Surface* seg = image(IMG_CLOCK);
    ASSERT_TRUE(seg);
    for (auto [time, segments] : {std::pair{100.0f, 34}, {0.5f, 1}, {3.0f, 1}, {3.1f, 2}}) {
        gGame.timeLeft = time;
        gameDraw();
        int32_t drawn = 0;
        for (int32_t x = 111; x < 240 - seg->width; x += 3)
            if (shows(IMG_CLOCK, x, 255) && !bare(x, 255, seg->width, seg->height)) drawn++;
        EXPECT_EQ(segments, drawn) << time;
        EXPECT_TRUE(bare(111 + 3 * segments, 255, 3, seg->height)) << time;
    }
}

TEST_F(ShellDraw, TheScoreKeepsItsSignAndTheBannersTheirPlaces) {
    const Font* font = gameFont();
    ASSERT_TRUE(font->image);
    gGame.variant = VARIANT_GAME3;  // its gauge is text further right
    for (int32_t score : {-1, 1, 1234}) {
        gGame.score = score;
        gameDraw();
        char16_t text[32] = u"SCORE : ";
        wstrFromInt(text + 8, score, 10);
        const int32_t width = fntTextWidth(font, text);
        // Ink inside the text's own width from x 36, none right after it.
        EXPECT_FALSE(bare(36, 256, width, 8)) << score;
        EXPECT_TRUE(bare(36 + width, 256, 6, 8)) << score;
    }
    gGame.bonusTimer = 192;
    gGame.gameOver = GAME_OVER;
    gGame.soundOn = 0;
    gGame.panelOpen = 1;
    gGame.volume = 0.5f;
    gameDraw();
    EXPECT_TRUE(shows(IMG_BONUS, 120, 182));
    EXPECT_TRUE(shows(IMG_GAME_OVER, 120, 106));
    EXPECT_TRUE(shows(IMG_MUTE, 202, 1));
    EXPECT_TRUE(shows(IMG_KNOB, 127, 3));  // 63 x 0.5 + 96, truncated
}

TEST_F(ShellDraw, AMissingPictureLeavesItsPlaceUndrawn) {
    sfFree(gShell.images[IMG_BACK]);
    gShell.images[IMG_BACK] = nullptr;
    sfFree(gShell.images[IMG_ELEMENT + 2]);
    gShell.images[IMG_ELEMENT + 2] = nullptr;
    gShell.font.image = nullptr;
    gGame.rotating = 1;
    gGame.stepTimer[TIMER_ROTATION] = 4;
    gfxSetColour(0x1234);
    gfxFillRect(gShell.back, nullptr);
    gfxSetColour(0);
    gameDraw();
    EXPECT_EQ(0x1234u, at(5, 240));  // no background drawn, no element of kind 3, no text
}
