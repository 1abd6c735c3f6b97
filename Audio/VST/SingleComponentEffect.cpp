#include "Audio/VST/SingleComponentEffect.h"

using namespace Steinberg;
using namespace Steinberg::Vst;

CSingleComponentEffect::CSingleComponentEffect()
    : m_audioInputs(kAudio, kInput),
      m_audioOutputs(kAudio, kOutput),
      m_eventInputs(kEvent, kInput),
      m_eventOutputs(kEvent, kOutput) {}

CSingleComponentEffect::~CSingleComponentEffect() = default;

tresult PLUGIN_API CSingleComponentEffect::initialize(FUnknown* context) {
    tresult r = EditController::initialize(context);
    if (r != kResultOk) return r;
    parameters.init();
    return kResultOk;
}

tresult PLUGIN_API CSingleComponentEffect::terminate() {
    removeAllBuses();
    return EditController::terminate();
}

// --- Buses ------------------------------------------------------------------------

BusList* CSingleComponentEffect::busList(MediaType type, BusDirection dir) {
    if (type == kAudio) return dir == kInput ? &m_audioInputs : &m_audioOutputs;
    if (type == kEvent) return dir == kInput ? &m_eventInputs : &m_eventOutputs;
    return nullptr;
}

AudioBus* CSingleComponentEffect::addAudioInput(const TChar* name, SpeakerArrangement arr, BusType type, int32 flags) {
    auto* bus = new AudioBus(name, type, flags, arr);
    m_audioInputs.push_back(IPtr<Bus>(bus, false));
    return bus;
}

AudioBus* CSingleComponentEffect::addAudioOutput(const TChar* name, SpeakerArrangement arr, BusType type, int32 flags) {
    auto* bus = new AudioBus(name, type, flags, arr);
    m_audioOutputs.push_back(IPtr<Bus>(bus, false));
    return bus;
}

EventBus* CSingleComponentEffect::addEventInput(const TChar* name, int32 channels, BusType type, int32 flags) {
    auto* bus = new EventBus(name, type, flags, channels);
    m_eventInputs.push_back(IPtr<Bus>(bus, false));
    return bus;
}

void CSingleComponentEffect::removeAudioBuses() {
    m_audioInputs.clear();
    m_audioOutputs.clear();
}

void CSingleComponentEffect::removeAllBuses() {
    removeAudioBuses();
    m_eventInputs.clear();
    m_eventOutputs.clear();
}

// --- IComponent -----------------------------------------------------------------------

tresult PLUGIN_API CSingleComponentEffect::getControllerClassId(TUID) {
    // The controller is this object: hosts ask it for IEditController.
    return kResultFalse;
}

tresult PLUGIN_API CSingleComponentEffect::setIoMode(IoMode) { return kResultOk; }

int32 PLUGIN_API CSingleComponentEffect::getBusCount(MediaType type, BusDirection dir) {
    BusList* list = busList(type, dir);
    return list ? int32(list->size()) : 0;
}

tresult PLUGIN_API CSingleComponentEffect::getBusInfo(MediaType type, BusDirection dir, int32 index, BusInfo& info) {
    BusList* list = busList(type, dir);
    if (!list || index < 0 || index >= int32(list->size())) return kInvalidArgument;
    info.mediaType = type;
    info.direction = dir;
    return list->at(size_t(index))->getInfo(info) ? kResultTrue : kResultFalse;
}

tresult PLUGIN_API CSingleComponentEffect::getRoutingInfo(RoutingInfo&, RoutingInfo&) { return kNotImplemented; }

tresult PLUGIN_API CSingleComponentEffect::activateBus(MediaType type, BusDirection dir, int32 index, TBool state) {
    BusList* list = busList(type, dir);
    if (!list || index < 0 || index >= int32(list->size())) return kInvalidArgument;
    list->at(size_t(index))->setActive(state);
    return kResultTrue;
}

tresult PLUGIN_API CSingleComponentEffect::setActive(TBool) { return kResultOk; }
tresult PLUGIN_API CSingleComponentEffect::setState(IBStream*) { return kNotImplemented; }
tresult PLUGIN_API CSingleComponentEffect::getState(IBStream*) { return kNotImplemented; }

// --- IEditController ---------------------------------------------------------------------

tresult PLUGIN_API CSingleComponentEffect::setComponentState(IBStream*) { return kResultOk; }

tresult PLUGIN_API CSingleComponentEffect::getParameterInfo(int32 paramIndex, ParameterInfo& info) {
    if (paramIndex < 0 || paramIndex >= parameters.getParameterCount()) return kInvalidArgument;
    return EditController::getParameterInfo(paramIndex, info);
}

// --- IAudioProcessor -------------------------------------------------------------------------

tresult PLUGIN_API CSingleComponentEffect::setBusArrangements(SpeakerArrangement*, int32, SpeakerArrangement*, int32) {
    return kResultFalse;
}

tresult PLUGIN_API CSingleComponentEffect::getBusArrangement(BusDirection dir, int32 index, SpeakerArrangement& arr) {
    BusList* list = busList(kAudio, dir);
    if (!list || index < 0 || index >= int32(list->size())) return kInvalidArgument;
    arr = static_cast<AudioBus*>(list->at(size_t(index)).get())->getArrangement();
    return kResultTrue;
}

tresult PLUGIN_API CSingleComponentEffect::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == kSample32 ? kResultTrue : kResultFalse;
}

uint32 PLUGIN_API CSingleComponentEffect::getLatencySamples() { return 0; }

tresult PLUGIN_API CSingleComponentEffect::setupProcessing(ProcessSetup& setup) {
    if (canProcessSampleSize(setup.symbolicSampleSize) != kResultTrue) return kResultFalse;
    m_setup = setup;
    return kResultOk;
}

tresult PLUGIN_API CSingleComponentEffect::setProcessing(TBool) { return kNotImplemented; }
tresult PLUGIN_API CSingleComponentEffect::process(ProcessData&) { return kResultOk; }
uint32 PLUGIN_API CSingleComponentEffect::getTailSamples() { return kNoTail; }

uint32 PLUGIN_API CSingleComponentEffect::getProcessContextRequirements() { return 0; }
