#pragma once
// Text helpers of the Win32 backend: the platform interface speaks UTF-8,
// the system's wide-character functions UTF-16.

#include <string>
#include <string_view>

namespace plat::win32 {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view utf16);
// narrow() with backslashes turned into "/" and trailing separators removed.
std::string narrowPath(std::wstring_view utf16);

}  // namespace plat::win32
