#include "base/crt_random.h"


namespace qv {

void Srand(std::uint32_t seed) { RandomState().state = seed; }

int Rand() {
  std::uint32_t& s = RandomState().state;
  s = s * 214013u + 2531011u;
  return static_cast<int>((s >> 16) & 0x7FFF);
}

}  // namespace qv
