#pragma once
// Averaged power spectra for tests: Hann-windowed radix-2 FFT frames, 50 %
// overlap. Bin k of an n-point spectrum lies at k·rate/n.

#include <cmath>
#include <complex>
#include <numbers>
#include <span>
#include <vector>

namespace test_spectrum {

inline void fft(std::vector<std::complex<double>>& a) {
    const size_t n = a.size();
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (size_t len = 2; len <= n; len <<= 1) {
        const std::complex<double> wl = std::polar(1.0, -2.0 * std::numbers::pi / double(len));
        for (size_t i = 0; i < n; i += len) {
            std::complex<double> w = 1.0;
            for (size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= wl;
            }
        }
    }
}

// Mean power per bin (bins 0…n/2) of the signal, frame length n (a power of two).
inline std::vector<double> powerSpectrum(std::span<const double> x, size_t n) {
    std::vector<double> window(n), power(n / 2 + 1, 0.0);
    for (size_t i = 0; i < n; ++i) window[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(n));
    std::vector<std::complex<double>> frame(n);
    int frames = 0;
    for (size_t start = 0; start + n <= x.size(); start += n / 2, ++frames) {
        for (size_t i = 0; i < n; ++i) frame[i] = x[start + i] * window[i];
        fft(frame);
        for (size_t k = 0; k <= n / 2; ++k) power[k] += std::norm(frame[k]);
    }
    for (double& p : power) p /= frames > 0 ? frames : 1;
    return power;
}

}  // namespace test_spectrum
