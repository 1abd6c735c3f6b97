#include "Audio/VST/AudioWrapperVST3.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Audio/VST/AudioWrapperVST3Editor.h"
#include "Audio/VST/AudioWrapperVST3Parameter.h"
#include "Audio/VST/ProcessHelpersVST.h"
#include "Audio/VST/SpeakerArrangements.h"
#include "Audio/VST/StreamVST.h"
#include "Core/AppErrorWindow.h"
#include "Core/Application.h"
#include "Core/Log.h"
#include "pluginterfaces/vst/ivstprocesscontext.h"

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

CAudioWrapperVST3::CAudioWrapperVST3() = default;
CAudioWrapperVST3::~CAudioWrapperVST3() = default;

// --- Set-up ----------------------------------------------------------------------------

void CAudioWrapperVST3::readProjectFlags() {
    CSharedObject* shared = CApplication::sharedObject();
    const CObject* project = shared ? shared->findChild("project") : nullptr;
    if (!project) return;
    m_useSidechain = project->attrBool("use-sidechain", false);
    m_symmetricIo = project->attrBool("is-symmetric-io", true);
    m_useHostBpm = project->attrBool("use-host-bpm", false);
}

sb::tresult PLUGIN_API CAudioWrapperVST3::initialize(sb::FUnknown* context) {
    const sb::tresult base = CSingleComponentEffect::initialize(context);
    if (base != sb::kResultOk) return base;
    if (!m_coreInitDone) {
        if (CError err = init()) {
            CAppErrorWindow::show(err);
            return sb::kResultFalse;
        }
        m_coreInitDone = true;
    }
    readProjectFlags();
    m_maxChannels = internalChannelCount();
    createBuses();
    createParameters();
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CAudioWrapperVST3::terminate() {
    m_programParam = nullptr;
    m_routingParam = nullptr;
    m_hostParamCount = 0;
    return CSingleComponentEffect::terminate();
}

void CAudioWrapperVST3::createBuses() {
    removeAllBuses();
    applyArrangements(sv::SpeakerArr::kStereo, sv::SpeakerArr::kStereo,
                      m_useSidechain ? sv::SpeakerArr::kStereo : 0);
    addEventInput(STR16("MIDI In"), 1);
}

void CAudioWrapperVST3::createParameters() {
    parameters.removeAll();
    m_hostParamCount = hostParamCount();
    for (int i = 0; i < m_hostParamCount; ++i)
        parameters.addParameter(new CAudioWrapperVST3Parameter(*this, i, hostParamInfo(i)));
    m_programParam = new CAudioWrapperVST3ProgramParameter(*this);
    parameters.addParameter(m_programParam);
    m_routingParam = nullptr;
    if (routingPresetCount() > 0) {
        m_routingParam = new CAudioWrapperVST3ProgramParameter(*this, CAudioWrapperVST3ProgramParameter::List::kRouting);
        parameters.addParameter(m_routingParam);
    }
    m_changes.assign(size_t(m_hostParamCount) * vst3proc::kMaxPointsPerParam, CHostParamChange{0, 0, 0.0});
}

CAudioWrapperVST3Parameter* CAudioWrapperVST3::hostParameter(int index) const {
    if (index < 0 || index >= m_hostParamCount) return nullptr;
    return static_cast<CAudioWrapperVST3Parameter*>(parameters.getParameter(sv::ParamID(index)));
}

// --- Buses --------------------------------------------------------------------------------

void CAudioWrapperVST3::applyArrangements(sv::SpeakerArrangement in, sv::SpeakerArrangement out,
                                          sv::SpeakerArrangement sidechain) {
    removeAudioBuses();
    addAudioInput(STR16("Audio In"), in);
    addAudioOutput(STR16("Audio Out"), out);
    if (sidechain) addAudioInput(STR16("Sidechain"), sidechain, sv::kAux, 0);
    m_inputNames = vst3io::channelNames(in);
    m_sidechainNames = vst3io::channelNames(sidechain);
    passIoLayout(vst3io::channelCount(in), vst3io::channelCount(sidechain), vst3io::channelCount(out));
}

void CAudioWrapperVST3::passIoLayout(int in, int sidechain, int out) {
    if (in == m_ioLayout[0] && sidechain == m_ioLayout[1] && out == m_ioLayout[2]) return;
    m_ioLayout[0] = in;
    m_ioLayout[1] = sidechain;
    m_ioLayout[2] = out;
    setIoLayout(in, sidechain, out);
}

sb::tresult PLUGIN_API CAudioWrapperVST3::setBusArrangements(sv::SpeakerArrangement* inputs, int32 numIns,
                                                             sv::SpeakerArrangement* outputs, int32 numOuts) {
    if (numIns < 1 || numOuts < 1 || !inputs || !outputs) return sb::kResultFalse;
    vst3io::CArrangementRules rules;
    rules.maxChannels = m_maxChannels;
    rules.symmetricIo = m_symmetricIo;
    rules.useSidechain = m_useSidechain;
    const vst3io::CArrangementResult r = vst3io::negotiateArrangements(inputs, numIns, outputs, numOuts, rules);
    applyArrangements(r.input, r.output, r.sidechain);
    setBusWidth(vst3io::channelCount(r.input));
    refreshParameterValues();
    requestLatencyRestartIfChanged();
    return r.unchanged ? sb::kResultTrue : sb::kResultFalse;
}

// --- Processing set-up -------------------------------------------------------------------------

sb::tresult PLUGIN_API CAudioWrapperVST3::canProcessSampleSize(int32 symbolicSampleSize) {
    return symbolicSampleSize == sv::kSample32 || symbolicSampleSize == sv::kSample64 ? sb::kResultTrue
                                                                                       : sb::kResultFalse;
}

sb::tresult PLUGIN_API CAudioWrapperVST3::setupProcessing(sv::ProcessSetup& setup) {
    stopProcessing();
    setSampleRate(setup.sampleRate);
    setMaxBlockSize(setup.maxSamplesPerBlock);
    // The mode reaches the core with the blocks, on the audio thread.
    m_offline.store(setup.processMode == sv::kOffline);
    m_setup = setup;
    startProcessing();
    requestLatencyRestartIfChanged();
    return sb::kResultTrue;
}

sb::tresult PLUGIN_API CAudioWrapperVST3::setProcessing(sb::TBool state) {
    if (state)
        startProcessing();
    else
        stopProcessing();
    requestLatencyRestartIfChanged();
    return sb::kResultTrue;
}

sb::tresult PLUGIN_API CAudioWrapperVST3::setActive(sb::TBool) {
    requestLatencyRestartIfChanged();
    return sb::kResultTrue;
}

sb::uint32 PLUGIN_API CAudioWrapperVST3::getLatencySamples() {
    const int latency = latencySamples();
    m_reportedLatency.store(latency);
    m_latencyRestartSent.store(false);
    latencyAcknowledged();
    return sb::uint32(std::max(latency, 0));
}

sb::uint32 PLUGIN_API CAudioWrapperVST3::getTailSamples() {
    if (!hasTail()) return sv::kNoTail;
    return sb::uint32(std::lround(tailSeconds() * sampleRate()));
}

sb::uint32 PLUGIN_API CAudioWrapperVST3::getProcessContextRequirements() {
    return m_useHostBpm ? sv::IProcessContextRequirements::kNeedTempo : 0;
}

void CAudioWrapperVST3::requestLatencyRestartIfChanged() {
    const sb::int64 reported = m_reportedLatency.load();
    if (reported < 0 || reported == latencySamples()) return;
    if (m_latencyRestartSent.exchange(true)) return;
    if (componentHandler) componentHandler->restartComponent(sv::kLatencyChanged);
}

// --- Process ---------------------------------------------------------------------------------------

sb::tresult PLUGIN_API CAudioWrapperVST3::process(sv::ProcessData& data) {
    if (data.processMode != m_lastProcessMode) {
        m_lastProcessMode = data.processMode;
        const bool offline = data.processMode == sv::kOffline;
        m_offline.store(offline);
        if (offline != m_blockOffline) {
            m_blockOffline = offline;
            setOffline(offline);
        }
    }
    if (data.processContext && m_useHostBpm && (data.processContext->state & sv::ProcessContext::kTempoValid))
        setTempo(data.processContext->tempo);

    int changeCount = 0;
    if (sv::IParameterChanges* changes = data.inputParameterChanges) {
        const int queues = changes->getParameterCount();
        for (int q = 0; q < queues; ++q) {
            sv::IParamValueQueue* queue = changes->getParameterData(q);
            if (!queue) continue;
            const sv::ParamID id = queue->getParameterId();
            if (id >= sv::ParamID(m_hostParamCount)) continue;
            changeCount += vst3proc::decimateQueue(*queue, int(id), m_changes.data() + changeCount,
                                                   int(m_changes.size()) - changeCount);
        }
    }
    setBlockParamChanges(m_changes.data(), changeCount);

    if (data.numInputs < 1 || data.numOutputs < 1 || !data.inputs || !data.outputs) {
        // A parameter flush without buses: the changes still reach the core.
        if (changeCount > 0) {
            CHostBus none;
            CAudioWrapper::process(none, nullptr, none, 0);
        }
        return sb::kResultTrue;
    }

    const bool is64 = data.symbolicSampleSize == sv::kSample64;
    sv::AudioBusBuffers& inBuf = data.inputs[0];
    sv::AudioBusBuffers& outBuf = data.outputs[0];
    const int sideChannels = vst3proc::sidechainChannels(data);
    m_sidechainBuffers = sideChannels > 0 ? &data.inputs[1] : nullptr;
    const int blockLayout[3] = {inBuf.numChannels, sideChannels, outBuf.numChannels};
    if (!std::equal(blockLayout, blockLayout + 3, m_blockLayout) &&
        offerBlockLayout(blockLayout[0], blockLayout[1], blockLayout[2]))
        std::copy(blockLayout, blockLayout + 3, m_blockLayout);
    outBuf.silenceFlags = 0;

    CHostBus in;
    in.channels = inBuf.numChannels;
    in.is64 = is64;
    in.planar = reinterpret_cast<void* const*>(inBuf.channelBuffers32);
    CHostBus out;
    out.channels = outBuf.numChannels;
    out.is64 = is64;
    out.planar = reinterpret_cast<void* const*>(outBuf.channelBuffers32);
    CHostBus side;
    if (m_sidechainBuffers) {
        side.channels = sideChannels;
        side.is64 = is64;
        side.planar = reinterpret_cast<void* const*>(m_sidechainBuffers->channelBuffers32);
    }
    // A block without frames still reaches the core: it takes the block's
    // changes and checks its latency.
    const bool buffersPresent = (in.channels == 0 || in.planar) && (out.channels == 0 || out.planar);
    if (data.numSamples == 0 || buffersPresent)
        CAudioWrapper::process(in, m_sidechainBuffers ? &side : nullptr, out, std::max(data.numSamples, 0));
    requestLatencyRestartIfChanged();
    return sb::kResultTrue;
}

// --- Callbacks of the core ------------------------------------------------------------------------

void CAudioWrapperVST3::onBeginEdit(int index) { beginEdit(sv::ParamID(index)); }

void CAudioWrapperVST3::onPerformEdit(int index, double normalized) {
    if (CAudioWrapperVST3Parameter* p = hostParameter(index)) p->setNormalizedFromCore(normalized);
    performEdit(sv::ParamID(index), normalized);
}

void CAudioWrapperVST3::onEndEdit(int index) { endEdit(sv::ParamID(index)); }

void CAudioWrapperVST3::onProgramChanged() {
    if (!m_programParam) return;
    m_programParam->syncFromCore();
    refreshParameterValues();
    if (m_programParam->isApplyingHostValue()) return;  // the host made the change
    const sv::ParamID id = CAudioWrapperVST3ProgramParameter::kId;
    beginEdit(id);
    performEdit(id, m_programParam->getNormalized());
    endEdit(id);
}

void CAudioWrapperVST3::onRoutingChanged() { refreshParameterValues(); }

void CAudioWrapperVST3::onLatencyChanged() { requestLatencyRestartIfChanged(); }

Steinberg::IPlugView* PLUGIN_API CAudioWrapperVST3::createView(Steinberg::FIDString name) {
    if (!name || std::strcmp(name, "editor") != 0 || !isInitialized()) return nullptr;
    const double scale = uiScale() > 0 ? uiScale() : 1.0;
    const Steinberg::ViewRect r(0, 0, std::max(1, editorWidth()), std::max(1, editorHeight()));
    return new CAudioWrapperVST3Editor(this, r, scale);
}

void CAudioWrapperVST3::onRequestEditorSize(int, int) {
    // Size requests from the window-size parameter are taken by the editor
    // itself and not forwarded to the host.
}

void CAudioWrapperVST3::refreshParameterValues() {
    bool changed = false;
    for (int i = 0; i < m_hostParamCount; ++i) {
        if (CAudioWrapperVST3Parameter* p = hostParameter(i)) {
            const double v = hostParamNormalized(i);
            if (v != p->getNormalized()) {
                p->setNormalizedFromCore(v);
                changed = true;
            }
        }
    }
    if (m_programParam) m_programParam->syncFromCore();
    if (m_routingParam) {
        const double before = m_routingParam->getNormalized();
        m_routingParam->syncFromCore();
        changed |= m_routingParam->getNormalized() != before;
    }
    if (changed && componentHandler) componentHandler->restartComponent(sv::kParamValuesChanged);
}

// --- State -----------------------------------------------------------------------------------------------

sb::tresult PLUGIN_API CAudioWrapperVST3::getState(sb::IBStream* state) {
    if (!state) return sb::kInvalidArgument;
    COutputStreamVST out(state);
    if (CError err = saveState(out)) {
        kelLogError(err);
        return sb::kResultFalse;
    }
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CAudioWrapperVST3::setState(sb::IBStream* state) {
    if (!state) return sb::kInvalidArgument;
    CInputStreamVST in(state);
    if (CError err = loadState(in)) {
        kelLogError(err);
        return sb::kResultFalse;
    }
    refreshParameterValues();
    requestLatencyRestartIfChanged();
    return sb::kResultOk;
}

// --- Units and programs -------------------------------------------------------------------------------------

// The root unit holds the programs; unit 1, "Routing", the routing presets.
sb::int32 PLUGIN_API CAudioWrapperVST3::getUnitCount() { return m_routingParam ? 2 : 1; }

sb::tresult PLUGIN_API CAudioWrapperVST3::getUnitInfo(int32 unitIndex, sv::UnitInfo& info) {
    if (unitIndex == 0) {
        info.id = sv::kRootUnitId;
        info.parentUnitId = sv::kNoParentUnitId;
        vst3CopyString("Root", info.name, 128);
        info.programListId = kProgramListId;
        return sb::kResultTrue;
    }
    if (unitIndex != 1 || !m_routingParam) return sb::kResultFalse;
    info.id = CAudioWrapperVST3ProgramParameter::kRoutingUnitId;
    info.parentUnitId = sv::kRootUnitId;
    vst3CopyString("Routing", info.name, 128);
    info.programListId = kRoutingListId;
    return sb::kResultTrue;
}

sb::int32 PLUGIN_API CAudioWrapperVST3::getProgramListCount() { return m_routingParam ? 2 : 1; }

CAudioWrapperVST3ProgramParameter* CAudioWrapperVST3::programList(sv::ProgramListID listId) const {
    if (listId == kProgramListId) return m_programParam;
    if (listId == kRoutingListId) return m_routingParam;
    return nullptr;
}

sb::tresult PLUGIN_API CAudioWrapperVST3::getProgramListInfo(int32 listIndex, sv::ProgramListInfo& info) {
    CAudioWrapperVST3ProgramParameter* list = listIndex == 0 ? m_programParam : listIndex == 1 ? m_routingParam : nullptr;
    if (!list) return sb::kResultFalse;
    info.id = listIndex == 0 ? kProgramListId : kRoutingListId;
    vst3CopyString(listIndex == 0 ? "Programs" : "Routing", info.name, 128);
    info.programCount = list->count();
    return sb::kResultTrue;
}

sb::tresult PLUGIN_API CAudioWrapperVST3::getProgramName(sv::ProgramListID listId, int32 programIndex,
                                                         sv::String128 name) {
    CAudioWrapperVST3ProgramParameter* list = programList(listId);
    if (!list || programIndex < 0 || programIndex >= list->count()) return sb::kResultFalse;
    vst3CopyString(list->name(programIndex), name, 128);
    return sb::kResultTrue;
}

sb::tresult PLUGIN_API CAudioWrapperVST3::getProgramInfo(sv::ProgramListID, int32, sv::CString, sv::String128) {
    return sb::kResultFalse;
}

sb::tresult PLUGIN_API CAudioWrapperVST3::hasProgramPitchNames(sv::ProgramListID, int32) { return sb::kResultFalse; }

sb::tresult PLUGIN_API CAudioWrapperVST3::getProgramPitchName(sv::ProgramListID, int32, sb::int16, sv::String128) {
    return sb::kResultFalse;
}

sb::tresult PLUGIN_API CAudioWrapperVST3::selectUnit(sv::UnitID unitId) {
    if (unitId != sv::kRootUnitId && !(m_routingParam && unitId == CAudioWrapperVST3ProgramParameter::kRoutingUnitId))
        return sb::kResultFalse;
    m_selectedUnit = unitId;
    return sb::kResultTrue;
}

sb::tresult PLUGIN_API CAudioWrapperVST3::getUnitByBus(sv::MediaType, sv::BusDirection, int32, int32, sv::UnitID&) {
    return sb::kResultFalse;
}

sb::tresult PLUGIN_API CAudioWrapperVST3::setUnitProgramData(int32, int32, sb::IBStream*) { return sb::kResultFalse; }
