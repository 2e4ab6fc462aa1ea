#include "cli/PrintableText.h"

namespace vellox::cli {
namespace {

template <typename Keep>
std::string escape_bytes(std::string_view text, Keep keep) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (keep(byte)) {
            out += c;
        } else {
            out += "\\x";
            out += hex[byte >> 4];
            out += hex[byte & 0xF];
        }
    }
    return out;
}

}  // namespace

std::string printable(std::string_view text) {
    return escape_bytes(
        text, [](unsigned char byte) { return byte >= 32 && byte <= 126 && byte != '\\'; });
}

std::string without_controls(std::string_view text) {
    return escape_bytes(text, [](unsigned char byte) { return byte >= 32 && byte != 127; });
}

}  // namespace vellox::cli
