#pragma once
// The bypass and group-solo switch in the graph (audio:modBypass): port 0 the
// processed signal, port 1 the unprocessed one. Slots 0 `enable` (pass port
// 1) and 1 `group-solo` (per channel group: while any group is soloed, the
// channels of the other groups are muted with the tiny noise), both on at 0.5
// and above. Outside a stack the channels' groups come from the nearest
// "io-params.grouping"; inside one every channel is of the instance's group.
// A change of source cross-fades over the module's "xfade-length" (15 ms when
// unset) once audio passes; before that (after prepare or reset) it applies
// at once.

#include "Audio/Processes/Flow/ModBypass.h"
#include "Audio/Processes/ModChannelModule.h"

class CAudioParam;

class CModBypassModule : public CModChannelModule<CModBypass> {
public:
    CError prepare(const CProcessConfig& config) override;
    void process(int frames) override;
    bool update() override;
    void reset() override;

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void configureProcessor(CModBypass& p) override;
    void updateParams() override;

private:
    const CAudioParam* m_grouping = nullptr;  // channel -> group, outside a stack
    uint32_t m_groupingSeen = 0;
    bool m_playing = false;  // audio passed since prepare or reset
};

using CModBypassDef = CModDefT<CModBypassModule>;
