// The reduction options of pixqv-cli convert give exactly what
// ReduceColours gives with those settings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "display/colour_reduce.h"
#include "formats/bmp.h"
#include "formats/format_test_util.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

class ReduceOptionsTest : public ProgramTest {};

TEST_F(ReduceOptionsTest, EachOptionEqualsTheReduction) {
  ImageRecord* image = TestPattern(37, 23);
  ASSERT_EQ(WriteBmp(image, "in.bmp", 24), 0);
  FreeImage(image);
  struct Case {
    std::string options;
    int target, source, ordered, amount, colours;
  } cases[] = {
      {"", kReduce256Colours, kPaletteDefault, 0, 100, 0},
      {"--reduce gray", kReduce256Colours, kPaletteGray, 0, 100, 0},
      {"--reduce choose --colours 12", kReduce256Colours, kPaletteChoose, 0, 100, 12},
      {"--reduce render --colours 40 --dither ordered", kReduce256Colours, kPaletteRender, 1, 100, 40},
      {"--dither ordered", kReduce256Colours, kPaletteDefault, 1, 100, 0},
      {"--dither-amount 35", kReduce256Colours, kPaletteDefault, 0, 35, 0},
      {"--depth 4 --reduce choose --colours 9 --dither-amount 60", kReduce16Colours, kPaletteChoose, 0, 60, 9},
      {"--depth 1 --dither-amount 0", kReduce2Colours, kPaletteDefault, 0, 0, 0},
  };
  for (const auto& c : cases) {
    std::string options = c.options.find("--depth") == std::string::npos ? "--depth 8 " + c.options : c.options;
    const std::string command = std::string(PIXQV_CLI) + " convert in.bmp out.bmp " + options + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    ImageRecord* written = ReadBmpFile("out.bmp");
    ASSERT_NE(written, nullptr);
    const auto got = Rgb(Pixels(written));
    FreeImage(written);

    // A fresh program, as the command line starts with.
    ResetProgram();
    ImageRecord* source = ReadBmpFile("in.bmp");
    if (c.colours) SetNumberOfColours(c.colours);
    std::uint8_t red[256]{}, green[256]{}, blue[256]{};
    ReducedImage reduced = ReduceColours(source, red, green, blue, c.target, c.source, c.ordered != 0, true, c.amount);
    ASSERT_TRUE(reduced);
    std::vector<std::uint8_t> want;
    for (int y = 0; y < reduced.height(); ++y)
      for (int x = 0; x < reduced.width(); ++x) {
        int i = reduced.Row(y)[x];
        want.insert(want.end(), {red[i], green[i], blue[i]});
      }
    EXPECT_EQ(got, want) << c.options;
    FreeImage(source);
  }
}

}  // namespace
}  // namespace qv::test
