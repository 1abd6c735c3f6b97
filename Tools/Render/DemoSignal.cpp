#include "Tools/Render/DemoSignal.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace render {

namespace {

// Small deterministic noise source (xorshift), uniform in [-1, 1).
class CNoise {
public:
    double next() {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return double(m_state >> 11) * (2.0 / 9007199254740992.0) - 1.0;
    }

private:
    uint64_t m_state = 0x9E3779B97F4A7C15ull;
};

}  // namespace

CAudioBuffer makeDemoSignal(double sampleRate, double seconds) {
    CAudioBuffer buf;
    buf.sampleRate = sampleRate;
    const size_t frames = size_t(std::max(0.0, seconds) * sampleRate);
    buf.channels.assign(2, std::vector<double>(frames, 0.0));
    std::vector<double>& left = buf.channels[0];
    std::vector<double>& right = buf.channels[1];
    CNoise noise;

    const double beat = 0.5;  // 120 BPM
    const double twoPi = 2.0 * M_PI;
    const double bassNotes[4] = {55.0, 55.0, 73.42, 65.41};         // A1 A1 D2 C2
    const double chord[4] = {220.0, 261.63, 329.63, 392.0};        // A minor seventh
    double kickPhase = 0.0, bassPhase = 0.0, hatState = 0.0, snareTone = 0.0;
    double padPhase[4] = {0.0, 0.0, 0.0, 0.0};

    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / sampleRate;
        const double inBeat = std::fmod(t, beat);
        const int beatIndex = int(t / beat);
        const double inEighth = std::fmod(t, beat / 2.0);

        // Kick on every beat: falling sine sweep with a short click.
        const double kickFreq = 45.0 + 110.0 * std::exp(-inBeat * 30.0);
        kickPhase += twoPi * kickFreq / sampleRate;
        double kick = std::sin(kickPhase) * std::exp(-inBeat * 7.0);
        if (inBeat < 0.002) kick += 0.6 * noise.next();

        // Snare on beats 2 and 4: noise burst with a 190 Hz body.
        double snare = 0.0;
        const double n = noise.next();
        if (beatIndex % 2 == 1) {
            snareTone += twoPi * 190.0 / sampleRate;
            snare = (0.55 * n + 0.45 * std::sin(snareTone)) * std::exp(-inBeat * 16.0);
        }

        // Hats on every eighth: high-passed noise with a fast decay.
        const double hatNoise = noise.next();
        const double hatHp = hatNoise - hatState;
        hatState = hatNoise;
        const double hat = 0.5 * hatHp * std::exp(-inEighth * 60.0);

        // Bass: one note per bar, soft-clipped saw-ish tone.
        const double bassFreq = bassNotes[(beatIndex / 4) % 4];
        bassPhase += twoPi * bassFreq / sampleRate;
        const double bass = std::tanh(1.8 * (std::sin(bassPhase) + 0.3 * std::sin(2.0 * bassPhase)));

        // Pad: slowly swelling chord, spread across the stereo field.
        double padL = 0.0, padR = 0.0;
        for (int k = 0; k < 4; ++k) {
            padPhase[k] += twoPi * chord[k] * (1.0 + 0.002 * k) / sampleRate;
            const double v = std::sin(padPhase[k]);
            padL += v * (0.35 + 0.1 * k);
            padR += v * (0.65 - 0.1 * k);
        }
        const double swell = 0.5 + 0.5 * std::sin(twoPi * 0.25 * t);

        const double centre = 0.62 * kick + 0.30 * snare + 0.22 * bass;
        left[i] = centre + 0.10 * hat + 0.05 * swell * padL;
        right[i] = centre + 0.07 * hat + 0.05 * swell * padR;
    }

    // Fade in and out over 10 ms, then peak at -0.5 dBFS.
    const size_t fade = std::min(frames / 2, size_t(0.01 * sampleRate));
    double peak = 0.0;
    for (auto& ch : buf.channels) {
        for (size_t i = 0; i < fade; ++i) {
            const double g = double(i) / double(fade);
            ch[i] *= g;
            ch[frames - 1 - i] *= g;
        }
        for (double v : ch) peak = std::max(peak, std::fabs(v));
    }
    if (peak > 0.0) {
        const double g = std::pow(10.0, -0.5 / 20.0) / peak;
        for (auto& ch : buf.channels)
            for (double& v : ch) v *= g;
    }
    return buf;
}

}  // namespace render
