#include "Audio/Processes/Filters/ModFilterIIR.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

#include "Audio/Processes/ModuleSlots.h"

// --- Processor ---------------------------------------------------------------------

CError CModFilterIIR::setGenArray(std::span<const CFilterArrayItem> array) {
    KEL_TRY(checkFilterArray(array));
    m_array = array;
    m_genArray = nullptr;
    return {};
}

void CModFilterIIR::setGenArray(const CAudioFilterGenArray* array) {
    m_genArray = array;
    m_array = {};
}

void CModFilterIIR::prepare(double sampleRate, int maxBlock) {
    m_rate = sampleRate;
    const size_t n = m_genArray ? m_genArray->maxSections() : maxFilterArraySections(m_array);
    m_list.reserve(n, 0, 0);
    m_sections.reserve(n);
    m_state.reserve(2 * n);
    m_oldSections.reserve(n);
    m_oldState.reserve(2 * n);
    m_scratch.assign(size_t(std::max(maxBlock, 1)), 0.0);
    m_fadeRun = m_fadePos = 0;
    m_hasPending = false;
    regenerate();
    reset();
}

void CModFilterIIR::setSampleRate(double sampleRate) {
    if (sampleRate == m_rate) return;
    m_rate = sampleRate;
    regenerate();
}

void CModFilterIIR::setParams(const Params& p) {
    if (m_fadeLength > 0 && m_running) {
        if (changing()) {
            m_pending = p;
            m_hasPending = !(p == m_params);
            return;
        }
        if (p == m_params) return;
        m_oldSections.assign(m_sections.begin(), m_sections.end());
        m_oldState.assign(m_state.begin(), m_state.end());
        m_params = p;
        regenerate();
        m_fadeRun = m_fadeLength;
        m_fadePos = 0;
        return;
    }
    if (p == m_params) return;
    m_params = p;
    regenerate();
}

void CModFilterIIR::reset() {
    std::fill(m_state.begin(), m_state.end(), 0.0);
    if (m_hasPending) {
        m_params = m_pending;
        regenerate();
    }
    m_hasPending = false;
    m_fadeRun = m_fadePos = 0;
    m_running = false;
}

void CModFilterIIR::regenerate() {
    const size_t before = m_sections.size();
    m_sections.clear();
    if (m_genArray) {
        m_list.clear();
        if (const CAudioFilterGen* gen = m_genArray->item(m_params.index)) {
            CAudioFilterParamList params;
            params.set("freq", m_params.freq);
            params.set("gain", m_params.gain);
            params.set("bw", m_params.bw);
            gen->generate(m_list, m_rate, params);
        }
        m_sections.assign(m_list.sections().begin(), m_list.sections().end());
    } else if (const CFilterArrayItem* item = findFilterArrayItem(m_array, m_params.index)) {
        generateSerial(item->items, {m_params.freq, m_params.gain, m_params.bw}, m_rate, m_sections);
    }
    if (m_sections.size() != before) m_state.assign(2 * m_sections.size(), 0.0);
}

namespace {

// Runs G sections in series, sample by sample: each section's recursion is a
// chain of dependent operations, and interleaving the sections lets those
// chains overlap instead of running one after another.
template <int G>
void runGroup(const CFilterSection* sec, double* st, const double* in, double* out, int frames) {
    double b0[G], b1[G], b2[G], a1[G], a2[G], z1[G], z2[G];
    for (int k = 0; k < G; ++k) {
        b0[k] = sec[k].b0;
        b1[k] = sec[k].b1;
        b2[k] = sec[k].b2;
        a1[k] = sec[k].a1;
        a2[k] = sec[k].a2;
        z1[k] = st[2 * k];
        z2[k] = st[2 * k + 1];
    }
    for (int i = 0; i < frames; ++i) {
        double x = in[i];
        for (int k = 0; k < G; ++k) {
            const double y = b0[k] * x + z1[k];
            z1[k] = b1[k] * x - a1[k] * y + z2[k];
            z2[k] = b2[k] * x - a2[k] * y;
            x = y;
        }
        out[i] = x;
    }
    // States that have decayed to nothing are cleared so that silence never
    // leaves them in the denormal range.
    for (int k = 0; k < G; ++k) {
        st[2 * k] = std::abs(z1[k]) < 1e-30 ? 0.0 : z1[k];
        st[2 * k + 1] = std::abs(z2[k]) < 1e-30 ? 0.0 : z2[k];
    }
}

void runSections(const CFilterSection* sections, size_t count, double* state, const double* in, double* out,
                 int frames) {
    if (count == 0) {
        if (in != out) std::memcpy(out, in, sizeof(double) * size_t(frames));
        return;
    }
    const double* src = in;
    for (size_t k = 0; k < count;) {
        const CFilterSection* sec = sections + k;
        double* st = state + 2 * k;
        switch (count - k) {
            case 1: runGroup<1>(sec, st, src, out, frames); k += 1; break;
            case 2: runGroup<2>(sec, st, src, out, frames); k += 2; break;
            default: runGroup<3>(sec, st, src, out, frames); k += 3; break;
        }
        src = out;
    }
}

}  // namespace

void CModFilterIIR::mixBlock(const double* in, double* out, int frames) {
    // The old filter first: in may be out.
    double* old = m_scratch.data();
    runSections(m_oldSections.data(), m_oldSections.size(), m_oldState.data(), in, old, frames);
    runSections(m_sections.data(), m_sections.size(), m_state.data(), in, out, frames);
    const double step = std::numbers::pi / double(m_fadeRun);
    int pos = m_fadePos;
    for (int i = 0; i < frames; ++i) {
        double w = 1.0;
        if (pos < m_fadeRun) {
            ++pos;
            w = pos == m_fadeRun ? 1.0 : 0.5 - 0.5 * std::cos(step * pos);
        }
        out[i] = old[i] + w * (out[i] - old[i]);
    }
    m_fadePos = pos;
}

void CModFilterIIR::process(const double* in, double* out, int frames) {
    if (frames > 0) m_running = true;
    while (changing() && frames > 0) {
        const int n = std::min(frames, int(m_scratch.size()));
        mixBlock(in, out, n);
        in += n;
        out += n;
        frames -= n;
        if (!changing() && m_hasPending) {
            m_hasPending = false;
            setParams(m_pending);
        }
    }
    if (frames > 0) runSections(m_sections.data(), m_sections.size(), m_state.data(), in, out, frames);
}

// --- Module ------------------------------------------------------------------------

CError CModFilterIIRModule::moduleSetup(CAudioProcessBuild& b) {
    const CString name = m_def->attr("gen-array");
    m_array = dynamic_cast<const CAudioFilterGenArray*>(name.empty() ? nullptr : m_def->findObject(name));
    if (!m_array) return KEL_ERROR(kelstr_CModFilterIIR_init_GenArrayNotFound, name);
    static constexpr const char* kNames[4] = {"index", "freq", "gain", "bw"};
    static constexpr double kFallbacks[4] = {0.0, 1000.0, 1.0, 0.7071};
    for (int i = 0; i < 4; ++i) registerParam(b, i, kNames[i], kelModuleSlotDefault(*m_def, i, kNames[i], kFallbacks[i]));
    return {};
}

CError CModFilterIIRModule::prepare(const CProcessConfig& config) {
    KEL_TRY(CAudioProcessTerminalBase::prepare(config));
    m_procs.resize(size_t(config.maxChannels));
    for (auto& p : m_procs) {
        if (!p) p = std::make_unique<CModFilterIIR>();
        p->setGenArray(m_array);
        p->prepare(config.maxSampleRate, config.maxFrames());
    }
    m_procRate = config.maxSampleRate;
    return {};
}

void CModFilterIIRModule::updateParams() {
    const double xfade = xfadeSeconds();
    const int fade = isSmoothUpdate() ? int(std::lround(xfade * m_rate)) : 0;
    // One design for every channel of the group.
    const CModFilterIIR::Params params = {int(std::lround(param(0))), param(1), param(2), param(3)};
    for (auto& p : m_procs) {
        p->setSmoothing(fade);
        if (m_rate != m_procRate) p->setSampleRate(m_rate);
        p->setParams(params);
    }
    m_procRate = m_rate;
}

void CModFilterIIRModule::process(int frames) {
    for (int ch = 0; ch < m_channels; ++ch) m_procs[size_t(ch)]->process(input(0).ch[ch], outputBuffer(0, ch), frames);
}

void CModFilterIIRModule::reset() {
    for (auto& p : m_procs) p->reset();
}
