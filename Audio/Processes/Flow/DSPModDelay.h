#pragma once
// The delay line used by the latency modules.
//
// CDSPModDelayBase holds what all lanes share: the delay D in samples, the
// cross-fade length and the progress of a change. A change of D reads from
// the old and the new position at once and moves from one to the other with
// the raised-cosine weight t(k) = (1 − cos(π·k/L))/2, k = 1…L, so the last
// faded sample is exactly the new delay. A change requested during a fade
// waits until that fade has ended, then fades from there.
//
// CDSPModDelay adds one ring buffer of 64-bit samples per lane, sized when
// prepared; processing never allocates. A delay of 0 passes the input
// through unchanged.

#include <span>
#include <vector>

#include "Audio/Graph/SampleBuffer.h"

class CDSPModDelayBase {
public:
    // Cross-fade length in samples (0: changes take effect at once).
    void setFadeLength(int samples) { m_fadeLen = samples > 0 ? samples : 0; }
    int fadeLength() const { return m_fadeLen; }

    // Requests the delay D (clamped to 0…maxDelay()).
    void setDelay(int samples);
    // The delay being faded to or in effect.
    int delay() const { return m_pending >= 0 ? m_pending : m_delay; }
    bool fading() const { return m_fadePos < m_fadeLen && m_oldDelay != m_delay; }
    int maxDelay() const { return m_maxDelay; }

protected:
    // Ends any fade at the requested delay.
    void settle();
    // Starts the waiting change once the current fade is over.
    void startPending();

    int m_maxDelay = 0;
    int m_delay = 0;     // target of the current fade, or the delay in effect
    int m_oldDelay = 0;  // source of the current fade
    int m_pending = -1;  // requested while fading
    int m_fadeLen = 0;
    int m_fadePos = 0;
};

class CDSPModDelay : public CDSPModDelayBase {
public:
    // Allocates lanes ring buffers able to hold maxDelay samples of history.
    void prepare(int lanes, int maxDelay);
    // Clears the history and ends any fade at the requested delay.
    void reset();

    int lanes() const { return int(m_rings.size()); }

    // Delays the first min(in.size(), out.size(), lanes()) lanes by the
    // current delay; in[l] may equal out[l]. All lanes see the same fade (the
    // lanes left out keep their history). frames may be any length.
    void process(std::span<const double* const> in, std::span<double* const> out, int frames);

private:
    std::vector<CSampleBuffer> m_rings;  // lanes that never carry signal take no memory
    unsigned m_mask = 0;
    unsigned m_write = 0;
};
