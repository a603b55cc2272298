// The application layer on the headless platform: one window however often it opens, the taskbar and the
// window's moves, format detection and the direct mode, failed starts that put things back, the quit flag
// that stays, the draw lock that ends only what began, and waits under the virtual clock.
#include <string>

#include "app_fixture.h"
#include "brask/gfx.h"

namespace {

const PlatRect kFull = {0, 0, 240, 320};

PlatRect windowRect(int32_t* moves = nullptr) {
    PlatRect r = {};
    const char* text = nullptr;
    uint32_t style = 0;
    int32_t m = 0, shown = 0;
    EXPECT_TRUE(headlessWindowInfo(appGetWindow(), &text, &style, &r, &m, &shown));
    if (moves) *moves = m;
    return r;
}

bool operator==(const PlatRect& a, const PlatRect& b) {
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

TEST_F(AppTest, OpeningTwiceMakesOneTitledPopupWindowAndStartsTheDisplayAfresh) {
    appSetTitle(u"A title that is longer than thirty characters");
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    const intptr_t first = appGetWindow();
    gfxSetOrientation(2);
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    EXPECT_EQ(appGetWindow(), first);
    EXPECT_EQ(headlessWindowCount(), 1);

    const char* text = nullptr;
    uint32_t style = 0;
    PlatRect r;
    int32_t moves = 0, shown = 0;
    ASSERT_TRUE(headlessWindowInfo(first, &text, &style, &r, &moves, &shown));
    EXPECT_EQ(std::string(text), "A title that is longer than th");
    EXPECT_EQ(style, 0x80000000u);
    EXPECT_TRUE(shown);
    // The second open forgot the turn: upright view, no offset, the display's own steps.
    EXPECT_EQ(gfxGetOrientation(), 0);
    EXPECT_EQ(gfxFrameBufferOffset(), 0);
    EXPECT_EQ(gfxScreen()->xStep, 2);
    EXPECT_EQ(gfxScreen()->rowPitch, 480);
    EXPECT_EQ(gfxScreen()->width, 240);
    appSetTitle(u"Renamed");
    ASSERT_TRUE(headlessWindowInfo(first, &text, &style, &r, &moves, &shown));
    EXPECT_EQ(std::string(text), "Renamed");
}

TEST_F(AppTest, HidingTheTaskbarStretchesTheWindowAndShowingPutsItBack) {
    headlessEnableTaskbar(1);
    headlessSetStartRect(0, 26, 240, 294);
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    EXPECT_TRUE(windowRect() == kFull);
    EXPECT_FALSE(headlessTaskbarVisible());
    EXPECT_EQ(headlessLastFullScreenFlags(), 0x2Au);
    appClose();
    // Back below the taskbar; the height comes back as the screen less the bottom gap (320 - 26).
    EXPECT_TRUE(windowRect() == (PlatRect{0, 26, 240, 26 + 294}));
    EXPECT_TRUE(headlessTaskbarVisible());
    EXPECT_EQ(headlessLastFullScreenFlags(), 0x15u);
}

TEST_F(AppTest, AWindowThatAlreadyFillsTheScreenIsNeverMoved) {
    headlessEnableTaskbar(1);
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    appClose();
    int32_t moves = -1;
    EXPECT_TRUE(windowRect(&moves) == kFull);
    EXPECT_EQ(moves, 0);
}

TEST_F(AppTest, ClosingWhatWasNeverOpenedTouchesNothing) {
    headlessEnableTaskbar(1);
    appClose();
    EXPECT_EQ(headlessLastFullScreenFlags(), 0u);
    EXPECT_TRUE(headlessTaskbarVisible());
}

TEST_F(AppTest, FailedStartsReportZeroAndLeaveTheTaskbarShown) {
    headlessEnableTaskbar(1);
    headlessFailDefineClass(1);
    EXPECT_EQ(appOpen(240, 320, 16, 0), 0);
    EXPECT_EQ(headlessWindowCount(), 0);
    headlessFailDefineClass(0);
    headlessFailCreateWindow(1);
    EXPECT_EQ(appOpen(240, 320, 16, 0), 0);
    EXPECT_EQ(appGetWindow(), 0);
    headlessFailCreateWindow(0);

    headlessFailDisplayOpen(1);
    EXPECT_EQ(appOpen(240, 320, 16, 0), 0);
    EXPECT_TRUE(headlessTaskbarVisible());
    headlessFailDisplayOpen(0);

    // No known format flag, then a pitch that does not fit the surface's 16-bit steps.
    const PlatDisplayProperties unknown = display(2, 480, 16, 0x20);
    headlessSetDisplay(&unknown);
    EXPECT_EQ(appOpen(240, 320, 16, 0), 0);
    EXPECT_TRUE(headlessTaskbarVisible());
    const PlatDisplayProperties wide = display(2, 40000, 16, PLAT_FMT_565);
    headlessSetDisplay(&wide);
    EXPECT_EQ(appOpen(240, 320, 16, 0), 0);
    EXPECT_EQ(appBeginDraw(), nullptr);  // the display was closed again
    EXPECT_EQ(headlessWindowCount(), 1);
}

TEST_F(AppTest, FormatFlagsPickTheFirstKnownFormatInTheirOrder) {
    struct Case {
        uint32_t flags;
        int32_t format;
    } cases[] = {{0x110, pf888}, {0x90, pf565}, {0x240, pf555}, {0x210, pf444}, {0x10, pfPalette}};
    for (const Case& c : cases) {
        const PlatDisplayProperties p = display(2, 480, 16, c.flags);
        headlessSetDisplay(&p);
        ASSERT_EQ(appOpen(240, 320, 16, 0), 1) << c.flags;
        EXPECT_EQ(gfxScreen()->format, c.format) << c.flags;
        EXPECT_EQ(gfxScreen()->colourKey, SF_NO_KEY);
        appClose();
    }
}

TEST_F(AppTest, APaletteDisplayBorrowsTheDefaultPalette) {
    const PlatDisplayProperties p = display(1, 240, 8, PLAT_FMT_PALETTE);
    headlessSetDisplay(&p);
    ASSERT_EQ(appOpen(240, 320, 8, 0), 1);
    const Palette* pal = gfxDefaultPalette();
    EXPECT_EQ(gfxScreen()->palette, pal);
    EXPECT_EQ(gfxScreen()->ownsPalette, 0);
    EXPECT_EQ(pal->count, 256u);
    EXPECT_EQ(pal->colours[9], 0xFF0000u);
    EXPECT_EQ(pal->colours[39], 0u);
    EXPECT_EQ(pal->colours[40], 0u);
    EXPECT_EQ(pal->colours[41], 0x000033u);
    EXPECT_EQ(pal->colours[46], 0x330000u);
    EXPECT_EQ(pal->colours[76], 0x003300u);
    EXPECT_EQ(pal->colours[255], 0xFFFFFFu);
}

TEST_F(AppTest, TheOemMarkSwitchesToTheDirectColumnFrameBuffer) {
    headlessSetSystemText(0, "OEM-PocketPCH38xx");
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    EXPECT_EQ(gfxScreen()->xStep, -640);
    EXPECT_EQ(gfxScreen()->rowPitch, 2);
    Surface* before = gfxSetTarget(nullptr);
    Surface* s = appBeginDraw();
    ASSERT_EQ(s, gfxScreen());
    EXPECT_NE(s->pixels, nullptr);
    EXPECT_EQ(gfxGetTarget(), s);
    appEndDraw();
    EXPECT_EQ(headlessDrawPairs(), 0);  // the frame buffer is drawn without the display's lock
    EXPECT_EQ(gfxGetTarget(), nullptr);
    gfxSetTarget(before);

    // A mark one character off is not the family.
    appClose();
    headlessSetSystemText(0, "OEM-PocketPC-H38xx");
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    EXPECT_EQ(gfxScreen()->xStep, 2);
}

TEST_F(AppTest, EndingADrawThatNeverBeganKeepsTheTargetAndTheLock) {
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    Surface* back = sfCreate(240, 320, pf565, 0, SF_NO_KEY, nullptr);
    gfxSetTarget(back);
    headlessFailBeginDraw(1);
    EXPECT_EQ(appBeginDraw(), nullptr);
    appEndDraw();
    EXPECT_EQ(gfxGetTarget(), back);
    EXPECT_EQ(gfxScreen()->pixels, nullptr);
    EXPECT_EQ(headlessDrawPairs(), 0);
    // The next lock works and ends normally.
    EXPECT_EQ(appBeginDraw(), gfxScreen());
    appEndDraw();
    EXPECT_EQ(headlessDrawPairs(), 1);
    EXPECT_EQ(gfxGetTarget(), back);
    EXPECT_EQ(gfxScreen()->pixels, nullptr);
    gfxSetTarget(nullptr);
    sfFree(back);
}

TEST_F(AppTest, CloseRequestQuitsOnceAndTheFlagStays) {
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    EXPECT_EQ(appPumpMessages(), 1);
    EXPECT_FALSE(appQuitRequested());
    headlessPostMessage(PLAT_WM_CLOSE, 0, 0);
    EXPECT_EQ(appPumpMessages(), 0);
    EXPECT_TRUE(appQuitRequested());
    EXPECT_EQ(appPumpMessages(), 1);  // the message was taken once
    EXPECT_TRUE(appQuitRequested());
    EXPECT_EQ(appWait(100), 1);
    EXPECT_EQ(appWait(100), 1);
    EXPECT_EQ(inpWaitKey(0), -1);
    EXPECT_EQ(headlessWindowCount(), 1);
    EXPECT_NE(appGetWindow(), 0);
}

TEST_F(AppTest, WaitsRunOnTheVirtualClockAndEndWithoutOne) {
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    const uint32_t start = appGetTicks();
    EXPECT_EQ(appWait(200), 0);
    const uint32_t spent = appGetTicks() - start;
    EXPECT_GE(spent, 200u);
    EXPECT_LT(spent, 260u);
    // A close request inside the wait ends it with 1.
    headlessPostMessage(PLAT_WM_CLOSE, 0, 0);
    EXPECT_EQ(appWait(1000000), 1);

    appForgetPlatform();
    headlessReset();
    headlessSetCounter(0, 0);
    appInitTimer();
    EXPECT_EQ(appGetTicks(), 0u);
    EXPECT_EQ(appWait(5000), 0);  // returns instead of waiting for ticks that never come
}

TEST(AppFatal, FatalExitBeforeAnyWindowEndsWithCodeOne) {
    EXPECT_EXIT(appFatalExit(u"Out of memory"), testing::ExitedWithCode(1), "");
}
