#pragma once
// The product of two signals in the graph (audio:modMult): port 0 × port 1
// channel by channel, or port 0 / port 1 with "is-division". No parameters.

#include "Audio/Processes/ModChannelModule.h"
#include "Audio/Processes/Gain/ModMult.h"

class CModMultModule : public CModChannelModule<CModMult> {
public:
    void process(int frames) override;

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void configureProcessor(CModMult& p) override { p.setDivision(m_division); }

private:
    bool m_division = false;
};

using CModMultDef = CModDefT<CModMultModule>;
