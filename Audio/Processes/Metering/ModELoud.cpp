#include "Audio/Processes/Metering/ModELoud.h"

#include <algorithm>
#include <cmath>

#include "Audio/Filters/FilterDesign.h"

namespace {
struct ShelfSpec {
    int type;
    double freq;
    double db;
};

constexpr ShelfSpec kShelves[4] = {
    {kRBJLowShelf, 60.0, -9.0},
    {kRBJLowShelf, 200.0, -6.0},
    {kRBJHighShelf, 1800.0, 5.0},
    {kRBJHighShelf, 9000.0, -6.0},
};
constexpr double kShelfQ = 0.7071067811865476;
constexpr double kReferenceFreq = 1000.0;
constexpr double kMaxRelativeFreq = 0.45;
}  // namespace

std::array<CFilterSection, 4> designELoudWeighting(double sampleRate) {
    std::array<CFilterSection, 4> s;
    for (size_t i = 0; i < s.size(); ++i) {
        const ShelfSpec& k = kShelves[i];
        const double f = std::min(k.freq, kMaxRelativeFreq * sampleRate);
        s[i] = designRBJ(k.type, true, {f, std::pow(10.0, k.db / 20.0), kShelfQ}, sampleRate);
    }
    const double g = cascadeMagnitude(s, kReferenceFreq, sampleRate);
    if (g > 0.0) {
        s[0].b0 /= g;
        s[0].b1 /= g;
        s[0].b2 /= g;
    }
    return s;
}

void CModELoud::prepare(double sampleRate, int) {
    m_rate = 0.0;
    setSampleRate(sampleRate);
    reset();
}

void CModELoud::setSampleRate(double sampleRate) {
    if (sampleRate == m_rate) return;
    m_rate = sampleRate;
    m_chain.setSections(designELoudWeighting(sampleRate));
}

void CModELoud::process(const double* in, double* out, int frames) {
    m_chain.process(in, out, frames);
    m_chain.flushTiny();
}

CError CModELoudModule::prepare(const CProcessConfig& config) {
    KEL_TRY(CAudioProcessTerminalBase::prepare(config));
    m_procs.clear();
    for (int ch = 0; ch < config.maxChannels; ++ch) {
        auto p = std::make_unique<CModELoud>();
        p->start();
        p->prepare(config.maxSampleRate, config.maxFrames());
        m_procs.push_back(std::move(p));
    }
    return {};
}

void CModELoudModule::updateParams() {
    for (auto& p : m_procs) p->setSampleRate(sampleRate());
}

void CModELoudModule::reset() {
    for (auto& p : m_procs) p->reset();
}

void CModELoudModule::process(int frames) {
    for (int ch = 0; ch < m_channels; ++ch) m_procs[size_t(ch)]->process(input(0).ch[ch], outputBuffer(0, ch), frames);
}
