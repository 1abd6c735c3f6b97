#include "Audio/Params/AudioExtParam.h"

#include <algorithm>
#include <cmath>

#include "Audio/Params/AudioParamChangeSet.h"
#include "Audio/Params/AudioParamCollector.h"

// --- One entry ----------------------------------------------------------------------------------

CError CAudioExtParam::init() {
    KEL_TRY(CObject::init());
    m_extName = attr("ext-name");
    if (m_extName.empty() || m_extName.length() > kMaxNameLength)
        return KEL_ERROR(kelstr_CAudioExtParam_attrExtName_LongName, m_extName);
    m_paramName = attr("param-name").trimmed();
    m_group = uint32_t(std::max<int64_t>(attrInt("group", 0), 0));
    m_element = uint32_t(std::max<int64_t>(attrInt("element-index", 0), 0));
    return {};
}

CError CAudioExtParam::initLinks() {
    KEL_TRY(CObject::initLinks());
    auto* list = dynamic_cast<CAudioExtParamList*>(parent());
    CString path = attr("param-collector").trimmed();
    if (path.empty() && list) path = list->attr("param-collector").trimmed();
    if (path.empty()) path = "^^param-collector";
    m_collector = dynamic_cast<CAudioParamCollector*>(findObject(path));
    if (list) list->hostBridge().add(this);
    return {};
}

CError CAudioExtParam::bindParams() {
    m_param = nullptr;
    m_triedAtCount = size_t(-1);
    (void)param();
    return {};
}

CAudioParam* CAudioExtParam::param() {
    if (m_param || !m_collector || m_paramName.empty()) return m_param;
    // Look again only when the collector has changed since the last miss.
    if (m_collector->paramCount() == m_triedAtCount) return nullptr;
    CAudioParam* p = m_collector->findParam(m_paramName);
    if (p && p->info().isNumeric()) {
        m_param = p;
        return m_param;
    }
    m_triedAtCount = m_collector->paramCount();
    return nullptr;
}

double CAudioExtParam::normalized() {
    CAudioParam* p = param();
    return p ? p->info().normalize(0, kelMainParamValue(*p, m_group, m_element, 0)) : 0.0;
}

double CAudioExtParam::plainValue(double normalized) {
    CAudioParam* p = param();
    return p ? p->info().denormalize(0, std::clamp(normalized, 0.0, 1.0)) : 0.0;
}

void CAudioExtParam::setNormalized(double normalized) {
    CAudioParam* p = param();
    if (!p) return;
    const double v = plainValue(normalized);
    if (v == kelMainParamValue(*p, m_group, m_element, 0)) return;
    if (kelMainParamWrite(*p, m_group, m_element, 0, v) && m_collector) m_collector->notifyChanged(*p);
}

double CAudioExtParam::defaultNormalized() {
    CAudioParam* p = param();
    return p ? p->info().normalize(0, p->info().defaultValue(m_element, 0)) : 0.0;
}

CString CAudioExtParam::text(double normalized) {
    CAudioParam* p = param();
    return p ? p->info().valueToText(0, plainValue(normalized)) : CString();
}

bool CAudioExtParam::fromText(const CString& text, double* normalized) {
    CAudioParam* p = param();
    double v = 0.0;
    if (!p || !p->info().textToValue(0, text, &v)) return false;
    *normalized = p->info().normalize(0, v);
    return true;
}

int CAudioExtParam::stepCount() {
    CAudioParam* p = param();
    if (!p) return 0;
    const CAudioParamInfo& info = p->info();
    CAudioParamConverter* cvt = info.converter(0);
    if (!(cvt && cvt->isDiscrete()) && info.stateNames().empty()) return 0;
    return int(std::lround(std::fabs(info.maxValue(0) - info.minValue(0))));
}

CString CAudioExtParam::units() {
    CAudioParam* p = param();
    CAudioParamConverter* cvt = p ? p->info().converter(0) : nullptr;
    return cvt ? cvt->label() : CString();
}

bool CAudioExtParam::writeFromAudio(double normalized) noexcept {
    // m_param only: the audio thread never looks names up.
    if (!m_param) return false;
    const double v = m_param->info().denormalize(0, normalized < 0.0 ? 0.0 : (normalized > 1.0 ? 1.0 : normalized));
    return m_param->storage().writeValue(m_group, m_element, 0, v);
}

// --- The bridge ---------------------------------------------------------------------------------

void CAudioExtParamHostBridge::add(CAudioExtParam* entry) {
    if (std::find(m_entries.begin(), m_entries.end(), entry) == m_entries.end()) m_entries.push_back(entry);
}

void CAudioExtParamHostBridge::remove(CAudioExtParam* entry) { std::erase(m_entries, entry); }

CAudioExtParam* CAudioExtParamHostBridge::entry(int index) const {
    return index >= 0 && index < int(m_entries.size()) ? m_entries[size_t(index)] : nullptr;
}

CString CAudioExtParamHostBridge::name(int index) const {
    CAudioExtParam* e = entry(index);
    return e ? e->extName() : CString();
}

CString CAudioExtParamHostBridge::units(int index) const {
    CAudioExtParam* e = entry(index);
    return e ? e->units() : CString();
}

bool CAudioExtParamHostBridge::isBound(int index) const {
    CAudioExtParam* e = entry(index);
    return e && e->isBound();
}

int CAudioExtParamHostBridge::stepCount(int index) const {
    CAudioExtParam* e = entry(index);
    return e ? e->stepCount() : 0;
}

double CAudioExtParamHostBridge::defaultNormalized(int index) const {
    CAudioExtParam* e = entry(index);
    return e ? e->defaultNormalized() : 0.0;
}

double CAudioExtParamHostBridge::normalized(int index) const {
    CAudioExtParam* e = entry(index);
    return e ? e->normalized() : 0.0;
}

void CAudioExtParamHostBridge::setNormalized(int index, double normalized) const {
    if (CAudioExtParam* e = entry(index)) e->setNormalized(normalized);
}

CString CAudioExtParamHostBridge::text(int index, double normalized) const {
    CAudioExtParam* e = entry(index);
    return e ? e->text(normalized) : CString();
}

bool CAudioExtParamHostBridge::fromText(int index, const CString& text, double* normalized) const {
    CAudioExtParam* e = entry(index);
    return e && e->fromText(text, normalized);
}

bool CAudioExtParamHostBridge::writeFromAudio(int index, double normalized) const noexcept {
    if (index < 0 || index >= int(m_entries.size())) return false;
    return m_entries[size_t(index)]->writeFromAudio(normalized);
}

int CAudioExtParamHostBridge::indexOf(const CAudioParam* param, uint32_t group, uint32_t element) const {
    for (size_t i = 0; i < m_entries.size(); ++i) {
        CAudioExtParam* e = m_entries[i];
        if (e->param() == param && e->group() == group && e->element() == element) return int(i);
    }
    return -1;
}

std::vector<int> CAudioExtParamHostBridge::indicesOf(const CAudioParam* param) const {
    std::vector<int> out;
    for (size_t i = 0; i < m_entries.size(); ++i)
        if (m_entries[i]->param() == param) out.push_back(int(i));
    return out;
}

// --- The list -----------------------------------------------------------------------------------

CAudioExtParamList::~CAudioExtParamList() = default;
