#include "Audio/Processes/Resampling/OversampledSection.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "Audio/Graph/ProcessBuild.h"
#include "Audio/Graph/ProcessDef.h"
#include "Audio/Processes/Filters/ModFilterFIR.h"

KELSTR(COversampledSection_buildEnd_NotFIR, "The resampler filter '%1' is not a FIR filter module.");

namespace {

// Raised-cosine weight of a fade position (0 at 0, 1 at length).
double fadeWeight(int pos, int length) {
    return pos >= length ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * double(pos) / double(length));
}

// The shared definitions each end builds its stages from.
struct EndDefs {
    const char* rate;
    const char* steep;
    const char* rateNodeName;
};
constexpr EndDefs kEndDefs[2] = {
    {"shared::audio.modUpsamplerInterpolator", "shared::audio.modUpsamplerFilterSteep", "modInterpInterp"},
    {"shared::audio.modDownsamplerDecimator", "shared::audio.modDownsamplerFilterSteep", "modInterpDecim"},
};
constexpr const char* kSoftFilter = "shared::audio.modResamplerFilterSoft";

}  // namespace

// --- Building ----------------------------------------------------------------------

CError COversampledSection::buildEnd(End end, CAudioProcessBase& owner, const CAudioProcessDefBase& ownerDef,
                                     CAudioProcessBuild& b) {
    EndState& e = m_ends[end];
    e.owner = &owner;
    const CAudioProcessDefBase *rateDef = nullptr, *steepDef = nullptr, *softDef = nullptr;
    KEL_TRY(ownerDef.findObjectChecked(kEndDefs[end].rate, &rateDef));
    KEL_TRY(ownerDef.findObjectChecked(kEndDefs[end].steep, &steepDef));
    KEL_TRY(ownerDef.findObjectChecked(kSoftFilter, &softDef));

    auto make = [&](const CAudioProcessDefBase& def, const CString& name) -> CAudioProcessBase* {
        std::unique_ptr<CAudioProcessBase> p = b.createProcess(def);
        p->setName(name);
        p->setTag(def.tag());
        p->setGroup(owner.group());
        CAudioProcessBase* raw = p.get();
        owner.attachChild(std::move(p));
        return raw;
    };
    for (int k = 1; k <= kMaxOctaves; ++k) {
        Stage& s = e.stages[size_t(k - 1)];
        s.rate = make(*rateDef, CString(kEndDefs[end].rateNodeName) + CString::number(int64_t(k)));
        KEL_TRY(s.rate->build(*rateDef, b));
        const CAudioProcessDefBase& filterDef = k == 1 ? *steepDef : *softDef;
        CAudioProcessBase* filter = make(filterDef, CString("modFilter") + CString::number(int64_t(k)));
        s.filter = dynamic_cast<CModFilterFIRModule*>(filter);
        if (!s.filter) return KEL_ERROR(kelstr_COversampledSection_buildEnd_NotFIR, filterDef.name());
        KEL_TRY(filter->build(filterDef, b));
    }
    return {};
}

CAudioProcessBase* COversampledSection::node(End end, const CString& name) const {
    for (const Stage& s : m_ends[end].stages) {
        if (s.rate && s.rate->name() == name) return s.rate;
        if (s.filter && s.filter->name() == name) return s.filter;
    }
    return nullptr;
}

std::vector<CString> COversampledSection::chainNames(End end) const {
    std::vector<CString> names;
    const EndState& e = m_ends[end];
    for (int i = 0; i < e.chainLength; ++i) names.push_back(e.chain[size_t(i)]->name());
    return names;
}

// --- Preparation ---------------------------------------------------------------------

CError COversampledSection::prepare(End end, const CProcessConfig& config, double maxOut, double xfadeSeconds) {
    EndState& e = m_ends[end];
    const double maxIn = config.maxSampleRate;
    const int ch = config.maxChannels;
    for (int k = 1; k <= kMaxOctaves; ++k) {
        const double scale = double(1 << k);
        const double stageIn = end == kUp ? maxIn * scale / 2.0 : std::min(maxIn, maxOut * scale);
        const double filterRate = end == kUp ? maxIn * scale : stageIn;
        Stage& s = e.stages[size_t(k - 1)];
        KEL_TRY(s.rate->prepare(config.at(stageIn, ch)));
        KEL_TRY(static_cast<CAudioProcessBase*>(s.filter)->prepare(config.at(filterRate, ch)));
        // The block the FIR module delays by, as the polyphase form's delay;
        // room for the kernels the tap limit lets through, no more.
        const int delay = int(std::lround(s.filter->latency())) - s.filter->filterList().latency();
        const size_t taps = std::min(s.filter->preparedTaps(), std::max<size_t>(m_polyTapLimit, 1));
        KEL_TRY(e.poly[size_t(k - 1)].prepare(end == kUp ? CPolyphaseStage::kUp : CPolyphaseStage::kDown, ch, taps,
                                              std::max(delay, 0), config.framesAt(stageIn)));
        e.form[size_t(k - 1)] = kNodeForm;
    }
    const int inFrames = config.framesAt(maxIn);
    e.workFrames = inFrames;
    e.work.assign(size_t(ch) * size_t(inFrames), 0.0);
    e.gain.assign(size_t(inFrames), 1.0);
    if (end == kDown) {
        m_padRing.assign(size_t(ch) * kPadRing, 0.0);
        m_padHead.assign(size_t(ch) * kPadRing, 0.0);
        m_padWrite = 0;
    }
    if (end == leader()) {
        m_outGain.assign(size_t(inFrames), 1.0);
        m_outFrames = 0;
    }
    m_fadeLength = std::max(1, int(std::lround(xfadeSeconds * config.hostRate)));
    e.prepared = true;
    e.rate = maxIn;
    e.channels = ch;
    return {};
}

void COversampledSection::start(End end, double rate, int channels, int leastOctaves) {
    EndState& e = m_ends[end];
    e.rate = rate;
    e.channels = channels;
    m_playing = false;
    switchTo(std::max(m_target, leastOctaves));
    updateChain(end, e.inputLatency);
    e.inPos = m_outPos = m_fadeLength;
    e.mute = 0;
    e.muteDue = false;
}

double COversampledSection::maxLatencySeconds(End end, double lowestRate) const {
    // Each stage's low-pass runs only at its own octave of the host rate: its
    // bound is taken at that rate, not at the lowest rate a free-standing FIR
    // module may see.
    double s = 0.0;
    for (const Stage& st : m_ends[end].stages)
        s += st.rate->maxLatencySeconds() + st.filter->maxLatencySecondsAtPreparedRate();
    return s + double(kPadRing) / std::max(1.0, lowestRate);
}

// --- Factor state -------------------------------------------------------------------------

void COversampledSection::setRequested(int octaves) {
    m_requested = std::clamp(octaves, 0, kMaxOctaves);
    m_target = m_toBypass ? 0 : m_requested;
}

bool COversampledSection::switching(End end) const {
    const EndState& e = m_ends[end];
    return m_target != m_octaves || e.inPos < m_fadeLength || e.mute > 0;
}

bool COversampledSection::readyForBypass(End end, bool bypass, bool playing) {
    // Coming back while the audio around it plays: its 1X pass-through has
    // been carrying that audio, so leaving 1X fades like any switch.
    if (!bypass && playing && m_toBypass != bypass) m_playing = true;
    if (!bypass && playing && m_octaves == 0 && !m_playing) m_playing = true;
    m_toBypass = bypass;
    m_target = bypass ? 0 : m_requested;
    if (!bypass || !m_playing) return true;
    const bool ready = m_octaves == 0 && !switching(end) && m_outPos >= m_fadeLength;
    // A leader leaving the sequence counts no more fades for the other end.
    if (ready && end == leader()) m_outFrames = 0;
    return ready;
}

void COversampledSection::switchTo(int octaves) {
    m_octaves = octaves;
    EndState& up = m_ends[kUp];
    EndState& down = m_ends[kDown];
    up.chainLength = down.chainLength = 0;
    if (up.owner)
        for (int k = 1; k <= octaves; ++k) {
            up.chain[size_t(up.chainLength++)] = up.stages[size_t(k - 1)].rate;
            up.chain[size_t(up.chainLength++)] = up.stages[size_t(k - 1)].filter;
        }
    if (down.owner)
        for (int k = octaves; k >= 1; --k) {
            down.chain[size_t(down.chainLength++)] = down.stages[size_t(k - 1)].filter;
            down.chain[size_t(down.chainLength++)] = down.stages[size_t(k - 1)].rate;
        }
    // The new chains start from rest.
    for (EndState* e : {&up, &down}) {
        for (int i = 0; i < e->chainLength; ++i) e->chain[size_t(i)]->reset();
        if (e->owner)
            for (int k = 0; k < octaves; ++k) e->poly[size_t(k)].reset();
    }
    std::fill(m_padRing.begin(), m_padRing.end(), 0.0);
}

void COversampledSection::updateChain(End end, double inputLatency) {
    EndState& e = m_ends[end];
    double rate = e.rate, lat = 0.0;
    for (int i = 0; i < e.chainLength; ++i) {
        CAudioProcessBase* n = e.chain[size_t(i)];
        n->setRate(rate);
        n->setChannels(e.channels);
        n->update();
        lat = lat * n->rateFactor() + n->latency();
        rate *= n->rateFactor();
    }
    choosePolyphase(end);
    if (end == kUp) {
        e.latency = lat;
        return;
    }
    // The padding rule: the section from the container's input to the down
    // end's output, in its input-rate samples, is padded to a multiple of the
    // factor, so that it ends on a whole host sample.
    const int64_t f = int64_t(1) << m_octaves;
    const int64_t chain = int64_t(std::llround(lat * double(f)));
    const int64_t total = int64_t(std::llround(inputLatency)) + chain;
    m_pad = int((f - total % f) % f);
    e.latency = double(chain + m_pad) / double(f);
}

void COversampledSection::update(End end, double rate, int channels, double inputLatency, int leastOctaves) {
    EndState& e = m_ends[end];
    e.rate = rate;
    e.channels = channels;
    e.inputLatency = inputLatency;
    bool switched = false;
    // The leader switches once the fade-out has ended; both chains change at
    // the same chunk boundary.
    if (end == leader() && m_target != m_octaves && (!m_playing || m_outPos == 0)) {
        switchTo(m_target);
        switched = true;
    }
    if (m_octaves < leastOctaves) {
        m_target = leastOctaves;
        switchTo(m_target);
        switched = true;
    }
    if (switched) {
        m_outPos = m_fadeLength;
        for (EndState& s : m_ends) {
            s.inPos = m_playing ? 0 : m_fadeLength;
            s.mute = 0;
            // The down end waits until the new chain's audio arrives.
            s.muteDue = m_playing;
        }
    }
    updateChain(end, inputLatency);
    if (end == kDown && e.muteDue)
        e.mute = int(std::ceil(inputLatency * rateFactor(kDown) + e.latency - 1e-9));
    e.muteDue = false;
}

void COversampledSection::choosePolyphase(End end) {
    EndState& e = m_ends[end];
    for (int k = 0; k < kMaxOctaves; ++k) {
        Form form = kNodeForm;
        if (k < m_octaves && e.prepared) {
            const CModFilterFIRModule& f = *e.stages[size_t(k)].filter;
            const CAudioFilterList& list = f.filterList();
            if (list.kernelCount() == 1) {
                const std::span<const double> taps = list.kernel(0);
                const int delay = int(std::lround(f.latency())) - list.latency();
                CPolyphaseStage& p = e.poly[size_t(k)];
                if (m_polyTapLimit > 0 && taps.size() <= m_polyTapLimit)
                    if (p.sameKernel(taps, delay) || p.setKernel(taps, delay)) form = kPolyphaseForm;
            }
        }
        e.form[size_t(k)] = form;
    }
}

// --- Processing ----------------------------------------------------------------------------

void COversampledSection::countFadeOut(int frames) {
    const int length = m_fadeLength;
    if (m_target == m_octaves && m_outPos >= length) {
        m_outFrames = 0;
        return;
    }
    frames = std::min(frames, int(m_outGain.size()));
    for (int i = 0; i < frames; ++i) {
        if (m_target != m_octaves) {
            if (m_outPos > 0) --m_outPos;
        } else if (m_outPos < length) {
            ++m_outPos;
        }
        m_outGain[size_t(i)] = fadeWeight(m_outPos, length);
    }
    m_outFrames = frames;
}

bool COversampledSection::fadeGains(End end, int frames) {
    EndState& e = m_ends[end];
    const int length = m_fadeLength;
    if (end == leader()) countFadeOut(frames);
    if (m_outFrames == 0 && e.inPos >= length && e.mute == 0) return false;
    const double steady = fadeWeight(m_outPos, length);
    for (int i = 0; i < frames; ++i) {
        double g;
        if (e.mute > 0) {
            --e.mute;
            g = 0.0;
        } else {
            if (e.inPos < length) ++e.inPos;
            g = fadeWeight(e.inPos, length);
        }
        e.gain[size_t(i)] = g * (i < m_outFrames ? m_outGain[size_t(i)] : steady);
    }
    return true;
}

int COversampledSection::padInput(const CPortBuffers& in, int channels, int frames, const double** out,
                                  const double** head) {
    // y[i] = x[i - pad]: the ring holds the last kPadRing inputs, for the
    // first pad outputs of a block; without padding the input passes as it is.
    EndState& e = m_ends[kDown];
    const unsigned mask = kPadRing - 1;
    const int d = m_pad;
    const int headFrames = d > 0 ? std::min(d, frames) : 0;
    const unsigned w = m_padWrite;
    for (int ch = 0; ch < channels; ++ch) {
        double* ring = m_padRing.data() + size_t(ch) * kPadRing;
        const double* x = in.ch[ch];
        out[ch] = x;
        if (d > 0) {
            double* y = head ? m_padHead.data() + size_t(ch) * kPadRing
                             : e.work.data() + size_t(ch) * size_t(e.workFrames);
            for (int i = 0; i < headFrames; ++i) y[i] = ring[(w + unsigned(i) - unsigned(d)) & mask];
            if (head) {
                head[ch] = y;
            } else {
                if (frames > d) std::memcpy(y + d, x, size_t(frames - d) * sizeof(double));
                out[ch] = y;
            }
        }
        for (int i = std::max(0, frames - kPadRing); i < frames; ++i) ring[(w + unsigned(i)) & mask] = x[i];
    }
    m_padWrite += unsigned(frames);
    return head ? headFrames : 0;
}

void COversampledSection::process(End end, const CPortBuffers& in, int channels, int frames,
                                  double* const* fadeOut, const double** out) {
    EndState& e = m_ends[end];
    if (frames > 0) m_playing = true;
    for (int ch = 0; ch < channels; ++ch) out[ch] = in.ch[ch];
    if (end == kUp) {
        if (fadeGains(kUp, frames))
            for (int ch = 0; ch < channels; ++ch) {
                double* y = e.work.data() + size_t(ch) * size_t(e.workFrames);
                for (int i = 0; i < frames; ++i) y[i] = out[ch][i] * e.gain[size_t(i)];
                out[ch] = y;
            }
    }
    // The down end's first stage in polyphase form takes the padding's few
    // samples apart from the block, which is then read where it is.
    const double* head[audio::kMaxChannels] = {};
    int headFrames = 0;
    const int stages = e.chainLength / 2;
    if (end == kDown && m_octaves > 0) {
        const bool split = stages > 0 && e.form[size_t(stages - 1)] == kPolyphaseForm;
        headFrames = padInput(in, channels, frames, out, split ? head : nullptr);
    }
    int n = frames;
    auto run = [&](CAudioProcessBase* node) {
        CPortBuffers& nodeIn = node->input(0);
        nodeIn.channels = channels;
        for (int ch = 0; ch < channels; ++ch) nodeIn.ch[ch] = out[ch];
        node->process(n);
        n = node->outputFrames(n);
        for (int ch = 0; ch < channels; ++ch) out[ch] = node->outputChannel(0, ch);
    };
    // The chain stage by stage: up from the host rate, down towards it.
    for (int i = 0; i < stages; ++i) {
        const size_t k = size_t(end == kUp ? i : stages - 1 - i);
        if (e.form[k] == kPolyphaseForm) {
            CPolyphaseStage& p = e.poly[k];
            n = i == 0 && headFrames > 0 ? p.process(head, headFrames, out, channels, n) : p.process(out, channels, n);
            for (int ch = 0; ch < channels; ++ch) out[ch] = p.output(ch);
        } else if (end == kUp) {
            run(e.stages[k].rate);
            run(e.stages[k].filter);
        } else {
            run(e.stages[k].filter);
            run(e.stages[k].rate);
        }
    }
    if (end == kDown && fadeGains(kDown, n))
        for (int ch = 0; ch < channels; ++ch) {
            double* y = fadeOut[ch];
            for (int i = 0; i < n; ++i) y[i] = out[ch][i] * e.gain[size_t(i)];
            out[ch] = y;
        }
}

void COversampledSection::reset() {
    for (EndState& e : m_ends)
        for (size_t k = 0; k < e.stages.size(); ++k)
            if (Stage& s = e.stages[k]; s.rate) {
                s.rate->reset();
                static_cast<CAudioProcessBase*>(s.filter)->reset();
                e.poly[k].reset();
            }
    std::fill(m_padRing.begin(), m_padRing.end(), 0.0);
    m_playing = false;
    if (m_target != m_octaves) {
        switchTo(m_target);
        for (End end : {kUp, kDown})
            if (m_ends[end].prepared) updateChain(end, m_ends[end].inputLatency);
    }
    m_outPos = m_fadeLength;
    m_outFrames = 0;
    for (EndState& e : m_ends) {
        e.inPos = m_fadeLength;
        e.mute = 0;
        e.muteDue = false;
    }
}
