#include "Core/AppErrorWindow.h"

#include <atomic>

#include "Core/Log.h"
#include "Platform/ErrorWindow.h"

namespace {
// The system's display: a window of class "ErrorWindowClass" with the texts
// in "Verdana" (standard error where there is no window system).
void systemDisplay(const std::string& title, const std::string& text, const std::string& details) {
    plat::showErrorWindow({CAppErrorWindow::kClassName, CAppErrorWindow::kFont, title, text, details});
}
std::atomic<CAppErrorWindow::Display> g_display{&systemDisplay};
std::atomic<bool> g_enabled{true};
}  // namespace

std::string CAppErrorWindow::text() {
    return "An issue has happened when executing Kelvane application.\r\n\r\n"
           "Please contact Kelvane support staff: copy the information below to the clipboard "
           "(select the text and press Ctrl+Insert) and send it by e-mail to support@kelvane.example.";
}

std::string CAppErrorWindow::details(const CError& err) {
    if (!err) return "<no details>";
    std::string out;
    for (const auto& l : err.lines()) out += l.utf8() + "\r\n";
    return out;
}

void CAppErrorWindow::show(const CError& err) {
    kelLogError(err);
    if (!g_enabled.load()) return;
    g_display.load()(kTitle, text(), details(err));
}

void CAppErrorWindow::setDisplay(Display display) { g_display.store(display ? display : &systemDisplay); }
void CAppErrorWindow::enableMessages(bool on) { g_enabled.store(on); }
bool CAppErrorWindow::messagesEnabled() { return g_enabled.load(); }
