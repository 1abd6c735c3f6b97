#include "Audio/Vector/RealFFT.h"

#include <new>

#include "Platform/Sync.h"

KELSTR(CVecFFTSetup_acquire_Order, "FFT order %1 is outside 1...27.");
KELSTR(CVecFFTSetup_acquire_Flag, "FFT scaling flag %1 is not 1, 2, 4 or 8.");
KELSTR(CVecFFTSetup_acquire_NoMemory, "Out of memory for the setup of a %1-point FFT.");
KELSTR(CRealFFT_prepare_NoMemory, "Out of memory for the work buffer of a %1-point FFT.");

namespace {

int flagSlot(int flag) {
    switch (flag) {
        case kVecFFTDivFwdByN: return 0;
        case kVecFFTDivInvByN: return 1;
        case kVecFFTDivBySqrtN: return 2;
        case kVecFFTNoScale: return 3;
        default: return -1;
    }
}

// Setups in use, by order and flag. A setup lives while some user holds it.
struct CSetupCache {
    plat::CCritSec lock;
    std::weak_ptr<const CVecFFTSetup> slots[kVecFFTMaxOrder + 1][4];
};

CSetupCache& setupCache() {
    static CSetupCache cache;
    return cache;
}

CString pointCount(int order) { return CString::number(int64_t(1) << order); }

}  // namespace

CError CVecFFTSetup::acquire(int order, int flag, std::shared_ptr<const CVecFFTSetup>& out) {
    out.reset();
    if (order < kVecFFTMinOrder || order > kVecFFTMaxOrder)
        return KEL_ERROR(kelstr_CVecFFTSetup_acquire_Order, CString::number(int64_t(order)));
    const int slot = flagSlot(flag);
    if (slot < 0) return KEL_ERROR(kelstr_CVecFFTSetup_acquire_Flag, CString::number(int64_t(flag)));

    CSetupCache& cache = setupCache();
    plat::CLock guard(cache.lock);
    if (auto existing = cache.slots[order][slot].lock()) {
        out = std::move(existing);
        return {};
    }

    size_t planBytes = 0, bufferBytes = 0, workBytes = 0;
    vecFFTGetSize(order, flag, 0, &planBytes, &bufferBytes, &workBytes);
    CAlignedBuffer scratch;
    std::shared_ptr<CVecFFTSetup> setup;
    try {
        setup.reset(new CVecFFTSetup);
    } catch (const std::bad_alloc&) {
        return KEL_ERROR(kelstr_CVecFFTSetup_acquire_NoMemory, pointCount(order));
    }
    if (!setup->m_memory.allocate((planBytes + 7) / 8) || !scratch.allocate((bufferBytes + 7) / 8))
        return KEL_ERROR(kelstr_CVecFFTSetup_acquire_NoMemory, pointCount(order));
    CVecFFTPlan* plan = nullptr;
    vecFFTInit(&plan, order, flag, 0, setup->m_memory.data(), scratch.data());
    setup->m_plan = plan;
    setup->m_order = order;
    setup->m_workBytes = workBytes;
    cache.slots[order][slot] = setup;
    out = std::move(setup);
    return {};
}

CError CRealFFT::prepare(int order, int flag) {
    release();
    std::shared_ptr<const CVecFFTSetup> setup;
    KEL_TRY(CVecFFTSetup::acquire(order, flag, setup));
    if (!m_work.allocate((setup->workBytes() + 7) / 8))
        return KEL_ERROR(kelstr_CRealFFT_prepare_NoMemory, pointCount(order));
    m_plan = setup->plan();
    m_setup = std::move(setup);
    m_order = order;
    return {};
}

void CRealFFT::release() {
    m_setup.reset();
    m_plan = nullptr;
    m_work.release();
    m_order = 0;
}
