#include "Audio/Processes/Metering/ModMeter.h"

#include <algorithm>
#include <cmath>

#include "Audio/Filters/FilterDesign.h"
#include "Audio/Processes/Limiters/OnePole.h"

namespace {
constexpr double kTimeFactor = 1.362;     // one-pole time for 1 % after the nominal time
constexpr double kMinRelease = 0.0001;    // shorter releases follow at once
constexpr double kMinTime = 1e-6;
constexpr double kMinGain = 1e-10;        // the reduction reading stops at 200 dB
constexpr double kRatioEps = 1e-20;
constexpr double kTiny = 1e-30;

double flushTiny(double v) { return std::fabs(v) < kTiny ? 0.0 : v; }
double invert(double v) { return v > 0.0 ? 1.0 / v : 0.0; }
}  // namespace

// --- CPeakHoldRing ----------------------------------------------------------------------------

void CPeakHoldRing::prepare(int capacity) {
    m_ring.assign(size_t(std::max(1, capacity)), 0.0);
    setLength(m_length);
}

void CPeakHoldRing::setLength(int frames) {
    m_length = std::clamp(frames, 1, std::max(1, int(m_ring.size())));
    clear();
}

void CPeakHoldRing::clear() {
    std::fill(m_ring.begin(), m_ring.end(), 0.0);
    m_pos = 0;
    m_max = 0.0;
    m_countdown = m_length;
}

void CPeakHoldRing::push(double v) {
    if (m_ring.empty()) return;
    m_ring[size_t(m_pos)] = v;
    if (++m_pos == m_length) m_pos = 0;
    if (v >= m_max) {
        m_max = v;
        m_countdown = m_length;
    } else if (--m_countdown <= 0) {
        rescan();
    }
}

void CPeakHoldRing::rescan() {
    // Oldest first, so that the newest of equal values decides the countdown.
    m_max = 0.0;
    m_countdown = m_length;
    for (int k = 0; k < m_length; ++k) {
        int i = m_pos + k;
        if (i >= m_length) i -= m_length;
        if (m_ring[size_t(i)] >= m_max) {
            m_max = m_ring[size_t(i)];
            m_countdown = k + 1;
        }
    }
}

// --- CModMeter ------------------------------------------------------------------------------------

double CModMeter::coefficient(double seconds, double sampleRate) {
    return onePoleCoefTimeClamped(kTimeFactor * std::max(seconds, kMinTime), sampleRate);
}

double CModMeter::releaseCoefficient(double seconds, double sampleRate) {
    return seconds < kMinRelease ? 1.0 : coefficient(seconds, sampleRate);
}

void CModMeter::prepare(double sampleRate, int maxBlock, int maxHoldFrames) {
    m_maxBlock = std::max(1, maxBlock);
    m_scratch.allocate(size_t(m_maxBlock));
    m_scratchRef.allocate(size_t(m_maxBlock));
    m_hold.prepare(maxHoldFrames);
    m_rate = 0.0;
    setSampleRate(sampleRate);
    reset();
}

void CModMeter::setSampleRate(double sampleRate) {
    if (sampleRate == m_rate) return;
    m_rate = sampleRate;
    const auto k = designKWeighting(sampleRate);
    m_weight.setSections(k);
    m_weightRef.setSections(k);
}

void CModMeter::setParams(const Params& p) {
    const bool holdChanged = p.holdFrames != m_params.holdFrames;
    const bool weightChanged = p.kWeighting != m_params.kWeighting;
    const bool routineChanged = p.routine != m_params.routine;
    m_params = p;
    if (routineChanged) reset();  // the resting state depends on the routine
    if (holdChanged) m_hold.setLength(p.holdFrames);
    if (weightChanged) {
        m_weight.reset();
        m_weightRef.reset();
    }
}

void CModMeter::reset() {
    m_ms = m_msRef = m_level = m_peak = m_bias = 0.0;
    // A reduction meter rests at no reduction (a gain of 1), not at the
    // silence a level meter rests at.
    if (m_params.routine == kCompression) m_ms = m_level = 1.0;
    m_hold.clear();
    m_weight.reset();
    m_weightRef.reset();
}

template <int Routine>
void CModMeter::run(const double* x, const double* ref, int frames) {
    double ms = m_ms, ms1 = m_msRef, r = m_level, p = m_peak, b = m_bias;
    const double kr = m_params.kRms, kl = m_params.kRelease, kb = m_params.kBias;
    for (int i = 0; i < frames; ++i) {
        double s;
        if constexpr (Routine == kCompression) {
            // A gain of exactly 0 is no gain signal (a port nobody has
            // written yet, as an out-of-order meter's first block reads):
            // no reduction, not the largest one.
            const double a = std::fabs(x[i]);
            const double g = a > 0.0 ? std::max(a, kMinGain) : 1.0;
            s = 1.0 / (g * g);
        } else {
            s = x[i] * x[i];
        }
        ms += (s - ms) * kr;
        double v = ms;
        if constexpr (Routine == kDiff) {
            ms1 += (ref[i] * ref[i] - ms1) * kr;
            v = (ms + kRatioEps) / (ms1 + kRatioEps);
        }
        r = v > r ? v : r + (v - r) * kl;
        if constexpr (Routine == kDiff)
            p = std::max(p, r);
        else
            p = std::max(p, std::max(s, r));
        if constexpr (Routine == kBias) b += (ms - b) * kb;
    }
    m_ms = ms;
    m_msRef = ms1;
    m_level = r;
    m_peak = p;
    m_bias = b;
}

void CModMeter::process(const double* x, const double* ref, int frames) {
    const bool weighted = m_params.kWeighting && m_params.routine != kCompression;
    for (int done = 0; done < frames;) {
        const int n = std::min(frames - done, m_maxBlock);
        const double* a = x + done;
        const double* b = ref ? ref + done : nullptr;
        if (weighted) {
            m_weight.process(a, m_scratch.data(), n);
            a = m_scratch.data();
            if (b) {
                m_weightRef.process(b, m_scratchRef.data(), n);
                b = m_scratchRef.data();
            }
        }
        switch (m_params.routine) {
            case kPlain: run<kPlain>(a, b, n); break;
            case kBias: run<kBias>(a, b, n); break;
            case kCompression: run<kCompression>(a, b, n); break;
            case kDiff:
                if (b) run<kDiff>(a, b, n);
                break;
        }
        done += n;
    }
}

void CModMeter::endFrame() {
    m_hold.push(m_peak);
    m_peak = 0.0;
    m_ms = flushTiny(m_ms);
    m_msRef = flushTiny(m_msRef);
    m_level = flushTiny(m_level);
    m_bias = flushTiny(m_bias);
    m_weight.flushTiny();
    m_weightRef.flushTiny();
}

// --- CModMeterModule ---------------------------------------------------------------------------------

int CModMeterModule::inputPortCount() const {
    const int n = CAudioProcessTerminalBase::inputPortCount();
    return m_isDiff ? std::max(2, n) : n;
}

CError CModMeterModule::readAttributes() {
    KEL_TRY(CModStatsModule::readAttributes());
    m_isDiff = m_def->attrBool("is-diff", false);
    m_isInverted = m_def->attrBool("is-inverted", false);
    m_isCompression = m_def->attrBool("is-compression", false);
    return {};
}

void CModMeterModule::connectParams(CAudioProcessBuild& b) {
    registerParam(b, 0, "peak-time", 1.0);
    registerParam(b, 1, "rms-time", 0.1);
    registerParam(b, 2, "gain", 1.0);
    registerParam(b, 3, "bias-time", 2.0);
    registerParam(b, 4, "use-bias", 0.0);
    registerParam(b, 5, "release", 0.5);
    registerParam(b, 6, "peak-gain", 1.0);
    registerParam(b, 7, "rms-time2", 0.1);
    registerParam(b, 8, "release2", 0.5);
    registerParam(b, 9, "use-time2", 0.0);
    registerParam(b, 10, "use-ebu128", 0.0);
}

void CModMeterModule::describe(CAudioVizDataInfo& info) const {
    info.kind = EVizKind::Meter;
    info.channelFields = {"level", "peak", "bias"};
}

CError CModMeterModule::prepareStats(const CProcessConfig& config) {
    const int maxHold = int(std::ceil(kMaxPeakTime * fps())) + 1;
    m_procs.clear();
    for (int ch = 0; ch < config.maxChannels; ++ch) {
        auto p = std::make_unique<CModMeter>();
        p->start();
        p->prepare(config.maxSampleRate, config.maxFrames(), maxHold);
        m_procs.push_back(std::move(p));
    }
    return {};
}

void CModMeterModule::updateStats() {
    const double rate = sampleRate();
    const bool second = param(9) >= 0.5;
    CModMeter::Params p;
    if (m_isDiff)
        p.routine = CModMeter::kDiff;
    else if (m_isCompression)
        p.routine = CModMeter::kCompression;
    else
        p.routine = param(4) >= 0.5 ? CModMeter::kBias : CModMeter::kPlain;
    p.kRms = CModMeter::coefficient(second ? param(7) : param(1), rate);
    p.kRelease = CModMeter::releaseCoefficient(second ? param(8) : param(5), rate);
    p.kBias = CModMeter::coefficient(param(3), rate);
    const double holdFrames = std::round(std::max(0.0, param(0)) * rate / frameLength());
    p.holdFrames = int(std::clamp(holdFrames, 1.0, kMaxPeakTime * fps() + 1.0));
    p.kWeighting = !m_isCompression && param(10) >= 0.5;
    m_gain = param(2);
    m_peakGain = param(6);
    m_useBias = p.routine == CModMeter::kBias;
    for (auto& proc : m_procs) {
        proc->setSampleRate(rate);
        proc->setParams(p);
    }
}

void CModMeterModule::resetStats() {
    for (auto& proc : m_procs) proc->reset();
}

void CModMeterModule::processSegment(int offset, int count) {
    for (int ch = 0; ch < m_channels; ++ch) {
        const double* x = input(0).ch[ch] + offset;
        const double* ref = m_isDiff ? input(1).ch[ch] + offset : nullptr;
        m_procs[size_t(ch)]->process(x, ref, count);
    }
}

void CModMeterModule::endFrame() {
    for (int ch = 0; ch < m_channels; ++ch) m_procs[size_t(ch)]->endFrame();
}

void CModMeterModule::publish(double* frame) {
    for (int ch = 0; ch < m_channels; ++ch) {
        const CModMeter& m = *m_procs[size_t(ch)];
        double level = std::sqrt(m.level());
        double peak = std::sqrt(m.heldPeak());
        double bias = m_useBias ? std::sqrt(m.bias()) : 0.0;
        if (m_isInverted) {
            level = invert(level);
            peak = invert(peak);
            bias = invert(bias);
        }
        double* v = frame + 3 * ch;
        v[0] = level * m_gain;
        v[1] = peak * m_gain * m_peakGain;
        v[2] = bias * m_gain;
    }
}
