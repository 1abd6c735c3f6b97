// CAudioWrapper: identity and validation. The graph-driven processing,
// parameters, programs and state arrive with the plug-in core; until then the
// instance passes audio through unchanged.
#include "Audio/AudioWrapper.h"

#include <cstring>

#include "Core/Application.h"
#include "Core/Log.h"
#include "Platform/System.h"

struct CAudioWrapper::Impl {
    double sampleRate = 44100.0;
    int maxBlock = 512;
    int inChannels = 2, sideChannels = 0, outChannels = 2;
    bool processing = false;
    std::unique_ptr<CRootObject> root;
};

CAudioWrapper::CAudioWrapper() : m_impl(std::make_unique<Impl>()) {}
CAudioWrapper::~CAudioWrapper() = default;

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
        if (!piece.toInt(&v) || v < 0 || v > 0x7FFFFFFF) return KEL_ERROR(kelstr_CAudioWrapper_parseVersion_InvalidVersion, text);
        parts.push_back(v);
    }
    if (parts.size() < 2 || parts.size() > 3) return KEL_ERROR(kelstr_CAudioWrapper_parseVersion_InvalidVersion, text);
    version[0] = int(parts[0]);
    version[1] = int(parts[1]);
    version[2] = parts.size() == 3 ? int(parts[2]) : 0;
    return {};
}

CError CAudioWrapper::init() {
    const int64_t t0 = plat::perfCounter();
    CApplication* app = CApplication::instance();
    if (!app) return KEL_ERROR(kelstr_CAudioWrapper_init_NoApp);
    KEL_TRY(app->initRootObject({}, &m_impl->root));
    CObject* project = nullptr;
    KEL_TRY(m_impl->root->findObjectChecked<CObject>("shared::project", &project));
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
    m_editorWidth = int(project->attrInt("window-width", 590));
    m_editorHeight = int(project->attrInt("window-height", 444));
    m_initialized = true;
    kelLogf("CAudioWrapper init time: %.4f s @ %.4f s", plat::perfSeconds(t0, plat::perfCounter()),
            kelSecondsSinceStart());
    return {};
}

void CAudioWrapper::setSampleRate(double rate) { m_impl->sampleRate = rate; }
double CAudioWrapper::sampleRate() const { return m_impl->sampleRate; }
void CAudioWrapper::setMaxBlockSize(int frames) { m_impl->maxBlock = frames; }
void CAudioWrapper::setIoLayout(int in, int side, int out) {
    m_impl->inChannels = in;
    m_impl->sideChannels = side;
    m_impl->outChannels = out;
}
void CAudioWrapper::setOffline(bool) {}
void CAudioWrapper::setTempo(double) {}
void CAudioWrapper::setRecording(bool) {}
void CAudioWrapper::setHostOversamplingMode(int) {}
void CAudioWrapper::setBypass(bool) {}

void CAudioWrapper::startProcessing() { m_impl->processing = true; }
void CAudioWrapper::stopProcessing() { m_impl->processing = false; }
bool CAudioWrapper::isProcessing() const { return m_impl->processing; }
void CAudioWrapper::setBlockParamChanges(const CHostParamChange*, int) {}

void CAudioWrapper::process(const CHostBus& in, const CHostBus*, CHostBus& out, int frames) {
    // Pass-through: copy matching channels, zero the rest.
    for (int ch = 0; ch < out.channels; ++ch) {
        for (int i = 0; i < frames; ++i) {
            double v = 0.0;
            if (ch < in.channels) {
                if (in.interleaved)
                    v = in.is64 ? static_cast<const double*>(in.data)[i * in.channels + ch]
                                : static_cast<const float*>(in.data)[i * in.channels + ch];
                else
                    v = in.is64 ? static_cast<const double*>(in.planar[ch])[i] : static_cast<const float*>(in.planar[ch])[i];
            }
            if (out.interleaved) {
                if (out.is64)
                    static_cast<double*>(out.data)[i * out.channels + ch] = v;
                else
                    static_cast<float*>(out.data)[i * out.channels + ch] = float(v);
            } else if (out.is64) {
                static_cast<double*>(out.planar[ch])[i] = v;
            } else {
                static_cast<float*>(out.planar[ch])[i] = float(v);
            }
        }
    }
}

int CAudioWrapper::latencySamples() const { return 0; }
void CAudioWrapper::latencyAcknowledged() {}

CError CAudioWrapper::saveState(COutputStream& out) {
    std::vector<uint8_t> empty;
    return out.writeCompressedData(empty, kIdAprs);
}

CError CAudioWrapper::loadState(CInputStream& in) {
    std::vector<uint8_t> data;
    KEL_TRY(in.readCompressedData(&data, kIdAprs));
    return {};
}

int CAudioWrapper::hostParamCount() const { return 0; }
CHostParamInfo CAudioWrapper::hostParamInfo(int) const { return {}; }
double CAudioWrapper::hostParamNormalized(int) const { return 0.0; }
void CAudioWrapper::setHostParamNormalized(int, double) {}
CString CAudioWrapper::hostParamText(int, double) const { return {}; }
bool CAudioWrapper::hostParamFromText(int, const CString&, double*) const { return false; }

int CAudioWrapper::programCount() const { return 1; }
CString CAudioWrapper::programName(int) const { return "Default"; }
int CAudioWrapper::currentProgram() const { return 0; }
CError CAudioWrapper::setProgram(int) { return {}; }
