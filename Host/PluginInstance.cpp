#include "Host/PluginInstance.h"

#include <algorithm>
#include <cstring>

#include "Host/Interfaces.h"
#include "Host/MemoryStream.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "pluginterfaces/vst/vstspeaker.h"

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

namespace host {

namespace {

std::string toUtf8(const sv::TChar* s) {
    std::string out;
    for (; s && *s; ++s) {
        const uint32_t c = uint16_t(*s);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// UTF-8 text into a UTF-16 buffer of 128 units (characters of the basic plane).
void toUtf16(const std::string& s, sv::String128 out) {
    size_t n = 0;
    for (size_t i = 0; i < s.size() && n < 127;) {
        const auto b = static_cast<unsigned char>(s[i]);
        uint32_t c = b;
        size_t len = 1;
        if (b >= 0xE0 && i + 2 < s.size()) {
            c = (b & 0x0Fu) << 12 | (uint32_t(s[i + 1]) & 0x3Fu) << 6 | (uint32_t(s[i + 2]) & 0x3Fu);
            len = 3;
        } else if (b >= 0xC0 && i + 1 < s.size()) {
            c = (b & 0x1Fu) << 6 | (uint32_t(s[i + 1]) & 0x3Fu);
            len = 2;
        }
        out[n++] = sv::TChar(c);
        i += len;
    }
    out[n] = 0;
}

// The host's arrangement for a channel count (music layouts).
sv::SpeakerArrangement arrangementFor(int channels) {
    switch (channels) {
        case 1: return sv::SpeakerArr::kMono;
        case 2: return sv::SpeakerArr::kStereo;
        case 3: return sv::SpeakerArr::k30Music;
        case 4: return sv::SpeakerArr::k40Music;
        case 5: return sv::SpeakerArr::k50;
        case 6: return sv::SpeakerArr::k51;
        case 7: return sv::SpeakerArr::k70Music;
        case 8: return sv::SpeakerArr::k71Music;
        default: return 0;
    }
}

}  // namespace

CPluginInstance::CPluginInstance(bool recordHandlerCalls)
    : m_host(std::make_unique<sv::HostApplication>()), m_hostContext(m_host.get()), m_handler(recordHandlerCalls) {}

CPluginInstance::~CPluginInstance() { close(); }

std::string CPluginInstance::create(sb::IPluginFactory* factory) {
    if (!factory) return "no factory";
    sb::PClassInfo info;
    bool found = false;
    for (sb::int32 i = 0; i < factory->countClasses() && !found; ++i) {
        if (factory->getClassInfo(i, &info) != sb::kResultOk) continue;
        found = std::strcmp(info.category, "Audio Module Class") == 0;
    }
    if (!found) return "the factory has no audio effect class";
    m_className = std::string(info.name, strnlen(info.name, sizeof(info.name)));

    void* obj = nullptr;
    if (factory->createInstance(info.cid, sv::IComponent::iid, &obj) != sb::kResultOk || !obj)
        return "cannot create the component of '" + m_className + "'";
    m_component = static_cast<sv::IComponent*>(obj);
    if (m_component->initialize(m_hostContext) != sb::kResultOk) {
        m_component->release();
        m_component = nullptr;
        return "the component of '" + m_className + "' failed to initialise";
    }
    m_processor = queryFrom<sv::IAudioProcessor>(m_component);
    if (!m_processor) return "the component has no audio processor";

    m_controller = queryFrom<sv::IEditController>(m_component);
    if (!m_controller) {
        sb::TUID controllerId;
        if (m_component->getControllerClassId(controllerId) != sb::kResultOk ||
            factory->createInstance(controllerId, sv::IEditController::iid, &obj) != sb::kResultOk || !obj)
            return "the plug-in has no edit controller";
        m_controller = static_cast<sv::IEditController*>(obj);
        m_separateController = true;
        if (m_controller->initialize(m_hostContext) != sb::kResultOk) return "the edit controller failed to initialise";
        joinParts(true);
    }
    m_controller->setComponentHandler(&m_handler);
    m_changes.setCapacity(std::max(int(m_controller->getParameterCount()), 1), kMaxPointsPerBlock);
    return {};
}

std::string CPluginInstance::prepare(const CHostSetup& config) {
    if (!m_processor) return "no plug-in";
    stop();
    m_config = config;
    const sv::SpeakerArrangement wanted = arrangementFor(config.channels);
    if (!wanted) return "cannot host " + std::to_string(config.channels) + " channels";

    // Main buses with the wanted layout; any other audio bus keeps its own.
    const sb::int32 numIns = m_component->getBusCount(sv::kAudio, sv::kInput);
    const sb::int32 numOuts = m_component->getBusCount(sv::kAudio, sv::kOutput);
    if (numOuts < 1) return "the plug-in has no audio output";
    std::vector<sv::SpeakerArrangement> ins(static_cast<size_t>(numIns)), outs(static_cast<size_t>(numOuts));
    for (sb::int32 i = 0; i < numIns; ++i) m_processor->getBusArrangement(sv::kInput, i, ins[size_t(i)]);
    for (sb::int32 i = 0; i < numOuts; ++i) m_processor->getBusArrangement(sv::kOutput, i, outs[size_t(i)]);
    if (numIns > 0) ins[0] = wanted;
    outs[0] = wanted;
    m_processor->setBusArrangements(ins.data(), numIns, outs.data(), numOuts);
    for (sb::int32 i = 0; i < numIns; ++i) m_processor->getBusArrangement(sv::kInput, i, ins[size_t(i)]);
    for (sb::int32 i = 0; i < numOuts; ++i) m_processor->getBusArrangement(sv::kOutput, i, outs[size_t(i)]);
    m_inChannels = numIns > 0 ? sv::SpeakerArr::getChannelCount(ins[0]) : 0;
    m_outChannels = sv::SpeakerArr::getChannelCount(outs[0]);
    for (sb::int32 i = 0; i < numIns; ++i) m_component->activateBus(sv::kAudio, sv::kInput, i, i == 0);
    for (sb::int32 i = 0; i < numOuts; ++i) m_component->activateBus(sv::kAudio, sv::kOutput, i, i == 0);

    const sb::int32 sampleSize = config.is64 ? sv::kSample64 : sv::kSample32;
    if (m_processor->canProcessSampleSize(sampleSize) != sb::kResultTrue)
        return std::string("the plug-in cannot process ") + (config.is64 ? "64" : "32") + "-bit samples";
    sv::ProcessSetup setup{config.offline ? sv::kOffline : sv::kRealtime, sampleSize, config.maxBlock,
                           config.sampleRate};
    if (m_processor->setupProcessing(setup) != sb::kResultOk) return "setupProcessing was refused";

    // Buffers for every bus (hosts provide them whether a bus is active or not).
    m_inBuses.assign(size_t(numIns), sv::AudioBusBuffers());
    m_outBuses.assign(size_t(numOuts), sv::AudioBusBuffers());
    size_t total = 0;
    for (sb::int32 i = 0; i < numIns; ++i) total += size_t(sv::SpeakerArr::getChannelCount(ins[size_t(i)]));
    for (sb::int32 i = 0; i < numOuts; ++i) total += size_t(sv::SpeakerArr::getChannelCount(outs[size_t(i)]));
    m_buf32.assign(config.is64 ? 0 : total, std::vector<float>(size_t(config.maxBlock), 0.0f));
    m_buf64.assign(config.is64 ? total : 0, std::vector<double>(size_t(config.maxBlock), 0.0));
    m_channelPtrs.resize(total);
    for (size_t k = 0; k < total; ++k)
        m_channelPtrs[k] = config.is64 ? static_cast<void*>(m_buf64[k].data()) : static_cast<void*>(m_buf32[k].data());
    size_t next = 0;
    auto bind = [&](sv::AudioBusBuffers& b, sv::SpeakerArrangement arr) {
        b.numChannels = sv::SpeakerArr::getChannelCount(arr);
        b.silenceFlags = 0;
        b.channelBuffers32 = reinterpret_cast<sv::Sample32**>(m_channelPtrs.data() + next);
        next += size_t(b.numChannels);
    };
    for (sb::int32 i = 0; i < numIns; ++i) bind(m_inBuses[size_t(i)], ins[size_t(i)]);
    for (sb::int32 i = 0; i < numOuts; ++i) bind(m_outBuses[size_t(i)], outs[size_t(i)]);
    for (size_t i = 1; i < m_inBuses.size(); ++i)
        m_inBuses[i].silenceFlags = (sb::uint64(1) << m_inBuses[i].numChannels) - 1;

    m_context = sv::ProcessContext{};
    m_context.state = sv::ProcessContext::kPlaying | sv::ProcessContext::kTempoValid |
                      sv::ProcessContext::kTimeSigValid | sv::ProcessContext::kProjectTimeMusicValid;
    m_context.sampleRate = config.sampleRate;
    m_context.tempo = 120.0;
    m_context.timeSigNumerator = 4;
    m_context.timeSigDenominator = 4;

    if (m_component->setActive(true) != sb::kResultOk) return "the plug-in refused to activate";
    m_active = true;
    m_processor->setProcessing(true);
    m_processing = true;
    return {};
}

void CPluginInstance::stop() {
    if (m_processing) m_processor->setProcessing(false);
    m_processing = false;
    if (m_active) m_component->setActive(false);
    m_active = false;
}

int CPluginInstance::latency() {
    m_handler.forgetRestart(sv::kLatencyChanged);
    return m_processor ? int(m_processor->getLatencySamples()) : 0;
}

std::vector<CPluginParam> CPluginInstance::parameters() const {
    std::vector<CPluginParam> list;
    if (!m_controller) return list;
    const sb::int32 n = m_controller->getParameterCount();
    for (sb::int32 i = 0; i < n; ++i) {
        sv::ParameterInfo info{};
        if (m_controller->getParameterInfo(i, info) != sb::kResultOk) continue;
        list.push_back({info.id, toUtf8(info.title), toUtf8(info.units), info.flags, info.stepCount,
                        info.defaultNormalizedValue, info.unitId});
    }
    return list;
}

std::string CPluginInstance::parameterText(sv::ParamID id, double normalized) const {
    sv::String128 text = {};
    if (!m_controller || m_controller->getParamStringByValue(id, normalized, text) != sb::kResultOk) return {};
    return toUtf8(text);
}

double CPluginInstance::parameterValue(sv::ParamID id) const {
    return m_controller ? m_controller->getParamNormalized(id) : 0.0;
}

std::string CPluginInstance::findParameter(const std::string& title, sv::ParamID* id) const {
    for (const CPluginParam& p : parameters())
        if (p.title == title) {
            *id = p.id;
            return {};
        }
    return "the plug-in has no parameter '" + title + "'";
}

bool CPluginInstance::valueFromText(sv::ParamID id, const std::string& text, double* value) const {
    sv::String128 utf16;
    toUtf16(text, utf16);
    sv::ParamValue v = 0.0;
    if (!m_controller || m_controller->getParamValueByString(id, utf16, v) != sb::kResultOk) return false;
    *value = v;
    return true;
}

void CPluginInstance::queueChange(sv::ParamID id, double value, int offset) {
    m_controller->setParamNormalized(id, value);
    queuePoint(id, value, offset);
}

void CPluginInstance::queuePoint(sv::ParamID id, double value, int offset) { m_changes.add(id, value, offset); }

namespace {
// The program list of that name (the first one for an empty name) and the
// unit that owns it; false when there is none.
bool findProgramList(sv::IUnitInfo& units, const std::string& listName, sv::ProgramListInfo* list,
                     sv::UnitID* unit) {
    bool found = false;
    for (sb::int32 i = 0; i < units.getProgramListCount() && !found; ++i)
        found = units.getProgramListInfo(i, *list) == sb::kResultOk &&
                (listName.empty() || toUtf8(list->name) == listName);
    if (!found) return false;
    *unit = sv::kRootUnitId;
    for (sb::int32 i = 0; i < units.getUnitCount(); ++i) {
        sv::UnitInfo info{};
        if (units.getUnitInfo(i, info) == sb::kResultOk && info.programListId == list->id) *unit = info.id;
    }
    return true;
}
}  // namespace

std::vector<std::string> CPluginInstance::programs(const std::string& listName) const {
    std::vector<std::string> names;
    auto* units = queryFrom<sv::IUnitInfo>(m_controller);
    if (!units) return names;
    sv::ProgramListInfo list{};
    sv::UnitID unit = 0;
    if (findProgramList(*units, listName, &list, &unit)) {
        for (sb::int32 i = 0; i < list.programCount; ++i) {
            sv::String128 name = {};
            names.push_back(units->getProgramName(list.id, i, name) == sb::kResultOk ? toUtf8(name) : std::string());
        }
    }
    units->release();
    return names;
}

std::string CPluginInstance::selectProgram(const std::string& name, const std::string& listName) {
    sv::UnitID unit = sv::kRootUnitId;
    if (auto* units = queryFrom<sv::IUnitInfo>(m_controller)) {
        sv::ProgramListInfo list{};
        findProgramList(*units, listName, &list, &unit);
        units->release();
    }
    const std::vector<std::string> names = programs(listName);
    const std::string what = listName.empty() ? "preset" : "routing preset";
    auto it = std::find(names.begin(), names.end(), name);
    if (it == names.end())  // names shown with a bank prefix ("bank:name") also answer to the bare name
        it = std::find_if(names.begin(), names.end(), [&name](const std::string& n) {
            const size_t colon = n.find(':');
            return colon != std::string::npos && n.compare(colon + 1, std::string::npos, name) == 0;
        });
    if (it == names.end()) {
        std::string known;
        for (const std::string& n : names) known += (known.empty() ? "" : ", ") + ("'" + n + "'");
        return "unknown " + what + " '" + name + "' (the plug-in has " + (known.empty() ? "none" : known) + ")";
    }
    const auto index = double(it - names.begin());
    for (const CPluginParam& p : parameters())
        if ((p.flags & sv::ParameterInfo::kIsProgramChange) && p.unitId == unit) {
            queueChange(p.id, names.size() > 1 ? index / double(names.size() - 1) : 0.0);
            return {};
        }
    return "the plug-in has no program-change parameter";
}

std::string CPluginInstance::loadState(const std::vector<uint8_t>& chunk) {
    if (!m_component) return "no plug-in";
    CMemoryStream stream(chunk);
    if (m_component->setState(&stream) != sb::kResultOk) return "the plug-in refused the state";
    stream.seek(0, sb::IBStream::kIBSeekSet, nullptr);
    m_controller->setComponentState(&stream);
    return {};
}

std::string CPluginInstance::saveState(std::vector<uint8_t>* chunk) {
    if (!m_component) return "no plug-in";
    CMemoryStream stream;
    if (m_component->getState(&stream) != sb::kResultOk) return "the plug-in gave no state";
    *chunk = stream.data();
    return {};
}

template <class Sample>
void CPluginInstance::processCopied(const Sample* const* in, Sample* const* out, int frames) {
    if (!m_processor || m_outBuses.empty() || frames > m_config.maxBlock) return;
    const bool is64 = m_config.is64;
    if (!m_inBuses.empty()) {
        for (int c = 0; c < m_inBuses[0].numChannels; ++c) {
            if (is64)
                std::transform(in[c], in[c] + frames, m_inBuses[0].channelBuffers64[c],
                               [](Sample v) { return double(v); });
            else
                std::transform(in[c], in[c] + frames, m_inBuses[0].channelBuffers32[c],
                               [](Sample v) { return float(v); });
        }
    }
    runBlock(frames);
    for (int c = 0; c < m_outBuses[0].numChannels; ++c) {
        if (is64)
            std::transform(m_outBuses[0].channelBuffers64[c], m_outBuses[0].channelBuffers64[c] + frames, out[c],
                           [](double v) { return Sample(v); });
        else
            std::transform(m_outBuses[0].channelBuffers32[c], m_outBuses[0].channelBuffers32[c] + frames, out[c],
                           [](float v) { return Sample(v); });
    }
}

void CPluginInstance::process(const double* const* in, double* const* out, int frames) {
    processCopied(in, out, frames);
}

void CPluginInstance::process(const float* const* in, float* const* out, int frames) {
    processCopied(in, out, frames);
}

void CPluginInstance::processDirect(void* const* in, void* const* out, int frames) {
    if (!m_processor || m_outBuses.empty() || frames > m_config.maxBlock) return;
    // The main buses point at the caller's channels for this block.
    sv::Sample32** const own[2] = {m_inBuses.empty() ? nullptr : m_inBuses[0].channelBuffers32,
                                   m_outBuses[0].channelBuffers32};
    if (!m_inBuses.empty()) m_inBuses[0].channelBuffers32 = reinterpret_cast<sv::Sample32**>(const_cast<void**>(in));
    m_outBuses[0].channelBuffers32 = reinterpret_cast<sv::Sample32**>(const_cast<void**>(out));
    runBlock(frames);
    if (!m_inBuses.empty()) m_inBuses[0].channelBuffers32 = own[0];
    m_outBuses[0].channelBuffers32 = own[1];
}

void CPluginInstance::runBlock(int frames) {
    sv::ProcessData data;
    data.processMode = m_config.offline ? sv::kOffline : sv::kRealtime;
    data.symbolicSampleSize = m_config.is64 ? sv::kSample64 : sv::kSample32;
    data.numSamples = frames;
    data.numInputs = sb::int32(m_inBuses.size());
    data.numOutputs = sb::int32(m_outBuses.size());
    data.inputs = m_inBuses.empty() ? nullptr : m_inBuses.data();
    data.outputs = m_outBuses.data();
    data.inputParameterChanges = &m_changes;
    data.inputEvents = &m_events;
    data.processContext = &m_context;
    m_processor->process(data);
    m_changes.clear();
    m_events.clear();
    m_context.projectTimeSamples += frames;
    m_context.projectTimeMusic = double(m_context.projectTimeSamples) / m_config.sampleRate * (m_context.tempo / 60.0);
}

void CPluginInstance::joinParts(bool connect) {
    auto* a = queryFrom<sv::IConnectionPoint>(m_component);
    auto* b = queryFrom<sv::IConnectionPoint>(m_controller);
    if (a && b) {
        if (connect) {
            a->connect(b);
            b->connect(a);
        } else {
            a->disconnect(b);
            b->disconnect(a);
        }
    }
    if (a) a->release();
    if (b) b->release();
}

void CPluginInstance::close() {
    stop();
    if (m_separateController && m_controller) {
        joinParts(false);
        m_controller->terminate();
    }
    if (m_controller) m_controller->release();
    m_controller = nullptr;
    if (m_processor) m_processor->release();
    m_processor = nullptr;
    if (m_component) {
        m_component->terminate();
        m_component->release();
    }
    m_component = nullptr;
}

}  // namespace host
