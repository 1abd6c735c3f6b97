#pragma once
// Instance tests of the editor's controls and meters: the product instance
// of the integration fixture and an editor tree connected to it through the
// real protocol (client connector and client under "ui"), with the
// standard assets and a window renderer whose root view holds the views
// under test. No window: input goes to the views' event entry points.

#include <memory>
#include <string>

#include "Core/XMLData.h"
#include "Tests/Integration/IntegrationFixture.h"
#include "Tests/Support/PumpDeliveries.h"
#include "Tools/DefCompiler/DefCompiler.h"
#include "Tools/UiShot/UiShot.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/View/View.h"

namespace uitest {

class UiInstance : public integ::Integration {
protected:
    struct Editor {
        std::unique_ptr<CObject> root;
        CParamInterfaceUniClientConnector* connector = nullptr;
        CAudioInterfaceClient* client = nullptr;
        CWindowRenderer* renderer = nullptr;
    };

    void TearDown() override {
        m_ui.reset();
        Integration::TearDown();
    }

    // Loads `views` under the root view (w x h) and `objects` under "ui",
    // connected to the instance.
    void openUi(const std::string& views, const std::string& objects = "", int w = 600, int h = 400) {
        const std::string doc =
            "<definitions>" + kelUiShotAssets() + m_prelude +
            "<core:object name=\"ui\">"
            "<other:param-interface-client-connector-uni name=\"interface-client-connector\" "
            "base-connector=\"plugin.interface-base-connector\" timer-tag=\"ui:update-timer\" fps=\"1000\"/>"
            "<audio:interface-client name=\"interface-client\" client-connector=\"^interface-client-connector\" "
            "group-names-param=\"plugin.modMain.io-params.group-names\"/>" +
            objects +
            "<core:object name=\"main-window\"><ui:window-renderer name=\"window-renderer\">"
            "<ui:view name=\"root\" is-root-view=\"true\" palette=\"palette\" color=\"Background\" width=\"" +
            std::to_string(w) + "\" height=\"" + std::to_string(h) + "\">" + views +
            "</ui:view></ui:window-renderer></core:object></core:object></definitions>";
        std::vector<uint8_t> compiled;
        std::string err;
        ASSERT_TRUE(CDefCompiler::compileXml(doc, "controls-test.xml", &compiled, &err)) << err;
        m_ui = std::make_unique<Editor>();
        m_ui->root = std::make_unique<CObject>();
        ASSERT_FALSE(m_ui->root->setAttr("VisualScale", "1", false));
        ASSERT_FALSE(m_ui->root->setAttr("BaseConnectorRootPtr",
                                         CParamInterfaceUniClientConnector::rootPointerText(core()->instanceRoot()),
                                         false));
        const CError e = kelLoadCompiledDefinition(m_ui->root.get(), compiled);
        ASSERT_FALSE(e) << e.text();
        m_ui->connector = dynamic_cast<CParamInterfaceUniClientConnector*>(
            m_ui->root->findObject("ui.interface-client-connector"));
        m_ui->client = dynamic_cast<CAudioInterfaceClient*>(m_ui->root->findObject("ui.interface-client"));
        m_ui->renderer = dynamic_cast<CWindowRenderer*>(m_ui->root->findObject("ui.main-window.window-renderer"));
        ASSERT_NE(m_ui->connector, nullptr);
        ASSERT_NE(m_ui->client, nullptr);
        ASSERT_NE(m_ui->renderer, nullptr);
        pumpUi();
        // One frame lays the views out (the controls measure drags on their areas).
        const CError r = m_ui->renderer->render();
        ASSERT_FALSE(r) << r.text();
    }

    // Delivers what the audio side sent to the editor.
    void pumpUi() {
        Editor* one[] = {m_ui.get()};
        pumpDeliveries(std::span<Editor* const>(one), std::chrono::seconds(10));
    }

    template <class T = CView>
    T* uiView(const std::string& name) const {
        return dynamic_cast<T*>(m_ui->root->findObject(CString("ui.main-window.window-renderer.root." + name)));
    }
    template <class T = CObject>
    T* uiObject(const std::string& path) const {
        return dynamic_cast<T*>(m_ui->root->findObject(CString(path)));
    }
    CAudioInterfaceClient& client() const { return *m_ui->client; }
    CWindowRenderer& renderer() const { return *m_ui->renderer; }

    // Runs a view event as the window would (coordinates in view pixels).
    static CError input(CView* v, const char* event, std::initializer_list<std::pair<CString, CString>> params) {
        CEventParams p(params);
        return v->runEvent(event, p);
    }

    std::unique_ptr<Editor> m_ui;
    // Top-level definitions (templates) openUi puts before "ui".
    std::string m_prelude;
};

}  // namespace uitest
