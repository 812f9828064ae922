#include <gtest/gtest.h>

#include <cstdlib>

#include "ops/apply_test_support.h"
#include "ops/glass_flame_ops.h"
#include "ops/lighting_ops.h"

namespace qv::test {
namespace {

using Px = std::array<int, 4>;

// Writes a whole curve: value(i) for i = 0..200.
template <class F>
void SetCurve(ProfileId id, F value) {
  std::int16_t* p = EnsureProfile(id);
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < kProfileLength; ++i) p[i] = static_cast<std::int16_t>(value(i));
}

long Difference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  long sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += std::abs(int(a[i]) - int(b[i]));
  return sum;
}

class GlassFlameTest : public ApplyTest {
 protected:
  // Dark on the left, light from column `edge` on.
  ImageRecord* Step(int w, int h, int edge) {
    return Add(w, h, [edge](int x, int) { return x < edge ? Px{40, 40, 40, 255} : Px{200, 200, 200, 255}; });
  }
  // Light and colour that change everywhere, so every pixel has a slope.
  ImageRecord* Busy(int w, int h) {
    return Add(w, h, [](int x, int y) {
      return Px{(x * 7 + y * 3) % 256, (x * x + y * 5) % 256, (x * 2 + y * y) % 256, 255};
    });
  }
  ImageRecord* Black(int w, int h) { return Add(w, h, [](int, int) { return Px{0, 0, 0, 255}; }); }
  // Fire with nothing random: one flat front, straight up.
  static void PlainFlame(int length) {
    SetParamValue(kFireOp, 0, length);
    for (int slot : {8, 9, 11, 13, 14}) SetParamValue(kFireOp, slot, 0);
  }
};

// ---- Refract

TEST_F(GlassFlameTest, RefractOfAStepSpreadsOneSideAndLeavesFlatGlassAlone) {
  // Rotation 0: each pixel looks up the slope of the lightness, so the light
  // side spreads over the dark one; 180 (the default) the other way round.
  ImageRecord* up = Step(60, 20, 30);
  SelectRect(0, 0, 59, 19);
  SetParamValue(kRefractOp, 0, 0);
  ASSERT_EQ(Run(kRefractOp), 0);
  EXPECT_GT(At(up, 29, 10)[0], 40);
  EXPECT_EQ(At(up, 30, 10)[0], 200);
  EXPECT_EQ(At(up, 5, 10), (Px{40, 40, 40, 255}));    // flat glass bends nothing
  EXPECT_EQ(At(up, 55, 10), (Px{200, 200, 200, 255}));

  ImageRecord* down = Step(60, 20, 30);
  SelectRect(0, 0, 59, 19);
  SetParamValue(kRefractOp, 0, 180);
  ASSERT_EQ(Run(kRefractOp), 0);
  EXPECT_EQ(At(down, 29, 10)[0], 40);
  EXPECT_LT(At(down, 30, 10)[0], 200);

  // Curves drawn as the identity are the same as no curves at all.
  const auto plain = Pixels(down);
  SetCurve(ProfileId::CcL, [](int i) { return (i * 255 + 100) / 200; });
  for (ProfileId id : {ProfileId::CpH, ProfileId::CpS, ProfileId::CpL, ProfileId::RpH, ProfileId::RpS, ProfileId::RpL})
    SetCurve(id, [](int) { return 100; });
  ImageRecord* again = Step(60, 20, 30);
  SelectRect(0, 0, 59, 19);
  ASSERT_EQ(Run(kRefractOp), 0);
  EXPECT_EQ(Pixels(again), plain);
}

TEST_F(GlassFlameTest, RefractDefaultsChangeThePictureInsideTheSelectionOnlyAndRepeat) {
  ImageRecord* a = Busy(300, 300);  // large enough to be shared out over threads
  const auto before = Pixels(a);
  SelectRect(40, 50, 259, 239);
  ASSERT_EQ(Run(kRefractOp), 0);
  const auto after = Pixels(a);
  EXPECT_GT(Difference(before, after), 300L * 300);
  for (int y = 0; y < 300; y += 3)
    for (int x = 0; x < 300; x += 3)
      if (x < 40 || x > 259 || y < 50 || y > 239) {
        ASSERT_EQ(At(a, x, y), (Px{before[(y * 300 + x) * 4], before[(y * 300 + x) * 4 + 1], before[(y * 300 + x) * 4 + 2], 255}));
      }
  ImageRecord* b = Busy(300, 300);
  SelectRect(40, 50, 259, 239);
  ASSERT_EQ(Run(kRefractOp), 0);
  EXPECT_EQ(Pixels(b), after);
}

TEST_F(GlassFlameTest, RefractCurvesRecolourAndConfineByPosition) {
  // "RcS" at zero: what the glass shows has no colour left.
  ImageRecord* grey = Busy(40, 40);
  SelectRect(0, 0, 39, 39);
  SetCurve(ProfileId::RcS, [](int) { return 0; });
  ASSERT_EQ(Run(kRefractOp), 0);
  for (int y = 0; y < 40; y += 5)
    for (int x = 0; x < 40; x += 5) {
      const Px p = At(grey, x, y);
      EXPECT_LE(std::abs(p[0] - p[1]) + std::abs(p[1] - p[2]), 2) << x << "," << y;
    }
  FreeProfiles();
  // A curve drawn for the first time starts from one that changes nothing.
  ASSERT_EQ(DrawProfileLine(ProfileId::RcH, 0, 360, 10, 360), 0);
  EXPECT_EQ(FindProfile(ProfileId::RcH)[5], 360);
  EXPECT_EQ(FindProfile(ProfileId::RcH)[100], 180);
  EXPECT_EQ(FindProfile(ProfileId::RcH)[200], 360);
  FreeProfiles();
  // "RpL": nothing in the top half of the selection, everything below.
  ImageRecord* half = Busy(40, 41);
  const auto before = Pixels(half);
  SelectRect(0, 0, 39, 40);
  SetCurve(ProfileId::RpL, [](int i) { return i < 100 ? 0 : 100; });
  ASSERT_EQ(Run(kRefractOp), 0);
  const auto after = Pixels(half);
  const std::size_t middle = std::size_t(20) * 40 * 4;
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + middle, before.begin()));
  EXPECT_FALSE(std::equal(after.begin() + middle, after.end(), before.begin() + middle));
}

TEST_F(GlassFlameTest, RefractTakesAnyValueAFileOrTrendGives) {
  ImageRecord* wrapped = Busy(50, 50);
  SelectRect(0, 0, 49, 49);
  SetParamValue(kRefractOp, 0, 279);
  ASSERT_EQ(Run(kRefractOp), 0);
  ImageRecord* far = Busy(50, 50);
  SelectRect(0, 0, 49, 49);
  SetParamValue(kRefractOp, 0, 99999);  // 277 turns and 279 degrees
  ASSERT_EQ(Run(kRefractOp), 0);
  EXPECT_EQ(Pixels(far), Pixels(wrapped));
  // Curves beyond their ranges, a single pixel, a one-pixel selection.
  for (int k = 0; k < 12; ++k)
    SetCurve(static_cast<ProfileId>(static_cast<int>(ProfileId::CcH) + k), [](int i) { return i % 2 ? 32767 : -32768; });
  Busy(1, 1);
  SelectEntireImage();
  EXPECT_EQ(Run(kRefractOp), 0);
  Busy(30, 30);
  SelectRect(12, 12, 12, 12);
  EXPECT_EQ(Run(kRefractOp), 0);
}

// ---- Fire

TEST_F(GlassFlameTest, FireRunsFromTheBaseColourAtTheEdgeToTheTipColour) {
  // Straight up from the bottom row; the flame reaches half of the 100 rows.
  ImageRecord* image = Black(20, 100);
  SelectRect(0, 0, 19, 99);
  PlainFlame(500);
  ASSERT_EQ(Run(kFireOp), 0);
  for (int x = 0; x < 20; ++x) {
    ASSERT_EQ(At(image, x, 99), (Px{0, 0, 255, 255})) << x;  // "Base Color" 0xFF0000
    ASSERT_EQ(At(image, x, 49), (Px{100, 75, 0, 255})) << x;  // "Tip Color" 0x004B64
    ASSERT_EQ(At(image, x, 30), (Px{0, 0, 0, 255})) << x;     // beyond the tip's fade
  }
  // Half way: between "Mid Color" (white) and "End Color" (240, 240, 0).
  const Px half = At(image, 10, 74);
  EXPECT_NEAR(half[0], 248, 1);
  EXPECT_NEAR(half[2], 128, 1);

  // Direction 90: the flames go left, from the right-hand column.
  ImageRecord* left = Black(100, 10);
  SelectRect(0, 0, 99, 9);
  SetParamValue(kFireOp, 1, 90);
  ASSERT_EQ(Run(kFireOp), 0);
  EXPECT_EQ(At(left, 99, 5), (Px{0, 0, 255, 255}));
  EXPECT_EQ(At(left, 49, 5), (Px{100, 75, 0, 255}));
  EXPECT_EQ(At(left, 10, 5), (Px{0, 0, 0, 255}));
}

TEST_F(GlassFlameTest, FireRepeatsPerSeedStaysInTheSelectionAndLoopsWithPropagate) {
  auto burn = [&](int seed, int propagate) {
    ImageRecord* image = Black(80, 80);
    SelectRect(10, 20, 69, 69);
    SetParamValue(kFireOp, 3, seed);
    SetParamValue(kFireOp, 2, propagate);
    EXPECT_EQ(Run(kFireOp), 0);
    return Pixels(image);
  };
  const auto first = burn(5, 10);
  EXPECT_EQ(burn(5, 10), first);
  EXPECT_NE(burn(6, 10), first);
  EXPECT_EQ(burn(5, 370), first);  // a whole turn later
  // A Trend moving "Propagate" by a degree moves the flames a little.
  const long small = Difference(burn(5, 11), first), large = Difference(burn(5, 100), first);
  EXPECT_GT(small, 0);
  EXPECT_LT(small * 4, large);
  for (int y = 0; y < 80; ++y)
    for (int x = 0; x < 80; ++x)
      if (x < 10 || x > 69 || y < 20 || y > 69) {
        ASSERT_EQ(first[std::size_t(y * 80 + x) * 4 + 2], 0) << x << "," << y;
      }
  EXPECT_GT(first[std::size_t(69 * 80 + 40) * 4 + 2], 0);  // the defaults light the base
}

TEST_F(GlassFlameTest, FireTakesAnyValueAFileOrTrendGives) {
  // Length 0 would change nothing: message 65, and nothing changes.
  ImageRecord* none = Black(10, 10);
  SelectRect(0, 0, 9, 9);
  SetParamValue(kFireOp, 0, 0);
  EXPECT_EQ(Run(kFireOp), 2);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{65});
  EXPECT_EQ(At(none, 5, 9), (Px{0, 0, 0, 255}));
  // Everything far past its dial and trend ranges.
  const int wild[15] = {99999, -99999, 99999, -1, -1, 0x7FFFFFFF, -5, 0, 99999, 99999, 99999, -99999, 99999, 99999, 99999};
  for (int slot = 0; slot < 15; ++slot) SetParamValue(kFireOp, slot, wild[slot]);
  Black(60, 60);
  SelectRect(0, 0, 59, 59);
  EXPECT_EQ(Run(kFireOp), 0);
  ResetParamValues();
  ImageRecord* one = Black(1, 1);
  SelectEntireImage();
  ASSERT_EQ(Run(kFireOp), 0);
  EXPECT_EQ(At(one, 0, 0)[2], 255);  // the one pixel is the flame's base
  Black(30, 30);
  SelectRect(7, 7, 7, 7);
  EXPECT_EQ(Run(kFireOp), 0);
}

// Every way of working the flames out gives the bytes of working out every
// pixel in full, one at a time, from the whole box's steps: the vector
// paths (their last few pixels of a row too), the cut-offs that leave out
// pixels which cannot show and the row by row walks of the steps, in each
// direction. The first two settings put the cut-off on the last row a
// flame reaches.
TEST_F(GlassFlameTest, FirePathsAndCutOffsGiveTheBytesOfEveryPixelInFull) {
  struct Setting {
    const char* name;
    std::vector<std::pair<int, int>> slots;
    bool ellipse;
  };
  const Setting settings[] = {
      {"flat, no tongues", {{0, 400}, {8, 0}, {9, 0}, {11, 0}, {13, 0}, {14, 0}}, false},
      {"flat tongues", {{0, 400}, {9, 0}, {11, 0}, {13, 0}, {14, 0}}, false},
      {"defaults", {}, true},
      {"ruffled and swaying far", {{8, 3}, {14, 1000}, {13, 1000}, {12, 200}}, false},
      {"heights cut to nothing", {{9, 800}, {8, 7}}, true},
      {"threadlike tongues", {{8, 800}, {14, 300}}, false},
      {"slanted, long turbulence", {{1, 125}, {10, 800}, {11, 800}, {0, 300}}, true},
      {"from the left", {{1, 270}, {0, 1000}, {2, 200}}, false},
      {"to the left, rising", {{1, 55}, {0, 800}}, true},
      {"to the left", {{1, 90}, {12, 3}}, true},
  };
  for (const Setting& s : settings) {
    SCOPED_TRACE(s.name);
    auto burn = [&](FirePath path) {
      ResetParamValues();
      for (auto [slot, value] : s.slots) SetParamValue(kFireOp, slot, value);
      ImageRecord* image = Black(120, 100);
      if (s.ellipse) {
        AreaSelection& a = TheProgram().area.selection;
        a.mode = kAreaEllipse;
        a.centreX = 61, a.centreY = 50, a.radiusX = 58, a.radiusY = 45;
        a.left = 3, a.top = 5, a.right = 119, a.bottom = 95;
      } else {
        SelectRect(0, 0, 119, 99);
      }
      UseFirePath(path);
      EXPECT_EQ(Run(kFireOp), 0);
      UseFirePath(FirePath::kBest);
      return Pixels(image);
    };
    const auto whole = burn(FirePath::kEveryPixel);
    for (FirePath path : {FirePath::kPlain, FirePath::kAvx2, FirePath::kAvx512, FirePath::kBest})
      if (FirePathAvailable(path)) {
        EXPECT_EQ(burn(path), whole) << static_cast<int>(path);
      }
    // A flame 40 rows long, tallest in its tongue's middle (column 5): faded
    // out exactly 50 rows up, and still showing a row below.
    if (s.slots.size() == 5) {
      EXPECT_GT(whole[std::size_t(50 * 120 + 5) * 4], 0);
      EXPECT_EQ(whole[std::size_t(49 * 120 + 5) * 4], 0);
    }
  }
}

}  // namespace
}  // namespace qv::test
