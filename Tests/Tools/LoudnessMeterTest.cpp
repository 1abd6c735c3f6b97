// The render tool's loudness and peak figures against libebur128.
#include <ebur128.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

#include "Tools/Render/DemoSignal.h"
#include "Tools/Render/LoudnessMeter.h"

namespace {

using render::CAudioBuffer;
using render::CLoudnessMeter;

CAudioBuffer makeSignal(int channels, double rate, double seconds, const std::function<double(int, size_t)>& f) {
    CAudioBuffer b;
    b.sampleRate = rate;
    b.channels.assign(size_t(channels), std::vector<double>(size_t(seconds * rate)));
    for (int c = 0; c < channels; ++c)
        for (size_t i = 0; i < b.channels[size_t(c)].size(); ++i) b.channels[size_t(c)][i] = f(c, i);
    return b;
}

struct Figures {
    double loudness, samplePeak, truePeak;
};

// Feeds the signal in uneven pieces, as hosts deliver it.
Figures ours(const CAudioBuffer& b) {
    CLoudnessMeter m(int(b.channels.size()), b.sampleRate);
    size_t done = 0, piece = 1;
    while (done < b.frames()) {
        const size_t n = std::min(piece, b.frames() - done);
        std::vector<const double*> p;
        for (const auto& ch : b.channels) p.push_back(ch.data() + done);
        m.process(p.data(), n);
        done += n;
        piece = piece * 3 + 7;
        if (piece > 5000) piece = 13;
    }
    return {m.integratedLoudness(), m.samplePeak(), m.truePeak()};
}

Figures reference(const CAudioBuffer& b) {
    const auto channels = unsigned(b.channels.size());
    ebur128_state* st = ebur128_init(channels, (unsigned long)b.sampleRate, EBUR128_MODE_I | EBUR128_MODE_TRUE_PEAK);
    std::vector<double> inter(b.frames() * channels);
    for (size_t i = 0; i < b.frames(); ++i)
        for (unsigned c = 0; c < channels; ++c) inter[i * channels + c] = b.channels[c][i];
    ebur128_add_frames_double(st, inter.data(), b.frames());
    Figures f{};
    ebur128_loudness_global(st, &f.loudness);
    f.samplePeak = f.truePeak = 0.0;
    for (unsigned c = 0; c < channels; ++c) {
        double sp = 0.0, tp = 0.0;
        ebur128_sample_peak(st, c, &sp);
        ebur128_true_peak(st, c, &tp);
        f.samplePeak = std::max(f.samplePeak, sp);
        f.truePeak = std::max(f.truePeak, tp);
    }
    ebur128_destroy(&st);
    return f;
}

double sine(double freq, double rate, size_t i, double phase = 0.0) { return std::sin(2.0 * M_PI * freq * double(i) / rate + phase); }

TEST(LoudnessMeter, AgreesWithReferenceOnVariedSignals) {
    std::mt19937 rng(1234);
    std::normal_distribution<double> gauss(0.0, 1.0);
    std::vector<std::vector<double>> noise(6, std::vector<double>(size_t(96000 * 5)));
    for (auto& ch : noise)
        for (double& v : ch) v = gauss(rng);

    struct Case {
        const char* what;
        CAudioBuffer signal;
    };
    const Case cases[] = {
        {"stereo 1 kHz at -20 dBFS, 48 kHz",
         makeSignal(2, 48000, 4, [](int, size_t i) { return 0.1 * sine(1000, 48000, i); })},
        {"mono 100 Hz, 44.1 kHz", makeSignal(1, 44100, 3, [](int, size_t i) { return 0.5 * sine(100, 44100, i); })},
        {"stereo noise, unequal channels, 96 kHz",
         makeSignal(2, 96000, 5, [&](int c, size_t i) { return (c ? 0.05 : 0.2) * noise[size_t(c)][i]; })},
        {"loud bursts and near silence (both gates at work)",
         makeSignal(2, 48000, 8,
                    [&](int c, size_t i) {
                        const bool loud = (i / 24000) % 4 == 0;
                        return (loud ? 0.5 : 0.0008) * noise[size_t(c)][i % noise[0].size()];
                    })},
        {"5.1 with LFE and surrounds",
         makeSignal(6, 48000, 3, [&](int c, size_t i) { return 0.1 * (c + 1) * noise[size_t(c)][i] / 3.0; })},
        {"five channels", makeSignal(5, 48000, 3, [&](int c, size_t i) { return 0.1 * noise[size_t(c)][i]; })},
        {"four channels", makeSignal(4, 48000, 3, [&](int c, size_t i) { return 0.1 * noise[size_t(c)][i]; })},
        {"demo programme", render::makeDemoSignal(48000, 4)},
        {"demo programme at 44.1 kHz", render::makeDemoSignal(44100, 3)},
    };
    for (const Case& c : cases) {
        const Figures a = ours(c.signal), b = reference(c.signal);
        EXPECT_NEAR(a.loudness, b.loudness, 0.02) << c.what;
        EXPECT_DOUBLE_EQ(a.samplePeak, b.samplePeak) << c.what;
        EXPECT_NEAR(CLoudnessMeter::toDecibels(a.truePeak), CLoudnessMeter::toDecibels(b.truePeak), 0.25) << c.what;
        EXPECT_GE(a.truePeak, a.samplePeak) << c.what;
    }
}

TEST(LoudnessMeter, KnownFiguresAndEdges) {
    // A full-scale 997 Hz sine in both channels reads about 0 LUFS (the
    // K-weighting adds ~0.69 dB at 1 kHz, the -0.691 offset removes it).
    const Figures fs = ours(makeSignal(2, 48000, 2, [](int, size_t i) { return sine(997, 48000, i); }));
    EXPECT_NEAR(fs.loudness, 0.0, 0.05);
    // Samples of a quarter-rate sine at 45 degrees sit at 0.707; the
    // waveform between them reaches 1.0.
    const Figures isp =
        ours(makeSignal(1, 48000, 1, [](int, size_t i) { return sine(12000, 48000, i, M_PI / 4); }));
    EXPECT_NEAR(CLoudnessMeter::toDecibels(isp.samplePeak), -3.01, 0.01);
    EXPECT_NEAR(CLoudnessMeter::toDecibels(isp.truePeak), 0.0, 0.1);
    // Shorter than one 400 ms block, or silent: no loudness.
    EXPECT_TRUE(std::isinf(ours(makeSignal(2, 48000, 0.35, [](int, size_t i) { return sine(1000, 48000, i); })).loudness));
    const Figures silent = ours(makeSignal(2, 48000, 1, [](int, size_t) { return 0.0; }));
    EXPECT_TRUE(std::isinf(silent.loudness) && silent.loudness < 0);
    EXPECT_EQ(silent.truePeak, 0.0);
    EXPECT_TRUE(std::isinf(CLoudnessMeter::toDecibels(0.0)));
    EXPECT_DOUBLE_EQ(CLoudnessMeter::toDecibels(0.5), 20.0 * std::log10(0.5));
}

}  // namespace
