#pragma once
// The product's editor document loaded windowless into an editor connected
// to the test instance: the window data (display, timers, pop-ups) becomes a
// plain object and the update timers go, so that the tests drive everything.

#include <functional>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "Audio/Interface/ParamInterfaceUni.h"
#include "Core/XMLData.h"
#include "Tests/Integration/IntegrationFixture.h"
#include "Tests/Support/PumpDeliveries.h"
#include "Tests/UI/UiTestSupport.h"
#include "Tools/DefCompiler/DefCompiler.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/View/View.h"

KELSTR(MainWindowTest_compile, "The editor document does not compile: %1");

namespace uitest {

inline const char* const kRoot = "ui.main-window.window-renderer.root.";

class MainWindow : public integ::Integration {
protected:
    struct Editor {
        std::unique_ptr<CObject> root;
        CParamInterfaceUniClientConnector* connector = nullptr;
        CWindowRenderer* renderer = nullptr;
    };

    void TearDown() override {
        m_ui.reset();
        Integration::TearDown();
    }

    // The editor document without what needs a display: the window data
    // (display, timers, pop-ups) becomes a plain object and the update
    // timers go; `edit` may change the text further.
    static std::string documentText(const std::function<void(std::string&)>& edit = {}) {
        std::ifstream in(uiTestData("../../../Definitions/UI/UserInterface.xml"), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto replaceAll = [&](const std::string& from, const std::string& to) {
            for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
                text.replace(at, from.size(), to);
        };
        replaceAll("<ui:window-shared-data ", "<core:object ");
        replaceAll("</ui:window-shared-data>", "</core:object>");
        for (size_t at = text.find("<ui:update-timer "); at != std::string::npos; at = text.find("<ui:update-timer "))
            text.erase(at, text.find("/>", at) + 2 - at);
        if (edit) edit(text);
        return text;
    }

    // Loads the editor document at a scale, connected to the instance.
    CError open(double scale = 1.0, const std::string& text = documentText()) {
        m_ui = std::make_unique<Editor>();
        m_ui->root = std::make_unique<CObject>();
        KEL_TRY(m_ui->root->setAttr("VisualScale", CString::number(scale), false));
        KEL_TRY(m_ui->root->setAttr("BaseConnectorRootPtr",
                                    CParamInterfaceUniClientConnector::rootPointerText(core()->instanceRoot()),
                                    false));
        std::vector<uint8_t> compiled;
        std::string err;
        if (!CDefCompiler::compileXml(text, "UserInterface.xml", &compiled, &err))
            return KEL_ERROR(kelstr_MainWindowTest_compile, CString(err));
        KEL_TRY(kelLoadCompiledDefinition(m_ui->root.get(), compiled));
        m_ui->connector = dynamic_cast<CParamInterfaceUniClientConnector*>(
            m_ui->root->findObject("ui.interface-client-connector"));
        m_ui->renderer = dynamic_cast<CWindowRenderer*>(m_ui->root->findObject("ui.main-window.window-renderer"));
        pumpUi();
        return m_ui->renderer ? m_ui->renderer->render() : CError{};
    }
    void pumpUi() {
        Editor* one[] = {m_ui.get()};
        pumpDeliveries(std::span<Editor* const>(one), std::chrono::seconds(10));
    }
    template <class T = CView>
    T* view(const std::string& path) const {
        return dynamic_cast<T*>(m_ui->root->findObject(CString(kRoot + path)));
    }
    CParamBridge* bridge(const std::string& name) const {
        return dynamic_cast<CParamBridge*>(m_ui->root->findObject(CString("ui." + name)));
    }
    void setParam(const std::string& bridgeName, double v) {
        CParamBridge* b = bridge(bridgeName);
        ASSERT_NE(b, nullptr) << bridgeName;
        ASSERT_FALSE(b->setValue(0, 0, v));
        pumpUi();
    }

    std::unique_ptr<Editor> m_ui;
};

}  // namespace uitest
