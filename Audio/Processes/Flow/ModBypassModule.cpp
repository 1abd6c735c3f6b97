#include "Audio/Processes/Flow/ModBypassModule.h"

#include <cmath>

#include "Audio/Params/ParamAccess.h"
#include "Audio/Graph/ProcessBuild.h"
#include "Audio/Graph/ProcessStack.h"

CError CModBypassModule::moduleSetup(CAudioProcessBuild& b) {
    setInputPortCount(2);
    registerParam(b, 0, "enable", 0.0);
    registerParam(b, 1, "group-solo", 0.0);
    // Inside a stack every channel belongs to the instance's group.
    bool stacked = false;
    for (const CAudioProcessBase* p = kelParentProcess(*this); p && !stacked; p = kelParentProcess(*p))
        stacked = dynamic_cast<const CAudioProcessStack*>(p) != nullptr;
    if (!stacked)
        for (const CAudioProcessBase* p = this; p && !m_grouping; p = kelParentProcess(*p))
            m_grouping = b.resolveParam(*p, "io-params.grouping");
    return {};
}

CError CModBypassModule::prepare(const CProcessConfig& config) {
    m_playing = false;
    return CModChannelModule<CModBypass>::prepare(config);
}

void CModBypassModule::reset() {
    CModChannelModule<CModBypass>::reset();
    m_playing = false;
}

bool CModBypassModule::update() {
    const bool changed = CModChannelModule<CModBypass>::update();
    const uint32_t seen = kelParamChangeCount(m_grouping);
    if (seen != m_groupingSeen) {
        m_groupingSeen = seen;
        updateParams();
    }
    return changed;
}

void CModBypassModule::configureProcessor(CModBypass& p) {
    p.setXfadeLength(xfadeSeconds());
}

void CModBypassModule::updateParams() {
    syncRate();
    const bool enable = kelParamSwitch(param(0));
    bool solo[audio::kMaxGroups] = {};
    bool any = false;
    for (int g = 0; g < audio::kMaxGroups; ++g) any |= solo[g] = kelParamSwitch(paramForGroup(1, g));
    for (size_t ch = 0; ch < m_procs.size(); ++ch) {
        int g = group();
        if (m_grouping) g = int(std::lround(kelParamValue(m_grouping, 0, uint32_t(ch), double(g))));
        g = g < 0 ? 0 : (g >= audio::kMaxGroups ? audio::kMaxGroups - 1 : g);
        m_procs[ch]->setParams(CModBypass::Params{enable, any && !solo[g]});
        if (!m_playing) m_procs[ch]->reset();  // no fade before the first frame
    }
}

void CModBypassModule::process(int frames) {
    if (frames > 0) m_playing = true;
    const CPortBuffers& processed = input(0);
    const CPortBuffers& dry = input(1);
    for (int ch = 0; ch < activeChannels(); ++ch)
        m_procs[size_t(ch)]->process(processed.ch[ch], dry.ch[ch], outputBuffer(0, ch), frames);
}
