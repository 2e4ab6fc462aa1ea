#include "cli/station/windows/WindowsCommandLine.h"

namespace vellox::cli {

std::string quote_windows_argument(std::string_view argument) {
    if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string_view::npos) {
        return std::string(argument);
    }
    std::string quoted = "\"";
    std::size_t backslashes = 0;
    for (const char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count double only before a quote: doubled, and the quote escaped.
        if (c == '"') {
            quoted.append(2 * backslashes + 1, '\\');
        } else {
            quoted.append(backslashes, '\\');
        }
        backslashes = 0;
        quoted += c;
    }
    // Before the closing quote, too.
    quoted.append(2 * backslashes, '\\');
    quoted += '"';
    return quoted;
}

std::string windows_command_line(const std::vector<std::string>& argv) {
    std::string line;
    for (std::size_t i = 0; i < argv.size(); ++i) {
        if (i == 0) {
            line += '"' + argv[0] + '"';
        } else {
            line += ' ' + quote_windows_argument(argv[i]);
        }
    }
    return line;
}

}  // namespace vellox::cli
