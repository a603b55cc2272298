// Reads back the PNG files the platform writes (8-bit RGB, unfiltered rows) as 0xRRGGBB values.
#pragma once
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

// Empty when the file is not such a PNG or a chunk's CRC is wrong.
inline std::vector<uint32_t> decodePng(const std::string& png, uint32_t* width, uint32_t* height) {
    auto be32 = [&](size_t at) {
        const uint8_t* p = (const uint8_t*)png.data() + at;
        return (uint32_t)p[0] << 24 | p[1] << 16 | p[2] << 8 | p[3];
    };
    std::vector<uint32_t> out;
    if (png.size() < 8 || png.compare(0, 8, "\x89PNG\r\n\x1a\n", 8) != 0) return out;
    std::string idat;
    for (size_t at = 8; at + 12 <= png.size();) {
        uint32_t length = be32(at);
        std::string type = png.substr(at + 4, 4);
        uLong crc = crc32(0, (const Bytef*)png.data() + at + 4, length + 4);
        if (crc != be32(at + 8 + length)) return out;
        if (type == "IHDR") {
            *width = be32(at + 8);
            *height = be32(at + 12);
            if (png[at + 16] != 8 || png[at + 17] != 2) return out;
        } else if (type == "IDAT") {
            idat += png.substr(at + 8, length);
        }
        at += 12 + length;
    }
    size_t row = 1 + (size_t)*width * 3;
    std::vector<uint8_t> raw(row * *height);
    uLongf rawSize = raw.size();
    if (uncompress(raw.data(), &rawSize, (const Bytef*)idat.data(), idat.size()) != Z_OK ||
        rawSize != raw.size())
        return out;
    for (uint32_t y = 0; y < *height; y++) {
        if (raw[row * y] != 0) return {};
        for (uint32_t x = 0; x < *width; x++) {
            const uint8_t* p = &raw[row * y + 1 + x * 3];
            out.push_back((uint32_t)p[0] << 16 | p[1] << 8 | p[2]);
        }
    }
    return out;
}
