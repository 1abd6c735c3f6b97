#pragma once
// The error window of the Win32 backend in two steps, so that it can be
// inspected between them.

#include "Platform/ErrorWindow.h"

namespace plat::win32 {

// Control ids of the two children.
constexpr int kErrorTextId = 101;     // "STATIC": the explanation
constexpr int kErrorDetailsId = 102;  // "EDIT": the details, read-only, selected

// Registers the window class and creates the visible window (an HWND);
// nullptr when the system refuses.
void* createErrorWindow(const ErrorWindowContent& content);
// Runs messages until the window is closed (close box, Escape, Enter), then
// unregisters the class. A quit message that arrives meanwhile is passed on.
void runErrorWindow(void* window, const ErrorWindowContent& content);

}  // namespace plat::win32
