// What a host hears from the first sample on: renders through the bundle's
// VST3 interfaces, the way a host starts playback or an offline export
// (bus arrangement, set-up, processing on, then blocks that carry the
// settings), compared with the same audio rendered behind a second of
// silence, where every setting has long been in force.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "Host/Module.h"
#include "Host/PluginInstance.h"
#include "Tools/Render/PluginSettings.h"

namespace {

#ifndef TAMBLOR_TEST_BUNDLE
#error "TAMBLOR_TEST_BUNDLE names the built bundle"
#endif

using Channels = std::vector<std::vector<double>>;
using Settings = std::vector<std::pair<std::string, std::string>>;

struct Render {
    double rate = 44100.0;
    int block = 512;
    int channels = 2;
    Settings settings;      // host parameters set in the first block
    std::string program;    // a factory program selected before the first block
    std::vector<uint8_t> state;  // a state loaded before processing starts
};

class ProductStart : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_module = new host::CModule;
        const std::string err = s_module->load(TAMBLOR_TEST_BUNDLE);
        ASSERT_TRUE(err.empty()) << err;
    }
    static void TearDownTestSuite() {
        delete s_module;
        s_module = nullptr;
    }

    // Renders in through a fresh instance and returns the output lined up with
    // the input (the reported latency dropped from the front). No block
    // without frames goes first: the first block carries the settings.
    static Channels render(const Render& r, const Channels& in, int* latencyOut = nullptr) {
        host::CPluginInstance plugin;
        std::string err = plugin.create(s_module->factory());
        EXPECT_TRUE(err.empty()) << err;
        if (!r.state.empty()) {
            err = plugin.loadState(r.state);
            EXPECT_TRUE(err.empty()) << err;
        }
        host::CHostSetup cfg;
        cfg.sampleRate = r.rate;
        cfg.maxBlock = r.block;
        cfg.is64 = true;
        cfg.channels = r.channels;
        err = plugin.prepare(cfg);
        EXPECT_TRUE(err.empty()) << err;
        EXPECT_EQ(plugin.inputChannels(), r.channels);
        if (!r.program.empty()) {
            err = plugin.selectProgram(r.program);
            EXPECT_TRUE(err.empty()) << err;
        }
        for (const auto& [name, value] : r.settings) {
            err = render::setParameter(plugin, name, value);
            EXPECT_TRUE(err.empty()) << err;
        }
        const int latency = plugin.latency();
        if (latencyOut) *latencyOut = latency;
        const size_t frames = in[0].size(), total = frames + size_t(latency);
        const size_t ch = size_t(r.channels);
        Channels out(ch, std::vector<double>(frames, 0.0));
        Channels ib(ch, std::vector<double>(size_t(r.block))), ob(ch, std::vector<double>(size_t(r.block)));
        std::vector<const double*> ip(ch);
        std::vector<double*> op(ch);
        for (size_t c = 0; c < ch; ++c) {
            ip[c] = ib[c].data();
            op[c] = ob[c].data();
        }
        for (size_t done = 0; done < total;) {
            const int n = int(std::min<size_t>(size_t(r.block), total - done));
            for (size_t c = 0; c < ch; ++c)
                for (int i = 0; i < n; ++i) ib[c][size_t(i)] = done + size_t(i) < frames ? in[c][done + size_t(i)] : 0.0;
            plugin.process(ip.data(), op.data(), n);
            for (size_t c = 0; c < ch; ++c)
                for (int i = 0; i < n; ++i) {
                    const size_t t = done + size_t(i);
                    if (t >= size_t(latency) && t - size_t(latency) < frames) out[c][t - size_t(latency)] = ob[c][size_t(i)];
                }
            done += size_t(n);
        }
        EXPECT_EQ(plugin.latency(), latency) << "the latency moved while rendering";
        plugin.close();
        return out;
    }

    // The same audio behind `lead` seconds of silence, the lead trimmed off.
    static Channels renderSettled(Render r, const Channels& in, double lead = 1.0) {
        const size_t pad = size_t(lead * r.rate);
        Channels padded(in.size());
        for (size_t c = 0; c < in.size(); ++c) {
            padded[c].assign(pad, 0.0);
            padded[c].insert(padded[c].end(), in[c].begin(), in[c].end());
        }
        Channels out = render(r, padded);
        for (auto& c : out) c.erase(c.begin(), c.begin() + std::ptrdiff_t(pad));
        return out;
    }

    static inline host::CModule* s_module = nullptr;
};

double maxAbsDiff(const Channels& a, const Channels& b, size_t* where = nullptr) {
    double m = 0.0;
    for (size_t c = 0; c < a.size(); ++c)
        for (size_t i = 0; i < a[c].size(); ++i)
            if (const double d = std::fabs(a[c][i] - b[c][i]); d > m) {
                m = d;
                if (where) *where = i;
            }
    return m;
}

double peak(const Channels& x) {
    double m = 0.0;
    for (const auto& c : x)
        for (double v : c) m = std::max(m, std::fabs(v));
    return m;
}

std::string describe(const Render& r) {
    std::string s = std::to_string(int(r.rate)) + " Hz, block " + std::to_string(r.block) + ",";
    for (const auto& [n, v] : r.settings) s += " " + n + "=" + v;
    if (!r.program.empty()) s += " program " + r.program;
    return s;
}

// Two impulses (at 0 and 500) on both channels, then silence.
Channels impulses(double amplitude, size_t frames) {
    Channels x(2, std::vector<double>(frames, 0.0));
    for (auto& c : x) c[0] = c[500] = amplitude;
    return x;
}

// A dense, hot programme: partials and a beat, peaks near full scale.
Channels hotProgramme(double rate, double seconds) {
    const size_t n = size_t(rate * seconds);
    Channels x(2, std::vector<double>(n));
    uint32_t seed = 12345;
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / rate;
        seed = seed * 1664525u + 1013904223u;
        const double noise = double(int32_t(seed)) / 2147483648.0;
        const double beat = std::exp(-30.0 * std::fmod(t, 0.25));
        const double tone = 0.3 * std::sin(2 * M_PI * 110 * t) + 0.2 * std::sin(2 * M_PI * 440 * t + 0.3) +
                            0.1 * std::sin(2 * M_PI * 3520 * t + 1.1);
        x[0][i] = 0.95 * std::clamp(tone + 0.4 * beat * noise, -1.0, 1.0);
        x[1][i] = 0.95 * std::clamp(0.8 * tone - 0.4 * beat * noise, -1.0, 1.0);
    }
    return x;
}

constexpr double kAgree = 1e-6;  // -120 dB

// Bypassed, the impulses come out exactly as they went in; through the
// limiter at a low level they come out as they do once the instance has
// settled: whole and in place from sample 0, at every rate, factor and
// block size.
TEST_F(ProductStart, ImpulsesComeOutWholeAndInPlaceFromTheFirstSample) {
    for (double rate : {44100.0, 96000.0})
        for (const char* factor : {"1X", "2X", "4X", "8X"})
            for (int block : {1, 64, 512, 4096}) {
                const Channels x = impulses(0.5, size_t(0.05 * rate));
                Render bypassed{rate, block, 2, {{"Oversmp", factor}, {"Bypass", "On"}}, {}, {}};
                const Channels b = render(bypassed, x);
                size_t at = 0;
                EXPECT_LE(maxAbsDiff(b, x, &at), 1e-12) << describe(bypassed) << ": differs at sample " << at;

                const Channels y = impulses(0.1, size_t(0.05 * rate));
                Render limiter{rate, block, 2, {{"Oversmp", factor}}, {}, {}};
                const Channels out = render(limiter, y);
                EXPECT_LE(maxAbsDiff(out, renderSettled(limiter, y, 0.2), &at), kAgree)
                    << describe(limiter) << ": differs at sample " << at;
                // In place: the strongest output sample of each impulse sits where it went in.
                for (size_t pos : {size_t(0), size_t(500)}) {
                    const auto& c = out[0];
                    const auto top = std::max_element(c.begin() + std::ptrdiff_t(pos == 0 ? 0 : 250),
                                                      c.begin() + std::ptrdiff_t(pos + 250),
                                                      [](double a, double b2) { return std::fabs(a) < std::fabs(b2); });
                    EXPECT_EQ(size_t(top - c.begin()), pos) << describe(limiter);
                    EXPECT_NEAR(std::fabs(*top), 0.1, 0.02) << describe(limiter);
                }
            }
}

// Settings that reach the instance before its first frame are in force for
// that frame: a hot programme comes out as it does behind a second of
// silence, and no sample passes the Out Gain at any point (but in Clip).
TEST_F(ProductStart, SettingsHoldFromTheFirstSampleInEveryMode) {
    const double ceiling = std::pow(10.0, -1.0 / 20.0);
    for (const char* factor : {"1X", "4X"})
        for (const char* mode : {"Clip", "AIGC-1", "AIGC-2", "AIGC-3", "AIGC-4", "TB-1", "TB UNI", "TB-4", "TB-C",
                                 "TB INS"}) {
            const Channels x = hotProgramme(44100.0, 0.5);
            Render r{44100.0, 512, 2, {{"Oversmp", factor}, {"Mode", mode}, {"InGain", "6.0"}, {"OutGain", "-1.0"}}, {}, {}};
            const Channels out = render(r, x);
            size_t at = 0;
            EXPECT_LE(maxAbsDiff(out, renderSettled(r, x), &at), kAgree) << describe(r) << ": differs at sample " << at;
            if (std::string(mode) != "Clip") {
                EXPECT_LE(peak(out), ceiling * (1.0 + 1e-9)) << describe(r);
            }
        }
}

// A file of one sample gets the gains set for it; a factory program and a
// state with oversampling start without a hole.
TEST_F(ProductStart, ProgramsStatesAndOneSampleFilesStartAtOnce) {
    const Channels one(2, std::vector<double>{0.1});
    const Channels y = render({44100.0, 512, 2, {{"InGain", "6.0"}, {"OutGain", "-1.0"}}, {}, {}}, one);
    EXPECT_NEAR(y[0][0], 0.1 * std::pow(10.0, 5.0 / 20.0), 1e-6);

    const Channels x = hotProgramme(48000.0, 0.5);
    Render preset{48000.0, 256, 2, {}, "EBusLim", {}};
    size_t at = 0;
    EXPECT_LE(maxAbsDiff(render(preset, x), renderSettled(preset, x), &at), kAgree) << "EBusLim, at " << at;

    // A state saved with 8X and a hotter input, loaded into a new instance.
    std::vector<uint8_t> chunk;
    {
        host::CPluginInstance p;
        ASSERT_TRUE(p.create(s_module->factory()).empty());
        ASSERT_TRUE(render::setParameter(p, "Oversmp", "8X").empty());
        ASSERT_TRUE(render::setParameter(p, "InGain", "4.0").empty());
        ASSERT_TRUE(p.saveState(&chunk).empty());
        p.close();
    }
    Render fromState{48000.0, 512, 2, {}, {}, chunk};
    EXPECT_LE(maxAbsDiff(render(fromState, x), renderSettled(fromState, x), &at), kAgree) << "state, at " << at;
}

// Every channel of a 3-, 6- or 8-channel bus comes through: its own tone at
// its own level, and bypassed exactly as it went in.
TEST_F(ProductStart, EveryChannelOfAWideBusComesThrough) {
    for (int channels : {3, 6, 8}) {
        const size_t n = 22050;
        Channels x(size_t(channels), std::vector<double>(n, 0.0));
        for (int c = 0; c < channels; ++c)
            for (size_t i = 0; i < n; ++i)
                x[size_t(c)][i] = 0.05 * (c + 1) * std::sin(2 * M_PI * (200.0 + 100.0 * c) * double(i) / 44100.0);
        Render r{44100.0, 512, channels, {{"OutGain", "-6.0"}}, {}, {}};
        const Channels out = render(r, x);
        ASSERT_EQ(out.size(), size_t(channels));
        for (int c = 0; c < channels; ++c) {
            double m = 0.0;
            for (size_t i = n / 2; i < n; ++i) m = std::max(m, std::fabs(out[size_t(c)][i]));
            // On a 3-channel bus the third channel ("2.1 Stereo") is a group
            // of its own, with its own gains; the host's Out Gain is group 1's.
            const double gain = channels == 3 && c == 2 ? 1.0 : std::pow(10.0, -6.0 / 20.0);
            EXPECT_NEAR(m, 0.05 * (c + 1) * gain, 2e-3) << channels << " channels, channel " << c + 1;
        }
        Render bypassed{44100.0, 512, channels, {{"Bypass", "On"}}, {}, {}};
        size_t at = 0;
        EXPECT_EQ(maxAbsDiff(render(bypassed, x), x, &at), 0.0) << channels << " channels bypassed, at " << at;
    }
}

}  // namespace
