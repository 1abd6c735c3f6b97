// Selectors of stored editor settings: scale, frame rate and any shared attribute.
#include "UI/Settings/SettingSelector.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "Core/Log.h"
#include "Core/SharedAttribute.h"
#include "UI/Render/WindowRenderer.h"

namespace {

std::vector<CString> splitOn(const std::string& text, char sep) {
    std::vector<CString> out;
    if (sep == ' ') {
        std::istringstream in(text);
        std::string word;
        while (in >> word) out.emplace_back(word);
        return out;
    }
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(sep, start);
        const size_t length = end == std::string::npos ? std::string::npos : end - start;
        out.push_back(CString(text.substr(start, length)).trimmed());
        if (end == std::string::npos) return out;
        start = end + 1;
    }
}

bool asNumber(const CString& s, double* v) { return s.trimmed().toDouble(v); }

}  // namespace

void CSelectorSharedAttr::registerEvents(CClassRecord& record) {
    CTextView::registerEvents(record);
    record.addEvent("update", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CSelectorSharedAttr*>(self)->refresh();
    });
    record.addEvent("next", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CSelectorSharedAttr*>(self)->step(1);
    });
    record.addEvent("previous", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CSelectorSharedAttr*>(self)->step(-1);
    });
    record.addEvent("select", [](CObject* self, CEventParams& p) -> CError {
        auto* s = static_cast<CSelectorSharedAttr*>(self);
        if (!p.get("value").empty()) return s->selectValue(p.get("value"));
        int64_t i = -1;
        if (!p.get("index").trimmed().toInt(&i) || i < 0 || size_t(i) >= s->choiceCount())
            return KEL_ERROR(kelstr_CSelectorSharedAttr_select_BadValue, p.get("index"), s->fullName());
        return s->selectIndex(size_t(i));
    });
}

CError CSelectorSharedAttr::initLinks() {
    m_choices = splitOn((hasAttr("choices") ? attr("choices") : defaultChoices()).utf8(), ' ');
    if (m_choices.empty()) return KEL_ERROR(kelstr_CSelectorSharedAttr_init_NoChoices, fullName());
    m_titles = hasAttr("titles") ? splitOn(attr("titles").utf8(), '|') : std::vector<CString>();
    m_titles.resize(m_choices.size());
    for (size_t i = 0; i < m_choices.size(); ++i)
        if (m_titles[i].empty()) m_titles[i] = defaultTitle(m_choices[i]);

    if (hasAttr("shared-attribute")) {
        KEL_TRY(findObjectByAttr("shared-attribute", &m_target));
    } else {
        const CString path = defaultTarget();
        KEL_TRY(findObjectChecked(path, &m_target));
    }
    if (hasAttr("attr"))
        m_attr = attr("attr");
    else if (auto* shared = dynamic_cast<CSharedAttribute*>(m_target))
        m_attr = shared->keptAttribute();
    else
        m_attr = "value";
    CObject::listenObject(m_target, "update", this, "update");
    // The caption is in place before the text view lays it out.
    m_index = indexOf(value());
    KEL_TRY(setAttr("text", m_index >= 0 ? m_titles[size_t(m_index)] : value(), false));
    return CTextView::initLinks();
}

CString CSelectorSharedAttr::value() const { return m_target ? m_target->attr(m_attr) : CString(); }

int CSelectorSharedAttr::indexOf(const CString& v) const {
    const CString t = v.trimmed();
    for (size_t i = 0; i < m_choices.size(); ++i)
        if (m_choices[i] == t) return int(i);
    // Numbers match by value ("1" is the choice "1.0"), else the nearest.
    double x = 0;
    if (!asNumber(t, &x)) return -1;
    int best = -1;
    double bestDistance = 0;
    for (size_t i = 0; i < m_choices.size(); ++i) {
        double c = 0;
        if (!asNumber(m_choices[i], &c)) continue;
        const double d = std::fabs(c - x);
        if (best < 0 || d < bestDistance) {
            best = int(i);
            bestDistance = d;
        }
    }
    return best;
}

CError CSelectorSharedAttr::refresh() {
    const CString v = value();
    m_index = indexOf(v);
    const CString shown = m_index >= 0 ? m_titles[size_t(m_index)] : v;
    if (!(shown == attr("text"))) KEL_TRY(setAttr("text", shown, false));
    requestRepaint();
    return {};
}

CError CSelectorSharedAttr::selectIndex(size_t i) {
    if (!m_target || i >= m_choices.size() || isBlocked()) return {};
    const CString v = m_choices[i];
    if (!(m_target->attr(m_attr) == v)) {
        KEL_TRY(m_target->setAttr(m_attr, v, false));
        KEL_TRY(applied(v));
        KEL_TRY(refresh());
        CEventParams p({{"value", v}});
        return notify("selection-change", p);
    }
    return refresh();
}

CError CSelectorSharedAttr::selectValue(const CString& v) {
    for (size_t i = 0; i < m_choices.size(); ++i)
        if (m_choices[i] == v.trimmed()) return selectIndex(i);
    double x = 0, c = 0;
    if (asNumber(v, &x))
        for (size_t i = 0; i < m_choices.size(); ++i)
            if (asNumber(m_choices[i], &c) && std::fabs(c - x) < 1e-9) return selectIndex(i);
    return KEL_ERROR(kelstr_CSelectorSharedAttr_select_BadValue, v, fullName());
}

CError CSelectorSharedAttr::step(int steps) {
    if (steps == 0 || m_choices.empty()) return {};
    const int last = int(m_choices.size()) - 1;
    // From a value off the list, the first step lands on the nearest choice.
    const int from = m_index >= 0 ? m_index : (steps > 0 ? -1 : last + 1);
    return selectIndex(size_t(std::clamp(from + steps, 0, last)));
}

CError CSelectorSharedAttr::onViewEvent(const CString& name, CEventParams& p) {
    if (name == "mouse-release" || name == "mouse-release-r")
        return step(name == "mouse-release-r" || p.get("is-shift") == "true" ? -1 : 1);
    if (name == "mouse-wheel") {
        double d = 0;
        if (!p.get("delta").toDouble(&d) || d == 0) return {};
        return step(d > 0 ? 1 : -1);
    }
    return {};
}

CString CSelectorScale::defaultChoices() const { return "0.8 0.9 1.0 1.1 1.25 1.5 1.75 2.0"; }

CString CSelectorScale::defaultTarget() const {
    const CObject* usesr = findObject("ui.local-data.ui-scale-usesr");
    bool relative = true;
    if (usesr) {
        const auto* shared = dynamic_cast<const CSharedAttribute*>(usesr);
        const CString v = (shared ? shared->value() : usesr->attr("value")).trimmed();
        relative = !(v == "0" || v == "false");
    }
    return relative ? "ui.local-data.ui-scale2" : "ui.local-data.ui-scale";
}

CString CSelectorScale::defaultTitle(const CString& choice) const {
    double x = 0;
    if (!asNumber(choice, &x)) return choice;
    return CString::number(int64_t(std::lround(x * 100))) + "%";
}

CError CSelectorScale::applied(const CString& v) {
    // The renderers read the same settings names as the stored items.
    const CString key = target() && target()->name() == "ui-scale" ? CString("ui-scale") : CString("ui-scale2");
    std::vector<CObject*> stack{root()};
    while (!stack.empty()) {
        CObject* o = stack.back();
        stack.pop_back();
        if (auto* r = dynamic_cast<CWindowRenderer*>(o)) {
            KEL_TRY(r->setAttr(key, v, false));
            KEL_TRY(r->runEvent("update-window-scale"));
        }
        for (const auto& c : o->children()) stack.push_back(c.get());
    }
    return {};
}

CString CSelectorFps::defaultTitle(const CString& choice) const { return choice + " fps"; }

CError CSelectorFps::applied(const CString& v) {
    CObject* settings = findObject("ui.global-settings");
    if (settings) KEL_TRY(settings->setAttr("frames-per-second", v, false));
    return {};
}
