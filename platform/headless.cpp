// The headless backend: a virtual clock, scripted message boxes, and the test controls of headless.h.
#include "platform/headless.h"

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

}  // namespace

const PlatformBackend platHeadless = {"headless", counter, counterFrequency, sleep, messageBox, systemText};

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
