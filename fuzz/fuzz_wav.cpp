// WAV samples through the sound layer under the headless backend: load, play (once and looping), and let the
// mixer run a few frames into the audio capture.
#include "brask/sound.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Input input;
    fuzz::writeInput("in.wav", data, size);
    if (sndInit() != 1) abort();
    SndSound* s = sndLoadSample(u"in.wav");
    if (s) {
        sndGetSampleRate(s);
        int8_t voice = 0;
        sndPlaySample(s, &voice);
        for (int i = 0; i < 3; i++) {
            platSleep(20);
            sndUpdate();
        }
        sndSetSampleLoop(s, 1);
        sndPlaySample(s, &voice);
        if (voice > 0) sndSetVoiceFrequency(voice, 96000);
        for (int i = 0; i < 3; i++) {
            platSleep(20);
            sndUpdate();
        }
        if (voice > 0) sndStopVoice(voice);
        sndUpdate();
        sndFreeSample(s);
    }
    sndShutdown();
    return 0;
}
