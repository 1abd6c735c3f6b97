#include "Audio/Registry/AudioPresetStore.h"

#include "Core/MemoryReader.h"

namespace {
struct Prefix {
    const char* text;
    CAppData& (*store)();
};
const Prefix kPrefixes[] = {
    {"AppDataGlobal_", &CAppData::global},
    {"AppDataGroup_", &CAppData::group},
    {"AppDataLocal_", &CAppData::local},
};

// The store whose prefix starts name, with the rest of the name.
CAppData* storeOfPrefixed(const CString& name, CString* rest) {
    for (const Prefix& p : kPrefixes) {
        const CString prefix(p.text);
        if (name.startsWith(prefix)) {
            if (rest) *rest = name.substr(prefix.length());
            return &p.store();
        }
    }
    return nullptr;
}

CString lastComponent(const CString& path) {
    size_t cut = path.rfind(u'/');
    return cut == CString::npos ? path : path.substr(cut + 1);
}

// The list an object with a "file" attribute declares, filled into ref.
bool declares(const CObject& o, const CString& listName, CAudioPresetListRef* ref) {
    if (!o.hasAttr("file")) return false;
    CAppData::ItemRef item = CAppData::parseItemRef(o.attr("file"));
    CString resource = item.resource, itemName = item.name, stripped;
    CAppData* store = nullptr;
    if (resource.empty() && (store = storeOfPrefixed(itemName, &stripped))) {
        // Only the default's name was given: the item is named after it.
        resource = itemName;
        itemName = stripped;
    } else if (!resource.empty()) {
        store = storeOfPrefixed(resource, &stripped);
    }
    if (!(lastComponent(itemName) == listName) && !(stripped == listName)) return false;
    if (CAppData* typed = CAppData::byStorageType(o.attr("storage-type").trimmed())) store = typed;
    ref->store = store ? store : &CAppData::local();
    ref->item = itemName;
    ref->resource = resource;
    return true;
}
}  // namespace

namespace AudioPresetStore {

CAudioPresetListRef resolve(const CObject& context, const CString& listName) {
    CAudioPresetListRef ref;
    for (const CObject* level = context.parent(); level; level = level->parent())
        for (const auto& child : level->children())
            if (declares(*child, listName, &ref)) return ref;
    ref.store = &CAppData::local();
    ref.item = listName;
    ref.resource = CString("AppDataLocal_") + listName;
    return ref;
}

CError read(const CAudioPresetListRef& ref, CAudioPresetBank* out, bool* found) {
    *out = CAudioPresetBank();
    if (found) *found = false;
    if (!ref.store) return {};
    std::vector<uint8_t> block;
    bool have = false;
    KEL_TRY(ref.store->readData(ref.item, kIdAlst, &block, &have, ref.resource));
    if (!have) return {};
    CAudioPresetBank list;
    KEL_TRY(list.loadBytes(block));
    *out = std::move(list);
    if (found) *found = true;
    return {};
}

CError write(const CAudioPresetListRef& ref, const CAudioPresetBank& list, CAppDataListener* writer) {
    if (!ref.store) return {};
    const std::vector<uint8_t> bytes = list.bytes();
    return ref.store->writeData(ref.item, kIdAlst, bytes, writer);
}

}  // namespace AudioPresetStore
