// The generator's own file writers: plain, uncompressed forms the engine's readers take, built byte by byte
// so the output never depends on the host's struct layout or endianness.
#include <zlib.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "brask/gfx.h"
#include "tools/mkgamedata/mkgamedata.h"

namespace {

void put16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back((uint8_t)v);
    b.push_back((uint8_t)(v >> 8));
}

void put32(std::vector<uint8_t>& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

void putBE32(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 3; i >= 0; i--) b.push_back((uint8_t)(v >> (8 * i)));
}

void putTag(std::vector<uint8_t>& b, const char* tag) {
    b.insert(b.end(), tag, tag + 4);
}

bool writeAll(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::error_code ec;
    std::filesystem::path p(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) {
        fprintf(stderr, "mkgamedata: cannot create %s\n", path.c_str());
        return false;
    }
    bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = (fclose(f) == 0) && ok;
    if (!ok) fprintf(stderr, "mkgamedata: cannot write %s\n", path.c_str());
    return ok;
}

// 0x00RRGGBB of one pixel, whatever the surface's format. Channels are rounded up to 8 bits so that the
// engine's truncating conversion on load gives back the very value that was drawn (a button map must keep its
// exact raw values; the format's own toRGB rounds down and would lose one step).
uint32_t pixelRGB(const Surface* s, int32_t x, int32_t y) {
    uint32_t v = sfGetPixel(s, x, y);
    if (s->format == pfPalette) return s->palette && v < 256 ? s->palette->colours[v] & 0xFFFFFF : 0;
    const PixelFormatInfo* f = s->info;
    if (f && f->maxR > 0 && f->maxG > 0 && f->maxB > 0) {
        auto up = [](uint32_t c, int32_t max) { return (c * 255 + (uint32_t)max - 1) / (uint32_t)max; };
        return up((v >> f->shiftR) & (uint32_t)f->maxR, f->maxR) << 16 |
               up((v >> f->shiftG) & (uint32_t)f->maxG, f->maxG) << 8 |
               up((v >> f->shiftB) & (uint32_t)f->maxB, f->maxB);
    }
    const PixelFormatOps* ops = sfGetFormatOps(s->format);
    return ops && ops->toRGB ? ops->toRGB(v) & 0xFFFFFF : 0;
}

// One PNG chunk: length, type and data, then the CRC over type and data.
void pngChunk(std::vector<uint8_t>& png, const char* type, const std::vector<uint8_t>& data) {
    putBE32(png, (uint32_t)data.size());
    const size_t body = png.size();
    putTag(png, type);
    png.insert(png.end(), data.begin(), data.end());
    putBE32(png, (uint32_t)crc32(0, png.data() + body, (uInt)(png.size() - body)));
}

}  // namespace

bool mkWritePNG(const std::string& path, int32_t width, int32_t height, const uint32_t* px, bool alpha) {
    if (!px || width <= 0 || height <= 0) return false;
    const int channels = alpha ? 4 : 3;
    std::vector<uint8_t> raw;
    raw.reserve((size_t)height * (1 + (size_t)width * channels));
    for (int32_t y = 0; y < height; y++) {
        raw.push_back(0);  // filter type None: the rows go in as drawn
        for (int32_t x = 0; x < width; x++) {
            const uint32_t c = px[(size_t)y * width + x];
            raw.push_back((uint8_t)(c >> 16));
            raw.push_back((uint8_t)(c >> 8));
            raw.push_back((uint8_t)c);
            if (alpha) raw.push_back((uint8_t)(c >> 24));
        }
    }
    uLongf size = compressBound((uLong)raw.size());
    std::vector<uint8_t> packed(size);
    if (compress2(packed.data(), &size, raw.data(), (uLong)raw.size(), 6) != Z_OK) return false;
    packed.resize(size);
    std::vector<uint8_t> ihdr, png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    putBE32(ihdr, (uint32_t)width);
    putBE32(ihdr, (uint32_t)height);
    // 8 bits a channel, RGB (2) or RGBA (6), deflate, adaptive filtering, no interlace.
    ihdr.insert(ihdr.end(), {8, (uint8_t)(alpha ? 6 : 2), 0, 0, 0});
    pngChunk(png, "IHDR", ihdr);
    pngChunk(png, "IDAT", packed);
    pngChunk(png, "IEND", {});
    return writeAll(path, png);
}

bool mkWriteTGA(const std::string& path, const Surface* s) {
    if (!s || s->rle || s->width <= 0 || s->height <= 0) return false;
    std::vector<uint8_t> b;
    b.reserve(18 + (size_t)s->width * s->height * 3);
    b.push_back(0);  // no image id
    b.push_back(0);  // no colour map
    b.push_back(2);  // uncompressed true colour
    for (int i = 0; i < 5; i++) b.push_back(0);
    put16(b, 0);
    put16(b, 0);
    put16(b, (uint32_t)s->width);
    put16(b, (uint32_t)s->height);
    b.push_back(24);
    b.push_back(0x20);  // rows top to bottom
    for (int32_t y = 0; y < s->height; y++)
        for (int32_t x = 0; x < s->width; x++) {
            uint32_t rgb = pixelRGB(s, x, y);
            b.push_back((uint8_t)rgb);
            b.push_back((uint8_t)(rgb >> 8));
            b.push_back((uint8_t)(rgb >> 16));
        }
    return writeAll(path, b);
}

bool mkWriteWAV(const std::string& path, const int16_t* samples, int32_t count) {
    if (!samples || count <= 0) return false;
    const uint32_t rate = 22050, dataBytes = (uint32_t)count * 2;
    std::vector<uint8_t> b;
    putTag(b, "RIFF");
    put32(b, 4 + (8 + 16) + (8 + dataBytes));
    putTag(b, "WAVE");
    putTag(b, "fmt ");
    put32(b, 16);
    put16(b, 1);  // PCM
    put16(b, 1);  // mono: the mixer refuses stereo samples
    put32(b, rate);
    put32(b, rate * 2);
    put16(b, 2);
    put16(b, 16);
    putTag(b, "data");
    put32(b, dataBytes);
    for (int32_t i = 0; i < count; i++) put16(b, (uint16_t)samples[i]);
    return writeAll(path, b);
}
