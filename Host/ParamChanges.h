#pragma once
// The parameter changes a host hands the processor with one block: one queue
// of points a parameter. Room for the queues and their points is made when
// the list is built (or re-sized between blocks), so filling, reading and
// clearing a list never allocates.

#include <vector>

#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace host {

// One parameter's points within a block, ordered by their offsets.
class CParamValueQueue : public Steinberg::Vst::IParamValueQueue {
public:
    explicit CParamValueQueue(int capacity = 0) { m_points.reserve(size_t(capacity)); }
    void reset(Steinberg::Vst::ParamID id) {
        m_id = id;
        m_points.clear();
    }
    int capacity() const { return int(m_points.capacity()); }

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return m_id; }
    Steinberg::int32 PLUGIN_API getPointCount() override { return Steinberg::int32(m_points.size()); }
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
                                           Steinberg::Vst::ParamValue& value) override;
    // A point at an offset the queue holds already replaces its value; a
    // full queue refuses new offsets.
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value,
                                           Steinberg::int32& index) override;

private:
    struct CPoint {
        Steinberg::int32 offset;
        Steinberg::Vst::ParamValue value;
    };
    Steinberg::Vst::ParamID m_id = 0;
    std::vector<CPoint> m_points;
};

// The queues of one block; a parameter has at most one queue.
class CParamChanges : public Steinberg::Vst::IParameterChanges {
public:
    explicit CParamChanges(int maxParams = 64, int maxPoints = 128) { setCapacity(maxParams, maxPoints); }
    // Room for that many parameters of that many points each (drops the
    // changes held). Not while the list is handed to a processor.
    void setCapacity(int maxParams, int maxPoints);
    void clear() { m_count = 0; }
    // Adds a point for the parameter, its queue made when it has none; false
    // when there is no room.
    bool add(Steinberg::Vst::ParamID id, Steinberg::Vst::ParamValue value, Steinberg::int32 offset = 0);

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::int32 PLUGIN_API getParameterCount() override { return m_count; }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                  Steinberg::int32& index) override;

private:
    std::vector<CParamValueQueue> m_queues;
    Steinberg::int32 m_count = 0;
};

}  // namespace host
