// What a run leaves behind, on both backends: screenshots of chosen presents, and a record that replays the
// pumps it was made from; the start lines of a record in the headless script.
#include <SDL2/SDL.h>
#include <gtest/gtest.h>

#include <limits.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "describe.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "platform/sdl2.h"
#include "platform/session.h"
#include "png_decode.h"
#include "support/test_support.h"

namespace {

int g_instance;

intptr_t quietProc(PlatWindow, uint32_t, uintptr_t, intptr_t) {
    return 0;
}

PlatWindow openWindow() {
    PlatWindowClass cls = {u"BraskWin", 3, quietProc, &g_instance, 0};
    if (!platClassExists(u"BraskWin", &g_instance) && !platDefineClass(&cls)) return 0;
    PlatWindow w = platCreateWindow(u"BraskWin", u"Korvatron", 0x80000000u, 0, 0, 240, 320, &g_instance);
    if (w && !platDisplayOpen(w, 1)) return 0;
    return w;
}

// One frame of a single 565 colour, presented.
void present(uint16_t colour) {
    uint16_t* fb = (uint16_t*)platDisplayBeginDraw();
    ASSERT_NE(nullptr, fb);
    for (int i = 0; i < 240 * 320; i++) fb[i] = colour;
    ASSERT_EQ(1, platDisplayEndDraw());
}

uint32_t shotColour(const std::string& path) {
    uint32_t w = 0, h = 0;
    std::vector<uint32_t> px = decodePng(readFile(path), &w, &h);
    if (w != 240 || h != 320 || px.size() != 240u * 320u) return 0xDEAD;
    for (uint32_t p : px)
        if (p != px[0]) return 0xBAD;
    return px[0];
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        out.push_back(text.substr(at, end - at));
    return out;
}

class HeadlessSession : public testing::Test {
   protected:
    TestFolders folders;  // a reset headless backend, and with it a reset session
};

TEST_F(HeadlessSession, ShotsComeFromTheirPresentsAndAFailedBeginIsNoPresent) {
    ASSERT_NE(0, openWindow());
    const std::string a = folders.root + "/a.png", b = folders.root + "/b.png", b2 = folders.root + "/b2.png";
    ASSERT_EQ(1, platShotAt(0, a.c_str()));
    ASSERT_EQ(1, platShotAt(2, b.c_str()));
    ASSERT_EQ(1, platShotAt(2, b2.c_str()));  // two files of one present
    ASSERT_EQ(1, platShotAt(1, (folders.root + "/missing/x.png").c_str()));
    ASSERT_EQ(1, platShotAt(50, (folders.root + "/never.png").c_str()));
    EXPECT_EQ(0, platShotAt(-1, a.c_str()));
    EXPECT_EQ(0, platShotAt(3, ""));

    present(0xF800);           // present 0: red
    headlessFailBeginDraw(1);  // a frame ends, nothing is presented
    EXPECT_EQ(nullptr, platDisplayBeginDraw());
    present(0x07E0);  // present 1: green, to a folder that does not exist
    present(0x001F);  // present 2: blue
    EXPECT_EQ(0xFF0000u, shotColour(a));
    EXPECT_EQ(0x0000FFu, shotColour(b));
    EXPECT_EQ(readFile(b), readFile(b2));
    EXPECT_EQ(std::make_tuple(4, 3, 1, 1),
              std::make_tuple(platFramesEnded(), platPresents(), platShotFailures(), platShotsPending()));
    EXPECT_FALSE(fileExists(folders.root + "/never.png"));
}

// Pumps the frames 0..last, answering a box in `boxFrame`: what each pump took, and the box's answer.
std::vector<std::string> runFrames(int last, int boxFrame) {
    std::vector<std::string> pumps;
    for (int f = 0; f <= last; f++) {
        pumps.push_back(pumpAndDescribe());
        if (f == boxFrame)
            pumps.push_back("answer " + std::to_string(platMessageBox(u"Save?", u"Korvatron", 1)));
        if (platDisplayBeginDraw()) platDisplayEndDraw();
    }
    return pumps;
}

TEST_F(HeadlessSession, ARecordHoldsWhatThePumpsTookKeyedByFramesEnded) {
    ASSERT_NE(0, openWindow());
    ASSERT_EQ(1, headlessLoadScript("0 down 5 6\n0 move 7 -8\n1 up 7 8\n2 key 90\n3 focus 0\n3 focus 1\n"
                                    "4 answer 2\n6 close\n"));
    const std::string path = folders.root + "/rec.txt";
    ASSERT_EQ(1, platRecordStart(path.c_str()));
    platRecordSeed(77);
    const uint8_t quick[] = {0x00, 0xFF, 0x10};
    platRecordFile("KORVA.Quick", quick, 3);
    headlessPostMessage(0x400, 1, 2);  // not input: taken, but no part of the record
    EXPECT_EQ("message 1024, down 5,6, move 7,-8", runFrames(7, 4)[0]);
    const std::string record = readFile(path);  // complete before the record is stopped
    platRecordStop();
    EXPECT_EQ(std::vector<std::string>({"# a recorded run: replay it with --headless --script FILE",
                                        "seed 77", "file KORVA.Quick 00ff10", "0 down 5 6", "0 move 7 -8",
                                        "1 up 7 8", "2 keydown 90", "3 keyup 90", "3 focus 0", "3 focus 1",
                                        "4 answer 2", "6 close"}),
              lines(record));
}

TEST_F(HeadlessSession, StartLinesGiveTheSeedAndOnlyFilesWithBareNames) {
    ASSERT_EQ(1, headlessLoadScript(
                     "# start\nseed 4294967295\nfile KORVA.Score 0a0B\nfile KORVA.Empty\n3 close\n"));
    uint32_t seed = 0;
    EXPECT_EQ(1, headlessScriptSeed(&seed));
    EXPECT_EQ(4294967295u, seed);
    ASSERT_EQ(2, headlessScriptFileCount());
    const uint8_t* bytes = nullptr;
    int32_t count = -1;
    ASSERT_EQ(1, headlessScriptFile(0, nullptr, &bytes, &count));
    EXPECT_EQ(std::string("\x0a\x0b"), std::string((const char*)bytes, (size_t)count));
    ASSERT_EQ(1, headlessScriptFile(1, nullptr, nullptr, &count));
    EXPECT_EQ(0, count);
    EXPECT_EQ(0, headlessScriptFile(2, nullptr, nullptr, nullptr));

    // Each is refused whole, and the script loaded before stays.
    for (const char* bad : {"file ../KORVA.Quick 00", "file saves/KORVA.Quick 00", "file /etc/passwd 00",
                            "file .. 00", "file .hidden 00", "file a\\b 00", "file C:x 00",
                            "file KORVA.Quick 0", "file KORVA.Quick 0g", "file KORVA.Quick 00 11",
                            "file x 00\nfile x 01", "seed -1", "seed 4294967296", "seed", "seed 1 2"}) {
        EXPECT_EQ(0, headlessLoadScript(bad)) << bad;
        EXPECT_EQ(2, headlessScriptFileCount()) << bad;
    }
    ASSERT_EQ(1, headlessLoadScript("1 close\n"));  // a plain script has no start
    EXPECT_EQ(0, headlessScriptSeed(&seed));
    EXPECT_EQ(0, headlessScriptFileCount());
}

TEST_F(HeadlessSession, ADataFolderIsMadeAbsoluteAndBecomesTheDocumentsFolder) {
    char real[PATH_MAX];
    ASSERT_NE(nullptr, realpath(folders.root.c_str(), real));
    const std::string root = real;
    char cwd[PATH_MAX];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    ASSERT_EQ(0, chdir(root.c_str()));
    char16_t out[PLAT_PATH_MAX], docs[PLAT_PATH_MAX];
    const int made = platUseDataFolder("saves/run 1", out, PLAT_PATH_MAX);
    ASSERT_EQ(0, chdir(cwd));  // relative to where the program was started, not to where it runs later
    ASSERT_EQ(1, made);
    EXPECT_EQ(u16(root + "/saves/run 1/"), std::u16string(out));
    headlessSetDocumentsFolder(nullptr);  // the test's own documents folder would take precedence
    ASSERT_EQ(1, platDocumentsFolder(docs, PLAT_PATH_MAX));
    EXPECT_EQ(u16(root + "/saves/run 1"), std::u16string(docs));

    // Without a name: a fresh, empty folder each time, under $TMPDIR.
    const char* oldTmp = getenv("TMPDIR");
    const std::string keep = oldTmp ? oldTmp : "";
    setenv("TMPDIR", root.c_str(), 1);
    char16_t first[PLAT_PATH_MAX], second[PLAT_PATH_MAX];
    const int fresh =
        platUseDataFolder(nullptr, first, PLAT_PATH_MAX) && platUseDataFolder(nullptr, second, PLAT_PATH_MAX);
    oldTmp ? setenv("TMPDIR", keep.c_str(), 1) : unsetenv("TMPDIR");
    ASSERT_EQ(1, fresh);
    EXPECT_EQ(0u, std::u16string(first).rfind(u16(root + "/korvatron-replay-"), 0));
    EXPECT_NE(std::u16string(first), std::u16string(second));

    writeFile(root + "/plain", "x");
    EXPECT_EQ(0, platUseDataFolder("", out, PLAT_PATH_MAX));
    EXPECT_EQ(0, platUseDataFolder((root + "/plain/below").c_str(), out, PLAT_PATH_MAX));
    EXPECT_EQ(0, platUseDataFolder((root + "/plain").c_str(), out, PLAT_PATH_MAX));
    EXPECT_EQ(0, platUseDataFolder(root.c_str(), out, 8));  // too long for the caller's buffer
}

// The desktop backend under SDL's dummy video driver.
class Sdl2Session : public testing::Test {
   protected:
    TestFolders folders;
    PlatWindow w = 0;
    void SetUp() override {
        setenv("SDL_VIDEODRIVER", "dummy", 1);
        platSetBackend(&platSdl2);
        w = openWindow();
        ASSERT_NE(0, w);
        pumpAndDescribe();  // whatever the window system says at start
    }
    void TearDown() override {
        platRecordStop();
        platSdl2Shutdown();
        platSetBackend(&platHeadless);
    }
    void push(Uint32 type, int a = 0, int b = 0) {
        SDL_Event e = {};
        e.type = type;
        const Uint32 id = SDL_GetWindowID((SDL_Window*)platSdl2Window());
        if (type == SDL_KEYDOWN || type == SDL_KEYUP) {
            e.key.windowID = id;
            e.key.keysym.scancode = (SDL_Scancode)a;
        } else if (type == SDL_MOUSEBUTTONDOWN || type == SDL_MOUSEBUTTONUP) {
            e.button.windowID = id;
            e.button.button = SDL_BUTTON_LEFT;
            e.button.x = a;
            e.button.y = b;
        } else if (type == SDL_MOUSEMOTION) {
            e.motion.windowID = id;
            e.motion.x = a;
            e.motion.y = b;
        }
        SDL_PushEvent(&e);
    }
};

TEST_F(Sdl2Session, ARecordOfPushedEventsReplaysHeadlessAsItWasTaken) {
    const std::string path = folders.root + "/rec.txt";
    ASSERT_EQ(1, platRecordStart(path.c_str()));
    const int32_t start = platFramesEnded();
    std::vector<std::string> made;
    // Window pixels at scale 2: (20, 40) is the screen's (10, 20).
    push(SDL_MOUSEBUTTONDOWN, 20, 40);
    push(SDL_MOUSEBUTTONUP, 20, 40);  // a quick click: its release waits a pump
    push(SDL_KEYDOWN, SDL_SCANCODE_Z);
    made.push_back(pumpAndDescribe());
    present(0);
    made.push_back(pumpAndDescribe());
    present(0);
    push(SDL_KEYUP, SDL_SCANCODE_Z);
    push(SDL_MOUSEBUTTONDOWN, 100, 100);
    push(SDL_MOUSEMOTION, 120, 130);
    made.push_back(pumpAndDescribe());
    present(0);
    push(SDL_QUIT);
    made.push_back(pumpAndDescribe());
    EXPECT_EQ(std::vector<std::string>(
                  {"down 10,20", "up 10,20, keydown 5A", "keyup 5A, down 50,50, move 60,65", "close"}),
              made);
    const std::string record = readFile(path);
    char want[256];
    snprintf(want, sizeof want,
             "%d down 10 20\n%d up 10 20\n%d keydown 90\n%d keyup 90\n%d down 50 50\n"
             "%d move 60 65\n%d close\n",
             start, start + 1, start + 1, start + 2, start + 2, start + 2, start + 3);
    EXPECT_NE(std::string::npos, record.find(want)) << record;

    // Replayed headless from the same frame count, each pump takes what the desktop's took.
    platRecordStop();
    platSdl2Shutdown();
    platSetBackend(&platHeadless);
    ASSERT_NE(0, openWindow());
    ASSERT_EQ(1, headlessLoadScript(record.c_str()));
    for (int32_t f = 0; f < start; f++) present(0);
    std::vector<std::string> replayed;
    for (int f = 0; f < 4; f++) {
        replayed.push_back(pumpAndDescribe());
        present(0);
    }
    EXPECT_EQ(made, replayed);
}

TEST_F(Sdl2Session, AShotIsTheFrameAsShownAndTheSameFileAsHeadless) {
    const std::string desk = folders.root + "/desk.png", head = folders.root + "/head.png";
    const int32_t first = platPresents();
    ASSERT_EQ(1, platShotAt(first + 1, desk.c_str()));
    present(0xF800);
    uint16_t* fb = (uint16_t*)platDisplayBeginDraw();
    ASSERT_NE(nullptr, fb);
    for (int i = 0; i < 240 * 320; i++) fb[i] = (uint16_t)(i * 7);  // every 565 value shows somewhere
    std::vector<uint16_t> drawn(fb, fb + 240 * 320);
    ASSERT_EQ(1, platDisplayEndDraw());
    ASSERT_EQ(0, platShotsPending());
    uint32_t wd = 0, hd = 0;
    std::vector<uint32_t> px = decodePng(readFile(desk), &wd, &hd);
    ASSERT_EQ(240u * 320u, px.size());
    for (int i : {0, 1, 4681, 9362, 76799}) {  // 0, 7, 0x7FFF, 0xFFFE and one more
        const uint32_t v = drawn[i];
        const uint32_t want =
            (v >> 11) * 255 / 31 << 16 | ((v >> 5) & 63) * 255 / 63 << 8 | (v & 31) * 255 / 31;
        EXPECT_EQ(want, px[i]) << i;
    }

    // The same pixels through the headless backend give the same bytes.
    platSdl2Shutdown();
    platSetBackend(&platHeadless);
    ASSERT_NE(0, openWindow());
    uint16_t* hb = (uint16_t*)platDisplayBeginDraw();
    ASSERT_NE(nullptr, hb);
    std::copy(drawn.begin(), drawn.end(), hb);
    ASSERT_EQ(1, platDisplayEndDraw());
    ASSERT_EQ(1, headlessSnapshotPng(head.c_str()));
    EXPECT_EQ(readFile(desk), readFile(head));
}

}  // namespace
