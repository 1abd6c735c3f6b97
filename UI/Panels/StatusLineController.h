#pragma once
// CStatusLineController (tag "ui:status-line-controller"): the hint line.
// While enabled ("is-enabled", default true, and the view "switch-view",
// when named, on: a switch's value, another view's state "on") it shows, in the text view "target", the
// "hint" of the view under the mouse in the window "renderer" (the
// nearest ancestor's hint when the view has none); otherwise, or where no
// view has a hint, "default-text". A "%s" in a hint is replaced by the
// hinted view's "hint-arg" (the channels of a group, say). The line is
// brought up to date on each "tick" (a ui:update-timer child runs it) and
// on "update".

#include "Core/Object.h"

class CView;

class CStatusLineController : public CObject {
public:
    static void registerEvents(CClassRecord& record);
    CError onAttrChanged(const CString& attrName) override;

    bool isEnabled() const;
    // The text a hovered view asks for (default text when none).
    CString hintFor(const CView* hovered) const;
    // Shows the hint of the view under the mouse now.
    CError update();

private:
    CString m_shown;
    bool m_haveShown = false;
};
