#include "Tools/Render/Vst3Host.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Tools/Render/ParamText.h"
#include "public.sdk/source/vst/hosting/hostclasses.h"
#include "pluginterfaces/base/ustring.h"
#include "pluginterfaces/vst/ivstmessage.h"
#include "pluginterfaces/vst/ivstunits.h"
#include "pluginterfaces/vst/vstspeaker.h"

namespace sb = Steinberg;
namespace sv = Steinberg::Vst;

namespace render {

namespace {

bool iidIs(const sb::TUID a, const sb::TUID b) { return std::memcmp(a, b, sizeof(sb::TUID)) == 0; }

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

template <class T>
T* queryFrom(sb::FUnknown* from, const sb::TUID iid) {
    void* p = nullptr;
    if (!from || from->queryInterface(iid, &p) != sb::kResultOk) return nullptr;
    return static_cast<T*>(p);
}

}  // namespace

// --- Parameter changes ----------------------------------------------------------------

sb::tresult PLUGIN_API CHostParamQueue::queryInterface(const sb::TUID iid, void** obj) {
    if (iidIs(iid, sb::FUnknown::iid) || iidIs(iid, sv::IParamValueQueue::iid)) {
        *obj = this;
        return sb::kResultOk;
    }
    *obj = nullptr;
    return sb::kNoInterface;
}

sb::tresult PLUGIN_API CHostParamQueue::getPoint(sb::int32 index, sb::int32& sampleOffset, sv::ParamValue& value) {
    if (index < 0 || index >= m_count) return sb::kInvalidArgument;
    sampleOffset = m_offsets[index];
    value = m_values[index];
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CHostParamQueue::addPoint(sb::int32 sampleOffset, sv::ParamValue value, sb::int32& index) {
    if (m_count >= kCapacity) return sb::kOutOfMemory;
    index = m_count++;
    m_offsets[index] = sampleOffset;
    m_values[index] = value;
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CHostParamChanges::queryInterface(const sb::TUID iid, void** obj) {
    if (iidIs(iid, sb::FUnknown::iid) || iidIs(iid, sv::IParameterChanges::iid)) {
        *obj = this;
        return sb::kResultOk;
    }
    *obj = nullptr;
    return sb::kNoInterface;
}

sv::IParamValueQueue* PLUGIN_API CHostParamChanges::getParameterData(sb::int32 index) {
    return index >= 0 && index < m_count ? &m_queues[index] : nullptr;
}

sv::IParamValueQueue* PLUGIN_API CHostParamChanges::addParameterData(const sv::ParamID& id, sb::int32& index) {
    for (sb::int32 i = 0; i < m_count; ++i)
        if (m_queues[i].getParameterId() == id) {
            index = i;
            return &m_queues[i];
        }
    if (m_count >= kCapacity) return nullptr;
    index = m_count++;
    m_queues[index].reset(id);
    return &m_queues[index];
}

sb::tresult PLUGIN_API CHostEventList::queryInterface(const sb::TUID iid, void** obj) {
    if (iidIs(iid, sb::FUnknown::iid) || iidIs(iid, sv::IEventList::iid)) {
        *obj = this;
        return sb::kResultOk;
    }
    *obj = nullptr;
    return sb::kNoInterface;
}

sb::tresult PLUGIN_API CHostEventList::getEvent(sb::int32 index, sv::Event& e) {
    if (index < 0 || index >= m_count) return sb::kInvalidArgument;
    e = m_events[index];
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CHostEventList::addEvent(sv::Event& e) {
    if (m_count >= kCapacity) return sb::kOutOfMemory;
    m_events[m_count++] = e;
    return sb::kResultOk;
}

// --- State stream ----------------------------------------------------------------------------

sb::tresult PLUGIN_API CHostStream::queryInterface(const sb::TUID iid, void** obj) {
    if (iidIs(iid, sb::FUnknown::iid) || iidIs(iid, sb::IBStream::iid)) {
        *obj = this;
        return sb::kResultOk;
    }
    *obj = nullptr;
    return sb::kNoInterface;
}

sb::tresult PLUGIN_API CHostStream::read(void* buffer, sb::int32 numBytes, sb::int32* numBytesRead) {
    if (numBytes < 0 || (numBytes > 0 && !buffer)) return sb::kInvalidArgument;
    const size_t n = std::min(size_t(numBytes), m_data.size() - std::min(m_pos, m_data.size()));
    if (n) std::memcpy(buffer, m_data.data() + m_pos, n);
    m_pos += n;
    if (numBytesRead) *numBytesRead = sb::int32(n);
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CHostStream::write(void* buffer, sb::int32 numBytes, sb::int32* numBytesWritten) {
    if (numBytes < 0 || (numBytes > 0 && !buffer)) return sb::kInvalidArgument;
    if (m_pos + size_t(numBytes) > m_data.size()) m_data.resize(m_pos + size_t(numBytes));
    if (numBytes) std::memcpy(m_data.data() + m_pos, buffer, size_t(numBytes));
    m_pos += size_t(numBytes);
    if (numBytesWritten) *numBytesWritten = numBytes;
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CHostStream::seek(sb::int64 pos, sb::int32 mode, sb::int64* result) {
    sb::int64 base = 0;
    if (mode == kIBSeekCur)
        base = sb::int64(m_pos);
    else if (mode == kIBSeekEnd)
        base = sb::int64(m_data.size());
    else if (mode != kIBSeekSet)
        return sb::kInvalidArgument;
    if (base + pos < 0) return sb::kInvalidArgument;
    m_pos = size_t(base + pos);  // past the end: a later write fills the gap with zeros
    if (result) *result = sb::int64(m_pos);
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CHostStream::tell(sb::int64* pos) {
    if (!pos) return sb::kInvalidArgument;
    *pos = sb::int64(m_pos);
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CHostComponentHandler::queryInterface(const sb::TUID iid, void** obj) {
    if (iidIs(iid, sb::FUnknown::iid) || iidIs(iid, sv::IComponentHandler::iid)) {
        *obj = this;
        return sb::kResultOk;
    }
    *obj = nullptr;
    return sb::kNoInterface;
}

// --- Module ----------------------------------------------------------------------------

namespace {

// The system's side of loading a module: open, look up, close.
#ifdef _WIN32
constexpr const char* kBundleArch = sizeof(void*) == 4 ? "x86-win" : "x86_64-win";
constexpr const char* kModuleSuffix = ".vst3";
constexpr const char* kEntryName = "InitDll";
constexpr const char* kExitName = "ExitDll";

std::wstring widen(const std::string& s) {
    const int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), nullptr, 0);
    std::wstring w(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(CP_UTF8, 0, s.data(), int(s.size()), w.data(), n);
    return w;
}

void* openLibrary(const std::string& path, std::string* error) {
    HMODULE h = LoadLibraryW(widen(path).c_str());
    if (!h) *error = "system error " + std::to_string(GetLastError());
    return reinterpret_cast<void*>(h);
}
void* librarySymbol(void* lib, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name));
}
void closeLibrary(void* lib) { FreeLibrary(static_cast<HMODULE>(lib)); }

// Both entry points take no argument.
using EntryFn = bool(PLUGIN_API*)();
bool callEntry(void* fn, void*) { return reinterpret_cast<EntryFn>(fn)(); }
#else
constexpr const char* kBundleArch = "x86_64-linux";
constexpr const char* kModuleSuffix = ".so";
constexpr const char* kEntryName = "ModuleEntry";
constexpr const char* kExitName = "ModuleExit";

void* openLibrary(const std::string& path, std::string* error) {
    void* h = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!h) *error = dlerror();
    return h;
}
void* librarySymbol(void* lib, const char* name) { return dlsym(lib, name); }
void closeLibrary(void* lib) { dlclose(lib); }

bool callEntry(void* fn, void* handle) { return reinterpret_cast<bool (*)(void*)>(fn)(handle); }
#endif

}  // namespace

std::string CVst3Module::libraryPath(const std::string& bundlePath) {
    std::string bundle = bundlePath;
    while (bundle.size() > 1 && bundle.back() == '/') bundle.pop_back();
    const size_t slash = bundle.rfind('/');
    std::string name = slash == std::string::npos ? bundle : bundle.substr(slash + 1);
    if (name.size() > 5 && name.compare(name.size() - 5, 5, ".vst3") == 0) name.resize(name.size() - 5);
    return bundle + "/Contents/" + kBundleArch + "/" + name + kModuleSuffix;
}

std::string CVst3Module::load(const std::string& bundlePath) {
    unload();
    const std::string lib = libraryPath(bundlePath);
    std::string why;
    m_handle = openLibrary(lib, &why);
    if (!m_handle) return "cannot load '" + lib + "': " + why;
    using FactoryFn = sb::IPluginFactory*(PLUGIN_API*)();
    void* entry = librarySymbol(m_handle, kEntryName);
    auto getFactory = reinterpret_cast<FactoryFn>(librarySymbol(m_handle, "GetPluginFactory"));
    if (!entry || !getFactory) {
        unload();
        return "'" + lib + "' lacks " + kEntryName + " or GetPluginFactory";
    }
    if (!callEntry(entry, m_handle)) {
        unload();
        return std::string(kEntryName) + " of '" + lib + "' failed";
    }
    m_entered = true;
    m_factory = getFactory();
    if (!m_factory) {
        unload();
        return "GetPluginFactory of '" + lib + "' returned no factory";
    }
    return {};
}

void CVst3Module::unload() {
    if (m_factory) {
        m_factory->release();
        m_factory = nullptr;
    }
    if (m_handle) {
        if (m_entered) {
            using ExitFn = bool(PLUGIN_API*)();
            if (auto exitFn = reinterpret_cast<ExitFn>(librarySymbol(m_handle, kExitName))) exitFn();
        }
        closeLibrary(m_handle);
        m_handle = nullptr;
    }
    m_entered = false;
}

// --- Plug-in instance --------------------------------------------------------------------------

CVst3Plugin::CVst3Plugin() : m_host(std::make_unique<sv::HostApplication>()), m_hostContext(m_host.get()) {}

CVst3Plugin::~CVst3Plugin() { close(); }

std::string CVst3Plugin::create(sb::IPluginFactory* factory) {
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
    m_processor = queryFrom<sv::IAudioProcessor>(m_component, sv::IAudioProcessor::iid);
    if (!m_processor) return "the component has no audio processor";

    m_controller = queryFrom<sv::IEditController>(m_component, sv::IEditController::iid);
    if (!m_controller) {
        sb::TUID controllerId;
        if (m_component->getControllerClassId(controllerId) != sb::kResultOk ||
            factory->createInstance(controllerId, sv::IEditController::iid, &obj) != sb::kResultOk || !obj)
            return "the plug-in has no edit controller";
        m_controller = static_cast<sv::IEditController*>(obj);
        m_separateController = true;
        if (m_controller->initialize(m_hostContext) != sb::kResultOk) return "the edit controller failed to initialise";
        auto* cpA = queryFrom<sv::IConnectionPoint>(m_component, sv::IConnectionPoint::iid);
        auto* cpB = queryFrom<sv::IConnectionPoint>(m_controller, sv::IConnectionPoint::iid);
        if (cpA && cpB) {
            cpA->connect(cpB);
            cpB->connect(cpA);
        }
        if (cpA) cpA->release();
        if (cpB) cpB->release();
    }
    m_controller->setComponentHandler(&m_handler);
    return {};
}

std::string CVst3Plugin::prepare(const CHostSetup& config) {
    if (!m_processor) return "no plug-in";
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

int CVst3Plugin::latency() {
    m_handler.restartFlags &= ~sv::kLatencyChanged;
    return m_processor ? int(m_processor->getLatencySamples()) : 0;
}

sb::int32 CVst3Plugin::takeRestartFlags() {
    const sb::int32 f = m_handler.restartFlags;
    m_handler.restartFlags = 0;
    return f;
}

std::vector<CPluginParam> CVst3Plugin::parameters() const {
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

std::string CVst3Plugin::parameterText(sv::ParamID id, double normalized) const {
    sv::String128 text = {};
    if (!m_controller || m_controller->getParamStringByValue(id, normalized, text) != sb::kResultOk) return {};
    return toUtf8(text);
}

double CVst3Plugin::parameterValue(sv::ParamID id) const {
    return m_controller ? m_controller->getParamNormalized(id) : 0.0;
}

std::string CVst3Plugin::findParameter(const std::string& title, sv::ParamID* id) const {
    for (const CPluginParam& p : parameters())
        if (p.title == title) {
            *id = p.id;
            return {};
        }
    return "the plug-in has no parameter '" + title + "'";
}

void CVst3Plugin::queueChange(sv::ParamID id, double value) {
    m_controller->setParamNormalized(id, value);
    m_pending.emplace_back(id, value);
}

std::string CVst3Plugin::setParameter(const std::string& title, const std::string& text) {
    sv::ParamID id = 0;
    if (std::string err = findParameter(title, &id); !err.empty()) return err;
    sv::String128 utf16;
    toUtf16(text, utf16);
    sv::ParamValue value = 0.0;
    // The text the value reads back as must say what was asked for: a text
    // that does not parse or lies outside the range is refused, not clamped.
    const bool parsed = m_controller->getParamValueByString(id, utf16, value) == sb::kResultOk;
    const std::string shown = parsed ? parameterText(id, value) : std::string();
    if (!parsed || !displayTextAgrees(text, shown)) {
        std::string why = "bad value '" + text + "' for " + title;
        const std::string lo = parameterText(id, 0.0), hi = parameterText(id, 1.0);
        if (!lo.empty() && !hi.empty()) why += " (" + lo + " .. " + hi + ")";
        return why;
    }
    queueChange(id, value);
    return {};
}

std::string CVst3Plugin::parameterTextByTitle(const std::string& title) const {
    sv::ParamID id = 0;
    if (!findParameter(title, &id).empty()) return {};
    return parameterText(id, parameterValue(id));
}

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

std::vector<std::string> CVst3Plugin::programs(const std::string& listName) const {
    std::vector<std::string> names;
    auto* units = queryFrom<sv::IUnitInfo>(m_controller, sv::IUnitInfo::iid);
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

std::string CVst3Plugin::selectProgram(const std::string& name, const std::string& listName) {
    sv::UnitID unit = sv::kRootUnitId;
    if (auto* units = queryFrom<sv::IUnitInfo>(m_controller, sv::IUnitInfo::iid)) {
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

std::string CVst3Plugin::setParameterNormalized(const std::string& title, double value) {
    sv::ParamID id = 0;
    if (std::string err = findParameter(title, &id); !err.empty()) return err;
    if (!(value >= 0.0 && value <= 1.0)) return "normalized values lie in 0..1";
    queueChange(id, value);
    return {};
}

std::string CVst3Plugin::setParameterNumber(const std::string& title, double number) {
    sv::ParamID id = 0;
    if (std::string err = findParameter(title, &id); !err.empty()) return err;
    auto shown = [&](double normalized, double* v) { return leadingNumber(parameterText(id, normalized), v); };
    double lo = 0.0, hi = 0.0;
    if (!shown(0.0, &lo) || !shown(1.0, &hi) || !(hi > lo)) return title + " shows no rising number";
    if (number < lo || number > hi) return "no value " + std::to_string(number) + " for " + title;
    double a = 0.0, b = 1.0;  // the text at a is at most the number, at b above it
    for (int i = 0; i < 48; ++i) {
        const double m = 0.5 * (a + b);
        double v = 0.0;
        if (!shown(m, &v)) return title + " shows no number at " + std::to_string(m);
        (v <= number ? a : b) = m;
    }
    double va = 0.0, vb = 0.0;
    shown(a, &va);
    shown(b, &vb);
    queueChange(id, std::fabs(va - number) <= std::fabs(vb - number) ? a : b);
    return {};
}

std::string CVst3Plugin::parameterRange(const std::string& title, double* lo, double* hi) const {
    sv::ParamID id = 0;
    if (std::string err = findParameter(title, &id); !err.empty()) return err;
    if (!leadingNumber(parameterText(id, 0.0), lo) || !leadingNumber(parameterText(id, 1.0), hi))
        return title + " shows no number";
    return {};
}

std::string CVst3Plugin::loadState(const std::vector<uint8_t>& chunk) {
    if (!m_component) return "no plug-in";
    CHostStream stream(chunk);
    if (m_component->setState(&stream) != sb::kResultOk) return "the plug-in refused the state";
    stream.seek(0, sb::IBStream::kIBSeekSet, nullptr);
    m_controller->setComponentState(&stream);
    return {};
}

std::string CVst3Plugin::saveState(std::vector<uint8_t>* chunk) {
    if (!m_component) return "no plug-in";
    CHostStream stream;
    if (m_component->getState(&stream) != sb::kResultOk) return "the plug-in gave no state";
    *chunk = stream.data();
    return {};
}

void CVst3Plugin::process(const double* const* in, double* const* out, int frames) {
    if (!m_processor || frames > m_config.maxBlock) return;
    const bool is64 = m_config.is64;
    if (!m_inBuses.empty()) {
        for (int c = 0; c < m_inBuses[0].numChannels; ++c) {
            if (is64)
                std::copy(in[c], in[c] + frames, m_inBuses[0].channelBuffers64[c]);
            else
                std::transform(in[c], in[c] + frames, m_inBuses[0].channelBuffers32[c],
                               [](double v) { return float(v); });
        }
    }
    m_changes.clear();
    for (const auto& [id, value] : m_pending) {
        sb::int32 index = 0;
        if (sv::IParamValueQueue* q = m_changes.addParameterData(id, index)) q->addPoint(0, value, index);
    }
    m_pending.clear();
    m_events.clear();

    sv::ProcessData data;
    data.processMode = m_config.offline ? sv::kOffline : sv::kRealtime;
    data.symbolicSampleSize = is64 ? sv::kSample64 : sv::kSample32;
    data.numSamples = frames;
    data.numInputs = sb::int32(m_inBuses.size());
    data.numOutputs = sb::int32(m_outBuses.size());
    data.inputs = m_inBuses.empty() ? nullptr : m_inBuses.data();
    data.outputs = m_outBuses.data();
    data.inputParameterChanges = &m_changes;
    data.inputEvents = &m_events;
    data.processContext = &m_context;
    m_processor->process(data);
    m_context.projectTimeSamples += frames;
    m_context.projectTimeMusic = double(m_context.projectTimeSamples) / m_config.sampleRate * (m_context.tempo / 60.0);

    for (int c = 0; c < m_outBuses[0].numChannels; ++c) {
        if (is64)
            std::copy(m_outBuses[0].channelBuffers64[c], m_outBuses[0].channelBuffers64[c] + frames, out[c]);
        else
            std::copy(m_outBuses[0].channelBuffers32[c], m_outBuses[0].channelBuffers32[c] + frames, out[c]);
    }
}

void CVst3Plugin::close() {
    if (m_processing) m_processor->setProcessing(false);
    m_processing = false;
    if (m_active) m_component->setActive(false);
    m_active = false;
    if (m_separateController && m_controller) {
        auto* cpA = queryFrom<sv::IConnectionPoint>(m_component, sv::IConnectionPoint::iid);
        auto* cpB = queryFrom<sv::IConnectionPoint>(m_controller, sv::IConnectionPoint::iid);
        if (cpA && cpB) {
            cpA->disconnect(cpB);
            cpB->disconnect(cpA);
        }
        if (cpA) cpA->release();
        if (cpB) cpB->release();
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

}  // namespace render
