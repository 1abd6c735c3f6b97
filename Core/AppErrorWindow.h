#pragma once
// The application error window: shown for a failing start-up, a failing
// instance initialisation and a failing editor attach. The error is always
// logged first; the window itself appears only while message display is
// enabled (the default). How it is shown is replaceable; by default the
// platform shows it (a window; on POSIX also standard error).

#include <string>

#include "Core/Error.h"

class CAppErrorWindow {
public:
    static constexpr const char* kTitle = "Kelvane Application Message";
    static constexpr const char* kClassName = "ErrorWindowClass";
    static constexpr const char* kFont = "Verdana";

    // Shows (title, explanatory text, details text).
    using Display = void (*)(const std::string& title, const std::string& text, const std::string& details);

    static void show(const CError& err);
    // The explanatory text and the details block ("<no details>" without a record).
    static std::string text();
    static std::string details(const CError& err);

    static void setDisplay(Display display);  // nullptr: the platform's display
    static void enableMessages(bool on);
    static bool messagesEnabled();
};
