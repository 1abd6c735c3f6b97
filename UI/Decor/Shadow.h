#pragma once
// CShadow (tag "ui:shadow"): the soft shadow behind a panel or a pop-up.
// It covers its parent ("overlay", 100% both ways, drawn first) and draws
// its box image grown by "spread" past the parent's edges, past the
// ancestors' clips, and lets the pointer through. Unless the definition
// says otherwise: "image-set" "is.shadow", "color" "Shadow", "spread" "8",
// "unclip-level" "-1".
//
// The style's shadow switch turns every shadow off: a shadow draws nothing
// while its window's renderer, or any other ancestor, has
// "is-shadow-hidden" "true" (Other/Palette.h).

#include "UI/View/View.h"

class CShadow : public CView {
public:
    static void registerEvents(CClassRecord& record) { CView::registerEvents(record); }
    CError init() override;
    void paint(const CPainter& p) const override;
    // Whether the style hides shadows where this one is.
    bool isStyleHidden() const;
};
