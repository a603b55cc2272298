// The headless backend: a virtual clock, scripted message boxes, an audio capture, and the test controls of
// headless.h.
#include "platform/headless.h"

#include <cstdlib>
#include <cstring>

#include "platform/platform.h"
#include "platform/platform_internal.h"

namespace {

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
    int64_t length, capacity;
} ga;

enum : int64_t { AUDIO_CAPTURE_MAX = 64 << 20 };

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

int messageBox(const char16_t* text, const char16_t* caption, int32_t kind) {
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
    ga.length = 0;  // a new stream starts a new capture
    return 1;
}

int reserve(int64_t length) {
    if (length <= ga.capacity) return 1;
    if (length > AUDIO_CAPTURE_MAX) return 0;
    int64_t cap = ga.capacity ? ga.capacity : 1 << 16;
    while (cap < length) cap *= 2;
    uint8_t* p = (uint8_t*)realloc(ga.capture, (size_t)cap);
    if (!p) return 0;
    ga.capture = p;
    ga.capacity = cap;
    return 1;
}

int audioQueue(const void* bytes, int32_t count) {
    if (!ga.open) return 0;
    if (ga.failQueues > 0) {
        ga.failQueues--;
        return 0;
    }
    int64_t start = ga.length, played = audioPlayed();
    if (played > start) start = played;
    if (!reserve(start + count)) return 0;
    memset(ga.capture + ga.length, 0, (size_t)(start - ga.length));
    memcpy(ga.capture + start, bytes, (size_t)count);
    ga.length = start + count;
    return 1;
}

int32_t audioQueued() {
    if (!ga.open) return 0;
    int64_t left = ga.length - audioPlayed();
    return left > 0 ? (int32_t)left : 0;
}

}  // namespace

const PlatformBackend platHeadless = {"headless", counter,   counterFrequency, sleep,       messageBox,
                                      systemText, audioOpen, audioQueue,       audioQueued, audioClose};

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
    if (values) *values = ga.length / 2;
    return (const int16_t*)ga.capture;
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
