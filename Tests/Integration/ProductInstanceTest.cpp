// The product instance with an editor client on its interface base:
// parameters the editor listens to follow the host and presets, presets are
// activated, undone and redone through the protocol, the output meter
// publishes levels of a known input while audio runs, and the state chunk
// restores every value bit for bit.
#include <cmath>

#include "Audio/Registry/AudioPreset.h"
#include "Audio/Viz/AudioVizCollector.h"
#include "Core/MemoryReader.h"
#include "Tests/Integration/IntegrationFixture.h"

namespace integ {

constexpr const char* kInGain = "plugin.modMain.modTamblor.ingain";
constexpr const char* kOutGain = "plugin.modMain.modTamblor.outgain";
constexpr const char* kMeterOut = "plugin.modMain.modMeterOut";

class ProductInstance : public Integration {
protected:
    // Runs blocks on this thread (these tests have no separate audio thread).
    void process(CStereoBlock& block, int count) {
        for (int i = 0; i < count; ++i) {
            core()->process(block.in(), nullptr, block.out(), block.frames());
            block.advance();
        }
    }
    // The current program of the master registry as a preset, fetched
    // through the protocol.
    CAudioPreset requestCurrentPreset(CEditor& ed, uint32_t registry) {
        uint32_t request = 0;
        EXPECT_TRUE(ed.client->requestPreset(registry, false, -1, -1, &request).ok());
        pump();
        CParamInterfaceClient::RegistryData data;
        EXPECT_TRUE(ed.client->takeRegistryData(request, &data));
        CAudioPreset preset;
        CMemoryReader r(data.bytes.data(), data.bytes.size());
        EXPECT_TRUE(preset.load(r).ok());
        return preset;
    }
    // Undoes (or redoes) to a position of the history through the protocol.
    void moveInHistory(CEditor& ed, uint32_t position) {
        ASSERT_TRUE(ed.client->setUndoHistoryPos(position).ok());
        pump();
        ASSERT_EQ(ed.client->undoHistory().position, position);
    }
};

TEST_F(ProductInstance, EditorParametersFollowTheHostAndPresets) {
    CEditor& ed = openEditor();
    uint32_t in = 0, out = 0, missing = 0;
    ASSERT_TRUE(ed.client->listenParam(kInGain, &in).ok());
    ASSERT_TRUE(ed.client->listenParam(kOutGain, &out).ok());
    ASSERT_TRUE(ed.client->listenParam("plugin.modMain.no-such-param", &missing).ok());
    ASSERT_TRUE(ed.client->requestIoChannelCounts().ok());
    ASSERT_TRUE(ed.client->requestInternalChannelCount().ok());
    ASSERT_TRUE(ed.client->requestSampleRate().ok());
    pump();
    ASSERT_NE(ed.client->param(in), nullptr);
    EXPECT_TRUE(ed.client->param(in)->known);
    EXPECT_FALSE(ed.client->param(missing)->known);
    EXPECT_EQ(ed.client->paramValue(in, 0, 0), value(kInGain));
    EXPECT_EQ(ed.client->inputChannelCount(), 2);
    EXPECT_EQ(ed.client->outputChannelCount(), 2);
    EXPECT_EQ(ed.client->internalChannelCount(), 8);
    EXPECT_DOUBLE_EQ(ed.client->sampleRate(), 44100.0);

    // A host edit on the main thread.
    const double before = value(kInGain);
    core()->setHostParamNormalized(kHostInGain, 0.8);
    ASSERT_NE(value(kInGain), before);
    pump();
    EXPECT_EQ(ed.client->paramValue(in, 0, 0), value(kInGain));

    // Host automation inside a block (written on the audio side).
    CStereoBlock block(512, 0.25, 0.02);
    const CHostParamChange change{100, kHostOutGain, 0.3};
    core()->setBlockParamChanges(&change, 1);
    process(block, 1);
    EXPECT_NEAR(core()->hostParamNormalized(kHostOutGain), 0.3, 1e-9);
    pump();
    EXPECT_EQ(ed.client->paramValue(out, 0, 0), value(kOutGain));

    // A preset applied on the instance's side (the registry's reset).
    ASSERT_TRUE(master().activateDefaultPreset().ok());
    pump();
    EXPECT_EQ(value(kInGain), param(kInGain)->info().defaultValue(0, 0));
    EXPECT_EQ(ed.client->paramValue(in, 0, 0), value(kInGain));
    EXPECT_EQ(ed.client->paramValue(out, 0, 0), value(kOutGain));
}

TEST_F(ProductInstance, PresetsActivateUndoAndRedoThroughTheProtocol) {
    CEditor& ed = openEditor();
    uint32_t reg = 0, in = 0;
    ASSERT_TRUE(ed.client->listenRegistry("param-registry", &reg).ok());
    ASSERT_TRUE(ed.client->listenParam(kInGain, &in).ok());
    ASSERT_TRUE(ed.client->requestUndoHistory().ok());
    pump();
    const auto* mirror = ed.client->registry(reg);
    ASSERT_NE(mirror, nullptr);
    ASSERT_TRUE(mirror->known);
    EXPECT_EQ(mirror->id.utf8(), "v87u");
    const auto& history = ed.client->undoHistory();
    ASSERT_FALSE(history.texts.empty());

    // A preset of the registry: the current program with a louder input,
    // fetched through the protocol; then the input goes down again.
    core()->setHostParamNormalized(kHostInGain, 0.9);
    const double loud = value(kInGain);
    CAudioPreset preset = requestCurrentPreset(ed, reg);
    ASSERT_EQ(preset.registryId().utf8(), "v87u");
    preset.setName("v87u:Loud");
    core()->setHostParamNormalized(kHostInGain, 0.2);
    const double quiet = value(kInGain);
    ASSERT_NE(loud, quiet);

    // Each step: the history's text and position, the value on the main
    // thread, in the editor's mirror, and on the audio side after a block.
    CStereoBlock block(512, 0.25, 0.02);
    auto expectInGain = [&](double v, const char* step) {
        EXPECT_EQ(value(kInGain), v) << step;
        EXPECT_EQ(ed.client->paramValue(in, 0, 0), v) << step;
        process(block, 1);
        EXPECT_EQ(param(kInGain)->value(0, 0), v) << step;
    };

    const size_t entries = history.texts.size();
    ASSERT_TRUE(ed.client->activatePreset(reg, preset).ok());
    pump();
    ASSERT_EQ(history.texts.size(), entries + 1);
    EXPECT_EQ(history.texts.back().utf8(), "Master preset activate");
    const uint32_t activated = history.position;
    EXPECT_EQ(activated, history.texts.size() - 1);
    EXPECT_EQ(history.text.utf8(), "Master preset activate");
    if (!mirror->programs.empty()) {  // the current program takes the preset's name
        EXPECT_NE(mirror->currentProgramName.utf8().find("Loud"), std::string::npos)
            << mirror->currentProgramName.utf8();
    }
    expectInGain(loud, "activated");

    moveInHistory(ed, activated - 1);
    expectInGain(quiet, "undone");
    moveInHistory(ed, activated);
    expectInGain(loud, "redone");

    // The registry's reset, then undone.
    ASSERT_TRUE(ed.client->activateDefaultPreset(reg).ok());
    pump();
    EXPECT_EQ(history.texts.back().utf8(), "Master reset");
    expectInGain(param(kInGain)->info().defaultValue(0, 0), "reset");
    moveInHistory(ed, activated);
    expectInGain(loud, "reset undone");

    // A factory preset, when this build carries a factory bank.
    if (!mirror->factoryPresets.empty()) {
        ASSERT_TRUE(ed.client->activateFactoryPreset(reg, uint32_t(mirror->factoryPresets.size() - 1)).ok());
        pump();
        EXPECT_EQ(history.texts.back().utf8(), "ROM preset activate");
        moveInHistory(ed, history.position - 1);
        expectInGain(loud, "factory preset undone");
    }

    // A preset of another registry is refused and changes nothing.
    const size_t count = history.texts.size();
    const uint32_t position = history.position;
    CAudioPreset foreign = preset;
    foreign.setName("KLIO:Loud");
    EXPECT_FALSE(ed.client->activatePreset(reg, foreign).ok());
    pump();
    EXPECT_EQ(history.texts.size(), count);
    EXPECT_EQ(history.position, position);
    expectInGain(loud, "foreign preset");
}

TEST_F(ProductInstance, OutputMeterPublishesLevelsOfAKnownInput) {
    ASSERT_TRUE(master().activateDefaultPreset().ok());
    CEditor& ed = openEditor();
    pump();
    EXPECT_TRUE(ed.client->isVizActive()) << "an editor opened while audio runs learns it";
    // Stopping and starting the processing tells the editor.
    core()->stopProcessing();
    pump();
    EXPECT_FALSE(ed.client->isVizActive());
    core()->startProcessing();
    pump();
    EXPECT_TRUE(ed.client->isVizActive());

    const CString enableName = CString(kMeterOut) + CString("-enable");
    CAudioParam* enable = param(enableName.utf8().c_str());
    ASSERT_NE(enable, nullptr);
    EXPECT_EQ(kelMainParamValue(*enable, 0, 0), 0.0);
    uint32_t viz = 0;
    ASSERT_TRUE(ed.client->listenViz(kMeterOut, 0, &viz).ok());
    EXPECT_EQ(kelMainParamValue(*enable, 0, 0), 1.0);

    // A second of a sine at -12 dBFS (amplitude 0.25) through the default
    // settings, the editor polling the meter as its timer would.
    CStereoBlock block(512, 0.25, 1000.0 / 44100.0);
    for (int i = 0; i < 90; ++i) {
        process(block, 1);
        if (i % 10 == 9) {
            ASSERT_TRUE(ed.client->requestVizData(viz, 0, CVizDataRequest::kInfo).ok());
            pump();
        }
    }
    EXPECT_NEAR(block.peakOut(), 0.25, 0.01);
    const CAudioInterfaceClient::VizMirror* m = ed.client->viz(viz);
    ASSERT_NE(m, nullptr);
    EXPECT_GE(m->updates, 5u);
    const CVizFrame frame = readVizFrame(m->data);
    ASSERT_TRUE(frame.valid);
    ASSERT_GE(frame.channels, 2u);
    for (uint32_t ch = 0; ch < 2; ++ch) {
        // The peak of the sine within half a dB; the level near its RMS
        // (amplitude / sqrt 2; the meter's ballistics ride up to a dB
        // above it) and below the peak.
        const double peakDb = 20.0 * std::log10(frame.channelValue(ch, "peak"));
        const double levelDb = 20.0 * std::log10(frame.channelValue(ch, "level"));
        EXPECT_NEAR(peakDb, 20.0 * std::log10(0.25), 0.5) << "channel " << ch;
        EXPECT_NEAR(levelDb, 20.0 * std::log10(0.25 / std::sqrt(2.0)), 1.0) << "channel " << ch;
        EXPECT_LT(levelDb, peakDb - 1.0) << "channel " << ch;
    }

    // Nobody listening: the tap is off again.
    ASSERT_TRUE(ed.client->unlistenViz(viz).ok());
    EXPECT_EQ(kelMainParamValue(*enable, 0, 0), 0.0);
}

TEST_F(ProductInstance, StateSaveChangeLoadRestoresEveryValueBitExactly) {
    CEditor& ed = openEditor();
    uint32_t in = 0;
    ASSERT_TRUE(ed.client->listenParam(kInGain, &in).ok());
    perturbCapturedValues(0.3);
    const auto saved = capturedValues();
    ASSERT_GT(saved.size(), 20u);
    const std::vector<uint8_t> chunk = saveState();
    ASSERT_GT(chunk.size(), 12u);
    EXPECT_EQ(std::string(chunk.begin(), chunk.begin() + 4), "aprs");

    perturbCapturedValues(0.75);
    const auto changed = capturedValues();
    ASSERT_EQ(changed.size(), saved.size());
    size_t differing = 0;
    for (size_t i = 0; i < saved.size(); ++i) differing += saved[i].second != changed[i].second;
    ASSERT_GT(differing, saved.size() / 2);

    // A damaged chunk changes nothing.
    std::vector<uint8_t> damaged = chunk;
    damaged[damaged.size() / 2] ^= 0x5A;
    EXPECT_FALSE(loadState(damaged).ok());
    EXPECT_EQ(capturedValues(), changed);

    const CError err = loadState(chunk);
    ASSERT_TRUE(err.ok()) << err.message().utf8();
    auto expectRestored = [&](const char* when) {
        const auto now = capturedValues();
        ASSERT_EQ(now.size(), saved.size());
        for (size_t i = 0; i < saved.size(); ++i) EXPECT_EQ(now[i], saved[i]) << saved[i].first << " " << when;
    };
    expectRestored("after loading");
    EXPECT_EQ(saveState(), chunk) << "a loaded state saves as it came";
    // Once the audio side took the values, the live storages hold them.
    CStereoBlock block(512, 0.25, 0.02);
    process(block, 2);
    expectRestored("after processing");
    pump();
    EXPECT_EQ(ed.client->paramValue(in, 0, 0), param(kInGain)->value(0, 0));
    ASSERT_TRUE(master().activateDefaultPreset().ok());
}

}  // namespace integ
