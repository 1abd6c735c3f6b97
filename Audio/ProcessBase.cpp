#include "Audio/ProcessBase.h"

#include <algorithm>

#include "Audio/AudioParam.h"
#include "Audio/ProcessDef.h"

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
