// Application: name and window, start-up and shutdown, the message pump and quit flag, the draw lock, the
// tick counter, waits, battery, the error box and the fatal exit.
//
// [SECTION] State
// [SECTION] Name and tick counter
// [SECTION] Opening and closing
// [SECTION] Display format detection
// [SECTION] Taskbar
// [SECTION] Messages
// [SECTION] Draw lock
// [SECTION] Waits, battery, icon, errors
//
// appClose and appFatalExit undo only what appOpen got as far as doing: the fatal exit can come before any
// window exists (the memory check), and a start that failed halfway must leave the taskbar and display as
// they were. The quit message is taken once by whichever loop pumps; the flag it leaves is read by all.
#include "brask/app.h"

#include <cstdlib>

#include "app_internal.h"
#include "brask/display.h"
#include "brask/font.h"
#include "brask/gfx.h"
#include "brask/input.h"
#include "brask/log.h"
#include "brask/sound.h"
#include "brask/system.h"
#include "brask/text.h"
#include "platform/platform.h"

#define APP_SOURCE_PATH "BraskLib/src/app"

// =====================================================================================================
// [SECTION] State
// =====================================================================================================

namespace {

const char16_t kClassName[] = u"BraskWin";
const char16_t kTaskbarClass[] = u"HHTaskbar";
enum : uint32_t {
    FULLSCREEN_HIDE = 0x2A,
    FULLSCREEN_SHOW = 0x15,
    CLASS_REDRAW = 3,
    STYLE_POPUP = 0x80000000u
};
// Handhelds of this family (H, 3, 8 at characters 12 to 14 of the OEM text) are drawn through a fixed
// frame-buffer address, stored down the columns.
enum { SCREEN_HEIGHT = 320, OEM_TEXT_CHARS = 100 };

struct AppState {
    char16_t name[APP_NAME_MAX + 1];
    PlatWindow window;
    uint16_t iconId;
    int32_t savedTop, savedGap;
    uint64_t perfStart;
    uint64_t perfPerMs;
    uint8_t timerOk;
    uint8_t directFrameBuffer;
    uint8_t quit;
    // What appOpen got as far as doing, so closing undoes exactly that.
    uint8_t taskbarHidden, displayOpen, gfxReady;
    uint8_t locked;  // a draw lock succeeded and has not ended
    Surface* savedTarget;
};

AppState g_app = {u"BraskApp", 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, nullptr};

void logFailure(int32_t line, const char* what) {
    logSourceLine(APP_SOURCE_PATH, line, what, 0);
}

}  // namespace

// =====================================================================================================
// [SECTION] Name and tick counter
// =====================================================================================================

static AppLaunchOptions g_launch;

const AppLaunchOptions* appLaunchOptions() {
    return &g_launch;
}

void appSetLaunchOptions(const AppLaunchOptions* options) {
    g_launch = options ? *options : AppLaunchOptions{};
}

void* appGetInstance() {
    return sysGetInfo()->instance;
}

intptr_t appGetWindow() {
    return g_app.window;
}

const char16_t* appName() {
    return g_app.name;
}

void appSetTitle(const char16_t* title) {
    if (!title) return;
    int32_t i = 0;
    for (; i < APP_NAME_MAX && title[i]; i++) g_app.name[i] = title[i];
    g_app.name[i] = 0;
    if (g_app.window) platSetWindowText(g_app.window, g_app.name);
}

void appInitTimer() {
    uint64_t start = 0, freq = 0;
    g_app.timerOk = 0;
    if (!platCounter(&start) || !platCounterFrequency(&freq)) return;
    // A counter slower than 1000 counts per second cannot give milliseconds: treat it as missing.
    if (freq / 1000 == 0) return;
    g_app.perfStart = start;
    g_app.perfPerMs = freq / 1000;
    g_app.timerOk = 1;
}

int32_t appHasTimer() {
    return g_app.timerOk;
}

uint32_t appGetTicks() {
    uint64_t now;
    if (!g_app.timerOk || !platCounter(&now)) return 0;
    return (uint32_t)((now - g_app.perfStart) / g_app.perfPerMs);
}

float appSeconds() {
    return (float)appGetTicks() * 0.001f;
}

void appSleep(uint32_t ms) {
    // Without a counter the ticks never move; waiting for them would never end.
    if (!g_app.timerOk) {
        sysSleep(ms);
        return;
    }
    uint32_t start = appGetTicks();
    while (appGetTicks() - start < ms) sysSleep(1);
}

// =====================================================================================================
// [SECTION] Display format detection
// =====================================================================================================

static int32_t detectDisplayFormat() {
    Surface* s = gfxScreen();
    sfRelease(s);
    PlatDisplayProperties p = {};
    if (!platDisplayProperties(&p)) return 0;
    static const struct {
        uint32_t flag;
        uint8_t format;
    } kFormats[] = {{PLAT_FMT_888, pf888},
                    {PLAT_FMT_565, pf565},
                    {PLAT_FMT_555, pf555},
                    {PLAT_FMT_444, pf444},
                    {PLAT_FMT_PALETTE, pfPalette}};
    int32_t format = 0;
    for (const auto& f : kFormats)
        if (p.formatFlags & f.flag) {
            format = f.format;
            break;
        }
    if (!format) return 0;
    // Steps and sizes live in 16-bit fields: anything wider would be silently cut.
    if (p.xPitch < INT16_MIN || p.xPitch > INT16_MAX || p.yPitch < INT16_MIN || p.yPitch > INT16_MAX ||
        p.width == 0 || p.width > INT16_MAX || p.height == 0 || p.height > INT16_MAX)
        return 0;
    s->format = uint8_t(format);
    s->info = sfGetFormat(format);
    s->width = int16_t(p.width);
    s->height = int16_t(p.height);
    s->xStep = int16_t(p.xPitch);
    s->rowPitch = int16_t(p.yPitch);
    s->anchorX = s->anchorY = 0;
    s->ownsPixels = 0;
    s->colourKey = SF_NO_KEY;
    s->pixels = nullptr;

    char16_t oem[OEM_TEXT_CHARS] = {};
    if (platSystemText(0, oem, OEM_TEXT_CHARS - 1) && oem[12] == u'H' && oem[13] == u'3' && oem[14] == u'8') {
        g_app.directFrameBuffer = 1;
        s->xStep = -640;
        s->rowPitch = 2;
    }
    // The bytes the frame buffer spans from its lowest pixel to its highest, whatever the signs of the steps.
    const int32_t bpp = s->info->bytesPerPixel ? s->info->bytesPerPixel : 1;
    s->dataSize = uint32_t(abs(s->xStep) * (s->width - 1) + abs(s->rowPitch) * (s->height - 1) + bpp);
    return 1;
}

// =====================================================================================================
// [SECTION] Opening and closing
// =====================================================================================================

static int32_t openFailed(int32_t line, const char* what) {
    logFailure(line, what);
    // A half-done start must not leave the player without a taskbar or with the display held.
    if (g_app.displayOpen) {
        platDisplayClose();
        g_app.displayOpen = 0;
    }
    if (g_app.taskbarHidden) appShowTaskbar(1);
    return 0;
}

int32_t appOpen(int32_t width, int32_t height, int32_t, int32_t) {
    if (!g_app.window) {
        void* instance = appGetInstance();
        if (!platClassExists(kClassName, instance)) {
            PlatWindowClass cls = {kClassName, CLASS_REDRAW, appWindowProc, instance, g_app.iconId};
            if (!platDefineClass(&cls)) return openFailed(__LINE__, "Could not define the window class");
        }
        g_app.window = platCreateWindow(kClassName, g_app.name, STYLE_POPUP, 0, 0, width, height, instance);
        if (!g_app.window) return openFailed(__LINE__, "Could not create the window");
    }
    platShowWindow(g_app.window, 1);
    platUpdateWindow(g_app.window);
    appShowTaskbar(0);

    // A second open starts the display afresh: upright, no offset, the detected pitches.
    if (g_app.displayOpen) platDisplayClose();
    g_app.displayOpen = 0;
    g_app.directFrameBuffer = 0;
    gfxResetView();
    if (!platDisplayOpen(g_app.window, 1)) return openFailed(__LINE__, "Could not open the display");
    g_app.displayOpen = 1;
    if (!detectDisplayFormat()) return openFailed(__LINE__, "Unknown display format");
    if (!gfxInit()) return openFailed(__LINE__, "Could not set up the graphics state");
    g_app.gfxReady = 1;
    fntInitSystem();
    if (gfxScreen()->format == pfPalette) sfSetPalette(gfxScreen(), gfxDefaultPalette(), 0);
    return 1;
}

void appClose() {
    if (g_app.locked) appEndDraw();
    if (g_app.taskbarHidden) appShowTaskbar(1);
    g_app.directFrameBuffer = 0;
    if (g_app.displayOpen) platDisplayClose();
    g_app.displayOpen = 0;
    if (g_app.gfxReady) gfxShutdown();
    g_app.gfxReady = 0;
}

// =====================================================================================================
// [SECTION] Taskbar
// =====================================================================================================

void appShowTaskbar(int32_t show) {
    if (!g_app.window) return;
    PlatRect r = {};
    platWindowRect(g_app.window, &r);
    PlatWindow taskbar = platFindWindow(kTaskbarClass);
    if (!show) {
        platFullScreen(g_app.window, FULLSCREEN_HIDE);
        if (taskbar) platShowWindow(taskbar, 0);
        g_app.savedTop = r.top;
        g_app.savedGap = SCREEN_HEIGHT - r.bottom;
        if (g_app.savedTop > 0 || g_app.savedGap > 0)
            platMoveWindow(g_app.window, r.left, 0, r.right, r.bottom + g_app.savedGap, 1);
        g_app.taskbarHidden = 1;
    } else {
        platFullScreen(g_app.window, FULLSCREEN_SHOW);
        if (taskbar) platShowWindow(taskbar, 1);
        if (g_app.savedTop > 0 || g_app.savedGap > 0)
            platMoveWindow(g_app.window, r.left, r.top + g_app.savedTop, r.right, r.bottom - g_app.savedGap,
                           1);
        g_app.taskbarHidden = 0;
    }
}

// =====================================================================================================
// [SECTION] Messages
// =====================================================================================================

int32_t appPumpMessages() {
    PlatMessage m;
    for (;;) {
        if (!platPeekMessage(&m)) return 1;
        const int got = platGetMessage(&m);
        if (got == 0) {
            g_app.quit = 1;
            return 0;
        }
        // The get failed although the peek saw a message: nothing to dispatch, and blocking is not ours.
        if (got < 0) return 1;
        platTranslateMessage(&m);
        platDispatchMessage(&m);
    }
}

int32_t appQuitRequested() {
    return g_app.quit;
}

void appForgetPlatform() {
    if (g_app.gfxReady) gfxShutdown();
    gfxScreen()->pixels = nullptr;
    if (g_app.locked) gfxSetTarget(g_app.savedTarget);
    char16_t name[APP_NAME_MAX + 1];
    wstrCopy(name, g_app.name);
    g_app = AppState{};
    wstrCopy(g_app.name, name);
    appInitTimer();
    gfxResetView();
}

intptr_t appWindowProc(intptr_t window, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    switch (message) {
        case PLAT_WM_CREATE:
        case PLAT_WM_ACTIVATE:
        case PLAT_WM_ENABLE:
        case PLAT_WM_SETTINGCHANGE:
            return 0;
        case PLAT_WM_SETFOCUS:
            platDisplayResume();
            return 0;
        case PLAT_WM_KILLFOCUS:
            platDisplaySuspend();
            return 0;
        case PLAT_WM_CLOSE:
            // The window stays: the loop that takes the quit message decides how the program ends.
            platPostQuit(0);
            return 0;
        case PLAT_WM_KEYDOWN:
        case PLAT_WM_KEYUP:
            inpHandleKey(message, wParam);
            return 0;
        case PLAT_WM_MOUSEMOVE:
        case PLAT_WM_LBUTTONDOWN:
        case PLAT_WM_LBUTTONUP:
            inpHandleStylus(message, lParam);
            return 0;
        default:
            return platDefWindowProc(window, message, wParam, lParam);
    }
}

// =====================================================================================================
// [SECTION] Draw lock
// =====================================================================================================

Surface* appBeginDraw() {
    Surface* screen = gfxScreen();
    if (g_app.locked || !g_app.displayOpen) return nullptr;
    void* pixels = g_app.directFrameBuffer ? platDisplayDirectBuffer() : platDisplayBeginDraw();
    if (!pixels) return nullptr;
    screen->pixels = static_cast<uint8_t*>(pixels);
    g_app.savedTarget = gfxSetTarget(screen);
    g_app.locked = 1;
    return screen;
}

void appEndDraw() {
    // Only a lock that succeeded is ended: after a failed one, the saved target is not ours to restore.
    if (!g_app.locked) return;
    if (!g_app.directFrameBuffer) platDisplayEndDraw();
    gfxScreen()->pixels = nullptr;
    gfxSetTarget(g_app.savedTarget);
    g_app.savedTarget = nullptr;
    g_app.locked = 0;
}

// =====================================================================================================
// [SECTION] Waits, battery, icon, errors
// =====================================================================================================

int32_t appGetBatteryLevel() {
    uint8_t flag = 0, life = 0;
    if (!platPowerStatus(&flag, &life)) return -1;
    if (flag & 0x80) return -2;
    return life;
}

int32_t appWait(uint32_t ms) {
    if (g_app.quit) return 1;
    // Without a counter the ticks stand still: the time counts as passed rather than never ending.
    if (!g_app.timerOk) return 0;
    const uint32_t start = appGetTicks();
    while (appGetTicks() - start < ms) {
        if (!appPumpMessages()) return 1;
        inpUpdate();
        sndUpdate();
    }
    return 0;
}

void appSetIcon(uint16_t iconId) {
    g_app.iconId = iconId;
    if (g_app.window) platSetClassIcon(g_app.window, iconId);
}

void appErrorBox(const char16_t* text) {
    if (!text) return;
    logWrite(text, LOG_WIDE | LOG_EOL);
    sysMessageBox(text, 0);
}

void appFatalExit(const char16_t* text) {
    appErrorBox(text);
    appClose();
    inpClose();
    exit(1);
}
