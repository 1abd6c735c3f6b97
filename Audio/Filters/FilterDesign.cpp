#include "Audio/Filters/FilterDesign.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <numbers>

KELSTR(FilterDesign_parseFilterType_InvalidType, "Invalid filter type '%1' specified.");
KELSTR(FilterDesign_parseAdjustList_Invalid, "Invalid 'adjust' attribute value '%1' specified.");

namespace {

constexpr double kPi = std::numbers::pi;

// Angular frequency of freq at rate, kept strictly between 0 and Nyquist so
// that sin w never vanishes.
double angularFrequency(double freq, double rate) {
    const double w = 2.0 * kPi * freq / rate;
    if (!(w > 1e-9)) return 1e-9;
    return std::min(w, kPi * (1.0 - 1e-9));
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

int typeCount(CFilterGenSetup::Kind kind) { return kind == CFilterGenSetup::kRBJ ? kRBJTypeCount : 2; }

}  // namespace

CBiquadRaw rbjCoefficients(int type, double w, double A, double alpha) {
    const double cw = std::cos(w);
    const double sw = std::sin(w);
    const double twoSqrtAAlpha = 2.0 * std::sqrt(A) * alpha;
    switch (type) {
        case kRBJLowPass:
            return {(1 - cw) / 2, 1 - cw, (1 - cw) / 2, 1 + alpha, -2 * cw, 1 - alpha};
        case kRBJHighPass:
            return {(1 + cw) / 2, -(1 + cw), (1 + cw) / 2, 1 + alpha, -2 * cw, 1 - alpha};
        case kRBJBandPassPeak:
            return {alpha, 0.0, -alpha, 1 + alpha, -2 * cw, 1 - alpha};
        case kRBJBandPassSkirt:
            return {sw / 2, 0.0, -sw / 2, 1 + alpha, -2 * cw, 1 - alpha};
        case kRBJNotch:
            return {1.0, -2 * cw, 1.0, 1 + alpha, -2 * cw, 1 - alpha};
        case kRBJAllPass:
            return {1 - alpha, -2 * cw, 1 + alpha, 1 + alpha, -2 * cw, 1 - alpha};
        case kRBJPeaking:
            return {1 + alpha * A, -2 * cw, 1 - alpha * A, 1 + alpha / A, -2 * cw, 1 - alpha / A};
        case kRBJLowShelf:
            return {A * ((A + 1) - (A - 1) * cw + twoSqrtAAlpha), 2 * A * ((A - 1) - (A + 1) * cw),
                    A * ((A + 1) - (A - 1) * cw - twoSqrtAAlpha), (A + 1) + (A - 1) * cw + twoSqrtAAlpha,
                    -2 * ((A - 1) + (A + 1) * cw), (A + 1) + (A - 1) * cw - twoSqrtAAlpha};
        case kRBJHighShelf:
            return {A * ((A + 1) + (A - 1) * cw + twoSqrtAAlpha), -2 * A * ((A - 1) + (A + 1) * cw),
                    A * ((A + 1) + (A - 1) * cw - twoSqrtAAlpha), (A + 1) - (A - 1) * cw + twoSqrtAAlpha,
                    2 * ((A - 1) - (A + 1) * cw), (A + 1) - (A - 1) * cw - twoSqrtAAlpha};
        default:
            return {1.0, 0.0, 0.0, 1.0, 0.0, 0.0};
    }
}

CFilterSection normaliseBiquad(const CBiquadRaw& r) {
    const double inv = 1.0 / r.a0;
    return {r.b0 * inv, r.b1 * inv, r.b2 * inv, r.a1 * inv, r.a2 * inv, 2};
}

CError parseFilterType(CFilterGenSetup::Kind kind, std::string_view text, int* type) {
    const std::string_view t = trimmed(text);
    int v = -1;
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    if (t.empty() || ec != std::errc() || end != t.data() + t.size() || v < 0 || v >= typeCount(kind))
        return KEL_ERROR(kelstr_FilterDesign_parseFilterType_InvalidType, CString(text));
    *type = v;
    return {};
}

CError checkFilterGen(const CFilterGenSetup& gen) {
    if (gen.type < 0 || gen.type >= typeCount(gen.kind))
        return KEL_ERROR(kelstr_FilterDesign_parseFilterType_InvalidType, CString::number(int64_t(gen.type)));
    return {};
}

CFilterSection designRBJ(int type, bool isQ, const CFilterParams& p, double rate) {
    const double w = angularFrequency(p[0], rate);
    const double A = std::sqrt(std::max(p[1], 1e-30));
    const double sw = std::sin(w);
    double alpha;
    if (isQ) {
        alpha = sw / (2.0 * std::max(p[2], 1e-9));
    } else {
        alpha = sw * std::sinh(kRBJBandwidthFactor * p[2] * w / sw);
    }
    return normaliseBiquad(rbjCoefficients(type, w, A, alpha));
}

CFilterSection designLPHP1(int type, double freq, double rate) {
    // Bilinear one-pole with s = tan(w/2): the analogue corner K is placed so
    // that |H| equals kLPHP1CutoffGain exactly at freq, not at 1/sqrt(2).
    const double t = std::tan(angularFrequency(freq, rate) / 2.0);
    const double g = kLPHP1CutoffGain;
    const double r = g / std::sqrt(1.0 - g * g);
    CFilterSection s;
    s.order = 1;
    if (type == 0) {
        const double K = r * t;
        s.b0 = s.b1 = K / (1.0 + K);
        s.a1 = (K - 1.0) / (K + 1.0);
    } else {
        const double K = t / r;
        s.b0 = 1.0 / (1.0 + K);
        s.b1 = -s.b0;
        s.a1 = (K - 1.0) / (K + 1.0);
    }
    return s;
}

void generateFilter(const CFilterGenSetup& gen, const CFilterParams& p, double rate, CFilterSectionList& out) {
    if (gen.kind == CFilterGenSetup::kLPHP1)
        out.push_back(designLPHP1(gen.type, p[0], rate));
    else
        out.push_back(designRBJ(gen.type, gen.isQ, p, rate));
}

CFilterParams adjustFilterParams(const CFilterSerialItem& item, const CFilterParams& p) {
    CFilterParams q = p;
    for (size_t k = 0; k < q.size(); ++k) {
        if (item.hasAdjustPow) q[k] = std::pow(q[k], item.adjustPow);
        if (k < item.adjust.size()) q[k] *= item.adjust[k];
    }
    return q;
}

CError parseAdjustList(std::string_view text, std::vector<double>* out) {
    std::vector<double> values;
    std::string_view rest = trimmed(text);
    while (!rest.empty()) {
        const size_t comma = rest.find(',');
        const std::string_view field = trimmed(rest.substr(0, comma));
        double v = 0.0;
        const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), v);
        if (field.empty() || ec != std::errc() || end != field.data() + field.size())
            return KEL_ERROR(kelstr_FilterDesign_parseAdjustList_Invalid, CString(text));
        values.push_back(v);
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
        if (trimmed(rest).empty()) return KEL_ERROR(kelstr_FilterDesign_parseAdjustList_Invalid, CString(text));
    }
    *out = std::move(values);
    return {};
}

void generateSerial(std::span<const CFilterSerialItem> items, const CFilterParams& p, double rate,
                    CFilterSectionList& out) {
    for (const CFilterSerialItem& item : items) generateFilter(item.gen, adjustFilterParams(item, p), rate, out);
}

const CFilterArrayItem* findFilterArrayItem(std::span<const CFilterArrayItem> array, int index) {
    for (const CFilterArrayItem& item : array)
        if (item.index == index) return &item;
    return nullptr;
}

size_t maxFilterArraySections(std::span<const CFilterArrayItem> array) {
    size_t n = 0;
    for (const CFilterArrayItem& item : array) n = std::max(n, item.items.size());
    return n;
}

CError checkFilterArray(std::span<const CFilterArrayItem> array) {
    for (const CFilterArrayItem& item : array)
        for (const CFilterSerialItem& s : item.items) KEL_TRY(checkFilterGen(s.gen));
    return {};
}

std::array<CFilterSection, 2> designKWeighting(double rate) {
    // Shelf: A = 10^(4/40) with 2·sqrt(A) precomputed; the slope term uses the
    // bandwidth form with the shelf's own constant.
    const double A = 1.2588999027632095;
    const double twoSqrtA = 2.244014173540987;
    double w = 9429.912441572329 / rate;
    double cw = std::cos(w);
    double sw = std::sin(w);
    double alpha = sw * std::sinh(0.6541198751321079 * w / sw);
    const CBiquadRaw shelf = {A * ((A + 1) + (A - 1) * cw + twoSqrtA * alpha), -2 * A * ((A - 1) + (A + 1) * cw),
                              A * ((A + 1) + (A - 1) * cw - twoSqrtA * alpha), (A + 1) - (A - 1) * cw + twoSqrtA * alpha,
                              2 * ((A - 1) - (A + 1) * cw), (A + 1) - (A - 1) * cw - twoSqrtA * alpha};

    w = 239.61223106957323 / rate;
    sw = std::sin(w);
    alpha = sw * std::sinh(0.8809075819772038 * w / sw);
    const CBiquadRaw hp = rbjCoefficients(kRBJHighPass, w, 1.0, alpha);
    return {normaliseBiquad(shelf), normaliseBiquad(hp)};
}
