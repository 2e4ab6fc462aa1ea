#pragma once
// Device texts may hold any byte; nothing the device sends reaches the terminal as a control
// sequence.

#include <string>
#include <string_view>

namespace vellox::cli {

// Printable ASCII stays; every other byte (and the backslash) becomes \xHH.
std::string printable(std::string_view text);

}  // namespace vellox::cli
