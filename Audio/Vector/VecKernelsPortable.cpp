// The portable build of the vector kernels: plain C++ on scalars. It is the
// dispatchers' state before vecInitDispatch() and the build of processors
// without SIMD (or of other architectures).

#include "Audio/Vector/VecFFTCore.h"

namespace {
using K = vecbuild::Kernels<vecbuild::VecOpsScalar>;
const CVecBuild kBuild = {"portable", &K::forward<false>, &K::inverse<false>, &K::mulPacked, &K::mulAddPacked, &K::correlate,
                          &K::mulSumPacked, &K::mulSumSplit, &K::packedToSplit, &K::splitToPacked,
                          &K::forward<true>, &K::inverse<true>, &K::interleave, &K::deinterleave2,
                          &K::correlatePair};
}  // namespace

int vecPortableForward(const double* src, double* dst, const CVecFFTPlan* plan, void* work) {
    return K::forward(src, dst, plan, work);
}
int vecPortableInverse(const double* src, double* dst, const CVecFFTPlan* plan, void* work) {
    return K::inverse(src, dst, plan, work);
}
int vecPortableMulPacked(const double* a, const double* b, double* dst, int len) {
    return K::mulPacked(a, b, dst, len);
}
int vecPortableMulAddPacked(const double* a, const double* b, double* acc, int len) {
    return K::mulAddPacked(a, b, acc, len);
}

int vecPortableMulSumPacked(const double* const* a, const double* const* b, int count, double* dst, int len,
                            int accumulate) {
    return K::mulSumPacked(a, b, count, dst, len, accumulate);
}

int vecPortableMulSumSplit(const double* const* a, const double* const* b, int count, double* dst, int len,
                           int accumulate) {
    return K::mulSumSplit(a, b, count, dst, len, accumulate);
}

int vecPortablePackedToSplit(const double* src, double* dst, int len) { return K::packedToSplit(src, dst, len); }
int vecPortableSplitToPacked(const double* src, double* dst, int len) { return K::splitToPacked(src, dst, len); }

int vecPortableForwardSplit(const double* src, double* dst, const CVecFFTPlan* plan, void* work) {
    return K::forward<true>(src, dst, plan, work);
}
int vecPortableInverseSplit(const double* src, double* dst, const CVecFFTPlan* plan, void* work) {
    return K::inverse<true>(src, dst, plan, work);
}

int vecPortableInterleave(const double* a, const double* b, double* dst, int n) {
    return K::interleave(a, b, dst, n);
}
int vecPortableDeinterleave(const double* src, double* a, double* b, int n) { return K::deinterleave2(src, a, b, n); }
int vecPortableCorrelatePair(const double* rev0, int taps0, const double* x0, const double* rev1, int taps1,
                             const double* x1, double* out, int count, int interleave) {
    return K::correlatePair(rev0, taps0, x0, rev1, taps1, x1, out, count, interleave);
}
int vecPortableCorrelate(const double* rev, int taps, const double* x, double* out, int count, int accumulate) {
    return K::correlate(rev, taps, x, out, count, accumulate);
}

const CVecBuild* vecBuildPortable() { return &kBuild; }
