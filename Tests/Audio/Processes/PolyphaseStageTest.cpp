// The polyphase 2x stages against their straightforward form:
// the interpolator or decimator node with the block convolver (a direct FIR
// delayed by its block), kernel by kernel, delay by delay, over blocks of
// uneven length. The faster form must agree within -140 dB of full scale.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "Audio/Processes/Resampling/ModInterpolator.h"
#include "Audio/Processes/Resampling/PolyphaseStage.h"
#include "Audio/Vector/FIRConvolver.h"
#include "Audio/Vector/VecKernels.h"
#include "Tests/Support/AllocationCounter.h"

namespace {

std::vector<double> noise(size_t n, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = u(rng);
    return x;
}

// A low-pass-like kernel (its sum near 1), so outputs stay near full scale.
std::vector<double> kernel(size_t taps, unsigned seed) {
    std::vector<double> h = noise(taps, seed);
    double sum = 0.0;
    for (size_t i = 0; i < taps; ++i) {
        h[i] = 0.1 * h[i] + 1.0;
        sum += h[i];
    }
    for (double& v : h) v /= sum;
    return h;
}

// The straightforward form of a stage, one channel: zero insertion then the
// convolver (up), or the convolver then every other sample (down).
struct Straightforward {
    CPolyphaseStage::Kind kind;
    CFIRConvolver conv;
    CModDecimator decim;
    std::vector<double> buf;

    Straightforward(CPolyphaseStage::Kind k, const std::vector<double>& h, int blockOrder) : kind(k) {
        EXPECT_TRUE(conv.prepare(h.size(), blockOrder).ok());
        EXPECT_TRUE(conv.setKernel(h));
        CProcessConfig cfg;
        cfg.maxChannels = 1;
        EXPECT_TRUE(decim.prepare(cfg).ok());
        decim.setChannels(1);
    }
    std::vector<double> run(const double* x, int frames) {
        if (kind == CPolyphaseStage::kUp) {
            buf.resize(size_t(2 * frames));
            CModInterpolator::interpolate(x, buf.data(), frames);
            conv.process(buf.data(), buf.data(), buf.size());
            return buf;
        }
        buf.assign(x, x + frames);
        conv.process(buf.data(), buf.data(), buf.size());
        decim.input(0).channels = 1;
        decim.input(0).ch[0] = buf.data();
        decim.process(frames);
        const double* y = decim.outputChannel(0, 0);
        return {y, y + decim.outputFrames(frames)};
    }
};

// Runs a polyphase stage and two straightforward channels over
// the same noise in blocks of uneven length; the largest difference.
template <class Stage>
double worstAgainstStraightforward(Stage& stage, CPolyphaseStage::Kind kind, const std::vector<double>& h,
                                   int blockOrder) {
    const int blocks[] = {64, 1, 37, 128, 3, 255, 100, 2, 500};
    Straightforward ref[2] = {{kind, h, blockOrder}, {kind, h, blockOrder}};
    const std::vector<double> x[2] = {noise(4000, 1), noise(4000, 2)};
    double worst = 0.0;
    size_t pos = 0, compared = 0;
    for (int i = 0; pos + 500 < x[0].size(); ++i) {
        const int n = blocks[size_t(i) % std::size(blocks)];
        const double* in[2] = {x[0].data() + pos, x[1].data() + pos};
        const int expected = stage.outputFrames(n);
        alloc_counter::Scope scope;
        const int got = stage.process(in, 2, n);
        EXPECT_EQ(scope.allocations(), 0u);
        EXPECT_EQ(got, expected);
        for (int ch = 0; ch < 2; ++ch) {
            const std::vector<double> want = ref[ch].run(in[ch], n);
            EXPECT_EQ(size_t(got), want.size());
            if (size_t(got) != want.size()) return 1.0;
            for (int k = 0; k < got; ++k) worst = std::max(worst, std::fabs(stage.output(ch)[k] - want[size_t(k)]));
            compared += want.size();
        }
        pos += size_t(n);
    }
    EXPECT_GT(compared, 3000u);
    return worst;
}

}  // namespace

TEST(PolyphaseStage, EqualsTheStraightforwardFormWithin140dB) {
    for (CPolyphaseStage::Kind kind : {CPolyphaseStage::kUp, CPolyphaseStage::kDown})
        for (size_t taps : {size_t(1), size_t(2), size_t(39), size_t(367), size_t(1017)})
            for (int blockOrder : {0, 1, 7}) {
                const int delay = 1 << blockOrder;
                SCOPED_TRACE(std::string(kind == CPolyphaseStage::kUp ? "up" : "down") + ", " +
                             std::to_string(taps) + " taps, delay " + std::to_string(delay));
                const std::vector<double> h = kernel(taps, unsigned(taps));
                CPolyphaseStage stage;
                ASSERT_TRUE(stage.prepare(kind, 2, 1100, 128, 512).ok());
                if (kind == CPolyphaseStage::kDown && delay % 2) {
                    // An odd delay falls between the kept samples: the stage refuses it.
                    EXPECT_FALSE(stage.setKernel(h, delay));
                    continue;
                }
                ASSERT_TRUE(stage.setKernel(h, delay));
                EXPECT_TRUE(stage.sameKernel(h, delay));
                EXPECT_LT(worstAgainstStraightforward(stage, kind, h, blockOrder), 1e-7);  // -140 dB
            }
}

TEST(PolyphaseStage, KeepsTheDecimationPhaseAndStartsFromRest) {
    // The kept samples stay on the even positions counted from reset, across
    // blocks of odd length; a reset silences the history.
    CPolyphaseStage down;
    ASSERT_TRUE(down.prepare(CPolyphaseStage::kDown, 1, 4, 8, 16).ok());
    const std::vector<double> identity = {1.0};
    ASSERT_TRUE(down.setKernel(identity, 2));  // y[k] = w[2k - 2]
    std::vector<double> ramp(40), got;
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = double(i + 1);
    size_t pos = 0;
    for (int n : {3, 5, 1, 7, 2, 9}) {
        const double* in[1] = {ramp.data() + pos};
        EXPECT_EQ(down.outputFrames(n), (n + 1 - int(pos % 2)) / 2);
        const int m = down.process(in, 1, n);
        got.insert(got.end(), down.output(0), down.output(0) + m);
        pos += size_t(n);
    }
    ASSERT_EQ(got.size(), 14u);
    EXPECT_EQ(got[0], 0.0);
    for (size_t k = 1; k < got.size(); ++k) EXPECT_EQ(got[k], ramp[2 * k - 2]) << k;

    down.reset();
    const double* in[1] = {ramp.data()};
    ASSERT_EQ(down.process(in, 1, 2), 1);
    EXPECT_EQ(down.output(0)[0], 0.0);
}

TEST(PolyphaseStage, BlockInTwoPartsEqualsTheJoinedBlock) {
    // A block handed over as a few head samples and the rest (the down end's
    // padding) gives the outputs of the same block in one piece, bit for
    // bit, across blocks of both parities and heads longer than the block.
    const std::vector<double> h = kernel(39, 39u);
    const std::vector<double> x = noise(3000, 7);
    for (CPolyphaseStage::Kind kind : {CPolyphaseStage::kUp, CPolyphaseStage::kDown}) {
        SCOPED_TRACE(kind == CPolyphaseStage::kUp ? "up" : "down");
        CPolyphaseStage joined, split;
        for (CPolyphaseStage* s : {&joined, &split}) {
            ASSERT_TRUE(s->prepare(kind, 1, 64, 128, 512).ok());
            ASSERT_TRUE(s->setKernel(h, 128));
        }
        const int blocks[] = {64, 1, 37, 2, 255, 100, 3};
        size_t pos = 0;
        for (int i = 0; pos + 300 < x.size(); ++i) {
            const int n = blocks[size_t(i) % std::size(blocks)];
            const int headFrames = std::min(i % 4, n);
            const double* whole[1] = {x.data() + pos};
            const double* head[1] = {x.data() + pos};
            const double* rest[1] = {x.data() + pos + size_t(headFrames)};
            const int a = joined.process(whole, 1, n);
            const int b = split.process(head, headFrames, rest, 1, n);
            ASSERT_EQ(a, b);
            for (int k = 0; k < a; ++k) ASSERT_EQ(joined.output(0)[k], split.output(0)[k]) << pos << " " << k;
            pos += size_t(n);
        }
    }
}
