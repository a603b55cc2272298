// The game shell on a fresh headless platform with the built game data in the program folder: either
// started up to the settings (and the pictures loaded) for tests that drive one update or one frame, or
// left for gameMain to start for whole-program runs.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "app_internal.h"
#include "brask/app.h"
#include "brask/input.h"
#include "brask/vfs.h"
#include "platform/headless.h"
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
