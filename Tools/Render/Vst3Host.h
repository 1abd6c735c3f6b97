#pragma once
// A small offline VST3 host: loads a bundle (Linux: dlopen, ModuleEntry;
// Windows: LoadLibrary, InitDll; then GetPluginFactory), creates its first audio effect class with component,
// audio processor and edit controller (one object or two), negotiates the
// buses, and runs blocks of planar audio in 32 or 64 bits with parameter
// changes, the state chunk and the reported latency.
//
// Errors are returned as messages (empty string: success).

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pluginterfaces/base/ibstream.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivsteditcontroller.h"
#include "pluginterfaces/vst/ivstevents.h"
#include "pluginterfaces/vst/ivstparameterchanges.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

namespace Steinberg::Vst {
class HostApplication;
}

namespace render {

// The changes of one block for the processor.
class CHostParamQueue : public Steinberg::Vst::IParamValueQueue {
public:
    static constexpr int kCapacity = 64;
    void reset(Steinberg::Vst::ParamID id) {
        m_id = id;
        m_count = 0;
    }
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::Vst::ParamID PLUGIN_API getParameterId() override { return m_id; }
    Steinberg::int32 PLUGIN_API getPointCount() override { return m_count; }
    Steinberg::tresult PLUGIN_API getPoint(Steinberg::int32 index, Steinberg::int32& sampleOffset,
                                           Steinberg::Vst::ParamValue& value) override;
    Steinberg::tresult PLUGIN_API addPoint(Steinberg::int32 sampleOffset, Steinberg::Vst::ParamValue value,
                                           Steinberg::int32& index) override;

private:
    Steinberg::Vst::ParamID m_id = 0;
    Steinberg::int32 m_count = 0;
    Steinberg::int32 m_offsets[kCapacity] = {};
    Steinberg::Vst::ParamValue m_values[kCapacity] = {};
};

class CHostParamChanges : public Steinberg::Vst::IParameterChanges {
public:
    static constexpr int kCapacity = 256;
    void clear() { m_count = 0; }
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::int32 PLUGIN_API getParameterCount() override { return m_count; }
    Steinberg::Vst::IParamValueQueue* PLUGIN_API getParameterData(Steinberg::int32 index) override;
    Steinberg::Vst::IParamValueQueue* PLUGIN_API addParameterData(const Steinberg::Vst::ParamID& id,
                                                                  Steinberg::int32& index) override;

private:
    CHostParamQueue m_queues[kCapacity];
    Steinberg::int32 m_count = 0;
};

// The events of one block (the host sends none; hosts still hand a list).
class CHostEventList : public Steinberg::Vst::IEventList {
public:
    static constexpr int kCapacity = 64;
    void clear() { m_count = 0; }
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::int32 PLUGIN_API getEventCount() override { return m_count; }
    Steinberg::tresult PLUGIN_API getEvent(Steinberg::int32 index, Steinberg::Vst::Event& e) override;
    Steinberg::tresult PLUGIN_API addEvent(Steinberg::Vst::Event& e) override;

private:
    Steinberg::Vst::Event m_events[kCapacity] = {};
    Steinberg::int32 m_count = 0;
};

// A byte stream in memory for the state chunk: reads from the start of what
// it holds, writes at the position (growing as needed).
class CHostStream : public Steinberg::IBStream {
public:
    CHostStream() = default;
    explicit CHostStream(std::vector<uint8_t> data) : m_data(std::move(data)) {}
    const std::vector<uint8_t>& data() const { return m_data; }

    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::tresult PLUGIN_API read(void* buffer, Steinberg::int32 numBytes, Steinberg::int32* numBytesRead) override;
    Steinberg::tresult PLUGIN_API write(void* buffer, Steinberg::int32 numBytes,
                                        Steinberg::int32* numBytesWritten) override;
    Steinberg::tresult PLUGIN_API seek(Steinberg::int64 pos, Steinberg::int32 mode, Steinberg::int64* result) override;
    Steinberg::tresult PLUGIN_API tell(Steinberg::int64* pos) override;

private:
    std::vector<uint8_t> m_data;
    size_t m_pos = 0;
};

// Receives the plug-in's edits and restart requests.
class CHostComponentHandler : public Steinberg::Vst::IComponentHandler {
public:
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    Steinberg::uint32 PLUGIN_API addRef() override { return 1; }
    Steinberg::uint32 PLUGIN_API release() override { return 1; }
    Steinberg::tresult PLUGIN_API beginEdit(Steinberg::Vst::ParamID) override { return Steinberg::kResultOk; }
    Steinberg::tresult PLUGIN_API performEdit(Steinberg::Vst::ParamID, Steinberg::Vst::ParamValue) override {
        ++edits;
        return Steinberg::kResultOk;
    }
    Steinberg::tresult PLUGIN_API endEdit(Steinberg::Vst::ParamID) override { return Steinberg::kResultOk; }
    Steinberg::tresult PLUGIN_API restartComponent(Steinberg::int32 flags) override {
        restartFlags |= flags;
        return Steinberg::kResultOk;
    }

    Steinberg::int32 restartFlags = 0;
    int edits = 0;
};

class CVst3Module {
public:
    CVst3Module() = default;
    ~CVst3Module() { unload(); }
    CVst3Module(const CVst3Module&) = delete;
    CVst3Module& operator=(const CVst3Module&) = delete;

    // bundlePath: "<dir>/<Name>.vst3"; its Contents/x86_64-linux/<Name>.so is
    // loaded (Windows: Contents/x86_64-win/<Name>.vst3, x86-win for 32-bit).
    std::string load(const std::string& bundlePath);
    // Releases the factory, calls ModuleExit (ExitDll) and closes the library.
    void unload();
    Steinberg::IPluginFactory* factory() const { return m_factory; }

    static std::string libraryPath(const std::string& bundlePath);

private:
    void* m_handle = nullptr;
    bool m_entered = false;
    Steinberg::IPluginFactory* m_factory = nullptr;
};

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

class CVst3Plugin {
public:
    CVst3Plugin();
    ~CVst3Plugin();
    CVst3Plugin(const CVst3Plugin&) = delete;
    CVst3Plugin& operator=(const CVst3Plugin&) = delete;

    // Creates and initialises the first "Audio Module Class" of the factory.
    std::string create(Steinberg::IPluginFactory* factory);
    std::string className() const { return m_className; }

    // Bus arrangements, processing set-up, activation. Channel counts of the
    // main buses the plug-in accepted are then in inputChannels/outputChannels.
    std::string prepare(const CHostSetup& config);
    int inputChannels() const { return m_inChannels; }
    int outputChannels() const { return m_outChannels; }
    // The latency the plug-in reports now (re-read after a restart request).
    int latency();
    Steinberg::int32 takeRestartFlags();

    std::vector<CPluginParam> parameters() const;
    std::string parameterText(Steinberg::Vst::ParamID id, double normalized) const;
    double parameterValue(Steinberg::Vst::ParamID id) const;
    // Sets a parameter by title: as text the plug-in parses, or as a
    // normalized value. The change reaches the controller at once and the
    // processor with the next block.
    std::string setParameter(const std::string& title, const std::string& text);
    std::string setParameterNormalized(const std::string& title, double value);
    // By the number its display text shows (dB for a gain), for a parameter
    // whose text grows with its value: the normalized value whose text comes
    // nearest, to the precision the text shows. Values outside the range
    // are refused.
    std::string setParameterNumber(const std::string& title, double number);
    // The numbers the display texts show at the ends of a parameter's range.
    std::string parameterRange(const std::string& title, double* lo, double* hi) const;
    // The display text of a parameter's current value; empty when there is
    // no parameter of that title.
    std::string parameterTextByTitle(const std::string& title) const;

    // The names of the programs of a program list (unit information): the
    // first list, or the one of that name ("Routing").
    std::vector<std::string> programs(const std::string& listName = {}) const;
    // Selects a program by name through the program-change parameter.
    // listName as for programs(); the unit that owns the list has the
    // program-change parameter that selects it.
    std::string selectProgram(const std::string& name, const std::string& listName = {});

    std::string loadState(const std::vector<uint8_t>& chunk);
    std::string saveState(std::vector<uint8_t>* chunk);

    // One block: planar inputs (inputChannels()) and outputs (outputChannels()).
    void process(const double* const* in, double* const* out, int frames);

    // Stops processing, deactivates, terminates and releases everything.
    void close();

private:
    std::string findParameter(const std::string& title, Steinberg::Vst::ParamID* id) const;
    void queueChange(Steinberg::Vst::ParamID id, double value);

    std::unique_ptr<Steinberg::Vst::HostApplication> m_host;  // not reference counted
    Steinberg::FUnknown* m_hostContext = nullptr;
    CHostComponentHandler m_handler;
    Steinberg::Vst::IComponent* m_component = nullptr;
    Steinberg::Vst::IAudioProcessor* m_processor = nullptr;
    Steinberg::Vst::IEditController* m_controller = nullptr;
    bool m_separateController = false;
    bool m_active = false, m_processing = false;
    std::string m_className;

    CHostSetup m_config;
    int m_inChannels = 0, m_outChannels = 0;
    std::vector<Steinberg::Vst::AudioBusBuffers> m_inBuses, m_outBuses;
    std::vector<std::vector<float>> m_buf32;    // every channel of every bus
    std::vector<std::vector<double>> m_buf64;
    std::vector<void*> m_channelPtrs;
    CHostParamChanges m_changes;
    CHostEventList m_events;
    std::vector<std::pair<Steinberg::Vst::ParamID, double>> m_pending;
    Steinberg::Vst::ProcessContext m_context{};
};

}  // namespace render
