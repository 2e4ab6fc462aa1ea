#pragma once
// Just enough of a JSON reader to parse the command line's output back in tests. Throws
// std::runtime_error on anything malformed, so a broken writer cannot pass unnoticed.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace minijson {

struct Value {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Value> array;
    std::vector<std::pair<std::string, Value>> object;

    const Value& operator[](std::string_view key) const {
        for (const auto& [k, v] : object) {
            if (k == key) return v;
        }
        throw std::runtime_error("no member " + std::string(key));
    }
    bool has(std::string_view key) const {
        for (const auto& member : object) {
            if (member.first == key) return true;
        }
        return false;
    }
};

class Parser {
  public:
    explicit Parser(std::string_view text) : text_(text) {}

    Value parse_document() {
        Value v = parse_value();
        skip_space();
        if (pos_ != text_.size()) fail("trailing text");
        return v;
    }

  private:
    [[noreturn]] void fail(const std::string& what) {
        throw std::runtime_error("json: " + what + " at " + std::to_string(pos_));
    }
    void skip_space() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\n' ||
                                       text_[pos_] == '\t' || text_[pos_] == '\r')) {
            ++pos_;
        }
    }
    char peek() {
        skip_space();
        if (pos_ >= text_.size()) fail("unexpected end");
        return text_[pos_];
    }
    void expect(char c) {
        if (peek() != c) fail(std::string("expected ") + c);
        ++pos_;
    }
    bool take_word(std::string_view word) {
        if (text_.substr(pos_, word.size()) != word) return false;
        pos_ += word.size();
        return true;
    }
    std::string parse_string() {
        expect('"');
        std::string out;
        while (true) {
            if (pos_ >= text_.size()) fail("unterminated string");
            const char c = text_[pos_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) fail("raw control character");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= text_.size()) fail("bad escape");
            const char e = text_[pos_++];
            switch (e) {
                case '"':
                    out += '"';
                    break;
                case '\\':
                    out += '\\';
                    break;
                case '/':
                    out += '/';
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
                    if (pos_ + 4 > text_.size()) fail("short \\u");
                    const unsigned code =
                        std::stoul(std::string(text_.substr(pos_, 4)), nullptr, 16);
                    pos_ += 4;
                    if (code > 0xFF) fail("code point beyond one byte");
                    out += static_cast<char>(code);
                    break;
                }
                default:
                    fail("bad escape");
            }
        }
    }
    Value parse_value() {
        Value v;
        const char c = peek();
        if (c == '{') {
            v.kind = Value::Kind::Object;
            ++pos_;
            if (peek() == '}') {
                ++pos_;
                return v;
            }
            while (true) {
                std::string key = parse_string();
                expect(':');
                v.object.emplace_back(std::move(key), parse_value());
                if (peek() == ',') {
                    ++pos_;
                    continue;
                }
                expect('}');
                return v;
            }
        }
        if (c == '[') {
            v.kind = Value::Kind::Array;
            ++pos_;
            if (peek() == ']') {
                ++pos_;
                return v;
            }
            while (true) {
                v.array.push_back(parse_value());
                if (peek() == ',') {
                    ++pos_;
                    continue;
                }
                expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.kind = Value::Kind::String;
            v.string = parse_string();
            return v;
        }
        if (take_word("true") || take_word("false")) {
            v.kind = Value::Kind::Bool;
            v.boolean = text_[pos_ - 1] == 'e' && text_[pos_ - 2] == 'u';
            return v;
        }
        if (take_word("null")) return v;
        const std::size_t start = pos_;
        if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
        while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
        if (start == pos_) fail("unexpected character");
        v.kind = Value::Kind::Number;
        v.number = std::stod(std::string(text_.substr(start, pos_ - start)));
        return v;
    }

    std::string_view text_;
    std::size_t pos_ = 0;
};

inline Value parse(std::string_view text) { return Parser(text).parse_document(); }

}  // namespace minijson
