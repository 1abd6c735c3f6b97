#include "Audio/Converters/AudioParamConverterEnum.h"

#include <cmath>

namespace {
bool equalNoCase(const CString& a, const CString& b) {
    if (a.length() != b.length()) return false;
    for (size_t i = 0; i < a.length(); ++i) {
        char16_t x = a.at(i), y = b.at(i);
        if (x >= u'A' && x <= u'Z') x = char16_t(x + 32);
        if (y >= u'A' && y <= u'Z') y = char16_t(y + 32);
        if (x != y) return false;
    }
    return true;
}
}  // namespace

CError CAudioParamConverterEnum::configure() {
    KEL_TRY(CAudioParamConverter::configure());
    m_names = parseStateNameList(attr("state-names"));
    return {};
}

CString CAudioParamConverterEnum::indexToText(std::span<const CAudioStateName> names, double value, int kind,
                                              double min, double max) {
    const double index = std::round(clampRange(value, min, max));
    if (names.empty()) return formatFixed(index, 0);
    const bool shortForm = kind == kFormatShort;
    if (index >= 0.0 && index < double(names.size())) {
        const CAudioStateName& n = names[size_t(index)];
        return shortForm ? n.shortName : n.longName;
    }
    return shortForm ? CString("Rsv") : CString("Reserve");
}

bool CAudioParamConverterEnum::textToIndex(std::span<const CAudioStateName> names, const CString& text,
                                           double* value) {
    const CString t = text.trimmed();
    for (size_t i = 0; i < names.size(); ++i) {
        if (equalNoCase(t, names[i].longName.trimmed()) || equalNoCase(t, names[i].shortName.trimmed())) {
            *value = double(i);
            return true;
        }
    }
    double v = 0;
    if (!t.toDouble(&v) || !std::isfinite(v)) return false;
    *value = std::round(v);
    return true;
}

bool CAudioParamConverterEnum::textToValue(const CString& text, double* value) const {
    return textToIndex(m_names, text, value);
}

CString CAudioParamConverterEnum::valueToText(double value, int kind, double min, double max) const {
    return indexToText(m_names, value, kind, min, max);
}

double CAudioParamConverterEnum::denormalize(double pos, double min, double max) const {
    return std::round(linearDenormalize(pos, min, max));
}
