// The headless backend's window system, message queue and script, display in memory, power and keys.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "describe.h"
#include "png_decode.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "support/test_support.h"

namespace {

std::vector<PlatMessage> g_seen;  // what the class procedure received

intptr_t recordProc(PlatWindow w, uint32_t message, uintptr_t wParam, intptr_t lParam) {
    g_seen.push_back({w, message, wParam, lParam});
    return 0;
}

int g_instance;

class HeadlessWindow : public testing::Test {
   protected:
    TestFolders folders;
    void SetUp() override { g_seen.clear(); }

    PlatWindow open(PlatWindowProc proc = recordProc) {
        PlatWindowClass cls = {u"BraskWin", 3, proc, &g_instance, 0};
        if (!platClassExists(u"BraskWin", &g_instance) && !platDefineClass(&cls)) return 0;
        return platCreateWindow(u"BraskWin", u"Korvatron", 0x80000000u, 0, 0, 240, 320, &g_instance);
    }
    std::string pump() { return pumpAndDescribe(); }
    void frame() {
        if (platDisplayBeginDraw()) platDisplayEndDraw();
    }
};

TEST_F(HeadlessWindow, ClassesWindowsAndTaskbarFailOnDemandAndKeepWhatTheyWereGiven) {
    PlatWindowClass cls = {u"BraskWin", 3, recordProc, &g_instance, 0};
    EXPECT_EQ(0, platCreateWindow(u"BraskWin", u"x", 0, 0, 0, 240, 320, &g_instance));  // no class yet
    headlessFailDefineClass(1);
    EXPECT_EQ(0, platDefineClass(&cls));
    headlessFailDefineClass(0);
    EXPECT_EQ(1, platDefineClass(&cls));
    EXPECT_EQ(0, platDefineClass(&cls));  // once per name and instance
    EXPECT_EQ(0, platClassExists(u"BraskWin", nullptr));
    headlessFailCreateWindow(1);
    EXPECT_EQ(0, open());
    headlessFailCreateWindow(0);
    headlessSetStartRect(0, 26, 240, 294);  // a shell that keeps its taskbar clear
    PlatWindow w = open();
    ASSERT_EQ(1u, g_seen.size());
    EXPECT_EQ(PLAT_WM_CREATE, g_seen[0].message);
    EXPECT_EQ(w, g_seen[0].window);

    const char* text;
    uint32_t style;
    PlatRect r;
    int32_t moves, shown;
    ASSERT_EQ(1, headlessWindowInfo(w, &text, &style, &r, &moves, &shown));
    EXPECT_EQ(std::make_tuple(std::string("Korvatron"), 0x80000000u, 26, 294, 0, 0),
              std::make_tuple(std::string(text), style, r.top, r.bottom, moves, shown));
    platShowWindow(w, 1);
    EXPECT_EQ(1, platMoveWindow(w, 0, 0, 240, 320, 1));
    EXPECT_EQ(0, platMoveWindow(w + 1, 0, 0, 1, 1, 0));
    platSetWindowText(w, u"Titel \u00e4");
    ASSERT_EQ(1, platWindowRect(w, &r));
    headlessWindowInfo(w, &text, nullptr, nullptr, &moves, &shown);
    EXPECT_EQ(std::make_tuple(std::string("Titel \xc3\xa4"), 1, 1, 0, 320),
              std::make_tuple(std::string(text), moves, shown, r.top, r.bottom));
    EXPECT_EQ(w, platFindWindow(u"BraskWin"));

    EXPECT_EQ(0, platFindWindow(u"HHTaskbar"));
    headlessEnableTaskbar(1);
    PlatWindow bar = platFindWindow(u"HHTaskbar");
    ASSERT_NE(0, bar);
    for (int32_t show : {0, 1}) {
        platFullScreen(w, show ? 0x15 : 0x2A);
        platShowWindow(bar, show);
        EXPECT_EQ(std::make_pair(show, show ? 0x15u : 0x2Au),
                  std::make_pair(headlessTaskbarVisible(), headlessLastFullScreenFlags()));
    }
    EXPECT_EQ(1, headlessWindowCount());  // the taskbar is not the program's
}

TEST_F(HeadlessWindow, MessagesComeInOrderWithQuitLastAndPeekNeverBlocks) {
    PlatMessage m;
    EXPECT_EQ(0, platPeekMessage(&m));
    EXPECT_EQ(-1, platGetMessage(&m));  // empty: answers instead of waiting forever
    PlatWindow w = open();
    g_seen.clear();
    headlessPostMessage(PLAT_WM_KEYDOWN, 0x26, 0);
    platPostQuit(3);
    headlessPostMessage(PLAT_WM_MOUSEMOVE, 0, 0x00140010);
    ASSERT_EQ(1, platPeekMessage(&m));
    ASSERT_EQ(1, platPeekMessage(&m));  // a peek leaves the message where it is
    EXPECT_EQ(PLAT_WM_KEYDOWN, m.message);
    EXPECT_EQ("keydown 26, move 16,20", pump());  // posted after the quit request, taken before it
    EXPECT_EQ("keydown 26, move 16,20", describe(g_seen));
    EXPECT_EQ(w, g_seen[1].window);
    EXPECT_EQ(0, platPeekMessage(&m));  // the quit message was taken once, by the pump
    platPostQuit(5);
    EXPECT_EQ(0, platGetMessage(&m));
    EXPECT_EQ(PLAT_WM_QUIT, m.message);
    EXPECT_EQ(5u, m.wParam);
}

TEST_F(HeadlessWindow, TheScriptDeliversEachFrameAtTheFirstPumpAfterIt) {
    // A malformed line loads nothing.
    EXPECT_EQ(0, headlessLoadScript("0 key 65\n1 wiggle 3 4\n"));
    EXPECT_EQ(0, headlessLoadScript("0 tap 10\n"));
    EXPECT_EQ(0, headlessLoadScript("0 tap 10 40000\n"));
    ASSERT_EQ(1, headlessLoadScript("# a comment\n"
                                    "2 tap 10 -5\n"
                                    "0 keydown 65\n"
                                    "\n"
                                    "2 key 300\n"
                                    "1 focus 0\r\n"
                                    "3 answer 2\n"
                                    "5 close\n"
                                    "4 down 1 2\n4 move 3 4\n4 up 5 6\n"
                                    "4 keyup 65"));
    ASSERT_EQ(1, platDisplayOpen(open(), 1));

    EXPECT_EQ("keydown 41", pump());
    EXPECT_EQ("", pump());  // nothing more until a frame ends
    frame();
    EXPECT_EQ(1, headlessFrame());
    EXPECT_EQ("killfocus", pump());
    // A failed begin-draw ends its frame as well.
    headlessFailBeginDraw(1);
    EXPECT_EQ(nullptr, platDisplayBeginDraw());
    EXPECT_EQ(2, headlessFrame());
    EXPECT_EQ("down 10,-5, keydown 12C", pump());  // lines of one frame keep their order
    frame();
    EXPECT_EQ("up 10,-5, keyup 12C", pump());
    EXPECT_EQ(2, platMessageBox(u"Sure?", u"Korvatron", 1));  // the answer of frame 3
    EXPECT_EQ(1, platMessageBox(u"Again?", u"Korvatron", 1));
    frame();
    EXPECT_EQ("down 1,2, move 3,4, up 5,6, keyup 41", pump());
    frame();
    EXPECT_EQ("close", pump());
    EXPECT_EQ(4, headlessDrawPairs());
}

// Written backwards, and with frames repeated far apart: every line still comes in its frame, and the lines
// of one frame in the order they were written.
TEST_F(HeadlessWindow, AScriptInAnyLineOrderPlaysInFrameOrder) {
    std::string text;
    for (int f = 299; f >= 0; f--) text += std::to_string(f) + " keydown " + std::to_string(f % 200) + "\n";
    for (int f = 0; f < 300; f += 3) text += std::to_string(f) + " keyup " + std::to_string(f % 200) + "\n";
    ASSERT_EQ(1, headlessLoadScript(text.c_str()));
    ASSERT_EQ(1, platDisplayOpen(open(), 1));
    for (int f = 0; f < 300; f++) {
        char want[40];
        snprintf(want, sizeof want, f % 3 ? "keydown %X" : "keydown %X, keyup %X", f % 200, f % 200);
        ASSERT_EQ(want, pump()) << "frame " << f;
        frame();
    }
    EXPECT_EQ(1, headlessScriptDone());
}

TEST_F(HeadlessWindow, TheScriptIsDoneOnlyOnceItsLastLineIsPumped) {
    EXPECT_EQ(1, headlessScriptDone());  // no script: nothing will ever come
    ASSERT_EQ(1, headlessLoadScript("1 tap 10 20\n"));
    ASSERT_EQ(1, platDisplayOpen(open(), 1));
    EXPECT_EQ(0, headlessScriptDone());
    frame();
    EXPECT_EQ(0, headlessScriptDone());  // due, but not yet in the queue
    PlatMessage m;
    ASSERT_EQ(1, platPeekMessage(&m));
    EXPECT_EQ(0, headlessScriptDone());  // the down waits in the queue, the up in the script
    EXPECT_EQ("down 10,20", pump());
    frame();
    EXPECT_EQ("up 10,20", pump());
    EXPECT_EQ(1, headlessScriptDone());
}

TEST_F(HeadlessWindow, DisplayPropertiesAndBeginEndPairs) {
    PlatDisplayProperties p, handheld = {240, 320, 2, 480, 16, PLAT_FMT_565};
    ASSERT_EQ(1, platDisplayProperties(&p));
    EXPECT_EQ(0, memcmp(&handheld, &p, sizeof p));

    EXPECT_EQ(nullptr, platDisplayBeginDraw());  // not open
    PlatWindow w = open();
    headlessFailDisplayOpen(1);
    EXPECT_EQ(0, platDisplayOpen(w, 1));
    headlessFailDisplayOpen(0);
    EXPECT_EQ(0, platDisplayOpen(w + 7, 1));
    ASSERT_EQ(1, platDisplayOpen(w, 1));
    EXPECT_EQ(0, platDisplayEndDraw());  // nothing began
    int64_t size;
    uint8_t* fb = headlessFrameBuffer(&size);
    EXPECT_EQ(153600, size);
    EXPECT_EQ(fb, platDisplayBeginDraw());
    EXPECT_EQ(nullptr, platDisplayBeginDraw());  // one draw at a time
    EXPECT_EQ(1, platDisplayEndDraw());
    headlessFailBeginDraw(2);
    EXPECT_EQ(nullptr, platDisplayBeginDraw());
    EXPECT_EQ(nullptr, platDisplayBeginDraw());
    EXPECT_EQ(0, platDisplayEndDraw());
    EXPECT_NE(nullptr, platDisplayBeginDraw());
    EXPECT_EQ(1, platDisplayEndDraw());
    EXPECT_EQ(2, headlessDrawPairs());
    EXPECT_EQ(1, platDisplayClose());
    EXPECT_EQ(nullptr, platDisplayBeginDraw());
}

// Every pixel of every layout lies inside the buffer: the sanitizer build checks the writes.
TEST_F(HeadlessWindow, FrameBuffersFitEveryLayoutIncludingNegativePitches) {
    struct Case {
        PlatDisplayProperties p;
        int64_t size, firstPixel;
    } cases[] = {
        {{240, 320, -640, 2, 16, PLAT_FMT_565}, 153600, 239 * 640},     // down the columns
        {{240, 320, 640, -2, 16, PLAT_FMT_565}, 153600, 319 * 2},       // the other way round
        {{240, 320, -2, -480, 16, PLAT_FMT_555}, 153600, 153598},       // mirrored both ways
        {{240, 320, 3, 720, 24, PLAT_FMT_888}, 230400, 0},              // 888 in three bytes
        {{240, 320, 1, 256, 8, PLAT_FMT_PALETTE}, 319 * 256 + 240, 0},  // rows longer than the width
    };
    PlatWindow w = open();
    for (const Case& c : cases) {
        headlessSetDisplay(&c.p);
        ASSERT_EQ(1, platDisplayOpen(w, 1));
        PlatDisplayProperties got;
        platDisplayProperties(&got);
        EXPECT_EQ(c.p.yPitch, got.yPitch);
        int64_t size;
        uint8_t* fb = headlessFrameBuffer(&size);
        EXPECT_EQ(std::max<int64_t>(c.size, 153600), size);  // the direct mode's layout shares the memory
        uint8_t* first = (uint8_t*)platDisplayBeginDraw();
        ASSERT_EQ(fb + c.firstPixel, first);
        int32_t bytes = (int32_t)(c.p.bitsPerPixel / 8);
        for (int32_t y = 0; y < 320; y++)
            for (int32_t x = 0; x < 240; x++) memset(first + x * c.p.xPitch + y * c.p.yPitch, 0x5A, bytes);
        platDisplayEndDraw();
    }
    // A layout too large to hold is refused at open.
    PlatDisplayProperties huge = {4096, 4096, 4, 1 << 20, 32, PLAT_FMT_888};
    headlessSetDisplay(&huge);
    EXPECT_EQ(0, platDisplayOpen(w, 1));
}

TEST_F(HeadlessWindow, SnapshotsComeOutUprightWhateverTheLayout) {
    PlatWindow w = open();
    // 565 colours whose 8-bit expansion is exact enough to compare: red from x, green from y.
    auto colour565 = [](int32_t x, int32_t y) { return (uint16_t)((x & 31) << 11 | (y & 63) << 5 | 7); };
    auto expected = [](int32_t x, int32_t y) {
        return (uint32_t)((x & 31) * 255 / 31) << 16 | (uint32_t)((y & 63) * 255 / 63) << 8 | 7 * 255 / 31;
    };
    auto check = [&](const char* what) {
        std::string path = folders.root + "/shot.png";
        ASSERT_EQ(1, headlessSnapshotPng(path.c_str())) << what;
        uint32_t width = 0, height = 0;
        std::vector<uint32_t> px = decodePng(readFile(path), &width, &height);
        ASSERT_EQ(std::make_tuple(240u, 320u, size_t(240 * 320)), std::make_tuple(width, height, px.size()))
            << what;
        for (int32_t y = 0; y < 320; y += 7)
            for (int32_t x = 0; x < 240; x += 3)
                ASSERT_EQ(expected(x, y), px[y * 240 + x]) << what << " " << x << "," << y;
    };
    const PlatDisplayProperties layouts[] = {
        {240, 320, 2, 480, 16, PLAT_FMT_565},
        {240, 320, -640, 2, 16, PLAT_FMT_565},
        {240, 320, -2, -480, 16, PLAT_FMT_565},
    };
    for (const PlatDisplayProperties& p : layouts) {
        headlessSetDisplay(&p);
        ASSERT_EQ(1, platDisplayOpen(w, 1));
        uint8_t* first = (uint8_t*)platDisplayBeginDraw();
        ASSERT_NE(nullptr, first);
        for (int32_t y = 0; y < 320; y++)
            for (int32_t x = 0; x < 240; x++) {
                uint16_t v = colour565(x, y);
                memcpy(first + x * p.xPitch + y * p.yPitch, &v, 2);
            }
        platDisplayEndDraw();
        check(p.xPitch == 2 ? "identity" : p.xPitch == -640 ? "columns" : "mirrored");
    }
    // The direct mode draws down the columns into the backend's own buffer, whatever the reported layout.
    headlessSetDisplay(nullptr);
    ASSERT_EQ(1, platDisplayOpen(w, 1));
    uint8_t* direct = (uint8_t*)platDisplayDirectBuffer();
    int64_t size;
    uint8_t* fb = headlessFrameBuffer(&size);
    for (int32_t y = 0; y < 320; y++)
        for (int32_t x = 0; x < 240; x++) {
            uint8_t* at = direct + y * 2 - x * 640;
            ASSERT_TRUE(at >= fb && at + 2 <= fb + size);
            uint16_t v = colour565(x, y);
            memcpy(at, &v, 2);
        }
    check("direct");
    EXPECT_EQ(0, headlessSnapshotPng((folders.root + "/missing/shot.png").c_str()));
}

TEST_F(HeadlessWindow, PowerKeysAndInput) {
    uint8_t flag = 0, life = 0;
    ASSERT_EQ(1, platPowerStatus(&flag, &life));
    EXPECT_EQ(std::make_pair(0x80, 255), std::make_pair(int(flag), int(life)));
    headlessSetPower(1, 2, 17);
    ASSERT_EQ(1, platPowerStatus(&flag, &life));
    EXPECT_EQ(std::make_pair(2, 17), std::make_pair(int(flag), int(life)));
    headlessSetPower(0, 2, 17);
    EXPECT_EQ(0, platPowerStatus(&flag, &life));

    PlatDefaultKeys k, desktop = {0x26, 0x28, 0x25, 0x27, 0x5A, 0x58, 0x43, 0x0D};
    // Codes the engine must cope with come through as they are: out of range, and A sharing BUT.D's code.
    PlatDefaultKeys odd = {-1, 0, 256, 0x7FFF, (int16_t)0xC1, 0xC1, -32768, 0x0D};
    headlessSetDefaultKeys(&odd);
    for (int32_t landscape = 0; landscape < 2; landscape++) {
        ASSERT_EQ(1, platDefaultKeys(&k, landscape));
        EXPECT_EQ(0, memcmp(&odd, &k, sizeof k));
    }
    headlessSetDefaultKeys(nullptr);
    platDefaultKeys(&k, 1);
    EXPECT_EQ(0, memcmp(&desktop, &k, sizeof k));

    EXPECT_EQ(1, platInputOpen());
    headlessFailInputOpen(1);
    EXPECT_EQ(0, platInputOpen());
}

}  // namespace
