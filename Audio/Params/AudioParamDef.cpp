#include "Audio/Params/AudioParamDef.h"

#include <algorithm>

#include "Audio/Params/AudioParam.h"
#include "Audio/Converters/AudioParamConverterEnum.h"

namespace {
CAudioParamInfo::StateNamesProvider& stateNamesProvider() {
    static CAudioParamInfo::StateNamesProvider provider;
    return provider;
}

const CString& emptyString() {
    static const CString s;
    return s;
}

// Bits of the serialised flag word.
constexpr uint32_t kFlagStorable = 1;
constexpr uint32_t kFlagPersistent = 2;
constexpr uint32_t kFlagGlobal = 4;
constexpr uint32_t kFlagSingleGroup = 8;
constexpr uint32_t kFlagSingleElement = 16;

constexpr uint32_t kInfoVersion = 1;
// Upper bounds accepted when loading, against corrupt counts.
constexpr uint32_t kMaxLoadComponents = 64;
constexpr uint32_t kMaxLoadDefaults = 1u << 16;
constexpr uint32_t kMaxLoadNames = 1u << 12;

CString num(uint64_t v) { return CString::number(int64_t(v)); }
}  // namespace

// --- Parsing ---------------------------------------------------------------------------

CError CAudioParamInfo::parseConverterNames(const CObject& context, std::span<const CString> names) {
    m_converterNames.clear();
    m_converters.clear();
    for (const CString& raw : names) {
        CString path = raw.trimmed();
        if (path.empty()) break;
        auto* cvt = dynamic_cast<CAudioParamConverter*>(context.findObject(path));
        if (!cvt) return KEL_ERROR(kelstr_CAudioParamInfo_parseConverterNames_ConverterNotFound, path);
        // The converter may come later in the document than this definition.
        KEL_TRY(cvt->prepare());
        m_converterNames.push_back(path);
        m_converters.push_back(cvt);
    }
    if (m_converters.size() < m_elementSize)
        return KEL_ERROR(kelstr_CAudioParamInfo_parseConverterNames_NotEnoughConverters, num(m_converters.size()),
                         num(m_elementSize));
    return {};
}

CError CAudioParamInfo::parseMinMaxValues(const CString& minText, const CString& maxText) {
    m_min.assign(m_elementSize, 0.0);
    m_max.assign(m_elementSize, 1.0);
    // Text and raw parameters need no range.
    if (!isNumeric() && minText.trimmed().empty() && maxText.trimmed().empty()) return {};
    auto fields = [](const CString& t) {
        std::vector<CString> out;
        if (!t.trimmed().empty()) out = splitString(t, u',');
        return out;
    };
    const std::vector<CString> mins = fields(minText), maxs = fields(maxText);
    if (mins.size() < m_elementSize)
        return KEL_ERROR(kelstr_CAudioParamInfo_parseMinMaxValues_NotEnoughMin, num(mins.size()), num(m_elementSize));
    if (maxs.size() < m_elementSize)
        return KEL_ERROR(kelstr_CAudioParamInfo_parseMinMaxValues_NotEnoughMax, num(maxs.size()), num(m_elementSize));
    for (uint32_t c = 0; c < m_elementSize; ++c) {
        CAudioParamConverter* cvt = converter(c);
        double lo = 0, hi = 0;
        bool okLo = cvt ? cvt->textToValue(mins[c], &lo) : mins[c].trimmed().toDouble(&lo);
        bool okHi = cvt ? cvt->textToValue(maxs[c], &hi) : maxs[c].trimmed().toDouble(&hi);
        if (!okLo) return KEL_ERROR(kelstr_CAudioParamInfo_parseMinMaxValues_InvalidMin, mins[c]);
        if (!okHi) return KEL_ERROR(kelstr_CAudioParamInfo_parseMinMaxValues_InvalidMax, maxs[c]);
        if (lo == hi) return KEL_ERROR(kelstr_CAudioParamInfo_parseMinMaxValues_Zero, num(c));
        m_min[c] = lo;
        m_max[c] = hi;
    }
    return {};
}

CError CAudioParamInfo::parseStateNames(const CString& text) {
    m_stateNames.clear();
    m_stateNamesRef = CString();
    CString t = text.trimmed();
    if (!t.empty() && t.at(0) == u'@') {
        // Filled from the enumerated preset list once it exists.
        m_stateNamesRef = t.substr(1).trimmed();
        return {};
    }
    m_stateNames = parseStateNameList(text);
    return {};
}

void CAudioParamInfo::setStateNamesProvider(StateNamesProvider provider) {
    stateNamesProvider() = std::move(provider);
}

CError CAudioParamInfo::resolveStateNames(const CObject* context) {
    if (m_stateNamesRef.empty() || !stateNamesProvider()) return {};
    CAudioStateNames names;
    if (!stateNamesProvider()(m_stateNamesRef, context, &names))
        return KEL_ERROR(kelstr_CAudioParamInfo_parseStateNames_NoData, m_stateNamesRef);
    m_stateNames = std::move(names);
    return {};
}

// --- Defaults and conversions ----------------------------------------------------------

const CString& CAudioParamInfo::defaultText(uint32_t e) const {
    if (m_defTexts.empty()) return emptyString();
    if (e >= m_defTexts.size()) e = 0;
    return m_defTexts[e];
}

CString CAudioParamInfo::valueToText(uint32_t c, double value, int kind) const {
    if (!m_stateNames.empty())
        return CAudioParamConverterEnum::indexToText(m_stateNames, value, kind, minValue(c), maxValue(c));
    if (CAudioParamConverter* cvt = converter(c)) return cvt->valueToText(value, kind, minValue(c), maxValue(c));
    return CString::number(value);
}

bool CAudioParamInfo::textToValue(uint32_t c, const CString& text, double* value) const {
    double v = 0;
    bool ok = false;
    if (!m_stateNames.empty()) {
        ok = CAudioParamConverterEnum::textToIndex(m_stateNames, text, &v);
    } else if (CAudioParamConverter* cvt = converter(c)) {
        v = cvt->textToValueChecked(text, minValue(c), maxValue(c), &ok);
    } else {
        ok = text.trimmed().toDouble(&v);
    }
    if (!ok) return false;
    const double lo = std::min(minValue(c), maxValue(c)), hi = std::max(minValue(c), maxValue(c));
    *value = v < lo ? lo : (v > hi ? hi : v);
    return true;
}

double CAudioParamInfo::normalize(uint32_t c, double value) const {
    if (CAudioParamConverter* cvt = converter(c)) return cvt->normalize(value, minValue(c), maxValue(c));
    const double span = maxValue(c) - minValue(c);
    return span == 0.0 ? 0.0 : std::clamp((value - minValue(c)) / span, 0.0, 1.0);
}

double CAudioParamInfo::denormalize(uint32_t c, double pos) const {
    if (CAudioParamConverter* cvt = converter(c)) return cvt->denormalize(pos, minValue(c), maxValue(c));
    return minValue(c) + (maxValue(c) - minValue(c)) * std::clamp(pos, 0.0, 1.0);
}

// --- Serialisation -------------------------------------------------------------------------

CError CAudioParamInfo::save(COutputStream& out) const {
    uint32_t flags = (m_storable ? kFlagStorable : 0) | (m_persistent ? kFlagPersistent : 0) |
                     (m_global ? kFlagGlobal : 0) | (m_singleGroup ? kFlagSingleGroup : 0) |
                     (m_singleElement ? kFlagSingleElement : 0);
    KEL_TRY(out.writeU32(kInfoVersion));
    KEL_TRY(out.writeU32(m_elementSize));
    KEL_TRY(out.writeU32(uint32_t(m_dataType)));
    KEL_TRY(out.writeU32(flags));
    KEL_TRY(out.writeString(m_visualName));
    KEL_TRY(out.writeString(m_paramRegistry));
    KEL_TRY(out.writeString(m_stateNamesRef));
    KEL_TRY(out.writeU32(m_elementSize));
    for (uint32_t c = 0; c < m_elementSize; ++c) {
        KEL_TRY(out.writeString(c < m_converterNames.size() ? m_converterNames[c] : CString()));
        KEL_TRY(out.writeF64(minValue(c)));
        KEL_TRY(out.writeF64(maxValue(c)));
    }
    KEL_TRY(out.writeU32(m_defElements));
    if (isNumeric()) {
        for (double v : m_defValues) KEL_TRY(out.writeF64(v));
    } else {
        for (const CString& s : m_defTexts) KEL_TRY(out.writeString(s));
    }
    KEL_TRY(out.writeU32(uint32_t(m_stateNames.size())));
    for (const CAudioStateName& n : m_stateNames) {
        KEL_TRY(out.writeString(n.longName));
        KEL_TRY(out.writeString(n.shortName));
    }
    return {};
}

CError CAudioParamInfo::load(CInputStream& in, const CObject* context) {
    uint32_t version = 0, esize = 0, dtype = 0, flags = 0, comps = 0;
    KEL_TRY(in.readU32(&version));
    if (version != kInfoVersion) return KEL_ERROR(kelstr_CAudioParamInfo_load_VersionError, num(version));
    KEL_TRY(in.readU32(&esize));
    KEL_TRY(in.readU32(&dtype));
    KEL_TRY(in.readU32(&flags));
    CAudioParamInfo info;
    if (esize < 1 || esize > kMaxLoadComponents) return KEL_ERROR(kelstr_CAudioParamInfo_load_CountError, num(esize));
    if (dtype > uint32_t(EAudioParamDataType::Raw)) return KEL_ERROR(kelstr_CAudioParamInfo_load_DataTypeError, num(dtype));
    info.m_elementSize = esize;
    info.m_dataType = EAudioParamDataType(dtype);
    info.m_storable = flags & kFlagStorable;
    info.m_persistent = flags & kFlagPersistent;
    info.m_global = flags & kFlagGlobal;
    info.m_singleGroup = flags & kFlagSingleGroup;
    info.m_singleElement = flags & kFlagSingleElement;
    KEL_TRY(in.readString(&info.m_visualName));
    KEL_TRY(in.readString(&info.m_paramRegistry));
    KEL_TRY(in.readString(&info.m_stateNamesRef));
    KEL_TRY(in.readU32(&comps));
    if (comps != esize) return KEL_ERROR(kelstr_CAudioParamInfo_load_CountError, num(comps));
    info.m_min.resize(esize);
    info.m_max.resize(esize);
    for (uint32_t c = 0; c < esize; ++c) {
        CString name;
        KEL_TRY(in.readString(&name));
        KEL_TRY(in.readF64(&info.m_min[c]));
        KEL_TRY(in.readF64(&info.m_max[c]));
        info.m_converterNames.push_back(name);
        CAudioParamConverter* cvt = nullptr;
        if (context && !name.empty()) {
            cvt = dynamic_cast<CAudioParamConverter*>(context->findObject(name));
            if (!cvt) return KEL_ERROR(kelstr_CAudioParamInfo_parseConverterNames_ConverterNotFound, name);
            KEL_TRY(cvt->prepare());
        }
        info.m_converters.push_back(cvt);
    }
    KEL_TRY(in.readU32(&info.m_defElements));
    if (info.m_defElements > kMaxLoadDefaults)
        return KEL_ERROR(kelstr_CAudioParamInfo_load_CountError, num(info.m_defElements));
    if (info.isNumeric()) {
        info.m_defValues.resize(size_t(info.m_defElements) * esize);
        for (double& v : info.m_defValues) KEL_TRY(in.readF64(&v));
    } else {
        info.m_defTexts.resize(info.m_defElements);
        for (CString& s : info.m_defTexts) KEL_TRY(in.readString(&s));
    }
    uint32_t names = 0;
    KEL_TRY(in.readU32(&names));
    if (names > kMaxLoadNames) return KEL_ERROR(kelstr_CAudioParamInfo_load_CountError, num(names));
    for (uint32_t i = 0; i < names; ++i) {
        CAudioStateName n;
        KEL_TRY(in.readString(&n.longName));
        KEL_TRY(in.readString(&n.shortName));
        info.m_stateNames.push_back(std::move(n));
    }
    *this = std::move(info);
    return {};
}

// --- The definition ------------------------------------------------------------------------

CError CAudioParamDef::init() {
    KEL_TRY(CObject::init());
    m_parsed = false;
    CAudioParamInfo info;

    const CString dataType = attr("data-type").trimmed();
    if (dataType == "str" || dataType == "string")
        info.m_dataType = EAudioParamDataType::Text;
    else if (dataType == "raw")
        info.m_dataType = EAudioParamDataType::Raw;

    const CString sizeText = attr("element-size").trimmed();
    int64_t esize = 1;
    if (!sizeText.empty() && (!sizeText.toInt(&esize) || esize < 1))
        return KEL_ERROR(kelstr_CAudioParamDef_init_InvalidElementSize, attr("element-size"));
    if (esize > int64_t(kMaxParamConverters))
        return KEL_ERROR(kelstr_CAudioParamInfo_parseConverterNames_NotEnoughConverters,
                         num(kMaxParamConverters), num(uint64_t(esize)));
    if (!info.isNumeric() && esize != 1)
        return KEL_ERROR(kelstr_CAudioParamDef_init_ElementSizeStr, attr("element-size"));
    info.m_elementSize = uint32_t(esize);

    const CString defValues = attr("def-values");
    if (defValues.empty()) return KEL_ERROR(kelstr_CAudioParamDef_init_NoDefValues);

    const CString converters[kMaxParamConverters] = {attr("converter"), attr("converter2"), attr("converter3"),
                                                     attr("converter4")};
    KEL_TRY(info.parseConverterNames(*this, converters));
    KEL_TRY(info.parseMinMaxValues(attr("min-values"), attr("max-values")));
    KEL_TRY(info.parseStateNames(attr("state-names")));

    info.m_visualName = attr("visual-name");
    info.m_paramRegistry = attr("param-registry").trimmed();
    info.m_storable = attrBool("is-storable", false);
    info.m_persistent = attrBool("is-persistent", false);
    info.m_global = attrBool("is-global", false);
    info.m_singleGroup = attrBool("is-single-group", false);
    info.m_singleElement = attrBool("is-single-element", false);

    KEL_TRY(CAudioParamStorage::parseDefValues(defValues, &info));
    m_info = std::move(info);
    m_parsed = true;
    return {};
}
