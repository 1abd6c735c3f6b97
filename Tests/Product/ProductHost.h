#pragma once
// An in-process host for the product tests: it loads the plug-in through the
// module's entry point and factory, talks to it only through the VST3
// interfaces (IComponent, IAudioProcessor, IEditController), sets host
// parameters by their names the way a host automates them (a queued point in
// the next block plus the controller's value), and runs stereo audio through
// it in blocks.
//
// Nothing in a block allocates: the parameter queues, the bus buffers and
// the sample conversion buffers are sized when the host starts.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"

namespace product {

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

// Two channels of 64-bit samples.
struct Stereo {
    std::vector<double> l, r;
    Stereo() = default;
    explicit Stereo(size_t n) : l(n, 0.0), r(n, 0.0) {}
    size_t size() const { return l.size(); }
};

// One parameter's points within a block (fixed capacity).
class CQueue : public sv::IParamValueQueue {
public:
    static constexpr int kCapacity = 128;
    sb::tresult PLUGIN_API queryInterface(const sb::TUID, void**) override { return sb::kNoInterface; }
    sb::uint32 PLUGIN_API addRef() override { return 1; }
    sb::uint32 PLUGIN_API release() override { return 1; }
    sv::ParamID PLUGIN_API getParameterId() override { return m_id; }
    sb::int32 PLUGIN_API getPointCount() override { return m_count; }
    sb::tresult PLUGIN_API getPoint(sb::int32 index, sb::int32& offset, sv::ParamValue& value) override;
    sb::tresult PLUGIN_API addPoint(sb::int32 offset, sv::ParamValue value, sb::int32& index) override;

    void reset(sv::ParamID id) {
        m_id = id;
        m_count = 0;
    }

private:
    sv::ParamID m_id = 0;
    int m_count = 0;
    std::array<sb::int32, kCapacity> m_offsets{};
    std::array<double, kCapacity> m_values{};
};

// The changes of one block (fixed capacity).
class CChanges : public sv::IParameterChanges {
public:
    static constexpr int kCapacity = 32;
    sb::tresult PLUGIN_API queryInterface(const sb::TUID, void**) override { return sb::kNoInterface; }
    sb::uint32 PLUGIN_API addRef() override { return 1; }
    sb::uint32 PLUGIN_API release() override { return 1; }
    sb::int32 PLUGIN_API getParameterCount() override { return m_count; }
    sv::IParamValueQueue* PLUGIN_API getParameterData(sb::int32 index) override;
    sv::IParamValueQueue* PLUGIN_API addParameterData(const sv::ParamID& id, sb::int32& index) override;
    void clear() { m_count = 0; }

private:
    int m_count = 0;
    std::array<CQueue, kCapacity> m_queues;
};

// What the plug-in tells its host through the component handler.
class CHandler : public sv::IComponentHandler {
public:
    sb::tresult PLUGIN_API queryInterface(const sb::TUID iid, void** obj) override;
    sb::uint32 PLUGIN_API addRef() override { return 1; }
    sb::uint32 PLUGIN_API release() override { return 1; }
    sb::tresult PLUGIN_API beginEdit(sv::ParamID) override { return sb::kResultOk; }
    sb::tresult PLUGIN_API performEdit(sv::ParamID, sv::ParamValue) override { return sb::kResultOk; }
    sb::tresult PLUGIN_API endEdit(sv::ParamID) override { return sb::kResultOk; }
    sb::tresult PLUGIN_API restartComponent(sb::int32 flags) override;
    int latencyRestarts = 0;
};

class CHost {
public:
    CHost();
    ~CHost();
    CHost(const CHost&) = delete;
    CHost& operator=(const CHost&) = delete;

    // The instance was created and initialised.
    bool loaded() const { return m_processor != nullptr; }
    // Stereo buses, set-up at this rate, active and processing.
    bool start(double rate, int maxBlock = 512, bool is64 = true, int processMode = sv::kRealtime);
    void stop();
    double rate() const { return m_rate; }
    int blockSize() const { return m_block; }

    // The latency as the host reads it.
    int latency();

    // Host parameters by their names ("OutGain"); -1 when there is none.
    int paramId(const std::string& name) const;
    int hostParamCount() const { return int(m_names.size()); }
    // The normalized value of a display text, NaN when the text is refused.
    double normalizedFromText(int id, const std::string& text);
    std::string textOf(int id, double normalized);
    // A change arriving with the next block at the offset, also given to the
    // controller as a host does.
    void queueParam(int id, double normalized, int offset = 0);
    // A point of automation playback: it reaches the processor only.
    void queueAutomation(int id, double normalized, int offset = 0);
    // By name and display text; false when either is unknown.
    bool setParam(const std::string& name, const std::string& text, int offset = 0);

    // Runs one block of n <= maxBlock frames (no allocation).
    void processBlock(const double* inL, const double* inR, double* outL, double* outR, int n);
    // Runs a whole signal in blocks of the set-up size.
    Stereo run(const Stereo& in);
    // Runs n frames of silence and drops the output.
    void runSilence(size_t n);

    sv::IComponent* component() const { return m_component; }
    sv::IAudioProcessor* processor() const { return m_processor; }
    sv::IEditController* controller() const { return m_controller; }
    CHandler handler;

private:
    sv::IComponent* m_component = nullptr;
    sv::IAudioProcessor* m_processor = nullptr;
    sv::IEditController* m_controller = nullptr;
    std::vector<std::string> m_names;
    CChanges m_changes;
    double m_rate = 44100.0;
    int m_block = 512;
    bool m_is64 = true;
    bool m_processing = false;
    int m_processMode = sv::kRealtime;
    std::vector<float> m_f32;  // 4 channels of m_block: in L, in R, out L, out R
};

// Application start and module entry for a test fixture.
bool enterModule();
void exitModule();

}  // namespace product
