#include "Audio/Processes/Metering/ModStatsWave.h"

#include <algorithm>

void CModStatsWave::reset() {
    for (int p = 0; p < 2; ++p) {
        m_min[p] = m_max[p] = 0.0;
        m_any[p] = false;
    }
}

void CModStatsWave::process(int port, const double* x, int frames) {
    if (frames <= 0) return;
    double lo = m_any[port] ? m_min[port] : x[0];
    double hi = m_any[port] ? m_max[port] : x[0];
    for (int i = 0; i < frames; ++i) {
        lo = std::min(lo, x[i]);
        hi = std::max(hi, x[i]);
    }
    m_min[port] = lo;
    m_max[port] = hi;
    m_any[port] = true;
}

void CModStatsWave::takeFrame(double* out) {
    out[0] = m_min[0];
    out[1] = m_max[0];
    out[2] = m_min[1];
    out[3] = m_max[1];
    reset();
}

int CModStatsWaveModule::inputPortCount() const {
    return std::max(2, CAudioProcessTerminalBase::inputPortCount());
}

void CModStatsWaveModule::describe(CAudioVizDataInfo& info) const {
    info.kind = EVizKind::VScope;
    info.channelFields = {"min0", "max0", "min1", "max1"};
    info.points = 1;
}

CError CModStatsWaveModule::prepareStats(const CProcessConfig& config) {
    m_procs.clear();
    for (int ch = 0; ch < config.maxChannels; ++ch) {
        auto p = std::make_unique<CModStatsWave>();
        p->start();
        m_procs.push_back(std::move(p));
    }
    m_last.assign(size_t(4 * std::max(1, config.maxChannels)), 0.0);
    return {};
}

void CModStatsWaveModule::resetStats() {
    for (auto& p : m_procs) p->reset();
    std::fill(m_last.begin(), m_last.end(), 0.0);
}

void CModStatsWaveModule::processSegment(int offset, int count) {
    const int ports = std::min(2, int(m_inputs.size()));
    for (int ch = 0; ch < m_channels; ++ch)
        for (int port = 0; port < ports; ++port)
            m_procs[size_t(ch)]->process(port, input(port).ch[ch] + offset, count);
}

void CModStatsWaveModule::endFrame() {
    for (int ch = 0; ch < m_channels; ++ch) m_procs[size_t(ch)]->takeFrame(m_last.data() + 4 * ch);
}

void CModStatsWaveModule::publish(double* frame) {
    std::copy(m_last.begin(), m_last.begin() + 4 * m_channels, frame);
}
