#include "cli/Json.h"

#include <cstdint>

namespace vellox::cli {

std::string json_text(const Json& value) {
    return value.dump(-1, ' ', false, nlohmann::detail::error_handler_t::replace);
}

std::optional<Json> parse_json_object(std::string_view line) {
    Json value = Json::parse(line, nullptr, false);
    if (!value.is_object()) return std::nullopt;
    return value;
}

namespace {

const Json* member(const Json& object, std::string_view key) {
    if (!object.is_object()) return nullptr;
    const auto it = object.find(key);
    return it == object.end() ? nullptr : &*it;
}

}  // namespace

std::string json_string(const Json& object, std::string_view key) {
    const Json* value = member(object, key);
    return value && value->is_string() ? value->get<std::string>() : std::string();
}

std::optional<std::int64_t> json_number(const Json& object, std::string_view key) {
    const Json* value = member(object, key);
    if (!value || !value->is_number()) return std::nullopt;
    if (value->is_number_float()) {
        // Out of range, the conversion would be undefined.
        const double number = value->get<double>();
        if (!(number >= -9.0e18 && number <= 9.0e18)) return std::nullopt;
        return static_cast<std::int64_t>(number);
    }
    if (value->is_number_unsigned() &&
        value->get<std::uint64_t>() > static_cast<std::uint64_t>(INT64_MAX)) {
        return std::nullopt;
    }
    return value->get<std::int64_t>();
}

std::optional<bool> json_flag(const Json& object, std::string_view key) {
    const Json* value = member(object, key);
    if (!value || !value->is_boolean()) return std::nullopt;
    return value->get<bool>();
}

}  // namespace vellox::cli
