// Input: key states over updates, the key map from the device's default keys, the stylus and its turns, the
// event queue, waits under the virtual clock and the quit flag, key names.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app_internal.h"
#include "brask/app.h"
#include "brask/display.h"
#include "brask/input.h"
#include "platform/headless.h"
#include "support/test_support.h"

namespace {

const uint32_t VK_Q = 0x51;

class InputTest : public testing::Test {
   protected:
    TestFolders folders;
    void SetUp() override {
        appForgetPlatform();
        inpForgetPlatform();
    }
    void TearDown() override {
        appClose();
        inpClose();
        inpSetEventHandler(nullptr);
    }
    static void key(uint32_t message, uintptr_t vk) { appWindowProc(appGetWindow(), message, vk, 0); }
    static void pen(uint32_t message, int32_t x, int32_t y) {
        appWindowProc(appGetWindow(), message, 0, intptr_t(uint16_t(x) | uint32_t(uint16_t(y)) << 16));
    }
    static std::vector<int32_t> statesOver(uint16_t code, int updates) {
        std::vector<int32_t> s;
        for (int i = 0; i < updates; i++) {
            inpUpdate();
            s.push_back(inpKeyState(code));
        }
        return s;
    }
};

std::vector<InpEvent> g_handled;
void remember(const InpEvent* e) {
    g_handled.push_back(*e);
}

}  // namespace

TEST_F(InputTest, KeyStatesFollowPressHoldAndRelease) {
    ASSERT_EQ(inpOpen(0), 1);
    key(PLAT_WM_KEYDOWN, PLAT_VK_UP);
    EXPECT_EQ(inpKeyState(INP_UP), INP_IDLE);  // nothing changes before the update
    EXPECT_EQ(statesOver(INP_UP, 3), (std::vector<int32_t>{2, 3, 3}));
    EXPECT_TRUE(inpKeyDown(INP_UP));
    EXPECT_TRUE(inpKeyDown(INP_RAW | PLAT_VK_UP));
    key(PLAT_WM_KEYDOWN, PLAT_VK_UP);  // auto-repeat: no new press
    EXPECT_EQ(statesOver(INP_UP, 1), (std::vector<int32_t>{3}));
    key(PLAT_WM_KEYUP, PLAT_VK_UP);
    inpUpdate();
    EXPECT_EQ(inpKeyState(INP_UP), INP_RELEASED);
    EXPECT_TRUE(inpKeyReleased(INP_UP));
    EXPECT_FALSE(inpKeyDown(INP_UP));
    EXPECT_EQ(statesOver(INP_UP, 2), (std::vector<int32_t>{0, 0}));

    // A press that begins and ends between two updates is never seen.
    key(PLAT_WM_KEYDOWN, PLAT_VK_LEFT);
    key(PLAT_WM_KEYUP, PLAT_VK_LEFT);
    EXPECT_EQ(statesOver(INP_LEFT, 2), (std::vector<int32_t>{0, 0}));
}

TEST_F(InputTest, KeysOutsideTheTablesAndTheShellKeysChangeNothing) {
    ASSERT_EQ(inpOpen(0), 1);
    inpEnableEvents(1);
    for (uintptr_t vk : {uintptr_t(0x5B), uintptr_t(0x84), uintptr_t(0), uintptr_t(256), uintptr_t(300),
                         uintptr_t(0x10000), ~uintptr_t(0)})
        key(PLAT_WM_KEYDOWN, vk);
    inpUpdate();
    EXPECT_EQ(inpAnyKey(), 0);
    EXPECT_FALSE(inpHasEvent());
    EXPECT_EQ(inpKeyState(INP_RAW | 0x5B), INP_IDLE);
    EXPECT_EQ(inpKeyState(INP_RAW | 0x3FFF), INP_IDLE);  // past the tables reads idle
    EXPECT_EQ(inpKeyState(12), INP_IDLE);
}

TEST_F(InputTest, DefaultKeysOutOfRangeBecomeNeverPressedAndSharedOnesReportTwice) {
    const PlatDefaultKeys keys = {0x26, 0x28, -5, 300, 0xC1, 0x42, 0x43, 0x0D};
    headlessSetDefaultKeys(&keys);
    ASSERT_EQ(inpOpen(0), 1);
    key(PLAT_WM_KEYDOWN, 0xC1);
    inpUpdate();
    EXPECT_TRUE(inpKeyDown(INP_A));
    EXPECT_TRUE(inpKeyDown(INP_D));
    EXPECT_EQ(inpAnyKey(), INP_A);
    // LEFT and RIGHT have no key: raw key 0, which nothing can press.
    key(PLAT_WM_KEYDOWN, 0);
    key(PLAT_WM_KEYDOWN, 300 & 0xFF);
    inpUpdate();
    EXPECT_FALSE(inpKeyDown(INP_LEFT));
    EXPECT_FALSE(inpKeyDown(INP_RIGHT));
}

TEST_F(InputTest, AnyKeyPrefersLogicalCodes) {
    ASSERT_EQ(inpOpen(0), 1);
    key(PLAT_WM_KEYDOWN, VK_Q);
    inpUpdate();
    EXPECT_EQ(inpAnyKey(), INP_RAW | VK_Q);
    key(PLAT_WM_KEYDOWN, PLAT_VK_RETURN);
    inpUpdate();
    EXPECT_EQ(inpAnyKey(), INP_START);
    key(PLAT_WM_KEYDOWN, PLAT_VK_DOWN);
    inpUpdate();
    EXPECT_EQ(inpAnyKey(), INP_DOWN);
}

TEST_F(InputTest, TheStylusIsRawKey256EvenWithoutAMap) {
    // No inpOpen: the map is all zero, and a tap must not press raw key 0 (every unmapped logical key).
    pen(PLAT_WM_LBUTTONDOWN, -5, 300);
    inpUpdate();
    EXPECT_TRUE(inpKeyDown(INP_RAW | INP_RAW_STYLUS));
    EXPECT_FALSE(inpKeyDown(INP_RAW | 0));
    EXPECT_FALSE(inpKeyDown(INP_UP));
    EXPECT_EQ(inpStylusX(), -5);  // the halves of lParam are signed
    EXPECT_EQ(inpStylusY(), 300);
    pen(PLAT_WM_LBUTTONUP, 0, 0);
    inpUpdate();
    EXPECT_TRUE(inpKeyReleased(INP_RAW | INP_RAW_STYLUS));
}

TEST_F(InputTest, StylusPositionsTurnWithTheDisplay) {
    ASSERT_EQ(inpOpen(0), 1);
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    struct Case {
        int32_t orientation, x, y;
    } cases[] = {{0, 10, 20}, {1, 240 - 10, 320 - 20}, {2, 320 - 20, 10}, {3, 20, 240 - 10}};
    for (const Case& c : cases) {
        gfxSetOrientation(c.orientation);
        pen(PLAT_WM_MOUSEMOVE, 10, 20);
        EXPECT_EQ(inpStylusX(), c.x) << c.orientation;
        EXPECT_EQ(inpStylusY(), c.y) << c.orientation;
    }
    gfxSetOrientation(0);
}

TEST_F(InputTest, RecordedEventsReachTheQueueAndTheHandler) {
    ASSERT_EQ(inpOpen(0), 1);
    g_handled.clear();
    inpSetEventHandler(remember);
    key(PLAT_WM_KEYDOWN, VK_Q);  // not recording yet
    inpEnableEvents(1);
    key(PLAT_WM_KEYDOWN, VK_Q);
    key(PLAT_WM_KEYUP, PLAT_VK_UP);
    pen(PLAT_WM_LBUTTONDOWN, 7, 9);
    pen(PLAT_WM_LBUTTONUP, 8, 9);

    const struct {
        int32_t type;
        uint16_t key;
        int32_t x;
    } want[] = {{INP_EV_REPEAT, uint16_t(INP_RAW | VK_Q), 0},
                {INP_EV_RELEASED, INP_UP, 0},
                {INP_EV_STYLUS, INP_PEN, 7},
                {INP_EV_PRESSED, INP_PEN, 7},
                {INP_EV_RELEASED, INP_PEN, 8}};
    ASSERT_EQ(g_handled.size(), 5u);
    InpEvent e;
    ASSERT_TRUE(inpPeekEvent(&e));
    EXPECT_EQ(e.type, INP_EV_REPEAT);
    EXPECT_EQ(e.character, platVirtualKeyToChar(VK_Q));
    for (size_t i = 0; i < 5; i++) {
        ASSERT_TRUE(inpGetEvent(&e)) << i;
        EXPECT_EQ(e.type, want[i].type) << i;
        EXPECT_EQ(e.key, want[i].key) << i;
        EXPECT_EQ(e.x, want[i].x) << i;
        EXPECT_EQ(g_handled[i].type, want[i].type) << i;
    }
    EXPECT_FALSE(inpGetEvent(&e));

    // A queue nobody reads is emptied once it passes 1000 events.
    for (int i = 0; i < 1001; i++) pen(PLAT_WM_MOUSEMOVE, i, 0);
    inpUpdate();
    EXPECT_FALSE(inpHasEvent());
}

TEST_F(InputTest, WaitsOnTheVirtualClock) {
    ASSERT_EQ(inpOpen(0), 1);
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    uint32_t start = appGetTicks();
    EXPECT_EQ(inpWaitKey(300), 0);
    EXPECT_GE(appGetTicks() - start, 300u);

    // A held key is waited out until its release arrives; then the next key is the answer.
    key(PLAT_WM_KEYDOWN, PLAT_VK_UP);
    inpUpdate();
    headlessPostMessage(PLAT_WM_KEYUP, PLAT_VK_UP, 0);
    EXPECT_EQ(inpWaitRelease(), 0);
    EXPECT_EQ(inpAnyKey(), 0);
    headlessPostMessage(PLAT_WM_KEYDOWN, VK_Q, 0);
    start = appGetTicks();
    EXPECT_EQ(inpWaitKey(1000), INP_RAW | VK_Q);
    EXPECT_LT(appGetTicks() - start, 1000u);
}

TEST_F(InputTest, WaitsEndOnQuitEveryTimeAfter) {
    ASSERT_EQ(inpOpen(0), 1);
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    key(PLAT_WM_KEYDOWN, PLAT_VK_UP);
    inpUpdate();
    headlessPostMessage(PLAT_WM_CLOSE, 0, 0);
    EXPECT_EQ(inpWaitRelease(), 0);  // the key is still down, but nobody will release it now
    EXPECT_TRUE(appQuitRequested());
    EXPECT_TRUE(inpKeyDown(INP_UP));
    EXPECT_EQ(inpWaitKey(0), -1);
    EXPECT_EQ(inpWaitKey(50), -1);
}

TEST_F(InputTest, WithoutACounterATimeOutCountsAsPassed) {
    headlessSetCounter(0, 0);
    appInitTimer();
    ASSERT_EQ(inpOpen(0), 1);
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    EXPECT_EQ(inpWaitKey(1000), 0);
    headlessPostMessage(PLAT_WM_KEYDOWN, PLAT_VK_RIGHT, 0);
    EXPECT_EQ(inpWaitKey(0), INP_RIGHT);
}

TEST(KeyNames, LogicalByNameRawInHex) {
    EXPECT_STREQ(inpKeyName(INP_LEFT), "LEFT");
    EXPECT_STREQ(inpKeyName(INP_START), "BUT.START");
    EXPECT_STREQ(inpKeyName(INP_NONE), "NONE");
    EXPECT_EQ(std::u16string(inpKeyNameW(INP_NONE)), u"NO");
    EXPECT_EQ(std::u16string(inpKeyNameW(INP_PEN)), u"PEN");
    EXPECT_STREQ(inpKeyName(0x40C1), "C1");
    EXPECT_STREQ(inpKeyName(INP_RAW | 0x0A), "A");
    EXPECT_STREQ(inpKeyName(INP_RAW | INP_RAW_STYLUS), "100");
    EXPECT_EQ(std::u16string(inpKeyNameW(INP_RAW | 0x26)), u"26");
}

TEST_F(InputTest, AFailedOpenLeavesEveryKeyUnpressable) {
    headlessFailInputOpen(1);
    EXPECT_EQ(inpOpen(0), 0);
    key(PLAT_WM_KEYDOWN, PLAT_VK_UP);
    inpUpdate();
    EXPECT_FALSE(inpKeyDown(INP_UP));
    EXPECT_EQ(inpAnyKey(), INP_RAW | PLAT_VK_UP);
}

// A key still down when input closed never sends its release to the next start.
TEST_F(InputTest, ANewStartBeginsWithNoKeyDown) {
    ASSERT_EQ(inpOpen(0), 1);
    key(PLAT_WM_KEYDOWN, PLAT_VK_UP);
    pen(PLAT_WM_LBUTTONDOWN, 10, 10);
    inpUpdate();
    ASSERT_TRUE(inpKeyDown(INP_UP));
    inpClose();
    ASSERT_EQ(inpOpen(0), 1);
    EXPECT_EQ(statesOver(INP_UP, 2), (std::vector<int32_t>{0, 0}));
    EXPECT_FALSE(inpKeyDown(INP_PEN));
}
