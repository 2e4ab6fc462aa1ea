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

std::size_t utf8_length_at(std::string_view text, std::size_t i) {
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = at(0);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
    if (lead < 0xC2 || lead > 0xF4 || i + length > text.size()) return 1;
    for (std::size_t k = 1; k < length; ++k) {
        if ((at(k) & 0xC0) != 0x80) return 1;
    }
    // No overlong forms, surrogates or code points beyond U+10FFFF.
    if ((lead == 0xE0 && at(1) < 0xA0) || (lead == 0xED && at(1) >= 0xA0) ||
        (lead == 0xF0 && at(1) < 0x90) || (lead == 0xF4 && at(1) >= 0x90)) {
        return 1;
    }
    return length;
}

std::string printable_text(std::string_view utf8) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        const std::size_t length = utf8_length_at(utf8, i);
        // A C1 control (U+0080..U+009F) is C2 80..C2 9F.
        const bool c1 =
            length == 2 && byte == 0xC2 && static_cast<unsigned char>(utf8[i + 1]) < 0xA0;
        if (length == 1 || c1) {
            out += printable(utf8.substr(i, length));
        } else {
            out += utf8.substr(i, length);
        }
        i += length;
    }
    return out;
}

std::string without_controls(std::string_view text) {
    return escape_bytes(text, [](unsigned char byte) { return byte >= 32 && byte != 127; });
}

}  // namespace vellox::cli
