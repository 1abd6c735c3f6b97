#pragma once
// CModDither: requantisation of one channel to 8 + `bits` bits with dither
// noise and optional noise shaping.
//
// Per sample, with S = 2^(w−1) and Q = 1/S for the word length w:
//   v = (x + f)·S, where f is the shaping feedback (0 with shaping off);
//   q = v + n rounded half away from zero, n the dither noise in steps of Q;
//   y = q·Q.
// With shaping on, the total requantisation error e = y − (x + f) is run
// through a cascade of second-order sections H1…Hk, each with a monic
// numerator and denominator, in transposed direct form II. A monic section
// adds its first state z1 to its input, so the cascade's output is
// e + Σ z1(i), and feeding back f = Σ z1(i) (taken before e is known) gives
// y = x + (H1·…·Hk)·e: the error is shaped exactly by the cascade's
// response. The loop is stable whenever the sections are, because e itself
// never exceeds 1.5 steps.

#include <array>
#include <cstdint>
#include <span>

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Gain/Ranmar.h"

class CModDither : public CModProcessorBase {
public:
    enum Noise { kTPDF = 0, kGauss = 1, kOneBit = 2 };
    enum Shaping { kShapingOff = 0, kShapingEqual = 1, kShapingClassic = 2 };

    // Module parameters in index order (already rounded).
    struct Params {
        int bits = 8;  // word length 8 + bits, 0…16
        int noise = kTPDF;
        int shaping = kShapingOff;
        bool operator==(const Params&) const = default;
    };

    // One shaping section as the ratios (b1/b0, b2/b0, a1/a0, a2/a0).
    struct ShapingSection {
        double c1 = 0.0, c2 = 0.0, d1 = 0.0, d2 = 0.0;
    };
    static constexpr int kMaxSections = 7;
    using ShapingSet = std::array<ShapingSection, kMaxSections>;

    // The shaping cascade for sampleRate; returns the section count (0 with
    // shaping off). A section whose centre lies at or above Nyquist (sample
    // rates below about 40 kHz) is left out, as it could not be realised.
    static int designShaping(int shaping, double sampleRate, ShapingSet& out);

    // Seeds from the process-wide instance counter.
    CModDither();
    // Seeds from the given number (see CRanmar::seed).
    explicit CModDither(uint32_t seed);

    void prepare(double sampleRate, int maxBlock);
    // Redesigns the shaping for another rate and clears its states.
    void setSampleRate(double sampleRate);
    void setParams(const Params& p);
    // Clears the shaping states.
    void reset();

    // in may equal out.
    void process(const double* in, double* out, int frames);

    double step() const { return m_q; }
    uint32_t seed() const { return m_seed; }
    std::span<const ShapingSection> sections() const { return {m_sections.data(), size_t(m_sectionCount)}; }

private:
    void update();
    template <int Kind, int Sections>
    void run(const double* in, double* out, int frames);
    template <int Kind>
    void runShaped(const double* in, double* out, int frames);

    CRanmar m_rng;
    uint32_t m_seed = 0;
    Params m_params;
    double m_rate = 44100.0;
    double m_s = 32768.0;
    double m_q = 1.0 / 32768.0;
    ShapingSet m_sections{};
    int m_sectionCount = 0;
    std::array<double, 2 * kMaxSections> m_state{};
};
