#include "anim/trends.h"

#include "anim/anim_state.h"
#include "ops/op_state.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

constexpr OpId kContrast = 3181;   // Amount: dial -100..100, trend +-99999
constexpr OpId kLightning = 3211;  // slot 3 "Seed": trend 0..99999
constexpr OpId kAsterize = 3111;   // slot 7 "Center Spot": a switch

TrendVar VarOf(OpId op, int slot) { return static_cast<TrendVar>(OpOf(op).slots[slot].binding); }

class TrendTest : public test::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    ChangeFrameCount(11);
  }
  // A Trend on Contrast's amount with these points (frame, value).
  Trend& With(std::initializer_list<std::pair<int, int>> points, bool spline = false) {
    Trend* t = FindOrCreateTrend(VarOf(kContrast, 0), 0);
    t->count = 0;
    for (auto [f, v] : points) {
      t->frames[t->count] = f;
      t->values[t->count++] = v;
    }
    t->spline = spline;
    RecomputeTrend(*t);
    return *t;
  }
  static std::vector<int> Curve(const Trend& t) { return {t.frameValues, t.frameValues + FrameCount()}; }
  static std::vector<int> Points(const Trend& t) {
    std::vector<int> out;
    for (int i = 0; i < t.count; ++i) out.insert(out.end(), {t.frames[i], t.values[i]});
    return out;
  }
};

TEST_F(TrendTest, ANewTrendHoldsTheValueAndTakesTheLevelsOpKeys) {
  SetParamValue(kContrast, 0, 40);
  Trend* t = FindOrCreateTrend(VarOf(kContrast, 0), 0);
  ASSERT_TRUE(t);
  EXPECT_EQ(Curve(*t), std::vector<int>(11, 40));
  EXPECT_EQ(t->lower, -100);
  EXPECT_EQ(t->maximum, 99999);
  EXPECT_EQ(TrendTitle(*t), "Trend - Contrast: Amount (Level: 1)");
  KillTrend(t);

  TheProgram().ops.current = kContrast;
  SetParamValue(kContrast, 0, 90);
  ASSERT_EQ(AddOpAt(2, 5), 0);
  t = FindOrCreateTrend(VarOf(kContrast, 0), 2);
  EXPECT_EQ(Points(*t), (std::vector<int>{0, 90, 5, 90, 10, 90}));
  EXPECT_EQ(FindOrCreateTrend(VarOf(kContrast, 0), 2), t) << "one Trend per variable and level";

  Trend* sw = FindOrCreateTrend(VarOf(kAsterize, 7), 0);
  EXPECT_TRUE(sw->twoState);
  Trend* level = OpenTrend(14710);
  ASSERT_TRUE(level);
  EXPECT_EQ(level->upper, 255);
  EXPECT_EQ(TrendTitle(*level), "Trend - Transparency: Level (Level: 1)");
  // A colour is refused with the notice.
  constexpr std::uint32_t kBaseColor = 15950;
  EXPECT_EQ(OpenTrend(kBaseColor), nullptr);
  ASSERT_EQ(host->notes.size(), 1u);
  EXPECT_EQ(host->notes[0], "Trend this color by dragging OPS into the Timeline");
}

TEST_F(TrendTest, StraightSegmentsOrASplineClampedToTheTrendRange) {
  Trend& t = With({{0, 0}, {5, 100}, {10, 0}});
  EXPECT_EQ(Curve(t), (std::vector<int>{0, 20, 40, 60, 80, 100, 80, 60, 40, 20, 0}));
  t.spline = 1;
  RecomputeTrend(t);
  std::vector<int> c = Curve(t);
  EXPECT_EQ(c[5], 100);
  for (int f = 0; f < 11; ++f) EXPECT_EQ(c[f], c[10 - f]) << f;
  EXPECT_GT(c[3], 60) << "a curve, not the triangle";

  // Over the top: the spline is clamped, straight segments are not.
  t.maximum = 90;
  RecomputeTrend(t);
  EXPECT_EQ(Curve(t)[5], 90);
  t.spline = 0;
  RecomputeTrend(t);
  EXPECT_EQ(Curve(t)[5], 100);
  // Two points with splines: the line over every frame, clamped.
  Trend& two = With({{2, 10}, {4, 30}}, true);
  EXPECT_EQ(Curve(two)[0], -10);
  EXPECT_EQ(Curve(two)[10], 90);

  // The spline's work places: without them the curve stays as it was and
  // the user is told; with them, none is left behind.
  Trend& three = With({{0, 0}, {5, 100}, {10, 0}}, true);
  const std::vector<int> before = Curve(three);
  const int places = TheProgram().memory.placesInUse;
  three.values[1] = 50;
  TheProgram().memory.faults.allocate = [](std::int64_t) { return true; };
  RecomputeTrend(three);
  TheProgram().memory.faults.allocate = nullptr;
  EXPECT_EQ(Curve(three), before);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{66});
  EXPECT_EQ(TheProgram().memory.placesInUse, places);
  RecomputeTrend(three);
  EXPECT_EQ(Curve(three)[5], 50);
  EXPECT_EQ(TheProgram().memory.placesInUse, places);
}

TEST_F(TrendTest, RescaleMovesPointsAndMergesThoseThatMeet) {
  Trend& t = With({{0, 1}, {5, 2}, {10, 3}});
  ChangeFrameCount(21);
  EXPECT_EQ(Points(t), (std::vector<int>{0, 1, 10, 2, 20, 3}));
  EXPECT_EQ(t.room, 23);
  With({{0, 1}, {1, 2}, {2, 3}, {20, 4}});
  ChangeFrameCount(3);
  EXPECT_EQ(Points(t), (std::vector<int>{0, 1, 2, 4}));
}

TEST_F(TrendTest, MouseEditsPointsAndTwoStateTrendsArePainted) {
  Trend& t = With({{0, 0}, {10, 0}});
  t.lower = 0, t.upper = 100;
  SetTrendPlot(t, 10, 20, 110, 120);  // 100 x 100
  EXPECT_EQ(TrendFrameAt(t, 10), 0);
  EXPECT_EQ(TrendFrameAt(t, 59), 5);
  EXPECT_EQ(TrendFrameAt(t, 500), 10);
  EXPECT_EQ(TrendValueAt(t, 20), 100);
  EXPECT_EQ(TrendValueAt(t, 70), 50);
  EXPECT_EQ(TrendValueAt(t, 300), 0);
  EXPECT_EQ(TrendPositionText(t, 59, 70), "F:6, Y:50");
  TrendButtonDown(t, 59, 70);
  EXPECT_EQ(Points(t), (std::vector<int>{0, 0, 5, 50, 10, 0}));
  EXPECT_EQ(t.selected, 1);
  TrendDrag(t, 1000, 20);  // held between its neighbours
  EXPECT_EQ(Points(t), (std::vector<int>{0, 0, 9, 100, 10, 0}));
  t.selected = 0;
  EXPECT_FALSE(TrendDeleteSelected(t));
  t.selected = 1;
  EXPECT_TRUE(TrendDeleteSelected(t));
  EXPECT_FALSE(TrendDeleteSelected(t)) << "two points stay";
  // A plot squeezed to nothing divides by one.
  SetTrendPlot(t, 30, 40, 30, 40);
  EXPECT_EQ(TrendFrameAt(t, 30), 0);
  EXPECT_EQ(TrendValueAt(t, 40), 100);

  Trend* sw = FindOrCreateTrend(VarOf(kAsterize, 7), 0);
  EXPECT_EQ(TrendPaintValue(*sw, 3), 1);
  TrendPaint(*sw, 5, 3, 1);
  EXPECT_EQ(Curve(*sw), (std::vector<int>{0, 0, 0, 1, 1, 1, 0, 0, 0, 0, 0}));
}

TEST_F(TrendTest, WindowCommandsReshapeThePoints) {
  auto run = [&](std::initializer_list<std::pair<int, int>> pts, int id) {
    Trend& t = With(pts);
    t.lower = 0, t.upper = 100;
    EXPECT_EQ(TrendCommand(t, id), 0) << id;
    return Points(t);
  };
  using V = std::vector<int>;
  EXPECT_EQ(run({{0, 0}, {1, 5}, {4, 5}, {10, 0}}, 8014), (V{0, 0, 1, 5, 3, 5, 10, 0}));
  EXPECT_EQ(run({{0, 0}, {8, 5}, {9, 5}, {10, 0}}, 8017), (V{0, 0, 8, 5, 9, 5, 10, 0}));
  EXPECT_EQ(run({{0, 98}, {10, 50}}, 8015), (V{0, 100, 10, 55}));
  EXPECT_EQ(run({{0, 2}, {10, 50}}, 8016), (V{0, 0, 10, 45}));
  EXPECT_EQ(run({{0, 0}, {5, 100}, {10, 20}}, 8022), (V{0, 0, 5, 55, 10, 20}));
  EXPECT_EQ(run({{0, 0}, {10, 30}}, 8026), (V{0, 100, 10, 70}));
  EXPECT_EQ(run({{0, 1}, {2, 2}, {5, 3}, {7, 4}, {10, 5}}, 8027), (V{0, 1, 2, 2, 5, 3, 8, 2, 10, 1}));
  EXPECT_EQ(run({{0, 7}, {5, 7}, {10, 7}}, 8028), (V{0, 100, 5, 50, 10, 0}));
  EXPECT_EQ(run({{0, 7}, {5, 7}, {10, 7}}, 8029), (V{0, 0, 5, 50, 10, 100}));
  // Sharpen pushes each frame away from the mean around it; the ends stay.
  run({{0, 0}, {5, 100}, {10, 0}}, 8021);
  Trend& t = *FindTrend(VarOf(kContrast, 0), 0);
  EXPECT_EQ(t.count, 11);
  EXPECT_EQ(t.frameValues[0], 0);
  EXPECT_EQ(t.frameValues[5], 100) << "clamped to the upper extent";
  EXPECT_GT(t.frameValues[2], 40);

  Trend& small = With({{0, 0}, {10, 0}});
  EXPECT_EQ(TrendCommand(small, 8022), 1) << "smoothing wants three points";
  EXPECT_EQ(TrendCommand(small, 8035), 0);
  EXPECT_EQ(small.spline, 1);
}

TEST_F(TrendTest, PasteMapsExtentsAndFrameCounts) {
  Trend& from = With({{0, 0}, {5, 255}, {10, 128}});
  EXPECT_EQ(TrendCommand(from, 8025), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{67});
  from.lower = 0, from.upper = 255;
  TrendCommand(from, 8024);
  ChangeFrameCount(21);
  Trend* to = FindOrCreateTrend(VarOf(kLightning, 3), 1);
  to->lower = 0, to->upper = 100;
  ASSERT_EQ(TrendCommand(*to, 8025), 0);
  EXPECT_EQ(Points(*to), (std::vector<int>{0, 0, 10, 100, 20, 50}));
  // Equal extents in the buffer divide by one, not by zero.
  from.lower = from.upper = 7;
  TrendCommand(from, 8024);
  ASSERT_EQ(TrendCommand(*to, 8025), 0);
  Trend* sw = FindOrCreateTrend(VarOf(kAsterize, 7), 1);
  TrendCommand(*FindTrend(VarOf(kContrast, 0), 0), 8024);
  ASSERT_EQ(TrendCommand(*sw, 8025), 0);
}

TEST_F(TrendTest, SettingsFileLinesCarryFrameValuesAndReadBackResampled) {
  InstallTrendHooks();
  const ParamSlot& seed = OpOf(kLightning).slots[3];
  Trend* t = FindOrCreateTrend(VarOf(kLightning, 3), Anim().timeline.cursor.level);
  t->count = 0;
  SetTrendPoint(*t, 0, 0);
  SetTrendPoint(*t, 10, 40000);
  RecomputeTrend(*t);
  std::string out;
  ASSERT_TRUE(WriteTrendLines(out, "Seed", seed));
  EXPECT_EQ(out, "Trend[Seed] 11 0 9999 0\n 0 4000 8000 12000 16000 20000 24000 28000 32000 36000 40000\n");

  // Read at 21 frames: 32 bits hold 40000; the last frame reads the last value.
  KillAllTrends();
  ChangeFrameCount(21);
  std::vector<std::string> lines{" 0 4000 8000 12000 16000 20000 24000 28000 32000 36000 40000"};
  auto next = [&](std::string& l) {
    if (lines.empty()) return false;
    l = lines.front();
    lines.erase(lines.begin());
    return true;
  };
  ReadTrendLines("Trend[Seed] 11 0 9999 0", seed, next);
  t = FindTrend(VarOf(kLightning, 3), Anim().timeline.cursor.level);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->count, 21);
  EXPECT_EQ(t->frameValues[1], 2000);
  EXPECT_EQ(t->frameValues[20], 40000);
  // Values beyond the trend range are kept inside it; counts are capped.
  lines = {"-5 200000"};
  ReadTrendLines("Trend[Seed] 2", seed, next);
  EXPECT_EQ(t->frameValues[0], 0);
  EXPECT_EQ(t->frameValues[20], 99999);
  lines = {"1 2 3"};
  ReadTrendLines("Trend[Seed] 999999999 0 10 0", seed, next);
  EXPECT_EQ(t->frameValues[20], 3);
  RemoveTrendOfSlot(seed);
  EXPECT_EQ(FindTrend(VarOf(kLightning, 3), 0), nullptr);
}

TEST_F(TrendTest, TrendsDriveTheirVariablesAtAFrame) {
  Trend& t = With({{0, -50}, {10, 50}});
  EXPECT_EQ(ApplyTrend(VarOf(kContrast, 0), 0, 5), 1);
  EXPECT_EQ(ParamValue(kContrast, 0), 0);
  EXPECT_EQ(ApplyTrend(VarOf(kContrast, 0), 0, 5), 0) << "no change the second time";
  EXPECT_EQ(ApplyTrend(VarOf(kContrast, 0), 3, 5), 0) << "no Trend on level 4";
  Trend* grow = FindOrCreateTrend(kTrendGrow, 0);
  SetTrendPoint(*grow, 10, 0);
  RecomputeTrend(*grow);
  ApplyTrend(kTrendGrow, 0, 5);
  EXPECT_EQ(TheProgram().area.selection.grow, 50);
  SetTrendExtents(t, 500, -7);
  EXPECT_EQ(t.lower, 500);
  EXPECT_EQ(t.upper, 501);
}

}  // namespace
}  // namespace qv
