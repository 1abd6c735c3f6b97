// The version history list.
#include "UI/Scroll/WhatsNewList.h"

#include "UI/Scroll/Scroller.h"

CString CDynListWhatsNew::paragraphText(const CObject& p) {
    if (const CObject* c = p.findChild("content")) return c->attr("value");
    return p.attr("value");
}

CError CDynListWhatsNew::addText(const CString& name, const CString& text, const CString& font, bool heading) {
    std::unique_ptr<CObject> made = createObject("ui:textview");
    auto* view = dynamic_cast<CView*>(made.get());
    if (!view) return {};
    made->setName(name);
    KEL_TRY(made->setAttr("text", text, false));
    KEL_TRY(made->setAttr("font-name", font, false));
    if (hasAttr("text-color")) KEL_TRY(made->setAttr("text-color", attr("text-color"), false));
    KEL_TRY(made->setAttr("width", "full", false));
    KEL_TRY(made->setAttr("is-text-wrapped", "true", false));
    KEL_TRY(made->setAttr("is-click-through", "true", false));
    if (heading) {
        if (m_entries > 1) KEL_TRY(made->setAttr("outer-border", "T8", false));
    } else {
        KEL_TRY(made->setAttr("outer-border", "L" + CString::number(attrReal("indent", 10)) + " T2", false));
    }
    CObject* raw = made.get();
    KEL_TRY(addChild(std::move(made)));
    return raw->init();
}

CError CDynListWhatsNew::init() {
    destroyChildren();
    m_entries = m_paragraphs = 0;
    // By default the editor document's own copy of the history, else the
    // shared definitions'.
    CString source = attr("source").trimmed();
    if (source.empty()) source = findObject("whatsnew") ? CString("whatsnew") : CString("shared::whatsnew");
    const CObject* first = findObject(source);
    if (!first || !first->parent()) return KEL_ERROR(kelstr_CDynListWhatsNew_init_NoSource, source);
    if (!hasAttr("is-inline-vertical")) KEL_TRY(setAttr("is-inline-vertical", "true", false));
    const CString font = attr("font-name");
    const CString titleFont = hasAttr("title-font-name") ? attr("title-font-name") : font;
    const std::string format =
        (hasAttr("title-format") ? attr("title-format") : CString("[B]Version %1[/B]   %2")).utf8();
    for (const auto& entry : first->parent()->children()) {
        if (!(entry->name() == first->name())) continue;
        ++m_entries;
        std::string title = format;
        for (auto [key, value] : {std::pair{"%1", entry->attr("version").utf8()}, {"%2", entry->attr("date").utf8()}})
            if (size_t at = title.find(key); at != std::string::npos) title.replace(at, 2, value);
        const CString base = "entry" + CString::number(int64_t(m_entries));
        KEL_TRY(addText(base, CString(title), titleFont, true));
        size_t n = 0;
        for (const auto& p : entry->children()) {
            if (!(p->name() == "p")) continue;
            ++m_paragraphs;
            KEL_TRY(addText(base + "-p" + CString::number(int64_t(++n)), paragraphText(*p), font, false));
        }
    }
    return CView::init();
}

CError CDynListWhatsNew::onViewEvent(const CString& name, CEventParams& p) {
    if (name == "mouse-wheel") return CScrollerBar::wheelOver(*this, p);
    return {};
}
