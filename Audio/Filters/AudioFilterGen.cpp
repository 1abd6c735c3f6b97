#include "Audio/Filters/AudioFilterGen.h"

#include <algorithm>
#include <cmath>

// --- Base -------------------------------------------------------------------------

CError CAudioFilterGen::readType(int count, int* type) const {
    const CString text = attr("type").trimmed();
    if (text.empty()) {
        *type = 0;
        return {};
    }
    int64_t v = -1;
    if (!text.toInt(&v) || v < 0 || v >= count) return KEL_ERROR(kelstr_CAudioFilterGen_init_InvalidType, attr("type"));
    *type = int(v);
    return {};
}

void CAudioFilterGen::addNames(std::vector<std::string_view>& names, std::initializer_list<std::string_view> add) {
    for (std::string_view n : add)
        if (std::find(names.begin(), names.end(), n) == names.end()) names.push_back(n);
}

CFilterParams kelFilterParams(const CAudioFilterParamList& params) {
    return {params.value("freq", kDefaultFilterParams[0]), params.value("gain", kDefaultFilterParams[1]),
            params.value("bw", kDefaultFilterParams[2])};
}

namespace {

// Resolves a "fltgen" reference of an item.
CError resolveGen(const CObject& item, const CAudioFilterGen** out) {
    const CString path = item.attr("fltgen").trimmed();
    *out = path.empty() ? nullptr : dynamic_cast<const CAudioFilterGen*>(item.findObject(path));
    if (!*out) return KEL_ERROR(kelstr_CAudioFilterGen_initLinks_NoGen, item.attr("fltgen"));
    return {};
}

}  // namespace

// --- Cookbook biquad ------------------------------------------------------------------

CError CAudioFilterRBJGen::init() {
    KEL_TRY(CAudioFilterGen::init());
    KEL_TRY(readType(kRBJTypeCount, &m_setup.type));
    m_setup.isQ = attrBool("is-q");
    m_type2 = attrBool("is-type2");
    m_inverted = attrBool("is-inverted");
    m_gainQ = attrBool("is-gain-q");
    return {};
}

void CAudioFilterRBJGen::generateNested(CAudioFilterList& list, double rate, const CAudioFilterParamList& params,
                                        int depth) const {
    if (depth > kMaxDepth) return;
    list.addSection(designRBJ(m_setup.type, m_setup.isQ, kelFilterParams(params), rate));
}

void CAudioFilterRBJGen::collectParamNamesNested(std::vector<std::string_view>& names, int) const {
    addNames(names, {"freq", "gain", "bw"});
}

// --- First order ------------------------------------------------------------------------

CError CAudioFilterLPHP1Gen::init() {
    KEL_TRY(CAudioFilterGen::init());
    return readType(2, &m_type);
}

void CAudioFilterLPHP1Gen::generateNested(CAudioFilterList& list, double rate, const CAudioFilterParamList& params,
                                          int depth) const {
    if (depth > kMaxDepth) return;
    list.addSection(designLPHP1(m_type, params.value("freq", kDefaultFilterParams[0]), rate));
}

void CAudioFilterLPHP1Gen::collectParamNamesNested(std::vector<std::string_view>& names, int) const {
    addNames(names, {"freq"});
}

// --- Serial -------------------------------------------------------------------------------

CError CAudioFilterSerialGenItem::init() {
    KEL_TRY(CObject::init());
    const CString adjust = attr("adjust");
    KEL_TRY(parseAdjustList(adjust.utf8(), &m_adjust));
    const CString pow = attr("adjust-pow").trimmed();
    m_hasPow = !pow.empty();
    if (m_hasPow && !pow.toDouble(&m_pow))
        return KEL_ERROR(kelstr_CAudioFilterSerialGenItem_init_InvalidAdjustPow, attr("adjust-pow"));
    return {};
}

CError CAudioFilterSerialGenItem::initLinks() {
    KEL_TRY(CObject::initLinks());
    return resolveGen(*this, &m_gen);
}

void CAudioFilterSerialGenItem::adjust(const CAudioFilterParamList& in, CAudioFilterParamList& out) const {
    out = in;
    static constexpr std::string_view kAdjusted[3] = {"freq", "gain", "bw"};
    for (size_t k = 0; k < 3; ++k) {
        CAudioFilterParamList::Entry* e = out.find(kAdjusted[k]);
        if (!e) continue;
        const double a = k < m_adjust.size() ? m_adjust[k] : 1.0;
        auto f = [&](double v) { return (m_hasPow ? std::pow(v, m_pow) : v) * a; };
        out.set(kAdjusted[k], f(e->value), f(e->lo), f(e->hi));
    }
}

CError CAudioFilterSerialGen::initLinks() {
    KEL_TRY(CAudioFilterGen::initLinks());
    m_items.clear();
    for (const auto& c : children())
        if (auto* item = dynamic_cast<const CAudioFilterSerialGenItem*>(c.get())) m_items.push_back(item);
    return {};
}

void CAudioFilterSerialGen::generateNested(CAudioFilterList& list, double rate, const CAudioFilterParamList& params,
                                           int depth) const {
    if (depth > kMaxDepth) return;
    CAudioFilterParamList adjusted;
    for (const CAudioFilterSerialGenItem* item : m_items) {
        if (!item->generator()) continue;
        item->adjust(params, adjusted);
        item->generator()->generateNested(list, rate, adjusted, depth + 1);
    }
}

size_t CAudioFilterSerialGen::maxSectionsNested(int depth) const {
    size_t n = 0;
    if (depth > kMaxDepth) return n;
    for (const CAudioFilterSerialGenItem* item : m_items)
        if (item->generator()) n += item->generator()->maxSectionsNested(depth + 1);
    return n;
}

size_t CAudioFilterSerialGen::maxKernelsNested(int depth) const {
    size_t n = 0;
    if (depth > kMaxDepth) return n;
    for (const CAudioFilterSerialGenItem* item : m_items)
        if (item->generator()) n += item->generator()->maxKernelsNested(depth + 1);
    return n;
}

size_t CAudioFilterSerialGen::maxTapsNested(double rate, const CAudioFilterParamList& ranges, int depth) const {
    size_t n = 0;
    if (depth > kMaxDepth) return n;
    CAudioFilterParamList adjusted;
    for (const CAudioFilterSerialGenItem* item : m_items) {
        if (!item->generator()) continue;
        item->adjust(ranges, adjusted);
        n += item->generator()->maxTapsNested(rate, adjusted, depth + 1);
    }
    return n;
}

void CAudioFilterSerialGen::collectParamNamesNested(std::vector<std::string_view>& names, int depth) const {
    if (depth > kMaxDepth) return;
    for (const CAudioFilterSerialGenItem* item : m_items)
        if (item->generator()) item->generator()->collectParamNamesNested(names, depth + 1);
}

// --- Array --------------------------------------------------------------------------------

CError CAudioFilterGenArrayItem::init() {
    KEL_TRY(CObject::init());
    if (!dynamic_cast<const CAudioFilterGenArray*>(parent()))
        return KEL_ERROR(kelstr_CAudioFilterGenArrayItem_init_NoParent);
    const CString text = attr("index").trimmed();
    int64_t v = 0;
    if (!text.empty() && (!text.toInt(&v) || v < 0 || v > 0xFFFF))
        return KEL_ERROR(kelstr_CAudioFilterGenArrayItem_init_InvalidIndex, attr("index"));
    m_index = int(v);
    return {};
}

CError CAudioFilterGenArrayItem::initLinks() {
    KEL_TRY(CObject::initLinks());
    return resolveGen(*this, &m_gen);
}

CError CAudioFilterGenArray::initLinks() {
    KEL_TRY(CAudioFilterGen::initLinks());
    m_items.clear();
    for (const auto& c : children())
        if (auto* item = dynamic_cast<const CAudioFilterGenArrayItem*>(c.get())) m_items.push_back(item);
    return {};
}

const CAudioFilterGen* CAudioFilterGenArray::item(int index) const {
    for (const CAudioFilterGenArrayItem* it : m_items)
        if (it->index() == index) return it->generator();
    return nullptr;
}

void CAudioFilterGenArray::generateNested(CAudioFilterList& list, double rate, const CAudioFilterParamList& params,
                                          int depth) const {
    if (depth > kMaxDepth) return;
    const double v = params.value("index", 0.0);
    if (const CAudioFilterGen* g = item(int(std::lround(v)))) g->generateNested(list, rate, params, depth + 1);
}

size_t CAudioFilterGenArray::maxSectionsNested(int depth) const {
    size_t n = 0;
    if (depth > kMaxDepth) return n;
    for (const CAudioFilterGenArrayItem* it : m_items)
        if (it->generator()) n = std::max(n, it->generator()->maxSectionsNested(depth + 1));
    return n;
}

size_t CAudioFilterGenArray::maxKernelsNested(int depth) const {
    size_t n = 0;
    if (depth > kMaxDepth) return n;
    for (const CAudioFilterGenArrayItem* it : m_items)
        if (it->generator()) n = std::max(n, it->generator()->maxKernelsNested(depth + 1));
    return n;
}

size_t CAudioFilterGenArray::maxTapsNested(double rate, const CAudioFilterParamList& ranges, int depth) const {
    size_t n = 0;
    if (depth > kMaxDepth) return n;
    for (const CAudioFilterGenArrayItem* it : m_items)
        if (it->generator()) n = std::max(n, it->generator()->maxTapsNested(rate, ranges, depth + 1));
    return n;
}

void CAudioFilterGenArray::collectParamNamesNested(std::vector<std::string_view>& names, int depth) const {
    if (depth > kMaxDepth) return;
    for (const CAudioFilterGenArrayItem* it : m_items)
        if (it->generator()) it->generator()->collectParamNamesNested(names, depth + 1);
}
