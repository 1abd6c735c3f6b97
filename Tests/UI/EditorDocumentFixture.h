#pragma once
// Fixture of the tests of the product's editor document on a real instance:
// the document (without what needs a display) loaded into an editor root
// connected to the integration instance, with helpers to find its views and
// bridges, set parameters through the editor, check a layout and compare a
// drawn window with its golden image.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Audio/Interface/ParamInterfaceUni.h"
#include "Core/XMLData.h"
#include "Tests/Integration/IntegrationFixture.h"
#include "Tests/Support/PumpDeliveries.h"
#include "Tests/UI/UiTestSupport.h"
#include "Tools/DefCompiler/DefCompiler.h"
#include "Tools/UiShot/PngFile.h"
#include "UI/Controls/ParamBridge.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/View/View.h"
#include "UI/Window/WindowOpener.h"

KELSTR(EditorDocumentFixture_compile, "The editor document does not compile: %1");

namespace uitest {

inline const char* const kMainRoot = "ui.main-window.window-renderer.root.";

inline void forEachObject(CObject* o, const std::function<void(CObject*)>& f) {
    f(o);
    for (const auto& c : o->children()) forEachObject(c.get(), f);
}

// Every window template of a document: a core:object template holding a renderer.
inline std::vector<std::string> windowTemplates(const std::string& text) {
    std::vector<std::string> windows;
    for (size_t at = text.find("<template name=\""); at != std::string::npos;
         at = text.find("<template name=\"", at + 1)) {
        const size_t from = at + 16, to = text.find('"', from);
        const size_t end = text.find("</template>", at);
        const std::string holder = "\" base-tag=\"core:object\"";
        if (text.compare(to, holder.size(), holder) != 0) continue;
        if (text.substr(at, end - at).find("<ui:window-renderer") != std::string::npos)
            windows.push_back(text.substr(from, to - from));
    }
    return windows;
}

class EditorDocument : public integ::Integration {
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
            return KEL_ERROR(kelstr_EditorDocumentFixture_compile, CString(err));
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
    // A view of the main window by its path under the root view.
    template <class T = CView>
    T* view(const std::string& path) const {
        return dynamic_cast<T*>(m_ui->root->findObject(CString(kMainRoot + path)));
    }
    // Any object of the document by its full path ("ui.groupsel").
    template <class T = CObject>
    T* object(const std::string& path) const {
        return dynamic_cast<T*>(m_ui->root->findObject(CString(path)));
    }
    CParamBridge* bridge(const std::string& name) const { return object<CParamBridge>("ui." + name); }
    CWindowOpener* opener() const { return object<CWindowOpener>("ui.window-shared-data.window-opener"); }
    void setParam(const std::string& bridgeName, double v) {
        CParamBridge* b = bridge(bridgeName);
        ASSERT_NE(b, nullptr) << bridgeName;
        ASSERT_FALSE(b->setValue(0, 0, v));
        pumpUi();
    }

    std::unique_ptr<Editor> m_ui;
};

// Every shown view lies inside its parent's area (unless the parent scrolls
// it), and no two shown siblings that flow or dock beside each other overlap.
inline void expectNothingOverlapsOrIsCut(const CView* v, double scale, int* checked) {
    const double eps = 0.5;
    const auto& kids = v->childViews();
    for (size_t i = 0; i < kids.size(); ++i) {
        const CView* a = kids[i];
        if (!a->isShown()) continue;
        const CRectD& ra = a->area().total;
        if (ra.empty()) continue;
        ++*checked;
        const CRectD& p = v->area().total;
        // The content of a scrolling view may be longer than the view.
        const bool scrolled = v->attrBool("is-scrollable");
        EXPECT_TRUE(scrolled || (ra.x >= p.x - eps && ra.y >= p.y - eps && ra.right() <= p.right() + eps &&
                                 ra.bottom() <= p.bottom() + eps))
            << "scale " << scale << ": " << a->fullName().utf8() << " is cut by its parent";
        const bool aFlows = a->placement() != EPlacement::Overlay && a->placement() != EPlacement::WindowOverlay;
        for (size_t j = i + 1; j < kids.size() && aFlows; ++j) {
            const CView* b = kids[j];
            if (!b->isShown() || b->placement() == EPlacement::Overlay ||
                b->placement() == EPlacement::WindowOverlay)
                continue;
            const CRectD o = ra.intersected(b->area().total);
            EXPECT_TRUE(o.w <= eps || o.h <= eps)
                << "scale " << scale << ": " << a->fullName().utf8() << " overlaps " << b->name().utf8();
        }
        expectNothingOverlapsOrIsCut(a, scale, checked);
    }
}

// Compares a drawn window with its golden image (Tests/UI/data/golden/NAME;
// TAMBLOR_WRITE_GOLDEN=1 rewrites it, TAMBLOR_GOLDEN_DIFF=PATH keeps a
// picture that differs). A channel may differ by at most 2 of 255.
inline void expectMatchesGolden(const CBitmap32& got, const std::string& name) {
    const std::string golden = uiTestData("golden/" + name);
    std::string err;
    if (std::getenv("TAMBLOR_WRITE_GOLDEN")) {
        ASSERT_TRUE(kelWritePng(golden, got, &err)) << err;
    }
    CBitmap32 want;
    ASSERT_TRUE(kelReadPng(golden, &want, &err)) << err << " (TAMBLOR_WRITE_GOLDEN=1 writes it)";
    ASSERT_EQ(got.width, want.width) << golden;
    ASSERT_EQ(got.height, want.height) << golden;
    int worst = 0, firstX = -1, firstY = -1;
    for (size_t i = 0; i < got.pixels.size(); ++i)
        for (int shift : {0, 8, 16}) {
            const int d = std::abs(int(got.pixels[i] >> shift & 255) - int(want.pixels[i] >> shift & 255));
            if (d > 2 && firstX < 0) {
                firstX = int(i % size_t(got.width));
                firstY = int(i / size_t(got.width));
            }
            worst = std::max(worst, d);
        }
    if (worst > 2 && std::getenv("TAMBLOR_GOLDEN_DIFF")) {
        ASSERT_TRUE(kelWritePng(std::getenv("TAMBLOR_GOLDEN_DIFF"), got, &err)) << err;
    }
    EXPECT_LE(worst, 2) << golden << ", first at " << firstX << "," << firstY;
}

}  // namespace uitest
