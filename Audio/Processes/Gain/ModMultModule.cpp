#include "Audio/Processes/Gain/ModMultModule.h"

CError CModMultModule::moduleSetup(CAudioProcessBuild&) {
    m_division = m_def->attrBool("is-division");
    setInputPortCount(2);
    return {};
}

void CModMultModule::process(int frames) {
    const CPortBuffers& a = input(0);
    const CPortBuffers& b = input(1);
    for (int ch = 0; ch < activeChannels(); ++ch)
        m_procs[size_t(ch)]->process(a.ch[ch], b.ch[ch], outputBuffer(0, ch), frames);
}
