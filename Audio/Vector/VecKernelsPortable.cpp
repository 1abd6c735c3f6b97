// The portable build of the vector kernels: plain C++ on scalars. It is the
// dispatchers' state before vecInitDispatch() and the build of processors
// without SIMD (or of other architectures).

#include "Audio/Vector/VecFFTCore.h"

namespace {
using K = vecbuild::Kernels<vecbuild::VecOpsScalar>;
const CVecBuild kBuild = {"portable", &K::forward, &K::inverse, &K::mulPacked, &K::mulAddPacked};
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

const CVecBuild* vecBuildPortable() { return &kBuild; }
