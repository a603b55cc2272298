// Shared fixture: every graphics test starts from the default drawing state and gives the surface pool back.
#pragma once
#include <gtest/gtest.h>

#include "brask/gfx.h"

class Gfx : public ::testing::Test {
   protected:
    void TearDown() override {
        gfxSetClip(nullptr);
        gfxForceBaseline(0);
        gfxSetDrawMode(0);
        gfxSetOpacity(256);
        gfxSetColour(0);
        gfxShutdownSurfacePool();
    }
    // A plain surface whose pixels are filled by f(x, y).
    template <class F>
    static Surface* make(int w, int h, int format, F f, uint32_t key = SF_NO_KEY) {
        Surface* s = sfCreate(w, h, format, 0, key, nullptr);
        for (int y = 0; y < h; y++)
            for (int x = 0; x < w; x++) sfPutPixel(s, x, y, f(x, y));
        return s;
    }
};
