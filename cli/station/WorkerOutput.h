#pragma once
// A worker's output as lines, the same on every system: what a pipe delivered is kept in a
// buffer until its line is complete.

#include <string>
#include <vector>

namespace vellox::cli {

// Takes the whole lines out of `buffer`; at the end of the output (`open` false) an unfinished
// last line counts as a line.
inline std::vector<std::string> take_lines(std::string& buffer, bool open) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = buffer.find('\n', start)) != std::string::npos; start = nl + 1) {
        lines.push_back(buffer.substr(start, nl - start));
    }
    buffer.erase(0, start);
    if (!open && !buffer.empty()) lines.push_back(std::move(buffer));
    if (!open) buffer.clear();
    return lines;
}

// The lines of standard error: the first non-empty one is kept in `first`, as the worker's
// message (later lines are consequences of it).
inline std::vector<std::string> take_error_lines(std::string& buffer, bool open,
                                                 std::string& first) {
    std::vector<std::string> lines = take_lines(buffer, open);
    // A redrawing progress line would otherwise grow without end.
    if (buffer.size() > 4096) buffer.erase(0, buffer.size() - 4096);
    for (const std::string& line : lines) {
        if (first.empty()) first = line;
    }
    return lines;
}

}  // namespace vellox::cli
