#pragma once
// CModBypass: the bypass and group-solo switch of one channel. Its output is
// one of three sources: the processed signal (port 0), the unprocessed signal
// (port 1, while `enable` is on) or the tiny noise (while the channel is muted
// by group solo; mute wins over bypass). A change of source is a cross-fade
// over "xfade-length" seconds with equal-gain raised-cosine weights; a change
// arriving during a fade starts a new fade from the current mix, so the
// output never jumps.

#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Processes/Gain/TinyNoise.h"

class CModBypass : public CModProcessorBase {
public:
    // Module parameters in index order.
    struct Params {
        bool enable = false;     // pass the unprocessed input
        bool groupSolo = false;  // the channel is muted by group solo
    };

    enum Source { kProcessed = 0, kUnprocessed = 1, kNoise = 2, kSourceCount = 3 };

    // The "xfade-length" attribute in seconds (the default cross-fade unless set).
    void setXfadeLength(double seconds) { m_xfadeSec = seconds; }

    void prepare(double sampleRate, int maxBlock);
    // The fade length for another rate; ends any fade. Never allocates.
    void setSampleRate(double sampleRate);
    void setParams(const Params& p);
    // Ends any fade: the output switches to the current source at once.
    void reset();

    // out may equal either input.
    void process(const double* processed, const double* unprocessed, double* out, int frames);

    Source source() const { return m_target; }
    bool fading() const { return m_fadePos < m_fadeLen; }
    int fadeLength() const { return m_fadeLen; }

private:
    double m_xfadeSec = audio::kDefaultCrossfadeSeconds;
    int m_fadeLen = 0;
    int m_fadePos = 0;
    Source m_target = kProcessed;
    double m_from[kSourceCount] = {1.0, 0.0, 0.0};  // weights at the start of the fade
    CTinyNoise m_noise;
};
