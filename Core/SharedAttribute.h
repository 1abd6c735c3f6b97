#pragma once
// CSharedAttribute (tag core:shared-attribute): keeps one attribute of this
// object in an application data store, so that it survives the editor and is
// shared by every editor of the process.
//
// Attributes: "storage-type" ("global", "group" or "local"), "attribute" (the
// name of the kept attribute of this object), "data-name" (the store item;
// when empty, the object's full name with characters that do not belong in
// a file name replaced by "_"), "def-value" (used when the store has no
// value).
//
// At init the kept attribute takes the stored value (or "def-value"). Setting
// the kept attribute afterwards writes it to the store as a "dstr" item; the
// store then informs its other listeners. When another object writes the
// item, the kept attribute takes the new value and "update" is notified to
// this object's listeners. Values are taken literally (no brace resolution).
//
// Threads: store updates arrive on the writing thread; like every object of
// a tree, shared attributes are written and updated on the UI thread.

#include "Core/AppData.h"
#include "Core/Object.h"

KELSTR(CSharedAttribute_init_InvalidStorageType, "Invalid storage type \"%1\" specified.");
KELSTR(CSharedAttribute_init_NoAttribute, "No attached attribute name specified.");

class CSharedAttribute : public CObject, public CAppDataListener {
public:
    CSharedAttribute();
    ~CSharedAttribute() override;

    static void registerEvents(CClassRecord& record);
    CError init() override;
    CError onAttrChanged(const CString& attrName) override;
    void appDataChanged(CAppData& store, const CString& itemName) override;

    // The kept attribute's value.
    CString value() const { return attr(m_attribute); }
    CError setValue(const CString& v) { return setAttr(m_attribute, v, false); }
    // Sets the kept attribute to "def-value" (which writes it to the store).
    CError resetToDefault();

    CAppData* store() const { return m_store; }
    const CString& dataName() const { return m_dataName; }
    const CString& keptAttribute() const { return m_attribute; }

    // The store item name used when "data-name" is empty.
    static CString dataNameFromFullName(const CString& fullName);

private:
    // Sets the kept attribute without writing it back.
    void applyValue(const CString& v);

    CAppData* m_store = nullptr;
    CString m_attribute;
    CString m_dataName;
    bool m_applying = false;
};
