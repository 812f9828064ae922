#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "base/crt_random.h"
#include "base/progress.h"
#include "store/display_palettes.h"
#include "ops/apply_test_support.h"
#include "ops/lighting_ops.h"
#include "area/area_mask.h"

namespace qv::test {
namespace {

constexpr OpId kAsterize = 3111, kAnnular = 3112, kShine = 3114, kAura = 3212;
using Px = std::array<int, 4>;

class LightingOpsTest : public ApplyTest {
 protected:
  ImageRecord* Dark(int w, int h, int v = 0) {
    ImageRecord* image = Add(w, h, [v](int, int) { return Px{v, v, v, 255}; });
    SelectRect(0, 0, w - 1, h - 1);
    return image;
  }
};

TEST_F(LightingOpsTest, AsterizeArmsRepeatEveryQuarterTurnAndFadeAtTheRim) {
  ImageRecord* image = Dark(81, 81);
  ASSERT_EQ(Run(kAsterize), 0);
  // Centre (40, 40), radii 40: the four arms map onto each other by quarter turns.
  for (int y = 0; y < 81; y += 3)
    for (int x = 0; x < 81; x += 3) {
      const int dx = x - 40, dy = y - 40;
      ASSERT_EQ(At(image, x, y), At(image, 40 - dy, 40 + dx)) << x << "," << y;
    }
  // Along an arm the light fades toward the rim, and beyond it nothing is lit.
  EXPECT_GT(At(image, 40, 10)[2], At(image, 40, 2)[2]);
  EXPECT_GT(At(image, 40, 2)[2], 0);
  EXPECT_EQ(At(image, 1, 1), (Px{0, 0, 0, 255}));  // d >= 1
  EXPECT_EQ(At(image, 20, 10), (Px{0, 0, 0, 255}));  // between the arms
  // One pixel worked out apart: on the vertical arm at d = 0.25 the profile
  // sample is its peak 255, less a quarter: s = 255 - 63 = 192; the colour
  // is between edge (64, 64, 255) and the white peak.
  const int s = 255 - static_cast<int>(255 * 0.25);
  const int col[3] = {(64 * (256 - s) + 255 * s) / 256, (64 * (256 - s) + 255 * s) / 256, 255};
  EXPECT_EQ(At(image, 40, 30), (Px{col[0] * s / 256, col[1] * s / 256, col[2] * s / 256, 255}));
}

TEST_F(LightingOpsTest, AsterizeRotationBeyondTwoTurnsIsTheSameStar) {
  ImageRecord* a = Dark(61, 61);
  SetParamValue(kAsterize, 5, 30);
  ASSERT_EQ(Run(kAsterize), 0);
  ImageRecord* b = Dark(61, 61);
  SetParamValue(kAsterize, 5, 30 - 360 * 5);
  ASSERT_EQ(Run(kAsterize), 0);
  ImageRecord* c = Dark(61, 61);
  SetParamValue(kAsterize, 5, 30 + 360 * 3);
  ASSERT_EQ(Run(kAsterize), 0);
  EXPECT_EQ(Pixels(a), Pixels(b));
  EXPECT_EQ(Pixels(a), Pixels(c));
}

TEST_F(LightingOpsTest, WithAffectAlphaOnlyTheAlphaTakesTheLight) {
  ImageRecord* image = Add(41, 41, [](int, int) { return Px{10, 20, 30, 40}; });
  SelectRect(0, 0, 40, 40);
  TheProgram().settings.modAlpha = kAffectAlphaOnly;
  ASSERT_EQ(Run(kAsterize), 0);
  // The vertical arm at d = 0.25, worked out from the alpha 40 as in the
  // colour case: A is the luminance of the three results.
  const int s = 255 - static_cast<int>(255 * 0.25);
  int r[3];
  const int col[3] = {(64 * (256 - s) + 255 * s) / 256, (64 * (256 - s) + 255 * s) / 256, 255};
  for (int k = 0; k < 3; ++k) r[k] = ((256 - s) * 40 + col[k] * s) / 256;
  EXPECT_EQ(At(image, 20, 15), (Px{10, 20, 30, Luminance(r[0], r[1], r[2])}));
  EXPECT_EQ(At(image, 0, 0), (Px{10, 20, 30, 40}));
}

TEST_F(LightingOpsTest, AStopPutsTheImageAndTheSelectionBack) {
  for (OpId op : {kAura, OpId{3211}, OpId{3144}, OpId{3149}}) {
    ImageRecord* image = Add(80, 80, [](int x, int y) { return Px{x, y, 100, 255}; });
    SelectRect(10, 10, 69, 69);
    const auto before = Pixels(image);
    int pumps = 0;
    host->onPump = [&] {
      if (++pumps == 2) RequestStop();
    };
    EXPECT_EQ(Run(op), 1) << op;
    host->onPump = nullptr;
    EXPECT_EQ(Pixels(image), before) << op;
    AreaMask& m = TheProgram().area.mask;
    auto* bytes = static_cast<std::uint8_t*>(LockVirtual(m.place));
    EXPECT_EQ(bytes[40 * 80 + 40], 255) << op;
    EXPECT_EQ(bytes[40 * 80 + 5], 0) << op;
    EXPECT_EQ(std::count(bytes, bytes + 80 * 80, 255), 60 * 60) << op;
    UnlockVirtual(m.place);
  }
}

TEST_F(LightingOpsTest, PresetsSetProfilesAndParameters) {
  ASSERT_EQ(ApplyPreset(kAsterize, "solar flare"), 0);
  Srand(5);
  const std::int16_t* arm = FindProfile(ProfileId::Arm);
  for (int i = 0; i <= 200; ++i) ASSERT_EQ(arm[i], Rand() & 255) << i;
  EXPECT_EQ(ParamValue(kAsterize, 6), 1);
  EXPECT_EQ(ParamValue(kAsterize, 4), 5);
  ASSERT_EQ(ApplyPreset(kAsterize, "Sparkle"), 0);
  EXPECT_EQ(arm[50], 0);
  EXPECT_EQ(arm[75], 255);
  EXPECT_EQ(arm[112], 255);
  EXPECT_EQ(arm[100], 5);
  EXPECT_EQ(arm[125], 0);
  EXPECT_EQ(ParamValue(kAsterize, 6), 20);
  EXPECT_EQ(ParamValue(kAsterize, 5), 9);
  ASSERT_EQ(ApplyPreset(kAnnular, "St Elmo's Fire"), 0);
  const std::int16_t* shape = FindProfile(ProfileId::Shape);
  EXPECT_EQ(shape[50], 150);
  EXPECT_EQ(shape[0], 0);
  EXPECT_EQ(shape[200], 0);
  EXPECT_EQ(ParamValue(kAnnular, 2), 240);
  EXPECT_EQ(ParamValue(kAnnular, 4), 1);
  EXPECT_EQ(ApplyPreset(kAnnular, "Sparkle"), 1);
  EXPECT_EQ(ApplyPreset(kShine, "Even Glow"), 1);
  EXPECT_EQ(PresetNames(kAnnular).size(), 6u);
}

TEST_F(LightingOpsTest, AnnularBrightRingLightsTheOuterQuarterAndAdditiveNeverDarkens) {
  ImageRecord* image = Dark(101, 101);
  ASSERT_EQ(ApplyPreset(kAnnular, "Bright Ring"), 0);
  ASSERT_EQ(Run(kAnnular), 0);
  for (int x = 50; x <= 100; ++x) {
    const double d = (x - 50) / 50.0;
    const bool lit = At(image, x, 50)[2] > 0;
    if (d < 0.74) {
      EXPECT_FALSE(lit) << x;
    } else if (d > 0.76 && d < 0.99) {
      EXPECT_TRUE(lit) << x;
    }
  }
  ImageRecord* bright = Add(101, 101, [](int x, int y) { return Px{(x * 5) % 256, 250, (y * 3) % 256, 255}; });
  SelectRect(0, 0, 100, 100);
  const auto before = Pixels(bright);
  SetParamValue(kAnnular, 4, 1);
  ASSERT_EQ(ApplyPreset(kAnnular, "Halo"), 0);
  ASSERT_EQ(Run(kAnnular), 0);
  const auto after = Pixels(bright);
  for (std::size_t i = 0; i < after.size(); ++i) ASSERT_GE(after[i], before[i]) << i;
  EXPECT_NE(after, before);
}

TEST_F(LightingOpsTest, ShineSpreadsBrightPixelsAndLeavesTheSelectionAlone) {
  ImageRecord* image = Dark(41, 41);
  LockImage(image);
  std::fill_n(PixelAt(image, 20, 20), 3, 255);
  UnlockImage(image);
  const AreaSelection before = TheProgram().area.selection;
  ASSERT_EQ(Run(kShine), 0);
  // Width 5, Height 20: the pixel 2 to the right gets weight 60 of a white
  // pixel, n = 25: c = 60 * 255 / 85 = 180.
  EXPECT_EQ(At(image, 22, 20)[0], 60 * 255 / 85);
  EXPECT_EQ(At(image, 20, 30)[1], 50 * 255 / 75);
  EXPECT_EQ(At(image, 25, 20)[0], 0);  // weight 0 at the arm's end
  EXPECT_EQ(At(image, 21, 21)[0], 0);
  EXPECT_EQ(TheProgram().area.selection.left, before.left);
  EXPECT_EQ(TheProgram().area.selection.right, before.right);

  ImageRecord* same = Dark(21, 21, 250);
  const auto pixels = Pixels(same);
  SetParamValue(kShine, 3, 100);  // nothing is brighter than 768
  ASSERT_EQ(Run(kShine), 0);
  EXPECT_EQ(Pixels(same), pixels);
  SetParamValue(kShine, 2, 0);
  EXPECT_EQ(Run(kShine), 2);
  EXPECT_EQ(host->MessageNumbers().back(), 65);
}

TEST_F(LightingOpsTest, ShineWithoutMemoryForItsPlaneGivesTheSameBytes) {
  auto shine = [&](bool withPlane) {
    ImageRecord* image = Add(60, 50, [](int x, int y) {
      const int v = (x * 37 + y * 91) % 256;
      return Px{v, (v * 3) % 256, 255 - v, 255};
    });
    SelectRect(5, 5, 50, 40);
    SetParamValue(kShine, 3, 60);
    int sameSize = 0;
    // The undo copy comes first, the plane of bright pixels second.
    TheProgram().memory.faults.allocate = [&](std::int64_t bytes) {
      return !withPlane && bytes >= 46 * 36 * 4 && bytes < 46 * 36 * 4 + 16 && ++sameSize == 2;
    };
    EXPECT_EQ(Run(kShine), 0);
    TheProgram().memory.faults.allocate = nullptr;
    EXPECT_EQ(sameSize >= 2, !withPlane);
    return Pixels(image);
  };
  const auto fast = shine(true);
  EXPECT_EQ(shine(false), fast);
}

TEST_F(LightingOpsTest, AuraRepeatsPerSeedAndStaysWithinItsWidth) {
  auto halo = [&](int seed, int spokes) {
    ImageRecord* image = Dark(120, 120);
    SelectRect(50, 50, 69, 69);
    SetParamValue(kAura, 3, seed);
    SetParamValue(kAura, 4, spokes);
    EXPECT_EQ(Run(kAura), 0);
    return image;
  };
  ImageRecord* a = halo(5, 200);
  const auto first = Pixels(a);
  EXPECT_EQ(Pixels(halo(5, 200)), first);
  EXPECT_NE(Pixels(halo(6, 200)), first);
  // hw = trunc(sqrt(19^2 + 19^2) * 0.2) = 5: lit just outside, dark past 5.
  EXPECT_NE(At(a, 48, 60), (Px{0, 0, 0, 255}));
  for (int x = 0; x < 120; ++x) {
    ASSERT_EQ(At(a, x, 44), (Px{0, 0, 0, 255})) << x;
    ASSERT_EQ(At(a, 44, x), (Px{0, 0, 0, 255})) << x;
  }
  EXPECT_EQ(At(a, 60, 60), (Px{0, 0, 0, 255}));  // the selection itself is the source
  // No spokes: every spoke index is the first one.
  ImageRecord* none = halo(5, 0);
  EXPECT_NE(At(none, 48, 60), (Px{0, 0, 0, 255}));
  // Arrays that cannot be had: message 22 naming the operation.
  SetParamValue(kAura, 4, 200);
  TheProgram().memory.faults.allocate = [](std::int64_t bytes) { return bytes >= 201 * 8 && bytes < 201 * 8 + 16; };
  EXPECT_EQ(Run(kAura), 2);
  TheProgram().memory.faults.allocate = nullptr;
  EXPECT_EQ(host->MessageNumbers().back(), 22);
  // Width 0 cancels without a word.
  const std::size_t messages = host->MessageNumbers().size();
  SetParamValue(kAura, 0, 0);
  EXPECT_EQ(Run(kAura), 2);
  EXPECT_EQ(host->MessageNumbers().size(), messages);
}

}  // namespace
}  // namespace qv::test

namespace qv::test {
namespace {

constexpr OpId kLightning = 3211;

class LightningTest : public ApplyTest {
 protected:
  ImageRecord* Bolt(int seed, int branching, bool path = false) {
    ImageRecord* image = Add(120, 100, [](int, int) { return Px{0, 0, 0, 255}; });
    AreaSelection& s = TheProgram().area.selection;
    if (path) {
      SetWorkMethod(kDrawFirst);  // the path is all the bolt needs
      s.mode = kAreaPolygon;
      ClearPointList(s.capture);
      for (auto [x, y] : {std::pair{10, 10}, {100, 80}, {110, 10}}) PushPoint(s.capture, x, y, 0);
      s.left = 10, s.top = 10, s.right = 110, s.bottom = 80;
    } else {
      SelectRect(20, 10, 100, 90);
    }
    SetParamValue(kLightning, 3, seed);
    SetParamValue(kLightning, 2, branching);
    EXPECT_EQ(path ? Apply(static_cast<int>(kLightning), 0) : Run(kLightning), 0);
    return image;
  }
  static bool LitNear(ImageRecord* image, int x, int y, int r) {
    for (int yy = std::max(y - r, 0); yy <= std::min(y + r, image->height - 1); ++yy)
      for (int xx = std::max(x - r, 0); xx <= std::min(x + r, image->width - 1); ++xx)
        if (At(image, xx, yy)[2] > 0) return true;
    return false;
  }
};

TEST_F(LightningTest, RepeatsPerSeedAndRunsBetweenItsEnds) {
  const auto first = Pixels(Bolt(19, 10));
  EXPECT_EQ(Pixels(Bolt(19, 10)), first);
  EXPECT_NE(Pixels(Bolt(20, 10)), first);
  // Direction 45 crosses the selection ellipse from its upper right to its
  // lower left; nothing is lit outside the selection.
  ImageRecord* one = Bolt(19, 0);
  EXPECT_TRUE(LitNear(one, 60 + 28, 50 - 28, 6));
  EXPECT_TRUE(LitNear(one, 60 - 28, 50 + 28, 8));
  EXPECT_FALSE(LitNear(one, 10, 50, 5));
  EXPECT_FALSE(LitNear(one, 110, 95, 4));
}

TEST_F(LightningTest, AListThatCannotGrowStopsWithMessage22AndTheImageBack) {
  // The first growth of the list (room for 32 becomes 96) fails.
  TheProgram().memory.faults.allocate = [](std::int64_t bytes) { return bytes >= 96 * 88 && bytes < 96 * 88 + 16; };
  ImageRecord* image = Add(120, 100, [](int x, int y) { return Px{x, y, 7, 255}; });
  const auto before = Pixels(image);
  SelectRect(10, 10, 110, 90);
  SetParamValue(kLightning, 0, 100);  // as wide as the selection: many live branches
  SetParamValue(kLightning, 2, 100);
  EXPECT_EQ(Run(kLightning), 1);
  TheProgram().memory.faults.allocate = nullptr;
  EXPECT_EQ(host->MessageNumbers().back(), 22);
  EXPECT_EQ(Pixels(image), before);
}

TEST_F(LightningTest, PathModeRunsFromTheFirstToTheNextToLastPoint) {
  ImageRecord* image = Bolt(19, 0, true);
  EXPECT_TRUE(LitNear(image, 10, 10, 3));
  EXPECT_TRUE(LitNear(image, 100, 80, 8));
  EXPECT_FALSE(LitNear(image, 112, 8, 6));
}

}  // namespace
}  // namespace qv::test
