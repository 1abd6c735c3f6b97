#pragma once
// CGroupSelectorMinimal (tag "ui:selector-group-minimal2"): the compact
// channel-group selector of the button row. One item per channel group, made
// from the run-time template "item-template" ("ui:selector-group-minimal2-item")
// under the child view "items" (else under the selector), with the attributes
// "item-index", "item-text" (the group's number, from 1) and "item-value" of
// the view it is made under, so an item is a ui:param-switch with
// switch-value="{^ item-value}" on the selector's "bridge" (the persistent
// group-selection parameter): lit while its group is the selected one.
//
// - "group-selector" (the ui:param-group-selector the controls follow) takes
//   the parameter's value whenever it changes.
// - Only groups that carry signal are shown: those holding an internal
//   channel with an input source ("grouping-bridge", "routing-bridge"), and
//   the selected group always. Without those bridges every group shows.
//   "max-items" limits the items on view to a window of those groups around
//   the selected one (choosing the group at its edge moves it on).
// - "hint-arg" is the list of the selected group's channels, named by
//   "names-bridge" (the input channel names), for the "%s" of the hint.
// - "copy-group" with "to" copies every parameter of the selected group to
//   that group ("group-controller", a ui:param-group-controller). Without
//   "to" it waits for the target: the selector is in the state "copying"
//   (the view at "copy-button-path" too) and the next group chosen receives
//   the copy and becomes the selected one; a second "copy-group" or
//   "copy-cancel" gives up.

#include <vector>

#include "UI/View/View.h"

KELSTR(CGroupSelectorMinimal_init_NoTemplate, "Group selector without an item template.");
KELSTR(CGroupSelectorMinimal_copy_NoController, "Group selector '%1' has no group controller to copy with.");

class CParamBridge;
class CParamGroupSelector;
class CParamGroupController;

class CGroupSelectorMinimal : public CView {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    CError initDone() override;

    int selected() const { return m_selected; }
    // The groups that carry signal (and the selected one), ascending.
    std::vector<int> shownGroups() const;
    // Those with an item on view: at most "max-items", around the selected one.
    std::vector<int> visibleGroups() const;
    // The input channel names of a group's channels, ", " between.
    CString channelsText(int group) const;
    bool isCopying() const { return m_copying; }
    CError startCopy();
    CError cancelCopy();
    CError copyTo(int group);
    size_t itemCount() const { return m_items.size(); }
    CView* item(size_t i) const { return m_items[i]; }

private:
    CError onSelection();
    CError refresh();
    CError setCopying(bool on);
    int groupCount() const;
    int channelCount() const;

    CParamBridge* m_bridge = nullptr;
    CParamBridge* m_grouping = nullptr;
    CParamBridge* m_routing = nullptr;
    CParamBridge* m_names = nullptr;
    CParamGroupSelector* m_selector = nullptr;
    CParamGroupController* m_controller = nullptr;
    std::vector<CView*> m_items;
    int m_selected = 0;
    bool m_copying = false;
};
