// The desktop backend under SDL's dummy video driver: the window, keys by scancode, the mouse as the
// stylus, focus loss and close requests.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <vector>

#include "platform/platform.h"
#include "platform/sdl2.h"

namespace {

int g_instance;
std::vector<PlatMessage> g_seen;

intptr_t closeQuits(PlatWindow w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    g_seen.push_back({w, message, wParam, lParam});
    if (message == PLAT_WM_CLOSE) platPostQuit(0);
    return 0;
}

int16_t lowOf(intptr_t l) {
    return (int16_t)(l & 0xFFFF);
}
int16_t highOf(intptr_t l) {
    return (int16_t)((l >> 16) & 0xFFFF);
}

class Sdl2Window : public testing::Test {
   protected:
    PlatWindow w = 0;
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        platSetBackend(&platSdl2);
        g_seen.clear();
    }
    void TearDown() override {
        platSdl2Shutdown();
        platSdl2SetScale(2);
        platSetBackend(&platHeadless);
    }
    void open() {
        PlatWindowClass cls = {u"BraskWin", 3, closeQuits, &g_instance, 0};
        ASSERT_EQ(1, platDefineClass(&cls));
        w = platCreateWindow(u"BraskWin", u"Korvatron", 0x80000000u, 0, 0, 240, 320, &g_instance);
        ASSERT_NE(0, w);
        platShowWindow(w, 1);
        ASSERT_EQ(1, platDisplayOpen(w, 1));
        pump();  // whatever the window system says at start
        g_seen.clear();
    }
    // One pump as the engine runs it, dispatching to the window procedure; stops at the quit message.
    std::vector<PlatMessage> pump() {
        std::vector<PlatMessage> got;
        PlatMessage m;
        while (platPeekMessage(&m)) {
            if (platGetMessage(&m) == 0) break;
            got.push_back(m);
            platTranslateMessage(&m);
            platDispatchMessage(&m);
        }
        return got;
    }
    void key(SDL_Scancode s, bool down) {
        SDL_Event e = {};
        e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
        e.key.windowID = SDL_GetWindowID((SDL_Window*)platSdl2Window());
        e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
        e.key.keysym.scancode = s;
        SDL_PushEvent(&e);
    }
    // Window pixel coordinates; the renderer turns them into screen pixels.
    void mouse(Uint32 type, int x, int y) {
        SDL_Event e = {};
        e.type = type;
        Uint32 id = SDL_GetWindowID((SDL_Window*)platSdl2Window());
        if (type == SDL_MOUSEMOTION) {
            e.motion.windowID = id;
            e.motion.state = SDL_BUTTON_LMASK;
            e.motion.x = x;
            e.motion.y = y;
        } else {
            e.button.windowID = id;
            e.button.button = SDL_BUTTON_LEFT;
            e.button.state = type == SDL_MOUSEBUTTONDOWN ? SDL_PRESSED : SDL_RELEASED;
            e.button.clicks = 1;
            e.button.x = x;
            e.button.y = y;
        }
        SDL_PushEvent(&e);
    }
};

TEST_F(Sdl2Window, OpensScaledResizableWithALogicalScreen) {
    platSdl2SetScale(3);
    EXPECT_EQ(0, platSdl2SetScale(0));
    EXPECT_EQ(3, platSdl2Scale());
    open();
    SDL_Window* win = (SDL_Window*)platSdl2Window();
    int ww, wh;
    SDL_GetWindowSize(win, &ww, &wh);
    EXPECT_EQ(720, ww);
    EXPECT_EQ(960, wh);
    EXPECT_TRUE(SDL_GetWindowFlags(win) & SDL_WINDOW_RESIZABLE);
    EXPECT_STREQ("Korvatron", SDL_GetWindowTitle(win));
    SDL_Renderer* r = SDL_GetRenderer(win);
    int lw, lh;
    SDL_RenderGetLogicalSize(r, &lw, &lh);
    EXPECT_EQ(240, lw);
    EXPECT_EQ(320, lh);
    EXPECT_TRUE(SDL_RenderGetIntegerScale(r));

    PlatDisplayProperties p;
    ASSERT_EQ(1, platDisplayProperties(&p));
    EXPECT_EQ(240u, p.width);
    EXPECT_EQ(320u, p.height);
    EXPECT_EQ(2, p.xPitch);
    EXPECT_EQ(480, p.yPitch);
    EXPECT_EQ(16u, p.bitsPerPixel);
    EXPECT_EQ((uint32_t)PLAT_FMT_565, p.formatFlags);
    PlatRect rect;
    ASSERT_EQ(1, platWindowRect(w, &rect));
    EXPECT_EQ(0, rect.left);
    EXPECT_EQ(320, rect.bottom);
    EXPECT_EQ(0, platFindWindow(u"HHTaskbar"));  // no taskbar to hide on a desktop

    // What is drawn reaches the window at every end of drawing.
    uint16_t* fb = (uint16_t*)platDisplayBeginDraw();
    ASSERT_NE(nullptr, fb);
    EXPECT_EQ(nullptr, platDisplayBeginDraw());
    for (int i = 0; i < 240 * 320; i++) fb[i] = 0xF800;  // red
    ASSERT_EQ(1, platDisplayEndDraw());
    EXPECT_EQ(0, platDisplayEndDraw());
    uint32_t px[4] = {};
    SDL_Rect at = {100, 100, 2, 2};
    ASSERT_EQ(0, SDL_RenderReadPixels(r, &at, SDL_PIXELFORMAT_ARGB8888, px, 8)) << SDL_GetError();
    EXPECT_EQ(0xFF0000u, px[0] & 0xFFFFFF);
    EXPECT_EQ(0xFF0000u, px[3] & 0xFFFFFF);
}

TEST_F(Sdl2Window, KeysGoByScancodeToTheirVirtualKeys) {
    open();
    PlatDefaultKeys k;
    ASSERT_EQ(1, platDefaultKeys(&k, 0));
    const struct {
        SDL_Scancode s;
        uintptr_t vk;
    } keys[] = {
        {SDL_SCANCODE_UP, (uintptr_t)k.vkUp},
        {SDL_SCANCODE_DOWN, (uintptr_t)k.vkDown},
        {SDL_SCANCODE_LEFT, (uintptr_t)k.vkLeft},
        {SDL_SCANCODE_RIGHT, (uintptr_t)k.vkRight},
        {SDL_SCANCODE_Z, (uintptr_t)k.vkA},
        {SDL_SCANCODE_X, (uintptr_t)k.vkB},
        {SDL_SCANCODE_C, (uintptr_t)k.vkC},
        {SDL_SCANCODE_RETURN, (uintptr_t)k.vkStart},
        {SDL_SCANCODE_V, 0xC1},
        {SDL_SCANCODE_B, 0xC2},
        {SDL_SCANCODE_A, 0x41},
        {SDL_SCANCODE_ESCAPE, 0x1B},
        {SDL_SCANCODE_F1, 0x70},
        {SDL_SCANCODE_KP_0, 0x60},
    };
    EXPECT_EQ(0x26, k.vkUp);
    EXPECT_EQ(0x5A, k.vkA);
    EXPECT_EQ(0x0D, k.vkStart);
    for (const auto& c : keys) {
        key(c.s, true);
        key(c.s, true);  // auto-repeat: another down
        key(c.s, false);
        std::vector<PlatMessage> got = pump();
        ASSERT_EQ(3u, got.size()) << c.s;
        EXPECT_EQ(PLAT_WM_KEYDOWN, got[0].message);
        EXPECT_EQ(PLAT_WM_KEYDOWN, got[1].message);
        EXPECT_EQ(PLAT_WM_KEYUP, got[2].message);
        for (const PlatMessage& m : got) EXPECT_EQ(c.vk, m.wParam) << c.s;
    }
    key(SDL_SCANCODE_APPLICATION, true);  // no virtual key: nothing
    key(SDL_SCANCODE_D, false);           // a release without its press: nothing
    EXPECT_TRUE(pump().empty());
    ASSERT_EQ(3u * (sizeof keys / sizeof keys[0]), g_seen.size());  // all reached the procedure
}

TEST_F(Sdl2Window, TheMouseIsTheStylusInScreenPixels) {
    open();
    mouse(SDL_MOUSEMOTION, 10, 10);  // not pressed: the stylus is not touching
    mouse(SDL_MOUSEBUTTONDOWN, 201, 101);
    std::vector<PlatMessage> got = pump();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(PLAT_WM_LBUTTONDOWN, got[0].message);
    EXPECT_EQ(100, lowOf(got[0].lParam));
    EXPECT_EQ(50, highOf(got[0].lParam));

    // Dragged off the window: moves and the release are clamped into the screen.
    mouse(SDL_MOUSEMOTION, -30, 700);
    mouse(SDL_MOUSEBUTTONUP, 1000, -4);
    got = pump();
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(PLAT_WM_MOUSEMOVE, got[0].message);
    EXPECT_EQ(0, lowOf(got[0].lParam));
    EXPECT_EQ(319, highOf(got[0].lParam));
    EXPECT_EQ(PLAT_WM_LBUTTONUP, got[1].message);
    EXPECT_EQ(239, lowOf(got[1].lParam));
    EXPECT_EQ(0, highOf(got[1].lParam));

    // Wider than the screen's proportions: bars left and right of a 480-pixel-wide picture.
    SDL_SetWindowSize((SDL_Window*)platSdl2Window(), 800, 640);
    pump();
    mouse(SDL_MOUSEBUTTONDOWN, 100, 100);  // on the left bar
    mouse(SDL_MOUSEMOTION, 300, 100);
    mouse(SDL_MOUSEBUTTONUP, 300, 100);
    EXPECT_TRUE(pump().empty());
    mouse(SDL_MOUSEBUTTONDOWN, 161, 3);
    got = pump();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(0, lowOf(got[0].lParam));
    EXPECT_EQ(1, highOf(got[0].lParam));
}

TEST_F(Sdl2Window, AQuickClickIsReleasedAtTheNextPump) {
    open();
    mouse(SDL_MOUSEBUTTONDOWN, 20, 20);
    mouse(SDL_MOUSEBUTTONUP, 20, 20);
    key(SDL_SCANCODE_Z, true);  // after the release: waits with it, keeping the order
    std::vector<PlatMessage> got = pump();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(PLAT_WM_LBUTTONDOWN, got[0].message);
    got = pump();
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(PLAT_WM_LBUTTONUP, got[0].message);
    EXPECT_EQ(10, lowOf(got[0].lParam));
    EXPECT_EQ(PLAT_WM_KEYDOWN, got[1].message);
    EXPECT_TRUE(pump().empty());

    // Two quick clicks in one pump come out over three.
    for (int i = 0; i < 2; i++) {
        mouse(SDL_MOUSEBUTTONDOWN, 40, 40);
        mouse(SDL_MOUSEBUTTONUP, 40, 40);
    }
    EXPECT_EQ(1u, pump().size());
    got = pump();
    ASSERT_EQ(2u, got.size());
    EXPECT_EQ(PLAT_WM_LBUTTONUP, got[0].message);
    EXPECT_EQ(PLAT_WM_LBUTTONDOWN, got[1].message);
    got = pump();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(PLAT_WM_LBUTTONUP, got[0].message);
}

TEST_F(Sdl2Window, LosingFocusReleasesWhatIsDownFirst) {
    open();
    key(SDL_SCANCODE_UP, true);
    key(SDL_SCANCODE_V, true);
    key(SDL_SCANCODE_X, true);
    key(SDL_SCANCODE_X, false);
    mouse(SDL_MOUSEBUTTONDOWN, 60, 80);
    mouse(SDL_MOUSEMOTION, 62, 82);
    ASSERT_EQ(6u, pump().size());
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    SDL_PushEvent(&e);
    key(SDL_SCANCODE_UP, false);  // its release was already sent
    std::vector<PlatMessage> got = pump();
    ASSERT_EQ(4u, got.size());
    EXPECT_EQ(PLAT_WM_KEYUP, got[0].message);
    EXPECT_EQ(0x26u, got[0].wParam);
    EXPECT_EQ(PLAT_WM_KEYUP, got[1].message);
    EXPECT_EQ(0xC1u, got[1].wParam);
    EXPECT_EQ(PLAT_WM_LBUTTONUP, got[2].message);
    EXPECT_EQ(31, lowOf(got[2].lParam));
    EXPECT_EQ(41, highOf(got[2].lParam));
    EXPECT_EQ(PLAT_WM_KILLFOCUS, got[3].message);
    e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    SDL_PushEvent(&e);
    got = pump();
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(PLAT_WM_SETFOCUS, got[0].message);
}

TEST_F(Sdl2Window, QuitEventsAndSignalsBecomeACloseRequest) {
    open();
    SDL_Event e = {};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
    std::vector<PlatMessage> got = pump();  // the procedure answers the close with the quit message
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ(PLAT_WM_CLOSE, got[0].message);
    PlatMessage m;
    EXPECT_EQ(0, platPeekMessage(&m));  // the quit message was taken by the pump
    EXPECT_EQ(0, platPeekMessage(&m));

    for (int sig : {SIGINT, SIGTERM}) {
        raise(sig);
        got = pump();
        ASSERT_EQ(1u, got.size()) << sig;
        EXPECT_EQ(PLAT_WM_CLOSE, got[0].message);
    }
    ASSERT_EQ(3u, g_seen.size());
}

}  // namespace
