#pragma once
// A delay line for aligning paths of different latency where they meet.
// Sized when prepared; changing the delay on the audio thread never
// allocates. A change of delay cross-fades from the old to the new read
// position with a raised-cosine weight.

#include <memory>
#include <vector>

#include "Audio/Graph/SampleBuffer.h"

class CAlignDelay {
public:
    // Allocates for `channels` channels and delays up to maxDelay samples.
    void prepare(int channels, int maxDelay, int fadeLength);
    bool prepared() const { return !m_rings.empty(); }
    int maxDelay() const { return m_size - 1; }

    // Sets the delay (clamped to the prepared maximum). Until audio has passed
    // since preparation or reset, the new delay applies at once.
    void setDelay(int delay);
    int delay() const { return m_target; }
    void reset();

    // Delays `frames` samples of channel ch from in into out.
    void process(int ch, const double* in, double* out, int frames);
    // The same samples without copying them out where that can be avoided:
    // under a steady delay of zero the result is `in` itself, under another
    // steady delay a span of the ring when the block's read does not wrap
    // around its end; otherwise `out` after filling it. A span of the ring
    // holds until the channel's next block.
    const double* pass(int ch, const double* in, double* out, int frames);
    // Advances the shared state after every channel of a block ran.
    void endBlock(int frames);

private:
    // Writes a block into the ring at the write position (only its last
    // ring's worth when the block is longer: the rest would be overwritten).
    void writeRing(double* buf, const double* in, int frames) const;

    // One ring per channel: channels that never carry signal take no memory
    // and cost nothing to reset.
    std::vector<CSampleBuffer> m_rings;
    int m_channels = 0, m_size = 0, m_write = 0;
    int m_filled = 0;  // slots written since the last reset (from slot 0 on)
    int m_current = 0, m_target = 0;
    int m_fadeLength = 0, m_fadePos = 0;  // fade from m_current to m_target in progress
    std::shared_ptr<const std::vector<double>> m_fadeCurve;  // raised-cosine weights, shared
    const double* m_fade = nullptr;                          // its data
    bool m_fresh = true;                  // no audio since reset
};
