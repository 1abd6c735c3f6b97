#include "Audio/Processes/Gain/ModAbsModule.h"

void CModAbsModule::process(int frames) {
    const CPortBuffers& in = input(0);
    for (int ch = 0; ch < activeChannels(); ++ch) m_procs[size_t(ch)]->process(in.ch[ch], outputBuffer(0, ch), frames);
}
