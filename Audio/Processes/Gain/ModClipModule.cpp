#include "Audio/Processes/Gain/ModClipModule.h"

CError CModClipModule::moduleSetup(CAudioProcessBuild& b) {
    m_clipLevel = m_def->attrReal("clip-level", 0.0);
    registerParam(b, 0, "gain", 1.0);
    return {};
}

void CModClipModule::updateParams() {
    const CModClip::Params p{param(0)};
    for (auto& proc : m_procs) proc->setParams(p);
}

void CModClipModule::process(int frames) {
    const CPortBuffers& in = input(0);
    for (int ch = 0; ch < activeChannels(); ++ch) m_procs[size_t(ch)]->process(in.ch[ch], outputBuffer(0, ch), frames);
}
