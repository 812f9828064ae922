#include "base/crt_random.h"

#include <gtest/gtest.h>

#include "app/program.h"

namespace qv {
namespace {

// The classic runtime's sequence for seed 1 (also its state before any srand).
TEST(CrtRandom, ReproducesTheClassicRuntimeSequence) {
  ResetProgram();
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358, 26962, 24464};
  for (int e : expected) EXPECT_EQ(Rand(), e);

  Srand(1);
  EXPECT_EQ(Rand(), 41);
  Srand(0);
  EXPECT_EQ(Rand(), 38);
  Srand(0xFFFFFFFFu);
  int v = Rand();
  EXPECT_GE(v, 0);
  EXPECT_LE(v, kRandMax);
  ResetProgram();
  EXPECT_EQ(Rand(), 41);
}

}  // namespace
}  // namespace qv
