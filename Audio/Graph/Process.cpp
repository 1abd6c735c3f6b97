#include "Audio/Graph/Process.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

#include "Audio/Params/AudioParamFilter.h"
#include "Audio/Params/ParamAccess.h"
#include "Audio/Graph/ProcessBuild.h"
#include "Audio/Graph/ProcessDef.h"
#include "Audio/Graph/ProcessTerminal.h"
#include "Audio/Plugin/AudioDiagnostics.h"

namespace {
// Fade length of alignment delay changes, in seconds.
constexpr double kAlignFadeSeconds = audio::kDefaultCrossfadeSeconds;
}  // namespace

CAudioProcess::CAudioProcess() = default;
CAudioProcess::~CAudioProcess() = default;

// --- Building ------------------------------------------------------------------

CError CAudioProcess::addProcess(const CAudioProcessDefBase& def, const CString& name, CAudioProcessBuild& b) {
    for (const auto& c : m_children)
        if (c.name == name) return KEL_ERROR(kelstr_CAudioProcess_addProcess_DupeName, name);
    std::unique_ptr<CAudioProcessBase> proc = b.createProcess(def);
    proc->setName(name);
    proc->setTag(def.tag());
    proc->setGroup(m_group);
    CAudioProcessBase* raw = proc.get();
    attachChild(std::move(proc));
    Child c;
    c.name = name;
    c.def = &def;
    c.process = raw;
    c.isNode = def.tag() == "audio:modNode";
    c.isTerminal = dynamic_cast<CAudioProcessTerminalBase*>(raw) != nullptr;
    c.comboMode = def.inputComboMode();
    m_children.push_back(std::move(c));
    m_sequenceDirty = true;
    KEL_TRY(raw->build(def, b));
    return {};
}

CError CAudioProcess::build(const CAudioProcessDefBase& defBase, CAudioProcessBuild& b) {
    const auto* def = dynamic_cast<const CAudioProcessDef*>(&defBase);
    if (!def) return KEL_ERROR(kelstr_CAudioProcess_init_ProcessDefClassInvalid);
    m_def = def;
    KEL_TRY(b.createParams(*def, paramPrefix(), &m_params));
    for (const CAudioProcessDefBase* child : def->processes()) KEL_TRY(addProcess(*child, child->name(), b));

    auto indexOf = [&](const CString& n) -> int {
        if (n == "*") return -1;
        for (size_t i = 0; i < m_children.size(); ++i)
            if (m_children[i].name == n) return int(i);
        return -2;
    };
    for (const CAudioProcessLinkDef* l : def->links()) {
        LinkRef r;
        r.src = indexOf(l->srcName());
        r.dst = indexOf(l->dstName());
        if (r.src == -2 || r.dst == -2) continue;  // the definition checked the names
        r.srcPort = l->srcPort();
        r.dstPort = l->dstPort();
        r.bypassIds = l->bypassStateIds();
        m_links.push_back(std::move(r));
        if (m_links.back().src == -1) m_inPortCount = std::max(m_inPortCount, l->srcPort() + 1);
        if (m_links.back().dst == -1) m_outPortCount = std::max(m_outPortCount, l->dstPort() + 1);
    }
    // Parameter filters of this container derive parameters from others.
    for (const auto& child : def->children()) {
        auto* f = dynamic_cast<const CAudioParamFilter*>(child.get());
        if (!f) continue;
        Filter rec;
        rec.def = f;
        for (const CString& n : f->srcNames()) rec.src.push_back(b.resolveParam(*this, n));
        for (const CString& n : f->dstNames()) rec.dst.push_back(b.resolveParam(*this, n));
        rec.seen.assign(rec.src.size(), ~0u);
        m_filters.push_back(std::move(rec));
    }
    for (const CAudioProcessBypassStateDef* s : def->bypassStates()) {
        Bypass bp;
        bp.def = s;
        bp.p = b.resolveParam(*this, s->param());
        if (s->hasAndParam()) bp.q = b.resolveParam(*this, s->andParam());
        m_bypass.push_back(bp);
    }
    // Ports of each child and how many links may meet at them at once.
    for (size_t i = 0; i < m_children.size(); ++i) {
        Child& c = m_children[i];
        int ports = c.process->inputPortCount();
        std::vector<int> explicitInto(size_t(std::max(ports, 1)), 0);
        for (const LinkRef& l : m_links) {
            if (l.dst != int(i)) continue;
            if (l.dstPort >= int(explicitInto.size())) explicitInto.resize(size_t(l.dstPort + 1), 0);
            explicitInto[size_t(l.dstPort)]++;
        }
        const bool chained = def->isAutoLinks() && !c.def->isOutOfOrder();
        ports = int(explicitInto.size());
        c.process->setInputPortCount(ports);
        c.ports.resize(size_t(ports));
        int total = 0;
        c.maxLinksPerPort = 1;
        for (int p = 0; p < ports; ++p) {
            int n = explicitInto[size_t(p)] + (p == 0 && chained ? 1 : 0);
            c.ports[size_t(p)].links.reserve(size_t(std::max(n, 1)));
            c.maxLinksPerPort = std::max(c.maxLinksPerPort, n);
            total += n;
        }
        c.needsGather = total >= 2;
        // Port 0 feeds the chain or the container's output; other ports only
        // what links name them.
        uint32_t used = 1u;
        for (const LinkRef& l : m_links)
            if (l.src == int(i) && l.srcPort > 0 && l.srcPort < 32) used |= 1u << l.srcPort;
        c.process->setOutputPortsUsed(used);
    }
    m_outPorts.resize(size_t(m_outPortCount));
    m_scratch.assign(m_children.size(), 0);
    setInputPortCount(m_inPortCount);
    return {};
}

CAudioProcessBase* CAudioProcess::findProcess(const CString& name) const {
    for (const auto& c : m_children)
        if (c.name == name) return c.process;
    return nullptr;
}

// --- Preparation -------------------------------------------------------------------

double CAudioProcess::maxOutputRate(double maxInputRate) const {
    // Follow the chain of rate-changing children in document order.
    double r = maxInputRate;
    for (const auto& c : m_children)
        if (!c.def->isOutOfOrder()) r = c.process->maxOutputRate(r);
    return r;
}

int CAudioProcess::maxOutputChannels(int maxInputChannels) const {
    int ch = maxInputChannels;
    for (const auto& c : m_children)
        if (!c.def->isOutOfOrder()) ch = std::max(ch, c.process->maxOutputChannels(ch));
    return ch;
}

CError CAudioProcess::prepare(const CProcessConfig& config) {
    m_config = config;
    m_rate = config.maxSampleRate;
    const int n = int(m_children.size());
    // Static worst case: every child fed by everything that may precede it.
    std::vector<double> inRate(size_t(n), 0.0), outRate(size_t(n), 0.0);
    std::vector<int> inCh(size_t(n), 0), outCh(size_t(n), 0);
    const auto* def = static_cast<const CAudioProcessDef*>(m_def);
    for (int pass = 0; pass < 4; ++pass) {
        double chainRate = config.maxSampleRate;
        int chainCh = config.maxChannels;
        for (int i = 0; i < n; ++i) {
            Child& c = m_children[size_t(i)];
            double r = inRate[size_t(i)];
            int ch = inCh[size_t(i)];
            if (def->isAutoLinks() && !c.def->isOutOfOrder()) {
                r = std::max(r, chainRate);
                ch = std::max(ch, chainCh);
            }
            for (const LinkRef& l : m_links) {
                if (l.dst != i) continue;
                r = std::max(r, l.src < 0 ? config.maxSampleRate : outRate[size_t(l.src)]);
                ch = std::max(ch, l.src < 0 ? config.maxChannels : outCh[size_t(l.src)]);
            }
            if (r <= 0) r = config.maxSampleRate;
            if (ch <= 0) ch = config.maxChannels;
            inRate[size_t(i)] = r;
            inCh[size_t(i)] = ch;
            outRate[size_t(i)] = c.process->maxOutputRate(r);
            outCh[size_t(i)] = c.process->maxOutputChannels(ch);
            if (def->isAutoLinks() && !c.def->isOutOfOrder()) {
                // A bypassable child may be skipped: the chain keeps the larger of both.
                chainRate = c.def->bypassStateId() >= 0 ? std::max(chainRate, outRate[size_t(i)]) : outRate[size_t(i)];
                chainCh = c.def->bypassStateId() >= 0 ? std::max(chainCh, outCh[size_t(i)]) : outCh[size_t(i)];
            }
        }
    }
    for (int i = 0; i < n; ++i) {
        Child& c = m_children[size_t(i)];
        KEL_TRY(c.process->prepare(config.at(inRate[size_t(i)], inCh[size_t(i)])));
    }
    // The longest latency any path can bring to each child's input, the
    // same way: what an alignment delay there may have to make up.
    std::vector<double> inLat(size_t(n), 0.0), outLat(size_t(n), 0.0);
    for (int pass = 0; pass < 4; ++pass) {
        double chainLat = 0.0;
        for (int i = 0; i < n; ++i) {
            const Child& c = m_children[size_t(i)];
            const bool chained = def->isAutoLinks() && !c.def->isOutOfOrder();
            double l = chained ? chainLat : 0.0;
            for (const LinkRef& ln : m_links)
                if (ln.dst == i && ln.src >= 0) l = std::max(l, outLat[size_t(ln.src)]);
            inLat[size_t(i)] = l;
            outLat[size_t(i)] = l + c.process->maxLatencySeconds();
            if (chained)
                chainLat = c.def->bypassStateId() >= 0 ? std::max(chainLat, outLat[size_t(i)]) : outLat[size_t(i)];
        }
    }
    double latencyBound = 0.0;
    for (int i = 0; i < n; ++i) latencyBound = std::max(latencyBound, outLat[size_t(i)]);
    m_maxLatencySeconds = latencyBound;
    for (int i = 0; i < n; ++i) {
        Child& c = m_children[size_t(i)];
        if (!c.needsGather) continue;
        const int frames = config.framesAt(inRate[size_t(i)]);
        const int maxDelay = int(std::ceil(inLat[size_t(i)] * inRate[size_t(i)])) + 2;
        const int fade = int(std::lround(kAlignFadeSeconds * inRate[size_t(i)]));
        for (int p = 0; p < int(c.ports.size()); ++p) {
            InPort& port = c.ports[size_t(p)];
            port.gather.allocate(c.maxLinksPerPort > 1 ? 2 : 1, inCh[size_t(i)], frames);
            port.delays.resize(size_t(c.maxLinksPerPort));
            const int portDelay = neverDelayed(i, p) ? 0 : maxDelay;
            for (auto& d : port.delays) d.prepare(inCh[size_t(i)], portDelay, fade);
        }
    }
    // The container's outputs are gathered into its own storage.
    int outChannels = config.maxChannels;
    for (int i = 0; i < n; ++i) outChannels = std::max(outChannels, outCh[size_t(i)]);
    const double outRateMax = maxOutputRate(config.maxSampleRate);
    const int outFrames = config.framesAt(outRateMax);
    m_out.allocate(m_outPortCount, outChannels, outFrames);
    int maxOutLinks = 1, outLinks = 0;
    for (int p = 0; p < m_outPortCount; ++p) {
        int cnt = 0;
        for (const LinkRef& l : m_links) cnt += l.dst == -1 && l.dstPort == p;
        maxOutLinks = std::max(maxOutLinks, cnt + (p == 0 ? 1 : 0));
        outLinks += cnt + (p == 0 && def->isAutoLinks() ? 1 : 0);
    }
    // The outputs are aligned to the latest of their links: with one link at
    // most there is nothing to align, and the delay lines keep no history.
    const int outDelay = outLinks <= 1 ? 0 : int(std::ceil(latencyBound * outRateMax)) + 2;
    for (auto& port : m_outPorts) {
        port.links.reserve(size_t(maxOutLinks));
        if (maxOutLinks > 1) port.gather.allocate(2, outChannels, outFrames);
        port.delays.resize(size_t(maxOutLinks));
        for (auto& d : port.delays)
            d.prepare(outChannels, outDelay, int(std::lround(kAlignFadeSeconds * outRateMax)));
    }
    m_outCh.assign(size_t(m_outPortCount), {});
    m_zero.allocate(size_t(std::max(outFrames, config.framesAt(config.maxSampleRate * audio::kMaxRateFactor))));
    m_sequence.reserve(m_children.size());
    m_channels = config.maxChannels;
    m_sequenceDirty = true;
    m_ratesDirty = true;
    return {};
}

// --- Sequencing ---------------------------------------------------------------------

bool CAudioProcess::bypassState(int id) const {
    for (const auto& b : m_bypass)
        if (b.def->id() == id) return b.state;
    return false;  // an id the container does not define counts as false
}

bool CAudioProcess::linkDropped(const LinkRef& l) const {
    for (int id : l.bypassIds)
        if (bypassState(id)) return true;
    auto participating = [&](int idx) {
        if (idx < 0) return true;
        const Child& c = m_children[size_t(idx)];
        return c.active && !c.bypassed;
    };
    return !participating(l.src) || !participating(l.dst);
}

void CAudioProcess::addActiveLink(int src, int srcPort, int dst, int dstPort) {
    InPort* port;
    if (dst < 0) {
        if (dstPort >= int(m_outPorts.size())) return;
        port = &m_outPorts[size_t(dstPort)];
    } else {
        Child& c = m_children[size_t(dst)];
        if (dstPort >= int(c.ports.size())) return;
        port = &c.ports[size_t(dstPort)];
    }
    if (port->links.size() == port->links.capacity()) return;  // never reallocate on the audio thread
    port->links.push_back({src, srcPort, 0});
}

void CAudioProcess::rebuildSequence() {
    const auto* def = static_cast<const CAudioProcessDef*>(m_def);
    for (auto& c : m_children) {
        c.inSequence = false;
        for (auto& p : c.ports) p.links.clear();
    }
    for (auto& p : m_outPorts) p.links.clear();
    std::vector<int>& linked = m_scratch;  // sized at build: 1 = linked, 2 = placed
    std::fill(linked.begin(), linked.end(), 0);
    // 1-2: the automatic chain of the active, in-order, non-bypassed children.
    if (def->isAutoLinks()) {
        int prev = -1;
        for (size_t i = 0; i < m_children.size(); ++i) {
            const Child& c = m_children[i];
            if (!c.active || c.def->isOutOfOrder()) continue;
            if (c.bypassed) continue;
            addActiveLink(prev, 0, int(i), 0);
            linked[i] = 1;
            if (prev >= 0) linked[size_t(prev)] = 1;
            prev = int(i);
        }
        addActiveLink(prev, 0, -1, 0);
    }
    // 3: the explicit links that no true state drops.
    for (const LinkRef& l : m_links) {
        if (linkDropped(l)) continue;
        addActiveLink(l.src, l.srcPort, l.dst, l.dstPort);
        if (l.src >= 0) linked[size_t(l.src)] = 1;
        if (l.dst >= 0) linked[size_t(l.dst)] = 1;
    }
    // 4: placement passes in document order.
    m_sequence.clear();
    std::vector<int>& placed = linked;
    bool progress = true;
    while (progress) {
        progress = false;
        for (size_t i = 0; i < m_children.size(); ++i) {
            if (placed[i] != 1) continue;
            bool ready = true;
            for (const auto& port : m_children[i].ports)
                for (const InLink& l : port.links)
                    if (l.src >= 0 && placed[size_t(l.src)] != 2) ready = false;
            if (!ready) continue;
            placed[i] = 2;
            m_children[i].inSequence = true;
            m_sequence.push_back(int(i));
            progress = true;
        }
    }
    // 5: a cycle leaves children unplaced.
    for (size_t i = 0; i < m_children.size(); ++i)
        if (placed[i] == 1) {
            kelAudioDiagnostic("process seq err", this);
            break;
        }
    // Links from unplaced children carry nothing.
    auto dropUnplaced = [&](InPort& port) {
        std::erase_if(port.links, [&](const InLink& l) { return l.src >= 0 && placed[size_t(l.src)] != 2; });
    };
    for (auto& c : m_children)
        for (auto& p : c.ports) dropUnplaced(p);
    for (auto& p : m_outPorts) dropUnplaced(p);
    m_sequenceDirty = false;
    m_ratesDirty = true;
}

std::vector<CString> CAudioProcess::sequenceNames() const {
    std::vector<CString> out;
    for (int i : m_sequence) out.push_back(m_children[size_t(i)].name);
    return out;
}

double CAudioProcess::childLatency(const CString& name) const {
    for (const auto& c : m_children)
        if (c.name == name) return c.outLatency;
    return 0.0;
}

// --- Rates, channels and latency ----------------------------------------------------

double CAudioProcess::sourceRate(int src) const { return src < 0 ? m_rate : m_children[size_t(src)].outRate; }
int CAudioProcess::sourceFrames(int src) const { return src < 0 ? m_inFrames : m_children[size_t(src)].outFrames; }
double CAudioProcess::sourceLatency(int src) const { return src < 0 ? 0.0 : m_children[size_t(src)].outLatency; }
int CAudioProcess::sourceChannels(int src) const {
    return src < 0 ? m_channels : m_children[size_t(src)].process->outputChannels();
}
const double* CAudioProcess::sourceChannel(int src, int srcPort, int ch) const {
    const double* zero = std::as_const(m_zero).data();
    if (src < 0) {
        if (srcPort >= int(m_inputs.size())) return zero;
        const CPortBuffers& in = m_inputs[size_t(srcPort)];
        return ch < in.channels && in.ch[ch] ? in.ch[ch] : zero;
    }
    const CAudioProcessBase* p = m_children[size_t(src)].process;
    if (srcPort >= p->outputPortCount() || ch >= p->outputChannels()) return zero;
    return p->outputChannel(srcPort, ch);
}

void CAudioProcess::setRate(double sampleRate) {
    if (sampleRate == m_rate) return;
    CAudioProcessBase::setRate(sampleRate);
    m_ratesDirty = true;
}

void CAudioProcess::setChannels(int channels) {
    if (channels == m_channels) return;
    CAudioProcessBase::setChannels(channels);
    m_ratesDirty = true;
}

void CAudioProcess::computeRatesAndLatency() {
    // In processing order: each child's rate and channels come from its sources.
    double peak = m_rate;
    for (int i : m_sequence) {
        Child& c = m_children[size_t(i)];
        double rate = 0.0;
        int channels = 0;
        double inLatency = 0.0;
        for (const auto& port : c.ports)
            for (const InLink& l : port.links) {
                if (rate == 0.0) rate = sourceRate(l.src);
                channels = std::max(channels, sourceChannels(l.src));
                inLatency = std::max(inLatency, sourceLatency(l.src));
            }
        if (rate == 0.0) rate = m_rate;
        channels = std::min(channels, c.process->maxChannels());
        if (rate != c.inRate) {
            c.inRate = rate;
            c.process->setRate(rate);
        }
        c.process->setChannels(channels);
        c.process->setInputLatency(inLatency);
        c.process->update();
        // Align every link to the latest one meeting at this child.
        for (auto& port : c.ports)
            for (size_t k = 0; k < port.links.size(); ++k) {
                InLink& l = port.links[k];
                l.delay = int(std::lround(inLatency - sourceLatency(l.src)));
                if (k < port.delays.size()) port.delays[k].setDelay(l.delay);
            }
        c.outRate = rate * c.process->rateFactor();
        peak = std::max(peak, c.process->peakRate());
        c.outLatency = inLatency * c.process->rateFactor() + c.process->latency();
    }
    // The container's outputs.
    double outLatency = 0.0, outRate = 0.0;
    int outChannels = 0;
    for (const auto& port : m_outPorts)
        for (const InLink& l : port.links) {
            outLatency = std::max(outLatency, sourceLatency(l.src));
            if (outRate == 0.0) outRate = sourceRate(l.src);
            outChannels = std::max(outChannels, sourceChannels(l.src));
        }
    for (auto& port : m_outPorts)
        for (size_t k = 0; k < port.links.size(); ++k) {
            InLink& l = port.links[k];
            l.delay = int(std::lround(outLatency - sourceLatency(l.src)));
            if (k < port.delays.size()) port.delays[k].setDelay(l.delay);
        }
    m_rateFactor = outRate > 0.0 ? outRate / m_rate : 1.0;
    m_peakRate = peak;
    m_outChannels = outChannels > 0 ? std::min(outChannels, m_out.channelCapacity()) : m_channels;
    m_latency = outLatency;
    m_ratesDirty = false;
}

bool CAudioProcess::update() {
    // Derived parameters follow their sources.
    for (auto& f : m_filters) {
        bool changed = false;
        for (size_t i = 0; i < f.src.size(); ++i) {
            const uint32_t c = kelParamChangeCount(f.src[i]);
            if (c != f.seen[i]) {
                f.seen[i] = c;
                changed = true;
            }
        }
        if (changed) f.def->apply(f.src, f.dst);
    }
    // Bypass states follow their parameters.
    for (auto& b : m_bypass) {
        const double p = kelParamValue(b.p, m_group, 0, 0.0);
        const double q = kelParamValue(b.q, m_group, 0, 0.0);
        const bool s = b.def->evaluate(p, q);
        if (s != b.state) {
            b.state = s;
            m_sequenceDirty = true;
        }
    }
    // A child leaves or rejoins the sequence when its state says so and it
    // is ready for it.
    for (auto& c : m_children) {
        if (c.def->bypassStateId() < 0) continue;
        const bool want = bypassState(c.def->bypassStateId());
        const bool ready = c.process->readyForBypass(want, m_playing);  // also tells a holding child the state
        if (want != c.bypassed && ready) {
            c.bypassed = want;
            m_sequenceDirty = true;
        }
    }
    const double oldLatency = m_latency, oldFactor = m_rateFactor;
    const int oldChannels = m_outChannels;
    if (m_sequenceDirty) rebuildSequence();
    // Children update in order; their rates and latencies feed the alignment.
    computeRatesAndLatency();
    return m_latency != oldLatency || m_rateFactor != oldFactor || m_outChannels != oldChannels;
}

const double* CAudioProcess::outputChannel(int port, int ch) const {
    if (size_t(port) < m_outCh.size() && ch < m_outChannels && m_outCh[size_t(port)][size_t(ch)])
        return m_outCh[size_t(port)][size_t(ch)];
    return m_out.channel(port, ch);
}

int CAudioProcess::outputFrames(int inputFrames) const { return int(std::lround(inputFrames * m_rateFactor)); }

// --- Processing ----------------------------------------------------------------------

void CAudioProcess::setupInputs(Child& c, int) {
    CAudioProcessBase* p = c.process;
    const int channels = p->channels();
    for (size_t pi = 0; pi < c.ports.size(); ++pi) {
        InPort& port = c.ports[pi];
        CPortBuffers& in = p->input(int(pi));
        if (port.links.empty() || !p->readsInputPort(int(pi))) {
            in.channels = channels;
            for (int ch = 0; ch < channels; ++ch) in.ch[ch] = std::as_const(m_zero).data();
            continue;
        }
        if (!c.needsGather) {
            const InLink& l = port.links[0];
            in.channels = channels;
            for (int ch = 0; ch < channels; ++ch) in.ch[ch] = sourceChannel(l.src, l.srcPort, ch);
            continue;
        }
        double* dst[audio::kMaxChannels];
        in.channels = channels;
        for (int ch = 0; ch < channels; ++ch) dst[ch] = port.gather.channel(0, ch);
        combineLinks(port, c.comboMode, channels, sourceFrames(port.links[0].src), dst, in.ch);
    }
}

void CAudioProcess::process(int frames) {
    m_inFrames = frames;
    if (frames > 0) m_playing = true;
    for (int i : m_sequence) {
        Child& c = m_children[size_t(i)];
        int inFrames = frames;
        for (const auto& port : c.ports)
            if (!port.links.empty()) {
                inFrames = sourceFrames(port.links[0].src);
                break;
            }
        setupInputs(c, i);
        c.process->process(inFrames);
        c.outFrames = c.process->outputFrames(inFrames);
        // A module that produced NaN or infinity (from such input or from its
        // own state) starts afresh, and what it wrote becomes silence, so the
        // modules after it never take such values in.
        if (c.isTerminal && c.process->clearNonFiniteOutputs(c.outFrames)) c.process->reset();
    }
    // Gather the container's outputs into its own buffers.
    const int outFrames = outputFrames(frames);
    for (size_t p = 0; p < m_outPorts.size(); ++p) {
        double* dst[audio::kMaxChannels];
        for (int ch = 0; ch < m_outChannels; ++ch) dst[ch] = m_out.channel(int(p), ch);
        combineLinks(m_outPorts[p], 0, m_outChannels, outFrames, dst, m_outCh[p].data());
    }
}

void CAudioProcess::reset() {
    m_playing = false;
    for (auto& c : m_children) {
        c.process->reset();
        for (auto& p : c.ports)
            for (auto& d : p.delays) d.reset();
    }
    for (auto& p : m_outPorts)
        for (auto& d : p.delays) d.reset();
}
