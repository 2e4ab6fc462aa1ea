#pragma once
// A small writer of compact JSON text, enough for the command line's objects and event lines.
// Strings are UTF-8 (device texts are made so by the platform): well-formed sequences go as
// they are; control characters are escaped, C1 ones too; a byte that starts no well-formed
// sequence is written as the code point of the same number (\u0080..\u00FF), never as a
// broken UTF-8 sequence.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vellox::cli {

class JsonWriter {
  public:
    JsonWriter& begin_object();
    JsonWriter& end_object();
    JsonWriter& begin_array();
    JsonWriter& end_array();
    // A member name inside an object; the value follows with one of the calls below.
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& value(std::int64_t number);
    JsonWriter& value(int number) { return value(static_cast<std::int64_t>(number)); }
    JsonWriter& value(std::uint32_t number) { return value(static_cast<std::int64_t>(number)); }
    JsonWriter& value(bool flag);
    JsonWriter& null();

    const std::string& text() const { return out_; }

    static std::string quote(std::string_view text);

  private:
    void separate();

    std::string out_;
    // Per open container: true until its first element is written.
    std::vector<bool> first_;
    bool after_key_ = false;
};

}  // namespace vellox::cli
