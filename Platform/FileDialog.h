#pragma once
// The desktop's open and save dialogs for files, and folder listings for a
// dialog of our own where the desktop offers none.
//
// Backends: Posix/ runs "zenity" (or, without it, "kdialog") as a child
// process found on PATH; its standard output is read through a non-blocking
// pipe, so the caller polls from its UI thread and its event handling goes
// on while the dialog is open. Win32/ shows the common dialogs
// (GetOpenFileNameW / GetSaveFileNameW), which run modally on the calling
// thread: their result is ready at the first poll.
//
// Paths use "/" separators on every platform.

#include <memory>
#include <string>
#include <vector>

namespace plat {

struct FileDialogFilter {
    std::string description;  // "Compressed preset files"
    std::string extension;    // "cpf" (without the dot)
};

struct FileDialogRequest {
    bool save = false;
    std::string title;
    std::string folder;    // where the dialog starts (empty: the system's choice)
    std::string fileName;  // proposed name (save)
    std::vector<FileDialogFilter> filters;
    void* parentWindow = nullptr;  // native parent (HWND on Windows; unused on X11)
};

// The filter entry as dialogs show it: description + " (*." + ext + ")".
std::string fileDialogFilterText(const FileDialogFilter& filter);

struct FileDialogResult {
    enum class Status { Pending, Chosen, Cancelled, Failed };
    Status status = Status::Pending;
    std::vector<std::string> paths;  // full paths of the chosen files
    std::string error;               // Failed: what went wrong
};

class CSystemFileDialog {
public:
    virtual ~CSystemFileDialog() = default;
    // Starts the desktop's dialog; nullptr when the desktop offers none (the
    // caller shows its own), with *error set when one exists but failed to
    // start.
    static std::unique_ptr<CSystemFileDialog> start(const FileDialogRequest& request, std::string* error);
    // Name of the program or API that shows the dialog ("zenity", "kdialog",
    // "comdlg32").
    virtual const char* backend() const = 0;
    // Never blocks on Posix; the result once the dialog is done, Pending
    // before.
    virtual FileDialogResult poll() = 0;
    // Closes a dialog still open (the destructor does so too).
    virtual void cancel() = 0;
};

// The sub-folders and files of a folder, each sorted by name (without "."
// and ".."; hidden entries, those starting with ".", are left out). False
// when the folder cannot be read.
bool listFolder(const std::string& folder, std::vector<std::string>* folders, std::vector<std::string>* files);

// The user's home folder (empty when unknown).
std::string homeFolder();

}  // namespace plat
