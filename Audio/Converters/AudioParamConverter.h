#pragma once
// CAudioParamConverter: maps a parameter component between its stored value,
// the normalised position 0..1 used by controls and hosts, and the text shown
// to the user. Converters are shared objects of the definition tree; every
// operation takes the min and max of the element being converted, so one
// converter serves every parameter that names it.
//
// Attributes common to all converters: "label" (unit text such as "dB") and
// "is-discrete" (stepped values; true by default for text and enumerations).
//
// Threads: converters are configured once (init) and are read-only
// afterwards; every operation is const and may run on any thread.

#include <span>
#include <vector>

#include "Core/Object.h"

// One name of an enumeration: the long form and an optional short form
// (written "long|short" in definitions; the short form defaults to the long).
struct CAudioStateName {
    CString longName;
    CString shortName;
};
using CAudioStateNames = std::vector<CAudioStateName, CKelStdAllocator<CAudioStateName>>;

// Parses ";"-separated names, each "long" or "long|short". Empty text gives
// no names.
CAudioStateNames parseStateNameList(const CString& text);

class CAudioParamConverter : public CObject {
public:
    // Format kinds of valueToText.
    enum FormatKind : int { kFormatNormal = 0, kFormatShort = 1, kFormatPrecise = 3 };

    CError init() override;
    // Reads the converter's attributes once. A parameter definition calls it
    // when it meets a converter whose own init has not run yet (definitions
    // may precede the converters they name).
    CError prepare();
    bool isPrepared() const { return m_prepared; }

    // --- Conversions (in this order in every converter) ---------------------
    // Parses text; on success the value is clamped into [min, max] and *ok is
    // true; on failure *ok is false and min is returned.
    virtual double textToValueChecked(const CString& text, double min, double max, bool* ok) const;
    // Parses text without clamping; false when the text does not convert.
    virtual bool textToValue(const CString& text, double* value) const;
    // Text of a stored value; kind: kFormatShort, kFormatPrecise, else normal.
    virtual CString valueToText(double value, int kind, double min, double max) const;
    // Position 0..1 to stored value.
    virtual double denormalize(double pos, double min, double max) const;
    // Stored value to position 0..1.
    virtual double normalize(double value, double min, double max) const;
    // Position to the number shown on scales (the stored value unless the
    // converter displays other units, e.g. dB for gain, percent for percent).
    virtual double positionToDisplay(double pos, double min, double max) const;

    const CString& label() const { return m_label; }
    bool isDiscrete() const { return m_discrete; }

    static void registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

protected:
    // Reads the attributes; derived classes chain to their base first.
    virtual CError configure();
    // Label used when the "label" attribute is absent.
    virtual CString defaultLabel() const { return {}; }
    virtual bool defaultDiscrete() const { return false; }

    // Parses a number, ignoring blanks and a trailing label.
    bool parseNumber(const CString& text, double* out) const;
    // Attribute readers that tell a malformed value from an absent one:
    // false when the attribute is present, non-empty and does not convert.
    bool readIntAttr(const CString& name, int64_t def, int64_t* out) const;
    bool readRealAttr(const CString& name, double def, double* out) const;

    // Fixed-point text without a negative zero ("-0.0" reads "0.0").
    static CString formatFixed(double v, int decimals);
    // Fixed-point text with trailing zeros (and a bare point) removed.
    static CString formatTrimmed(double v, int decimals);
    static double clampPos(double x) { return x < 0.0 ? 0.0 : (x > 1.0 ? 1.0 : x); }
    static double clampRange(double v, double min, double max);
    static double linearDenormalize(double pos, double min, double max);
    static double linearNormalize(double value, double min, double max);
    // Logarithmic mapping between min and max (both > 0), linear otherwise.
    static double logDenormalize(double pos, double min, double max);
    static double logNormalize(double value, double min, double max);

private:
    CString m_label;
    bool m_discrete = false;
    bool m_prepared = false;
};

// Largest number of decimals a converter accepts.
inline constexpr int kMaxConverterDecimals = 12;
