// The desktop backend under SDL's dummy video driver: the window, keys by scancode, the mouse as the
// stylus, focus loss and close requests.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <tuple>
#include <vector>

#include "app_internal.h"
#include "brask/app.h"
#include "brask/input.h"
#include "describe.h"
#include "platform/platform.h"
#include "platform/sdl2.h"
#include "support/test_support.h"

namespace {

int g_instance;
std::vector<PlatMessage> g_seen;

intptr_t closeQuits(PlatWindow w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    g_seen.push_back({w, message, wParam, lParam});
    if (message == PLAT_WM_CLOSE) platPostQuit(0);
    return 0;
}

std::string describeKeys(const PlatDefaultKeys& k) {
    char s[64];
    snprintf(s, sizeof s, "%X %X %X %X %X %X %X %X", k.vkUp, k.vkDown, k.vkLeft, k.vkRight, k.vkA, k.vkB,
             k.vkC, k.vkStart);
    return s;
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
    std::string pump() { return pumpAndDescribe(); }
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
    int ww, wh, lw, lh;
    SDL_GetWindowSize(win, &ww, &wh);
    SDL_Renderer* r = SDL_GetRenderer(win);
    SDL_RenderGetLogicalSize(r, &lw, &lh);
    EXPECT_EQ(std::make_tuple(720, 960, 240, 320), std::make_tuple(ww, wh, lw, lh));
    EXPECT_TRUE((SDL_GetWindowFlags(win) & SDL_WINDOW_RESIZABLE) && SDL_RenderGetIntegerScale(r));

    PlatDisplayProperties p, expected = {240, 320, 2, 480, 16, PLAT_FMT_565};
    ASSERT_EQ(1, platDisplayProperties(&p));
    EXPECT_EQ(0, memcmp(&expected, &p, sizeof p));

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
        int vk;
    } keys[] = {
        {SDL_SCANCODE_UP, k.vkUp},       {SDL_SCANCODE_DOWN, k.vkDown},    {SDL_SCANCODE_LEFT, k.vkLeft},
        {SDL_SCANCODE_RIGHT, k.vkRight}, {SDL_SCANCODE_Z, k.vkA},          {SDL_SCANCODE_X, k.vkB},
        {SDL_SCANCODE_C, k.vkC},         {SDL_SCANCODE_RETURN, k.vkStart}, {SDL_SCANCODE_V, 0xC1},
        {SDL_SCANCODE_B, 0xC2},          {SDL_SCANCODE_A, 0x41},           {SDL_SCANCODE_ESCAPE, 0x1B},
        {SDL_SCANCODE_F1, 0x70},         {SDL_SCANCODE_KP_0, 0x60},
    };
    EXPECT_EQ("26 28 25 27 5A 58 43 D", describeKeys(k));
    for (const auto& c : keys) {
        key(c.s, true);
        key(c.s, true);   // auto-repeat: another down
        key(c.s, false);  // in the pump of its press: held to the next one
        char want[64];
        snprintf(want, sizeof want, "keydown %X, keydown %X", c.vk, c.vk);
        EXPECT_EQ(want, pump()) << c.s;
        snprintf(want, sizeof want, "keyup %X", c.vk);
        EXPECT_EQ(want, pump()) << c.s;
    }
    key(SDL_SCANCODE_APPLICATION, true);  // no virtual key: nothing
    key(SDL_SCANCODE_D, false);           // a release without its press: nothing
    EXPECT_EQ("", pump());
    EXPECT_EQ(3u * (sizeof keys / sizeof keys[0]), g_seen.size());  // all reached the procedure
}

TEST_F(Sdl2Window, TheMouseIsTheStylusInScreenPixels) {
    open();
    mouse(SDL_MOUSEMOTION, 10, 10);  // not pressed: the stylus is not touching
    mouse(SDL_MOUSEBUTTONDOWN, 201, 101);
    EXPECT_EQ("down 100,50", pump());
    // Dragged off the window: moves and the release are clamped into the screen.
    mouse(SDL_MOUSEMOTION, -30, 700);
    mouse(SDL_MOUSEBUTTONUP, 1000, -4);
    EXPECT_EQ("move 0,319, up 239,0", pump());

    // Wider than the screen's proportions: bars left and right of a 480-pixel-wide picture.
    SDL_SetWindowSize((SDL_Window*)platSdl2Window(), 800, 640);
    pump();
    mouse(SDL_MOUSEBUTTONDOWN, 100, 100);  // on the left bar
    mouse(SDL_MOUSEMOTION, 300, 100);
    mouse(SDL_MOUSEBUTTONUP, 300, 100);
    EXPECT_EQ("", pump());
    mouse(SDL_MOUSEBUTTONDOWN, 161, 3);
    EXPECT_EQ("down 0,1", pump());
}

TEST_F(Sdl2Window, AQuickClickIsReleasedAtTheNextPump) {
    open();
    mouse(SDL_MOUSEBUTTONDOWN, 20, 20);
    mouse(SDL_MOUSEBUTTONUP, 20, 20);
    key(SDL_SCANCODE_Z, true);  // after the release: waits with it, keeping the order
    EXPECT_EQ("down 10,10", pump());
    EXPECT_EQ("up 10,10, keydown 5A", pump());
    EXPECT_EQ("", pump());
    for (int i = 0; i < 2; i++) {  // two quick clicks in one pump come out over three
        mouse(SDL_MOUSEBUTTONDOWN, 40, 40);
        mouse(SDL_MOUSEBUTTONUP, 40, 40);
    }
    EXPECT_EQ("down 20,20", pump());
    EXPECT_EQ("up 20,20, down 20,20", pump());
    EXPECT_EQ("up 20,20", pump());
}

TEST_F(Sdl2Window, LosingFocusReleasesWhatIsDownFirst) {
    open();
    key(SDL_SCANCODE_UP, true);
    key(SDL_SCANCODE_V, true);
    key(SDL_SCANCODE_X, true);
    key(SDL_SCANCODE_X, false);
    mouse(SDL_MOUSEBUTTONDOWN, 60, 80);
    mouse(SDL_MOUSEMOTION, 62, 82);
    EXPECT_EQ("keydown 26, keydown C1, keydown 58", pump());
    EXPECT_EQ("keyup 58, down 30,40, move 31,41", pump());
    SDL_Event e = {};
    e.type = SDL_WINDOWEVENT;
    e.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    SDL_PushEvent(&e);
    key(SDL_SCANCODE_UP, false);  // its release was already sent
    EXPECT_EQ("keyup 26, keyup C1, up 31,41, killfocus", pump());
    e.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    SDL_PushEvent(&e);
    EXPECT_EQ("setfocus", pump());
}

TEST_F(Sdl2Window, QuitEventsAndSignalsBecomeACloseRequest) {
    open();
    SDL_Event e = {};
    e.type = SDL_QUIT;
    SDL_PushEvent(&e);
    EXPECT_EQ("close", pump());  // the procedure answers it with the quit message, which ends the pump
    PlatMessage m;
    EXPECT_EQ(0, platPeekMessage(&m));  // the quit message was taken once
    for (int sig : {SIGINT, SIGTERM}) {
        raise(sig);
        EXPECT_EQ("close", pump()) << sig;
    }
    EXPECT_EQ("close, close, close", describe(g_seen));
}

// The engine over the desktop backend: what a player's quick tap of a key looks like to the game.
class Sdl2Engine : public Sdl2Window {
   protected:
    TestFolders folders;
    void SetUp() override {
        Sdl2Window::SetUp();
        appForgetPlatform();
        inpForgetPlatform();
        ASSERT_EQ(1, inpOpen(0));
        ASSERT_EQ(1, appOpen(240, 320, 16, 0));
        appPumpMessages();
        inpUpdate();
    }
    void TearDown() override {
        appClose();
        inpClose();
        Sdl2Window::TearDown();
        appForgetPlatform();
        inpForgetPlatform();
    }
    // One frame's input as a game takes it: the pump, then the key update.
    int32_t frame(uint16_t key) {
        appPumpMessages();
        inpUpdate();
        return inpKeyState(key);
    }
};

TEST_F(Sdl2Engine, AKeyTappedWithinOnePumpIsPressedOnceThenReleased) {
    const struct {
        SDL_Scancode s;
        uint16_t key;
    } taps[] = {{SDL_SCANCODE_Z, INP_A}, {SDL_SCANCODE_RETURN, INP_START}};
    for (const auto& t : taps) {
        key(t.s, true);
        key(t.s, false);
        EXPECT_EQ(INP_PRESSED, frame(t.key)) << t.s;
        EXPECT_EQ(INP_RELEASED, frame(t.key)) << t.s;
        EXPECT_EQ(INP_IDLE, frame(t.key)) << t.s;
    }
    // A key held over several pumps is held, then released in the pump its release comes in.
    key(SDL_SCANCODE_Z, true);
    EXPECT_EQ(INP_PRESSED, frame(INP_A));
    EXPECT_EQ(INP_HELD, frame(INP_A));
    key(SDL_SCANCODE_Z, false);
    EXPECT_EQ(INP_RELEASED, frame(INP_A));
}

}  // namespace
