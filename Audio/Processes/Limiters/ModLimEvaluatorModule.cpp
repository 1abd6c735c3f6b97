#include "Audio/Processes/Limiters/ModLimEvaluatorModule.h"

CError CModLimEvaluatorModule::moduleSetup(CAudioProcessBuild& b) {
    m_whole = m_def->isTerminalWhole();
    setInputPortCount(3);
    registerTableSlots(b);
    return {};
}

void CModLimEvaluatorModule::updateParams() {
    syncRate();
    const CModLimEvaluator::Params p = readTableSlots();
    for (auto& proc : m_procs) proc->setParams(p);
}

void CModLimEvaluatorModule::process(int frames) {
    const CPortBuffers& sig = input(0);
    const CPortBuffers& inLevel = input(1);
    const CPortBuffers& outLevel = input(2);
    if (m_whole) {
        const size_t n = size_t(std::min(m_channels, audio::kMaxChannels));
        double* out[audio::kMaxChannels];
        for (size_t ch = 0; ch < n; ++ch) out[ch] = outputBuffer(0, int(ch));
        m_procs[0]->process({sig.ch, n}, {inLevel.ch, n}, {outLevel.ch, n}, {out, n}, frames);
        return;
    }
    for (int ch = 0; ch < activeChannels(); ++ch) {
        double* out = outputBuffer(0, ch);
        m_procs[size_t(ch)]->process({&sig.ch[ch], 1}, {&inLevel.ch[ch], 1}, {&outLevel.ch[ch], 1}, {&out, 1}, frames);
    }
}
