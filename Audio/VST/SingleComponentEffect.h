#pragma once
// CSingleComponentEffect: component, audio processor and edit controller in
// one object, built on the SDK's EditController and the VST3 interfaces. Type
// queries answer "SingleComponentEffect" → "EditController" → "ComponentBase"
// → "FObject". It keeps the four bus lists and answers the bus, activation
// and setup queries; a plug-in derives from it and overrides what it
// processes. The same getState/setState pair serves the component and the
// controller side (their signatures are identical); the controller's
// component-state call carries nothing.

#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "public.sdk/source/vst/vstbus.h"
#include "public.sdk/source/vst/vsteditcontroller.h"

// OBJ_METHODS with a run-time class name that differs from the C++ name.
#define TAMBLOR_OBJ_METHODS(className, runtimeName, baseClass)                                                 \
    static inline Steinberg::FClassID getFClassID() { return runtimeName; }                                   \
    Steinberg::FClassID isA() const override { return className::getFClassID(); }                             \
    bool isA(Steinberg::FClassID s) const override { return isTypeOf(s, false); }                             \
    bool isTypeOf(Steinberg::FClassID s, bool askBaseClass = true) const override {                           \
        return classIDsEqual(s, runtimeName) ? true : (askBaseClass ? baseClass::isTypeOf(s, true) : false); \
    }

class CSingleComponentEffect : public Steinberg::Vst::EditController,
                               public Steinberg::Vst::IComponent,
                               public Steinberg::Vst::IAudioProcessor,
                               public Steinberg::Vst::IProcessContextRequirements {
public:
    using tresult = Steinberg::tresult;
    using int32 = Steinberg::int32;
    using uint32 = Steinberg::uint32;

    CSingleComponentEffect();
    ~CSingleComponentEffect() override;

    // --- IPluginBase -------------------------------------------------------------
    tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    tresult PLUGIN_API terminate() override;

    // --- IComponent ----------------------------------------------------------------
    tresult PLUGIN_API getControllerClassId(Steinberg::TUID classId) override;
    tresult PLUGIN_API setIoMode(Steinberg::Vst::IoMode mode) override;
    int32 PLUGIN_API getBusCount(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir) override;
    tresult PLUGIN_API getBusInfo(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir, int32 index,
                                  Steinberg::Vst::BusInfo& info) override;
    tresult PLUGIN_API getRoutingInfo(Steinberg::Vst::RoutingInfo& inInfo,
                                      Steinberg::Vst::RoutingInfo& outInfo) override;
    tresult PLUGIN_API activateBus(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir, int32 index,
                                   Steinberg::TBool state) override;
    tresult PLUGIN_API setActive(Steinberg::TBool state) override;
    // Component and controller state (one pair for both sides).
    tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
    tresult PLUGIN_API getState(Steinberg::IBStream* state) override;

    // --- IEditController (the parts a single object answers itself) ----------------
    tresult PLUGIN_API setComponentState(Steinberg::IBStream* state) override;
    tresult PLUGIN_API getParameterInfo(int32 paramIndex, Steinberg::Vst::ParameterInfo& info) override;

    // --- IAudioProcessor -------------------------------------------------------------
    tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs, int32 numIns,
                                          Steinberg::Vst::SpeakerArrangement* outputs, int32 numOuts) override;
    tresult PLUGIN_API getBusArrangement(Steinberg::Vst::BusDirection dir, int32 index,
                                         Steinberg::Vst::SpeakerArrangement& arr) override;
    tresult PLUGIN_API canProcessSampleSize(int32 symbolicSampleSize) override;
    uint32 PLUGIN_API getLatencySamples() override;
    tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
    tresult PLUGIN_API setProcessing(Steinberg::TBool state) override;
    tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
    uint32 PLUGIN_API getTailSamples() override;

    // --- IProcessContextRequirements ----------------------------------------------------
    uint32 PLUGIN_API getProcessContextRequirements() override;

    // --- Buses ----------------------------------------------------------------------------
    Steinberg::Vst::AudioBus* addAudioInput(const Steinberg::Vst::TChar* name, Steinberg::Vst::SpeakerArrangement arr,
                                            Steinberg::Vst::BusType type = Steinberg::Vst::kMain,
                                            int32 flags = Steinberg::Vst::BusInfo::kDefaultActive);
    Steinberg::Vst::AudioBus* addAudioOutput(const Steinberg::Vst::TChar* name, Steinberg::Vst::SpeakerArrangement arr,
                                             Steinberg::Vst::BusType type = Steinberg::Vst::kMain,
                                             int32 flags = Steinberg::Vst::BusInfo::kDefaultActive);
    Steinberg::Vst::EventBus* addEventInput(const Steinberg::Vst::TChar* name, int32 channels,
                                            Steinberg::Vst::BusType type = Steinberg::Vst::kMain,
                                            int32 flags = Steinberg::Vst::BusInfo::kDefaultActive);
    void removeAudioBuses();
    void removeAllBuses();

    const Steinberg::Vst::ProcessSetup& processSetup() const { return m_setup; }

    TAMBLOR_OBJ_METHODS(CSingleComponentEffect, "SingleComponentEffect", Steinberg::Vst::EditController)
    DEFINE_INTERFACES
        DEF_INTERFACE(Steinberg::Vst::IComponent)
        DEF_INTERFACE(Steinberg::Vst::IAudioProcessor)
        DEF_INTERFACE(Steinberg::Vst::IProcessContextRequirements)
    END_DEFINE_INTERFACES(Steinberg::Vst::EditController)
    REFCOUNT_METHODS(Steinberg::Vst::EditController)

protected:
    Steinberg::Vst::BusList* busList(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir);

    Steinberg::Vst::BusList m_audioInputs;
    Steinberg::Vst::BusList m_audioOutputs;
    Steinberg::Vst::BusList m_eventInputs;
    Steinberg::Vst::BusList m_eventOutputs;
    Steinberg::Vst::ProcessSetup m_setup{Steinberg::Vst::kRealtime, Steinberg::Vst::kSample32, 1024, 44100.0};
};
