#pragma once
// Device texts may hold any byte; nothing the device sends reaches the terminal as a control
// sequence.

#include <string>
#include <string_view>

namespace vellox::cli {

// Printable ASCII stays; every other byte (and the backslash) becomes \xHH.
std::string printable(std::string_view text);

// Only control characters become \xHH, so that the text stays one line and no escape
// sequence gets through; other bytes (UTF-8 file names) stay as they are.
std::string without_controls(std::string_view text);

}  // namespace vellox::cli
