#pragma once
// Design of the FIR kernels the filter generators produce: the Kaiser-window
// low-pass of the resampler stages (CAudioFilterFIRLPGen) and the transient
// kernels that smooth the limiter's gain (CAudioFilterFIRLimGen).
//
// Pure functions. Each returns the taps and the latency in samples that the
// kernel adds to a generated filter list. The span forms write into a caller
// buffer and never allocate (size it with the matching ...Length function).

#include <cstddef>
#include <span>
#include <vector>

// Design rate of a FIR module: 44100 Hz when its `fixsr` is at least 0.5
// (the same taps at every host rate), else the module's own sample rate.
inline constexpr double kFIRFixedDesignRate = 44100.0;
double firDesignRate(double fixsr, double sampleRate);

// Modified Bessel function of the first kind, order 0, in the polynomial
// approximations of Abramowitz and Stegun (9.8.1, 9.8.2).
double firBesselI0(double x);

struct CFIRKernel {
    std::vector<double> taps;
    int latency = 0;  // samples added to the filter list's latency
};

// ---------------------------------------------------------------- low-pass
//
// Design rate R, length l (seconds), cut-off f (Hz), Kaiser beta (clamped to
// 1 ... 350): half length N = round(R^2 l / f / 8), 2N + 1 taps
// h[N +- n] = sin(n wc) / (n pi) W(n), h[N] = wc / pi with wc = 2 pi f / R and
// W(n) = I0(beta sqrt(1 - (n / Nr)^2)) / I0(beta) (0 beyond Nr, the unrounded
// half length). Latency N. Non-positive R or f give no taps.

size_t firLowPassLength(double rate, double length, double freq);
int designFIRLowPass(std::span<double> taps, double rate, double length, double freq, double beta);
CFIRKernel designFIRLowPass(double rate, double length, double freq, double beta);

// ---------------------------------------------------------------- transient
//
// L = round(R l) taps (none when L < 1), shape exponent p = 1 + 4q for q >= 0
// and 1 / (1 - 4q) below, for k = 1 ... L:
//   type 0 "Classic": sin(k pi / (L+1))^p
//   type 1 "Sharp":   (1 - sin(k pi / (2 (L+1))))^p
//   type 2 "Asymm":   (0.5 sin(2 pi k / (L+1) - pi/2) + 0.5)^p
// scaled to unit DC gain. Latency L - 1: a held gain drop reaches its full
// depth L - 1 samples after its onset. An unknown type gives no taps.

inline constexpr int kFIRTransientClassic = 0;
inline constexpr int kFIRTransientSharp = 1;
inline constexpr int kFIRTransientAsymm = 2;

bool firTransientTypeValid(int type);
size_t firTransientLength(double rate, double length);
int designFIRTransient(std::span<double> taps, double rate, double length, double power, int type);
CFIRKernel designFIRTransient(double rate, double length, double power, int type);
