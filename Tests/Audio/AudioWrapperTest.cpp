#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Audio/Plugin/AudioWrapper.h"
#include "Audio/Graph/ProcessTerminal.h"
#include "Core/Application.h"
#include "Product/ProductCreators.h"
#include "Tests/Support/AllocationCounter.h"
#include "Tools/DefCompiler/DefCompiler.h"

namespace {

// A module that records the length of every block it runs and passes audio on.
std::vector<int> g_blocks;
class CBlockRecorder : public CAudioProcessTerminalBase {
public:
    void process(int frames) override {
        g_blocks.push_back(frames);
        for (int ch = 0; ch < m_channels; ++ch) {
            const double* x = input(0).ch[ch];
            double* y = outputBuffer(0, ch);
            for (int i = 0; i < frames; ++i) y[i] = x[i];
        }
    }
};

// Starts the application with a definition document made of the given
// project attributes and a small graph.
struct CoreApp {
    std::vector<uint8_t> resource;
    std::vector<CreatorRow> rows;
    KelResourceRow table[2] = {};

    CError start(const std::string& projectAttrs) {
        const std::string xml =
            "<definitions><core:object name='project' " + projectAttrs +
            "/><template name='plugin' base-tag='core:object'><core:object>"
            "<audio:audio-env name='audio-env'/><audio:param-collector name='param-collector'/>"
            "</core:object></template>"
            "<core:object name='audio' plugin-tag='plugin'><audio:modOutput name='modOutput'/>"
            "<audio:process-def name='modMain'><test:recorder name='rec'/></audio:process-def>"
            "</core:object></definitions>";
        std::vector<uint8_t> doc;
        std::string err;
        EXPECT_TRUE(CDefCompiler::compileXml(xml, "core-test.xml", &doc, &err)) << err;
        resource.clear();
        for (int i = 0; i < 4; ++i) resource.push_back(uint8_t(doc.size() >> (8 * i)));
        resource.insert(resource.end(), doc.begin(), doc.end());
        table[0] = {resource.data(), "SharedData.xml"};
        table[1] = {nullptr, nullptr};
        auto all = kelProductCreatorTable();
        rows.assign(all.begin(), all.end());
        rows.push_back({"test:recorder", [] { return static_cast<CObject*>(new CModDefT<CBlockRecorder>()); }, nullptr});
        CApplication::StartOptions o;
        o.creators = rows;
        o.resources = table;
        return CApplication::start(o);
    }
    ~CoreApp() { CApplication::finish(); }
};

const std::string kGoodProject =
    "app-name='Tamblor' app-vendor='Kelvane' app-version='4.9' plugin-code='v87u' "
    "plugin-intchannel-count='8' plugin-group-count='8' plugin-tail='0.4'";

std::string with(std::string attrs, const std::string& key, const std::string& value) {
    size_t p = attrs.find(key + "='");
    size_t e = attrs.find('\'', p + key.size() + 2);
    return attrs.replace(p, e - p + 1, key + "='" + value + "'");
}

}  // namespace

TEST(AudioWrapper, VersionAndPluginCodeParsing) {
    struct Case {
        const char* text;
        bool ok;
        int v[3];
    } cases[] = {{"4.9", true, {4, 9, 0}}, {"4..9", true, {4, 9, 0}}, {"4.9.1", true, {4, 9, 1}},
                 {"4", false, {}},         {"4.9.1.2", false, {}},   {"4.x", false, {}}, {"-4.9", false, {}}};
    for (const auto& tc : cases) {
        int v[3] = {-1, -1, -1};
        CError e = CAudioWrapper::parseVersion(tc.text, v);
        EXPECT_EQ(!e, tc.ok) << tc.text;
        if (tc.ok) {
            EXPECT_EQ(std::vector<int>(v, v + 3), std::vector<int>(tc.v, tc.v + 3)) << tc.text;
        } else {
            EXPECT_EQ(e.message().utf8(), std::string("Invalid version specification in string '") + tc.text + "'.");
        }
    }
    uint32_t code = 0;
    ASSERT_FALSE(CAudioWrapper::acquirePluginCode("v87u", &code));
    EXPECT_EQ(code, 0x76383775u);
    for (const char* bad : {"v87", "v87uu", ""})
        EXPECT_EQ(CAudioWrapper::acquirePluginCode(bad, &code).message().utf8(),
                  std::string("Invalid plug-in code in string '") + bad + "'.");
}

TEST(AudioWrapper, InitValidatesTheProject) {
    struct Case {
        std::string attrs;
        const char* message;  // empty: success
    } cases[] = {
        {kGoodProject, ""},
        {with(kGoodProject, "plugin-intchannel-count", "0"), "Invalid 'plugin-intchannel-count' attribute value."},
        {with(kGoodProject, "plugin-intchannel-count", "17"), "Invalid 'plugin-intchannel-count' attribute value."},
        {with(kGoodProject, "plugin-intchannel-count", "16"), ""},
        {with(kGoodProject, "plugin-group-count", "9"), "Invalid 'plugin-group-count' attribute value."},
        {with(kGoodProject, "app-name", ""), "Plug-in name is empty."},
        {with(kGoodProject, "app-vendor", ""), "Vendor name is empty."},
        {with(kGoodProject, "plugin-code", "v8"), "Invalid plug-in code in string 'v8'."},
    };
    for (const auto& tc : cases) {
        CoreApp app;
        ASSERT_FALSE(app.start(tc.attrs));
        CAudioWrapper w;
        CError e = w.init();
        EXPECT_EQ(e.message().utf8(), tc.message) << tc.attrs;
        if (!e) {
            EXPECT_EQ(w.versionMinor(), 9);
            EXPECT_TRUE(w.hasTail());
            EXPECT_DOUBLE_EQ(w.tailSeconds(), 0.4);
        }
    }
    CAudioWrapper orphan;
    EXPECT_EQ(orphan.init().message().utf8(), "No application object created.");
}

namespace {
struct Block {
    int channels, frames;
    bool is64, interleaved;
    std::vector<double> d;
    std::vector<float> f;
    std::vector<void*> ptrs;
    CHostBus bus;

    Block(int ch, int n, bool wide, bool inter) : channels(ch), frames(n), is64(wide), interleaved(inter) {
        if (wide)
            d.assign(size_t(ch) * size_t(n), 0.0);
        else
            f.assign(size_t(ch) * size_t(n), 0.0f);
        bus.channels = ch;
        bus.is64 = wide;
        bus.interleaved = inter;
        void* base = wide ? static_cast<void*>(d.data()) : static_cast<void*>(f.data());
        if (inter) {
            bus.data = base;
        } else {
            for (int c = 0; c < ch; ++c)
                ptrs.push_back(wide ? static_cast<void*>(d.data() + size_t(c) * size_t(n))
                                    : static_cast<void*>(f.data() + size_t(c) * size_t(n)));
            bus.planar = ptrs.data();
        }
    }
    size_t index(int c, int i) const { return interleaved ? size_t(i) * size_t(channels) + size_t(c) : size_t(c) * size_t(frames) + size_t(i); }
    void set(int c, int i, double v) {
        if (is64) d[index(c, i)] = v;
        else f[index(c, i)] = float(v);
    }
    double get(int c, int i) const { return is64 ? d[index(c, i)] : double(f[index(c, i)]); }
};
}  // namespace

TEST(AudioWrapper, RunsChunksInEveryHostFormatAndZeroesUncoveredOutputs) {
    CoreApp app;
    ASSERT_FALSE(app.start(kGoodProject));
    CAudioWrapper w;
    ASSERT_FALSE(w.init());
    w.setSampleRate(48000.0);
    w.setIoLayout(2, 0, 4);
    w.startProcessing();
    for (bool wide : {false, true})
        for (bool inter : {false, true}) {
            Block in(2, 1100, wide, inter), out(4, 1100, wide, inter);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 1100; ++i) in.set(c, i, 0.25 * (c + 1) + i * 1e-4);
            for (int c = 0; c < 4; ++c)
                for (int i = 0; i < 1100; ++i) out.set(c, i, 9.0);  // must be overwritten
            g_blocks.clear();
            w.process(in.bus, nullptr, out.bus, 1100);
            EXPECT_EQ(g_blocks, (std::vector<int>{512, 512, 76})) << wide << inter;
            for (int c = 0; c < 4; ++c)
                for (int i = 0; i < 1100; i += 37) {
                    const double want = c < 2 ? in.get(c, i) : 0.0;
                    ASSERT_EQ(out.get(c, i), want) << "ch " << c << " i " << i << " 64=" << wide << " il=" << inter;
                }
        }
    // A block of no frames runs nothing.
    g_blocks.clear();
    Block none(2, 0, false, false);
    w.process(none.bus, nullptr, none.bus, 0);
    EXPECT_TRUE(g_blocks.empty());
    w.stopProcessing();
}

TEST(AudioWrapper, ProcessingDoesNotAllocate) {
    CoreApp app;
    ASSERT_FALSE(app.start(kGoodProject));
    CAudioWrapper w;
    ASSERT_FALSE(w.init());
    w.setSampleRate(44100.0);
    w.setIoLayout(2, 0, 2);
    w.startProcessing();
    Block in(2, 2048, false, false), out(2, 2048, false, false);
    g_blocks.reserve(64);
    w.process(in.bus, nullptr, out.bus, 2048);  // first block after start
    g_blocks.clear();
    alloc_counter::Scope scope;
    for (int k = 0; k < 4; ++k) w.process(in.bus, nullptr, out.bus, 2048);
    w.setIoLayout(1, 0, 1);
    w.process(in.bus, nullptr, out.bus, 300);
    EXPECT_EQ(scope.allocations(), 0u);
}
