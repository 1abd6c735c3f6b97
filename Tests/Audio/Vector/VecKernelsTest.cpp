#include <fftw3.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
#include <numbers>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "Audio/Vector/VecKernels.h"

namespace {

constexpr int kFlags[] = {kVecFFTDivFwdByN, kVecFFTDivInvByN, kVecFFTDivBySqrtN, kVecFFTNoScale};

// The distinct builds this processor can run, portable first.
std::vector<const CVecKernelTable*> runnableBuilds() {
    std::vector<const CVecKernelTable*> builds;
    for (int level = 0; level < kVecLevelCount; ++level) {
        const CVecKernelTable* t = vecKernelTable(level);
        if (!t) break;
        if (builds.empty() || std::string(builds.back()->name) != t->name) builds.push_back(t);
    }
    return builds;
}

// n values between sentinel zones, placed one double past a 64-byte boundary
// so the kernels also meet misaligned buffers.
class Guarded {
public:
    static constexpr size_t kGuard = 9;
    static constexpr double kSentinel = -7.25e+101;
    explicit Guarded(size_t n, size_t misalign = 1) : m_n(n), m_front(kGuard + misalign) {
        m_mem.assign(m_front + n + kGuard, kSentinel);
    }
    double* data() { return m_mem.data() + m_front; }
    double& operator[](size_t i) { return data()[i]; }
    std::vector<double> values() const { return {m_mem.begin() + m_front, m_mem.begin() + m_front + m_n}; }
    bool intact() const {
        for (size_t i = 0; i < m_mem.size(); ++i)
            if ((i < m_front || i >= m_front + m_n) && m_mem[i] != kSentinel) return false;
        return true;
    }

private:
    size_t m_n, m_front;
    std::vector<double> m_mem;
};

struct FFTSetup {
    std::vector<unsigned char> planMem;
    CVecFFTPlan* plan = nullptr;
    size_t workBytes = 0;

    FFTSetup(const CVecKernelTable& t, int order, int flag) {
        size_t planBytes = 0, bufferBytes = 0;
        EXPECT_EQ(t.getSize(order, flag, 0, &planBytes, &bufferBytes, &workBytes), kVecOk);
        planMem.resize(planBytes + 1);  // + 1: an unaligned start
        std::vector<unsigned char> buffer(bufferBytes + 1);
        EXPECT_EQ(t.init(&plan, order, flag, 0, planMem.data() + 1, buffer.data()), kVecOk);
    }
};

std::vector<double> randomSignal(size_t n, unsigned seed) {
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<double> x(n);
    for (double& v : x) v = u(rng);
    return x;
}

// Packed spectrum by the direct sum, in long double.
std::vector<double> directSpectrum(const std::vector<double>& x) {
    const size_t n = x.size();
    std::vector<long double> c(n), s(n);
    for (size_t j = 0; j < n; ++j) {
        const long double a = 2.0L * std::numbers::pi_v<long double> * (long double)j / (long double)n;
        c[j] = std::cos(a);
        s[j] = std::sin(a);
    }
    std::vector<double> out(n);
    for (size_t k = 0; k <= n / 2; ++k) {
        long double re = 0, im = 0;
        for (size_t i = 0; i < n; ++i) {
            re += x[i] * c[(k * i) % n];
            im -= x[i] * s[(k * i) % n];
        }
        if (k == 0)
            out[0] = double(re);
        else if (k == n / 2)
            out[1] = double(re);
        else {
            out[2 * k] = double(re);
            out[2 * k + 1] = double(im);
        }
    }
    return out;
}

double maxAbs(const std::vector<double>& v) {
    double m = 0;
    for (double x : v) m = std::max(m, std::fabs(x));
    return m;
}

// Largest difference relative to the largest reference value.
double relError(const std::vector<double>& got, const std::vector<double>& ref) {
    double d = 0;
    for (size_t i = 0; i < ref.size(); ++i) d = std::max(d, std::fabs(got[i] - ref[i]));
    return d / std::max(maxAbs(ref), 1e-300);
}

double fwdScale(int flag, size_t n) {
    return flag == kVecFFTDivFwdByN ? 1.0 / double(n) : flag == kVecFFTDivBySqrtN ? 1.0 / std::sqrt(double(n)) : 1.0;
}

}  // namespace

TEST(VecFFT, ForwardMatchesDirectSumInEveryBuildAndScaling) {
    for (int order = 1; order <= 11; ++order) {
        const size_t n = size_t(1) << order;
        const std::vector<double> x = randomSignal(n, unsigned(order));
        const std::vector<double> ref = directSpectrum(x);
        for (const CVecKernelTable* t : runnableBuilds()) {
            for (int flag : kFlags) {
                SCOPED_TRACE(std::string(t->name) + " order " + std::to_string(order) + " flag " +
                             std::to_string(flag));
                FFTSetup setup(*t, order, flag);
                std::vector<unsigned char> work(setup.workBytes);
                std::vector<double> got(n);
                ASSERT_EQ(t->forward(x.data(), got.data(), setup.plan, work.data()), kVecOk);
                std::vector<double> scaled = ref;
                for (double& v : scaled) v *= fwdScale(flag, n);
                EXPECT_LT(relError(got, scaled), 2e-15);
            }
        }
    }
}

TEST(VecFFT, InverseUndoesForwardInPlaceAndOut) {
    for (int order : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 18, 20}) {
        const size_t n = size_t(1) << order;
        const std::vector<double> x = randomSignal(n, 100u + unsigned(order));
        for (const CVecKernelTable* t : runnableBuilds()) {
            for (int flag : kFlags) {
                if (order > 16 && flag != kVecFFTDivInvByN) continue;  // the scalings are covered below
                SCOPED_TRACE(std::string(t->name) + " order " + std::to_string(order) + " flag " +
                             std::to_string(flag));
                FFTSetup setup(*t, order, flag);
                std::vector<unsigned char> work(setup.workBytes);
                std::vector<double> spectrum(n), back(n), inPlace = x;
                ASSERT_EQ(t->forward(x.data(), spectrum.data(), setup.plan, work.data()), kVecOk);
                ASSERT_EQ(t->inverse(spectrum.data(), back.data(), setup.plan, work.data()), kVecOk);
                ASSERT_EQ(t->forward(inPlace.data(), inPlace.data(), setup.plan, work.data()), kVecOk);
                ASSERT_EQ(inPlace, spectrum);
                ASSERT_EQ(t->inverse(inPlace.data(), inPlace.data(), setup.plan, work.data()), kVecOk);
                ASSERT_EQ(inPlace, back);
                const double gain = flag == kVecFFTNoScale ? double(n) : 1.0;
                for (double& v : back) v /= gain;
                EXPECT_LT(relError(back, x), 1e-14);
            }
        }
    }
}

TEST(VecFFT, AgreesWithFFTW) {
    for (int order = 1; order <= 20; ++order) {
        const size_t n = size_t(1) << order;
        const std::vector<double> x = randomSignal(n, 200u + unsigned(order));
        std::vector<double> in = x, fw(n + 2), fwPacked(n), back(n);
        fftw_plan fwd = fftw_plan_dft_r2c_1d(int(n), in.data(), reinterpret_cast<fftw_complex*>(fw.data()),
                                             FFTW_ESTIMATE);
        fftw_execute(fwd);
        fftw_destroy_plan(fwd);
        fwPacked[0] = fw[0];
        fwPacked[1] = fw[n];
        std::copy(fw.begin() + 2, fw.begin() + long(n), fwPacked.begin() + 2);
        // FFTW's unscaled inverse of the same spectrum.
        std::vector<double> spectrumCopy = fw;
        fftw_plan inv = fftw_plan_dft_c2r_1d(int(n), reinterpret_cast<fftw_complex*>(spectrumCopy.data()),
                                             back.data(), FFTW_ESTIMATE);
        fftw_execute(inv);
        fftw_destroy_plan(inv);

        for (const CVecKernelTable* t : runnableBuilds()) {
            SCOPED_TRACE(std::string(t->name) + " order " + std::to_string(order));
            FFTSetup setup(*t, order, kVecFFTNoScale);
            std::vector<unsigned char> work(setup.workBytes);
            std::vector<double> ours(n), oursBack(n);
            ASSERT_EQ(t->forward(x.data(), ours.data(), setup.plan, work.data()), kVecOk);
            EXPECT_LT(relError(ours, fwPacked), 1e-14);
            ASSERT_EQ(t->inverse(fwPacked.data(), oursBack.data(), setup.plan, work.data()), kVecOk);
            EXPECT_LT(relError(oursBack, back), 1e-14);
        }
    }
}

TEST(VecKernels, SimdBuildsMatchPortableAndStayInsideTheirBuffers) {
    const std::vector<const CVecKernelTable*> builds = runnableBuilds();
    const CVecKernelTable& portable = *builds.front();

    for (int order = 1; order <= 12; ++order) {
        const size_t n = size_t(1) << order;
        const std::vector<double> x = randomSignal(n, 300u + unsigned(order));
        FFTSetup ref(portable, order, kVecFFTDivInvByN);
        std::vector<unsigned char> refWork(ref.workBytes);
        std::vector<double> refSpectrum(n), refBack(n);
        portable.forward(x.data(), refSpectrum.data(), ref.plan, refWork.data());
        portable.inverse(refSpectrum.data(), refBack.data(), ref.plan, refWork.data());
        for (const CVecKernelTable* t : builds) {
            SCOPED_TRACE(std::string(t->name) + " order " + std::to_string(order));
            FFTSetup setup(*t, order, kVecFFTDivInvByN);
            Guarded in(n), out(n), work(setup.workBytes / sizeof(double));
            std::copy(x.begin(), x.end(), in.data());
            ASSERT_EQ(t->forward(in.data(), out.data(), setup.plan, work.data()), kVecOk);
            EXPECT_LT(relError(out.values(), refSpectrum), 1e-15);
            ASSERT_EQ(t->inverse(out.data(), in.data(), setup.plan, work.data()), kVecOk);
            EXPECT_LT(relError(in.values(), refBack), 1e-15);
            EXPECT_TRUE(in.intact() && out.intact() && work.intact());
        }
    }

    // Spectrum products at odd and even lengths, separate and in place.
    std::vector<int> lengths;
    for (int len = 1; len <= 40; ++len) lengths.push_back(len);
    for (int len : {255, 256, 1023, 1025}) lengths.push_back(len);
    enum Alias { Separate, OntoA, OntoB };
    for (int len : lengths) {
        const size_t n = size_t(len);
        const std::vector<double> a = randomSignal(n, 400u + unsigned(len));
        const std::vector<double> b = randomSignal(n, 500u + unsigned(len));
        const std::vector<double> acc0 = randomSignal(n, 600u + unsigned(len));
        std::vector<double> refMul(n), refMac = acc0;
        portable.mulPacked(a.data(), b.data(), refMul.data(), len);
        portable.mulAddPacked(a.data(), b.data(), refMac.data(), len);
        EXPECT_DOUBLE_EQ(refMul[0], a[0] * b[0]);
        if (n >= 3) {  // the first complex pair
            const size_t i = n % 2 ? 1 : 2;
            if (n % 2 == 0) {
                EXPECT_DOUBLE_EQ(refMul[1], a[1] * b[1]);
            }
            EXPECT_NEAR(refMul[i], a[i] * b[i] - a[i + 1] * b[i + 1], 1e-15);
            EXPECT_NEAR(refMul[i + 1], a[i] * b[i + 1] + a[i + 1] * b[i], 1e-15);
        }
        for (const CVecKernelTable* t : builds) {
            for (Alias alias : {Separate, OntoA, OntoB}) {
                SCOPED_TRACE(std::string(t->name) + " length " + std::to_string(len) + " alias " +
                             std::to_string(int(alias)));
                Guarded ga(n), gb(n), gd(n);
                std::copy(a.begin(), a.end(), ga.data());
                std::copy(b.begin(), b.end(), gb.data());
                double* dst = alias == OntoA ? ga.data() : alias == OntoB ? gb.data() : gd.data();
                ASSERT_EQ(t->mulPacked(ga.data(), gb.data(), dst, len), kVecOk);
                EXPECT_LT(relError(std::vector<double>(dst, dst + n), refMul), 1e-15);
                EXPECT_TRUE(ga.intact() && gb.intact() && gd.intact());

                Guarded acc(n);
                std::copy(acc0.begin(), acc0.end(), acc.data());
                ASSERT_EQ(t->mulAddPacked(a.data(), b.data(), acc.data(), len), kVecOk);
                EXPECT_LT(relError(acc.values(), refMac), 1e-15);
                EXPECT_TRUE(acc.intact());
            }
        }
    }
}

TEST(VecKernels, StatusesInEveryBuild) {
    double buf[8] = {};
    unsigned char mem[4096], work[1024];
    size_t s1, s2, s3;
    CVecFFTPlan *sp = nullptr, *unused = nullptr;
    for (const CVecKernelTable* t : runnableBuilds()) {
        SCOPED_TRACE(t->name);
        ASSERT_EQ(t->init(&sp, 3, kVecFFTDivInvByN, 0, mem, nullptr), kVecOk);
        const struct {
            int got, expected;
        } cases[] = {
            {t->getSize(27, 2, 0, &s1, &s2, &s3), kVecOk},
            {t->getSize(3, 2, 0, &s1, nullptr, &s3), kVecErrNullPtr},
            {t->getSize(0, 2, 0, &s1, &s2, &s3), kVecErrOrder},
            {t->getSize(28, 2, 0, &s1, &s2, &s3), kVecErrOrder},
            {t->getSize(3, 3, 0, &s1, &s2, &s3), kVecErrFlag},
            {t->getSize(3, 0, 0, &s1, &s2, &s3), kVecErrFlag},
            {t->init(nullptr, 3, 2, 0, mem, nullptr), kVecErrNullPtr},
            {t->init(&unused, 3, 2, 0, nullptr, nullptr), kVecErrNullPtr},
            {t->init(&unused, 28, 2, 0, work, nullptr), kVecErrOrder},
            {t->init(&unused, 3, 16, 0, work, nullptr), kVecErrFlag},
            {t->forward(buf, buf, nullptr, work), kVecErrNullPtr},
            {t->forward(nullptr, buf, sp, work), kVecErrNullPtr},
            {t->inverse(buf, nullptr, sp, work), kVecErrNullPtr},
            {t->inverse(buf, buf, sp, nullptr), kVecErrNullPtr},
            {t->mulPacked(buf, buf, buf, 0), kVecErrSize},
            {t->mulPacked(buf, buf, buf, -3), kVecErrSize},
            {t->mulPacked(buf, nullptr, buf, 4), kVecErrNullPtr},
            {t->mulAddPacked(buf, buf, buf, 0), kVecErrSize},
            {t->mulAddPacked(buf, buf, nullptr, 4), kVecErrNullPtr},
        };
        for (size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(cases[i].got, cases[i].expected) << "case " << i;
        EXPECT_EQ(unused, nullptr);  // failed initialisations hand out no setup
    }
    EXPECT_EQ(vecMulPacked(buf, buf, buf, 0), kVecErrSize);  // the dispatchers pass statuses on
    EXPECT_EQ(vecFFTGetSize(28, 2, 0, &s1, &s2, &s3), kVecErrOrder);
}

TEST(VecKernels, DispatchFollowsTheProcessorLevel) {
    const int cpu = vecProcessorInfo().level;
    EXPECT_EQ(vecInitDispatch(), cpu);
    EXPECT_EQ(vecActiveLevel(), cpu);
    EXPECT_EQ(vecInitDispatch(), cpu);  // idempotent
    EXPECT_EQ(vecKernelTable(kVecLevelCount), nullptr);
    EXPECT_EQ(vecKernelTable(-1), nullptr);
    if (cpu + 1 < kVecLevelCount) {
        EXPECT_FALSE(vecSelectLevel(cpu + 1));
    }

    // Each level's dispatchers run that level's build.
    const std::vector<double> a = randomSignal(33, 7), b = randomSignal(33, 8);
    for (int level = 0; level <= cpu; ++level) {
        ASSERT_TRUE(vecSelectLevel(level));
        EXPECT_EQ(vecActiveLevel(), level);
        std::vector<double> viaDispatch(33), direct(33);
        vecMulPacked(a.data(), b.data(), viaDispatch.data(), 33);
        vecKernelTable(level)->mulPacked(a.data(), b.data(), direct.data(), 33);
        EXPECT_EQ(viaDispatch, direct) << "level " << level;
    }
    vecInitDispatch();
#if defined(__x86_64__) || defined(_M_X64)
    EXPECT_GE(cpu, 1);  // SSE2 is part of x86-64
    EXPECT_EQ(std::string(vecKernelTable(1)->name), "sse2");
#endif
}

// ctest runs each test in a process of its own, so this one sees the builds
// as the library's load left them: the best this processor can run, checked
// against the compiler's own processor identification.
TEST(VecKernels, LoadSelectsTheProcessorsVectorBuild) {
    const int cpu = vecProcessorInfo().level;
    EXPECT_EQ(vecActiveLevel(), cpu);
    const std::string active = vecKernelTable(vecActiveLevel())->name;
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) {
        EXPECT_EQ(active, "avx2");
    } else if (__builtin_cpu_supports("sse2")) {
        EXPECT_EQ(active, "sse2");
    }
#endif
#if defined(__x86_64__) || defined(_M_X64)
    EXPECT_NE(active, "portable");
#endif
}

TEST(VecKernels, CorrelateMatchesTheLongDoubleSumInEveryBuild) {
    // Tap counts around the vector widths; output counts that leave every
    // kind of tail; with and without accumulation; misaligned buffers.
    for (const CVecKernelTable* t : runnableBuilds())
        for (int taps : {1, 2, 3, 5, 19, 20, 184, 509})
            for (int count : {1, 3, 15, 16, 17, 33, 50, 128, 131}) {
                SCOPED_TRACE(std::string(t->name) + " taps " + std::to_string(taps) + " count " +
                             std::to_string(count));
                const std::vector<double> rev = randomSignal(size_t(taps), 700u + unsigned(taps));
                const std::vector<double> x = randomSignal(size_t(count + taps - 1), 800u + unsigned(count));
                const std::vector<double> acc0 = randomSignal(size_t(count), 900u);
                for (int accumulate : {0, 1}) {
                    Guarded out{size_t(count)};
                    std::copy(acc0.begin(), acc0.end(), out.data());
                    ASSERT_EQ(t->correlate(rev.data(), taps, x.data(), out.data(), count, accumulate), kVecOk);
                    for (int n = 0; n < count; ++n) {
                        long double s = accumulate ? acc0[size_t(n)] : 0.0L;
                        long double mag = std::fabs(s);
                        for (int k = 0; k < taps; ++k) {
                            s += (long double)rev[size_t(k)] * x[size_t(n + k)];
                            mag += std::fabs((long double)rev[size_t(k)] * x[size_t(n + k)]);
                        }
                        ASSERT_NEAR(out[size_t(n)], double(s), 1e-15 * double(mag) + 1e-300) << n;
                    }
                    EXPECT_TRUE(out.intact());
                }
            }
    const double one = 1.0;
    double out = 0.0;
    for (const CVecKernelTable* t : runnableBuilds()) {
        EXPECT_EQ(t->correlate(nullptr, 1, &one, &out, 1, 0), kVecErrNullPtr);
        EXPECT_EQ(t->correlate(&one, 0, &one, &out, 1, 0), kVecErrSize);
        EXPECT_EQ(t->correlate(&one, 1, &one, &out, 0, 0), kVecErrSize);
    }
}

TEST(VecKernels, CorrelatePairEqualsTwoCorrelationsBitForBit) {
    // The two phases of a polyphase stage in one pass: interleaved, the two
    // correlations then the interleaving; summed, the first then the second
    // accumulating onto it. Tap counts that differ by one (odd kernels) or
    // not at all, outputs that leave every kind of tail.
    for (const CVecKernelTable* t : runnableBuilds())
        for (auto [taps0, taps1] : {std::pair{1, 1}, std::pair{20, 19}, std::pair{19, 20}, std::pair{3, 7}})
            for (int count : {1, 15, 16, 17, 50}) {
                SCOPED_TRACE(std::string(t->name) + " taps " + std::to_string(taps0) + "/" + std::to_string(taps1) +
                             " count " + std::to_string(count));
                const std::vector<double> rev0 = randomSignal(size_t(taps0), 10u);
                const std::vector<double> rev1 = randomSignal(size_t(taps1), 11u);
                const std::vector<double> x0 = randomSignal(size_t(count + taps0), 12u);
                const std::vector<double> x1 = randomSignal(size_t(count + taps1), 13u);
                const size_t n = static_cast<size_t>(count);
                std::vector<double> y0(n), y1(n), want(2 * n);
                ASSERT_EQ(t->correlate(rev0.data(), taps0, x0.data(), y0.data(), count, 0), kVecOk);
                ASSERT_EQ(t->correlate(rev1.data(), taps1, x1.data(), y1.data(), count, 0), kVecOk);
                ASSERT_EQ(t->interleave(y0.data(), y1.data(), want.data(), count), kVecOk);
                Guarded pairs{2 * size_t(count)};
                ASSERT_EQ(t->correlatePair(rev0.data(), taps0, x0.data(), rev1.data(), taps1, x1.data(), pairs.data(),
                                           count, 1),
                          kVecOk);
                EXPECT_EQ(pairs.values(), want);
                EXPECT_TRUE(pairs.intact());

                const std::vector<double> first = y0;
                ASSERT_EQ(t->correlate(rev1.data(), taps1, x1.data(), y0.data(), count, 1), kVecOk);
                Guarded summed{size_t(count)};
                ASSERT_EQ(t->correlatePair(rev0.data(), taps0, x0.data(), rev1.data(), taps1, x1.data(), summed.data(),
                                           count, 0),
                          kVecOk);
                EXPECT_EQ(summed.values(), y0);
                EXPECT_TRUE(summed.intact());

                std::vector<double> back0(n), back1(n);
                ASSERT_EQ(t->deinterleave(want.data(), back0.data(), back1.data(), count), kVecOk);
                EXPECT_EQ(back0, first);
                EXPECT_EQ(back1, y1);
            }
}

// The summed products of several pairs against one product and accumulating
// products in turn, bit for bit, in every build: odd and even lengths, short
// ones that are all head and tail, one to five pairs, with and without
// accumulating onto what the destination holds.
TEST(VecKernels, SummedProductsEqualProductsAccumulatedInTurn) {
    for (const CVecKernelTable* t : runnableBuilds()) {
        for (int len : {1, 2, 3, 7, 8, 33, 66, 101, 256}) {
            for (int count = 1; count <= 5; ++count) {
                std::vector<std::vector<double>> a, b;
                std::vector<const double*> pa, pb;
                for (int k = 0; k < count; ++k) {
                    a.push_back(randomSignal(size_t(len), unsigned(10 * k + len)));
                    b.push_back(randomSignal(size_t(len), unsigned(10 * k + len + 5)));
                }
                for (int k = 0; k < count; ++k) {
                    pa.push_back(a[size_t(k)].data());
                    pb.push_back(b[size_t(k)].data());
                }
                for (int accumulate : {0, 1}) {
                    SCOPED_TRACE(testing::Message() << t->name << ", len " << len << ", " << count << " pairs"
                                                    << (accumulate ? ", accumulating" : ""));
                    const std::vector<double> start = randomSignal(size_t(len), 99);
                    std::vector<double> expected = start;
                    Guarded got{size_t(len)};
                    std::copy(start.begin(), start.end(), got.data());
                    for (int k = 0; k < count; ++k) {
                        if (k == 0 && !accumulate)
                            t->mulPacked(pa[0], pb[0], expected.data(), len);
                        else
                            t->mulAddPacked(pa[size_t(k)], pb[size_t(k)], expected.data(), len);
                    }
                    ASSERT_EQ(t->mulSumPacked(pa.data(), pb.data(), count, got.data(), len, accumulate), kVecOk);
                    for (int i = 0; i < len; ++i)
                        ASSERT_EQ(std::memcmp(&expected[size_t(i)], &got[size_t(i)], sizeof(double)), 0)
                            << "bin " << i << ": " << expected[size_t(i)] << " != " << got[size_t(i)];
                    ASSERT_TRUE(got.intact());
                }
            }
        }
    }
}

// The transforms that write and read the split layout give the packed
// transforms' values in every build and size: the same operations, except
// where a compiler vectorises the packed form's last pairs (with fused
// multiply-adds) and not the split one's, so within rounding.
TEST(VecKernels, SplitTransformsEqualThePackedOnesWithinRounding) {
    for (const CVecKernelTable* t : runnableBuilds())
        for (int order = 1; order <= 11; ++order) {
            SCOPED_TRACE(testing::Message() << t->name << ", order " << order);
            const size_t n = size_t(1) << order;
            FFTSetup fft(*t, order, kVecFFTDivInvByN);
            std::vector<unsigned char> work(fft.workBytes + 64);
            const std::vector<double> x = randomSignal(n, unsigned(order) + 40u);
            std::vector<double> packed(n), split(n), want(n), back(n), backSplit(n);
            ASSERT_EQ(t->forward(x.data(), packed.data(), fft.plan, work.data()), kVecOk);
            ASSERT_EQ(t->forwardSplit(x.data(), split.data(), fft.plan, work.data()), kVecOk);
            vecPackedToSplit(packed.data(), want.data(), int(n));
            const double bound = 1e-15 * double(n);  // inputs within +-1: |X| <= n
            for (size_t i = 0; i < n; ++i) ASSERT_NEAR(split[i], want[i], bound) << "value " << i;
            ASSERT_EQ(t->inverse(packed.data(), back.data(), fft.plan, work.data()), kVecOk);
            ASSERT_EQ(t->inverseSplit(want.data(), backSplit.data(), fft.plan, work.data()), kVecOk);
            for (size_t i = 0; i < n; ++i) ASSERT_NEAR(backSplit[i], back[i], 1e-15 * double(n)) << "sample " << i;
            for (size_t i = 0; i < n; ++i) ASSERT_NEAR(back[i], x[i], 1e-13) << "sample " << i;
        }
}

// The split layout: a spectrum survives the way there and back, and the
// summed products of split spectra are, bit for bit, the split form of the
// packed ones (every build, lengths on and off the vector widths).
TEST(VecKernels, SplitProductsEqualThePackedOnesBitForBit) {
    for (int len : {2, 4, 6, 10, 18, 34, 66, 256, 258}) {
        const std::vector<double> x = randomSignal(size_t(len), unsigned(len));
        std::vector<double> split(x.size()), back(x.size());
        vecPackedToSplit(x.data(), split.data(), len);
        vecSplitToPacked(split.data(), back.data(), len);
        ASSERT_EQ(back, x) << "len " << len;
        for (const CVecKernelTable* t : runnableBuilds()) {
            std::vector<double> s(x.size()), p(x.size());
            ASSERT_EQ(t->packedToSplit(x.data(), s.data(), len), kVecOk);
            ASSERT_EQ(t->splitToPacked(s.data(), p.data(), len), kVecOk);
            EXPECT_EQ(s, split) << t->name << ", len " << len;
            EXPECT_EQ(p, x) << t->name << ", len " << len;
        }
        if (len >= 4) {
            EXPECT_EQ(split[2], x[2]);
            EXPECT_EQ(split[size_t(len / 2 + 1)], x[3]);  // the first imaginary part
        }
    }
    for (const CVecKernelTable* t : runnableBuilds())
        for (int len : {2, 4, 6, 10, 18, 34, 66, 256, 258})
            for (int count : {1, 2, 5, 16})
                for (int accumulate : {0, 1}) {
                    SCOPED_TRACE(testing::Message() << t->name << ", len " << len << ", " << count << " pairs"
                                                    << (accumulate ? ", accumulating" : ""));
                    const auto pairCount = static_cast<size_t>(count);
                    std::vector<std::vector<double>> a(pairCount), b(pairCount), as(pairCount), bs(pairCount);
                    std::vector<const double*> pa, pb, pas, pbs;
                    for (size_t k = 0; k < pairCount; ++k) {
                        a[k] = randomSignal(size_t(len), unsigned(7 * k + 1));
                        b[k] = randomSignal(size_t(len), unsigned(7 * k + 3));
                        as[k].resize(size_t(len));
                        bs[k].resize(size_t(len));
                        vecPackedToSplit(a[k].data(), as[k].data(), len);
                        vecPackedToSplit(b[k].data(), bs[k].data(), len);
                        pa.push_back(a[k].data());
                        pb.push_back(b[k].data());
                        pas.push_back(as[k].data());
                        pbs.push_back(bs[k].data());
                    }
                    std::vector<double> packed = randomSignal(size_t(len), 99), got(packed.size()), want(packed.size());
                    vecPackedToSplit(packed.data(), got.data(), len);
                    ASSERT_EQ(t->mulSumPacked(pa.data(), pb.data(), count, packed.data(), len, accumulate), kVecOk);
                    ASSERT_EQ(t->mulSumSplit(pas.data(), pbs.data(), count, got.data(), len, accumulate), kVecOk);
                    vecPackedToSplit(packed.data(), want.data(), len);
                    for (size_t i = 0; i < got.size(); ++i)
                        ASSERT_EQ(std::memcmp(&got[i], &want[i], sizeof(double)), 0)
                            << "value " << i << ": " << got[i] << " != " << want[i];
                }
    const double* none[1] = {nullptr};
    double d[3] = {};
    EXPECT_EQ(vecMulSumSplit(none, none, 1, d, 2, 0), kVecErrNullPtr);
    const double* one[1] = {d};
    EXPECT_EQ(vecMulSumSplit(one, one, 1, d, 3, 0), kVecErrSize);  // the split layout needs an even length
}
