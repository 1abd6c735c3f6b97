#pragma once
// Test signals and measurements for the product tests.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ProductHost.h"

namespace product {

// A sine on both channels.
Stereo sine(double rate, double seconds, double freq, double amplitude);
// Silence with one sample of the amplitude at the position (both channels).
Stereo impulse(size_t length, size_t at, double amplitude);
// Dense program material: kick, snare, hats, bass and a chord pad, stereo,
// with sharp transients and a crest factor of a modern master; its sample
// peak is 0.95.
Stereo programMix(double rate, double seconds, uint32_t seed);

// Largest |x| over both channels from `from` on.
double samplePeak(const Stereo& s, size_t from = 0);
// Largest |x| of the signal interpolated to four times its rate (a 4x
// true-peak meter) from `from` on.
double truePeak4x(const Stereo& s, size_t from = 0);
// Largest |x[n] - x[n-1]| for n in [from, to) over both channels.
double maxStep(const Stereo& s, size_t from, size_t to);
// Position of the largest |x| of the left channel.
size_t peakPosition(const Stereo& s);
// Mean of the left channel over [from, to).
double mean(const std::vector<double>& x, size_t from, size_t to);
// RMS over both channels of [from, to).
double rms(const Stereo& s, size_t from, size_t to);
// Index of the first non-finite sample in [from, end) of either channel, or
// the size when there is none.
size_t firstNonFinite(const Stereo& s, size_t from);
// Slices [from, from + n).
Stereo slice(const Stereo& s, size_t from, size_t n);

inline double dbToGain(double db) { return std::pow(10.0, db / 20.0); }

}  // namespace product
