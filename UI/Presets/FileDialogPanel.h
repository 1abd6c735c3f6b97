#pragma once
// CFileDialogPanel (tag "ui:file-dialog-panel"): the root view of our own
// file dialog, for desktops without a dialog program. It shows the current
// folder, a list of its sub-folders (".." first) and a list of its files of
// the requested type, a name field and the buttons OK and Cancel. A double
// click on a folder enters it, a click on a file puts its name in the
// field, a double click on a file or OK (or Return in the field) chooses
// the name in the field in the current folder; Cancel or Escape closes
// without a choice. Built in code by CFileDialog (build()).

#include <vector>

#include "UI/View/View.h"

class CFileDialog;
class CItemList;
class CTextField;
class CTextView;

class CFileDialogPanel : public CView {
public:
    ~CFileDialogPanel() override;
    static void registerEvents(CClassRecord& record);
    CError initLinks() override;

    // The dialog's window as a tree: a holder object with a window renderer
    // whose root view is a panel, for the mode ("open"/"save"), title and
    // file type.
    static std::unique_ptr<CObject> build(const CString& holderName, const CString& title, bool save);

    void setOwner(CFileDialog* owner) { m_owner = owner; }
    // Shows a folder and the files of the extension in it.
    CError showFolder(const CString& folder, const CString& extension);
    const CString& folder() const { return m_folder; }
    CItemList* folderList() const { return m_folders; }
    CItemList* fileList() const { return m_files; }
    CTextField* nameField() const { return m_name; }
    CError setFileName(const CString& name);

    CError ok();
    CError cancel();

private:
    CError enterFolder(int row);
    CError fileSelected(int row, bool chosen);

    CFileDialog* m_owner = nullptr;
    CString m_folder, m_extension;
    CTextView* m_path = nullptr;
    CItemList* m_folders = nullptr;
    CItemList* m_files = nullptr;
    CTextField* m_name = nullptr;
};
