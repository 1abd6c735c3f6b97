#include "Audio/VST/AudioWrapperVST3Parameter.h"

#include <algorithm>
#include <cmath>

#include "Core/Log.h"

namespace sv = Steinberg::Vst;

void vst3CopyString(const CString& text, sv::TChar* dst, int size) {
    if (size <= 0) return;
    const std::u16string s = text.utf16();
    const int n = std::min(int(s.size()), size - 1);
    for (int i = 0; i < n; ++i) dst[i] = sv::TChar(s[size_t(i)]);
    dst[n] = 0;
}

CString vst3String(const sv::TChar* text) {
    if (!text) return {};
    std::u16string s;
    for (const sv::TChar* p = text; *p; ++p) s.push_back(char16_t(*p));
    return CString::fromUtf16(s);
}

// --- Host parameters ------------------------------------------------------------------

sv::ParameterInfo CAudioWrapperVST3Parameter::makeInfo(int index, const CHostParamInfo& info) {
    sv::ParameterInfo p{};
    p.id = sv::ParamID(index);
    vst3CopyString(info.name, p.title, 128);
    p.shortTitle[0] = 0;
    vst3CopyString(info.units, p.units, 128);
    p.stepCount = 0;
    p.defaultNormalizedValue = info.defaultNormalized;
    p.unitId = sv::kRootUnitId;
    p.flags = sv::ParameterInfo::kCanAutomate;
    if (info.name == "Bypass") {
        p.flags |= sv::ParameterInfo::kIsBypass;
        p.stepCount = 1;
    }
    return p;
}

CAudioWrapperVST3Parameter::CAudioWrapperVST3Parameter(CAudioWrapper& core, int index, const CHostParamInfo& info)
    : Parameter(makeInfo(index, info)), m_core(core), m_index(index) {
    Parameter::setNormalized(core.hostParamNormalized(index));
}

bool CAudioWrapperVST3Parameter::setNormalized(sv::ParamValue value) {
    value = std::clamp(value, 0.0, 1.0);
    if (value == getNormalized()) return false;
    m_core.setHostParamNormalized(m_index, value);
    return Parameter::setNormalized(value);
}

void CAudioWrapperVST3Parameter::toString(sv::ParamValue valueNormalized, sv::String128 string) const {
    vst3CopyString(m_core.hostParamText(m_index, valueNormalized), string, 128);
}

bool CAudioWrapperVST3Parameter::fromString(const sv::TChar* string, sv::ParamValue& valueNormalized) const {
    double v = getNormalized();
    m_core.hostParamFromText(m_index, vst3String(string), &v);
    valueNormalized = v;
    return true;
}

// --- Program parameter ---------------------------------------------------------------------

double CAudioWrapperVST3ProgramParameter::indexToNormalized(int count, double index) {
    return count > 1 ? index / double(count - 1) : 0.0;
}

double CAudioWrapperVST3ProgramParameter::normalizedToIndex(int count, double normalized) {
    return count > 1 ? normalized * double(count - 1) : 0.0;
}

int CAudioWrapperVST3ProgramParameter::programAt(int count, double normalized) {
    if (count <= 1) return 0;
    const double idx = std::round(normalizedToIndex(count, std::clamp(normalized, 0.0, 1.0)));
    return std::clamp(int(idx), 0, count - 1);
}

CAudioWrapperVST3ProgramParameter::CAudioWrapperVST3ProgramParameter(CAudioWrapper& core, List list)
    : m_core(core), m_list(list) {
    const bool routing = list == List::kRouting;
    const int n = count();
    info.id = routing ? kRoutingId : kId;
    vst3CopyString(routing ? "Routing" : "Program", info.title, 128);
    info.shortTitle[0] = 0;
    info.units[0] = 0;
    info.stepCount = n > 1 ? n - 1 : 0;
    info.defaultNormalizedValue = 0.0;
    info.unitId = routing ? kRoutingUnitId : sv::kRootUnitId;
    info.flags = kFlags;
    syncFromCore();
}

int CAudioWrapperVST3ProgramParameter::count() const {
    return m_list == List::kRouting ? m_core.routingPresetCount() + 1 : m_core.programCount();
}

CString CAudioWrapperVST3ProgramParameter::name(int index) const {
    if (m_list == List::kPrograms) return m_core.programName(index);
    return index == count() - 1 ? CString("Custom") : m_core.routingPresetName(index);
}

int CAudioWrapperVST3ProgramParameter::current() const {
    if (m_list == List::kPrograms) return m_core.currentProgram();
    const int preset = m_core.currentRoutingPreset();
    return preset >= 0 ? preset : count() - 1;
}

CError CAudioWrapperVST3ProgramParameter::select(int index) {
    if (m_list == List::kPrograms) return m_core.setProgram(index);
    return index < count() - 1 ? m_core.setRoutingPreset(index) : CError();
}

void CAudioWrapperVST3ProgramParameter::syncFromCore() { Parameter::setNormalized(indexToNormalized(count(), current())); }

bool CAudioWrapperVST3ProgramParameter::setNormalized(sv::ParamValue value) {
    const int n = count();
    const int index = programAt(n, value);
    if (index != current()) {
        m_applyingHostValue = true;
        CError err = select(index);
        m_applyingHostValue = false;
        if (err) {
            kelLogError(err);
            return false;
        }
    }
    return Parameter::setNormalized(indexToNormalized(n, index));
}

sv::ParamValue CAudioWrapperVST3ProgramParameter::toPlain(sv::ParamValue valueNormalized) const {
    return normalizedToIndex(count(), valueNormalized);
}

sv::ParamValue CAudioWrapperVST3ProgramParameter::toNormalized(sv::ParamValue plainValue) const {
    return indexToNormalized(count(), plainValue);
}

void CAudioWrapperVST3ProgramParameter::toString(sv::ParamValue valueNormalized, sv::String128 string) const {
    const int n = count();
    vst3CopyString(n > 0 ? name(programAt(n, valueNormalized)) : CString(), string, 128);
}

bool CAudioWrapperVST3ProgramParameter::fromString(const sv::TChar* string, sv::ParamValue& valueNormalized) const {
    const CString text = vst3String(string);
    const int n = count();
    for (int i = 0; i < n; ++i) {
        if (name(i) == text) {
            valueNormalized = indexToNormalized(n, i);
            return true;
        }
    }
    return false;
}
