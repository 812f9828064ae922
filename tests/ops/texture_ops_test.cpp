#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "base/crt_random.h"
#include "base/progress.h"
#include "ops/effect_support.h"
#include "ops/row_equivalence.h"
#include "ops/texture_ops.h"
#include "store/display_palettes.h"

namespace qv::test {
namespace {

using Px = std::array<int, 4>;

class TextureOpsTest : public RowEquivalenceTest {
 protected:
  ImageRecord* Flat(int w, int h, Px v) {
    ImageRecord* image = Add(w, h, [v](int, int) { return v; });
    SelectRect(0, 0, w - 1, h - 1);
    return image;
  }
  ImageRecord* Varied(int w, int h) {
    ImageRecord* image = Add(w, h, [](int x, int y) { return Px{(x * 37) % 256, (y * 23) % 256, (x * y) % 256, 255}; });
    SelectRect(0, 0, w - 1, h - 1);
    return image;
  }
};

TEST_F(TextureOpsTest, TheKernelFallsOffWithinTheSpreadAndIsEmptyBeyondAnyPicture) {
  // "Radius /10" 5: R = 1, s = 0.5, only the centre weighs (d = 0 gives 98).
  EXPECT_EQ(SpreadKernel(5), (std::vector<std::int16_t>{98, 0, 0, 0}));
  // "Radius /10" 20: R = 2, s = 2. d = 0.5 at one step (k = 20, f = 0):
  // F[20] = 0.513; d = sqrt(2) / 2 between F[28] and F[29].
  const auto k = SpreadKernel(20);
  ASSERT_EQ(k.size(), 9u);
  EXPECT_EQ(k[0], 98);
  EXPECT_EQ(k[1], 51);
  EXPECT_EQ(k[3], 51);  // symmetric in |dx| and |dy|
  EXPECT_EQ(k[2], 0);   // d = 1 is outside
  EXPECT_GT(k[4], 20);
  EXPECT_LT(k[4], 26);
  EXPECT_TRUE(SpreadKernel(1000000).empty());
}

TEST_F(TextureOpsTest, BlurAtHalfAPixelAndSharpenOfFlatAreasChangeNothing) {
  ImageRecord* image = Varied(30, 20);
  const auto before = Pixels(image);
  SetParamValue(kBlurOp, 0, 5);
  ASSERT_EQ(Run(kBlurOp), 0);
  EXPECT_EQ(Pixels(image), before);
  // A wider blur does change it, and a flat picture stays flat under both.
  SetParamValue(kBlurOp, 0, 20);
  ASSERT_EQ(Run(kBlurOp), 0);
  EXPECT_NE(Pixels(image), before);
  ImageRecord* flat = Flat(25, 25, Px{40, 120, 200, 255});
  const auto flatBefore = Pixels(flat);
  ASSERT_EQ(Run(kSharpenOp), 0);
  EXPECT_EQ(Pixels(flat), flatBefore);
  ASSERT_EQ(Run(kBlurOp), 0);
  EXPECT_EQ(Pixels(flat), flatBefore);
}

TEST_F(TextureOpsTest, SharpenPushesAnEdgeApartAndBlurPullsItTogether) {
  auto edge = [&] {
    ImageRecord* image = Add(20, 10, [](int x, int) { return x < 10 ? Px{100, 100, 100, 255} : Px{150, 150, 150, 255}; });
    SelectRect(0, 0, 19, 9);
    return image;
  };
  ImageRecord* sharp = edge();
  ASSERT_EQ(Run(kSharpenOp), 0);
  EXPECT_LT(At(sharp, 9, 5)[0], 100);
  EXPECT_GT(At(sharp, 10, 5)[0], 150);
  EXPECT_EQ(At(sharp, 3, 5)[0], 100);
  ImageRecord* soft = edge();
  ASSERT_EQ(Run(kBlurOp), 0);
  EXPECT_GT(At(soft, 9, 5)[0], 100);
  EXPECT_LT(At(soft, 10, 5)[0], 150);
}

TEST_F(TextureOpsTest, ReliefOfAFlatAreaIsMidGreyAndItsDepthScalesSlopes) {
  ImageRecord* image = Flat(12, 12, Px{30, 60, 90, 255});
  ASSERT_EQ(Run(kReliefOp), 0);
  EXPECT_EQ(At(image, 5, 5), (Px{127, 127, 127, 255}));
  EXPECT_EQ(At(image, 0, 0), (Px{127, 127, 127, 255}));
  // A ramp of 1 per pixel in each channel: D = 3 per neighbour pair, so the
  // interior slope is (4 x 3 x Depth) / 4 / 3 + 127 = Depth + 127.
  ImageRecord* ramp = Add(12, 12, [](int x, int) { return Px{x, x, x, 255}; });
  SelectRect(0, 0, 11, 11);
  SetParamValue(kReliefOp, 0, 8);
  ASSERT_EQ(Run(kReliefOp), 0);
  EXPECT_EQ(At(ramp, 5, 5)[0], 127 + 8 / 2);  // two of the four neighbours are across the ramp
}

TEST_F(TextureOpsTest, ReliefOfNoiseFollowsItsRuleInsideAndAtTheEdges) {
  Srand(11);
  ImageRecord* image = Add(23, 17, [](int, int) { return Px{Rand() & 255, Rand() & 255, Rand() & 255, 255}; });
  const auto before = Pixels(image);
  SelectRect(0, 0, 22, 16);
  SetParamValue(kReliefOp, 0, -7);
  ASSERT_EQ(Run(kReliefOp), 0);
  auto sum3 = [&](int x, int y) {
    const std::uint8_t* q = &before[(static_cast<std::size_t>(y) * 23 + x) * 4];
    return q[0] + q[1] + q[2];
  };
  for (int y = 0; y < 17; ++y)
    for (int x = 0; x < 23; ++x) {
      long d = 0, n = 0;
      const int v = sum3(x, y);
      if (x > 0) d += v - sum3(x - 1, y), ++n;
      if (x < 22) d += sum3(x + 1, y) - v, ++n;
      if (y > 0) d += v - sum3(x, y - 1), ++n;
      if (y < 16) d += sum3(x, y + 1) - v, ++n;
      const int g = Clamp0To255(d * -7 / n / 3 + 127);
      ASSERT_EQ(At(image, x, y), (Px{g, g, g, 255})) << x << "," << y;
    }
}

TEST_F(TextureOpsTest, ShaveRemovesALoneSpeckButKeepsOneTouchingALine) {
  auto picture = [&](bool line) {
    ImageRecord* image = Add(9, 9, [line](int x, int y) {
      const bool dark = (x == 4 && y == 4) || (line && y == 4 && x < 4);
      return dark ? Px{20, 20, 20, 255} : Px{200, 200, 200, 255};
    });
    SelectRect(0, 0, 8, 8);
    return image;
  };
  ImageRecord* lone = picture(false);
  ASSERT_EQ(Run(kShaveOp), 0);  // Severity 1: 8 on one side, doubled, 16 > 15
  EXPECT_EQ(At(lone, 4, 4), (Px{200, 200, 200, 255}));
  ImageRecord* touching = picture(true);
  ASSERT_EQ(Run(kShaveOp), 0);
  EXPECT_EQ(At(touching, 4, 4), (Px{20, 20, 20, 255}));
  // Removing vertical features: the speck with the line through it is judged
  // across the row only, where its right neighbour differs (1, doubled, x 4).
  ImageRecord* across = picture(true);
  SetParamValue(kShaveOp, 1, 2);
  SetParamValue(kShaveOp, 0, 16);
  ASSERT_EQ(Run(kShaveOp), 0);
  EXPECT_EQ(At(across, 4, 4)[0], (20 + 200) / 2);
  EXPECT_EQ(ShaveDirectionNames()[1], "Remove Horizontal Features");
}

TEST_F(TextureOpsTest, RemoveFillsARectangleFromItsBorder) {
  ImageRecord* image = Add(40, 30, [](int x, int y) {
    if (x >= 10 && x <= 29 && y >= 8 && y <= 21) return Px{0, 255, 0, 255};  // the thing to erase
    return x < 20 ? Px{200, 0, 0, 255} : Px{0, 0, 200, 255};
  });
  SelectRect(10, 8, 29, 21);
  ASSERT_EQ(Run(kRemoveOp), 0);
  for (int y = 8; y <= 21; ++y)
    for (int x = 10; x <= 29; ++x) ASSERT_LT(At(image, x, y)[1], 5) << x << "," << y;
  // Near the left edge the red border weighs most, near the right the blue.
  EXPECT_GT(At(image, 11, 15)[0], 150);
  EXPECT_GT(At(image, 28, 15)[2], 150);
  EXPECT_GT(At(image, 20, 15)[0], 40);
  EXPECT_GT(At(image, 20, 15)[2], 40);
  EXPECT_EQ(At(image, 5, 5), (Px{200, 0, 0, 255}));
}

TEST_F(TextureOpsTest, RemoveOnPicturesOneOrTwoPixelsAcrossTakesTheCornerSample) {
  for (auto [w, h] : {std::pair{1, 9}, std::pair{9, 1}, std::pair{2, 2}, std::pair{1, 1}, std::pair{2, 7}}) {
    ImageRecord* image = Add(w, h, [](int x, int y) { return Px{10 + 20 * x + 3 * y, 50, 90, 255}; });
    SelectRect(0, 0, w - 1, h - 1);
    ASSERT_EQ(Run(kRemoveOp), 0) << w << "x" << h;
    // The box starts at the corner: its only sample is pixel (0, 0).
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) ASSERT_EQ(At(image, x, y), (Px{10, 50, 90, 255})) << w << "x" << h;
  }
}

TEST_F(TextureOpsTest, ElevationsPaletteEndsAtItsLastEntryForOneAndForEveryEntry) {
  for (int n : {1, 2, 1024}) {
    PaletteRecord& p = MutableMappingPalette();
    p.count = n;
    for (int i = 0; i < kMaxPaletteEntries; ++i)
      p.red[i] = static_cast<std::uint8_t>(i * 255 / std::max(n - 1, 1)), p.green[i] = 7, p.blue[i] = 9;
    ImageRecord* image = Add(6, 6, [](int x, int) { return x < 3 ? Px{255, 255, 255, 255} : Px{0, 0, 0, 255}; });
    SelectRect(0, 0, 5, 5);
    SetParamValue(kElevationsOp, 1, 0);  // no shading
    SetParamValue(kElevationsOp, 2, 1);  // "Use Palette"
    ASSERT_EQ(Run(kElevationsOp), 0);
    // White (L = 255): the last entry whole; black: the first.
    EXPECT_EQ(At(image, 1, 1), (Px{p.red[n - 1], 7, 9, 255})) << n;
    EXPECT_EQ(At(image, 4, 4), (Px{p.red[0], 7, 9, 255})) << n;
  }
}

TEST_F(TextureOpsTest, ElevationsBuiltInColoursAndShadingOfASlope) {
  ImageRecord* image = Add(10, 10, [](int x, int) { return x < 5 ? Px{0, 0, 0, 255} : Px{255, 255, 255, 255}; });
  SelectRect(0, 0, 9, 9);
  SetParamValue(kElevationsOp, 1, 0);
  ASSERT_EQ(Run(kElevationsOp), 0);
  EXPECT_EQ(At(image, 1, 1), (Px{0, 0, 60, 255}));        // the deep sea
  EXPECT_EQ(At(image, 8, 8), (Px{255, 255, 255, 255}));   // snow: 195 + 60, 135 + 120, 455 - 200
  ImageRecord* shaded = Add(10, 10, [](int x, int) { return x < 5 ? Px{0, 0, 0, 255} : Px{255, 255, 255, 255}; });
  SelectRect(0, 0, 9, 9);
  SetParamValue(kElevationsOp, 1, 5);
  ASSERT_EQ(Run(kElevationsOp), 0);
  // At x = 4 only the down-right term sees the step: D = 255, n = 4, so each
  // channel gains 5 x 255 / 4 / 10 = 31; at x = 3 nothing differs.
  EXPECT_EQ(At(shaded, 4, 5), (Px{31, 31, 91, 255}));
  EXPECT_EQ(At(shaded, 3, 5), (Px{0, 0, 60, 255}));
  EXPECT_EQ(At(shaded, 5, 5), (Px{255, 255, 255, 255}));
}

TEST_F(TextureOpsTest, ContourDrawsWhereTheBrightnessCrossesAnInterval) {
  ImageRecord* image = Add(20, 5, [](int x, int) { return Px{x * 10, x * 10, x * 10, 255}; });
  SelectRect(0, 0, 19, 4);
  SetParamValue(kContourOp, 7, 50);
  SetParamValue(kContourOp, 6, 1);  // background
  ASSERT_EQ(Run(kContourOp), 0);
  // A pixel is a line pixel when the brightness to its right falls in
  // another interval of 50 (the right-hand neighbours are the same column).
  for (int x = 0; x < 20; ++x) {
    const int l = Luminance(x * 10, x * 10, x * 10), r = x < 19 ? Luminance(x * 10 + 10, x * 10 + 10, x * 10 + 10) : l;
    const bool line = l / 50 != r / 50;
    EXPECT_EQ(At(image, x, 2), line ? (Px{0, 0, 0, 255}) : (Px{255, 255, 255, 255})) << x;
  }
  // Edge detection with "Interval" 0 taken as 1: every step of 10 is an edge
  // except in the last column, whose outside neighbours count as itself.
  ImageRecord* edges = Add(20, 5, [](int x, int) { return Px{x * 10, x * 10, x * 10, 255}; });
  SelectRect(0, 0, 19, 4);
  SetParamValue(kContourOp, 6, 0);
  SetParamValue(kContourOp, 7, 0);
  SetParamValue(kContourOp, 8, 1);
  SetParamValue(kContourOp, 0, 255);
  ASSERT_EQ(Run(kContourOp), 0);
  EXPECT_EQ(At(edges, 3, 2), (Px{255, 0, 0, 255}));
  EXPECT_EQ(At(edges, 19, 2), (Px{190, 190, 190, 255}));
}

TEST_F(TextureOpsTest, DitherRepeatsAndGrayNoiseIsTheSameInEveryChannel) {
  ImageRecord* a = Flat(40, 30, Px{128, 128, 128, 255});
  ASSERT_EQ(Run(kDitherOp), 0);
  ImageRecord* b = Flat(40, 30, Px{128, 128, 128, 255});
  ASSERT_EQ(Run(kDitherOp), 0);
  EXPECT_EQ(Pixels(a), Pixels(b));
  EXPECT_NE(At(a, 3, 3), At(a, 30, 20));
  // Spacing 8: neighbours differ by little; spacing 1: noise per pixel.
  int smoothJumps = 0;
  for (int x = 1; x < 40; ++x) smoothJumps = std::max(smoothJumps, std::abs(At(a, x, 10)[0] - At(a, x - 1, 10)[0]));
  EXPECT_LE(smoothJumps, 102 / 8 + 2);
  ImageRecord* gray = Flat(40, 30, Px{128, 128, 128, 255});
  SetParamValue(kDitherOp, 3, 1);
  SetParamValue(kDitherOp, 0, 1);
  SetParamValue(kDitherOp, 1, 1);
  ASSERT_EQ(Run(kDitherOp), 0);
  bool varied = false;
  for (int x = 0; x < 40; ++x) {
    const Px p = At(gray, x, 7);
    ASSERT_EQ(p[0], p[1]);
    ASSERT_EQ(p[0], p[2]);
    varied = varied || p[0] != At(gray, 0, 7)[0];
  }
  EXPECT_TRUE(varied);
}

TEST_F(TextureOpsTest, DitherDrawsItsLatticeInOrderAndInterpolatesTowardZero) {
  ImageRecord* image = Flat(10, 7, Px{128, 128, 128, 255});
  SetParamValue(kDitherOp, 0, 4);
  SetParamValue(kDitherOp, 1, 3);
  ASSERT_EQ(Run(kDitherOp), 0);
  // The lattice drawn apart: columns 0, 4, 8, 12 (below 10 + 4), six draws
  // a column, then three a column whenever a row is a multiple of 3.
  const long a = 40 * 255 / 100, h = a / 2;
  auto noise = [&] { return static_cast<long>(Rand()) * a / 32767 - h; };
  long up[3][4], low[3][4];
  Srand(3);
  for (int c = 0; c < 4; ++c) {
    for (auto& u : up) u[c] = noise();
    for (auto& l : low) l[c] = noise();
  }
  for (int y = 0; y < 7; ++y) {
    if (y % 3 == 0)
      for (int c = 0; c < 4; ++c)
        for (int k = 0; k < 3; ++k) up[k][c] = low[k][c], low[k][c] = noise();
    const long ey = y % 3;
    for (int x = 0; x < 10; ++x) {
      const int c = x / 4;
      const long ex = x % 4;
      Px expected{0, 0, 0, 255};
      for (int k = 0; k < 3; ++k) {
        const long sum = (3 - ey) * (4 - ex) * up[k][c] + (3 - ey) * ex * up[k][c + 1] + ey * (4 - ex) * low[k][c] +
                         ey * ex * low[k][c + 1];
        expected[static_cast<std::size_t>(k)] = Clamp0To255(128 + sum / 12);
      }
      ASSERT_EQ(At(image, x, y), expected) << x << "," << y;
    }
  }
}

TEST_F(TextureOpsTest, ApplyCanvasTilesOrStretchesTheSourceAndAFlatCanvasOnlyMixes) {
  // A 2 x 2 canvas of four colours over a 6 x 4 grey picture, as pure colour
  // (Transparency 100, no grain, no emboss).
  ImageRecord* canvas = Add(2, 2, [](int x, int y) { return Px{x * 200, y * 200, 50, 255}; });
  ImageRecord* image = Flat(6, 4, Px{100, 100, 100, 255});
  Pipeline().source = canvas;
  SetParamValue(kApplyCanvasOp, 1, 0);
  SetParamValue(kApplyCanvasOp, 3, 100);
  SetParamValue(kApplyCanvasOp, 4, 0);
  ASSERT_EQ(Run(kApplyCanvasOp), 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) ASSERT_EQ(At(image, x, y), (Px{x % 2 * 200, y % 2 * 200, 50, 255})) << x << "," << y;
  ImageRecord* stretched = Flat(6, 4, Px{100, 100, 100, 255});
  SetParamValue(kApplyCanvasOp, 2, 0);
  ASSERT_EQ(Run(kApplyCanvasOp), 0);
  // Column x takes canvas column x / 5, row y canvas row y / 3.
  EXPECT_EQ(At(stretched, 4, 2), (Px{0, 0, 50, 255}));
  EXPECT_EQ(At(stretched, 5, 3), (Px{200, 200, 50, 255}));
  // A flat canvas has no grain and no emboss: Transparency 30 only mixes.
  ImageRecord* flatCanvas = Add(5, 5, [](int, int) { return Px{200, 0, 0, 255}; });
  ImageRecord* mixed = Flat(6, 4, Px{100, 100, 100, 255});
  Pipeline().source = flatCanvas;
  ResetParamValues();
  SetParamValue(kApplyCanvasOp, 3, 30);
  SetParamValue(kApplyCanvasOp, 1, 100);
  SetParamValue(kApplyCanvasOp, 4, 100);
  ASSERT_EQ(Run(kApplyCanvasOp), 0);
  EXPECT_EQ(At(mixed, 3, 2), (Px{(200 * 30 + 100 * 70) / 100, 70, 70, 255}));
}

TEST_F(TextureOpsTest, ApplyCanvasStretchedOverATallBoxReachesEveryCanvasRow) {
  // (y - y0) x (ch - 1) passes 2^31 here: every row must still find its own.
  constexpr int kTall = 50000;
  ImageRecord* canvas = Add(1, kTall, [](int, int y) { return Px{y % 256, y / 256 % 256, 0, 255}; });
  ImageRecord* image = Flat(1, kTall, Px{0, 0, 0, 255});
  Pipeline().source = canvas;
  SetParamValue(kApplyCanvasOp, 1, 0);
  SetParamValue(kApplyCanvasOp, 2, 0);
  SetParamValue(kApplyCanvasOp, 3, 100);
  SetParamValue(kApplyCanvasOp, 4, 0);
  ASSERT_EQ(Run(kApplyCanvasOp), 0);
  EXPECT_EQ(Pixels(image), Pixels(canvas));
}

TEST_F(TextureOpsTest, EveryNoChangeSettingCancelsWithMessage65AndIsSilentWhileGenerating) {
  struct Case {
    OpId op;
    int slot, value;
  };
  const Case cases[] = {
      {kBlurOp, 0, 0},   {kSharpenOp, 0, 0}, {kSharpenOp, 1, 0}, {kRemoveOp, 0, 0},
      {kShaveOp, 0, 0},  {kReliefOp, 0, 0},
  };
  for (bool generating : {false, true}) {
    Pipeline().generating = generating;
    for (const Case& k : cases) {
      ResetParamValues();
      ImageRecord* image = Varied(8, 8);
      const auto before = Pixels(image);
      const std::size_t shown = host->MessageNumbers().size();
      SetParamValue(k.op, k.slot, k.value);
      EXPECT_EQ(Run(k.op), 2) << k.op;
      EXPECT_EQ(Pixels(image), before) << k.op;
      if (generating)
        EXPECT_EQ(host->MessageNumbers().size(), shown) << k.op;
      else
        EXPECT_EQ(host->MessageNumbers().back(), 65) << k.op;
    }
    // Apply Canvas: no grain (either of its two settings 0), no mix, no emboss.
    for (int slot : {0, 1}) {
      ResetParamValues();
      ImageRecord* image = Varied(8, 8);
      const auto before = Pixels(image);
      SetParamValue(kApplyCanvasOp, slot, 0);
      SetParamValue(kApplyCanvasOp, 3, 0);
      SetParamValue(kApplyCanvasOp, 4, 0);
      EXPECT_EQ(Run(kApplyCanvasOp), 2);
      EXPECT_EQ(Pixels(image), before);
    }
  }
}

TEST_F(TextureOpsTest, AStopPutsBackTheWholeWidenedBox) {
  for (OpId op : {kBlurOp, kReliefOp, kDitherOp}) {
    ImageRecord* image = Varied(80, 80);
    SelectRect(10, 10, 69, 69);
    const auto before = Pixels(image);
    int pumps = 0;
    host->onPump = [&] {
      if (++pumps == 3) RequestStop();
    };
    EXPECT_EQ(Run(op), 1) << op;
    host->onPump = nullptr;
    EXPECT_EQ(Pixels(image), before) << op;
  }
}

TEST_F(TextureOpsTest, AKernelThatCannotBeHadCancelsWithMessage22) {
  ImageRecord* image = Varied(8, 8);
  const auto before = Pixels(image);
  TheProgram().memory.faults.allocate = [](std::int64_t bytes) { return bytes >= 9 * 2 && bytes < 9 * 2 + 16; };
  EXPECT_EQ(Run(kBlurOp), 2);
  TheProgram().memory.faults.allocate = nullptr;
  EXPECT_EQ(host->MessageNumbers().back(), 22);
  EXPECT_EQ(Pixels(image), before);
}

TEST_F(TextureOpsTest, WithAffectAlphaOnlyTheAlphaChanges) {
  TheProgram().settings.modAlpha = kAffectAlphaOnly;
  for (OpId op : {kBlurOp, kSharpenOp, kRemoveOp, kShaveOp, kReliefOp, kElevationsOp, kDitherOp, kApplyCanvasOp}) {
    ResetParamValues();
    SetParamValue(kShaveOp, 0, 16);
    ImageRecord* image = Add(16, 12, [](int x, int y) { return Px{x * 9, y * 13, 77, (x * 31 + y * 57) % 256}; });
    SelectRect(3, 3, 12, 8);
    const auto before = Pixels(image);
    ASSERT_EQ(Run(op), 0) << op;
    EXPECT_TRUE(OnlyAlphaChanged(before, Pixels(image))) << op;
  }
}

TEST_F(TextureOpsTest, RowRoutinesGiveTheWorkersBytes) {
  for (OpId op : {kBlurOp, kSharpenOp, kShaveOp}) ExpectSameBothWays(op);
  SetParamValue(kBlurOp, 0, 100);  // W past the integer reciprocal's reach
  ExpectSameBothWays(kBlurOp);
  SetParamValue(kBlurOp, 0, 57);
  SetParamValue(kShaveOp, 1, 1);
  ExpectSameBothWays(kBlurOp);
  ExpectSameBothWays(kShaveOp);
  SetParamValue(kShaveOp, 1, 2);
  SetParamValue(kShaveOp, 0, 9);
  ExpectSameBothWays(kShaveOp);
  SetParamValue(kShaveOp, 1, 0);  // four windows at a time
  ExpectSameBothWays(kShaveOp);
}

}  // namespace
}  // namespace qv::test
