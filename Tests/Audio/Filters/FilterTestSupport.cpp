#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Audio/ProcessBuild.h"
#include "Core/Application.h"
#include "Core/CreatorTable.h"
#include "Core/XMLData.h"
#include "Tests/Support/SharedAudioDefs.h"
#include "Tools/DefCompiler/DefCompiler.h"

namespace filtertest {

namespace {

std::vector<CreatorRow> g_rows;

}  // namespace

CError loadXml(CObject* target, const std::string& body) {
    std::vector<uint8_t> doc;
    std::string err;
    if (!CDefCompiler::compileXml("<definitions>" + body + "</definitions>", "test.xml", &doc, &err)) {
        ADD_FAILURE() << err;
        return KEL_ERROR("@kelstr_test_compile compile failed");
    }
    return kelLoadCompiledDefinition(target, doc);
}

void startApp() {
    g_rows.assign(kelCreatorTable().begin(), kelCreatorTable().end());
    g_rows.push_back(
        {"test:rate-delay", [] { return static_cast<CObject*>(new CModDefT<CTestRateDelay>()); }, nullptr});
    CApplication::StartOptions o;
    o.creators = g_rows;
    o.sharedDefinition = nullptr;
    ASSERT_FALSE(CApplication::start(o));
    CError err = shared_audio::addSharedAudio(CApplication::sharedObject());
    ASSERT_TRUE(err.ok()) << err.text();
}

void stopApp() { CApplication::finish(); }

// --- Rate-following delay ----------------------------------------------------------------

CError CTestRateDelay::moduleSetup(CAudioProcessBuild&) {
    m_seconds = m_def->attrReal("latency-sec", 0.0);
    m_samples = int(m_def->attrInt("latency-samples", 0));
    return {};
}

CError CTestRateDelay::prepare(const CProcessConfig& config) {
    KEL_TRY(CAudioProcessTerminalBase::prepare(config));
    m_size = int(std::lround(m_seconds * config.maxSampleRate)) + m_samples + 1;
    m_lines.assign(size_t(config.maxChannels) * size_t(m_size), 0.0);
    m_pos = 0;
    updateParams();
    return {};
}

void CTestRateDelay::updateParams() {
    m_delay = std::min(int(std::lround(m_seconds * m_rate)) + m_samples, m_size - 1);
}

void CTestRateDelay::reset() { std::fill(m_lines.begin(), m_lines.end(), 0.0); }

void CTestRateDelay::process(int frames) {
    int pos = m_pos;
    for (int ch = 0; ch < m_channels; ++ch) {
        double* line = m_lines.data() + size_t(ch) * size_t(m_size);
        const double* x = input(0).ch[ch];
        double* y = outputBuffer(0, ch);
        pos = m_pos;
        for (int i = 0; i < frames; ++i) {
            line[pos] = x[i];
            int r = pos - m_delay;
            if (r < 0) r += m_size;
            y[i] = line[r];
            pos = pos + 1 == m_size ? 0 : pos + 1;
        }
    }
    m_pos = pos;
}

// --- Graph -------------------------------------------------------------------------------

CError Graph::build(const CObject& def, int channels, double rate, int hostMaxFrames, double maxRate) {
    root = std::make_unique<CObject>();
    std::unique_ptr<CObject> coll = createObject("audio:param-collector");
    collector = dynamic_cast<CAudioParamCollector*>(coll.get());
    coll->setName("param-collector");
    root->attachChild(std::move(coll));
    auto plugin = std::make_unique<CObject>();
    plugin->setName("plugin");
    CObject* pl = plugin.get();
    root->attachChild(std::move(plugin));
    env.setSampleRate(rate);
    env.setMaxBlock(hostMaxFrames);
    CAudioProcessBuild b(collector, &env);
    auto* pdef = dynamic_cast<const CAudioProcessDefBase*>(&def);
    std::unique_ptr<CAudioProcessBase> proc = b.createProcess(*pdef);
    proc->setName(def.name());
    process = dynamic_cast<CAudioProcess*>(proc.get());
    CAudioProcessBase* raw = proc.get();
    pl->attachChild(std::move(proc));
    KEL_TRY(raw->build(*pdef, b));
    CProcessConfig cfg;
    cfg.hostRate = rate;
    cfg.hostMaxFrames = hostMaxFrames;
    cfg.maxSampleRate = maxRate > 0.0 ? maxRate : rate;
    cfg.maxChannels = channels;
    KEL_TRY(raw->prepare(cfg));
    raw->setRate(rate);
    raw->setChannels(channels);
    return {};
}

void Graph::set(const char* fullName, double value) {
    CAudioParam* p = collector->findParam(fullName);
    ASSERT_NE(p, nullptr) << fullName;
    ASSERT_TRUE(p->storage().writeValue(0, 0, 0, value)) << fullName;
    p->storage().markChanged();
}

std::vector<std::vector<double>> Graph::run(const std::vector<std::vector<double>>& input) {
    in = input;
    CPortBuffers& p = process->input(0);
    p.channels = int(in.size());
    for (size_t c = 0; c < in.size(); ++c) p.ch[c] = in[c].data();
    process->update();
    const int frames = int(in[0].size());
    process->process(frames);
    std::vector<std::vector<double>> out(in.size());
    const int n = process->outputFrames(frames);
    for (size_t c = 0; c < in.size(); ++c) {
        const double* o = process->outputChannel(0, int(c));
        out[c].assign(o, o + n);
    }
    return out;
}

int Graph::step(const double* const* input, int channels, int frames) {
    CPortBuffers& p = process->input(0);
    p.channels = channels;
    for (int c = 0; c < channels; ++c) p.ch[c] = input[c];
    process->update();
    process->process(frames);
    return process->outputFrames(frames);
}

std::vector<std::vector<double>> Graph::runSignal(const std::vector<std::vector<double>>& input, int block) {
    std::vector<std::vector<double>> out(input.size());
    std::vector<std::vector<double>> chunk(input.size());
    for (size_t pos = 0; pos < input[0].size(); pos += size_t(block)) {
        const size_t n = std::min(size_t(block), input[0].size() - pos);
        for (size_t c = 0; c < input.size(); ++c) chunk[c].assign(input[c].begin() + long(pos), input[c].begin() + long(pos + n));
        const auto y = run(chunk);
        for (size_t c = 0; c < input.size(); ++c) out[c].insert(out[c].end(), y[c].begin(), y[c].end());
    }
    return out;
}

}  // namespace filtertest
