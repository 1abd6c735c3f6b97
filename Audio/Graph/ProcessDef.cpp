#include "Audio/Graph/ProcessDef.h"

#include <cmath>

#include "Audio/Graph/Process.h"

// --- Ranges --------------------------------------------------------------------

int64_t CAudioRange::quantise(double v, double step) {
    double q = v / step;
    return int64_t(q < 0 ? -std::floor(-q + 0.5) : std::floor(q + 0.5));
}

bool CAudioRange::parse(const CString& text) {
    CString t = text.trimmed();
    if (t.length() < 5) return false;
    char16_t open = t.at(0), close = t.at(t.length() - 1);
    if ((open != u'[' && open != u'(') || (close != u']' && close != u')')) return false;
    auto fields = splitString(t.substr(1, t.length() - 2), u';');
    if (fields.size() < 2 || fields.size() > 3) return false;
    auto bound = [](const CString& f, bool* inf, double* v) {
        CString s = f.trimmed();
        if (s == "*") {
            *inf = true;
            return true;
        }
        *inf = false;
        return s.toDouble(v);
    };
    if (!bound(fields[0], &m_loInf, &m_lo) || !bound(fields[1], &m_hiInf, &m_hi)) return false;
    m_step = 0.01;
    if (fields.size() == 3) {
        if (!fields[2].trimmed().toDouble(&m_step) || !(m_step > 0)) return false;
    }
    m_loIncl = open == u'[';
    m_hiIncl = close == u']';
    return true;
}

bool CAudioRange::contains(double v) const {
    const int64_t x = quantise(v, m_step);
    if (!m_loInf) {
        const int64_t lo = quantise(m_lo, m_step);
        if (m_loIncl ? x < lo : x <= lo) return false;
    }
    if (!m_hiInf) {
        const int64_t hi = quantise(m_hi, m_step);
        if (m_hiIncl ? x > hi : x >= hi) return false;
    }
    return true;
}

// --- Common definition attributes ------------------------------------------------

CError CAudioProcessDefBase::init() {
    m_isStacked = attrBool("is-stacked");
    m_isSmoothUpdate = attrBool("is-smooth-update");
    m_isMultiband = attrBool("is-multiband");
    m_isTerminalWhole = attrBool("is-terminal-whole");
    m_isChannelStack = attrBool("is-channel-stack");
    m_isPrototype = attrBool("is-prototype");
    m_isOutOfOrder = attrBool("is-outoforder");
    m_isCompInput = attrBool("is-comp-input");
    m_bypassStateId = int(attrInt("bypass-state-id", -1));
    m_xfadeLength = attrReal("xfade-length", 0.0);
    const CString combo = attr("input-combo-mode");
    m_inputComboMode = combo == "avg" ? 1 : combo == "max" ? 2 : 0;
    m_stackIndexShift = int(attrInt("stack-index-shift", 0));
    if (m_stackIndexShift < 0)
        return KEL_ERROR(kelstr_CAudioProcessDefBase_init_InvalidStackIndexShift, attr("stack-index-shift"));
    if (m_isMultiband) {
        if (attr("multiband-freq-param").empty()) return KEL_ERROR(kelstr_CAudioProcessMB_init_NoMBFreqParamDefined);
        if (attr("multiband-count-param").empty()) return KEL_ERROR(kelstr_CAudioProcessMB_init_NoMBCountParamDefined);
    }
    return CObject::init();
}

CError CAudioProcessDefBaseInit::initLinks() { return CAudioProcessDefBase::initLinks(); }

// --- Links ---------------------------------------------------------------------------

bool CAudioProcessLinkDef::parseEnd(const CString& text, CString* name, int* port) {
    size_t slash = text.find(u'/');
    if (slash == CString::npos) {
        *name = text.trimmed();
        *port = 0;
        return true;
    }
    *name = text.substr(0, slash).trimmed();
    int64_t p = -1;
    if (!text.substr(slash + 1).toInt(&p) || p < 0 || p > 1000) return false;
    *port = int(p);
    return true;
}

std::vector<int> CAudioProcessLinkDef::parseIdList(const CString& text) {
    std::vector<int> ids;
    for (const CString& piece : splitBlanks(text)) {
        int64_t v = -1;
        if (piece.toInt(&v) && v >= 0 && v < 1000000) ids.push_back(int(v));
    }
    return ids;
}

CError CAudioProcessLinkDef::init() {
    const CString src = attr("src"), dst = attr("dst");
    if (src.empty()) return KEL_ERROR(kelstr_CAudioProcessLinkDef_init_NoSrc);
    if (dst.empty()) return KEL_ERROR(kelstr_CAudioProcessLinkDef_init_NoDst);
    if (!parseEnd(src, &m_src, &m_srcPort)) return KEL_ERROR(kelstr_CAudioProcessLinkDef_init_SrcPortError, src);
    const CObject* container = parent();
    auto isChild = [&](const CString& n) {
        if (n == "*") return true;
        const CObject* c = container ? container->findChild(n) : nullptr;
        return c && dynamic_cast<const CAudioProcessDefBase*>(c);
    };
    if (!isChild(m_src)) return KEL_ERROR(kelstr_CAudioProcessLinkDef_init_SrcNameError, src);
    if (!parseEnd(dst, &m_dst, &m_dstPort)) return KEL_ERROR(kelstr_CAudioProcessLinkDef_init_DstPortError, dst);
    if (!isChild(m_dst)) return KEL_ERROR(kelstr_CAudioProcessLinkDef_init_DstNameError, dst);
    m_stateId = int(attrInt("state-id", -1));
    if (m_stateId < -1) return KEL_ERROR(kelstr_CAudioProcessLinkDef_init_StateError, attr("state-id"));
    m_bypassIds = parseIdList(attr("bypass-state-id"));
    return CObject::init();
}

// --- Bypass states ---------------------------------------------------------------------

CError CAudioProcessBypassStateDef::init() {
    m_id = int(attrInt("id", 0));
    m_param = attr("param").trimmed();
    if (m_param.empty()) return KEL_ERROR(kelstr_CAudioProcessBypassStateDef_init_InvalidParam);
    m_value = attrReal("value", 1.0);
    m_inverted = attrBool("is-inverted");
    const CString range = attr("range");
    m_hasRange = !range.empty();
    if (m_hasRange && !m_range.parse(range)) return KEL_ERROR(kelstr_CAudioProcessBypassStateDef_init_InvalidRange, range);
    m_andParam = attr("and-param").trimmed();
    m_andValue = attrReal("and-value", 1.0);
    const CString andRange = attr("and-range");
    m_hasAndRange = !andRange.empty();
    if (m_hasAndRange && !m_andRange.parse(andRange))
        return KEL_ERROR(kelstr_CAudioProcessBypassStateDef_init_InvalidAndRange, andRange);
    return CObject::init();
}

bool CAudioProcessBypassStateDef::evaluate(double p, double q) const {
    bool state;
    if (!hasAndParam()) {
        state = m_hasRange ? m_range.contains(p) : std::fabs(p - m_value) <= 0.1;
    } else if (m_hasRange && m_hasAndRange) {
        state = m_range.contains(p) && m_andRange.contains(q);
    } else {
        state = std::fabs(p - m_value) <= 0.1 && std::fabs(q - m_andValue) <= 0.1;
    }
    return m_inverted ? !state : state;
}

// --- Containers -------------------------------------------------------------------------

CError CAudioProcessDef::init() {
    KEL_TRY(CAudioProcessDefBase::init());
    m_autoLinks = attrBool("is-auto-links", true);
    m_processes.clear();
    m_links.clear();
    m_linkStates.clear();
    m_bypassStates.clear();
    for (const auto& c : children()) {
        if (auto* p = dynamic_cast<CAudioProcessDefBase*>(c.get()))
            m_processes.push_back(p);
        else if (auto* l = dynamic_cast<CAudioProcessLinkDef*>(c.get()))
            m_links.push_back(l);
        else if (auto* ls = dynamic_cast<CAudioProcessLinkStateDef*>(c.get()))
            m_linkStates.push_back(ls);
        else if (auto* b = dynamic_cast<CAudioProcessBypassStateDef*>(c.get()))
            m_bypassStates.push_back(b);
    }
    return {};
}

const CAudioProcessDefBase* CAudioProcessDef::findProcess(const CString& name) const {
    for (auto* p : m_processes)
        if (p->name() == name) return p;
    return nullptr;
}

std::unique_ptr<CAudioProcessBase> CAudioProcessDef::createProcess() const {
    return std::make_unique<CAudioProcess>();
}
