// The game's sound effects, synthesised: sine and square oscillators, a little seeded noise and simple
// envelopes, mixed in doubles and written as mono 16-bit PCM at 22050 Hz. The noise has its own generator so
// every run gives the same samples.
#include <cmath>
#include <string>
#include <vector>

#include "tools/mkgamedata/mkgamedata.h"

namespace {

const double kRate = 22050.0;
const double kTwoPi = 6.283185307179586;

struct Noise {
    uint32_t state;
    double next() {  // -1..1
        state = state * 1664525u + 1013904223u;
        return (double)(state >> 8) / 8388608.0 - 1.0;
    }
};

// A buffer of `seconds`, mixed into by the voices below.
struct Mix {
    std::vector<double> v;
    explicit Mix(double seconds) : v((size_t)(seconds * kRate + 0.5), 0.0) {}
    size_t at(double t) const { return (size_t)(t * kRate); }
};

// Attack, then an exponential fall with the given time constant.
double envelope(double t, double attack, double decay) {
    if (t < 0) return 0;
    if (t < attack) return t / attack;
    return std::exp(-(t - attack) / decay);
}

// A sine whose pitch glides from f0 to f1 over the note, starting at `start`.
void tone(Mix& m, double start, double length, double f0, double f1, double gain, double attack, double decay,
          double harmonic = 0.0) {
    double phase = 0;
    size_t first = m.at(start), count = (size_t)(length * kRate);
    for (size_t i = 0; i < count && first + i < m.v.size(); i++) {
        double t = i / kRate, f = f0 + (f1 - f0) * (t / length);
        phase += kTwoPi * f / kRate;
        double s =
            std::sin(phase) + harmonic * std::sin(2 * phase + 0.5) + 0.5 * harmonic * std::sin(3 * phase);
        double fade = std::min(1.0, (length - t) * 200.0);  // no click at the cut
        m.v[first + i] += gain * envelope(t, attack, decay) * fade * s;
    }
}

// Noise through a one-pole low-pass whose cut-off glides from c0 to c1 (0..1 of the band).
void hiss(Mix& m, Noise& n, double start, double length, double c0, double c1, double gain, double attack,
          double decay) {
    double y = 0;
    size_t first = m.at(start), count = (size_t)(length * kRate);
    for (size_t i = 0; i < count && first + i < m.v.size(); i++) {
        double t = i / kRate, c = c0 + (c1 - c0) * (t / length);
        y += c * (n.next() - y);
        double fade = std::min(1.0, (length - t) * 200.0);
        m.v[first + i] += gain * envelope(t, attack, decay) * fade * y;
    }
}

// A short percussive tick: a decaying high sine with a burst of noise.
void tick(Mix& m, Noise& n, double start, double pitch, double gain) {
    tone(m, start, 0.025, pitch, pitch * 0.7, gain, 0.0005, 0.006);
    hiss(m, n, start, 0.012, 0.9, 0.5, gain * 0.6, 0.0003, 0.003);
}

bool write(const std::string& outDir, const char* name, const Mix& m) {
    double peak = 0;
    for (double s : m.v) peak = std::max(peak, std::fabs(s));
    const double scale = peak > 0 ? 0.8 * 32767.0 / peak : 0;  // every effect peaks at the same level
    std::vector<int16_t> pcm(m.v.size());
    for (size_t i = 0; i < m.v.size(); i++) pcm[i] = (int16_t)std::lround(m.v[i] * scale);
    return mkWriteWAV(outDir + "/gamedata/sounds/" + name, pcm.data(), (int32_t)pcm.size());
}

}  // namespace

int mkSounds(const std::string& outDir) {
    int written = 0;
    Noise n = {0x4B4F5256u};

    Mix click(0.04);
    tick(click, n, 0, 2400, 1.0);
    written += write(outDir, "Button_Click.wav", click);

    // The machine powering up: a hum that rises into a major chord, with a shimmer on top.
    Mix intro(3.6);
    tone(intro, 0.0, 3.6, 55, 110, 0.5, 0.8, 2.5, 0.6);
    const double chord[4] = {220.0, 277.18, 329.63, 440.0};
    for (int i = 0; i < 4; i++)
        tone(intro, 0.6 + 0.45 * i, 3.0 - 0.45 * i, chord[i], chord[i], 0.25, 0.05, 1.2, 0.3);
    hiss(intro, n, 0.0, 1.6, 0.02, 0.4, 0.35, 1.2, 0.3);
    tone(intro, 2.4, 1.2, 1760, 1760, 0.06, 0.01, 0.4);
    written += write(outDir, "IntroWav.wav", intro);

    // The iris: a rising whoosh under a metallic ring.
    Mix iris(0.7);
    hiss(iris, n, 0.0, 0.7, 0.03, 0.6, 1.0, 0.25, 0.25);
    tone(iris, 0.05, 0.6, 600, 1400, 0.25, 0.2, 0.2, 0.4);
    written += write(outDir, "Iris_Open.wav", iris);

    // A game starts: three rising notes and a bright landing.
    Mix start(0.9);
    const double notes[3] = {392.0, 523.25, 659.25};
    for (int i = 0; i < 3; i++) tone(start, 0.1 * i, 0.2, notes[i], notes[i], 0.5, 0.004, 0.08, 0.5);
    tone(start, 0.3, 0.6, 783.99, 783.99, 0.6, 0.004, 0.25, 0.5);
    written += write(outDir, "Start_Game.wav", start);

    // A quarter turn: one ratchet tick per update of the turn (7 of them, 50 ms apart) over a rising whir.
    Mix rotation(0.35);
    for (int i = 0; i < 7; i++) tick(rotation, n, 0.05 * i, 1500 + 60 * i, 0.7);
    tone(rotation, 0.0, 0.35, 180, 320, 0.25, 0.05, 0.3, 0.8);
    written += write(outDir, "InGame_Rotation.wav", rotation);

    // A line discharges: an electric zap falling into a chord.
    Mix line(0.6);
    hiss(line, n, 0.0, 0.15, 0.8, 0.3, 0.6, 0.001, 0.05);
    tone(line, 0.0, 0.6, 1320, 880, 0.4, 0.002, 0.15, 0.6);
    tone(line, 0.02, 0.55, 660, 660, 0.3, 0.01, 0.2, 0.3);
    tone(line, 0.04, 0.5, 990, 990, 0.2, 0.01, 0.2);
    written += write(outDir, "InGame_Line.wav", line);

    // The volume panel slides open: a short glide of filtered noise and a soft tone.
    Mix slider(0.3);
    hiss(slider, n, 0.0, 0.3, 0.05, 0.3, 0.8, 0.05, 0.15);
    tone(slider, 0.0, 0.3, 300, 500, 0.2, 0.05, 0.15);
    tick(slider, n, 0.25, 1800, 0.4);
    written += write(outDir, "Slider.wav", slider);

    // The direction flips: two tones, down then up.
    Mix direction(0.22);
    tone(direction, 0.0, 0.1, 880, 880, 0.5, 0.003, 0.05, 0.3);
    tone(direction, 0.1, 0.12, 1175, 1175, 0.5, 0.003, 0.06, 0.3);
    written += write(outDir, "Option_ChangeDirection.wav", direction);

    return written == 8 ? written : 0;
}
