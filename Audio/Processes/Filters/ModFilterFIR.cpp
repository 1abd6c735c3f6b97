#include "Audio/Processes/Filters/ModFilterFIR.h"

#include <algorithm>
#include <cmath>

#include "Audio/Plugin/AudioDiagnostics.h"
#include "Audio/Params/AudioParam.h"
#include "Audio/Filters/FIRDesign.h"
#include "Audio/Graph/ProcessBuild.h"
#include "Audio/Processes/ModuleSlots.h"
#include "Core/Log.h"

namespace {

constexpr const char* kSlotNames[5] = {"count", "index", "latency", "fixsr", "length"};
constexpr double kSlotFallbacks[5] = {0.0, 0.0, 7.0, 0.0, 0.0015};

// Problems worth a line in the log (reported when they first occur).
enum { kProblemNone = 0, kProblemCombining = 1, kProblemTooLong = 2 };

bool sameValues(const CAudioFilterParamList& a, const CAudioFilterParamList& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].value != b[i].value) return false;
    return true;
}

}  // namespace

// --- Processor --------------------------------------------------------------------

CError CModFilterFIR::prepare(size_t maxTaps, int blockOrder, bool zeroLatency) {
    return m_conv.prepare(maxTaps, blockOrder, zeroLatency, true);
}

// --- Module -----------------------------------------------------------------------

CError CModFilterFIRModule::moduleSetup(CAudioProcessBuild& b) {
    const CString name = m_def->attr("gen-array");
    m_array = dynamic_cast<const CAudioFilterGenArray*>(name.empty() ? nullptr : m_def->findObject(name));
    if (!m_array) return KEL_ERROR(kelstr_CModFilterFIR_init_GenArrayNotFound, name);
    // The generators' own parameters follow "length".
    std::vector<std::string_view> names;
    m_array->collectParamNames(names);
    m_genNames.clear();
    for (std::string_view n : names)
        if (n != "length") m_genNames.push_back(n);
    m_slotParams.clear();
    auto slot = [&](int index, const char* slotName, double fallback) {
        registerParam(b, index, slotName, kelModuleSlotDefault(*m_def, index, slotName, fallback));
        // Kept for the ranges that size the storage.
        m_slotParams.push_back(b.resolveParam(*this, kelModuleSlotName(*m_def, index, slotName)));
    };
    for (int i = 0; i < 5; ++i) slot(i, kSlotNames[i], kSlotFallbacks[i]);
    for (size_t i = 0; i < m_genNames.size(); ++i) slot(kFirstGenSlot + int(i), std::string(m_genNames[i]).c_str(), 0.0);
    return {};
}

void CModFilterFIRModule::readParams(CAudioFilterParamList& out, bool withRanges) const {
    out.clear();
    auto add = [&](std::string_view name, int slot) {
        const double v = param(slot);
        const CAudioParam* p = m_slotParams[size_t(slot)];
        if (withRanges && p && p->info().isNumeric())
            out.set(name, v, std::min(v, p->info().minValue(0)), std::max(v, p->info().maxValue(0)));
        else
            out.set(name, v);
    };
    add("length", 4);
    for (size_t i = 0; i < m_genNames.size(); ++i) add(m_genNames[i], kFirstGenSlot + int(i));
}

CError CModFilterFIRModule::prepare(const CProcessConfig& config) {
    KEL_TRY(CAudioProcessTerminalBase::prepare(config));
    m_blockOrder = std::clamp(int(std::lround(param(2))), 0, CFIRConvolver::kMaxBlockOrder);
    m_zeroLatency = m_def->attrBool("is-zero-latency");
    m_block = m_zeroLatency ? 0 : 1 << m_blockOrder;

    // The kernel of the current values and the longest the ranges allow, both
    // at the highest rate; the latter only as far as the prepared span.
    const double maxRate = config.maxSampleRate;
    CAudioFilterParamList now, ranges;
    readParams(now, false);
    readParams(ranges, true);
    const size_t current = m_array->maxTaps(firDesignRate(param(3), maxRate), now);
    const CAudioParam* fixsr = m_slotParams[3];
    double rangeRate = firDesignRate(param(3), maxRate);
    if (fixsr && fixsr->info().minValue(0) < 0.5 && fixsr->info().maxValue(0) >= 0.5)
        rangeRate = std::max(kFIRFixedDesignRate, maxRate);
    const size_t span = size_t(std::ceil(kMaxPreparedSpan * maxRate));
    const size_t longest = std::min(m_array->maxTaps(rangeRate, ranges), span);
    m_capacity = std::max<size_t>({current, longest, 1});
    const size_t kernels = std::max<size_t>(m_array->maxKernels(), 1);
    m_list.reserve(0, m_capacity * kernels, kernels);

    m_procs.resize(size_t(config.maxChannels));
    for (auto& p : m_procs) {
        if (!p) p = std::make_unique<CModFilterFIR>();
        KEL_TRY(p->prepare(m_capacity, m_blockOrder, m_zeroLatency));
    }
    m_haveDesign = false;
    m_problem = kProblemNone;
    regenerate(0, true);
    return {};
}

double CModFilterFIRModule::maxLatencySeconds() const {
    const double lowest = std::min(m_config.hostRate, m_config.maxSampleRate);
    const double low = lowest > 0.0 ? lowest : 44100.0;
    // A kernel designed at a fixed rate keeps its taps at every rate, so it
    // is longest in time at the lowest rate; one designed at the running rate
    // scales with it and is longest, in time, as prepared at the highest.
    // (Whether the design rate is fixed is a structural setting: it is taken
    // as it stands when the module is prepared.)
    if (param(3) >= 0.5 || !(m_config.maxSampleRate > 0.0)) return double(m_capacity + size_t(m_block)) / low;
    return double(m_capacity) / m_config.maxSampleRate + double(m_block) / low;
}

double CModFilterFIRModule::maxLatencySecondsAtPreparedRate() const {
    const double rate = m_config.maxSampleRate > 0.0 ? m_config.maxSampleRate : 44100.0;
    return double(m_capacity + size_t(m_block)) / rate;
}

void CModFilterFIRModule::report(int problem, bool mainThread) {
    if (problem == m_problem) return;
    m_problem = problem;
    const char* text = problem == kProblemCombining ? "FIR filter combining was not implemented yet!"
                     : problem == kProblemTooLong   ? "FIR kernel longer than the prepared storage; kept the previous one"
                                                    : nullptr;
    if (!text) return;
    if (mainThread)
        kelLogf("%s // %s", text, fullName().utf8().c_str());
    else
        kelAudioDiagnostic(text, this);
}

void CModFilterFIRModule::regenerate(int fadeSamples, bool mainThread) {
    CAudioFilterParamList params;
    readParams(params, false);
    const int index = int(std::lround(param(1)));
    const double rate = firDesignRate(param(3), m_rate);
    if (m_haveDesign && index == m_designedIndex && rate == m_designedRate && sameValues(params, m_designed)) return;

    m_list.clear();
    if (const CAudioFilterGen* gen = m_array->item(index)) gen->generate(m_list, rate, params);
    if (m_list.overflowed()) {
        // Nothing is installed; the next change tries again.
        report(kProblemTooLong, mainThread);
        return;
    }
    std::span<const double> taps;
    if (m_list.kernelCount() > 1)
        report(kProblemCombining, mainThread);
    else {
        report(kProblemNone, mainThread);
        if (m_list.kernelCount() == 1) taps = m_list.kernel(0);
    }
    for (auto& p : m_procs) (void)p->setKernel(taps, fadeSamples);
    m_latency = double(m_list.latency() + m_block);
    m_designed = params;
    m_designedIndex = index;
    m_designedRate = rate;
    m_haveDesign = true;
}

void CModFilterFIRModule::updateParams() {
    double seconds = xfadeLength();
    if (!(seconds > 0.0)) seconds = isSmoothUpdate() ? audio::kDefaultCrossfadeSeconds : 0.0;
    regenerate(int(std::lround(seconds * m_rate)), false);
}

void CModFilterFIRModule::process(int frames) {
    for (int ch = 0; ch < m_channels; ++ch) m_procs[size_t(ch)]->process(input(0).ch[ch], outputBuffer(0, ch), frames);
}

void CModFilterFIRModule::reset() {
    for (auto& p : m_procs) p->reset();
}
