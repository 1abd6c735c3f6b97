#pragma once
// CFrame (tag "ui:frame"): a titled panel. It draws its image-set box like
// any view and, when "caption" is set, holds a caption strip docked at its
// top: a ui:caption child named "caption", made in the last phase of
// initialisation unless the definition already has one (which is then left
// as it is), showing the caption's text (markup allowed) in "caption-font"
// ("font.base_b"), "caption-height" (18) logical pixels high, drawn with
// "caption-image-set" ("is.groupcaption") in "caption-color" ("Caption").
// The strip comes first among the children, so that it takes the top edge
// before any other docked child.

#include "UI/View/View.h"

class CFrame : public CView {
public:
    static void registerEvents(CClassRecord& record);
    CError initDone() override;

    // The caption strip (nullptr when the frame has no caption).
    CView* caption() const { return m_caption; }

protected:
    CError applyViewAttr(const CString& name, bool* handled) override;

private:
    CError makeCaption();
    CView* m_caption = nullptr;
    bool m_madeCaption = false;  // the strip is the frame's own: "caption" drives its text
};
