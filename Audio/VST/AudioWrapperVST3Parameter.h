#pragma once
// The host's view of the core's parameters: one CAudioWrapperVST3Parameter
// per host parameter of the core (id = its index) and the program-change
// parameters CAudioWrapperVST3ProgramParameter over the core's program list
// (id 999) and its routing presets (id 998). Texts and parsing are the core's; a host edit is passed to
// the core before the SDK announces it further.

#include "Audio/Plugin/AudioWrapper.h"
#include "public.sdk/source/vst/vstparameters.h"

class CAudioWrapperVST3Parameter : public Steinberg::Vst::Parameter {
public:
    CAudioWrapperVST3Parameter(CAudioWrapper& core, int index, const CHostParamInfo& info);

    // The SDK record for a host parameter: id = index, title = its name,
    // units, default, can-automate; the one titled exactly "Bypass" is the
    // host's bypass switch (is-bypass, one step).
    static Steinberg::Vst::ParameterInfo makeInfo(int index, const CHostParamInfo& info);

    // A host edit: the core hears of it first.
    bool setNormalized(Steinberg::Vst::ParamValue value) override;
    // A value that comes from the core: only the record changes.
    void setNormalizedFromCore(Steinberg::Vst::ParamValue value) { Parameter::setNormalized(value); }

    void toString(Steinberg::Vst::ParamValue valueNormalized, Steinberg::Vst::String128 string) const override;
    bool fromString(const Steinberg::Vst::TChar* string, Steinberg::Vst::ParamValue& valueNormalized) const override;

    OBJ_METHODS(CAudioWrapperVST3Parameter, Parameter)

private:
    CAudioWrapper& m_core;
    int m_index;
};

// A program-change parameter over one of the core's lists: the programs
// (id 999, "Program", root unit) or the routing presets (id 998, "Routing",
// unit 1), whose last entry "Custom" stands for a routing that no preset
// gives (choosing it keeps the routing as it is).
class CAudioWrapperVST3ProgramParameter : public Steinberg::Vst::Parameter {
public:
    enum class List { kPrograms, kRouting };
    static constexpr Steinberg::Vst::ParamID kId = 999;
    static constexpr Steinberg::Vst::ParamID kRoutingId = 998;
    static constexpr Steinberg::Vst::UnitID kRoutingUnitId = 1;
    static constexpr Steinberg::int32 kFlags =
        Steinberg::Vst::ParameterInfo::kIsList | Steinberg::Vst::ParameterInfo::kIsProgramChange;

    CAudioWrapperVST3ProgramParameter(CAudioWrapper& core, List list = List::kPrograms);

    // Mappings between a normalized value and a program index for a list of
    // count programs (a list of one maps everything to program 0).
    static double indexToNormalized(int count, double index);
    static double normalizedToIndex(int count, double normalized);
    static int programAt(int count, double normalized);

    // The entries of the list.
    int count() const;
    CString name(int index) const;
    int current() const;

    // A host selection changes the core's program (or routing).
    bool setNormalized(Steinberg::Vst::ParamValue value) override;
    // The core's current program: only the record changes.
    void syncFromCore();
    // True while a host selection is being passed to the core.
    bool isApplyingHostValue() const { return m_applyingHostValue; }

    Steinberg::Vst::ParamValue toPlain(Steinberg::Vst::ParamValue valueNormalized) const override;
    Steinberg::Vst::ParamValue toNormalized(Steinberg::Vst::ParamValue plainValue) const override;
    void toString(Steinberg::Vst::ParamValue valueNormalized, Steinberg::Vst::String128 string) const override;
    bool fromString(const Steinberg::Vst::TChar* string, Steinberg::Vst::ParamValue& valueNormalized) const override;

    OBJ_METHODS(CAudioWrapperVST3ProgramParameter, Parameter)

private:
    CError select(int index);

    CAudioWrapper& m_core;
    List m_list;
    bool m_applyingHostValue = false;
};

// UTF-16 helpers for the SDK's fixed strings.
void vst3CopyString(const CString& text, Steinberg::Vst::TChar* dst, int size);
CString vst3String(const Steinberg::Vst::TChar* text);
