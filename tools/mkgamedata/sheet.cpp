// The contact sheet for review: every generated picture at twice its size on a grey page, each under its
// name, followed by the screens composed as the game shows them, written as an RGB PNG.
#include <algorithm>
#include <array>
#include <map>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "brask/font.h"
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

// Pictures the game draws with white as their key.
bool keyed(const std::string& name) {
    static const char* const names[] = {"rotator",   "element00", "element01", "element02", "element03",
                                        "element04", "blend00",   "blend01",   "blend02",   "battery",
                                        "bonus",     "SliderVol", "TimeSlide", "Stylus",    "Loading"};
    for (const char* n : names)
        if (name == std::string(n) + ".tga") return true;
    return false;
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

// One 240x320 screen put together from the pictures as the game draws them (565 surfaces, white keys, centred
// sprites, the game font in black).
struct Screen {
    const std::vector<Picture>& pics;
    Surface* dst = sfCreate(240, 320, pf565, 0, SF_NO_KEY, nullptr);
    std::vector<Surface*> made;
    Font font = {};
    explicit Screen(const std::vector<Picture>& p) : pics(p) {
        if (!dst) return;
        gfxSetColour(0);
        gfxFillRect(dst, nullptr);
        font.image = get("font.tga", false, false);
        if (font.image) {
            font.image->colourKey = 0;
            font.cellWidth = 8, font.cellHeight = 8, font.spacing = 1, font.lineGap = 2;
            font.proportional = 1, font.coverage = 1, font.columns = 31, font.rows = 2, font.firstChar = 33;
            fntBuildGlyphs(&font);
        }
    }
    ~Screen() {
        for (Surface* s : made) sfFree(s);
        sfFree(dst);
    }
    // A picture as a 565 surface, or null when the generator did not write it.
    Surface* get(const std::string& name, bool key, bool centred) {
        for (const Picture& p : pics) {
            if (p.name != name) continue;
            Surface* s = sfCreate(p.w, p.h, pf565, 0, key ? 0xFFFFu : (uint32_t)SF_NO_KEY, nullptr);
            if (!s) return nullptr;
            const PixelFormatOps* ops = sfGetFormatOps(pf565);
            for (int y = 0; y < p.h; y++)
                for (int x = 0; x < p.w; x++) sfPutPixel(s, x, y, ops->fromRGB(p.px[(size_t)y * p.w + x]));
            if (centred) s->anchorX = s->anchorY = 128;
            made.push_back(s);
            return s;
        }
        return nullptr;
    }
    void draw(const std::string& name, int x, int y, bool key = false, bool centred = false) {
        if (Surface* s = get(name, key, centred)) sfBlit(s, dst, x, y);
    }
    void text(const char16_t* t, int x, int y, int align = FNT_ALIGN_LEFT, int width = 0) {
        if (!font.image || !dst) return;
        uint32_t colour = gfxSetColour(0);
        fntDrawText(&font, dst, t, x, y, align, width);
        gfxSetColour(colour);
    }
    Picture picture(const std::string& name) const {
        Picture p;
        p.name = name, p.w = 240, p.h = 320, p.px.resize(240 * 320);
        const PixelFormatOps* ops = sfGetFormatOps(pf565);
        for (int y = 0; dst && y < 320; y++)
            for (int x = 0; x < 240; x++)
                p.px[(size_t)y * 240 + x] = ops->toRGB(sfGetPixel(dst, x, y)) & 0xFFFFFF;
        return p;
    }
};

std::vector<Picture> composeScreens(const std::vector<Picture>& pics) {
    std::vector<Picture> screens;
    {  // the main menu with "QUICK LOAD" offered and every area of its button map outlined
        Screen s(pics);
        s.draw("MainMenu.tga", 0, 0);
        s.text(u"QUICK LOAD", 140, 113);
        Picture shot = s.picture("main menu, button map outlined");
        for (const Picture& m : pics) {
            if (m.name != "MainMenuMask.tga" || m.w != 240 || m.h != 320) continue;
            std::map<uint32_t, std::array<int, 4>> box;  // colour: x0, y0, x1, y1
            for (int y = 0; y < 320; y++)
                for (int x = 0; x < 240; x++) {
                    uint32_t c = m.px[(size_t)y * 240 + x];
                    if (!c) continue;
                    auto it = box.emplace(c, std::array<int, 4>{x, y, x, y}).first;
                    it->second = {std::min(it->second[0], x), std::min(it->second[1], y),
                                  std::max(it->second[2], x), std::max(it->second[3], y)};
                }
            Page overlay(240, 320, 0);
            overlay.px = shot.px;
            for (const auto& [c, b] : box)
                overlay.frame(b[0], b[1], b[2] - b[0] + 1, b[3] - b[1] + 1, 0xFF00FF);
            shot.px = overlay.px;
        }
        screens.push_back(shot);
    }
    {  // a game in progress: a board of all five kinds, the rotators, score and two batteries
        Screen s(pics);
        s.draw("back.tga", 0, 0);
        for (int j = 0; j < 10; j++)
            for (int i = 0; i < 10; i++) {
                char name[16];
                snprintf(name, sizeof name, "element0%d.tga", (i * 3 + j * 7 + (i * j) % 4) % 5);
                s.draw(name, 30 + 20 * i, 30 + 20 * j, true, true);
            }
        for (int j = 0; j < 9; j++)
            for (int i = 0; i < 9; i++) s.draw("rotator.tga", 40 + 20 * i, 40 + 20 * j, true, true);
        s.text(u"SCORE : 1234", 36, 256);
        s.draw("battery.tga", 160, 259, true, true);
        s.draw("battery.tga", 180, 259, true, true);
        screens.push_back(s.picture("in game"));
    }
    {  // options: sliders at their defaults, the first direction selected
        Screen s(pics);
        s.draw("OptionsMenu.tga", 0, 0);
        s.draw("ROTATION_00.tga", 60, 71);
        s.draw("ROTATION_04.tga", 142, 71);
        s.draw("SliderVol.tga", 49 + (140 - 32) / 2, 178, true);
        s.draw("SliderVol.tga", 49 + 140 - 32, 222, true);
        screens.push_back(s.picture("options"));
    }
    {  // name entry with a name typed
        Screen s(pics);
        s.draw("HOF_KBD.tga", 0, 0);
        s.text(u"BRASK", 85, 238);
        screens.push_back(s.picture("name entry"));
    }
    {  // the second help page with its rotation example and the stylus coming down
        Screen s(pics);
        s.draw("HELP.tga", 0, 0);
        s.text(
            u"TAP A ROTATOR TO TURN THE\nFOUR ELEMENTS AROUND IT A\nQUARTER TURN. THE DIRECTION\n"
            u"IS SET IN THE OPTIONS.\n\nFOUR OR MORE EQUAL ELEMENTS\nIN A ROW OR COLUMN MAKE A\n"
            u"LINE OF ENERGY: IT IS SCORED\nAND REFILLED, AND NEW LINES\nMAY FOLLOW IN A CHAIN.",
            30, 70, FNT_ALIGN_JUSTIFY, 180);
        s.draw("rotator.tga", 160, 200, true, true);
        for (int j = 0; j < 2; j++)
            for (int k = 0; k < 2; k++) {
                char name[16];
                snprintf(name, sizeof name, "element0%d.tga", (j * 2 + k) % 5);
                s.draw(name, 150 + 20 * k, 190 + 20 * j, true, true);
            }
        if (Surface* st = s.get("Stylus.tga", true, false)) {
            st->anchorX = 0, st->anchorY = 256;
            sfBlit(st, s.dst, 159, 199 - 2 * 4);
        }
        screens.push_back(s.picture("help page 2"));
    }
    return screens;
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
        // A narrow picture's slot is as wide as its name, or the names of neighbours print over each other.
        int w = std::max({p.w * 2, 60, (int)mkTextWidth(p.name.c_str(), 12, 0) + 2}), h = p.h * 2 + labelH;
        if (x + w + pad > pageW) x = pad, y += shelf + pad, shelf = 0;
        at.push_back({x, y});
        x += w + pad;
        shelf = std::max(shelf, h);
    }
    // Then the composed screens, three to a row at 2x.
    std::vector<Picture> screens = composeScreens(pics);
    const int screensY = y + shelf + 2 * pad;
    const int rows = ((int)screens.size() + 2) / 3;
    Page page(pageW, screensY + rows * (640 + labelH + pad) + pad, 0x606060);
    for (size_t i = 0; i < pics.size(); i++) {
        label(page, at[i].first, at[i].second, pics[i].name);
        page.place(pics[i], at[i].first, at[i].second + labelH, 2, keyed(pics[i].name));
    }
    for (size_t i = 0; i < screens.size(); i++) {
        int sx = pad + (int)(i % 3) * (480 + pad), sy = screensY + (int)(i / 3) * (640 + labelH + pad);
        label(page, sx, sy, screens[i].name);
        page.place(screens[i], sx, sy + labelH, 2, false);
    }
    return mkWritePNG(pngPath, page.w, page.h, page.px.data(), false);
}
