// The product's editor document on an in-process instance, for tamblor-uishot.
#include "Tools/UiShot/ProductShot.h"

#include <chrono>
#include <sstream>
#include <thread>

#include "Audio/Interface/ParamInterfaceUni.h"
#include "Audio/Plugin/AudioWrapper.h"
#include "Audio/Registry/AudioParamRegistry.h"
#include "Core/XMLData.h"
#include "Platform/Thread.h"
#include "Tools/DefCompiler/DefCompiler.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/Window/WindowOpener.h"

KELSTR(CProductShot_open_Compile, "%1");
KELSTR(CProductShot_open_NoMainWindow, "The document has no main window renderer.");
KELSTR(CProductShot_open_NoRegistry, "The instance has no parameter registry.");
KELSTR(CProductShot_openWindow_NoOpener, "The document has no window opener.");
KELSTR(CProductShot_openWindow_Unknown, "No pop-up window template '%1'.");
KELSTR(CProductShot_apply_BadAction, "Invalid action '%1'.");
KELSTR(CProductShot_apply_NoBridge, "No parameter bridge 'ui.%1'.");

namespace {
constexpr const char* kMainRenderer = "ui.main-window.window-renderer";
constexpr const char* kOpener = "ui.window-shared-data.window-opener";
constexpr const char* kOpenFrom = "ui.main-window.window-renderer.root.window-title";
}  // namespace

CProductShot::CProductShot() = default;

CProductShot::~CProductShot() {
    m_root.reset();  // disconnects from the instance first
    if (m_instance) m_instance->stopProcessing();
}

std::string CProductShot::windowlessText(std::string text) {
    auto replaceAll = [&](const std::string& from, const std::string& to) {
        for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
            text.replace(at, from.size(), to);
    };
    replaceAll("<ui:window-shared-data ", "<core:object ");
    replaceAll("</ui:window-shared-data>", "</core:object>");
    for (size_t at = text.find("<ui:update-timer "); at != std::string::npos; at = text.find("<ui:update-timer ")) {
        const size_t end = text.find("/>", at);
        if (end == std::string::npos) break;
        text.erase(at, end + 2 - at);
    }
    return text;
}

CError CProductShot::open(std::string_view documentXml, const std::string& sourceName, double scale) {
    m_instance = std::make_unique<CAudioWrapper>();
    KEL_TRY(m_instance->init());
    m_instance->setSampleRate(44100.0);
    m_instance->setMaxBlockSize(512);
    m_instance->setIoLayout(2, 0, 2);
    m_instance->startProcessing();
    auto* registry = dynamic_cast<CAudioParamRegistry*>(m_instance->instanceRoot()->findObject("plugin.param-registry"));
    if (!registry) return KEL_ERROR(kelstr_CProductShot_open_NoRegistry);
    KEL_TRY(registry->activateDefaultPreset());

    m_root = std::make_unique<CObject>();
    KEL_TRY(m_root->setAttr("VisualScale", CString::number(scale), false));
    KEL_TRY(m_root->setAttr("BaseConnectorRootPtr",
                            CParamInterfaceUniClientConnector::rootPointerText(m_instance->instanceRoot()), false));
    std::vector<uint8_t> compiled;
    std::string err;
    if (!CDefCompiler::compileXml(windowlessText(std::string(documentXml)), sourceName, &compiled, &err))
        return KEL_ERROR(kelstr_CProductShot_open_Compile, CString(err));
    KEL_TRY(kelLoadCompiledDefinition(m_root.get(), compiled));
    m_connector = dynamic_cast<CParamInterfaceUniClientConnector*>(m_root->findObject("ui.interface-client-connector"));
    m_renderer = dynamic_cast<CWindowRenderer*>(m_root->findObject(kMainRenderer));
    if (!m_renderer) return KEL_ERROR(kelstr_CProductShot_open_NoMainWindow);
    pump();
    m_instance->latencyAcknowledged();  // as a host does at once: no latency notice
    pump();
    return m_renderer->render();  // lays the main window out, as its window would
}

CError CProductShot::openWindow(const std::string& templateName) {
    auto* opener = dynamic_cast<CWindowOpener*>(m_root->findObject(kOpener));
    if (!opener) return KEL_ERROR(kelstr_CProductShot_openWindow_NoOpener);
    const CString name(templateName);
    KEL_TRY(opener->openWindow(name, kOpenFrom, false));
    pump();
    CWindowRenderer* r = kelFindRenderer(opener->findPopup(name));
    if (!r) return KEL_ERROR(kelstr_CProductShot_openWindow_Unknown, name);
    m_renderer = r;
    return {};
}

CError CProductShot::apply(const std::string& action) {
    std::istringstream in(action);
    std::string verb, bridge;
    double value = 0;
    if (!(in >> verb >> bridge >> value) || verb != "param")
        return KEL_ERROR(kelstr_CProductShot_apply_BadAction, CString(action));
    auto* b = dynamic_cast<CParamBridge*>(m_root->findObject(CString("ui." + bridge)));
    if (!b) return KEL_ERROR(kelstr_CProductShot_apply_NoBridge, CString(bridge));
    KEL_TRY(b->setValue(0, 0, value));
    pump();
    m_instance->latencyAcknowledged();
    pump();
    return {};
}

CError CProductShot::render() { return m_renderer->render(); }

const CBitmap32& CProductShot::image() const { return m_renderer->backBuffer(); }

// Runs the run loop until the instance answered twice (or 10 s passed).
void CProductShot::pump() {
    const uint64_t target = m_connector ? m_connector->deliveryRuns() + 2 : 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
        plat::pumpRunLoop();
        if (!m_connector || m_connector->deliveryRuns() >= target || std::chrono::steady_clock::now() > end) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}
