#include "area/area_options.h"

#include "app/commands.h"
#include "area_test_support.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

using namespace qv::test;

class AreaOptionsTest : public ProgramTest {};

TEST_F(AreaOptionsTest, DialogValuesAreClampedIntoTheirRanges) {
  auto transparency = [] {
    TransparencyValues v = CurrentTransparency();
    return std::array<int, 3>{v.level, v.edgeFade, v.grow};
  };
  SetTransparency({300, -5, 150});
  EXPECT_EQ(transparency(), (std::array<int, 3>{255, 0, 100}));
  SetTransparency({-1, 101, -3});
  EXPECT_EQ(transparency(), (std::array<int, 3>{0, 100, 0}));
  EXPECT_EQ(PresetEdgeFade(TransparencyPreset::SoftEdges), 1);

  auto splatter = [] {
    const SplatterSettings& s = Area().splat;
    return std::array<int, 6>{s.number, s.seed, s.shape, s.sizing, s.holdSquare, s.inFromEdge};
  };
  SetSplatter({0, -4, 3, 5000, 7, 2});
  EXPECT_EQ(splatter(), (std::array<int, 6>{1, 0, 1, kMaxSplatSizing, 1, 1}));
  SetSplatter({100000, 77, 0, 0, 0, 0});
  EXPECT_EQ(splatter(), (std::array<int, 6>{kMaxSplats, 77, 0, 1, 0, 0}));

  // The order of a range is the user's; only the values are limited.
  SetDiscriminator({true, {-5, 300, 200}, {10, 20, 30}});
  const ColourDiscriminator& d = Area().discriminator;
  EXPECT_TRUE(d.enabled);
  EXPECT_EQ((std::array<int, 6>{d.from[0], d.from[1], d.from[2], d.to[0], d.to[1], d.to[2]}),
            (std::array<int, 6>{0, 255, 200, 10, 20, 30}));
  SetRoundness(150);
  EXPECT_EQ(Sel().roundness, 100);
}

// The preview must show what the apply pipeline's mask will be, so it is
// compared with the real mask of the same box.
TEST_F(AreaOptionsTest, PreviewIsTheMaskTheSelectionGets) {
  ImageRecord* image = Picture(21, 11);
  for (int mode : {kAreaRectangle, kAreaEllipse})
    for (TransparencyValues v : {TransparencyValues{255, 50, 100}, TransparencyValues{200, 0, 60},
                                 TransparencyValues{255, 1, 100}, TransparencyValues{128, 0, 100}}) {
      Box(0, 0, 20, 10);
      ASSERT_EQ(BuildAreaMaskWith(image, mode, false, false), 0);
      SetTransparency(v);
      ASSERT_EQ(ApplyTransparency(image), 0);
      std::vector<std::uint8_t> preview = TransparencyPreview(21, 11, mode == kAreaEllipse, v);
      if (mode == kAreaRectangle) {
        EXPECT_EQ(Art(preview, 21), Art(MaskBytes(), 21)) << v.level << " " << v.edgeFade << " " << v.grow;
      } else {
        // The builder walks the ellipse by midpoints; the preview fills the
        // same ellipse by distance. The faded levels inside must agree.
        std::vector<std::uint8_t> real = MaskBytes();
        for (int x = 0; x < 21; ++x) EXPECT_NEAR(preview[5 * 21 + x], real[5 * 21 + x], 1) << "x " << x;
      }
    }
  // Soft edges: only the outer ring is halved.
  std::vector<std::uint8_t> soft = TransparencyPreview(6, 5, false, {255, 1, 100});
  EXPECT_EQ(soft[0], 127);
  EXPECT_EQ(soft[2 * 6 + 2], 255);
  EXPECT_TRUE(TransparencyPreview(0, 5, false, {}).empty());
}

TEST_F(AreaOptionsTest, AnOversizedSplatSizingFromTheSettingsStaysInsideTheSelection) {
  ImageRecord* image = Picture(60, 40);
  AddImage(image, false);
  Box(10, 10, 49, 29);
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaRectangle, false, false), 0);
  std::vector<std::uint8_t> selection = MaskBytes();
  Area().splat = {4, 9, 1, 2000000000, 0, 0};  // as a hand-edited settings file may give it
  ASSERT_EQ(BeginSplatter(image, -1), 0);
  for (int i = 0; i < 4; ++i) {
    ASSERT_EQ(MakeSplat(image, -1, i), 0);
    std::vector<std::uint8_t> m = MaskBytes();
    for (std::size_t k = 0; k < m.size(); ++k)
      if (m[k] && !selection[k]) ADD_FAILURE() << "splat " << i << " leaks at " << k;
  }
  // The splats spread at most the largest size the sizing allows.
  EXPECT_GT(Area().run.overall[0], -1000);
  EXPECT_LT(Area().run.overall[2], 1000);
  EXPECT_EQ(EndSplatter(image, -1), 0);
}

TEST_F(AreaOptionsTest, MenuCommandsClearAndSwapTheSelection) {
  ImageRecord* image = Picture(10, 8);
  AddImage(image, false);
  Box(1, 1, 3, 3);
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaRectangle, false, false), 0);
  std::vector<std::uint8_t> first = MaskBytes();
  ASSERT_EQ(SavePreviousMask(), 0);
  Box(5, 4, 8, 6);
  ASSERT_EQ(BuildAreaMaskWith(image, kAreaRectangle, false, false), 0);
  std::vector<std::uint8_t> second = MaskBytes();

  EXPECT_TRUE(CommandAvailable(608));
  EXPECT_TRUE(CommandAvailable(609));
  ASSERT_EQ(RouteCommand(608), 0);
  EXPECT_EQ(MaskBytes(), first);
  EXPECT_EQ(Sel().left, 1);
  EXPECT_EQ(Sel().right, 3);
  ASSERT_EQ(RouteCommand(608), 0);
  EXPECT_EQ(MaskBytes(), second);

  ASSERT_EQ(RouteCommand(609), 0);
  EXPECT_EQ(Area().mask.place, nullptr);
  EXPECT_EQ(Area().shownOutline.count, 0);
  // Nothing left to swap with: refused, nothing made up.
  EXPECT_EQ(RouteCommand(608), 1);
  EXPECT_EQ(Area().mask.place, nullptr);

  // Without windows the dialogs are not offered and nothing changes.
  EXPECT_FALSE(CommandAvailable(911));
  EXPECT_EQ(RouteCommand(911), 1);
  EXPECT_EQ(Sel().transparencyLevel, 255);
}

}  // namespace
}  // namespace qv
