// The korvatron program started as a player starts it, from a copy in a folder of its own (so its log and
// files are this test's alone): the seed it deals from on each backend, an installed copy's folder, and what
// it says on the terminal without a display or a sound device.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>

#include "support/test_support.h"

namespace fs = std::filesystem;

namespace {

std::string quote(const std::string& s) {
    return "'" + s + "'";
}

struct ProgramRun {
    int exitCode;  // -1 when killed by a signal
    std::string out, err;
};

// Every file below a folder with its bytes.
std::map<std::string, std::string> contents(const std::string& folder) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        out[e.path().string()] = e.is_regular_file() ? readFile(e.path().string()) : "<folder>";
    return out;
}

// The seed the log's "Random seed: N" line gives; empty when there is none.
std::string seedIn(const std::string& log) {
    const std::string key = "Random seed: ";
    const size_t at = log.find(key);
    if (at == std::string::npos) return "";
    return log.substr(at + key.size(), log.find('\n', at) - at - key.size());
}

class ShellLaunch : public testing::Test {
   protected:
    void SetUp() override {
        game = folders.root + "/game";
        fs::create_directories(game);
        fs::copy_file(KORVATRON_EXE, game + "/korvatron");
        fs::permissions(game + "/korvatron", fs::perms::owner_all);
        for (const char* data : {"korvatron.pak", "SysFont7x14.tga"})
            fs::copy_file(std::string(KORVA_GAME_DIR) + "/" + data, game + "/" + data);
        writeFile(folders.root + "/close.txt", "4 close\n");
    }

    // Runs the copy from the test's root folder with `env` (-u VAR words, or VAR=value words) in front; a
    // positive `seconds` ends a desktop run with SIGTERM, which SDL turns into the window's close request.
    ProgramRun korvatron(const std::string& env, const std::string& args, int seconds = 0) {
        const std::string cmd = "cd " + quote(folders.root) + " && env -u XDG_DATA_HOME " + env +
                                " HOME=" + quote(folders.root + "/home") + " " +
                                (seconds ? "timeout -s TERM " + std::to_string(seconds) + " " : "") +
                                quote(game + "/korvatron") + " " + args + " > out.txt 2> err.txt";
        const int status = std::system(cmd.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(folders.root + "/out.txt"),
                readFile(folders.root + "/err.txt")};
    }
    std::string log() { return readFile(game + "/Brask.log"); }

    TestFolders folders;
    std::string game;
};

const std::string kDesktop = "SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy";
const std::string kClose = "--game 2 --script close.txt";

}  // namespace

// The handheld's clock ran from power-on, so each start dealt another board: the desktop's counter runs from
// boot, the headless one is virtual and repeats. A given seed deals the same board on both.
TEST_F(ShellLaunch, TheClockSeedDiffersOnTheDesktopRepeatsHeadlessAndAGivenSeedIsTheSameBoard) {
    std::string headless[2], desktop[2];
    for (std::string& seed : headless) {
        ASSERT_EQ(0, korvatron("", "--headless " + kClose).exitCode);
        seed = seedIn(log());
    }
    for (std::string& seed : desktop) {
        korvatron(kDesktop, "--game 2", 2);
        seed = seedIn(log());
    }
    EXPECT_FALSE(headless[0].empty());
    EXPECT_EQ(headless[0], headless[1]);
    EXPECT_FALSE(desktop[0].empty());
    EXPECT_NE(desktop[0], desktop[1]);
    EXPECT_NE("0", desktop[0]);

    const std::string seed = "--seed 4000000000 --screenshot-at 3:";
    ASSERT_EQ(0, korvatron("", "--headless " + kClose + " " + seed + "headless.png").exitCode);
    EXPECT_EQ("4000000000", seedIn(log()));
    korvatron(kDesktop, "--game 2 " + seed + "desktop.png", 2);
    EXPECT_EQ("4000000000", seedIn(log()));
    const std::string a = readFile(folders.root + "/headless.png"),
                      b = readFile(folders.root + "/desktop.png");
    EXPECT_FALSE(a.empty());
    EXPECT_EQ(a, b);
}

// As the Debian package lays it out: the marker beside the program, run as root, who could write there.
TEST_F(ShellLaunch, AnInstalledCopyWritesItsPlayerFilesAndLogIntoTheUsersDataFolderOnly) {
    writeFile(game + "/installed.txt", "Player files go to each user's data folder.\n");
    const auto before = contents(game);
    const std::string data = folders.root + "/home/.local/share/korvatron";
    // A quick save ends the run; the second start finds it.
    for (int start = 0; start < 2; start++) {
        writeFile(folders.root + "/save.txt", "38 tap 59 310\n");
        ASSERT_EQ(0, korvatron("", "--headless --game 2 --script save.txt").exitCode) << start;
        EXPECT_EQ(1048u, readFile(data + "/KORVA.Quick").size());
        EXPECT_NE(std::string::npos, readFile(data + "/Brask.log").find("Random seed: "));
    }
    EXPECT_EQ(contents(game), before);
}

TEST_F(ShellLaunch, WithoutADisplayOneLineOnTheTerminalNamesTheHeadlessOption) {
    for (const std::string env :
         {"-u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER", "SDL_VIDEODRIVER=nosuch"}) {
        const ProgramRun r = korvatron(env, "--game 2", 20);
        EXPECT_EQ(1, r.exitCode) << env;
        EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
        EXPECT_EQ(0u, r.err.find("korvatron: no display to open a window on")) << r.err;
        EXPECT_NE(std::string::npos, r.err.find("--headless")) << r.err;
    }
}

// ALSA, asked for a card that is not there, prints eight lines of its own while SDL tries it.
TEST_F(ShellLaunch, WithoutASoundDeviceOneLineSaysSoundIsOffAndTheGamePlays) {
    const ProgramRun r = korvatron("SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=alsa ALSA_CARD=KorvaNoSuchCard",
                                   "--game 2 --screenshot-at 3:shot.png", 2);
    EXPECT_EQ(0u, r.err.find("Sound is off: no sound device could be opened")) << r.err;
    EXPECT_EQ(1, std::count(r.err.begin(), r.err.end(), '\n')) << r.err;
    EXPECT_TRUE(fileExists(folders.root + "/shot.png"));
}
