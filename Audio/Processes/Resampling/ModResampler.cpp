#include "Audio/Processes/Resampling/ModResampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "Audio/Plugin/AudioEnv.h"
#include "Audio/Graph/ProcessBuild.h"
#include "Audio/Processes/Filters/ModFilterFIR.h"
#include "Audio/Processes/ModuleSlots.h"

namespace {

// Raised-cosine weight of a fade position (0 at 0, 1 at length).
double fadeWeight(int pos, int length) {
    return pos >= length ? 1.0 : 0.5 - 0.5 * std::cos(std::numbers::pi * double(pos) / double(length));
}

}  // namespace

// --- Building --------------------------------------------------------------------------

CError CModResampler::moduleSetup(CAudioProcessBuild& b) {
    m_up = m_def->attrBool("is-upsampler");
    registerParam(b, 0, "mode", kelModuleSlotDefault(*m_def, 0, "mode", 1.0));
    registerParam(b, 1, "host-mode", kelModuleSlotDefault(*m_def, 1, "host-mode", 0.0));

    const CAudioProcessDefBase *stageDef = nullptr, *steepDef = nullptr, *softDef = nullptr;
    KEL_TRY(m_def->findObjectChecked(
        m_up ? "shared::audio.modUpsamplerInterpolator" : "shared::audio.modDownsamplerDecimator", &stageDef));
    KEL_TRY(m_def->findObjectChecked(
        m_up ? "shared::audio.modUpsamplerFilterSteep" : "shared::audio.modDownsamplerFilterSteep", &steepDef));
    KEL_TRY(m_def->findObjectChecked("shared::audio.modResamplerFilterSoft", &softDef));

    auto make = [&](const CAudioProcessDefBase& def, const char* base, int k, CAudioProcessBase** out) -> CError {
        std::unique_ptr<CAudioProcessBase> p = b.createProcess(def);
        p->setName(CString(base) + CString::number(int64_t(k)));
        p->setTag(def.tag());
        p->setGroup(m_group);
        *out = p.get();
        attachChild(std::move(p));
        return (*out)->build(def, b);
    };
    for (int k = 1; k <= kMaxOctaves; ++k) {
        KEL_TRY(make(*stageDef, m_up ? "modInterpInterp" : "modInterpDecim", k, &m_stages[size_t(k - 1)]));
        KEL_TRY(make(k == 1 ? *steepDef : *softDef, "modFilter", k, &m_filters[size_t(k - 1)]));
    }
    return {};
}

CAudioProcessBase* CModResampler::node(const CString& name) const {
    for (const auto& c : children())
        if (c->name() == name) return dynamic_cast<CAudioProcessBase*>(c.get());
    return nullptr;
}

std::vector<CString> CModResampler::chainNames() const {
    std::vector<CString> names;
    for (int i = 0; i < m_chainLength; ++i) names.push_back(m_chain[size_t(i)]->name());
    return names;
}

// --- Rates and preparation -------------------------------------------------------------------

double CModResampler::maxOutputRate(double maxInputRate) const {
    if (m_up) return maxInputRate * double(1 << kMaxOctaves);
    // Back to the host rate. The host rate is the environment's; the input at
    // most 8 times it bounds it from below, whatever the environment says.
    const double host = env() ? env()->sampleRate() : 0.0;
    return std::min(maxInputRate, std::max(host, maxInputRate / double(1 << kMaxOctaves)));
}

CError CModResampler::prepare(const CProcessConfig& config) {
    KEL_TRY(CAudioProcessTerminalBase::prepare(config));
    const double maxIn = config.maxSampleRate;
    const double maxOut = maxOutputRate(maxIn);
    const int ch = config.maxChannels;
    for (int k = 1; k <= kMaxOctaves; ++k) {
        const double scale = double(1 << k);
        const double stageIn = m_up ? maxIn * scale / 2.0 : std::min(maxIn, maxOut * scale);
        const double filterRate = m_up ? maxIn * scale : stageIn;
        KEL_TRY(m_stages[size_t(k - 1)]->prepare(config.at(stageIn, ch)));
        KEL_TRY(m_filters[size_t(k - 1)]->prepare(config.at(filterRate, ch)));
    }
    // At 1X a block passes at the input rate.
    const int inFrames = config.framesAt(maxIn);
    outputStorage().allocate(1, ch, std::max(inFrames, config.framesAt(maxOutputRate(maxIn))));
    m_workFrames = inFrames;
    m_work.assign(size_t(ch) * size_t(inFrames), 0.0);
    m_gain.assign(size_t(inFrames), 1.0);
    m_padRing.assign(size_t(ch) * kPadRing, 0.0);
    m_padWrite = 0;
    const double xfade = xfadeSeconds();
    m_fadeLength = std::max(1, int(std::lround(xfade * config.hostRate)));

    m_playing = false;
    updateParams();
    switchTo(std::max(m_target, leastOctaves()));
    updateNodes();
    m_inPos = m_outPos = m_fadeLength;
    m_mute = 0;
    return {};
}

double CModResampler::maxLatencySeconds() const {
    // Each stage's low-pass runs only at its own octave of the host rate: its
    // bound is taken at that rate, not at the lowest rate a free-standing FIR
    // module may see.
    double s = 0.0;
    for (int k = 0; k < kMaxOctaves; ++k) {
        const auto* fir = dynamic_cast<const CModFilterFIRModule*>(m_filters[size_t(k)]);
        s += m_stages[size_t(k)]->maxLatencySeconds() +
             (fir ? fir->maxLatencySecondsAtPreparedRate() : m_filters[size_t(k)]->maxLatencySeconds());
    }
    return s + double(kPadRing) / std::max(1.0, std::min(m_config.hostRate, m_config.maxSampleRate));
}

double CModResampler::rateFactor() const {
    const double f = double(1 << m_octaves);
    return m_up ? f : 1.0 / f;
}

int CModResampler::outputFrames(int inputFrames) const {
    return m_up ? inputFrames << m_octaves : inputFrames >> m_octaves;
}

// --- Chain ----------------------------------------------------------------------------------

void CModResampler::updateParams() {
    const double mode = param(0);
    const int m = int(std::lround(mode));
    const int octaves = m <= 0 ? int(std::lround(param(1))) : m - 1;
    m_paramTarget = std::clamp(octaves, 0, kMaxOctaves);
    m_target = m_toBypass ? 0 : m_paramTarget;
}

bool CModResampler::readyForBypass(bool bypass, bool playing) {
    // Coming back while the audio around it plays: its 1X pass-through has
    // been carrying that audio, so leaving 1X fades like any switch.
    if (!bypass && playing && m_toBypass != bypass) m_playing = true;
    if (!bypass && playing && m_octaves == 0 && !m_playing) m_playing = true;
    m_toBypass = bypass;
    m_target = bypass ? 0 : m_paramTarget;
    if (!bypass || !m_playing) return true;
    return m_octaves == 0 && !switching() && m_outPos >= m_fadeLength;
}

int CModResampler::leastOctaves() const {
    if (m_up) return 0;
    // A downsampler never leaves its output above the rate the graph was
    // prepared for, whatever its parameters say.
    const double maxOut = maxOutputRate(m_config.maxSampleRate);
    int o = 0;
    while (o < kMaxOctaves && m_rate / double(1 << o) > maxOut * (1.0 + 1e-9)) ++o;
    return o;
}

void CModResampler::switchTo(int octaves) {
    m_octaves = octaves;
    m_chainLength = 0;
    if (m_up) {
        for (int k = 1; k <= octaves; ++k) {
            m_chain[size_t(m_chainLength++)] = m_stages[size_t(k - 1)];
            m_chain[size_t(m_chainLength++)] = m_filters[size_t(k - 1)];
        }
    } else {
        for (int k = octaves; k >= 1; --k) {
            m_chain[size_t(m_chainLength++)] = m_filters[size_t(k - 1)];
            m_chain[size_t(m_chainLength++)] = m_stages[size_t(k - 1)];
        }
    }
    // The new chain starts from rest.
    for (int i = 0; i < m_chainLength; ++i) m_chain[size_t(i)]->reset();
    std::fill(m_padRing.begin(), m_padRing.end(), 0.0);
}

void CModResampler::updateNodes() {
    double rate = m_rate, lat = 0.0;
    for (int i = 0; i < m_chainLength; ++i) {
        CAudioProcessBase* n = m_chain[size_t(i)];
        n->setRate(rate);
        n->setChannels(m_channels);
        n->update();
        lat = lat * n->rateFactor() + n->latency();
        rate *= n->rateFactor();
    }
    if (m_up) {
        m_latency = lat;
        m_pad = 0;
        return;
    }
    // The section from the container's input to here, in input-rate samples,
    // is padded to a multiple of the factor.
    const int64_t f = int64_t(1) << m_octaves;
    const int64_t chain = int64_t(std::llround(lat * double(f)));
    const int64_t total = int64_t(std::llround(inputLatency())) + chain;
    m_pad = int((f - total % f) % f);
    m_latency = double(chain + m_pad) / double(f);
}

bool CModResampler::update() {
    const double oldLatency = m_latency, oldFactor = rateFactor();
    CAudioProcessTerminalBase::update();
    bool switched = false;
    // Both resamplers follow the same parameters and count the same host
    // samples, so they reach the switch in the same chunk.
    if (m_target != m_octaves && (!m_playing || m_outPos == 0)) {
        switchTo(m_target);
        switched = true;
    }
    if (m_octaves < leastOctaves()) {
        m_target = leastOctaves();
        switchTo(m_target);
        switched = true;
    }
    updateNodes();
    if (switched) {
        m_outPos = m_fadeLength;
        if (m_playing) {
            m_inPos = 0;
            // The downsampler waits until the new chain's audio arrives.
            m_mute = m_up ? 0 : int(std::ceil(inputLatency() * rateFactor() + m_latency - 1e-9));
        } else {
            m_inPos = m_fadeLength;
            m_mute = 0;
        }
    }
    return m_latency != oldLatency || rateFactor() != oldFactor;
}

bool CModResampler::fadeGains(int frames) {
    const int length = m_fadeLength;
    if (m_target == m_octaves && m_outPos >= length && m_inPos >= length && m_mute == 0) return false;
    for (int i = 0; i < frames; ++i) {
        if (m_target != m_octaves) {
            if (m_outPos > 0) --m_outPos;
        } else if (m_outPos < length) {
            ++m_outPos;
        }
        double g;
        if (m_mute > 0) {
            --m_mute;
            g = 0.0;
        } else {
            if (m_inPos < length) ++m_inPos;
            g = fadeWeight(m_inPos, length);
        }
        m_gain[size_t(i)] = g * fadeWeight(m_outPos, length);
    }
    return true;
}

void CModResampler::padInput(int frames) {
    const unsigned mask = kPadRing - 1;
    const unsigned d = unsigned(m_pad);
    for (int ch = 0; ch < m_channels; ++ch) {
        double* ring = m_padRing.data() + size_t(ch) * kPadRing;
        const double* x = input(0).ch[ch];
        double* y = m_work.data() + size_t(ch) * size_t(m_workFrames);
        unsigned w = m_padWrite;
        for (int i = 0; i < frames; ++i, ++w) {
            ring[w & mask] = x[i];
            y[i] = ring[(w - d) & mask];
        }
    }
    m_padWrite += unsigned(frames);
}

void CModResampler::process(int frames) {
    if (frames > 0) m_playing = true;
    const double* src[audio::kMaxChannels];
    for (int ch = 0; ch < m_channels; ++ch) src[ch] = input(0).ch[ch];
    if (m_up) {
        if (fadeGains(frames))
            for (int ch = 0; ch < m_channels; ++ch) {
                double* y = m_work.data() + size_t(ch) * size_t(m_workFrames);
                for (int i = 0; i < frames; ++i) y[i] = src[ch][i] * m_gain[size_t(i)];
                src[ch] = y;
            }
    } else if (m_octaves > 0) {
        padInput(frames);
        for (int ch = 0; ch < m_channels; ++ch) src[ch] = m_work.data() + size_t(ch) * size_t(m_workFrames);
    }
    int n = frames;
    for (int i = 0; i < m_chainLength; ++i) {
        CAudioProcessBase* node = m_chain[size_t(i)];
        CPortBuffers& in = node->input(0);
        in.channels = m_channels;
        for (int ch = 0; ch < m_channels; ++ch) in.ch[ch] = src[ch];
        node->process(n);
        n = node->outputFrames(n);
        for (int ch = 0; ch < m_channels; ++ch) src[ch] = node->outputChannel(0, ch);
    }
    if (!m_up && fadeGains(n))
        for (int ch = 0; ch < m_channels; ++ch) {
            double* y = outputBuffer(0, ch);
            for (int i = 0; i < n; ++i) y[i] = src[ch][i] * m_gain[size_t(i)];
            src[ch] = y;
        }
    for (int ch = 0; ch < m_channels; ++ch) m_final[ch] = src[ch];
}

const double* CModResampler::outputChannel(int port, int ch) const {
    if (port == 0 && ch >= 0 && ch < m_channels && m_final[ch]) return m_final[ch];
    return m_out.channel(port, ch);
}

void CModResampler::reset() {
    for (int k = 0; k < kMaxOctaves; ++k) {
        m_stages[size_t(k)]->reset();
        m_filters[size_t(k)]->reset();
    }
    std::fill(m_padRing.begin(), m_padRing.end(), 0.0);
    m_playing = false;
    if (m_target != m_octaves) {
        switchTo(m_target);
        updateNodes();
    }
    m_inPos = m_outPos = m_fadeLength;
    m_mute = 0;
}
