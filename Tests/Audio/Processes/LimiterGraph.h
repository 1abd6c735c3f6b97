#pragma once
// The limiter's sub-graph for tests and benchmarks: the per-group limiter
// (input gain, gain computer with its mode switch, transient filter on the
// gain, fixed-latency alignment, multiplication) as the product declares it,
// without the DC filter and the meters, written as definition XML, compiled
// in memory and built into a runtime tree with its parameters.
//
// The transient filter of the gain path is a stand-in here
// (CTransientStandIn, tag "test:trans"): a direct-form FIR with the
// transient kernel of the filter generator, behind a 128-sample block delay,
// reporting 128 + L − 1 samples of latency like the block convolver does.
//
// Header-only, so that the benchmarks can use it as well.

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <numbers>
#include <span>
#include <string>
#include <vector>

#include "Audio/Plugin/AudioEnv.h"
#include "Audio/Params/AudioParam.h"
#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Filters/FIRDesign.h"
#include "Audio/Graph/Process.h"
#include "Audio/Graph/ProcessBuild.h"
#include "Audio/Graph/ProcessStack.h"
#include "Audio/Graph/ProcessTerminal.h"
#include "Core/Application.h"
#include "Product/ProductCreators.h"
#include "Core/XMLData.h"
#include "Tools/DefCompiler/DefCompiler.h"

KELSTR(LimiterGraph_start_CompileError, "The limiter definition does not compile: %1");

namespace limgraph {

// ---------------------------------------------------------------------------
// The stand-in transient filter. Slots 0 `index` (kernel type), 1 `length`
// (seconds), 2 `power`. A kernel change cross-fades the outputs of the old
// and the new kernel over "xfade-length" (raised cosine).
class CTransientStandIn : public CAudioProcessTerminalBase {
public:
    static constexpr int kBlockDelay = 128;
    static constexpr double kMaxLength = 0.020;

    CError prepare(const CProcessConfig& config) override {
        KEL_TRY(CAudioProcessTerminalBase::prepare(config));
        m_maxTaps = int(std::max<size_t>(1, firTransientLength(config.maxSampleRate, kMaxLength)));
        m_taps.assign(size_t(m_maxTaps), 0.0);
        m_oldTaps.assign(size_t(m_maxTaps), 0.0);
        m_history = kBlockDelay + m_maxTaps - 1;
        m_frames = config.maxFrames();
        m_buf.assign(size_t(std::max(1, config.maxChannels)), std::vector<double>(size_t(m_history + m_frames), 0.0));
        m_count = m_oldCount = 0;
        m_fadeLeft = 0;
        m_fresh = true;
        return {};
    }

    void reset() override {
        for (auto& b : m_buf) std::fill(b.begin(), b.end(), 0.0);
        m_fadeLeft = 0;
        m_fresh = true;
    }

    double latency() const override { return kBlockDelay + std::max(0, m_count - 1); }
    double maxLatencySeconds() const override { return (kBlockDelay + m_maxTaps) / m_config.maxSampleRate; }

    void process(int frames) override {
        m_fresh = false;
        const int fadeLen = std::max(1, m_fadeLen);
        for (int ch = 0; ch < m_channels && ch < int(m_buf.size()); ++ch) {
            double* buf = m_buf[size_t(ch)].data();
            std::memcpy(buf + m_history, input(0).ch[ch], sizeof(double) * size_t(frames));
            double* y = outputBuffer(0, ch);
            int fadeLeft = m_fadeLeft;
            for (int i = 0; i < frames; ++i) {
                const double* x = buf + m_history + i - kBlockDelay;
                double v = convolve(x, m_taps.data(), m_count);
                if (fadeLeft > 0) {
                    const double old = convolve(x, m_oldTaps.data(), m_oldCount);
                    const int k = fadeLen - fadeLeft + 1;
                    const double w = 0.5 - 0.5 * std::cos(std::numbers::pi * k / fadeLen);
                    v = old + (v - old) * w;
                    --fadeLeft;
                }
                y[i] = v;
            }
            std::memmove(buf, buf + frames, sizeof(double) * size_t(m_history));
        }
        m_fadeLeft = std::max(0, m_fadeLeft - frames);
    }

protected:
    CError moduleSetup(CAudioProcessBuild& b) override {
        registerParam(b, 0, "index", 0.0);
        registerParam(b, 1, "length", 0.0015);
        registerParam(b, 2, "power", 0.0);
        return {};
    }

    void updateParams() override {
        const int type = int(std::lround(param(0)));
        const double length = std::clamp(param(1), 0.0, kMaxLength);
        const double power = param(2);
        std::copy(m_taps.begin(), m_taps.end(), m_oldTaps.begin());
        m_oldCount = m_count;
        m_count = designFIRTransient(m_taps, m_rate, length, power, type) + 1;
        if (m_count <= 1 && firTransientLength(m_rate, length) == 0) {
            m_taps[0] = 1.0;  // no kernel: the gain passes through
            m_count = 1;
        }
        m_fadeLen = int(std::lround((xfadeLength() > 0.0 ? xfadeLength() : 0.005) * m_rate));
        m_fadeLeft = m_fresh ? 0 : m_fadeLen;
    }

private:
    static double convolve(const double* x, const double* h, int n) {
        double acc = 0.0;
        for (int k = 0; k < n; ++k) acc += h[k] * x[-k];
        return acc;
    }

    std::vector<double> m_taps, m_oldTaps;
    int m_count = 0, m_oldCount = 0, m_maxTaps = 1;
    int m_history = kBlockDelay, m_frames = 0;
    int m_fadeLen = 0, m_fadeLeft = 0;
    bool m_fresh = true;
    std::vector<std::vector<double>> m_buf;  // per channel: history, then the block
};

// ---------------------------------------------------------------------------
// The definitions: the shared converters the parameters use and the limiter
// "modTamblor" (stacked, one instance per channel group), loaded into the
// shared object as "shared::audio".
inline const char* limiterDefinitionXml() {
    return R"xml(<definitions>
<core:object name="audio">
  <core:object name="paramcvt">
    <audio:cvt-gain name="gain" decimals="1" scale-power="1.0" scale-threshold="-1.0"/>
    <audio:cvt-ratio name="ratio"/>
    <audio:cvt-real name="real"/>
    <audio:cvt-percent name="percent"/>
    <audio:cvt-time name="time" scale="0.001"/>
    <audio:cvt-time name="time-log" scale="0.001" is-log="true"/>
    <audio:cvt-enum name="enum"/>
    <audio:cvt-enum name="enum-enable" state-names="Off;On"/>
  </core:object>
  <audio:cvt-gain name="cvt-gain-in" decimals="2" scale-power="1.0" scale-threshold="-1.0"/>

  <audio:process-def name="modTamblor" is-stacked="true">
    <core:object name="mode-params">
      <audio:param name="mode" converter="shared::audio.paramcvt.enum" min-values="0" max-values="11" def-values="4"
          state-names="Clip;AIGC-1;AIGC-2;AIGC-3;AIGC-4;TB-1;TB UNI;TB-4;TB-C;TB INS"/>
      <audio:param name="tbaigc" converter="shared::audio.paramcvt.enum" min-values="0" max-values="5" def-values="0"
          state-names="Off;1;2;3;4;5"/>
      <audio:param name="trans-time" converter="shared::audio.paramcvt.time" min-values="0.1" max-values="10" def-values="1.5"/>
      <audio:param name="trans-form" converter="shared::audio.paramcvt.enum" min-values="0" max-values="2" def-values="0"
          state-names="Classic;Sharp;Asymm"/>
      <audio:param name="trans-shape" converter="shared::audio.paramcvt.real" min-values="-1" max-values="1" def-values="0"/>
      <audio:param name="chlink" converter="shared::audio.paramcvt.percent" min-values="0" max-values="100" def-values="100"/>
      <audio:param name="knee" converter="shared::audio.paramcvt.percent" min-values="0.0" max-values="100.0" def-values="0"/>
      <audio:param name="drc-type" converter="shared::audio.paramcvt.enum" min-values="0" max-values="2" def-values="0"
          state-names="Off;Rls;Exp"/>
      <audio:param name="timing" converter="shared::audio.paramcvt.percent" min-values="40.0" max-values="500.0" def-values="100"/>
      <audio:param name="release-ratio" converter="shared::audio.paramcvt.ratio" min-values="1:1" max-values="5:1" def-values="2:1"/>
      <audio:param name="release-shape" converter="shared::audio.paramcvt.real" min-values="-1" max-values="2" def-values="-1"/>
    </core:object>
    <audio:param name="ingain" converter="/audio.cvt-gain-in" min-values="-3" max-values="24" def-values="0"/>
    <audio:param name="release-enable" converter="shared::audio.paramcvt.enum-enable" min-values="0" max-values="1" def-values="1"/>
    <audio:param name="release" converter="shared::audio.paramcvt.time-log" min-values="1" max-values="300.0" def-values="10"/>

    <audio:modGain name="modInGain" is-smooth-update="true" xfade-length="0.015">
      <audio:param name="gain" converter="shared::audio.paramcvt.gain" min-values="-48" max-values="48" def-values="0"/>
      <audio:param name="mute" converter="shared::audio.paramcvt.enum-enable" min-values="0" max-values="1" def-values="0"/>
      <audio:param name="phase-invert" converter="shared::audio.paramcvt.enum-enable" min-values="0" max-values="1" def-values="0"/>
    </audio:modGain>

    <audio:process-def name="modLimiter" is-outoforder="true" xfade-length="0.015">
      <audio:modAbs name="modAbs" xfade-length="0.015"/>
      <audio:modLeveler name="modLeveler" is-terminal-whole="true" is-smooth-update="true" xfade-length="0.015">
        <audio:param name="mode" converter="shared::audio.paramcvt.enum" min-values="0" max-values="1" def-values="0"
            state-names="Maximum;Minimum"/>
        <audio:param name="mix" converter="shared::audio.paramcvt.percent" min-values="0" max-values="100" def-values="0"/>
        <audio:param name="linking" converter="shared::audio.paramcvt.percent" min-values="0" max-values="100" def-values="100"/>
      </audio:modLeveler>
      <audio:modProcessSwitch name="modSwitch" def-child-name="mod" def-index="6" xfade-length="0.015"
          process-list="0:.modClip;1:.modAIGC1;2:.modAIGC2;3:.modAIGC3;4:.modAIGC4;5:.modTB1;6:.modTB2;7:.modTB4;8:.modTBC;9:.modTBI">
        <audio:param name="index" converter="shared::audio.paramcvt.enum" min-values="0" max-values="11" def-values="6"/>
        <audio:modLimClip name="modClip" clip-level="0.994" xfade-length="0.015"/>
        <audio:modLimAIGC name="modAIGC1" xfade-length="0.015">
          <audio:param name="type" converter="shared::audio.paramcvt.enum" min-values="0" max-values="3" def-values="0"/>
        </audio:modLimAIGC>
        <audio:modLimAIGC name="modAIGC2" xfade-length="0.015">
          <audio:param name="type" converter="shared::audio.paramcvt.enum" min-values="0" max-values="3" def-values="1"/>
        </audio:modLimAIGC>
        <audio:modLimAIGC name="modAIGC3" xfade-length="0.015">
          <audio:param name="type" converter="shared::audio.paramcvt.enum" min-values="0" max-values="3" def-values="2"/>
        </audio:modLimAIGC>
        <audio:modLimAIGC name="modAIGC4" xfade-length="0.015">
          <audio:param name="type" converter="shared::audio.paramcvt.enum" min-values="0" max-values="3" def-values="3"/>
        </audio:modLimAIGC>
        <audio:modLimTB name="modTB1" xfade-length="0.015">
          <audio:param name="type" converter="shared::audio.paramcvt.enum" min-values="0" max-values="2" def-values="0"/>
        </audio:modLimTB>
        <audio:modLimTB name="modTB2" xfade-length="0.015">
          <audio:param name="type" converter="shared::audio.paramcvt.enum" min-values="0" max-values="2" def-values="1"/>
        </audio:modLimTB>
        <audio:modLimTB name="modTB4" xfade-length="0.015">
          <audio:param name="type" converter="shared::audio.paramcvt.enum" min-values="0" max-values="2" def-values="2"/>
        </audio:modLimTB>
        <audio:modLimTBC name="modTBC" xfade-length="0.015"/>
        <audio:modLimTBI name="modTBI" xfade-length="0.015"/>
      </audio:modProcessSwitch>
      <test:trans name="modTrans" is-zero-latency="false" is-comp-input="true" xfade-length="0.005"
          gen-array="shared::audio.fltarray.firlim" bypass-state-id="0"/>
      <audio:modFixedLatency name="modFixedLatency" latency-sec="0.010" latency-samples="128" is-comp-input="true"
          xfade-length="0.015"/>
      <audio:modMult name="modMult" is-division="false" is-comp-input="true" xfade-length="0.015"/>
      <audio:process-link src="modSwitch/1" dst="modFixedLatency/1"/>
      <audio:process-link src="modSwitch/1" dst="modMult/1"/>
      <audio:process-bypass-state id="0" param="^mode-params.mode" range="(*;0.5)"/>
    </audio:process-def>

    <audio:modMult name="modMult" is-division="false" xfade-length="0.015"/>
    <audio:process-link src="modInGain" dst="modLimiter"/>
    <audio:process-link src="modLimiter" dst="modMult/1"/>

    <audio:param-remap orig="modInGain.gain" new="ingain"/>
    <audio:param-remap orig="modLimiter.modLeveler.linking" new="mode-params.chlink"/>
    <audio:param-remap orig="modLimiter.modTrans.index" new="mode-params.trans-form"/>
    <audio:param-remap orig="modLimiter.modTrans.length" new="mode-params.trans-time"/>
    <audio:param-remap orig="modLimiter.modTrans.power" new="mode-params.trans-shape"/>
    <audio:param-remap orig="modLimiter.modSwitch.index" new="mode-params.mode"/>
    <audio:param-remap orig="modLimiter.modSwitch.mod.aigc-type" new="mode-params.tbaigc"/>
    <audio:param-remap orig="modLimiter.modSwitch.mod.attack" new="mode-params.trans-time"/>
    <audio:param-remap orig="modLimiter.modSwitch.mod.knee" new="mode-params.knee"/>
    <audio:param-remap orig="modLimiter.modSwitch.mod.release" new="release"/>
    <audio:param-remap orig="modLimiter.modSwitch.mod.release-enable" new="release-enable"/>
    <audio:param-remap orig="modLimiter.modSwitch.mod.drc-type" new="mode-params.drc-type"/>
    <audio:param-remap orig="modLimiter.modSwitch.mod.timing" new="mode-params.timing"/>
    <audio:param-remap orig="modLimiter.modSwitch.mod.release-ratio" new="mode-params.release-ratio"/>
    <audio:param-remap orig="modLimiter.modSwitch.mod.release-shape" new="mode-params.release-shape"/>
  </audio:process-def>
</core:object>
</definitions>)xml";
}

// The modes in the order of the mode parameter's states.
inline const char* const kModeNames[] = {"Clip", "AIGC-1", "AIGC-2", "AIGC-3", "AIGC-4",
                                         "TB-1", "TB UNI", "TB-4",   "TB-C",   "TB INS"};
constexpr int kModeCount = 10;

// Compiles definition XML and loads it into the shared object.
inline CError loadDefinitions(const char* xml) {
    std::vector<uint8_t> doc;
    std::string err;
    if (!CDefCompiler::compileXml(xml, "test.xml", &doc, &err))
        return KEL_ERROR(kelstr_LimiterGraph_start_CompileError, CString(err));
    return kelLoadCompiledDefinition(CApplication::sharedObject(), doc);
}

// Starts the application with the product's creator table, the stand-in and
// any further rows, and loads the limiter definitions.
inline CError startApplication(std::span<const CreatorRow> extraRows = {}) {
    static std::vector<CreatorRow> rows;
    rows.assign(kelProductCreatorTable().begin(), kelProductCreatorTable().end());
    rows.push_back({"test:trans", [] { return static_cast<CObject*>(new CModDefT<CTransientStandIn>()); }, nullptr});
    rows.insert(rows.end(), extraRows.begin(), extraRows.end());
    CApplication::StartOptions o;
    o.creators = rows;
    o.sharedDefinition = nullptr;
    KEL_TRY(CApplication::start(o));
    return loadDefinitions(limiterDefinitionXml());
}

// A runtime process built from a shared definition as "plugin.<name>", with
// its parameters, run block by block.
class CGraphRig {
public:
    using Signals = std::vector<std::vector<double>>;

    // Prepares for rates up to maxRate (blocks of up to 512 frames at
    // hostRate); it runs at maxRate until told otherwise.
    CError build(const char* defPath, const char* name, int channels, double hostRate, double maxRate) {
        m_root = std::make_unique<CObject>();
        CObject* plugin = adopt(m_root.get(), std::make_unique<CObject>());
        plugin->setName("plugin");
        m_collector = adopt(plugin, std::make_unique<CAudioParamCollector>());
        const CAudioProcessDefBase* def = nullptr;
        KEL_TRY(CApplication::sharedObject()->findObjectChecked<const CAudioProcessDefBase>(defPath, &def));
        CAudioProcessBuild b(m_collector, &m_env);
        m_process = adopt(plugin, b.createProcess(*def));
        m_process->setName(name);
        m_prefix = CString("plugin.") + CString(name) + CString(".");
        KEL_TRY(m_process->build(*def, b));
        CProcessConfig cfg;
        cfg.hostRate = hostRate;
        cfg.maxSampleRate = maxRate;
        cfg.maxChannels = m_channels = channels;
        KEL_TRY(m_process->prepare(cfg));
        m_process->setChannels(channels);
        setRate(maxRate);
        return {};
    }
    ~CGraphRig() { m_root.reset(); }

    void setRate(double rate) { m_process->setRate(m_rate = rate); }
    double rate() const { return m_rate; }

    // Writes a stored value of (group g, element e), as the audio thread
    // receives changes; name is relative to the built process.
    bool set(const char* name, double value, int e = 0, int g = 0) const {
        CAudioParam* p = m_collector->findParam(m_prefix + CString(name));
        return p && p->storage().writeValue(uint32_t(g), uint32_t(e), 0, value);
    }

    // Runs one block; in holds input port p, channel c at p · channels + c.
    void runBlock(const std::vector<const double*>& in, int frames) {
        for (size_t k = 0; k < in.size(); ++k) {
            CPortBuffers& port = m_process->input(int(k) / m_channels);
            port.channels = m_channels;
            port.ch[k % size_t(m_channels)] = in[k];
        }
        m_process->update();
        m_process->process(frames);
    }
    const double* output(int c, int port = 0) const { return m_process->outputChannel(port, c); }

    // Runs whole signals (laid out as for runBlock) in blocks, calling
    // before(blockStart) ahead of every block; returns output port outPort.
    template <class Before>
    Signals run(const Signals& in, int block, Before before, int outPort = 0) {
        Signals out(size_t(m_channels), std::vector<double>(in[0].size()));
        std::vector<const double*> ptr(in.size());
        for (size_t s = 0; s < in[0].size(); s += size_t(block)) {
            const int n = int(std::min<size_t>(size_t(block), in[0].size() - s));
            before(s);
            for (size_t k = 0; k < in.size(); ++k) ptr[k] = in[k].data() + s;
            runBlock(ptr, n);
            for (int c = 0; c < m_channels; ++c) std::copy_n(output(c, outPort), n, out[size_t(c)].begin() + long(s));
        }
        return out;
    }
    Signals run(const Signals& in, int block = 512, int outPort = 0) {
        return run(in, block, [](size_t) {}, outPort);
    }

    CAudioProcessBase* process() const { return m_process; }
    // A child of the container (of a stack: of its instance for group 0).
    template <class T>
    T* child(const char* name) const {
        auto* stack = dynamic_cast<CAudioProcessStack*>(m_process);
        auto* container = dynamic_cast<CAudioProcess*>(stack ? stack->instance(0) : m_process);
        return dynamic_cast<T*>(container->findProcess(name));
    }

private:
    template <class T>
    static T* adopt(CObject* parent, std::unique_ptr<T> child) {
        T* raw = child.get();
        parent->attachChild(std::move(child));
        return raw;
    }

    std::unique_ptr<CObject> m_root;
    CAudioParamCollector* m_collector = nullptr;
    CAudioEnv m_env;
    CAudioProcessBase* m_process = nullptr;
    CString m_prefix;
    int m_channels = 0;
    double m_rate = 44100.0;
};

// The limiter "plugin.modTamblor" with its mode switch.
class CLimiterGraph : public CGraphRig {
public:
    CError build(int channels, double hostRate, double maxRate) {
        return CGraphRig::build("audio.modTamblor", "modTamblor", channels, hostRate, maxRate);
    }
    void setMode(int mode) const { set("mode-params.mode", mode); }
    CAudioProcess* limiter() const { return child<CAudioProcess>("modLimiter"); }
};

}  // namespace limgraph
