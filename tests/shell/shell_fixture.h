// The game shell on a fresh headless platform with the built game data in the program folder: either
// started up to the settings (and the pictures loaded) for tests that drive one update or one frame, or
// left for gameMain to start for whole-program runs.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app_internal.h"
#include "brask/app.h"
#include "brask/input.h"
#include "brask/vfs.h"
#include "platform/headless.h"
#include "platform/session.h"
#include "platform/png_decode.h"
#include "rules/board.h"
#include "rules/state.h"
#include "rules/variants.h"
#include "shell/shell.h"
#include "support/test_support.h"

class ShellTest : public testing::Test {
   protected:
    TestFolders folders;  // resets the headless backend first
    bool started = false;

    void SetUp() override {
        appForgetPlatform();
        inpForgetPlatform();
        appSetLaunchOptions(nullptr);
        installGameData(folders.prog);
    }
    void TearDown() override {
        if (started) shellShutDown();
        appSetLaunchOptions(nullptr);
    }

    // The archive and the system font, as the build places them beside the program.
    static void installGameData(const std::string& dir) {
        for (const char* f : {"korvatron.pak", "SysFont7x14.tga"})
            std::filesystem::copy_file(std::string(KORVA_GAME_DIR) + "/" + f, dir + "/" + f,
                                       std::filesystem::copy_options::overwrite_existing);
    }

    // Start-up as gameMain does it, then the pictures at normal brightness and a first board.
    void startShell() {
        gGame = GameState{};
        gShell = Shell{};
        ASSERT_EQ(1, shellStartUp());
        started = true;
        imagesLoad(256);
        rotAnimBuild();
        boardFill();
    }

    // One poll after the messages reached the engine, as a frame would deliver them.
    static void deliver() {
        appPumpMessages();
        inpUpdate();
        pollInput();
    }
    static void post(uint32_t message, uintptr_t wParam, int32_t x = 0, int32_t y = 0) {
        headlessPostMessage(message, wParam, intptr_t(uint32_t(x & 0xFFFF) | uint32_t(y & 0xFFFF) << 16));
    }
    // A tap in this update: down now, up after the update has polled it.
    static void tapAt(int32_t x, int32_t y) {
        post(PLAT_WM_LBUTTONDOWN, 1, x, y);
        deliver();
        post(PLAT_WM_LBUTTONUP, 0, x, y);
    }

    std::string logText() const {
        return readFile(folders.prog + "/Brask.log") + readFile(folders.docs + "/Brask.log");
    }
};

// A record as the game writes it: a Game 2 in progress, idle, settings at their defaults.
inline GameState idleGame2() {
    GameState g{};
    for (int32_t i = 0; i < BOARD_CELLS; i++) g.board[i] = 1 + (i % 5);
    g.variant = VARIANT_GAME2;
    g.timeLeft = 50.0f;
    g.timeStep = 0.1f;
    g.volume = 1.0f;
    g.brightness = 0.5f;
    g.soundOn = 1;
    g.rotationDirection = 1;
    g.accumulators = 2;
    return g;
}

inline std::string recordBytes(const GameState& g) {
    return std::string(reinterpret_cast<const char*>(&g), sizeof g);
}

// True when every opaque pixel of the picture, placed at (x, y) by its anchor, is in the 565 frame.
inline bool frameShows(const std::vector<uint32_t>& f, const Surface* s, int32_t x, int32_t y) {
    if (!s || f.empty()) return false;
    const int32_t left = x - ((s->width * s->anchorX + 128) >> 8);
    const int32_t top = y - ((s->height * s->anchorY + 128) >> 8);
    for (int32_t j = 0; j < s->height; j++)
        for (int32_t i = 0; i < s->width; i++) {
            const uint32_t v = sfGetPixel(s, i, j);
            const int32_t fx = left + i, fy = top + j;
            if (v == s->colourKey || fx < 0 || fy < 0 || fx >= SCREEN_WIDTH || fy >= SCREEN_HEIGHT) continue;
            if (f[size_t(fy) * SCREEN_WIDTH + size_t(fx)] != v) return false;
        }
    return true;
}

// gameMain runs in this process with the launch options and a script; screenshots of chosen presents are
// read back as 565 values (the snapshot's 8-bit channels truncated recover them exactly).
class ShellProgram : public ShellTest {
   protected:
    AppLaunchOptions launch{};
    std::u16string loadName;
    std::vector<int32_t> shots;
    std::vector<std::pair<std::string, int>> refusals;  // headlessRefuse calls for every run

    // A fresh platform under the same folders, as a new start of the program would find it.
    int run(const char* script) {
        headlessReset();
        headlessSetProgramPath((folders.prog + "/korvatron").c_str());
        headlessSetDocumentsFolder(folders.docs.c_str());
        for (const auto& [path, kinds] : refusals) headlessRefuse(path.c_str(), kinds);
        appForgetPlatform();
        // A script that ends too soon would leave the program waiting for a tap for ever.
        EXPECT_EQ(1, headlessLoadScript((std::string(script) + "\n5000 close\n").c_str()));
        for (int32_t index : shots) platShotAt(index, shotPath(index).c_str());
        launch.seedGiven = 1;
        launch.seed = 7;
        appSetLaunchOptions(&launch);
        return gameMain();
    }
    // The frame of present `index`, asked for before the run; empty until the run has made it.
    std::string shotPath(int32_t index) const {
        return folders.root + "/shot" + std::to_string(index) + ".png";
    }
    void shootAt(std::initializer_list<int32_t> presents) { shots.assign(presents); }
    std::vector<uint32_t> frame(int32_t index) const {
        uint32_t w = 0, h = 0;
        std::vector<uint32_t> rgb = decodePng(readFile(shotPath(index)), &w, &h);
        for (uint32_t& v : rgb) v = (v >> 19 & 31) << 11 | (v >> 10 & 63) << 5 | (v >> 3 & 31);
        return w == SCREEN_WIDTH && h == SCREEN_HEIGHT ? rgb : std::vector<uint32_t>{};
    }
    std::string file(const char* name) const { return readFile(folders.prog + "/" + name); }
    // A game file placed for --load.
    void loadFrom(const GameState& g, const char* name = "KORVA.Quick") {
        writeFile(folders.prog + "/" + name, recordBytes(g));
        loadName = u16(folders.prog + "/" + name);
        launch.loadFile = loadName.c_str();
    }
};
