#include "Audio/Processes/Gain/TinyNoise.h"

#if (defined(__x86_64__) || defined(__i386__)) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TAMBLOR_NOISE_AVX2 1
#endif

namespace {

#if TAMBLOR_NOISE_AVX2
// Whole groups of eight: the eight states of a group from its first state at
// once (one 32-bit multiply-add per lane), each state's bit 23 moved to the
// sign of the tiny value. The next group's state goes the scalar way, so the
// serial chain is one multiply-add per group. Returns the last state.
__attribute__((target("avx2"))) uint32_t addGroupsAVX2(const double* in, double* out, int groups, uint32_t s,
                                                        const uint32_t* mul, const uint32_t* add, uint64_t tinyBits) {
    const __m256i vmul = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(mul));
    const __m256i vadd = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(add));
    const __m256i tiny = _mm256_set1_epi64x(static_cast<long long>(tinyBits));
    const __m256i one = _mm256_set1_epi32(1);
    const uint32_t lastMul = mul[7], lastAdd = add[7];
    for (int g = 0; g < groups; ++g, in += 8, out += 8) {
        const __m256i st = _mm256_add_epi32(_mm256_mullo_epi32(vmul, _mm256_set1_epi32(static_cast<int>(s))), vadd);
        // (~state >> 23) & 1: 1 where bit 23 is clear, which makes the value negative.
        const __m256i bit = _mm256_andnot_si256(_mm256_srli_epi32(st, 23), one);
        const __m256i lo = _mm256_cvtepu32_epi64(_mm256_castsi256_si128(bit));
        const __m256i hi = _mm256_cvtepu32_epi64(_mm256_extracti128_si256(bit, 1));
        const __m256d v0 = _mm256_castsi256_pd(_mm256_or_si256(tiny, _mm256_slli_epi64(lo, 63)));
        const __m256d v1 = _mm256_castsi256_pd(_mm256_or_si256(tiny, _mm256_slli_epi64(hi, 63)));
        const __m256d x0 = _mm256_loadu_pd(in), x1 = _mm256_loadu_pd(in + 4);
        _mm256_storeu_pd(out, _mm256_add_pd(x0, v0));
        _mm256_storeu_pd(out + 4, _mm256_add_pd(x1, v1));
        s = lastMul * s + lastAdd;
    }
    return s;
}

const bool g_hasAVX2 = __builtin_cpu_supports("avx2");
#endif

}  // namespace

void CTinyNoise::addTo(const double* in, double* out, int n) {
    uint32_t s = m_state;
    int i = 0;
#if TAMBLOR_NOISE_AVX2
    if (g_hasAVX2 && n >= kGroup) {
        static_assert(kGroup == 8);
        const int groups = n / kGroup;
        s = addGroupsAVX2(in, out, groups, s, kJump.mul.data(), kJump.add.data(), kTinyBits);
        i = groups * kGroup;
    }
#endif
    for (; i + kGroup <= n; i += kGroup) {
        uint32_t st[kGroup];
        for (int k = 0; k < kGroup; ++k) st[k] = kJump.mul[size_t(k)] * s + kJump.add[size_t(k)];
        for (int k = 0; k < kGroup; ++k) out[i + k] = in[i + k] + value(st[k]);
        s = st[kGroup - 1];
    }
    for (; i < n; ++i) {
        s = s * kMul + kAdd;
        out[i] = in[i] + value(s);
    }
    m_state = s;
}
