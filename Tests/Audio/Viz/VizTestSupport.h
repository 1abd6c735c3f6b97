#pragma once
// Fixture of the visualization tests: the shared enable template, an instance
// tree "plugin" with audio environment, parameter collector and viz
// collector, a reader of "viz-data" blocks, and a graph built in that
// instance.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Audio/Plugin/AudioEnv.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Graph/Process.h"
#include "Audio/Graph/ProcessBuild.h"
#include "Audio/Viz/AudioVizCollector.h"
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Tests/Audio/ParamFixture.h"

namespace viztest {

// A "viz-data" block read back.
struct Block {
    struct Frame {
        uint32_t channels = 0;
        std::vector<double> values;
    };
    struct Lane {
        uint32_t group = 0;
        uint64_t newest = 0;
        std::vector<Frame> frames;
    };
    uint32_t listener = 0;
    std::string source;
    uint32_t kind = 0, version = 0, flags = 0;
    CAudioVizDataInfo info;
    std::vector<Lane> lanes;
};

// Creates a child of a registered tag with attributes.
inline CObject* add(CObject* parent, const char* tag, const char* name, Attrs attrs = {}) {
    auto o = makeNode(tag, name, attrs);
    CObject* raw = o.get();
    parent->attachChild(std::move(o));
    return raw;
}

// A container `name` that feeds its input (and its input port 1 to port 1,
// when asked) to one module "mod" of a tag, with numeric parameters declared
// on the module (name, default).
inline CObject* singleModule(CObject* defs, const std::string& name, const char* tag, Attrs attrs,
                             std::initializer_list<std::pair<const char*, const char*>> params, bool port1 = false) {
    CObject* c = add(defs, "audio:process-def", name.c_str(), {{"is-auto-links", "false"}});
    CObject* m = add(c, tag, "mod", attrs);
    for (const auto& [p, v] : params)
        add(m, "audio:param", p,
            {{"converter", "shared::audio.paramcvt.real"}, {"min-values", "0"}, {"max-values", "100"}, {"def-values", v}});
    add(c, "audio:process-link", "", {{"src", "*"}, {"dst", "mod"}});
    if (port1) add(c, "audio:process-link", "", {{"src", "*/1"}, {"dst", "mod/1"}});
    return c;
}

// Reads a block; values are decoded by the kind, counted with the block's
// information or, when it carries none, with `known`.
inline Block readBlock(std::span<const uint8_t> bytes, const CAudioVizDataInfo* known = nullptr) {
    Block b;
    CMemoryReader r(bytes.data(), bytes.size());
    CString source;
    uint32_t length = 0;
    EXPECT_FALSE(r.readU32(&b.listener));
    EXPECT_FALSE(r.readString(&source));
    EXPECT_FALSE(r.readU32(&length));
    EXPECT_EQ(length, r.remaining());
    b.source = source.utf8();
    EXPECT_FALSE(r.readU32(&b.kind));
    EXPECT_FALSE(r.readU32(&b.version));
    EXPECT_FALSE(r.readU32(&b.flags));
    if (b.flags & kVizFlagInfo)
        EXPECT_FALSE(b.info.load(r));
    else if (known)
        b.info = *known;
    uint32_t lanes = 0;
    EXPECT_FALSE(r.readU32(&lanes));
    for (uint32_t l = 0; l < lanes; ++l) {
        Block::Lane lane;
        uint32_t frames = 0;
        EXPECT_FALSE(r.readU32(&lane.group));
        EXPECT_FALSE(r.readU32(&frames));
        EXPECT_FALSE(r.readU64(&lane.newest));
        for (uint32_t f = 0; f < frames; ++f) {
            Block::Frame fr;
            EXPECT_FALSE(r.readU32(&fr.channels));
            for (uint32_t i = 0; i < b.info.frameValues(int(fr.channels)); ++i) {
                double v = 0.0;
                if (b.kind == uint32_t(EVizKind::Meter)) {
                    EXPECT_FALSE(r.readF64(&v));
                } else if (b.kind == uint32_t(EVizKind::RGB)) {
                    uint32_t c = 0;
                    EXPECT_FALSE(r.readU32(&c));
                    v = c;
                } else {
                    float x = 0;
                    EXPECT_FALSE(r.readF32(&x));
                    v = x;
                }
                fr.values.push_back(v);
            }
            lane.frames.push_back(std::move(fr));
        }
        b.lanes.push_back(std::move(lane));
    }
    EXPECT_EQ(r.remaining(), 0u);
    return b;
}

class VizTest : public ParamTest {
protected:
    void SetUp() override {
        ParamTest::SetUp();
        CObject* audio = CApplication::sharedObject()->findChild("audio");
        auto def = makeNode("audio:param", "param-enable-viz",
                            {{"converter", "shared::audio.paramcvt.enum-enable"},
                             {"min-values", "0"},
                             {"max-values", "1"},
                             {"def-values", "0"},
                             {"is-global", "true"},
                             {"is-single-group", "true"},
                             {"is-single-element", "true"}});
        CObject* d = def.get();
        ASSERT_TRUE(audio->addChild(std::move(def)).ok());
        ASSERT_TRUE(d->initTree().ok());

        root = std::make_unique<CObject>();
        plugin = add(root.get(), "core:object", "plugin");
        env = dynamic_cast<CAudioEnv*>(add(plugin, "audio:audio-env", "audio-env"));
        params = dynamic_cast<CAudioParamCollector*>(add(plugin, "audio:param-collector", "param-collector"));
        viz = dynamic_cast<CAudioVizCollector*>(
            add(plugin, "audio:viz-collector", "viz-collector",
                {{"env", "^audio-env"}, {"param-collector", "^param-collector"}}));
        ASSERT_TRUE(plugin->initTree().ok());
        defs = std::make_unique<CObject>();
    }
    void TearDown() override {
        process = nullptr;
        root.reset();
        defs.reset();
        ParamTest::TearDown();
    }

    // Builds and prepares the runtime process of a definition as "plugin.<name>".
    CError buildGraph(const CObject& def, int channels, double rate, int maxFrames = 512) {
        CAudioProcessBuild b(params, env);
        auto* pdef = dynamic_cast<const CAudioProcessDefBase*>(&def);
        std::unique_ptr<CAudioProcessBase> proc = b.createProcess(*pdef);
        proc->setName(def.name());
        CAudioProcessBase* raw = proc.get();
        plugin->attachChild(std::move(proc));
        process = raw;
        KEL_TRY(raw->build(*pdef, b));
        CProcessConfig cfg;
        cfg.hostRate = rate;
        cfg.hostMaxFrames = maxFrames;
        cfg.maxSampleRate = rate;
        cfg.maxChannels = channels;
        KEL_TRY(raw->prepare(cfg));
        raw->setRate(rate);
        raw->setChannels(channels);
        return {};
    }

    // Runs one block through the graph (input port 0).
    void runBlock(const std::vector<std::vector<double>>& in) {
        CPortBuffers& p = process->input(0);
        p.channels = int(in.size());
        for (size_t c = 0; c < in.size(); ++c) p.ch[c] = in[c].data();
        process->update();
        process->process(int(in[0].size()));
    }

    // The "viz-data" block of a listener, or nothing.
    std::vector<uint8_t> request(uint32_t listener, uint32_t maxFrames = 0, uint32_t flags = 0) {
        CMemoryWriter out;
        bool written = false;
        CVizDataRequest req{maxFrames, flags};
        EXPECT_FALSE(viz->writeVizData(listener, req, out, &written));
        return written ? out.take() : std::vector<uint8_t>();
    }

    std::unique_ptr<CObject> root, defs;
    CObject* plugin = nullptr;
    CAudioEnv* env = nullptr;
    CAudioParamCollector* params = nullptr;
    CAudioVizCollector* viz = nullptr;
    CAudioProcessBase* process = nullptr;
};

}  // namespace viztest
