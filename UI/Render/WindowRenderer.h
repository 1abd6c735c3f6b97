#pragma once
// CWindowRenderer (tag "ui:window-renderer"): draws a view tree in software
// into a 32-bit back buffer, 256 x 128-pixel sector by sector, and turns
// window input into the views' events. Finished frames go to its output:
// the system window that the window layer opens for an editor with window
// shared data (UI/Window), or nowhere, when tools and tests read the buffer.
//
// Scale: the total scale is the user-interface scale times the pixel ratio.
// The user-interface scale is the editor root's "VisualScale" when the host
// gave one, else the renderer's own "ui-scale" (default 1.0); the pixel
// ratio is 2 with "is-retina-mode". With an output that knows its monitor
// and "ui-scale-usesr" not "0"/"false", the settings' scale ("ui-scale2",
// default 1.0) follows the monitor's size (kelUiScale). The window's size
// is the root view's "width" and "height" (logical pixels) times the total
// scale.
//
// A frame ("render-timer", "paint", render()): the pending layout runs,
// then every dirty sector is drawn again from the bottom: cleared to opaque
// black, then each view registered in it paints, clipped to the sector and
// its clip area. With "num-threads" (a fraction of the processors) sectors
// are shared with up to seven render worker threads. The first frame logs
// "First render time: %.4f s @ %.4f s".

#include <functional>
#include <memory>
#include <vector>

#include "Core/Object.h"
#include "Other/ImageDraw.h"
#include "UI/Render/RenderWorkers.h"
#include "UI/Render/SectorMap.h"

KELSTR(CWindow_init_NoRootView, "Unable to find root view.");
KELSTR(CWindowRenderer_onUpdateWindowScale_InvalidMode, "Invalid mode.");
KELSTR(CWindowRenderer_layout_TooLarge, "Window size %1 x %2 is out of range.");

class CView;
class CWindowRenderer;

// Where finished frames go: a system window (UI/Window) or nowhere (tools
// and tests read the back buffer). The renderer tells it the buffer's size
// and, after each frame, the area that changed.
class CRendererOutput {
public:
    virtual ~CRendererOutput() = default;
    // The monitor the output shows on (false: none known).
    virtual bool monitorSize(int* width, int* height) = 0;
    virtual void sizeChanged(int width, int height) = 0;
    virtual void present(const CBitmap32& buffer, const CPixelClip& changed) = 0;
};
// Makes the output of a renderer when it opens; *out stays null for a
// renderer without a window. Set once by the window layer.
using CRendererOutputFactory = CError (*)(CWindowRenderer& renderer, std::unique_ptr<CRendererOutput>* out);

// The back buffer: 32-bit pixels, rows top-down, stride width x 4.
// Resizing to the current size keeps the pixels; to width or height 0 it
// releases them.
class CLinearBitmap {
public:
    void resize(int w, int h) {
        if (w == m_bits.width && h == m_bits.height) return;
        if (w <= 0 || h <= 0) {
            m_bits = CBitmap32();
            return;
        }
        m_bits = CBitmap32(w, h, 0xFF000000u);
    }
    CBitmap32& bits() { return m_bits; }
    const CBitmap32& bits() const { return m_bits; }
    int stride() const { return m_bits.width * 4; }

private:
    CBitmap32 m_bits;
};

// Inputs of the user-interface scale when the host gives none: the settings
// values and the primary monitor.
struct CUiScaleSettings {
    double visualScale = 0;            // the host's scale (0: none)
    CString useScreenResolution;       // "ui-scale-usesr" (empty: "true")
    CString scale;                     // "ui-scale" (empty: "1.0")
    CString scale2;                    // "ui-scale2"
    int monitorWidth = 0, monitorHeight = 0;
};
// The host's scale when above the double epsilon; else the settings' scale,
// which with the use-screen-resolution switch on is multiplied by the
// monitor's min(width, height) / 1080, rounded to a multiple of 0.05 and
// raised to at least 0.8.
double kelUiScale(const CUiScaleSettings& s);

class CWindowRenderer : public CObject {
public:
    // The largest window side in pixels (a scaled 4K screen and then some).
    static constexpr int kMaxSide = 16384;

    CWindowRenderer();
    ~CWindowRenderer() override;
    static void registerEvents(CClassRecord& record);

    CError init() override;
    CError initDone() override;

    CView* rootView() const { return m_root; }
    double uiScale() const { return m_uiScale; }
    double pixelRatio() const { return m_pixelRatio; }
    double totalScale() const { return m_uiScale * m_pixelRatio; }
    // Stores a new scale: full layout and repaint follow.
    void setScale(double uiScale, double pixelRatio);
    // The user-interface scale for the current settings, host scale and monitor.
    double computeUiScale() const;

    // --- Output ---------------------------------------------------------------------
    static void setOutputFactory(CRendererOutputFactory factory);
    CRendererOutput* output() const { return m_output.get(); }
    // Closes the output (the window) before the tree goes.
    void closeOutput() { m_output.reset(); }
    bool firstRenderDone() const { return m_firstRenderDone; }
    // Seconds from opening to the end of the first frame (0 before it).
    double firstRenderSeconds() const { return m_firstRenderSeconds; }

    // --- Frames -------------------------------------------------------------------
    // Runs the pending layout and draws the dirty sectors.
    CError render();
    void requestLayout() { m_needsLayout = true; }
    void markDirty(const CRectD& area);
    void invalidateAll();
    const CBitmap32& backBuffer() const { return m_buffer.bits(); }
    const CSectorMap& sectorMap() const { return m_sectors; }
    size_t sectorsLastFrame() const { return m_sectorsLastFrame; }
    // Worker threads besides the calling one (0..7).
    void setWorkerCount(int workers);
    int workerCount() const { return m_workers ? m_workers->count() : 0; }

    // --- Input --------------------------------------------------------------------
    // The topmost view under a window pixel that takes the mouse, or nullptr.
    CView* viewAt(double x, double y) const;
    // The last mouse position in window pixels.
    double mouseX() const { return m_mouseX; }
    double mouseY() const { return m_mouseY; }
    CView* hoveredView() const { return m_hovered.empty() ? nullptr : m_hovered.front(); }
    // A view whose state change runs over time; advanced on every frame.
    void addTransition(CView* view);
    // Queues an event for after the current one (bridged commands).
    void postEvent(CObject* target, const CString& eventName, const CEventParams& params);
    CError runPostedEvents();

    // --- Views that come and go ------------------------------------------------------
    // Forgets a view and its subtree before it leaves the tree: it is no
    // longer hovered, captured, animated, painted, hit or sent posted events,
    // and the key focus leaves it.
    void forgetViews(CView* top);
    // Keeps a released object until the event in progress has ended (a view
    // may be taken out from inside its own handler).
    void destroyLater(std::unique_ptr<CObject> object);
    size_t pendingDestroyCount() const { return m_released.size(); }
    // Views told of every press outside them (open edit boxes).
    void watchPressOutside(CView* view, bool on);

    // --- Focus --------------------------------------------------------------------------
    // A press moves the key focus to the nearest view from the pressed one
    // up that takes it; a press on nothing that does clears it. Views
    // watching presses outside them hear of the press first.
    CError pressFocus(CView* pressed);

private:
    CError layout();
    // Draws a sector again where it is dirty (`pixels`, inside the sector).
    void renderSector(int index, const CPixelClip& pixels);
    CError onMouseMove(double x, double y, CEventParams& p);
    CError onMouseButton(CEventParams& p);
    CError sendToView(CView* v, const CString& name, const CEventParams& base, double x, double y);
    bool isAttached(const CView* v) const;
    void collectReleased();

    CView* m_root = nullptr;
    CLinearBitmap m_buffer;
    CSectorMap m_sectors;
    std::unique_ptr<CRenderWorkers> m_workers;
    std::unique_ptr<CRendererOutput> m_output;
    double m_firstRenderSeconds = 0;
    double m_uiScale = 1.0, m_pixelRatio = 1.0;
    bool m_needsLayout = true;
    bool m_firstRenderDone = false;
    double m_openTime = 0;
    size_t m_sectorsLastFrame = 0;

    std::vector<CView*> m_hovered;  // topmost first, then its ancestors
    CView* m_captured = nullptr;
    CString m_captureButton;
    double m_mouseX = -1, m_mouseY = -1;

    struct Posted {
        CObject* target;
        CString name;
        CEventParams params;
    };
    std::vector<Posted> m_posted;
    std::vector<CView*> m_transitions;
    std::vector<CView*> m_pressWatchers;
    std::vector<std::unique_ptr<CObject>> m_released;
    int m_eventDepth = 0;
    const CView* m_ringed = nullptr;  // the control the keyboard operates, this frame
};
