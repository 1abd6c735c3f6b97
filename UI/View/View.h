#pragma once
// CView (tag "ui:view"): every visible element of the editor. A view owns
// its placement record (CViewBasePlacement), its area (CViewArea, written by
// the layout), its set of states and its commands, and draws its image or
// colour. Attributes set after initialisation are applied at once; a value
// that fails keeps the attribute's previous value and returns the error.
//
// Colours: "color" names a colour of the palette ("palette": the path of a
// ui:dynamic-palette, inherited from the nearest ancestor that names one);
// "color-slots" names the colours of slots 1 and 2; "color-state" lists
// states of the colour: "Hover" takes the colour's hover table, any other
// name N the palette colour "<color>N" when the palette holds one;
// "disabled-color" is used while the view is disabled.
// Images: "image-set" is the path of an image-set object, "image-set-range"
// the group (empty: the unnamed group), "image-set-index" the image within
// the group. A group of eight images is a stretchable box drawn around the
// view's drawing area (its rectangle grown by "spread"); other images are
// drawn centred in it. A view with a colour and no image fills its area.

#include <span>
#include <vector>

#include "Core/Object.h"
#include "Other/ImageSet.h"
#include "UI/Render/Geometry.h"
#include "UI/Render/Painter.h"
#include "UI/View/ViewPlacement.h"
#include "UI/View/ViewState.h"

KELSTR(CViewBasePlacement_init_NoParentView, "Unable to locate parent view.");
KELSTR(CViewBasePlacement_init_NoRootView, "Unable to locate root view.");

class CWindowRenderer;
class CDynamicPalette;
struct CDynamicColorData;

struct CViewArea {
    CRectD total;      // the view's rectangle
    CRectD inner;      // total minus the inner border
    CRectD draw;       // total grown by the spread
    CRectD clip;       // draw cut by the ancestors' clips: where the view paints
    CRectD childClip;  // what the view's children are cut by
    double compact[2] = {0, 0};
    bool compactAuto[2] = {true, true};
};

class CView : public CObject, public CViewBasePlacement {
public:
    CView();
    ~CView() override;
    static void registerEvents(CClassRecord& record);

    CError init() override;
    CError initLinks() override;
    CError initDone() override;
    CError onAttrChanged(const CString& attrName) override;
    CError dispatchEvent(const CString& eventName, CEventParams& params) override;

    // --- Tree ------------------------------------------------------------------
    CView* parentView() const { return m_parentView; }
    CView* rootView() const { return m_rootView; }
    std::span<CView* const> childViews() const { return m_childViews; }
    // Collects the child views again, for a view that adds or reorders its
    // children once the tree is initialised (in its initDone).
    void collectChildViews();
    CWindowRenderer* renderer() const { return m_renderer; }
    double zIndex() const { return m_zIndex; }
    // The children in painting order (stable by z-index).
    std::vector<CView*> paintOrder() const;

    // --- Geometry (written by the layout) ----------------------------------------
    const CViewArea& area() const { return m_area; }
    CViewArea& areaForLayout() { return m_area; }
    // The compact size of the view's own content in window pixels.
    virtual void contentSize(double scale, double* w, double* h) const;
    // Runs after the layout has set the view's area; returns true when the
    // content's compact size changed with the area (wrapped text), which
    // makes the layout run once more.
    virtual bool layoutContent(double scale);
    // Draws the view (the painter is clipped to the view's clip area).
    virtual void paint(const CPainter& p) const;

    // --- Visibility, opacity, interaction ------------------------------------------
    bool isWeakHide() const { return m_weakHide; }
    // In the layout: not hidden, or hidden with "is-weak-hide".
    bool takesSpace() const { return !isHidden() || m_weakHide; }
    // Drawn and hit: neither it nor an ancestor hidden.
    bool isShown() const;
    // The view or an ancestor is disabled.
    bool isBlocked() const;
    double effectiveOpacity() const { return m_effOpacity; }
    void updateEffectiveOpacity();
    bool isClickThrough() const { return attrBool("is-click-through"); }

    // --- States and commands ---------------------------------------------------------
    CViewStateSet& stateSet() { return m_states; }
    const CViewStateSet& stateSet() const { return m_states; }
    CError setState(const CString& name);
    CError unsetState(const CString& name);
    CError toggleState(const CString& name);
    // A state change with a "duration" moves "opacity" and "draw-opacity"
    // linearly to their new values, one step per frame; the view gets
    // "state-ready" when it ends. Other attributes change at once.
    bool inTransition() const { return !m_transitions.empty(); }
    // Moves a running transition to a time (seconds); true while it runs.
    bool advanceTransition(double now);
    void addCommand(CViewCommand* command) { m_commands.push_back(command); }
    // Runs the commands registered for an event, in definition order.
    CError runCommands(const CString& eventName, CEventParams& params);
    // Queues an event to run on the UI thread after the current one.
    void postBridgedEvent(CObject* target, const CString& eventName, const CEventParams& params);

    // --- Repaint and layout requests ------------------------------------------------
    void requestRepaint();
    void requestLayout();

    // --- Colours and images ------------------------------------------------------------
    CDrawColors drawColors() const;
    const CDynamicPalette* palette() const { return m_palette; }
    const CImageSet* imageSet() const { return m_imageSet; }
    const CImageSet::Group* imageGroup() const { return m_group; }
    // The palette colour of a name (nullptr when the palette lacks it).
    const CDynamicColorData* paletteColor(const CString& name) const;

protected:
    // The view's own reaction to one of its events, before its commands.
    virtual CError onViewEvent(const CString& eventName, CEventParams& params);
    // Applies an attribute that is not a placement slot (init and later
    // changes); *handled tells whether the name was one of the view's.
    virtual CError applyViewAttr(const CString& name, bool* handled);

    bool placementMatchExists() const override;
    bool parentIsScrollable() const override;
    void logBorderError(const CString& token, int kind) const override;

private:
    CError resolveVisuals();
    CError applyStates();
    CError applyAttrNow(const CString& name);

    CView* m_parentView = nullptr;
    CView* m_rootView = nullptr;
    CWindowRenderer* m_renderer = nullptr;
    std::vector<CView*> m_childViews;
    CViewArea m_area;
    double m_effOpacity = 1.0;
    double m_zIndex = 0;
    bool m_weakHide = false;
    bool m_restoring = false;

    CViewStateSet m_states;
    std::vector<CViewCommand*> m_commands;
    std::vector<std::pair<CString, CString>> m_stateBase;  // attribute values before states changed them
    std::vector<std::pair<CString, CString>> m_applied;    // last accepted value per attribute
    struct Transition {
        CString attr;
        double from, to;
    };
    std::vector<Transition> m_transitions;
    double m_transitionStart = 0, m_transitionDuration = 0;

    const CDynamicPalette* m_palette = nullptr;
    const CDynamicColorData* m_colors[3] = {nullptr, nullptr, nullptr};
    const CDynamicColorData* m_disabledColor = nullptr;
    const CDynamicColorData* m_stateColor = nullptr;
    bool m_hoverColor = false;
    const CImageSet* m_imageSet = nullptr;
    const CImageSet::Group* m_group = nullptr;
    int m_imageIndex = -1;
};
