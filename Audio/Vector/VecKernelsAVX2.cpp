// The AVX2 + FMA build of the vector kernels (four doubles per vector). This
// unit alone is compiled with -mavx2 -mfma (cmake/VectorKernels.cmake); it is
// only ever called after CPUID and the operating system have confirmed both.

#include "Audio/Vector/VecInternal.h"

#if defined(__AVX2__) && (defined(__FMA__) || defined(_MSC_VER))

#include <immintrin.h>

#include "Audio/Vector/VecFFTCore.h"

namespace vecbuild {
namespace {

struct VecOpsAVX2 {
    using V = __m256d;
    static constexpr size_t W = 4;
    static V load(const double* p) { return _mm256_loadu_pd(p); }
    static void store(double* p, V v) { _mm256_storeu_pd(p, v); }
    static V set1(double x) { return _mm256_set1_pd(x); }
    static V add(V a, V b) { return _mm256_add_pd(a, b); }
    static V sub(V a, V b) { return _mm256_sub_pd(a, b); }
    static V mul(V a, V b) { return _mm256_mul_pd(a, b); }
    static V mulAdd(V a, V b, V c) { return _mm256_fmadd_pd(a, b, c); }
    static V mulSub(V a, V b, V c) { return _mm256_fmsub_pd(a, b, c); }
    static V negMulAdd(V a, V b, V c) { return _mm256_fnmadd_pd(a, b, c); }
    static V neg(V a) { return _mm256_xor_pd(a, _mm256_set1_pd(-0.0)); }
    static V reverse(V a) { return _mm256_permute4x64_pd(a, 0x1B); }
    // The halves are loaded and stored as 128-bit pieces (an insert from
    // memory or an extract to memory needs no shuffle unit), so a group of
    // pairs costs two in-lane unpacks and no lane-crossing permutes.
    static void loadPairs(const double* p, V& re, V& im) {
        const __m128d p0 = _mm_loadu_pd(p), p1 = _mm_loadu_pd(p + 2);                      // r0 i0, r1 i1
        const V t0 = _mm256_insertf128_pd(_mm256_castpd128_pd256(p0), _mm_loadu_pd(p + 4), 1);  // r0 i0 r2 i2
        const V t1 = _mm256_insertf128_pd(_mm256_castpd128_pd256(p1), _mm_loadu_pd(p + 6), 1);  // r1 i1 r3 i3
        re = _mm256_unpacklo_pd(t0, t1);
        im = _mm256_unpackhi_pd(t0, t1);
    }
    static void storePairs(double* p, V re, V im) {
        const V lo = _mm256_unpacklo_pd(re, im);  // r0 i0 r2 i2
        const V hi = _mm256_unpackhi_pd(re, im);  // r1 i1 r3 i3
        _mm_storeu_pd(p, _mm256_castpd256_pd128(lo));
        _mm_storeu_pd(p + 2, _mm256_castpd256_pd128(hi));
        _mm_storeu_pd(p + 4, _mm256_extractf128_pd(lo, 1));
        _mm_storeu_pd(p + 6, _mm256_extractf128_pd(hi, 1));
    }
    static void storeTransposed(double* p, V y0, V y1, V y2, V y3) {
        const V t0 = _mm256_unpacklo_pd(y0, y1), t1 = _mm256_unpackhi_pd(y0, y1);
        const V t2 = _mm256_unpacklo_pd(y2, y3), t3 = _mm256_unpackhi_pd(y2, y3);
        _mm256_storeu_pd(p, _mm256_permute2f128_pd(t0, t2, 0x20));
        _mm256_storeu_pd(p + 4, _mm256_permute2f128_pd(t1, t3, 0x20));
        _mm256_storeu_pd(p + 8, _mm256_permute2f128_pd(t0, t2, 0x31));
        _mm256_storeu_pd(p + 12, _mm256_permute2f128_pd(t1, t3, 0x31));
    }
};

using K = Kernels<VecOpsAVX2>;
const CVecBuild kBuild = {"avx2", &K::forward<false>, &K::inverse<false>, &K::mulPacked, &K::mulAddPacked, &K::correlate,
                          &K::mulSumPacked, &K::mulSumSplit, &K::packedToSplit, &K::splitToPacked,
                          &K::forward<true>, &K::inverse<true>, &K::interleave, &K::deinterleave2,
                          &K::correlatePair};

}  // namespace
}  // namespace vecbuild

const CVecBuild* vecBuildAVX2() { return &vecbuild::kBuild; }

#else

const CVecBuild* vecBuildAVX2() { return nullptr; }

#endif
