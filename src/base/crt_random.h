// The classic C runtime generator, kept as our own copy so that a seed gives
// the same splatter and random effects on every machine.
#pragma once

#include <cstdint>

namespace qv {

inline constexpr int kRandMax = 32767;

struct CrtRandom {
  std::uint32_t state = 1;
};

// The program's one CrtRandom (owned by the Program).
CrtRandom& RandomState();

void Srand(std::uint32_t seed);
int Rand();  // 0 .. 32767

}  // namespace qv
