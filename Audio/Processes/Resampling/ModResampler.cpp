#include "Audio/Processes/Resampling/ModResampler.h"

#include <algorithm>
#include <cmath>

#include "Audio/Plugin/AudioEnv.h"
#include "Audio/Processes/ModuleSlots.h"

CModResampler::CModResampler() = default;
CModResampler::~CModResampler() = default;

// --- Building --------------------------------------------------------------------------

CModResampler* CModResampler::openUpEnd() const {
    const CObject* container = parent();
    if (!container) return nullptr;
    CModResampler* open = nullptr;
    for (const auto& sibling : container->children()) {
        if (sibling.get() == this) break;
        auto* r = dynamic_cast<CModResampler*>(sibling.get());
        if (r && r->isUpsampler()) open = r->m_closed ? nullptr : r;
        if (r && !r->isUpsampler()) open = nullptr;
    }
    return open;
}

CError CModResampler::moduleSetup(CAudioProcessBuild& b) {
    m_end = m_def->attrBool("is-upsampler") ? COversampledSection::kUp : COversampledSection::kDown;
    registerParam(b, 0, "mode", kelModuleSlotDefault(*m_def, 0, "mode", 1.0));
    registerParam(b, 1, "host-mode", kelModuleSlotDefault(*m_def, 1, "host-mode", 0.0));
    CModResampler* up = isUpsampler() ? nullptr : openUpEnd();
    if (up) {
        up->m_closed = true;
        m_section = up->m_section;
    } else {
        m_ownSection = std::make_unique<COversampledSection>();
        m_section = m_ownSection.get();
    }
    return m_section->buildEnd(m_end, *this, *m_def, b);
}

// --- Rates and preparation -------------------------------------------------------------------

double CModResampler::maxOutputRate(double maxInputRate) const {
    if (isUpsampler()) return maxInputRate * double(1 << kMaxOctaves);
    // Back to the host rate. The host rate is the environment's; the input at
    // most 8 times it bounds it from below, whatever the environment says.
    const double host = env() ? env()->sampleRate() : 0.0;
    return std::min(maxInputRate, std::max(host, maxInputRate / double(1 << kMaxOctaves)));
}

CError CModResampler::prepare(const CProcessConfig& config) {
    KEL_TRY(CAudioProcessTerminalBase::prepare(config));
    const double maxIn = config.maxSampleRate;
    const double maxOut = maxOutputRate(maxIn);
    KEL_TRY(m_section->prepare(m_end, config, maxOut, xfadeSeconds()));
    // At 1X a block passes at the input rate.
    outputStorage().allocate(1, config.maxChannels, std::max(config.framesAt(maxIn), config.framesAt(maxOut)));
    updateParams();
    m_section->start(m_end, m_rate, m_channels, leastOctaves());
    return {};
}

double CModResampler::maxLatencySeconds() const {
    return m_section->maxLatencySeconds(m_end, std::min(m_config.hostRate, m_config.maxSampleRate));
}

// --- Factor -----------------------------------------------------------------------------------

void CModResampler::updateParams() {
    // The section follows the up end's parameters (a lone end's own).
    if (!isUpsampler() && m_section->hasEnd(COversampledSection::kUp)) return;
    const int m = int(std::lround(param(0)));
    m_section->setRequested(m <= 0 ? int(std::lround(param(1))) : m - 1);
}

bool CModResampler::readyForBypass(bool bypass, bool playing) {
    return m_section->readyForBypass(m_end, bypass, playing);
}

int CModResampler::leastOctaves() const {
    if (isUpsampler()) return 0;
    // A down end never leaves its output above the rate the graph was
    // prepared for, whatever its parameters say.
    const double maxOut = maxOutputRate(m_config.maxSampleRate);
    int o = 0;
    while (o < kMaxOctaves && m_rate / double(1 << o) > maxOut * (1.0 + 1e-9)) ++o;
    return o;
}

bool CModResampler::update() {
    const double oldLatency = latency(), oldFactor = rateFactor();
    CAudioProcessTerminalBase::update();
    m_section->update(m_end, m_rate, m_channels, inputLatency(), leastOctaves());
    return latency() != oldLatency || rateFactor() != oldFactor;
}

// --- Processing ---------------------------------------------------------------------------------

void CModResampler::process(int frames) {
    double* fadeOut[audio::kMaxChannels];
    for (int ch = 0; ch < m_channels; ++ch) fadeOut[ch] = outputBuffer(0, ch);
    m_section->process(m_end, input(0), m_channels, frames, fadeOut, m_final);
}

const double* CModResampler::outputChannel(int port, int ch) const {
    if (port == 0 && ch >= 0 && ch < m_channels && m_final[ch]) return m_final[ch];
    return m_out.channel(port, ch);
}

void CModResampler::reset() {
    // Both ends reset the one section; doing it twice changes nothing.
    m_section->reset();
}
