#pragma once
// CObject: every run-time entity is a node of one tree with a creator tag, a
// name, ordered string attributes (with typed read caches) and ordered owned
// children. Objects are created from compiled definitions through the creator
// registry, find each other by path, read each other's attributes through
// brace references, and exchange named events through per-class event tables.
//
// Threads: a tree is built, changed and destroyed on one thread (the host's
// main thread for instances, the UI thread for editors). The audio thread
// never creates or destroys objects.

#include <memory>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "Core/Error.h"
#include "Core/EventParams.h"
#include "Core/MemAllocator.h"
#include "Core/String.h"

class CObject;
class CClassRecord;

// Event handler of a class's table; self is the object the event runs on.
using EventHandler = CError (*)(CObject* self, CEventParams& params);
using CreatorFn = CObject* (*)();
using RegisterEventsFn = void (*)(CClassRecord& record);

KELSTR(CObject_registerCreator, "Creator for '%1' has already been registered.");
KELSTR(CObject_addChild_ReadOnly, "Error adding child to read-only object.");
KELSTR(CObject_runEvent_UnknownEvent, "Unknown event '%1'.");
KELSTR(CObject_findObjectChecked_FindError, "Unable to find object '%1' ('%2')");
KELSTR(CObject_findObjectChecked_CastError, "Incompatible type of object '%1' ('%2')");
KELSTR(CObject_findObjectByAttr_AttrEmpty, "Object name attribute '%1' cannot be empty.");
KELSTR(CObject_findObjectByAttr_FindError, "Name attribute '%1' refers to a non-existent object '%2' ('%3')");
KELSTR(CObject_findObjectByAttr_CastError,
       "Name attribute '%1' refers to object '%2' ('%3') of incompatible type.");
KELSTR(CObject_createChild_NoTemplate, "Run-time template '%1' does not exist.");
KELSTR(CObject_createChild_InvalidObjectClass,
       "Object of invalid class created (child tag '%1', child name '%2').");

// The per-tag record of the creator registry: the class's event table.
class CClassRecord {
public:
    explicit CClassRecord(const CString& tag) : m_tag(tag) {}
    const CString& tag() const { return m_tag; }

    // Adds or replaces a handler (a derived class may override a base event).
    void addEvent(const CString& name, EventHandler handler);
    EventHandler findEvent(const CString& name) const;
    size_t eventCount() const { return m_events.size(); }

private:
    CString m_tag;
    std::vector<std::pair<CString, EventHandler>, CKelStdAllocator<std::pair<CString, EventHandler>>> m_events;
};

// One row of the static creator table.
struct CreatorRow {
    const char* tag;
    CreatorFn create;
    RegisterEventsFn registerEvents;
};

// Process-wide registry: tag -> creator and class record. Filled once at
// application start and read-only afterwards (no lock needed for reads).
namespace CreatorRegistry {
CError registerCreator(const CString& tag, CreatorFn create, RegisterEventsFn registerEvents);
CError registerTable(std::span<const CreatorRow> rows);
// Creator and record of a tag; nullptr when unregistered.
CreatorFn findCreator(const CString& tag);
const CClassRecord* findRecord(const CString& tag);
size_t size();
void clear();
}  // namespace CreatorRegistry

// One attribute: the string value plus typed caches.
struct CAttribute {
    enum Kind : uint8_t { kPlain = 0, kResolved = 1, kResolvedAt = 2 };
    enum Valid : uint8_t { kBoolValid = 1, kBoolOk = 2, kIntValid = 4, kIntOk = 8, kRealValid = 16, kRealOk = 32 };
    CString name;
    CString value;
    uint8_t kind = kPlain;
    mutable uint8_t valid = 0;
    mutable bool cachedBool = false;
    mutable int64_t cachedInt = 0;
    mutable double cachedReal = 0;
};

class CObject : public CKelAllocated {
public:
    CObject();
    virtual ~CObject();
    CObject(const CObject&) = delete;
    CObject& operator=(const CObject&) = delete;

    // --- Initialisation phases (run post-order over a loaded subtree) ------
    // Phase 1: read own attributes, file children.
    virtual CError init();
    // Phase 2: resolve references to other objects.
    virtual CError initLinks();
    // Phase 3: final set-up; sets the state to 3.
    virtual CError initDone();
    // --- Hooks --------------------------------------------------------------
    // Runs an event on this object (default: the class record's table).
    virtual CError dispatchEvent(const CString& eventName, CEventParams& params);
    // Called after an attribute value changed (default: when initialised and
    // the class has an event of the attribute's name, that event runs).
    virtual CError onAttrChanged(const CString& attrName);
    // Object that resolves "*" references ("{*/path attr}"); nullptr: this
    // object resolves them like plain references.
    virtual CObject* schemeObject();
    // Value of a computed attribute that is not stored ("full-name", "name",
    // "tag"); returns false when the name is not a computed attribute.
    virtual bool computedAttr(const CString& name, CString* out) const;
    // Called when a child was attached by addChild.
    virtual void onChildAdded(CObject* child);

    // Runs phases 1-3 on this subtree: every phase over the whole subtree
    // (children before parents) before the next, stopping at the first error.
    CError initTree();
    // The same for several subtrees at once (each phase over all of them).
    static CError initObjects(std::span<CObject* const> objects);

    // --- Identity -----------------------------------------------------------
    const CString& tag() const { return m_tag; }
    const CString& name() const { return m_name; }
    void setTag(const CString& t) { m_tag = t; }
    void setName(const CString& n) { m_name = n; }
    CString fullName() const;

    const CClassRecord* classRecord() const { return m_class; }
    void setClassRecord(const CClassRecord* rec) { m_class = rec; }

    bool isReadOnly() const { return m_readOnly; }
    void setReadOnly(bool ro) { m_readOnly = ro; }
    bool isShortcut() const { return m_shortcut; }
    void setShortcut(bool s) { m_shortcut = s; }
    int initState() const { return m_initState; }
    void setInitState(int s) { m_initState = s; }

    // --- Tree -----------------------------------------------------------------
    CObject* parent() const { return m_parent; }
    CObject* root() const;
    size_t childCount() const { return m_children.size(); }
    CObject* child(size_t i) const { return m_children[i].get(); }
    std::span<const std::unique_ptr<CObject>> children() const { return {m_children.data(), m_children.size()}; }
    // First child of that name, or nullptr.
    CObject* findChild(const CString& name) const;

    // Takes ownership; fails on a read-only object (the child is destroyed).
    CError addChild(std::unique_ptr<CObject> child);
    // Attaches without the read-only check or the onChildAdded hook (loader).
    void attachChild(std::unique_ptr<CObject> child);
    // Detaches a child and hands it back (nullptr when not a child).
    std::unique_ptr<CObject> releaseChild(CObject* child);
    void destroyChildren();

    // --- Attributes -----------------------------------------------------------
    // Value (or computed value); empty when absent.
    CString attr(const CString& name) const;
    bool hasAttr(const CString& name) const;
    // Sets a value; brace expressions are resolved first unless resolve is false.
    // Runs onAttrChanged when the stored value changed.
    CError setAttr(const CString& name, const CString& value, bool resolve = true);
    // Typed readers: a missing attribute or one that does not convert yields
    // the default. Booleans: "true"/"1" and "false"/"0".
    bool attrBool(const CString& name, bool def = false) const;
    int64_t attrInt(const CString& name, int64_t def = 0) const;
    double attrReal(const CString& name, double def = 0.0) const;
    std::span<const CAttribute> attributes() const { return {m_attrs.data(), m_attrs.size()}; }

    // Resolves every brace expression of a value, innermost first.
    CString resolveReferences(const CString& value, uint8_t* kind = nullptr) const;

    // --- Lookup ---------------------------------------------------------------
    // Paths: "a.b.c" from the tree's root, "shared::a.b" from the shared
    // object, "^" one level up per caret, "." self, ".a" a child of self,
    // "/a.b" from the tree's root (or the shared object).
    CObject* findObject(const CString& path) const;

    template <class T>
    CError findObjectChecked(const CString& path, T** out) const {
        CObject* o = findObject(path);
        if (!o) return KEL_ERROR(kelstr_CObject_findObjectChecked_FindError, path, fullName());
        T* t = dynamic_cast<T*>(o);
        if (!t) return KEL_ERROR(kelstr_CObject_findObjectChecked_CastError, path, fullName());
        *out = t;
        return {};
    }

    template <class T>
    CError findObjectByAttr(const CString& attrName, T** out) const {
        CString path = attr(attrName);
        if (path.empty()) return KEL_ERROR(kelstr_CObject_findObjectByAttr_AttrEmpty, attrName);
        CObject* o = findObject(path);
        if (!o) return KEL_ERROR(kelstr_CObject_findObjectByAttr_FindError, attrName, path, fullName());
        T* t = dynamic_cast<T*>(o);
        if (!t) return KEL_ERROR(kelstr_CObject_findObjectByAttr_CastError, attrName, path, fullName());
        *out = t;
        return {};
    }

    // --- Events ---------------------------------------------------------------
    // Runs the handler of this object's class table; "Unknown event" otherwise.
    CError runEvent(const CString& eventName, CEventParams& params);
    CError runEvent(const CString& eventName) {
        CEventParams p;
        return runEvent(eventName, p);
    }
    bool hasEvent(const CString& eventName) const;
    // Delivers an event of this object to its listeners (notification server).
    CError notify(const CString& eventName, CEventParams& params);
    CError notify(const CString& eventName) {
        CEventParams p;
        return notify(eventName, p);
    }
    // Subscribes handler (an event of listener's table) to sender's event.
    static void listenObject(CObject* sender, const CString& eventName, CObject* listener,
                             const CString& handlerName, int64_t listenerId = 0);
    static void unlistenObject(CObject* sender, const CString& eventName, CObject* listener);

    // --- Definitions ----------------------------------------------------------
    // Loads a compiled definition into this object (its top-level nodes
    // become children) and initialises what was loaded.
    CError loadXMLData(const CString& resourceName);
    // Instantiates a run-time template as a named child.
    CError createChild(const CString& templateName, const CString& childName, CObject** out = nullptr);

    // The event registration of plain objects; derived classes chain to it.
    static void registerEvents(CClassRecord& record);

    // Marks the object as known to the notification server.
    void setNotifyRegistered() { m_notifyRegistered = true; }

private:
    CAttribute* findAttr(const CString& name);
    const CAttribute* findAttr(const CString& name) const;
    CString resolveExpression(const CString& expr, uint8_t* kind) const;
    CError runPhase(int phase);

    CString m_tag;
    CString m_name;
    CObject* m_parent = nullptr;
    const CClassRecord* m_class = nullptr;
    std::vector<std::unique_ptr<CObject>, CKelStdAllocator<std::unique_ptr<CObject>>> m_children;
    std::vector<CAttribute, CKelStdAllocator<CAttribute>> m_attrs;
    bool m_readOnly = false;
    bool m_shortcut = false;
    bool m_notifyRegistered = false;
    int m_initState = 0;
};

// Creates an object of a registered tag (plain CObject otherwise) with its
// tag and class record set.
std::unique_ptr<CObject> createObject(const CString& tag);

// Splits a text at a separator character, dropping nothing.
std::vector<CString> splitString(const CString& s, char16_t sep);
// Splits at blanks, dropping empty pieces.
std::vector<CString> splitBlanks(const CString& s);
