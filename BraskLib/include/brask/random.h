// Random numbers (our own generator: the same sequence for a seed on every platform) and whole-degree sine
// and cosine in 8.8 fixed point (256 = 1.0).
#pragma once
#include <cstdint>

enum { RND_MAX = 32767 };

// 0 takes the platform counter's absolute milliseconds (never 0), so a game seeded with 0 differs from run
// to run on the desktop and repeats under the headless backend's virtual counter. The seed used.
uint32_t rndSeed(uint32_t seed);
int32_t rndNext();                            // 0..RND_MAX
int32_t rndRange(int32_t low, int32_t high);  // low..high, both included; low when high <= low
float rndFloat();                             // 0 <= x < 1, in steps of 2^-15
float rndFloatRange(float low, float high);   // low <= x < high (for low < high)

// Any angle in whole degrees; negative and large angles are reduced into 0..359.
int16_t mathSin(int32_t degrees);
int16_t mathCos(int32_t degrees);
void mathSinCos(int32_t degrees, int16_t* sine, int16_t* cosine);  // either out may be null
