#include "Audio/Graph/ProcessBase.h"

#include <algorithm>
#include <cmath>

#include "Audio/Params/AudioParam.h"
#include "Audio/Graph/ProcessDef.h"
#include "Audio/Vector/Dual.h"

#if TAMBLOR_HAVE_DUAL && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TAMBLOR_SCAN_AVX2 1
#endif

namespace {

// True when x[0 .. n) holds a NaN or an infinity. x * 0 is NaN exactly for
// those and a zero for every finite x, so running sums of x * 0 turn NaN
// exactly when the block has one. Eight sums in four registers keep four
// additions in flight at once (where pairs of doubles are in registers).
bool hasNonFinite(const double* x, int n) {
    int i = 0;
    double sum = 0.0;
#if TAMBLOR_HAVE_DUAL
    CDual s0(0.0), s1(0.0), s2(0.0), s3(0.0);
    const CDual zero(0.0);
    for (; i + 8 <= n; i += 8) {
        s0 += CDual(_mm_loadu_pd(x + i)) * zero;
        s1 += CDual(_mm_loadu_pd(x + i + 2)) * zero;
        s2 += CDual(_mm_loadu_pd(x + i + 4)) * zero;
        s3 += CDual(_mm_loadu_pd(x + i + 6)) * zero;
    }
    const CDual t = (s0 + s1) + (s2 + s3);
    sum = t.lane0() + t.lane1();
#endif
    for (; i < n; ++i) sum += x[i] * 0.0;
    return std::isnan(sum);
}

#if TAMBLOR_SCAN_AVX2
// The same sums four doubles at a time, each step one fused multiply-add
// (x * 0 + s), on processors that have them: a quarter of the instructions.
__attribute__((target("avx2,fma"))) bool hasNonFiniteAVX2(const double* x, int n) {
    int i = 0;
    __m256d s0 = _mm256_setzero_pd(), s1 = s0, s2 = s0, s3 = s0;
    const __m256d zero = _mm256_setzero_pd();
    for (; i + 16 <= n; i += 16) {
        s0 = _mm256_fmadd_pd(_mm256_loadu_pd(x + i), zero, s0);
        s1 = _mm256_fmadd_pd(_mm256_loadu_pd(x + i + 4), zero, s1);
        s2 = _mm256_fmadd_pd(_mm256_loadu_pd(x + i + 8), zero, s2);
        s3 = _mm256_fmadd_pd(_mm256_loadu_pd(x + i + 12), zero, s3);
    }
    const __m256d t = _mm256_add_pd(_mm256_add_pd(s0, s1), _mm256_add_pd(s2, s3));
    const __m128d h = _mm_add_pd(_mm256_castpd256_pd128(t), _mm256_extractf128_pd(t, 1));
    double sum = _mm_cvtsd_f64(_mm_add_sd(h, _mm_unpackhi_pd(h, h)));
    for (; i < n; ++i) sum += x[i] * 0.0;
    return std::isnan(sum);
}

using NonFiniteScan = bool (*)(const double*, int);
const NonFiniteScan g_hasNonFinite =
    __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? hasNonFiniteAVX2 : hasNonFinite;
#else
const auto g_hasNonFinite = hasNonFinite;
#endif

}  // namespace

bool CAudioProcessBase::clearNonFiniteOutputs(int frames) {
    // What the process hands on: its own buffers, or buffers of its parts (a
    // switch hands on its active child's, a resampler its chain's). An input
    // handed on as it came was checked where it was made.
    const int channels = std::min(outputChannels(), audio::kMaxChannels);
    auto handedOn = [&](const double* x) {
        for (const CPortBuffers& in : m_inputs)
            for (int ch = 0; ch < in.channels; ++ch)
                if (in.ch[ch] == x) return true;
        return false;
    };
    bool any = false;
    for (int p = 0; p < outputPortCount(); ++p) {
        if (!outputPortUsed(p)) continue;  // nobody reads it
        for (int ch = 0; ch < channels; ++ch) {
            const double* x = outputChannel(p, ch);
            if (!x || handedOn(x) || !g_hasNonFinite(x, frames)) continue;
            any = true;
            double* w = const_cast<double*>(x);  // a buffer of this process or of its parts
            for (int i = 0; i < frames; ++i)
                if (!std::isfinite(w[i])) w[i] = 0.0;
        }
    }
    return any;
}

void CPortStorage::allocate(int ports, int channels, int frames) {
    m_ports = ports;
    m_channels = channels;
    m_frames = frames;
    m_data.allocate(size_t(ports) * size_t(channels) * size_t(frames));
}

CAudioProcessBase::CAudioProcessBase() { m_inputs.resize(1); }
CAudioProcessBase::~CAudioProcessBase() = default;

CError CAudioProcessBase::build(const CAudioProcessDefBase& def, CAudioProcessBuild&) {
    m_def = &def;
    return {};
}

CError CAudioProcessBase::prepare(const CProcessConfig& config) {
    m_config = config;
    m_rate = config.maxSampleRate;
    m_channels = config.maxChannels;
    m_out.allocate(std::max(1, outputPortCount()), maxOutputChannels(config.maxChannels),
                   config.framesAt(maxOutputRate(config.maxSampleRate)));
    return {};
}

void CAudioProcessBase::setInputPortCount(int n) {
    m_inputs.resize(size_t(std::max(n, inputPortCount())));
}

CString CAudioProcessBase::paramAliasPrefix() const {
    for (const CObject* o = parent(); o; o = o->parent())
        if (auto* p = dynamic_cast<const CAudioProcessBase*>(o)) return p->childAliasPrefix(*this);
    return fullName();
}
