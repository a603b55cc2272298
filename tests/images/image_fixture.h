// Shared by the image tests: private folders, a clean drawing state, the surface pool given back, and small
// builders for hand-made files.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "BraskLib/src/BraskGfx_internal.h"
#include "brask/image.h"
#include "brask/log.h"
#include "brask/vfs.h"
#include "support/test_support.h"

class Img : public ::testing::Test {
   protected:
    TestFolders tf;
    void TearDown() override {
        gfxSetFastPaths(1);
        gfxForceBaseline(0);
        gfxSetClip(nullptr);
        gfxSetTarget(nullptr);
        gfxShutdownSurfacePool();
    }
    void put(const std::string& name, const std::string& bytes) { writeFile(tf.prog + "/" + name, bytes); }
    std::string log() { return readFile(logPathUtf8()); }
};

inline std::string le16(uint32_t v) {
    return std::string{char(v & 255), char((v >> 8) & 255)};
}
inline std::string le32(uint32_t v) {
    return le16(v) + le16(v >> 16);
}

// An 18-byte TGA header; the colour-map fields are (type, length, entry bits).
inline std::string tgaHeader(int type, int pixSize, int w, int h, int desc = 0, int idLen = 0,
                             int cmapType = 0, int cmapLen = 0, int cmapSize = 0) {
    return std::string{char(idLen), char(cmapType), char(type)} + le16(0) + le16(cmapLen) +
           std::string(1, char(cmapSize)) + le16(0) + le16(0) + le16(w) + le16(h) +
           std::string{char(pixSize), char(desc)};
}

// A 24-bit pixel or colour-map entry from 0x00RRGGBB.
inline std::string bgr(uint32_t c) {
    return std::string{char(c & 255), char((c >> 8) & 255), char((c >> 16) & 255)};
}
