#pragma once
// audio:cvt-enum -- enumerations. The stored value is a state index; its text
// is the state's name from "state-names" (";"-separated, each "long|short"),
// the short name in the short format. An index inside the range without a
// name reads "Reserve" ("Rsv" short). Without any names the index is shown as
// a number. Denormalising rounds to the nearest index (halves away from
// zero); normalising is linear. Discrete.
//
// A parameter may carry its own state names; the static helpers convert with
// such a list (CAudioParamInfo uses them).

#include <span>

#include "Audio/Converters/AudioParamConverter.h"

class CAudioParamConverterEnum : public CAudioParamConverter {
public:
    bool textToValue(const CString& text, double* value) const override;
    CString valueToText(double value, int kind, double min, double max) const override;
    double denormalize(double pos, double min, double max) const override;

    const CAudioStateNames& stateNames() const { return m_names; }

    // Text of an index with the given names.
    static CString indexToText(std::span<const CAudioStateName> names, double value, int kind, double min,
                               double max);
    // Index of a name (long or short, ASCII case ignored) or of a number.
    static bool textToIndex(std::span<const CAudioStateName> names, const CString& text, double* value);

protected:
    CError configure() override;
    bool defaultDiscrete() const override { return true; }

private:
    CAudioStateNames m_names;
};
