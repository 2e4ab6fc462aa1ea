#pragma once
// Two-language text table: lines numbered from 0, in entries of LinesPerEntry lines
// (comment, Chinese, English, empty separator). Plain C++ so that any layer can read it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vellox {

class LanguageTable {
  public:
    LanguageTable() = default;
    explicit LanguageTable(std::vector<std::string> lines) : lines_(std::move(lines)) {}

    // The tables the main window carries: the variant for product identifiers "E2..." (113
    // lines), the other variant (90 lines) and the starting contents of the active table (123).
    static LanguageTable StE2();
    static LanguageTable Zero();
    static LanguageTable InitialStr();

    std::size_t Count() const { return lines_.size(); }
    const std::vector<std::string>& Lines() const { return lines_; }

    // Line n; beyond the last line, the empty text.
    std::string_view Line(std::size_t n) const;

    // The text of an entry in a language: line entry × linesPerEntry + languageIndex + 1.
    std::string_view Text(std::size_t entry, std::uint8_t linesPerEntry,
                          std::uint8_t languageIndex) const;

    // Clears this table, then appends every line of the variant in order.
    void CopyFrom(const LanguageTable& variant);

    bool operator==(const LanguageTable&) const = default;

  private:
    std::vector<std::string> lines_;
};

}  // namespace vellox
