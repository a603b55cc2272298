// Bitmap fonts: glyph tables built from a grid image, measuring, justification and drawing, the system font.
//
// Positions along a line are counted from the line's start. Measuring and drawing share one rule for how far
// each character moves the pen (advance), so a measured width is exactly what drawing covers; justification
// adds its extra pixels only while drawing.
#include "brask/font.h"

#include "brask/image.h"

namespace {

// While set, measuring stops at the first line feed (justified drawing measures one line at a time).
uint8_t g_singleLine;
Font g_systemFont;

bool hasGlyph(const Font* f, char16_t c) {
    return c != u' ' && int32_t(c) >= f->firstChar && int32_t(c) <= f->lastChar;
}

// Characters that separate words when a line is justified.
bool isBlank(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n';
}

int32_t advance(const Font* f, char16_t c) {
    if (!f->proportional) return f->cellWidth + f->spacing;
    if (hasGlyph(f, c)) return f->spacing + f->glyphs[c - f->firstChar].width;
    return f->spacing + f->cellWidth / 2;
}

// Distance between tab stops; 0 when the cell and spacing leave none (a tab then does nothing).
int32_t tabStep(const Font* f) {
    const int32_t a = f->cellWidth + f->spacing;
    if (a <= 0) return 0;
    return f->proportional ? 2 * a : 4 * a;
}

// The first stop strictly right of pos (both counted from the line's start).
int32_t nextTab(const Font* f, int32_t pos) {
    const int32_t step = tabStep(f);
    if (step == 0) return pos;
    int32_t k = pos / step;
    if (pos < 0 && pos % step != 0) k--;  // floor, for a pen pulled left of the start by negative spacing
    return (k + 1) * step;
}

// A column of a cell is blank when every pixel in it is the image's colour key.
bool columnBlank(const Surface* img, int32_t x, int32_t y, int32_t height) {
    uint32_t (*read)(const uint8_t*) = sfGetFormatOps(img->format)->read;
    for (int32_t r = 0; r < height; r++)
        if (read(sfPixelAddress(img, x, y + r)) != img->colourKey) return false;
    return true;
}

}  // namespace

Font* fntBuildGlyphs(Font* font) {
    if (!font) return nullptr;
    const Surface* img = font->image;
    if (!img || img->rle || !img->pixels || !img->info || img->info->bytesPerPixel <= 0 ||
        img->xStep != img->info->bytesPerPixel || img->rowPitch != img->width * img->info->bytesPerPixel)
        return nullptr;
    if (font->cellWidth <= 0 || font->cellHeight <= 0 || font->columns <= 0 || font->rows <= 0 ||
        font->firstChar <= 0 || font->gapX < 0 || font->gapY < 0 || font->originX < 0 || font->originY < 0)
        return nullptr;
    const int64_t cells = int64_t(font->columns) * font->rows;
    const int32_t count = cells < 256 ? int32_t(cells) : 256;
    // The grid as far as it is used must lie inside the image, or the scan and the blits read past it.
    const int64_t usedCols = count < font->columns ? count : font->columns;
    const int64_t usedRows = (count + font->columns - 1) / font->columns;
    if (font->originX + (usedCols - 1) * (int64_t(font->cellWidth) + font->gapX) + font->cellWidth >
            img->width ||
        font->originY + (usedRows - 1) * (int64_t(font->cellHeight) + font->gapY) + font->cellHeight >
            img->height)
        return nullptr;
    const int32_t cw = font->cellWidth, ch = font->cellHeight;
    for (int32_t i = 0; i < count; i++) {
        Glyph& g = font->glyphs[i];
        g.x = int16_t(font->originX + (i % font->columns) * (cw + font->gapX));
        g.y = int16_t(font->originY + (i / font->columns) * (ch + font->gapY));
        g.width = int16_t(cw);
        g.leftBlank = g.rightBlank = 0;
        if (!font->proportional) continue;
        int32_t left = 0;
        while (left < cw && columnBlank(img, g.x + left, g.y, ch)) left++;
        g.leftBlank = int16_t(left);
        if (left < cw) {
            int32_t right = 0;
            while (columnBlank(img, g.x + cw - 1 - right, g.y, ch)) right++;
            g.rightBlank = int16_t(right);
            g.width = int16_t(cw - left - right);
        } else {
            g.width = int16_t(cw / 2);  // an empty cell still advances
        }
    }
    font->lastChar = font->firstChar + count - 1;
    return font;
}

void fntMeasure(const Font* font, const char16_t* text, int32_t* outWidth, int32_t* outHeight) {
    int32_t width = 0, height = font ? font->cellHeight : 0, pos = 0;
    if (font && text) {
        for (const char16_t* p = text; *p; p++) {
            if (*p == u'\n') {
                if (pos > width) width = pos;
                if (g_singleLine) {
                    pos = 0;
                    break;
                }
                height += font->cellHeight + font->lineGap;
                pos = 0;
            } else if (*p == u'\t') {
                pos = nextTab(font, pos);
            } else {
                pos += advance(font, *p);
            }
        }
    }
    if (pos > width) width = pos;
    if (outWidth) *outWidth = width;
    if (outHeight) *outHeight = height;
}

int32_t fntTextWidth(const Font* font, const char16_t* text) {
    int32_t w;
    fntMeasure(font, text, &w, nullptr);
    return w;
}

int32_t fntCountGaps(const char16_t* text) {
    if (!text) return 0;
    const char16_t* p = text;
    int32_t gaps = 0;
    for (;;) {
        while (*p == u' ' || *p == u'\t') p++;
        if (*p == 0 || *p == u'\n') break;
        while (*p && *p != u' ' && *p != u'\t' && *p != u'\n') p++;
        if (*p != u' ' && *p != u'\t') break;
        gaps++;
    }
    // The last line of a paragraph keeps its natural spacing.
    return *p == u'\n' && p[1] != 0 && p[1] != u'\n' ? gaps : 0;
}

namespace {

struct Justify {
    int32_t gaps, extra, remainder;
};

// The stretch of the line starting at text: the box's spare width over its gaps.
Justify justifyLine(const Font* font, const char16_t* text, int32_t box) {
    Justify j = {fntCountGaps(text), 0, 0};
    if (j.gaps > 0) {
        const int32_t spare = box - fntTextWidth(font, text);
        j.extra = spare / j.gaps;
        j.remainder = spare % j.gaps;
    }
    return j;
}

}  // namespace

int32_t fntDrawText(const Font* font, Surface* target, const char16_t* text, int32_t x, int32_t y,
                    int32_t align, int32_t width) {
    if (!font || !font->image || !target || !text || !*text) return 0;
    const int32_t savedMode = gfxSetDrawMode(font->coverage ? 3 : 4);
    int32_t W, H;
    fntMeasure(font, text, &W, &H);
    if (x == FNT_CENTRE) x = (target->width - W) / 2;
    if (y == FNT_CENTRE) y = (target->height - H) / 2;
    const int32_t L = width > 0 ? width : W;
    if (W > L) W = L;
    int32_t x0 = x;
    Justify j = {0, 0, 0};
    if (align == FNT_ALIGN_CENTRE) {
        x0 = x + (L - W) / 2;
    } else if (align == FNT_ALIGN_RIGHT) {
        x0 = x + L - W;
    } else if (align == FNT_ALIGN_JUSTIFY) {
        g_singleLine = 1;
        j = justifyLine(font, text, L);
    }
    int32_t pen = x0;
    for (const char16_t* p = text; *p; p++) {
        const char16_t c = *p;
        if (c == u'\t') {
            pen = x0 + nextTab(font, pen - x0);
        } else if (c == u'\n') {
            y += font->cellHeight + font->lineGap;
            pen = x0;
            if (align == FNT_ALIGN_JUSTIFY) j = justifyLine(font, p + 1, L);
        } else if (!hasGlyph(font, c)) {
            pen += advance(font, c);
            // The stretch goes where fntCountGaps found a gap, the first space after a word, and only while
            // counted gaps remain: a line that is not stretched keeps its left-aligned form, the rest of a
            // run of spaces takes nothing, and a stretched line ends exactly at the box's edge instead of
            // losing its last word to the cut.
            if (align == FNT_ALIGN_JUSTIFY && j.gaps > 0 && c == u' ' && p > text && !isBlank(p[-1])) {
                pen += j.extra;
                j.gaps--;
                if (j.gaps < j.remainder) pen++;
            }
        } else {
            const Glyph& g = font->glyphs[c - font->firstChar];
            const int32_t w = font->proportional ? g.width : font->cellWidth;
            if (pen + w > x0 + L) break;
            const Rect cell = {g.x, g.y, font->cellWidth, font->cellHeight};
            sfBlitRect(font->image, target, font->proportional ? pen - g.leftBlank : pen, y, &cell);
            pen += advance(font, c);
        }
    }
    gfxSetDrawMode(savedMode);
    g_singleLine = 0;
    return 0;
}

int32_t fntInitSystem() {
    static const char16_t* const kNames[] = {u"Graphics/SysFont7x14.tga", u"gfx/SysFont7x14.tga",
                                             u"SysFont7x14.tga"};
    Surface* img = nullptr;
    for (const char16_t* name : kNames)
        if ((img = sfGetImage(name)) != nullptr) break;
    if (!img || !img->info) return 0;
    // Palettes have no packing of their own: black is the nearest entry.
    if (img->format == pfPalette)
        img->colourKey = img->palette ? uint32_t(palFindNearest(img->palette, 0)) : 0;
    else
        img->colourKey = sfGetFormatOps(img->format)->fromRGB(0);
    Font& f = g_systemFont;
    f = Font{};
    f.cellWidth = 7;
    f.cellHeight = 14;
    f.image = img;
    f.gapX = f.gapY = 1;
    f.originX = f.originY = 1;
    f.columns = 14;
    f.rows = 7;
    f.firstChar = 32;
    return fntBuildGlyphs(&f) ? 1 : 0;
}

Font* fntGetSystemFont() {
    return &g_systemFont;
}
