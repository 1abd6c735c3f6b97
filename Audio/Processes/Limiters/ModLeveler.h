#pragma once
// CModLeveler: the channel linker in front of the gain computers. It works on
// all channels of its group at once: per sample it forms the common level
// (the maximum, or in mode 1 the minimum, over the channels) and writes for
// each channel own + (common - own) * linking, so at 100 % every channel
// carries the common level and is limited alike. A linking of 0 or 1 (within
// one double epsilon) copies instead of blending.
//
// Linking changes glide linearly over 5 ms so that automating it does not
// step the level the gain computers see; the first value after prepare() or
// reset() applies at once. `mix` is accepted but not used by this product's
// linker.

#include <span>

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Limiters/LimiterParams.h"

class CModLeveler : public CModProcessorBase {
public:
    // The module parameters in slot order.
    struct Params {
        int mode = 0;          // 0 `mode`: 0 maximum, 1 minimum
        double mix = 0.0;      // 1 `mix`: fraction (not used)
        double linking = 1.0;  // 2 `linking`: fraction 0 ... 1

        static constexpr CLimParam<Params> kTable[] = {
            limInt("mode", &Params::mode, 0, 1), limReal("mix", &Params::mix), limReal("linking", &Params::linking)};
        static Params fromValues(std::span<const double> values) { return limReadParams(kTable, values); }
        bool operator==(const Params&) const = default;
    };

    static constexpr int kMaxChannels = 32;
    static constexpr double kGlideTime = 0.005;

    void prepare(double sampleRate, int maxBlock);
    // The rate the glide length is measured at.
    void setSampleRate(double sampleRate) { m_sr = sampleRate > 0.0 ? sampleRate : 44100.0; }
    void setParams(const Params& p);
    const Params& params() const { return m_params; }
    // Ends any glide: the linking is the set value from now on.
    void reset();

    // in[c] and out[c] for c < min(in.size(), out.size(), kMaxChannels);
    // out may alias in channel for channel.
    void process(std::span<const double* const> in, std::span<double* const> out, int n);

private:
    double m_sr = 44100.0;
    Params m_params;
    double m_linking = 1.0;  // the linking in effect
    double m_step = 0.0;     // per-sample glide step
    int m_glideLeft = 0;
    bool m_fresh = true;  // nothing processed since the last reset
};
