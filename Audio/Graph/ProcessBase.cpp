#include "Audio/Graph/ProcessBase.h"

#include <algorithm>
#include <cmath>

#include "Audio/Params/AudioParam.h"
#include "Audio/Graph/ProcessDef.h"

namespace {

// True when x[0 .. n) holds a NaN or an infinity. x * 0 is NaN exactly for
// those and a zero for every finite x, so eight running sums of x * 0 turn
// NaN exactly when the block has one; the sums are independent lanes, which
// the compiler vectorises without reordering any addition, and eight of them
// keep four additions in flight at once.
bool hasNonFinite(const double* x, int n) {
    constexpr int kLanes = 8;
    double lane[kLanes] = {};
    int i = 0;
    for (; i + kLanes <= n; i += kLanes)
        for (int k = 0; k < kLanes; ++k) lane[k] += x[i + k] * 0.0;
    double sum = 0.0;
    for (int k = 0; k < kLanes; ++k) sum += lane[k];
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
