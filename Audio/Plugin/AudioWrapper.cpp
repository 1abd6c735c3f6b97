// CAudioWrapper: building and validating the instance, host facts.
#include "Audio/Plugin/AudioWrapper.h"

#include <algorithm>
#include <cmath>

#include "Audio/Params/AudioExtParam.h"
#include "Audio/Params/AudioParam.h"
#include "Audio/Registry/AudioParamRegistry.h"
#include "Audio/Interface/AudioInterfaceBase.h"
#include "Audio/Viz/AudioVizCollector.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Plugin/AudioWrapperImpl.h"
#include "Audio/Graph/ProcessBuild.h"
#include "Audio/Graph/ProcessDef.h"
#include "Audio/Processes/Flow/ModNode.h"
#include "Core/AppData.h"
#include "Core/Log.h"
#include "Platform/System.h"

CAudioWrapper::CAudioWrapper() : m_impl(std::make_unique<Impl>()) {}

CAudioWrapper::~CAudioWrapper() {
    // The host side lets go of the parameters, then the graph goes: its
    // parameters unregister from the collector.
    unbindHostSide();
    if (m_impl->root) m_impl->root.reset();
}

CObject* CAudioWrapper::instanceRoot() const { return m_impl->root.get(); }

CError CAudioWrapper::acquirePluginCode(const CString& text, uint32_t* code) {
    if (text.length() != 4) return KEL_ERROR(kelstr_CAudioWrapper_acquirePluginCode_PluginCodeError, text);
    uint32_t c = 0;
    for (size_t i = 0; i < 4; ++i) {
        if (text.at(i) > 0xFF) return KEL_ERROR(kelstr_CAudioWrapper_acquirePluginCode_PluginCodeError, text);
        c = (c << 8) | uint32_t(text.at(i));
    }
    *code = c;
    return {};
}

CError CAudioWrapper::parseVersion(const CString& text, int version[3]) {
    std::vector<int64_t> parts;
    for (const CString& piece : splitString(text, u'.')) {
        if (piece.empty()) continue;
        int64_t v = -1;
        if (!piece.toInt(&v) || v < 0 || v > 0x7FFFFFFF)
            return KEL_ERROR(kelstr_CAudioWrapper_parseVersion_InvalidVersion, text);
        parts.push_back(v);
    }
    if (parts.size() < 2 || parts.size() > 3) return KEL_ERROR(kelstr_CAudioWrapper_parseVersion_InvalidVersion, text);
    version[0] = int(parts[0]);
    version[1] = int(parts[1]);
    version[2] = parts.size() == 3 ? int(parts[2]) : 0;
    return {};
}

namespace {
// A framework object of the instance; optional ones may be missing while the
// definitions do not declare them yet.
template <class T>
CError bindObject(CObject* root, const char* path, T** out, bool required) {
    if (!required && !root->findObject(path)) {
        *out = nullptr;
        return {};
    }
    return root->findObjectChecked<T>(path, out);
}
}  // namespace

CError CAudioWrapper::init() {
    Impl& d = *m_impl;
    const int64_t t0 = plat::perfCounter();
    // 1. The instance root.
    CApplication* app = CApplication::instance();
    if (!app) return KEL_ERROR(kelstr_CAudioWrapper_init_NoApp);
    KEL_TRY(app->initRootObject({}, &d.root));
    CRootObject* root = d.root.get();
    // 2. The per-instance tree from the run-time template named by shared::audio.
    CObject* audio = nullptr;
    KEL_TRY(root->findObjectChecked<CObject>("shared::audio", &audio));
    KEL_TRY(root->createChild(audio->attr("plugin-tag"), "plugin", &d.plugin));
    // 3-7. Identity.
    KEL_TRY(root->findObjectChecked<CObject>("shared::project", &d.project));
    const CObject* project = d.project;
    m_pluginName = project->attr("app-name");
    if (m_pluginName.empty()) return KEL_ERROR(kelstr_CAudioWrapper_init_PluginNameEmpty);
    m_vendorName = project->attr("app-vendor");
    if (m_vendorName.empty()) return KEL_ERROR(kelstr_CAudioWrapper_init_VendorNameEmpty);
    m_intChannels = int(project->attrInt("plugin-intchannel-count", 0));
    if (m_intChannels < 1 || m_intChannels > 16) return KEL_ERROR(kelstr_CAudioWrapper_init_InvalidIntChannelCount);
    m_groupCount = int(project->attrInt("plugin-group-count", 0));
    if (m_groupCount < 1 || m_groupCount > 8) return KEL_ERROR(kelstr_CAudioWrapper_init_InvalidGroupCount);
    KEL_TRY(acquirePluginCode(project->attr("plugin-code"), &m_pluginCode));
    KEL_TRY(parseVersion(project->attr("app-version"), m_version));
    const CString tail = project->attr("plugin-tail");
    m_hasTail = !tail.empty();
    m_tailSeconds = m_hasTail ? project->attrReal("plugin-tail", 0.4) : 0.0;
    // 8. The framework objects of the instance.
    KEL_TRY(bindObject(root, "plugin.audio-env", &d.env, true));
    KEL_TRY(bindObject(root, "plugin.param-collector", &d.collector, true));
    KEL_TRY(bindObject(root, "plugin.viz-collector", &d.vizCollector, false));
    KEL_TRY(bindObject(root, "plugin.interface-base", &d.interfaceBase, false));
    KEL_TRY(bindObject(root, "plugin.ext-param-list", &d.extParamList, false));
    KEL_TRY(bindObject(root, "plugin.cctable", &d.ccTable, false));
    KEL_TRY(bindObject(root, "plugin.param-registry", &d.registry, false));
    if (d.extParamList && !dynamic_cast<CAudioExtParamList*>(d.extParamList))
        return KEL_ERROR(kelstr_CObject_findObjectChecked_CastError, CString("plugin.ext-param-list"),
                         d.plugin->fullName());
    d.env->setInternalChannels(m_intChannels);
    d.env->setGroupCount(m_groupCount);
    d.env->setSampleRate(d.sampleRate);
    // 9. The main and the output process from the shared definitions (the bound
    // parameters below live in them).
    const CAudioProcessDefBase* mainDef = nullptr;
    const CAudioProcessDefBase* outDef = nullptr;
    KEL_TRY(root->findObjectChecked<const CAudioProcessDefBase>("shared::audio.modMain", &mainDef));
    KEL_TRY(root->findObjectChecked<const CAudioProcessDefBase>("shared::audio.modOutput", &outDef));
    CAudioProcessBuild build(d.collector, d.env);
    build.setGroupCount(m_groupCount);
    std::unique_ptr<CAudioProcessBase> mainProc = build.createProcess(*mainDef);
    d.main = dynamic_cast<CAudioProcess*>(mainProc.get());
    if (!d.main) return KEL_ERROR(kelstr_CAudioProcess_init_ProcessDefClassInvalid);
    mainProc->setName("modMain");
    mainProc->setTag(mainDef->tag());
    d.plugin->attachChild(std::move(mainProc));
    KEL_TRY(d.main->build(*mainDef, build));
    std::unique_ptr<CAudioProcessBase> outProc = outDef->createProcess();
    d.output = dynamic_cast<CModOutput*>(outProc.get());
    if (!d.output) return KEL_ERROR(kelstr_CAudioWrapper_init_InvalidOutProcessType);
    outProc->setName("modOutput");
    outProc->setTag(outDef->tag());
    d.plugin->attachChild(std::move(outProc));
    KEL_TRY(d.output->build(*outDef, build));
    // 10. Bound parameters and flags.
    auto bind = [&](const char* name) { return d.collector->findParam(name); };
    d.hostOversampling = bind("plugin.modMain.host-oversampling-mode");
    d.hostOffline = bind("plugin.modMain.host-offline");
    d.hostLatencyChange = bind("plugin.modMain.host-latency-change");
    d.bypassEnable = bind("plugin.modMain.bypass-enable");
    d.autoOversamplingRtMode = int(project->attrInt("auto-oversampling-rtmode", 1));
    d.vizAlwaysActive = project->attrBool("is-viz-always-active");
    d.symmetricIo = project->attrBool("is-symmetric-io", true);
    d.useHostBpm = project->attrBool("use-host-bpm");
    if (d.useHostBpm) d.hostBpm = bind("plugin.modMain.host-bpm");
    d.useHostRecording = project->attrBool("use-host-recording");
    if (d.useHostRecording) d.hostRec = bind("plugin.modMain.host-rec");
    // 11. Editor size, optional bindings, the initial layout.
    d.mainWindowSize = bind("plugin.modMain.main-window-size");
    d.useWindowResizing = project->attrBool("use-window-resizing");
    d.useSidechain = project->attrBool("use-sidechain");
    d.useRouting = project->attrBool("use-routing");
    d.useMidSide = project->attrBool("use-mid-side");
    computeEditorSize();
    KEL_TRY(bindHostSide());
    KEL_TRY(bindRouting());
    if (d.interfaceBase) {
        KEL_TRY(d.interfaceBase->sendInternalChannelCount(m_intChannels));
        KEL_TRY(d.interfaceBase->sendGroupCount(m_groupCount));
    }
    d.pendingLayout[0] = 1;
    d.pendingLayout[1] = 0;
    d.pendingLayout[2] = 1;
    d.layoutPending = true;
    // 12. Group-wide settings.
    int64_t level = 1;
    if (!CAppData::group().readStringOr("oversampling-level", "1").toInt(&level)) level = 1;
    d.oversamplingLevel = int(level);
    const CString force = CAppData::group().readStringOr("force-2ch", "0");
    d.force2ch = force == "1" || force == "true";
    m_initialized = true;
    kelLogf("CAudioWrapper init time: %.4f s @ %.4f s", plat::perfSeconds(t0, plat::perfCounter()),
            kelSecondsSinceStart());
    return {};
}

void CAudioWrapper::computeEditorSize() {
    Impl& d = *m_impl;
    CAppData& local = CAppData::local();
    const CString useSr = local.readStringOr("ui-scale-usesr", "true");
    const bool useScreen = !(useSr == "false" || useSr == "0");
    double scale = 1.0;
    if (!local.readStringOr(useScreen ? "ui-scale2" : "ui-scale", "1.0").toDouble(&scale) || !(scale > 0)) scale = 1.0;
    if (useScreen) {
        int w = 0, h = 0;
        if (plat::screenSizeAt(0, 0, &w, &h) && w > 0 && h > 0) scale *= double(std::min(w, h)) / 1080.0;
        // A multiple of 0.05, halves away from zero, at least 0.8.
        scale = std::floor(scale / 0.05 + 0.5) * 0.05;
        if (scale < 0.8) scale = 0.8;
    }
    m_uiScale = scale;
    auto element = [&](int e, double def) {
        return d.mainWindowSize ? d.mainWindowSize->value(0, uint32_t(e)) : def;
    };
    m_editorWidth = int(std::floor(element(0, 400.0) * scale + 0.5));
    m_editorHeight = int(std::floor(element(1, 300.0) * scale + 0.5));
}

bool CAudioWrapper::useWindowResizing() const { return m_impl->useWindowResizing; }

// --- Host facts ----------------------------------------------------------------------

void CAudioWrapper::setSampleRate(double rate) {
    if (rate <= 0) return;
    m_impl->sampleRate = rate;
    if (m_impl->env) m_impl->env->setSampleRate(rate);
    if (m_impl->preparedRate != rate) m_impl->prepared = false;
}

double CAudioWrapper::sampleRate() const { return m_impl->sampleRate; }

void CAudioWrapper::setMaxBlockSize(int frames) { m_impl->maxBlock = frames; }

void CAudioWrapper::setIoLayout(int inChannels, int sidechainChannels, int outChannels) {
    Impl& d = *m_impl;
    if (!d.env) return;
    plat::CLock g(d.env->lock());
    postLayout(inChannels, sidechainChannels, outChannels);
}

// Under the environment's lock: the layout the audio side takes at its next chunk.
void CAudioWrapper::postLayout(int inChannels, int sidechainChannels, int outChannels) {
    Impl& d = *m_impl;
    d.pendingLayout[0] = std::clamp(inChannels, 0, audio::kMaxChannels);
    d.pendingLayout[1] = std::clamp(sidechainChannels, 0, audio::kMaxChannels - d.pendingLayout[0]);
    d.pendingLayout[2] = std::clamp(outChannels, 0, audio::kMaxChannels);
    d.layoutPending = true;
}
