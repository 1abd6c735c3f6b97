// The compact channel-group selector.
#include "UI/Routing/GroupSelector.h"

#include <algorithm>
#include <cmath>

#include "UI/Controls/ParamBridge.h"
#include "UI/Controls/ParamGroup.h"

namespace {

int rounded(const CParamBridge* b, uint32_t e) {
    return b && b->isReady() && e < b->elementCount(0) ? int(std::lround(b->value(0, e))) : 0;
}

}  // namespace

void CGroupSelectorMinimal::registerEvents(CClassRecord& record) {
    CView::registerEvents(record);
    using S = CGroupSelectorMinimal;
    record.addEvent("on-selection", [](CObject* self, CEventParams&) -> CError {
        return static_cast<S*>(self)->onSelection();
    });
    record.addEvent("on-routing", [](CObject* self, CEventParams&) -> CError {
        return static_cast<S*>(self)->refresh();
    });
    record.addEvent("copy-group", [](CObject* self, CEventParams& p) -> CError {
        auto* s = static_cast<S*>(self);
        int64_t to = 0;
        if (p.get("to").toInt(&to)) return s->copyTo(int(to));
        return s->isCopying() ? s->cancelCopy() : s->startCopy();
    });
    record.addEvent("copy-cancel", [](CObject* self, CEventParams&) -> CError {
        return static_cast<S*>(self)->cancelCopy();
    });
}

CError CGroupSelectorMinimal::initLinks() {
    KEL_TRY(CView::initLinks());
    if (!attr("bridge").trimmed().empty()) KEL_TRY(findObjectByAttr("bridge", &m_bridge));
    if (!attr("grouping-bridge").trimmed().empty()) KEL_TRY(findObjectByAttr("grouping-bridge", &m_grouping));
    if (!attr("routing-bridge").trimmed().empty()) KEL_TRY(findObjectByAttr("routing-bridge", &m_routing));
    if (!attr("names-bridge").trimmed().empty()) KEL_TRY(findObjectByAttr("names-bridge", &m_names));
    if (!attr("group-selector").trimmed().empty()) KEL_TRY(findObjectByAttr("group-selector", &m_selector));
    if (!attr("group-controller").trimmed().empty()) KEL_TRY(findObjectByAttr("group-controller", &m_controller));
    if (m_bridge) listenObject(m_bridge, "param-change", this, "on-selection");
    for (CParamBridge* b : {m_grouping, m_routing, m_names})
        if (b) listenObject(b, "param-change", this, "on-routing");
    return {};
}

CError CGroupSelectorMinimal::initDone() {
    KEL_TRY(CView::initDone());
    if (!m_items.empty()) return {};
    const CString tmpl = attr("item-template").trimmed();
    if (tmpl.empty()) return KEL_ERROR(kelstr_CGroupSelectorMinimal_init_NoTemplate);
    auto* holder = dynamic_cast<CView*>(findChild("items"));
    if (!holder) holder = this;
    // Every group the parameters can hold; the audio side may tell fewer.
    const int count = int(attrInt("group-count", 8));
    for (int g = 0; g < count; ++g) {
        KEL_TRY(holder->setAttr("item-index", CString::number(int64_t(g)), false));
        KEL_TRY(holder->setAttr("item-text", CString::number(int64_t(g + 1)), false));
        KEL_TRY(holder->setAttr("item-value", CString::number(int64_t(g)), false));
        CObject* made = nullptr;
        KEL_TRY(holder->createChild(tmpl, CString("item") + CString::number(int64_t(g)), &made));
        auto* v = dynamic_cast<CView*>(made);
        if (!v) return KEL_ERROR(kelstr_CGroupSelectorMinimal_init_NoTemplate);
        m_items.push_back(v);
    }
    holder->collectChildViews();
    return onSelection();
}

int CGroupSelectorMinimal::groupCount() const {
    const int made = int(m_items.size());
    return m_selector ? std::min(made, m_selector->groupCount() > 1 ? m_selector->groupCount() : made) : made;
}

int CGroupSelectorMinimal::channelCount() const {
    return int(attrInt("channel-count", 8));
}

std::vector<int> CGroupSelectorMinimal::shownGroups() const {
    std::vector<int> out;
    const int groups = groupCount();
    const bool all = !m_grouping || !m_routing || !m_grouping->isReady() || !m_routing->isReady();
    for (int g = 0; g < groups; ++g) {
        bool shown = all || g == m_selected;
        for (int k = 0; !shown && k < channelCount(); ++k)
            shown = rounded(m_grouping, uint32_t(k)) == g && rounded(m_routing, uint32_t(k)) != 0;
        if (shown) out.push_back(g);
    }
    return out;
}

CString CGroupSelectorMinimal::channelsText(int group) const {
    CString out;
    if (!m_grouping || !m_routing) return out;
    for (int k = 0; k < channelCount(); ++k) {
        const int source = rounded(m_routing, uint32_t(k));
        if (source == 0 || rounded(m_grouping, uint32_t(k)) != group) continue;
        CString name;
        if (m_names && m_names->isReady() && uint32_t(source - 1) < m_names->elementCount(0))
            name = m_names->text(0, uint32_t(source - 1)).trimmed();
        if (name.empty()) name = CString::number(int64_t(source));
        if (!out.empty()) out += CString(", ");
        out += name;
    }
    return out.empty() ? CString("none") : out;
}

CError CGroupSelectorMinimal::onSelection() {
    if (!m_bridge || !m_bridge->isReady()) return refresh();
    const int previous = m_selected;
    m_selected = std::clamp(rounded(m_bridge, 0), 0, std::max(0, int(m_items.size()) - 1));
    if (m_selector && m_selector->index() != m_selected) KEL_TRY(m_selector->setIndex(m_selected));
    if (m_copying && previous != m_selected) {
        KEL_TRY(setCopying(false));
        if (!m_controller) return KEL_ERROR(kelstr_CGroupSelectorMinimal_copy_NoController, fullName());
        KEL_TRY(m_controller->copyGroup(previous, m_selected));
    }
    return refresh();
}

std::vector<int> CGroupSelectorMinimal::visibleGroups() const {
    std::vector<int> shown = shownGroups();
    const int most = int(attrInt("max-items", 0));
    if (most <= 0 || int(shown.size()) <= most) return shown;
    // A window of the shown groups around the selected one.
    const int at = int(std::find(shown.begin(), shown.end(), m_selected) - shown.begin());
    const int first = std::clamp(at - most / 2, 0, int(shown.size()) - most);
    return std::vector<int>(shown.begin() + first, shown.begin() + first + most);
}

CError CGroupSelectorMinimal::refresh() {
    if (m_items.empty()) return {};
    const std::vector<int> shown = visibleGroups();
    bool changed = false;
    for (size_t g = 0; g < m_items.size(); ++g) {
        const bool hide = std::find(shown.begin(), shown.end(), int(g)) == shown.end();
        if (hide == m_items[g]->attrBool("is-hidden")) continue;
        KEL_TRY(m_items[g]->setAttr("is-hidden", hide ? "true" : "false", false));
        changed = true;
    }
    const CString arg = channelsText(m_selected);
    if (!(arg == attr("hint-arg"))) KEL_TRY(setAttr("hint-arg", arg, false));
    if (changed) requestLayout();
    requestRepaint();
    return {};
}

CError CGroupSelectorMinimal::setCopying(bool on) {
    m_copying = on;
    KEL_TRY(on ? setState("copying") : unsetState("copying"));
    if (auto* button = dynamic_cast<CView*>(findObject(attr("copy-button-path").trimmed())))
        KEL_TRY(on ? button->setState("copying") : button->unsetState("copying"));
    requestRepaint();
    return {};
}

CError CGroupSelectorMinimal::startCopy() {
    if (!m_controller) return KEL_ERROR(kelstr_CGroupSelectorMinimal_copy_NoController, fullName());
    return setCopying(true);
}

CError CGroupSelectorMinimal::cancelCopy() { return setCopying(false); }

CError CGroupSelectorMinimal::copyTo(int group) {
    if (!m_controller) return KEL_ERROR(kelstr_CGroupSelectorMinimal_copy_NoController, fullName());
    KEL_TRY(setCopying(false));
    return m_controller->copyGroup(m_selected, group);
}
