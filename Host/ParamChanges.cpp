#include "Host/ParamChanges.h"

#include <algorithm>

#include "Host/Interfaces.h"

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

namespace host {

sb::tresult PLUGIN_API CParamValueQueue::queryInterface(const sb::TUID iid, void** obj) {
    return answerQuery<sv::IParamValueQueue>(this, iid, obj);
}

sb::tresult PLUGIN_API CParamValueQueue::getPoint(sb::int32 index, sb::int32& sampleOffset, sv::ParamValue& value) {
    if (index < 0 || index >= getPointCount()) return sb::kInvalidArgument;
    sampleOffset = m_points[size_t(index)].offset;
    value = m_points[size_t(index)].value;
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CParamValueQueue::addPoint(sb::int32 sampleOffset, sv::ParamValue value, sb::int32& index) {
    const auto at = std::lower_bound(m_points.begin(), m_points.end(), sampleOffset,
                                     [](const CPoint& p, sb::int32 offset) { return p.offset < offset; });
    index = sb::int32(at - m_points.begin());
    if (at != m_points.end() && at->offset == sampleOffset) {
        at->value = value;
        return sb::kResultOk;
    }
    if (m_points.size() >= m_points.capacity()) return sb::kOutOfMemory;
    m_points.insert(at, CPoint{sampleOffset, value});
    return sb::kResultOk;
}

void CParamChanges::setCapacity(int maxParams, int maxPoints) {
    // Each queue makes its own room (a copied queue would not keep it).
    m_queues.clear();
    m_queues.reserve(size_t(std::max(maxParams, 0)));
    for (int i = 0; i < maxParams; ++i) m_queues.emplace_back(std::max(maxPoints, 0));
    m_count = 0;
}

bool CParamChanges::add(sv::ParamID id, sv::ParamValue value, sb::int32 offset) {
    sb::int32 index = 0;
    sv::IParamValueQueue* q = addParameterData(id, index);
    return q && q->addPoint(offset, value, index) == sb::kResultOk;
}

sb::tresult PLUGIN_API CParamChanges::queryInterface(const sb::TUID iid, void** obj) {
    return answerQuery<sv::IParameterChanges>(this, iid, obj);
}

sv::IParamValueQueue* PLUGIN_API CParamChanges::getParameterData(sb::int32 index) {
    return index >= 0 && index < m_count ? &m_queues[size_t(index)] : nullptr;
}

sv::IParamValueQueue* PLUGIN_API CParamChanges::addParameterData(const sv::ParamID& id, sb::int32& index) {
    for (sb::int32 i = 0; i < m_count; ++i)
        if (m_queues[size_t(i)].getParameterId() == id) {
            index = i;
            return &m_queues[size_t(i)];
        }
    if (size_t(m_count) >= m_queues.size()) return nullptr;
    index = m_count++;
    m_queues[size_t(index)].reset(id);
    return &m_queues[size_t(index)];
}

}  // namespace host
