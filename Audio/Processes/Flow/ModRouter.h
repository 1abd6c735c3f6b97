#pragma once
// CModRouter (audio:modRouter): maps channels by the per-channel parameter
// "routing" (element k: the 1-based source channel of destination channel k,
// 0 = silence; rounded half away from zero). As the input router
// ("is-output" false) internal channel k takes host input channel routing[k];
// as the output router host output k takes internal channel routing[k]. The
// parameter "grouping" (channel -> group) is read by the stacks downstream.
// Routed channels are handed out without copying. The input router hands on
// internal channels only up to the last one with a source: those after it
// would carry silence through every module, so they are not run at all.

#include "Audio/Graph/ProcessTerminal.h"

class CModRouter : public CAudioProcessTerminalBase {
public:
    void process(int) override {}
    const double* outputChannel(int port, int ch) const override;
    int outputChannels() const override { return m_outChannels; }
    // The input router feeds the instance's internal channels; the output
    // router as many host channels as there can be.
    int maxOutputChannels(int) const override;
    bool isOutput() const { return m_isOutput; }
    // The source channel of a destination channel (-1: silence).
    int source(int ch) const { return m_source[ch]; }

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void updateParams() override;

public:
    bool update() override;

private:
    void updateChannels();

    bool m_isOutput = false;
    int m_wantChannels = -1;  // what the layout asks for
    int m_outChannels = 0;    // what is handed on
    int m_source[audio::kMaxChannels] = {};
};

using CModRouterDef = CModDefT<CModRouter>;
