#include "Audio/Processes/Metering/ModStatsRMS.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Audio/Filters/FilterDesign.h"

// --- CLoudnessGate ------------------------------------------------------------------------------

double CLoudnessGate::loudness(double meanSquare) {
    return meanSquare > 0.0 ? -0.691 + 10.0 * std::log10(meanSquare) : -std::numeric_limits<double>::infinity();
}

void CLoudnessGate::prepare() {
    const size_t bins = size_t(std::lround((kTop - kAbsoluteGate) / kBinWidth));
    m_energy.assign(bins, 0.0);
    m_counts.assign(bins, 0);
    reset();
}

void CLoudnessGate::setSampleRate(double sampleRate) {
    const int step = std::max(1, int(std::lround(kStepSeconds * sampleRate)));
    if (step == m_step) return;
    m_step = step;
    m_stepsSeen = 0;
}

void CLoudnessGate::reset() {
    std::fill(m_energy.begin(), m_energy.end(), 0.0);
    std::fill(m_counts.begin(), m_counts.end(), 0);
    m_total = 0.0;
    m_count = 0;
    m_stepsSeen = 0;
}

void CLoudnessGate::addStep(double sumOfSquares) {
    m_steps[size_t(m_stepsSeen % kStepsPerBlock)] = sumOfSquares;
    if (++m_stepsSeen >= 2 * kStepsPerBlock) m_stepsSeen -= kStepsPerBlock;  // stays >= kStepsPerBlock
    if (m_stepsSeen < kStepsPerBlock) return;
    double sum = 0.0;
    for (double s : m_steps) sum += s;
    addBlock(sum / (double(kStepsPerBlock) * m_step));
}

void CLoudnessGate::addBlock(double meanSquare) {
    const double l = loudness(meanSquare);
    if (!(l > kAbsoluteGate) || m_energy.empty()) return;
    const long bin = std::clamp(long(std::floor((l - kAbsoluteGate) / kBinWidth)), 0L, long(m_energy.size()) - 1);
    m_energy[size_t(bin)] += meanSquare;
    m_counts[size_t(bin)] += 1;
    m_total += meanSquare;
    m_count += 1;
}

bool CLoudnessGate::integrated(double* lufs) const {
    if (m_count == 0) return false;
    const double gate = loudness(m_total / double(m_count)) + kRelativeGate;
    // Bins whose centre lies at or above the relative gate.
    size_t first = 0;
    if (gate > kAbsoluteGate) first = size_t(std::max(0.0, std::ceil((gate - kAbsoluteGate) / kBinWidth - 0.5)));
    double sum = 0.0;
    uint64_t n = 0;
    for (size_t i = first; i < m_energy.size(); ++i) {
        sum += m_energy[i];
        n += m_counts[i];
    }
    if (n == 0) return false;
    *lufs = loudness(sum / double(n));
    return true;
}

// --- CModStatsRMS ---------------------------------------------------------------------------------

void CModStatsRMS::prepare(double sampleRate, int maxBlock) {
    m_scratch.allocate(size_t(std::max(1, maxBlock)));
    m_rate = 0.0;
    setSampleRate(sampleRate);
    reset();
}

void CModStatsRMS::setSampleRate(double sampleRate) {
    if (sampleRate == m_rate) return;
    m_rate = sampleRate;
    m_weight.setSections(designKWeighting(sampleRate));
    setParams(m_weighting, m_windowSeconds);
}

void CModStatsRMS::setParams(bool weighting, double windowSeconds) {
    if (weighting != m_weighting) m_weight.reset();
    m_weighting = weighting;
    m_windowSeconds = windowSeconds;
    const int sub = std::max(1, int(std::lround(windowSeconds * m_rate / kWindowSteps)));
    if (sub != m_subLength) {
        m_subLength = sub;
        restartWindow();
    }
}

void CModStatsRMS::restartWindow() {
    m_window.fill(0.0);
    m_windowPos = 0;
    m_windowFilled = 0;
    m_subSum = 0.0;
    m_subPos = 0;
}

void CModStatsRMS::reset() {
    m_weight.reset();
    m_total = 0.0;
    m_samples = 0;
    m_stepSum = 0.0;
    m_peakWindow = 0.0;
    restartWindow();
}

void CModStatsRMS::process(const double* x, int frames) {
    const int chunk = int(m_scratch.size());
    for (int done = 0; done < frames;) {
        const int n = std::min(frames - done, chunk);
        const double* s = x + done;
        if (m_weighting) {
            m_weight.process(s, m_scratch.data(), n);
            s = m_scratch.data();
        }
        double local = 0.0, sub = m_subSum;
        int pos = m_subPos;
        for (int i = 0; i < n; ++i) {
            const double q = s[i] * s[i];
            local += q;
            sub += q;
            if (++pos < m_subLength) continue;
            // One window step completed.
            m_window[size_t(m_windowPos)] = sub;
            m_windowPos = (m_windowPos + 1) & (kWindowSteps - 1);
            sub = 0.0;
            pos = 0;
            if (m_windowFilled < kWindowSteps) ++m_windowFilled;
            if (m_windowFilled == kWindowSteps) {
                double w = 0.0;
                for (double v : m_window) w += v;
                m_peakWindow = std::max(m_peakWindow, w / (double(kWindowSteps) * m_subLength));
            }
        }
        m_subSum = sub;
        m_subPos = pos;
        m_total += local;
        m_stepSum += local;
        m_samples += uint64_t(n);
        done += n;
    }
    m_weight.flushTiny();
}

// --- CModStatsRMSModule -----------------------------------------------------------------------------

void CModStatsRMSModule::connectParams(CAudioProcessBuild& b) {
    registerParam(b, 0, "reset", 0.0);
    registerParam(b, 1, "gain", 1.0);
    registerParam(b, 2, "use-ebu128", 0.0);
    registerParam(b, 3, "peak-rms-time", 0.05);
    setResetSlot(0);
}

void CModStatsRMSModule::describe(CAudioVizDataInfo& info) const {
    info.kind = EVizKind::Meter;
    info.globalFields = {"loudness"};
    info.channelFields = {"rms", "rms-peak"};
}

CError CModStatsRMSModule::prepareStats(const CProcessConfig& config) {
    m_procs.clear();
    for (int ch = 0; ch < config.maxChannels; ++ch) {
        auto p = std::make_unique<CModStatsRMS>();
        p->start();
        p->prepare(config.maxSampleRate, config.maxFrames());
        m_procs.push_back(std::move(p));
    }
    m_gate.prepare();
    m_stepLeft = 0;
    return {};
}

void CModStatsRMSModule::updateStats() {
    const double rate = sampleRate();
    const bool weighting = param(2) >= 0.5;
    const double window = std::clamp(param(3), 0.001, 1.0);
    m_gain = param(1);
    for (auto& p : m_procs) {
        p->setSampleRate(rate);
        p->setParams(weighting, window);
    }
    const int step = m_gate.stepLength();
    m_gate.setSampleRate(rate);
    if (m_gate.stepLength() != step || m_stepLeft <= 0) {
        m_stepLeft = m_gate.stepLength();
        for (auto& p : m_procs) p->takeStepSum();
    }
}

void CModStatsRMSModule::resetStats() {
    for (auto& p : m_procs) p->reset();
    m_gate.reset();
    m_stepLeft = m_gate.stepLength();
}

void CModStatsRMSModule::processSegment(int offset, int count) {
    for (int done = 0; done < count;) {
        const int n = std::min(count - done, m_stepLeft);
        for (int ch = 0; ch < m_channels; ++ch) m_procs[size_t(ch)]->process(input(0).ch[ch] + offset + done, n);
        done += n;
        m_stepLeft -= n;
        if (m_stepLeft > 0) continue;
        double sum = 0.0;
        for (int ch = 0; ch < m_channels; ++ch) sum += m_procs[size_t(ch)]->takeStepSum();
        m_gate.addStep(sum);
        m_stepLeft = m_gate.stepLength();
    }
}

void CModStatsRMSModule::publish(double* frame) {
    double lufs = 0.0;
    frame[0] = m_gate.integrated(&lufs) ? std::pow(10.0, lufs / 20.0) * m_gain : 0.0;
    for (int ch = 0; ch < m_channels; ++ch) {
        const CModStatsRMS& p = *m_procs[size_t(ch)];
        frame[1 + 2 * ch] = std::sqrt(p.meanSquare()) * m_gain;
        frame[2 + 2 * ch] = std::sqrt(p.peakMeanSquare()) * m_gain;
    }
}
