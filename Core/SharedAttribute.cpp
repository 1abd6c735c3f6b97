#include "Core/SharedAttribute.h"

#include "Core/Log.h"

CSharedAttribute::CSharedAttribute() = default;

CSharedAttribute::~CSharedAttribute() {
    if (m_store) m_store->removeListener(this);
}

void CSharedAttribute::registerEvents(CClassRecord& record) { CObject::registerEvents(record); }

CString CSharedAttribute::dataNameFromFullName(const CString& fullName) {
    CString out;
    for (size_t i = 0; i < fullName.length(); ++i) {
        const char16_t c = fullName.at(i);
        const bool bad = c < 0x20 || c == u'/' || c == u'\\' || c == u':' || c == u'*' || c == u'?' ||
                         c == u'"' || c == u'<' || c == u'>' || c == u'|';
        out += bad ? u'_' : c;
    }
    // A leading dot would make a hidden (or "..") file.
    if (out.empty() || out.at(0) == u'.') out = CString("shared-attribute") + (out.empty() ? CString() : out);
    return out;
}

CError CSharedAttribute::init() {
    KEL_TRY(CObject::init());
    const CString type = attr("storage-type");
    CAppData* store = CAppData::byStorageType(type);
    if (!store) return KEL_ERROR(kelstr_CSharedAttribute_init_InvalidStorageType, type);
    const CString attribute = attr("attribute").trimmed();
    if (attribute.empty()) return KEL_ERROR(kelstr_CSharedAttribute_init_NoAttribute);
    m_attribute = attribute;
    m_dataName = attr("data-name").trimmed();
    if (m_dataName.empty()) m_dataName = dataNameFromFullName(fullName());

    bool found = false;
    CString stored;
    if (CError e = store->readString(m_dataName, &stored, &found)) {
        // An unreadable item is no reason to fail the tree: use the default.
        kelLogf("Shared attribute '%s' unreadable, default used. // %s", m_dataName.utf8().c_str(),
                fullName().utf8().c_str());
        kelLogError(e);
    }
    if (found)
        applyValue(stored);
    else if (hasAttr("def-value"))
        applyValue(attr("def-value"));
    m_store = store;
    m_store->addListener(this);
    return {};
}

void CSharedAttribute::applyValue(const CString& v) {
    m_applying = true;
    CError e = setAttr(m_attribute, v, false);
    m_applying = false;
    if (e) kelLogError(e);
}

CError CSharedAttribute::onAttrChanged(const CString& attrName) {
    if (m_store && !m_applying && attrName == m_attribute)
        KEL_TRY(m_store->writeString(m_dataName, attr(m_attribute), this));
    KEL_TRY(CObject::onAttrChanged(attrName));
    return {};
}

CError CSharedAttribute::resetToDefault() {
    KEL_TRY(setAttr(m_attribute, attr("def-value"), false));
    return {};
}

void CSharedAttribute::appDataChanged(CAppData& store, const CString& itemName) {
    if (&store != m_store || itemName != m_dataName) return;
    bool found = false;
    CString v;
    if (CError e = store.readString(m_dataName, &v, &found)) {
        kelLogError(e);
        return;
    }
    applyValue(found ? v : attr("def-value"));
    if (CError e = notify("update")) kelLogError(e);
}
