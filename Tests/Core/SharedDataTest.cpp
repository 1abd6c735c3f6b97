#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "Product/ProductCreators.h"
#include "Core/Application.h"
#include "Core/Log.h"
#include "Core/Object.h"

namespace {

// The embedded "SharedData.xml", loaded the way module load does it.
struct SharedData : ::testing::Test {
    void SetUp() override {
        log.clear();
        kelSetLogSink([this](std::string_view line) { log.emplace_back(line); });
        CError e = CApplication::start(kelProductStartOptions());
        ASSERT_FALSE(e) << e.text();
        shared = CApplication::sharedObject();
    }
    void TearDown() override {
        CApplication::finish();
        kelSetLogSink({});
    }
    std::vector<std::string> log;
    CSharedObject* shared = nullptr;
};

TEST_F(SharedData, StartsWithTheVersionHistoryNewestFirst) {
    EXPECT_EQ(log.at(0), "Initializing application...");
    EXPECT_EQ(log.at(1).rfind("loadXMLData \"SharedData.xml\" init time: ", 0), 0u) << log.at(1);

    ASSERT_GE(shared->childCount(), 11u);
    double lastVersion = 1e9;
    std::string lastDate = "9999";
    for (size_t i = 0; i < 10; ++i) {
        const CObject* w = shared->child(i);
        SCOPED_TRACE("entry " + std::to_string(i));
        EXPECT_EQ(w->name().utf8(), "whatsnew");
        EXPECT_EQ(w->tag().utf8(), "core:object");
        const double version = w->attrReal("version", -1);
        EXPECT_LT(version, lastVersion);
        EXPECT_LT(w->attr("date").utf8(), lastDate);
        lastVersion = version;
        lastDate = w->attr("date").utf8();
        ASSERT_GE(w->childCount(), 1u);
        for (const auto& p : w->children()) {
            EXPECT_EQ(p->name().utf8(), "p");
            ASSERT_EQ(p->childCount(), 1u);
            EXPECT_EQ(p->child(0)->tag().utf8(), "content");
            EXPECT_FALSE(p->child(0)->attr("value").empty());
        }
    }
    EXPECT_EQ(shared->child(0)->attr("version").utf8(), "4.9");
    EXPECT_EQ(shared->child(10)->name().utf8(), "project");
}

TEST_F(SharedData, ProjectCarriesTheIdentityAndSwitches) {
    CObject* project = nullptr;
    ASSERT_FALSE(shared->findObjectChecked<CObject>("shared::project", &project));
    const std::pair<const char*, const char*> expected[] = {
        {"app-name", "Tamblor"},
        {"app-full-name", "Kelvane Tamblor"},
        {"app-vendor", "Kelvane"},
        {"app-version", "4.9"},
        {"app-desc", "Mastering limiter."},
        {"plugin-code", "v87u"},
        {"plugin-category-vst3", "Fx|Mastering"},
        {"plugin-intchannel-count", "8"},
        {"plugin-group-count", "8"},
        {"plugin-tail", "0.4"},
        {"window-width", "590"},
        {"window-height", "444"},
        {"uniform-latencies",
         "44100=1041;48000=1080;88200=1482;96000=1560;176400=2364;192000=2520;352800=4128;384000=4440"},
        {"auto-oversampling-rtmode", "1"},
        {"is-oversampling-linphase", "true"},
        {"is-oversampling-switchable", "false"},
        {"is-symmetric-io", "true"},
        {"is-viz-always-active", "false"},
        {"is-minimal-ui", "false"},
    };
    for (const auto& [name, value] : expected) EXPECT_EQ(project->attr(name).utf8(), value) << name;

    const char* on[] = {"use-oversampling",   "use-latency-uniformer", "use-routing",  "use-routing-labels",
                        "use-metering",       "use-metering-knobs",    "use-metering-density", "use-bypass",
                        "use-denorm",         "use-new-palette",       "use-waveform"};
    const char* off[] = {"use-sidechain", "use-mid-side", "use-host-bpm", "use-host-recording", "use-window-resizing",
                         "use-window-resizing-handle", "use-latency-uniformer-always", "use-sat", "use-spectrum",
                         "use-hilbert", "use-bottom-group-selector"};
    for (const char* name : on) EXPECT_EQ(project->attr(name).utf8(), "true") << name;
    for (const char* name : off) EXPECT_EQ(project->attr(name).utf8(), "false") << name;

    // The class id is read as 32 hexadecimal digits in the 8-4-4-4-12 layout.
    const std::string uuid = project->attr("plugin-uuid").utf8();
    ASSERT_EQ(uuid.size(), 36u);
    for (size_t i = 0; i < uuid.size(); ++i)
        EXPECT_TRUE(i == 8 || i == 13 || i == 18 || i == 23 ? uuid[i] == '-' : std::isxdigit(uuid[i]) != 0) << i;

    // Once the identity is loaded, log lines carry the application's name.
    kelLog("probe");
    EXPECT_EQ(log.back(), "probe // Kelvane Tamblor");
}

}  // namespace
