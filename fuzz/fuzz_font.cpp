// Fonts: a grid picture of the input's bytes, with cell sizes, gaps, origin, grid and first character from
// its first bytes, through fntBuildGlyphs; then the input's text measured and drawn in every alignment,
// at given places and centred, into a small target. A built font must never draw outside its picture.
#include <cstring>
#include <vector>

#include "brask/font.h"
#include "brask/gfx.h"
#include "fuzz_support.h"

namespace {

enum { KNOBS = 20, MAX_TEXT = 96 };

const int32_t kFormats[8] = {pfPalette, pf444, pf555, pf565, pf888, pf8888, pfMono8, pfMono1};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < KNOBS) return 0;
    const uint8_t* k = data;
    const int8_t* sk = reinterpret_cast<const int8_t*>(data);
    fuzz::Input input;
    // Wide pictures too: a grid position past 32767 must not wrap the 16-bit glyph corners.
    const int32_t width = 1 + (k[12] | k[13] << 8) % 40000;
    const int32_t height = 1 + k[14] % (1 + 16384 / width);
    const size_t textLength = k[15] % MAX_TEXT;
    const uint8_t* textBytes = data + KNOBS;
    const size_t textAvail = (size - KNOBS) / 2 < textLength ? (size - KNOBS) / 2 : textLength;
    std::u16string text;
    for (size_t i = 0; i < textAvail; i++) {
        const char16_t c = char16_t(textBytes[2 * i] | textBytes[2 * i + 1] << 8);
        text += c ? c : u' ';
    }
    const uint8_t* pixels = textBytes + 2 * textAvail;
    const size_t pixelBytes = size - KNOBS - 2 * textAvail;

    Surface* image = sfCreate(width, height, kFormats[k[4] >> 5], 0, uint32_t(k[16]), nullptr);
    if (!image) return 0;
    // The input's pixel bytes over and over, the filled part doubled each step: a few pixel bytes copied
    // one block at a time cost a copy per byte of a picture up to 64 KB.
    if (pixelBytes) {
        uint32_t filled = image->dataSize < pixelBytes ? image->dataSize : uint32_t(pixelBytes);
        memcpy(image->pixels, pixels, filled);
        while (filled < image->dataSize) {
            const uint32_t n = image->dataSize - filled < filled ? image->dataSize - filled : filled;
            memcpy(image->pixels + filled, image->pixels, n);
            filled += n;
        }
    }

    Font font = {};
    font.cellWidth = sk[0];
    font.cellHeight = sk[1];
    font.spacing = sk[2];
    font.lineGap = sk[3];
    font.proportional = k[4] & 1;
    font.coverage = (k[4] >> 1) & 1;
    font.image = image;
    font.gapX = sk[5];
    font.gapY = sk[6];
    font.originX = k[7] & 0x80 ? (k[7] & 0x7F) * 300 : sk[7];
    font.originY = sk[8];
    font.columns = sk[9];
    font.rows = sk[10];
    font.firstChar = int16_t(k[11] << 8 | k[17]);

    if (fntBuildGlyphs(&font)) {
        Surface* target = fuzz::screen(48, 40);
        const Rect clip = {k[18] % 24, k[19] % 20, 24, 20};
        if (k[4] & 4) gfxSetClip(&clip);
        gfxSetColour(0xF81F);
        int32_t w, h;
        fntMeasure(&font, text.c_str(), &w, &h);
        fntTextWidth(&font, text.c_str());
        fntCountGaps(text.c_str());
        for (int32_t align = 0; align <= 3; align++) {
            fntDrawText(&font, target, text.c_str(), int8_t(k[18]), int8_t(k[19]), align, sk[2] * 2);
            fntDrawText(&font, target, text.c_str(), FNT_CENTRE, FNT_CENTRE, align, 0);
        }
        gfxSetClip(nullptr);
        gfxSetColour(0);
        sfFree(target);
    }
    sfFree(image);
    return 0;
}
