#include "ops/colour_commands.h"

#include <gtest/gtest.h>

#include <climits>

#include "ops/apply_test_support.h"

namespace qv::test {
namespace {

constexpr OpId kBalance = 3184, kRemap = 3189;

class ColourCommandsTest : public ApplyTest {
 protected:
  ColourOpsState& Col() { return Pipeline().colour; }
  std::array<int, 4> Target() {
    return {ParamValue(kBalance, 0), ParamValue(kBalance, 1), ParamValue(kBalance, 2), ParamValue(kBalance, 3)};
  }
  void SetSample(int r, int g, int b) {
    Col().sample.red = r;
    Col().sample.green = g;
    Col().sample.blue = b;
  }
  int refreshes = 0;
  void CountRefreshes() {
    TheProgram().ops.hooks.refreshSettings = [this] { ++refreshes; };
  }
};

TEST_F(ColourCommandsTest, BalanceTargetsSwitchDynamicRangeOffAndRefreshTheDialog) {
  CountRefreshes();
  SetSample(10, 20, 42);
  SetParamValue(kBalance, 0, 1);
  BalanceToWhite();
  EXPECT_EQ(Target(), (std::array<int, 4>{0, 255, 255, 255}));
  SetParamValue(kBalance, 0, 1);
  BalanceToBlack();
  EXPECT_EQ(Target(), (std::array<int, 4>{0, 0, 0, 0}));
  SetParamValue(kBalance, 0, 1);
  BalanceToGray();  // (10 + 20 + 42) / 3
  EXPECT_EQ(Target(), (std::array<int, 4>{0, 24, 24, 24}));
  // Matching and setting keep the range switch as it is.
  SetParamValue(kBalance, 0, 1);
  BalanceMatchSample();
  EXPECT_EQ(Target(), (std::array<int, 4>{1, 10, 20, 42}));
  BalanceSetTarget(300, -5, 7);
  EXPECT_EQ(Target(), (std::array<int, 4>{1, 255, 0, 7}));
  EXPECT_EQ(refreshes, 5);
}

TEST_F(ColourCommandsTest, SampleNowArmsTheNextApplyOrMeasuresAtOnceInDrawFirst) {
  ImageRecord* image = Add(3, 1, [](int x, int) { return std::array<int, 4>{x * 100, 60, 90, 255}; });
  SelectRect(1, 0, 1, 0);
  const auto before = Pixels(image);
  ASSERT_EQ(BalanceSampleNow(), 0);
  EXPECT_TRUE(BalancePickArmed());
  BalanceCancelPick();
  EXPECT_FALSE(BalancePickArmed());
  SetParamValue(kBalance, 1, 200);
  ASSERT_EQ(Run(kBalance), 0);  // disarmed: this one changes the image
  EXPECT_NE(Pixels(image), before);

  // Draw First without a selection: the whole image is measured, nothing changes.
  const auto changed = Pixels(image);
  SetWorkMethod(kDrawFirst);
  ASSERT_EQ(BalanceSampleNow(), 0);
  EXPECT_FALSE(BalancePickArmed());
  EXPECT_EQ(Pixels(image), changed);
  EXPECT_EQ(Col().sample.green, At(image, 0, 0)[1]);
  EXPECT_EQ(Pipeline().appliedChanges, 1);  // only the real Balance counted

  // The window's own Apply is used when it is there and Balance is current.
  int viaHook = 0;
  TheProgram().ops.current = kBalance;
  TheProgram().ops.hooks.applyToCurrentView = [&viaHook] {
    ++viaHook;
    return Apply(static_cast<int>(kBalance), 0);
  };
  ASSERT_EQ(BalanceSampleNow(), 0);
  EXPECT_EQ(viaHook, 1);
}

TEST_F(ColourCommandsTest, SampleNowThatCannotMeasureLeavesNothingArmed) {
  SetWorkMethod(kDrawFirst);
  EXPECT_EQ(BalanceSampleNow(), 1);  // no image: message 11, and no pick left waiting
  EXPECT_FALSE(BalancePickArmed());
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{11});
}

TEST_F(ColourCommandsTest, EqualizeAKnownHistogramInBothModes) {
  auto& h = Col().histogram;
  auto& map = Col().histogramMap;
  EXPECT_FALSE(HistogramGathered());
  EXPECT_EQ(HistogramEqualize(), 1);  // nothing gathered: the identity stays
  EXPECT_EQ(map[0][200], 200);

  h[0][0] = 100;
  h[0][128] = 50;
  h[0][255] = 50;
  h[2][64] = 100;
  // Green has nothing: its map is kept as it was.
  map[1][10] = 99;
  ASSERT_TRUE(HistogramGathered());
  ASSERT_EQ(HistogramEqualize(), 0);
  EXPECT_EQ(map[0][0], 127);    // 100 x 255 / 200
  EXPECT_EQ(map[0][127], 127);
  EXPECT_EQ(map[0][128], 191);  // 150 x 255 / 200
  EXPECT_EQ(map[0][255], 255);
  EXPECT_EQ(map[1][10], 99);
  EXPECT_EQ(map[1][11], 11);
  EXPECT_EQ(map[2][63], 0);
  EXPECT_EQ(map[2][64], 255);

  SetIndependentRgb(false);  // the three channels pooled: total 300
  ASSERT_EQ(HistogramEqualize(), 0);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(map[c][0], 85);     // 100 x 255 / 300
    EXPECT_EQ(map[c][64], 170);   // 200 x 255 / 300
    EXPECT_EQ(map[c][128], 212);  // 250 x 255 / 300
    EXPECT_EQ(map[c][255], 255);
  }

  SetStandardAdjustments(40, -20);
  ResetHistogramMap();
  for (int c = 0; c < 3; ++c)
    for (int i = 0; i < 256; i += 51) EXPECT_EQ(map[c][i], i);
  EXPECT_EQ((std::array<int, 4>{Col().mapBrightness, Col().mapContrast, Col().markerLow, Col().markerHigh}),
            (std::array<int, 4>{0, 0, 0, 255}));
}

TEST_F(ColourCommandsTest, StandardAdjustmentMarkers) {
  auto markers = [this](int b, int c) {
    SetStandardAdjustments(b, c);
    return std::array<int, 2>{Col().markerLow, Col().markerHigh};
  };
  EXPECT_EQ(markers(0, 0), (std::array<int, 2>{0, 255}));
  EXPECT_EQ(markers(0, 100), (std::array<int, 2>{127, 128}));
  EXPECT_EQ(markers(50, 0), (std::array<int, 2>{-128, 127}));
  EXPECT_EQ(markers(-100, 100), (std::array<int, 2>{383, 384}));
  EXPECT_EQ(markers(0, 50), (std::array<int, 2>{64, 191}));  // -63.5 truncates toward zero
  // Out-of-range inputs are held at -100..100.
  EXPECT_EQ(markers(200, -300), (std::array<int, 2>{-383, 126}));
  EXPECT_EQ(Col().mapBrightness, 100);
  EXPECT_EQ(Col().mapContrast, -100);
}

TEST_F(ColourCommandsTest, ApplyResamplesBetweenTheMarkers) {
  auto& map = Col().histogramMap;
  // The identity gives L 255 and H 254, which become 0 and 255.
  SetStandardAdjustments(0, 50);
  ApplyStandardAdjustments();
  EXPECT_EQ(map[0][0], 0);      // j = -128
  EXPECT_EQ(map[0][64], 0);
  EXPECT_EQ(map[1][100], 72);   // j = 36 x 255 / 127
  EXPECT_EQ(map[2][191], 255);
  EXPECT_EQ(map[2][200], 255);  // j beyond 255

  // L comes from red or green being above 0 (here green), H from red or
  // green below 255 (here red, all 0); blue is carried along by the same j.
  ResetHistogramMap();  // markers 0 and 255 again
  for (int i = 0; i < 256; ++i) {
    map[0][i] = 0;
    map[1][i] = static_cast<std::int16_t>(i < 200 ? i : 0);
    map[2][i] = static_cast<std::int16_t>(255 - i);
  }
  ApplyStandardAdjustments();  // L 199, H 255, markers 0 and 255: j = 199 + i x 56 / 255
  EXPECT_EQ(map[1][0], 199);
  EXPECT_EQ(map[1][4], 199);
  EXPECT_EQ(map[1][5], 0);  // j = 200
  EXPECT_EQ(map[2][0], 56);
  EXPECT_EQ(map[2][255], 0);
  EXPECT_EQ(map[0][128], 0);
}

TEST_F(ColourCommandsTest, MapPenDrawsStraightClampedLinesOnTheChosenMaps) {
  auto& map = Col().histogramMap;
  DrawMapLine(kMapGreen, 20, 100, 10, 0);  // drawn right to left
  EXPECT_EQ(map[1][10], 0);
  EXPECT_EQ(map[1][15], 50);
  EXPECT_EQ(map[1][16], 60);
  EXPECT_EQ(map[1][20], 100);
  EXPECT_EQ(map[1][21], 21);
  EXPECT_EQ(map[0][15], 15);
  DrawMapLine(kMapRed | kMapBlue, 250, 300, 400, 300);  // past the end, above the range
  EXPECT_EQ(map[0][251], 255);
  EXPECT_EQ(map[2][250], 255);
  EXPECT_EQ(map[1][252], 252);
  DrawMapLine(kMapAll, -5, 200, -5, 200);  // wholly outside: nothing
  EXPECT_EQ(map[0][0], 0);
  DrawMapLine(kMapAll, 3, 9, 3, -40);  // one point, clamped
  // Ends at the limits of int: the diagonal through them, without overflow.
  DrawMapLine(kMapGreen, INT_MIN, INT_MIN, INT_MAX, INT_MAX);
  EXPECT_EQ(map[1][100], 100);
  EXPECT_EQ(map[2][3], 0);
  DrawMapLine(kMapRed, 0, 0, 3, 1);  // rounds to the nearest level
  EXPECT_EQ((std::array<int, 4>{map[0][0], map[0][1], map[0][2], map[0][3]}), (std::array<int, 4>{0, 0, 1, 1}));
}

TEST_F(ColourCommandsTest, RemapPaletteSizeAndEntriesDriveTheOperation) {
  CountRefreshes();
  EXPECT_EQ(RemapPaletteSize(), 1);
  EXPECT_EQ(SetRemapPaletteSize(0), 1);
  EXPECT_EQ(SetRemapPaletteSize(5000), 1024);
  EXPECT_EQ(Col().remapTo.count, 1024);
  EXPECT_EQ(SetRemapPaletteSize(2), 2);
  EXPECT_EQ(RemapPaletteSize(), 2);
  EXPECT_EQ(SetRemapEntry(true, 1024, {1, 2, 3}), 1);
  EXPECT_EQ(SetRemapEntry(false, -1, {1, 2, 3}), 1);
  ASSERT_EQ(SetRemapEntry(false, 1, {10, 20, 30}), 0);
  ASSERT_EQ(SetRemapEntry(true, 1, {300, 20, -4}), 0);
  EXPECT_EQ(RemapEntry(true, 1).red, 255);
  EXPECT_EQ(RemapEntry(true, 1).blue, 0);
  EXPECT_EQ(RemapEntry(false, 1).green, 20);
  EXPECT_EQ(refreshes, 5);

  ImageRecord* image = Add(2, 1, [](int x, int) { return std::array<int, 4>{10 + x, 20, 30, 255}; });
  SelectEntireImage();
  SetParamValue(kRemap, 0, 0);
  ASSERT_EQ(Run(kRemap), 0);
  EXPECT_EQ(At(image, 0, 0), (std::array<int, 4>{255, 20, 0, 255}));
  EXPECT_EQ(At(image, 1, 0), (std::array<int, 4>{11, 20, 30, 255}));  // Nearness 0: exact colours only
  SetRemapPaletteSize(1);  // entry 1 is no longer in the palette
  SetRemapEntry(false, 1, {11, 20, 30});
  SetRemapEntry(true, 1, {0, 0, 0});
  ASSERT_EQ(Run(kRemap), 0);
  EXPECT_EQ(At(image, 1, 0), (std::array<int, 4>{11, 20, 30, 255}));
}

}  // namespace
}  // namespace qv::test
