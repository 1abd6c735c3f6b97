#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "Audio/Filters/FIRDesign.h"
#include "Audio/Vector/FIRConvolver.h"
#include "Audio/Vector/VecKernels.h"
#include "Tests/Support/AllocationCounter.h"

namespace {
// Allocations of the calling thread since construction.
struct AllocationProbe {
    alloc_counter::Scope scope;
    size_t count() const { return size_t(scope.allocations()); }
};
}  // namespace

namespace {

std::vector<double> noise(size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = u(rng);
    return x;
}

// y[t] = sum h[i] x[t - delay - i], the straightforward way.
std::vector<double> directFIR(const std::vector<double>& h, const std::vector<double>& x, size_t delay) {
    std::vector<double> y(x.size(), 0.0);
    for (size_t t = delay; t < x.size(); ++t) {
        long double s = 0;
        for (size_t i = 0; i < h.size() && i + delay <= t; ++i) s += (long double)h[i] * x[t - delay - i];
        y[t] = double(s);
    }
    return y;
}

// Largest deviation relative to the largest reference sample over [from, to).
double relDeviation(const std::vector<double>& got, const std::vector<double>& ref, size_t from = 0,
                    size_t to = size_t(-1)) {
    double d = 0, m = 0;
    for (size_t t = from; t < std::min(to, ref.size()); ++t) {
        d = std::max(d, std::fabs(got[t] - ref[t]));
        m = std::max(m, std::fabs(ref[t]));
    }
    return d / m;
}

// Runs x through the convolver in chunks of the given (cycled) lengths.
std::vector<double> runChunked(CFIRConvolver& conv, const std::vector<double>& x, const std::vector<size_t>& chunks) {
    std::vector<double> y(x.size());
    size_t pos = 0;
    for (size_t c = 0; pos < x.size(); ++c) {
        const size_t n = std::min(chunks[c % chunks.size()], x.size() - pos);
        conv.process(x.data() + pos, y.data() + pos, n);
        pos += n;
    }
    return y;
}

struct KernelCase {
    std::string name;
    std::vector<double> taps;
};

std::vector<KernelCase> kernelCases() {
    return {
        {"1 tap", {0.75}},
        {"39-tap soft low-pass", designFIRLowPass(44100, 0.00081, 10200, 16.3).taps},
        {"367-tap steep low-pass", designFIRLowPass(44100, 0.008, 10650, 16).taps},
        {"1017-tap steep low-pass", designFIRLowPass(44100, 0.023, 11000, 16).taps},
        {"transient classic 1.5 ms", designFIRTransient(44100, 0.0015, 0.0, 0).taps},
        {"transient asymm 1.5 ms x8", designFIRTransient(352800, 0.0015, -0.3, 2).taps},
    };
}

}  // namespace

TEST(FIRConvolver, EqualsDelayedDirectFIRInEveryBuild) {
    const std::vector<size_t> chunks = {1, 7, 127, 513, 33, 4095, 255, 3};
    const std::vector<double> x = noise(9000, 1);
    const char* lastBuild = "";
    for (int level = 0; vecSelectLevel(level); ++level) {
        if (std::string(vecKernelTable(level)->name) == lastBuild) continue;
        lastBuild = vecKernelTable(level)->name;
        for (const KernelCase& k : kernelCases()) {
            for (int order : {0, 3, 6, 7, 10}) {
                if (order == 0 && k.taps.size() > 400) continue;  // one partition per tap: slow, nothing new
                for (bool zeroLatency : {false, true}) {
                    SCOPED_TRACE(std::string(lastBuild) + ", " + k.name + ", block order " + std::to_string(order) +
                                 (zeroLatency ? ", zero latency" : ""));
                    CFIRConvolver conv;
                    ASSERT_TRUE(conv.prepare(k.taps.size(), order, zeroLatency).ok());
                    ASSERT_TRUE(conv.setKernel(k.taps));
                    const size_t expected = zeroLatency ? 0 : size_t(1) << order;
                    EXPECT_EQ(conv.latency(), expected);
                    const std::vector<double> y = runChunked(conv, x, chunks);
                    EXPECT_LT(relDeviation(y, directFIR(k.taps, x, expected)), 1e-12);
                }
            }
        }
    }
    vecInitDispatch();
}

TEST(FIRConvolver, InPlaceProcessingAndReset) {
    vecInitDispatch();
    const std::vector<double> h = designFIRLowPass(44100, 0.008, 10650, 16).taps;
    const std::vector<double> x = noise(3000, 2);
    for (bool zeroLatency : {false, true}) {
        CFIRConvolver conv;
        ASSERT_TRUE(conv.prepare(h.size(), 7, zeroLatency).ok());
        ASSERT_TRUE(conv.setKernel(h));
        std::vector<double> y = noise(500, 3);
        conv.process(y.data(), y.data(), y.size());  // history to be cleared
        conv.reset();
        y = x;
        for (size_t pos = 0; pos < y.size(); pos += 100) conv.process(y.data() + pos, y.data() + pos, 100);
        EXPECT_LT(relDeviation(y, directFIR(h, x, conv.latency())), 1e-12);
    }
}

TEST(FIRConvolver, KernelSwapTakesEffectAtTheNextBlockWithoutAllocating) {
    vecInitDispatch();
    const std::vector<double> shortKernel = designFIRLowPass(44100, 0.008, 10650, 16).taps;  // 367
    const std::vector<double> longKernel = designFIRLowPass(44100, 0.023, 11000, 16).taps;   // 1017
    const std::vector<double> x = noise(8192, 4);
    for (bool zeroLatency : {false, true}) {
        SCOPED_TRACE(zeroLatency ? "zero latency" : "block latency");
        CFIRConvolver conv;
        ASSERT_TRUE(conv.prepare(longKernel.size(), 7, zeroLatency).ok());
        const size_t block = conv.blockLength(), swapAt = 40 * block, lat = conv.latency();
        std::vector<double> y(x.size());
        {
            AllocationProbe probe;
            EXPECT_TRUE(conv.setKernel(shortKernel));
            conv.process(x.data(), y.data(), swapAt);
            EXPECT_TRUE(conv.setKernel(longKernel));
            conv.process(x.data() + swapAt, y.data() + swapAt, x.size() - swapAt);
            EXPECT_EQ(probe.count(), 0u);
        }
        const std::vector<double> before = directFIR(shortKernel, x, lat);
        const std::vector<double> after = directFIR(longKernel, x, lat);
        std::vector<double> ref = after;
        std::copy(before.begin(), before.begin() + long(swapAt + lat), ref.begin());
        if (zeroLatency) {
            // Until the next block boundary the head taps are already new,
            // the block part still old: equal to neither, so look from there.
            EXPECT_LT(relDeviation(y, after, swapAt + block), 1e-12);
            EXPECT_LT(relDeviation(y, before, 0, swapAt), 1e-12);
        } else {
            EXPECT_LT(relDeviation(y, ref), 1e-12);
        }

        // A kernel beyond the prepared length is refused and the old one kept.
        EXPECT_FALSE(conv.setKernel(std::vector<double>(longKernel.size() + 1, 0.1)));
        EXPECT_EQ(conv.kernelLength(), longKernel.size());
    }
}

TEST(FIRConvolver, RejectsBadBlockOrderAndStaysSilentUnprepared) {
    CFIRConvolver conv;
    EXPECT_FALSE(conv.prepare(100, 15).ok());
    EXPECT_FALSE(conv.prepare(100, -1).ok());
    EXPECT_FALSE(conv.setKernel(std::vector<double>{1.0}));
    std::vector<double> y = noise(50, 5);
    conv.process(y.data(), y.data(), y.size());
    EXPECT_EQ(y, std::vector<double>(50, 0.0));

    ASSERT_TRUE(conv.prepare(100, 14).ok());
    EXPECT_EQ(conv.latency(), 16384u);
    ASSERT_TRUE(conv.prepare(100, 14, true).ok());
    EXPECT_EQ(conv.latency(), 0u);
    EXPECT_EQ(conv.blockLength(), CFIRConvolver::kMaxDirectTaps);
}
