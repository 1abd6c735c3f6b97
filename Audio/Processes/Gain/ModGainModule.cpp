#include "Audio/Processes/Gain/ModGainModule.h"

#include <cmath>

namespace {
constexpr double kDefaultRampTime = audio::kDefaultCrossfadeSeconds;
}

CError CModGainModule::moduleSetup(CAudioProcessBuild& b) {
    registerParam(b, 0, "gain", 1.0);
    registerParam(b, 1, "mute", 0.0);
    registerParam(b, 2, "phase-invert", 0.0);
    return {};
}

void CModGainModule::updateParams() {
    syncRate();
    int ramp = 0;
    if (isSmoothUpdate()) ramp = int(std::lround((xfadeLength() > 0.0 ? xfadeLength() : kDefaultRampTime) * m_rate));
    const CModGain::Params p{param(0), kelParamSwitch(param(1)), kelParamSwitch(param(2))};
    for (auto& proc : m_procs) {
        proc->setRampLength(ramp);
        proc->setParams(p);
    }
}

void CModGainModule::process(int frames) {
    const CPortBuffers& in = input(0);
    for (int ch = 0; ch < activeChannels(); ++ch) m_procs[size_t(ch)]->process(in.ch[ch], outputBuffer(0, ch), frames);
}
