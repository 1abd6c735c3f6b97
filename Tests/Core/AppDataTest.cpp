#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "Core/AppData.h"
#include "Core/Log.h"
#include "Core/Resources.h"
#include "Core/SharedAttribute.h"
#include "Core/Stream.h"

namespace fs = std::filesystem;

namespace {
struct VectorOut final : COutputStream {
    std::vector<uint8_t> bytes;
    CError write(const void* b, size_t n) override {
        bytes.insert(bytes.end(), static_cast<const uint8_t*>(b), static_cast<const uint8_t*>(b) + n);
        return {};
    }
};

// A compressed "dstr" block holding one string; with withLength, as a
// resource datum (u32 length first).
std::vector<uint8_t> dstrBlock(const char* text, bool withLength = false) {
    VectorOut s, block;
    EXPECT_FALSE(s.writeString(text));
    EXPECT_FALSE(block.writeCompressedData(s.bytes, kIdDstr));
    if (!withLength) return block.bytes;
    std::vector<uint8_t> d(4);
    for (int i = 0; i < 4; ++i) d[i] = uint8_t(block.bytes.size() >> (8 * i));
    d.insert(d.end(), block.bytes.begin(), block.bytes.end());
    return d;
}

void writeFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Points the platform's data folders at a scratch folder (never the real
// home folder) and installs two embedded defaults.
class AppDataTest : public ::testing::Test {
protected:
    fs::path dir = fs::temp_directory_path() / ("tamblor-appdata-" + std::to_string(::getpid()));
    fs::path user = dir / "user", common = dir / "common";

    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(user);
        fs::create_directories(common);
        for (auto& [name, path] : {std::pair{"XDG_DATA_HOME", &user}, std::pair{"XDG_DATA_DIRS", &common}}) {
            const char* old = std::getenv(name);
            m_saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            ::setenv(name, path->c_str(), 1);
        }
        CAppData::resetAllPaths();
        static const std::vector<uint8_t> local = dstrBlock("embedded", true), sys = dstrBlock("system", true);
        static const KelResourceRow rows[] = {{local.data(), "AppDataLocal_greeting"},
                                              {sys.data(), "AppDataGlobal_routing-presets-sys"},
                                              {nullptr, nullptr}};
        ResourceMap::fill(rows);
    }
    void TearDown() override {
        for (auto& [name, v] : m_saved) v ? (void)::setenv(name, v->c_str(), 1) : (void)::unsetenv(name);
        CAppData::resetAllPaths();
        ResourceMap::clear();
        kelSetLogSink({});
        fs::remove_all(dir);
    }

private:
    std::vector<std::pair<const char*, std::optional<std::string>>> m_saved;
};

struct RecordingListener : CAppDataListener {
    std::vector<std::string> items;
    void appDataChanged(CAppData&, const CString& itemName) override { items.push_back(itemName.utf8()); }
};
}  // namespace

TEST_F(AppDataTest, WriteReadRoundTripAndEmbeddedFallback) {
    for (const char* type : {"global", "group", "local"}) {
        CAppData* s = CAppData::byStorageType(type);
        ASSERT_TRUE(s) << type;
        EXPECT_TRUE(fs::is_directory(s->userPath().utf8())) << type;
    }
    CAppData& local = CAppData::local();
    EXPECT_EQ(local.userPath().utf8(), user.string() + "/Kelvane/Audio Plug-Ins/Tamblor/");
    // No file: the embedded default, else the caller's default or an error.
    EXPECT_EQ(local.readStringOr("greeting", "def").utf8(), "embedded");
    EXPECT_EQ(local.readStringOr("missing", "def").utf8(), "def");
    std::vector<uint8_t> out;
    EXPECT_EQ(local.readData("missing", kIdAdat, &out).message().utf8(), "Data item 'missing' not found.");

    ASSERT_FALSE(local.writeString("greeting", "stored \xC3\xA9t\xC3\xA9"));
    EXPECT_TRUE(fs::exists(user / "Kelvane/Audio Plug-Ins/Tamblor/greeting.dat"));
    CAppData::resetAllPaths();  // read back from disk, not from memory
    EXPECT_EQ(local.readStringOr("greeting", "def").utf8(), "stored \xC3\xA9t\xC3\xA9");

    // Binary items keep their id; a reader expecting another id fails.
    const std::vector<uint8_t> data{1, 2, 3, 0, 255};
    ASSERT_FALSE(local.writeData("blob", kIdAdat, data));
    bool found = false;
    ASSERT_FALSE(local.readData("blob", kIdAdat, &out, &found));
    EXPECT_TRUE(found);
    EXPECT_EQ(out, data);
    CError wrongId = local.readData("blob", kIdAlst, &out, &found);
    ASSERT_TRUE(wrongId);
    EXPECT_NE(wrongId.message().utf8().find("Invalid ID"), std::string::npos);
}

TEST_F(AppDataTest, LookupOrderUserAlternativeCommonEmbedded) {
    const fs::path files[] = {user / "Kelvane/order.dat", user / "Kelvane/Audio Plug-Ins/order.dat",
                              common / "Kelvane/order.dat"};
    const char* expected[] = {"user", "alternative", "common"};
    for (int i = 0; i < 3; ++i) writeFile(files[i], dstrBlock(expected[i]));
    for (int i = 0; i < 3; ++i) {
        CAppData::resetAllPaths();
        EXPECT_EQ(CAppData::global().readStringOr("order", "none").utf8(), expected[i]);
        fs::remove(files[i]);
    }
    CAppData::resetAllPaths();
    EXPECT_EQ(CAppData::global().readStringOr("order", "none").utf8(), "none");
}

TEST_F(AppDataTest, RelativeItemNames) {
    // "../x" of the local store is the group store's "x".
    const auto ref = CAppData::parseItemRef("../routing-presets|AppDataGlobal_routing-presets-sys");
    EXPECT_EQ(ref.name.utf8(), "../routing-presets");
    std::vector<uint8_t> out;
    bool found = false;
    ASSERT_FALSE(CAppData::local().readData(ref.name, kIdDstr, &out, &found, ref.resource));
    EXPECT_TRUE(found);  // the embedded default named explicitly
    ASSERT_FALSE(CAppData::local().writeString(ref.name, "mine"));
    EXPECT_TRUE(fs::exists(user / "Kelvane/Audio Plug-Ins/routing-presets.dat"));
    EXPECT_EQ(CAppData::group().readStringOr("routing-presets", "none").utf8(), "mine");
    ASSERT_FALSE(CAppData::local().writeString("lists/./nested", "deep"));
    EXPECT_TRUE(fs::exists(user / "Kelvane/Audio Plug-Ins/Tamblor/lists/nested.dat"));

    for (const char* bad : {"", "/etc/passwd", "../../../../escape", "c:x", "dir/"})
        EXPECT_EQ(CAppData::local().writeString(bad, "x").message().utf8(),
                  std::string("Invalid data item name '") + bad + "'.");
}

TEST_F(AppDataTest, ListenersInformedExceptTheWriter) {
    CAppData& local = CAppData::local();
    RecordingListener writer, other;
    // A listener that writes from its callback and then leaves.
    struct Reentrant : CAppDataListener {
        int calls = 0;
        void appDataChanged(CAppData& s, const CString& item) override {
            ++calls;
            if (item == "a") {
                EXPECT_FALSE(s.writeString("b", "from callback", this));
                s.removeListener(this);
            }
        }
    } reentrant;
    for (CAppDataListener* l : std::initializer_list<CAppDataListener*>{&writer, &reentrant, &other})
        local.addListener(l);
    ASSERT_FALSE(local.writeString("a", "1", &writer));
    EXPECT_EQ(writer.items, (std::vector<std::string>{"b"}));
    EXPECT_EQ(other.items, (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(reentrant.calls, 1);
    ASSERT_FALSE(CAppData::group().writeString("a", "2"));  // another store
    EXPECT_EQ(other.items.size(), 2u);
    local.removeListener(&writer);
    local.removeListener(&other);
}

TEST_F(AppDataTest, UncreatableUserFolderFailsOnceWithoutRetry) {
    writeFile(user / "Kelvane", {0});  // a file where a folder should be
    std::vector<std::string> log;
    kelSetLogSink([&](std::string_view line) { log.emplace_back(line); });
    CAppData& local = CAppData::local();
    EXPECT_FALSE(local.isUserFolderReady());
    EXPECT_EQ(local.writeString("x", "1").message().utf8(),
              "Application data folder '" + user.string() + "/Kelvane/Audio Plug-Ins/Tamblor/' is not available.");
    // Even once the obstacle is gone, the outcome stands.
    fs::remove(user / "Kelvane");
    EXPECT_TRUE(local.writeString("x", "2"));
    EXPECT_FALSE(fs::exists(user / "Kelvane"));
    int reports = 0;
    for (const auto& l : log) reports += l.find("Unable to create folder") != std::string::npos;
    EXPECT_EQ(reports, 1);
    local.resetPaths();  // recomputing the paths tries again
    EXPECT_FALSE(local.writeString("x", "3"));
}

// --- Shared attributes ---------------------------------------------------------------

namespace {
struct UpdateCounter : CObject {
    int updates = 0;
};

// root -> ui -> { shared attribute "width" (kept attribute "value"), a
// listener of its "update" }
struct SharedTree {
    std::unique_ptr<CObject> root = std::make_unique<CObject>();
    CSharedAttribute* shared;
    UpdateCounter* counter;

    SharedTree(const char* storage, const char* dataName, const char* attribute = "value") {
        static CClassRecord sharedRec("core:shared-attribute"), counterRec("test:update-counter");
        if (!sharedRec.eventCount()) {
            CSharedAttribute::registerEvents(sharedRec);
            counterRec.addEvent("on-update", [](CObject* self, CEventParams&) -> CError {
                ++static_cast<UpdateCounter*>(self)->updates;
                return {};
            });
        }
        auto ui = std::make_unique<CObject>();
        ui->setName("ui");
        auto s = std::make_unique<CSharedAttribute>();
        s->setClassRecord(&sharedRec);
        s->setName("width");
        for (auto [n, v] : {std::pair{"storage-type", storage}, {"attribute", attribute}, {"data-name", dataName},
                            {"def-value", "50"}})
            (void)s->setAttr(n, v);
        shared = s.get();
        ui->attachChild(std::move(s));
        auto c = std::make_unique<UpdateCounter>();
        c->setClassRecord(&counterRec);
        counter = c.get();
        ui->attachChild(std::move(c));
        root->attachChild(std::move(ui));
    }
    CError init() {
        KEL_TRY(root->initTree());
        CObject::listenObject(shared, "update", counter, "on-update");
        return {};
    }
};
}  // namespace

TEST_F(AppDataTest, SharedAttributeInitErrors) {
    struct Case {
        const char* storage;
        const char* attribute;
        const char* message;
    } cases[] = {
        {"bogus", "value", "Invalid storage type \"bogus\" specified."},
        {"", "value", "Invalid storage type \"\" specified."},
        {"Local", "value", "Invalid storage type \"Local\" specified."},
        {"local", "", "No attached attribute name specified."},
    };
    for (const auto& c : cases) EXPECT_EQ(SharedTree(c.storage, "w", c.attribute).init().message().utf8(), c.message);
}

TEST_F(AppDataTest, SharedAttributesFollowEachOtherThroughTheStore) {
    SharedTree a("local", "ui-width"), b("local", "ui-width");
    ASSERT_FALSE(a.init());
    ASSERT_FALSE(b.init());
    EXPECT_EQ(a.shared->value().utf8(), "50");  // nothing stored yet: the default

    ASSERT_FALSE(a.shared->setAttr("value", "{640}", false));  // kept literally
    EXPECT_EQ(CAppData::local().readStringOr("ui-width", "").utf8(), "{640}");
    EXPECT_EQ(b.shared->value().utf8(), "{640}");
    EXPECT_EQ(b.counter->updates, 1);
    EXPECT_EQ(a.counter->updates, 0);  // the writer is not informed

    // A later editor starts from the stored value; a reset writes the default.
    SharedTree c("local", "ui-width");
    ASSERT_FALSE(c.init());
    EXPECT_EQ(c.shared->value().utf8(), "{640}");
    ASSERT_FALSE(c.shared->resetToDefault());
    EXPECT_EQ(a.shared->value().utf8(), "50");

    // Without a data name the item is named after the object.
    SharedTree d("group", "");
    ASSERT_FALSE(d.init());
    EXPECT_EQ(d.shared->dataName().utf8(), "ui.width");
    ASSERT_FALSE(d.shared->setAttr("value", "7"));
    EXPECT_EQ(CAppData::group().readStringOr("ui.width", "").utf8(), "7");
}
