#pragma once
// CModResampler (audio:modResampler): the up- or downsampler around the
// oversampled part of the graph ("is-upsampler"). It owns the nodes of the
// 2x stages and runs the active ones as one chain per block.
//
// Slots: 0 "mode" (0 Auto, 1 1X, 2 2X, 3 4X, 4 8X) and 1 "host-mode" (the
// octaves "Auto" stands for). Octaves o = host-mode when mode is 0, else
// mode - 1 (both rounded; 0 ... 3).
//
// Nodes, built once from the shared definitions (stage k = 1 ... 3 runs at
// 2^k times the host rate; the steep filter sits at the host-rate boundary):
//   upsampler:   modInterpInterp<k> (shared::audio.modUpsamplerInterpolator)
//                modFilter<k> (modUpsamplerFilterSteep for k = 1, else
//                modResamplerFilterSoft); chain interp 1, filter 1, interp 2, ...
//   downsampler: modFilter<k> (modDownsamplerFilterSteep for k = 1, else soft)
//                modInterpDecim<k> (shared::audio.modDownsamplerDecimator);
//                chain filter o, decim o, ..., filter 1, decim 1
//
// Latency (output-rate samples): the chain's latency. The downsampler also
// pads, at its input rate, the latency of the whole oversampled section
// (its input latency, measured from the container's input, plus its chain)
// up to a multiple of 2^o, so that the section ends on a whole host sample.
//
// Changing the factor while playing: both resamplers fade out over
// "xfade-length" (host samples), switch at the same chunk boundary (their
// chains' nodes start from rest), and fade back in; the downsampler stays
// silent after the switch for the section's latency, while what the modules
// in between still hold at the old rate passes. Nothing is allocated.

#include <array>
#include <vector>

#include "Audio/Graph/ProcessTerminal.h"

class CModResampler : public CAudioProcessTerminalBase {
public:
    static constexpr int kMaxOctaves = 3;

    CError prepare(const CProcessConfig& config) override;
    bool update() override;
    void process(int frames) override;
    void reset() override;

    double maxOutputRate(double maxInputRate) const override;
    double maxLatencySeconds() const override;
    double rateFactor() const override;
    int outputFrames(int inputFrames) const override;
    double latency() const override { return m_latency; }
    const double* outputChannel(int port, int ch) const override;

    bool isUpsampler() const { return m_up; }
    // The octaves of the chain in effect, and those the parameters ask for.
    int octaves() const { return m_octaves; }
    int targetOctaves() const { return m_target; }
    // True while a factor change is fading.
    bool switching() const { return m_target != m_octaves || m_inPos < m_fadeLength || m_mute > 0; }
    // The padding in input-rate samples (downsampler).
    int padding() const { return m_pad; }
    // Names of the active nodes in processing order.
    std::vector<CString> chainNames() const;
    CAudioProcessBase* node(const CString& name) const;

protected:
    CError moduleSetup(CAudioProcessBuild& b) override;
    void updateParams() override;
    // Bypassed while playing, the resampler first runs down to its 1X
    // pass-through (fading out, switching, fading in); only then is the
    // bypass seamless. Brought back, it leaves 1X the same way.
    bool readyForBypass(bool bypass, bool playing) override;

private:
    int leastOctaves() const;
    void switchTo(int octaves);
    void updateNodes();
    // Fills m_gain with this block's fade weights; false when all are 1.
    bool fadeGains(int frames);
    void padInput(int frames);

    bool m_up = true;
    std::array<CAudioProcessBase*, kMaxOctaves> m_stages{};   // interpolator / decimator of stage k
    std::array<CAudioProcessBase*, kMaxOctaves> m_filters{};  // low-pass of stage k
    std::array<CAudioProcessBase*, 2 * kMaxOctaves> m_chain{};
    int m_chainLength = 0;
    int m_octaves = 0, m_target = 0;
    int m_paramTarget = 0;     // what the parameters ask for
    bool m_toBypass = false;   // running down to 1X before being bypassed
    double m_latency = 0.0;
    bool m_playing = false;  // audio passed since prepare or reset

    // Fade of factor changes, in host samples: weight (1 - cos(pi pos / L)) / 2.
    int m_fadeLength = 1, m_inPos = 1, m_outPos = 1, m_mute = 0;
    std::vector<double> m_gain;
    std::vector<double> m_work;  // channels x frames: the faded or padded signal
    int m_workFrames = 0;
    const double* m_final[audio::kMaxChannels] = {};

    // Downsampler padding: a short delay at the input rate.
    static constexpr int kPadRing = 1 << kMaxOctaves;
    std::vector<double> m_padRing;  // channels x kPadRing
    unsigned m_padWrite = 0;
    int m_pad = 0;
};

using CModResamplerDef = CModDefT<CModResampler>;
