#pragma once
// Internals shared by the builds of the vector kernels: the layout of an
// initialised transform setup and the entry points each build provides.
// Included by the processor-specific translation units, so it pulls in no
// library templates (an inline function instantiated in an AVX2 unit could
// otherwise be picked by the linker for portable callers).

#include <cstddef>
#include <cstdint>

#include "Audio/Vector/VecKernels.h"

// Real transform of N = 2M points through a complex transform of M points
// (radix-4 Stockham passes, ending in a radix-8 one when log2 M is odd) and
// a split pass that separates the spectra of the even and odd samples.
struct CVecFFTPlan {
    static constexpr uint32_t kMagic = 0x46465654u;
    static constexpr int kMaxRadix4Passes = 13;

    uint32_t magic;
    int order;
    int flag;
    int radix4Passes;        // passes of size n = M, M/4, ... while n >= 4
    size_t length;           // N
    size_t half;             // M = N / 2
    double fwdScale;
    double invScale;
    // Per radix-4 pass of size n: six arrays of n/4 values each,
    // Re w^p, Im w^p, Re w^2p, Im w^2p, Re w^3p, Im w^3p with w = e^(-2 pi i / n).
    const double* passTwiddles[kMaxRadix4Passes];
    // cos(2 pi k / N) and sin(2 pi k / N) for k = 0 ... M-1 (split pass).
    const double* splitCos;
    const double* splitSin;
};

// Alignment the kernels give their tables and work areas.
inline constexpr size_t kVecAlign = 64;

inline double* vecAlignUp(void* p) {
    const uintptr_t a = (reinterpret_cast<uintptr_t>(p) + (kVecAlign - 1)) & ~uintptr_t(kVecAlign - 1);
    return reinterpret_cast<double*>(a);
}

using VecForwardFn = int (*)(const double*, double*, const CVecFFTPlan*, void*);
using VecInverseFn = int (*)(const double*, double*, const CVecFFTPlan*, void*);
using VecMulFn = int (*)(const double*, const double*, double*, int);
using VecCorrelateFn = int (*)(const double*, int, const double*, double*, int, int);
using VecInterleaveFn = int (*)(const double*, const double*, double*, int);
using VecDeinterleaveFn = int (*)(const double*, double*, double*, int);
using VecCorrelatePairFn = int (*)(const double*, int, const double*, const double*, int, const double*, double*,
                                   int, int);
using VecMulSumFn = int (*)(const double* const*, const double* const*, int, double*, int, int);
using VecLayoutFn = int (*)(const double*, double*, int);

// The transforms and products of one build.
struct CVecBuild {
    const char* name;
    VecForwardFn forward;
    VecInverseFn inverse;
    VecMulFn mulPacked;
    VecMulFn mulAddPacked;
    VecCorrelateFn correlate;
    VecMulSumFn mulSumPacked;
    VecMulSumFn mulSumSplit;
    VecLayoutFn packedToSplit;
    VecLayoutFn splitToPacked;
    VecForwardFn forwardSplit;
    VecInverseFn inverseSplit;
    VecInterleaveFn interleave;
    VecDeinterleaveFn deinterleave;
    VecCorrelatePairFn correlatePair;
};

// The portable build: always present, and the dispatchers' state before
// vecInitDispatch().
int vecPortableForward(const double* src, double* dst, const CVecFFTPlan* plan, void* work);
int vecPortableInverse(const double* src, double* dst, const CVecFFTPlan* plan, void* work);
int vecPortableMulPacked(const double* a, const double* b, double* dst, int len);
int vecPortableMulAddPacked(const double* a, const double* b, double* acc, int len);
int vecPortableCorrelate(const double* rev, int taps, const double* x, double* out, int count, int accumulate);
int vecPortableInterleave(const double* a, const double* b, double* dst, int n);
int vecPortableDeinterleave(const double* src, double* a, double* b, int n);
int vecPortableCorrelatePair(const double* rev0, int taps0, const double* x0, const double* rev1, int taps1,
                             const double* x1, double* out, int count, int interleave);
int vecPortableMulSumPacked(const double* const* a, const double* const* b, int count, double* dst, int len,
                            int accumulate);
int vecPortableMulSumSplit(const double* const* a, const double* const* b, int count, double* dst, int len,
                           int accumulate);
int vecPortableForwardSplit(const double* src, double* dst, const CVecFFTPlan* plan, void* work);
int vecPortableInverseSplit(const double* src, double* dst, const CVecFFTPlan* plan, void* work);
int vecPortablePackedToSplit(const double* src, double* dst, int len);
int vecPortableSplitToPacked(const double* src, double* dst, int len);

// The processor-specific builds; nullptr when a build is not compiled in.
const CVecBuild* vecBuildPortable();
const CVecBuild* vecBuildSSE2();
const CVecBuild* vecBuildAVX2();

// Size query and setup, shared by every build (the tables do not depend on
// the instruction set).
int vecSharedGetSize(int order, int flag, int hint, size_t* planSize, size_t* initBufferSize,
                     size_t* workSize);
int vecSharedInit(CVecFFTPlan** plan, int order, int flag, int hint, void* planMem, void* initBuffer);
