#pragma once
// CFileDialog (tag "ui:file-dialog"): asks the user for a file to open or
// save. It shows the desktop's dialog when there is one
// (Platform/FileDialog.h: zenity or kdialog on Linux, the common dialogs on
// Windows) and otherwise a dialog window of our own (CFileDialogPanel).
// The desktop's dialog on Linux runs as a child process: the dialog polls
// it from a timer of the UI thread ("poll-timer"), so the editor keeps
// handling its events, and delivers the result there.
//
// A request names the mode ("open" or "save"), the title, the file type
// (extension and description: the filter shows "Compressed preset files
// (*.cpf)"), the folder to start in, a proposed file name, and the object
// and event that receive the result. The result event carries "filename"
// (the chosen file's name with its extension), "extension" (without the
// dot), "path" (its folder), "filecount" and, per file i counted from 1,
// "filename<i>" and "extension<i>". A cancelled dialog delivers nothing. A
// name typed without the extension gets it.
//
// Attributes: "use-system-dialog" ("true"; "false" always shows our own).
// Event "show-dialog" reads a request from its attributes: "mode",
// "title", "file-ext", "file-descr", "defpath", "filename", "target" (path
// of the receiver), "result-event".
//
// UI thread only.

#include <memory>
#include <string>
#include <vector>

#include "Core/Object.h"

KELSTR(CFileDialog_createDialog_CreateWin, "Unable to create new window (error %1).");
KELSTR(CFileDialog_handleEvent_InvalidMode, "Invalid file dialog mode.");
// Backends that need a window class of their own for the dialog report
// through this.
KELSTR(CFileDialog_init_RegClassError, "Unable to register window class '%1' (error %2).");
KELSTR(CFileDialog_show_Failed, "The file dialog failed: %1");
KELSTR(CFileDialog_show_NoTarget, "The file dialog has no receiver for its result.");

namespace plat {
class CSystemFileDialog;
}
class CFileDialogPanel;

class CFileDialog : public CObject {
public:
    struct Request {
        CString mode;  // "open" or "save"
        CString title;
        CString extension, description;
        CString folder, fileName;
        CObject* target = nullptr;
        CString resultEvent;
    };

    CFileDialog();
    ~CFileDialog() override;
    static void registerEvents(CClassRecord& record);
    // The owner's child "file-dialog", made when the document gave none.
    static CError ofOwner(CObject* owner, CFileDialog** out);

    // Opens the dialog (one at a time: a new request closes the one open).
    CError show(const Request& request);
    bool isOpen() const;
    // "zenity", "kdialog", "comdlg32", "own", or empty while closed.
    CString backend() const { return m_backend; }
    // The backend of the last dialog shown (kept after it closed).
    CString lastBackend() const { return m_lastBackend; }
    const Request& request() const { return m_request; }
    // Polls the desktop's dialog (the timer calls it) and finishes closing
    // our own.
    CError poll();
    // Our own dialog while it is open.
    CFileDialogPanel* panel() const { return m_panel; }
    // Ends the dialog with chosen files (full paths) or none (cancelled).
    CError finish(const std::vector<CString>& paths);
    // Our own dialog's window went away with its tree.
    void panelDestroyed(CFileDialogPanel* panel);

    // The result attributes of chosen files.
    static CEventParams resultParams(const std::vector<CString>& paths, const CString& extension);

private:
    CError openOwn();
    CError ensureTimer();
    void dropPanel();

    Request m_request;
    CString m_backend, m_lastBackend;
    std::unique_ptr<plat::CSystemFileDialog> m_system;
    CFileDialogPanel* m_panel = nullptr;
    CObject* m_holder = nullptr;  // our own dialog's window (under "ui")
    CString m_closingHolder;      // full name of a closed one, destroyed at the next poll
    CObject* m_timer = nullptr;
};
