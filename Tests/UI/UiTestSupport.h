#pragma once
// A windowless editor for the view tests: the application with the
// product's creators, the standard assets, and a document whose views sit
// under the root view "ui.main-window.window-renderer.root".

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Core/Application.h"
#include "Core/Log.h"
#include "Product/ProductCreators.h"
#include "Tools/UiShot/UiShot.h"
#include "UI/Render/WindowRenderer.h"
#include "UI/Resources/ResourceStore.h"
#include "UI/View/View.h"

struct UiFixture : ::testing::Test {
    void SetUp() override {
        kelSetLogSink([this](std::string_view line) { log.emplace_back(line); });
        CApplication::StartOptions o = kelProductStartOptions();
        o.sharedDefinition = nullptr;
        ASSERT_FALSE(CApplication::start(o));
        shot = std::make_unique<CUiShot>();
    }
    void TearDown() override {
        shot.reset();
        UIResources::clear();
        CApplication::finish();
        kelSetLogSink({});
    }
    // Loads views under a root view of w x h logical pixels.
    CError load(const std::string& views, double scale = 1.0, const std::string& rootAttrs = "", int w = 200,
                int h = 100, const std::string& outside = "") {
        const std::string doc = "<definitions>" + outside +
                                "<core:object name=\"ui\"><core:object name=\"main-window\">"
                                "<ui:window-renderer name=\"window-renderer\">"
                                "<ui:view name=\"root\" is-root-view=\"true\" palette=\"palette\" color=\"Background\" width=\"" +
                                std::to_string(w) + "\" height=\"" + std::to_string(h) + "\" " + rootAttrs + ">" + views +
                                "</ui:view></ui:window-renderer></core:object></core:object></definitions>";
        CUiShot::Options o;
        o.scale = scale;
        o.workers = 0;
        return shot->loadXml(doc, "test.xml", o);
    }
    CView* view(const std::string& name) const {
        return dynamic_cast<CView*>(shot->root()->findObject(CString("ui.main-window.window-renderer.root." + name)));
    }
    CWindowRenderer& renderer() const { return *shot->renderer(); }
    bool logged(const std::string& text) const {
        for (const auto& l : log)
            if (l.find(text) != std::string::npos) return true;
        return false;
    }

    std::vector<std::string> log;
    std::unique_ptr<CUiShot> shot;
};

inline std::string uiTestData(const std::string& name) { return std::string(TAMBLOR_UI_TESTDATA) + "/" + name; }
