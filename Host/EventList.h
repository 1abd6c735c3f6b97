#pragma once
// The events of one block. The hosts here send none, but a processor is
// still handed a list, as hosts do.

#include <array>

#include "pluginterfaces/vst/ivstevents.h"

namespace host {

class CEventList : public Steinberg::Vst::IEventList {
public:
    static constexpr int kCapacity = 64;
    void clear() { m_count = 0; }

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::int32 PLUGIN_API getEventCount() override { return m_count; }
    Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index, Steinberg::Vst::Event& e) override;
    Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event& e) override;

private:
    std::array<Steinberg::Vst::Event, kCapacity> m_events{};
    Steinberg::int32 m_count = 0;
};

}  // namespace host
