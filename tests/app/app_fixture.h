// A fresh headless platform per test, with the engine's hold on the old one dropped, and everything the test
// opened closed again.
#pragma once
#include <gtest/gtest.h>

#include "app_internal.h"
#include "brask/app.h"
#include "brask/display.h"
#include "brask/input.h"
#include "platform/headless.h"
#include "support/test_support.h"

class AppTest : public testing::Test {
   protected:
    TestFolders folders;  // resets the headless backend first
    void SetUp() override {
        appForgetPlatform();
        inpForgetPlatform();
    }
    void TearDown() override {
        appClose();
        inpClose();
    }
    static PlatDisplayProperties display(int32_t xPitch, int32_t yPitch, uint32_t bits, uint32_t flags,
                                         uint32_t w = 240, uint32_t h = 320) {
        return PlatDisplayProperties{w, h, xPitch, yPitch, bits, flags};
    }
};
