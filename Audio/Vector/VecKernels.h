#pragma once
// Vector kernels: a real FFT in 64-bit floating point for N = 2^1 ... 2^27 and
// the products of spectra that fast convolution needs.
//
// Spectra use the packed layout of N reals:
//     [R0, R(N/2), R1, I1, R2, I2, ..., R(N/2-1), I(N/2-1)]
// (R0 and R(N/2) are the real DC and Nyquist terms). For an odd length the
// layout is [R0, R1, I1, ...]; only the spectrum products take odd lengths.
//
// The kernels exist in several builds (portable C++, SSE2, AVX2 + FMA). Each
// public entry point is a dispatcher that jumps through one pointer to the
// build chosen by vecInitDispatch(), which runs when the library is loaded;
// only static initialisers that run before it get the portable build. Every
// build computes the same result within rounding.
//
// All kernels return a status: kVecOk or one of the negative codes below.
// They never allocate; the transform setup ("plan") and the work buffer are
// sized by vecFFTGetSize() and supplied by the caller (any alignment).

#include <cstddef>
#include <cstdint>

// Statuses.
inline constexpr int kVecOk = 0;
inline constexpr int kVecErrSize = -6;      // a length below 1
inline constexpr int kVecErrNullPtr = -8;   // a null pointer
inline constexpr int kVecErrOrder = -15;    // an order outside 1 ... 27
inline constexpr int kVecErrFlag = -16;     // a scaling flag other than 1, 2, 4, 8

// Scaling modes of a transform (the flag).
inline constexpr int kVecFFTDivFwdByN = 1;   // forward scaled by 1/N, inverse unscaled
inline constexpr int kVecFFTDivInvByN = 2;   // forward unscaled, inverse scaled by 1/N
inline constexpr int kVecFFTDivBySqrtN = 4;  // both scaled by 1/sqrt(N)
inline constexpr int kVecFFTNoScale = 8;     // neither scaled

inline constexpr int kVecFFTMinOrder = 1;
inline constexpr int kVecFFTMaxOrder = 27;

// An initialised transform plan (twiddle tables and pass layout). Opaque; lives in
// the caller's plan memory and is read-only while transforms run, so one setup
// may serve any number of threads, each with its own work buffer.
struct CVecFFTPlan;

// Size query: the bytes of plan memory, of the scratch buffer that only
// vecFFTInit uses (0 here: it may be null), and of the work buffer of one
// transform. The accuracy hint is accepted and ignored.
int vecFFTGetSize(int order, int flag, int hint, size_t* planSize, size_t* initBufferSize,
                  size_t* workSize);

// Builds the setup inside planMem (at least planSize bytes) and returns it in
// *plan.
int vecFFTInit(CVecFFTPlan** plan, int order, int flag, int hint, void* planMem, void* initBuffer);

// Forward transform: N reals in, N reals of packed spectrum out. src == dst
// is allowed.
int vecFFTForward(const double* src, double* dst, const CVecFFTPlan* plan, void* work);

// Inverse transform: N reals of packed spectrum in, N reals out. src == dst is
// allowed.
int vecFFTInverse(const double* src, double* dst, const CVecFFTPlan* plan, void* work);

// The same transforms with the spectrum in the split layout (below): the
// same passes with the spectrum's values stored and loaded in other places,
// so the same values within rounding (a compiler may vectorise the few pairs
// after the vectors differently in the two forms). src == dst is allowed.
int vecFFTForwardSplit(const double* src, double* dst, const CVecFFTPlan* plan, void* work);
int vecFFTInverseSplit(const double* src, double* dst, const CVecFFTPlan* plan, void* work);

// Product of two packed spectra of length len: dst[0] = a[0]*b[0], for even
// lengths also dst[1] = a[1]*b[1], and complex products of the (re, im) pairs
// that follow. dst may be a or b.
int vecMulPacked(const double* a, const double* b, double* dst, int len);

// Accumulating product: acc += a * b in the same packed sense (the sum over
// kernel partitions of uniformly partitioned convolution).
int vecMulAddPacked(const double* a, const double* b, double* acc, int len);
// dst = a[0] b[0] + ... + a[count-1] b[count-1] over packed spectra (dst +=
// that when accumulate is not 0), with exactly the results of vecMulPacked
// on the first pair (vecMulAddPacked when accumulating) followed by
// vecMulAddPacked on each further pair in order; dst may not be one of the
// inputs.
int vecMulSumPacked(const double* const* a, const double* const* b, int count, double* dst, int len, int accumulate);

// The split layout of a packed spectrum of even length N = 2M: the real
// terms first, then the real parts of bins 1 ... M-1, then their imaginary
// parts: [R0, R(M), R1 ... R(M-1), I1 ... I(M-1)]. Kept for spectra that
// take part in many products (the partitions of block convolution): the
// products then need no shuffling of pairs.
// vecMulSumPacked on spectra in the split layout (a, b and dst), len even:
// bin for bin the same results (the split forms of its results).
int vecMulSumSplit(const double* const* a, const double* const* b, int count, double* dst, int len, int accumulate);
// Packed <-> split layout, len even; src and dst may not overlap.
void vecPackedToSplit(const double* src, double* dst, int len);
void vecSplitToPacked(const double* src, double* dst, int len);

// Correlation with reversed taps, the inner sum of direct FIR filtering:
// out[n] = sum over t < taps of rev[t] x[n + t] for n < count (added to out
// when accumulate is non-zero); x holds count + taps - 1 samples; taps and
// count are at least 1. With rev the taps of a filter h reversed (rev[t] =
// h[taps-1-t]) and x starting taps - 1 samples before the first output's
// sample, this is y[n] = sum h[i] x[n - i].
int vecCorrelate(const double* rev, int taps, const double* x, double* out, int count, int accumulate);

// Two correlations (as vecCorrelate: rev0 over x0 with taps0 taps, rev1 over
// x1 with taps1) in one pass, combined per output: with interleave not 0,
// out[2n] = the first and out[2n+1] = the second (the two phases of an
// interpolator); else out[n] = the second plus the first (a decimator's two
// phases). The very results of two vecCorrelate calls followed by
// vecInterleave, or by the second accumulating onto the first.
int vecCorrelatePair(const double* rev0, int taps0, const double* x0, const double* rev1, int taps1, const double* x1,
                     double* out, int count, int interleave);

// Two signals into one stream of pairs and back (dst[2i] = a[i], dst[2i+1] =
// b[i], i < n): plain copies, the same values in every build. The buffers
// may not overlap.
void vecInterleave(const double* a, const double* b, double* dst, int n);
void vecDeinterleave(const double* src, double* a, double* b, int n);

// Accessors of a setup (nullptr-safe: 0 for a null plan).
int vecFFTOrder(const CVecFFTPlan* plan);
int vecFFTFlag(const CVecFFTPlan* plan);

// ---------------------------------------------------------------------------
// Processor-level dispatch.
//
// Levels: 0 no SIMD (or not an x86 processor), 1 SSE2, 2 SSE3, 3 SSSE3,
// 4 SSE4.1 and SSE4.2, 5 AVX (enabled by the operating system), 6 AVX2 + FMA.
// Each kernel has a seven-entry table indexed by the level; entries whose
// build is not compiled in fall back to the next lower build.

inline constexpr int kVecLevelCount = 7;

// One build's kernels.
struct CVecKernelTable {
    const char* name;
    int (*getSize)(int, int, int, size_t*, size_t*, size_t*);
    int (*init)(CVecFFTPlan**, int, int, int, void*, void*);
    int (*forward)(const double*, double*, const CVecFFTPlan*, void*);
    int (*inverse)(const double*, double*, const CVecFFTPlan*, void*);
    int (*mulPacked)(const double*, const double*, double*, int);
    int (*mulAddPacked)(const double*, const double*, double*, int);
    int (*correlate)(const double*, int, const double*, double*, int, int);
    int (*mulSumPacked)(const double* const*, const double* const*, int, double*, int, int);
    int (*mulSumSplit)(const double* const*, const double* const*, int, double*, int, int);
    int (*packedToSplit)(const double*, double*, int);
    int (*splitToPacked)(const double*, double*, int);
    int (*forwardSplit)(const double*, double*, const CVecFFTPlan*, void*);
    int (*inverseSplit)(const double*, double*, const CVecFFTPlan*, void*);
    int (*interleave)(const double*, const double*, double*, int);
    int (*deinterleave)(const double*, double*, double*, int);
    int (*correlatePair)(const double*, int, const double*, const double*, int, const double*, double*, int, int);
};

struct CVecProcessorInfo {
    char vendor[13];  // CPUID vendor string, empty when unknown
    int level;        // 0 ... 6 as above
};

// Identifies the processor (once; later calls return the cached result).
const CVecProcessorInfo& vecProcessorInfo();

// Identifies the processor and selects the builds for its level. Runs once
// when the library is loaded; calling it again restores that selection (after
// vecSelectLevel) and otherwise changes nothing. Returns the selected level.
int vecInitDispatch();

// The level whose builds the dispatchers currently use.
int vecActiveLevel();

// Selects the builds of a lower level than the processor's (tests and
// benchmarks). Returns false, changing nothing, when the processor cannot run
// that level. Not for use while transforms are running on other threads.
bool vecSelectLevel(int level);

// The kernels of a level, or nullptr when the processor cannot run it.
const CVecKernelTable* vecKernelTable(int level);
