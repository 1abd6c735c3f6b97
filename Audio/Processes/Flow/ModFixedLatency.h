#pragma once
// CModFixedLatency: delays every signal it receives so that its output lies a
// fixed latency D = round("latency-sec" · SR) + "latency-samples" behind the
// input of the path it belongs to, whatever the work before it adds: with an
// upstream latency U the signals are delayed by D − U (never less than 0).
//
// Two kinds of change move the delay, both without a jump:
// - Another rate changes D for the same signal: the delay line reads at the
//   old and the new position at once and cross-fades from one to the other
//   (raised cosine over the fade length).
// - Another upstream latency means that the signal arriving from now on
//   comes from a different path (a stage of the path was switched, or its
//   latency changed), aligned differently from what is already in the line.
//   The output keeps reading the old signal at the old delay while it lasts,
//   holds its last value once it runs out, and cross-fades from there to the
//   new signal at the new delay once that has reached its read position.
//   With a shorter path the new signal leaves a gap of the latency
//   difference; with a longer one its first samples are what the added stage
//   still held from before, so the fade waits for the old signal to run out
//   in either case.
// A change requested while another is under way waits for its end; a later
// request replaces a waiting one. Until audio has passed after prepare() or
// reset(), changes apply at once.
//
// Storage is allocated by prepare() for D at that rate (the most any lower
// rate needs); nothing else allocates.

#include <cstdint>
#include <span>
#include <vector>

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Graph/SampleBuffer.h"

class CModFixedLatency : public CModProcessorBase {
public:
    // The "latency-sec" and "latency-samples" attributes.
    void setLatency(double seconds, int samples);

    // D = round(seconds · sampleRate) + samples.
    static int delayFor(double seconds, int samples, double sampleRate);

    // Samples over which a change of the delay is cross-faded (0: at once).
    void setFadeLength(int samples) { m_fadeLen = samples > 0 ? samples : 0; }
    int fadeLength() const { return m_fadeLen; }

    // lanes: the number of signals delayed together (one per input port and
    // channel). Sizes the line for D at this rate and delays by D − U.
    void prepare(double sampleRate, int maxBlock, int lanes);
    // Another rate at or below the prepared one: D follows (same signal).
    void setSampleRate(double sampleRate);
    // The latency of the signals arriving from now on.
    void setUpstreamLatency(int samples);
    // Clears the history; the requested delay applies at once.
    void reset();

    // Delays the first min(in.size(), out.size(), lanes()) lanes; in[l] may
    // equal out[l]. frames may be any length.
    void process(std::span<const double* const> in, std::span<double* const> out, int frames);

    // The delay this node adds, in samples (the last one requested).
    int latency() const { return m_hasPending ? m_pendingDelay : m_transition ? m_to : m_delay; }
    // D: the latency of the output relative to the path's input.
    int totalLatency() const { return m_total; }
    bool fading() const { return m_transition || m_hasPending; }
    int lanes() const { return int(m_last.size()); }

private:
    void request(bool newSignal);
    void startTransition();
    template <bool Fading>
    void run(std::span<const double* const> in, std::span<double* const> out, size_t lanes, int frames);

    double m_seconds = 0.0;
    int m_samples = 0;
    int m_total = 0;     // D
    int m_upstream = 0;  // U
    int m_fadeLen = 0;

    CSampleBuffer m_ring;        // lanes × size, size a power of two
    size_t m_usedLanes = 0;      // lanes written since prepare or reset
    unsigned m_size = 1, m_mask = 0;
    int64_t m_n = 0;              // running number of the next sample
    int m_delay = 0;              // the delay in effect while no transition runs
    bool m_fresh = true;          // no audio since prepare or reset
    int64_t m_signalStart = 0;    // sample number where the arriving signal began

    // A change waiting to start.
    bool m_hasPending = false;
    bool m_pendingNewSignal = false;
    int m_pendingDelay = 0;
    int64_t m_pendingStart = 0;

    // The change under way: read the old signal at m_from until m_fromEnd
    // (then hold), fade to m_to from m_fadeStart over m_fadeLen samples.
    bool m_transition = false;
    int m_from = 0, m_to = 0;
    int64_t m_fromEnd = 0, m_fadeStart = 0;
    int m_transFadeLen = 0;
    std::vector<double> m_held;  // per lane: the last value of the old signal
    std::vector<double> m_last;  // per lane: the last output
};
