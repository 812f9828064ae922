#include "cli/area_args.h"

#include <gtest/gtest.h>

#include "area/area_mask.h"
#include "support/program_fixture.h"

namespace qv::cli {
namespace {

class AreaSpecTest : public test::ProgramTest {
 protected:
  std::vector<std::uint8_t> Mask() {
    const AreaMask& m = TheProgram().area.mask;
    auto* bytes = static_cast<std::uint8_t*>(LockVirtual(m.place));
    std::vector<std::uint8_t> out(bytes, bytes + static_cast<std::size_t>(m.width) * m.height);
    UnlockVirtual(m.place);
    return out;
  }
  std::vector<std::uint8_t> MaskOf(std::vector<std::string_view> args, int w = 12, int h = 9) {
    AreaOptions o;
    std::string error;
    EXPECT_TRUE(TakeAreaOptions(args, o, error)) << error;
    ImageRecord* image = CreateImage(w, h, "test");
    EXPECT_EQ(BuildCommandLineMask(image, o), 0);
    auto m = Mask();
    FreeImage(image);
    return m;
  }
  static std::vector<std::uint8_t> Box(int l, int t, int r, int b, int w = 12, int h = 9) {
    std::vector<std::uint8_t> m(static_cast<std::size_t>(w) * h);
    for (int y = t; y <= b; ++y)
      for (int x = l; x <= r; ++x) m[static_cast<std::size_t>(y) * w + x] = 255;
    return m;
  }
};

TEST_F(AreaSpecTest, EveryShapeWordParsesAndMalformedOnesSayWhy) {
  AreaSpec area;
  std::string error;
  for (auto good : {"entire", "rect:1,2,3,4", "numrect:-1,0,5,5", "ellipse:5,5,3,2", "roundrect:0,0,9,9,50",
                    "polygon:0,0,5,0,5,5", "freehand:1,1,2,2", "bezier:0,0,9,9,3,0,6,0", "spline:1,1,5,1,5,5",
                    "polyarc:1,1,5,1", "wand:3,4", "key", "text:2,20,Hello, world"}) {
    EXPECT_TRUE(ParseAreaSpec(good, area, error)) << good << ": " << error;
  }
  EXPECT_EQ(area.mode, kAreaFont);
  EXPECT_EQ(area.text, "Hello, world");  // commas after X,Y belong to the text
  EXPECT_EQ(area.numbers, (std::vector<int>{2, 20}));

  for (auto [bad, why] : {std::pair{"blob:1", "unknown area 'blob'"},
                          {"rect:1,2,3", "area 'rect' wants 4 whole numbers"},
                          {"rect:1,2,3,x", "area 'rect' wants 4 whole numbers"},
                          {"polygon:1,2,3", "area 'polygon' wants at least two X,Y points"},
                          {"entire:1", "area 'entire' takes no numbers"},
                          {"text:1,2,", "area 'text' wants X,Y,TEXT"}}) {
    error.clear();
    EXPECT_FALSE(ParseAreaSpec(bad, area, error)) << bad;
    EXPECT_EQ(error, why);
  }
}

TEST_F(AreaSpecTest, OptionsAreTakenOutAndTheirCombinationsChecked) {
  std::vector<std::string_view> args{"in.bmp", "--area", "rect:0,0,1,1", "--level", "128", "out.pgm", "--exclude"};
  AreaOptions o;
  std::string error;
  ASSERT_TRUE(TakeAreaOptions(args, o, error)) << error;
  EXPECT_EQ(args, (std::vector<std::string_view>{"in.bmp", "out.pgm"}));
  EXPECT_EQ(o.level, 128);
  EXPECT_TRUE(o.exclude);

  auto refused = [&](std::vector<std::string_view> a) {
    AreaOptions opts;
    std::string why;
    EXPECT_FALSE(TakeAreaOptions(a, opts, why));
    return why;
  };
  EXPECT_EQ(refused({"--area", "entire", "--combine", "union"}), "--combine goes with exactly two --area options");
  EXPECT_EQ(refused({"--area", "entire", "--area", "entire"}), "--combine goes with exactly two --area options");
  EXPECT_EQ(refused({"--combine", "xor"}), "--combine takes union, intersection or complement");
  EXPECT_EQ(refused({"--key", "1,2,3"}), "--key wants 6 whole numbers separated by commas");
  EXPECT_EQ(refused({"--level"}), "--level needs a value");
}

TEST_F(AreaSpecTest, MasksMatchTheShapesAndTheirCombinations) {
  EXPECT_EQ(MaskOf({"--area", "rect:7,6,2,1"}), Box(2, 1, 7, 6));
  // A polygon is closed for the caller: three corners make the triangle.
  auto triangle = MaskOf({"--area", "polygon:0,0,11,0,0,8"});
  EXPECT_EQ(triangle[0], 255);
  EXPECT_EQ(triangle[8 * 12 + 11], 0);

  std::vector<std::uint8_t> both = Box(1, 1, 4, 4);
  auto second = Box(3, 3, 8, 6);
  for (std::size_t i = 0; i < both.size(); ++i) both[i] = std::max(both[i], second[i]);
  EXPECT_EQ(MaskOf({"--area", "rect:1,1,4,4", "--area", "rect:3,3,8,6", "--combine", "union"}), both);
  EXPECT_EQ(MaskOf({"--area", "rect:1,1,4,4", "--area", "rect:3,3,8,6", "--combine", "intersection"}),
            Box(3, 3, 4, 4));

  EXPECT_EQ(MaskOf({"--area", "entire", "--exclude"}), std::vector<std::uint8_t>(12 * 9, 0));
  auto flat = MaskOf({"--area", "rect:2,2,5,5", "--level", "128"});
  EXPECT_EQ(flat[3 * 12 + 3], 128);
  EXPECT_EQ(flat[0], 0);
}

TEST_F(AreaSpecTest, SplatsRepeatWithTheirSeedAndStayInside) {
  std::vector<std::string_view> args{"--area", "rect:10,10,49,49", "--splat", "5,42,0,100,1,1", "--splat-index", "2"};
  auto first = MaskOf(args, 60, 60);
  ResetProgram();
  auto again = MaskOf(args, 60, 60);
  EXPECT_EQ(first, again);
  auto box = Box(10, 10, 49, 49, 60, 60);
  int inside = 0, outside = 0;
  for (std::size_t i = 0; i < first.size(); ++i) (box[i] ? inside : outside) += first[i] ? 1 : 0;
  EXPECT_GT(inside, 0);
  EXPECT_EQ(outside, 0);
}

}  // namespace
}  // namespace qv::cli
