// The headless backend: a virtual clock, scripted message boxes, an audio capture, a window system with a
// scriptable message queue, a display in memory, and the test controls of headless.h.
//
// [SECTION] Clock, boxes, audio
// [SECTION] Window system
// [SECTION] Messages and script
// [SECTION] Display
// [SECTION] Keys
// [SECTION] Table and controls
// [SECTION] Window, display and key controls
#include "platform/headless.h"

#include <errno.h>
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/platform_internal.h"
#include "platform/session.h"

namespace {

//-----------------------------------------------------------------------------
// [SECTION] Clock, boxes, audio
//-----------------------------------------------------------------------------

enum { MAX_REFUSALS = 16, MAX_BOXES = 32, MAX_ANSWERS = 32, TEXT_MAX = 1024 };

struct Refusal {
    char path[TEXT_MAX];
    int kinds;
};

struct Box {
    char text[TEXT_MAX], caption[TEXT_MAX];
    int32_t kind;
};

// Plain static state: the headless backend may be used from atexit handlers, so nothing here has a
// destructor.
struct HeadlessState {
    char programPath[TEXT_MAX];
    char documents[TEXT_MAX];
    uint8_t hasProgramPath, hasDocuments;
    uint8_t counterMissing;
    uint64_t counter, step;
    Refusal refusals[MAX_REFUSALS];
    int32_t refusalCount;
    Box boxes[MAX_BOXES];
    int32_t boxCount;
    int answers[MAX_ANSWERS];
    int32_t answerCount, answerNext;
    char systemText[2][TEXT_MAX];
    uint8_t hasSystemText[2];
} g;

// The audio "device": it plays in step with the virtual counter and keeps every byte it was given, laid out
// on its own timeline (an underrun shows as the silence a real device would have played).
struct HeadlessAudio {
    uint8_t open, refuseOpen;
    int32_t failQueues;
    int32_t rate, channels;
    uint64_t openedAt;  // counter value at open
    uint8_t* capture;   // C heap: this is the device's memory, not the program's
    // Positions count bytes from the open; the capture holds [dropped, length).
    int64_t dropped, length, capacity;
} ga;

// A long run keeps only its newest audio: when the capture would pass the limit, the oldest part is let go
// so that half the limit remains, and queueing goes on succeeding as a real device's would.
enum : int64_t { AUDIO_CAPTURE_MAX = 64 << 20, AUDIO_CAPTURE_KEEP = AUDIO_CAPTURE_MAX / 2 };

void copyText(char* dst, const char* src) {
    strncpy(dst, src, TEXT_MAX - 1);
    dst[TEXT_MAX - 1] = 0;
}

int counter(uint64_t* value) {
    if (g.counterMissing) return 0;
    g.counter += g.step ? g.step : 1000;
    *value = g.counter;
    return 1;
}

int counterFrequency(uint64_t* perSec) {
    if (g.counterMissing) return 0;
    *perSec = 1000000;
    return 1;
}

// Sleeping moves the virtual clock instead of the thread, so waits are instant and repeatable.
void sleep(uint32_t ms) {
    g.counter += (uint64_t)ms * 1000;
}

void deliverScript();

int messageBox(const char16_t* text, const char16_t* caption, int32_t kind) {
    deliverScript();  // a scripted answer due by now goes before this box
    if (g.boxCount < MAX_BOXES) {
        Box* b = &g.boxes[g.boxCount];
        if (!text || !platToUtf8(text, b->text, TEXT_MAX)) b->text[0] = 0;
        if (!caption || !platToUtf8(caption, b->caption, TEXT_MAX)) b->caption[0] = 0;
        b->kind = kind;
    }
    g.boxCount++;
    if (g.answerNext < g.answerCount) return g.answers[g.answerNext++];
    return 1;
}

int systemText(int32_t which, char16_t* out, int32_t capacity) {
    if (which < 0 || which > 1 || !g.hasSystemText[which]) return 0;
    return platFromUtf8(g.systemText[which], out, capacity);
}

int64_t audioPlayed() {
    uint64_t micros = g.counter - ga.openedAt;
    return (int64_t)(micros * (uint64_t)ga.rate / 1000000) * 2 * ga.channels;
}

void audioClose() {
    ga.open = 0;
}

int audioOpen(int32_t rate, int32_t channels) {
    if (ga.refuseOpen) return 0;
    ga.open = 1;
    ga.rate = rate;
    ga.channels = channels;
    ga.openedAt = g.counter;
    ga.dropped = ga.length = 0;  // a new stream starts a new capture
    return 1;
}

int reserve(int64_t size) {
    if (size <= ga.capacity) return 1;
    int64_t cap = ga.capacity ? ga.capacity : 1 << 16;
    while (cap < size) cap *= 2;
    uint8_t* p = (uint8_t*)realloc(ga.capture, (size_t)cap);
    if (!p) return 0;
    ga.capture = p;
    ga.capacity = cap;
    return 1;
}

// Lets go of everything before `from` (a frame boundary), moving what is kept to the front.
void dropBefore(int64_t from) {
    if (from <= ga.dropped) return;
    if (from < ga.length) memmove(ga.capture, ga.capture + (from - ga.dropped), (size_t)(ga.length - from));
    ga.dropped = from;
    if (ga.length < from) ga.length = from;
}

int audioQueue(const void* bytes, int32_t count) {
    if (!ga.open) return 0;
    if (ga.failQueues > 0) {
        ga.failQueues--;
        return 0;
    }
    const uint8_t* in = (const uint8_t*)bytes;
    int64_t start = ga.length, played = audioPlayed();
    if (played > start) start = played;
    const int64_t end = start + count;
    if (end - ga.dropped > AUDIO_CAPTURE_MAX) {
        const int64_t frame = 2 * ga.channels;
        int64_t from = end - AUDIO_CAPTURE_KEEP;
        from -= from % frame;
        if (from > start) {  // more than the capture keeps in one call: only its newest part stays
            in += from - start;
            start = from;
        }
        dropBefore(from);
    }
    if (!reserve(end - ga.dropped)) return 0;
    memset(ga.capture + (ga.length - ga.dropped), 0, (size_t)(start - ga.length));
    memcpy(ga.capture + (start - ga.dropped), in, (size_t)(end - start));
    ga.length = end;
    return 1;
}

int32_t audioQueued() {
    if (!ga.open) return 0;
    int64_t left = ga.length - audioPlayed();
    return left > 0 ? (int32_t)left : 0;
}

//-----------------------------------------------------------------------------
// [SECTION] Window system
//-----------------------------------------------------------------------------

enum {
    MAX_CLASSES = 16,
    MAX_WINDOWS = 16,
    CLASS_NAME_MAX = 64,
    WINDOW_TEXT_MAX = 256,
    QUEUE_MAX = 1024,
};

// Handles look nothing like indices so that a test passing a wrong number gets "no such window".
const PlatWindow FIRST_WINDOW = 0x10001;
const PlatWindow TASKBAR_WINDOW = 0x20000;

struct HeadlessClass {
    char16_t name[CLASS_NAME_MAX];
    void* instance;
    PlatWindowProc proc;
    uint32_t style;
    uint16_t iconId;
};

struct HeadlessWindow {
    int32_t cls;
    char text[WINDOW_TEXT_MAX];
    uint32_t style;
    PlatRect rect;
    int32_t moves;
    uint8_t shown;
};

// One scripted happening: a message for the first window, or the answer of the next message box.
struct ScriptItem {
    int32_t frame;
    uint8_t isAnswer;
    int32_t answer;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

struct HeadlessWindowing {
    uint8_t failClass, failCreate;
    PlatRect startRect;
    HeadlessClass classes[MAX_CLASSES];
    int32_t classCount;
    HeadlessWindow windows[MAX_WINDOWS];
    int32_t windowCount;
    uint8_t taskbarPresent, taskbarHidden;
    uint32_t lastFullScreen;

    // The queue is a ring; the quit request is a flag taken only once every posted message is gone, as the
    // handheld's system did.
    PlatMessage queue[QUEUE_MAX];
    int32_t head, count;
    uint8_t quitPending;
    int32_t quitCode;

    ScriptItem* script;  // C heap, like the audio capture: it belongs to the "device"
    int32_t scriptCount, scriptNext;
    int32_t frame;
    // A recorded run's start: its seed and the player files it began with (C heap too).
    uint8_t hasSeed;
    uint32_t seed;
    struct ScriptFile* files;
    int32_t fileCount;

    PlatDisplayProperties props;  // see displayProps(): the handheld's until a test sets one
    uint8_t hasProps, failDisplayOpen;
    uint8_t displayOpen, drawing, suspended, directUsed;
    int32_t failBeginDraws, drawPairs;
    uint8_t* frameBuffer;  // C heap
    int64_t frameBufferSize, origin;

    uint8_t hasPower, powerUnreadable, batteryFlag, lifePercent;
    PlatDefaultKeys keys;
    uint8_t hasKeys;
    uint8_t failInputOpen, inputOpen;
} gw;

const PlatDisplayProperties HANDHELD_DISPLAY = {240, 320, 2, 480, 16, PLAT_FMT_565};
// The direct mode's frame buffer runs down the columns: pixel (x, y) at y * 2 - x * 640.
const PlatDisplayProperties DIRECT_DISPLAY = {240, 320, -640, 2, 16, PLAT_FMT_565};
const PlatDefaultKeys DESKTOP_KEYS = {PLAT_VK_UP, PLAT_VK_DOWN, PLAT_VK_LEFT, PLAT_VK_RIGHT,
                                      PLAT_VK_Z,  PLAT_VK_X,    PLAT_VK_C,    PLAT_VK_RETURN};

// The zeroed state is the default one, so the backend works before any reset.
const PlatDisplayProperties& displayProps() {
    return gw.hasProps ? gw.props : HANDHELD_DISPLAY;
}

int sameName(const char16_t* a, const char16_t* b) {
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

int32_t findClass(const char16_t* name, void* instance) {
    for (int32_t i = 0; i < gw.classCount; i++)
        if (gw.classes[i].instance == instance && sameName(gw.classes[i].name, name)) return i;
    return -1;
}

HeadlessWindow* windowOf(PlatWindow w) {
    int64_t i = (int64_t)(w - FIRST_WINDOW);
    return i >= 0 && i < gw.windowCount ? &gw.windows[i] : nullptr;
}

PlatWindow mainWindow() {
    return gw.windowCount ? FIRST_WINDOW : 0;
}

int classExists(const char16_t* name, void* instance) {
    return findClass(name, instance) >= 0;
}

int defineClass(const PlatWindowClass* cls) {
    if (gw.failClass || gw.classCount >= MAX_CLASSES || findClass(cls->name, cls->instance) >= 0) return 0;
    HeadlessClass* c = &gw.classes[gw.classCount];
    int32_t n = 0;
    while (cls->name[n]) {
        if (n == CLASS_NAME_MAX - 1) return 0;
        c->name[n] = cls->name[n];
        n++;
    }
    c->name[n] = 0;
    c->instance = cls->instance;
    c->proc = cls->proc;
    c->style = cls->style;
    c->iconId = cls->iconId;
    gw.classCount++;
    return 1;
}

int setWindowText(PlatWindow w, const char16_t* text) {
    HeadlessWindow* win = windowOf(w);
    if (!win) return 0;
    if (!platToUtf8(text, win->text, WINDOW_TEXT_MAX)) win->text[0] = 0;
    return 1;
}

PlatWindow createWindow(const char16_t* className, const char16_t* text, uint32_t style, int32_t x, int32_t y,
                        int32_t width, int32_t height, void* instance) {
    int32_t cls = findClass(className, instance);
    if (gw.failCreate || cls < 0 || gw.windowCount >= MAX_WINDOWS) return 0;
    HeadlessWindow* win = &gw.windows[gw.windowCount];
    memset(win, 0, sizeof *win);
    win->cls = cls;
    win->style = style;
    const PlatRect& s = gw.startRect;
    if (s.left || s.top || s.right || s.bottom)
        win->rect = s;
    else
        win->rect = {x, y, x + width, y + height};
    PlatWindow w = FIRST_WINDOW + gw.windowCount++;
    setWindowText(w, text);
    // The procedure sees its creation first; -1 refuses it, as on the handheld.
    PlatWindowProc proc = gw.classes[cls].proc;
    if (proc && proc(w, PLAT_WM_CREATE, 0, 0) == -1) {
        gw.windowCount--;
        return 0;
    }
    return w;
}

void showWindow(PlatWindow w, int32_t show) {
    if (w == TASKBAR_WINDOW && gw.taskbarPresent) gw.taskbarHidden = show == 0;
    if (HeadlessWindow* win = windowOf(w)) win->shown = show != 0;
}

void updateWindow(PlatWindow) {}

int moveWindow(PlatWindow w, int32_t x, int32_t y, int32_t width, int32_t height, int32_t) {
    HeadlessWindow* win = windowOf(w);
    if (!win) return 0;
    win->rect = {x, y, x + width, y + height};
    win->moves++;
    return 1;
}

int windowRect(PlatWindow w, PlatRect* out) {
    if (w == TASKBAR_WINDOW && gw.taskbarPresent) {
        *out = {0, 0, 240, 26};
        return 1;
    }
    HeadlessWindow* win = windowOf(w);
    if (!win) return 0;
    *out = win->rect;
    return 1;
}

PlatWindow findWindow(const char16_t* className) {
    if (gw.taskbarPresent && sameName(className, u"HHTaskbar")) return TASKBAR_WINDOW;
    for (int32_t i = 0; i < gw.windowCount; i++)
        if (sameName(gw.classes[gw.windows[i].cls].name, className)) return FIRST_WINDOW + i;
    return 0;
}

int fullScreen(PlatWindow w, uint32_t flags) {
    if (!windowOf(w)) return 0;
    gw.lastFullScreen = flags;
    return 1;
}

int setClassIcon(PlatWindow w, uint16_t iconId) {
    HeadlessWindow* win = windowOf(w);
    if (!win) return 0;
    gw.classes[win->cls].iconId = iconId;
    return 1;
}

int powerStatus(uint8_t* batteryFlag, uint8_t* lifePercent) {
    if (gw.powerUnreadable) return 0;
    *batteryFlag = gw.hasPower ? gw.batteryFlag : 0x80;  // a desktop: no system battery
    *lifePercent = gw.hasPower ? gw.lifePercent : 255;   // unknown
    return 1;
}

//-----------------------------------------------------------------------------
// [SECTION] Messages and script
//-----------------------------------------------------------------------------

int enqueue(PlatWindow w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    if (gw.count == QUEUE_MAX) return 0;
    gw.queue[(gw.head + gw.count++) % QUEUE_MAX] = {w, message, wParam, lParam};
    return 1;
}

volatile sig_atomic_t g_closeSignalled;  // 1 on a signal, 2 once its close request is queued

void closeOnSignal(int sig) {
    if (g_closeSignalled) {
        signal(sig, SIG_DFL);
        raise(sig);
        return;
    }
    g_closeSignalled = 1;
}

// Everything the script holds for the frames ended so far joins the queue (after a close a signal asked
// for). A full queue keeps the rest in the script for a later call, so nothing scripted is lost.
void deliverScript() {
    if (g_closeSignalled == 1 && enqueue(mainWindow(), PLAT_WM_CLOSE, 0, 0)) g_closeSignalled = 2;
    while (gw.scriptNext < gw.scriptCount && gw.script[gw.scriptNext].frame <= gw.frame) {
        const ScriptItem& it = gw.script[gw.scriptNext];
        if (it.isAnswer)
            headlessQueueMessageBoxAnswer(it.answer);
        else if (!enqueue(mainWindow(), it.message, it.wParam, it.lParam))
            return;
        gw.scriptNext++;
    }
}

void postQuit(int32_t exitCode) {
    gw.quitPending = 1;
    gw.quitCode = exitCode;
}

int peekMessage(PlatMessage* out) {
    deliverScript();
    if (gw.count) {
        *out = gw.queue[gw.head];
        return 1;
    }
    if (gw.quitPending) {
        *out = {0, PLAT_WM_QUIT, (uintptr_t)(intptr_t)gw.quitCode, 0};
        return 1;
    }
    return 0;
}

// Nothing can arrive while a headless program waits, so an empty queue answers -1 instead of blocking.
int getMessage(PlatMessage* out) {
    deliverScript();
    if (gw.count) {
        *out = gw.queue[gw.head];
        gw.head = (gw.head + 1) % QUEUE_MAX;
        gw.count--;
        return 1;
    }
    if (gw.quitPending) {
        gw.quitPending = 0;
        *out = {0, PLAT_WM_QUIT, (uintptr_t)(intptr_t)gw.quitCode, 0};
        return 0;
    }
    *out = {0, 0, 0, 0};
    return -1;
}

void translateMessage(const PlatMessage*) {}

intptr_t dispatchMessage(const PlatMessage* m) {
    HeadlessWindow* win = windowOf(m->window);
    if (!win || !gw.classes[win->cls].proc) return 0;
    return gw.classes[win->cls].proc(m->window, m->message, m->wParam, m->lParam);
}

intptr_t defWindowProc(PlatWindow, uint32_t, uintptr_t, intptr_t) {
    return 0;
}

intptr_t packPoint(int32_t x, int32_t y) {
    return (intptr_t)(int32_t)(((uint32_t)(uint16_t)y << 16) | (uint16_t)x);
}

int parseInt(const char** p, int64_t lo, int64_t hi, int64_t* out) {
    while (**p == ' ' || **p == '\t') (*p)++;
    char* end;
    errno = 0;
    long long v = strtoll(*p, &end, 0);
    if (end == *p || errno || v < lo || v > hi) return 0;
    *p = end;
    *out = v;
    return 1;
}

int parseWord(const char** p, char* word, int32_t capacity) {
    while (**p == ' ' || **p == '\t') (*p)++;
    int32_t n = 0;
    while (**p && **p != ' ' && **p != '\t' && **p != '\n' && **p != '\r') {
        if (n == capacity - 1) return 0;
        word[n++] = *(*p)++;
    }
    word[n] = 0;
    return n > 0;
}

int lineEnds(const char* p) {
    while (*p == ' ' || *p == '\t' || *p == '\r') p++;
    return *p == 0 || *p == '\n';
}

enum { SCRIPT_FILE_NAME_MAX = 64, SCRIPT_FILE_MAX = 1 << 20, SCRIPT_FILES_MAX = 64 };

struct ScriptFile {
    char name[SCRIPT_FILE_NAME_MAX];
    uint8_t* bytes;  // C heap
    int32_t count;
};

struct ScriptBuilder {
    ScriptItem* items;
    int32_t count, capacity;
    uint8_t hasSeed;
    uint32_t seed;
    ScriptFile files[SCRIPT_FILES_MAX];
    int32_t fileCount;
};

void freeFiles(ScriptFile* files, int32_t count) {
    for (int32_t i = 0; i < count; i++) free(files[i].bytes);
}

int hexDigit(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                  : -1;
}

// A file's name is written into a folder by whoever replays the script: a bare name only, never a path that
// could reach outside it, and never one of the folder entries "." and "..".
int safeFileName(const char* name) {
    if (!name[0] || name[0] == '.') return 0;
    for (const char* c = name; *c; c++)
        if (*c == '/' || *c == '\\' || *c == ':' || (unsigned char)*c < 0x20) return 0;
    return 1;
}

// "seed <n>" or "file <name> <hex>": the lines a record starts with. 0 when the line does not parse.
int parseStartLine(const char* p, const char* word, ScriptBuilder* b) {
    int64_t v;
    if (!strcmp(word, "seed")) {
        if (!parseInt(&p, 0, UINT32_MAX, &v) || !lineEnds(p)) return 0;
        b->hasSeed = 1;
        b->seed = (uint32_t)v;
        return 1;
    }
    ScriptFile f = {};
    if (b->fileCount == SCRIPT_FILES_MAX || !parseWord(&p, f.name, SCRIPT_FILE_NAME_MAX) ||
        !safeFileName(f.name))
        return 0;
    for (int32_t i = 0; i < b->fileCount; i++)
        if (!strcmp(b->files[i].name, f.name)) return 0;  // the same file twice: which one is meant?
    while (*p == ' ' || *p == '\t') p++;
    int32_t digits = 0;
    while (hexDigit(p[digits]) >= 0) digits++;
    if (digits % 2 || digits / 2 > SCRIPT_FILE_MAX || !lineEnds(p + digits)) return 0;
    f.count = digits / 2;
    f.bytes = (uint8_t*)malloc((size_t)f.count + 1);
    if (!f.bytes) return 0;
    for (int32_t i = 0; i < f.count; i++)
        f.bytes[i] = (uint8_t)(hexDigit(p[2 * i]) << 4 | hexDigit(p[2 * i + 1]));
    b->files[b->fileCount++] = f;
    return 1;
}

int addItem(ScriptBuilder* b, const ScriptItem& it) {
    if (b->count == b->capacity) {
        if (b->capacity >= (1 << 24)) return 0;
        int32_t cap = b->capacity ? b->capacity * 2 : 64;
        ScriptItem* p = (ScriptItem*)realloc(b->items, sizeof(ScriptItem) * (size_t)cap);
        if (!p) return 0;
        b->items = p;
        b->capacity = cap;
    }
    b->items[b->count++] = it;
    return 1;
}

// Into frame order once every line is read; lines of one frame keep their order, so a later line never
// overtakes. A merge, not an insertion per line: a script written backwards would make that quadratic.
int sortByFrame(ScriptItem* items, int32_t count) {
    int32_t i = 1;
    while (i < count && items[i - 1].frame <= items[i].frame) i++;
    if (i >= count) return 1;  // the usual case: recorded and hand-written scripts run forwards
    ScriptItem* other = (ScriptItem*)malloc(sizeof(ScriptItem) * (size_t)count);
    if (!other) return 0;
    ScriptItem *from = items, *to = other;
    for (int64_t width = 1; width < count; width *= 2) {
        for (int64_t lo = 0; lo < count; lo += 2 * width) {
            const int64_t mid = lo + width < count ? lo + width : count;
            const int64_t hi = lo + 2 * width < count ? lo + 2 * width : count;
            int64_t a = lo, c = mid, k = lo;
            while (a < mid && c < hi) to[k++] = from[c].frame < from[a].frame ? from[c++] : from[a++];
            while (a < mid) to[k++] = from[a++];
            while (c < hi) to[k++] = from[c++];
        }
        ScriptItem* t = from;
        from = to;
        to = t;
    }
    if (from != items) memcpy(items, from, sizeof(ScriptItem) * (size_t)count);
    free(other);
    return 1;
}

ScriptItem message(int64_t frame, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    return {(int32_t)frame, 0, 0, message, wParam, lParam};
}

// One line into one or two items; 0 when it does not parse.
int parseLine(const char* p, ScriptBuilder* b) {
    int64_t frame, x, y, v;
    char word[16];
    const char* start = p;
    if (parseWord(&start, word, sizeof word) && (!strcmp(word, "seed") || !strcmp(word, "file")))
        return parseStartLine(start, word, b);
    if (!parseInt(&p, 0, INT32_MAX - 1, &frame) || !parseWord(&p, word, sizeof word)) return 0;
    int ok = 1;
    if (!strcmp(word, "tap") || !strcmp(word, "down") || !strcmp(word, "move") || !strcmp(word, "up")) {
        if (!parseInt(&p, -32768, 32767, &x) || !parseInt(&p, -32768, 32767, &y) || !lineEnds(p)) return 0;
        intptr_t at = packPoint((int32_t)x, (int32_t)y);
        if (!strcmp(word, "tap")) {
            ok = addItem(b, message(frame, PLAT_WM_LBUTTONDOWN, 0, at)) &&
                 addItem(b, message(frame + 1, PLAT_WM_LBUTTONUP, 0, at));
        } else {
            uint32_t m = word[0] == 'd'   ? PLAT_WM_LBUTTONDOWN
                         : word[0] == 'm' ? PLAT_WM_MOUSEMOVE
                                          : PLAT_WM_LBUTTONUP;
            ok = addItem(b, message(frame, m, 0, at));
        }
    } else if (!strcmp(word, "key") || !strcmp(word, "keydown") || !strcmp(word, "keyup")) {
        if (!parseInt(&p, 0, 0xFFFF, &v) || !lineEnds(p)) return 0;
        if (strcmp(word, "keyup")) ok = addItem(b, message(frame, PLAT_WM_KEYDOWN, (uintptr_t)v, 0));
        if (ok && !strcmp(word, "key")) ok = addItem(b, message(frame + 1, PLAT_WM_KEYUP, (uintptr_t)v, 0));
        if (ok && !strcmp(word, "keyup")) ok = addItem(b, message(frame, PLAT_WM_KEYUP, (uintptr_t)v, 0));
    } else if (!strcmp(word, "focus")) {
        if (!parseInt(&p, 0, 1, &v) || !lineEnds(p)) return 0;
        ok = addItem(b, message(frame, v ? PLAT_WM_SETFOCUS : PLAT_WM_KILLFOCUS, 0, 0));
    } else if (!strcmp(word, "close")) {
        if (!lineEnds(p)) return 0;
        ok = addItem(b, message(frame, PLAT_WM_CLOSE, 0, 0));
    } else if (!strcmp(word, "answer")) {
        if (!parseInt(&p, 0, 2, &v) || !lineEnds(p)) return 0;
        ScriptItem it = {(int32_t)frame, 1, (int32_t)v, 0, 0, 0};
        ok = addItem(b, it);
    } else {
        return 0;
    }
    return ok;
}

//-----------------------------------------------------------------------------
// [SECTION] Display
//-----------------------------------------------------------------------------

enum : int64_t { FRAME_BUFFER_MAX = 64 << 20 };

int32_t bytesPerPixel(const PlatDisplayProperties& p) {
    return (int32_t)((p.bitsPerPixel + 7) / 8);
}

// The byte range the layout touches, relative to pixel (0, 0): the extremes lie at the corners.
int layoutRange(const PlatDisplayProperties& p, int64_t* lo, int64_t* hi) {
    if (p.width == 0 || p.height == 0 || p.width > 4096 || p.height > 4096 || p.bitsPerPixel == 0 ||
        p.bitsPerPixel > 32)
        return 0;
    int64_t xs = (int64_t)p.xPitch * (p.width - 1), ys = (int64_t)p.yPitch * (p.height - 1);
    *lo = (xs < 0 ? xs : 0) + (ys < 0 ? ys : 0);
    *hi = (xs > 0 ? xs : 0) + (ys > 0 ? ys : 0) + bytesPerPixel(p);
    return *hi - *lo <= FRAME_BUFFER_MAX;
}

// One buffer serves the reported layout and the direct mode's, each with pixel (0, 0) where its layout
// needs it; only one of them is drawn in at a time.
int ensureFrameBuffer() {
    int64_t lo, hi, dlo, dhi;
    if (!layoutRange(displayProps(), &lo, &hi)) return 0;
    layoutRange(DIRECT_DISPLAY, &dlo, &dhi);
    int64_t size = hi - lo > dhi - dlo ? hi - lo : dhi - dlo;
    gw.origin = -lo;
    if (gw.frameBuffer && gw.frameBufferSize == size) return 1;
    uint8_t* p = (uint8_t*)calloc(1, (size_t)size);
    if (!p) return 0;
    free(gw.frameBuffer);
    gw.frameBuffer = p;
    gw.frameBufferSize = size;
    return 1;
}

int displayOpen(PlatWindow w, int32_t) {
    if (gw.failDisplayOpen || !windowOf(w) || !ensureFrameBuffer()) return 0;
    gw.displayOpen = 1;
    gw.directUsed = 0;
    return 1;
}

int displayClose() {
    int was = gw.displayOpen;
    gw.displayOpen = gw.drawing = 0;
    return was;
}

int displayProperties(PlatDisplayProperties* out) {
    *out = displayProps();
    return 1;
}

// A failed begin ends its frame at once: the engine draws nothing and calls no end for it.
void* displayBeginDraw() {
    if (!gw.displayOpen || gw.drawing || !ensureFrameBuffer()) return nullptr;
    if (gw.failBeginDraws > 0) {
        gw.failBeginDraws--;
        gw.frame++;
        platFrameEnded();
        return nullptr;
    }
    gw.drawing = 1;
    gw.directUsed = 0;
    return gw.frameBuffer + gw.origin;
}

int displayEndDraw() {
    if (!gw.drawing) return 0;
    gw.drawing = 0;
    gw.drawPairs++;
    gw.frame++;
    platFrameEnded();
    platPresented(headlessSnapshotPng);
    return 1;
}

int displaySuspend() {
    gw.suspended = 1;
    return gw.displayOpen;
}

int displayResume() {
    gw.suspended = 0;
    return gw.displayOpen;
}

void* displayDirectBuffer() {
    if (!ensureFrameBuffer()) return nullptr;
    gw.directUsed = 1;
    return gw.frameBuffer + (int64_t)(DIRECT_DISPLAY.width - 1) * -DIRECT_DISPLAY.xPitch;
}

//-----------------------------------------------------------------------------
// [SECTION] Keys
//-----------------------------------------------------------------------------

int inputOpen() {
    if (gw.failInputOpen) return 0;
    gw.inputOpen = 1;
    return 1;
}

int inputClose() {
    int was = gw.inputOpen;
    gw.inputOpen = 0;
    return was;
}

// A desktop keyboard does not turn with the screen, so both orientations report the same keys.
int defaultKeys(PlatDefaultKeys* out, int32_t) {
    *out = gw.hasKeys ? gw.keys : DESKTOP_KEYS;
    return 1;
}

uint16_t virtualKeyToChar(uint32_t vk) {
    return platUsVirtualKeyChar(vk);
}

// One pixel of the frame buffer as 8-bit R, G, B; palette indices come out as grey levels (the palette
// lives in the engine, not on the display).
void pixelRgb(const uint8_t* px, uint32_t flags, int32_t bytes, uint8_t* rgb) {
    uint32_t v = 0;
    for (int32_t i = bytes - 1; i >= 0; i--) v = v << 8 | px[i];
    auto scale = [](uint32_t c, int bits) { return (uint8_t)(c * 255 / ((1u << bits) - 1)); };
    if (flags & PLAT_FMT_888) {
        rgb[0] = (uint8_t)(v >> 16), rgb[1] = (uint8_t)(v >> 8), rgb[2] = (uint8_t)v;
    } else if (flags & PLAT_FMT_565) {
        rgb[0] = scale(v >> 11 & 31, 5), rgb[1] = scale(v >> 5 & 63, 6), rgb[2] = scale(v & 31, 5);
    } else if (flags & PLAT_FMT_555) {
        rgb[0] = scale(v >> 10 & 31, 5), rgb[1] = scale(v >> 5 & 31, 5), rgb[2] = scale(v & 31, 5);
    } else if (flags & PLAT_FMT_444) {
        rgb[0] = scale(v >> 8 & 15, 4), rgb[1] = scale(v >> 4 & 15, 4), rgb[2] = scale(v & 15, 4);
    } else {
        rgb[0] = rgb[1] = rgb[2] = (uint8_t)v;
    }
}

}  // namespace

//-----------------------------------------------------------------------------
// [SECTION] Table and controls
//-----------------------------------------------------------------------------

// In the order of PlatformBackend's members.
const PlatformBackend platHeadless = {
    "headless",          counter,          counterFrequency, sleep,          messageBox,
    systemText,          audioOpen,        audioQueue,       audioQueued,    audioClose,
    classExists,         defineClass,      createWindow,     showWindow,     updateWindow,
    moveWindow,          windowRect,       setWindowText,    findWindow,     fullScreen,
    setClassIcon,        postQuit,         peekMessage,      getMessage,     translateMessage,
    dispatchMessage,     defWindowProc,    powerStatus,      displayOpen,    displayClose,
    displayProperties,   displayBeginDraw, displayEndDraw,   displaySuspend, displayResume,
    displayDirectBuffer, inputOpen,        inputClose,       defaultKeys,    virtualKeyToChar,
};

void headlessRefuseAudio(int refuse) {
    ga.refuseOpen = refuse != 0;
}

void headlessFailAudioQueues(int32_t count) {
    ga.failQueues = count;
}

int headlessAudioFormat(int32_t* rate, int32_t* channels) {
    if (rate) *rate = ga.rate;
    if (channels) *channels = ga.channels;
    return ga.open;
}

const int16_t* headlessAudioCapture(int64_t* values) {
    if (values) *values = (ga.length - ga.dropped) / 2;
    return (const int16_t*)ga.capture;
}

int64_t headlessAudioDropped() {
    return ga.dropped / 2;
}

void headlessSetProgramPath(const char* utf8Path) {
    g.hasProgramPath = utf8Path != nullptr;
    if (utf8Path) copyText(g.programPath, utf8Path);
}

void headlessSetDocumentsFolder(const char* utf8Folder) {
    g.hasDocuments = utf8Folder != nullptr;
    if (utf8Folder) copyText(g.documents, utf8Folder);
}

void headlessSetCounter(int present, uint64_t step) {
    g.counterMissing = !present;
    g.step = step;
}

uint64_t headlessCounterValue() {
    return g.counter;
}

void headlessQueueMessageBoxAnswer(int answer) {
    if (g.answerCount < MAX_ANSWERS) g.answers[g.answerCount++] = answer;
}

int32_t headlessMessageBoxCount() {
    return g.boxCount;
}

int headlessMessageBox(int32_t i, const char** text, const char** caption, int32_t* kind) {
    if (i < 0 || i >= g.boxCount || i >= MAX_BOXES) return 0;
    if (text) *text = g.boxes[i].text;
    if (caption) *caption = g.boxes[i].caption;
    if (kind) *kind = g.boxes[i].kind;
    return 1;
}

void headlessSetSystemText(int32_t which, const char* utf8) {
    if (which < 0 || which > 1) return;
    g.hasSystemText[which] = utf8 != nullptr;
    if (utf8) copyText(g.systemText[which], utf8);
}

void headlessCloseOnSignals() {
    struct sigaction sa {};
    sa.sa_handler = closeOnSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

void headlessRefuse(const char* utf8Path, int kinds) {
    if (!utf8Path || g.refusalCount >= MAX_REFUSALS) return;
    copyText(g.refusals[g.refusalCount].path, utf8Path);
    g.refusals[g.refusalCount++].kinds = kinds;
}

void headlessReset() {
    uint64_t keep = g.counter;  // the clock never runs backwards, even between tests
    memset(&g, 0, sizeof g);
    g.counter = keep;
    free(ga.capture);
    memset(&ga, 0, sizeof ga);
    headlessSetMemoryFolder(nullptr);
    headlessResetWindowing();
}

const char* platOverrideProgramPath() {
    return g.hasProgramPath ? g.programPath : nullptr;
}
const char* platOverrideDocumentsFolder() {
    return g.hasDocuments ? g.documents : nullptr;
}

int platRefused(const char* path, int kind) {
    for (int32_t i = 0; i < g.refusalCount; i++) {
        const Refusal& r = g.refusals[i];
        if (!(r.kinds & kind)) continue;
        size_t n = strlen(r.path);
        if (n && r.path[n - 1] == '/') {
            // A refused folder: its files, not files in folders below it.
            if (!strncmp(path, r.path, n) && !strchr(path + n, '/')) return 1;
        } else if (!strcmp(path, r.path)) {
            return 1;
        }
    }
    return 0;
}

//-----------------------------------------------------------------------------
// [SECTION] Window, display and key controls
//-----------------------------------------------------------------------------

void headlessResetWindowing() {
    free(gw.script);
    freeFiles(gw.files, gw.fileCount);
    free(gw.files);
    free(gw.frameBuffer);
    memset(&gw, 0, sizeof gw);
    platSessionReset();
}

void headlessFailDefineClass(int fail) {
    gw.failClass = fail != 0;
}

void headlessFailCreateWindow(int fail) {
    gw.failCreate = fail != 0;
}

void headlessSetStartRect(int32_t left, int32_t top, int32_t right, int32_t bottom) {
    gw.startRect = {left, top, right, bottom};
}

int32_t headlessWindowCount() {
    return gw.windowCount;
}

int headlessWindowInfo(PlatWindow w, const char** text, uint32_t* style, PlatRect* rect, int32_t* moves,
                       int32_t* shown) {
    HeadlessWindow* win = windowOf(w);
    if (!win) return 0;
    if (text) *text = win->text;
    if (style) *style = win->style;
    if (rect) *rect = win->rect;
    if (moves) *moves = win->moves;
    if (shown) *shown = win->shown;
    return 1;
}

void headlessEnableTaskbar(int present) {
    gw.taskbarPresent = present != 0;
    gw.taskbarHidden = 0;
}

int headlessTaskbarVisible() {
    return gw.taskbarPresent && !gw.taskbarHidden;
}

uint32_t headlessLastFullScreenFlags() {
    return gw.lastFullScreen;
}

void headlessPostMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) {
    enqueue(mainWindow(), message, wParam, lParam);
}

int headlessLoadScript(const char* text) {
    if (!text) return 0;
    // Large (the files' table): kept off the stack.
    ScriptBuilder* b = (ScriptBuilder*)calloc(1, sizeof(ScriptBuilder));
    if (!b) return 0;
    int ok = 1;
    for (const char* line = text; *line && ok;) {
        const char* p = line;
        while (*p == ' ' || *p == '\t') p++;
        if (*p != '#' && !lineEnds(p) && !parseLine(p, b)) ok = 0;
        const char* next = strchr(line, '\n');
        line = next ? next + 1 : line + strlen(line);
    }
    if (ok && !sortByFrame(b->items, b->count)) ok = 0;
    ScriptFile* files =
        ok && b->fileCount ? (ScriptFile*)malloc(sizeof(ScriptFile) * (size_t)b->fileCount) : nullptr;
    if (!ok || (b->fileCount && !files)) {
        free(b->items);
        freeFiles(b->files, b->fileCount);
        free(b);
        return 0;
    }
    free(gw.script);
    gw.script = b->items;
    gw.scriptCount = b->count;
    gw.scriptNext = 0;
    freeFiles(gw.files, gw.fileCount);
    free(gw.files);
    if (files) memcpy(files, b->files, sizeof(ScriptFile) * (size_t)b->fileCount);
    gw.files = files;
    gw.fileCount = b->fileCount;
    gw.hasSeed = b->hasSeed;
    gw.seed = b->seed;
    free(b);
    return 1;
}

int headlessScriptSeed(uint32_t* seed) {
    if (gw.hasSeed && seed) *seed = gw.seed;
    return gw.hasSeed;
}

int32_t headlessScriptFileCount() {
    return gw.fileCount;
}

int headlessScriptFile(int32_t i, const char** name, const uint8_t** bytes, int32_t* count) {
    if (i < 0 || i >= gw.fileCount) return 0;
    if (name) *name = gw.files[i].name;
    if (bytes) *bytes = gw.files[i].bytes;
    if (count) *count = gw.files[i].count;
    return 1;
}

int32_t headlessFrame() {
    return gw.frame;
}

int headlessScriptDone() {
    return gw.scriptNext >= gw.scriptCount && gw.count == 0;
}

void headlessSetDisplay(const PlatDisplayProperties* props) {
    gw.hasProps = props != nullptr;
    if (props) gw.props = *props;
    ensureFrameBuffer();
}

void headlessFailDisplayOpen(int fail) {
    gw.failDisplayOpen = fail != 0;
}

void headlessFailBeginDraw(int32_t count) {
    gw.failBeginDraws = count;
}

int32_t headlessDrawPairs() {
    return gw.drawPairs;
}

uint8_t* headlessFrameBuffer(int64_t* size) {
    if (!ensureFrameBuffer()) {
        if (size) *size = 0;
        return nullptr;
    }
    if (size) *size = gw.frameBufferSize;
    return gw.frameBuffer;
}

int headlessSnapshotPng(const char* utf8Path) {
    if (!utf8Path || !ensureFrameBuffer()) return 0;
    // Read through the layout's pitches: a frame buffer stored down the columns comes out upright.
    const PlatDisplayProperties& p = gw.directUsed ? DIRECT_DISPLAY : displayProps();
    const uint8_t* origin = gw.frameBuffer + (gw.directUsed ? (int64_t)(p.width - 1) * -p.xPitch : gw.origin);
    int32_t bytes = bytesPerPixel(p);
    uint8_t* rgb = (uint8_t*)malloc((size_t)p.width * p.height * 3);
    if (!rgb) return 0;
    for (uint32_t y = 0; y < p.height; y++)
        for (uint32_t x = 0; x < p.width; x++)
            pixelRgb(origin + (int64_t)x * p.xPitch + (int64_t)y * p.yPitch, p.formatFlags, bytes,
                     rgb + ((size_t)y * p.width + x) * 3);
    const int ok = platWritePng(utf8Path, rgb, p.width, p.height);
    free(rgb);
    return ok;
}

void headlessSetPower(int readable, uint8_t batteryFlag, uint8_t lifePercent) {
    gw.hasPower = 1;
    gw.powerUnreadable = readable == 0;
    gw.batteryFlag = batteryFlag;
    gw.lifePercent = lifePercent;
}

void headlessSetDefaultKeys(const PlatDefaultKeys* keys) {
    gw.hasKeys = keys != nullptr;
    if (keys) gw.keys = *keys;
}

void headlessFailInputOpen(int fail) {
    gw.failInputOpen = fail != 0;
}
