// Titled panels.
#include "UI/Panels/Frame.h"

#include <utility>
#include <vector>

void CFrame::registerEvents(CClassRecord& record) { CView::registerEvents(record); }

CError CFrame::initDone() {
    KEL_TRY(CView::initDone());
    if (m_caption) return {};
    KEL_TRY(makeCaption());
    collectChildViews();
    return {};
}

CError CFrame::makeCaption() {
    m_caption = nullptr;
    m_madeCaption = false;
    if (CObject* existing = findChild("caption")) {
        m_caption = dynamic_cast<CView*>(existing);
        return {};
    }
    if (!hasAttr("caption")) return {};
    auto made = createObject("ui:caption");
    made->setName("caption");
    auto withDefault = [this](const char* own, const char* def) {
        return hasAttr(own) ? attr(own) : CString(def);
    };
    const std::pair<const char*, CString> attrs[] = {
        {"placement", "top"},
        {"height", withDefault("caption-height", "18")},
        {"font-name", withDefault("caption-font", "font.base_b")},
        {"image-set", withDefault("caption-image-set", "is.groupcaption")},
        {"color", withDefault("caption-color", "Caption")},
        {"text-alignment", "center"},
        {"text-alignment-v", "center"},
        {"text", attr("caption")},
    };
    for (const auto& [n, v] : attrs) KEL_TRY(made->setAttr(n, v, false));
    CObject* raw = made.get();
    KEL_TRY(addChild(std::move(made)));
    // The strip docks first: move it to the front of the children.
    std::vector<std::unique_ptr<CObject>> others;
    while (childCount() > 1) {
        CObject* c = child(0) == raw ? child(1) : child(0);
        others.push_back(releaseChild(c));
    }
    for (auto& c : others) KEL_TRY(addChild(std::move(c)));
    KEL_TRY(raw->initTree());
    m_caption = dynamic_cast<CView*>(raw);
    m_madeCaption = m_caption != nullptr;
    return {};
}

CError CFrame::applyViewAttr(const CString& name, bool* handled) {
    if (name == "caption") {
        *handled = true;
        if (m_caption && m_madeCaption) return m_caption->setAttr("text", attr("caption"), false);
        return {};
    }
    return CView::applyViewAttr(name, handled);
}
