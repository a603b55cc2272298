// Shared by the fuzz targets: the headless backend in a private folder whose files live in memory, the input
// placed there as a file (the engine's readers open it as any loose file), and a check that no input leaves
// tracked memory behind. Under libFuzzer the targets link its main; otherwise replay_main.cpp runs every file
// it is given through the same entry point.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "brask/app.h"
#include "brask/gfx.h"
#include "brask/log.h"
#include "brask/memory.h"
#include "brask/vfs.h"
#include "platform/headless.h"
#include "platform/platform.h"

namespace fuzz {

inline std::string& folder() {
    static std::string dir;
    return dir;
}

inline void removeFolder() {
    std::error_code ec;
    std::filesystem::remove_all(folder(), ec);
}

inline std::string path(const char* name);

// The log cannot be made: bad input logs a long entry, piece by piece, and writing it would cost a fifth of
// every input. Each piece is still formatted; only its file stays shut.
inline void keepNoLog() {
    headlessRefuse(path("Brask.log").c_str(), HEADLESS_REFUSE_CREATE);
}

// Once per process: every file the engine touches lives in one fresh folder, the program and documents
// folders alike, so parallel runs never meet.
inline void setUp() {
    if (!folder().empty()) return;
    char pattern[] = "/tmp/korva-fuzz-XXXXXX";
    if (!mkdtemp(pattern)) abort();
    folder() = pattern;
    atexit(removeFolder);
    platSetBackend(&platHeadless);
    headlessSetProgramPath((folder() + "/korvatron").c_str());
    headlessSetDocumentsFolder(folder().c_str());
    headlessSetMemoryFolder(folder().c_str());
    keepNoLog();
    vfsResetFolders();
    appInitTimer();
}

// The headless backend as a fresh process finds it, with the folders of setUp (its memory files start empty).
inline void resetHeadless() {
    headlessReset();
    headlessSetProgramPath((folder() + "/korvatron").c_str());
    headlessSetDocumentsFolder(folder().c_str());
    headlessSetMemoryFolder(folder().c_str());
    keepNoLog();
}

inline std::string path(const char* name) {
    return folder() + "/" + name;
}

inline void writeInput(const char* name, const uint8_t* data, size_t size) {
    if (size > INT32_MAX || !headlessSetMemoryFile(path(name).c_str(), data, int32_t(size))) abort();
}

// A 565 screen to draw on, its pixels kept between inputs: a fresh buffer of this size each time would cost
// more page faults than the reader under test costs instructions. Freed with sfFree as any surface.
inline Surface* screen(int32_t width = 240, int32_t height = 320) {
    static uint16_t pixels[240 * 320];
    if (width * height > 240 * 320) abort();
    Surface* s = sfCreate(width, height, pf565, 0, SF_NO_KEY, pixels);
    if (!s) abort();
    return s;
}

// Wide name from ASCII, for the engine's char16_t paths.
inline std::u16string wide(const std::string& s) {
    return std::u16string(s.begin(), s.end());
}

// Brackets one input: the log starts afresh (bad input logs a line each time), and whatever the engine
// allocated for it must be given back by the end.
struct Input {
    uint32_t before;
    Input() {
        setUp();
        logReset();
        before = memGetStats()->unfreedBytes;
    }
    ~Input() {
        gfxShutdownSurfacePool();  // its chunks are the engine's to keep between surfaces, not a leak
        const uint32_t after = memGetStats()->unfreedBytes;
        if (after != before) {
            fprintf(stderr, "tracked memory leaked: %u bytes\n", unsigned(after - before));
            abort();
        }
        if (vfsOpenCount() != 0) {
            fprintf(stderr, "file handles left open: %d\n", int(vfsOpenCount()));
            abort();
        }
    }
};

}  // namespace fuzz
