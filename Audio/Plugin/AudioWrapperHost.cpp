// CAudioWrapper: host facts that are parameters, host parameters, programs
// and the state chunk.
#include <algorithm>
#include <functional>

#include "Audio/Params/AudioExtParam.h"
#include "Audio/Params/AudioParam.h"
#include "Audio/Registry/AudioParamRegistry.h"
#include "Audio/Plugin/AudioWrapper.h"
#include "Audio/Plugin/AudioWrapperImpl.h"
#include "Core/Log.h"
#include "Core/Notify.h"
#include "Core/MemoryReader.h"
#include "Core/WriteSeqBuffer.h"

namespace {
// Audio thread: writes a single-value parameter in place (never allocates);
// the graph sees the change at its next update.
void writeScalar(CAudioParam* p, double v) {
    if (!p) return;
    if (p->value(0, 0) == v) return;
    if (p->storage().writeValue(0, 0, 0, v)) p->storage().markChanged();
}

// Main thread: the write travels with the other pending changes.
void writeScalarMain(CAudioParam* p, double v) {
    if (!p || kelMainParamValue(*p, 0, 0) == v) return;
    if (kelMainParamWrite(*p, 0, 0, 0, v) && p->collector()) p->collector()->notifyChanged(*p);
}

// Changes of a host-visible parameter made inside the plug-in (editor,
// presets through the interface) go to the host as edits.
class CHostEditListener : public CAudioParamListener {
public:
    explicit CHostEditListener(std::function<void(CAudioParam&)> report) : m_report(std::move(report)) {}
    void paramChanged(CAudioParam& param) override { m_report(param); }

private:
    std::function<void(CAudioParam&)> m_report;
};
}  // namespace

// Audio thread (offline mode, tempo and recording come with the blocks).
void CAudioWrapper::setOffline(bool offline) { writeScalar(m_impl->hostOffline, offline ? 1.0 : 0.0); }
void CAudioWrapper::setTempo(double bpm) { writeScalar(m_impl->hostBpm, bpm); }
void CAudioWrapper::setRecording(bool recording) { writeScalar(m_impl->hostRec, recording ? 1.0 : 0.0); }
// Main thread.
void CAudioWrapper::setHostOversamplingMode(int mode) { writeScalarMain(m_impl->hostOversampling, double(mode)); }
void CAudioWrapper::setBypass(bool bypass) { writeScalarMain(m_impl->bypassEnable, bypass ? 1.0 : 0.0); }

// --- Binding (end of init) ----------------------------------------------------------------------

CError CProgramChangeListener::dispatchEvent(const CString& eventName, CEventParams&) {
    if (eventName == "on-program-changed") m_core->reportProgramChange();
    return {};
}

CError CAudioWrapper::bindHostSide() {
    Impl& d = *m_impl;
    KEL_TRY(kelBindParamObjects(*d.plugin));
    // Every value of the instance gets a slot in the change sets.
    d.changeQueue.prepare(d.collector->paramsWithPrefix(""), &d.env->lock());
    d.collector->setChangeQueue(&d.changeQueue);
    if (auto* list = dynamic_cast<CAudioExtParamList*>(d.extParamList)) {
        d.bridge = &list->hostBridge();
        d.editListener = std::make_unique<CHostEditListener>([this](CAudioParam& p) { reportHostEdit(p); });
        for (int i = 0; i < d.bridge->count(); ++i)
            if (CAudioExtParam* e = d.bridge->entry(i); e && e->param())
                d.collector->addListener(e->param(), d.editListener.get());
    }
    if (d.registry) {
        d.programListener = std::make_unique<CProgramChangeListener>(this);
        d.programListener->setNotifyRegistered();  // leaves the server when destroyed
        CNotifyServer::instance().registerListener(d.registry, "program-changed", d.programListener.get(), 0,
                                                   "on-program-changed");
    }
    return {};
}

void CAudioWrapper::unbindHostSide() {
    Impl& d = *m_impl;
    if (d.collector) {
        if (d.editListener) d.collector->removeListener(d.editListener.get());
        if (d.routingListener) d.collector->removeListener(d.routingListener.get());
        d.collector->setChangeQueue(nullptr);
    }
    d.changeQueue.reset();
    d.programListener.reset();  // leaves the notification server with it
    d.editListener.reset();
    d.routingListener.reset();
}

void CAudioWrapper::reportHostEdit(CAudioParam& param) {
    Impl& d = *m_impl;
    if (d.hostEditDepth > 0 || !d.bridge || !m_initialized) return;
    for (int index : d.bridge->indicesOf(&param)) {
        onBeginEdit(index);
        onPerformEdit(index, d.bridge->normalized(index));
        onEndEdit(index);
    }
}

void CAudioWrapper::reportProgramChange() {
    followBusWidth();
    if (m_initialized) onProgramChanged();
}

// --- Host changes inside a block (audio thread) ---------------------------------------------------------

void CAudioWrapper::applyHostChanges(int offset, int frames) {
    Impl& d = *m_impl;
    if (!d.bridge || d.blockChangeCount <= 0) return;
    // Changes of a parameter arrive in time order; the last one of the chunk wins.
    const int end = offset + frames;
    for (int i = 0; i < d.blockChangeCount; ++i) {
        const CHostParamChange& c = d.blockChanges[i];
        const bool inChunk = c.offset < end && (c.offset >= offset || offset == 0);
        if (inChunk || (frames == 0 && offset == 0)) d.bridge->writeFromAudio(c.index, c.value);
    }
}

int CAudioWrapper::chunkLengthAt(int offset, int frames) const {
    // A chunk ends where the next host change lies at least kMinChunk frames
    // ahead, so that automation lands within a few samples of its place.
    constexpr int kMinChunk = 32;
    const Impl& d = *m_impl;
    int n = std::min(d.chunkCap, frames - offset);
    for (int i = 0; i < d.blockChangeCount; ++i) {
        const int at = d.blockChanges[i].offset - offset;
        if (at >= kMinChunk && at < n) n = at;
    }
    return n;
}

// --- State ----------------------------------------------------------------------------------------------

CError CAudioWrapper::saveState(COutputStream& out) {
    Impl& d = *m_impl;
    CWriteSeqBuffer buffer(256);
    if (d.registry) KEL_TRY(d.registry->acquirePreset(false, -1, CAudioParamRegistry::kAllGroups, buffer));
    const std::span<const uint8_t> data = buffer.contiguous();
    KEL_TRY(out.writeCompressedData(data, kIdAprs));
    return {};
}

CError CAudioWrapper::loadState(CInputStream& in) {
    Impl& d = *m_impl;
    std::vector<uint8_t> data;
    KEL_TRY(in.readCompressedData(&data, kIdAprs));
    if (!d.registry) return {};
    CMemoryReader reader(data.data(), data.size());
    ++d.hostEditDepth;
    CError err = d.registry->loadPreset(reader);
    --d.hostEditDepth;
    if (!err) followBusWidth();
    return err;
}

// --- Host parameters (main thread) -----------------------------------------------------------------------

int CAudioWrapper::hostParamCount() const { return m_impl->bridge ? m_impl->bridge->count() : 0; }

CHostParamInfo CAudioWrapper::hostParamInfo(int index) const {
    CHostParamInfo info;
    const CAudioExtParamHostBridge* b = m_impl->bridge;
    if (!b || index < 0 || index >= b->count()) return info;
    info.name = b->name(index);
    info.bound = b->isBound(index);
    if (!info.bound) return info;
    info.units = b->units(index);
    info.defaultNormalized = b->defaultNormalized(index);
    info.stepCount = b->stepCount(index);
    return info;
}

double CAudioWrapper::hostParamNormalized(int index) const {
    const CAudioExtParamHostBridge* b = m_impl->bridge;
    return b && b->isBound(index) ? b->normalized(index) : 0.0;
}

void CAudioWrapper::setHostParamNormalized(int index, double value) {
    Impl& d = *m_impl;
    if (!d.bridge || !d.bridge->isBound(index)) return;
    ++d.hostEditDepth;
    d.bridge->setNormalized(index, std::clamp(value, 0.0, 1.0));
    --d.hostEditDepth;
}

CString CAudioWrapper::hostParamText(int index, double normalized) const {
    const CAudioExtParamHostBridge* b = m_impl->bridge;
    if (!b || !b->isBound(index)) return {};
    return b->text(index, std::clamp(normalized, 0.0, 1.0));
}

bool CAudioWrapper::hostParamFromText(int index, const CString& text, double* normalized) const {
    const CAudioExtParamHostBridge* b = m_impl->bridge;
    return b && b->isBound(index) && b->fromText(index, text, normalized);
}

// --- Programs (main thread) ------------------------------------------------------------------------------

int CAudioWrapper::programCount() const {
    const CAudioParamRegistry* r = m_impl->registry;
    return r && r->programCount() > 0 ? r->programCount() : 1;
}

CString CAudioWrapper::programName(int index) const {
    const CAudioParamRegistry* r = m_impl->registry;
    if (!r || r->programCount() == 0) return "Default";
    return r->programName(index);
}

int CAudioWrapper::currentProgram() const { return m_impl->registry ? m_impl->registry->currentProgram() : 0; }

CError CAudioWrapper::setProgram(int index) {
    Impl& d = *m_impl;
    if (!d.registry || d.registry->programCount() == 0) return {};
    if (index == d.registry->currentProgram()) return {};
    ++d.hostEditDepth;
    CError err = d.registry->setCurrentProgram(index);
    --d.hostEditDepth;
    return err;
}
