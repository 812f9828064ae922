#include <cmath>

#include "area_test_support.h"
#include "store/undo.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

using namespace qv::test;

class TransparencyTest : public ProgramTest {
 protected:
  std::vector<std::uint8_t> Shape(ImageRecord* image, int mode, int l, int t, int r, int b, int level, int fade,
                                  int grow) {
    Box(l, t, r, b);
    EXPECT_EQ(BuildAreaMaskWith(image, mode, false, false), 0);
    Sel().transparencyLevel = level;
    Sel().edgeFade = fade;
    Sel().grow = grow;
    EXPECT_EQ(ApplyTransparency(image), 0);
    return MaskBytes();
  }
};

TEST_F(TransparencyTest, EllipseGrowKeepsTheInnerRadiiAndConicalFadeFallsLinearly) {
  ImageRecord* image = Picture(81, 81);
  auto grown = Shape(image, kAreaEllipse, 0, 0, 80, 80, 255, 0, 50);
  for (int y = 0; y < 81; ++y)
    for (int x = 0; x < 81; ++x) {
      double d = std::hypot(x - 40, y - 40) / 40;
      if (d < 0.49) {
        EXPECT_EQ(grown[y * 81 + x], 255) << x << "," << y;
      }
      if (d > 0.51) {
        EXPECT_EQ(grown[y * 81 + x], 0) << x << "," << y;
      }
    }

  auto cone = Shape(image, kAreaEllipse, 0, 0, 80, 80, 255, 100, 100);
  EXPECT_EQ(cone[40 * 81 + 40], 255);
  for (int x = 41; x <= 80; ++x) {
    int expected = (1000 - (x - 40) * 25) * 255 / 1000;
    EXPECT_NEAR(cone[40 * 81 + x], expected, 1) << x;
    EXPECT_NEAR(cone[x * 81 + 40], expected, 1) << x;  // the same down the column
  }
}

TEST_F(TransparencyTest, RectangleEdgeFade50IsFullOnlyInTheMiddleHalf) {
  ImageRecord* image = Picture(50, 50);
  auto m = Shape(image, kAreaRectangle, 5, 5, 45, 45, 255, 50, 100);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 50; ++x) {
      bool middle = x >= 15 && x <= 35 && y >= 15 && y <= 35;
      EXPECT_EQ(m[y * 50 + x] == 255, middle) << x << "," << y;
    }
  // The fade rises linearly from the edge: a quarter of the way in, half.
  EXPECT_EQ(m[25 * 50 + 10], 127);
  EXPECT_EQ(m[25 * 50 + 5], 0);
  EXPECT_EQ(m[10 * 50 + 10], 127 * 127 / 255);
}

TEST_F(TransparencyTest, FlatLevelLowersEverySelectedByteAndSoftEdgeHalvesOnlyTheOuterRing) {
  ImageRecord* image = Picture(12, 10);
  Shape(image, kAreaRectangle, 2, 1, 6, 5, 128, 0, 100);
  EXPECT_MASK(Expected(12, 10, [](int x, int y) { return x >= 2 && x <= 6 && y >= 1 && y <= 5 ? 128 : 0; }), 12);

  Shape(image, kAreaRectangle, 2, 2, 9, 7, 255, 1, 100);
  EXPECT_MASK(Expected(12, 10, [](int x, int y) {
                if (x < 2 || x > 9 || y < 2 || y > 7) return 0;
                return x == 2 || x == 9 || y == 2 || y == 7 ? 127 : 255;
              }),
              12);
  // A shape touching the image border is halved along the border too.
  Shape(image, kAreaEntire, 0, 0, 11, 9, 255, 1, 100);
  EXPECT_MASK(Expected(12, 10, [](int x, int y) { return x == 0 || x == 11 || y == 0 || y == 9 ? 127 : 255; }), 12);
}

TEST_F(TransparencyTest, MaskWithAlphaMultipliesUnlessTheOperationOrSettingExemptsIt) {
  ImageRecord* image = Picture(4, 1);
  image->hasAlpha = 1;
  LockImage(image);
  for (int x = 0; x < 4; ++x) PixelAt(image, x, 0)[3] = static_cast<std::uint8_t>(x * 85);
  UnlockImage(image);
  auto run = [&](AlphaMaskRule rule, int mode = kAreaRectangle) {
    Box(0, 0, 3, 0);
    BuildAreaMaskWith(image, mode, false, false);
    Sel().transparencyLevel = 200;
    EXPECT_EQ(ApplyTransparency(image), 0);
    std::vector<std::uint8_t> m = MaskBytes();
    if (AlphaLimitsMask(image, rule)) {
      LockImage(image);
      LimitMaskByAlpha(m.data(), image, -5, 0, 9, 0);  // clamped to the image
      UnlockImage(image);
    }
    return m;
  };
  const std::vector<std::uint8_t> masked{0, 66, 133, 200}, plain{200, 200, 200, 200};
  EXPECT_EQ(run({}), masked);
  EXPECT_EQ(run({}, kAreaRedo), plain);  // the mask Redo brought back
  for (int op = 3193; op <= 3197; ++op) EXPECT_EQ(run({op}), plain) << op;
  EXPECT_EQ(run({3192, false}), plain);
  EXPECT_EQ(run({3192, true}, kAreaRedo), masked);
  EXPECT_EQ(run({0, false, true}), plain);
  EXPECT_EQ(run({0, false, false, true}), plain);
  Area().maskWithAlpha = false;
  EXPECT_EQ(run({}), plain);
  Area().maskWithAlpha = true;
  image->hasAlpha = 0;
  EXPECT_EQ(run({}), plain);
}

class SplatterTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    image = Picture(120, 90);
    AddImage(image, false);
    Box(30, 20, 90, 70);
    ASSERT_EQ(BuildAreaMaskWith(image, kAreaRectangle, false, false), 0);
    selection = MaskBytes();
    Area().splat.number = 6;
  }
  ImageRecord* image = nullptr;
  std::vector<std::uint8_t> selection;
};

TEST_F(SplatterTest, TheSameSeedGivesTheSameSplatsWhateverRanBefore) {
  Area().splat.inFromEdge = 1;  // every splat lands, so they can be told apart
  ASSERT_EQ(BeginSplatter(image, -1), 0);
  std::vector<std::vector<std::uint8_t>> first;
  for (int i = 0; i < 6; ++i) {
    ASSERT_EQ(MakeSplat(image, -1, i), 0);
    first.push_back(MaskBytes());
  }
  EXPECT_NE(first[0], first[1]);
  for (int i = 5; i >= 0; --i) {
    Srand(1234);
    Rand();
    ASSERT_EQ(MakeSplat(image, -1, i), 0);
    EXPECT_EQ(MaskBytes(), first[i]) << "splat " << i;
  }
  Area().splat.seed = 10;
  ASSERT_EQ(MakeSplat(image, -1, 0), 0);
  EXPECT_NE(MaskBytes(), first[0]);
  ASSERT_EQ(EndSplatter(image, -1), 0);
  EXPECT_EQ(MaskBytes(), selection);
  EXPECT_EQ(Sel().mode, kAreaRectangle);
  EXPECT_EQ(Sel().left, 30);
}

TEST_F(SplatterTest, NoSplatPixelLiesOutsideTheSelection) {
  for (int inside : {1, 0})
    for (int shape : {0, 1}) {
      Area().splat.inFromEdge = inside;
      Area().splat.shape = shape;
      Area().splat.sizing = 300;
      ASSERT_EQ(BeginSplatter(image, -1), 0);
      for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(MakeSplat(image, -1, i), 0);
        auto m = MaskBytes();
        int count = 0;
        for (std::size_t k = 0; k < m.size(); ++k) {
          if (m[k] && !selection[k]) {
            ADD_FAILURE() << "splat " << i << " leaks at " << k;
          }
          count += m[k] ? 1 : 0;
        }
        if (inside) {
          EXPECT_GT(count, 0) << "splat " << i;
        }
      }
      EndSplatter(image, -1);
    }
}

TEST_F(SplatterTest, OneUndoTakesBackEverySplatAndKeepsEarlierHistory) {
  ASSERT_EQ(TakeUndo(0, 0, 0, 0, image), 0);  // an earlier operation's layer
  ImageRecord* earlier = TheProgram().undo.stack[0];
  LockImage(image);
  const std::vector<std::uint8_t> before(image->pixels, image->pixels + 120 * 90 * 4);
  UnlockImage(image);
  ASSERT_EQ(BeginSplatter(image, -1), 0);
  for (int i = 0; i < 6; ++i) {
    ASSERT_EQ(MakeSplat(image, -1, i), 0);
    // What the apply pipeline does per splat: its own copy of the box, a change.
    ImageRecord* copy = CopyUndoRectangle(Sel().left, Sel().top, Sel().right, Sel().bottom, image);
    ASSERT_NE(copy, nullptr);
    FreeImage(copy);
    LockImage(image);
    auto m = MaskBytes();
    for (std::size_t k = 0; k < m.size(); ++k)
      if (m[k]) image->pixels[k * 4] = 7;
    UnlockImage(image);
    Area().run.changed = true;
  }
  ASSERT_EQ(EndSplatter(image, -1), 0);
  UndoState& u = TheProgram().undo;
  EXPECT_EQ(u.levels, 3);
  ASSERT_NE(u.stack[0], nullptr);
  EXPECT_EQ(u.stack[0]->originX, -1);
  EXPECT_EQ(u.stack[1], earlier);
  EXPECT_GE(Area().changeBox[0], 0);
  EXPECT_LE(Area().changeBox[2], 119);

  ASSERT_EQ(Undo(), 0);
  LockImage(image);
  EXPECT_EQ(std::vector<std::uint8_t>(image->pixels, image->pixels + 120 * 90 * 4), before);
  UnlockImage(image);
}

}  // namespace
}  // namespace qv
