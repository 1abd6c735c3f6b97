#pragma once
// CModELoud (audio:modELoud): the loudness weighting of the evaluation
// branch. Before the branch rectifies and levels input and output to match
// their loudness, both pass this stage, so that the match follows what the
// ear weighs rather than the plain level: bass counts less, the presence
// range more, the very top slightly less. CModELoud is the processor of one
// channel, CModELoudModule the module, CModELoudDef its definition.
//
// Design: four shelving biquads of the cookbook in the Q form (Q = 1/√2),
// frequencies limited to 0.45 of the rate:
//   low shelf   60 Hz   −9 dB     deep bass
//   low shelf  200 Hz   −6 dB     bass
//   high shelf 1.8 kHz  +5 dB     presence
//   high shelf   9 kHz  −6 dB     air
// The cascade is then scaled so that it passes 1 kHz at exactly 0 dB. The
// stage adds no latency.
//
// No parameters; the output is the weighted signal.

#include <array>
#include <memory>
#include <vector>

#include "Audio/Filters/FilterSection.h"
#include "Audio/Processes/Filters/SectionChain.h"
#include "Audio/Graph/ProcessTerminal.h"

// The weighting sections for a rate.
std::array<CFilterSection, 4> designELoudWeighting(double sampleRate);

class CModELoud : public CModProcessorBase {
public:
    void prepare(double sampleRate, int maxBlock);
    // Recomputes the sections (no allocation).
    void setSampleRate(double sampleRate);
    void reset() { m_chain.reset(); }
    // in may equal out.
    void process(const double* in, double* out, int frames);
    const std::array<CFilterSection, 4>& sections() const { return m_chain.sections(); }

private:
    double m_rate = 0.0;
    CSectionChain<4> m_chain;
};

class CModELoudModule : public CAudioProcessTerminalBase {
public:
    CError prepare(const CProcessConfig& config) override;
    void process(int frames) override;
    void reset() override;

protected:
    void updateParams() override;

private:
    std::vector<std::unique_ptr<CModELoud>> m_procs;
};

using CModELoudDef = CModDefT<CModELoudModule>;
