#pragma once
// The bypass and group-solo switch in the graph (audio:modBypass): port 0 the
// processed signal, port 1 the unprocessed one. Slots 0 `enable` (pass port
// 1) and 1 `group-solo` (mute with the tiny noise), both on at 0.5 and above
// and read for the module's group. A change of source cross-fades over the
// module's "xfade-length" (15 ms when unset).

#include "Audio/Processes/ModBypass.h"
#include "Audio/Processes/ModChannelModule.h"

class CModBypassModule : public CModChannelModule<CModBypass> {
public:
    void process(int frames) override;

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void configureProcessor(CModBypass& p) override;
    void updateParams() override;
};

using CModBypassDef = CModDefT<CModBypassModule>;
