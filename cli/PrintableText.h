#pragma once
// Device texts may hold any byte; nothing the device sends reaches the terminal as a control
// sequence.

#include <string>
#include <string_view>

namespace vellox::cli {

// Printable ASCII stays; every other byte (and the backslash) becomes \xHH.
std::string printable(std::string_view text);

// The length of the well-formed UTF-8 sequence of a character beyond ASCII at `i`; 1 for an
// ASCII byte or a byte that starts no well-formed sequence.
std::size_t utf8_length_at(std::string_view text, std::size_t i);

// For device texts already made UTF-8 (HidPlatform::device_text): printable characters stay,
// ASCII and beyond; the bytes of control characters (C0, DEL, C1) and the backslash become \xHH.
std::string printable_text(std::string_view utf8);

// Only control characters become \xHH, so that the text stays one line and no escape
// sequence gets through; other bytes (UTF-8 file names) stay as they are.
std::string without_controls(std::string_view text);

}  // namespace vellox::cli
