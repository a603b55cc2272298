// The sound layer against the headless audio capture: what a played WAV puts into the mix, when, how loud and
// where; the failure paths and their log lines; the desktop backend's audio queue without a sound card.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "brask/log.h"
#include "brask/sound.h"
#include "brask/vfs.h"
#include "platform/headless.h"
#include "platform/platform.h"
#include "sound_internal.h"
#include "support/test_support.h"

namespace {

const int RATE = 44100;  // MikMod's default mixing rate, which the layer keeps

// v in `bytes` little-endian bytes.
std::string le(uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; i++) s += (char)(v >> (8 * i));
    return s;
}

std::string wav(int rate, int bits, int channels, const std::vector<int>& values) {
    std::string data;
    for (int v : values) data += le((uint32_t)v, bits / 8);
    const std::string fmt = "fmt " + le(16, 4) + le(1, 2) + le(channels, 2) + le(rate, 4) +
                            le(rate * channels * bits / 8, 4) + le(channels * bits / 8, 2) + le(bits, 2);
    const std::string body = "WAVE" + fmt + "data" + le(data.size(), 4) + data;
    return "RIFF" + le(body.size(), 4) + body;
}

std::vector<int> saw(int n) {
    std::vector<int> v(n);
    for (int i = 0; i < n; i++) v[i] = (i % 100) * 300 - 15000;
    return v;
}

// What the device played during one update: left and right values from the first new frame on.
struct Region {
    int64_t firstFrame = 0;
    std::vector<int> left, right;
    bool silent() const {
        for (size_t i = 0; i < left.size(); i++)
            if (left[i] || right[i]) return false;
        return true;
    }
};

// Lets `ms` of virtual time pass, then runs one update.
Region advance(int ms) {
    int64_t before, after;
    headlessAudioCapture(&before);
    platSleep(ms);
    sndUpdate();
    const int16_t* c = headlessAudioCapture(&after);
    Region r;
    r.firstFrame = before / 2;
    for (int64_t i = before; i + 1 < after; i += 2) {
        r.left.push_back(c[i]);
        r.right.push_back(c[i + 1]);
    }
    return r;
}

std::string logText() {
    return logPathUtf8()[0] ? readFile(logPathUtf8()) : std::string();
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) n++;
    return n;
}

class Sound : public testing::Test {
   protected:
    TestFolders folders;
    void SetUp() override {
        sndSetSfxVolume(1.0f);
        sndSetMute(0);
        ASSERT_EQ(1, sndInit());
        advance(0);  // the first 100 ms of silence that every stream starts with
    }
    void TearDown() override {
        sndShutdown();
        sndSetSfxVolume(1.0f);
    }
    SndSound* load(const std::string& name, const std::string& bytes) {
        writeFile(folders.prog + "/" + name, bytes);
        return sndLoadSample(u16(name).c_str());
    }
    // One play at the given voice volume and panning; the voice is stopped and drained afterwards.
    Region playOnce(SndSound* s, float volume, float pan) {
        int8_t voice = 0;
        sndPlaySample(s, &voice);
        EXPECT_GE(voice, 8);
        sndSetVoicePanning(voice, pan);
        sndSetVoiceVolume(voice, volume);
        Region r = advance(50);
        sndStopVoice(voice);
        advance(50);
        advance(50);
        return r;
    }
};

TEST_F(Sound, PlayedWavStartsAtTheNextUpdateWithItsVolumeAndPanning) {
    int32_t rate = 0, channels = 0;
    ASSERT_EQ(1, headlessAudioFormat(&rate, &channels));
    EXPECT_EQ(std::make_tuple(RATE, 2, RATE, 16, 2),
              std::make_tuple(rate, channels, sndGetRate(), sndGetBits(), sndGetChannels()));

    std::vector<int> in = saw(RATE);
    SndSound* s = load("saw.wav", wav(RATE, 16, 1, in));
    ASSERT_NE(nullptr, s);
    EXPECT_EQ(RATE, sndGetSampleRate(s));

    int8_t voice = 0;
    sndPlaySample(s, &voice);
    EXPECT_EQ(8, voice);  // effect voices come after the 8 music voices
    sndSetVoicePanning(voice, -1.0f);
    sndSetVoiceVolume(voice, 1.0f);
    // The stream is kept 100 ms ahead; after 50 ms the update mixes 50 ms more, and the sound begins there.
    Region r = advance(50);
    EXPECT_EQ(RATE / 10, r.firstFrame);
    ASSERT_EQ((size_t)RATE / 20, r.left.size());
    double gain = (double)r.left[99] / in[99];  // the saw's highest value
    EXPECT_GT(gain, 0.25);
    for (size_t k = 0; k < r.left.size(); k++) {
        ASSERT_NEAR(in[k] * gain, r.left[k], 2.0) << "frame " << k;
        ASSERT_EQ(0, r.right[k]) << "panning -1 must silence the right channel, frame " << k;
    }
    sndStopVoice(voice);
    advance(50);

    // Volume scales the amplitude; panning 0 splits it evenly; the effects volume multiplies in.
    auto peak = [](const std::vector<int>& v) { return v[99]; };
    Region half = playOnce(s, 0.5f, -1.0f);
    EXPECT_NEAR(gain * in[99] / 2, peak(half.left), gain * in[99] * 0.01);
    Region centre = playOnce(s, 1.0f, 0.0f);
    EXPECT_NEAR(gain * in[99] / 2, peak(centre.left), gain * in[99] * 0.01);
    EXPECT_NEAR(gain * in[99] / 2, peak(centre.right), gain * in[99] * 0.01);
    sndSetSfxVolume(0.5f);
    Region master = playOnce(s, 1.0f, -1.0f);
    EXPECT_EQ(peak(half.left), peak(master.left));
    Region right = playOnce(s, 1.0f, 1.0f);
    EXPECT_NEAR(gain * in[99] / 2, peak(right.right), gain * in[99] * 0.01);
    sndFreeSample(s);
}

TEST_F(Sound, VolumeAndPanningClampAndCountNaNAsZero) {
    SndSound* s = load("dc.wav", wav(RATE, 16, 1, std::vector<int>(RATE, 12000)));
    ASSERT_NE(nullptr, s);
    Region full = playOnce(s, 1.0f, -1.0f);
    ASSERT_FALSE(full.silent());
    Region loud = playOnce(s, 2.0f, -3.0f);
    EXPECT_EQ(full.left, loud.left);
    EXPECT_EQ(full.right, loud.right);
    EXPECT_TRUE(playOnce(s, -0.5f, 0.0f).silent());
    EXPECT_TRUE(playOnce(s, NAN, 0.0f).silent());
    Region centre = playOnce(s, 1.0f, 0.0f);
    Region nanPan = playOnce(s, 1.0f, NAN);
    EXPECT_EQ(centre.left, nanPan.left);
    EXPECT_EQ(centre.right, nanPan.right);
    EXPECT_GT(centre.right[100], 0);
    // Centre is 127 of 0..254, a step left of MikMod's 128.
    EXPECT_GT(centre.left[100], centre.right[100]);

    sndSetSfxVolume(1.5f);
    EXPECT_EQ(1.0f, sndGetSfxVolume());
    sndSetSfxVolume(-1.0f);
    EXPECT_EQ(0.0f, sndGetSfxVolume());
    sndSetSfxVolume(NAN);
    EXPECT_EQ(0.0f, sndGetSfxVolume());
    EXPECT_TRUE(playOnce(s, 1.0f, 0.0f).silent());
    sndFreeSample(s);

    sndSetMusicVolume(1.5f);  // no module: only stored
    EXPECT_EQ(1.0f, sndGetMusicVolume());
    sndSetMusicVolume(NAN);
    EXPECT_EQ(0.0f, sndGetMusicVolume());
    sndSetMusicVolume(1.0f);
}

TEST_F(Sound, MissingOrMutedSoundReportsVoiceZeroAndPlaysNothing) {
    EXPECT_EQ(nullptr, sndLoadSample(u"absent.wav"));
    EXPECT_EQ("", logText());  // a missing file is not worth a line
    int8_t voice = 5;
    sndPlaySample(nullptr, &voice);
    EXPECT_EQ(0, voice);
    EXPECT_TRUE(advance(50).silent());

    SndSound* s = load("dc.wav", wav(RATE, 16, 1, std::vector<int>(RATE, 12000)));
    ASSERT_NE(nullptr, s);
    sndSetMute(1);
    EXPECT_EQ(1, sndIsMuted());
    voice = 5;
    sndPlaySample(s, &voice);
    EXPECT_EQ(0, voice);
    sndSetVoiceVolume(voice, 1.0f);  // voice 0 is a music voice with nothing on it
    advance(50);
    sndSetMute(0);
    EXPECT_TRUE(advance(50).silent());
    EXPECT_TRUE(advance(50).silent());
    sndFreeSample(s);
}

TEST_F(Sound, UnloadableWavLogsItsLineOnceAndLaterUpdatesLogNothing) {
    std::vector<int> stereo(200, 1000);
    EXPECT_EQ(nullptr, load("stereo.wav", wav(RATE, 16, 2, stereo)));
    EXPECT_EQ(nullptr, load("junk.wav", "this is not a wave file at all"));
    writeFile(folders.prog + "/song.it", "IMPM and nothing else");
    EXPECT_EQ(nullptr, sndLoadModule(u"song.it"));  // modules fail without a line
    EXPECT_EQ(0, vfsOpenCount());
    for (int i = 0; i < 3; i++) advance(50);
    std::string log = logText();
    EXPECT_EQ(1, count(log, "MikMod sndLoadSample failed for stereo.wav\n")) << log;
    EXPECT_EQ(1, count(log, "MikMod sndLoadSample failed for junk.wav\n")) << log;
    EXPECT_EQ(0, count(log, "Sound update failed")) << log;
}

// MikMod reads a format's fields even past a short "fmt " chunk and divides by the channel count: each of
// these once reached it (the first is a fuzzer's find that ended the game with SIGFPE).
TEST_F(Sound, DamagedFormatChunksAreRefusedBeforeMikModReadsThem) {
    const std::string zeroFmt = "RIFF" + le(0x74, 4) + "WAVE" + "fmt " + le(0, 4) + std::string(92, 0) +
                                "data" + le(0, 4) + std::string("\x01\x02\x03\x04", 4);
    ASSERT_EQ(124u, zeroFmt.size());
    // A valid header cut to `len` bytes, its fields still following as MikMod would read them.
    std::string shortFmt = wav(RATE, 8, 1, {128, 129, 130, 131});
    shortFmt.replace(16, 4, le(8, 4));
    // Field offsets in the file: rate 24, byte rate 28, block alignment 32.
    auto zeroed = [](int at, int bytes) {
        std::string w = wav(RATE, 16, 1, {1000, -1000});
        w.replace(at, bytes, std::string(bytes, 0));
        return w;
    };
    const std::vector<std::pair<std::string, std::string>> bad = {
        {"zerofmt.wav", zeroFmt},          {"shortfmt.wav", shortFmt},     {"norate.wav", zeroed(24, 4)},
        {"nobyterate.wav", zeroed(28, 4)}, {"noalign.wav", zeroed(32, 2)},
    };
    for (const auto& [name, bytes] : bad) EXPECT_EQ(nullptr, load(name, bytes)) << name;
    SndSound* good = load("good.wav", wav(RATE, 16, 1, {1000, -1000}));
    EXPECT_NE(nullptr, good);
    sndFreeSample(good);
    const std::string log = logText();
    for (const auto& [name, bytes] : bad)
        EXPECT_EQ(1, count(log, "MikMod sndLoadSample failed for " + name + "\n")) << log;
    EXPECT_EQ(0, vfsOpenCount());
}

TEST_F(Sound, UpdateLogsAnErrorOnlyForTheUpdateThatHadIt) {
    headlessFailAudioQueues(1);
    EXPECT_TRUE(advance(50).left.empty());  // the device refused this update's bytes
    EXPECT_EQ(1, count(logText(), "Sound update failed, reason: "));
    Region next = advance(50);
    EXPECT_FALSE(next.left.empty());  // and takes the next update's again
    advance(50);
    EXPECT_EQ(1, count(logText(), "Sound update failed, reason: ")) << logText();
}

// A game runs far longer than the capture can hold: ten minutes of updates, a short beep every few seconds.
TEST_F(Sound, ALongRunKeepsTheNewestAudioAndNeverFailsAnUpdate) {
    SndSound* s = load("beep.wav", wav(RATE, 16, 1, std::vector<int>(RATE / 20, 12000)));
    ASSERT_NE(nullptr, s);
    for (int update = 0; update < 12000; update++) {
        if (update % 97 == 0) {
            int8_t voice = 0;
            sndPlaySample(s, &voice);
            sndSetVoiceVolume(voice, 1.0f);
        }
        platSleep(50);
        sndUpdate();
    }
    EXPECT_EQ(0, count(logText(), "Sound update failed")) << logText().substr(0, 2000);
    int64_t kept = 0;
    headlessAudioCapture(&kept);
    EXPECT_LE(kept * 2, 64 << 20);
    EXPECT_GT(headlessAudioDropped(), 0);
    // Nothing went missing from the timeline: 600 s of updates, plus the stream's lead of about 100 ms.
    const int64_t total = headlessAudioDropped() + kept, second = RATE * 2;
    EXPECT_GE(total, 600 * second);
    EXPECT_LE(total, 601 * second);

    // The newest audio is what was kept: the beep of the next update is at the end of the capture.
    int8_t voice = 0;
    sndPlaySample(s, &voice);
    sndSetVoiceVolume(voice, 1.0f);
    platSleep(50);
    sndUpdate();
    int64_t now = 0;
    const int16_t* c = headlessAudioCapture(&now);
    int loud = 0;
    for (int64_t i = now - RATE / 20 * 2; i < now; i++) loud += c[i] > 1000;
    EXPECT_GT(loud, RATE / 40);
    sndFreeSample(s);
}

TEST(SoundDevice, UnopenableDeviceFallsBackToSilenceWithALogLine) {
    TestFolders folders;
    headlessRefuseAudio(1);
    ASSERT_EQ(1, sndInit());
    EXPECT_EQ(1, count(logText(), "Sound device could not be opened, playing silently, reason: "));
    EXPECT_EQ(0, headlessAudioFormat(nullptr, nullptr));
    writeFile(folders.prog + "/dc.wav", wav(RATE, 16, 1, std::vector<int>(RATE, 12000)));
    SndSound* s = sndLoadSample(u"dc.wav");
    ASSERT_NE(nullptr, s);
    int8_t voice = 0;
    sndPlaySample(s, &voice);
    EXPECT_GE(voice, 8);
    sndSetVoiceVolume(voice, 1.0f);
    sndUpdate();
    int64_t values = -1;
    headlessAudioCapture(&values);
    EXPECT_EQ(0, values);
    sndFreeSample(s);
    sndShutdown();

    // The fallback is for that start only: the next start tries the device again.
    headlessRefuseAudio(0);
    ASSERT_EQ(1, sndInit());
    EXPECT_EQ(1, headlessAudioFormat(nullptr, nullptr));
    sndShutdown();
    EXPECT_EQ(0, headlessAudioFormat(nullptr, nullptr));
}

// The desktop backend, on SDL's dummy audio driver (CI has no sound card) and on one that does not exist.
class Sdl2Audio : public testing::Test {
   protected:
    TestFolders folders;
    void TearDown() override {
        sndShutdown();
        platSetBackend(&platHeadless);
        unsetenv("SDL_AUDIODRIVER");
    }
};

TEST_F(Sdl2Audio, FeedsTheDeviceQueueAboutOneHundredMillisecondsAhead) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    platSetBackend(&platSdl2);
    ASSERT_EQ(1, sndInit());
    EXPECT_EQ("", logText());
    sndUpdate();
    int32_t queued = platAudioQueued();
    EXPECT_GT(queued, 0);
    EXPECT_LE(queued, RATE / 10 * 4);
}

TEST_F(Sdl2Audio, MissingDriverFallsBackToSilence) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    platSetBackend(&platSdl2);
    ASSERT_EQ(1, sndInit());
    EXPECT_EQ(1, count(logText(), "Sound device could not be opened, playing silently"));
    sndUpdate();
    EXPECT_EQ(0, platAudioQueued());
}

// The reader MikMod loads through: Get is served from a block of the file, so seeks and reads must keep the
// block and the file in step.
TEST(SoundReader, SeeksReadsAndGetsAgreeWithTheFile) {
    TestFolders folders;
    std::string bytes(10000, 0);
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = (char)(i * 7 + i / 256);
    writeFile(folders.prog + "/data.bin", bytes);
    VfsFile* f = vfsOpen(u"data.bin");
    ASSERT_NE(nullptr, f);
    SndReader* r = sndReaderNew(f);
    ASSERT_NE(nullptr, r);
    auto at = [&](size_t i) { return (int)(uint8_t)bytes[i]; };

    for (int i = 0; i < 5000; i++) ASSERT_EQ(at(i), sndReaderGet(r)) << i;  // across the first block's end
    EXPECT_EQ(5000, sndReaderTell(r));
    EXPECT_EQ(0, sndReaderSeek(r, -100, 2));  // SEEK_END counts from the end forwards
    EXPECT_EQ(9900, sndReaderTell(r));
    EXPECT_EQ(at(9900), sndReaderGet(r));
    EXPECT_EQ(0, sndReaderSeek(r, -4001, 1));
    EXPECT_EQ(5900, sndReaderTell(r));
    EXPECT_EQ(at(5900), sndReaderGet(r));

    std::string got(6000, 0);  // part from the block, the rest straight from the file
    EXPECT_EQ(0, sndReaderSeek(r, 3000, 0));
    EXPECT_EQ(at(3000), sndReaderGet(r));
    EXPECT_EQ(1, sndReaderRead(r, &got[0], got.size()));
    EXPECT_EQ(bytes.substr(3001, 6000), got);
    EXPECT_EQ(9001, sndReaderTell(r));
    EXPECT_EQ(at(9001), sndReaderGet(r));

    EXPECT_EQ(0, sndReaderRead(r, &got[0], 1000));  // only 998 bytes are left
    EXPECT_EQ(1, sndReaderEof(r));
    EXPECT_EQ(0, sndReaderGet(r));
    EXPECT_EQ(-1, sndReaderSeek(r, -1, 0));
    EXPECT_EQ(-1, sndReaderSeek(r, 0, 3));
    EXPECT_EQ(0, sndReaderSeek(r, 0, 0));
    EXPECT_EQ(0, sndReaderEof(r));
    EXPECT_EQ(at(0), sndReaderGet(r));
    sndReaderFree(r);
    vfsClose(f);
}

// The smallest Impulse Tracker song MikMod plays: one looped 8-bit sample, one pattern with one note, two
// orders.
std::string itModule() {
    // Highlight, orders, instruments, samples, patterns, made with, compatible with, flags (stereo, sample
    // mode), special; then global vol, mix vol, speed, tempo, separation, pwd, message, reserved.
    std::string s = "IMPM" + std::string(26, 0) + le(0, 2) + le(2, 2) + le(0, 2) + le(1, 2) + le(1, 2) +
                    le(0x214, 2) + le(0x214, 2) + le(1, 2) + le(0, 2) +
                    std::string("\x80\x30\x06\x7d\x80\x00", 6) + le(0, 2) + le(0, 4) + le(0, 4);
    s += std::string(1, 32) + std::string(63, (char)160);   // channel 1 centred, the others off
    s += std::string(64, 64) + std::string("\x00\xff", 2);  // volumes; orders: pattern 0, end
    const size_t sampleAt = s.size() + 8;                   // after the sample and pattern offsets
    // Signed data, default pan; length 1000, looped over all of it so the note holds until stopped; C5 speed.
    std::string smp = "IMPS" + std::string(12, 0) + std::string("\0\x40\x11\x40", 4) + std::string(26, 0) +
                      std::string("\x01\x20", 2) + le(1000, 4) + le(0, 4) + le(1000, 4) + le(8363, 4) +
                      le(0, 4) + le(0, 4);
    const size_t patternAt = sampleAt + smp.size() + 8;  // after the data pointer and vibrato
    const std::string rows = std::string("\x81\x03\x3c\x01\x00", 5) + std::string(63, 0);
    const size_t dataAt = patternAt + 8 + rows.size();
    s += le(sampleAt, 4) + le(patternAt, 4) + smp + le(dataAt, 4) + le(0, 4);
    s += le(rows.size(), 2) + le(64, 2) + le(0, 4) + rows;
    for (int i = 0; i < 1000; i++) s += (char)(i % 2 ? 100 : -100);
    return s;
}

TEST_F(Sound, FreeingTheCurrentModuleClearsIt) {
    writeFile(folders.prog + "/song.it", itModule());
    SndModule* m = sndLoadModule(u"song.it");
    ASSERT_NE(nullptr, m);
    sndPlayModule(m);
    EXPECT_EQ(1, sndIsModulePlaying());
    Region r = advance(50);
    EXPECT_FALSE(r.silent());  // the note sounds through the same output as the effects
    sndPauseModule(0);
    sndPauseModule(0);  // pausing a paused module keeps it paused
    advance(50);
    EXPECT_TRUE(advance(50).silent());
    sndPauseModule(1);
    EXPECT_EQ(1, sndIsModulePlaying());
    sndSetMusicVolume(0.5f);
    sndFreeModule(m);
    EXPECT_EQ(0, sndIsModulePlaying());
    sndSetMusicVolume(0.25f);  // no module any more: only stored
    EXPECT_EQ(0.25f, sndGetMusicVolume());
    sndSetMusicVolume(1.0f);
    advance(50);
}

}  // namespace
