#include "cli/InfoLabels.h"

#include "dialogue/LanguageTable.h"

namespace vellox::cli {

std::string_view info_label(LabelTable table, int field) {
    if (field < 0 || field >= InfoFieldCount) return {};
    // The window's own tables: a field's label is entry 13 + field, English being language 1.
    static const LanguageTable language0 = LanguageTable::Zero();
    static const LanguageTable st_e2 = LanguageTable::StE2();
    const LanguageTable& labels = table == LabelTable::Language_st_e2 ? st_e2 : language0;
    return labels.Text(13 + static_cast<std::size_t>(field), 4, 1);
}

std::string_view label_table_name(LabelTable table) {
    return table == LabelTable::Language_st_e2 ? "Language_st_e2" : "Language0";
}

}  // namespace vellox::cli
