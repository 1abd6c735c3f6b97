#pragma once
// Fixture of the registry tests: an instance tree "plugin" with a parameter
// collector, an undo owner ("interface-base") and runtime parameters under
// "plugin.modMain" created from definitions, plus the data stores pointed at
// a scratch folder.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "Audio/Params/AudioParamCollector.h"
#include "Audio/Registry/AudioParamRegistry.h"
#include "Audio/Registry/AudioParamUndo.h"
#include "Core/AppData.h"
#include "Core/MemoryWriter.h"
#include "Tests/Audio/ParamFixture.h"
#include "Tests/Support/ScratchDataFolders.h"

class CTestUndoOwner : public CObject, public CAudioParamUndoOwner {
public:
    CAudioParamUndo* paramUndo() override { return &undo; }
    CAudioParamUndo undo{32};
};

class RegistryTest : public ParamTest {
protected:
    void SetUp() override {
        ParamTest::SetUp();
        folders = std::make_unique<CScratchDataFolders>();
        tree = makeNode("core:object", "");
        plugin = attach(tree.get(), makeNode("core:object", "plugin"));
        collector = static_cast<CAudioParamCollector*>(
            attach(plugin, makeNode("audio:param-collector", "param-collector")));
        auto owner = std::make_unique<CTestUndoOwner>();
        owner->setName("interface-base");
        undoOwner = static_cast<CTestUndoOwner*>(attach(plugin, std::move(owner)));
        ASSERT_FALSE(tree->initTree());
    }
    void TearDown() override {
        tree.reset();  // registries first: they leave the stores' listener lists
        params.clear();
        defs.clear();
        folders.reset();
        ParamTest::TearDown();
    }

    static CObject* attach(CObject* parent, std::unique_ptr<CObject> child) {
        CObject* raw = child.get();
        parent->attachChild(std::move(child));
        return raw;
    }

    // A runtime parameter "plugin.modMain.<shortName>" of 8 groups.
    CAudioParam* add(const char* shortName, Attrs attrs) {
        EXPECT_FALSE(makeDef(attrs)) << shortName;
        defs.push_back(std::move(m_root));
        params.push_back(CAudioParam::create(*def, CString("plugin.modMain.") + shortName, 8));
        EXPECT_FALSE(collector->registerParam(params.back().get()));
        return params.back().get();
    }

    // The parameters of the product the tests use (a subset, same flags).
    void addProductParams() {
        const char* text = "shared::audio.paramcvt.text";
        const char* en = "shared::audio.paramcvt.enum";
        const char* onOff = "shared::audio.paramcvt.enum-enable";
        add("instance-name", {{"converter", text}, {"data-type", "string"}, {"def-values", " "},
                              {"is-persistent", "true"}, {"is-single-group", "true"}});
        add("preset-name", {{"converter", text}, {"data-type", "string"}, {"def-values", "Default"},
                            {"is-storable", "true"}, {"is-global", "true"}, {"is-single-group", "true"},
                            {"is-single-element", "true"}});
        add("io-params.group-names", {{"converter", text}, {"data-type", "string"}, {"def-values", "1,2,3,4,5,6,7,8"},
                                      {"is-storable", "true"}, {"is-single-group", "true"}});
        add("io-params.in-routing", {{"converter", en}, {"min-values", "0"}, {"max-values", "16"},
                                     {"def-values", "1,2,0,0,0,0,0,0"}, {"is-storable", "true"},
                                     {"is-single-group", "true"}});
        add("io-params.channel-group-solo",
            {{"converter", onOff}, {"min-values", "0"}, {"max-values", "1"}, {"def-values", "0"}, {"is-global", "true"}});
        add("modTamblor.release", {{"converter", "shared::audio.paramcvt.time-log"}, {"min-values", "1"},
                                   {"max-values", "300"}, {"def-values", "10"}, {"is-storable", "true"}});
        add("modTamblor.ingain", {{"converter", "shared::audio.cvt-gain-in"}, {"min-values", "-3"},
                                  {"max-values", "24"}, {"def-values", "0"}, {"is-storable", "true"}});
        add("modTamblor.graph-window-size",
            {{"converter", "shared::audio.paramcvt.real"}, {"min-values", "10"}, {"max-values", "8192"},
             {"def-values", "650,430"}, {"is-persistent", "true"}, {"is-single-group", "true"}});
        add("modTamblor.metering-type", {{"converter", en}, {"min-values", "0"}, {"max-values", "13"},
                                         {"def-values", "0"}, {"state-names", "@outmeter-presets"},
                                         {"is-storable", "true"}, {"is-single-group", "true"}});
        add("modTamblor.outmeter-params.name",
            {{"converter", text}, {"data-type", "string"}, {"def-values", "Default"}, {"is-storable", "true"}});
        add("modTamblor.outmeter-params.min",
            {{"converter", "shared::audio.paramcvt.real"}, {"min-values", "-96"}, {"max-values", "-1"},
             {"def-values", "-48"}, {"is-storable", "true"}, {"is-single-group", "true"}});
        add("host-offline", {{"converter", onOff}, {"min-values", "0"}, {"max-values", "1"}, {"def-values", "0"},
                             {"is-global", "true"}, {"is-single-group", "true"}, {"is-single-element", "true"}});
        add("bypass-enable", {{"converter", onOff}, {"min-values", "0"}, {"max-values", "1"}, {"def-values", "0"},
                              {"is-persistent", "true"}, {"is-single-group", "true"}, {"is-single-element", "true"}});
        add("modTamblor.modInGain.gain", {{"converter", "shared::audio.paramcvt.real"}, {"min-values", "-48"},
                                          {"max-values", "48"}, {"def-values", "0"}});
    }

    CAudioParam* param(const char* shortName) {
        return collector->findParam(CString("plugin.modMain.") + shortName);
    }

    // A registry under "plugin" with the product's common attributes and
    // the given ones; its init phases run here.
    using AttrList = std::vector<std::pair<const char*, const char*>>;
    CAudioParamRegistry* registry(const AttrList& attrs, CError* error = nullptr) {
        auto node = makeNode("audio:param-registry", "registry",
                             {{"def-name-remap", "plugin=audio"}, {"param-undo", "^interface-base"},
                              {"param-collector", "^param-collector"},
                              {"group-names-param", "plugin.modMain.io-params.group-names"}});
        for (const auto& [k, v] : attrs) EXPECT_FALSE(node->setAttr(k, v));
        auto* reg = static_cast<CAudioParamRegistry*>(attach(plugin, std::move(node)));
        CError e = reg->initTree();
        if (error) *error = std::move(e);
        else
            EXPECT_FALSE(e) << e.text();
        return reg;
    }

    // The master registry ("v87u" over "plugin.modMain"); extra attributes
    // are added (an empty value removes nothing but overrides).
    CAudioParamRegistry* master(const AttrList& extra = {}) {
        AttrList attrs = {{"id", "v87u"},
                          {"hierarchy", "plugin.modMain"},
                          {"is-master", "true"},
                          {"preset-naming", "Master preset"},
                          {"preset-name-param", "plugin.modMain.preset-name"}};
        attrs.insert(attrs.end(), extra.begin(), extra.end());
        return registry(attrs);
    }

    std::vector<std::string> undoTexts() {
        std::vector<std::string> out;
        for (const CString& t : undoOwner->undo.texts()) out.push_back(t.utf8());
        return out;
    }

    std::unique_ptr<CScratchDataFolders> folders;
    std::unique_ptr<CObject> tree;
    CObject* plugin = nullptr;
    CAudioParamCollector* collector = nullptr;
    CTestUndoOwner* undoOwner = nullptr;
    std::vector<std::unique_ptr<CObject>> defs;
    std::vector<std::unique_ptr<CAudioParam>> params;
};

// The bytes of a numeric stored parameter.
inline std::vector<uint8_t> numericStored(const char* fullName, uint32_t groups, std::vector<double> perGroup,
                                          uint32_t esize = 1) {
    CMemoryWriter w;
    EXPECT_FALSE(w.writeString(fullName));
    for (uint32_t v : {1u, esize, 0u, groups}) EXPECT_FALSE(w.writeU32(v));
    for (uint32_t g = 0; g < groups; ++g) {
        EXPECT_FALSE(w.writeU32(uint32_t(perGroup.size() / esize)));
        for (double v : perGroup) EXPECT_FALSE(w.writeF64(v));
    }
    return w.take();
}
