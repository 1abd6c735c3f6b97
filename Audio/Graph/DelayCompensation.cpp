#include "Audio/Graph/DelayCompensation.h"

#include <algorithm>
#include <cmath>

#include "Platform/Sync.h"

namespace {

// The raised-cosine weights of a fade of `length` samples. Every delay line
// of a graph, and of every instance, fades over the same few lengths, so each
// table is made once and then shared, read-only (main thread).
std::shared_ptr<const std::vector<double>> fadeCurve(int length) {
    static plat::CCritSec lock{4000};
    static std::vector<std::shared_ptr<const std::vector<double>>> curves;
    plat::CLock hold(lock);
    for (const auto& c : curves)
        if (c->size() == size_t(length)) return c;
    auto curve = std::make_shared<std::vector<double>>(size_t(length));
    for (int i = 0; i < length; ++i) (*curve)[size_t(i)] = 0.5 - 0.5 * std::cos(M_PI * (i + 1) / double(length));
    // A handful of lengths in practice; the oldest goes beyond that.
    if (curves.size() >= 16) curves.erase(curves.begin());
    curves.push_back(curve);
    return curve;
}

}  // namespace

void CAlignDelay::prepare(int channels, int maxDelay, int fadeLength) {
    m_channels = channels;
    m_size = std::max(1, maxDelay + 1);
    m_rings.resize(size_t(std::max(channels, 0)));
    for (auto& ring : m_rings) ring.allocate(size_t(m_size));
    m_filled = 0;  // fresh zeros
    m_fadeLength = std::max(1, fadeLength);
    if (!m_fadeCurve || m_fadeCurve->size() != size_t(m_fadeLength)) m_fadeCurve = fadeCurve(m_fadeLength);
    m_fade = m_fadeCurve->data();
    reset();
}

void CAlignDelay::reset() {
    // Writing starts at slot 0 after every reset, so only the first m_filled
    // slots can hold anything: a long ring that saw a few blocks is cleared
    // without touching (and mapping) the rest of its pages.
    for (auto& ring : m_rings) ring.zero(size_t(m_filled));
    m_filled = 0;
    m_write = 0;
    m_current = m_target;
    m_fadePos = 0;
    m_fresh = true;
}

void CAlignDelay::setDelay(int delay) {
    delay = std::clamp(delay, 0, m_size - 1);
    if (delay == m_target) return;
    if (m_fresh) {
        m_current = m_target = delay;
        m_fadePos = 0;
        return;
    }
    // A change during a fade restarts it from the delay reached so far.
    if (m_fadePos > 0) m_current = m_target;
    m_target = delay;
    m_fadePos = m_current == m_target ? 0 : 1;
}

void CAlignDelay::process(int ch, const double* in, double* out, int frames) {
    double* buf = m_rings[size_t(ch)].data();
    const int size = m_size;
    int w = m_write;
    if (m_fadePos == 0) {
        // A steady delay d moves whole runs: each run of at most size - d
        // frames is written into the ring and then read from d behind. A run
        // so short never overwrites a slot it still has to read, so the
        // result is the per-sample write-then-read, copied in bulk.
        const int d = m_target;
        const int run = size - d;
        for (int i = 0; i < frames;) {
            const int len = std::min(frames - i, run);
            const int toEnd = std::min(len, size - w);
            std::copy_n(in + i, toEnd, buf + w);
            std::copy_n(in + i + toEnd, len - toEnd, buf);
            int r = w - d;
            if (r < 0) r += size;
            const int fromEnd = std::min(len, size - r);
            std::copy_n(buf + r, fromEnd, out + i);
            std::copy_n(buf, len - fromEnd, out + i + fromEnd);
            w += len;
            if (w >= size) w -= size;
            i += len;
        }
        return;
    }
    const int d0 = m_current, d1 = m_target;
    int fp = m_fadePos;
    for (int i = 0; i < frames; ++i) {
        buf[w] = in[i];
        int r0 = w - d0, r1 = w - d1;
        if (r0 < 0) r0 += size;
        if (r1 < 0) r1 += size;
        if (fp > 0 && fp <= m_fadeLength) {
            const double g = m_fade[fp - 1];
            out[i] = buf[r0] + (buf[r1] - buf[r0]) * g;
            ++fp;
        } else {
            out[i] = buf[r1];
        }
        if (++w == size) w = 0;
    }
}

void CAlignDelay::writeRing(double* buf, const double* in, int frames) const {
    const int size = m_size;
    const int skip = std::max(0, frames - size);
    int w = int((m_write + skip) % size);
    const int len = frames - skip;
    const int toEnd = std::min(len, size - w);
    std::copy_n(in + skip, toEnd, buf + w);
    std::copy_n(in + skip + toEnd, len - toEnd, buf);
}

const double* CAlignDelay::pass(int ch, const double* in, double* out, int frames) {
    const int d = m_target;
    if (m_fadePos != 0 || (d > 0 && frames > m_size - d)) {
        process(ch, in, out, frames);
        return out;
    }
    // A line that can never delay keeps no history.
    if (m_size == 1) return in;
    double* buf = m_rings[size_t(ch)].data();
    writeRing(buf, in, frames);
    // Under a zero delay the result is the input, however long the block
    // (the ring keeps its last `size` samples for a later change). Otherwise
    // a block of at most size - d frames reads only slots written before it
    // or by it: slot r + i holds what process() would copy to out[i].
    if (d == 0) return in;
    int r = m_write - d;
    if (r < 0) r += m_size;
    if (r + frames <= m_size) return buf + r;
    const int fromEnd = m_size - r;
    std::copy_n(buf + r, fromEnd, out);
    std::copy_n(buf, frames - fromEnd, out + fromEnd);
    return out;
}

void CAlignDelay::endBlock(int frames) {
    m_fresh = false;
    m_write = int((m_write + frames) % m_size);
    m_filled = std::min(m_size, m_filled + frames);
    if (m_fadePos > 0) {
        m_fadePos += frames;
        if (m_fadePos > m_fadeLength) {
            m_fadePos = 0;
            m_current = m_target;
        }
    }
}
