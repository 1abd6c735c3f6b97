#include "FilterTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "Audio/Params/AudioParam.h"
#include "Audio/Graph/ProcessBuild.h"
#include "Core/Application.h"
#include "Product/ProductCreators.h"
#include "Core/XMLData.h"
#include "Tests/Audio/GraphTestSupport.h"
#include "Tests/Support/SharedAudioDefs.h"
#include "Tools/DefCompiler/DefCompiler.h"

namespace filtertest {

namespace {
std::vector<CreatorRow> g_rows;
}

CError loadXml(CObject* target, const std::string& body) {
    std::vector<uint8_t> doc;
    std::string err;
    if (!CDefCompiler::compileXml("<definitions>" + body + "</definitions>", "test.xml", &doc, &err)) {
        ADD_FAILURE() << err;
        return KEL_ERROR("@kelstr_test_compile The test definition does not compile.");
    }
    return kelLoadCompiledDefinition(target, doc);
}

void startApp() {
    g_rows.assign(kelProductCreatorTable().begin(), kelProductCreatorTable().end());
    g_rows.push_back({"test:delay", [] { return static_cast<CObject*>(new CModDefT<graphtest::CTestDelay>()); }, nullptr});
    CApplication::StartOptions o;
    o.creators = g_rows;
    o.sharedDefinition = nullptr;
    ASSERT_FALSE(CApplication::start(o));
    const CError err = shared_audio::addSharedAudio(CApplication::sharedObject());
    ASSERT_TRUE(err.ok()) << err.text();
}

void stopApp() { CApplication::finish(); }

CError Graph::build(const CObject& def, int channels, double rate, double maxRate) {
    root = std::make_unique<CObject>();
    std::unique_ptr<CObject> coll = createObject("audio:param-collector");
    collector = dynamic_cast<CAudioParamCollector*>(coll.get());
    root->attachChild(std::move(coll));
    auto plugin = std::make_unique<CObject>();
    plugin->setName("plugin");
    CObject* pl = plugin.get();
    root->attachChild(std::move(plugin));
    env.setSampleRate(rate);
    CAudioProcessBuild b(collector, &env);
    auto* pdef = dynamic_cast<const CAudioProcessDefBase*>(&def);
    std::unique_ptr<CAudioProcessBase> proc = b.createProcess(*pdef);
    proc->setName(def.name());
    process = dynamic_cast<CAudioProcess*>(proc.get());
    pl->attachChild(std::move(proc));
    KEL_TRY(process->build(*pdef, b));
    CProcessConfig cfg;
    cfg.hostRate = rate;
    cfg.maxSampleRate = maxRate > 0.0 ? maxRate : rate;
    cfg.maxChannels = channels;
    KEL_TRY(process->prepare(cfg));
    process->setRate(rate);
    process->setChannels(channels);
    return {};
}

void Graph::set(const char* fullName, double value) {
    CAudioParam* p = collector->findParam(fullName);
    ASSERT_NE(p, nullptr) << fullName;
    ASSERT_TRUE(p->storage().writeValue(0, 0, 0, value)) << fullName;
    p->storage().markChanged();
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
    std::vector<const double*> in(input.size());
    for (size_t pos = 0; pos < input[0].size(); pos += size_t(block)) {
        const int n = int(std::min(size_t(block), input[0].size() - pos));
        for (size_t c = 0; c < input.size(); ++c) in[c] = input[c].data() + pos;
        const int m = step(in.data(), int(in.size()), n);
        for (size_t c = 0; c < input.size(); ++c) {
            const double* o = process->outputChannel(0, int(c));
            out[c].insert(out[c].end(), o, o + m);
        }
    }
    return out;
}

}  // namespace filtertest
