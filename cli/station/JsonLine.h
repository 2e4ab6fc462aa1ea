#pragma once
// Reads one line of JSON, the shape of the station's log lines and of the lines a worker
// prints: an object whose members of interest are strings, numbers, booleans or null (arrays
// and objects inside are passed over). Anything else (a torn or garbled line) gives nullopt,
// so a reader can skip it.
// Strings come back byte for byte as JsonWriter wrote them: \u0000..\u00FF become one byte.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vellox::cli {

class JsonLine {
  public:
    static std::optional<JsonLine> parse(std::string_view text);

    bool has(std::string_view key) const { return members_.count(std::string(key)) != 0; }
    // The member as a string; empty when absent or not a string.
    std::string text(std::string_view key) const;
    std::optional<std::int64_t> number(std::string_view key) const;
    std::optional<bool> flag(std::string_view key) const;

  private:
    struct Member {
        enum class Kind { String, Number, Bool, Null } kind;
        std::string string;
        double number = 0;
        bool flag = false;
    };
    std::map<std::string, Member, std::less<>> members_;
};

}  // namespace vellox::cli
