#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "Audio/Graph/DelayCompensation.h"

namespace {

// A steady delay is an exact shift: y[t] = x[t - d] (silence before the
// start), whatever the block lengths (also longer than the ring), the
// channel, and also when the output buffer is the input buffer.
TEST(AlignDelay, SteadyDelayIsAnExactShift) {
    struct Case {
        int maxDelay, delay, maxBlock;
        bool inPlace;
    };
    const Case cases[] = {
        {0, 0, 7, false},   {5, 0, 9, false},     {5, 5, 13, false},     {5, 3, 2, false},
        {64, 63, 200, false}, {64, 64, 1, false}, {64, 17, 64, true},    {300, 299, 512, true},
        {300, 1, 777, false}, {1000, 513, 512, false},
    };
    constexpr int kChannels = 2;
    for (const Case& c : cases) {
        CAlignDelay d;
        d.prepare(kChannels, c.maxDelay, 16);
        d.setDelay(c.delay);
        std::mt19937 rng(uint32_t(c.maxDelay * 131 + c.delay));
        std::uniform_real_distribution<double> uni(-1.0, 1.0);
        std::uniform_int_distribution<int> blockLength(1, c.maxBlock);
        std::vector<std::vector<double>> x(kChannels), y(kChannels);
        for (int t = 0; t < 6 * (c.maxDelay + c.maxBlock);) {
            const int n = blockLength(rng);
            for (int ch = 0; ch < kChannels; ++ch) {
                std::vector<double> in(static_cast<size_t>(n)), out(static_cast<size_t>(n));
                for (double& v : in) v = uni(rng);
                x[size_t(ch)].insert(x[size_t(ch)].end(), in.begin(), in.end());
                if (c.inPlace) {
                    d.process(ch, in.data(), in.data(), n);
                    out = in;
                } else {
                    d.process(ch, in.data(), out.data(), n);
                }
                y[size_t(ch)].insert(y[size_t(ch)].end(), out.begin(), out.end());
            }
            d.endBlock(n);
            t += n;
        }
        for (int ch = 0; ch < kChannels; ++ch)
            for (size_t t = 0; t < y[size_t(ch)].size(); ++t) {
                const double expected = t < size_t(c.delay) ? 0.0 : x[size_t(ch)][t - size_t(c.delay)];
                ASSERT_EQ(y[size_t(ch)][t], expected)
                    << "max " << c.maxDelay << " delay " << c.delay << " ch " << ch << " t " << t;
            }
    }
}

// A reset line reads silence until its new input arrives, whether its ring
// was filled part way (the reset clears only what was written) or wrapped.
TEST(AlignDelay, AResetLineReadsSilenceBeforeItsNewInput) {
    for (const int written : {5, 130, 1000}) {
        CAlignDelay d;
        d.prepare(1, 300, 16);
        d.setDelay(250);
        std::vector<double> ones(static_cast<size_t>(written), 1.0), out(ones.size());
        d.process(0, ones.data(), out.data(), written);
        d.endBlock(written);
        d.reset();
        std::vector<double> in(600), y(600);
        for (size_t i = 0; i < in.size(); ++i) in[i] = 2.0 + double(i);
        for (int pos = 0; pos < 600; pos += 100) {
            d.process(0, in.data() + pos, y.data() + pos, 100);
            d.endBlock(100);
        }
        for (size_t t = 0; t < y.size(); ++t)
            ASSERT_EQ(y[t], t < 250 ? 0.0 : in[t - 250]) << "written " << written << " t " << t;
    }
}

// After a change of delay has faded in, the line is again an exact shift by
// the new delay: the steady path picks up the ring where the fade left it.
TEST(AlignDelay, AfterAFadeTheNewDelayIsExact) {
    constexpr int kMax = 100, kFade = 30, kBlock = 37;
    for (const auto& [from, to] : {std::pair{10, 90}, std::pair{90, 0}, std::pair{0, 100}}) {
        CAlignDelay d;
        d.prepare(1, kMax, kFade);
        d.setDelay(from);
        std::vector<double> x, y;
        for (int block = 0; block < 20; ++block) {
            if (block == 5) d.setDelay(to);
            std::vector<double> in(kBlock), out(kBlock);
            for (int i = 0; i < kBlock; ++i) in[size_t(i)] = double(x.size()) + i + 1;
            x.insert(x.end(), in.begin(), in.end());
            d.process(0, in.data(), out.data(), kBlock);
            d.endBlock(kBlock);
            y.insert(y.end(), out.begin(), out.end());
        }
        EXPECT_EQ(d.delay(), to);
        for (size_t t = 8 * kBlock; t < y.size(); ++t) ASSERT_EQ(y[t], x[t - size_t(to)]) << from << "->" << to;
    }
}

// pass() hands on spans instead of copying out; what it hands on is what
// process() writes, sample for sample, through steady delays, changes while
// a fade runs, blocks longer than the ring and reads that wrap around it.
// Under a steady delay of zero the input itself is handed on.
TEST(AlignDelay, PassedSpansEqualTheCopiedOutput) {
    struct Case {
        int maxDelay, maxBlock;
    };
    for (const Case c : {Case{0, 9}, Case{5, 13}, Case{64, 64}, Case{300, 512}, Case{1000, 2048}}) {
        CAlignDelay copied, passed;
        copied.prepare(2, c.maxDelay, 24);
        passed.prepare(2, c.maxDelay, 24);
        std::mt19937 rng(uint32_t(c.maxDelay + 7));
        std::uniform_real_distribution<double> uni(-1.0, 1.0);
        std::uniform_int_distribution<int> blockLength(1, c.maxBlock), delay(0, c.maxDelay), change(0, 7);
        int handedOn = 0, inputHandedOn = 0;
        for (int block = 0; block < 400; ++block) {
            if (change(rng) == 0) {
                const int d = change(rng) < 3 ? 0 : delay(rng);
                copied.setDelay(d);
                passed.setDelay(d);
            }
            const int n = blockLength(rng);
            for (int ch = 0; ch < 2; ++ch) {
                std::vector<double> in(static_cast<size_t>(n)), want(in.size()), scratch(in.size());
                for (double& v : in) v = uni(rng);
                copied.process(ch, in.data(), want.data(), n);
                const double* got = passed.pass(ch, in.data(), scratch.data(), n);
                handedOn += got != scratch.data();
                inputHandedOn += got == in.data();
                for (int i = 0; i < n; ++i)
                    ASSERT_EQ(got[i], want[size_t(i)]) << "max " << c.maxDelay << " block " << block << " i " << i;
            }
            copied.endBlock(n);
            passed.endBlock(n);
        }
        EXPECT_GT(handedOn, 0) << c.maxDelay;
        EXPECT_GT(inputHandedOn, 0) << c.maxDelay;
    }
}

}  // namespace
