// Display presentation: the graphics state's start and end, the display surface, presenting a frame, turning
// the display's view in quarter turns, and the default palette of palette displays.
#pragma once
#include <cstdint>

#include "brask/gfx.h"

// What one present copies: the source rectangle of a surface, landing at (x, y) on the display.
struct View {
    Surface* surface;  // borrowed
    int32_t x, y;
    Rect rect;
};

int32_t gfxInit();   // surface pool and image cache (display format), each set up once; 1 ok
void gfxShutdown();  // the image cache with every cached image, then the surface pool
void gfxPresent(
    const View* view);         // lock, copy into the display surface, unlock; a failed lock drops the frame
Surface* gfxScreen();          // the display surface; its pixels are set only inside the draw lock
Palette* gfxDefaultPalette();  // 16 standard colours, 24 blacks, the 6 x 6 x 6 cube; shared by reference

// Orientation 0 upright, 1 upside down, 2 and 3 sideways. Returns the accumulated frame-buffer offset.
int32_t gfxSetOrientation(int32_t orientation);
int32_t gfxGetOrientation();
int32_t gfxFrameBufferOffset();  // bytes added to the locked frame-buffer pointer at every present

// Turns a surface's view in place without moving pixels: 1 half turn, 2 and 3 quarter turns. Returns the byte
// offset added to pixels (not added while pixels is null, but still returned); other turns change nothing.
int32_t sfRotateView(Surface* s, int32_t turn);
