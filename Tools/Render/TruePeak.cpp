#include "Tools/Render/TruePeak.h"

#include <algorithm>
#include <cmath>

namespace render {

struct CTruePeak16::CTable {
    double h[kFactor][kTaps];  // h[p][j]: weight of x[n + j - (kTaps / 2 - 1)] at n + p / 16
    CTable() {
        constexpr double kBeta = 8.0;  // about 80 dB of stop-band attenuation
        auto besselI0 = [](double v) {
            double sum = 1.0, term = 1.0;
            for (int k = 1; k < 40; ++k) {
                term *= (v / (2.0 * k)) * (v / (2.0 * k));
                sum += term;
            }
            return sum;
        };
        const double half = kTaps / 2.0;
        for (int p = 0; p < kFactor; ++p) {
            double sum = 0.0;
            for (int j = 0; j < kTaps; ++j) {
                const double u = double(p) / kFactor - double(j - (kTaps / 2 - 1));  // time from the tap
                const double sinc = u == 0.0 ? 1.0 : std::sin(M_PI * u) / (M_PI * u);
                const double r = u / half;
                const double w = r * r < 1.0 ? besselI0(kBeta * std::sqrt(1.0 - r * r)) / besselI0(kBeta) : 0.0;
                h[p][j] = sinc * w;
                sum += h[p][j];
            }
            for (double& v : h[p]) v /= sum;  // unit gain at DC for every phase
        }
    }
};

const CTruePeak16::CTable& CTruePeak16::table() {
    static const CTable t;
    return t;
}

double CTruePeak16::at(std::span<const double> x, size_t n, int phase) {
    const double* h = table().h[phase];
    constexpr ptrdiff_t kBefore = kTaps / 2 - 1;
    const auto size = ptrdiff_t(x.size());
    const ptrdiff_t first = ptrdiff_t(n) - kBefore;
    double y = 0.0;
    if (first >= 0 && first + kTaps <= size) {
        const double* s = x.data() + first;
        for (int j = 0; j < kTaps; ++j) y += h[j] * s[j];
    } else {
        for (int j = 0; j < kTaps; ++j) {
            const ptrdiff_t m = first + j;
            if (m >= 0 && m < size) y += h[j] * x[size_t(m)];
        }
    }
    return y;
}

void CTruePeak16::framePeaks(std::span<const double> x, std::vector<double>* out) {
    out->assign(x.size(), 0.0);
    for (size_t n = 0; n < x.size(); ++n) {
        double m = std::fabs(x[n]);
        for (int p = 1; p < kFactor; ++p) m = std::max(m, std::fabs(at(x, n, p)));
        (*out)[n] = m;
    }
}

double CTruePeak16::peak(std::span<const double> x) {
    double m = 0.0;
    for (size_t n = 0; n < x.size(); ++n) {
        m = std::max(m, std::fabs(x[n]));
        for (int p = 1; p < kFactor; ++p) m = std::max(m, std::fabs(at(x, n, p)));
    }
    return m;
}

}  // namespace render
