#include "Audio/Processes/Limiters/ModLevelerModule.h"

CError CModLevelerModule::moduleSetup(CAudioProcessBuild& b) {
    m_whole = m_def->isTerminalWhole();
    registerTableSlots(b);
    return {};
}

void CModLevelerModule::updateParams() {
    syncRate();
    const CModLeveler::Params p = readTableSlots();
    for (auto& proc : m_procs) proc->setParams(p);
}

void CModLevelerModule::process(int frames) {
    const CPortBuffers& in = input(0);
    if (m_whole) {
        const int n = std::min(m_channels, audio::kMaxChannels);
        double* out[audio::kMaxChannels];
        for (int ch = 0; ch < n; ++ch) out[ch] = outputBuffer(0, ch);
        m_procs[0]->process({in.ch, size_t(n)}, {out, size_t(n)}, frames);
        return;
    }
    for (int ch = 0; ch < activeChannels(); ++ch) {
        double* out = outputBuffer(0, ch);
        m_procs[size_t(ch)]->process({&in.ch[ch], 1}, {&out, 1}, frames);
    }
}
