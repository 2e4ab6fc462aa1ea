#pragma once
// JSON for the command line's output, the station's log and the lines its workers print, by
// one library (nlohmann's): objects keep their members in the order they were added.

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace vellox::cli {

using Json = nlohmann::ordered_json;

// Compact text on one line, always UTF-8: strings are taken as UTF-8 (device texts are made so
// by the platform), and a byte that starts no well-formed sequence becomes U+FFFD.
std::string json_text(const Json& value);

// One line read back: an object, or nullopt for a torn or garbled line or any other value, so
// that a reader can skip it.
std::optional<Json> parse_json_object(std::string_view line);

// Members of an object, as a reader of another program's lines takes them: absent or of
// another type, a string is empty and a number or flag nullopt.
std::string json_string(const Json& object, std::string_view key);
std::optional<std::int64_t> json_number(const Json& object, std::string_view key);
std::optional<bool> json_flag(const Json& object, std::string_view key);

}  // namespace vellox::cli
