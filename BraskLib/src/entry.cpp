// The program's entry point: the command line (entry_args.cpp), the backend, the launch options, a replay's
// start or a record's, then system information, the tick counter and the game inside the crash filter.
//
// A refused command line exits with 2 after one line and the usage on stderr; a screenshot that was asked for
// and not written turns a clean exit into 3. Everything the entry point must tell before the log exists goes
// to stderr.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "brask/app.h"
#include "brask/system.h"
#include "brask/text.h"
#include "brask/vfs.h"
#include "entry_args.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "platform/sdl2.h"
#include "platform/session.h"

namespace {

// The headless script takes files of up to 1 MB, and 64 of them.
enum { USAGE_MAX = 512, RECORD_FILE_MAX = 1 << 20, MAX_PLAYER_FILES = 64 };

// Strings the launch options borrow for the whole run.
char16_t g_loadFile[PLAT_PATH_MAX];
char16_t g_dataFolder[PLAT_PATH_MAX];

int refuse(const char* program, const char* line) {
    char usage[USAGE_MAX];
    entryUsage(program, usage, USAGE_MAX);
    fprintf(stderr, "%s: %s\n%s", entryProgramName(program), line, usage);
    return 2;
}

// The whole file as text, or null.
char* readText(const char* path) {
    char16_t name[PLAT_PATH_MAX];
    PlatStream* s = platFromUtf8(path, name, PLAT_PATH_MAX) ? platStreamOpen(name, "rb") : nullptr;
    if (!s) return nullptr;
    const int32_t size = platStreamSize(s);
    char* text = size >= 0 ? static_cast<char*>(malloc(size_t(size) + 1)) : nullptr;
    if (text) text[size > 0 ? platStreamRead(s, text, size) : 0] = 0;
    platStreamClose(s);
    return text;
}

// A seed the player cannot predict; never 0, which games read as "seed from the tick count".
uint32_t clockSeed() {
    timespec t = {};
    clock_gettime(CLOCK_REALTIME, &t);
    const uint32_t seed = uint32_t(t.tv_sec) * 2654435761u ^ uint32_t(t.tv_nsec);
    return seed ? seed : 1;
}

// A replay begins where the record began: its files in the data folder, and nothing else there. 0 (with a
// line on stderr) when a file cannot be written.
int placeRecordedFiles(const char16_t* folder) {
    for (int32_t i = 0; i < headlessScriptFileCount(); i++) {
        const char* name = nullptr;
        const uint8_t* bytes = nullptr;
        int32_t count = 0;
        headlessScriptFile(i, &name, &bytes, &count);
        char16_t path[PLAT_PATH_MAX], wide[PLAT_PATH_MAX];
        PlatStream* s = nullptr;
        if (platFromUtf8(name, wide, PLAT_PATH_MAX) && wstrLen(folder) + wstrLen(wide) < PLAT_PATH_MAX) {
            wstrCopy(path, folder);
            wstrCopy(path + wstrLen(folder), wide);
            s = platStreamOpen(path, "wb");
        }
        const bool written = s && platStreamWrite(s, bytes, count) == count;
        if (s && platStreamClose(s) == 0 && written) continue;
        fprintf(stderr, "Cannot write the recorded file %s into the data folder\n", name);
        return 0;
    }
    return 1;
}

// Names of the player files already in the record, so an earlier folder's file shadows a later one's.
struct SeenFiles {
    char names[MAX_PLAYER_FILES][PLAT_PATH_MAX * 3];
    int32_t count;
};

bool seenBefore(const SeenFiles& seen, const char* name) {
    for (int32_t i = 0; i < seen.count; i++)
        if (!strcmp(seen.names[i], name)) return true;
    return false;
}

// The player files in `folder` ("KORVA." names, as the game gives them) that no earlier folder had.
void recordPlayerFiles(const char16_t* folder, SeenFiles* seen) {
    char16_t pattern[PLAT_PATH_MAX];
    if (!folder || !folder[0] || wstrLen(folder) + 8 >= PLAT_PATH_MAX) return;
    wstrCopy(pattern, folder);
    wstrCat(pattern, u"KORVA.*");
    PlatFindData d;
    const int32_t h = platFindFirst(pattern, &d);
    for (int more = h >= 0; more; more = platFindNext(h, &d)) {
        char name[PLAT_PATH_MAX * 3];
        // The search ignores case; opening a name does not, and the game opens "KORVA." names.
        if ((d.attributes & PLAT_ATTR_DIRECTORY) || !platToUtf8(d.name, name, sizeof name) ||
            strncmp(name, "KORVA.", 6) != 0 || seenBefore(*seen, name) || seen->count == MAX_PLAYER_FILES ||
            wstrLen(folder) + wstrLen(d.name) >= PLAT_PATH_MAX)
            continue;
        char16_t path[PLAT_PATH_MAX];
        wstrCopy(path, folder);
        wstrCat(path, d.name);
        PlatStream* s = platStreamOpen(path, "rb");
        const int32_t size = s ? platStreamSize(s) : -1;
        uint8_t* bytes =
            size >= 0 && size <= RECORD_FILE_MAX ? static_cast<uint8_t*>(malloc(size_t(size) + 1)) : nullptr;
        if (bytes && (size == 0 || platStreamRead(s, bytes, size) == size)) {
            platRecordFile(name, bytes, size);
            strcpy(seen->names[seen->count++], name);
        } else {
            fprintf(stderr, "The record leaves out the player file %s: it could not be read\n", name);
        }
        free(bytes);
        if (s) platStreamClose(s);
    }
    if (h >= 0) platFindClose(h);
}

// The record's start: the seed, then the files the game would find, as the file system opens relative
// names: the --data folder alone, or the program folder, then the data folder the file system chose (the
// other way round in an installed copy).
void startRecord(const AppLaunchOptions& launch) {
    platRecordSeed(launch.seed);
    static SeenFiles seen;
    if (launch.dataFolder) {
        recordPlayerFiles(launch.dataFolder, &seen);
        return;
    }
    const char16_t* program = vfsGetFolder(1);
    const char16_t* data = vfsGetFolder(3);
    bool same = data && program;
    for (int32_t i = 0; same && (data[i] || program[i]); i++) same = data[i] == program[i];
    const bool installed = vfsInstalled();
    recordPlayerFiles(installed ? data : program, &seen);
    if (!same) recordPlayerFiles(installed ? program : data, &seen);
}

// What the command line asks of the game, and what a replay or a record needs before it starts: 0, or the
// exit code of a refusal (its line already on stderr).
int prepareLaunch(const EntryArgs& args, const char* program, AppLaunchOptions* launch) {
    launch->seedGiven = args.seedGiven;
    launch->seed = args.seed;
    launch->game = args.game;
    char line[ENTRY_PROBLEM_MAX + PLAT_PATH_MAX * 3];
    if (args.load) {
        if (!platAbsoluteFile(args.load, g_loadFile, PLAT_PATH_MAX)) {
            snprintf(line, sizeof line, "--load: no such file '%s'", args.load);
            return refuse(program, line);
        }
        launch->loadFile = g_loadFile;
    }
    if (args.data) {
        if (!platUseDataFolder(args.data, g_dataFolder, PLAT_PATH_MAX)) {
            snprintf(line, sizeof line, "--data: cannot make or use the folder '%s'", args.data);
            return refuse(program, line);
        }
        launch->dataFolder = g_dataFolder;
    }
    if (args.script) {
        char* text = readText(args.script);
        const int loaded = text && headlessLoadScript(text);
        free(text);
        if (!loaded) {
            snprintf(line, sizeof line, "--script: cannot read '%s' as a script", args.script);
            return refuse(program, line);
        }
        uint32_t seed = 0;
        const bool hasSeed = headlessScriptSeed(&seed), isRecord = hasSeed || headlessScriptFileCount() > 0;
        if (hasSeed && !launch->seedGiven) {
            launch->seedGiven = 1;
            launch->seed = seed;
        }
        // A replay never touches the player's own files: without --data it gets a folder of its own.
        if (isRecord && !launch->dataFolder) {
            if (!platUseDataFolder(nullptr, g_dataFolder, PLAT_PATH_MAX)) {
                fprintf(stderr, "Cannot make a temporary data folder for the replay\n");
                return 2;
            }
            launch->dataFolder = g_dataFolder;
        }
        if (isRecord && !placeRecordedFiles(launch->dataFolder)) return 2;
    }
    if (args.record) {
        if (!launch->seedGiven) {
            launch->seedGiven = 1;
            launch->seed = clockSeed();
        }
        if (!platRecordStart(args.record)) {
            snprintf(line, sizeof line, "--record: cannot create '%s'", args.record);
            return refuse(program, line);
        }
        atexit(platRecordStop);  // a fatal exit still closes the record
    }
    for (int32_t i = 0; i < args.shotCount; i++) platShotAt(args.shots[i].present, args.shots[i].path);
    return 0;
}

// 1 when every screenshot asked for was written; otherwise says which were not.
int shotsWritten(const EntryArgs& args) {
    int ok = 1;
    if (args.screenshot && !headlessSnapshotPng(args.screenshot)) {
        fprintf(stderr, "Cannot write the screenshot %s\n", args.screenshot);
        ok = 0;
    }
    if (platShotsPending() || platShotFailures()) {
        fprintf(stderr, "%d of the --screenshot-at frames were not written (%d never came, %d failed)\n",
                int(platShotsPending() + platShotFailures()), int(platShotsPending()),
                int(platShotFailures()));
        ok = 0;
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    const char* program = argc > 0 ? argv[0] : nullptr;
    static EntryArgs args;
    args = entryParseArgs(argc, argv);
    if (args.outcome == ENTRY_REFUSED) return refuse(program, args.problem);
    if (args.outcome == ENTRY_HELP) {
        char usage[USAGE_MAX];
        entryUsage(program, usage, USAGE_MAX);
        fputs(usage, stdout);
        fputs(entryHelpBody(), stdout);
        return 0;
    }
    platSetBackend(args.headless ? &platHeadless : &platSdl2);
    if (args.headless) headlessCloseOnSignals();
    platSdl2SetScale(args.scale);
    static AppLaunchOptions launch;
    if (const int refused = prepareLaunch(args, program, &launch)) return refused;
    appSetLaunchOptions(&launch);

    // The game's command line: the program's name, then the arguments that are not the entry point's.
    static SysCommandLine commandLine;
    argv[args.firstArgument - 1] = argv[0];
    commandLine.argc = argc - args.firstArgument + 1;
    commandLine.argv = argv + args.firstArgument - 1;
    sysInit(&commandLine);
    appInitTimer();
    sysInstallCrashFilter();
    if (args.record) startRecord(launch);
    // The leak report was registered by the allocator's static initialiser and runs after this returns.
    const int result = gameMain();
    if (platBackend() == &platSdl2 && platSdl2VideoProblem())
        fprintf(stderr, "%s: %s; --headless runs without one\n", entryProgramName(program),
                platSdl2VideoProblem());
    platRecordStop();
    const int shots = shotsWritten(args);
    const int code = result ? result : shots ? 0 : 3;
#ifdef __EMSCRIPTEN__
    // Under ASYNCIFY main first returned to the browser at its first sleep; this return reaches no one, and
    // only exit ends the runtime (its exit handlers, the page's onExit).
    exit(code);
#endif
    return code;
}
