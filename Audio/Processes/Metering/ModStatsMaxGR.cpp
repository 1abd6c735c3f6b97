#include "Audio/Processes/Metering/ModStatsMaxGR.h"

#include <algorithm>

namespace {
constexpr double kMinGain = 1e-10;
}

void CModStatsMaxGR::process(const double* gain, int frames) {
    double m = m_min;
    for (int i = 0; i < frames; ++i) m = std::min(m, gain[i]);
    m_min = std::max(m, kMinGain);
}

void CModStatsMaxGRModule::connectParams(CAudioProcessBuild& b) {
    registerParam(b, 0, "reset", 0.0);
    setResetSlot(0);
}

void CModStatsMaxGRModule::describe(CAudioVizDataInfo& info) const {
    info.kind = EVizKind::Meter;
    info.channelFields = {"max-reduction"};
}

CError CModStatsMaxGRModule::prepareStats(const CProcessConfig& config) {
    m_procs.clear();
    for (int ch = 0; ch < config.maxChannels; ++ch) {
        auto p = std::make_unique<CModStatsMaxGR>();
        p->start();
        m_procs.push_back(std::move(p));
    }
    return {};
}

void CModStatsMaxGRModule::resetStats() {
    for (auto& p : m_procs) p->reset();
}

void CModStatsMaxGRModule::processSegment(int offset, int count) {
    for (int ch = 0; ch < m_channels; ++ch) m_procs[size_t(ch)]->process(input(0).ch[ch] + offset, count);
}

void CModStatsMaxGRModule::publish(double* frame) {
    for (int ch = 0; ch < m_channels; ++ch) frame[ch] = 1.0 / m_procs[size_t(ch)]->minGain();
}
