// Random numbers and fixed-point sine and cosine.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "brask/random.h"
#include "platform/headless.h"

TEST(Trig, KnownValuesReductionAndSymmetry) {
    EXPECT_EQ(mathSin(30), 128);
    EXPECT_EQ(mathCos(60), 128);
    EXPECT_EQ(mathCos(90), 0);
    EXPECT_EQ(mathCos(180), -256);
    EXPECT_EQ(mathCos(-60), 128);
    EXPECT_EQ(mathCos(300), 128);
    EXPECT_EQ(mathSin(450), 256);
    EXPECT_EQ(mathSin(INT_MIN), mathSin(INT_MIN % 360 + 360));
    // The table holds one quadrant; every other angle is folded onto it.
    for (int32_t a = -720; a <= 720; a++) {
        int16_t s = 0, c = 0;
        mathSinCos(a, &s, &c);
        EXPECT_EQ(s, mathCos(90 - a)) << a;
        EXPECT_EQ(s, -mathSin(-a)) << a;
        EXPECT_EQ(c, mathCos(-a)) << a;
        EXPECT_NEAR(s, 256.0 * std::sin(a * 3.14159265358979 / 180.0), 1.0) << a;
    }
}

TEST(Random, SeedOneGivesTheClassicRuntimeSequenceInFifteenBits) {
    rndSeed(1);
    EXPECT_EQ(rndNext(), 41);
    EXPECT_EQ(rndNext(), 18467);
    EXPECT_EQ(rndNext(), 6334);
    int32_t lo = RND_MAX, hi = 0;
    for (int i = 0; i < 200000; i++) {
        int32_t v = rndNext();
        lo = std::min(lo, v), hi = std::max(hi, v);
        float f = rndFloat();
        ASSERT_TRUE(f >= 0.0f && f < 1.0f);
    }
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, RND_MAX);
}

TEST(Random, RangeIncludesBothEndsAndSurvivesReversedAndExtremeBounds) {
    rndSeed(7);
    bool seen[5] = {};
    for (int i = 0; i < 1000; i++) {
        int32_t v = rndRange(1, 5);
        ASSERT_TRUE(v >= 1 && v <= 5);
        seen[v - 1] = true;
        EXPECT_EQ(rndRange(5, 5), 5);
        EXPECT_EQ(rndRange(9, 3), 9);
        EXPECT_EQ(rndRange(INT_MAX, INT_MIN), INT_MAX);
        EXPECT_LE(rndRange(INT_MIN, INT_MAX), INT_MIN + RND_MAX);
    }
    for (bool s : seen) EXPECT_TRUE(s);
}

// Seed 0 is the clock: the counter's absolute milliseconds, not the ticks since the program started (which
// are nearly the same at every start), and never 0 itself.
TEST(Random, SeedZeroTakesTheCountersMillisecondsAndNeverGivesZero) {
    headlessReset();
    headlessSetCounter(1, 7000000);  // 7 s a read
    const uint32_t seed = rndSeed(0);
    EXPECT_EQ(seed, uint32_t(headlessCounterValue() / 1000));
    EXPECT_GE(seed, 7000u);
    const int32_t first = rndNext();
    EXPECT_EQ(rndSeed(seed), seed);
    EXPECT_EQ(rndNext(), first);
    EXPECT_NE(rndSeed(0), seed);  // a later start, another board

    headlessSetCounter(0, 0);  // no counter and no ticks
    EXPECT_EQ(rndSeed(0), 1u);
    EXPECT_EQ(rndSeed(4294967295u), 4294967295u);
    headlessReset();
}
