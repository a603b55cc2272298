// The desktop backend: the device's services through SDL2.
//
// [SECTION] Clock        SDL's performance counter and delay
// [SECTION] Dialogs      message boxes; no OEM or platform texts on a desktop
// [SECTION] Audio        one output device fed through SDL's audio queue
// [SECTION] Window       one scaled window, classes and their procedures, power
// [SECTION] Messages     SDL events turned into the handheld's messages: keys, stylus, focus, close
// [SECTION] Display      the 565 frame buffer streamed to a texture at every end of drawing; screenshots
// [SECTION] Keys         the desktop's default keys
// [SECTION] Table        the backend table the program selects with platSetBackend
//
// Each SDL subsystem is started by the first service that needs it and stopped when that service is done, so
// a program that never opens the sound never touches the audio drivers. What the player must know on the
// terminal (no display, no sound) is one line each, from here; the libraries below SDL are kept quiet.
#include <SDL2/SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include "platform/platform.h"
#include "platform/platform_internal.h"
#include "platform/sdl2.h"
#include "platform/session.h"

namespace {

// While SDL tries its drivers, the libraries under it print their own complaints on standard error (ALSA's
// configuration probe: eight lines on a machine without a sound card; the Wayland client without a
// session). SDL_GetError keeps the reason that matters. Returns the saved descriptor for quietEnd, or -1.
int quietBegin() {
    fflush(stderr);
    const int saved = dup(2);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved >= 0 && null >= 0) dup2(null, 2);
    if (null >= 0) close(null);
    return saved;
}

void quietEnd(int saved) {
    if (saved < 0) return;
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
}

//-----------------------------------------------------------------------------
// [SECTION] Clock
//-----------------------------------------------------------------------------

int counter(uint64_t* value) {
    *value = SDL_GetPerformanceCounter();
    return 1;
}

int counterFrequency(uint64_t* perSec) {
    *perSec = SDL_GetPerformanceFrequency();
    return *perSec != 0;
}

#ifdef __EMSCRIPTEN__
// A browser draws the canvas and delivers input only between turns of its event loop. The frame loops
// sleep once a frame (SDL_Delay is emscripten_sleep under ASYNCIFY), which is such a turn; the engine's waits
// pump without sleeping and would hold the tab for good. Empty pumps since the last turn: the second gives
// the browser a turn, so a frame loop that sleeps never pays for one and a frame that overran still shows.
int32_t g_emptyPumps;
#endif

void sleep(uint32_t ms) {
    SDL_Delay(ms);
#ifdef __EMSCRIPTEN__
    g_emptyPumps = 0;
#endif
}

//-----------------------------------------------------------------------------
// [SECTION] Dialogs
//-----------------------------------------------------------------------------

enum { BOX_TEXT_MAX = 4096 };

// Blocks until answered, modal over the program's window. Without a display SDL fails at once and the box
// counts as not shown.
int messageBox(const char16_t* text, const char16_t* caption, int32_t kind) {
    static char textUtf8[BOX_TEXT_MAX], captionUtf8[BOX_TEXT_MAX];
    if (!text || !platToUtf8(text, textUtf8, BOX_TEXT_MAX)) textUtf8[0] = 0;
    if (!caption || !platToUtf8(caption, captionUtf8, BOX_TEXT_MAX)) captionUtf8[0] = 0;
    const SDL_MessageBoxButtonData okCancel[] = {
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "Cancel"},
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "OK"},
    };
    const SDL_MessageBoxButtonData okOnly[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 1, "OK"},
    };
    SDL_MessageBoxData box = {};
    box.flags = SDL_MESSAGEBOX_INFORMATION;
    box.window = static_cast<SDL_Window*>(platSdl2Window());
    box.title = captionUtf8;
    box.message = textUtf8;
    box.numbuttons = kind == 1 ? 2 : 1;
    box.buttons = kind == 1 ? okCancel : okOnly;
    int pressed = -1;
#ifdef __EMSCRIPTEN__
    // SDL has no box of its own in a browser; the page's dialogs block as a modal box does.
    (void)box;
    // clang-format off
    return EM_ASM_INT({
        const text = UTF8ToString($1) + "\n\n" + UTF8ToString($0);
        if ($2 != 1) { alert(text); return 1; }
        return confirm(text) ? 1 : 2;
    }, textUtf8, captionUtf8, kind);
    // clang-format on
#endif
    if (SDL_ShowMessageBox(&box, &pressed) != 0) return 0;
    // Closed with its close button or Escape (-1): a refusal of the question, but a box with OK alone has
    // nothing else to answer.
    if (kind != 1) return 1;
    return pressed == 1 ? 1 : 2;
}

int systemText(int32_t, char16_t*, int32_t) {
    return 0;
}

//-----------------------------------------------------------------------------
// [SECTION] Audio
//-----------------------------------------------------------------------------

SDL_AudioDeviceID g_audioDevice;

void audioClose() {
    if (!g_audioDevice) return;
    SDL_CloseAudioDevice(g_audioDevice);
    g_audioDevice = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// Said once a run: the sound layer plays on silently, and a second try would only repeat it.
void tellSoundOff() {
    static uint8_t told;
    if (told) return;
    told = 1;
    fprintf(stderr, "Sound is off: no sound device could be opened (%s)\n", SDL_GetError());
}

// SDL converts our format to the device's, so the stream always runs at the rate and channels asked for.
int audioOpen(int32_t rate, int32_t channels) {
    audioClose();
    const int quiet = quietBegin();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        quietEnd(quiet);
        tellSoundOff();
        return 0;
    }
    SDL_AudioSpec want = {};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = (Uint8)channels;
    want.samples = 1024;
    want.callback = nullptr;  // the queue, fed from the game's thread
    SDL_AudioSpec have;
    g_audioDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    quietEnd(quiet);
    if (!g_audioDevice) {
        tellSoundOff();  // before the subsystem's end replaces the reason
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }
    SDL_PauseAudioDevice(g_audioDevice, 0);
    return 1;
}

int audioQueue(const void* bytes, int32_t count) {
    return g_audioDevice && SDL_QueueAudio(g_audioDevice, bytes, (Uint32)count) == 0;
}

int32_t audioQueued() {
    return g_audioDevice ? (int32_t)SDL_GetQueuedAudioSize(g_audioDevice) : 0;
}

//-----------------------------------------------------------------------------
// [SECTION] Window
//-----------------------------------------------------------------------------

enum {
    SCREEN_W = 240,
    SCREEN_H = 320,
    MAX_CLASSES = 8,
    CLASS_NAME_MAX = 64,
    QUEUE_MAX = 512,
    TITLE_MAX = 256,
};

// The desktop has one window; its handle is this number.
const PlatWindow MAIN_WINDOW = 1;

struct Sdl2Class {
    char16_t name[CLASS_NAME_MAX];
    void* instance;
    PlatWindowProc proc;
};

// A ring of messages waiting for the engine.
struct MessageRing {
    PlatMessage items[QUEUE_MAX];
    int32_t head, count;
};

struct Sdl2State {
    int32_t scale;  // 0: the default, 2
    Sdl2Class classes[MAX_CLASSES];
    int32_t classCount;
    int32_t windowClass;
    int32_t width, height;  // as the engine asked, in screen pixels
    uint8_t videoStarted;
    SDL_Window* window;
    SDL_Renderer* renderer;
    SDL_Texture* texture;

    MessageRing queue;
    // A release that came in the same pump as its press waits here for the next pump, and so does everything
    // after it, to keep the order. The flags say which presses this pump has queued: the stylus, and each
    // virtual key; pressInPump is set whenever any of them is.
    MessageRing held;
    uint8_t pressInPump;
    uint8_t penPressInPump;
    uint8_t keyPressInPump[256];
    uint8_t quitPending;
    int32_t quitCode;

    uint8_t keyDown[256];
    uint8_t penDown, penIgnored;
    int32_t penX, penY;

    uint8_t displayOpen, drawing, framePresented;
    uint16_t frame[SCREEN_W * SCREEN_H];
    uint16_t direct[SCREEN_W * SCREEN_H];
} gs;

int sameName(const char16_t* a, const char16_t* b) {
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

int32_t findClass(const char16_t* name, void* instance) {
    for (int32_t i = 0; i < gs.classCount; i++)
        if (gs.classes[i].instance == instance && sameName(gs.classes[i].name, name)) return i;
    return -1;
}

int isMain(PlatWindow w) {
    return w == MAIN_WINDOW && gs.window;
}

// Why the window system could not start; empty while it could.
char g_videoProblem[256];

// Without a display SDL falls back by itself to a driver that draws nowhere, and the game would run unseen:
// such a driver counts only when asked for by name (SDL_VIDEODRIVER, as tests do).
int startVideo() {
    const int quiet = quietBegin();
    const int started = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    quietEnd(quiet);
    if (!started) {
        snprintf(g_videoProblem, sizeof g_videoProblem, "no display to open a window on (%s)",
                 SDL_GetError());
        return 0;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!SDL_getenv("SDL_VIDEODRIVER") && driver &&
        (!strcmp(driver, "offscreen") || !strcmp(driver, "dummy"))) {
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        snprintf(g_videoProblem, sizeof g_videoProblem,
                 "no display to open a window on (SDL found none and chose its '%s' driver)", driver);
        return 0;
    }
    g_videoProblem[0] = 0;
    return 1;
}

int classExists(const char16_t* name, void* instance) {
    return findClass(name, instance) >= 0;
}

int defineClass(const PlatWindowClass* cls) {
    if (gs.classCount >= MAX_CLASSES || findClass(cls->name, cls->instance) >= 0) return 0;
    Sdl2Class* c = &gs.classes[gs.classCount];
    int32_t n = 0;
    for (; cls->name[n]; n++) {
        if (n == CLASS_NAME_MAX - 1) return 0;
        c->name[n] = cls->name[n];
    }
    c->name[n] = 0;
    c->instance = cls->instance;
    c->proc = cls->proc;
    gs.classCount++;
    return 1;
}

int setWindowText(PlatWindow w, const char16_t* text) {
    char title[TITLE_MAX];
    if (!isMain(w)) return 0;
    if (!platToUtf8(text, title, TITLE_MAX)) title[0] = 0;
    SDL_SetWindowTitle(gs.window, title);
    return 1;
}

void showFrame() {
    if (!gs.renderer) return;
    SDL_SetRenderDrawColor(gs.renderer, 0, 0, 0, 255);
    SDL_RenderClear(gs.renderer);
    if (gs.texture && gs.framePresented) SDL_RenderCopy(gs.renderer, gs.texture, nullptr, nullptr);
    SDL_RenderPresent(gs.renderer);
}

// The window shows the screen at a whole-number scale with nearest sampling, letterboxed when the player
// resizes it to other proportions; mouse positions then arrive in screen pixels.
PlatWindow createWindow(const char16_t* className, const char16_t* text, uint32_t, int32_t, int32_t,
                        int32_t width, int32_t height, void* instance) {
    int32_t cls = findClass(className, instance);
    if (cls < 0 || gs.window || width <= 0 || height <= 0 || width > 4096 || height > 4096) return 0;
    if (!gs.videoStarted) {
        if (!startVideo()) return 0;
        gs.videoStarted = 1;
    }
    int32_t k = platSdl2Scale();
    SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "nearest");
    gs.window = SDL_CreateWindow("", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width * k, height * k,
                                 SDL_WINDOW_RESIZABLE | SDL_WINDOW_HIDDEN);
    if (gs.window) gs.renderer = SDL_CreateRenderer(gs.window, -1, 0);
    if (!gs.renderer || SDL_RenderSetLogicalSize(gs.renderer, width, height) != 0 ||
        SDL_RenderSetIntegerScale(gs.renderer, SDL_TRUE) != 0) {
        if (gs.renderer) SDL_DestroyRenderer(gs.renderer);
        if (gs.window) SDL_DestroyWindow(gs.window);
        gs.renderer = nullptr;
        gs.window = nullptr;
        return 0;
    }
    gs.windowClass = cls;
    gs.width = width;
    gs.height = height;
    setWindowText(MAIN_WINDOW, text);
    PlatWindowProc proc = gs.classes[cls].proc;
    if (proc && proc(MAIN_WINDOW, PLAT_WM_CREATE, 0, 0) == -1) {
        SDL_DestroyRenderer(gs.renderer);
        SDL_DestroyWindow(gs.window);
        gs.renderer = nullptr;
        gs.window = nullptr;
        return 0;
    }
    return MAIN_WINDOW;
}

void showWindow(PlatWindow w, int32_t show) {
    if (!isMain(w)) return;
    if (show)
        SDL_ShowWindow(gs.window);
    else
        SDL_HideWindow(gs.window);
}

void updateWindow(PlatWindow w) {
    if (isMain(w)) showFrame();
}

// The window manager places and sizes a desktop window, and there is no taskbar to make room for: the
// window keeps its place and the engine's rectangle stays the screen's.
int moveWindow(PlatWindow w, int32_t, int32_t, int32_t, int32_t, int32_t) {
    return isMain(w);
}

int windowRect(PlatWindow w, PlatRect* out) {
    if (!isMain(w)) return 0;
    *out = {0, 0, gs.width, gs.height};
    return 1;
}

PlatWindow findWindow(const char16_t* className) {
    return gs.window && sameName(gs.classes[gs.windowClass].name, className) ? MAIN_WINDOW : 0;
}

int fullScreen(PlatWindow w, uint32_t) {
    return isMain(w);
}

int setClassIcon(PlatWindow, uint16_t) {
    return 0;  // a desktop program has no icon resources
}

// The handheld's battery flags: 1 high, 2 low, 4 critical, 8 charging, 0x80 no battery; 255 unknown life.
int powerStatus(uint8_t* batteryFlag, uint8_t* lifePercent) {
    int percent = -1;
    SDL_PowerState state = SDL_GetPowerInfo(nullptr, &percent);
    if (state == SDL_POWERSTATE_UNKNOWN) return 0;
    *lifePercent = percent >= 0 && percent <= 100 ? (uint8_t)percent : 255;
    if (state == SDL_POWERSTATE_NO_BATTERY) {
        *batteryFlag = 0x80;
    } else {
        *batteryFlag = percent < 0 ? 0 : percent > 66 ? 1 : percent >= 33 ? 0 : percent >= 5 ? 2 : 4;
        if (state == SDL_POWERSTATE_CHARGING) *batteryFlag |= 8;
    }
    return 1;
}

//-----------------------------------------------------------------------------
// [SECTION] Messages
//-----------------------------------------------------------------------------

void push(MessageRing* r, const PlatMessage& m) {
    if (r->count == QUEUE_MAX) return;  // a program that stopped pumping loses the newest input
    r->items[(r->head + r->count++) % QUEUE_MAX] = m;
}

PlatMessage pop(MessageRing* r) {
    PlatMessage m = r->items[r->head];
    r->head = (r->head + 1) % QUEUE_MAX;
    r->count--;
    return m;
}

// A press and its release inside one pump would cancel out before the engine's next key update; holding the
// release (and what follows it) to the next pump makes a quick click or a quick key tap count. Only the
// release of what was pressed in this very pump waits: other releases go through at once.
void post(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    PlatMessage m = {MAIN_WINDOW, message, wParam, lParam};
    const bool key = message == PLAT_WM_KEYDOWN || message == PLAT_WM_KEYUP;
    const uint8_t vk = (uint8_t)(key ? wParam : 0);
    const bool quickRelease = (message == PLAT_WM_LBUTTONUP && gs.penPressInPump) ||
                              (message == PLAT_WM_KEYUP && gs.keyPressInPump[vk]);
    if (gs.held.count || quickRelease) {
        push(&gs.held, m);
        return;
    }
    push(&gs.queue, m);
    if (message == PLAT_WM_LBUTTONDOWN) gs.penPressInPump = gs.pressInPump = 1;
    if (message == PLAT_WM_KEYDOWN) gs.keyPressInPump[vk] = gs.pressInPump = 1;
}

// The pump is over: the next one may release what this one pressed.
void endPump() {
    if (!gs.pressInPump) return;
    gs.pressInPump = gs.penPressInPump = 0;
    memset(gs.keyPressInPump, 0, sizeof gs.keyPressInPump);
}

void releaseHeld() {
    MessageRing held = gs.held;
    gs.held.count = 0;
    while (held.count) {
        PlatMessage m = pop(&held);
        post(m.message, m.wParam, m.lParam);
    }
}

intptr_t packPoint(int32_t x, int32_t y) {
    return (intptr_t)(int32_t)(((uint32_t)(uint16_t)y << 16) | (uint16_t)x);
}

int32_t clampTo(int32_t v, int32_t limit) {
    return v < 0 ? 0 : v >= limit ? limit - 1 : v;
}

// Scancodes, so the keys sit where they are whatever the keyboard layout; V and B are the two application
// buttons. Keys not listed send nothing.
struct KeyRow {
    SDL_Scancode scancode;
    uint8_t vk;
};
const KeyRow KEY_ROWS[] = {
    {SDL_SCANCODE_UP, PLAT_VK_UP},
    {SDL_SCANCODE_DOWN, PLAT_VK_DOWN},
    {SDL_SCANCODE_LEFT, PLAT_VK_LEFT},
    {SDL_SCANCODE_RIGHT, PLAT_VK_RIGHT},
    {SDL_SCANCODE_RETURN, PLAT_VK_RETURN},
    {SDL_SCANCODE_KP_ENTER, PLAT_VK_RETURN},
    {SDL_SCANCODE_V, PLAT_VK_APP1},
    {SDL_SCANCODE_B, PLAT_VK_APP2},
    {SDL_SCANCODE_BACKSPACE, 0x08},
    {SDL_SCANCODE_TAB, 0x09},
    {SDL_SCANCODE_ESCAPE, 0x1B},
    {SDL_SCANCODE_SPACE, 0x20},
    {SDL_SCANCODE_PAGEUP, 0x21},
    {SDL_SCANCODE_PAGEDOWN, 0x22},
    {SDL_SCANCODE_END, 0x23},
    {SDL_SCANCODE_HOME, 0x24},
    {SDL_SCANCODE_INSERT, 0x2D},
    {SDL_SCANCODE_DELETE, 0x2E},
    {SDL_SCANCODE_LSHIFT, 0x10},
    {SDL_SCANCODE_RSHIFT, 0x10},
    {SDL_SCANCODE_LCTRL, 0x11},
    {SDL_SCANCODE_RCTRL, 0x11},
    {SDL_SCANCODE_LALT, 0x12},
    {SDL_SCANCODE_RALT, 0x12},
    {SDL_SCANCODE_KP_MULTIPLY, 0x6A},
    {SDL_SCANCODE_KP_PLUS, 0x6B},
    {SDL_SCANCODE_KP_MINUS, 0x6D},
    {SDL_SCANCODE_KP_PERIOD, 0x6E},
    {SDL_SCANCODE_KP_DIVIDE, 0x6F},
    {SDL_SCANCODE_0, 0x30},
    {SDL_SCANCODE_KP_0, 0x60},
};

uint32_t virtualKeyOf(SDL_Scancode s) {
    for (const KeyRow& row : KEY_ROWS)
        if (row.scancode == s) return row.vk;
    if (s >= SDL_SCANCODE_A && s <= SDL_SCANCODE_Z) return 0x41 + (s - SDL_SCANCODE_A);  // Z, X, C among them
    if (s >= SDL_SCANCODE_1 && s <= SDL_SCANCODE_9) return 0x31 + (s - SDL_SCANCODE_1);
    if (s >= SDL_SCANCODE_KP_1 && s <= SDL_SCANCODE_KP_9) return 0x61 + (s - SDL_SCANCODE_KP_1);
    if (s >= SDL_SCANCODE_F1 && s <= SDL_SCANCODE_F12) return 0x70 + (s - SDL_SCANCODE_F1);
    return 0;
}

// What is down when the window loses focus would stay down for good: its releases go first.
void releaseEverything() {
    for (uint32_t vk = 0; vk < 256; vk++)
        if (gs.keyDown[vk]) {
            gs.keyDown[vk] = 0;
            post(PLAT_WM_KEYUP, vk, 0);
        }
    if (gs.penDown) post(PLAT_WM_LBUTTONUP, 0, packPoint(gs.penX, gs.penY));
    gs.penDown = gs.penIgnored = 0;
}

void translate(const SDL_Event& e) {
    switch (e.type) {
        case SDL_QUIT:  // the window's close button, SIGINT and SIGTERM
            post(PLAT_WM_CLOSE, 0, 0);
            break;
        case SDL_WINDOWEVENT:
            if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
                releaseEverything();
                post(PLAT_WM_KILLFOCUS, 0, 0);
            } else if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED) {
                post(PLAT_WM_SETFOCUS, 0, 0);
            } else if (e.window.event == SDL_WINDOWEVENT_EXPOSED ||
                       e.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                showFrame();
            }
            break;
        case SDL_KEYDOWN:
        case SDL_KEYUP: {
            uint32_t vk = virtualKeyOf(e.key.keysym.scancode);
            if (!vk) break;
            if (e.type == SDL_KEYDOWN) {
                gs.keyDown[vk] = 1;
                post(PLAT_WM_KEYDOWN, vk, 0);  // an auto-repeat is another down, as on the handheld
            } else if (gs.keyDown[vk]) {       // not a release already sent when focus went
                gs.keyDown[vk] = 0;
                post(PLAT_WM_KEYUP, vk, 0);
            }
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
            if (e.button.button != SDL_BUTTON_LEFT || gs.penDown) break;
            if (e.button.x < 0 || e.button.x >= gs.width || e.button.y < 0 || e.button.y >= gs.height) {
                gs.penIgnored = 1;  // on the letterbox bars: no touch, and no release for it either
                break;
            }
            gs.penDown = 1;
            gs.penX = e.button.x;
            gs.penY = e.button.y;
            post(PLAT_WM_LBUTTONDOWN, 0, packPoint(gs.penX, gs.penY));
            break;
        case SDL_MOUSEMOTION:
            if (!gs.penDown) break;
            gs.penX = clampTo(e.motion.x, gs.width);
            gs.penY = clampTo(e.motion.y, gs.height);
            post(PLAT_WM_MOUSEMOVE, 0, packPoint(gs.penX, gs.penY));
            break;
        case SDL_MOUSEBUTTONUP:
            if (e.button.button != SDL_BUTTON_LEFT) break;
            if (gs.penDown) {
                gs.penX = clampTo(e.button.x, gs.width);
                gs.penY = clampTo(e.button.y, gs.height);
                post(PLAT_WM_LBUTTONUP, 0, packPoint(gs.penX, gs.penY));
            }
            gs.penDown = gs.penIgnored = 0;
            break;
        default:
            break;
    }
}

// A pump ends when a peek finds nothing; held messages join the queue only after that.
void collect() {
    if (gs.held.count && !gs.pressInPump) releaseHeld();
    if (!gs.videoStarted) return;
    SDL_Event e;
    while (SDL_PollEvent(&e)) translate(e);
}

void postQuit(int32_t exitCode) {
    gs.quitPending = 1;
    gs.quitCode = exitCode;
}

int peekMessage(PlatMessage* out) {
    collect();
    if (gs.queue.count) {
        *out = gs.queue.items[gs.queue.head];
        return 1;
    }
    if (gs.quitPending) {
        *out = {0, PLAT_WM_QUIT, (uintptr_t)(intptr_t)gs.quitCode, 0};
        return 1;
    }
    endPump();
#ifdef __EMSCRIPTEN__
    if (++g_emptyPumps >= 2) {
        emscripten_sleep(1);
        g_emptyPumps = 0;
    }
#endif
    return 0;
}

// Blocks until a message comes; -1 when nothing could ever come (no window system started).
int getMessage(PlatMessage* out) {
    collect();
    while (!gs.queue.count && !gs.quitPending) {
        endPump();
        if (gs.held.count) {
            releaseHeld();
            continue;
        }
        SDL_Event e;
        if (!gs.videoStarted || !SDL_WaitEvent(&e)) {
            *out = {0, 0, 0, 0};
            return -1;
        }
        translate(e);
    }
    if (gs.queue.count) {
        *out = pop(&gs.queue);
        return 1;
    }
    gs.quitPending = 0;
    *out = {0, PLAT_WM_QUIT, (uintptr_t)(intptr_t)gs.quitCode, 0};
    return 0;
}

void translateMessage(const PlatMessage*) {}

intptr_t dispatchMessage(const PlatMessage* m) {
    if (!isMain(m->window) || !gs.classes[gs.windowClass].proc) return 0;
    return gs.classes[gs.windowClass].proc(m->window, m->message, m->wParam, m->lParam);
}

intptr_t defWindowProc(PlatWindow, uint32_t, uintptr_t, intptr_t) {
    return 0;
}

//-----------------------------------------------------------------------------
// [SECTION] Display
//-----------------------------------------------------------------------------

#ifdef __EMSCRIPTEN__
// SDL widens 565 through tables that leave some colours a step off the widening the screenshots use; a page
// gets each frame already widened as writeFramePng does, so the canvas shows exactly the screenshots'
// colours.
const Uint32 TEXTURE_FORMAT = SDL_PIXELFORMAT_ARGB8888;
uint32_t g_wideFrame[SCREEN_W * SCREEN_H];
#else
const Uint32 TEXTURE_FORMAT = SDL_PIXELFORMAT_RGB565;
#endif

int displayOpen(PlatWindow w, int32_t) {
    if (!isMain(w)) return 0;
    if (!gs.texture) {
        gs.texture =
            SDL_CreateTexture(gs.renderer, TEXTURE_FORMAT, SDL_TEXTUREACCESS_STREAMING, SCREEN_W, SCREEN_H);
        if (!gs.texture) return 0;
    }
    gs.displayOpen = 1;
    return 1;
}

int displayClose() {
    int was = gs.displayOpen;
    gs.displayOpen = gs.drawing = 0;
    return was;
}

int displayProperties(PlatDisplayProperties* out) {
    *out = {SCREEN_W, SCREEN_H, 2, SCREEN_W * 2, 16, PLAT_FMT_565};
    return 1;
}

void* displayBeginDraw() {
    if (!gs.displayOpen || gs.drawing) return nullptr;
    gs.drawing = 1;
    return gs.frame;
}

// The frame buffer as the player sees it: 565 widened to 8 bits a channel the way the headless snapshot
// does, so the same frame gives the same file on both backends.
int writeFramePng(const char* utf8Path) {
    static uint8_t rgb[SCREEN_W * SCREEN_H * 3];
    for (int32_t i = 0; i < SCREEN_W * SCREEN_H; i++) {
        const uint32_t v = gs.frame[i];
        rgb[3 * i] = (uint8_t)((v >> 11 & 31) * 255 / 31);
        rgb[3 * i + 1] = (uint8_t)((v >> 5 & 63) * 255 / 63);
        rgb[3 * i + 2] = (uint8_t)((v & 31) * 255 / 31);
    }
    return platWritePng(utf8Path, rgb, SCREEN_W, SCREEN_H);
}

int displayEndDraw() {
    if (!gs.drawing) return 0;
    gs.drawing = 0;
    platFrameEnded();  // counted as the headless script counts frames, so a record made here replays there
    // Most screens stand still between taps (the menu, the tables, a pause): a frame equal to the one on
    // the window is not sent again, which saves the upload and the compositor's work twenty times a second.
    // The window repaints itself from the texture when it is exposed.
    static uint16_t shown[SCREEN_W * SCREEN_H];
    if (!gs.framePresented || memcmp(shown, gs.frame, sizeof shown) != 0) {
#ifdef __EMSCRIPTEN__
        for (int32_t i = 0; i < SCREEN_W * SCREEN_H; i++) {
            const uint32_t v = gs.frame[i];
            g_wideFrame[i] = 0xFF000000u | (v >> 11 & 31) * 255 / 31 << 16 | (v >> 5 & 63) * 255 / 63 << 8 |
                             (v & 31) * 255 / 31;
        }
        if (SDL_UpdateTexture(gs.texture, nullptr, g_wideFrame, SCREEN_W * 4) != 0) return 0;
#else
        if (SDL_UpdateTexture(gs.texture, nullptr, gs.frame, SCREEN_W * 2) != 0) return 0;
#endif
        memcpy(shown, gs.frame, sizeof shown);
        gs.framePresented = 1;
        showFrame();
    }
    platPresented(writeFramePng);
    return 1;
}

int displaySuspend() {
    return gs.displayOpen;
}

int displayResume() {
    return gs.displayOpen;
}

// The direct mode's layout runs down the columns (pixel (x, y) at y * 2 - x * 640 bytes): pixel (0, 0) is the
// first of the last column. Nothing drawn there is shown; the desktop never reports the device that uses it.
void* displayDirectBuffer() {
    return (uint8_t*)gs.direct + (SCREEN_W - 1) * SCREEN_H * 2;
}

//-----------------------------------------------------------------------------
// [SECTION] Keys
//-----------------------------------------------------------------------------

int inputOpen() {
    return 1;
}

int inputClose() {
    return 1;
}

int defaultKeys(PlatDefaultKeys* out, int32_t) {
    *out = {PLAT_VK_UP, PLAT_VK_DOWN, PLAT_VK_LEFT, PLAT_VK_RIGHT,
            PLAT_VK_Z,  PLAT_VK_X,    PLAT_VK_C,    PLAT_VK_RETURN};
    return 1;
}

uint16_t virtualKeyToChar(uint32_t vk) {
    return platUsVirtualKeyChar(vk);
}

}  // namespace

//-----------------------------------------------------------------------------
// [SECTION] Table
//-----------------------------------------------------------------------------

// In the order of PlatformBackend's members.
const PlatformBackend platSdl2 = {
    "sdl2",           counter,         counterFrequency,  sleep,
    messageBox,       systemText,      audioOpen,         audioQueue,
    audioQueued,      audioClose,      classExists,       defineClass,
    createWindow,     showWindow,      updateWindow,      moveWindow,
    windowRect,       setWindowText,   findWindow,        fullScreen,
    setClassIcon,     postQuit,        peekMessage,       getMessage,
    translateMessage, dispatchMessage, defWindowProc,     powerStatus,
    displayOpen,      displayClose,    displayProperties, displayBeginDraw,
    displayEndDraw,   displaySuspend,  displayResume,     displayDirectBuffer,
    inputOpen,        inputClose,      defaultKeys,       virtualKeyToChar,
};

int platSdl2SetScale(int32_t scale) {
    if (scale < 1 || scale > 16) return 0;
    gs.scale = scale;
    return 1;
}

int32_t platSdl2Scale() {
    return gs.scale ? gs.scale : 2;
}

void* platSdl2Window() {
    return gs.window;
}

const char* platSdl2VideoProblem() {
    return g_videoProblem[0] ? g_videoProblem : nullptr;
}

void platSdl2Shutdown() {
    if (gs.texture) SDL_DestroyTexture(gs.texture);
    if (gs.renderer) SDL_DestroyRenderer(gs.renderer);
    if (gs.window) SDL_DestroyWindow(gs.window);
    if (gs.videoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    int32_t scale = gs.scale;
    memset(&gs, 0, sizeof gs);
    gs.scale = scale;
}
