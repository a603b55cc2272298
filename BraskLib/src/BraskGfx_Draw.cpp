// Rectangles and the primitives drawn in the current colour: points, lines, outlines, fills, ellipses.
#include "BraskGfx_internal.h"
#include "brask/memory.h"

int32_t rectOverlap(const Rect* a, const Rect* b) {
    if (!a || !b || a->width <= 0 || a->height <= 0 || b->width <= 0 || b->height <= 0) return 0;
    return int64_t(b->x) < int64_t(a->x) + a->width && int64_t(b->y) < int64_t(a->y) + a->height &&
           int64_t(a->x) < int64_t(b->x) + b->width && int64_t(a->y) < int64_t(b->y) + b->height;
}

static bool drawable(const Surface* s) {
    return s && s->pixels && !s->rle && s->info && gfxValidFormat(s->format);
}

// The value a pixel becomes in the current mode; a format without a blend for the mode writes the colour.
static inline uint32_t shadeValue(BlendFn blend, uint32_t old) {
    return blend ? blend(old, g_gfx.colour, g_gfx.opacity, g_gfx.colour) : g_gfx.colour;
}

void gfxPlot(Surface* s, int32_t x, int32_t y) {
    if (!drawable(s)) return;
    if (g_gfx.drawMode == 0) {
        sfPutPixel(s, x, y, g_gfx.colour);
        return;
    }
    sfPutPixel(s, x, y, shadeValue(gfxGetBlend(s->format, g_gfx.drawMode), sfGetPixel(s, x, y)));
}

// A run of pixels along x (horizontal) or y, already clipped to the surface and the clip rectangle.
static void drawRun(Surface* s, int32_t x, int32_t y, int32_t len, bool horizontal) {
    const int32_t mode = g_gfx.drawMode;
    if (s->info->bytesPerPixel > 0) {
        const PixelFormatOps* ops = sfGetFormatOps(s->format);
        uint8_t* p = sfPixelAddress(s, x, y);
        const int32_t step = horizontal ? s->xStep : s->rowPitch;
        BlendFn blend = gfxGetBlend(s->format, mode);
        if (mode == 0 || !blend) {
            for (int32_t i = 0; i < len; i++, p += step) ops->write(p, g_gfx.colour);
        } else {
            for (int32_t i = 0; i < len; i++, p += step) ops->write(p, shadeValue(blend, ops->read(p)));
        }
        return;
    }
    for (int32_t i = 0; i < len; i++) gfxPlot(s, horizontal ? x + i : x, horizontal ? y : y + i);
}

// Cuts a run at (pos .. pos + len - 1) along its axis, at cross position c, to [lo, hi) and [clo, chi).
static bool cutRun(int64_t* pos, int64_t* len, int64_t c, int64_t lo, int64_t hi, int64_t clo, int64_t chi) {
    if (c < clo || c >= chi || *pos >= hi || lo >= *pos + *len) return false;
    if (*pos < lo) {
        *len -= lo - *pos;
        *pos = lo;
    }
    if (*pos + *len > hi) *len = hi - *pos;
    return *len > 0;
}

static void line(Surface* s, int32_t x, int32_t y, int32_t length, bool horizontal) {
    if (!drawable(s) || length <= 0) return;
    int64_t pos = horizontal ? x : y, len = length, c = horizontal ? y : x;
    if (const Rect* r = g_gfx.clip) {
        int64_t lo = horizontal ? r->x : r->y, ext = horizontal ? r->width : r->height;
        int64_t clo = horizontal ? r->y : r->x, cext = horizontal ? r->height : r->width;
        if (!cutRun(&pos, &len, c, lo, lo + ext, clo, clo + cext)) return;
    }
    int64_t size = horizontal ? s->width : s->height, cross = horizontal ? s->height : s->width;
    if (!cutRun(&pos, &len, c, 0, size, 0, cross)) return;
    if (horizontal)
        drawRun(s, int32_t(pos), y, int32_t(len), true);
    else
        drawRun(s, x, int32_t(pos), int32_t(len), false);
}

void gfxHLine(Surface* s, int32_t x, int32_t y, int32_t length) {
    line(s, x, y, length, true);
}
void gfxVLine(Surface* s, int32_t x, int32_t y, int32_t length) {
    line(s, x, y, length, false);
}

void gfxFrameRect(Surface* s, const Rect* r) {
    if (!r) return;
    gfxHLine(s, r->x, r->y, r->width);
    gfxHLine(s, r->x, r->y + r->height - 1, r->width);
    gfxVLine(s, r->x, r->y, r->height);
    gfxVLine(s, r->x + r->width - 1, r->y, r->height);
}

void gfxFillRect(Surface* s, const Rect* rect) {
    if (!drawable(s)) return;
    Rect r = rect ? *rect : Rect{0, 0, s->width, s->height};
    if (r.width <= 0 || r.height <= 0) return;
    int64_t x0 = r.x, y0 = r.y, x1 = int64_t(r.x) + r.width, y1 = int64_t(r.y) + r.height;
    if (const Rect* c = g_gfx.clip) {
        if (!rectOverlap(&r, c)) return;
        x0 = x0 > c->x ? x0 : c->x;
        y0 = y0 > c->y ? y0 : c->y;
        x1 = x1 < int64_t(c->x) + c->width ? x1 : int64_t(c->x) + c->width;
        y1 = y1 < int64_t(c->y) + c->height ? y1 : int64_t(c->y) + c->height;
    }
    if (x0 >= s->width || y0 >= s->height || x1 < 1 || y1 < 1) return;
    x0 = x0 < 0 ? 0 : x0;
    y0 = y0 < 0 ? 0 : y0;
    x1 = x1 > s->width ? s->width : x1;
    y1 = y1 > s->height ? s->height : y1;
    const int32_t w = int32_t(x1 - x0);
    if (w <= 0 || y1 <= y0) return;
    const int32_t bpp = s->info->bytesPerPixel;
    if (g_gfx.drawMode == 0 && bpp > 0 && s->xStep == bpp) {
        // One row in the colour, then every further row copied from the row above.
        drawRun(s, int32_t(x0), int32_t(y0), w, true);
        const uint8_t* first = sfPixelAddress(s, int32_t(x0), int32_t(y0));
        for (int64_t y = y0 + 1; y < y1; y++)
            memCopy(sfPixelAddress(s, int32_t(x0), int32_t(y)), first, w * bpp);
        return;
    }
    for (int64_t y = y0; y < y1; y++) drawRun(s, int32_t(x0), int32_t(y), w, true);
}

// [SECTION] Ellipse

// One outline point (i, u) from the centre, mirrored into the selected quadrants.
static void ellipsePoint(Surface* s, int32_t cx, int32_t cy, int32_t i, int32_t u, int32_t quads,
                         bool thick) {
    struct Copy {
        int32_t bit, sx, sy;
    };
    static const Copy copies[4] = {
        {GFX_ELLIPSE_UL, -1, -1}, {GFX_ELLIPSE_UR, 1, -1}, {GFX_ELLIPSE_LL, -1, 1}, {GFX_ELLIPSE_LR, 1, 1}};
    for (const Copy& c : copies) {
        if (!(quads & c.bit)) continue;
        if (c.sx > 0 && i == 0) continue;  // the axes belong to the left and upper copies only
        if (c.sy > 0 && u == 0) continue;
        int32_t px = cx + c.sx * i, py = cy + c.sy * u;
        if (thick) {
            // The 2 x 2 block sits inside the outline, towards the centre.
            Rect r = {px - c.sx, py - c.sy, 2, 2};
            gfxFrameRect(s, &r);
        } else {
            gfxPlot(s, px, py);
        }
    }
}

static void ellipseSpan(Surface* s, int32_t cx, int32_t row, int32_t i, int32_t quads, int32_t left,
                        int32_t right) {
    const bool l = quads & left, r = quads & right;
    if (l && r)
        gfxHLine(s, cx - i, row, 2 * i + 1);
    else if (l)
        gfxHLine(s, cx - i, row, i + 1);
    else if (r)
        gfxHLine(s, cx, row, i + 1);
}

void gfxEllipse(Surface* s, int32_t cx, int32_t cy, int32_t rx, int32_t ry, int32_t flags) {
    if (!drawable(s) || rx <= 0 || ry <= 0) return;
    int32_t quads = flags & 15;
    if (!quads) quads = 15;
    const bool fill = flags & GFX_ELLIPSE_FILL, thick = !fill && (flags & GFX_ELLIPSE_THICK);
    const int64_t a2 = int64_t(rx) * rx, b2 = int64_t(ry) * ry, ab = a2 * b2;
    // Distance from the ellipse, scaled by rx^2 ry^2 so it stays integral.
    auto err = [&](int64_t i, int64_t u) {
        int64_t e = i * i * b2 + u * u * a2 - ab;
        return e < 0 ? -e : e;
    };
    int32_t i = 0, u = ry, lastRow = -1;
    for (;;) {
        if (fill) {
            if (u != lastRow) {
                ellipseSpan(s, cx, cy - u, i, quads, GFX_ELLIPSE_UL, GFX_ELLIPSE_UR);
                if (u > 0) ellipseSpan(s, cx, cy + u, i, quads, GFX_ELLIPSE_LL, GFX_ELLIPSE_LR);
                lastRow = u;
            }
        } else {
            ellipsePoint(s, cx, cy, i, u, quads, thick);
        }
        if (i == rx && u == 0) break;
        // Of the three steps outwards and down, the one that lands nearest the curve.
        int64_t best = -1;
        int32_t ni = i, nu = u;
        if (i < rx && u > 0 && (best < 0 || err(i + 1, u - 1) < best))
            best = err(i + 1, u - 1), ni = i + 1, nu = u - 1;
        if (i < rx && (best < 0 || err(i + 1, u) < best)) best = err(i + 1, u), ni = i + 1, nu = u;
        if (u > 0 && (best < 0 || err(i, u - 1) < best)) best = err(i, u - 1), ni = i, nu = u - 1;
        i = ni;
        u = nu;
    }
}
