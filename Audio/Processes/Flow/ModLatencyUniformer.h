#pragma once
// CModLatencyUniformer: pads the whole chain to one total latency per host
// sample rate, taken from the "latencies" table ("44100=1041;48000=1080;…").
// The first entry whose rate is at least the rounded host rate gives the
// target T; with the upstream latency U the node adds D = T − U, so changes
// upstream (such as another oversampling factor) leave the total unchanged.
// A change of D is cross-faded by the delay line over "xfade-length".

#include <span>
#include <vector>

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Flow/DSPModDelay.h"
#include "Core/Error.h"

class CModLatencyUniformer : public CModProcessorBase {
public:
    // What padding to a target found.
    enum class Status { Ok, UnsupportedRate, TooHighLatency };

    struct Entry {
        int rate = 0;
        int samples = 0;
    };

    // Parses the "latencies" attribute; the table is left alone on an error.
    CError setLatencies(std::string_view text);
    const std::vector<Entry>& latencies() const { return m_table; }

    // The "xfade-length" attribute in seconds (the default cross-fade unless set).
    void setXfadeLength(double seconds) { m_xfadeSec = seconds; }

    // The first entry whose rate is at least round(rate), or null.
    const Entry* entryFor(double rate) const;

    // Sizes the delay for the largest target of any rate up to this one (of
    // the whole table when the rate lies beyond it) and sets the delay to 0.
    void prepare(double sampleRate, int maxBlock, int lanes);
    // Another rate at or below the prepared one: the cross-fade length
    // follows and the delay is padded anew for the last upstream latency.
    // Never allocates.
    Status setSampleRate(double sampleRate);

    // Sets D = T − U for the current rate. An unsupported rate or U above T
    // adds no delay; processing goes on. Never allocates.
    Status padUpstream(int upstream);
    // The same, with the diagnostic as an error record (allocates on failure).
    CError setUpstreamLatency(int upstream);

    void reset() { m_delay.reset(); }
    void process(std::span<const double* const> in, std::span<double* const> out, int frames) {
        m_delay.process(in, out, frames);
    }

    // The delay this node adds (the one being faded to during a change).
    int addedLatency() const { return m_delay.delay(); }
    // The chain's total latency at this node: U + D.
    int totalLatency() const { return m_upstream + m_delay.delay(); }
    bool fading() const { return m_delay.fading(); }
    int fadeLength() const { return m_delay.fadeLength(); }
    double sampleRate() const { return m_rate; }

private:
    std::vector<Entry> m_table;
    double m_xfadeSec = audio::kDefaultCrossfadeSeconds;
    double m_rate = 44100.0;
    int m_upstream = 0;
    CDSPModDelay m_delay;
};
