#pragma once
// The program's arguments on Windows, taken in their wide form and returned as UTF-8: the ANSI
// form would turn an image name in another script into question marks.

#include <string>
#include <vector>

namespace vellox::cli {

std::vector<std::string> windows_arguments();

}  // namespace vellox::cli
