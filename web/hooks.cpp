// What the page and its test read from the running game: the frames it has shown. Web build only.
#include <emscripten.h>

#include "platform/session.h"

extern "C" {

// Completed presents so far, the count --screenshot-at and the headless script's frames are keyed by.
EMSCRIPTEN_KEEPALIVE int korvaPresents() {
    return platPresents();
}

EMSCRIPTEN_KEEPALIVE int korvaFramesEnded() {
    return platFramesEnded();
}
}
