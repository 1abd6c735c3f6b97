#pragma once
// Test helpers for the limiter gain computers: one driver interface over all
// of them, and level signals.

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "Audio/Processes/Limiters/ModLimAIGC.h"
#include "Audio/Processes/Limiters/ModLimClip.h"
#include "Audio/Processes/Limiters/ModLimTB.h"
#include "Audio/Processes/Limiters/ModLimTBC.h"
#include "Audio/Processes/Limiters/ModLimTBI.h"

namespace limtest {

using Signal = std::vector<double>;

enum class Kind { TB1, TBUni, TB4, TBC, TBI, AIGC1, AIGC2, AIGC3, AIGC4, Clip };

inline std::string kindName(Kind k) {
    static const char* names[] = {"TB-1", "TB UNI", "TB-4", "TB-C", "TB INS",
                                  "AIGC-1", "AIGC-2", "AIGC-3", "AIGC-4", "Clip"};
    return names[static_cast<int>(k)];
}

struct Output {
    Signal gain;
    Signal scale;
};

// One gain computer behind a common face.
class CGainComputer {
public:
    virtual ~CGainComputer() = default;
    virtual void process(const double* x, double* g, double* s, int n) = 0;
    virtual void reset() = 0;

    // Runs the level through in blocks of `block`.
    Output run(const Signal& level, int block = 256) {
        Output o{Signal(level.size()), Signal(level.size())};
        for (size_t i = 0; i < level.size(); i += block) {
            const int n = static_cast<int>(std::min<size_t>(block, level.size() - i));
            process(level.data() + i, o.gain.data() + i, o.scale.data() + i, n);
        }
        return o;
    }
};

template <class M>
class CGainComputerOf : public CGainComputer {
public:
    M mod;
    void process(const double* x, double* g, double* s, int n) override { mod.process(x, g, s, n); }
    void reset() override { mod.reset(); }
};

// A gain computer of the given kind at 44.1 kHz (or sr), attack 1.5 ms,
// release off, everything else at its fallback; Clip at the product's 0.994.
inline std::unique_ptr<CGainComputer> makeGainComputer(Kind k, double sr = 44100.0, double attack = 0.0015) {
    switch (k) {
        case Kind::TB1:
        case Kind::TBUni:
        case Kind::TB4: {
            auto g = std::make_unique<CGainComputerOf<CModLimTB>>();
            g->mod.prepare(sr, 512);
            CModLimTB::Params p;
            p.attack = attack;
            p.type = k == Kind::TB1 ? 0 : (k == Kind::TBUni ? 1 : 2);
            g->mod.setParams(p);
            return g;
        }
        case Kind::TBC: {
            auto g = std::make_unique<CGainComputerOf<CModLimTBC>>();
            g->mod.prepare(sr, 512);
            g->mod.setParams({attack});
            return g;
        }
        case Kind::TBI: {
            auto g = std::make_unique<CGainComputerOf<CModLimTBI>>();
            g->mod.prepare(sr, 512);
            g->mod.setParams({attack});
            return g;
        }
        case Kind::Clip: {
            auto g = std::make_unique<CGainComputerOf<CModLimClip>>();
            g->mod.setClipLevel(0.994);
            g->mod.prepare(sr, 512);
            return g;
        }
        default: {
            auto g = std::make_unique<CGainComputerOf<CModLimAIGC>>();
            g->mod.prepare(sr, 512);
            CModLimAIGC::Params p;
            p.attack = attack;
            p.type = static_cast<int>(k) - static_cast<int>(Kind::AIGC1);
            g->mod.setParams(p);
            return g;
        }
    }
}

// A rectified, music-like level: three partials under a slow swell, a little
// noise and a sharp transient every 1500 to 5000 samples (or, with
// transients false, only the partials); `peak` scales it.
inline Signal musicLevel(size_t n, double sr, double peak, unsigned seed = 7, bool transients = true) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> uni(-1.0, 1.0);
    std::uniform_int_distribution<int> gap(1500, 5000);
    constexpr double tau = 2.0 * std::numbers::pi;
    Signal x(n);
    size_t nextHit = static_cast<size_t>(gap(rng));
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / sr;
        const double swell = 0.7 + 0.3 * std::sin(tau * 1.3 * t);
        double s = swell * (0.55 * std::sin(tau * 110.0 * t) + 0.3 * std::sin(tau * 440.0 * t + 1.0) +
                            0.15 * std::sin(tau * 1750.0 * t + 2.0)) +
                   (transients ? 0.03 * uni(rng) : 0.0);
        if (transients && i == nextHit) {
            s += 0.8 * uni(rng);
            nextHit += static_cast<size_t>(gap(rng));
        }
        x[i] = std::abs(s) * peak;
    }
    return x;
}

}  // namespace limtest
