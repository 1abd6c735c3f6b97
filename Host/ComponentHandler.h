#pragma once
// Receives what a plug-in's controller tells its host: edits and restart
// requests. It keeps the restart flags until they are taken, counts latency
// restarts and edits, and on request writes every call down as text
// ("begin 3", "perform 3 0.5", "end 3", "restart 8"); writing allocates, so
// a handler that records is for tests that do not count allocations.

#include <string>
#include <vector>

#include "pluginterfaces/vst/ivsteditcontroller.h"

namespace host {

class CComponentHandler : public Steinberg::Vst::IComponentHandler {
public:
    explicit CComponentHandler(bool record = false) : m_record(record) {}

    Steinberg::int32 takeRestartFlags() {
        const Steinberg::int32 f = m_restartFlags;
        m_restartFlags = 0;
        return f;
    }
    void forgetRestart(Steinberg::int32 flags) { m_restartFlags &= ~flags; }
    int latencyRestarts() const { return m_latencyRestarts; }
    int edits() const { return m_edits; }
    std::vector<std::string>& calls() { return m_calls; }

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue v) override;
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID id) override;
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override;

private:
    bool m_record;
    Steinberg::int32 m_restartFlags = 0;
    int m_latencyRestarts = 0;
    int m_edits = 0;
    std::vector<std::string> m_calls;
};

}  // namespace host
