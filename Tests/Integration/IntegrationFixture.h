#pragma once
// Fixture of the integration tests: one product instance (the embedded
// "SharedData.xml" definitions) driven as a host drives its plug-in core,
// shared by every test of a suite because building and preparing it takes
// seconds, and editor-side trees (a client connector and a client) that
// connect to its "plugin.interface-base" through the in-process connectors,
// as the editor does. The client connectors tick from the calling thread's
// run loop; pump() delivers what the base sent.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "Audio/Params/AudioParam.h"
#include "Audio/Params/AudioParamChangeSet.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Registry/AudioParamRegistry.h"
#include "Audio/Plugin/AudioWrapper.h"
#include "Audio/Interface/AudioInterfaceClient.h"
#include "Audio/Interface/ParamInterfaceUni.h"

namespace integ {

// Host indices of the product's host parameters used here.
constexpr int kHostInGain = 2, kHostOutGain = 3, kHostRelease = 5;

// The plug-in core as a host adapter derives it, counting its callbacks.
class CTestCore : public CAudioWrapper {
public:
    std::atomic<int> latencyChanges{0};
    std::atomic<int> programChanges{0};

protected:
    void onLatencyChanged() override { ++latencyChanges; }
    void onProgramChanged() override { ++programChanges; }
};

// An editor's end of the protocol.
struct CEditor {
    std::unique_ptr<CObject> root;
    CParamInterfaceUniClientConnector* connector = nullptr;
    CAudioInterfaceClient* client = nullptr;
};

// Planar stereo 32-bit blocks of a sine (input) and their output.
class CStereoBlock {
public:
    CStereoBlock(int frames, double amplitude, double cyclesPerSample);
    // The next block of the sine (phase continues).
    void advance();
    CHostBus& in() { return m_inBus; }
    CHostBus& out() { return m_outBus; }
    int frames() const { return m_frames; }
    float peakOut() const;
    bool outputFinite() const;

private:
    int m_frames;
    double m_amplitude, m_step, m_phase = 0.0;
    std::vector<float> m_in, m_out;
    void* m_inPtr[2] = {};
    void* m_outPtr[2] = {};
    CHostBus m_inBus, m_outBus;
};

// The values of a viz source's data as a client receives them: the newest
// frame of its first lane.
struct CVizFrame {
    bool valid = false;
    std::vector<std::string> channelFields;
    uint32_t channels = 0;
    std::vector<double> values;  // global values, then channel-major
    double channelValue(uint32_t ch, const std::string& field) const;
};
CVizFrame readVizFrame(const std::vector<uint8_t>& data);

class Integration : public ::testing::Test {
public:
    static void SetUpTestSuite();
    static void TearDownTestSuite();

protected:
    void SetUp() override;
    void TearDown() override;

    // A new editor connected to the instance (closed by TearDown).
    CEditor& openEditor();
    // Runs the run loop until every open editor's timer delivered twice.
    void pump();

    // The instance's objects.
    static CObject* object(const char* path);
    static CAudioParam* param(const char* fullName);
    static CAudioParamRegistry& master();
    // Main-thread view of a value.
    static double value(const char* fullName, uint32_t g = 0, uint32_t e = 0);
    // Every value the state carries (captured parameters of the master
    // registry, as stored parameters, main-thread view) in one byte string
    // per parameter.
    static std::vector<std::pair<std::string, std::vector<uint8_t>>> capturedValues();
    // Moves every captured value to another valid value (numbers through
    // their converter's range, texts rewritten), announcing the changes.
    static void perturbCapturedValues(double position);
    static std::vector<uint8_t> saveState();
    static CError loadState(const std::vector<uint8_t>& chunk);

    static CTestCore* core() { return s_core; }

private:
    static CTestCore* s_core;
    static std::string s_setupError;
    std::vector<std::unique_ptr<CEditor>> m_editors;
};

}  // namespace integ
