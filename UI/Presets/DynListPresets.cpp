// Lists of presets, banks and history entries.
#include "UI/Presets/DynListPresets.h"

CError CDynListPresets::init() {
    KEL_TRY(CItemList::init());
    const CString id = attr("list-id").trimmed();
    if (!(id.empty() || id == "banks" || id == "presets" || id == "history" || id == "registry"))
        return KEL_ERROR(kelstr_CDynListPresets_init_InvalidListId);
    // The preview rows, before the text view links to the text.
    const CString preview = attr("preview-items");
    if (preview.empty() || !rows().empty()) return {};
    std::vector<CString> items;
    size_t start = 0;
    while (start <= preview.length()) {
        size_t bar = preview.find(u'|', start);
        if (bar == CString::npos) bar = preview.length();
        items.push_back(preview.substr(start, bar - start));
        start = bar + 1;
    }
    KEL_TRY(setRows(std::move(items)));
    return select(int(attrInt("preview-selected", -1)));
}

CError CDynListPresets::initLinks() { return CItemList::initLinks(); }

CString CDynListPresets::rowDisplay(const CString& row) const {
    return row.trimmed().empty() ? CString("(n/a) ") : row;
}
