#pragma once
// Preset lists kept in the application data stores (Core/AppData.h): the
// user lists of the registries ("mode-presets", "outmeter-presets") and the
// lists the editor offers ("routing-presets", "uicolor-presets"). A list is
// a bank (Audio/AudioPreset.h) inside an "alst" compressed block.
//
// Where a list lives is declared in the instance template by "appdata"
// objects: any object with a "file" attribute written "relative-file|
// embedded-default" ("../routing-presets|AppDataGlobal_routing-presets-sys"),
// or only the embedded default's name ("AppDataLocal_mode-presets"). Such an
// object describes the list whose name is the last component of its file
// ("routing-presets") or its default's name without the store prefix
// ("mode-presets"). The store is the one named by an optional
// "storage-type" attribute ("global", "group", "local"), else the one whose
// resource prefix the default carries ("AppDataGlobal_" -> global), else
// the local store. A list that no object declares lives in the local store
// under its own name with the default "AppDataLocal_<name>".
//
// Objects are searched among the children of each ancestor of the context,
// nearest first.

#include "Audio/Registry/AudioPreset.h"
#include "Core/AppData.h"
#include "Core/Object.h"

struct CAudioPresetListRef {
    CAppData* store = nullptr;
    CString item;      // store item name
    CString resource;  // embedded default
};

namespace AudioPresetStore {
CAudioPresetListRef resolve(const CObject& context, const CString& listName);
// Reads a list: the item, else its embedded default. Without either,
// *found is false and the list is empty (success).
CError read(const CAudioPresetListRef& ref, CAudioPresetBank* out, bool* found = nullptr);
// Writes a list; the store informs its listeners except writer.
CError write(const CAudioPresetListRef& ref, const CAudioPresetBank& list, CAppDataListener* writer = nullptr);
}  // namespace AudioPresetStore
