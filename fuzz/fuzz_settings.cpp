// Settings: the input as "KORVA.Setup", loaded as start-up loads it; whatever it holds, the settings come out
// in range (the pictures' brightness factor and the direction buttons depend on it), a cut-off file gives
// the defaults, the options screen is drawn from them, and written back they read again as the same
// settings, bit for bit.
#include <cstring>

#include "fuzz_shell.h"

namespace {

struct Settings {
    float volume, brightness;
    int32_t direction;
    uint8_t soundOn;
};

Settings current() {
    return {gGame.volume, gGame.brightness, gGame.rotationDirection, gGame.soundOn};
}

bool same(const Settings& a, const Settings& b) {
    return !memcmp(&a.volume, &b.volume, 4) && !memcmp(&a.brightness, &b.brightness, 4) &&
           a.direction == b.direction && a.soundOn == b.soundOn;
}

bool unit(float v) {
    return v >= 0.0f && v <= 1.0f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::ShellInput input;
    fuzz::writeInput("KORVA.Setup", data, size);
    setupLoad();
    const Settings s = current();
    // A cut-off file would give its missing fields as zeros: silent, dim and anticlockwise.
    if (size < 16 && !same(s, Settings{1.0f, 0.5f, 1, 1}))
        fuzz::fail("a short file did not give the defaults");
    if (!unit(s.volume) || !unit(s.brightness)) fuzz::fail("a volume or brightness outside 0..1");
    if (s.direction != 0 && s.direction != 1) fuzz::fail("a direction neither button shows");
    if (s.soundOn > 1) fuzz::fail("a sound switch other than 0/1");
    const int32_t factor = brightnessFactor(s.brightness);
    if (factor < 128 || factor > 384) fuzz::fail("a brightness factor outside 128..384");
    optionsDraw(0);

    if (!setupSave()) fuzz::fail("the settings could not be written");
    const std::u16string name = fuzz::playerFile(u"KORVA.Setup");
    const std::vector<uint8_t> bytes = fuzz::readMemoryFile(name.c_str());
    if (bytes.size() != 16 || bytes[13] || bytes[14] || bytes[15])
        fuzz::fail("the settings file is not 16 bytes ending in three zeros");
    fuzz::checkNoTemporary(name);
    // Every field the other way round, so a reload that kept what was there shows.
    gGame.volume = gGame.brightness = 0.25f;
    gGame.rotationDirection = 1 - s.direction;
    gGame.soundOn = uint8_t(1 - s.soundOn);
    if (!setupLoad()) fuzz::fail("the settings written were not read");
    if (!same(current(), s)) fuzz::fail("the settings written read back as others");
    return 0;
}
