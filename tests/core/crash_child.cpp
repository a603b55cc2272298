// A program with its own gameMain for the entry-point tests: argv[1] picks how it ends.
#include <signal.h>

#include <cstdlib>
#include <cstring>

#include "brask/app.h"
#include "brask/log.h"
#include "brask/memory.h"
#include "brask/system.h"

static volatile int g_zero = 0;
static volatile int* volatile g_null = nullptr;

// The real processor fault, not the sanitizer's report of it.
__attribute__((no_sanitize_undefined)) static int divide(int a, int b) {
    return a / b;
}
__attribute__((no_sanitize_undefined, no_sanitize_address)) static int load(volatile int* p) {
    return *p;
}

static volatile int g_limit = 1 << 30;

// Deep enough to run into the stack's guard long before the limit.
static int recurse(int depth) {
    volatile char frame[1024];
    frame[depth % sizeof frame] = (char)depth;
    if (depth >= g_limit) return frame[0];
    return recurse(depth + 1) + frame[0];
}

int gameMain() {
    const SysCommandLine* cl = (const SysCommandLine*)sysGetInfo()->instance;
    const char* mode = cl && cl->argc > 1 ? cl->argv[1] : "ok";
    logWrite("child started", LOG_EOL);
    if (!strcmp(mode, "segv")) return load(g_null);
    if (!strcmp(mode, "div0")) return divide(10, g_zero);
    if (!strcmp(mode, "ill")) __builtin_trap();
    if (!strcmp(mode, "abort")) abort();
    if (!strcmp(mode, "stack")) return recurse(0);
    if (!strcmp(mode, "trap")) raise(SIGTRAP);
    if (!strcmp(mode, "bus")) raise(SIGBUS);
    if (!strcmp(mode, "leak")) {
        memAlloc(123);
        return 0;
    }
    return 7;
}
