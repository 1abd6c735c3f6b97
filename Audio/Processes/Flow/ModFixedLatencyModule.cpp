#include "Audio/Processes/Flow/ModFixedLatencyModule.h"

#include <cmath>

CError CModFixedLatencyModule::moduleSetup(CAudioProcessBuild&) {
    m_seconds = m_def->attrReal("latency-sec", 0.0);
    m_samples = int(m_def->attrInt("latency-samples", 0));
    m_dsp.setLatency(m_seconds, m_samples);
    m_dsp.start();
    return {};
}

int CModFixedLatencyModule::fadeSamples() const {
    return int(std::lround(xfadeSeconds() * m_rate));
}

CError CModFixedLatencyModule::prepare(const CProcessConfig& config) {
    KEL_TRY(CAudioProcessTerminalBase::prepare(config));
    m_ports = std::max(1, inputPortCount());
    const int lanes = m_ports * std::max(1, config.maxChannels);
    m_dsp.setFadeLength(fadeSamples());
    m_dsp.prepare(config.maxSampleRate, config.maxFrames(), lanes);
    m_inLanes.assign(size_t(lanes), nullptr);
    m_outLanes.assign(size_t(lanes), nullptr);
    m_seenInputLatency = -1.0;
    return {};
}

double CModFixedLatencyModule::maxLatencySeconds() const {
    // D is largest at the highest rate; the alignment buffers are sized there.
    const double rate = m_config.maxSampleRate;
    return (CModFixedLatency::delayFor(m_seconds, m_samples, rate) + 1) / rate;
}

void CModFixedLatencyModule::updateParams() {
    m_dsp.setFadeLength(fadeSamples());
    m_dsp.setSampleRate(m_rate);
}

bool CModFixedLatencyModule::update() {
    const double before = latency();
    CAudioProcessTerminalBase::update();
    if (inputLatency() != m_seenInputLatency) {
        m_seenInputLatency = inputLatency();
        m_dsp.setUpstreamLatency(int(std::lround(inputLatency())));
    }
    return latency() != before;
}

void CModFixedLatencyModule::process(int frames) {
    const int channels = std::min(m_channels, int(m_inLanes.size()) / m_ports);
    size_t lane = 0;
    for (int ch = 0; ch < channels; ++ch)
        for (int p = 0; p < m_ports; ++p) {
            if (!outputPortUsed(p)) continue;
            m_inLanes[lane] = input(p).ch[ch];
            m_outLanes[lane] = outputBuffer(p, ch);
            ++lane;
        }
    m_dsp.process({m_inLanes.data(), lane}, {m_outLanes.data(), lane}, frames);
}
