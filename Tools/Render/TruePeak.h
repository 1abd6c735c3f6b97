#pragma once
// True peaks measured with 16x oversampling: each signal is interpolated at
// sixteen points per sample with a Kaiser-windowed sinc (48 taps per phase,
// flat to 0.01 dB up to 0.44 of the sample rate), which finds the peaks
// between the samples to within a few hundredths of a dB where a 4x estimate
// (the one BS.1770 asks for) can read some tenths of a dB low on dense
// material near a quarter of the sample rate.

#include <cstddef>
#include <span>
#include <vector>

namespace render {

class CTruePeak16 {
public:
    static constexpr int kFactor = 16;
    static constexpr int kTaps = 48;  // per phase: samples n - 23 .. n + 24

    // The largest |x| between the samples and on them, linear.
    static double peak(std::span<const double> x);
    // For each sample n, the largest |x| at n and at the fifteen points
    // interpolated between n and n + 1 (samples outside the signal are zero).
    static void framePeaks(std::span<const double> x, std::vector<double>* out);
    // The value interpolated at n + phase / 16.
    static double at(std::span<const double> x, size_t n, int phase);

private:
    struct CTable;
    static const CTable& table();
};

}  // namespace render
