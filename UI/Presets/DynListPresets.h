#pragma once
// CDynListPresets (tag "ui:dynlist-presets"): the list view of presets,
// banks and history entries, filled by its owner (the preset manager, the
// history, the quick selectors). An empty row shows "(n/a) ". "list-id"
// names what the list holds, for its owner and the definitions: "banks",
// "presets", "history", "registry" or empty; any other id is refused with
// "Invalid list identifier". Until an owner fills it the list shows
// "preview-items" (rows separated by "|"), with "preview-selected"
// selected, so documents can be drawn without an audio side.

#include "UI/Presets/ItemList.h"

KELSTR(CDynListPresets_init_InvalidListId, "Invalid list identifier");

class CDynListPresets : public CItemList {
public:
    static void registerEvents(CClassRecord& record) { CItemList::registerEvents(record); }
    CError init() override;
    CError initLinks() override;

protected:
    CString rowDisplay(const CString& row) const override;
};
