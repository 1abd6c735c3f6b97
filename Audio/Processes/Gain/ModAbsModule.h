#pragma once
// Rectification in the graph (audio:modAbs): y = |x| per channel.

#include "Audio/Processes/Gain/ModAbs.h"
#include "Audio/Processes/ModChannelModule.h"

class CModAbsModule : public CModChannelModule<CModAbs> {
public:
    void process(int frames) override;
};

using CModAbsDef = CModDefT<CModAbsModule>;
