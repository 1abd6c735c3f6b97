#include "Audio/Viz/AudioVizCollector.h"

#include <algorithm>

#include "Audio/Plugin/AudioEnv.h"
#include "Audio/Params/AudioParam.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Params/AudioParamDef.h"
#include "Core/MemoryWriter.h"

namespace {
const char* const kDefaultEnableTemplate = "shared::audio.param-enable-viz";
const char* const kDefaultInstanceNameParam = "plugin.modMain.instance-name";
const char* const kDefaultGroupNamesParam = "plugin.modMain.io-params.group-names";

CString attrOr(const CObject& o, const char* name, const char* def) {
    CString v = o.attr(name);
    return v.empty() ? CString(def) : v;
}
}  // namespace

// --- CVizDataRequest -----------------------------------------------------------------------

CError CVizDataRequest::write(COutputStream& out) const {
    KEL_TRY(out.writeU32(maxFrames));
    KEL_TRY(out.writeU32(flags));
    return {};
}

CError CVizDataRequest::read(CInputStream& in) {
    KEL_TRY(in.readU32(&maxFrames));
    KEL_TRY(in.readU32(&flags));
    return {};
}

// --- CAudioVizLaneHandle ---------------------------------------------------------------------

void CAudioVizLaneHandle::reset() {
    if (m_lane && m_lane->collector()) m_lane->collector()->removeLane(m_lane.get());
    m_lane.reset();
}

// --- CAudioVizCollector ----------------------------------------------------------------------

CAudioVizCollector::CAudioVizCollector() = default;

CAudioVizCollector::~CAudioVizCollector() {
    // Modules may outlive the collector: their lanes forget it.
    for (auto& [name, source] : m_sources)
        for (const auto& lane : source->lanes()) lane->setCollector(nullptr);
}

void CAudioVizCollector::registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

CError CAudioVizCollector::initLinks() {
    KEL_TRY(CObject::initLinks());
    if (!attr("env").empty()) KEL_TRY(findObjectByAttr("env", &m_env));
    if (!attr("param-collector").empty()) KEL_TRY(findObjectByAttr("param-collector", &m_paramCollector));
    return {};
}

CError CAudioVizCollector::createEnableParam(CAudioVizData& source) {
    const CString name = source.name() + CString("-enable");
    if (m_paramCollector)
        if (CAudioParam* existing = m_paramCollector->findParam(name)) {
            source.setEnableParam(existing, nullptr);
            return {};
        }
    const CString templatePath = attrOr(*this, "param-enable-template", kDefaultEnableTemplate);
    auto* def = dynamic_cast<CAudioParamDef*>(findObject(templatePath));
    if (!def || !def->isParsed())
        return KEL_ERROR(kelstr_CAudioVizCollector_registerSource_NoEnableTemplate, templatePath);
    std::unique_ptr<CAudioParam> param = CAudioParam::create(*def, name, 1);
    if (m_paramCollector) KEL_TRY(m_paramCollector->registerParam(param.get()));
    param->storage().setValue(0, 0, 0, 0.0);
    CAudioParam* raw = param.get();
    source.setEnableParam(raw, std::move(param));
    return {};
}

CError CAudioVizCollector::registerSource(const CAudioVizDataInfo& info, int group, CAudioVizLaneHandle* handle) {
    handle->reset();
    std::vector<CAudioParam*> changed;
    {
        plat::CLock lock(m_lock);
        auto it = m_sources.find(info.name);
        if (it != m_sources.end() && !it->second->info().sameLayout(info))
            return KEL_ERROR(kelstr_CAudioVizCollector_registerSource_LayoutMismatch, info.name);
        if (it == m_sources.end()) {
            std::unique_ptr<CAudioVizData> source = CAudioVizData::create(info);
            KEL_TRY(createEnableParam(*source));
            it = m_sources.emplace(info.name, std::move(source)).first;
            // Listeners that came before the source count now.
            for (const auto& [id, l] : m_listeners)
                if (l.source == info.name) it->second->addListeners(l.kind, 1);
            setEnable(*it->second, it->second->listenerCount() > 0, &changed);
        }
        auto lane = std::make_shared<CAudioVizLane>(m_nextLaneId++, group, info.globalCount(), info.valuesPerChannel());
        lane->setCollector(this);
        it->second->addLane(lane);
        handle->m_lane = std::move(lane);
    }
    notifyChanged(changed);
    return {};
}

void CAudioVizCollector::allocateLane(CAudioVizLane& lane, int maxChannels) {
    plat::CLock lock(m_lock);
    lane.allocate(maxChannels);
    for (auto& [id, l] : m_listeners) std::erase_if(l.seen, [&](const auto& s) { return s.first == lane.id(); });
    m_frame.resize(std::max<size_t>(m_frame.size(), lane.capacityValues()));
}

void CAudioVizCollector::removeLane(CAudioVizLane* lane) {
    std::unique_ptr<CAudioVizData> gone;  // destroyed outside the lock
    {
        plat::CLock lock(m_lock);
        for (auto it = m_sources.begin(); it != m_sources.end(); ++it) {
            if (!it->second->removeLane(lane)) continue;
            if (it->second->lanes().empty()) {
                gone = std::move(it->second);
                m_sources.erase(it);
            }
            break;
        }
        for (auto& [id, l] : m_listeners) std::erase_if(l.seen, [&](const auto& s) { return s.first == lane->id(); });
    }
    lane->setCollector(nullptr);
}

void CAudioVizCollector::setEnable(CAudioVizData& source, bool on, std::vector<CAudioParam*>* changed) {
    CAudioParam* p = source.enableParam();
    if (!p) return;
    const double v = on ? 1.0 : 0.0;
    if (p->value(0, 0) == v) return;
    p->storage().setValue(0, 0, 0, v);  // advances the change counter
    changed->push_back(p);
}

void CAudioVizCollector::notifyChanged(const std::vector<CAudioParam*>& changed) {
    if (!m_paramCollector) return;
    for (CAudioParam* p : changed) m_paramCollector->notifyChanged(*p);
}

void CAudioVizCollector::countListener(const Listener& l, int delta, std::vector<CAudioParam*>* changed) {
    auto it = m_sources.find(l.source);
    if (it == m_sources.end()) return;
    CAudioVizData& s = *it->second;
    const uint32_t before = s.listenerCount();
    const uint32_t after = s.addListeners(l.kind, delta);
    if ((before == 0) != (after == 0)) setEnable(s, after > 0, changed);
}

CError CAudioVizCollector::listen(uint32_t listenerId, const CString& sourceName, uint32_t kind) {
    if (kind >= CAudioVizData::kListenerKinds)
        return KEL_ERROR(kelstr_CAudioVizCollector_listen_InvalidKind, CString::number(int64_t(kind)));
    std::vector<CAudioParam*> changed;
    {
        plat::CLock lock(m_lock);
        // Listening again under the same id replaces the earlier subscription.
        if (auto old = m_listeners.find(listenerId); old != m_listeners.end()) {
            countListener(old->second, -1, &changed);
            m_listeners.erase(old);
        }
        Listener l;
        l.source = sourceName;
        l.kind = kind;
        countListener(l, +1, &changed);
        m_listeners.emplace(listenerId, std::move(l));
    }
    notifyChanged(changed);
    return {};
}

void CAudioVizCollector::unlisten(uint32_t listenerId) {
    std::vector<CAudioParam*> changed;
    {
        plat::CLock lock(m_lock);
        auto it = m_listeners.find(listenerId);
        if (it == m_listeners.end()) return;
        countListener(it->second, -1, &changed);
        m_listeners.erase(it);
    }
    notifyChanged(changed);
}

void CAudioVizCollector::removeClient(uint32_t client) {
    std::vector<CAudioParam*> changed;
    {
        plat::CLock lock(m_lock);
        for (auto it = m_listeners.begin(); it != m_listeners.end();) {
            if ((it->first >> kClientShift) != client) {
                ++it;
                continue;
            }
            countListener(it->second, -1, &changed);
            it = m_listeners.erase(it);
        }
    }
    notifyChanged(changed);
}

void CAudioVizCollector::reset() {
    std::vector<CAudioParam*> changed;
    {
        plat::CLock lock(m_lock);
        m_listeners.clear();
        for (auto& [name, s] : m_sources) {
            s->clearListeners();
            setEnable(*s, false, &changed);
        }
    }
    notifyChanged(changed);
}

CError CAudioVizCollector::writeSourceData(CAudioVizData& source, Listener& l, const CVizDataRequest& request,
                                           COutputStream& out, bool* anyFrame) {
    const bool withInfo = !l.infoSent || (request.flags & CVizDataRequest::kInfo);
    KEL_TRY(out.writeU32(uint32_t(source.kind())));
    KEL_TRY(out.writeU32(kVizLayoutVersion));
    KEL_TRY(out.writeU32(withInfo ? kVizFlagInfo : 0u));
    if (withInfo) KEL_TRY(source.info().save(out));
    KEL_TRY(out.writeU32(uint32_t(source.lanes().size())));
    CMemoryWriter frames(1024);
    for (const auto& lane : source.lanes()) {
        if (m_frame.size() < lane->capacityValues()) m_frame.resize(lane->capacityValues());
        auto seen = std::find_if(l.seen.begin(), l.seen.end(), [&](const auto& s) { return s.first == lane->id(); });
        if (seen == l.seen.end()) {
            l.seen.emplace_back(lane->id(), 0);
            seen = l.seen.end() - 1;
        }
        const uint64_t newest = lane->published();
        const uint64_t last = std::min(seen->second, newest);
        uint64_t first = last + 1;
        const uint64_t window = std::clamp<uint64_t>(request.maxFrames, 1, CAudioVizLane::kRingFrames);
        if (newest >= window) first = std::max(first, newest - window + 1);
        frames.clear();
        uint32_t count = 0;
        for (uint64_t n = first; n <= newest; ++n) {
            const int channels = lane->readFrame(n, m_frame.data());
            if (channels < 0) continue;  // overwritten meanwhile
            KEL_TRY(source.writeFrame(frames, m_frame.data(), channels));
            ++count;
        }
        seen->second = newest;
        *anyFrame = *anyFrame || count > 0;
        KEL_TRY(out.writeU32(uint32_t(lane->group())));
        KEL_TRY(out.writeU32(count));
        KEL_TRY(out.writeU64(newest));
        KEL_TRY(out.write(frames.data(), frames.size()));
    }
    l.infoSent = true;
    return {};
}

CError CAudioVizCollector::writeVizData(uint32_t listenerId, const CVizDataRequest& request, COutputStream& out,
                                        bool* written) {
    *written = false;
    plat::CLock lock(m_lock);
    auto it = m_listeners.find(listenerId);
    if (it == m_listeners.end())
        return KEL_ERROR(kelstr_CAudioVizCollector_writeVizData_UnknownListener,
                         CString::number(int64_t(listenerId)));
    Listener& l = it->second;
    auto src = m_sources.find(l.source);
    if (src == m_sources.end()) return {};
    const Listener before = l;
    CMemoryWriter body(1024);
    bool anyFrame = false;
    KEL_TRY(writeSourceData(*src->second, l, request, body, &anyFrame));
    if (!anyFrame && before.infoSent && !(request.flags & (CVizDataRequest::kAlways | CVizDataRequest::kInfo))) {
        l = before;
        return {};
    }
    if (CError e = [&]() -> CError {
            KEL_TRY(out.writeU32(listenerId));
            KEL_TRY(out.writeString(l.source));
            KEL_TRY(out.writeU32(uint32_t(body.size())));
            KEL_TRY(out.write(body.data(), body.size()));
            return {};
        }()) {
        l = before;  // not delivered: send the same frames next time
        return KEL_PASS(e);
    }
    *written = true;
    return {};
}

CError CAudioVizCollector::writeExportSlotNames(COutputStream& out) {
    plat::CLock lock(m_lock);
    CAudioParam* instanceName = nullptr;
    CAudioParam* groupNames = nullptr;
    if (m_paramCollector) {
        const CString slotName = attr("export-slot-param");
        if (!slotName.empty())
            if (CAudioParam* slotParam = m_paramCollector->findParam(slotName)) {
                const CString colorName = attr("export-color-param");
                CAudioParam* colorParam = colorName.empty() ? nullptr : m_paramCollector->findParam(colorName);
                m_slots.assignFromParams(*slotParam, colorParam, m_env ? m_env->groupCount() : 8);
            }
        instanceName = m_paramCollector->findParam(attrOr(*this, "instance-name-param", kDefaultInstanceNameParam));
        groupNames = m_paramCollector->findParam(attrOr(*this, "group-names-param", kDefaultGroupNamesParam));
    }
    const CString instance = instanceName ? instanceName->storage().text(0, 0) : CString();
    auto groupName = [groupNames](int g) {
        CString n = groupNames ? groupNames->storage().text(0, uint32_t(g)) : CString();
        return n.empty() ? CString::number(int64_t(g + 1)) : n;
    };
    return m_slots.writeNames(out, instance, groupName);
}

CAudioVizData* CAudioVizCollector::findSource(const CString& name) const {
    plat::CLock lock(m_lock);
    auto it = m_sources.find(name);
    return it == m_sources.end() ? nullptr : it->second.get();
}

size_t CAudioVizCollector::sourceCount() const {
    plat::CLock lock(m_lock);
    return m_sources.size();
}

size_t CAudioVizCollector::listenerCount() const {
    plat::CLock lock(m_lock);
    return m_listeners.size();
}
