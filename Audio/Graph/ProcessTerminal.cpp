#include "Audio/Graph/ProcessTerminal.h"

#include <atomic>

#include "Audio/Params/ParamAccess.h"
#include "Audio/Graph/ProcessBuild.h"
#include "Core/Log.h"

namespace {
std::atomic<uint32_t> g_instanceCounter{0};
}

void CModProcessorBase::start() {
    m_instance = g_instanceCounter.fetch_add(1) & 0x7FFFFFFFu;
    m_started = true;
}

CError CAudioProcessTerminalBase::build(const CAudioProcessDefBase& def, CAudioProcessBuild& b) {
    m_def = &def;
    m_env = b.env();
    m_xfadeLength = def.xfadeLength();
    KEL_TRY(b.createParams(def, paramPrefix(), &m_params));
    KEL_TRY(moduleSetup(b));
    m_needUpdate = true;
    return {};
}

void CAudioProcessTerminalBase::registerParam(CAudioProcessBuild& b, int index, const char* name, double fallback) {
    if (index >= int(m_slots.size())) m_slots.resize(size_t(index + 1));
    Slot& s = m_slots[size_t(index)];
    s.fallback = fallback;
    // The definition's slot list names the parameter; otherwise the slot's own name.
    CString paramName(name);
    bool hasAllocs = false, found = false;
    for (const auto& c : m_def->children()) {
        if (!(c->tag() == "audio:param-alloc")) continue;
        hasAllocs = true;
        if (c->attrInt("index", -1) == index) {
            paramName = c->attr("param-name");
            found = true;
            break;
        }
    }
    if (hasAllocs && !found) kelLogf("regModuleParam error %i // %s", index, fullName().utf8().c_str());
    s.param = b.resolveParam(*this, paramName);
}

double CAudioProcessTerminalBase::param(int index, int element) const {
    if (index < 0 || index >= int(m_slots.size())) return 0.0;
    const Slot& s = m_slots[size_t(index)];
    return kelParamValue(s.param, m_group, element, s.fallback);
}

double CAudioProcessTerminalBase::paramForGroup(int index, int group, int element) const {
    if (index < 0 || index >= int(m_slots.size())) return 0.0;
    const Slot& s = m_slots[size_t(index)];
    return kelParamValue(s.param, group, element, s.fallback);
}

bool CAudioProcessTerminalBase::paramBound(int index) const {
    return index >= 0 && index < int(m_slots.size()) && m_slots[size_t(index)].param;
}

void CAudioProcessTerminalBase::setRate(double sampleRate) {
    if (sampleRate == m_rate) return;
    CAudioProcessBase::setRate(sampleRate);
    m_needUpdate = true;
}

bool CAudioProcessTerminalBase::update() {
    bool changed = m_needUpdate;
    for (Slot& s : m_slots) {
        const uint32_t c = kelParamChangeCount(s.param);
        if (c != s.seen) {
            s.seen = c;
            changed = true;
        }
    }
    if (!changed) return false;
    const double oldLatency = latency();
    m_needUpdate = false;
    updateParams();
    return latency() != oldLatency;
}
