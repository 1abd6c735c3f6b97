// The product instance with its audio running on a thread of its own (blocks
// of 64 frames with host automation, as hosts run at low latency) while the main thread does what an
// editor and a host do meanwhile: protocol traffic with undo brackets, preset
// activation, undo and redo, host edits, programs, viz polling, state save
// and load, processing switched off and on. Built with ThreadSanitizer (scripts/tsan.sh) it proves the
// threads share nothing unguarded; in every build it checks that both sides
// keep working and end in agreement.
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "Audio/Registry/AudioPreset.h"
#include "Audio/Viz/AudioVizCollector.h"
#include "Core/MemoryReader.h"
#include "Core/MemoryWriter.h"
#include "Tests/Integration/IntegrationFixture.h"

namespace integ {

namespace {
constexpr const char* kInGain = "plugin.modMain.modTamblor.ingain";
constexpr const char* kOutGain = "plugin.modMain.modTamblor.outgain";
constexpr auto kRunTime = std::chrono::milliseconds(1500);

// The audio side: blocks until told to stop.
class CAudioThread {
public:
    explicit CAudioThread(CAudioWrapper& core) : m_core(core), m_thread([this] { run(); }) {}
    ~CAudioThread() { stop(); }
    void stop() {
        m_stop.store(true);
        if (m_thread.joinable()) m_thread.join();
    }
    int blocks() const { return m_blocks.load(); }
    bool finite() const { return m_finite.load(); }

private:
    void run() {
        CStereoBlock block(64, 0.5, 0.013);
        CHostParamChange changes[4];
        for (int n = 0; !m_stop.load(); ++n) {
            // Automation of two host parameters, two points each.
            for (int k = 0; k < 4; ++k)
                changes[k] = {k * 16, k % 2 ? kHostRelease : kHostInGain, 0.3 + 0.1 * std::sin(0.1 * (n + k))};
            m_core.setBlockParamChanges(changes, 4);
            m_core.process(block.in(), nullptr, block.out(), block.frames());
            if (!block.outputFinite()) m_finite.store(false);
            block.advance();
            m_blocks.fetch_add(1);
        }
    }

    CAudioWrapper& m_core;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_blocks{0};
    std::atomic<bool> m_finite{true};
    std::thread m_thread;
};
}  // namespace

TEST_F(Integration, AudioThreadRunsWhileEditorAndHostWork) {
    CEditor& ed = openEditor();
    CAudioInterfaceClient& c = *ed.client;
    uint32_t reg = 0, in = 0, out = 0, viz = 0;
    ASSERT_TRUE(c.listenRegistry("param-registry", &reg).ok());
    ASSERT_TRUE(c.listenParam(kInGain, &in).ok());
    ASSERT_TRUE(c.listenParam(kOutGain, &out).ok());
    ASSERT_TRUE(c.listenViz("plugin.modMain.modMeterOut", 0, &viz).ok());
    ASSERT_TRUE(c.requestUndoHistory().ok());
    uint32_t request = 0;
    ASSERT_TRUE(c.requestPreset(reg, false, -1, -1, &request).ok());
    pump();
    CParamInterfaceClient::RegistryData data;
    ASSERT_TRUE(c.takeRegistryData(request, &data));
    CAudioPreset preset;
    CMemoryReader reader(data.bytes.data(), data.bytes.size());
    ASSERT_TRUE(preset.load(reader).ok());
    preset.setName("v87u:Concurrent");
    std::vector<uint8_t> chunk;
    {
        CMemoryWriter w;
        ASSERT_TRUE(core()->saveState(w).ok());
        chunk = w.take();
    }

    CAudioThread audio(*core());
    const auto end = std::chrono::steady_clock::now() + kRunTime;
    int steps = 0;
    for (; std::chrono::steady_clock::now() < end; ++steps) {
        switch (steps % 7) {
            case 0: {  // an editor control's edit, bracketed for undo
                CAudioParamStorage values = kelMainParamSnapshot(*param(kOutGain));
                values.setValue(0, 0, 0, param(kOutGain)->info().denormalize(0, 0.2 + 0.05 * (steps % 5)));
                const uint32_t u = c.newUndoId();
                EXPECT_TRUE(c.createUndoData(u, "Output gain", out).ok());
                EXPECT_TRUE(c.changeParam(out, values).ok());
                EXPECT_TRUE(c.submitUndoData(u).ok());
                break;
            }
            case 1:
                EXPECT_TRUE(c.activatePreset(reg, preset).ok());
                break;
            case 2:  // undo, then redo on the next round
                if (c.undoHistory().position > 0) {
                    EXPECT_TRUE(c.setUndoHistoryPos(c.undoHistory().position - 1).ok());
                }
                break;
            case 3:
                if (c.undoHistory().position + 1 < c.undoHistory().texts.size()) {
                    EXPECT_TRUE(c.setUndoHistoryPos(c.undoHistory().position + 1).ok());
                }
                break;
            case 4: {  // the host saves and loads its state
                CMemoryWriter w;
                EXPECT_TRUE(core()->saveState(w).ok());
                EXPECT_TRUE(loadState(chunk).ok());
                break;
            }
            case 5:  // host edits, programs, routing and the latency
                core()->setHostParamNormalized(kHostOutGain, 0.1 * (steps % 10));
                EXPECT_GT(core()->latencySamples(), 0);
                if (core()->routingPresetCount() > 6) {
                    EXPECT_TRUE(core()->setRoutingPreset(steps % 2 ? 0 : 6).ok());  // stereo, dual mono
                }
                if (core()->programCount() > 1) {
                    EXPECT_TRUE(core()->setProgram(steps % 2).ok());
                }
                break;
            default:
                EXPECT_TRUE(c.requestVizData(viz, 4, CVizDataRequest::kInfo).ok());
                // Some hosts switch processing off and on from their main
                // thread while the audio thread still runs blocks.
                if (steps % 14 == 6) {
                    core()->stopProcessing();
                    core()->startProcessing();
                    EXPECT_TRUE(core()->isProcessing());
                    // A start clears the editor's meter subscriptions.
                    EXPECT_TRUE(c.listenViz("plugin.modMain.modMeterOut", 0, &viz).ok());
                }
                break;
        }
        pump();
    }
    audio.stop();

    EXPECT_GT(steps, 14);
    EXPECT_GT(audio.blocks(), 10);
    EXPECT_TRUE(audio.finite());
    // At rest both sides agree: the audio side takes what waits, the editor
    // receives what changed (the meters too).
    EXPECT_TRUE(c.requestVizData(viz, 4, CVizDataRequest::kInfo).ok());
    CStereoBlock block(512, 0.25, 0.02);
    core()->process(block.in(), nullptr, block.out(), block.frames());
    pump();
    ASSERT_NE(c.viz(viz), nullptr);
    EXPECT_GT(c.viz(viz)->updates, 0u);
    for (auto [id, name] : {std::pair{in, kInGain}, std::pair{out, kOutGain}}) {
        EXPECT_EQ(param(name)->value(0, 0), value(name)) << name;
        EXPECT_EQ(c.paramValue(id, 0, 0), value(name)) << name;
    }
    EXPECT_TRUE(c.unlistenViz(viz).ok());
    ASSERT_TRUE(loadState(chunk).ok());
}

}  // namespace integ
