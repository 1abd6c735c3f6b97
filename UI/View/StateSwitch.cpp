// State switches: condition expressions and their application.
#include "UI/View/StateSwitch.h"

#include <algorithm>
#include <cmath>

#include "Core/Log.h"
#include "UI/View/View.h"
#include "UI/View/ViewState.h"

namespace {
std::vector<CString> nonEmptyPieces(const CString& text, char16_t sep) {
    std::vector<CString> out;
    for (const CString& p : splitString(text, sep))
        if (!p.trimmed().empty()) out.push_back(p.trimmed());
    return out;
}

CError parseCondition(const CString& text, const CString& defaultBridge, CStateCondition* out) {
    CStateCondition c;
    CString values = text;
    size_t op = text.find(u'=');
    if (op != CString::npos) {
        size_t start = op, end = op + 1;
        if (start > 0 && text.at(start - 1) == u'!') --start, c.negate = true;
        else if (start > 0 && text.at(start - 1) == u'=') --start;
        if (end < text.length() && text.at(end) == u'=') {
            if (c.negate) return KEL_ERROR(kelstr_CStateSwitch_buildExpression_BadSyntax);
            ++end;
        }
        c.bridge = text.substr(0, start).trimmed();
        values = text.substr(end).trimmed();
        if (c.bridge.empty() || values.find(u'=') != CString::npos)
            return KEL_ERROR(kelstr_CStateSwitch_buildExpression_BadSyntax);
    } else {
        c.bridge = defaultBridge.trimmed();
        if (c.bridge.empty()) return KEL_ERROR(kelstr_CStateSwitch_buildExpression_NoDefBridge);
    }
    if (c.bridge.find(u'!') != CString::npos)
        return KEL_ERROR(kelstr_CStateSwitch_buildExpression_NotNotAllowed, text);
    values = values.trimmed();
    if (!values.empty() && values.at(0) == u'!') {
        c.negate = !c.negate;
        values = values.substr(1);
    }
    if (values.find(u'!') != CString::npos) return KEL_ERROR(kelstr_CStateSwitch_buildExpression_NotNotAllowed, text);
    for (const CString& v : splitBlanks(values)) {
        int64_t n;
        if (!v.toInt(&n)) return KEL_ERROR(kelstr_CStateSwitch_buildExpression_InvalidValue, v);
        c.values.push_back(n);
    }
    if (c.values.empty()) return KEL_ERROR(kelstr_CStateSwitch_buildExpression_ValuesEmpty, text);
    *out = std::move(c);
    return {};
}
}  // namespace

CError kelParseStateExpression(const CString& text, const CString& defaultBridge, CStateExpression* out) {
    CStateExpression e;
    const std::vector<CString> groups = nonEmptyPieces(text, u'|');
    if (groups.empty()) return KEL_ERROR(kelstr_CStateSwitch_buildExpression_CondGroupsEmpty, text);
    for (const CString& g : groups) {
        const std::vector<CString> conds = nonEmptyPieces(g, u'&');
        if (conds.empty()) return KEL_ERROR(kelstr_CStateSwitch_buildExpression_CondsEmpty, g);
        auto& group = e.emplace_back();
        for (const CString& c : conds) KEL_TRY(parseCondition(c, defaultBridge, &group.emplace_back()));
    }
    *out = std::move(e);
    return {};
}

bool kelEvaluateStateExpression(const CStateExpression& e,
                                const std::function<bool(const CString& bridge, double* value)>& valueOf) {
    for (const auto& group : e) {
        bool all = true;
        for (const CStateCondition& c : group) {
            double v;
            if (!valueOf(c.bridge, &v)) {
                all = false;
                break;
            }
            const bool inRange = std::fabs(v) < 9e18;
            const int64_t rounded = inRange ? std::llround(v) : 0;  // half away from zero
            const bool listed = inRange && std::find(c.values.begin(), c.values.end(), rounded) != c.values.end();
            if (listed == c.negate) {
                all = false;
                break;
            }
        }
        if (all) return true;
    }
    return false;
}

void CStateSwitch::registerEvents(CClassRecord& record) {
    CObject::registerEvents(record);
    record.addEvent("update", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CStateSwitch*>(self)->update();
    });
}

CError CStateSwitch::init() {
    m_entries.clear();
    for (const auto& c : children()) {
        if (!(c->tag() == "ui:state-data")) continue;
        const std::vector<CString> attrs = splitBlanks(c->attr("state-attrs"));
        if (attrs.empty() && c->attr("state-tag").trimmed().empty())
            return KEL_ERROR(kelstr_CStateSwitch_registerState_NoStateAttrs, c->fullName());
        for (const CString& a : attrs)
            if (CViewStateSet::isReserved(a))
                return KEL_ERROR(kelstr_CStateSwitch_registerState_ReservedStateName, c->fullName());
        Entry e;
        e.node = c.get();
        const CString cond = c->attr("if").trimmed();
        e.always = cond.empty();
        if (!e.always) KEL_TRY(kelParseStateExpression(cond, attr("bridge"), &e.expression));
        m_entries.push_back(std::move(e));
    }
    return {};
}

CError CStateSwitch::initLinks() {
    KEL_TRY(CObject::initLinks());
    // Follow the values of every bridge the conditions name.
    std::vector<CString> bridges;
    if (!attr("bridge").trimmed().empty()) bridges.push_back(attr("bridge").trimmed());
    for (const Entry& e : m_entries)
        for (const auto& group : e.expression)
            for (const CStateCondition& c : group)
                if (!c.bridge.empty() && std::find(bridges.begin(), bridges.end(), c.bridge) == bridges.end())
                    bridges.push_back(c.bridge);
    for (const CString& b : bridges)
        if (CObject* o = findObject(b)) CObject::listenObject(o, "param-change", this, "update");
    return {};
}

CError CStateSwitch::update() {
    auto valueOf = [this](const CString& bridge, double* v) {
        CObject* b = findObject(bridge);
        if (!b || !b->attr("value").toDouble(v)) {
            kelLogf("No UIParam for %s", bridge.utf8().c_str());
            return false;
        }
        return true;
    };
    std::vector<const Entry*> holding;
    for (const Entry& e : m_entries)
        if (!e.always && kelEvaluateStateExpression(e.expression, valueOf)) holding.push_back(&e);
    if (holding.empty())
        for (const Entry& e : m_entries)
            if (e.always) holding.push_back(&e);
    // States named by entries that do not hold are cleared first.
    for (const Entry& e : m_entries) {
        const CString tag = e.node->attr("state-tag").trimmed();
        if (tag.empty() || std::find(holding.begin(), holding.end(), &e) != holding.end()) continue;
        const CString targets = e.node->attr("state-target").trimmed().empty() ? attr("target") : e.node->attr("state-target");
        for (const CString& path : splitBlanks(targets))
            if (auto* v = dynamic_cast<CView*>(findObject(path))) KEL_TRY(v->unsetState(tag));
    }
    for (const Entry* e : holding) {
        const CString targets =
            e->node->attr("state-target").trimmed().empty() ? attr("target") : e->node->attr("state-target");
        for (const CString& path : splitBlanks(targets)) {
            CObject* target = findObject(path);
            if (!target) continue;
            for (const CString& a : splitBlanks(e->node->attr("state-attrs"))) KEL_TRY(target->setAttr(a, e->node->attr(a)));
            const CString tag = e->node->attr("state-tag").trimmed();
            if (auto* v = dynamic_cast<CView*>(target); v && !tag.empty()) KEL_TRY(v->setState(tag));
        }
    }
    return {};
}
