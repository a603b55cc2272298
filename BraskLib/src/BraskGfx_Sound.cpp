// The sound layer: MikMod started on our own output driver, WAV samples and IT modules read through the file
// system, effect voices with float volume and panning, two master volumes and a mute flag.
//
// [SECTION] Output driver   MikMod's software mix handed to the platform's audio queue from sndUpdate
// [SECTION] File reader     MikMod's MREADER over a VfsFile, buffered
// [SECTION] Lifecycle       sndInit, sndShutdown, sndUpdate, the format in effect
// [SECTION] Samples, voices
// [SECTION] Volumes, mute
// [SECTION] Modules
//
// mikmod.h is included here and nowhere else: it defines global typedefs (BOOL, UBYTE, ...) that would clash
// with the rest of the program.
//
// Threads: MikMod's own thread guards are never enabled and everything runs on the game's thread. MikMod
// still calls our driver's Update with its (non-recursive) lock held, so the driver calls only the software
// mixer and the platform there, never the MikMod API.
//
// Memory: libmikmod 3.3 offers no allocation hook, so its own blocks (mixer buffers, sample data, modules)
// come from the C heap; our records (SndSound, SndModule) come from memAlloc.
#include <mikmod.h>

#include <cmath>
#include <cstdio>
#include <cstddef>
#include <cstring>

#include "brask/log.h"
#include "brask/memory.h"
#include "brask/sound.h"
#include "brask/vfs.h"
#include "platform/platform.h"
#include "sound_internal.h"

struct SndSound {
    SAMPLE* sample;
    uint8_t loop;
    uint8_t critical;
};

struct SndModule {
    MODULE* module;
};

namespace {

enum { MUSIC_VOICES = 8, EFFECT_VOICES = 8 };

struct SoundState {
    float sfxVolume;
    float musicVolume;
    uint8_t muted;
    uint8_t running;
    SndModule* currentModule;  // borrowed: the caller owns it until sndFreeModule
};

SoundState g_snd = {1.0f, 1.0f, 0, 0, nullptr};

//-----------------------------------------------------------------------------
// [SECTION] Output driver
//-----------------------------------------------------------------------------

// The device is kept about this far ahead of what it plays. A frame lasts 50 ms, so one late frame does not
// starve it, and a sound started now is heard within 100 ms.
enum { QUEUE_AHEAD_MS = 100, MIX_CHUNK = 8192 };

struct OutputState {
    int32_t frameBytes;
    int32_t target;  // bytes to keep queued
    SBYTE buffer[MIX_CHUNK];
};

OutputState g_out;

BOOL outIsPresent() {
    // Whether the device opens is known only by trying; a failure sends sndInit to the silent driver.
    return 1;
}

int outInit() {
    // The platform stream carries 16-bit integer frames only.
    md_mode = (UWORD)((md_mode | DMODE_16BITS) & ~DMODE_FLOAT);
    int32_t channels = (md_mode & DMODE_STEREO) ? 2 : 1;
    if (!platAudioOpen(md_mixfreq, channels)) {
        MikMod_errno = MMERR_OPENING_AUDIO;
        return 1;
    }
    if (VC_Init()) {
        platAudioClose();
        return 1;
    }
    g_out.frameBytes = 2 * channels;
    g_out.target = (int32_t)((int64_t)md_mixfreq * QUEUE_AHEAD_MS / 1000) * g_out.frameBytes;
    return 0;
}

void outExit() {
    VC_Exit();
    platAudioClose();
}

int outReset() {
    outExit();
    return outInit();
}

// Tops the queue up to the target with the mix (or silence while MikMod's player holds a paused module).
void feed(ULONG (*mix)(SBYTE*, ULONG)) {
    int32_t need = g_out.target - platAudioQueued();
    int32_t chunk = MIX_CHUNK - MIX_CHUNK % g_out.frameBytes;
    while (need >= g_out.frameBytes) {
        int32_t n = need < chunk ? need - need % g_out.frameBytes : chunk;
        ULONG got = mix(g_out.buffer, (ULONG)n);
        if (!got) return;
        if (!platAudioQueue(g_out.buffer, (int32_t)got)) {
            MikMod_errno = MMERR_OPENING_AUDIO;  // the device went away; the next update tries again
            return;
        }
        need -= (int32_t)got;
    }
}

void outUpdate() {
    feed(VC_WriteBytes);
}

void outPause() {
    feed(VC_SilenceBytes);
}

MDRIVER g_driver = {
    nullptr,        // next
    "Brask audio",  // Name
    "Brask audio output 1.0",
    0,                // HardVoiceLimit
    255,              // SoftVoiceLimit
    "brask",          // Alias
    nullptr,          // CmdLineHelp
    nullptr,          // CommandLine
    outIsPresent,     // IsPresent
    VC_SampleLoad,    // SampleLoad
    VC_SampleUnload,  // SampleUnload
    VC_SampleSpace,   // FreeSampleSpace
    VC_SampleLength,  // RealSampleLength
    outInit,
    outExit,
    outReset,
    VC_SetNumVoices,
    VC_PlayStart,
    VC_PlayStop,
    outUpdate,
    outPause,
    VC_VoiceSetVolume,
    VC_VoiceGetVolume,
    VC_VoiceSetFrequency,
    VC_VoiceGetFrequency,
    VC_VoiceSetPanning,
    VC_VoiceGetPanning,
    VC_VoicePlay,
    VC_VoiceStop,
    VC_VoiceStopped,
    VC_VoiceGetPosition,
    VC_VoiceRealVolume,
};

//-----------------------------------------------------------------------------
// [SECTION] File reader
//-----------------------------------------------------------------------------

// MikMod reads sample data one byte per Get call, so the reader keeps a block of the file and serves Get from
// it. Positions are absolute in the file; MikMod adds its own iobase to what it seeks and subtracts it from
// what Tell returns, so the reader leaves iobase alone after zeroing it.
enum { READER_BLOCK = 4096 };

}  // namespace

struct SndReader {
    MREADER core;  // first: MikMod calls back with a pointer to it
    VfsFile* file;
    int32_t pos;       // where MikMod reads next
    int32_t filePos;   // where the file stands
    int32_t bufStart;  // file offset of buf[0]
    int32_t bufLen;
    uint8_t buf[READER_BLOCK];
};
static_assert(offsetof(SndReader, core) == 0, "MikMod's MREADER must start the reader");

namespace {

SndReader* asReader(MREADER* m) {
    return reinterpret_cast<SndReader*>(m);
}

int positionFile(SndReader* r) {
    if (r->filePos == r->pos) return 1;
    if (!vfsSeek(r->file, r->pos, 0)) return 0;
    r->filePos = r->pos;
    return 1;
}

int refill(SndReader* r) {
    r->bufStart = r->pos;
    r->bufLen = 0;
    if (!positionFile(r)) return 0;
    int32_t n = vfsRead(r->file, r->buf, READER_BLOCK);
    if (n <= 0) return 0;
    r->filePos += n;
    r->bufLen = n;
    return 1;
}

// Bytes of the block at the read position (0 when the position lies outside it).
int32_t buffered(const SndReader* r) {
    int64_t i = (int64_t)r->pos - r->bufStart;
    return i >= 0 && i < r->bufLen ? (int32_t)(r->bufLen - i) : 0;
}

// Like fseek: 0 on success, -1 on failure. MikMod's SEEK_END counts size + offset (offset <= 0), vfsSeek's
// whence 2 counts size - offset, hence the negation.
int readerSeek(MREADER* m, long offset, int whence) {
    SndReader* r = asReader(m);
    int ok;
    if (whence == SEEK_SET) {
        ok = offset >= 0 && offset <= INT32_MAX && vfsSeek(r->file, (int32_t)offset, 0);
    } else if (whence == SEEK_CUR) {
        long target = (long)r->pos + offset;
        ok = offset >= -(long)INT32_MAX && offset <= INT32_MAX && target >= 0 && target <= INT32_MAX &&
             vfsSeek(r->file, (int32_t)target, 0);
    } else if (whence == SEEK_END) {
        ok = offset >= -(long)INT32_MAX && offset <= INT32_MAX && vfsSeek(r->file, (int32_t)-offset, 2);
    } else {
        ok = 0;
    }
    if (!ok) return -1;
    r->pos = r->filePos = vfsTell(r->file);
    return 0;
}

long readerTell(MREADER* m) {
    return asReader(m)->pos;
}

BOOL readerRead(MREADER* m, void* out, size_t n) {
    SndReader* r = asReader(m);
    uint8_t* dst = (uint8_t*)out;
    while (n) {
        int32_t have = buffered(r);
        if (have) {
            int32_t take = n < (size_t)have ? (int32_t)n : have;
            memcpy(dst, r->buf + (r->pos - r->bufStart), (size_t)take);
            r->pos += take;
            dst += take;
            n -= (size_t)take;
        } else if (n >= READER_BLOCK) {
            // Large reads go straight to the caller's memory.
            if (!positionFile(r)) return 0;
            int32_t want = n < (1u << 30) ? (int32_t)n : 1 << 30;
            int32_t got = vfsRead(r->file, dst, want);
            if (got <= 0) return 0;
            r->pos = r->filePos += got;
            dst += got;
            n -= (size_t)got;
        } else if (!refill(r)) {
            return 0;
        }
    }
    return 1;
}

// At the end of the file this yields 0, as the handheld's reader did; MikMod checks Eof where it matters.
int readerGet(MREADER* m) {
    SndReader* r = asReader(m);
    if (!buffered(r) && !refill(r)) return 0;
    return r->buf[r->pos++ - r->bufStart];
}

BOOL readerEof(MREADER* m) {
    SndReader* r = asReader(m);
    return r->pos >= vfsSize(r->file);
}

void readerInit(SndReader* r, VfsFile* f) {
    r->core.Seek = readerSeek;
    r->core.Tell = readerTell;
    r->core.Read = readerRead;
    r->core.Get = readerGet;
    r->core.Eof = readerEof;
    r->core.iobase = 0;
    r->core.prev_iobase = 0;
    r->file = f;
    r->pos = r->filePos = vfsTell(f);
    r->bufStart = 0;
    r->bufLen = 0;
}

}  // namespace

SndReader* sndReaderNew(VfsFile* f) {
    SndReader* r = (SndReader*)memAlloc(sizeof(SndReader));
    if (r) readerInit(r, f);
    return r;
}
void sndReaderFree(SndReader* r) {
    memFree(r);
}
int sndReaderSeek(SndReader* r, long offset, int whence) {
    return r->core.Seek(&r->core, offset, whence);
}
long sndReaderTell(SndReader* r) {
    return r->core.Tell(&r->core);
}
int sndReaderRead(SndReader* r, void* out, size_t n) {
    return r->core.Read(&r->core, out, n);
}
int sndReaderGet(SndReader* r) {
    return r->core.Get(&r->core);
}
int sndReaderEof(SndReader* r) {
    return r->core.Eof(&r->core);
}

namespace {

void logMikModError(const char* what) {
    logWrite(what, 0);
    logWrite(MikMod_strerror(MikMod_errno), LOG_EOL);
}

// Clamps into 0..1 (or -1..1); NaN, which every comparison lets through, counts as 0.
float clampUnit(float v, float low) {
    if (std::isnan(v)) return 0.0f;
    return v < low ? low : v > 1.0f ? 1.0f : v;
}

}  // namespace

//-----------------------------------------------------------------------------
// [SECTION] Lifecycle
//-----------------------------------------------------------------------------

int sndInit() {
    if (g_snd.running) return 1;
    MikMod_RegisterDriver(&g_driver);
    MikMod_RegisterDriver(&drv_nos);
    MikMod_RegisterLoader(&load_it);
    md_mode |= DMODE_SOFT_MUSIC;
    md_device = 0;  // the first driver that reports itself present: ours
    if (MikMod_Init("")) {
        // MikMod does not fall back by itself once the chosen driver failed to start.
        logMikModError("Sound device could not be opened, playing silently, reason: ");
        md_device = (UWORD)MikMod_DriverFromAlias("nosound");
        int failed = MikMod_Init("");
        md_device = 0;
        if (failed) {
            logMikModError("Could not initialize sound, reason: ");
            return 0;
        }
    }
    MikMod_SetNumVoices(MUSIC_VOICES, EFFECT_VOICES);
    if (!g_snd.muted) MikMod_EnableOutput();
    g_snd.running = 1;
    return 1;
}

void sndShutdown() {
    if (!g_snd.running) return;
    Player_Stop();
    MikMod_DisableOutput();
    MikMod_Exit();
    g_snd.running = 0;
    g_snd.currentModule = nullptr;
}

void sndUpdate() {
    if (!g_snd.running) return;
    // The error number is MikMod's memory of the last failure anywhere (a bad file, say); only this update's
    // own error is worth a line, or one failure would write a line every frame.
    MikMod_errno = 0;
    MikMod_Update();
    if (MikMod_errno) logMikModError("Sound update failed, reason: ");
}

int32_t sndGetRate() {
    return md_mixfreq;
}
int32_t sndGetBits() {
    return (md_mode & DMODE_16BITS) ? 16 : 8;
}
int32_t sndGetChannels() {
    return (md_mode & DMODE_STEREO) ? 2 : 1;
}

//-----------------------------------------------------------------------------
// [SECTION] Samples, voices
//-----------------------------------------------------------------------------

namespace {

// MikMod takes a WAV's header on trust: a sample that claims more data than the file holds loads with its
// tail missing and crashes the mixer once played; a format of no channels divides by zero while loading; a
// chunk that runs past the end sends its chunk walk seeking forever. MikMod reads the format's 16 bytes of
// fields even when the chunk says it is shorter, and then goes on from the chunk's stated end, so a short
// "fmt " chunk hands it whatever follows as its fields. Walks the chunks as MikMod does, from the start, and
// leaves the file there; true unless one of those is found (the rest is MikMod's to judge). Fields that no
// PCM file has at zero (rate, byte rate, block alignment) are refused too: nothing of ours or MikMod's
// should meet them.
bool wavHeaderSafe(VfsFile* f) {
    const int64_t size = vfsSize(f);
    bool fits = true;  // false: refuse
    for (int64_t pos = 12; pos + 8 <= size;) {
        uint8_t head[8];
        if (!vfsSeek(f, (int32_t)pos, 0) || vfsRead(f, head, 8) != 8) break;
        const int64_t len = (int64_t)head[4] | head[5] << 8 | head[6] << 16 | (int64_t)head[7] << 24;
        if (memcmp(head, "fmt ", 4) == 0) {
            uint8_t fmt[16];
            if (len < 16 || vfsRead(f, fmt, 16) != 16) {
                fits = false;
                break;
            }
            const uint32_t channels = fmt[2] | fmt[3] << 8;
            const uint32_t rate = fmt[4] | fmt[5] << 8 | fmt[6] << 16 | (uint32_t)fmt[7] << 24;
            const uint32_t byteRate = fmt[8] | fmt[9] << 8 | fmt[10] << 16 | (uint32_t)fmt[11] << 24;
            const uint32_t blockAlign = fmt[12] | fmt[13] << 8;
            const uint32_t bits = fmt[14] | fmt[15] << 8;
            if (channels == 0 || rate == 0 || byteRate == 0 || blockAlign == 0 || bits < 8) {
                fits = false;
                break;
            }
        }
        if (len > size - (pos + 8)) {
            fits = false;
            break;
        }
        if (memcmp(head, "data", 4) == 0) break;
        pos += 8 + len;
    }
    vfsSeek(f, 0, 0);
    return fits;
}

}  // namespace

SndSound* sndLoadSample(const char16_t* name) {
    if (!name) return nullptr;
    VfsFile* f = vfsOpen(name);
    if (!f) return nullptr;
    SndSound* s = (SndSound*)memAlloc(sizeof(SndSound));
    if (!s) {
        vfsClose(f);
        return nullptr;
    }
    SndReader reader;
    readerInit(&reader, f);
    // MikMod's loader needs its driver running; a sample loaded before sndInit fails like a bad file.
    SAMPLE* sample = g_snd.running && wavHeaderSafe(f) ? Sample_LoadGeneric(&reader.core) : nullptr;
    vfsClose(f);
    if (!sample) {
        memFree(s);
        logWrite("MikMod sndLoadSample failed for ", 0);
        logWrite(name, LOG_WIDE | LOG_EOL);
        return nullptr;
    }
    s->sample = sample;
    s->loop = 0;
    s->critical = 0;
    return s;
}

void sndFreeSample(SndSound* sound) {
    if (!sound) return;
    if (sound->sample) Sample_Free(sound->sample);
    memFree(sound);
}

void sndPlaySample(SndSound* sound, int8_t* voice) {
    if (voice) *voice = 0;
    // MikMod crashes on a missing sample: never hand it one.
    if (!sound || !sound->sample || g_snd.muted || !g_snd.running) return;
    SBYTE v = Sample_Play(sound->sample, 0, sound->critical ? SFX_CRITICAL : 0);
    if (voice) *voice = v;
    if (v >= 0) Voice_SetVolume(v, (UWORD)(int)(g_snd.sfxVolume * 255.0));
}

void sndSetSampleLoop(SndSound* sound, int loop) {
    if (!sound || !sound->sample) return;
    sound->loop = loop != 0;
    if (loop) {
        sound->sample->flags |= SF_LOOP;
        sound->sample->loopstart = 0;
        sound->sample->loopend = sound->sample->length;
    } else {
        sound->sample->flags &= (UWORD)~SF_LOOP;
    }
}

void sndSetSampleCritical(SndSound* sound, int critical) {
    if (sound) sound->critical = critical != 0;
}

int32_t sndGetSampleRate(const SndSound* sound) {
    return sound && sound->sample ? (int32_t)sound->sample->speed : 0;
}

// Voices out of range (-1 when none was free) are ignored by MikMod itself.
void sndSetVoiceVolume(int8_t voice, float volume) {
    if (!g_snd.running) return;
    float v = clampUnit(volume, 0.0f);
    Voice_SetVolume(voice, (UWORD)(int)(g_snd.sfxVolume * v * 255.0));
}

// Centre is 127, not MikMod's 128: -1, 0, 1 map to 0, 127, 254.
void sndSetVoicePanning(int8_t voice, float pan) {
    if (!g_snd.running) return;
    float p = clampUnit(pan, -1.0f);
    Voice_SetPanning(voice, (ULONG)(int)((p + 1.0) * 127.0));
}

void sndSetVoiceFrequency(int8_t voice, int32_t hz) {
    if (g_snd.running && hz > 0) Voice_SetFrequency(voice, (ULONG)hz);
}

void sndStopVoice(int8_t voice) {
    if (g_snd.running) Voice_Stop(voice);
}

//-----------------------------------------------------------------------------
// [SECTION] Volumes, mute
//-----------------------------------------------------------------------------

void sndSetSfxVolume(float volume) {
    g_snd.sfxVolume = clampUnit(volume, 0.0f);
}

float sndGetSfxVolume() {
    return g_snd.sfxVolume;
}

void sndSetMusicVolume(float volume) {
    g_snd.musicVolume = clampUnit(volume, 0.0f);
    // Without a current module there is nothing to apply it to; the stored value is all that changes.
    if (!g_snd.running || !g_snd.currentModule) return;
    int v = (int)(g_snd.musicVolume * 128.0);
    Player_SetVolume((SWORD)v);
    g_snd.currentModule->module->initvolume = (UBYTE)v;
}

float sndGetMusicVolume() {
    return g_snd.musicVolume;
}

void sndSetMute(int mute) {
    g_snd.muted = mute != 0;
    if (!g_snd.running) return;
    if (g_snd.muted)
        MikMod_DisableOutput();
    else
        MikMod_EnableOutput();
}

int sndIsMuted() {
    return g_snd.muted;
}

//-----------------------------------------------------------------------------
// [SECTION] Modules
//-----------------------------------------------------------------------------

SndModule* sndLoadModule(const char16_t* name) {
    if (!name || !g_snd.running) return nullptr;
    VfsFile* f = vfsOpen(name);
    if (!f) return nullptr;
    SndModule* m = (SndModule*)memAlloc(sizeof(SndModule));
    if (!m) {
        vfsClose(f);
        return nullptr;
    }
    SndReader reader;
    readerInit(&reader, f);
    // No scan for hidden patterns past the song's end: they are not part of what the author meant to play.
    m->module = Player_LoadGeneric(&reader.core, MUSIC_VOICES, 0);
    vfsClose(f);
    if (!m->module) {
        memFree(m);
        return nullptr;
    }
    return m;
}

void sndFreeModule(SndModule* module) {
    if (!module) return;
    if (module == g_snd.currentModule) g_snd.currentModule = nullptr;
    // MikMod stops the player first when this is its module.
    if (module->module) Player_Free(module->module);
    memFree(module);
}

void sndPlayModule(SndModule* module) {
    if (!module || !module->module || !g_snd.running) return;
    Player_Start(module->module);
    g_snd.currentModule = module;
}

void sndStopModule() {
    if (g_snd.running) Player_Stop();
    g_snd.currentModule = nullptr;
}

void sndPauseModule(int mode) {
    if (!g_snd.running || !Player_Active()) return;
    int paused = Player_Paused();
    if (mode == -1 || (mode == 1 && paused) || (mode == 0 && !paused)) Player_TogglePause();
}

int sndIsModulePlaying() {
    return g_snd.running && g_snd.currentModule && Player_GetModule() == g_snd.currentModule->module &&
           Player_Active();
}

void sndSetModuleWrap(SndModule* module, int wrap) {
    if (module && module->module) module->module->wrap = wrap != 0;
}
