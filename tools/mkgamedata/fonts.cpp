// The two bitmap fonts. The game font is drawn by hand below (capitals, digits and the punctuation of the
// game's texts, at most 7 pixels high, on 8x8 cells); the system font is DejaVu Sans Mono rendered by
// FreeType without anti-aliasing into 7x14 cells.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstring>
#include <string>

#include "brask/gfx.h"
#include "tools/mkgamedata/mkgamedata.h"

namespace {

// Characters 33 to 94, rows top to bottom separated by '|', 'X' inked. A glyph's inked columns give its width
// in the proportional game font, so digits are all exactly 4 wide (scores padded with zeros line up) and
// letters keep to 5 (I: 3; M and W: 7) so a help line of the usual words fits its 180-pixel box.
const char* const kGameGlyphs[62] = {
    "X|X|X|X|X||X",                                             // !
    "X.X|X.X",                                                  // "
    ".X.X.|.X.X.|XXXXX|.X.X.|XXXXX|.X.X.|.X.X.",                // #
    "..X..|.XXXX|X.X..|.XXX.|..X.X|XXXX.|..X..",                // $
    "XX...|XX..X|...X.|..X..|.X...|X..XX|...XX",                // %
    ".XX..|X..X.|X.X..|.X...|X.X.X|X..X.|.XX.X",                // &
    "X|X",                                                      // '
    ".X|X.|X.|X.|X.|X.|.X",                                     // (
    "X.|.X|.X|.X|.X|.X|X.",                                     // )
    "|.X.X.|..X..|XXXXX|..X..|.X.X.",                           // *
    "|..X..|..X..|XXXXX|..X..|..X..",                           // +
    "|||||.X|.X|X.",                                            // ,
    "|||XXXX",                                                  // -
    "||||||X",                                                  // .
    "....X|....X|...X.|..X..|.X...|X....|X....",                // /
    ".XX.|X..X|X..X|X..X|X..X|X..X|.XX.",                       // 0
    ".XX.|X.X.|..X.|..X.|..X.|..X.|XXXX",                       // 1
    ".XX.|X..X|...X|..X.|.X..|X...|XXXX",                       // 2
    "XXX.|...X|...X|.XX.|...X|...X|XXX.",                       // 3
    "X..X|X..X|X..X|XXXX|...X|...X|...X",                       // 4
    "XXXX|X...|XXX.|...X|...X|X..X|.XX.",                       // 5
    ".XX.|X...|X...|XXX.|X..X|X..X|.XX.",                       // 6
    "XXXX|...X|...X|..X.|..X.|.X..|.X..",                       // 7
    ".XX.|X..X|X..X|.XX.|X..X|X..X|.XX.",                       // 8
    ".XX.|X..X|X..X|.XXX|...X|...X|.XX.",                       // 9
    "||X|||X",                                                  // :
    "||.X|||.X|.X|X.",                                          // ;
    "...X|..X.|.X..|X...|.X..|..X.|...X",                       // <
    "||XXXX||XXXX",                                             // =
    "X...|.X..|..X.|...X|..X.|.X..|X...",                       // >
    ".XXX.|X...X|....X|...X.|..X..||..X..",                     // ?
    ".XXX.|X...X|X.XXX|X.X.X|X.XXX|X....|.XXXX",                // @
    ".XXX.|X...X|X...X|XXXXX|X...X|X...X|X...X",                // A
    "XXXX.|X...X|X...X|XXXX.|X...X|X...X|XXXX.",                // B
    ".XXX.|X...X|X....|X....|X....|X...X|.XXX.",                // C
    "XXXX.|X...X|X...X|X...X|X...X|X...X|XXXX.",                // D
    "XXXXX|X....|X....|XXXX.|X....|X....|XXXXX",                // E
    "XXXXX|X....|X....|XXXX.|X....|X....|X....",                // F
    ".XXX.|X...X|X....|X.XXX|X...X|X...X|.XXXX",                // G
    "X...X|X...X|X...X|XXXXX|X...X|X...X|X...X",                // H
    "XXX|.X.|.X.|.X.|.X.|.X.|XXX",                              // I
    "..XXX|...X.|...X.|...X.|...X.|X..X.|.XX..",                // J
    "X...X|X..X.|X.X..|XX...|X.X..|X..X.|X...X",                // K
    "X....|X....|X....|X....|X....|X....|XXXXX",                // L
    "X.....X|XX...XX|X.X.X.X|X..X..X|X.....X|X.....X|X.....X",  // M
    "X...X|XX..X|X.X.X|X..XX|X...X|X...X|X...X",                // N
    ".XXX.|X...X|X...X|X...X|X...X|X...X|.XXX.",                // O
    "XXXX.|X...X|X...X|XXXX.|X....|X....|X....",                // P
    ".XXX.|X...X|X...X|X...X|X.X.X|X..X.|.XX.X",                // Q
    "XXXX.|X...X|X...X|XXXX.|X.X..|X..X.|X...X",                // R
    ".XXXX|X....|X....|.XXX.|....X|....X|XXXX.",                // S
    "XXXXX|..X..|..X..|..X..|..X..|..X..|..X..",                // T
    "X...X|X...X|X...X|X...X|X...X|X...X|.XXX.",                // U
    "X...X|X...X|X...X|X...X|X...X|.X.X.|..X..",                // V
    "X.....X|X.....X|X.....X|X..X..X|X.X.X.X|XX...XX|X.....X",  // W
    "X...X|X...X|.X.X.|..X..|.X.X.|X...X|X...X",                // X
    "X...X|X...X|.X.X.|..X..|..X..|..X..|..X..",                // Y
    "XXXXX|....X|...X.|..X..|.X...|X....|XXXXX",                // Z
    "XX|X.|X.|X.|X.|X.|XX",                                     // [
    "X....|X....|.X...|..X..|...X.|....X|....X",                // backslash
    "XX|.X|.X|.X|.X|.X|XX",                                     // ]
    "..X..|.X.X.|X...X",                                        // ^
};

// The game font: 31 x 2 cells of 8 x 8 for characters 33..94 on black; white ink, so the blue channel is the
// coverage the engine tints with. Each glyph starts one column into its cell.
bool writeGameFont(const std::string& outDir) {
    Surface* s = sfCreate(248, 16, pf565, 0, SF_NO_KEY, nullptr);
    if (!s) return false;
    gfxSetColour(0);
    gfxFillRect(s, nullptr);
    const uint32_t white = sfGetFormatOps(pf565)->fromRGB(0xFFFFFF);
    for (int i = 0; i < 62; i++) {
        int cx = (i % 31) * 8 + 1, cy = (i / 31) * 8, row = 0, col = 0;
        for (const char* p = kGameGlyphs[i]; *p; p++) {
            if (*p == '|') {
                row++, col = 0;
                continue;
            }
            if (*p == 'X' && col < 7 && row < 8) sfPutPixel(s, cx + col, cy + row, white);
            col++;
        }
    }
    bool ok = mkWriteTGA(outDir + "/gamedata/font.tga", s);
    sfFree(s);
    return ok;
}

// The system font: 14 x 7 cells of 7 x 14 with one-pixel gaps from (1, 1), characters 32..129, white on
// black. 127 to 129 have no ASCII shape; they show a box, the euro sign and a middle dot.
bool writeSystemFont(const std::string& outDir) {
    FT_Library lib = nullptr;
    FT_Face face = nullptr;
    if (FT_Init_FreeType(&lib)) return false;
    if (FT_New_Face(lib, "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf", 0, &face) ||
        FT_Set_Pixel_Sizes(face, 0, 12)) {
        fprintf(stderr, "mkgamedata: cannot open DejaVuSansMono.ttf (install fonts-dejavu-core)\n");
        if (face) FT_Done_Face(face);
        FT_Done_FreeType(lib);
        return false;
    }
    Surface* s = sfCreate(1 + 14 * 8, 1 + 7 * 15, pf565, 0, SF_NO_KEY, nullptr);
    if (!s) {
        FT_Done_Face(face);
        FT_Done_FreeType(lib);
        return false;
    }
    gfxSetColour(0);
    gfxFillRect(s, nullptr);
    const uint32_t white = sfGetFormatOps(pf565)->fromRGB(0xFFFFFF);
    const int baseline = 11;  // leaves 3 rows below for descenders
    for (int i = 0; i < 98; i++) {
        int code = 32 + i, cx = 1 + 8 * (i % 14), cy = 1 + 15 * (i / 14);
        if (code == 127) {
            Rect box = {cx + 1, cy + 3, 5, 8};
            gfxSetColour(white);
            gfxFrameRect(s, &box);
            continue;
        }
        FT_ULong ch = code == 128 ? 0x20AC : code == 129 ? 0xB7 : (FT_ULong)code;
        if (FT_Load_Char(face, ch, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO)) continue;
        const FT_Bitmap& bm = face->glyph->bitmap;
        for (uint32_t r = 0; r < bm.rows; r++)
            for (uint32_t c = 0; c < bm.width; c++) {
                if (!((bm.buffer[(ptrdiff_t)r * bm.pitch + (c >> 3)] >> (7 - (c & 7))) & 1)) continue;
                int x = face->glyph->bitmap_left + (int)c, y = baseline - face->glyph->bitmap_top + (int)r;
                if (x >= 0 && x < 7 && y >= 0 && y < 14) sfPutPixel(s, cx + x, cy + y, white);
            }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    bool ok = mkWriteTGA(outDir + "/SysFont7x14.tga", s);
    sfFree(s);
    return ok;
}

}  // namespace

int mkFonts(const std::string& outDir) {
    uint32_t colour = gfxGetColour();
    int written = writeGameFont(outDir) + writeSystemFont(outDir);
    gfxSetColour(colour);
    return written == 2 ? 2 : 0;
}
