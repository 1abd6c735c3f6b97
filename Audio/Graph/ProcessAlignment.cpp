// CAudioProcess: aligning the links that meet at a port, and which of them
// can never need a delay.
//
// A child's links are aligned to the latest of them. Latency only grows
// along the automatic chain: of two in-order children that both take part,
// the later one in the document is fed, through the chain, by the earlier
// one, so its output is at least as late. And nothing is earlier than the
// container's input. A port fed only by in-order children that come after
// every source of the child's other ports therefore always carries the latest
// signal: its delay line is never asked for a delay and needs no history.
// (That is the processed path where it meets its dry copy, a gain where it
// meets the audio it applies to, and so on.)

#include <algorithm>
#include <utility>

#include "Audio/Graph/Process.h"
#include "Audio/Graph/ProcessDef.h"

void CAudioProcess::possibleSources(int i, int p, std::vector<int>& out) const {
    out.clear();
    const Child& c = m_children[size_t(i)];
    const auto* def = static_cast<const CAudioProcessDef*>(m_def);
    if (p == 0 && def->isAutoLinks() && !c.def->isOutOfOrder()) {
        // The chain link comes from the nearest in-order child before it
        // that is not bypassed, or from the container's input.
        int j = i - 1;
        for (; j >= 0; --j) {
            const Child& prev = m_children[size_t(j)];
            if (prev.def->isOutOfOrder()) continue;
            out.push_back(j);
            if (prev.def->bypassStateId() < 0) break;
        }
        if (j < 0) out.push_back(-1);
    }
    for (const LinkRef& l : m_links)
        if (l.dst == i && l.dstPort == p) out.push_back(l.src);
}

bool CAudioProcess::neverDelayed(int i, int p) const {
    const Child& c = m_children[size_t(i)];
    std::vector<int> mine, others;
    possibleSources(i, p, mine);
    if (mine.empty()) return false;
    // Several links at once share the port's delay lines in the order they
    // were added: keep the history there.
    int explicitLinks = 0;
    for (const LinkRef& l : m_links) explicitLinks += l.dst == i && l.dstPort == p;
    const auto* def = static_cast<const CAudioProcessDef*>(m_def);
    const bool chained = p == 0 && def->isAutoLinks() && !c.def->isOutOfOrder();
    if (explicitLinks + (chained ? 1 : 0) > 1) return false;
    int earliest = int(m_children.size());
    for (int s : mine) {
        if (s < 0 || m_children[size_t(s)].def->isOutOfOrder()) return false;
        earliest = std::min(earliest, s);
    }
    for (int q = 0; q < int(c.ports.size()); ++q) {
        if (q == p) continue;
        possibleSources(i, q, others);
        for (int t : others) {
            if (t < 0) continue;
            if (m_children[size_t(t)].def->isOutOfOrder() || t > earliest) return false;
        }
    }
    return true;
}

void CAudioProcess::combineLinks(InPort& port, int comboMode, int channels, int frames, double* const* dst,
                                 const double** result) {
    // Each link's aligned samples are handed on where the delay allows (the
    // source's own buffer under a zero delay, a span of the ring otherwise);
    // only a combination of several links is written into dst.
    const size_t n = port.links.size();
    for (int ch = 0; ch < channels; ++ch) {
        if (n == 0) {
            result[ch] = std::as_const(m_zero).data();
            continue;
        }
        const InLink& l0 = port.links[0];
        const double* acc = port.delays[0].pass(ch, sourceChannel(l0.src, l0.srcPort, ch), dst[ch], frames);
        if (n == 1) {
            result[ch] = acc;
            continue;
        }
        double* out = dst[ch];
        double* scratch = port.gather.channel(1, ch);
        for (size_t k = 1; k < n; ++k) {
            const InLink& l = port.links[k];
            const double* b = port.delays[k].pass(ch, sourceChannel(l.src, l.srcPort, ch), scratch, frames);
            if (comboMode == 2)
                for (int i = 0; i < frames; ++i) out[i] = std::max(acc[i], b[i]);
            else
                for (int i = 0; i < frames; ++i) out[i] = acc[i] + b[i];
            acc = out;
        }
        if (comboMode == 1) {
            const double inv = 1.0 / double(n);
            for (int i = 0; i < frames; ++i) out[i] *= inv;
        }
        result[ch] = out;
    }
    for (size_t k = 0; k < n; ++k) port.delays[k].endBlock(frames);
}
