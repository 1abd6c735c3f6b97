#include "ProductCore.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "Audio/Params/AudioParam.h"
#include "Audio/Plugin/AudioWrapper.h"
#include "Audio/Graph/ProcessBuild.h"
#include "Audio/Graph/ProcessDef.h"

namespace product {

namespace {
constexpr int kChunk = 512;
}

CCoreInstance::CCoreInstance(double rate) : m_rate(rate) {
    if (CError e = init()) {
        m_error = e.text();
        m_main = nullptr;
    }
}

CError CCoreInstance::init() {
    CApplication* app = CApplication::instance();
    if (!app) return KEL_ERROR(kelstr_CAudioWrapper_init_NoApp);
    KEL_TRY(app->initRootObject({}, &m_root));
    CObject* audio = nullptr;
    KEL_TRY(m_root->findObjectChecked<CObject>("shared::audio", &audio));
    KEL_TRY(m_root->createChild(audio->attr("plugin-tag"), "plugin", &m_plugin));
    KEL_TRY(m_root->findObjectChecked<CAudioEnv>("plugin.audio-env", &m_env));
    KEL_TRY(m_root->findObjectChecked<CAudioParamCollector>("plugin.param-collector", &m_collector));
    const CObject* project = nullptr;
    KEL_TRY(m_root->findObjectChecked<const CObject>("shared::project", &project));
    const int groups = int(project->attrInt("plugin-group-count", 8));
    m_env->setInternalChannels(int(project->attrInt("plugin-intchannel-count", 8)));
    m_env->setGroupCount(groups);
    m_env->setSampleRate(m_rate);
    const CAudioProcessDefBase* def = nullptr;
    KEL_TRY(m_root->findObjectChecked<const CAudioProcessDefBase>("shared::audio.modMain", &def));
    CAudioProcessBuild build(m_collector, m_env);
    build.setGroupCount(groups);
    std::unique_ptr<CAudioProcessBase> proc = build.createProcess(*def);
    auto* main = dynamic_cast<CAudioProcess*>(proc.get());
    if (!main) return KEL_ERROR(kelstr_CAudioProcess_init_ProcessDefClassInvalid);
    proc->setName("modMain");
    proc->setTag(def->tag());
    m_plugin->attachChild(std::move(proc));
    m_main = main;
    KEL_TRY(main->build(*def, build));
    CProcessConfig cfg;
    cfg.hostRate = m_rate;
    cfg.hostMaxFrames = kChunk;
    cfg.maxSampleRate = m_rate;
    cfg.maxChannels = audio::kMaxChannels;
    KEL_TRY(main->prepare(cfg));
    main->setRate(m_rate);
    main->reset();
    m_env->setMaxBlock(kChunk);
    m_env->setLayout(2, 0, 2);
    m_env->setActive(true);
    main->setChannels(2);
    m_in.assign(size_t(2 * kChunk), 0.0);
    return {};
}

CCoreInstance::~CCoreInstance() {
    // The runtime parameters leave the collector before it goes.
    if (m_plugin && m_main) m_plugin->releaseChild(m_main).reset();
    m_root.reset();
}

bool CCoreInstance::set(const std::string& fullName, double value, int element, int group) {
    CAudioParam* p = m_collector ? m_collector->findParam(CString(fullName)) : nullptr;
    if (!p) return false;
    p->storage().setValue(uint32_t(group), uint32_t(element), 0, value);
    p->storage().markChanged();
    // Its listeners (parameter filters, remaps) follow as after any edit.
    m_collector->notifyChanged(*p);
    return true;
}

bool CCoreInstance::setList(const std::string& fullName, const std::string& values) {
    std::stringstream ss(values);
    std::string item;
    int e = 0;
    while (std::getline(ss, item, ','))
        if (!set(fullName, std::stod(item), e++)) return false;
    return true;
}

double CCoreInstance::get(const std::string& fullName, int element, int group) const {
    const CAudioParam* p = m_collector ? m_collector->findParam(CString(fullName)) : nullptr;
    return p ? p->value(uint32_t(group), uint32_t(element)) : NAN;
}

Stereo CCoreInstance::run(const Stereo& in) {
    Stereo out(in.size());
    for (size_t pos = 0; pos < in.size(); pos += kChunk) {
        const int n = int(std::min(size_t(kChunk), in.size() - pos));
        double* l = m_in.data();
        double* r = m_in.data() + kChunk;
        std::copy_n(in.l.data() + pos, n, l);
        std::copy_n(in.r.data() + pos, n, r);
        m_env->setChunkEndTime(m_env->currentTime() + double(n) / m_rate);
        CPortBuffers& port = m_main->input(0);
        port.channels = 2;
        port.ch[0] = l;
        port.ch[1] = r;
        m_main->update();
        m_main->process(n);
        const int outs = m_main->outputChannels();
        for (int i = 0; i < n; ++i) {
            out.l[pos + size_t(i)] = outs > 0 ? m_main->outputChannel(0, 0)[i] : 0.0;
            out.r[pos + size_t(i)] = outs > 1 ? m_main->outputChannel(0, 1)[i] : 0.0;
        }
        m_env->setTotalLatency(int(std::lround(m_main->latency())));
        m_env->setCurrentTime(m_env->currentTime() + double(n) / m_rate);
    }
    return out;
}

int CCoreInstance::latency() const { return m_main ? int(std::lround(m_main->latency())) : -1; }

}  // namespace product
