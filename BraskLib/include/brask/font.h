// Bitmap fonts: a grid of equal character cells in one image, measured and drawn as wide (UTF-16) text.
#pragma once
#include <cstdint>

#include "brask/gfx.h"

// Where one cell lies in the image and, for proportional fonts, how much of it is inked.
struct Glyph {
    int16_t x, y;        // the cell's top-left corner in the image
    int16_t width;       // inked width (proportional fonts)
    int16_t leftBlank;   // empty columns at the cell's left
    int16_t rightBlank;  // empty columns at the cell's right
};

struct Font {
    int32_t cellWidth, cellHeight;  // cellHeight is also the height of a line
    int32_t spacing;                // extra pixels after every character
    int32_t lineGap;                // extra pixels between lines
    uint8_t proportional;           // advance by each glyph's inked width
    uint8_t coverage;          // anti-aliased image: drawn tinted by coverage (mode 3), else solid (mode 4)
    Surface* image;            // borrowed: its owner frees it; its colour key marks the cells' background
    int32_t gapX, gapY;        // pixels between neighbouring cells
    int32_t originX, originY;  // the first cell's top-left corner
    int32_t columns, rows;     // the grid
    int32_t firstChar;         // code shown by cell 0
    Glyph glyphs[256];
    int32_t lastChar;  // firstChar + number of glyphs - 1
};

enum : int32_t { FNT_CENTRE = INT32_MIN };  // as x or y of fntDrawText: centre the text block on the target
enum { FNT_ALIGN_CENTRE = 0, FNT_ALIGN_LEFT = 1, FNT_ALIGN_RIGHT = 2, FNT_ALIGN_JUSTIFY = 3 };

// Fills the glyph table and lastChar. Null (font unchanged) unless the image is a plain byte-sized surface
// holding the whole grid and the cell sizes, grid and firstChar are above 0.
Font* fntBuildGlyphs(Font* font);
void fntMeasure(const Font* font, const char16_t* text, int32_t* outWidth, int32_t* outHeight);
int32_t fntTextWidth(const Font* font, const char16_t* text);  // widest line, spacing after the last included
int32_t fntCountGaps(const char16_t* text);  // word gaps of a line that justification stretches
// Draws in the current colour; align is one of FNT_ALIGN_*, within a box of width (<= 0: the text's own).
int32_t fntDrawText(const Font* font, Surface* target, const char16_t* text, int32_t x, int32_t y,
                    int32_t align, int32_t width);

// The engine's font ("SysFont7x14.tga" through the image cache); 1 when its glyphs were built.
int32_t fntInitSystem();
Font* fntGetSystemFont();
