// The desktop backend: the device's services through SDL2.
//
// [SECTION] Clock        SDL's performance counter and delay
// [SECTION] Dialogs      message boxes; no OEM or platform texts on a desktop
// [SECTION] Audio        one output device fed through SDL's audio queue
// [SECTION] Table        the backend table the program selects with platSetBackend
//
// Each SDL subsystem is started by the first service that needs it and stopped when that service is done, so
// a program that never opens the sound never touches the audio drivers.
#include <SDL2/SDL.h>

#include "platform/platform.h"

namespace {

//-----------------------------------------------------------------------------
// [SECTION] Clock
//-----------------------------------------------------------------------------

int counter(uint64_t* value) {
    *value = SDL_GetPerformanceCounter();
    return 1;
}

int counterFrequency(uint64_t* perSec) {
    *perSec = SDL_GetPerformanceFrequency();
    return *perSec != 0;
}

void sleep(uint32_t ms) {
    SDL_Delay(ms);
}

//-----------------------------------------------------------------------------
// [SECTION] Dialogs
//-----------------------------------------------------------------------------

enum { BOX_TEXT_MAX = 4096 };

// Blocks until answered. Without a display SDL fails at once and the box counts as not shown.
int messageBox(const char16_t* text, const char16_t* caption, int32_t kind) {
    static char textUtf8[BOX_TEXT_MAX], captionUtf8[BOX_TEXT_MAX];
    if (!text || !platToUtf8(text, textUtf8, BOX_TEXT_MAX)) textUtf8[0] = 0;
    if (!caption || !platToUtf8(caption, captionUtf8, BOX_TEXT_MAX)) captionUtf8[0] = 0;
    const SDL_MessageBoxButtonData okCancel[] = {
        {SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 0, "Cancel"},
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT, 1, "OK"},
    };
    const SDL_MessageBoxButtonData okOnly[] = {
        {SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT, 1, "OK"},
    };
    SDL_MessageBoxData box = {};
    box.flags = SDL_MESSAGEBOX_INFORMATION;
    box.title = captionUtf8;
    box.message = textUtf8;
    box.numbuttons = kind == 1 ? 2 : 1;
    box.buttons = kind == 1 ? okCancel : okOnly;
    int pressed = -1;
    if (SDL_ShowMessageBox(&box, &pressed) != 0) return 0;
    return pressed == 1 ? 1 : 2;  // closing the box (-1) is a refusal, as Cancel
}

int systemText(int32_t, char16_t*, int32_t) {
    return 0;
}

//-----------------------------------------------------------------------------
// [SECTION] Audio
//-----------------------------------------------------------------------------

SDL_AudioDeviceID g_audioDevice;

void audioClose() {
    if (!g_audioDevice) return;
    SDL_CloseAudioDevice(g_audioDevice);
    g_audioDevice = 0;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// SDL converts our format to the device's, so the stream always runs at the rate and channels asked for.
int audioOpen(int32_t rate, int32_t channels) {
    audioClose();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
    SDL_AudioSpec want = {};
    want.freq = rate;
    want.format = AUDIO_S16SYS;
    want.channels = (Uint8)channels;
    want.samples = 1024;
    want.callback = nullptr;  // the queue, fed from the game's thread
    SDL_AudioSpec have;
    g_audioDevice = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (!g_audioDevice) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 0;
    }
    SDL_PauseAudioDevice(g_audioDevice, 0);
    return 1;
}

int audioQueue(const void* bytes, int32_t count) {
    return g_audioDevice && SDL_QueueAudio(g_audioDevice, bytes, (Uint32)count) == 0;
}

int32_t audioQueued() {
    return g_audioDevice ? (int32_t)SDL_GetQueuedAudioSize(g_audioDevice) : 0;
}

}  // namespace

//-----------------------------------------------------------------------------
// [SECTION] Table
//-----------------------------------------------------------------------------

const PlatformBackend platSdl2 = {"sdl2",     counter,   counterFrequency, sleep,       messageBox,
                                  systemText, audioOpen, audioQueue,       audioQueued, audioClose};
