// Copying into the fixed-size, NUL-terminated text fields of plain records.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace qv {

// Copies at most N - 1 characters and always terminates.
template <std::size_t N>
void CopyText(char (&dst)[N], std::string_view src) {
  std::size_t n = std::min(src.size(), N - 1);
  std::copy_n(src.data(), n, dst);
  std::fill(dst + n, dst + N, '\0');
}

}  // namespace qv
