#pragma once
// English labels of the six information fields, as the window's grid shows them, for both
// label tables.

#include <string_view>

#include "dialogue/DialogueHost.h"

namespace vellox::cli {

inline constexpr int InfoFieldCount = 6;

// The label of field 0..5 under `table`; empty for other field numbers.
std::string_view info_label(LabelTable table, int field);

std::string_view label_table_name(LabelTable table);

}  // namespace vellox::cli
