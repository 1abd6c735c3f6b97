#include <gtest/gtest.h>

#include "Audio/Plugin/AudioDiagnostics.h"
#include "Audio/Graph/ProcessDef.h"
#include "Audio/Graph/ProcessStack.h"
#include "Core/Log.h"
#include "GraphTestSupport.h"

using namespace graphtest;

TEST(ProcessLinkDef, PortsAndIdLists) {
    struct Case {
        const char* text;
        bool ok;
        const char* name;
        int port;
    } cases[] = {{"modSwitch/1", true, "modSwitch", 1}, {"modMult", true, "modMult", 0},
                 {"*/1", true, "*", 1},                 {"x/-1", false, "", 0},
                 {"x/a", false, "", 0}};
    for (const auto& tc : cases) {
        CString name;
        int port = -7;
        EXPECT_EQ(CAudioProcessLinkDef::parseEnd(tc.text, &name, &port), tc.ok) << tc.text;
        if (!tc.ok) continue;
        EXPECT_EQ(name.utf8(), tc.name);
        EXPECT_EQ(port, tc.port);
    }
    EXPECT_EQ(CAudioProcessLinkDef::parseIdList("3 x -2 5"), (std::vector<int>{3, 5}));
    EXPECT_TRUE(CAudioProcessLinkDef::parseIdList("").empty());
}

TEST(ProcessBypassState, RangesAndTolerance) {
    struct Case {
        const char* range;
        double value;
        bool inside;
    } cases[] = {{"(*;0.5)", 0, true},     {"(*;0.5)", 0.2, true},   {"(*;0.5)", 0.49, true},
                 {"(*;0.5)", 0.5, false},  {"(*;0.5)", 1, false},    {"[1;3]", 1, true},
                 {"[1;3]", 3, true},       {"[1;3]", 3.01, false},   {"(1;3]", 1, false},
                 {"[1;3;0.5]", 3.2, true},  // rounds to 6 steps of 0.5
                 {"[1;3;0.5]", 3.3, false}, {"[2;*)", 1e9, true}};
    for (const auto& tc : cases) {
        CAudioRange r;
        ASSERT_TRUE(r.parse(tc.range)) << tc.range;
        EXPECT_EQ(r.contains(tc.value), tc.inside) << tc.range << " " << tc.value;
    }
    for (const char* bad : {"(1;2", "[1]", "[1;2;3;4]", "{1;2}", "[a;2]", "[1;2;0]"}) {
        CAudioRange r;
        EXPECT_FALSE(r.parse(bad)) << bad;
    }
}

class GraphTest : public ::testing::Test {
protected:
    void SetUp() override {
        startApp();
        defs = std::make_unique<CObject>();
    }
    void TearDown() override {
        graph.root.reset();
        defs.reset();
        stopApp();
    }
    CObject* container(const char* name, Attrs attrs = {}) { return node(defs.get(), "audio:process-def", name, attrs); }
    std::unique_ptr<CObject> defs;
    Graph graph;
};

TEST_F(GraphTest, BypassStateDefinitionErrors) {
    CObject* c = container("main");
    node(c, "audio:process-bypass-state", "s", {{"id", "1"}, {"param", "p"}, {"range", "[1]"}});
    CError e = defs->initTree();
    ASSERT_TRUE(e);
    EXPECT_EQ(e.message().utf8(), "Invalid 'range' attribute value '[1]' specified.");
}

TEST_F(GraphTest, LinkDefinitionErrorsNameTheValue) {
    struct Case {
        const char* src;
        const char* dst;
        const char* message;
    } cases[] = {
        {"", "a", "No 'src' attribute defined."},
        {"a", "", "No 'dst' attribute defined."},
        {"a/x", "a", "Invalid port in the 'src' attribute value 'a/x' specified."},
        {"nobody", "a", "Invalid process in the 'src' attribute value 'nobody' specified."},
        {"a", "a/-3", "Invalid port in the 'dst' attribute value 'a/-3' specified."},
        {"a", "ghost/1", "Invalid process in the 'dst' attribute value 'ghost/1' specified."},
    };
    for (const auto& tc : cases) {
        defs = std::make_unique<CObject>();
        CObject* c = container("main");
        node(c, "audio:modNode", "a");
        node(c, "audio:process-link", "", {{"src", tc.src}, {"dst", tc.dst}});
        CError e = defs->initTree();
        ASSERT_TRUE(e) << tc.src << " -> " << tc.dst;
        EXPECT_EQ(e.message().utf8(), tc.message);
    }
}

TEST_F(GraphTest, AutoChainExplicitLinksAndTapsFormTheSequence) {
    CObject* c = container("main");
    node(c, "audio:modNode", "a");
    node(c, "audio:modNode", "tap", {{"is-outoforder", "true"}});
    node(c, "audio:modNode", "unlinked", {{"is-outoforder", "true"}});
    node(c, "audio:modNode", "b");
    node(c, "audio:process-link", "", {{"src", "b"}, {"dst", "tap"}});
    ASSERT_FALSE(defs->initTree());
    ASSERT_FALSE(graph.build(*c, 1));
    auto out = graph.run({{1.0, 2.0, 3.0}});
    EXPECT_EQ(out, (std::vector<double>{1.0, 2.0, 3.0}));
    std::vector<std::string> names;
    for (auto& n : graph.process->sequenceNames()) names.push_back(n.utf8());
    // "tap" waits in the first pass until "b" is placed; "unlinked" never runs.
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "tap"}));
}

TEST_F(GraphTest, CycleIsLoggedAndLeftOut) {
    CObject* c = container("main");
    node(c, "audio:modNode", "a");
    node(c, "audio:modNode", "x", {{"is-outoforder", "true"}});
    node(c, "audio:modNode", "y", {{"is-outoforder", "true"}});
    node(c, "audio:process-link", "", {{"src", "x"}, {"dst", "y"}});
    node(c, "audio:process-link", "", {{"src", "y"}, {"dst", "x"}});
    ASSERT_FALSE(defs->initTree());
    ASSERT_FALSE(graph.build(*c, 1));
    std::vector<std::string> log;
    kelSetLogSink([&](std::string_view l) { log.emplace_back(l); });
    kelFlushAudioDiagnostics();
    log.clear();
    graph.run({{0.5}});
    kelFlushAudioDiagnostics();
    kelSetLogSink({});
    std::vector<std::string> names;
    for (auto& n : graph.process->sequenceNames()) names.push_back(n.utf8());
    EXPECT_EQ(names, (std::vector<std::string>{"a"}));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0], "process seq err // plugin.main");
}

TEST_F(GraphTest, PathsOfDifferentLatencyAreAlignedWhereTheyMeet) {
    // * -> d (10 samples) -> sum, and the dry input * -> sum/1: the dry path
    // is delayed by 10 so that both impulses arrive together.
    CObject* c = container("main");
    node(c, "test:delay", "d", {{"latency-samples", "10"}});
    node(c, "test:sum", "sum");
    node(c, "audio:process-link", "", {{"src", "*"}, {"dst", "sum/1"}});
    ASSERT_FALSE(defs->initTree());
    ASSERT_FALSE(graph.build(*c, 1));
    std::vector<double> impulse(32, 0.0);
    impulse[3] = 1.0;
    auto out = graph.run({impulse});
    EXPECT_DOUBLE_EQ(graph.process->latency(), 10.0);
    for (size_t i = 0; i < out.size(); ++i) EXPECT_DOUBLE_EQ(out[i], i == 13 ? 2.0 : 0.0) << i;
}

TEST_F(GraphTest, ContainerReportsItsLongestPath) {
    CObject* c = container("main", {{"is-auto-links", "false"}});
    node(c, "test:delay", "short", {{"latency-samples", "4"}});
    node(c, "test:delay", "long", {{"latency-samples", "9"}});
    node(c, "audio:process-link", "", {{"src", "*"}, {"dst", "short"}});
    node(c, "audio:process-link", "", {{"src", "*"}, {"dst", "long"}});
    node(c, "audio:process-link", "", {{"src", "short"}, {"dst", "*"}});
    node(c, "audio:process-link", "", {{"src", "long"}, {"dst", "*"}});
    ASSERT_FALSE(defs->initTree());
    ASSERT_FALSE(graph.build(*c, 1));
    std::vector<double> impulse(24, 0.0);
    impulse[0] = 1.0;
    auto out = graph.run({impulse});
    EXPECT_DOUBLE_EQ(graph.process->latency(), 9.0);
    // Both paths add up at the output, the short one delayed to line up.
    for (size_t i = 0; i < out.size(); ++i) EXPECT_DOUBLE_EQ(out[i], i == 9 ? 2.0 : 0.0) << i;
}

TEST_F(GraphTest, StackRunsEachGroupWithItsChannels) {
    CObject* c = container("main");
    node(c, "test:delay", "stacked", {{"is-stacked", "true"}, {"latency-samples", "2"}});
    ASSERT_FALSE(defs->initTree());
    ASSERT_FALSE(graph.build(*c, 2));
    auto out = graph.run({{1, 0, 0, 0}, {0, 1, 0, 0}});
    EXPECT_EQ(out, (std::vector<double>{0, 0, 1, 0}));
    auto* stack = dynamic_cast<CAudioProcessStack*>(graph.process->findProcess("stacked"));
    ASSERT_NE(stack, nullptr);
    // Without a grouping parameter every channel is in group 0.
    EXPECT_EQ(stack->channelGroup(0), 0);
    EXPECT_EQ(stack->channelGroup(1), 0);
    EXPECT_EQ(stack->outputChannel(0, 1)[3], 1.0);
}
