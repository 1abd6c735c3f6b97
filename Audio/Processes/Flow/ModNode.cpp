#include "Audio/Processes/Flow/ModNode.h"

const double* CModNode::outputChannel(int port, int ch) const {
    const CPortBuffers& in = input(port < int(m_inputs.size()) ? port : 0);
    if (ch < in.channels && in.ch[ch]) return in.ch[ch];
    return m_out.channel(0, 0);  // silence (prepared storage is zeroed and never written)
}

std::unique_ptr<CAudioProcessBase> CModNodeDef::createProcess() const { return std::make_unique<CModNode>(); }
std::unique_ptr<CAudioProcessBase> CModOutputDef::createProcess() const { return std::make_unique<CModOutput>(); }
