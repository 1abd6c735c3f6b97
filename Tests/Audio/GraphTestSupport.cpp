#include "GraphTestSupport.h"

#include <gtest/gtest.h>

#include "Audio/Graph/GraphCreators.h"
#include "Core/Application.h"

namespace graphtest {

CObject* node(CObject* parent, const char* tag, const char* name, Attrs attrs) {
    auto o = createObject(tag);
    o->setName(name);
    CObject* raw = o.get();
    parent->attachChild(std::move(o));
    for (const auto& [k, v] : attrs) EXPECT_FALSE(raw->setAttr(k, v));
    return raw;
}

CError CTestDelay::moduleSetup(CAudioProcessBuild&) {
    m_delay = int(m_def->attrInt("latency-samples", 0));
    return {};
}

CError CTestDelay::prepare(const CProcessConfig& config) {
    KEL_TRY(CAudioProcessTerminalBase::prepare(config));
    m_lines.assign(size_t(config.maxChannels), std::vector<double>(size_t(m_delay + 1), 0.0));
    m_pos = 0;
    return {};
}

void CTestDelay::reset() {
    for (auto& l : m_lines) std::fill(l.begin(), l.end(), 0.0);
}

void CTestDelay::process(int frames) {
    const int size = m_delay + 1;
    int pos = m_pos;
    for (int ch = 0; ch < m_channels; ++ch) {
        auto& line = m_lines[size_t(ch)];
        const double* x = input(0).ch[ch];
        double* y = outputBuffer(0, ch);
        pos = m_pos;
        for (int i = 0; i < frames; ++i) {
            line[size_t(pos)] = x[i];
            int r = pos - m_delay;
            if (r < 0) r += size;
            y[i] = line[size_t(r)];
            pos = (pos + 1) % size;
        }
    }
    m_pos = pos;
}

void CTestSum::process(int frames) {
    for (int ch = 0; ch < m_channels; ++ch) {
        const double* a = input(0).ch[ch];
        const double* b = inputPortCount() > 1 ? input(1).ch[ch] : nullptr;
        double* y = outputBuffer(0, ch);
        for (int i = 0; i < frames; ++i) y[i] = a[i] + (b ? b[i] : 0.0);
    }
}

namespace {
std::vector<CreatorRow> g_rows;
}

void startApp() {
    g_rows.clear();
    for (const auto& r : audioGraphCreatorRows()) g_rows.push_back(r);
    g_rows.push_back({"core:object", [] { return new CObject(); }, &CObject::registerEvents});
    g_rows.push_back({"test:delay", [] { return static_cast<CObject*>(new CModDefT<CTestDelay>()); }, nullptr});
    g_rows.push_back({"test:sum", [] { return static_cast<CObject*>(new CModDefT<CTestSum>()); }, nullptr});
    CApplication::StartOptions o;
    o.creators = g_rows;
    o.sharedDefinition = nullptr;
    ASSERT_FALSE(CApplication::start(o));
}

void stopApp() { CApplication::finish(); }

CError Graph::build(const CObject& def, int channels, double rate) {
    root = std::make_unique<CObject>();
    auto plugin = std::make_unique<CObject>();
    plugin->setName("plugin");
    CObject* pl = plugin.get();
    root->attachChild(std::move(plugin));
    CAudioProcessBuild b(nullptr, &env);
    auto* pdef = dynamic_cast<const CAudioProcessDefBase*>(&def);
    std::unique_ptr<CAudioProcessBase> proc = b.createProcess(*pdef);
    proc->setName(def.name());
    process = dynamic_cast<CAudioProcess*>(proc.get());
    CAudioProcessBase* raw = proc.get();
    pl->attachChild(std::move(proc));
    KEL_TRY(raw->build(*pdef, b));
    CProcessConfig cfg;
    cfg.hostRate = rate;
    cfg.maxSampleRate = rate;
    cfg.maxChannels = channels;
    KEL_TRY(raw->prepare(cfg));
    raw->setRate(rate);
    raw->setChannels(channels);
    return {};
}

std::vector<double> Graph::run(const std::vector<std::vector<double>>& input, int port) {
    in = input;
    CPortBuffers& p = process->input(0);
    p.channels = int(in.size());
    for (size_t c = 0; c < in.size(); ++c) p.ch[c] = in[c].data();
    process->update();
    const int frames = int(in[0].size());
    process->process(frames);
    const double* out = process->outputChannel(port, 0);
    return std::vector<double>(out, out + process->outputFrames(frames));
}

}  // namespace graphtest
