#pragma once
// UTF-8 (the engines' texts) to and from UTF-16 (the Win32 wide calls).

#include <string>
#include <string_view>

namespace vellox::win32 {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace vellox::win32
