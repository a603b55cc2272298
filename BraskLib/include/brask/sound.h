// Sound: effect samples and tracker music over MikMod, mixed once per frame by sndUpdate.
#pragma once
#include <cstdint>

struct SndSound;   // a loaded sample: sndLoadSample makes it, sndFreeSample frees it
struct SndModule;  // a loaded module: sndLoadModule makes it, sndFreeModule frees it

// Starts MikMod on the device's audio output, or silently when the device is missing or cannot be opened
// (then with a log line). 0 only when MikMod cannot start at all.
int sndInit();
// Free every sample and module first: MikMod cannot release their data once it has shut down.
void sndShutdown();
// Mixes what the voices play and hands it to the device; call at least once per frame.
void sndUpdate();

// Output format in effect after sndInit: mixing rate in Hz, 8 or 16 bits, 1 or 2 channels.
int32_t sndGetRate();
int32_t sndGetBits();
int32_t sndGetChannels();

// Loads a WAV (mono PCM, 8 or 16 bits) through the file system. Null when missing (silently) or unloadable
// (with a log line).
SndSound* sndLoadSample(const char16_t* name);
void sndFreeSample(SndSound* sound);  // null: nothing
// Plays from the start on an effect voice at the effects volume. `voice` (optional) receives the voice, -1
// when every voice is busy with a critical sound, 0 when the sound is null or the layer is muted.
void sndPlaySample(SndSound* sound, int8_t* voice);
void sndSetSampleLoop(SndSound* sound, int loop);
void sndSetSampleCritical(SndSound* sound, int critical);  // a critical voice is not taken by later effects
int32_t sndGetSampleRate(const SndSound* sound);           // Hz; 0 without a sound

// Voices: volume 0..1 (times the effects volume), panning -1 (left) .. 1 (right); NaN counts as 0.
void sndSetVoiceVolume(int8_t voice, float volume);
void sndSetVoicePanning(int8_t voice, float pan);
void sndSetVoiceFrequency(int8_t voice, int32_t hz);  // hz <= 0: nothing
void sndStopVoice(int8_t voice);

// Master volumes 0..1 (clamped; NaN counts as 0) and mute. Muted, sndPlaySample starts nothing.
void sndSetSfxVolume(float volume);
float sndGetSfxVolume();
void sndSetMusicVolume(float volume);
float sndGetMusicVolume();
void sndSetMute(int mute);
int sndIsMuted();

// Music: Impulse Tracker modules through MikMod's player; one current module at a time.
SndModule* sndLoadModule(const char16_t* name);  // null on failure, without a message
void sndFreeModule(SndModule* module);           // the current module stops first
void sndPlayModule(SndModule* module);
void sndStopModule();
void sndPauseModule(int mode);  // -1 toggle, 1 resume if paused, 0 pause if playing
int sndIsModulePlaying();
void sndSetModuleWrap(SndModule* module, int wrap);  // 1: restart at the end instead of stopping
