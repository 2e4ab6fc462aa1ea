#include "cli/station/JsonLine.h"

#include <cctype>
#include <charconv>
#include <cmath>

namespace vellox::cli {
namespace {

class Reader {
  public:
    explicit Reader(std::string_view text) : text_(text) {}

    void skip_space() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                       text_[pos_] == '\r' || text_[pos_] == '\n')) {
            ++pos_;
        }
    }
    bool take(char c) {
        skip_space();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool peek(char c) {
        skip_space();
        return pos_ < text_.size() && text_[pos_] == c;
    }
    bool at_end() {
        skip_space();
        return pos_ == text_.size();
    }
    bool take_word(std::string_view word) {
        skip_space();
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }

    std::optional<std::string> string() {
        if (!take('"')) return std::nullopt;
        std::string out;
        while (pos_ < text_.size()) {
            const char c = text_[pos_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) return std::nullopt;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size()) return std::nullopt;
            const char e = text_[pos_++];
            switch (e) {
                case '"':
                case '\\':
                case '/':
                    out += e;
                    break;
                case 'b':
                    out += '\b';
                    break;
                case 'f':
                    out += '\f';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'u': {
                    if (pos_ + 4 > text_.size()) return std::nullopt;
                    unsigned code = 0;
                    const char* first = text_.data() + pos_;
                    auto [ptr, ec] = std::from_chars(first, first + 4, code, 16);
                    if (ec != std::errc{} || ptr != first + 4) return std::nullopt;
                    pos_ += 4;
                    append_code(out, code);
                    break;
                }
                default:
                    return std::nullopt;
            }
        }
        return std::nullopt;
    }

    std::optional<double> number() {
        skip_space();
        const std::size_t start = pos_;
        while (pos_ < text_.size() &&
               (std::isdigit(static_cast<unsigned char>(text_[pos_])) || text_[pos_] == '-' ||
                text_[pos_] == '+' || text_[pos_] == '.' || text_[pos_] == 'e' ||
                text_[pos_] == 'E')) {
            ++pos_;
        }
        double value = 0;
        const char* first = text_.data() + start;
        const char* last = text_.data() + pos_;
        auto [ptr, ec] = std::from_chars(first, last, value);
        if (start == pos_ || ec != std::errc{} || ptr != last || !std::isfinite(value)) {
            return std::nullopt;
        }
        return value;
    }

    // Passes over an array or object (nested values are not kept); false when malformed.
    bool skip_container(int depth = 0) {
        if (depth > 32) return false;
        const char open = peek('[') ? '[' : '{';
        const char close = open == '[' ? ']' : '}';
        if (!take(open)) return false;
        if (take(close)) return true;
        do {
            if (open == '{' && (!string() || !take(':'))) return false;
            if (!skip_value(depth)) return false;
        } while (take(','));
        return take(close);
    }
    bool skip_value(int depth) {
        if (peek('[') || peek('{')) return skip_container(depth + 1);
        if (peek('"')) return string().has_value();
        if (take_word("true") || take_word("false") || take_word("null")) return true;
        return number().has_value();
    }

  private:
    // Code points up to 0xFF stand for the byte of that number (the writer's convention);
    // anything above is kept as UTF-8.
    static void append_code(std::string& out, unsigned code) {
        if (code <= 0xFF) {
            out += static_cast<char>(code);
        } else if (code <= 0x7FF) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace

std::optional<JsonLine> JsonLine::parse(std::string_view text) {
    Reader in(text);
    JsonLine line;
    if (!in.take('{')) return std::nullopt;
    if (!in.take('}')) {
        do {
            auto key = in.string();
            if (!key || !in.take(':')) return std::nullopt;
            Member member{Member::Kind::Null, {}, 0, false};
            if (in.peek('"')) {
                auto value = in.string();
                if (!value) return std::nullopt;
                member.kind = Member::Kind::String;
                member.string = std::move(*value);
            } else if (in.take_word("true")) {
                member.kind = Member::Kind::Bool;
                member.flag = true;
            } else if (in.take_word("false")) {
                member.kind = Member::Kind::Bool;
            } else if (in.take_word("null")) {
                member.kind = Member::Kind::Null;
            } else if (in.peek('[') || in.peek('{')) {
                // Nested values are not kept; the member reads as null.
                if (!in.skip_container()) return std::nullopt;
            } else if (auto value = in.number()) {
                member.kind = Member::Kind::Number;
                member.number = *value;
            } else {
                return std::nullopt;
            }
            line.members_[std::move(*key)] = std::move(member);
        } while (in.take(','));
        if (!in.take('}')) return std::nullopt;
    }
    if (!in.at_end()) return std::nullopt;
    return line;
}

std::string JsonLine::text(std::string_view key) const {
    auto it = members_.find(key);
    if (it == members_.end() || it->second.kind != Member::Kind::String) return {};
    return it->second.string;
}

std::optional<std::int64_t> JsonLine::number(std::string_view key) const {
    auto it = members_.find(key);
    if (it == members_.end() || it->second.kind != Member::Kind::Number) return std::nullopt;
    const double value = it->second.number;
    if (value < -9.0e18 || value > 9.0e18) return std::nullopt;
    return static_cast<std::int64_t>(value);
}

std::optional<bool> JsonLine::flag(std::string_view key) const {
    auto it = members_.find(key);
    if (it == members_.end() || it->second.kind != Member::Kind::Bool) return std::nullopt;
    return it->second.flag;
}

}  // namespace vellox::cli
