// The objects a host hands a plug-in: parameter changes ordered and bounded
// as the processor expects them, without allocating once built; the
// component handler's flags and record; the state stream; the interfaces
// each answers for.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "Host/ComponentHandler.h"
#include "Host/EventList.h"
#include "Host/MemoryStream.h"
#include "Host/ParamChanges.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "Tests/Support/AllocationCounter.h"

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

namespace {

using Points = std::vector<std::pair<int, double>>;

Points pointsOf(sv::IParamValueQueue& q) {
    Points out;
    for (sb::int32 i = 0; i < q.getPointCount(); ++i) {
        sb::int32 offset = -1;
        sv::ParamValue value = -1.0;
        EXPECT_EQ(q.getPoint(i, offset, value), sb::kResultOk);
        out.emplace_back(offset, value);
    }
    return out;
}

TEST(HostParamChanges, PointsStayOrderedAndOneOffsetHoldsOneValue) {
    struct Case {
        const char* what;
        Points added;
        Points held;
    };
    const Case cases[] = {
        {"in order", {{0, 0.1}, {10, 0.2}, {20, 0.3}}, {{0, 0.1}, {10, 0.2}, {20, 0.3}}},
        {"out of order", {{20, 0.3}, {0, 0.1}, {10, 0.2}}, {{0, 0.1}, {10, 0.2}, {20, 0.3}}},
        {"last offset again", {{0, 0.1}, {5, 0.2}, {5, 0.7}}, {{0, 0.1}, {5, 0.7}}},
        {"earlier offset again", {{0, 0.1}, {5, 0.2}, {0, 0.9}}, {{0, 0.9}, {5, 0.2}}},
    };
    for (const Case& c : cases) {
        host::CParamChanges changes(4, 8);
        for (const auto& [offset, value] : c.added) EXPECT_TRUE(changes.add(3, value, offset)) << c.what;
        ASSERT_EQ(changes.getParameterCount(), 1) << c.what;
        sv::IParamValueQueue* q = changes.getParameterData(0);
        EXPECT_EQ(q->getParameterId(), 3u) << c.what;
        EXPECT_EQ(pointsOf(*q), c.held) << c.what;
    }
}

TEST(HostParamChanges, RoomIsMadeOnceAndFullListsRefuse) {
    host::CParamChanges changes(2, 3);
    for (int round = 0; round < 2; ++round) {
        std::vector<bool> taken;  // room made before the count starts
        taken.reserve(16);
        alloc_counter::Scope scope;
        // Every queue takes its full room (each made its own, none shares).
        for (sv::ParamID id : {7u, 9u})
            for (int i = 0; i < 3; ++i) taken.push_back(changes.add(id, 0.1 * i, i));
        // Full: a new offset and a third parameter are refused, an offset held
        // still takes a new value.
        taken.push_back(changes.add(7, 0.5, 3));
        taken.push_back(changes.add(8, 0.5, 0));
        taken.push_back(changes.add(9, 0.5, 1));
        EXPECT_EQ(scope.allocations(), 0u) << "round " << round;
        EXPECT_EQ(taken, (std::vector<bool>{true, true, true, true, true, true, false, false, true}));
        EXPECT_EQ(changes.getParameterCount(), 2);
        EXPECT_EQ(pointsOf(*changes.getParameterData(1)), (Points{{0, 0.0}, {1, 0.5}, {2, 0.2}}));
        EXPECT_EQ(changes.getParameterData(2), nullptr);
        EXPECT_EQ(changes.getParameterData(-1), nullptr);
        // Cleared, a list starts empty again and its queues hold no old points.
        changes.clear();
        EXPECT_EQ(changes.getParameterCount(), 0);
    }
    sb::int32 index = -1;
    sv::IParamValueQueue* q = changes.addParameterData(4, index);
    ASSERT_NE(q, nullptr);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(q->getPointCount(), 0);
}

TEST(HostComponentHandler, KeepsFlagsUntilTakenAndRecordsOnlyWhenAsked) {
    for (bool record : {false, true}) {
        host::CComponentHandler h(record);
        h.beginEdit(3);
        h.performEdit(3, 0.5);
        h.endEdit(3);
        h.restartComponent(sv::kLatencyChanged);
        h.restartComponent(sv::kParamValuesChanged);
        h.restartComponent(sv::kLatencyChanged);
        EXPECT_EQ(h.edits(), 1);
        EXPECT_EQ(h.latencyRestarts(), 2);
        h.forgetRestart(sv::kLatencyChanged);
        EXPECT_EQ(h.takeRestartFlags(), sv::kParamValuesChanged);
        EXPECT_EQ(h.takeRestartFlags(), 0);
        const std::vector<std::string> expected =
            record ? std::vector<std::string>{"begin 3", "perform 3 0.5", "end 3", "restart 8", "restart 4", "restart 8"}
                   : std::vector<std::string>{};
        EXPECT_EQ(h.calls(), expected) << record;
    }
}

TEST(HostObjects, AnswerForTheirOwnInterfaceOnly) {
    host::CParamValueQueue queue;
    host::CParamChanges changes;
    host::CEventList events;
    host::CComponentHandler handler;
    host::CMemoryStream stream;
    struct Case {
        const char* what;
        sb::FUnknown* object;
        const sb::TUID& own;
    };
    const Case cases[] = {
        {"queue", static_cast<sv::IParamValueQueue*>(&queue), sv::IParamValueQueue::iid},
        {"changes", static_cast<sv::IParameterChanges*>(&changes), sv::IParameterChanges::iid},
        {"events", static_cast<sv::IEventList*>(&events), sv::IEventList::iid},
        {"handler", static_cast<sv::IComponentHandler*>(&handler), sv::IComponentHandler::iid},
        {"stream", static_cast<sb::IBStream*>(&stream), sb::IBStream::iid},
    };
    for (const Case& c : cases) {
        void* p = nullptr;
        EXPECT_EQ(c.object->queryInterface(c.own, &p), sb::kResultOk) << c.what;
        EXPECT_EQ(p, c.object) << c.what;
        EXPECT_EQ(c.object->queryInterface(sb::FUnknown::iid, &p), sb::kResultOk) << c.what;
        EXPECT_EQ(c.object->queryInterface(sv::IAudioProcessor::iid, &p), sb::kNoInterface) << c.what;
        EXPECT_EQ(p, nullptr) << c.what;
    }
}

TEST(HostEventList, HoldsItsCapacityAndNoMore) {
    host::CEventList events;
    sv::Event e{};
    for (int i = 0; i < host::CEventList::kCapacity; ++i) {
        e.sampleOffset = i;
        ASSERT_EQ(events.addEvent(e), sb::kResultOk) << i;
    }
    EXPECT_NE(events.addEvent(e), sb::kResultOk);
    sv::Event got{};
    EXPECT_EQ(events.getEvent(5, got), sb::kResultOk);
    EXPECT_EQ(got.sampleOffset, 5);
    EXPECT_NE(events.getEvent(host::CEventList::kCapacity, got), sb::kResultOk);
    events.clear();
    EXPECT_EQ(events.getEventCount(), 0);
}

TEST(HostMemoryStream, ReadsWritesAndSeeksAsPluginsExpect) {
    host::CMemoryStream s;
    char abc[] = "abcdef";
    Steinberg::int32 n = -1;
    EXPECT_EQ(s.write(abc, 6, &n), Steinberg::kResultOk);
    EXPECT_EQ(n, 6);
    Steinberg::int64 pos = -1;
    EXPECT_EQ(s.seek(2, Steinberg::IBStream::kIBSeekSet, &pos), Steinberg::kResultOk);
    EXPECT_EQ(pos, 2);
    char got[8] = {};
    EXPECT_EQ(s.read(got, 8, &n), Steinberg::kResultOk);  // short read at the end
    EXPECT_EQ(n, 4);
    EXPECT_EQ(std::string(got, 4), "cdef");
    EXPECT_EQ(s.read(got, 1, &n), Steinberg::kResultOk);
    EXPECT_EQ(n, 0);
    // Writing past the end leaves zeros in the gap; negative positions are refused.
    EXPECT_EQ(s.seek(2, Steinberg::IBStream::kIBSeekEnd, nullptr), Steinberg::kResultOk);
    EXPECT_EQ(s.write(abc, 1, nullptr), Steinberg::kResultOk);
    EXPECT_EQ(s.data(), (std::vector<uint8_t>{'a', 'b', 'c', 'd', 'e', 'f', 0, 0, 'a'}));
    EXPECT_NE(s.seek(-10, Steinberg::IBStream::kIBSeekCur, nullptr), Steinberg::kResultOk);
    EXPECT_EQ(s.tell(&pos), Steinberg::kResultOk);
    EXPECT_EQ(pos, 9);
}

}  // namespace
