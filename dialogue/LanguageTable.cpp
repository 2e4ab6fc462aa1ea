#include "dialogue/LanguageTable.h"

#include <array>
#include <initializer_list>

namespace vellox {
namespace {

struct Entry {
    const char* comment;
    const char* chinese;
    const char* english;
};

// Entries 0 to 13 are shared by every table; the switch reads 0 to 3, 11 and 12.
constexpr std::array<Entry, 14> kCommonEntries{{
    {";语言", "English", "中文"},
    {";写按键", "升级", "Download"},
    {";查询", "查询", "Query"},
    {";读", "读出", "Read"},
    {";备用键", "备用键", "Backup"},
    {";备用键", "备用键", "Backup"},
    {";备用键", "备用键", "Backup"},
    {";备用键", "备用键", "Backup"},
    {";备用键", "备用键", "Backup"},
    {";备用键", "备用键", "Backup"},
    {";备用键", "备用键", "Backup"},
    {";信息表头", "信息", "Information"},
    {";信息内容", "内容", "Content"},
    {";硬件版本", "硬件版本", "Hardware Version"},
}};

constexpr std::array<Entry, 14> kStE2Entries{{
    {";硬件日期", "硬件日期", "Hardware Date"},
    {";Boot版本", "Boot版本", "Boot Version"},
    {";Boot日期", "Boot日期", "Boot Date"},
    {";Application版本", "应用程序版本", "Application Version"},
    {";Application日期", "应用程序日期", "Application Date"},
    {";RF版本", "无线版本", "RF Version"},
    {";RF日期", "无线日期", "RF Date"},
    {";Icon版本", "图标版本", "Icon Version"},
    {";版本备用", "硬件版本", "Hardware Version"},
    {";版本备用", "硬件版本", "Hardware Version"},
    {";版本备用", "硬件版本", "Hardware Version"},
    {";版本备用", "硬件版本", "Hardware Version"},
    {";版本备用", "硬件版本", "Hardware Version"},
    {";版本备用", "硬件版本", "Hardware Version"},
}};

constexpr std::array<Entry, 5> kZeroEntries{{
    {";硬件名称", "产品", "Product ID"},
    {";Application版本", "应用程序版本", "Application Version"},
    {";RF版本", "无线版本", "RF Version"},
    {";Icon版本", "图标版本", "Icon Version"},
    {";Application SN", "应用程序系列码", "SN"},
}};

template <std::size_t N>
void Append(std::vector<std::string>& lines, const std::array<Entry, N>& entries) {
    for (const Entry& e : entries) {
        lines.emplace_back(e.comment);
        lines.emplace_back(e.chinese);
        lines.emplace_back(e.english);
        lines.emplace_back();
    }
}

LanguageTable Build(std::initializer_list<void (*)(std::vector<std::string>&)> parts,
                    std::size_t trailingEmpty) {
    std::vector<std::string> lines;
    for (auto part : parts) part(lines);
    lines.resize(lines.size() + trailingEmpty);
    return LanguageTable(std::move(lines));
}

void Common(std::vector<std::string>& l) { Append(l, kCommonEntries); }
void StE2Tail(std::vector<std::string>& l) { Append(l, kStE2Entries); }
void ZeroTail(std::vector<std::string>& l) { Append(l, kZeroEntries); }

}  // namespace

LanguageTable LanguageTable::StE2() { return Build({Common, StE2Tail}, 1); }
LanguageTable LanguageTable::Zero() { return Build({Common, ZeroTail}, 14); }
LanguageTable LanguageTable::InitialStr() { return Build({Common, StE2Tail}, 11); }

std::string_view LanguageTable::Line(std::size_t n) const {
    if (n >= lines_.size()) return {};
    return lines_[n];
}

std::string_view LanguageTable::Text(std::size_t entry, std::uint8_t linesPerEntry,
                                     std::uint8_t languageIndex) const {
    if (linesPerEntry != 0 && entry > (lines_.size() + 1) / linesPerEntry) return {};
    return Line(entry * linesPerEntry + languageIndex + 1);
}

void LanguageTable::CopyFrom(const LanguageTable& variant) {
    lines_.clear();
    lines_.insert(lines_.end(), variant.lines_.begin(), variant.lines_.end());
}

}  // namespace vellox
