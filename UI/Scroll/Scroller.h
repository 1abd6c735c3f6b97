#pragma once
// Scrolling long content inside a view with "is-scrollable".
//
// CScrollerBar (tag "ui:scroller-bar"): a scroll bar placed "scroller-v" (or
// "scroller-h") in a scrollable view. It scrolls the view named by
// "scrolled" (default: the first sibling view that is not a scroller) by
// setting that view's "offset-y" ("offset-x") to minus the scroll
// position. The position is kept in logical pixels, so it means the same
// at every scale; it runs from 0 to the content's extent minus the
// visible extent (the parent's inner rectangle less the other bar). While
// everything fits the bar draws nothing and ignores input.
// Input: dragging the thumb moves the content with it; a press on the track
// pages by one visible extent less one "scroll-step"; the wheel moves
// "scroll-step" (default 24) logical pixels per notch. Events "scroll-to"
// ("position") and "scroll-by" ("delta") do the same from elsewhere; both
// notify "scroll-change" with "position".
// Drawing: the image set's "VBase"/"HBase" box as the track and
// "VBar"/"HBar" as the thumb (no image set: the view's colour as the
// track, the colour of slot 1 or a lighter grey as the thumb).
//
// CScrollerPan (tag "ui:scroller-pan"): the corner piece between two bars
// (placement "scroller-p"); dragging it moves the content both ways, as a
// hand would move a sheet of paper.

#include "UI/View/View.h"

class CScrollerBar : public CView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    bool layoutContent(double scale) override;
    void paint(const CPainter& p) const override;

    bool isVertical() const { return m_vertical; }
    double position() const { return m_position; }
    // The largest position (0 while everything fits), in logical pixels.
    double maxPosition() const {
        const Extents x = extents();
        return std::max(0.0, x.content - x.visible);
    }
    double visibleExtent() const { return extents().visible; }
    double contentExtent() const { return extents().content; }
    CView* scrolled() const { return m_scrolled; }

    CError scrollTo(double position);
    CError scrollBy(double delta) { return scrollTo(m_position + delta); }
    // A wheel event over scrolled content: moves the vertical bar beside
    // it (else the horizontal one) as a wheel over the bar would.
    static CError wheelOver(const CView& content, CEventParams& params);

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    // What the last layout gives: the extent shown and the content's, in
    // logical pixels.
    struct Extents {
        double visible = 0, content = 0;
    };
    Extents extents() const;
    // The thumb's offset and length along the bar, in window pixels.
    void thumb(double* at, double* length) const;
    double trackLength() const;

    CView* m_scrolled = nullptr;
    bool m_vertical = true;
    double m_position = 0;
    bool m_dragging = false;
    double m_grab = 0;  // where in the thumb the press landed (window pixels)
};

class CScrollerPan : public CView {
public:
    static void registerEvents(CClassRecord& record) { CView::registerEvents(record); }

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    bool m_dragging = false;
    double m_lastX = 0, m_lastY = 0;
};
