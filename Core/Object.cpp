#include "Core/Object.h"

#include <algorithm>
#include <map>

#include "Core/Application.h"
#include "Core/Log.h"
#include "Core/Notify.h"

// ---------------------------------------------------------------------------
// Class records and the creator registry

void CClassRecord::addEvent(const CString& name, EventHandler handler) {
    for (auto& [n, h] : m_events)
        if (n == name) {
            h = handler;
            return;
        }
    m_events.emplace_back(name, handler);
}

EventHandler CClassRecord::findEvent(const CString& name) const {
    for (const auto& [n, h] : m_events)
        if (n == name) return h;
    return nullptr;
}

namespace {
struct CreatorEntry {
    CreatorFn create;
    std::unique_ptr<CClassRecord> record;
};
std::map<CString, CreatorEntry>& creators() {
    static std::map<CString, CreatorEntry> m;
    return m;
}
CObject* createPlain() { return new CObject(); }
}  // namespace

namespace CreatorRegistry {

CError registerCreator(const CString& tag, CreatorFn create, RegisterEventsFn registerEvents) {
    auto& m = creators();
    if (m.count(tag)) return KEL_ERROR(kelstr_CObject_registerCreator, tag);
    auto rec = std::make_unique<CClassRecord>(tag);
    (registerEvents ? registerEvents : &CObject::registerEvents)(*rec);
    m.emplace(tag, CreatorEntry{create ? create : &createPlain, std::move(rec)});
    return {};
}

CError registerTable(std::span<const CreatorRow> rows) {
    for (const auto& r : rows) KEL_TRY(registerCreator(CString(r.tag), r.create, r.registerEvents));
    return {};
}

CreatorFn findCreator(const CString& tag) {
    auto it = creators().find(tag);
    return it == creators().end() ? nullptr : it->second.create;
}

const CClassRecord* findRecord(const CString& tag) {
    auto it = creators().find(tag);
    return it == creators().end() ? nullptr : it->second.record.get();
}

size_t size() { return creators().size(); }
void clear() { creators().clear(); }

}  // namespace CreatorRegistry

std::unique_ptr<CObject> createObject(const CString& tag) {
    CreatorFn fn = CreatorRegistry::findCreator(tag);
    std::unique_ptr<CObject> o(fn ? fn() : new CObject());
    o->setTag(tag);
    o->setClassRecord(CreatorRegistry::findRecord(tag));
    return o;
}

// ---------------------------------------------------------------------------
// CObject

CObject::CObject() = default;

CObject::~CObject() {
    destroyChildren();
    if (m_notifyRegistered) CNotifyServer::instance().removeObject(this);
}

void CObject::registerEvents(CClassRecord& record) {
    record.addEvent("release-child-bridged", [](CObject* self, CEventParams& p) -> CError {
        // A bridged child asks its parent to release it by name.
        CString name = p.get("child");
        if (CObject* c = self->findChild(name)) self->releaseChild(c).reset();
        return {};
    });
}

CError CObject::init() { return {}; }
CError CObject::initLinks() { return {}; }
CError CObject::initDone() {
    m_initState = 3;
    return {};
}

CError CObject::dispatchEvent(const CString& eventName, CEventParams& params) {
    const CClassRecord* rec = m_class;
    EventHandler h = rec ? rec->findEvent(eventName) : nullptr;
    if (!h && !rec) {
        // Objects created outside the registry share the plain record.
        static const CClassRecord* plain = [] {
            static CClassRecord r("core:object");
            CObject::registerEvents(r);
            return &r;
        }();
        h = plain->findEvent(eventName);
    }
    if (!h) return KEL_ERROR(kelstr_CObject_runEvent_UnknownEvent, eventName);
    return h(this, params);
}

CError CObject::onAttrChanged(const CString& attrName) {
    if (m_initState < 3 || !hasEvent(attrName)) return {};
    CEventParams p{{"attribute", attrName}};
    return runEvent(attrName, p);
}

CObject* CObject::schemeObject() { return nullptr; }

bool CObject::computedAttr(const CString& name, CString* out) const {
    if (name == "full-name") {
        *out = fullName();
        return true;
    }
    if (name == "name") {
        *out = m_name;
        return true;
    }
    if (name == "tag") {
        *out = m_tag;
        return true;
    }
    return false;
}

void CObject::onChildAdded(CObject*) {}

CString CObject::fullName() const {
    // Names from below the root down to this object, joined by dots.
    std::vector<const CObject*> chain;
    for (const CObject* o = this; o && o->m_parent; o = o->m_parent) chain.push_back(o);
    CString out;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if ((*it)->m_name.empty()) continue;
        if (!out.empty()) out += u'.';
        out += (*it)->m_name;
    }
    return out;
}

CObject* CObject::root() const {
    const CObject* o = this;
    while (o->m_parent) o = o->m_parent;
    return const_cast<CObject*>(o);
}

CObject* CObject::findChild(const CString& name) const {
    for (const auto& c : m_children)
        if (c->m_name == name) return c.get();
    return nullptr;
}

CError CObject::addChild(std::unique_ptr<CObject> child) {
    if (m_readOnly) return KEL_ERROR(kelstr_CObject_addChild_ReadOnly);
    CObject* c = child.get();
    attachChild(std::move(child));
    onChildAdded(c);
    return {};
}

void CObject::attachChild(std::unique_ptr<CObject> child) {
    child->m_parent = this;
    m_children.push_back(std::move(child));
}

std::unique_ptr<CObject> CObject::releaseChild(CObject* child) {
    auto it = std::find_if(m_children.begin(), m_children.end(), [&](auto& c) { return c.get() == child; });
    if (it == m_children.end()) return nullptr;
    std::unique_ptr<CObject> out = std::move(*it);
    m_children.erase(it);
    out->m_parent = nullptr;
    return out;
}

void CObject::destroyChildren() {
    // Last child first.
    while (!m_children.empty()) {
        std::unique_ptr<CObject> c = std::move(m_children.back());
        m_children.pop_back();
        c.reset();
    }
}

// --- Attributes -------------------------------------------------------------

CAttribute* CObject::findAttr(const CString& name) {
    for (auto& a : m_attrs)
        if (a.name == name) return &a;
    return nullptr;
}

const CAttribute* CObject::findAttr(const CString& name) const {
    for (const auto& a : m_attrs)
        if (a.name == name) return &a;
    return nullptr;
}

CString CObject::attr(const CString& name) const {
    if (const CAttribute* a = findAttr(name)) return a->value;
    CString computed;
    if (computedAttr(name, &computed)) return computed;
    return {};
}

bool CObject::hasAttr(const CString& name) const { return findAttr(name) != nullptr; }

CError CObject::setAttr(const CString& name, const CString& value, bool resolve) {
    uint8_t kind = CAttribute::kPlain;
    CString v = resolve ? resolveReferences(value, &kind) : value;
    CAttribute* a = findAttr(name);
    if (a) {
        if (a->value == v) return {};
        a->value = std::move(v);
        a->kind = kind;
        a->valid = 0;
    } else {
        CAttribute rec;
        rec.name = name;
        rec.value = std::move(v);
        rec.kind = kind;
        m_attrs.push_back(std::move(rec));
    }
    return onAttrChanged(name);
}

bool CObject::attrBool(const CString& name, bool def) const {
    const CAttribute* a = findAttr(name);
    if (!a) return def;
    if (!(a->valid & CAttribute::kBoolValid)) {
        const CString t = a->value.trimmed();
        bool ok = true;
        if (t == "true" || t == "1")
            a->cachedBool = true;
        else if (t == "false" || t == "0")
            a->cachedBool = false;
        else
            ok = false;
        a->valid |= CAttribute::kBoolValid | (ok ? CAttribute::kBoolOk : 0);
    }
    return (a->valid & CAttribute::kBoolOk) ? a->cachedBool : def;
}

int64_t CObject::attrInt(const CString& name, int64_t def) const {
    const CAttribute* a = findAttr(name);
    if (!a) return def;
    if (!(a->valid & CAttribute::kIntValid)) {
        int64_t v = 0;
        bool ok = a->value.toInt(&v);
        if (!ok) {
            // "1.0" and similar read as the rounded number.
            double d;
            if (a->value.toDouble(&d) && d > -9.2e18 && d < 9.2e18) {
                v = int64_t(d < 0 ? d - 0.5 : d + 0.5);
                ok = true;
            }
        }
        a->cachedInt = v;
        a->valid |= CAttribute::kIntValid | (ok ? CAttribute::kIntOk : 0);
    }
    return (a->valid & CAttribute::kIntOk) ? a->cachedInt : def;
}

double CObject::attrReal(const CString& name, double def) const {
    const CAttribute* a = findAttr(name);
    if (!a) return def;
    if (!(a->valid & CAttribute::kRealValid)) {
        double v = 0;
        bool ok = a->value.toDouble(&v);
        a->cachedReal = v;
        a->valid |= CAttribute::kRealValid | (ok ? CAttribute::kRealOk : 0);
    }
    return (a->valid & CAttribute::kRealOk) ? a->cachedReal : def;
}

// --- References ---------------------------------------------------------------

CString CObject::resolveReferences(const CString& value, uint8_t* kind) const {
    if (value.find(u'{') == CString::npos) return value;
    CString v = value;
    // Innermost first: the last "{" and the next "}" after it.
    for (;;) {
        size_t open = v.rfind(u'{');
        if (open == CString::npos) break;
        size_t close = v.find(u'}', open);
        if (close == CString::npos) break;
        CString result = resolveExpression(v.substr(open + 1, close - open - 1), kind);
        v = v.substr(0, open) + result + v.substr(close + 1);
    }
    return v;
}

CString CObject::resolveExpression(const CString& expr, uint8_t* kind) const {
    CString ref = expr, alt;
    size_t q = expr.find(u'?');
    if (q != CString::npos) {
        ref = expr.substr(0, q);
        alt = expr.substr(q + 1);
    }
    ref = ref.trimmed();
    const CObject* resolver = this;
    uint8_t k = CAttribute::kResolved;
    if (!ref.empty() && ref.at(0) == u'*') {
        ref = ref.substr(1);
        if (CObject* s = const_cast<CObject*>(this)->schemeObject()) resolver = s;
    } else if (!ref.empty() && ref.at(0) == u'@') {
        ref = ref.substr(1);
        k = CAttribute::kResolvedAt;
    }
    if (kind) *kind = k;
    if (ref.empty()) return alt;

    CString result;
    bool pathForm = ref.at(0) == u'/';
    if (pathForm) ref = ref.substr(1);
    size_t blank = ref.find(u' ');
    if (blank != CString::npos) {
        // "path attribute"
        CString path = ref.substr(0, blank).trimmed();
        CString attrName = ref.substr(blank + 1).trimmed();
        if (const CObject* o = path.empty() ? resolver : resolver->findObject(path))
            result = attrName.empty() ? o->name() : o->attr(attrName);
    } else if (pathForm) {
        // "/path": the object's name.
        if (const CObject* o = resolver->findObject(ref)) result = o->name();
    } else {
        result = resolver->attr(ref);
    }
    return result.empty() ? alt : result;
}

// --- Lookup ---------------------------------------------------------------------

CObject* CObject::findObject(const CString& path) const {
    static const CString kShared("shared::");
    CString p = path.trimmed();
    if (p.empty()) return nullptr;
    const CObject* start = nullptr;
    CString rest;
    bool sharedFallback = false;
    if (p.startsWith(kShared)) {
        start = CApplication::sharedObject();
        rest = p.substr(kShared.length());
    } else if (p.at(0) == u'^') {
        size_t i = 0;
        start = this;
        while (i < p.length() && p.at(i) == u'^') {
            start = start ? start->m_parent : nullptr;
            ++i;
        }
        rest = p.substr(i);
    } else if (p.at(0) == u'.') {
        start = this;
        rest = p.substr(1);
    } else if (p.at(0) == u'/') {
        start = root();
        rest = p.substr(1);
        sharedFallback = true;
    } else {
        start = root();
        rest = p;
        sharedFallback = true;
    }
    auto walk = [](const CObject* from, const CString& r) -> CObject* {
        const CObject* cur = from;
        if (!cur) return nullptr;
        if (r.empty()) return const_cast<CObject*>(cur);
        size_t pos = 0;
        while (cur && pos <= r.length()) {
            size_t dot = r.find(u'.', pos);
            if (dot == CString::npos) dot = r.length();
            cur = cur->findChild(r.substr(pos, dot - pos));
            pos = dot + 1;
        }
        return const_cast<CObject*>(cur);
    };
    CObject* found = walk(start, rest);
    if (!found && sharedFallback) {
        const CObject* shared = CApplication::sharedObject();
        if (shared && shared != start) found = walk(shared, rest);
    }
    return found;
}

// --- Events -----------------------------------------------------------------------

bool CObject::hasEvent(const CString& eventName) const {
    return m_class && m_class->findEvent(eventName) != nullptr;
}

CError CObject::runEvent(const CString& eventName, CEventParams& params) {
    return dispatchEvent(eventName, params);
}

CError CObject::notify(const CString& eventName, CEventParams& params) {
    if (!m_notifyRegistered) return {};
    return CNotifyServer::instance().notify(this, eventName, params);
}

void CObject::listenObject(CObject* sender, const CString& eventName, CObject* listener,
                           const CString& handlerName, int64_t listenerId) {
    if (!listener->hasEvent(handlerName)) {
        kelLogf("Event handler '%s' not found in listenObject().", handlerName.utf8().c_str());
        return;
    }
    CNotifyServer::instance().registerListener(sender, eventName, listener, listenerId, handlerName);
}

void CObject::unlistenObject(CObject* sender, const CString& eventName, CObject* listener) {
    CNotifyServer::instance().unregisterListener(sender, eventName, listener);
}

// --- Initialisation -----------------------------------------------------------------

CError CObject::runPhase(int phase) {
    for (auto& c : m_children) KEL_TRY(c->runPhase(phase));
    switch (phase) {
        case 1: KEL_TRY(init()); break;
        case 2: KEL_TRY(initLinks()); break;
        default: KEL_TRY(initDone()); break;
    }
    return {};
}

CError CObject::initTree() {
    CObject* self = this;
    return initObjects(std::span<CObject* const>(&self, 1));
}

CError CObject::initObjects(std::span<CObject* const> objects) {
    for (int phase = 1; phase <= 3; ++phase)
        for (CObject* o : objects) KEL_TRY(o->runPhase(phase));
    return {};
}

// --- Helpers ---------------------------------------------------------------------------

std::vector<CString> splitString(const CString& s, char16_t sep) {
    std::vector<CString> out;
    size_t pos = 0;
    for (;;) {
        size_t e = s.find(sep, pos);
        if (e == CString::npos) {
            out.push_back(s.substr(pos));
            break;
        }
        out.push_back(s.substr(pos, e - pos));
        pos = e + 1;
    }
    return out;
}

std::vector<CString> splitBlanks(const CString& s) {
    std::vector<CString> out;
    for (auto& piece : splitString(s, u' ')) {
        CString t = piece.trimmed();
        if (!t.empty()) out.push_back(t);
    }
    return out;
}
