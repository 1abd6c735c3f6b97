#pragma once
// Application data stores: three process-wide stores of user settings and
// lists, each a folder under the per-user application data folder.
//
//   store   class           folder                             resource prefix
//   global  CAppDataGlobal  "Kelvane/"                         "AppDataGlobal_"
//   group   CAppDataGroup   "Kelvane/Audio Plug-Ins/"          "AppDataGroup_"
//   local   CAppDataLocal   "Kelvane/Audio Plug-Ins/Tamblor/"  "AppDataLocal_"
//
// A data item is one file holding one compressed block whose id the writer
// chooses ("dstr" for a single string, "alst" and "adat" for lists and data).
// Item "x" lives in <user path>x.dat; names may hold "/" and ".." (as in
// "../routing-presets"), as long as they stay inside the per-user folder.
// Reading looks for the file in the user path, then the alternative path
// (global store: "Kelvane/Audio Plug-Ins/"), then the common (all-users) path,
// and finally takes the embedded resource <prefix>x (or one the caller names).
// File contents are kept in memory once read or written.
//
// Paths are computed once, on first use, under the store's lock; the user
// path's folders are created then, one component at a time, and the outcome
// is remembered: a folder that could not be created is reported (logged)
// once and not tried again, and every later write fails.
//
// Threads: every call may come from any thread; items are read and written
// under the store's lock. After a write the store informs its listeners
// (except the writer) on the writing thread, with no store lock held. A
// listener may read and write the store from its callback and add or remove
// listeners; removeListener waits while another thread informs listeners, so
// a listener may be destroyed right after removing itself.

#include <atomic>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "Core/Error.h"
#include "Core/String.h"
#include "Platform/Sync.h"

KELSTR(CAppData_preparePaths_NoUserFolder, "Unable to locate the user application data folder.");
KELSTR(CAppData_preparePaths_CreateFolder, "Unable to create folder '%1'.");
KELSTR(CAppData_writeData_NoFolder, "Application data folder '%1' is not available.");
KELSTR(CAppData_itemPath_InvalidName, "Invalid data item name '%1'.");
KELSTR(CAppData_readData_NotFound, "Data item '%1' not found.");

class CAppData;

// Informed after a store item was written by someone else.
class CAppDataListener {
public:
    virtual ~CAppDataListener() = default;
    virtual void appDataChanged(CAppData& store, const CString& itemName) = 0;
};

class CAppData {
public:
    // The three stores (created during static initialisation).
    static CAppData& global();
    static CAppData& group();
    static CAppData& local();
    // "global", "group" or "local"; nullptr for anything else.
    static CAppData* byStorageType(const CString& type);

    virtual ~CAppData();
    CAppData(const CAppData&) = delete;
    CAppData& operator=(const CAppData&) = delete;

    const char* folder() const { return m_folder; }
    const char* secondName() const { return m_secondName; }
    const char* resourcePrefix() const { return m_resourcePrefix; }
    const char* alternativeFolder() const { return m_altFolder; }

    // Paths with "/" separators and a trailing "/"; empty when unavailable.
    CString userPath();
    CString commonPath();
    CString alternativePath();
    // True when the user path's folders exist.
    bool isUserFolderReady();

    // Reads item name as a compressed block of the given id. Without a file,
    // the embedded resource defaultResource (empty: prefix + name) is used.
    // When neither exists: *found = false and success, or, without found, an
    // error.
    CError readData(const CString& name, uint32_t id, std::vector<uint8_t>* out, bool* found = nullptr,
                    const CString& defaultResource = {});
    // Writes item name as a compressed block of the given id, then informs
    // every listener except writer.
    CError writeData(const CString& name, uint32_t id, std::span<const uint8_t> data,
                     CAppDataListener* writer = nullptr);

    // String items: one stream string in a "dstr" block.
    CError readString(const CString& name, CString* out, bool* found = nullptr);
    // The stored string, or def when the item is absent or unreadable (the
    // error is logged).
    CString readStringOr(const CString& name, const CString& def);
    CError writeString(const CString& name, const CString& value, CAppDataListener* writer = nullptr);

    void addListener(CAppDataListener* listener);
    void removeListener(CAppDataListener* listener);

    // Splits an item reference "file|resource" ("../routing-presets|
    // AppDataGlobal_routing-presets-sys") into the item name and the name of
    // its embedded default (empty when there is no "|").
    struct ItemRef {
        CString name;
        CString resource;
    };
    static ItemRef parseItemRef(const CString& ref);

    // Forgets the computed paths, the folder outcome and the loaded items, so
    // that the next use computes them again (tests point the platform's data
    // folders elsewhere first).
    void resetPaths();
    static void resetAllPaths();

protected:
    CAppData(const char* folder, const char* secondName, const char* resourcePrefix, const char* altFolder);

private:
    struct ItemFiles {
        CString key;     // path relative to the per-user folder
        CString user;    // full file paths; empty when unavailable
        CString alternative;
        CString common;
    };

    // Both run with m_lock held.
    void preparePaths();
    CError itemFiles(const CString& name, ItemFiles* out);
    void inform(const CString& name, CAppDataListener* writer);

    const char* m_folder;
    const char* m_secondName;
    const char* m_resourcePrefix;
    const char* m_altFolder;

    plat::CCritSec m_lock{4000};
    bool m_pathsReady = false;
    bool m_userFolderOk = false;
    CString m_userRoot;  // the per-user folder itself, no trailing "/"
    CString m_commonRoot;
    CString m_userPath, m_commonPath, m_altPath;
    std::map<CString, std::vector<uint8_t>> m_loaded;  // item key -> file bytes

    plat::CCritSec m_listenerLock{4000};
    std::atomic<uint64_t> m_informingThread{0};
    std::vector<CAppDataListener*> m_listeners;
};

class CAppDataGlobal final : public CAppData {
public:
    CAppDataGlobal();
};

class CAppDataGroup final : public CAppData {
public:
    CAppDataGroup();
};

class CAppDataLocal final : public CAppData {
public:
    CAppDataLocal();
};
