#pragma once
// The built-in demo programme: a few seconds of a synthetic stereo mix with
// sharp transients (kick, snare, hats), a bass line and a chord pad, peaking
// close to full scale. Deterministic: the same arguments give the same audio.

#include <cstddef>
#include <vector>

namespace render {

struct CAudioBuffer {
    double sampleRate = 48000.0;
    std::vector<std::vector<double>> channels;  // planar
    size_t frames() const { return channels.empty() ? 0 : channels[0].size(); }
};

CAudioBuffer makeDemoSignal(double sampleRate = 48000.0, double seconds = 6.0);

}  // namespace render
