#pragma once
// COversampledSection: the one owner of an oversampled part of a graph. It
// holds the up chain (before the part), the down chain (after it), the single
// factor-switch state both follow, and the padding rule that makes the whole
// section end on a whole host sample. The graph sees it through its two ends,
// the CModResampler modules "modUpsampler" and "modDownsampler" (the up end
// opens a section, the next down end in the same container closes it; a lone
// end owns a section of its own).
//
// Chains (stage k = 1 ... 3 runs at 2^k times the host rate; the steep
// filters sit at the host-rate boundary):
//   up:   modInterpInterp<k>, modFilter<k> for k = 1 ... o
//   down: modFilter<k>, modInterpDecim<k> for k = o ... 1
// The nodes are children of the end they belong to, so their parameters keep
// that end's names.
//
// Each stage whose kernel has at most polyphaseTapLimit() taps runs in
// polyphase form (PolyphaseStage.h): the same output within rounding, without
// the inserted zeros and the samples thrown away. Longer kernels run the
// stage's nodes (the FIR module's block convolution). Measured
// (Bench/README), the direct polyphase sums beat the block convolution for
// the 39-tap soft filters and lose to it for the 367- and 1017-tap steep
// ones, hence the limit. A kernel change of a polyphase stage takes effect
// at once rather than with the FIR module's cross-fade (the resamplers'
// filters keep their designs while playing).
//
// Changing the factor while playing: the section fades out over the
// cross-fade length (host samples), switches both chains at one chunk
// boundary (the new nodes start from rest) and fades back in; the down end
// stays silent after the switch for the section's latency, while what the
// modules in between still hold at the old rate passes. The fade-out is
// counted once per chunk, by the up end when the section has one.
//
// Threads: build and prepare on the main thread; the rest on the audio thread
// (nothing allocates there).

#include <array>
#include <vector>

#include "Audio/Graph/ProcessBase.h"
#include "Audio/Processes/Resampling/PolyphaseStage.h"

class CAudioProcessBuild;
class CAudioProcessDefBase;
class CModFilterFIRModule;

class COversampledSection {
public:
    static constexpr int kMaxOctaves = 3;
    enum End { kUp = 0, kDown = 1 };

    // One 2x stage of an end: its rate changer and its low-pass.
    struct Stage {
        CAudioProcessBase* rate = nullptr;
        CModFilterFIRModule* filter = nullptr;
    };

    // Creates the stages of an end as children of `owner` (main thread).
    CError buildEnd(End end, CAudioProcessBase& owner, const CAudioProcessDefBase& ownerDef, CAudioProcessBuild& b);
    bool hasEnd(End end) const { return m_ends[end].owner != nullptr; }

    // Prepares the stages of an end for its highest input rate (config) and
    // output rate, and its buffers; then start() sets it going at the factor
    // asked for, from rest.
    CError prepare(End end, const CProcessConfig& config, double maxOutRate, double xfadeSeconds);
    void start(End end, double rate, int channels, int leastOctaves);
    // Upper bound of an end's latency, in seconds (lowestRate: the lowest
    // rate at the end's host side).
    double maxLatencySeconds(End end, double lowestRate) const;

    // The octaves the parameters ask for (0 ... 3).
    void setRequested(int octaves);
    bool readyForBypass(End end, bool bypass, bool playing);
    // Chunk start of an end: the leader switches when the fade-out has ended,
    // an end below its least factor forces it, and the end's chain follows.
    void update(End end, double rate, int channels, double inputLatency, int leastOctaves);
    // Runs an end's chain over `frames` input frames; returns the output
    // channels in out (owned by the chain, by `work` or by `fadeOut`).
    void process(End end, const CPortBuffers& in, int channels, int frames, double* const* fadeOut,
                 const double** out);
    void reset();

    int octaves() const { return m_octaves; }
    int targetOctaves() const { return m_target; }
    bool switching(End end) const;
    double latency(End end) const { return m_ends[end].latency; }
    int padding() const { return m_pad; }
    double rateFactor(End end) const {
        const double f = double(1 << m_octaves);
        return end == kUp ? f : 1.0 / f;
    }
    std::vector<CString> chainNames(End end) const;
    // Stages with kernels up to this many taps run in polyphase form (0:
    // every stage runs its nodes, the straightforward form). Main thread,
    // before prepare.
    static constexpr size_t kDefaultPolyphaseTapLimit = 64;
    void setPolyphaseTapLimit(size_t taps) { m_polyTapLimit = taps; }
    size_t polyphaseTapLimit() const { return m_polyTapLimit; }
    // Whether stage k (1 ... 3) of an end runs in polyphase form now.
    bool polyphase(End end, int k) const { return m_ends[end].form[size_t(k - 1)] == kPolyphaseForm; }
    CAudioProcessBase* node(End end, const CString& name) const;

private:
    enum Form { kNodeForm, kPolyphaseForm };
    struct EndState {
        CAudioProcessBase* owner = nullptr;
        std::array<Stage, kMaxOctaves> stages{};
        std::array<CPolyphaseStage, kMaxOctaves> poly;
        std::array<Form, kMaxOctaves> form{};
        std::array<CAudioProcessBase*, 2 * kMaxOctaves> chain{};
        int chainLength = 0;
        double rate = 0.0;
        int channels = 0;
        double latency = 0.0;
        double inputLatency = 0.0;  // as the last update saw it
        bool prepared = false;
        // Fade back in after a switch: position, and (down end) the silence
        // that comes first.
        int inPos = 1, mute = 0;
        bool muteDue = false;  // a switch while playing: set the silence at the next update
        std::vector<double> gain;
        std::vector<double> work;  // channels x workFrames: the faded or padded signal
        int workFrames = 0;
    };

    End leader() const { return m_ends[kUp].owner ? kUp : kDown; }
    void switchTo(int octaves);
    void updateChain(End end, double inputLatency);
    // The fade-out weights of this chunk (counted once, by the leader).
    void countFadeOut(int frames);
    // The end's weights for this chunk in its gain buffer; false when all are 1.
    bool fadeGains(End end, int frames);
    // The down end's input delayed by the padding, in out; or, with head
    // given (for a first stage that takes its block in two parts), the
    // block's first samples from the ring in head and the rest where it is
    // in out. Returns the samples in head (0 without).
    int padInput(const CPortBuffers& in, int channels, int frames, const double** out, const double** head);
    // Chooses each active stage's form and installs its kernel.
    void choosePolyphase(End end);

    std::array<EndState, 2> m_ends;
    int m_octaves = 0, m_target = 0;
    int m_requested = 0;      // what the parameters ask for
    bool m_toBypass = false;  // running down to 1X before being bypassed
    bool m_playing = false;   // audio passed since prepare or reset
    bool m_switched = false;  // the last update of the leader switched

    // Fade-out of factor changes, in host samples: weight (1 - cos(pi pos / L)) / 2.
    int m_fadeLength = 1, m_outPos = 1;
    std::vector<double> m_outGain;  // the weights of the chunk the leader counted
    int m_outFrames = 0;

    // Down end padding: a short delay at its input rate.
    static constexpr int kPadRing = 1 << kMaxOctaves;
    std::vector<double> m_padRing;  // channels x kPadRing
    std::vector<double> m_padHead;  // channels x kPadRing: a block's first samples from the ring
    unsigned m_padWrite = 0;
    int m_pad = 0;
    size_t m_polyTapLimit = kDefaultPolyphaseTapLimit;
};
