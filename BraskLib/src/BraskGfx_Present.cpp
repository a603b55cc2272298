// Display presentation: the graphics state's start and end, presenting a frame through the draw lock, the
// display's turned view and the default palette.
//
// [SECTION] Start and end
// [SECTION] Presenting
// [SECTION] Turning views
// [SECTION] Default palette
//
// The display surface never owns its pixels: the draw lock sets them for one present and clears them after,
// so the turned view's start corner is kept apart as the frame-buffer offset and added at every lock.
#include "BraskGfx_internal.h"
#include "app_internal.h"
#include "brask/app.h"
#include "brask/display.h"
#include "brask/font.h"
#include "brask/image.h"

namespace {

struct DisplayState {
    Surface screen;
    int32_t orientation;
    int32_t frameBufferOffset;
    uint8_t paletteBuilt;
    Palette defaultPalette;
};

DisplayState g_display;

}  // namespace

// =====================================================================================================
// [SECTION] Start and end
// =====================================================================================================

int32_t gfxInit() {
    if (!gfxInitSurfacePool()) return 0;
    ResCache* cache = sfGetImageCache();
    if (cache->records.elementSize == 0 && !sfInitImageCache(cache, g_display.screen.format)) return 0;
    return 1;
}

void gfxShutdown() {
    ResCache* cache = sfGetImageCache();
    if (cache->records.elementSize != 0) resCacheDestroy(cache, 1);
    // The system font borrows its image from the cache just emptied.
    *fntGetSystemFont() = Font{};
    gfxShutdownSurfacePool();
}

Surface* gfxScreen() {
    return &g_display.screen;
}

void gfxResetView() {
    g_display.orientation = 0;
    g_display.frameBufferOffset = 0;
}

// =====================================================================================================
// [SECTION] Presenting
// =====================================================================================================

void gfxPresent(const View* view) {
    Surface* screen = appBeginDraw();
    // A failed lock drops this frame; appBeginDraw changed nothing, so there is nothing to end.
    if (!screen) return;
    screen->pixels += g_display.frameBufferOffset;
    if (view && view->surface) sfCopyRect(view->surface, screen, view->x, view->y, &view->rect);
    appEndDraw();
}

// =====================================================================================================
// [SECTION] Turning views
// =====================================================================================================

int32_t sfRotateView(Surface* s, int32_t turn) {
    if (!s) return 0;
    const int32_t w = s->width, h = s->height, xs = s->xStep, rp = s->rowPitch;
    int32_t offset;
    switch (turn) {
        case 1:
            s->xStep = int16_t(-xs);
            s->rowPitch = int16_t(-rp);
            offset = rp * (h - 1) + xs * (w - 1);
            break;
        case 2:
            s->xStep = int16_t(-rp);
            s->rowPitch = int16_t(xs);
            s->width = int16_t(h);
            s->height = int16_t(w);
            offset = rp * (h - 1);
            break;
        case 3:
            s->xStep = int16_t(rp);
            s->rowPitch = int16_t(-xs);
            s->width = int16_t(h);
            s->height = int16_t(w);
            offset = xs * (w - 1);
            break;
        default:
            return 0;
    }
    // Outside the lock the display surface has no pixels; arithmetic on a null pointer is undefined.
    if (s->pixels) s->pixels += offset;
    return offset;
}

int32_t gfxSetOrientation(int32_t orientation) {
    const int32_t from = g_display.orientation;
    if (orientation < 0 || orientation > 3 || orientation == from) return g_display.frameBufferOffset;
    // kTurn[from][to]: the turn that takes the view from one orientation to the other.
    static const int8_t kTurn[4][4] = {{0, 1, 2, 3}, {1, 0, 3, 2}, {3, 2, 0, 1}, {2, 3, 1, 0}};
    g_display.frameBufferOffset += sfRotateView(&g_display.screen, kTurn[from][orientation]);
    g_display.orientation = orientation;
    return g_display.frameBufferOffset;
}

int32_t gfxGetOrientation() {
    return g_display.orientation;
}

int32_t gfxFrameBufferOffset() {
    return g_display.frameBufferOffset;
}

// =====================================================================================================
// [SECTION] Default palette
// =====================================================================================================

Palette* gfxDefaultPalette() {
    Palette& p = g_display.defaultPalette;
    if (g_display.paletteBuilt) return &p;
    static const uint32_t kStandard[16] = {0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080,
                                           0x008080, 0xC0C0C0, 0x808080, 0xFF0000, 0x00FF00, 0xFFFF00,
                                           0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    p = Palette{};
    p.count = 256;
    for (int i = 0; i < 16; i++) p.colours[i] = kStandard[i];
    for (uint32_t g = 0; g < 6; g++)
        for (uint32_t r = 0; r < 6; r++)
            for (uint32_t b = 0; b < 6; b++)
                p.colours[40 + 36 * g + 6 * r + b] = (r * 0x33) << 16 | (g * 0x33) << 8 | (b * 0x33);
    g_display.paletteBuilt = 1;
    return &p;
}
