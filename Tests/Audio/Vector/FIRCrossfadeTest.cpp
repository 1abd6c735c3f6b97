// Kernel change-over of the block convolver: the output follows the old
// kernel until the next block boundary, then the raised-cosine blend of both
// kernels' direct FIRs, then the new kernel alone; later requests wait.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

#include "Audio/Filters/FIRDesign.h"
#include "Audio/Vector/FIRConvolver.h"
#include "Tests/Audio/Filters/FilterTestSupport.h"
#include "Tests/Support/AllocationCounter.h"

namespace {

using filtertest::direct;
using filtertest::noise;
using filtertest::relError;

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

TEST(FIRCrossfade, ImmediateCasesResetAndNoAllocation) {
    const std::vector<double> h1 = designFIRLowPass(44100, 0.008, 10650, 16).taps;
    const std::vector<double> h2 = designFIRLowPass(44100, 0.004, 9000, 12).taps;
    const std::vector<double> x = noise(3000, 3), tooLong(h1.size() + 1, 0.0);
    std::vector<double> y(x.size());
    CFIRConvolver conv;
    ASSERT_TRUE(conv.prepare(h1.size(), 7, false, true).ok());
    ASSERT_TRUE(conv.changeKernel(h2, 500));  // before any audio: at once
    EXPECT_FALSE(conv.changing());
    alloc_counter::Scope scope;
    conv.process(x.data(), y.data(), 1000);
    ASSERT_TRUE(conv.changeKernel(h1, 500));
    conv.process(x.data(), y.data(), 200);
    ASSERT_TRUE(conv.changeKernel(h2, 500));  // waits
    EXPECT_FALSE(conv.changeKernel(tooLong, 500));
    EXPECT_EQ(scope.allocations(), 0u);
    // Reset ends the change at the newest kernel.
    conv.reset();
    EXPECT_FALSE(conv.changing());
    conv.process(x.data(), y.data(), x.size());
    EXPECT_LT(relError(y, direct(h2, x, 128)), 1e-12);
}
