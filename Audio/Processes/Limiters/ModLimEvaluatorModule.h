#pragma once
// The loudness match of the "Eval" mode in the graph (audio:modLimEvaluator):
// port 0 the processed signal, port 1 the input-side and port 2 the
// output-side loudness level. Slots 0 `avg-time` (seconds) and 1 `in-gain`
// (linear), both 1.0 while unbound. With "is-terminal-whole" one gain serves
// all channels of the group; without it every channel is matched alone.

#include "Audio/Processes/ModChannelModule.h"
#include "Audio/Processes/Limiters/ModLimEvaluator.h"

class CModLimEvaluatorModule : public CModChannelModule<CModLimEvaluator> {
public:
    void process(int frames) override;

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    int processorsFor(int maxChannels) const override { return m_whole ? 1 : maxChannels; }
    void updateParams() override;

private:
    bool m_whole = false;
};

using CModLimEvaluatorDef = CModDefT<CModLimEvaluatorModule>;
