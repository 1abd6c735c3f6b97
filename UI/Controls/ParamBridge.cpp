// The parameter bridge: one plug-in parameter seen from the editor.
#include "UI/Controls/ParamBridge.h"

#include <algorithm>
#include <cmath>

#include "Core/Log.h"

CParamBridge::CParamBridge() = default;

CParamBridge::~CParamBridge() {
    if (m_client && m_id) {
        CObject::unlistenObject(m_client, "update-param", this);
        CObject::unlistenObject(m_client, "update-param-info", this);
        if (CError e = m_client->unlistenParam(m_id)) kelLogError(e);
    }
}

void CParamBridge::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("client-update-param", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<CParamBridge*>(self)->onClientUpdate(p, false);
    });
    record.addEvent("client-update-param-info", [](CObject* self, CEventParams& p) -> CError {
        return static_cast<CParamBridge*>(self)->onClientUpdate(p, true);
    });
}

CError CParamBridge::initLinks() {
    KEL_TRY(CObject::initLinks());
    m_paramName = attr("param").trimmed();
    if (m_paramName.empty()) return KEL_ERROR(kelstr_CParamBridge_init_NoParam);
    if (!hasAttr("interface-client")) KEL_TRY(setAttr("interface-client", "ui.interface-client", false));
    KEL_TRY(findObjectByAttr("interface-client", &m_client));
    CObject::listenObject(m_client, "update-param", this, "client-update-param");
    CObject::listenObject(m_client, "update-param-info", this, "client-update-param-info");
    KEL_TRY(m_client->listenParam(m_paramName, &m_id));
    return {};
}

CError CParamBridge::onClientUpdate(CEventParams& p, bool info) {
    int64_t id = 0;
    if (!p.get("param-id").toInt(&id) || uint32_t(id) != m_id) return {};
    const CParamInterfaceClient::ParamMirror* m = m_client->param(m_id);
    if (!m || !m->known || !m->info || !m->values) {
        m_info = nullptr;
        m_values.reset();
        return {};
    }
    const bool wasReady = isReady();
    m_info = m->info.get();
    m_values = std::make_unique<CAudioParamStorage>(*m->values);
    notifyChange(-1, 0, 0, true);
    if (info && !wasReady) {
        CEventParams ready;
        if (CError e = notify("param-ready", ready)) kelLogError(e);
    }
    return {};
}

void CParamBridge::notifyChange(int group, uint32_t first, uint32_t count, bool replacing) {
    // The first value as an attribute, for state switches and references.
    if (m_info && m_info->isNumeric())
        if (CError e = setAttr("value", CString::number(value(0, 0)), false)) kelLogError(e);
    CEventParams p{{"group", CString::number(int64_t(group))},
                   {"element-offset", CString::number(int64_t(first))},
                   {"element-count", CString::number(int64_t(count))},
                   {"is-replacing", replacing ? "true" : "false"}};
    if (CError e = notify("param-change", p)) kelLogError(e);
}

uint32_t CParamBridge::groupCount() const {
    if (!m_values) return 0;
    return m_info && m_info->isSingleGroup() ? 1 : std::max<uint32_t>(1, m_values->groupCount());
}

uint32_t CParamBridge::elementCount(uint32_t group) const {
    if (!m_values) return 0;
    if (m_info->isSingleGroup()) group = 0;
    return std::max(m_values->elementCount(group), m_info->isSingleElement() ? 1u : m_info->defaultElementCount());
}

bool CParamBridge::isDiscrete() const {
    if (!m_info || !m_info->isNumeric()) return false;
    if (!m_info->stateNames().empty()) return true;
    const CAudioParamConverter* c = m_info->converter(0);
    return c && c->isDiscrete();
}

double CParamBridge::value(uint32_t g, uint32_t e, uint32_t c) const {
    return m_values ? m_values->value(g, e, c) : 0.0;
}

double CParamBridge::normalized(uint32_t g, uint32_t e, uint32_t c) const {
    return m_info ? m_info->normalize(c, value(g, e, c)) : 0.0;
}

double CParamBridge::defaultNormalized(uint32_t e, uint32_t c) const {
    return m_info ? m_info->normalize(c, m_info->defaultValue(e, c)) : 0.0;
}

CString CParamBridge::text(uint32_t g, uint32_t e, int kind) const {
    if (!m_info) return {};
    if (m_info->dataType() == EAudioParamDataType::Text) return m_values->text(g, e);
    return m_info->valueToText(0, value(g, e), kind);
}

bool CParamBridge::parseText(const CString& text, double* value) const {
    if (!m_info || !m_info->isNumeric() || text.trimmed().empty()) return false;
    double v = 0;
    if (!m_info->textToValue(0, text, &v) || !std::isfinite(v)) return false;
    *value = v;
    return true;
}

double CParamBridge::stepNormalized(uint32_t g, uint32_t e, int direction) const {
    if (!m_info) return 0.0;
    // One step of a stepped parameter: from the value to the next value up
    // (or down), through the converter, as a normalised distance.
    const double v = value(g, e);
    const double lo = std::min(m_info->minValue(0), m_info->maxValue(0));
    const double hi = std::max(m_info->minValue(0), m_info->maxValue(0));
    const double next = std::clamp(std::round(v) + (direction > 0 ? 1.0 : -1.0), lo, hi);
    return m_info->normalize(0, next) - m_info->normalize(0, v);
}

CError CParamBridge::send(uint32_t g) {
    KEL_TRY(m_client->changeParam(m_id, *m_values, m_info->isSingleGroup() ? -1 : int(g)));
    return {};
}

std::span<const uint8_t> CParamBridge::raw(uint32_t g, uint32_t e) const {
    if (!isReady()) return {};
    return m_values->raw(m_info->isSingleGroup() ? 0 : g, m_info->isSingleElement() ? 0 : e);
}

CError CParamBridge::setRaw(uint32_t g, uint32_t e, std::span<const uint8_t> bytes) {
    if (!isReady()) return KEL_ERROR(kelstr_CParamBridge_setValue_NotReady, m_paramName);
    if (m_info->isSingleGroup()) g = 0;
    if (m_info->isSingleElement()) e = 0;
    m_values->setRaw(g, e, bytes);
    KEL_TRY(send(g));
    notifyChange(int(g), e, 1, false);
    return {};
}

CError CParamBridge::setNormalized(uint32_t g, std::span<const Edit> edits) {
    if (!isReady()) return KEL_ERROR(kelstr_CParamBridge_setValue_NotReady, m_paramName);
    if (m_info->isSingleGroup()) g = 0;
    uint32_t first = ~0u, last = 0;
    for (const Edit& ed : edits) {
        const uint32_t e = m_info->isSingleElement() ? 0 : ed.element;
        const double pos = std::clamp(ed.position, 0.0, 1.0);
        double v = m_info->denormalize(0, pos);
        if (isDiscrete()) v = std::round(v);
        m_values->setValue(g, e, 0, v);
        first = std::min(first, e), last = std::max(last, e);
    }
    if (edits.empty()) return {};
    KEL_TRY(send(g));
    notifyChange(int(g), first, last - first + 1, false);
    return {};
}

CError CParamBridge::setValue(uint32_t g, uint32_t e, double v) {
    if (!isReady()) return KEL_ERROR(kelstr_CParamBridge_setValue_NotReady, m_paramName);
    return setNormalized(g, e, m_info->normalize(0, v));
}

CError CParamBridge::setText(uint32_t g, uint32_t e, const CString& text) {
    if (!isReady()) return KEL_ERROR(kelstr_CParamBridge_setValue_NotReady, m_paramName);
    if (m_info->isSingleGroup()) g = 0;
    if (m_info->isSingleElement()) e = 0;
    m_values->setText(g, e, text);
    KEL_TRY(send(g));
    notifyChange(int(g), e, 1, false);
    return {};
}

CError CParamBridge::beginGesture(const CString& undoText, int group) {
    if (m_undoId || !m_client) return {};
    m_undoId = m_client->newUndoId();
    return m_client->createUndoData(m_undoId, undoText, m_id, group);
}

CError CParamBridge::endGesture() {
    if (!m_undoId) return {};
    const uint32_t id = m_undoId;
    m_undoId = 0;
    return m_client->submitUndoData(id);
}
