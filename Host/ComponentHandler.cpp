#include "Host/ComponentHandler.h"

#include <cstdio>

#include "Host/Interfaces.h"

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

namespace host {

sb::tresult PLUGIN_API CComponentHandler::queryInterface(const sb::TUID iid, void** obj) {
    return answerQuery<sv::IComponentHandler>(this, iid, obj);
}

sb::tresult PLUGIN_API CComponentHandler::beginEdit(sv::ParamID id) {
    if (m_record) m_calls.push_back("begin " + std::to_string(id));
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CComponentHandler::performEdit(sv::ParamID id, sv::ParamValue v) {
    ++m_edits;
    if (m_record) {
        char s[64];
        std::snprintf(s, sizeof s, "perform %u %g", unsigned(id), v);
        m_calls.emplace_back(s);
    }
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CComponentHandler::endEdit(sv::ParamID id) {
    if (m_record) m_calls.push_back("end " + std::to_string(id));
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CComponentHandler::restartComponent(sb::int32 flags) {
    m_restartFlags |= flags;
    if (flags & sv::kLatencyChanged) ++m_latencyRestarts;
    if (m_record) m_calls.push_back("restart " + std::to_string(flags));
    return sb::kResultOk;
}

}  // namespace host
