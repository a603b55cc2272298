// Presentation: every back-buffer pixel lands where the display's layout puts it, for each frame-buffer
// layout and format and for each turn of the view; turning views and orientations round-trips.
#include <cstring>
#include <unordered_map>

#include "app_fixture.h"
#include "brask/gfx.h"

namespace {

uint32_t readRaw(const uint8_t* p, int32_t bytes) {
    uint32_t v = 0;
    memcpy(&v, p, bytes);  // little-endian host, as the frame buffer's formats assume
    return v;
}

// Distinct enough that a pixel put in the wrong place is seen.
uint32_t pattern(int32_t x, int32_t y) {
    return uint32_t(x * 31 + y * 1013 + 7) & 0xFFFF;
}

Surface* makeBack(int32_t w, int32_t h) {
    Surface* s = sfCreate(w, h, pf565, 0, SF_NO_KEY, nullptr);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) sfPutPixel(s, x, y, pattern(x, y));
    return s;
}

void present(Surface* back) {
    View v = {back, 0, 0, {0, 0, back->width, back->height}};
    gfxPresent(&v);
}

struct Layout {
    const char* name;
    int32_t xPitch, yPitch;
    uint32_t bits, flags;
    const char* oem;
    int32_t wantXStep, wantRowPitch;
};

class PresentLayout : public AppTest, public testing::WithParamInterface<Layout> {};

}  // namespace

TEST_P(PresentLayout, EveryPixelLandsWhereTheStepsSay) {
    const Layout& l = GetParam();
    const PlatDisplayProperties p = display(l.xPitch, l.yPitch, l.bits, l.flags);
    headlessSetDisplay(&p);
    if (l.oem) headlessSetSystemText(0, l.oem);
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    Surface* screen = gfxScreen();
    ASSERT_EQ(screen->xStep, l.wantXStep);
    ASSERT_EQ(screen->rowPitch, l.wantRowPitch);
    Surface* back = makeBack(240, 320);
    Surface* target = gfxSetTarget(back);
    present(back);
    EXPECT_EQ(gfxGetTarget(), back);

    ASSERT_EQ(appBeginDraw(), screen);
    const uint8_t* base = screen->pixels;
    const int32_t bpp = screen->info->bytesPerPixel;
    std::unordered_map<uint32_t, uint32_t> converted;
    int32_t wrong = 0;
    for (int32_t y = 0; y < 320; y++)
        for (int32_t x = 0; x < 240; x++) {
            const uint32_t v = pattern(x, y);
            auto it = converted.find(v);
            if (it == converted.end()) it = converted.emplace(v, sfConvertColour(v, back, screen)).first;
            const uint8_t* at = base + intptr_t(y) * l.wantRowPitch + intptr_t(x) * l.wantXStep;
            if (readRaw(at, bpp) != it->second && wrong++ < 5)
                ADD_FAILURE() << l.name << ": pixel (" << x << ", " << y << ")";
        }
    EXPECT_EQ(wrong, 0);
    appEndDraw();
    gfxSetTarget(target);
    sfFree(back);
}

INSTANTIATE_TEST_SUITE_P(Layouts, PresentLayout,
                         testing::Values(Layout{"rgb565", 2, 480, 16, PLAT_FMT_565, nullptr, 2, 480},
                                         Layout{"mirrored", -2, 480, 16, PLAT_FMT_565, nullptr, -2, 480},
                                         Layout{"upsideDown", -2, -480, 16, PLAT_FMT_565, nullptr, -2, -480},
                                         Layout{"columns", -640, 2, 16, PLAT_FMT_565, nullptr, -640, 2},
                                         Layout{"directColumns", 2, 480, 16, PLAT_FMT_565,
                                                "OEM-PocketPCH38xx", -640, 2},
                                         Layout{"rgb555", 2, 480, 16, PLAT_FMT_555, nullptr, 2, 480},
                                         Layout{"rgb444", 2, 480, 16, PLAT_FMT_444, nullptr, 2, 480},
                                         Layout{"rgb888", 3, 720, 24, PLAT_FMT_888, nullptr, 3, 720},
                                         Layout{"palette", 1, 240, 8, PLAT_FMT_PALETTE, nullptr, 1, 240}),
                         [](const testing::TestParamInfo<Layout>& i) { return std::string(i.param.name); });

TEST_F(AppTest, TurnedViewsLandOnTheUprightFrameBufferTurned) {
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    // Where back-buffer pixel (x, y) of each orientation lies on the upright 240 x 320 frame buffer.
    struct Turn {
        int32_t orientation, w, h;
        void (*upright)(int32_t x, int32_t y, int32_t* ux, int32_t* uy);
    } turns[] = {
        {1, 240, 320, [](int32_t x, int32_t y, int32_t* ux, int32_t* uy) { *ux = 239 - x, *uy = 319 - y; }},
        {2, 320, 240, [](int32_t x, int32_t y, int32_t* ux, int32_t* uy) { *ux = y, *uy = 319 - x; }},
        {3, 320, 240, [](int32_t x, int32_t y, int32_t* ux, int32_t* uy) { *ux = 239 - y, *uy = x; }},
    };
    for (const Turn& t : turns) {
        gfxSetOrientation(t.orientation);
        ASSERT_EQ(gfxScreen()->width, t.w);
        ASSERT_EQ(gfxScreen()->height, t.h);
        EXPECT_EQ(gfxScreen()->pixels, nullptr);  // turned outside the lock: nothing added to null
        Surface* back = makeBack(t.w, t.h);
        present(back);
        sfFree(back);
        gfxSetOrientation(0);

        ASSERT_EQ(appBeginDraw(), gfxScreen());
        const uint8_t* base = gfxScreen()->pixels;
        int32_t wrong = 0;
        for (int32_t y = 0; y < t.h; y++)
            for (int32_t x = 0; x < t.w; x++) {
                int32_t ux, uy;
                t.upright(x, y, &ux, &uy);
                if (readRaw(base + uy * 480 + ux * 2, 2) != pattern(x, y)) wrong++;
            }
        EXPECT_EQ(wrong, 0) << "orientation " << t.orientation;
        appEndDraw();
    }
}

TEST_F(AppTest, OrientationChangesRoundTripWithOffsetsSummingToZero) {
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    const Surface start = *gfxScreen();
    for (int32_t a = 0; a < 4; a++)
        for (int32_t b = 0; b < 4; b++) {
            gfxSetOrientation(a);
            gfxSetOrientation(b);
            EXPECT_EQ(gfxGetOrientation(), b);
            EXPECT_EQ(gfxSetOrientation(0), 0) << a << " then " << b;
            const Surface* s = gfxScreen();
            EXPECT_EQ(s->xStep, start.xStep);
            EXPECT_EQ(s->rowPitch, start.rowPitch);
            EXPECT_EQ(s->width, start.width);
            EXPECT_EQ(s->height, start.height);
        }
    // Going to the orientation already in force changes nothing.
    const int32_t offset = gfxSetOrientation(2);
    const Surface turned = *gfxScreen();
    EXPECT_EQ(gfxSetOrientation(2), offset);
    EXPECT_EQ(gfxScreen()->xStep, turned.xStep);
    EXPECT_EQ(gfxScreen()->width, turned.width);
}

TEST(RotateView, HalfTurnStartsAtTheLastPixelAndTurnsUndoEachOther) {
    uint8_t buffer[240 * 320 * 2];
    Surface s = {};
    s.width = 240;
    s.height = 320;
    s.xStep = 2;
    s.rowPitch = 480;
    s.pixels = buffer;
    EXPECT_EQ(sfRotateView(&s, 1), 153598);
    EXPECT_EQ(s.xStep, -2);
    EXPECT_EQ(s.rowPitch, -480);
    EXPECT_EQ(s.pixels, buffer + sizeof(buffer) - 2);
    EXPECT_EQ(sfRotateView(&s, 1), -153598);
    EXPECT_EQ(s.pixels, buffer);

    const int32_t there = sfRotateView(&s, 2);
    EXPECT_EQ(there, 480 * 319);
    EXPECT_EQ(s.width, 320);
    EXPECT_EQ(s.height, 240);
    EXPECT_EQ(there + sfRotateView(&s, 3), 0);
    EXPECT_EQ(s.xStep, 2);
    EXPECT_EQ(s.rowPitch, 480);
    EXPECT_EQ(s.pixels, buffer);
    EXPECT_EQ(sfRotateView(&s, 4), 0);
    EXPECT_EQ(sfRotateView(&s, 0), 0);
    EXPECT_EQ(s.xStep, 2);
}

TEST_F(AppTest, AFailedLockDropsTheFrameAndTheNextOneArrives) {
    ASSERT_EQ(appOpen(240, 320, 16, 0), 1);
    Surface* back = makeBack(240, 320);
    headlessFailBeginDraw(1);
    present(back);
    EXPECT_EQ(headlessDrawPairs(), 0);
    int64_t size = 0;
    const uint8_t* fb = headlessFrameBuffer(&size);
    ASSERT_EQ(size, 153600);
    EXPECT_NE(readRaw(fb + 2 * 10 + 480 * 10, 2), pattern(10, 10));
    present(back);
    EXPECT_EQ(headlessDrawPairs(), 1);
    EXPECT_EQ(readRaw(fb + 2 * 10 + 480 * 10, 2), pattern(10, 10));
    sfFree(back);
}
