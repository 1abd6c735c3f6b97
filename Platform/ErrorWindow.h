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

// Shows the window and returns once the user has closed it. Where there is
// no window system (the POSIX backend), title, text and details go to
// standard error.
void showErrorWindow(const ErrorWindowContent& content);

}  // namespace plat
