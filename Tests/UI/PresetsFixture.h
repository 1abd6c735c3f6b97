#pragma once
// Instance tests of the preset-manager window: the test document
// Tests/UI/data/preset-manager.xml (its template "ui:win-preset-manager")
// opened windowless on the product instance through the real protocol,
// plus a parameter bridge for edits, and a scratch folder for files.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "Tests/UI/ControlsFixture.h"
#include "Tests/UI/UiTestSupport.h"
#include "UI/Presets/PresetManager.h"

namespace uitest {

class UiPresets : public UiInstance {
protected:
    void SetUp() override {
        UiInstance::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(master().activateDefaultPreset().ok());
        m_dir = std::filesystem::temp_directory_path() /
                ("tamblor-presets-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        openDocument();
    }
    void TearDown() override {
        UiInstance::TearDown();
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }

    // The test document with the connector and client of the instance in
    // place of its unconnected client.
    void openDocument() {
        std::ifstream f(uiTestData("preset-manager.xml"));
        std::stringstream ss;
        ss << f.rdbuf();
        std::string doc = ss.str();
        const std::string client = "<audio:interface-client name=\"interface-client\"/>";
        const size_t at = doc.find(client);
        ASSERT_NE(at, std::string::npos);
        doc.replace(at, client.size(),
                    "<other:param-interface-client-connector-uni name=\"interface-client-connector\" "
                    "base-connector=\"plugin.interface-base-connector\" timer-tag=\"ui:update-timer\" fps=\"1000\"/>"
                    "<audio:interface-client name=\"interface-client\" client-connector=\"^interface-client-connector\" "
                    "group-names-param=\"plugin.modMain.io-params.group-names\"/>"
                    "<ui:param-bridge name=\"ingain-bridge\" param=\"plugin.modMain.modTamblor.ingain\"/>");
        const size_t defs = doc.find("<definitions>");
        ASSERT_NE(defs, std::string::npos);
        doc.insert(defs + 13, kelUiShotAssets());
        std::vector<uint8_t> compiled;
        std::string err;
        ASSERT_TRUE(CDefCompiler::compileXml(doc, "preset-manager.xml", &compiled, &err)) << err;
        m_ui = std::make_unique<Editor>();
        m_ui->root = std::make_unique<CObject>();
        ASSERT_FALSE(m_ui->root->setAttr("VisualScale", "1", false));
        ASSERT_FALSE(m_ui->root->setAttr(
            "BaseConnectorRootPtr", CParamInterfaceUniClientConnector::rootPointerText(core()->instanceRoot()), false));
        const CError e = kelLoadCompiledDefinition(m_ui->root.get(), compiled);
        ASSERT_FALSE(e) << e.text();
        m_ui->connector = uiObject<CParamInterfaceUniClientConnector>("ui.interface-client-connector");
        m_ui->client = uiObject<CAudioInterfaceClient>("ui.interface-client");
        m_ui->renderer = uiObject<CWindowRenderer>("ui.main-window.window-renderer");
        ASSERT_NE(m_ui->connector, nullptr);
        ASSERT_NE(m_ui->client, nullptr);
        ASSERT_NE(m_ui->renderer, nullptr);
        m_manager = uiObject<CPresetManager>("ui.main-window.window-renderer.root");
        ASSERT_NE(m_manager, nullptr);
        pumpUi();
        const CError r = m_ui->renderer->render();
        ASSERT_FALSE(r) << r.text();
    }

    // Runs an event on an object of the editor (path from the editor root).
    CError run(const std::string& path, const char* event,
               std::initializer_list<std::pair<CString, CString>> params = {}) {
        CObject* o = uiObject(path);
        EXPECT_NE(o, nullptr) << path;
        if (!o) return KEL_ERROR(kelstr_CObject_runEvent_UnknownEvent, CString(path));
        CEventParams p(params);
        return o->runEvent(event, p);
    }
    CError manager(const char* event, CEventParams p = {}) { return m_manager->runEvent(event, p); }
    // A file of the scratch folder as the dialog's result names it.
    CEventParams at(const char* name) const {
        return CEventParams{{"path", CString(m_dir.string())}, {"filename", CString(name)}};
    }
    std::string file(const char* name) const { return (m_dir / name).string(); }

    std::filesystem::path m_dir;
    CPresetManager* m_manager = nullptr;
};

}  // namespace uitest
