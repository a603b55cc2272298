// Shared by the player-file targets (game, settings, scores): the game shell started once per process on the
// headless backend, its pictures and font loaded from the built game data, the player files kept in memory
// beside them; and the bracket that puts the shell back as start-up left it before every input, so no input
// sees what an earlier one loaded, drew or wrote.
#pragma once
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "brask/random.h"
#include "fuzz_support.h"
#include "shell/shell.h"

#ifndef KORVA_GAME_DIR
#error "KORVA_GAME_DIR names the build's game folder (the archive and the system font)"
#endif

namespace fuzz {

// Player files are read from and written to the memory folder only, as a --data folder would place them.
inline const char16_t* dataFolder() {
    static std::u16string dir = wide(folder() + "/");
    return dir.c_str();
}

// The full name of a player file, as playerFileName gives it.
inline std::u16string playerFile(const char16_t* name) {
    return std::u16string(dataFolder()) + name;
}

inline std::vector<uint8_t> readMemoryFile(const char16_t* name) {
    std::vector<uint8_t> bytes;
    VfsFile* f = vfsOpen(name);
    if (!f) return bytes;
    uint8_t buf[4096];
    for (int32_t n; (n = vfsRead(f, buf, sizeof buf)) > 0;) bytes.insert(bytes.end(), buf, buf + n);
    vfsClose(f);
    return bytes;
}

inline void fail(const char* what) {
    fprintf(stderr, "%s\n", what);
    abort();
}

// A player file written whole leaves nothing of its writing beside it.
inline void checkNoTemporary(const std::u16string& name) {
    if (VfsFile* f = vfsOpen((name + u".new").c_str())) {
        vfsClose(f);
        fail("a finished write left its temporary file behind");
    }
}

struct ShellBaseline {
    GameState game;
    Shell shell;
    int32_t openFiles;  // the mounted archive holds its handle for the run
};

inline void copyToMemory(const char* file) {
    std::ifstream in(std::string(KORVA_GAME_DIR) + "/" + file, std::ios::binary);
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) fail("game data missing: build the gamedata target first");
    writeInput(file, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

inline void stopShell() {
    shellShutDown();
    appSetLaunchOptions(nullptr);
}

// Once per process: the archive and the system font placed beside the program (in memory, so the per-input
// file work never touches the disk), then start-up as gameMain does it and the pictures at normal brightness.
inline const ShellBaseline& shellStarted() {
    static ShellBaseline base;
    static bool started = false;
    if (started) return base;
    started = true;
    setUp();
    copyToMemory("korvatron.pak");
    copyToMemory("SysFont7x14.tga");
    AppLaunchOptions launch{};
    launch.seedGiven = 1;
    launch.seed = 1;
    launch.dataFolder = dataFolder();
    appSetLaunchOptions(&launch);
    gGame = GameState{};
    gShell = Shell{};
    if (!shellStartUp()) fail("the shell did not start");
    imagesLoad(256);
    rotAnimBuild();
    for (int32_t slot : {IMG_BACK, IMG_OPTIONS, IMG_SCORES, IMG_ELEMENT})
        if (!image(slot)) fail("a picture the targets draw did not load");
    atexit(stopShell);  // registered after setUp's folder removal, so it runs first
    base.game = gGame;
    base.shell = gShell;
    base.openFiles = vfsOpenCount();
    return base;
}

// Brackets one input: the game record and the shell's fields as start-up left them (the pictures, font and
// sounds stay loaded), the random generator at one seed, the log afresh; at the end nothing allocated for
// the input is still held and no file is left open.
struct ShellInput {
    uint32_t before;
    const ShellBaseline& base;
    ShellInput() : base(shellStarted()) {
        gGame = base.game;
        gShell = base.shell;
        gHallOfFame = HallOfFame{};
        rndSeed(1);
        logReset();
        before = memGetStats()->unfreedBytes;
    }
    ~ShellInput() {
        const uint32_t after = memGetStats()->unfreedBytes;
        if (after != before) {
            fprintf(stderr, "tracked memory leaked: %d bytes\n", int(after - before));
            abort();
        }
        if (vfsOpenCount() != base.openFiles) {
            fprintf(stderr, "file handles left open: %d\n", int(vfsOpenCount() - base.openFiles));
            abort();
        }
    }
};

}  // namespace fuzz
