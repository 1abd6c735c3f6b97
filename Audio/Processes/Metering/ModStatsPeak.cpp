#include "Audio/Processes/Metering/ModStatsPeak.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "Audio/Filters/FIRDesign.h"

namespace {
double sinc(double u) {
    if (std::fabs(u) < 1e-12) return 1.0;
    const double a = std::numbers::pi * u;
    return std::sin(a) / a;
}
}  // namespace

// --- CTruePeakInterpolator ----------------------------------------------------------------------

void CTruePeakInterpolator::design(double beta) {
    beta = std::clamp(beta, 1.0, 350.0);
    const double i0Beta = firBesselI0(beta);
    constexpr int half = kTaps / 2;
    for (int p = 0; p < kPoints; ++p) {
        // Point p sits (p + 1) / 4 of a sample after the window's centre sample.
        const double d = double(p + 1) / 4.0;
        double sum = 0.0;
        for (int j = 0; j < kTaps; ++j) {
            const double u = double(j - (half - 1)) - d;
            const double r = u / half;
            const double w = r * r < 1.0 ? firBesselI0(beta * std::sqrt(1.0 - r * r)) / i0Beta : 0.0;
            m_h[p][j] = sinc(u) * w;
            sum += m_h[p][j];
        }
        for (double& h : m_h[p]) h /= sum;
    }
}

void CTruePeakInterpolator::reset() {
    std::fill(std::begin(m_hist), std::end(m_hist), 0.0);
    m_pos = 0;
}

double CTruePeakInterpolator::process(const double* x, int frames) {
    double peak = 0.0;
    int pos = m_pos;
    for (int i = 0; i < frames; ++i) {
        // Both copies of the ring hold the sample, so the last kTaps samples
        // are always contiguous: m_hist[pos + 1 ... pos + kTaps], oldest first.
        m_hist[pos] = x[i];
        m_hist[pos + kTaps] = x[i];
        const double* w = m_hist + pos + 1;
        for (int p = 0; p < kPoints; ++p) {
            const double* h = m_h[p];
            double y = 0.0;
            for (int j = 0; j < kTaps; ++j) y += h[j] * w[j];
            peak = std::max(peak, std::fabs(y));
        }
        pos = (pos + 1) & (kTaps - 1);
    }
    m_pos = pos;
    return peak;
}

// --- CModStatsPeak -------------------------------------------------------------------------------

void CModStatsPeak::prepare(double beta) {
    m_interp.design(beta);
    reset();
}

void CModStatsPeak::reset() {
    m_interp.reset();
    m_peak = m_truePeak = 0.0;
    m_clips = 0;
    m_over = false;
}

void CModStatsPeak::process(const double* x, int frames) {
    double peak = m_peak;
    uint64_t clips = m_clips;
    bool over = m_over;
    for (int i = 0; i < frames; ++i) {
        const double a = std::fabs(x[i]);
        peak = std::max(peak, a);
        const bool now = a > kClipLevel;
        clips += uint64_t(now && !over);
        over = now;
    }
    m_peak = peak;
    m_clips = clips;
    m_over = over;
    m_truePeak = std::max({m_truePeak, peak, m_interp.process(x, frames)});
}

// --- CModStatsPeakModule ---------------------------------------------------------------------------

CError CModStatsPeakModule::readAttributes() {
    KEL_TRY(CModStatsModule::readAttributes());
    m_beta = m_def->attrReal("true-peak-beta", CTruePeakInterpolator::kDefaultBeta);
    return {};
}

void CModStatsPeakModule::connectParams(CAudioProcessBuild& b) {
    registerParam(b, 0, "reset", 0.0);
    registerParam(b, 1, "gain", 1.0);
    registerParam(b, 2, "peak-gain", 1.0);
    setResetSlot(0);
}

void CModStatsPeakModule::describe(CAudioVizDataInfo& info) const {
    info.kind = EVizKind::Meter;
    info.channelFields = {"peak", "true-peak", "clips"};
}

CError CModStatsPeakModule::prepareStats(const CProcessConfig& config) {
    m_procs.clear();
    for (int ch = 0; ch < config.maxChannels; ++ch) {
        auto p = std::make_unique<CModStatsPeak>();
        p->start();
        p->prepare(m_beta);
        m_procs.push_back(std::move(p));
    }
    return {};
}

void CModStatsPeakModule::updateStats() { m_scale = param(1) * param(2); }

void CModStatsPeakModule::resetStats() {
    for (auto& p : m_procs) p->reset();
}

void CModStatsPeakModule::processSegment(int offset, int count) {
    for (int ch = 0; ch < m_channels; ++ch) m_procs[size_t(ch)]->process(input(0).ch[ch] + offset, count);
}

void CModStatsPeakModule::publish(double* frame) {
    for (int ch = 0; ch < m_channels; ++ch) {
        const CModStatsPeak& p = *m_procs[size_t(ch)];
        double* v = frame + 3 * ch;
        v[0] = p.samplePeak() * m_scale;
        v[1] = p.truePeak() * m_scale;
        v[2] = double(p.clips());
    }
}
