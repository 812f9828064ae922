#pragma once

#include <string_view>

namespace qv {

// Message n lives at this id + n.
inline constexpr int kMessageBase = 5000;

// The text with this id; empty when the table has none.
std::string_view LoadString(int id);
bool HasString(int id);

}  // namespace qv
