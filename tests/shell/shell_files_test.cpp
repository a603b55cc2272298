// The player files under the failures a desktop has: a process killed in the middle of a save, a disk
// that takes no more bytes, a folder that refuses new files.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "brask/memory.h"
#include "shell_fixture.h"

namespace {

// Every value of the record follows from one number, so a file can be told whole or mixed.
void fillGeneration(int32_t n) {
    for (int32_t i = 0; i < BOARD_CELLS; i++) gGame.board[i] = 1 + n % 5;
    gGame.score = n;
    gGame.volume = gGame.brightness = float(n % 1000) / 1000.0f;
    for (auto& variant : gHallOfFame.table)
        for (HofEntry& e : variant) e.score = n;
}

bool wholeGame(const std::string& bytes) {
    if (bytes.size() != sizeof(GameState)) return false;
    GameState g;
    memcpy(&g, bytes.data(), sizeof g);
    for (int32_t i = 0; i < BOARD_CELLS; i++)
        if (g.board[i] != 1 + g.score % 5) return false;
    return true;
}

bool wholeSettings(const std::string& bytes) {
    return bytes.size() == 16 && bytes.substr(0, 4) == bytes.substr(4, 4);
}

bool wholeScores(const std::string& bytes) {
    if (bytes.size() != sizeof(HallOfFame)) return false;
    HallOfFame h;
    memcpy(&h, bytes.data(), sizeof h);
    for (auto& variant : h.table)
        for (HofEntry& e : variant)
            if (e.score != h.table[0][0].score) return false;
    return true;
}

std::vector<std::string> leftovers(const std::string& dir) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.path().extension() == ".new") found.push_back(e.path().filename().string());
    return found;
}

}  // namespace

TEST_F(ShellTest, AKillAtAnyMomentOfASaveLeavesTheWholeOldFileOrTheWholeNewOne) {
    startShell();
    fillGeneration(0);
    ASSERT_EQ(1, gameSave(u"KORVA.Quick"));
    ASSERT_EQ(1, setupSave());
    ASSERT_EQ(1, hofSave());
    std::mt19937 pick(12345);
    for (int32_t run = 0; run < 40; run++) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int32_t n = 1;; n++) {
                fillGeneration(n);
                gameSave(u"KORVA.Quick");
                setupSave();
                hofSave();
            }
        }
        usleep(useconds_t(pick() % 20000));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        EXPECT_TRUE(wholeGame(readFile(folders.prog + "/KORVA.Quick"))) << run;
        EXPECT_TRUE(wholeSettings(readFile(folders.prog + "/KORVA.Setup"))) << run;
        EXPECT_TRUE(wholeScores(readFile(folders.prog + "/KORVA.Score"))) << run;
    }
    // What a kill left half-written goes at the next start.
    shellShutDown();
    started = false;
    startShell();
    EXPECT_EQ(std::vector<std::string>{}, leftovers(folders.prog));
    EXPECT_TRUE(wholeGame(readFile(folders.prog + "/KORVA.Quick")));
}

// A Game 2: a quick save, a save from the dialog (which stays open), the dialog's quit, then a close on
// the scores table, each write failing where the files cannot grow or cannot be made.
class FullDisk : public ShellProgram {
   protected:
    const std::string oldQuick = recordBytes(idleGame2()), oldScores = std::string(3240, '\x01');

    // Before any limit is set: the test's own writes would be cut by it.
    void SetUp() override {
        ShellProgram::SetUp();
        writeFile(folders.prog + "/KORVA.Quick", oldQuick);
        writeFile(folders.prog + "/KORVA.Score", oldScores);
    }
    void session() {
        launch.game = 2;
        EXPECT_EQ(0, run("38 tap 59 310\n50 tap 180 310\n60 tap 100 120\n70 tap 100 112\n80 close\n"));
        // The game went on after the failed quick save, the dialog after its failed save.
        EXPECT_GE(headlessFrame(), 80);
        EXPECT_EQ(oldQuick, file("KORVA.Quick"));
        EXPECT_EQ(oldScores, file("KORVA.Score"));
        EXPECT_FALSE(fileExists(folders.prog + "/KORVA.Game2"));
        EXPECT_FALSE(fileExists(folders.docs + "/KORVA.Game2"));
        EXPECT_EQ(std::vector<std::string>{}, leftovers(folders.prog));
        EXPECT_EQ(std::vector<std::string>{}, leftovers(folders.docs));
    }
    std::vector<std::string> boxes() const {
        std::vector<std::string> texts;
        for (int32_t i = 0; i < headlessMessageBoxCount(); i++) {
            const char* text = nullptr;
            headlessMessageBox(i, &text, nullptr, nullptr);
            texts.push_back(text);
        }
        return texts;
    }
};

TEST_F(FullDisk, AFileSizeLimitFailsTheBigSavesWithABoxEachAndKeepsTheOldFiles) {
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    rlimit small = before;
    small.rlim_cur = 1000;
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &small));
    session();
    setrlimit(RLIMIT_FSIZE, &before);
    signal(SIGXFSZ, oldHandler);
    EXPECT_EQ((std::vector<std::string>{"Could not save the game.", "Could not save the game.",
                                        "Could not save the scores."}),
              boxes());
    EXPECT_EQ(16u, file("KORVA.Setup").size());  // small enough to fit
    const std::string log = logText();
    EXPECT_NE(std::string::npos, log.find("Could not write KORVA.Quick\n")) << log;
    EXPECT_EQ(std::string::npos, log.find("KORVA.Setup")) << log;
}

TEST_F(FullDisk, FoldersThatRefuseNewFilesFailEverySaveWithABoxEach) {
    refusals = {{folders.prog + "/", HEADLESS_REFUSE_CREATE}, {folders.docs + "/", HEADLESS_REFUSE_CREATE}};
    session();
    EXPECT_EQ((std::vector<std::string>{"Could not save the game.", "Could not save the game.",
                                        "Could not save the scores.", "Could not save the settings."}),
              boxes());
    EXPECT_FALSE(fileExists(folders.prog + "/KORVA.Setup"));
}

// Waits that draw nothing still come round once a frame time, on the virtual clock as on a desktop.
TEST_F(ShellTest, TheGameOverWaitAndTheHeldStylusWaitArePacedAtFiftyMilliseconds) {
    startShell();
    const auto pacedFrames = [](auto wait) {
        const int32_t frames = headlessFrame();
        const uint64_t before = headlessCounterValue();
        wait();
        const int32_t ran = headlessFrame() - frames;
        const uint64_t micros = headlessCounterValue() - before;
        EXPECT_GE(ran, 60);
        EXPECT_GE(micros, uint64_t(ran) * 50000u);
        return micros / uint64_t(ran);
    };
    gGame.gameOver = GAME_OVER;
    ASSERT_EQ(1, headlessLoadScript((std::to_string(headlessFrame() + 60) + " tap 10 10\n").c_str()));
    EXPECT_LT(pacedFrames([] { EXPECT_EQ(UPDATE_GAME_ENDED, gameUpdate()); }), 56000u);

    // Held for 100 frames, then the options' own 66 ms frames until the tap on the way out.
    const int32_t at = headlessFrame();
    ASSERT_EQ(1, headlessLoadScript((std::to_string(at) + " down 100 100\n" + std::to_string(at + 100) +
                                     " up 100 100\n" + std::to_string(at + 105) + " tap 100 270\n")
                                        .c_str()));
    deliver();
    ASSERT_TRUE(gGame.stylusHeld);
    pacedFrames([] { EXPECT_EQ(1, menuOptions()); });
}

// A game in play draws into what start-up made: no frame may allocate, or a long game would fragment the
// handheld's small heap. Taps and a turn included, so the rotated drawing is covered too.
TEST_F(ShellTest, ASteadyGameFrameAllocatesNothing) {
    startShell();
    gGame.variant = VARIANT_GAME2;
    gameNew();
    ASSERT_EQ(1, headlessLoadScript((std::to_string(headlessFrame() + 5) + " tap 45 45\n" +
                                     std::to_string(headlessFrame() + 40) + " tap 125 125\n")
                                        .c_str()));
    const MemStats before = *memGetStats();
    for (int32_t i = 0; i < 100; i++) {
        pollInput();
        ASSERT_EQ(UPDATE_PLAYING, gameUpdate());
        gameDraw();
        ASSERT_EQ(1, frameEnd());
    }
    EXPECT_GT(gShell.played[SND_ROTATION], 0);
    EXPECT_EQ(before.totalAllocs, memGetStats()->totalAllocs);
    EXPECT_EQ(before.unfreedBytes, memGetStats()->unfreedBytes);
}

// SIGTERM and SIGINT end a game as a window close does, on both backends: the game kept, exit code 0.
TEST_F(ShellTest, ASignalEndsTheProgramAsAWindowCloseDoes) {
    for (const char* backend : {"--headless", "--scale=1"}) {
        for (int sig : {SIGTERM, SIGINT}) {
            SCOPED_TRACE(std::string(backend) + " " + strsignal(sig));
            const std::string data = folders.root + "/data" + std::to_string(sig) + backend;
            const pid_t child = fork();
            ASSERT_GE(child, 0);
            if (child == 0) {
                setenv("SDL_VIDEODRIVER", "dummy", 1);
                setenv("SDL_AUDIODRIVER", "dummy", 1);
                freopen("/dev/null", "w", stdout);
                freopen("/dev/null", "w", stderr);
                execl(KORVATRON_EXE, KORVATRON_EXE, backend, "--game", "2", "--data", data.c_str(),
                      (char*)nullptr);
                _exit(127);
            }
            // The data folder appears as the program starts; a game is under way soon after.
            for (int i = 0; i < 200 && !fileExists(data); i++) usleep(10000);
            usleep(300000);
            kill(child, sig);
            int status = 0;
            waitpid(child, &status, 0);
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(0, WEXITSTATUS(status));
            const std::string quick = readFile(data + "/KORVA.Quick");
            ASSERT_EQ(1048u, quick.size());
            EXPECT_EQ(std::string("\x01\0\0\0", 4), quick.substr(908, 4));  // Game 2
            EXPECT_EQ(16u, readFile(data + "/KORVA.Setup").size());
        }
    }
}

// A folder that takes no new file, holding a copy that takes writes (a player's own doing): the copy is
// written in place, since a save made elsewhere would stay hidden behind it on every load.
TEST_F(ShellTest, ACopyInAFolderThatTakesNoNewFileIsWrittenInPlace) {
    if (geteuid() != 0) GTEST_SKIP() << "runs the save as another user, which takes root";
    startShell();
    fillGeneration(3);
    ASSERT_EQ(1, hofSave());
    const std::string score = folders.prog + "/KORVA.Score";
    chmod(folders.root.c_str(), 0755);
    chmod(folders.prog.c_str(), 0755);  // root's: no new file for anyone else
    chmod(score.c_str(), 0666);
    chmod(folders.docs.c_str(), 0777);  // where a save made beside nothing would go instead
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (setgid(65534) != 0 || setuid(65534) != 0) _exit(2);
        fillGeneration(7);
        if (!hofSave()) _exit(3);
        hofLoad();
        _exit(gHallOfFame.table[2][9].score == 7 ? 0 : 4);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_TRUE(wholeScores(readFile(score)));
    EXPECT_FALSE(fileExists(folders.docs + "/KORVA.Score"));
}
