#pragma once
// CApplication: what exists once per process. Module load takes the time
// base, determines the module's path and runs init (creator table, resource
// map, the shared object built from "SharedData.xml"); module unload
// finalises. Per-instance and per-editor root objects are created through
// initRootObject, each with its own root context.
//
// Threads: start and finish run on the loading thread; initRootObject and
// the destruction of roots run on the thread that owns the new tree (host
// main thread or UI thread).

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

#include "Core/Error.h"
#include "Core/Object.h"
#include "Core/Resources.h"
#include "Platform/Sync.h"

KELSTR(CApplication_initSharedObject, "Shared object already exists.");
KELSTR(CApplication_initRootObject, "No shared object created.");

// A run-time template recorded while a definition loads.
struct CRunTimeTemplate {
    CString name;
    CString baseTag;
    std::vector<uint8_t> body;                      // exactly one node
    std::shared_ptr<const std::vector<CString>> strings;  // the document's strings
};

// The application-wide shared object ("shared::"); it holds the run-time
// template registry.
class CSharedObject : public CObject {
public:
    // A later registration of the same name replaces the earlier one (each
    // editor loads its definition again).
    void registerTemplate(CRunTimeTemplate t);
    const CRunTimeTemplate* findTemplate(const CString& name) const;
    size_t templateCount() const { return m_templates.size(); }

private:
    std::map<CString, CRunTimeTemplate> m_templates;
};

// Per-root context: a unique id and two locks of the root's tree.
struct CRootContext {
    uint32_t id = 0;
    plat::CCritSec lockA{50};
    plat::CCritSec lockB{4000};
    uint32_t word0 = 0;
    uint32_t word1 = 0;
};

class CRootObject : public CObject {
public:
    CRootObject();
    ~CRootObject() override;
    CRootContext& context() { return *m_context; }

private:
    std::shared_ptr<CRootContext> m_context;
};

class CApplication {
public:
    struct StartOptions {
        std::span<const CreatorRow> creators;          // empty: the object core's rows only
        const KelResourceRow* resources = nullptr;     // null: the embedded table
        const char* sharedDefinition = "SharedData.xml";  // null: no definition
        const void* moduleAddress = nullptr;           // an address inside the module
    };

    // Module load. On failure the process keeps no application object; the
    // error is logged and shown in the error window, and also returned.
    static CError start(const StartOptions& options);
    // Module unload.
    static void finish();

    static CApplication* instance();
    static CSharedObject* sharedObject();

    CError initSharedObject(const CString& definitionName);
    // Creates a root object with a new root context; with a definition name
    // the definition is loaded into it, otherwise its three set-up steps run.
    CError initRootObject(const CString& definitionName, std::unique_ptr<CRootObject>* out);

    int64_t timeBase() const { return m_timeBase; }
    double secondsSinceStart() const;
    const CString& modulePath() const { return m_modulePath; }
    const CString& moduleFolder() const { return m_moduleFolder; }

    // Root contexts by id (ids count up from 1).
    std::shared_ptr<CRootContext> newRootContext();
    void releaseRootContext(uint32_t id);
    size_t rootContextCount();

private:
    CApplication() = default;
    CError init(const StartOptions& options);

    int64_t m_timeBase = 0;
    CString m_modulePath;
    CString m_moduleFolder;
    std::unique_ptr<CSharedObject> m_shared;
    plat::CCritSec m_contextLock{4000};
    std::map<uint32_t, std::weak_ptr<CRootContext>> m_contexts;
    uint32_t m_nextContextId = 1;
};

// Seconds since the application's time base (0 before start).
double kelSecondsSinceStart();
