#include "Audio/Params/AudioParamFilter.h"

#include <algorithm>
#include <cmath>

#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Params/AudioParamRemap.h"

namespace {
std::vector<CString> parseNames(const CString& text) {
    std::vector<CString> out;
    for (const CString& piece : splitString(text, u',')) {
        CString n = piece.trimmed();
        if (!n.empty()) out.push_back(n);
    }
    return out;
}

CString num(size_t v) { return CString::number(int64_t(v)); }

// Writes v into (0, 0, 0) of a destination.
void writeScalar(CAudioParam* dst, double v) {
    if (dst) dst->storage().setValue(0, 0, 0, v);
}
}  // namespace

CError CAudioParamFilter::init() {
    KEL_TRY(CObject::init());
    m_srcNames = parseNames(attr("src"));
    m_dstNames = parseNames(attr("dst"));
    if (m_srcNames.empty()) return KEL_ERROR(kelstr_CAudioParamFilterDef_init_NoSrcParams);
    if (m_dstNames.empty()) return KEL_ERROR(kelstr_CAudioParamFilterDef_init_NoDstParams);
    if (m_srcNames.size() > kMaxParams)
        return KEL_ERROR(kelstr_CAudioParamFilter_init_TooManySrcParams, num(m_srcNames.size()));
    if (m_srcNames.size() < requiredSrcCount())
        return KEL_ERROR(kelstr_CAudioParamFilter_init_NotEnoughSrcParams, num(m_srcNames.size()),
                         num(requiredSrcCount()));
    if (m_dstNames.size() > kMaxParams)
        return KEL_ERROR(kelstr_CAudioParamFilter_init_TooManyDstParams, num(m_dstNames.size()));
    if (m_dstNames.size() < requiredDstCount())
        return KEL_ERROR(kelstr_CAudioParamFilter_init_NotEnoughDstParams, num(m_dstNames.size()),
                         num(requiredDstCount()));
    return {};
}

CError CAudioParamFilter::bindParams(CAudioParamCollector& collector, const CString& scopeFullName) {
    std::vector<CAudioParam*> src, dst;
    for (const CString& n : m_srcNames) {
        CString full = CAudioParamRemapDef::resolveName(scopeFullName, n);
        CAudioParam* p = collector.findParam(full);
        if (!p) return KEL_ERROR(kelstr_CAudioParamFilter_bindParams_NotFound, full);
        src.push_back(p);
    }
    for (const CString& n : m_dstNames) {
        CString full = CAudioParamRemapDef::resolveName(scopeFullName, n);
        CAudioParam* p = collector.findParam(full);
        if (!p) return KEL_ERROR(kelstr_CAudioParamFilter_bindParams_NotFound, full);
        dst.push_back(p);
    }
    m_src = std::move(src);
    m_dst = std::move(dst);
    m_collector = &collector;
    return {};
}

bool CAudioParamFilter::update() {
    if (m_dst.empty()) return false;
    std::vector<uint32_t> before;
    for (CAudioParam* p : m_dst) before.push_back(p->changeCount());
    std::vector<const CAudioParam*> src(m_src.begin(), m_src.end());
    apply(src, m_dst);
    bool changed = false;
    for (size_t i = 0; i < m_dst.size(); ++i) {
        if (m_dst[i]->changeCount() == before[i]) continue;
        changed = true;
        if (m_collector) m_collector->notifyChanged(*m_dst[i]);
    }
    return changed;
}

// --- Group solo ---------------------------------------------------------------------------

double CAudioParamFilterBypassGroupSolo::bypassValue(const CAudioParamStorage& solo) {
    const uint32_t groups = std::max<uint32_t>(solo.groupCount(), 1);
    for (uint32_t g = 0; g < groups; ++g) {
        const uint32_t elems = std::max<uint32_t>(solo.elementCount(g), 1);
        for (uint32_t e = 0; e < elems; ++e)
            if (solo.value(g, e) >= 0.5) return 0.0;
    }
    return 1.0;
}

void CAudioParamFilterBypassGroupSolo::apply(std::span<const CAudioParam* const> src,
                                              std::span<CAudioParam* const> dst) const {
    if (dst.empty()) return;
    const double v = (!src.empty() && src[0]) ? bypassValue(src[0]->storage()) : 1.0;
    writeScalar(dst[0], v);
}

// --- Oversampling -------------------------------------------------------------------------

double CAudioParamFilterBypassOS::bypassValue(double oversampling, double hostMode) {
    const double choice = std::round(oversampling);
    const double index = choice != 0.0 ? choice - 1.0 : std::round(hostMode);
    return index == 0.0 ? 1.0 : 0.0;
}

void CAudioParamFilterBypassOS::apply(std::span<const CAudioParam* const> src,
                                       std::span<CAudioParam* const> dst) const {
    if (dst.empty()) return;
    const double os = (src.size() > 0 && src[0]) ? src[0]->value(0, 0) : 1.0;
    const double host = (src.size() > 1 && src[1]) ? src[1]->value(0, 0) : 0.0;
    writeScalar(dst[0], bypassValue(os, host));
}
