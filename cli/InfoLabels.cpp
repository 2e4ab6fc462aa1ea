#include "cli/InfoLabels.h"

#include <array>

namespace vellox::cli {
namespace {

constexpr std::array<std::string_view, InfoFieldCount> language0_labels = {
    "Hardware Version", "Product ID", "Application Version", "RF Version", "Icon Version", "SN",
};

constexpr std::array<std::string_view, InfoFieldCount> st_e2_labels = {
    "Hardware Version", "Hardware Date",       "Boot Version",
    "Boot Date",        "Application Version", "Application Date",
};

}  // namespace

std::string_view info_label(LabelTable table, int field) {
    if (field < 0 || field >= InfoFieldCount) return {};
    const auto& labels = table == LabelTable::Language_st_e2 ? st_e2_labels : language0_labels;
    return labels[static_cast<std::size_t>(field)];
}

std::string_view label_table_name(LabelTable table) {
    return table == LabelTable::Language_st_e2 ? "Language_st_e2" : "Language0";
}

}  // namespace vellox::cli
