#include "Host/EventList.h"

#include "Host/Interfaces.h"

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

namespace host {

sb::tresult PLUGIN_API CEventList::queryInterface(const sb::TUID iid, void** obj) {
    return answerQuery<sv::IEventList>(this, iid, obj);
}

sb::tresult PLUGIN_API CEventList::getEvent(sb::int32 index, sv::Event& e) {
    if (index < 0 || index >= m_count) return sb::kInvalidArgument;
    e = m_events[size_t(index)];
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CEventList::addEvent(sv::Event& e) {
    if (m_count >= kCapacity) return sb::kOutOfMemory;
    m_events[size_t(m_count++)] = e;
    return sb::kResultOk;
}

}  // namespace host
