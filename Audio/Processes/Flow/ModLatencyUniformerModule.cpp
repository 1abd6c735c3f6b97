#include "Audio/Processes/Flow/ModLatencyUniformerModule.h"

#include <algorithm>
#include <cmath>

#include "Audio/Plugin/AudioDiagnostics.h"

CError CModLatencyUniformerModule::moduleSetup(CAudioProcessBuild&) {
    KEL_TRY(m_dsp.setLatencies(m_def->attr("latencies").utf8()));
    m_dsp.setXfadeLength(xfadeSeconds());
    m_dsp.start();
    return {};
}

CError CModLatencyUniformerModule::prepare(const CProcessConfig& config) {
    KEL_TRY(CAudioProcessTerminalBase::prepare(config));
    m_ports = std::max(1, inputPortCount());
    const int lanes = m_ports * std::max(1, config.maxChannels);
    m_dsp.prepare(config.maxSampleRate, config.maxFrames(), lanes);
    m_inLanes.assign(size_t(lanes), nullptr);
    m_outLanes.assign(size_t(lanes), nullptr);
    m_seenInputLatency = -1.0;
    m_repad = true;
    m_fresh = true;
    return {};
}

double CModLatencyUniformerModule::maxLatencySeconds() const {
    int longest = 0;
    for (const auto& e : m_dsp.latencies()) longest = std::max(longest, e.samples);
    return (longest + 1) / m_config.maxSampleRate;
}

void CModLatencyUniformerModule::updateParams() {
    // The rate moved (or the first update): the target and the fade follow.
    m_dsp.setSampleRate(m_rate);
    m_repad = true;
}

bool CModLatencyUniformerModule::update() {
    const double before = latency();
    CAudioProcessTerminalBase::update();
    if (m_repad || inputLatency() != m_seenInputLatency) {
        m_repad = false;
        m_seenInputLatency = inputLatency();
        const int upstream = int(std::lround(inputLatency()));
        report(m_dsp.padUpstream(upstream), upstream);
        if (m_fresh) m_dsp.reset();  // ends the fade at the new delay
    }
    return latency() != before;
}

void CModLatencyUniformerModule::report(CModLatencyUniformer::Status status, int upstream) {
    // Queued for the main thread: the audio thread never logs.
    switch (status) {
        case CModLatencyUniformer::Status::UnsupportedRate:
            kelAudioDiagnosticf(this, "Unsupported sample rate %f in LatencyUniformer", m_rate);
            break;
        case CModLatencyUniformer::Status::TooHighLatency:
            kelAudioDiagnosticf(this, "Too high latency %i at sample rate %f in LatencyUniformer", upstream, m_rate);
            break;
        default:
            break;
    }
}

void CModLatencyUniformerModule::process(int frames) {
    m_fresh = false;
    const int channels = std::min(m_channels, int(m_inLanes.size()) / m_ports);
    size_t lane = 0;
    for (int ch = 0; ch < channels; ++ch)
        for (int p = 0; p < m_ports; ++p, ++lane) {
            m_inLanes[lane] = input(p).ch[ch];
            m_outLanes[lane] = outputBuffer(p, ch);
        }
    m_dsp.process({m_inLanes.data(), lane}, {m_outLanes.data(), lane}, frames);
}
