#include "app/crt_random.h"

#include "app/program.h"

namespace qv {

void Srand(std::uint32_t seed) { TheProgram().random.state = seed; }

int Rand() {
  std::uint32_t& s = TheProgram().random.state;
  s = s * 214013u + 2531011u;
  return static_cast<int>((s >> 16) & 0x7FFF);
}

}  // namespace qv
