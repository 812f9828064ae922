#pragma once

#include <span>
#include <string_view>
#include <vector>

namespace qv {

// Message n lives at this id + n.
inline constexpr int kMessageBase = 5000;

struct StringEntry {
  int id;
  std::string_view text;
};

// The text with this id; empty when the table has none.
std::string_view LoadString(int id);
bool HasString(int id);
// Ids given more than one text by the subsystems' parts (should be none).
std::vector<int> DuplicateStringIds();

// The parts of the table, one per subsystem file (listed in string_table.cpp).
std::span<const StringEntry> MessageStrings();    // base/message_strings.cpp
std::span<const StringEntry> OperationStrings();  // ops/op_strings.cpp
std::span<const StringEntry> FormatStrings();   // formats/format_strings.cpp
std::span<const StringEntry> AreaStrings();     // area/area_strings.cpp
std::span<const StringEntry> MessageStrings();  // base/message_strings.cpp
std::span<const StringEntry> MenuStrings();     // app/menu_strings.cpp
std::span<const StringEntry> ViewStrings();     // display/view_strings.cpp
std::span<const StringEntry> AnimStrings();     // anim/anim_strings.cpp

}  // namespace qv
