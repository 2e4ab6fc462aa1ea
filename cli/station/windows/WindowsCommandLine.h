#pragma once
// A Windows command line from an argument list: each argument quoted so that
// CommandLineToArgvW (and the C runtime's parser, which follows the same rules) gives it back
// as it was. Plain text on UTF-8 strings: the characters that matter (space, tab, quote,
// backslash) are never part of a multi-byte sequence, so it runs and is tested on any system.

#include <string>
#include <string_view>
#include <vector>

namespace vellox::cli {

// One argument after the first, quoted only where it has to be.
std::string quote_windows_argument(std::string_view argument);

// The whole line. The program's name (the first) is read by simpler rules (no escapes: a
// quote only starts or ends a quoted part) and cannot hold a quote on Windows; it is always
// quoted, so spaces in it are kept.
std::string windows_command_line(const std::vector<std::string>& argv);

}  // namespace vellox::cli
