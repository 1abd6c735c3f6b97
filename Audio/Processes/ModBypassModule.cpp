#include "Audio/Processes/ModBypassModule.h"

CError CModBypassModule::moduleSetup(CAudioProcessBuild& b) {
    setInputPortCount(2);
    registerParam(b, 0, "enable", 0.0);
    registerParam(b, 1, "group-solo", 0.0);
    return {};
}

void CModBypassModule::configureProcessor(CModBypass& p) {
    p.setXfadeLength(xfadeLength() > 0.0 ? xfadeLength() : 0.015);
}

void CModBypassModule::updateParams() {
    syncRate();
    const CModBypass::Params p{kelParamSwitch(param(0)), kelParamSwitch(param(1))};
    for (auto& proc : m_procs) proc->setParams(p);
}

void CModBypassModule::process(int frames) {
    const CPortBuffers& processed = input(0);
    const CPortBuffers& dry = input(1);
    for (int ch = 0; ch < activeChannels(); ++ch)
        m_procs[size_t(ch)]->process(processed.ch[ch], dry.ch[ch], outputBuffer(0, ch), frames);
}
