// Input: the key map, raw flags written by the window procedure, the per-frame key states, waits, the event
// queue and key names.
//
// [SECTION] State
// [SECTION] Opening and closing
// [SECTION] Window messages
// [SECTION] Key states
// [SECTION] Waits
// [SECTION] Events
// [SECTION] Key names
//
// The raw tables have one entry per virtual key 0..255 and one for the stylus (256). Every index that enters
// from outside (a message's key code, the device's default keys, a caller's key code) is checked against that
// size here, so the map can never point past the tables; a logical code past the map reads as idle.
#include "brask/input.h"

#include <cstring>

#include "app_internal.h"
#include "brask/app.h"
#include "brask/containers.h"
#include "brask/display.h"
#include "brask/sound.h"
#include "brask/text.h"
#include "platform/platform.h"

// =====================================================================================================
// [SECTION] State
// =====================================================================================================

namespace {

enum { APP_BUTTON_1 = 0xC1, APP_BUTTON_2 = 0xC2, VK_IGNORED_1 = 0x5B, VK_IGNORED_2 = 0x84 };
enum { NAME_CHARS = 12, QUEUE_START = 100, QUEUE_LIMIT = 1000 };

struct KeyMapEntry {
    int32_t primary, secondary;
};

struct InputState {
    KeyMapEntry map[INP_LOGICAL_COUNT];
    uint8_t altKeys;
    uint8_t recording;
    uint8_t opened;
    uint8_t down[INP_RAW_COUNT];
    int32_t state[INP_RAW_COUNT];
    int32_t stylusX, stylusY;
    Array events;  // InpEvent
    InpEventHandler handler;
    char nameBuffer[NAME_CHARS];
    char16_t nameBufferW[NAME_CHARS];
};

InputState g_inp = {{}, 1, 0, 0, {}, {}, 0, 0, {}, nullptr, "(XXXXXXXX)", u"(XXXXXXXX)"};

const char kNames[INP_LOGICAL_COUNT][NAME_CHARS] = {"NONE",  "UP",    "DOWN",  "LEFT",  "RIGHT",     "BUT.A",
                                                    "BUT.B", "BUT.C", "BUT.D", "BUT.E", "BUT.START", "PEN"};
const char16_t kNamesW[INP_LOGICAL_COUNT][NAME_CHARS] = {u"NO",    u"UP",    u"DOWN",      u"LEFT",
                                                         u"RIGHT", u"BUT.A", u"BUT.B",     u"BUT.C",
                                                         u"BUT.D", u"BUT.E", u"BUT.START", u"PEN"};

// A device key code the raw tables can hold, or 0 (never pressed).
int32_t rawKey(int16_t vk) {
    return vk >= 1 && vk <= 255 ? vk : 0;
}

int32_t rawState(int32_t index) {
    return index >= 0 && index < INP_RAW_COUNT ? g_inp.state[index] : INP_IDLE;
}

}  // namespace

// =====================================================================================================
// [SECTION] Opening and closing
// =====================================================================================================

int32_t inpOpen(int32_t landscape) {
    if (!platInputOpen()) return 0;
    g_inp.opened = 1;
    // Keys held when input was last closed never sent their releases here: a new start begins with none down.
    memset(g_inp.down, 0, sizeof g_inp.down);
    memset(g_inp.state, 0, sizeof g_inp.state);
    PlatDefaultKeys k = {};
    platDefaultKeys(&k, landscape ? 1 : 0);
    for (KeyMapEntry& e : g_inp.map) e = KeyMapEntry{0, 0};
    const int16_t primaries[INP_LOGICAL_COUNT] = {0,     k.vkUp, k.vkDown,     k.vkLeft,     k.vkRight, k.vkA,
                                                  k.vkB, k.vkC,  APP_BUTTON_1, APP_BUTTON_2, k.vkStart, 0};
    for (int i = 0; i < INP_LOGICAL_COUNT; i++) g_inp.map[i].primary = rawKey(primaries[i]);
    g_inp.map[INP_PEN].primary = INP_RAW_STYLUS;
    if (g_inp.events.elementSize == 0 && !arrInit(&g_inp.events, sizeof(InpEvent), QUEUE_START)) return 0;
    return 1;
}

void inpClose() {
    if (g_inp.opened) platInputClose();
    g_inp.opened = 0;
    arrFree(&g_inp.events);
    g_inp.events.elementSize = 0;
}

void inpForgetPlatform() {
    arrFree(&g_inp.events);
    g_inp = InputState{{}, 1, 0, 0, {}, {}, 0, 0, {}, nullptr, "(XXXXXXXX)", u"(XXXXXXXX)"};
}

// =====================================================================================================
// [SECTION] Window messages
// =====================================================================================================

static void record(int32_t type, uint16_t key, uint16_t character, int32_t x, int32_t y) {
    InpEvent e = {type, key, character, x, y, {0, 0, 0, 0}};
    // A queue that cannot grow drops the event; the handler still sees it.
    if (g_inp.events.elementSize) arrAppend(&g_inp.events, &e);
    if (g_inp.handler) g_inp.handler(&e);
}

void inpHandleKey(uint32_t message, uintptr_t virtualKey) {
    if (virtualKey == VK_IGNORED_1 || virtualKey == VK_IGNORED_2) return;
    // The raw tables end at 255 for keys; 0 and anything larger come from no real key.
    if (virtualKey < 1 || virtualKey > 255) return;
    const int32_t v = int32_t(virtualKey);
    const bool down = message == PLAT_WM_KEYDOWN;
    const bool repeat = down && g_inp.down[v];
    g_inp.down[v] = down ? 1 : 0;
    if (!g_inp.recording) return;
    uint16_t code = uint16_t(INP_RAW | v);
    for (int i = 0; i < INP_LOGICAL_COUNT; i++)
        if (g_inp.map[i].primary == v || (g_inp.altKeys && g_inp.map[i].secondary == v)) {
            code = uint16_t(i);
            break;
        }
    record(repeat ? INP_EV_REPEAT
           : down ? INP_EV_PRESSED
                  : INP_EV_RELEASED,
           code, platVirtualKeyToChar(v), 0, 0);
}

void inpHandleStylus(uint32_t message, intptr_t lParam) {
    // Whatever the map holds, the stylus is raw index 256: a zero map must not make a tap press key 0.
    if (message == PLAT_WM_LBUTTONDOWN) g_inp.down[INP_RAW_STYLUS] = 1;
    if (message == PLAT_WM_LBUTTONUP) g_inp.down[INP_RAW_STYLUS] = 0;
    const int32_t x = int16_t(uint16_t(uintptr_t(lParam) & 0xFFFF));
    const int32_t y = int16_t(uint16_t((uintptr_t(lParam) >> 16) & 0xFFFF));
    const Surface* screen = gfxScreen();
    const int32_t w = screen->width, h = screen->height;
    switch (gfxGetOrientation()) {
        case 1:
            g_inp.stylusX = w - x;
            g_inp.stylusY = h - y;
            break;
        case 2:
            g_inp.stylusX = w - y;
            g_inp.stylusY = x;
            break;
        case 3:
            g_inp.stylusX = y;
            g_inp.stylusY = h - x;
            break;
        default:
            g_inp.stylusX = x;
            g_inp.stylusY = y;
    }
    if (!g_inp.recording) return;
    if (message != PLAT_WM_LBUTTONUP) record(INP_EV_STYLUS, INP_PEN, 0, g_inp.stylusX, g_inp.stylusY);
    if (message == PLAT_WM_LBUTTONDOWN) record(INP_EV_PRESSED, INP_PEN, 0, g_inp.stylusX, g_inp.stylusY);
    if (message == PLAT_WM_LBUTTONUP) record(INP_EV_RELEASED, INP_PEN, 0, g_inp.stylusX, g_inp.stylusY);
}

// =====================================================================================================
// [SECTION] Key states
// =====================================================================================================

void inpUpdate() {
    // Next state from (was down, is down): a press becomes 2 then 3, a release 1 then 0.
    for (int i = 0; i < INP_RAW_COUNT; i++) {
        const bool wasDown = g_inp.state[i] >= INP_PRESSED;
        g_inp.state[i] =
            g_inp.down[i] ? (wasDown ? INP_HELD : INP_PRESSED) : (wasDown ? INP_RELEASED : INP_IDLE);
    }
    if (g_inp.events.count > QUEUE_LIMIT) arrFree(&g_inp.events);
}

int32_t inpKeyState(uint16_t key) {
    if (key & INP_RAW) return rawState(key & ~INP_RAW);
    if (key >= INP_LOGICAL_COUNT) return INP_IDLE;
    const int32_t primary = rawState(g_inp.map[key].primary);
    if (!g_inp.altKeys) return primary;
    const int32_t secondary = rawState(g_inp.map[key].secondary);
    return primary > secondary ? primary : secondary;
}

static bool logicalMatches(uint16_t key, bool (*test)(int32_t)) {
    if (key >= INP_LOGICAL_COUNT) return false;
    return test(rawState(g_inp.map[key].primary)) ||
           (g_inp.altKeys && test(rawState(g_inp.map[key].secondary)));
}

static bool isDown(int32_t s) {
    return s == INP_PRESSED || s == INP_HELD;
}
static bool isReleased(int32_t s) {
    return s == INP_RELEASED;
}

int32_t inpKeyDown(uint16_t key) {
    if (key & INP_RAW) return isDown(rawState(key & ~INP_RAW));
    return logicalMatches(key, isDown);
}

int32_t inpKeyReleased(uint16_t key) {
    if (key & INP_RAW) return isReleased(rawState(key & ~INP_RAW));
    return logicalMatches(key, isReleased);
}

uint16_t inpAnyKey() {
    for (uint16_t k = 1; k < INP_LOGICAL_COUNT; k++)
        if (logicalMatches(k, isDown)) return k;
    for (int32_t i = 0; i < INP_RAW_COUNT; i++)
        if (isDown(g_inp.state[i])) return uint16_t(INP_RAW | i);
    return 0;
}

int32_t inpStylusX() {
    return g_inp.stylusX;
}
int32_t inpStylusY() {
    return g_inp.stylusY;
}

void inpSetAltKeys(int32_t enabled) {
    g_inp.altKeys = enabled ? 1 : 0;
}

// =====================================================================================================
// [SECTION] Waits
// =====================================================================================================

int32_t inpWaitRelease() {
    while (inpAnyKey() != 0) {
        // After the quit message no one may be left to release the keys: the caller reads the flag.
        if (appQuitRequested() || !appPumpMessages()) return 0;
        inpUpdate();
        sndUpdate();
    }
    inpClearEvents();
    return 0;
}

int32_t inpWaitKey(uint32_t timeoutMs) {
    if (appQuitRequested()) return -1;
    inpWaitRelease();
    if (appQuitRequested()) return -1;
    const uint32_t start = appGetTicks();
    for (;;) {
        const uint16_t a = inpAnyKey();
        if (a) return a;
        // Without a counter the ticks stand still: a time-out counts as passed rather than never ending.
        if (timeoutMs && (!appHasTimer() || appGetTicks() - start >= timeoutMs)) return 0;
        if (!appPumpMessages()) return -1;
        inpUpdate();
        sndUpdate();
    }
}

// =====================================================================================================
// [SECTION] Events
// =====================================================================================================

void inpEnableEvents(int32_t enabled) {
    g_inp.recording = enabled ? 1 : 0;
}

InpEventHandler inpSetEventHandler(InpEventHandler handler) {
    InpEventHandler old = g_inp.handler;
    g_inp.handler = handler;
    return old;
}

int32_t inpHasEvent() {
    return g_inp.events.count > 0;
}

int32_t inpPeekEvent(InpEvent* out) {
    if (g_inp.events.count <= 0 || !out) return 0;
    *out = static_cast<const InpEvent*>(g_inp.events.data)[0];
    return 1;
}

int32_t inpGetEvent(InpEvent* out) {
    if (!inpPeekEvent(out)) return 0;
    arrRemove(&g_inp.events, 0);
    return 1;
}

void inpClearEvents() {
    arrFree(&g_inp.events);
}

// =====================================================================================================
// [SECTION] Key names
// =====================================================================================================

const char* inpKeyName(uint16_t key) {
    if (key < INP_LOGICAL_COUNT) return kNames[key];
    strFromInt(g_inp.nameBuffer, key & ~INP_RAW, 16);
    return g_inp.nameBuffer;
}

const char16_t* inpKeyNameW(uint16_t key) {
    if (key < INP_LOGICAL_COUNT) return kNamesW[key];
    wstrFromInt(g_inp.nameBufferW, key & ~INP_RAW, 16);
    return g_inp.nameBufferW;
}
