#include "Audio/Graph/ProcessBase.h"

#include <algorithm>
#include <cmath>

#include "Audio/Params/AudioParam.h"
#include "Audio/Graph/ProcessDef.h"
#include "Audio/Vector/Dual.h"

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

}  // namespace

bool CAudioProcessBase::clearNonFiniteOutputs(int frames) {
    const int n = std::min(frames, m_out.capacityFrames());
    const int channels = std::min(outputChannels(), m_out.channelCapacity());
    bool any = false;
    for (int p = 0; p < m_out.ports(); ++p)
        for (int ch = 0; ch < channels; ++ch) {
            double* x = m_out.channel(p, ch);
            if (!hasNonFinite(x, n)) continue;
            any = true;
            for (int i = 0; i < n; ++i)
                if (!std::isfinite(x[i])) x[i] = 0.0;
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
