// Large buffers that are filled whole soon after they are made: asking for
// 2 MiB pages turns tens of thousands of page faults into a few hundred.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace qv {

// Only advice: where the kernel declines (or on other systems) nothing
// changes. Covers the whole 2 MiB pages inside [block, block + bytes).
inline void AdviseHugePages([[maybe_unused]] void* block, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  constexpr std::uintptr_t kHuge = std::uintptr_t{1} << 21;
  if (!block || bytes < 2 * kHuge) return;
  const auto start = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t from = (start + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t to = (start + bytes) & ~(kHuge - 1);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#endif
}

}  // namespace qv
