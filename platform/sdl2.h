// Controls of the desktop backend that only a desktop program (and its tests) uses.
#pragma once
#include <cstdint>

// The window's whole-number scale (default 2): the window opens at 240k x 320k. Takes effect at the next
// window creation. 0 for a scale outside 1..16 (the scale is then unchanged).
int platSdl2SetScale(int32_t scale);
int32_t platSdl2Scale();

// The SDL_Window of the program's window (null while there is none), for tests that resize or inspect it.
void* platSdl2Window();

// Why the last window creation found no display to open on (SDL could not start its video, or fell back to
// a driver that shows nothing without being asked for it by SDL_VIDEODRIVER); null when it did.
const char* platSdl2VideoProblem();

// Destroys the window, its renderer and texture, forgets classes, pending messages and held keys, and stops
// SDL's video subsystem. For tests and an orderly exit; the engine itself never destroys its window.
void platSdl2Shutdown();
