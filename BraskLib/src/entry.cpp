// The program's entry point: picks the platform backend from the command line, then system information,
// the tick counter and the game inside the crash filter.
//
// Options taken here (and removed before the game sees the command line):
//   --headless            no window: the scriptable stand-in (the default is the desktop window)
//   --script FILE         headless input script (frame-keyed; see platform/headless.h)
//   --screenshot FILE     headless: a PNG of the last presented frame, written when the game returns
//   --scale N             desktop window scale (whole factor, default 2)
//   --help                these options and the desktop keys
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "brask/app.h"
#include "brask/system.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "platform/sdl2.h"

namespace {

struct EntryOptions {
    bool help;
    bool headless;
    const char* script;
    const char* screenshot;
    int32_t scale;
};

// Keeps the arguments the entry point does not own, in order; returns the new count.
int takeOptions(int argc, char** argv, EntryOptions* o) {
    int kept = 1;
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (!strcmp(a, "--help")) {
            o->help = true;
        } else if (!strcmp(a, "--headless")) {
            o->headless = true;
        } else if (!strcmp(a, "--script") && hasValue) {
            o->script = argv[++i];
        } else if (!strcmp(a, "--screenshot") && hasValue) {
            o->screenshot = argv[++i];
        } else if (!strcmp(a, "--scale") && hasValue) {
            o->scale = atoi(argv[++i]);
        } else {
            argv[kept++] = argv[i];
        }
    }
    argv[kept] = nullptr;
    return kept;
}

// The whole script file as text, or null (with a line on stderr: the log does not exist yet).
char* readScript(const char* path) {
    char16_t name[PLAT_PATH_MAX];
    PlatStream* s = platFromUtf8(path, name, PLAT_PATH_MAX) ? platStreamOpen(name, "rb") : nullptr;
    if (!s) return nullptr;
    platStreamSeek(s, 0, 2);
    const int32_t size = platStreamTell(s);
    platStreamSeek(s, 0, 0);
    char* text = size >= 0 ? static_cast<char*>(malloc(size_t(size) + 1)) : nullptr;
    if (text) text[size > 0 ? platStreamRead(s, text, size) : 0] = 0;
    platStreamClose(s);
    return text;
}

const char kHelp[] =
    "Options:\n"
    "  --scale N          the window's whole scale factor, 1 to 16 (default 2)\n"
    "  --headless         no window: the scriptable stand-in used by tests and automation\n"
    "  --script FILE      headless: a frame-keyed input script\n"
    "  --screenshot FILE  headless: a PNG of the last frame, written at the end\n"
    "  --help             this text\n"
    "Keys: arrows = UP, DOWN, LEFT, RIGHT; Z = BUT.A, X = BUT.B, C = BUT.C, V = BUT.D, B = BUT.E,\n"
    "      Enter = BUT.START; the left mouse button is the stylus. Closing the window quits.\n";

}  // namespace

int main(int argc, char** argv) {
    EntryOptions options = {false, false, nullptr, nullptr, 2};
    argc = takeOptions(argc, argv, &options);
    if (options.help) {
        fputs(kHelp, stdout);
        return 0;
    }
    platSetBackend(options.headless ? &platHeadless : &platSdl2);
    if (!options.headless && !platSdl2SetScale(options.scale)) {
        fprintf(stderr, "The scale must be a whole number from 1 to 16\n");
        return 2;
    }
    if (options.headless && options.script) {
        char* text = readScript(options.script);
        const int loaded = text && headlessLoadScript(text);
        free(text);
        if (!loaded) {
            fprintf(stderr, "Cannot use the script %s\n", options.script);
            return 2;
        }
    }
    static SysCommandLine commandLine;
    commandLine.argc = argc;
    commandLine.argv = argv;
    sysInit(&commandLine);
    appInitTimer();
    sysInstallCrashFilter();
    // The leak report was registered by the allocator's static initialiser and runs after this returns.
    const int result = gameMain();
    if (options.headless && options.screenshot && !headlessSnapshotPng(options.screenshot)) {
        fprintf(stderr, "Cannot write the screenshot %s\n", options.screenshot);
        return result ? result : 3;
    }
    return result;
}
