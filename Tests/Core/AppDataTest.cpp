#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Core/AppData.h"
#include "Core/Log.h"
#include "Core/Resources.h"
#include "Core/SharedAttribute.h"
#include "Core/Stream.h"

namespace fs = std::filesystem;

namespace {
class VectorOut final : public COutputStream {
public:
    std::vector<uint8_t> bytes;
    CError write(const void* b, size_t n) override {
        bytes.insert(bytes.end(), static_cast<const uint8_t*>(b), static_cast<const uint8_t*>(b) + n);
        return {};
    }
};

// A compressed "dstr" block holding one string.
std::vector<uint8_t> dstrBlock(const char* text) {
    VectorOut s, block;
    EXPECT_FALSE(s.writeString(text));
    EXPECT_FALSE(block.writeCompressedData(s.bytes, kIdDstr));
    return block.bytes;
}

// A resource datum: u32 length, then the bytes.
std::vector<uint8_t> datum(const std::vector<uint8_t>& bytes) {
    std::vector<uint8_t> d(4);
    for (int i = 0; i < 4; ++i) d[i] = uint8_t(bytes.size() >> (8 * i));
    d.insert(d.end(), bytes.begin(), bytes.end());
    return d;
}

void writeFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
    fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Points the platform's data folders at a scratch folder (never the real
// home folder) and installs a few embedded defaults.
class AppDataTest : public ::testing::Test {
protected:
    fs::path dir, user, common;

    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tamblor-appdata-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        user = dir / "user";
        common = dir / "common";
        fs::create_directories(user);
        fs::create_directories(common);
        saveEnv("XDG_DATA_HOME", &m_oldHome);
        saveEnv("XDG_DATA_DIRS", &m_oldDirs);
        ::setenv("XDG_DATA_HOME", user.c_str(), 1);
        ::setenv("XDG_DATA_DIRS", common.c_str(), 1);
        CAppData::resetAllPaths();

        static const std::vector<uint8_t> local = datum(dstrBlock("embedded"));
        static const std::vector<uint8_t> sys = datum(dstrBlock("system routing"));
        static const KelResourceRow rows[] = {
            {local.data(), "AppDataLocal_greeting"},
            {sys.data(), "AppDataGlobal_routing-presets-sys"},
            {nullptr, nullptr},
        };
        ResourceMap::fill(rows);
    }

    void TearDown() override {
        restoreEnv("XDG_DATA_HOME", m_oldHome);
        restoreEnv("XDG_DATA_DIRS", m_oldDirs);
        CAppData::resetAllPaths();
        ResourceMap::clear();
        kelSetLogSink({});
        fs::remove_all(dir);
    }

    fs::path userItem(const char* rel) const { return user / (std::string(rel) + ".dat"); }

private:
    static void saveEnv(const char* name, std::string* out) {
        const char* v = std::getenv(name);
        *out = v ? v : "\x01";
    }
    static void restoreEnv(const char* name, const std::string& v) {
        if (v == "\x01")
            ::unsetenv(name);
        else
            ::setenv(name, v.c_str(), 1);
    }
    std::string m_oldHome, m_oldDirs;
};

struct RecordingListener : CAppDataListener {
    std::vector<std::string> items;
    void appDataChanged(CAppData&, const CString& itemName) override { items.push_back(itemName.utf8()); }
};
}  // namespace

TEST_F(AppDataTest, StoresLiveInTheirFolders) {
    struct Case {
        CAppData* store;
        const char* type;
        std::string folder;
    } cases[] = {
        {&CAppData::global(), "global", "Kelvane/"},
        {&CAppData::group(), "group", "Kelvane/Audio Plug-Ins/"},
        {&CAppData::local(), "local", "Kelvane/Audio Plug-Ins/Tamblor/"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(CAppData::byStorageType(c.type), c.store);
        EXPECT_EQ(c.store->userPath().utf8(), user.string() + "/" + c.folder);
        EXPECT_EQ(c.store->commonPath().utf8(), common.string() + "/" + c.folder);
        EXPECT_TRUE(fs::is_directory(user / c.folder));
    }
    EXPECT_EQ(CAppData::global().alternativePath().utf8(), user.string() + "/Kelvane/Audio Plug-Ins/");
    EXPECT_TRUE(CAppData::local().alternativePath().empty());
    EXPECT_EQ(CAppData::byStorageType("Global"), nullptr);
}

TEST_F(AppDataTest, WriteReadRoundTripAndEmbeddedFallback) {
    CAppData& local = CAppData::local();
    // No file: the embedded default, else the caller's default.
    EXPECT_EQ(local.readStringOr("greeting", "def").utf8(), "embedded");
    EXPECT_EQ(local.readStringOr("missing", "def").utf8(), "def");
    std::vector<uint8_t> out;
    CError missing = local.readData("missing", kIdAdat, &out);
    ASSERT_TRUE(missing);
    EXPECT_EQ(missing.message().utf8(), "Data item 'missing' not found.");

    ASSERT_FALSE(local.writeString("greeting", "stored \xC3\xA9t\xC3\xA9"));
    EXPECT_TRUE(fs::exists(userItem("Kelvane/Audio Plug-Ins/Tamblor/greeting")));
    EXPECT_EQ(local.readStringOr("greeting", "def").utf8(), "stored \xC3\xA9t\xC3\xA9");
    // From disk, not from memory.
    CAppData::resetAllPaths();
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
    EXPECT_TRUE(out.empty());
}

TEST_F(AppDataTest, LookupOrderUserAlternativeCommonEmbedded) {
    CAppData& global = CAppData::global();
    const fs::path name = "Kelvane/order.dat";
    writeFile(common / name, dstrBlock("common"));
    writeFile(user / "Kelvane/Audio Plug-Ins/order.dat", dstrBlock("alternative"));
    writeFile(user / name, dstrBlock("user"));
    const char* expected[] = {"user", "alternative", "common"};
    const fs::path files[] = {user / name, user / "Kelvane/Audio Plug-Ins/order.dat", common / name};
    for (int i = 0; i < 3; ++i) {
        CAppData::resetAllPaths();  // forget what was read
        EXPECT_EQ(global.readStringOr("order", "none").utf8(), expected[i]);
        fs::remove(files[i]);
    }
    CAppData::resetAllPaths();
    EXPECT_EQ(global.readStringOr("order", "none").utf8(), "none");
}

TEST_F(AppDataTest, RelativeItemNames) {
    // "../x" of the local store is the group store's "x".
    const CAppData::ItemRef ref = CAppData::parseItemRef("../routing-presets|AppDataGlobal_routing-presets-sys");
    EXPECT_EQ(ref.name.utf8(), "../routing-presets");
    EXPECT_EQ(ref.resource.utf8(), "AppDataGlobal_routing-presets-sys");
    std::vector<uint8_t> out;
    bool found = false;
    ASSERT_FALSE(CAppData::local().readData(ref.name, kIdDstr, &out, &found, ref.resource));
    EXPECT_TRUE(found);  // the embedded default named explicitly

    ASSERT_FALSE(CAppData::local().writeString(ref.name, "mine"));
    EXPECT_TRUE(fs::exists(userItem("Kelvane/Audio Plug-Ins/routing-presets")));
    EXPECT_EQ(CAppData::group().readStringOr("routing-presets", "none").utf8(), "mine");
    ASSERT_FALSE(CAppData::local().writeString("lists/./nested", "deep"));
    EXPECT_TRUE(fs::exists(userItem("Kelvane/Audio Plug-Ins/Tamblor/lists/nested")));

    for (const char* bad : {"", "/etc/passwd", "../../../../escape", "c:x", "dir/"}) {
        SCOPED_TRACE(bad);
        CError e = CAppData::local().writeString(bad, "x");
        ASSERT_TRUE(e);
        EXPECT_EQ(e.message().utf8(), std::string("Invalid data item name '") + bad + "'.");
    }
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
    local.addListener(&writer);
    local.addListener(&reentrant);
    local.addListener(&other);
    ASSERT_FALSE(local.writeString("a", "1", &writer));
    EXPECT_EQ(writer.items, (std::vector<std::string>{"b"}));
    EXPECT_EQ(other.items, (std::vector<std::string>{"b", "a"}));
    EXPECT_EQ(reentrant.calls, 1);
    // Other stores do not inform this store's listeners.
    ASSERT_FALSE(CAppData::group().writeString("a", "2"));
    EXPECT_EQ(other.items.size(), 2u);
    local.removeListener(&writer);
    local.removeListener(&other);
}

TEST_F(AppDataTest, UncreatableUserFolderFailsOnceWithoutRetry) {
    // A file where the "Kelvane" folder should be.
    writeFile(user / "Kelvane", {0});
    std::vector<std::string> log;
    kelSetLogSink([&](std::string_view line) { log.emplace_back(line); });
    CAppData& local = CAppData::local();
    EXPECT_FALSE(local.isUserFolderReady());
    CError first = local.writeString("x", "1");
    ASSERT_TRUE(first);
    EXPECT_EQ(first.message().utf8(), "Application data folder '" + user.string() +
                                          "/Kelvane/Audio Plug-Ins/Tamblor/' is not available.");
    // Even once the obstacle is gone, the outcome stands.
    fs::remove(user / "Kelvane");
    EXPECT_TRUE(local.writeString("x", "2"));
    EXPECT_FALSE(fs::exists(user / "Kelvane"));
    EXPECT_EQ(local.readStringOr("x", "def").utf8(), "def");
    int reports = 0;
    for (const auto& l : log) reports += l.find("Unable to create folder") != std::string::npos;
    EXPECT_EQ(reports, 1);
    // Recomputing the paths tries again.
    local.resetPaths();
    EXPECT_FALSE(local.writeString("x", "3"));
}

// --- Shared attributes ---------------------------------------------------------------

namespace {
const CClassRecord* sharedRecord() {
    static CClassRecord r("core:shared-attribute");
    static bool filled = (CSharedAttribute::registerEvents(r), true);
    (void)filled;
    return &r;
}

struct UpdateCounter : CObject {
    int updates = 0;
    static const CClassRecord* record() {
        static CClassRecord r("test:update-counter");
        static bool filled = [] {
            CObject::registerEvents(r);
            r.addEvent("on-update", [](CObject* self, CEventParams&) -> CError {
                ++static_cast<UpdateCounter*>(self)->updates;
                return {};
            });
            return true;
        }();
        (void)filled;
        return &r;
    }
};

// An editor-like tree: root "ui" -> shared attribute "width" + a listener of
// its "update".
struct SharedTree {
    std::unique_ptr<CObject> root = std::make_unique<CObject>();
    CSharedAttribute* shared = nullptr;
    UpdateCounter* counter = nullptr;

    SharedTree(const char* storage, const char* dataName, const char* defValue = "50") {
        root->setName("root");
        auto ui = std::make_unique<CObject>();
        ui->setName("ui");
        auto s = std::make_unique<CSharedAttribute>();
        s->setClassRecord(sharedRecord());
        s->setName("width");
        (void)s->setAttr("storage-type", storage);
        (void)s->setAttr("attribute", "value");
        (void)s->setAttr("data-name", dataName);
        (void)s->setAttr("def-value", defValue);
        shared = s.get();
        ui->attachChild(std::move(s));
        auto c = std::make_unique<UpdateCounter>();
        c->setClassRecord(UpdateCounter::record());
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
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        SharedTree t(c.storage, "w");
        (void)t.shared->setAttr("attribute", c.attribute);
        CError e = t.init();
        ASSERT_TRUE(e);
        EXPECT_EQ(e.message().utf8(), c.message);
    }
}

TEST_F(AppDataTest, SharedAttributesFollowEachOtherThroughTheStore) {
    SharedTree a("local", "ui-width"), b("local", "ui-width");
    ASSERT_FALSE(a.init());
    ASSERT_FALSE(b.init());
    EXPECT_EQ(a.shared->value().utf8(), "50");  // nothing stored yet: the default

    // Values are kept literally, braces included.
    ASSERT_FALSE(a.shared->setAttr("value", "{640}", false));
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
    EXPECT_EQ(b.shared->value().utf8(), "50");

    // Without a data name the item is named after the object.
    SharedTree d("group", "");
    ASSERT_FALSE(d.init());
    EXPECT_EQ(d.shared->dataName().utf8(), "ui.width");
    ASSERT_FALSE(d.shared->setAttr("value", "7"));
    EXPECT_EQ(CAppData::group().readStringOr("ui.width", "").utf8(), "7");
}
