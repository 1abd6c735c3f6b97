#include "Audio/Graph/ProcessBase.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "Audio/Params/AudioParam.h"
#include "Audio/Graph/ProcessDef.h"

bool CAudioProcessBase::clearNonFiniteOutputs(int frames) {
    // A sample is non-finite when its exponent bits are all set; the scan
    // works on the bit patterns so that it vectorises.
    constexpr uint64_t kExponent = 0x7FF0000000000000ull;
    const int n = std::min(frames, m_out.capacityFrames());
    const int channels = std::min(outputChannels(), m_out.channelCapacity());
    bool any = false;
    for (int p = 0; p < m_out.ports(); ++p)
        for (int ch = 0; ch < channels; ++ch) {
            double* x = m_out.channel(p, ch);
            uint64_t bad = 0;
            for (int i = 0; i < n; ++i) {
                uint64_t u;
                std::memcpy(&u, x + i, sizeof u);
                bad |= uint64_t((u & kExponent) == kExponent);
            }
            if (!bad) continue;
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
    m_data.assign(size_t(ports) * size_t(channels) * size_t(frames), 0.0);
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
