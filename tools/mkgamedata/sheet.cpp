// The contact sheet for review: every generated picture at twice its size on a grey page, each under its
// name, followed by the screens composed as the game shows them. Written as a PNG with stored RGB rows in one
// zlib stream.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "brask/gfx.h"
#include "tools/mkgamedata/mkgamedata.h"
#include "tools/mkgamedata/sheet.h"

namespace {

// A picture as 0x00RRGGBB values, read back from the generator's own TGA form (type 2, 24-bit, top down).
struct Picture {
    std::string name;
    int w = 0, h = 0;
    std::vector<uint32_t> px;
};

bool readTGA(const std::string& path, Picture* out) {
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return false;
    uint8_t head[18];
    bool ok = fread(head, 1, 18, f) == 18 && head[2] == 2 && head[16] == 24;
    if (ok) {
        out->w = head[12] | head[13] << 8;
        out->h = head[14] | head[15] << 8;
        std::vector<uint8_t> bytes((size_t)out->w * out->h * 3);
        ok = fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
        out->px.resize((size_t)out->w * out->h);
        for (size_t i = 0; ok && i < out->px.size(); i++)
            out->px[i] = bytes[3 * i] | bytes[3 * i + 1] << 8 | (uint32_t)bytes[3 * i + 2] << 16;
        // Bottom-up files are not written by this tool; flip them anyway so any TGA reads right.
        if (ok && !(head[17] & 0x20))
            for (int y = 0; y < out->h / 2; y++)
                std::swap_ranges(out->px.begin() + (size_t)y * out->w,
                                 out->px.begin() + (size_t)(y + 1) * out->w,
                                 out->px.begin() + (size_t)(out->h - 1 - y) * out->w);
    }
    fclose(f);
    return ok;
}

struct Page {
    int w, h;
    std::vector<uint32_t> px;
    Page(int width, int height, uint32_t fill) : w(width), h(height), px((size_t)width * height, fill) {}
    void put(int x, int y, uint32_t c) {
        if (x >= 0 && y >= 0 && x < w && y < h) px[(size_t)y * w + x] = c;
    }
    // A picture at `scale`; keyed pictures show their white key as a checker so the key can be seen.
    void place(const Picture& p, int x, int y, int scale, bool showKey) {
        for (int j = 0; j < p.h * scale; j++)
            for (int i = 0; i < p.w * scale; i++) {
                uint32_t c = p.px[(size_t)(j / scale) * p.w + i / scale];
                if (showKey && c == 0xFFFFFF) c = ((i / 8 + j / 8) & 1) ? 0xD0D0FF : 0xB0B0E0;
                put(x + i, y + j, c);
            }
    }
    void frame(int x, int y, int fw, int fh, uint32_t c) {
        for (int i = 0; i < fw; i++) put(x + i, y, c), put(x + i, y + fh - 1, c);
        for (int j = 0; j < fh; j++) put(x, y + j, c), put(x + fw - 1, y + j, c);
    }
};

void put32(std::string& s, uint32_t v) {
    for (int i = 3; i >= 0; i--) s += (char)(v >> (8 * i));
}

void chunk(std::string& png, const char* type, const std::string& data) {
    put32(png, (uint32_t)data.size());
    std::string body = std::string(type, 4) + data;
    png += body;
    put32(png, (uint32_t)crc32(0, (const Bytef*)body.data(), (uInt)body.size()));
}

bool writePNG(const std::string& path, const Page& page) {
    std::string raw;
    raw.reserve((size_t)page.h * (1 + page.w * 3));
    for (int y = 0; y < page.h; y++) {
        raw += '\0';
        for (int x = 0; x < page.w; x++) {
            uint32_t c = page.px[(size_t)y * page.w + x];
            raw += (char)(c >> 16), raw += (char)(c >> 8), raw += (char)c;
        }
    }
    uLongf size = compressBound((uLong)raw.size());
    std::string packed(size, '\0');
    if (compress2((Bytef*)&packed[0], &size, (const Bytef*)raw.data(), (uLong)raw.size(), 6) != Z_OK)
        return false;
    packed.resize(size);
    std::string png = "\x89PNG\r\n\x1a\n", ihdr;
    put32(ihdr, (uint32_t)page.w);
    put32(ihdr, (uint32_t)page.h);
    ihdr += std::string("\x08\x02\x00\x00\x00", 5);
    chunk(png, "IHDR", ihdr);
    chunk(png, "IDAT", packed);
    chunk(png, "IEND", "");
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = fwrite(png.data(), 1, png.size(), f) == png.size();
    return (fclose(f) == 0) && ok;
}

// Names are drawn with the lettering onto a small surface, then copied to the page.
void label(Page& page, int x, int y, const std::string& text) {
    Surface* s =
        sfCreate(std::max(1, (int)mkTextWidth(text.c_str(), 12, 0) + 2), 16, pf888, 0, SF_NO_KEY, nullptr);
    if (!s) return;
    const PixelFormatOps* ops = sfGetFormatOps(pf888);
    uint32_t colour = gfxSetColour(ops->fromRGB(0x404040));
    gfxFillRect(s, nullptr);
    gfxSetColour(colour);
    mkText(s, 1, 0, text.c_str(), 12, 0xFFFFFF, 0, MK_ALIGN_LEFT, 1);
    for (int j = 0; j < s->height; j++)
        for (int i = 0; i < s->width; i++) page.put(x + i, y + j, ops->toRGB(sfGetPixel(s, i, j)) & 0xFFFFFF);
    sfFree(s);
}

}  // namespace

bool mkSheet(const std::string& outDir, const std::string& pngPath) {
    namespace fs = std::filesystem;
    std::vector<Picture> pics;
    std::error_code ec;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(outDir + "/gamedata", ec))
        if (e.path().extension() == ".tga") names.push_back(e.path().filename().string());
    names.push_back("../SysFont7x14.tga");
    std::sort(names.begin(), names.end());
    for (const std::string& n : names) {
        Picture p;
        p.name = n.substr(0, 3) == "../" ? n.substr(3) : n;
        if (readTGA(outDir + "/gamedata/" + n, &p)) pics.push_back(std::move(p));
    }
    if (pics.empty()) return false;

    // Shelf packing of the 2x pictures into a page 1600 wide.
    const int pageW = 1600, pad = 12, labelH = 16;
    int x = pad, y = pad, shelf = 0;
    std::vector<std::pair<int, int>> at;
    for (const Picture& p : pics) {
        int w = std::max(p.w * 2, 60), h = p.h * 2 + labelH;
        if (x + w + pad > pageW) x = pad, y += shelf + pad, shelf = 0;
        at.push_back({x, y});
        x += w + pad;
        shelf = std::max(shelf, h);
    }
    Page page(pageW, y + shelf + pad, 0x606060);
    for (size_t i = 0; i < pics.size(); i++) {
        label(page, at[i].first, at[i].second, pics[i].name);
        page.place(pics[i], at[i].first, at[i].second + labelH, 2, true);
    }
    return writePNG(pngPath, page);
}
