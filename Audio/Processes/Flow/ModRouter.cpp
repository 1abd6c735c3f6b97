#include "Audio/Processes/Flow/ModRouter.h"

#include <algorithm>
#include <cmath>

#include "Audio/Plugin/AudioEnv.h"

CError CModRouter::moduleSetup(CAudioProcessBuild& b) {
    m_isOutput = m_def->attrBool("is-output");
    registerParam(b, 0, "routing", 0.0);
    registerParam(b, 1, "grouping", 0.0);
    return {};
}

int CModRouter::maxOutputChannels(int) const {
    const CAudioEnv* e = env();
    if (m_isOutput || !e || e->internalChannels() <= 0) return audio::kMaxChannels;
    return e->internalChannels() < audio::kMaxChannels ? e->internalChannels() : audio::kMaxChannels;
}

bool CModRouter::update() {
    // The channel layout may change without a parameter change.
    const CAudioEnv* e = env();
    const int want = e ? (m_isOutput ? e->outputChannels() : e->internalChannels()) : m_channels;
    if (want != m_wantChannels) {
        m_wantChannels = want;
        updateParams();
    }
    return CAudioProcessTerminalBase::update();
}

void CModRouter::updateParams() {
    for (int k = 0; k < audio::kMaxChannels; ++k) {
        // Without a routing parameter channels pass straight through.
        const double r = paramBound(0) ? param(0, k) : double(k + 1);
        const long src = std::lround(r) - 1;
        m_source[k] = (src >= 0 && src < audio::kMaxChannels) ? int(src) : -1;
    }
    updateChannels();
}

void CModRouter::updateChannels() {
    int n = std::clamp(m_wantChannels, 0, audio::kMaxChannels);
    if (!m_isOutput)
        while (n > 1 && m_source[n - 1] < 0) --n;  // one channel at least: the paths keep their latency
    m_outChannels = n;
}

const double* CModRouter::outputChannel(int, int ch) const {
    const int src = ch < audio::kMaxChannels ? m_source[ch] : -1;
    const CPortBuffers& in = input(0);
    if (src >= 0 && src < in.channels && in.ch[src]) return in.ch[src];
    return m_out.channel(0, 0);  // silence
}
