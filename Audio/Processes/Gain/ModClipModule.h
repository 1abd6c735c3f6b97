#pragma once
// The hard clipper in the graph (audio:modClip): attribute "clip-level"
// (raised to at least 0.01), slot 0 `gain` (linear, 1.0); the clip level is
// their product.

#include "Audio/Processes/ModChannelModule.h"
#include "Audio/Processes/Gain/ModClip.h"

class CModClipModule : public CModChannelModule<CModClip> {
public:
    void process(int frames) override;

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void configureProcessor(CModClip& p) override { p.setClipLevel(m_clipLevel); }
    void updateParams() override;

private:
    double m_clipLevel = 0.0;
};

using CModClipDef = CModDefT<CModClipModule>;
