// Dispatch of the vector kernels and the setup they share: processor
// identification, the per-level kernel tables, the one-jump dispatchers, and
// the size query and twiddle tables (identical for every build).

#include "Audio/Vector/VecKernels.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <numbers>

#include "Audio/Vector/VecInternal.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define TAMBLOR_VEC_X86_GNU 1
#elif defined(_M_IX86) || defined(_M_X64)
#include <intrin.h>
#define TAMBLOR_VEC_X86_MSVC 1
#endif

namespace {

// ---------------------------------------------------------------- processor

#if defined(TAMBLOR_VEC_X86_GNU) || defined(TAMBLOR_VEC_X86_MSVC)
struct CpuidRegs {
    uint32_t a, b, c, d;
};

CpuidRegs cpuid(uint32_t leaf, uint32_t sub) {
    CpuidRegs r{};
#if defined(TAMBLOR_VEC_X86_GNU)
    __cpuid_count(leaf, sub, r.a, r.b, r.c, r.d);
#else
    int v[4];
    __cpuidex(v, int(leaf), int(sub));
    r = {uint32_t(v[0]), uint32_t(v[1]), uint32_t(v[2]), uint32_t(v[3])};
#endif
    return r;
}

// XCR0: which register states the operating system saves on context switch.
uint64_t readXcr0() {
#if defined(TAMBLOR_VEC_X86_GNU)
    uint32_t lo, hi;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (uint64_t(hi) << 32) | lo;
#else
    return _xgetbv(0);
#endif
}
#endif

CVecProcessorInfo identifyProcessor() {
    CVecProcessorInfo info{};
#if defined(TAMBLOR_VEC_X86_GNU) || defined(TAMBLOR_VEC_X86_MSVC)
#if defined(TAMBLOR_VEC_X86_GNU) && defined(__i386__)
    if (!__get_cpuid_max(0, nullptr)) return info;  // no CPUID instruction
#endif
    const CpuidRegs v = cpuid(0, 0);
    std::memcpy(info.vendor, &v.b, 4);
    std::memcpy(info.vendor + 4, &v.d, 4);
    std::memcpy(info.vendor + 8, &v.c, 4);
    info.vendor[12] = 0;
    if (v.a < 1) return info;

    const CpuidRegs f = cpuid(1, 0);
    const bool sse2 = f.d & (1u << 26);
    const bool sse3 = f.c & (1u << 0);
    const bool ssse3 = f.c & (1u << 9);
    const bool sse41 = f.c & (1u << 19), sse42 = f.c & (1u << 20);
    const bool fma = f.c & (1u << 12);
    const bool osxsave = f.c & (1u << 27);
    const bool avx = f.c & (1u << 28);
    const bool avxOs = osxsave && avx && (readXcr0() & 6) == 6;  // XMM and YMM state saved
    const bool avx2 = v.a >= 7 && (cpuid(7, 0).b & (1u << 5));

    if (!sse2) return info;
    info.level = 1;
    if (sse3) info.level = 2;
    if (sse3 && ssse3) info.level = 3;
    if (info.level == 3 && sse41 && sse42) info.level = 4;
    if (info.level == 4 && avxOs) info.level = 5;
    if (info.level == 5 && avx2 && fma) info.level = 6;
#endif
    return info;
}

// ---------------------------------------------------------------- tables

// The build behind each level; a build that is not compiled in gives way to
// the next lower one.
const CVecBuild* buildForLevel(int level) {
    using BuildFn = const CVecBuild* (*)();
    static constexpr BuildFn kLevelBuilds[kVecLevelCount] = {
        vecBuildPortable, vecBuildSSE2, vecBuildSSE2, vecBuildSSE2, vecBuildSSE2, vecBuildSSE2, vecBuildAVX2};
    for (int l = level; l > 0; --l)
        if (const CVecBuild* b = kLevelBuilds[l]()) return b;
    return vecBuildPortable();
}

struct CLevelTables {
    CVecKernelTable level[kVecLevelCount];
    CLevelTables() {
        for (int l = 0; l < kVecLevelCount; ++l) {
            const CVecBuild* b = buildForLevel(l);
            level[l] = {b->name,      &vecSharedGetSize, &vecSharedInit,   b->forward,
                        b->inverse, b->mulPacked,      b->mulAddPacked, b->correlate, b->mulSumPacked,
                        b->mulSumSplit, b->packedToSplit, b->splitToPacked, b->forwardSplit, b->inverseSplit,
                        b->interleave, b->deinterleave, b->correlatePair};
        }
    }
};

const CLevelTables& levelTables() {
    static const CLevelTables tables;
    return tables;
}

// The dispatchers' targets. Constant-initialised to the portable build, so
// the kernels work before (or without) vecInitDispatch().
struct CDispatch {
    std::atomic<int (*)(int, int, int, size_t*, size_t*, size_t*)> getSize{&vecSharedGetSize};
    std::atomic<int (*)(CVecFFTPlan**, int, int, int, void*, void*)> init{&vecSharedInit};
    std::atomic<VecForwardFn> forward{&vecPortableForward};
    std::atomic<VecInverseFn> inverse{&vecPortableInverse};
    std::atomic<VecMulFn> mulPacked{&vecPortableMulPacked};
    std::atomic<VecMulFn> mulAddPacked{&vecPortableMulAddPacked};
    std::atomic<VecCorrelateFn> correlate{&vecPortableCorrelate};
    std::atomic<VecMulSumFn> mulSumPacked{&vecPortableMulSumPacked};
    std::atomic<VecMulSumFn> mulSumSplit{&vecPortableMulSumSplit};
    std::atomic<VecLayoutFn> packedToSplit{&vecPortablePackedToSplit};
    std::atomic<VecLayoutFn> splitToPacked{&vecPortableSplitToPacked};
    std::atomic<VecForwardFn> forwardSplit{&vecPortableForwardSplit};
    std::atomic<VecInverseFn> inverseSplit{&vecPortableInverseSplit};
    std::atomic<VecInterleaveFn> interleave{&vecPortableInterleave};
    std::atomic<VecDeinterleaveFn> deinterleave{&vecPortableDeinterleave};
    std::atomic<VecCorrelatePairFn> correlatePair{&vecPortableCorrelatePair};
    std::atomic<int> level{0};
};
constinit CDispatch s_dispatch;

void activate(int level) {
    const CVecKernelTable& t = levelTables().level[level];
    constexpr auto rel = std::memory_order_release;
    s_dispatch.getSize.store(t.getSize, rel);
    s_dispatch.init.store(t.init, rel);
    s_dispatch.forward.store(t.forward, rel);
    s_dispatch.inverse.store(t.inverse, rel);
    s_dispatch.mulPacked.store(t.mulPacked, rel);
    s_dispatch.mulAddPacked.store(t.mulAddPacked, rel);
    s_dispatch.correlate.store(t.correlate, rel);
    s_dispatch.mulSumPacked.store(t.mulSumPacked, rel);
    s_dispatch.mulSumSplit.store(t.mulSumSplit, rel);
    s_dispatch.packedToSplit.store(t.packedToSplit, rel);
    s_dispatch.splitToPacked.store(t.splitToPacked, rel);
    s_dispatch.forwardSplit.store(t.forwardSplit, rel);
    s_dispatch.inverseSplit.store(t.inverseSplit, rel);
    s_dispatch.interleave.store(t.interleave, rel);
    s_dispatch.deinterleave.store(t.deinterleave, rel);
    s_dispatch.correlatePair.store(t.correlatePair, rel);
    s_dispatch.level.store(level, rel);
}

// ---------------------------------------------------------------- setup

bool validFlag(int flag) {
    return flag == kVecFFTDivFwdByN || flag == kVecFFTDivInvByN || flag == kVecFFTDivBySqrtN ||
           flag == kVecFFTNoScale;
}

size_t roundUp(size_t n, size_t a) { return (n + a - 1) / a * a; }

int radix4Passes(size_t half) {
    int passes = 0;
    for (size_t n = half; n >= 4; n /= 4) ++passes;
    return passes;
}

size_t tableDoubles(size_t half) {
    size_t total = 2 * half;  // split pass: cos, sin
    for (size_t n = half; n >= 4; n /= 4) total += 6 * (n / 4);
    return total;
}

// (cos, sin) of 2 pi j / n, reduced to the first octant so that the
// quadrant points come out exact and every value is within an ulp or so.
void unitRoot(size_t j, size_t n, double& c, double& s) {
    j %= n;
    const size_t quadrant = 4 * j / n;
    size_t r = 4 * j - quadrant * n;  // angle within the quadrant: (pi/2) r / n
    bool complement = false;
    if (2 * r > n) {
        r = n - r;
        complement = true;
    }
    const double theta = std::numbers::pi / 2 * double(r) / double(n);
    double c0 = std::cos(theta), s0 = std::sin(theta);
    if (complement) {
        const double t = c0;
        c0 = s0;
        s0 = t;
    }
    switch (quadrant) {
        case 0: c = c0; s = s0; break;
        case 1: c = -s0; s = c0; break;
        case 2: c = -c0; s = -s0; break;
        default: c = s0; s = -c0; break;
    }
}

}  // namespace

// ---------------------------------------------------------------- shared setup

int vecSharedGetSize(int order, int flag, int /*hint*/, size_t* planSize, size_t* initBufferSize,
                     size_t* workSize) {
    if (!planSize || !initBufferSize || !workSize) return kVecErrNullPtr;
    if (order < kVecFFTMinOrder || order > kVecFFTMaxOrder) return kVecErrOrder;
    if (!validFlag(flag)) return kVecErrFlag;
    const size_t half = size_t(1) << (order - 1);
    *planSize = kVecAlign + roundUp(sizeof(CVecFFTPlan), kVecAlign) + tableDoubles(half) * sizeof(double);
    *initBufferSize = 0;
    *workSize = kVecAlign + 4 * half * sizeof(double);
    return kVecOk;
}

int vecSharedInit(CVecFFTPlan** plan, int order, int flag, int /*hint*/, void* planMem, void* /*initBuffer*/) {
    if (!plan || !planMem) return kVecErrNullPtr;
    if (order < kVecFFTMinOrder || order > kVecFFTMaxOrder) return kVecErrOrder;
    if (!validFlag(flag)) return kVecErrFlag;

    CVecFFTPlan* sp = reinterpret_cast<CVecFFTPlan*>(vecAlignUp(planMem));
    std::memset(static_cast<void*>(sp), 0, sizeof(CVecFFTPlan));
    const size_t n = size_t(1) << order, half = n / 2;
    sp->order = order;
    sp->flag = flag;
    sp->length = n;
    sp->half = half;
    sp->radix4Passes = radix4Passes(half);
    const double inv = 1.0 / double(n), invSqrt = 1.0 / std::sqrt(double(n));
    sp->fwdScale = flag == kVecFFTDivFwdByN ? inv : flag == kVecFFTDivBySqrtN ? invSqrt : 1.0;
    sp->invScale = flag == kVecFFTDivInvByN ? inv : flag == kVecFFTDivBySqrtN ? invSqrt : 1.0;

    double* t = reinterpret_cast<double*>(reinterpret_cast<char*>(sp) + roundUp(sizeof(CVecFFTPlan), kVecAlign));
    int pass = 0;
    for (size_t len = half; len >= 4; len /= 4, ++pass) {
        const size_t m = len / 4;
        sp->passTwiddles[pass] = t;
        for (size_t p = 0; p < m; ++p) {
            for (size_t k = 1; k <= 3; ++k) {
                double c, s;
                unitRoot(k * p, len, c, s);
                t[(2 * k - 2) * m + p] = c;
                t[(2 * k - 1) * m + p] = -s;
            }
        }
        t += 6 * m;
    }
    sp->splitCos = t;
    sp->splitSin = t + half;
    for (size_t k = 0; k < half; ++k) unitRoot(k, n, t[k], t[half + k]);

    sp->magic = CVecFFTPlan::kMagic;
    *plan = sp;
    return kVecOk;
}

// ---------------------------------------------------------------- dispatchers

int vecFFTGetSize(int order, int flag, int hint, size_t* planSize, size_t* initBufferSize, size_t* workSize) {
    return s_dispatch.getSize.load(std::memory_order_relaxed)(order, flag, hint, planSize, initBufferSize,
                                                              workSize);
}

int vecFFTInit(CVecFFTPlan** plan, int order, int flag, int hint, void* planMem, void* initBuffer) {
    return s_dispatch.init.load(std::memory_order_relaxed)(plan, order, flag, hint, planMem, initBuffer);
}

int vecFFTForward(const double* src, double* dst, const CVecFFTPlan* plan, void* work) {
    return s_dispatch.forward.load(std::memory_order_relaxed)(src, dst, plan, work);
}

int vecFFTInverse(const double* src, double* dst, const CVecFFTPlan* plan, void* work) {
    return s_dispatch.inverse.load(std::memory_order_relaxed)(src, dst, plan, work);
}

int vecMulPacked(const double* a, const double* b, double* dst, int len) {
    return s_dispatch.mulPacked.load(std::memory_order_relaxed)(a, b, dst, len);
}

int vecMulAddPacked(const double* a, const double* b, double* acc, int len) {
    return s_dispatch.mulAddPacked.load(std::memory_order_relaxed)(a, b, acc, len);
}

int vecMulSumPacked(const double* const* a, const double* const* b, int count, double* dst, int len, int accumulate) {
    return s_dispatch.mulSumPacked.load(std::memory_order_relaxed)(a, b, count, dst, len, accumulate);
}

int vecFFTForwardSplit(const double* src, double* dst, const CVecFFTPlan* plan, void* work) {
    return s_dispatch.forwardSplit.load(std::memory_order_relaxed)(src, dst, plan, work);
}

int vecFFTInverseSplit(const double* src, double* dst, const CVecFFTPlan* plan, void* work) {
    return s_dispatch.inverseSplit.load(std::memory_order_relaxed)(src, dst, plan, work);
}

int vecMulSumSplit(const double* const* a, const double* const* b, int count, double* dst, int len, int accumulate) {
    return s_dispatch.mulSumSplit.load(std::memory_order_relaxed)(a, b, count, dst, len, accumulate);
}

void vecPackedToSplit(const double* src, double* dst, int len) {
    s_dispatch.packedToSplit.load(std::memory_order_relaxed)(src, dst, len);
}

void vecSplitToPacked(const double* src, double* dst, int len) {
    s_dispatch.splitToPacked.load(std::memory_order_relaxed)(src, dst, len);
}

int vecCorrelate(const double* rev, int taps, const double* x, double* out, int count, int accumulate) {
    return s_dispatch.correlate.load(std::memory_order_relaxed)(rev, taps, x, out, count, accumulate);
}

int vecCorrelatePair(const double* rev0, int taps0, const double* x0, const double* rev1, int taps1, const double* x1,
                     double* out, int count, int interleave) {
    return s_dispatch.correlatePair.load(std::memory_order_relaxed)(rev0, taps0, x0, rev1, taps1, x1, out, count,
                                                                    interleave);
}

void vecInterleave(const double* a, const double* b, double* dst, int n) {
    s_dispatch.interleave.load(std::memory_order_relaxed)(a, b, dst, n);
}

void vecDeinterleave(const double* src, double* a, double* b, int n) {
    s_dispatch.deinterleave.load(std::memory_order_relaxed)(src, a, b, n);
}

int vecFFTOrder(const CVecFFTPlan* plan) { return plan ? plan->order : 0; }
int vecFFTFlag(const CVecFFTPlan* plan) { return plan ? plan->flag : 0; }

// ---------------------------------------------------------------- level selection

const CVecProcessorInfo& vecProcessorInfo() {
    static const CVecProcessorInfo info = identifyProcessor();
    return info;
}

int vecInitDispatch() {
    const int level = vecProcessorInfo().level;
    activate(level);
    return level;
}

namespace {
// The processor's builds are chosen when the library is loaded, so neither
// the plug-in module nor a tool has to remember the call. (Kernels run from
// other units' static initialisers before this one get the portable build,
// which computes the same result.)
[[maybe_unused]] const int s_loadLevel = vecInitDispatch();
}  // namespace

int vecActiveLevel() { return s_dispatch.level.load(std::memory_order_acquire); }

bool vecSelectLevel(int level) {
    if (level < 0 || level > vecProcessorInfo().level) return false;
    activate(level);
    return true;
}

const CVecKernelTable* vecKernelTable(int level) {
    if (level < 0 || level > vecProcessorInfo().level) return nullptr;
    return &levelTables().level[level];
}
