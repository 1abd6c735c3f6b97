// The SSE2 build of the vector kernels (two doubles per vector). On 32-bit
// x86 this unit alone is compiled with SSE2 enabled (cmake/VectorKernels.cmake).

#include "Audio/Vector/VecInternal.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)

#include <emmintrin.h>

#include "Audio/Vector/VecFFTCore.h"

namespace vecbuild {
namespace {

struct VecOpsSSE2 {
    using V = __m128d;
    static constexpr size_t W = 2;
    static V load(const double* p) { return _mm_loadu_pd(p); }
    static void store(double* p, V v) { _mm_storeu_pd(p, v); }
    static V set1(double x) { return _mm_set1_pd(x); }
    static V add(V a, V b) { return _mm_add_pd(a, b); }
    static V sub(V a, V b) { return _mm_sub_pd(a, b); }
    static V mul(V a, V b) { return _mm_mul_pd(a, b); }
    static V mulAdd(V a, V b, V c) { return _mm_add_pd(_mm_mul_pd(a, b), c); }
    static V mulSub(V a, V b, V c) { return _mm_sub_pd(_mm_mul_pd(a, b), c); }
    static V negMulAdd(V a, V b, V c) { return _mm_sub_pd(c, _mm_mul_pd(a, b)); }
    static V neg(V a) { return _mm_xor_pd(a, _mm_set1_pd(-0.0)); }
    static V reverse(V a) { return _mm_shuffle_pd(a, a, 1); }
    static void loadPairs(const double* p, V& re, V& im) {
        const V v0 = _mm_loadu_pd(p), v1 = _mm_loadu_pd(p + 2);
        re = _mm_unpacklo_pd(v0, v1);
        im = _mm_unpackhi_pd(v0, v1);
    }
    static void storePairs(double* p, V re, V im) {
        _mm_storeu_pd(p, _mm_unpacklo_pd(re, im));
        _mm_storeu_pd(p + 2, _mm_unpackhi_pd(re, im));
    }
    static void storeTransposed(double* p, V y0, V y1, V y2, V y3) {
        _mm_storeu_pd(p, _mm_unpacklo_pd(y0, y1));
        _mm_storeu_pd(p + 2, _mm_unpacklo_pd(y2, y3));
        _mm_storeu_pd(p + 4, _mm_unpackhi_pd(y0, y1));
        _mm_storeu_pd(p + 6, _mm_unpackhi_pd(y2, y3));
    }
};

using K = Kernels<VecOpsSSE2>;
const CVecBuild kBuild = {"sse2", &K::forward<false>, &K::inverse<false>, &K::mulPacked, &K::mulAddPacked, &K::correlate,
                          &K::mulSumPacked, &K::mulSumSplit, &K::packedToSplit, &K::splitToPacked,
                          &K::forward<true>, &K::inverse<true>, &K::interleave, &K::deinterleave2,
                          &K::correlatePair};

}  // namespace
}  // namespace vecbuild

const CVecBuild* vecBuildSSE2() { return &vecbuild::kBuild; }

#else

const CVecBuild* vecBuildSSE2() { return nullptr; }

#endif
