#pragma once
// The FIR generators (designs in Audio/Filters/FIRDesign.h). Each appends one
// kernel and adds its delay to the list's latency; a missing parameter ends
// the generation without a kernel.
//
//   audio:fltgen-firlp   CAudioFilterFIRLPGen    Kaiser-window low-pass;
//                        reads "length" (s), "freq" (Hz), "beta"; latency N
//   audio:fltgen-firlim  CAudioFilterFIRLimGen   transient kernel of "type"
//                        0 Classic, 1 Sharp, 2 Asymm; reads "length" (s),
//                        "power"; latency L - 1

#include "Audio/Filters/AudioFilterGen.h"

class CAudioFilterFIRLPGen : public CAudioFilterGen {
public:
    void generateNested(CAudioFilterList& list, double rate, const CAudioFilterParamList& params,
                        int depth) const override;
    size_t maxKernelsNested(int) const override { return 1; }
    size_t maxTapsNested(double rate, const CAudioFilterParamList& ranges, int depth) const override;
    void collectParamNamesNested(std::vector<std::string_view>& names, int depth) const override;
};

class CAudioFilterFIRLimGen : public CAudioFilterGen {
public:
    CError init() override;
    void generateNested(CAudioFilterList& list, double rate, const CAudioFilterParamList& params,
                        int depth) const override;
    size_t maxKernelsNested(int) const override { return 1; }
    size_t maxTapsNested(double rate, const CAudioFilterParamList& ranges, int depth) const override;
    void collectParamNamesNested(std::vector<std::string_view>& names, int depth) const override;

    int type() const { return m_type; }

private:
    int m_type = 0;
};
