#include "display/colour_reduce.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "app/program.h"
#include "store/image_record.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

using Rgb = std::array<int, 3>;

class ColourReduceTest : public test::ProgramTest {
 protected:
  void TearDown() override {
    for (ImageRecord* image : images) FreeImage(image);
    images.clear();
    ProgramTest::TearDown();
  }

  ImageRecord* Make(int w, int h, const std::function<Rgb(int, int)>& colour) {
    ImageRecord* image = CreateLockedImage(w, h, "test");
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        Rgb c = colour(x, y);
        std::uint8_t* p = PixelAt(image, x, y);
        p[0] = static_cast<std::uint8_t>(c[0]);
        p[1] = static_cast<std::uint8_t>(c[1]);
        p[2] = static_cast<std::uint8_t>(c[2]);
      }
    images.push_back(image);
    return image;
  }

  ReducedImage Reduce(ImageRecord* image, int target, int source, bool ordered = false, int amount = 100,
                      int givenCount = 0) {
    return ReduceColours(image, red, green, blue, target, source, ordered, true, amount, givenCount);
  }

  Rgb Entry(int i) const { return {red[i], green[i], blue[i]}; }

  std::vector<ImageRecord*> images;
  std::uint8_t red[256]{}, green[256]{}, blue[256]{};
};

// Eight colours spread over the cube, none black.
const std::array<Rgb, 10> kFew = {{{200, 10, 10}, {10, 200, 10}, {10, 10, 200}, {250, 250, 5}, {5, 250, 250},
                                   {250, 5, 250}, {128, 128, 128}, {90, 40, 160}, {255, 255, 255}, {60, 60, 20}}};

TEST_F(ColourReduceTest, ChosenPalettesFollowTheImage) {
  // Sixteen colours chosen always start with black, even from a bright image.
  ImageRecord* bright = Make(64, 64, [](int x, int y) { return Rgb{128 + x * 2, 100 + y * 2, 255 - x - y}; });
  ReducedImage sixteen = Reduce(bright, kReduce16Colours, kPaletteChoose);
  ASSERT_TRUE(sixteen);
  EXPECT_EQ(Entry(0), (Rgb{0, 0, 0}));
  EXPECT_EQ(sixteen.colours(), 16);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_LT(sixteen.Row(y)[x], 16);

  // Fewer distinct colours than wanted: every one is found once, the count
  // is what was found, and each pixel maps to its own colour exactly.
  ImageRecord* few = Make(40, 30, [](int x, int y) { return kFew[(x / 4 + y) % kFew.size()]; });
  ReducedImage mapped = Reduce(few, kReduce256Colours, kPaletteChoose);
  ASSERT_TRUE(mapped);
  ASSERT_EQ(mapped.colours(), static_cast<int>(kFew.size()));
  std::set<Rgb> chosen;
  for (int i = 0; i < mapped.colours(); ++i) chosen.insert(Entry(i));
  EXPECT_EQ(chosen, std::set<Rgb>(kFew.begin(), kFew.end()));
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(Entry(mapped.Row(y)[x]), kFew[(x / 4 + y) % kFew.size()]);

  // Flag 0 adds black in front; the render palette received the colours.
  PaletteRecord palette = TheProgram().palettes.render;
  ASSERT_EQ(SelectPaletteColours(few, palette, 256, 0), 0);
  EXPECT_EQ(palette.count, static_cast<int>(kFew.size()) + 1);
  EXPECT_EQ(TheProgram().palettes.render.red[3], red[3]);

  // Cells are visited in index order and widened from 6 to 8 bits.
  std::vector<std::uint8_t> cells(kGridCells);
  cells[63 * 4096 + 10] = 1;
  cells[5 * 64 + 2] = 1;
  ASSERT_EQ(SelectPaletteFromCells(cells.data(), palette, 256, 1), 0);
  ASSERT_EQ(palette.count, 2);
  EXPECT_EQ((Rgb{palette.red[0], palette.green[0], palette.blue[0]}), (Rgb{0, 20, 8}));
  EXPECT_EQ((Rgb{palette.red[1], palette.green[1], palette.blue[1]}), (Rgb{255, 0, 40}));
}

TEST_F(ColourReduceTest, UsageCodesSteerChoosingAndSearching) {
  ImageRecord* few = Make(20, 20, [](int x, int y) { return kFew[(x + y) % kFew.size()]; });
  PaletteRecord palette{};
  palette.red[1] = 1;
  palette.green[1] = 2;
  palette.blue[1] = 3;
  SetUsage(1, kUseAsIs);
  SetUsage(2, kUseSkip);
  ASSERT_EQ(SelectPaletteColours(few, palette, 256, 1), 0);
  EXPECT_EQ((Rgb{palette.red[1], palette.green[1], palette.blue[1]}), (Rgb{1, 2, 3}));
  EXPECT_EQ(palette.count, static_cast<int>(kFew.size()) + 2);  // one used as is, one skipped

  // A skipped entry is never an answer, even for its own exact colour.
  PaletteRecord render = TheProgram().palettes.render;
  SetUsage(2, kUsePick);
  SetUsage(1, kUsePick);
  SetUsage(223, kUseSkip);  // white: the cube's corner and 245 on
  SetUsage(245, kUseSkip);
  ASSERT_EQ(PrepareNearestSearch(render), 0);
  EXPECT_EQ(NearestPaletteIndex(255, 255, 255), 246);
  EXPECT_EQ(NearestPaletteIndex(0, 0, 0), 0);
}

TEST_F(ColourReduceTest, DitherAmountZeroIsPlainNearestMapping) {
  std::mt19937 rng(7);
  ImageRecord* noisy = Make(50, 40, [&](int, int) {
    return Rgb{static_cast<int>(rng() % 256), static_cast<int>(rng() % 256), static_cast<int>(rng() % 256)};
  });
  for (int source : {kPaletteRender, kPaletteGiven}) {
    if (source == kPaletteGiven)
      for (int i = 0; i < 256; ++i) red[i] = green[i] = blue[i] = static_cast<std::uint8_t>(i & 0xF0);
    ReducedImage out = Reduce(noisy, kReduce256Colours, source, false, 0);
    ASSERT_TRUE(out);
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 50; ++x) {
        const std::uint8_t* p = PixelAt(noisy, x, y);
        ASSERT_EQ(out.Row(y)[x], NearestPaletteIndex(p[0], p[1], p[2])) << source << " " << x << "," << y;
      }
  }
  // With full dithering the errors move some pixels off their nearest entry.
  ReducedImage dithered = Reduce(noisy, kReduce256Colours, kPaletteRender, false, 100);
  int moved = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 50; ++x) {
      const std::uint8_t* p = PixelAt(noisy, x, y);
      moved += dithered.Row(y)[x] != NearestPaletteIndex(p[0], p[1], p[2]);
    }
  EXPECT_GT(moved, 0);
}

int TestLuminance(const Rgb& c) { return c[0] * 85 / 255 + c[1] * 105 / 255 + c[2] * 65 / 255; }

TEST_F(ColourReduceTest, FixedTargetsMapByTheirRules) {
  // Two colours split between gray levels 127 and 128 (not 192 as on screen).
  Rgb at127{}, at128{};
  for (int r = 0; r < 256; ++r) {
    if (TestLuminance({r, 128, 128}) == 127) at127 = {r, 128, 128};
    if (TestLuminance({r, 128, 128}) == 128) at128 = {r, 128, 128};
  }
  ASSERT_EQ(TestLuminance(at127), 127);
  ASSERT_EQ(TestLuminance(at128), 128);
  StartLog();
  for (auto [colour, expected] : {std::pair{at127, 0}, std::pair{at128, 1}, std::pair{Rgb{192, 192, 192}, 1}}) {
    const Rgb pixel = colour;
    ReducedImage out = Reduce(Make(1, 1, [&](int, int) { return pixel; }), kReduce2Colours, kPaletteDefault);
    ASSERT_TRUE(out);
    EXPECT_EQ(out.Row(0)[0], expected);
  }
  EXPECT_EQ(Entry(1), (Rgb{255, 255, 255}));
  EXPECT_NE(Logged().find("Rendering   2 colors to 1 bits\n"), std::string::npos);

  // The gray-scale source turns colour targets into gray ramps.
  ImageRecord* pixel = Make(1, 1, [](int, int) { return Rgb{200, 100, 50}; });
  ReducedImage gray = Reduce(pixel, kReduce256Colours, kPaletteGray);
  EXPECT_EQ(gray.Row(0)[0], TestLuminance({200, 100, 50}));
  EXPECT_EQ(Entry(77), (Rgb{77, 77, 77}));
  ReducedImage gray16 = Reduce(pixel, kReduce16Colours, kPaletteGray);
  EXPECT_EQ(gray16.Row(0)[0], TestLuminance({200, 100, 50}) >> 4);
  EXPECT_EQ(gray16.colours(), 16);

  // The standard 16 colours through their lookup.
  ReducedImage reddish = Reduce(Make(1, 1, [](int, int) { return Rgb{200, 30, 30}; }), kReduce16Colours, kPaletteDefault);
  EXPECT_EQ(reddish.Row(0)[0], 9);
  EXPECT_EQ(Entry(9), (Rgb{255, 0, 0}));
  ReducedImage grayish = Reduce(Make(1, 1, [](int, int) { return Rgb{100, 100, 100}; }), kReduce16Colours, kPaletteDefault);
  EXPECT_EQ(grayish.Row(0)[0], 8);

  // Default 256 colours: mid-gray to the ramp, black to the cube's corner.
  ReducedImage mid = Reduce(Make(1, 1, [](int, int) { return Rgb{128, 128, 128}; }), kReduce256Colours, kPaletteDefault);
  EXPECT_EQ(mid.Row(0)[0], 234);
  ReducedImage black = Reduce(Make(1, 1, [](int, int) { return Rgb{0, 0, 0}; }), kReduce256Colours, kPaletteDefault);
  EXPECT_EQ(black.Row(0)[0], 0);

  // 24 bits: blue, green, red, rows padded to four bytes.
  ReducedImage wide = Reduce(Make(3, 2, [](int x, int y) { return Rgb{x, y, 9}; }), kReduce24Bits, kPaletteDefault);
  ASSERT_TRUE(wide);
  EXPECT_EQ(wide.stride(), 12);
  EXPECT_EQ(wide.Row(1)[6], 9);
  EXPECT_EQ(wide.Row(1)[7], 1);
  EXPECT_EQ(wide.Row(1)[8], 2);
}

TEST_F(ColourReduceTest, ErrorDiffusionRunsBothWaysWithHalvedScaledErrors) {
  auto colour = [](int x, int y) { return Rgb{(x * 53 + y * 29) % 256, 120, (x * 31) % 256}; };
  ImageRecord* image = Make(9, 4, colour);
  ReducedImage out = Reduce(image, kReduce2Colours, kPaletteDefault, false, 50);
  ASSERT_TRUE(out);
  int above[9] = {};
  for (int y = 0; y < 4; ++y) {
    int left = 0;
    for (int n = 0; n < 9; ++n) {
      int x = y % 2 ? 8 - n : n;
      int gray = std::clamp(TestLuminance(colour(x, y)) + (left + above[x]) / 2 * 50 / 100, 0, 255);
      int white = gray > 127 ? 1 : 0;
      EXPECT_EQ(out.Row(y)[x], white) << x << "," << y;
      left = above[x] = gray - 255 * white;
    }
  }
}

// The ordered dither of the default palette, written out plainly.
int ExpectedOrdered(int x, int y, int r, int g, int b) {
  static const int mr[21] = {16, 18, 7, 12, 3, 9, 2, 17, 5, 13, 10, 4, 11, 19, 8, 14, 20, 3, 16, 6, 1};
  static const int mg[18] = {7, 12, 3, 18, 9, 2, 5, 13, 17, 10, 4, 11, 8, 14, 3, 16, 6, 1};
  static const int mb[48] = {23, 12, 22, 9, 19, 17, 29, 13, 31, 4, 11, 21, 14, 17, 34, 40, 6, 16, 35, 7, 28, 37, 3, 20,
                             32, 2, 25, 41, 5, 30, 38, 10, 24, 27, 39, 8, 26, 33, 3, 18, 1, 36, 0, 13, 4, 8, 12, 5};
  if (r / 4 == g / 4 && (b ^ g) < 4) {
    int k = g * 20 / 255;
    int value = k * 255 / 20;
    int t = ((y / 4 + x) % 4) * ((x / 4 + y) % 5);
    if (value < g && (g - value) / 2 > t && k < 20) k++;
    if (value > g && (value - g) / 2 > t && k > 0) k--;
    return 224 + k;
  }
  int levels[3] = {r * 6 / 255, g * 7 / 255, b * 3 / 255};
  int tops[3] = {6, 7, 3};
  int values[3] = {levels[0] * 255 / 6, levels[1] * 255 / 7, levels[2] * 85};
  int channel[3] = {r, g, b};
  int thresholds[3] = {mr[((x / 3 + y) % 3) * 7 + (y / 2 + x) % 7], mg[((x / 2 + y) % 6) * 3 + (y / 3 + x) % 3],
                       mb[((x / 5 + y) % 8) * 6 + (y / 4 + x) % 6]};
  for (int c = 0; c < 3; ++c) {
    if ((channel[c] - values[c]) / 2 > thresholds[c] && levels[c] < tops[c]) levels[c]++;
    else if ((values[c] - channel[c]) / 2 > thresholds[c] && levels[c] > 0) levels[c]--;
  }
  return levels[0] * 32 + levels[1] * 4 + levels[2];
}

TEST_F(ColourReduceTest, OrderedDitherOfGradientsFollowsTheMatrices) {
  // Colour gradients in the top half, near-grays in the bottom half.
  auto colour = [](int x, int y) {
    if (y < 32) return Rgb{x * 255 / 99, y * 8, (x + 3 * y) % 256};
    int g = x * 255 / 99;
    return Rgb{g, g, g ^ (y & 3)};
  };
  ImageRecord* image = Make(100, 64, colour);
  ReducedImage out = Reduce(image, kReduce256Colours, kPaletteDefault, true);
  ASSERT_TRUE(out);
  int grays = 0;
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 100; ++x) {
      Rgb c = colour(x, y);
      int expected = ExpectedOrdered(x, y, c[0], c[1], c[2]);
      grays += expected >= 224;
      ASSERT_EQ(out.Row(y)[x], expected) << x << "," << y;
    }
  EXPECT_GT(grays, 1000);

  // Against a chosen palette the direction-table method keeps flat areas of
  // a palette colour on that colour and mixes only between neighbours.
  ImageRecord* steps = Make(64, 16, [](int x, int) { return Rgb{x * 4, 60, 60}; });
  for (int i = 0; i < 256; ++i) {
    red[i] = static_cast<std::uint8_t>(std::min(255, (i % 5) * 64));
    green[i] = blue[i] = 60;
  }
  ReducedImage mixed = Reduce(steps, kReduce256Colours, kPaletteGiven, true, 100, 5);
  ASSERT_TRUE(mixed);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 64; ++x) {
      int v = x * 4;
      int index = mixed.Row(y)[x];
      ASSERT_LT(index, 5);
      if (v % 64 == 0) {
        ASSERT_EQ(red[index], v);
      }
      ASSERT_LE(std::abs(red[index] - v), 64) << x;
    }
}

// Level of a cell coordinate and the painted distance, as documented.
int Level(int i) { return i * 255 / 63; }
int CellDistance(int dr, int dg, int db) {
  double d = std::sqrt(double(Level(dr + 1)) * Level(dr + 1) + double(Level(dg + 2)) * Level(dg + 2) +
                       double(Level(db)) * Level(db));
  return std::min(255, static_cast<int>(std::lround(d)));
}

TEST_F(ColourReduceTest, NearestSearchAgreesWithDirectComputation) {
  std::mt19937 rng(11);
  auto any = [&] { return static_cast<int>(rng() % 256); };
  PaletteRecord palette{};
  const int count = 12;  // few colours leave most cells to the trial search
  for (int i = 0; i < count; ++i) {
    palette.red[i] = static_cast<std::uint8_t>(any());
    palette.green[i] = static_cast<std::uint8_t>(any());
    palette.blue[i] = static_cast<std::uint8_t>(any());
  }
  palette.red[7] = palette.red[3];  // a duplicate: the first entry answers
  palette.green[7] = palette.green[3];
  palette.blue[7] = palette.blue[3];
  palette.count = count;
  SetUsage(5, kUseSkip);
  ASSERT_EQ(PrepareNearestSearch(palette), 0);

  const int paint = std::min(30, 12 + (60 - count) * 12 / 44 + 4);
  std::map<int, int> searched;  // cell -> index found by the first trial
  auto expected = [&](int r, int g, int b) {
    for (int e = 0; e < count; ++e)
      if (e != 5 && palette.red[e] == r && palette.green[e] == g && palette.blue[e] == b) return e;
    int cell = (r / 4) * 4096 + (g / 4) * 64 + b / 4;
    int best = -1, bestDistance = 255;
    for (int e = 0; e < count; ++e) {
      if (e == 5) continue;
      int dr = std::abs(r / 4 - palette.red[e] / 4), dg = std::abs(g / 4 - palette.green[e] / 4),
          db = std::abs(b / 4 - palette.blue[e] / 4);
      if (dr > paint || dg > paint || db > paint) continue;
      int d = CellDistance(dr, dg, db);
      if (d < bestDistance) best = e, bestDistance = d;
    }
    if (best >= 0) return best;
    if (searched.count(cell)) return searched[cell];
    long bestRounded = -1;
    for (int e = 0; e < count; ++e) {
      if (e == 5) continue;
      double d = std::hypot(r - palette.red[e], g - palette.green[e], b - palette.blue[e]);
      long rounded = std::lround(d);
      if (bestRounded < 0 || rounded < bestRounded) best = e, bestRounded = rounded;
    }
    return searched[cell] = best;
  };
  for (int n = 0; n < 20000; ++n) {
    int r = any(), g = any(), b = any();
    ASSERT_EQ(NearestPaletteIndex(r, g, b), expected(r, g, b)) << r << " " << g << " " << b;
  }
  for (int e = 0; e < count; ++e) {
    if (e == 5) continue;
    ASSERT_EQ(NearestPaletteIndex(palette.red[e], palette.green[e], palette.blue[e]), e == 7 ? 3 : e);
  }
}

TEST_F(ColourReduceTest, LockAfterFirstKeepsTheFirstFramePalette) {
  ColourReduceState& s = TheProgram().reduce;
  s.chooseColors = kPaletteChoose;
  s.lockAfterFirst = 1;
  ImageRecord* first = Make(16, 16, [](int x, int y) { return kFew[(x + y) % 5]; });
  ImageRecord* second = Make(16, 16, [](int x, int y) { return kFew[5 + (x + y) % 5]; });
  ReducedImage a = ReduceFrame(first, red, green, blue, kReduce256Colours, true);
  ASSERT_TRUE(a);
  std::set<Rgb> firstColours;
  for (int i = 0; i < a.colours(); ++i) firstColours.insert(Entry(i));
  ReducedImage b = ReduceFrame(second, red, green, blue, kReduce256Colours, false);
  ASSERT_TRUE(b);
  EXPECT_EQ(b.colours(), a.colours());
  for (int i = 0; i < b.colours(); ++i) EXPECT_TRUE(firstColours.count(Entry(i)));

  s.lockAfterFirst = 0;
  ReducedImage c = ReduceFrame(second, red, green, blue, kReduce256Colours, false);
  std::set<Rgb> own;
  for (int i = 0; i < c.colours(); ++i) own.insert(Entry(i));
  EXPECT_EQ(own, std::set<Rgb>(kFew.begin() + 5, kFew.end()));
}

TEST_F(ColourReduceTest, StopAndMemoryFailuresGiveTheirAnswers) {
  ImageRecord* image = Make(64, 64, [](int x, int y) { return Rgb{x * 4, y * 4, (x * y) % 256}; });
  // A stop while choosing keeps what was chosen so far and still maps.
  host->onPump = [] { RequestStop(); };
  ReducedImage stopped = Reduce(image, kReduce16Colours, kPaletteChoose);
  host->onPump = nullptr;
  ASSERT_TRUE(stopped);
  EXPECT_EQ(stopped.colours(), 1);  // only the black of entry 0
  EXPECT_EQ(stopped.Row(10)[10], 0);

  ResetProgram();
  host = &InstallHost<RecordingHost>();
  images.clear();
  image = Make(8, 8, [](int x, int) { return Rgb{x * 30, 0, 0}; });
  TheProgram().memory.faults.allocate = [](std::int64_t bytes) { return bytes == kGridCells + 4; };  // a place holds 4 more
  EXPECT_FALSE(Reduce(image, kReduce256Colours, kPaletteChoose));
  ASSERT_EQ(host->MessageNumbers(), std::vector<int>{22});
  EXPECT_EQ(host->messages[0].extra, "for color quantization.");

  TheProgram().memory.faults.allocate = [](std::int64_t bytes) { return bytes == 8 * 2 + 4; };  // an error row
  EXPECT_FALSE(Reduce(image, kReduce2Colours, kPaletteDefault));
  EXPECT_EQ(host->notes, std::vector<std::string>{"Not enough memory to render"});
}

}  // namespace
}  // namespace qv
