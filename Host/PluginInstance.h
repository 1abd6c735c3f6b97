#pragma once
// One instance of a plug-in's audio effect class as a host runs it: made
// from a factory (a loaded module's, or one linked into the program) with
// its component, audio processor and edit controller (one object or two,
// then connected), the buses negotiated, processing set up, and blocks of
// planar audio run in 32 or 64 bits with the parameter changes queued for
// them, the state chunk and the reported latency. The controller is there
// for an editor host to create its view from.
//
// Threads as in a host: everything but the process calls on one thread (the
// main thread), the process calls on one other or the same. Nothing a block
// does allocates: queues, bus buffers and conversion buffers are sized by
// create() and prepare().
//
// Errors are returned as messages (empty string: success).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Host/ComponentHandler.h"
#include "Host/EventList.h"
#include "Host/ParamChanges.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

namespace Steinberg::Vst {
class HostApplication;
}

namespace host {

struct CPluginParam {
    Steinberg::Vst::ParamID id = 0;
    std::string title;
    std::string units;
    Steinberg::int32 flags = 0;
    Steinberg::int32 stepCount = 0;
    double defaultValue = 0.0;
    Steinberg::Vst::UnitID unitId = 0;
};

struct CHostSetup {
    double sampleRate = 48000.0;
    int maxBlock = 512;
    bool is64 = false;
    bool offline = true;
    int channels = 2;  // of the main input and output buses wanted
};

class CPluginInstance {
public:
    // The most points one parameter's queue takes in a block.
    static constexpr int kMaxPointsPerBlock = 128;

    explicit CPluginInstance(bool recordHandlerCalls = false);
    ~CPluginInstance();
    CPluginInstance(const CPluginInstance&) = delete;
    CPluginInstance& operator=(const CPluginInstance&) = delete;

    // Creates and initialises the first "Audio Module Class" of the factory
    // (which stays the caller's).
    std::string create(Steinberg::IPluginFactory* factory);
    bool created() const { return m_processor != nullptr; }
    const std::string& className() const { return m_className; }
    Steinberg::Vst::IComponent* component() const { return m_component; }
    Steinberg::Vst::IAudioProcessor* processor() const { return m_processor; }
    Steinberg::Vst::IEditController* controller() const { return m_controller; }
    CComponentHandler& handler() { return m_handler; }

    // Bus arrangements, processing set-up, activation (a prepared instance
    // is stopped first). Channel counts of the main buses the plug-in
    // accepted are then in inputChannels/outputChannels.
    std::string prepare(const CHostSetup& config);
    // Processing off and deactivated; prepare() starts it again.
    void stop();
    const CHostSetup& setup() const { return m_config; }
    int inputChannels() const { return m_inChannels; }
    int outputChannels() const { return m_outChannels; }
    // The latency the plug-in reports now (re-read after a restart request).
    int latency();
    Steinberg::int32 takeRestartFlags() { return m_handler.takeRestartFlags(); }

    std::vector<CPluginParam> parameters() const;
    // The id of the parameter of that title.
    std::string findParameter(const std::string& title, Steinberg::Vst::ParamID* id) const;
    std::string parameterText(Steinberg::Vst::ParamID id, double normalized) const;
    // The normalized value the plug-in reads from a display text; false when
    // it refuses the text.
    bool valueFromText(Steinberg::Vst::ParamID id, const std::string& text, double* value) const;
    double parameterValue(Steinberg::Vst::ParamID id) const;
    // A change as a host makes it: the controller takes the value at once,
    // the processor with the next block at the offset.
    void queueChange(Steinberg::Vst::ParamID id, double value, int offset = 0);
    // A point of automation playback: it reaches the processor only, with
    // the next block. Points at one offset replace each other.
    void queuePoint(Steinberg::Vst::ParamID id, double value, int offset = 0);

    // The names of the programs of a program list (unit information): the
    // first list, or the one of that name ("Routing").
    std::vector<std::string> programs(const std::string& listName = {}) const;
    // Selects a program by name through the program-change parameter.
    // listName as for programs(); the unit that owns the list has the
    // program-change parameter that selects it.
    std::string selectProgram(const std::string& name, const std::string& listName = {});

    std::string loadState(const std::vector<uint8_t>& chunk);
    std::string saveState(std::vector<uint8_t>* chunk);

    // One block of frames <= the set-up's maxBlock: planar inputs
    // (inputChannels()) and outputs (outputChannels()), copied through the
    // instance's own buffers and converted to the set-up's sample size.
    void process(const double* const* in, double* const* out, int frames);
    void process(const float* const* in, float* const* out, int frames);
    // The same on the caller's channels of the set-up's sample size, handed
    // to the plug-in as they are (nothing copied).
    void processDirect(void* const* in, void* const* out, int frames);

    // Stops processing, deactivates, terminates and releases everything.
    void close();

private:
    template <class Sample>
    void processCopied(const Sample* const* in, Sample* const* out, int frames);
    void runBlock(int frames);
    // Connects (or disconnects) a separate controller and the component.
    void joinParts(bool connect);

    std::unique_ptr<Steinberg::Vst::HostApplication> m_host;  // not reference counted
    Steinberg::FUnknown* m_hostContext = nullptr;
    CComponentHandler m_handler;
    Steinberg::Vst::IComponent* m_component = nullptr;
    Steinberg::Vst::IAudioProcessor* m_processor = nullptr;
    Steinberg::Vst::IEditController* m_controller = nullptr;
    bool m_separateController = false;
    bool m_active = false, m_processing = false;
    std::string m_className;

    CHostSetup m_config;
    int m_inChannels = 0, m_outChannels = 0;
    std::vector<Steinberg::Vst::AudioBusBuffers> m_inBuses, m_outBuses;
    std::vector<std::vector<float>> m_buf32;  // every channel of every bus
    std::vector<std::vector<double>> m_buf64;
    std::vector<void*> m_channelPtrs;
    CParamChanges m_changes{0, 0};  // of the next block
    CEventList m_events;
    Steinberg::Vst::ProcessContext m_context{};
};

}  // namespace host
