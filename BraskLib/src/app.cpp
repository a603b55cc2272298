// Application: its name, the millisecond tick counter, the error box and the fatal exit.
//
// The window, display and message pump join this module with the desktop stand-in; until then appFatalExit
// has nothing open to close.
#include "brask/app.h"

#include <cstdlib>

#include "brask/log.h"
#include "brask/system.h"
#include "brask/text.h"
#include "platform/platform.h"

namespace {

struct AppState {
    char16_t name[APP_NAME_MAX + 1];
    uint64_t perfStart;
    uint64_t perfPerMs;
    uint8_t timerOk;
};

AppState g_app = {u"BraskApp", 0, 0, 0};

}  // namespace

const char16_t* appName() {
    return g_app.name;
}

void appSetTitle(const char16_t* title) {
    if (!title) return;
    int32_t i = 0;
    for (; i < APP_NAME_MAX && title[i]; i++) g_app.name[i] = title[i];
    g_app.name[i] = 0;
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

void appErrorBox(const char16_t* text) {
    if (!text) return;
    logWrite(text, LOG_WIDE | LOG_EOL);
    sysMessageBox(text, 0);
}

void appFatalExit(const char16_t* text) {
    appErrorBox(text);
    exit(1);
}
