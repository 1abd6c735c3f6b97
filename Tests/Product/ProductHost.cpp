#include "ProductHost.h"

#include <algorithm>
#include <cmath>

#include "Audio/VST/PluginFactoryVST3.h"

namespace product {

bool enterModule() { return vst3ModuleEntry(reinterpret_cast<const void*>(&enterModule)); }
void exitModule() { vst3ModuleExit(); }

CHost::CHost() {
    Steinberg::IPluginFactory* factory = vst3PluginFactory();
    if (!factory) return;
    m_plugin.create(factory);
    factory->release();
}

bool CHost::start(double rate, int maxBlock, bool is64, int processMode) {
    if (!loaded()) return false;
    host::CHostSetup setup;
    setup.sampleRate = rate;
    setup.maxBlock = maxBlock;
    setup.is64 = is64;
    setup.offline = processMode == sv::kOffline;
    return m_plugin.prepare(setup).empty();
}

int CHost::paramId(const std::string& name) const {
    sv::ParamID id = 0;
    return m_plugin.findParameter(name, &id).empty() ? int(id) : -1;
}

double CHost::normalizedFromText(int id, const std::string& text) const {
    double v = 0.0;
    return m_plugin.valueFromText(sv::ParamID(id), text, &v) ? v : NAN;
}

void CHost::queueAutomation(int id, double normalized, int offset) {
    m_plugin.queuePoint(sv::ParamID(id), normalized, offset);
}

void CHost::queueParam(int id, double normalized, int offset) {
    m_plugin.queueChange(sv::ParamID(id), normalized, offset);
}

bool CHost::setParam(const std::string& name, const std::string& text, int offset) {
    const int id = paramId(name);
    if (id < 0) return false;
    const double v = normalizedFromText(id, text);
    if (std::isnan(v)) return false;
    queueParam(id, v, offset);
    return true;
}

void CHost::processBlock(const double* inL, const double* inR, double* outL, double* outR, int n) {
    const double* in[2] = {inL, inR};
    double* out[2] = {outL, outR};
    m_plugin.process(in, out, n);
}

Stereo CHost::run(const Stereo& in) {
    Stereo out(in.size());
    const int block = m_plugin.setup().maxBlock;
    for (size_t pos = 0; pos < in.size(); pos += size_t(block)) {
        const int n = int(std::min(size_t(block), in.size() - pos));
        processBlock(in.l.data() + pos, in.r.data() + pos, out.l.data() + pos, out.r.data() + pos, n);
    }
    return out;
}

void CHost::runSilence(size_t n) { run(Stereo(n)); }

}  // namespace product
