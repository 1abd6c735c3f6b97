#include "Audio/Filters/AudioFilterGenFIR.h"

#include "Audio/Filters/FIRDesign.h"

// --- Low-pass -------------------------------------------------------------------------

void CAudioFilterFIRLPGen::generateNested(CAudioFilterList& list, double rate, const CAudioFilterParamList& params,
                                          int depth) const {
    const auto* length = params.find("length");
    const auto* freq = params.find("freq");
    const auto* beta = params.find("beta");
    if (depth > kMaxDepth || !length || !freq || !beta) return;
    const size_t n = firLowPassLength(rate, length->value, freq->value);
    if (n == 0) return;
    std::span<double> taps = list.appendKernel(n);
    if (taps.empty()) return;
    list.addLatency(designFIRLowPass(taps, rate, length->value, freq->value, beta->value));
}

size_t CAudioFilterFIRLPGen::maxTapsNested(double rate, const CAudioFilterParamList& ranges, int depth) const {
    const auto* length = ranges.find("length");
    const auto* freq = ranges.find("freq");
    if (depth > kMaxDepth || !length || !freq) return 0;
    // Longest with the longest window and the lowest cut-off.
    return firLowPassLength(rate, length->hi, freq->lo);
}

void CAudioFilterFIRLPGen::collectParamNamesNested(std::vector<std::string_view>& names, int) const {
    addNames(names, {"length", "freq", "beta"});
}

// --- Transient kernel -------------------------------------------------------------------

CError CAudioFilterFIRLimGen::init() {
    KEL_TRY(CAudioFilterGen::init());
    return readType(3, &m_type);
}

void CAudioFilterFIRLimGen::generateNested(CAudioFilterList& list, double rate, const CAudioFilterParamList& params,
                                           int depth) const {
    const auto* length = params.find("length");
    const auto* power = params.find("power");
    if (depth > kMaxDepth || !length || !power) return;
    const size_t n = firTransientLength(rate, length->value);
    if (n == 0) return;
    std::span<double> taps = list.appendKernel(n);
    if (taps.empty()) return;
    list.addLatency(designFIRTransient(taps, rate, length->value, power->value, m_type));
}

size_t CAudioFilterFIRLimGen::maxTapsNested(double rate, const CAudioFilterParamList& ranges, int depth) const {
    const auto* length = ranges.find("length");
    if (depth > kMaxDepth || !length) return 0;
    return firTransientLength(rate, length->hi);
}

void CAudioFilterFIRLimGen::collectParamNamesNested(std::vector<std::string_view>& names, int) const {
    addNames(names, {"length", "power"});
}
