#pragma once
// CAudioWrapperVST3: one plug-in instance as the host sees it. It is the
// VST3 component, audio processor, edit controller and unit-info provider in
// one object, and the host adapter of the core (CAudioWrapper): it negotiates
// the buses, turns the host's process data and automation into core blocks,
// reports latency and tail, presents the core's host parameters, programs
// and state, and forwards the core's edits and latency changes to the host.
//
// The editor view (CAudioWrapperVST3Editor) is made by createView("editor")
// at the core's editor size and scale.
//
// Threads: process() on the host's audio thread; everything else on the
// host's main thread. The latency last given to the host is shared between
// the two.

#include <atomic>
#include <vector>

#include "Audio/Plugin/AudioWrapper.h"
#include "Audio/VST/SingleComponentEffect.h"
#include "pluginterfaces/vst/ivstunits.h"

class CAudioWrapperVST3Parameter;
class CAudioWrapperVST3ProgramParameter;

class CAudioWrapperVST3 : public CSingleComponentEffect, public Steinberg::Vst::IUnitInfo, public CAudioWrapper {
public:
    static constexpr Steinberg::Vst::ProgramListID kProgramListId = 999;
    static constexpr Steinberg::Vst::ProgramListID kRoutingListId = 998;

    CAudioWrapperVST3();
    ~CAudioWrapperVST3() override;

    // --- IPluginBase -----------------------------------------------------------------
    tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    tresult PLUGIN_API terminate() override;

    // --- IComponent --------------------------------------------------------------------
    tresult PLUGIN_API setActive(Steinberg::TBool state) override;
    tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
    tresult PLUGIN_API getState(Steinberg::IBStream* state) override;

    // --- IEditController ----------------------------------------------------------------
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;

    // --- IAudioProcessor ------------------------------------------------------------------
    tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs, int32 numIns,
                                          Steinberg::Vst::SpeakerArrangement* outputs, int32 numOuts) override;
    tresult PLUGIN_API canProcessSampleSize(int32 symbolicSampleSize) override;
    uint32 PLUGIN_API getLatencySamples() override;
    tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
    tresult PLUGIN_API setProcessing(Steinberg::TBool state) override;
    tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
    uint32 PLUGIN_API getTailSamples() override;
    uint32 PLUGIN_API getProcessContextRequirements() override;

    // --- IUnitInfo ---------------------------------------------------------------------------
    int32 PLUGIN_API getUnitCount() override;
    tresult PLUGIN_API getUnitInfo(int32 unitIndex, Steinberg::Vst::UnitInfo& info) override;
    int32 PLUGIN_API getProgramListCount() override;
    tresult PLUGIN_API getProgramListInfo(int32 listIndex, Steinberg::Vst::ProgramListInfo& info) override;
    tresult PLUGIN_API getProgramName(Steinberg::Vst::ProgramListID listId, int32 programIndex,
                                      Steinberg::Vst::String128 name) override;
    tresult PLUGIN_API getProgramInfo(Steinberg::Vst::ProgramListID listId, int32 programIndex,
                                      Steinberg::Vst::CString attributeId,
                                      Steinberg::Vst::String128 attributeValue) override;
    tresult PLUGIN_API hasProgramPitchNames(Steinberg::Vst::ProgramListID listId, int32 programIndex) override;
    tresult PLUGIN_API getProgramPitchName(Steinberg::Vst::ProgramListID listId, int32 programIndex,
                                           Steinberg::int16 midiPitch, Steinberg::Vst::String128 name) override;
    Steinberg::Vst::UnitID PLUGIN_API getSelectedUnit() override { return m_selectedUnit; }
    tresult PLUGIN_API selectUnit(Steinberg::Vst::UnitID unitId) override;
    tresult PLUGIN_API getUnitByBus(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir, int32 busIndex,
                                    int32 channel, Steinberg::Vst::UnitID& unitId) override;
    tresult PLUGIN_API setUnitProgramData(int32 listOrUnitId, int32 programIndex, Steinberg::IBStream* data) override;

    // --- Adapter state (tests and the editor) ---------------------------------------------
    const std::vector<CString>& inputChannelNames() const { return m_inputNames; }
    const std::vector<CString>& sidechainChannelNames() const { return m_sidechainNames; }
    bool isOffline() const { return m_offline.load(); }
    CAudioWrapperVST3ProgramParameter* programParameter() const { return m_programParam; }

    TAMBLOR_OBJ_METHODS(CAudioWrapperVST3, "CAudioWrapperVST3", CSingleComponentEffect)
    DEFINE_INTERFACES
        DEF_INTERFACE(Steinberg::Vst::IUnitInfo)
    END_DEFINE_INTERFACES(CSingleComponentEffect)
    REFCOUNT_METHODS(CSingleComponentEffect)

protected:
    // --- Callbacks of the core --------------------------------------------------------------
    void onBeginEdit(int index) override;
    void onPerformEdit(int index, double normalized) override;
    void onEndEdit(int index) override;
    void onProgramChanged() override;
    void onRoutingChanged() override;
    void onLatencyChanged() override;
    void onRequestEditorSize(int width, int height) override;

private:
    void readProjectFlags();
    void createBuses();
    void createParameters();
    void applyArrangements(Steinberg::Vst::SpeakerArrangement in, Steinberg::Vst::SpeakerArrangement out,
                           Steinberg::Vst::SpeakerArrangement sidechain);
    // Tells the core the channel counts when they differ from the last ones told.
    void passIoLayout(int in, int sidechain, int out);
    // Sends restartComponent(kLatencyChanged) when the core's latency differs
    // from the value last given to the host (once until the host asks again).
    void requestLatencyRestartIfChanged();
    // Re-reads every host parameter value from the core (after a state load
    // or a program change) and tells the host.
    void refreshParameterValues();
    CAudioWrapperVST3Parameter* hostParameter(int index) const;

    bool m_coreInitDone = false;
    // Project switches.
    bool m_useSidechain = false;
    bool m_symmetricIo = true;
    bool m_useHostBpm = false;
    int m_maxChannels = 8;

    Steinberg::int32 m_lastProcessMode = -1;
    std::atomic<bool> m_offline{false};  // the mode the host announced last (any thread)
    bool m_blockOffline = false;         // the mode last passed to the core (audio thread)
    int m_blockLayout[3] = {-1, -1, -1}; // channel counts last offered from a block (audio thread)
    CAudioWrapperVST3ProgramParameter* programList(Steinberg::Vst::ProgramListID listId) const;

    CAudioWrapperVST3ProgramParameter* m_programParam = nullptr;  // owned by the parameter container
    CAudioWrapperVST3ProgramParameter* m_routingParam = nullptr;  // likewise; null without routing presets
    Steinberg::Vst::UnitID m_selectedUnit = Steinberg::Vst::kRootUnitId;
    std::vector<CString> m_inputNames;
    std::vector<CString> m_sidechainNames;
    Steinberg::Vst::AudioBusBuffers* m_sidechainBuffers = nullptr;  // of the current block
    int m_ioLayout[3] = {-1, -1, -1};  // channels of the arrangement last told to the core (main thread)
    int m_hostParamCount = 0;
    std::vector<CHostParamChange> m_changes;  // room for every parameter's 32 points

    std::atomic<Steinberg::int64> m_reportedLatency{-1};  // -1: never asked
    std::atomic<bool> m_latencyRestartSent{false};
};
