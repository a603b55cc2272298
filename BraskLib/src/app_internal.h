// Shared between the application, input and presentation modules: the hooks the window procedure and
// appOpen reach across, none of them for games.
#pragma once
#include <cstdint>

// Orientation and frame-buffer offset back to upright and 0, for a display surface filled afresh.
void gfxResetView();

// The window procedure's halves that belong to input: key messages and stylus messages.
void inpHandleKey(uint32_t message, uintptr_t virtualKey);
void inpHandleStylus(uint32_t message, intptr_t lParam);

// 1 when the tick counter runs (a high-resolution counter exists).
int32_t appHasTimer();

// Tests reset the platform backend underneath the engine: these forget what the application and input layers
// hold of it (window, open flags, quit flag; raw flags, states, map, queue) without calling the platform.
void appForgetPlatform();
void inpForgetPlatform();
