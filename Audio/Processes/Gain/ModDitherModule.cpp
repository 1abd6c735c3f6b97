#include "Audio/Processes/Gain/ModDitherModule.h"

#include <algorithm>

CError CModDitherModule::moduleSetup(CAudioProcessBuild& b) {
    registerParam(b, 0, "bits", 8.0);
    registerParam(b, 1, "noise", 0.0);
    registerParam(b, 2, "shaping", 0.0);
    return {};
}

void CModDitherModule::updateParams() {
    syncRate();
    CModDither::Params p;
    p.bits = std::clamp(kelParamInt(param(0)), 0, 16);
    p.noise = std::clamp(kelParamInt(param(1)), 0, 2);
    p.shaping = std::clamp(kelParamInt(param(2)), 0, 2);
    for (auto& proc : m_procs) proc->setParams(p);
}

void CModDitherModule::process(int frames) {
    const CPortBuffers& in = input(0);
    for (int ch = 0; ch < activeChannels(); ++ch) m_procs[size_t(ch)]->process(in.ch[ch], outputBuffer(0, ch), frames);
}
