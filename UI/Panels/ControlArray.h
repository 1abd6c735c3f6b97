#pragma once
// CControlArray (tag "ui:control-array"): a row (or, with
// "is-inline-vertical", a column) of items made from the run-time template
// "item-template", one per entry:
//
// - "values": a "|"-separated list of labels, one item per label (a
//   selector of a stepped parameter such as 1X|2X|4X|8X|Auto). Item i's
//   value is "first-value" + i, or entry i of "switch-values" (a
//   "|"-separated list) when the values do not follow the labels' order.
// - "count": N items, item i with the element "first-element" + i (one
//   cell per channel, say).
//
// While item i is made, the array's own attributes "item-index",
// "item-text", "item-value" and "item-element" hold its entry, so that the
// template takes what it needs by reference: text="{^ item-text}",
// switch-value="{^ item-value}", bridge="{^ bridge}" (a ui:param-switch
// item is then one choice of the parameter, "on" while it holds that
// value). "item-width" / "item-height" set each item's size when given.
// Items are named "item0", "item1", ... and are made in the last phase of
// initialisation (each initialised once, by its own template), after the
// children the definition gives.

#include <vector>

#include "UI/View/View.h"

KELSTR(CControlArray_init_NoTemplate, "Control array without an item template.");
KELSTR(CControlArray_init_NoEntries, "Control array '%1' has neither values nor a count.");
KELSTR(CControlArray_init_NotAView, "Item template '%1' of a control array does not make a view.");

class CControlArray : public CView {
public:
    static void registerEvents(CClassRecord& record);
    CError initDone() override;

    size_t itemCount() const { return m_items.size(); }
    CView* item(size_t i) const { return m_items[i]; }

private:
    CError makeItems();
    std::vector<CView*> m_items;
};
