#pragma once
// Small views of the colour editor.
//
// CColorSwatch (tag "ui:color-swatch"): shows the base colour of the
// palette colour "palette-color" and, clicked, makes the colour picker
// "picker" (a path) edit it; it is in the state "on" while the picker edits
// its colour.
//
// CGradientBase (tag "ui:gradient-base"): draws the computed table of the
// palette colour "palette-color" from its darkest level on the left to its
// lightest on the right (what the colour's grey levels turn into).
//
// CColorFill (tag "ui:color-fill"): a plain fill: the colour being edited
// by "picker" when given, else "fill-color" ("#RRGGBB").

#include "Other/Color.h"
#include "UI/View/View.h"

KELSTR(CColorFill_init_BadColor, "Invalid fill colour '%1'.");

class CColorPicker;

class CColorSwatch : public CView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    void paint(const CPainter& p) const override;
    CRgb swatchColor() const;

protected:
    CError onViewEvent(const CString& eventName, CEventParams& params) override;

private:
    CError refresh();
    CColorPicker* m_picker = nullptr;
};

class CGradientBase : public CView {
public:
    static void registerEvents(CClassRecord& record) { CView::registerEvents(record); }
    void paint(const CPainter& p) const override;
};

class CColorFill : public CView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    void paint(const CPainter& p) const override;
    CRgb fillColor() const;

private:
    CColorPicker* m_picker = nullptr;
    CRgb m_fill{};
};
