#include "Audio/Graph/ProcessStack.h"

#include <algorithm>
#include <cmath>

#include "Audio/Params/ParamAccess.h"
#include "Audio/Graph/ProcessBuild.h"
#include "Audio/Graph/ProcessDef.h"

CError CAudioProcessStack::build(const CAudioProcessDefBase& def, CAudioProcessBuild& b) {
    m_def = &def;
    const int shift = def.stackIndexShift();
    for (int g = 0; g < audio::kMaxGroups; ++g) {
        std::unique_ptr<CAudioProcessBase> inst = def.createProcess();
        inst->setTag(def.tag());
        inst->setGroup(g + shift < audio::kMaxGroups ? g + shift : g);
        CAudioProcessBase* raw = inst.get();
        attachChild(std::move(inst));  // unnamed: instances share the stack's full name
        m_instances.push_back(raw);
        KEL_TRY(raw->build(def, b));
    }
    // The grouping parameter of the nearest enclosing level that declares one.
    for (const CAudioProcessBase* p = this; p && !m_grouping; p = kelParentProcess(*p))
        m_grouping = b.resolveParam(*p, "io-params.grouping");
    for (int ch = 0; ch < audio::kMaxChannels; ++ch) m_groupOf[ch] = -1;
    setInputPortCount(inputPortCount());
    return {};
}

int CAudioProcessStack::inputPortCount() const {
    return m_instances.empty() ? 1 : m_instances[0]->inputPortCount();
}

int CAudioProcessStack::outputPortCount() const {
    return m_instances.empty() ? 1 : m_instances[0]->outputPortCount();
}

double CAudioProcessStack::maxOutputRate(double maxInputRate) const {
    return m_instances.empty() ? maxInputRate : m_instances[0]->maxOutputRate(maxInputRate);
}

double CAudioProcessStack::maxLatencySeconds() const {
    double m = 0.0;
    for (auto* i : m_instances) m = std::max(m, i->maxLatencySeconds());
    return m;
}

CError CAudioProcessStack::prepare(const CProcessConfig& config) {
    m_config = config;
    m_rate = config.maxSampleRate;
    m_channels = config.maxChannels;
    for (auto* inst : m_instances) {
        inst->setInputPortCount(std::max(inputPortCount(), int(m_inputs.size())));
        KEL_TRY(inst->prepare(config));
    }
    m_outPorts = outputPortCount();
    const double outRate = maxOutputRate(config.maxSampleRate);
    const int frames = config.framesAt(outRate);
    m_out.allocate(m_outPorts, config.maxChannels, frames);
    m_outPtr.assign(size_t(m_outPorts) * audio::kMaxChannels, nullptr);
    m_delays.resize(m_instances.size());
    const int maxDelay = int(std::ceil(maxLatencySeconds() * outRate)) + 2;
    for (auto& d : m_delays) d.prepare(config.maxChannels * m_outPorts, maxDelay, int(std::lround(audio::kDefaultCrossfadeSeconds * outRate)));
    return {};
}

void CAudioProcessStack::setRate(double sampleRate) {
    CAudioProcessBase::setRate(sampleRate);
    for (auto* inst : m_instances) inst->setRate(sampleRate);
}

bool CAudioProcessStack::update() {
    const double oldLatency = m_latency;
    for (int g = 0; g < audio::kMaxGroups; ++g) m_memberCount[g] = 0;
    for (int ch = 0; ch < m_channels; ++ch) {
        int g = int(std::lround(kelParamValue(m_grouping, 0, ch, 0.0)));
        if (g < 0 || g >= int(m_instances.size())) g = 0;
        m_groupOf[ch] = g;
        m_members[g][m_memberCount[g]++] = ch;
    }
    double latency = 0.0;
    for (size_t g = 0; g < m_instances.size(); ++g) {
        if (m_memberCount[g] == 0) continue;
        CAudioProcessBase* inst = m_instances[g];
        inst->setChannels(m_memberCount[g]);
        inst->update();
        latency = std::max(latency, inst->latency());
    }
    for (size_t g = 0; g < m_instances.size(); ++g)
        if (m_memberCount[g] > 0) m_delays[g].setDelay(int(std::lround(latency - m_instances[g]->latency())));
    m_latency = latency;
    return m_latency != oldLatency;
}

int CAudioProcessStack::outputFrames(int inputFrames) const {
    return m_instances.empty() ? inputFrames : m_instances[0]->outputFrames(inputFrames);
}

double CAudioProcessStack::rateFactor() const { return m_instances.empty() ? 1.0 : m_instances[0]->rateFactor(); }

double CAudioProcessStack::peakRate() const {
    double peak = CAudioProcessBase::peakRate();
    for (size_t g = 0; g < m_instances.size(); ++g)
        if (m_memberCount[g] > 0) peak = std::max(peak, m_instances[g]->peakRate());
    return peak;
}

void CAudioProcessStack::process(int frames) {
    const int outFrames = outputFrames(frames);
    for (size_t g = 0; g < m_instances.size(); ++g) {
        const int n = m_memberCount[g];
        if (n == 0) continue;
        CAudioProcessBase* inst = m_instances[g];
        // The instance sees the channels of its group.
        for (int p = 0; p < int(m_inputs.size()) && p < inst->inputPortCount(); ++p) {
            CPortBuffers& in = inst->input(p);
            in.channels = n;
            for (int k = 0; k < n; ++k) in.ch[k] = m_inputs[size_t(p)].ch[m_members[g][k]];
        }
        inst->process(frames);
        CAlignDelay& d = m_delays[g];
        const bool delayed = d.delay() != 0;
        for (int p = 0; p < m_outPorts; ++p)
            for (int k = 0; k < n; ++k) {
                const int ch = m_members[g][k];
                const double* src = inst->outputChannel(p, k);
                const double*& dst = m_outPtr[size_t(p) * audio::kMaxChannels + size_t(ch)];
                if (!delayed) {
                    dst = src;
                } else {
                    dst = d.pass(p * m_config.maxChannels + k, src, m_out.channel(p, ch), outFrames);
                }
            }
        d.endBlock(outFrames);
    }
    m_lastFrames = outFrames;
}

const double* CAudioProcessStack::outputChannel(int port, int ch) const {
    const double* p = m_outPtr[size_t(port) * audio::kMaxChannels + size_t(ch)];
    return p ? p : m_out.channel(port, ch);
}

void CAudioProcessStack::reset() {
    for (auto* inst : m_instances) inst->reset();
    for (auto& d : m_delays) d.reset();
}
