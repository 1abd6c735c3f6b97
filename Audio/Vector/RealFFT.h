#pragma once
// CRealFFT: one real transform size for one user (a convolver, a meter),
// through the dispatched vector kernels. The transform setup is shared
// process-wide per order and scaling mode (created under a lock on first use,
// read-only afterwards); each CRealFFT owns its work buffer, so instances may
// run on different threads.
//
// prepare() allocates; forward() and inverse() never do.

#include <cstddef>
#include <memory>

#include "Audio/Vector/AlignedBuffer.h"
#include "Audio/Vector/VecKernels.h"
#include "Core/Error.h"

// A transform setup in its own memory; immutable once made.
class CVecFFTSetup {
public:
    // The shared setup of an order and flag, made when no user holds one yet.
    static CError acquire(int order, int flag, std::shared_ptr<const CVecFFTSetup>& out);

    const CVecFFTPlan* plan() const { return m_plan; }
    int order() const { return m_order; }
    size_t workBytes() const { return m_workBytes; }

private:
    CAlignedBuffer m_memory;
    const CVecFFTPlan* m_plan = nullptr;
    int m_order = 0;
    size_t m_workBytes = 0;
};

class CRealFFT {
public:
    // Sizes the transform for N = 2^order (1 ... 27) with a scaling flag
    // (kVecFFTDivInvByN: convolution's forward unscaled, inverse 1/N).
    CError prepare(int order, int flag = kVecFFTDivInvByN);
    void release();

    bool ready() const { return m_plan != nullptr; }
    int order() const { return m_order; }
    size_t length() const { return m_order ? size_t(1) << m_order : 0; }

    // N reals -> N reals of packed spectrum, and back; in == out allowed.
    void forward(const double* in, double* out) { vecFFTForward(in, out, m_plan, m_work.data()); }
    void inverse(const double* in, double* out) { vecFFTInverse(in, out, m_plan, m_work.data()); }
    // The same with the spectrum in the split layout (VecKernels.h).
    void forwardSplit(const double* in, double* out) { vecFFTForwardSplit(in, out, m_plan, m_work.data()); }
    void inverseSplit(const double* in, double* out) { vecFFTInverseSplit(in, out, m_plan, m_work.data()); }

private:
    std::shared_ptr<const CVecFFTSetup> m_setup;
    const CVecFFTPlan* m_plan = nullptr;
    CAlignedBuffer m_work;
    int m_order = 0;
};
