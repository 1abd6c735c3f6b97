#include "Audio/Processes/Metering/ModStatsModule.h"

#include <algorithm>
#include <cmath>

#include "Audio/Plugin/AudioEnv.h"
#include "Audio/Graph/ProcessBuild.h"

namespace {
constexpr double kMinFps = 1.0;
constexpr double kMaxFps = 1000.0;

CAudioVizCollector* collectorNextTo(const CObject* o) {
    return o ? dynamic_cast<CAudioVizCollector*>(o->findChild("viz-collector")) : nullptr;
}
}  // namespace

CAudioVizCollector* kelFindVizCollector(const CObject& from, const CObject* env) {
    if (env)
        if (CAudioVizCollector* c = collectorNextTo(env->parent())) return c;
    for (const CObject* o = from.parent(); o; o = o->parent())
        if (CAudioVizCollector* c = collectorNextTo(o)) return c;
    return nullptr;
}

CModStatsModule::~CModStatsModule() = default;

CError CModStatsModule::readAttributes() {
    m_fps = kVizDefaultFps;
    const CString text = m_def->attr("fps").trimmed();
    double v = 0.0;
    if (!text.empty() && text.toDouble(&v) && v > 0.0) m_fps = std::clamp(v, kMinFps, kMaxFps);
    return {};
}

CError CModStatsModule::moduleSetup(CAudioProcessBuild& b) {
    KEL_TRY(readAttributes());
    connectParams(b);
    if (CAudioVizCollector* collector = kelFindVizCollector(*this, env())) {
        CAudioVizDataInfo info;
        describe(info);
        info.name = fullName();
        info.fps = m_fps;
        KEL_TRY(collector->registerSource(info, group(), &m_lane));
    }
    return {};
}

CError CModStatsModule::prepare(const CProcessConfig& config) {
    KEL_TRY(CAudioProcessTerminalBase::prepare(config));
    KEL_TRY(prepareStats(config));
    if (CAudioVizLane* lane = m_lane.get())
        if (CAudioVizCollector* c = lane->collector()) c->allocateLane(*lane, config.maxChannels);
    m_framePos = 0;
    m_frames = 0;
    return {};
}

void CModStatsModule::updateParams() {
    m_frameLength = std::max(1, int(std::lround(m_rate / m_fps)));
    m_framePos = std::min(m_framePos, m_frameLength - 1);
    updateStats();
    if (m_resetSlot >= 0) {
        const bool high = param(m_resetSlot) >= 0.5;
        if (high && !m_resetHigh) {
            resetStats();
            m_frames = 0;
        }
        m_resetHigh = high;
    }
}

void CModStatsModule::reset() {
    m_framePos = 0;
    m_frames = 0;
    resetStats();
}

void CModStatsModule::process(int frames) {
    if (m_channels <= 0) return;
    int done = 0;
    while (done < frames) {
        const int n = std::min(frames - done, m_frameLength - m_framePos);
        processSegment(done, n);
        done += n;
        m_framePos += n;
        if (m_framePos < m_frameLength) continue;
        m_framePos = 0;
        ++m_frames;
        endFrame();
        if (CAudioVizLane* lane = m_lane.get()) {
            publish(lane->staging());
            lane->publish(m_channels);
        }
    }
}

const double* CModStatsModule::outputChannel(int port, int ch) const {
    if (!m_inputs.empty()) {
        const CPortBuffers& in = input(port < int(m_inputs.size()) ? port : 0);
        if (ch < in.channels && in.ch[ch]) return in.ch[ch];
    }
    return m_out.channel(0, 0);  // silence: prepared storage is zeroed and never written
}
