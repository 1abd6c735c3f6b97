#pragma once
// CAudioParamDef (tag audio:param): the declaration of a parameter in the
// definition tree, and CAudioParamInfo, its parsed form shared with the
// runtime parameter.
//
// A parameter is a matrix: groups x elements x components (element-size)
// of 64-bit values. Numeric parameters hold numbers; text and raw parameters
// hold item numbers of their data list (see CAudioParamStorage).
//
// Lookup rule for (group g, element e): the stored value when g is below the
// stored group count and e below that group's element count; else the
// default of e when e is below the number of defaults; else the first
// default. is-single-group forces g = 0, is-single-element forces e = 0.

#include <functional>
#include <span>
#include <vector>

#include "Audio/Converters/AudioParamConverter.h"
#include "Core/Object.h"
#include "Core/Stream.h"

KELSTR(CAudioParamDef_init_InvalidElementSize, "Invalid element size %1 specified.");
KELSTR(CAudioParamDef_init_ElementSizeStr, "Invalid element size %1 for non-float data specified.");
KELSTR(CAudioParamDef_init_NoDefValues, "No default values specified.");
KELSTR(CAudioParamInfo_parseConverterNames_ConverterNotFound, "Audio parameter converter '%1' not found.");
KELSTR(CAudioParamInfo_parseConverterNames_NotEnoughConverters, "Not enough converters defined %1 (should be %2).");
KELSTR(CAudioParamInfo_parseMinMaxValues_NotEnoughMin, "Not enough minimum values defined %1 (should be %2).");
KELSTR(CAudioParamInfo_parseMinMaxValues_NotEnoughMax, "Not enough maximum values defined %1 (should be %2).");
KELSTR(CAudioParamInfo_parseMinMaxValues_InvalidMin, "Invalid minimum value '%1' defined.");
KELSTR(CAudioParamInfo_parseMinMaxValues_InvalidMax, "Invalid maximum value '%1' defined.");
KELSTR(CAudioParamInfo_parseMinMaxValues_Zero, "Zero default min-max values difference detected in element %1.");
KELSTR(CAudioParamInfo_parseStateNames_NoData, "No state names data available in '%1'.");
KELSTR(CAudioParamInfo_load_VersionError, "Unsupported data set version %1.");
KELSTR(CAudioParamInfo_load_DataTypeError, "Unsupported parameter data type %1.");
KELSTR(CAudioParamInfo_load_CountError, "Invalid count %1 in parameter information.");

class CAudioParamStorage;

// Kinds of parameter data.
enum class EAudioParamDataType : uint32_t { Numeric = 0, Text = 1, Raw = 2 };

// Number of converter attributes ("converter", "converter2".."converter4").
inline constexpr size_t kMaxParamConverters = 4;

class CAudioParamInfo {
public:
    // Finds the names of an enumerated preset list by its store name (the
    // text after "@" in state-names). Returns false when no such list exists.
    using StateNamesProvider =
        std::function<bool(const CString& storeName, const CObject* context, CAudioStateNames* out)>;

    CAudioParamInfo() = default;

    // --- Parsing (the steps of CAudioParamDef::init) -------------------------
    // Resolves converter paths (one per component) from context.
    CError parseConverterNames(const CObject& context, std::span<const CString> names);
    // Comma-separated per-component minima and maxima in converter text form.
    CError parseMinMaxValues(const CString& minText, const CString& maxText);
    // ";"-separated names ("long|short"), or "@" and a preset list's store name.
    CError parseStateNames(const CString& text);
    // Fetches the names of an "@" list through the installed provider; does
    // nothing without such a reference or without a provider.
    CError resolveStateNames(const CObject* context);
    static void setStateNamesProvider(StateNamesProvider provider);

    // --- Shape and flags -------------------------------------------------------
    uint32_t elementSize() const { return m_elementSize; }
    EAudioParamDataType dataType() const { return m_dataType; }
    bool isNumeric() const { return m_dataType == EAudioParamDataType::Numeric; }
    bool isStorable() const { return m_storable; }
    bool isPersistent() const { return m_persistent; }
    bool isGlobal() const { return m_global; }
    bool isSingleGroup() const { return m_singleGroup; }
    bool isSingleElement() const { return m_singleElement; }
    const CString& visualName() const { return m_visualName; }
    const CString& paramRegistry() const { return m_paramRegistry; }

    // --- Per component ---------------------------------------------------------
    CAudioParamConverter* converter(uint32_t c) const { return c < m_converters.size() ? m_converters[c] : nullptr; }
    const CString& converterName(uint32_t c) const { return m_converterNames[c]; }
    double minValue(uint32_t c) const { return c < m_min.size() ? m_min[c] : 0.0; }
    double maxValue(uint32_t c) const { return c < m_max.size() ? m_max[c] : 1.0; }

    // --- Defaults (group-independent; element-major, esize values each) ------
    uint32_t defaultElementCount() const { return m_defElements; }
    // Default of (e, c) by the lookup rule (the first default beyond the table).
    double defaultValue(uint32_t e, uint32_t c = 0) const noexcept {
        if (c >= m_elementSize || m_defValues.empty()) return 0.0;
        if (e >= m_defElements) e = 0;
        return m_defValues[size_t(e) * m_elementSize + c];
    }
    // Default text of element e (text and raw parameters), by the same rule.
    const CString& defaultText(uint32_t e) const;
    std::span<const double> defaultValues() const { return {m_defValues.data(), m_defValues.size()}; }

    // --- State names -------------------------------------------------------------
    const CAudioStateNames& stateNames() const { return m_stateNames; }
    // The store name after "@" (empty when the names are listed directly).
    const CString& stateNamesRef() const { return m_stateNamesRef; }
    void setStateNames(CAudioStateNames names) { m_stateNames = std::move(names); }

    // --- Conversions of component c through its converter and range -----------
    // The parameter's own state names take precedence over the converter's.
    CString valueToText(uint32_t c, double value, int kind = CAudioParamConverter::kFormatNormal) const;
    bool textToValue(uint32_t c, const CString& text, double* value) const;  // clamped into the range
    double normalize(uint32_t c, double value) const;
    double denormalize(uint32_t c, double pos) const;

    // --- Serialisation (version 1) -----------------------------------------------
    CError save(COutputStream& out) const;
    // Converters are resolved from context when given; otherwise they stay
    // unresolved (names only).
    CError load(CInputStream& in, const CObject* context);

private:
    friend class CAudioParamDef;
    friend class CAudioParamStorage;

    uint32_t m_elementSize = 1;
    EAudioParamDataType m_dataType = EAudioParamDataType::Numeric;
    bool m_storable = false;
    bool m_persistent = false;
    bool m_global = false;
    bool m_singleGroup = false;
    bool m_singleElement = false;
    CString m_visualName;
    CString m_paramRegistry;

    std::vector<CString> m_converterNames;
    std::vector<CAudioParamConverter*> m_converters;
    std::vector<double> m_min;
    std::vector<double> m_max;

    uint32_t m_defElements = 0;
    std::vector<double> m_defValues;  // numeric defaults
    std::vector<CString> m_defTexts;  // text and raw defaults, one per element

    CAudioStateNames m_stateNames;
    CString m_stateNamesRef;
};

// audio:param -- reads every attribute in its init and builds the info:
// element-size, data-type ("" numeric, "str"/"string" text, "raw"),
// converter..converter4, min-values, max-values, def-values, state-names,
// visual-name, is-storable, is-persistent, is-global, is-single-group,
// is-single-element, param-registry.
class CAudioParamDef : public CObject {
public:
    CError init() override;
    const CAudioParamInfo& info() const { return m_info; }
    bool isParsed() const { return m_parsed; }

    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

private:
    CAudioParamInfo m_info;
    bool m_parsed = false;
};
