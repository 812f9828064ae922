#include "area/area_mask.h"

#include <climits>
#include <cmath>

#include "area_test_support.h"
#include "base/colour_space.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

using namespace qv::test;

class AreaMaskTest : public ProgramTest {};

TEST_F(AreaMaskTest, RectangleIsTheInclusiveBoxWhicheverWayItWasDrawnAndClampedToTheImage) {
  ImageRecord* image = Picture(10, 8);
  auto box = [](int l, int t, int r, int b) {
    return Expected(10, 8, [=](int x, int y) { return x >= l && x <= r && y >= t && y <= b ? 255 : 0; });
  };
  Box(2, 1, 6, 4);
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaRectangle, false, false), 0);
  EXPECT_MASK(box(2, 1, 6, 4), 10);
  Sel().left = 6, Sel().top = 4, Sel().right = 2, Sel().bottom = 1;
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaRectangle, false, false), 0);
  EXPECT_MASK(box(2, 1, 6, 4), 10);
  EXPECT_EQ(Sel().left, 2);
  EXPECT_EQ(Sel().bottom, 4);

  Box(-3, -2, 3, 2);
  BuildAreaMaskWith(image, kAreaNumRect, false, false);
  EXPECT_MASK(box(0, 0, 3, 2), 10);
  // Wholly to the right: the clamped box is the last column.
  Box(12, 1, 15, 3);
  BuildAreaMaskWith(image, kAreaRectangle, false, false);
  EXPECT_MASK(box(9, 1, 9, 3), 10);
}

TEST_F(AreaMaskTest, EllipseCoversItsDiscAndAZeroRadiusSelectsNothing) {
  ImageRecord* image = Picture(21, 15);
  Sel().centreX = 10, Sel().centreY = 7, Sel().radiusX = 8, Sel().radiusY = 5;
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaEllipse, false, false), 0);
  auto mask = MaskBytes();
  for (int y = 0; y < 15; ++y)
    for (int x = 0; x < 21; ++x) {
      double d = std::hypot((x - 10) / 8.0, (y - 7) / 5.0);
      int v = mask[y * 21 + x];
      if (d < 0.85) {
        EXPECT_EQ(v, 255) << x << "," << y;
      }
      if (d > 1.15) {
        EXPECT_EQ(v, 0) << x << "," << y;
      }
      EXPECT_EQ(v, mask[(14 - y) * 21 + (20 - x)]) << "symmetry at " << x << "," << y;
    }
  EXPECT_EQ(Sel().left, 2);
  EXPECT_EQ(Sel().bottom, 12);

  auto none = Expected(21, 15, [](int, int) { return 0; });
  Sel().centreX = 10, Sel().centreY = 7, Sel().radiusX = 0, Sel().radiusY = 5;
  BuildAreaMaskWith(image, kAreaEllipse, false, false);
  EXPECT_MASK(none, 21);
  Sel().radiusX = 4, Sel().radiusY = 0;
  BuildAreaMaskWith(image, kAreaEllipse, false, false);
  EXPECT_MASK(none, 21);
}

TEST_F(AreaMaskTest, RoundRectRoundness0IsTheBoxAnd100TheEllipse) {
  ImageRecord* image = Picture(25, 19);
  Box(3, 2, 21, 16);
  BuildAreaMaskWith(image, kAreaRectangle, false, false);
  auto box = MaskBytes();
  Box(3, 2, 21, 16);
  Sel().roundness = 0;
  BuildAreaMaskWith(image, kAreaRoundRect, false, false);
  EXPECT_EQ(Art(MaskBytes(), 25), Art(box, 25));

  Box(3, 2, 21, 16);
  BuildAreaMaskWith(image, kAreaEllipse, false, false);
  auto ellipse = MaskBytes();
  Box(3, 2, 21, 16);
  Sel().roundness = 100;
  BuildAreaMaskWith(image, kAreaRoundRect, false, false);
  EXPECT_EQ(Art(MaskBytes(), 25), Art(ellipse, 25));
}

TEST_F(AreaMaskTest, SelfCrossingPolygonLeavesTheDoublyCoveredPartOutButKeepsItsOutline) {
  ImageRecord* image = Picture(17, 17);
  Points(Sel().capture, {{2, 2}, {10, 2}, {10, 10}, {2, 10}, {2, 2}, {6, 6}, {14, 6}, {14, 14}, {6, 14}, {6, 6}, {2, 2}});
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaPolygon, false, false), 0);
  auto inA = [](int x, int y) { return x >= 2 && x <= 10 && y >= 2 && y <= 10; };
  auto inB = [](int x, int y) { return x >= 6 && x <= 14 && y >= 6 && y <= 14; };
  EXPECT_MASK(Expected(17, 17, [&](int x, int y) {
                bool hole = x >= 7 && x <= 9 && y >= 7 && y <= 9;
                return (inA(x, y) || inB(x, y)) && !hole ? 255 : 0;
              }),
              17);

  // A sub-path started with the pen up is a second, separate shape.
  ClearPointList(Sel().capture);
  for (auto [x, y, f] : {std::tuple{1, 1, 0}, {4, 1, 255}, {4, 4, 255}, {1, 4, 255}, {1, 1, 255},
                         {8, 8, 0}, {12, 8, 255}, {12, 12, 255}, {8, 12, 255}, {8, 8, 255}})
    PushPoint(Sel().capture, x, y, static_cast<std::uint8_t>(f));
  BuildAreaMaskWith(image, kAreaFreehand, false, false);
  EXPECT_MASK(Expected(17, 17, [](int x, int y) {
                return (x >= 1 && x <= 4 && y >= 1 && y <= 4) || (x >= 8 && x <= 12 && y >= 8 && y <= 12) ? 255 : 0;
              }),
              17);
}

TEST_F(AreaMaskTest, OutlinePointsFarOutsideTheImageAreClippedQuickly) {
  ImageRecord* image = Picture(10, 10);
  constexpr int kFar = 2000000000;
  Points(Sel().capture, {{-kFar, 0}, {kFar, 0}, {kFar, 5}, {-kFar, 5}, {-kFar, 0}});
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaPolygon, false, false), 0);
  EXPECT_MASK(Expected(10, 10, [](int, int y) { return y <= 5 ? 255 : 0; }), 10);
}

bool OutlineHas(int x, int y) {
  const PointList& o = Sel().outline;
  for (int i = 0; i < o.count; ++i)
    if (o.points[i].x == x && o.points[i].y == y) return true;
  return false;
}

TEST_F(AreaMaskTest, BezierAndSplineOutlinesPassThroughTheirAnchors) {
  ImageRecord* image = Picture(64, 64);
  // Anchor, next anchor, first handle, second handle; then a group missing
  // its handles, which falls back to the anchors.
  Points(Sel().control, {{5, 50}, {55, 50}, {15, 5}, {45, 5}, {30, 60}});
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaBezier, false, false), 0);
  EXPECT_TRUE(OutlineHas(5, 50));
  EXPECT_TRUE(OutlineHas(55, 50));
  EXPECT_TRUE(OutlineHas(30, 60));
  EXPECT_EQ(Sel().outline.count, 2 * 130);
  // The curve bulges towards its handles: at t = 1/2 it is at y = 50 - 45 * 3/4.
  EXPECT_TRUE(OutlineHas(30, 16) || OutlineHas(30, 17));
  auto mask = MaskBytes();
  EXPECT_EQ(mask[30 * 64 + 30], 255);
  EXPECT_EQ(mask[5 * 64 + 5], 0);

  Points(Sel().control, {{10, 10}, {50, 8}, {54, 40}, {20, 50}});
  Sel().closed = true;
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaSpline, false, false), 0);
  EXPECT_EQ(Sel().outline.count, 5 * 10 - 9);
  for (auto [x, y] : {std::pair{10, 10}, {50, 8}, {54, 40}, {20, 50}}) EXPECT_TRUE(OutlineHas(x, y)) << x << "," << y;
  EXPECT_EQ(MaskBytes()[30 * 64 + 32], 255);
}

TEST_F(AreaMaskTest, PolyArcOfFourClosedPointsIsACircle) {
  ImageRecord* image = Picture(41, 41);
  Points(Sel().control, {{10, 20}, {20, 10}, {30, 20}, {20, 30}});
  Sel().closed = true;
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaPolyArc, false, false), 0);
  auto mask = MaskBytes();
  for (int y = 0; y < 41; ++y)
    for (int x = 0; x < 41; ++x) {
      double d = std::hypot(x - 20, y - 20);
      if (d < 9) {
        EXPECT_EQ(mask[y * 41 + x], 255) << x << "," << y;
      }
      if (d > 11) {
        EXPECT_EQ(mask[y * 41 + x], 0) << x << "," << y;
      }
    }
}

TEST_F(AreaMaskTest, WandFillsAUniformImageAndStopsAtColourEdges) {
  ImageRecord* uniform = Picture(40, 30);
  Sel().seedX = 7, Sel().seedY = 9;
  ASSERT_EQ(BuildAreaMaskWith(uniform, kAreaColourWand, false, false), 0);
  EXPECT_MASK(Expected(40, 30, [](int, int) { return 255; }), 40);

  // A U-shaped red region in blue, reached only around its bend; the right
  // half is dark red: the same hue, lightness 31 below.
  ImageRecord* image = Picture(20, 12, [](int x, int y) {
    bool u = (x >= 2 && x <= 4 && y >= 1 && y <= 10) || (x >= 2 && x <= 14 && y >= 8 && y <= 10) ||
             (x >= 12 && x <= 14 && y >= 1 && y <= 10);
    if (!u) return std::array<int, 3>{0, 0, 255};
    return x <= 8 ? std::array<int, 3>{255, 0, 0} : std::array<int, 3>{100, 0, 0};
  });
  auto inU = [](int x, int y) {
    return (x >= 2 && x <= 4 && y >= 1 && y <= 10) || (x >= 2 && x <= 14 && y >= 8 && y <= 10) ||
           (x >= 12 && x <= 14 && y >= 1 && y <= 10);
  };
  Sel().seedX = 3, Sel().seedY = 2;
  Sel().wandRanges.useHsl = false;
  BuildAreaMaskWith(image, kAreaColourWand, false, false);
  EXPECT_MASK(Expected(20, 12, [&](int x, int y) { return inU(x, y) && x <= 8 ? 255 : 0; }), 20);
  Sel().wandRanges.useHsl = true;
  BuildAreaMaskWith(image, kAreaColourWand, false, false);
  EXPECT_MASK(Expected(20, 12, [&](int x, int y) { return inU(x, y) ? 255 : 0; }), 20);
  EXPECT_EQ(Sel().left, 2);
  EXPECT_EQ(Sel().right, 14);
}

TEST_F(AreaMaskTest, WandStopsEarlyWhenTenThousandSeedsArePending) {
  // A comb: a spine along the bottom row and 10001 one-pixel teeth, each of
  // which leaves a pending seed when the spine is walked.
  constexpr int kWidth = 20002;
  ImageRecord* image = Picture(kWidth, 3, [](int x, int y) {
    return y == 2 || x % 2 == 0 ? std::array<int, 3>{50, 50, 50} : std::array<int, 3>{250, 0, 0};
  });
  Sel().seedX = 0, Sel().seedY = 2;
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaColourWand, false, false), 0);
  auto mask = MaskBytes();
  int selected = 0;
  for (auto v : mask) selected += v ? 1 : 0;
  EXPECT_EQ(selected, kWidth);
  EXPECT_EQ(Sel().top, 2);

  // Fewer teeth: the fill completes.
  ImageRecord* small = Picture(200, 3, [](int x, int y) {
    return y == 2 || x % 2 == 0 ? std::array<int, 3>{50, 50, 50} : std::array<int, 3>{250, 0, 0};
  });
  BuildAreaMaskWith(small, kAreaColourWand, false, false);
  EXPECT_MASK(Expected(200, 3, [](int x, int y) { return y == 2 || x % 2 == 0 ? 255 : 0; }), 200);
}

TEST_F(AreaMaskTest, ColourKeyRestrictsTheShapeAndExcludeInverts) {
  ImageRecord* image = Picture(12, 10, [](int x, int y) {
    return (x + y) % 3 == 0 ? std::array<int, 3>{10, 15, 240} : std::array<int, 3>{200, 200, 0};
  });
  Box(2, 2, 8, 6);
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaRectangle, true, false), 0);
  auto keyed = [](int x, int y) { return x >= 2 && x <= 8 && y >= 2 && y <= 6 && (x + y) % 3 == 0; };
  EXPECT_MASK(Expected(12, 10, [&](int x, int y) { return keyed(x, y) ? 255 : 0; }), 12);
  EXPECT_EQ(Sel().left, 2);
  EXPECT_EQ(Sel().top, 2);
  EXPECT_EQ(Sel().right, 8);

  // As a mode of its own: every key-coloured pixel.
  BuildAreaMaskWith(image, kAreaColourKey, false, false);
  EXPECT_MASK(Expected(12, 10, [](int x, int y) { return (x + y) % 3 == 0 ? 255 : 0; }), 12);

  Box(2, 2, 8, 6);
  BuildAreaMaskWith(image, kAreaRectangle, false, true);
  EXPECT_MASK(Expected(12, 10, [](int x, int y) { return x >= 2 && x <= 8 && y >= 2 && y <= 6 ? 0 : 255; }), 12);
  BuildAreaMaskWith(image, kAreaEntire, false, true);
  EXPECT_MASK(Expected(12, 10, [](int, int) { return 0; }), 12);
  EXPECT_EQ(Sel().right, 0);
}

TEST_F(AreaMaskTest, ColourDiscriminatorClearsSelectedPixelsInsideItsRanges) {
  ImageRecord* image = Picture(8, 2, [](int x, int) { return std::array<int, 3>{x * 30, 50, 50}; });
  Box(0, 0, 7, 1);
  BuildAreaMaskWith(image, kAreaRectangle, false, false);
  Area().discriminator = {true, {100, 60, 40}, {40, 40, 60}};  // red 40..100 once ordered
  ASSERT_EQ(ApplyColourDiscriminator(image), 0);
  EXPECT_MASK(Expected(8, 2, [](int x, int) { return x * 30 >= 40 && x * 30 <= 100 ? 0 : 255; }), 8);
}

// Draws a rectangle the way a view does: button down samples the keys.
void Draw(ImageRecord* image, int l, int t, int r, int b, bool shift = false, bool ctrl = false) {
  int code = BeginSelectionGesture(shift, ctrl);
  Box(l, t, r, b);
  Sel().mode = kAreaRectangle;
  ASSERT_EQ(FinishSelection(image, -1, code), 0);
}

TEST_F(AreaMaskTest, ShiftAddsCtrlSubtractsBothIntersectAndComplementIsTheDifference) {
  ImageRecord* image = Picture(12, 8);
  auto a = [](int x, int y) { return x >= 1 && x <= 6 && y >= 1 && y <= 5; };
  auto b = [](int x, int y) { return x >= 4 && x <= 9 && y >= 3 && y <= 6; };
  auto check = [&](auto rule) { EXPECT_MASK(Expected(12, 8, [&](int x, int y) { return rule(x, y) ? 255 : 0; }), 12); };
  Draw(image, 1, 1, 6, 5);
  Draw(image, 4, 3, 9, 6, true);
  check([&](int x, int y) { return a(x, y) || b(x, y); });
  EXPECT_EQ(Sel().right, 9);

  Draw(image, 1, 1, 6, 5);
  Draw(image, 4, 3, 9, 6, false, true);
  check([&](int x, int y) { return a(x, y) && !b(x, y); });

  Draw(image, 1, 1, 6, 5);
  Draw(image, 4, 3, 9, 6, true, true);
  check([&](int x, int y) { return a(x, y) && b(x, y); });
  EXPECT_EQ(Sel().left, 4);

  Draw(image, 1, 1, 6, 5);
  Area().combination = AreaCombination::Complement;
  Draw(image, 4, 3, 9, 6);
  check([&](int x, int y) { return a(x, y) != b(x, y); });

  // Without keys or a button the new shape replaces the old; undo swaps back.
  Area().combination = AreaCombination::None;
  Draw(image, 4, 3, 9, 6);
  check(b);
  ASSERT_EQ(UndoLastSelection(), 0);
  check([&](int x, int y) { return a(x, y) != b(x, y); });
}

TEST_F(AreaMaskTest, TimeLineCombinationsBlendPartialMasksAndExcludeInvertsTheResult) {
  ImageRecord* image = Picture(4, 1);
  auto set = [&](std::array<int, 4> v) {
    Box(0, 0, 3, 0);
    BuildAreaMaskWith(image, kAreaRectangle, false, false);
    auto* m = static_cast<std::uint8_t*>(LockVirtual(Area().mask.place));
    for (int i = 0; i < 4; ++i) m[i] = static_cast<std::uint8_t>(v[i]);
    UnlockVirtual(Area().mask.place);
  };
  auto run = [&](AreaCombination c, bool exclude) {
    set({0, 100, 200, 255});
    SavePreviousMask();
    set({255, 50, 200, 0});
    Area().combination = c;
    Area().exclude = exclude;
    EXPECT_EQ(CombineOnTimeLine(), 0);
    return MaskBytes();
  };
  EXPECT_EQ(run(AreaCombination::Complement, false), (std::vector<std::uint8_t>{255, 50, 0, 255}));
  EXPECT_EQ(run(AreaCombination::Intersection, false), (std::vector<std::uint8_t>{0, 19, 156, 0}));
  EXPECT_EQ(run(AreaCombination::Union, false), (std::vector<std::uint8_t>{255, 100, 200, 255}));
  // The result (before inversion) becomes the previous mask.
  EXPECT_EQ(run(AreaCombination::Union, true), (std::vector<std::uint8_t>{0, 155, 55, 0}));
  EXPECT_EQ(Area().previous.bytes[1], 100);
}

TEST_F(AreaMaskTest, FontMaskOfAStringLiesOnItsBaseLineAndTurnsWithRotation) {
  ImageRecord* image = Picture(200, 200);
  Sel().fontText = "HHHH";
  Sel().font.pixelSize = 30;
  Sel().seedX = 20, Sel().seedY = 100;
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaFont, false, false), 0);
  auto mask = MaskBytes();
  int set = 0;
  for (auto v : mask) set += v ? 1 : 0;
  EXPECT_GT(set, 100);
  // Capitals stand on the base line and start at the clicked point.
  EXPECT_GE(Sel().left, 20);
  EXPECT_LE(Sel().left, 25);
  EXPECT_EQ(Sel().bottom, 99);
  EXPECT_LT(Sel().top, 85);
  EXPECT_GT(Sel().right - Sel().left, 2 * (Sel().bottom - Sel().top));

  Sel().rotation = 90;
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaFont, false, false), 0);
  EXPECT_GT(Sel().bottom - Sel().top, 2 * (Sel().right - Sel().left));
  // Turned clockwise: the text runs down from the clicked point, the tops
  // of the letters facing right.
  EXPECT_GE(Sel().top, 95);
  EXPECT_GE(Sel().left, 19);
  EXPECT_LE(Sel().right, 50);
}

// Area files and TimeLine cells hand over whatever ints they hold: only the
// image's own rows and columns are visited, every sum is 64-bit.
TEST_F(AreaMaskTest, HugeRadiiAndCoordinatesBuildFromTheImagesRowsAlone) {
  ImageRecord* image = Picture(100, 100);
  auto rows = [](int from, int to) {
    return Expected(100, 100, [=](int, int y) { return y >= from && y <= to ? 255 : 0; });
  };
  auto ellipse = [&](int cx, int cy, int rx, int ry) {
    Sel().centreX = cx, Sel().centreY = cy, Sel().radiusX = rx, Sel().radiusY = ry;
    EXPECT_EQ(BuildAreaMaskWith(image, kAreaEllipse, false, false), 0);
  };
  ellipse(50, 50, 2000000000, 1);  // a band two thousand million pixels long
  EXPECT_MASK(rows(49, 51), 100);
  // The top of a circle, walked (a radius of 65536) and computed (larger).
  for (int r : {1 << 16, (1 << 16) + 1, 1000000000}) {
    ellipse(50, 50 + r, r, r);
    EXPECT_MASK(rows(50, 99), 100) << r;
  }
  ellipse(INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  EXPECT_MASK(rows(1, 0), 100);

  // The widest box there is: centre 0, radii as large as an int holds.
  SetSelectionBox(Sel(), INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  EXPECT_EQ(Sel().centreX, 0);
  EXPECT_EQ(Sel().radiusX, INT_MAX);
  Points(Sel().capture, {{0, 0}, {1000, 0}, {1000, 1000}, {0, 1000}, {0, 0}});
  for (int mode : {kAreaRectangle, kAreaRoundRect, kAreaEllipse, kAreaIShape}) {
    SetSelectionBox(Sel(), INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    ASSERT_EQ(BuildAreaMaskWith(image, mode, false, false), 0) << mode;
    EXPECT_MASK(rows(0, 99), 100) << mode;
  }

  // Every shape from every pairing of hostile values: built, and fast (the
  // sanitizer build reports any overflow).
  const int values[] = {INT_MIN, INT_MIN + 1, -2000000000, -1, 0, 1, 99, 2000000000, INT_MAX};
  for (int mode : {kAreaRectangle, kAreaNumRect, kAreaEllipse, kAreaRoundRect, kAreaIShape, kAreaPolygon,
                   kAreaFreehand, kAreaSpline, kAreaBezier, kAreaPolyArc})
    for (int a : values)
      for (int b : values) {
        AreaSelection& s = Sel();
        s.left = a, s.top = b, s.right = b, s.bottom = a;
        s.centreX = a, s.centreY = b, s.radiusX = b, s.radiusY = a;
        s.roundness = a;
        Points(s.capture, {{a, b}, {b, a}, {a, a}, {b, b}, {a, b}});
        Points(s.control, {{a, b}, {b, a}, {a, a}, {b, b}});
        ASSERT_EQ(BuildAreaMaskWith(image, mode, false, false), 0) << mode << " " << a << " " << b;
      }
  // Transparency over a box from anywhere.
  std::vector<std::uint8_t> bytes(100 * 100, 255);
  for (int mode : {kAreaEllipse, kAreaRectangle}) {
    SetSelectionBox(Sel(), INT_MIN, INT_MIN, INT_MAX, INT_MAX);
    Sel().mode = static_cast<std::int16_t>(mode);
    Sel().transparencyLevel = 200, Sel().edgeFade = 50, Sel().grow = 50;
    EXPECT_EQ(FadeMaskBytes(bytes.data(), 100, 100, Sel()), 0) << mode;
  }
  Sel().transparencyLevel = 255, Sel().edgeFade = 0, Sel().grow = 100;
  // Redo scales the box by the image sizes; Edit Area rescales the points.
  SetSelectionBox(Sel(), INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  Sel().imageWidth = Sel().imageHeight = 1;
  ImageRecord* larger = Picture(300, 200);
  ASSERT_EQ(BuildAreaMaskWith(larger, kAreaRedo, false, false), 0);
  Sel().mode = kAreaPolygon;
  Points(Sel().capture, {{INT_MIN, 0}, {INT_MAX, 0}, {0, INT_MAX}, {INT_MIN, 0}});
  SetSelectionBox(Sel(), INT_MIN, 0, INT_MAX, INT_MAX);
  ASSERT_EQ(EditAreaBox(larger, INT_MIN, INT_MIN, INT_MAX, INT_MAX), 0);
  EXPECT_EQ(Sel().capture.points[1].x, INT_MAX);
}

TEST_F(AreaMaskTest, ResizeTraceAndTheMessagesOfMissingSelectionsAndMemory) {
  ImageRecord* image = Picture(6, 4);
  EXPECT_EQ(BuildAreaMaskWith(image, kAreaRedo, false, false), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{28});
  EXPECT_EQ(EditAreaBox(image, 0, 0, 2, 2), 1);
  EXPECT_EQ(host->MessageNumbers().back(), 72);

  Box(1, 1, 3, 2);
  BuildAreaMaskWith(image, kAreaRectangle, false, false);
  ASSERT_EQ(TraceMaskOutline(), 0);
  EXPECT_EQ(Area().shownOutline.count, 6);  // the box has no interior pixel
  EXPECT_EQ(Area().shownOutline.points[0].flag, kPenUp);

  ASSERT_EQ(ResizeMask(12, 8), 0);
  EXPECT_MASK(Expected(12, 8, [](int x, int y) { return x >= 2 && x <= 7 && y >= 2 && y <= 5 ? 255 : 0; }), 12);
  // Redo on a larger image resamples the last mask.
  ImageRecord* big = Picture(12, 8);
  ASSERT_EQ(BuildAreaMaskWith(big, kAreaRedo, false, false), 0);
  EXPECT_EQ(Sel().left, 2);
  EXPECT_EQ(Sel().bottom, 5);

  // Stopped by the user while filling: failure, and the mask left unlocked.
  ImageRecord* tall = Picture(10, 300);
  Points(Sel().capture, {{0, 0}, {9, 0}, {9, 299}, {0, 0}});
  host->onPump = [] { RequestStop(); };
  EXPECT_EQ(BuildAreaMaskWith(tall, kAreaPolygon, false, false), 1);
  EXPECT_EQ(Area().mask.address, nullptr);
  host->onPump = nullptr;

  ClearAreaSelection();
  TheProgram().memory.faults.allocate = [](std::int64_t) { return true; };
  EXPECT_EQ(BuildAreaMaskWith(image, kAreaRectangle, false, false), 1);
  EXPECT_EQ(host->MessageNumbers().back(), 59);
  TheProgram().memory.faults.allocate = nullptr;
  TheProgram().memory.faults.lock = [] { return true; };
  EXPECT_EQ(BuildAreaMaskWith(image, kAreaRectangle, false, false), 1);
  EXPECT_EQ(host->MessageNumbers().back(), 60);
}

}  // namespace
}  // namespace qv
