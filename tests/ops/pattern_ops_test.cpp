#include <gtest/gtest.h>

#include <cmath>

#include "ops/apply_test_support.h"
#include "ops/effect_support.h"

namespace qv::test {
namespace {

constexpr OpId kNet = 3141, kRandomTile = 3142, kPixelize = 3143, kCellular = 3144, kLined = 3145,
               kLinearFill = 3146, kOutline = 3149;
using Px = std::array<int, 4>;

class PatternOpsTest : public ApplyTest {
 protected:
  // A w x h image whose pixels all differ, selected whole.
  ImageRecord* Varied(int w, int h) {
    ImageRecord* image = Add(w, h, [](int x, int y) { return Px{(x * 7) % 256, (y * 11) % 256, (x * y) % 256, 255}; });
    SelectRect(0, 0, w - 1, h - 1);
    return image;
  }
  ImageRecord* Flat(int w, int h, int v) {
    ImageRecord* image = Add(w, h, [v](int, int) { return Px{v, v, v, 255}; });
    SelectRect(0, 0, w - 1, h - 1);
    return image;
  }
};

TEST_F(PatternOpsTest, PixelizeCellsAreFlatAverageWithBorderOrAllBorder) {
  ImageRecord* image = Varied(41, 41);
  const auto before = Pixels(image);
  SetParamValue(kPixelize, 5, 0);  // no border
  ASSERT_EQ(Run(kPixelize), 0);
  // Centre (20, 20), cells of 20 anchored there: 0..19 and 20..39 each way.
  long sum[3] = {0, 0, 0};
  for (int y = 0; y < 20; ++y)
    for (int x = 20; x < 40; ++x)
      for (int k = 0; k < 3; ++k) sum[k] += before[(static_cast<std::size_t>(y) * 41 + x) * 4 + k];
  const Px average{int(sum[0] / 400), int(sum[1] / 400), int(sum[2] / 400), 255};
  for (int y = 0; y < 20; ++y)
    for (int x = 20; x < 40; ++x) ASSERT_EQ(At(image, x, y), average) << x << "," << y;
  EXPECT_NE(At(image, 19, 0), average);

  ImageRecord* bordered = Varied(40, 40);
  SetParamValue(kPixelize, 5, 20);  // as wide as a cell
  ASSERT_EQ(Run(kPixelize), 0);
  for (int y = 0; y < 40; y += 3)
    for (int x = 0; x < 40; x += 3) ASSERT_EQ(At(bordered, x, y), (Px{0, 0, 127, 255}));
}

TEST_F(PatternOpsTest, RandomTileStillTilesStayInPlaceWithBlackBordersAndRepeat) {
  ImageRecord* image = Varied(40, 40);
  const auto before = Pixels(image);
  SetParamValue(kRandomTile, 5, 0);
  SetParamValue(kRandomTile, 6, 0);
  SetParamValue(kRandomTile, 7, 0);
  ASSERT_EQ(Run(kRandomTile), 0);
  // Tiles of 20 from the box's corner, border 2: pixel 5..17 inside a tile
  // keep their colour; the first two rows and columns of a tile are black.
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 40; ++x) {
      const int tx = x % 20, ty = y % 20;
      const bool border = tx < 2 || ty < 2 || (x < 20 && tx > 18) || (y < 20 && ty > 18) || x >= 39 || y >= 39;
      const auto* b = &before[(static_cast<std::size_t>(y) * 40 + x) * 4];
      const Px expected = border ? Px{0, 0, 0, 255} : Px{b[0], b[1], b[2], 255};
      ASSERT_EQ(At(image, x, y), expected) << x << "," << y;
    }
  // The jittered tiling is the same every time.
  ImageRecord* a = Varied(50, 40);
  ResetParamValues();
  ASSERT_EQ(Run(kRandomTile), 0);
  ImageRecord* b = Varied(50, 40);
  ASSERT_EQ(Run(kRandomTile), 0);
  EXPECT_EQ(Pixels(a), Pixels(b));
}

TEST_F(PatternOpsTest, NetOverBlackIsAFlatGridAndOverWhiteIsLiftedFully) {
  ImageRecord* black = Flat(45, 45, 0);
  ASSERT_EQ(Run(kNet), 0);
  // Knots every 20 from 0, lines 2 wide in (0, 255, 255).
  const Px net{0, 255, 255, 255};
  EXPECT_EQ(At(black, 10, 0), net);
  EXPECT_EQ(At(black, 10, 1), net);
  EXPECT_EQ(At(black, 10, 2), (Px{0, 0, 0, 255}));
  EXPECT_EQ(At(black, 21, 30), net);
  EXPECT_EQ(At(black, 22, 30), (Px{0, 0, 0, 255}));
  EXPECT_EQ(At(black, 10, 10), (Px{0, 0, 0, 255}));

  ImageRecord* white = Add(100, 100, [](int, int) { return Px{0, 0, 0, 255}; });
  LockImage(white);
  for (int y = 40; y <= 80; ++y)
    for (int x = 40; x <= 80; ++x) std::fill_n(PixelAt(white, x, y), 3, 255);
  UnlockImage(white);
  SelectRect(40, 40, 80, 80);
  SetParamValue(kNet, 5, 10);
  SetParamValue(kNet, 6, 10);
  ASSERT_EQ(Run(kNet), 0);
  // The box widens by 10: knots from (30, 30); those over white are lifted
  // by the full movement, so the knot (50, 50) is drawn at (40, 40).
  EXPECT_EQ(At(white, 45, 40), net);
  EXPECT_EQ(At(white, 40, 45), net);
  EXPECT_EQ(At(white, 45, 50), (Px{255, 255, 255, 255}));
}

TEST_F(PatternOpsTest, NetLineWhoseEndsCoincidePaintsItsOneSquare) {
  ImageRecord* image = Add(60, 20, [](int x, int y) { return x == 35 && y == 14 ? Px{128, 128, 127, 255} : Px{0, 0, 0, 255}; });
  SelectRect(25, 5, 35, 15);
  SetParamValue(kNet, 3, 10);  // spacing
  SetParamValue(kNet, 4, 10);
  SetParamValue(kNet, 5, 20);  // movement: brightness 383 lifts by 10 across, 0 up
  SetParamValue(kNet, 6, 1);
  ASSERT_EQ(Run(kNet), 0);
  // Knots from the widened box's corner (5, 4): (25, 14) and (35, 14) are
  // the selected ones; the second is drawn at (25, 14), on the first.
  EXPECT_EQ(At(image, 25, 14), (Px{0, 255, 255, 255}));
  EXPECT_EQ(At(image, 26, 15), (Px{0, 255, 255, 255}));
  EXPECT_EQ(At(image, 27, 14), (Px{0, 0, 0, 255}));
}

TEST_F(PatternOpsTest, CellularFadeZeroIsFlatAndFullFadeReachesTheEdgeColourMidSide) {
  ImageRecord* image = Varied(41, 41);
  const auto before = Pixels(image);
  SetParamValue(kCellular, 7, 0);
  ASSERT_EQ(Run(kCellular), 0);
  long sum = 0;
  for (int y = 20; y < 40; ++y)
    for (int x = 20; x < 40; ++x) sum += before[(static_cast<std::size_t>(y) * 41 + x) * 4];
  EXPECT_EQ(At(image, 21, 37)[0], sum / 400);
  EXPECT_EQ(At(image, 38, 22)[0], sum / 400);

  ImageRecord* faded = Flat(41, 41, 10);
  SetParamValue(kCellular, 7, 100);
  ASSERT_EQ(Run(kCellular), 0);
  // Cell 20..39: its middle (30, 30) keeps the average, the middle of its
  // top side (30, 20) is the edge colour.
  EXPECT_EQ(At(faded, 30, 30), (Px{10, 10, 10, 255}));
  EXPECT_EQ(At(faded, 30, 20), (Px{127, 127, 230, 255}));
  // Halfway (d^2 = 25 of D = 200): q = 50.
  EXPECT_EQ(At(faded, 30, 25)[2], (10 * 150 + 230 * 50) / 200);
}

TEST_F(PatternOpsTest, LinedDefaultsOverBlackAndWhite) {
  ImageRecord* black = Flat(30, 40, 0);
  ASSERT_EQ(Run(kLined), 0);
  for (int y = 0; y < 40; ++y) ASSERT_EQ(At(black, 7, y), (Px{0, 0, 0, 255})) << y;
  ImageRecord* white = Flat(30, 41, 255);
  ASSERT_EQ(Run(kLined), 0);
  // Bands of 20 anchored at the centre row 20: rows 0, 20 and 40 start bands.
  for (int y = 0; y < 41; ++y) {
    const int v = y % 20 == 0 ? 0 : 255;
    ASSERT_EQ(At(white, 7, y), (Px{v, v, v, 255})) << y;
  }
}

TEST_F(PatternOpsTest, LinearFillRunsFromTheFirstToTheLastEntry) {
  PaletteRecord& p = MutableMappingPalette();
  p.count = 3;
  const int entries[3][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}};
  for (int i = 0; i < 3; ++i) p.red[i] = entries[i][0], p.green[i] = entries[i][1], p.blue[i] = entries[i][2];
  ImageRecord* image = Flat(21, 11, 50);
  SetParamValue(kLinearFill, 0, 270);  // along x
  SetParamValue(kLinearFill, 2, 0);   // no smoothing
  ASSERT_EQ(Run(kLinearFill), 0);
  EXPECT_EQ(At(image, 0, 5), (Px{255, 0, 0, 255}));
  EXPECT_EQ(At(image, 10, 5), (Px{0, 255, 0, 255}));
  EXPECT_EQ(At(image, 20, 5), (Px{0, 0, 255, 255}));
}

TEST_F(PatternOpsTest, OutlinePaintsBandsOutsideAndGivesTheSelectionBack) {
  ImageRecord* image = Flat(60, 60, 0);
  SelectRect(25, 25, 34, 34);
  ASSERT_EQ(Run(kOutline), 0);
  // The grey ramp by the distance: 255 / 8 per pixel, none beyond 8.
  EXPECT_EQ(At(image, 30, 30), (Px{0, 0, 0, 255}));
  EXPECT_EQ(At(image, 24, 30)[0], static_cast<int>(std::sqrt(1.0) * 255 / 8));
  EXPECT_EQ(At(image, 17, 30)[0], 255);
  EXPECT_EQ(At(image, 16, 30)[0], 0);
  EXPECT_EQ(At(image, 20, 20)[0], static_cast<int>(std::sqrt(50.0) * 255 / 8));

  ImageRecord* two = Flat(80, 80, 0);
  SelectRect(35, 35, 44, 44);
  SetParamValue(kOutline, 1, 2);
  ASSERT_EQ(Run(kOutline), 0);
  // The second band lies beyond the first, the palette shared out: the
  // second generation starts at half way.
  EXPECT_GT(At(two, 28, 40)[0], 0);
  EXPECT_LT(At(two, 28, 40)[0], 128);
  EXPECT_GE(At(two, 26, 40)[0], 127);
  EXPECT_EQ(At(two, 18, 40)[0], 0);
  // The selection's mask is as drawn again.
  AreaMask& m = TheProgram().area.mask;
  auto* bytes = static_cast<std::uint8_t*>(LockVirtual(m.place));
  EXPECT_EQ(bytes[40 * 80 + 30], 0);
  EXPECT_EQ(bytes[40 * 80 + 40], 255);
  UnlockVirtual(m.place);

  SetParamValue(kOutline, 0, 0);
  EXPECT_EQ(Run(kOutline), 2);
  EXPECT_EQ(host->MessageNumbers().back(), 65);
}

TEST_F(PatternOpsTest, OutlineCrystalTakesTheNearestSelectedPixelFirstInReadingOrder) {
  ImageRecord* image = Varied(50, 40);
  const auto before = Pixels(image);
  SetWorkMethod(kDrawFirst);
  AreaSelection& s = TheProgram().area.selection;
  s.mode = kAreaEllipse;
  SetSelectionBox(s, 12, 9, 33, 27);
  ASSERT_EQ(FinishSelection(image, 0, 0), 0);
  AreaMask& area = TheProgram().area.mask;
  std::vector<std::uint8_t> mask(50 * 40);
  auto* bytes = static_cast<std::uint8_t*>(LockVirtual(area.place));
  std::copy_n(bytes, mask.size(), mask.begin());
  UnlockVirtual(area.place);
  SetParamValue(kOutline, 6, 1);  // Crystal
  ASSERT_EQ(Run(kOutline), 0);
  // Every pixel outside within 8 of the selection takes the copy's pixel at
  // its nearest selected pixel, the first in reading order of equal ones.
  int painted = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 50; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * 50 + x;
      Px expected{before[i * 4], before[i * 4 + 1], before[i * 4 + 2], 255};
      if (!mask[i]) {
        int best = 65, bx = -1, by = -1;
        for (int yy = std::max(y - 8, 0); yy <= std::min(y + 8, 39); ++yy)
          for (int xx = std::max(x - 8, 0); xx <= std::min(x + 8, 49); ++xx) {
            const int d2 = (xx - x) * (xx - x) + (yy - y) * (yy - y);
            if (mask[static_cast<std::size_t>(yy) * 50 + xx] && d2 < best) best = d2, bx = xx, by = yy;
          }
        if (bx >= 0) {
          const std::size_t j = static_cast<std::size_t>(by) * 50 + bx;
          expected = {before[j * 4], before[j * 4 + 1], before[j * 4 + 2], 255};
          ++painted;
        }
      }
      ASSERT_EQ(At(image, x, y), expected) << x << "," << y;
    }
  EXPECT_GT(painted, 300);
}

}  // namespace
}  // namespace qv::test
