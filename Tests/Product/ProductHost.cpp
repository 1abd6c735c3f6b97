#include "ProductHost.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Audio/VST/PluginFactoryVST3.h"

namespace product {

namespace {

std::string narrow(const sv::TChar* s) {
    std::string out;
    for (; s && *s; ++s) out += char(*s);
    return out;
}

void widen(const std::string& s, sv::String128 out) {
    const size_t n = std::min(s.size(), size_t(127));
    for (size_t i = 0; i < n; ++i) out[i] = sv::TChar(s[i]);
    out[n] = 0;
}

}  // namespace

// --- Parameter changes --------------------------------------------------------------------

sb::tresult PLUGIN_API CQueue::getPoint(sb::int32 index, sb::int32& offset, sv::ParamValue& value) {
    if (index < 0 || index >= m_count) return sb::kInvalidArgument;
    offset = m_offsets[size_t(index)];
    value = m_values[size_t(index)];
    return sb::kResultOk;
}

sb::tresult PLUGIN_API CQueue::addPoint(sb::int32 offset, sv::ParamValue value, sb::int32& index) {
    if (m_count >= kCapacity) return sb::kResultFalse;
    // Points stay ordered by offset; a point at the same offset replaces the last.
    if (m_count > 0 && m_offsets[size_t(m_count - 1)] == offset) {
        m_values[size_t(m_count - 1)] = value;
        index = m_count - 1;
        return sb::kResultOk;
    }
    m_offsets[size_t(m_count)] = offset;
    m_values[size_t(m_count)] = value;
    index = m_count++;
    return sb::kResultOk;
}

sv::IParamValueQueue* PLUGIN_API CChanges::getParameterData(sb::int32 index) {
    return index >= 0 && index < m_count ? &m_queues[size_t(index)] : nullptr;
}

sv::IParamValueQueue* PLUGIN_API CChanges::addParameterData(const sv::ParamID& id, sb::int32& index) {
    for (int i = 0; i < m_count; ++i)
        if (m_queues[size_t(i)].getParameterId() == id) {
            index = i;
            return &m_queues[size_t(i)];
        }
    if (m_count >= kCapacity) return nullptr;
    m_queues[size_t(m_count)].reset(id);
    index = m_count;
    return &m_queues[size_t(m_count++)];
}

// --- Handler -------------------------------------------------------------------------------------

sb::tresult PLUGIN_API CHandler::queryInterface(const sb::TUID iid, void** obj) {
    if (sb::FUnknownPrivate::iidEqual(iid, sb::FUnknown::iid) ||
        sb::FUnknownPrivate::iidEqual(iid, sv::IComponentHandler::iid)) {
        *obj = this;
        return sb::kResultOk;
    }
    *obj = nullptr;
    return sb::kNoInterface;
}

sb::tresult PLUGIN_API CHandler::restartComponent(sb::int32 flags) {
    if (flags & sv::kLatencyChanged) ++latencyRestarts;
    return sb::kResultOk;
}

// --- Module ------------------------------------------------------------------------------------------

bool enterModule() { return vst3ModuleEntry(reinterpret_cast<const void*>(&enterModule)); }
void exitModule() { vst3ModuleExit(); }

// --- Host ------------------------------------------------------------------------------------------------

CHost::CHost() {
    sb::IPluginFactory* factory = vst3PluginFactory();
    if (!factory) return;
    sb::PClassInfo info{};
    void* obj = nullptr;
    if (factory->getClassInfo(0, &info) == sb::kResultOk &&
        factory->createInstance(info.cid, sv::IComponent::iid, &obj) == sb::kResultOk && obj) {
        m_component = static_cast<sv::IComponent*>(obj);
        if (m_component->initialize(nullptr) != sb::kResultOk) {
            m_component->release();
            m_component = nullptr;
        }
    }
    factory->release();
    if (!m_component) return;
    void* p = nullptr;
    if (m_component->queryInterface(sv::IEditController::iid, &p) == sb::kResultOk)
        m_controller = static_cast<sv::IEditController*>(p);
    if (m_component->queryInterface(sv::IAudioProcessor::iid, &p) == sb::kResultOk)
        m_processor = static_cast<sv::IAudioProcessor*>(p);
    if (m_controller) {
        m_controller->setComponentHandler(&handler);
        const int count = m_controller->getParameterCount();
        for (int i = 0; i < count; ++i) {
            sv::ParameterInfo pi{};
            m_controller->getParameterInfo(i, pi);
            if (pi.id < 999) {
                if (m_names.size() <= pi.id) m_names.resize(pi.id + 1);
                m_names[pi.id] = narrow(pi.title);
            }
        }
    }
}

CHost::~CHost() {
    stop();
    if (m_processor) m_processor->release();
    if (m_controller) m_controller->release();
    if (m_component) {
        m_component->terminate();
        m_component->release();
    }
}

bool CHost::start(double rate, int maxBlock, bool is64, int processMode) {
    if (!loaded()) return false;
    stop();
    m_rate = rate;
    m_block = maxBlock;
    m_is64 = is64;
    m_processMode = processMode;
    m_f32.assign(size_t(4 * maxBlock), 0.0f);
    sv::SpeakerArrangement in = sv::SpeakerArr::kStereo, out = sv::SpeakerArr::kStereo;
    m_processor->setBusArrangements(&in, 1, &out, 1);
    m_component->activateBus(sv::kAudio, sv::kInput, 0, true);
    m_component->activateBus(sv::kAudio, sv::kOutput, 0, true);
    sv::ProcessSetup setup{processMode, is64 ? sv::kSample64 : sv::kSample32, maxBlock, rate};
    if (m_processor->setupProcessing(setup) != sb::kResultOk) return false;
    m_component->setActive(true);
    m_processor->setProcessing(true);
    m_processing = true;
    return true;
}

void CHost::stop() {
    if (!m_processing) return;
    m_processor->setProcessing(false);
    m_component->setActive(false);
    m_processing = false;
}

int CHost::latency() { return m_processor ? int(m_processor->getLatencySamples()) : -1; }

int CHost::paramId(const std::string& name) const {
    for (size_t i = 0; i < m_names.size(); ++i)
        if (m_names[i] == name) return int(i);
    return -1;
}

double CHost::normalizedFromText(int id, const std::string& text) {
    sv::String128 s;
    widen(text, s);
    sv::ParamValue v = 0.0;
    if (m_controller->getParamValueByString(sv::ParamID(id), s, v) != sb::kResultOk) return NAN;
    return v;
}

std::string CHost::textOf(int id, double normalized) {
    sv::String128 s{};
    if (m_controller->getParamStringByValue(sv::ParamID(id), normalized, s) != sb::kResultOk) return {};
    return narrow(s);
}

void CHost::queueAutomation(int id, double normalized, int offset) {
    sb::int32 index = 0;
    if (sv::IParamValueQueue* q = m_changes.addParameterData(sv::ParamID(id), index))
        q->addPoint(offset, normalized, index);
}

void CHost::queueParam(int id, double normalized, int offset) {
    queueAutomation(id, normalized, offset);
    m_controller->setParamNormalized(sv::ParamID(id), normalized);
}

bool CHost::setParam(const std::string& name, const std::string& text, int offset) {
    const int id = paramId(name);
    if (id < 0) return false;
    const double v = normalizedFromText(id, text);
    if (std::isnan(v)) return false;
    queueParam(id, v, offset);
    return true;
}

void CHost::processBlock(const double* inL, const double* inR, double* outL, double* outR, int n) {
    sv::AudioBusBuffers inBus, outBus;
    inBus.numChannels = outBus.numChannels = 2;
    void* inPtrs[2];
    void* outPtrs[2];
    if (m_is64) {
        inPtrs[0] = const_cast<double*>(inL);
        inPtrs[1] = const_cast<double*>(inR);
        outPtrs[0] = outL;
        outPtrs[1] = outR;
    } else {
        float* f = m_f32.data();
        for (int i = 0; i < n; ++i) {
            f[i] = float(inL[i]);
            f[m_block + i] = float(inR[i]);
        }
        inPtrs[0] = f;
        inPtrs[1] = f + m_block;
        outPtrs[0] = f + 2 * m_block;
        outPtrs[1] = f + 3 * m_block;
    }
    inBus.channelBuffers32 = reinterpret_cast<sv::Sample32**>(inPtrs);
    outBus.channelBuffers32 = reinterpret_cast<sv::Sample32**>(outPtrs);
    sv::ProcessData data;
    data.processMode = m_processMode;
    data.symbolicSampleSize = m_is64 ? sv::kSample64 : sv::kSample32;
    data.numSamples = n;
    data.numInputs = data.numOutputs = 1;
    data.inputs = &inBus;
    data.outputs = &outBus;
    data.inputParameterChanges = &m_changes;
    m_processor->process(data);
    m_changes.clear();
    if (!m_is64) {
        const float* f = m_f32.data();
        for (int i = 0; i < n; ++i) {
            outL[i] = f[2 * m_block + i];
            outR[i] = f[3 * m_block + i];
        }
    }
}

Stereo CHost::run(const Stereo& in) {
    Stereo out(in.size());
    for (size_t pos = 0; pos < in.size(); pos += size_t(m_block)) {
        const int n = int(std::min(size_t(m_block), in.size() - pos));
        processBlock(in.l.data() + pos, in.r.data() + pos, out.l.data() + pos, out.r.data() + pos, n);
    }
    return out;
}

void CHost::runSilence(size_t n) { run(Stereo(n)); }

}  // namespace product
