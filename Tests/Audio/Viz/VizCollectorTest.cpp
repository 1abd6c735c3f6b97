// The visualization collector: listener counting and the enable parameters,
// the viz-data and export slot name blocks, the lock-free lane handover, and
// a viz bypass state of a graph following the listeners.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Audio/Graph/ProcessDef.h"
#include "Tests/Audio/Viz/VizTestSupport.h"

using namespace viztest;

namespace {

const char* const kOut = "plugin.modMain.modMeterOut";

CAudioVizDataInfo meterInfo(const char* name, int globals = 0) {
    CAudioVizDataInfo info;
    info.name = name;
    info.kind = EVizKind::Meter;
    for (int g = 0; g < globals; ++g) info.globalFields.push_back(CString("g") + CString::number(int64_t(g)));
    info.channelFields = {"level", "peak"};
    return info;
}

struct Recorder : CAudioParamListener {
    void paramChanged(CAudioParam& p) override { names.push_back(p.fullName().utf8()); }
    std::vector<std::string> names;
};

uint32_t id(uint32_t client, uint32_t n) { return client << CAudioVizCollector::kClientShift | n; }

}  // namespace

TEST_F(VizTest, ListenerCountingDrivesTheEnableParameter) {
    // One step of a scenario and what must hold after it.
    struct Step {
        enum Op { Listen, Unlisten, RemoveClient, Reset } op;
        uint32_t id;
        const char* source;
        uint32_t kind;
        double enable;    // modMeterOut-enable afterwards
        uint32_t total;   // listeners counted on modMeterOut
        uint32_t kind0;   // of them with kind 0
    };
    struct Scenario {
        const char* what;
        std::vector<Step> steps;
    };
    const char* other = "plugin.modMain.modMeterIn";
    const std::vector<Scenario> scenarios = {
        {"two clients, one leaves",
         {{Step::Listen, id(1, 1), kOut, 0, 1.0, 1, 1},
          {Step::Listen, id(2, 1), kOut, 0, 1.0, 2, 2},
          {Step::Unlisten, id(1, 1), nullptr, 0, 1.0, 1, 1},
          {Step::Unlisten, id(2, 1), nullptr, 0, 0.0, 0, 0}}},
        {"unlisten without listen",
         {{Step::Unlisten, id(1, 7), nullptr, 0, 0.0, 0, 0},
          {Step::Listen, id(1, 7), kOut, 0, 1.0, 1, 1},
          {Step::Unlisten, id(1, 7), nullptr, 0, 0.0, 0, 0},
          {Step::Unlisten, id(1, 7), nullptr, 0, 0.0, 0, 0}}},
        {"kinds are counted apart",
         {{Step::Listen, id(1, 1), kOut, 2, 1.0, 1, 0},
          {Step::Listen, id(1, 2), kOut, 0, 1.0, 2, 1},
          {Step::Unlisten, id(1, 2), nullptr, 0, 1.0, 1, 0}}},
        {"listening again under an id moves the listener",
         {{Step::Listen, id(1, 1), kOut, 0, 1.0, 1, 1},
          {Step::Listen, id(1, 1), other, 0, 0.0, 0, 0},
          {Step::Listen, id(1, 1), kOut, 1, 1.0, 1, 0}}},
        {"a client's listeners leave together",
         {{Step::Listen, id(1, 1), kOut, 0, 1.0, 1, 1},
          {Step::Listen, id(1, 2), kOut, 0, 1.0, 2, 2},
          {Step::Listen, id(2, 1), kOut, 0, 1.0, 3, 3},
          {Step::RemoveClient, 1, nullptr, 0, 1.0, 1, 1},
          {Step::RemoveClient, 2, nullptr, 0, 0.0, 0, 0}}},
        {"stop drops everyone",
         {{Step::Listen, id(1, 1), kOut, 0, 1.0, 1, 1},
          {Step::Listen, id(2, 1), other, 3, 1.0, 1, 1},
          {Step::Reset, 0, nullptr, 0, 0.0, 0, 0}}},
    };
    for (const Scenario& sc : scenarios) {
        CAudioVizLaneHandle out, in;
        ASSERT_FALSE(viz->registerSource(meterInfo(kOut), 0, &out));
        ASSERT_FALSE(viz->registerSource(meterInfo(other), 0, &in));
        CAudioVizData* src = viz->findSource(kOut);
        CAudioParam* enable = params->findParam(CString(kOut) + CString("-enable"));
        ASSERT_TRUE(enable) << sc.what;
        ASSERT_EQ(src->enableParam(), enable);
        EXPECT_EQ(enable->value(0, 0), 0.0) << sc.what;
        for (size_t i = 0; i < sc.steps.size(); ++i) {
            const Step& s = sc.steps[i];
            const uint32_t changes = enable->changeCount();
            const double before = enable->value(0, 0);
            switch (s.op) {
                case Step::Listen: EXPECT_FALSE(viz->listen(s.id, s.source, s.kind)); break;
                case Step::Unlisten: viz->unlisten(s.id); break;
                case Step::RemoveClient: viz->removeClient(s.id); break;
                case Step::Reset: viz->reset(); break;
            }
            EXPECT_EQ(enable->value(0, 0), s.enable) << sc.what << ", step " << i;
            EXPECT_EQ(src->listenerCount(), s.total) << sc.what << ", step " << i;
            EXPECT_EQ(src->listenerCount(0), s.kind0) << sc.what << ", step " << i;
            // The graph notices a change by the change counter, and only a change.
            EXPECT_EQ(enable->changeCount() != changes, before != s.enable) << sc.what << ", step " << i;
        }
        viz->reset();
    }
}

TEST_F(VizTest, SourcesComeAndGoWhileListenersStay) {
    Recorder rec;
    params->addListener(nullptr, &rec);
    // Listening before the module exists: the source starts enabled.
    ASSERT_FALSE(viz->listen(id(1, 1), kOut, 0));
    EXPECT_EQ(params->findParam(CString(kOut) + CString("-enable")), nullptr);
    auto group0 = std::make_unique<CAudioVizLaneHandle>();
    auto group1 = std::make_unique<CAudioVizLaneHandle>();
    ASSERT_FALSE(viz->registerSource(meterInfo(kOut), 0, group0.get()));
    ASSERT_FALSE(viz->registerSource(meterInfo(kOut), 1, group1.get()));
    EXPECT_EQ(viz->sourceCount(), 1u);
    CAudioParam* enable = params->findParam(CString(kOut) + CString("-enable"));
    ASSERT_TRUE(enable);
    EXPECT_EQ(enable->value(0, 0), 1.0);
    EXPECT_EQ(rec.names, std::vector<std::string>{"plugin.modMain.modMeterOut-enable"});
    EXPECT_EQ(viz->findSource(kOut)->lanes().size(), 2u);

    // A different layout under the same name is refused.
    CAudioVizLaneHandle clash;
    CAudioVizDataInfo other = meterInfo(kOut, 1);
    EXPECT_EQ(viz->registerSource(other, 2, &clash).message().utf8(),
              "Visualization data 'plugin.modMain.modMeterOut' is already registered with a different layout.");
    EXPECT_EQ(viz->listen(1, kOut, 8).message().utf8(), "Invalid visualization listener kind 8.");

    // The graph goes: with its last lane the source and its parameter go.
    group0.reset();
    EXPECT_EQ(viz->sourceCount(), 1u);
    group1.reset();
    EXPECT_EQ(viz->sourceCount(), 0u);
    EXPECT_EQ(params->findParam(CString(kOut) + CString("-enable")), nullptr);
    // A rebuilt graph finds its listener again.
    CAudioVizLaneHandle again;
    ASSERT_FALSE(viz->registerSource(meterInfo(kOut), 0, &again));
    EXPECT_EQ(params->findParam(CString(kOut) + CString("-enable"))->value(0, 0), 1.0);
    EXPECT_EQ(viz->findSource(kOut)->listenerCount(), 1u);

    // Without its template no enable parameter can be made.
    CAudioVizLaneHandle none;
    ASSERT_FALSE(viz->setAttr("param-enable-template", "shared::audio.nothing"));
    EXPECT_EQ(viz->registerSource(meterInfo("plugin.x"), 0, &none).message().utf8(),
              "Enable parameter template 'shared::audio.nothing' not found.");
    params->removeListener(&rec);

    // Lanes may outlive the collector.
    root.reset();
    again.reset();
}

TEST_F(VizTest, VizDataBlockLayout) {
    CAudioVizDataInfo info = meterInfo("plugin.s", 1);
    info.fps = 10.0;
    CAudioVizLaneHandle h;
    ASSERT_FALSE(viz->registerSource(info, 3, &h));
    viz->allocateLane(*h.get(), 2);
    ASSERT_FALSE(viz->listen(id(1, 2), "plugin.s", 0));

    // Nothing published yet: the first answer still carries the information.
    CMemoryWriter expected;
    auto header = [&](bool withInfo, uint32_t frames, uint64_t newest) {
        ASSERT_FALSE(expected.writeU32(1));  // meter
        ASSERT_FALSE(expected.writeU32(1));  // layout version
        ASSERT_FALSE(expected.writeU32(withInfo ? 1 : 0));
        if (withInfo) {
            ASSERT_FALSE(expected.writeString("plugin.s"));
            ASSERT_FALSE(expected.writeU32(1));
            ASSERT_FALSE(expected.writeF64(10.0));
            ASSERT_FALSE(expected.writeU32(1));  // points
            ASSERT_FALSE(expected.writeU32(1));
            ASSERT_FALSE(expected.writeString("g0"));
            ASSERT_FALSE(expected.writeU32(2));
            ASSERT_FALSE(expected.writeString("level"));
            ASSERT_FALSE(expected.writeString("peak"));
        }
        ASSERT_FALSE(expected.writeU32(1));  // lanes
        ASSERT_FALSE(expected.writeU32(3));  // group
        ASSERT_FALSE(expected.writeU32(frames));
        ASSERT_FALSE(expected.writeU64(newest));
    };
    auto wrap = [&](std::span<const uint8_t> body) {
        CMemoryWriter w;
        EXPECT_FALSE(w.writeU32(id(1, 2)));
        EXPECT_FALSE(w.writeString("plugin.s"));
        EXPECT_FALSE(w.writeU32(uint32_t(body.size())));
        EXPECT_FALSE(w.write(body.data(), body.size()));
        return w.take();
    };
    header(true, 0, 0);
    EXPECT_EQ(request(id(1, 2)), wrap(expected.bytes()));
    // ... and then nothing until a frame comes (unless asked to answer anyway).
    EXPECT_TRUE(request(id(1, 2)).empty());
    EXPECT_FALSE(request(id(1, 2), 0, CVizDataRequest::kAlways).empty());

    // Frames: global value, then per channel; one channel of two in use.
    CAudioVizLane& lane = *h.get();
    for (int n = 1; n <= 3; ++n) {
        double* f = lane.staging();
        f[0] = n;
        f[1] = 0.5 * n;
        f[2] = 0.25 * n;
        lane.publish(1);
    }
    expected.clear();
    header(false, 1, 3);  // only the newest frame
    ASSERT_FALSE(expected.writeU32(1));
    for (double v : {3.0, 1.5, 0.75}) ASSERT_FALSE(expected.writeF64(v));
    EXPECT_EQ(request(id(1, 2)), wrap(expected.bytes()));

    // A history request gets every frame not sent yet, oldest first.
    for (int n = 4; n <= 6; ++n) {
        lane.staging()[0] = n;
        lane.publish(2);
    }
    Block b = readBlock(request(id(1, 2), 16, CVizDataRequest::kInfo));
    ASSERT_TRUE(b.flags & kVizFlagInfo);
    ASSERT_EQ(b.lanes.size(), 1u);
    EXPECT_EQ(b.lanes[0].newest, 6u);
    ASSERT_EQ(b.lanes[0].frames.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(b.lanes[0].frames[i].channels, 2u);
        EXPECT_EQ(b.lanes[0].frames[i].values.size(), 5u);
        EXPECT_EQ(b.lanes[0].frames[i].values[0], double(4 + i));
    }
    bool written = true;
    EXPECT_EQ(viz->writeVizData(99, {}, expected, &written).message().utf8(), "Unknown visualization listener 99.");
    EXPECT_FALSE(written);
}

TEST_F(VizTest, ValueEncodingOfTheKinds) {
    struct Case {
        EVizKind kind;
        double value;
        double read;  // what comes back
    } cases[] = {{EVizKind::Meter, 0.1, 0.1},
                 {EVizKind::RGB, 16744448.4, 16744448.0},
                 {EVizKind::RGB, -5.0, 0.0},
                 {EVizKind::Spectrum, 0.1, double(0.1f)},
                 {EVizKind::VScope, -0.25, -0.25}};
    uint32_t n = 0;
    for (const Case& tc : cases) {
        CAudioVizDataInfo info;
        info.name = CString("plugin.k") + CString::number(int64_t(n));
        info.kind = tc.kind;
        info.channelFields = {"v"};
        info.points = 2;
        CAudioVizLaneHandle h;
        ASSERT_FALSE(viz->registerSource(info, 0, &h));
        viz->allocateLane(*h.get(), 1);
        h.get()->staging()[0] = tc.value;
        h.get()->staging()[1] = 0.0;
        h.get()->publish(1);
        ASSERT_FALSE(viz->listen(++n, info.name, 0));
        Block b = readBlock(request(n));
        EXPECT_EQ(b.kind, uint32_t(tc.kind));
        ASSERT_EQ(b.lanes.at(0).frames.size(), 1u);
        EXPECT_EQ(b.lanes[0].frames[0].values.at(0), tc.read) << int(tc.kind);
        EXPECT_EQ(b.info.points, 2u);
    }
}

// The audio thread publishes while the protocol side copies: every frame
// that is delivered is whole. Large frames and reads of the oldest frames of
// the ring, which the producer is about to overwrite, make overlaps frequent.
TEST_F(VizTest, LaneHandoverHasNoTornFrames) {
    CAudioVizDataInfo info = meterInfo("plugin.spsc", 2);
    info.channelFields = {"a", "b", "c", "d"};
    info.points = 32;
    CAudioVizLaneHandle h;
    ASSERT_FALSE(viz->registerSource(info, 0, &h));
    constexpr int kMaxChannels = 8;
    viz->allocateLane(*h.get(), kMaxChannels);
    CAudioVizLane& lane = *h.get();
    ASSERT_FALSE(viz->listen(1, "plugin.spsc", 0));

    // The producer keeps publishing until the consumer has made enough passes.
    // It publishes in bursts and, between bursts, waits until the consumer has
    // made one whole pass while it was quiet: however the two threads are
    // scheduled, some copies race the producer and some are certain to find
    // their frames complete.
    constexpr uint64_t kMinFrames = 20000;
    constexpr uint64_t kBurst = 4096;
    constexpr int kPasses = 6000;
    std::atomic<bool> done{false};
    std::atomic<int> passes{0};
    uint64_t produced = 0;
    std::thread producer([&] {
        uint64_t n = 0;
        while (n < kMinFrames || passes.load() < kPasses) {
            if (n % kBurst == kBurst - 1) {
                const int seen = passes.load();
                for (int now = seen; now < seen + 2; now = passes.load()) passes.wait(now);
            }
            ++n;
            const int channels = 1 + int(n % kMaxChannels);
            double* f = lane.staging();
            for (uint32_t i = 0; i < lane.frameValues(channels); ++i) f[i] = double(n);
            lane.publish(channels);
        }
        produced = n;
        done = true;
    });
    std::vector<double> frame(lane.capacityValues());
    uint64_t whole = 0, lastSeen = 0;
    size_t blocks = 0;
    bool monotonic = true, consistent = true;
    auto check = [&](uint64_t n) {
        const int channels = lane.readFrame(n, frame.data());
        if (channels < 0) return;
        ++whole;
        consistent = consistent && channels == 1 + int(n % kMaxChannels);
        for (uint32_t i = 0; i < lane.frameValues(channels); ++i) consistent = consistent && frame[i] == double(n);
    };
    constexpr uint64_t kRing = CAudioVizLane::kRingFrames;
    while (!done.load()) {
        const uint64_t newest = lane.published();
        for (uint64_t n = newest > 2 ? newest - 2 : 1; n <= newest; ++n) check(n);
        const uint64_t now = lane.published();
        if (now > kRing)
            for (uint64_t n = now - kRing + 1; n < now - kRing + 24; ++n) check(n);
        monotonic = monotonic && newest >= lastSeen;
        lastSeen = newest;
        ++passes;
        passes.notify_one();
        // The collector's copy of the frames.
        std::vector<uint8_t> bytes = request(1, 64);
        if (bytes.empty()) continue;
        Block b = readBlock(bytes, &info);
        ++blocks;
        for (const auto& f : b.lanes.at(0).frames) {
            consistent = consistent && f.channels == 1 + uint32_t(uint64_t(f.values.front()) % kMaxChannels);
            for (double v : f.values) consistent = consistent && v == f.values.front();
        }
    }
    producer.join();
    EXPECT_TRUE(consistent);
    EXPECT_TRUE(monotonic);
    EXPECT_GT(whole, 0u);
    EXPECT_GT(blocks, 0u);
    EXPECT_EQ(lane.published(), produced);
    EXPECT_EQ(lane.readFrame(produced, frame.data()), 1 + int(produced % kMaxChannels));
    EXPECT_EQ(lane.readFrame(produced - kRing, frame.data()), -1);  // overwritten
    EXPECT_EQ(lane.readFrame(produced + 1, frame.data()), -1);      // not yet there
}

TEST_F(VizTest, ExportSlotNames) {
    auto names = [&] {
        CMemoryWriter w;
        EXPECT_FALSE(viz->writeExportSlotNames(w));
        CMemoryReader r(w.data(), w.size());
        uint32_t n = 0;
        EXPECT_FALSE(r.readU32(&n));
        std::vector<std::string> out(n);
        for (auto& s : out) {
            CString t;
            EXPECT_FALSE(r.readString(&t));
            s = t.utf8();
        }
        EXPECT_EQ(r.remaining(), 0u);
        return out;
    };
    EXPECT_EQ(names(), std::vector<std::string>(8));

    // The instance name and group names come from their parameters.
    auto paramDef = [&](Attrs attrs) {
        auto* d = dynamic_cast<CAudioParamDef*>(add(defs.get(), "audio:param", "p", attrs));
        EXPECT_FALSE(d->initTree());
        return d;
    };
    auto textParam = [&](const char* full, const char* defaults) {
        CAudioParamDef* d =
            paramDef({{"data-type", "str"}, {"converter", "shared::audio.paramcvt.text"}, {"def-values", defaults}});
        auto p = CAudioParam::create(*d, full, 1);
        EXPECT_FALSE(params->registerParam(p.get()));
        return p;
    };
    auto instance = textParam("plugin.modMain.instance-name", "Bus A");
    auto groups = textParam("plugin.modMain.io-params.group-names", "Main,Sub,3,4,5,6,7,8");
    viz->slotManager().assign(0, 1, 0xFF8000);
    viz->slotManager().assign(4, 0, 3);
    std::vector<std::string> expected(8);
    expected[0] = "Bus A: 1 (Sub)|color=16744448";
    expected[4] = "Bus A: 5 (Main)|color=3";
    EXPECT_EQ(names(), expected);

    // From the export parameters: group -> slot number (from 1), group -> colour.
    // Group 2 names the slot group 0 holds already; 0 and 9 name none.
    CAudioParamDef* numeric = paramDef(
        {{"converter", "shared::audio.paramcvt.real"}, {"min-values", "0"}, {"max-values", "100000000"}, {"def-values", "0"}});
    auto slots = CAudioParam::create(*numeric, "plugin.export-slot", 8);
    auto colors = CAudioParam::create(*numeric, "plugin.export-color", 8);
    const double slotOf[8] = {3, 8, 3, 0, 9, 1, 0, 0};
    for (uint32_t g = 0; g < 8; ++g) {
        slots->storage().setValue(g, 0, 0, slotOf[g]);
        colors->storage().setValue(g, 0, 0, 100 + g);
    }
    ASSERT_FALSE(params->registerParam(slots.get()));
    ASSERT_FALSE(params->registerParam(colors.get()));
    ASSERT_FALSE(viz->setAttr("export-slot-param", "plugin.export-slot"));
    ASSERT_FALSE(viz->setAttr("export-color-param", "plugin.export-color"));
    expected.assign(8, "");
    expected[2] = "Bus A: 3 (Main)|color=100";
    expected[7] = "Bus A: 8 (Sub)|color=101";
    expected[0] = "Bus A: 1 (6)|color=105";
    EXPECT_EQ(names(), expected);
}

// A viz bypass state of a container follows the listeners of the tap behind it.
TEST_F(VizTest, BypassStateFollowsTheListeners) {
    CObject* main = add(defs.get(), "audio:process-def", "modMain");
    add(main, "audio:modNode", "modInputNode");
    add(main, "audio:modNode", "modPostDither");
    add(main, "audio:modMeter", "modMeterOut", {{"is-outoforder", "true"}, {"fps", "100"}});
    add(main, "audio:process-link", "", {{"src", "modPostDither"}, {"dst", "modMeterOut"}, {"bypass-state-id", "0"}});
    add(main, "audio:process-bypass-state", "",
        {{"id", "0"}, {"param", "modMeterOut-enable"}, {"value", "1.0"}, {"is-inverted", "true"}});
    ASSERT_FALSE(defs->initTree());
    ASSERT_FALSE(buildGraph(*main, 2, 48000.0, 480));
    auto* graph = dynamic_cast<CAudioProcess*>(process);
    ASSERT_TRUE(graph);
    auto names = [&] {
        std::vector<std::string> out;
        for (const CString& n : graph->sequenceNames()) out.push_back(n.utf8());
        return out;
    };
    const std::vector<std::vector<double>> block(2, std::vector<double>(480, 0.5));
    const std::vector<std::string> without = {"modInputNode", "modPostDither"};
    const std::vector<std::string> with = {"modInputNode", "modPostDither", "modMeterOut"};

    runBlock(block);
    EXPECT_EQ(names(), without);
    ASSERT_FALSE(viz->listen(id(1, 1), kOut, 0));
    ASSERT_FALSE(viz->listen(id(2, 1), kOut, 0));
    runBlock(block);
    EXPECT_EQ(names(), with);
    Block b = readBlock(request(id(1, 1)));
    ASSERT_EQ(b.lanes.size(), 1u);
    EXPECT_EQ(b.lanes[0].newest, 1u);  // one 10 ms frame of 480 samples
    viz->unlisten(id(1, 1));
    runBlock(block);
    EXPECT_EQ(names(), with);
    viz->unlisten(id(2, 1));
    runBlock(block);
    EXPECT_EQ(names(), without);
}
