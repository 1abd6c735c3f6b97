#pragma once
// The channel linker in the graph (audio:modLeveler): slots 0 `mode`
// (0 maximum, 1 minimum), 1 `mix` and 2 `linking` (fractions; linking 1
// unless bound). With "is-terminal-whole" one linker sees all channels of the
// module's group at once, as the limiter needs; without it every channel is
// its own group (and passes unchanged).

#include "Audio/Processes/ModChannelModule.h"
#include "Audio/Processes/Limiters/ModLeveler.h"

class CModLevelerModule : public CModChannelModule<CModLeveler> {
public:
    void process(int frames) override;
    bool isWhole() const { return m_whole; }

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    int processorsFor(int maxChannels) const override { return m_whole ? 1 : maxChannels; }
    void updateParams() override;

private:
    bool m_whole = false;
};

using CModLevelerDef = CModDefT<CModLevelerModule>;
