// CAudioProcess: which links meeting at a child can never need a delay.
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
