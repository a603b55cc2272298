// Lettering for the pictures: DejaVu Sans through FreeType. The face files come from the Debian package
// fonts-dejavu-core and are loaded once. Hinting is left to FreeType's own (built-in, version-fixed) engine
// and no system configuration is consulted, so the same package versions give the same pixels on every run.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstdlib>

#include "brask/gfx.h"
#include "tools/mkgamedata/mkgamedata.h"

namespace {

const char* const kFaceFiles[2] = {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                                   "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"};

FT_Library g_library = nullptr;
FT_Face g_faces[2] = {nullptr, nullptr};

void closeFaces() {
    for (FT_Face& f : g_faces)
        if (f) FT_Done_Face(f), f = nullptr;
    if (g_library) FT_Done_FreeType(g_library), g_library = nullptr;
}

// The face at a pixel height; null (after one message) when FreeType or the font file is missing.
FT_Face face(int bold, int32_t pixelHeight) {
    static bool failed = false;
    if (failed) return nullptr;
    if (!g_library) {
        if (FT_Init_FreeType(&g_library)) {
            failed = true;
            fprintf(stderr, "mkgamedata: FreeType does not start\n");
            return nullptr;
        }
        atexit(closeFaces);
    }
    int which = bold ? 1 : 0;
    if (!g_faces[which] && FT_New_Face(g_library, kFaceFiles[which], 0, &g_faces[which])) {
        g_faces[which] = nullptr;
        failed = true;
        fprintf(stderr, "mkgamedata: cannot open %s (install fonts-dejavu-core)\n", kFaceFiles[which]);
        return nullptr;
    }
    if (FT_Set_Pixel_Sizes(g_faces[which], 0, (FT_UInt)(pixelHeight > 0 ? pixelHeight : 1))) return nullptr;
    return g_faces[which];
}

// The next code point of UTF-8 text; malformed bytes come back as themselves.
uint32_t nextCode(const char*& p) {
    uint8_t c = (uint8_t)*p++;
    if (c < 0x80) return c;
    int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    uint32_t code = c & (0x3F >> more);
    for (int i = 0; i < more && ((uint8_t)*p & 0xC0) == 0x80; i++)
        code = (code << 6) | ((uint8_t)*p++ & 0x3F);
    return code;
}

// Walks the text: the pen advance of every glyph, and (with a target) its bitmap drawn at the pen.
int32_t run(Surface* dst, int32_t x, int32_t y, const char* utf8, int32_t pixelHeight, uint32_t rgb, int bold,
            int antialias) {
    FT_Face f = face(bold, pixelHeight);
    if (!f || !utf8) return 0;
    // y is the top of the capitals, wherever the face puts its baseline: text then sits where it is placed.
    int32_t ascent = (int32_t)((f->size->metrics.ascender + 63) >> 6);
    if (!FT_Load_Char(f, 'H', antialias ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO) &&
        !FT_Render_Glyph(f->glyph, antialias ? FT_RENDER_MODE_NORMAL : FT_RENDER_MODE_MONO))
        ascent = f->glyph->bitmap_top;
    const PixelFormatOps* ops = dst ? sfGetFormatOps(dst->format) : nullptr;
    FT_Int32 loadFlags = FT_LOAD_RENDER | (antialias ? FT_LOAD_TARGET_NORMAL : FT_LOAD_TARGET_MONO);
    int32_t pen = 0;
    for (const char* p = utf8; *p;) {
        uint32_t code = nextCode(p);
        if (FT_Load_Char(f, code, loadFlags)) continue;
        FT_GlyphSlot g = f->glyph;
        if (ops && ops->fromRGB && ops->toRGB) {
            const FT_Bitmap& bm = g->bitmap;
            for (uint32_t row = 0; row < bm.rows; row++) {
                const uint8_t* line = bm.buffer + (ptrdiff_t)row * bm.pitch;
                for (uint32_t col = 0; col < bm.width; col++) {
                    int cover = bm.pixel_mode == FT_PIXEL_MODE_MONO
                                    ? ((line[col >> 3] >> (7 - (col & 7))) & 1) * 255
                                    : line[col];
                    if (!cover) continue;
                    int32_t px = x + pen + g->bitmap_left + (int32_t)col;
                    int32_t py = y + ascent - g->bitmap_top + (int32_t)row;
                    if (px < 0 || py < 0 || px >= dst->width || py >= dst->height) continue;
                    uint32_t out = rgb;
                    if (cover < 255) out = colMix(ops->toRGB(sfGetPixel(dst, px, py)), rgb, cover, 255);
                    sfPutPixel(dst, px, py, ops->fromRGB(out));
                }
            }
        }
        pen += (int32_t)((g->advance.x + 32) >> 6);
    }
    return pen;
}

}  // namespace

int32_t mkTextWidth(const char* utf8, int32_t pixelHeight, int bold) {
    return run(nullptr, 0, 0, utf8, pixelHeight, 0, bold, 1);
}

int32_t mkText(Surface* dst, int32_t x, int32_t y, const char* utf8, int32_t pixelHeight, uint32_t rgb,
               int bold, int align, int antialias) {
    int32_t width = run(nullptr, 0, 0, utf8, pixelHeight, 0, bold, antialias);
    if (align == MK_ALIGN_CENTRE) x -= width / 2;
    if (align == MK_ALIGN_RIGHT) x -= width;
    return run(dst, x, y, utf8, pixelHeight, rgb, bold, antialias);
}
