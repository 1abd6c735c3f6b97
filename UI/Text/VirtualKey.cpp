// Keys of the on-screen keyboards.
#include "UI/Text/VirtualKey.h"

#include "Platform/Window/Window.h"

void CVirtualKey::registerEvents(CClassRecord& record) {
    CTextView::registerEvents(record);
    record.addEvent("press-key", [](CObject* self, CEventParams&) -> CError {
        return static_cast<CVirtualKey*>(self)->press();
    });
}

CObject* CVirtualKey::keyboard() const {
    for (CObject* o = parent(); o; o = o->parent())
        if (o->hasAttr("virtual-keyboard-target")) return o;
    return nullptr;
}

CError CVirtualKey::onViewEvent(const CString& name, CEventParams& p) {
    KEL_TRY(CTextView::onViewEvent(name, p));
    return name == "mouse-release" ? press() : CError();
}

CError CVirtualKey::press() {
    if (isBlocked()) return {};
    CObject* kb = keyboard();
    CObject* target = kb ? root()->findObject(kb->attr("virtual-keyboard-target").trimmed()) : nullptr;
    CString key = attr("key");
    if (key.empty()) key = attr("text");
    if (key == "CAPS") {
        if (!kb) return {};
        const bool on = !kb->attrBool("is-caps-on");
        KEL_TRY(kb->setAttr("is-caps-on", on ? "true" : "false", false));
        return on ? setState("on") : unsetState("on");
    }
    if (!target) return {};
    if (key == "Enter") return target->runEvent("close-editbox");
    if (key == "Cancel") {
        CEventParams c{{"is-cancelled", "true"}};
        return target->runEvent("close-editbox", c);
    }
    uint32_t code = 0;
    if (key == "Bkspace") code = plat::kKeyBackspace;
    else if (key == "Del") code = plat::kKeyDelete;
    else if (key == "Left") code = plat::kKeyLeft;
    else if (key == "Right") code = plat::kKeyRight;
    else if (key == "Space") key = " ";
    CEventParams p;
    if (code) {
        p.set("keycode", CString::number(int64_t(code)));
    } else {
        std::u16string chars = key.utf16();
        if (kb && kb->attrBool("is-caps-on"))
            for (char16_t& c : chars)
                if (c >= u'a' && c <= u'z') c = char16_t(c - u'a' + u'A');
        p.set("char", CString::fromUtf16(chars));
    }
    return target->runEvent("virtual-key", p);
}
