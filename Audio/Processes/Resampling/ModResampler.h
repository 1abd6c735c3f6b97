#pragma once
// CModResampler (audio:modResampler): an end of an oversampled section
// ("is-upsampler": the up end before the oversampled part, else the down end
// after it). The section (OversampledSection.h) owns both chains and the
// factor-switch state; the up end opens it and the next down end in the same
// container closes it, so the two ends of a section always agree. A down end
// without an up end before it (or an up end left alone) runs a section of
// its own.
//
// Slots: 0 "mode" (0 Auto, 1 1X, 2 2X, 3 4X, 4 8X) and 1 "host-mode" (the
// octaves "Auto" stands for). Octaves o = host-mode when mode is 0, else
// mode - 1 (both rounded; 0 ... 3). The section follows the up end's slots.
//
// Latency (output-rate samples): the end's chain. The down end also pads, at
// its input rate, the latency of the whole section (its input latency,
// measured from the container's input, plus its chain) up to a multiple of
// 2^o, so that the section ends on a whole host sample.

#include <memory>
#include <vector>

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Resampling/OversampledSection.h"

class CModResampler : public CAudioProcessTerminalBase {
public:
    static constexpr int kMaxOctaves = COversampledSection::kMaxOctaves;

    CModResampler();
    ~CModResampler() override;

    CError prepare(const CProcessConfig& config) override;
    bool update() override;
    void process(int frames) override;
    void reset() override;

    double maxOutputRate(double maxInputRate) const override;
    double maxLatencySeconds() const override;
    double rateFactor() const override { return m_section->rateFactor(m_end); }
    int outputFrames(int inputFrames) const override {
        return isUpsampler() ? inputFrames << m_section->octaves() : inputFrames >> m_section->octaves();
    }
    double latency() const override { return m_section->latency(m_end); }
    const double* outputChannel(int port, int ch) const override;

    bool isUpsampler() const { return m_end == COversampledSection::kUp; }
    const COversampledSection& section() const { return *m_section; }
    COversampledSection& section() { return *m_section; }
    // The octaves of the chains in effect, and those the parameters ask for.
    int octaves() const { return m_section->octaves(); }
    int targetOctaves() const { return m_section->targetOctaves(); }
    // True while a factor change is fading at this end.
    bool switching() const { return m_section->switching(m_end); }
    // The down end's padding in its input-rate samples.
    int padding() const { return m_section->padding(); }
    // Names of this end's active nodes in processing order.
    std::vector<CString> chainNames() const { return m_section->chainNames(m_end); }
    CAudioProcessBase* node(const CString& name) const { return m_section->node(m_end, name); }

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void updateParams() override;
    // Bypassed while playing, the section first runs down to its 1X
    // pass-through (fading out, switching, fading in); only then is the
    // bypass seamless. Brought back, it leaves 1X the same way.
    bool readyForBypass(bool bypass, bool playing) override;

private:
    // The up end before this down end in its container whose section is still open.
    CModResampler* openUpEnd() const;
    int leastOctaves() const;

    COversampledSection::End m_end = COversampledSection::kUp;
    std::unique_ptr<COversampledSection> m_ownSection;  // the up end's, or a lone end's
    COversampledSection* m_section = nullptr;
    bool m_closed = false;  // an up end whose section a down end has joined
    const double* m_final[audio::kMaxChannels] = {};
};

using CModResamplerDef = CModDefT<CModResampler>;
