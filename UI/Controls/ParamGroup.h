#pragma once
// Channel group selection of the controls.
//
// CParamGroupSelector (tag "ui:param-group-selector"): keeps the channel
// group the controls edit ("group-index", 0 by default; "active-groups-list",
// the groups offered, blank separated, empty: all the audio side has). It
// asks the protocol client ("interface-client", default
// "ui.interface-client", optional) for the group count and follows
// "update-group-count". Setting "group-index" (or setIndex) notifies
// "group-change" with "index"; "group-selector-ready" once the count is
// known.
//
// CParamGroupController (tag "ui:param-group-controller"): "group-selector"
// (path), "title"; its events "copy-group" ("from", default the selected
// group, and "to") and "reset-group" ("group", default the selected group)
// act on every parameter bridge below the controller's parent.

#include <vector>

#include "Audio/Interface/AudioInterfaceClient.h"
#include "Core/Object.h"

KELSTR(CParamGroupSelector_setIndex_Invalid, "Invalid group index '%1'.");

class CParamBridge;

class CParamGroupSelector : public CObject {
public:
    static void registerEvents(CClassRecord& record);
    CError init() override;
    CError initLinks() override;
    CError onAttrChanged(const CString& attrName) override;

    int index() const { return m_index; }
    CError setIndex(int index);
    // Groups the audio side has (1 until it told).
    int groupCount() const { return m_count; }
    // The offered groups.
    std::vector<int> offeredGroups() const;

private:
    CError readIndex();
    int m_index = 0;
    int m_count = 1;
    CAudioInterfaceClient* m_client = nullptr;
};

class CParamGroupController : public CObject {
public:
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;
    // Copies every bridge's values of group `from` to group `to`.
    CError copyGroup(int from, int to);
    // Puts every bridge's values of a group back to their defaults.
    CError resetGroup(int group);

private:
    std::vector<CParamBridge*> bridges() const;
    CParamGroupSelector* m_selector = nullptr;
};
