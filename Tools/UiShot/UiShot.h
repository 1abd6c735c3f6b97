#pragma once
// CUiShot: an editor root without a window. It loads a definition document
// (XML or compiled) into a fresh editor root at a scale, finds its window
// renderer ("ui.main-window.window-renderer", else the first one in the
// tree) and renders it into the renderer's back buffer. Unless told not
// to, the editor's fonts ("font.<name>"), image sets ("is.<name>") and a
// palette ("palette") are loaded first, so that a test document need only
// hold its views.
//
// Actions simulate what a window would deliver, one per string:
//   "state PATH NAME" / "unset PATH NAME"   set or clear a view state
//   "attr PATH NAME VALUE"                  set an attribute
//   "move X Y", "press X Y", "release X Y"  mouse in window pixels
//   "event PATH NAME"                       run an event on an object
// A document may carry its own actions in the attribute "actions" of a
// top-level object named "uishot", separated by ";".
//
// The application must be running (the product's creators and resources).

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Core/Object.h"
#include "Other/ImageDraw.h"

class CWindowRenderer;

class CUiShot {
public:
    CUiShot();
    ~CUiShot();

    struct Options {
        double scale = 1.0;
        int workers = -1;  // -1: as the renderer's "num-threads" gives
        bool assets = true;
    };
    // Loads an XML document (source name for messages).
    CError loadXml(std::string_view xml, const std::string& sourceName, const Options& options);
    // Loads a compiled document.
    CError loadCompiled(std::span<const uint8_t> document, const Options& options);

    CObject* root() const { return m_root.get(); }
    CWindowRenderer* renderer() const { return m_renderer; }
    CError apply(const std::string& action);
    // Applies the document's own actions.
    CError applyDocumentActions();
    CError render();
    const CBitmap32& image() const;
    // The geometry of every view, one block of lines per view, indented by depth.
    std::string dumpGeometry() const;

private:
    CError prepare(const Options& options);
    CError finish(const Options& options);
    std::unique_ptr<CObject> m_root;
    CWindowRenderer* m_renderer = nullptr;
};

// The standard assets as a document body (fonts, image sets, palette).
std::string kelUiShotAssets();
