// Kernel change-over of the block convolver: the output follows the old
// kernel until the next block boundary, then the raised-cosine blend of both
// kernels' direct FIRs, then the new kernel alone; later requests wait.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include "Audio/Filters/FIRDesign.h"
#include "Audio/Vector/FIRConvolver.h"
#include "Tests/Support/AllocationCounter.h"

namespace {

std::vector<double> noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = u(rng);
    return x;
}

// y[t] = sum h[i] x[t - delay - i].
std::vector<double> direct(const std::vector<double>& h, const std::vector<double>& x, size_t delay) {
    std::vector<double> y(x.size(), 0.0);
    for (size_t t = delay; t < x.size(); ++t) {
        long double s = 0;
        for (size_t i = 0; i < h.size() && i + delay <= t; ++i) s += (long double)h[i] * x[t - delay - i];
        y[t] = double(s);
    }
    return y;
}

double weight(size_t k, size_t length) {
    return k >= length ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * double(k) / double(length));
}

// The expected output of changes: kernel i applies from start[i] with a fade of fade[i].
std::vector<double> expected(const std::vector<std::vector<double>>& kernels, const std::vector<size_t>& start,
                             size_t fade, const std::vector<double>& x, size_t delay) {
    std::vector<std::vector<double>> ys;
    for (const auto& h : kernels) ys.push_back(direct(h, x, delay));
    std::vector<double> y = ys[0];
    for (size_t i = 1; i < kernels.size(); ++i)
        for (size_t t = start[i]; t < x.size(); ++t) {
            const double w = weight(t - start[i] + 1, fade);
            y[t] = y[t] + w * (ys[i][t] - y[t]);
        }
    return y;
}

double relError(const std::vector<double>& got, const std::vector<double>& ref) {
    double d = 0, m = 0;
    for (size_t t = 0; t < ref.size(); ++t) {
        d = std::max(d, std::fabs(got[t] - ref[t]));
        m = std::max(m, std::fabs(ref[t]));
    }
    return d / m;
}

struct Mode {
    int order;
    bool zeroLatency;
    size_t chunk;
};

}  // namespace

TEST(FIRCrossfade, ChangeOverFollowsTheBlendOfBothKernels) {
    const std::vector<double> h1 = designFIRTransient(96000, 0.0015, 0.0, 0).taps;   // 144 taps
    const std::vector<double> h2 = designFIRTransient(96000, 0.004, 0.5, 2).taps;    // 384 taps
    const std::vector<double> h3 = designFIRLowPass(44100, 0.0008, 10650, 16).taps;  // 37 taps
    const std::vector<double> x = noise(6000, 7);
    const size_t fade = 300;
    for (const Mode& m : {Mode{7, false, 100}, Mode{5, false, 64}, Mode{9, false, 96}, Mode{7, true, 37},
                          Mode{4, true, 5}}) {
        CFIRConvolver conv;
        ASSERT_TRUE(conv.prepare(h2.size(), m.order, m.zeroLatency, true).ok());
        ASSERT_TRUE(conv.setKernel(h1));
        const size_t block = conv.blockLength(), delay = conv.latency();
        std::vector<double> y(x.size());
        // First change at sample 1000 (after the chunk holding it), a second
        // one while it runs, a third and a fourth within one block later.
        size_t requested = 0, start1 = 0, secondAt = 0, thirdAt = 0;
        for (size_t pos = 0; pos < x.size();) {
            const size_t n = std::min(m.chunk, x.size() - pos);
            conv.process(x.data() + pos, y.data() + pos, n);
            pos += n;
            if (!requested && pos >= 1000) {
                ASSERT_TRUE(conv.changeKernel(h2, fade));
                requested = pos;
                start1 = (requested / block + 1) * block;
            } else if (requested && !secondAt && pos >= start1 + 50) {
                ASSERT_TRUE(conv.changing());
                ASSERT_TRUE(conv.changeKernel(h1, fade));  // replaced by the next one
                ASSERT_TRUE(conv.changeKernel(h3, fade));
                secondAt = pos;
            } else if (secondAt && !thirdAt && pos >= 4000 && !conv.changing()) {
                ASSERT_TRUE(conv.changeKernel(h1, fade));
                ASSERT_TRUE(conv.changeKernel(h2, fade));  // not heard yet: replaces h1
                thirdAt = pos;
            }
        }
        ASSERT_TRUE(thirdAt);
        const size_t end1 = start1 + fade - 1;  // last blended sample
        const size_t start2 = (end1 / block + 1) * block;
        const size_t start3 = (thirdAt / block + 1) * block;
        ASSERT_GT(end1, secondAt);
        const auto ref = expected({h1, h2, h3, h2}, {0, start1, start2, start3}, fade, x, delay);
        EXPECT_LT(relError(y, ref), 1e-12) << "order " << m.order << (m.zeroLatency ? " zero latency" : "");
    }
}

TEST(FIRCrossfade, ImmediateCasesAndNoAllocation) {
    const std::vector<double> h1 = designFIRLowPass(44100, 0.008, 10650, 16).taps;
    const std::vector<double> h2 = designFIRLowPass(44100, 0.004, 9000, 12).taps;
    const std::vector<double> x = noise(3000, 3);
    CFIRConvolver conv;
    ASSERT_TRUE(conv.prepare(h1.size(), 7, false, true).ok());
    // Before audio has passed, a change is immediate.
    ASSERT_TRUE(conv.changeKernel(h1, 500));
    EXPECT_FALSE(conv.changing());
    std::vector<double> y(x.size());
    const std::vector<double> tooLong(h1.size() + 1, 0.0);
    {
        alloc_counter::Scope scope;
        conv.process(x.data(), y.data(), 1000);
        ASSERT_TRUE(conv.changeKernel(h2, 500));
        conv.process(x.data() + 1000, y.data() + 1000, 200);
        ASSERT_TRUE(conv.changeKernel(h1, 500));  // waits
        EXPECT_FALSE(conv.changeKernel(tooLong, 500));
        conv.process(x.data() + 1200, y.data() + 1200, 1800);
        EXPECT_EQ(scope.allocations(), 0u);
    }
    // Reset ends a change at the newest kernel.
    ASSERT_TRUE(conv.changeKernel(h2, 500));
    conv.process(x.data(), y.data(), 10);
    ASSERT_TRUE(conv.changeKernel(h1, 500));
    conv.reset();
    EXPECT_FALSE(conv.changing());
    conv.process(x.data(), y.data(), x.size());
    EXPECT_LT(relError(y, direct(h1, x, 128)), 1e-12);
    // Without a prepared cross-fade (or with no fade) changes are immediate.
    CFIRConvolver plain;
    ASSERT_TRUE(plain.prepare(h1.size()).ok());
    ASSERT_TRUE(plain.setKernel(h2));
    plain.process(x.data(), y.data(), 100);
    ASSERT_TRUE(plain.changeKernel(h1, 500));
    EXPECT_FALSE(plain.changing());
    EXPECT_EQ(plain.kernelLength(), h1.size());
}
