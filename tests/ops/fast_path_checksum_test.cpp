// Apply Canvas, Variance, Derivative, Relief and Remove have no second
// implementation to compare their fast ways with: their bytes on random
// pictures and soft masks are pinned by checksums taken from the plain
// implementations, before the fast ways (Remove's double sums must keep
// their order too).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "base/crt_random.h"
#include "ops/effect_support.h"
#include "ops/math_ops.h"
#include "ops/row_equivalence.h"
#include "ops/texture_ops.h"

namespace qv::test {
namespace {

using Px = std::array<int, 4>;

std::uint64_t Fnv(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

class FastPathChecksumTest : public RowEquivalenceTest {
 protected:
  // The op over the four boxes of ExpectSameBothWays, one checksum of all.
  std::uint64_t Checksum(OpId op, int w = 61, int h = 47) {
    const DirectRun cases[] = {
        {w, h, 12, 9, w - 14, h - 11, false, 3},
        {w, h, 0, 0, w - 1, h - 1, false, 5},
        {w, h, 0, 5, w / 2, h - 1, true, 7},
        {w, h, w / 3, 0, w - 1, h / 2, true, 9},
    };
    std::vector<std::uint8_t> all;
    for (const DirectRun& r : cases) {
      const auto bytes = RunDirect(op, r, true);
      all.insert(all.end(), bytes.begin(), bytes.end());
    }
    return Fnv(all);
  }
};

TEST_F(FastPathChecksumTest, ApplyCanvasGrainEmbossTiledAndStretched) {
  struct Case {
    int radius, amount, tile, emboss, bw, canvasW, canvasH;
    std::uint64_t sum;
  };
  // Canvases smaller, wider and larger than the picture; radii with and
  // without zero outer taps; grain with emboss in colour and in grey.
  const Case cases[] = {
      {20, 60, 1, 10, 0, 37, 29, 16240995874110921070ull}, {35, 100, 1, 0, 1, 80, 53, 14894232555134511703ull},
      {20, 30, 0, 40, 0, 90, 70, 8975782727581803857ull},  {57, 100, 1, 25, 1, 61, 47, 12635332925227868423ull},
      {5, 100, 0, 0, 0, 9, 6, 6088331683793794903ull},
  };
  for (const Case& k : cases) {
    ResetParamValues();
    SetParamValue(kApplyCanvasOp, 0, k.radius);
    SetParamValue(kApplyCanvasOp, 1, k.amount);
    SetParamValue(kApplyCanvasOp, 2, k.tile);
    SetParamValue(kApplyCanvasOp, 4, k.emboss);
    SetParamValue(kApplyCanvasOp, 5, k.bw);
    Srand(11);
    Pipeline().source = Add(k.canvasW, k.canvasH, [](int, int) { return Px{Rand() & 255, Rand() & 255, Rand() & 255, 255}; });
    EXPECT_EQ(Checksum(kApplyCanvasOp), k.sum) << k.radius << " " << k.canvasW;
  }
}

TEST_F(FastPathChecksumTest, ApplyCanvasThroughATranslucentCanvas) {
  // The canvas' own alpha scales the cover; a wide canvas gives long runs
  // of pixel pairs with grain, emboss and transparency all at once.
  const std::pair<int, std::uint64_t> cases[] = {{0, 5533985389154500043ull}, {1, 15774909747189127186ull}};
  for (const auto& [bw, sum] : cases) {
    ResetParamValues();
    SetParamValue(kApplyCanvasOp, 1, 100);
    SetParamValue(kApplyCanvasOp, 3, 35);
    SetParamValue(kApplyCanvasOp, 4, 100);
    SetParamValue(kApplyCanvasOp, 5, bw);
    Srand(13);
    ImageRecord* canvas = Add(70, 50, [](int, int) { return Px{Rand() & 255, Rand() & 255, Rand() & 255, Rand() & 255}; });
    canvas->hasAlpha = 1;
    Pipeline().source = canvas;
    EXPECT_EQ(Checksum(kApplyCanvasOp), sum) << bw;
  }
}

TEST_F(FastPathChecksumTest, VarianceOverSmallAndWideWindows) {
  struct Case {
    int radius, multiply, add;
    std::uint64_t sum;
  };
  // Windows of 1, 5, 7, 17 and 19 columns: the last ones cross eight-byte
  // loads; 19 rows leave no whole window in the narrow boxes.
  const Case cases[] = {{0, 4, 0, 2899004759386805745ull},
                       {2, 4, 0, 14771326261060371295ull},
                       {3, 20, 1, 10327260800397151660ull},
                       {8, 7, 0, 1000511660230754092ull},
                       {9, 2, 1, 6434210356082864475ull}};
  for (const Case& k : cases) {
    SetParamValue(kVarianceOp, 0, k.radius);
    SetParamValue(kVarianceOp, 1, k.multiply);
    SetParamValue(kVarianceOp, 2, k.add);
    EXPECT_EQ(Checksum(kVarianceOp), k.sum) << k.radius;
  }
}

TEST_F(FastPathChecksumTest, DerivativeSignedOrNotAddedOrNotAndSteep) {
  struct Case {
    int multiply, onGray, add;
    std::uint64_t sum;
  };
  // Multiply 80 overflows 16 bits.
  const Case cases[] = {{1, 0, 0, 6655214836983959058ull},
                       {3, 1, 0, 3866749139675358600ull},
                       {20, 0, 1, 13885715109608667412ull},
                       {64, 1, 1, 8695692145853060297ull},
                       {80, 1, 1, 17152163185484390262ull}};
  for (const Case& k : cases) {
    SetParamValue(kDerivativeOp, 0, k.multiply);
    SetParamValue(kDerivativeOp, 1, k.onGray);
    SetParamValue(kDerivativeOp, 2, k.add);
    EXPECT_EQ(Checksum(kDerivativeOp), k.sum) << k.multiply;
  }
}

TEST_F(FastPathChecksumTest, ReliefShallowSteepAndInverted) {
  const std::pair<int, std::uint64_t> cases[] = {
      {4, 5245957991923377746ull}, {-7, 2832674976339966713ull}, {80, 2763931403900884799ull}};
  for (const auto& [multiply, sum] : cases) {
    SetParamValue(kReliefOp, 0, multiply);
    EXPECT_EQ(Checksum(kReliefOp), sum) << multiply;
  }
}

TEST_F(FastPathChecksumTest, RemoveWithFewAndManySamples) {
  const std::pair<int, std::uint64_t> cases[] = {
      {20, 951824239904060442ull}, {3, 1770665489396455355ull}, {100, 4171672830045947585ull}};
  for (const auto& [amount, sum] : cases) {
    SetParamValue(kRemoveOp, 0, amount);
    EXPECT_EQ(Checksum(kRemoveOp), sum) << amount;
  }
}

TEST_F(FastPathChecksumTest, ElevationsBuiltInAndPaletteShadedOrFlat) {
  struct Case {
    int sea, shading, palette;
    std::uint64_t sum;
  };
  // Shading 100 on noise pushes every channel past both ends, 16000 far
  // beyond 16 bits.
  const Case cases[] = {{127, 50, 0, 17769448015359931977ull},
                       {0, 100, 0, 16240493882870202585ull},
                       {255, 0, 0, 16015057560553135328ull},
                       {60, 35, 1, 9663298269641877247ull},
                       {90, 16000, 0, 13367139426228465461ull}};
  PaletteRecord& pal = MutableMappingPalette();
  pal.count = 5;
  for (int i = 0; i < 5; ++i)
    pal.red[i] = static_cast<std::uint8_t>(i * 60), pal.green[i] = static_cast<std::uint8_t>(250 - i * 50),
    pal.blue[i] = static_cast<std::uint8_t>(i * 17);
  for (const Case& k : cases) {
    SetParamValue(kElevationsOp, 0, k.sea);
    SetParamValue(kElevationsOp, 1, k.shading);
    SetParamValue(kElevationsOp, 2, k.palette);
    EXPECT_EQ(Checksum(kElevationsOp), k.sum) << k.sea << " " << k.shading;
  }
}

TEST_F(FastPathChecksumTest, DitherSpacingsAmountsAndGray) {
  struct Case {
    int x, y, amount, gray;
    std::uint64_t sum;
  };
  // Spacing 1 has no lattice steps; 13 x 5 has uneven ones; a large
  // amount overflows the reciprocal's range, a huge one 16 bits.
  const Case cases[] = {{8, 8, 40, 0, 155354684253755732ull},
                       {1, 1, 100, 1, 5700538277718306163ull},
                       {13, 5, 70, 0, 13076217712460689570ull},
                       {100, 3, 800, 1, 3843690231350466107ull},
                       {7, 9, 20000, 0, 8443309416160522302ull}};
  for (const Case& k : cases) {
    SetParamValue(kDitherOp, 0, k.x);
    SetParamValue(kDitherOp, 1, k.y);
    SetParamValue(kDitherOp, 2, k.amount);
    SetParamValue(kDitherOp, 3, k.gray);
    EXPECT_EQ(Checksum(kDitherOp), k.sum) << k.x << " " << k.y;
  }
}

}  // namespace
}  // namespace qv::test
