#pragma once
// The system display of the application error window: a window of its own
// with the explanatory text and a selectable details field.

#include <string>

namespace plat {

struct ErrorWindowContent {
    std::string windowClass;  // the window's class name
    std::string font;         // face name of the font of both texts
    std::string title;
    std::string text;         // the explanation ("\r\n" line ends)
    std::string details;      // the error lines, each ended by "\r\n"
};

// Shows the window. Windows: returns once the user has closed it. POSIX:
// title, text and details go to standard error, and where an X display is
// reachable the window shows on a thread of its own (this returns at once;
// one window at a time; it closes on a click or key, or at module unload).
void showErrorWindow(const ErrorWindowContent& content);

}  // namespace plat
