#include <gtest/gtest.h>

#include <algorithm>

#include "base/colour_space.h"
#include "ops/apply_test_support.h"
#include "ops/colour_ops.h"

namespace qv::test {
namespace {

constexpr OpId kContrast = 3181, kBrightness = 3182, kGamma = 3183, kBalance = 3184, kHistogram = 3185,
               kColorFill = 3186, kSample = 3187, kColorize = 3188, kRemap = 3189, kMonochrome = 3179,
               kKeyToAlpha = 3193, kInvertAlpha = 3194, kHardenAlpha = 3195;

using Px = std::array<int, 4>;

class ColourOpsTest : public ApplyTest {
 protected:
  // A row of the given colours, plus a last pixel (7, 7, 7) outside the selection.
  ImageRecord* Row(std::vector<Px> colours) {
    colours.push_back({7, 7, 7, 255});
    ImageRecord* image = Add(static_cast<int>(colours.size()), 1,
                             [colours](int x, int) { return colours[static_cast<std::size_t>(x)]; });
    SelectRect(0, 0, image->width - 2, 0);
    return image;
  }
  void ExpectRow(ImageRecord* image, const std::vector<Px>& expected) {
    for (int x = 0; x < static_cast<int>(expected.size()); ++x)
      EXPECT_EQ(At(image, x, 0), expected[static_cast<std::size_t>(x)]) << "pixel " << x;
    EXPECT_EQ(At(image, image->width - 1, 0), (Px{7, 7, 7, 255})) << "outside the selection";
  }
};

TEST_F(ColourOpsTest, ContrastAtBothEnds) {
  ImageRecord* image = Row({{0, 128, 255, 255}, {100, 127, 129, 255}});
  ASSERT_EQ(Run(kContrast), 0);
  ExpectRow(image, {{0, 128, 255, 255}, {72, 126, 130, 255}});
  SetParamValue(kContrast, 0, -100);
  ASSERT_EQ(Run(kContrast), 0);
  ExpectRow(image, {{128, 128, 128, 255}, {128, 128, 128, 255}});
}

TEST_F(ColourOpsTest, BrightnessAtBothEndsAndGamma) {
  ImageRecord* image = Row({{0, 100, 200, 255}});
  ASSERT_EQ(Run(kBrightness), 0);
  ExpectRow(image, {{0, 200, 255, 255}});
  SetParamValue(kBrightness, 0, -100);
  ASSERT_EQ(Run(kBrightness), 0);
  ExpectRow(image, {{0, 0, 0, 255}});

  ImageRecord* g = Row({{0, 128, 255, 255}, {8, 200, 100, 255}});
  ASSERT_EQ(Run(kGamma), 0);  // amount 100: half the offset, with its sign turned
  ExpectRow(g, {{0, 160, 255, 255}, {3, 239, 122, 255}});
}

TEST_F(ColourOpsTest, PartialMaskBlendsTheTableResult) {
  ImageRecord* image = Row({{100, 100, 100, 255}});
  TheProgram().area.selection.transparencyLevel = 128;
  SetParamValue(kColorFill, 0, 255);
  SetParamValue(kColorFill, 1, 0);
  SetParamValue(kColorFill, 2, 10);
  ASSERT_EQ(Run(kColorFill), 0);
  // (fill x 128 + 100 x 127) / 255
  ExpectRow(image, {{177, 49, 54, 255}});
}

TEST_F(ColourOpsTest, BalanceWithAZeroSampleChannelFollowsTheUpperSegment) {
  ImageRecord* image = Row({{0, 0, 0, 255}, {51, 100, 200, 255}});
  SampleColour& s = Pipeline().colour.sample;
  s = {};
  s.green = 100;
  s.blue = 255;
  SetParamValue(kBalance, 1, 100);  // red: 0 -> 100
  SetParamValue(kBalance, 2, 50);   // green: 100 -> 50
  SetParamValue(kBalance, 3, 255);  // blue: unchanged at its own end
  ASSERT_EQ(Run(kBalance), 0);
  // red 51: (51 - 0) x 155 / 255 + 100; green 100 -> 50; blue 200 -> 200 x 255 / 255
  ExpectRow(image, {{100, 0, 0, 255}, {131, 50, 200, 255}});

  BalanceMatchSample();
  EXPECT_EQ(Run(kBalance), 2);  // target = sample: nothing would change
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{65});

  SetParamValue(kBalance, 0, 1);  // dynamic range, all ranges 0
  EXPECT_EQ(Run(kBalance), 2);
  s.green = 100;
  s.greenRange = 50;  // 50..150 stretched to 0..255
  ASSERT_EQ(Run(kBalance), 0);
  // red: 0..1 stretched; green 50..150; blue 255..256 leaves nothing below
  ExpectRow(image, {{255, 0, 0, 255}, {255, 0, 0, 255}});
}

TEST_F(ColourOpsTest, SampleOfOnePixelIsThatColourWithNoRangesAndBecomesTheKey) {
  Add(3, 3, [](int x, int y) { return Px{x * 50, y * 60, 90, 255}; });
  SelectRect(2, 1, 2, 1);
  ASSERT_EQ(Run(kSample), 0);
  const SampleColour& s = Pipeline().colour.sample;
  EXPECT_EQ((std::array<int, 6>{s.red, s.green, s.blue, s.redRange, s.greenRange, s.blueRange}),
            (std::array<int, 6>{100, 60, 90, 0, 0, 0}));
  EXPECT_EQ(s.hueRange, 0);
  KeyColour key = GetKeyColour();
  EXPECT_EQ((std::array<int, 4>{key.red, key.green, key.blue, key.redRange}), (std::array<int, 4>{100, 60, 90, 0}));
  EXPECT_EQ(Pipeline().appliedChanges, 0);  // measuring is no change

  SelectRect(0, 0, 2, 0);  // reds 0, 50, 100
  SetParamValue(kSample, 1, 1);
  ASSERT_EQ(Run(kSample), 0);
  EXPECT_EQ(s.red, 50);
  EXPECT_EQ(s.redRange, 50);
  SetParamValue(kSample, 1, 0);
  ASSERT_EQ(Run(kSample), 0);
  EXPECT_EQ(s.redRange, 66);  // mean deviation 33, doubled
}

// Sample's sums and extremes over many colours, against the two plain
// passes, with and without "Include Extremes".
TEST_F(ColourOpsTest, SampleOfAVariedSelectionMatchesTheTwoPlainPasses) {
  ImageRecord* image = Add(40, 30, [](int x, int y) {
    return Px{(x * 53 + y * 7) % 256, (x * y * 3) % 256, (255 - x * 6 + y) % 256, 255};
  });
  SelectRect(3, 2, 36, 25);
  const std::vector<std::uint8_t> px = Pixels(image);
  std::int64_t sum[3] = {}, n = 0;
  auto each = [&](auto f) {
    for (int y = 2; y <= 25; ++y)
      for (int x = 3; x <= 36; ++x) f(&px[(static_cast<std::size_t>(y) * 40 + x) * 4]);
  };
  each([&](const std::uint8_t* p) {
    for (int k = 0; k < 3; ++k) sum[k] += p[k];
    ++n;
  });
  const int mean[3] = {int(sum[0] / n), int(sum[1] / n), int(sum[2] / n)};
  const Hsl h0 = RgbToHsl(mean[0], mean[1], mean[2]);
  std::int64_t dev[6] = {};
  int lo[5] = {255, 255, 255, 100, 100}, hi[5] = {}, maxDh = 0;
  each([&](const std::uint8_t* p) {
    const Hsl h = RgbToHsl(p[0], p[1], p[2]);
    int dh = std::abs(h.h - h0.h);
    if (dh > 180) dh = 360 - dh;
    const int v[5] = {p[0], p[1], p[2], h.s, h.l};
    for (int k = 0; k < 3; ++k) dev[k] += std::abs(p[k] - mean[k]);
    dev[3] += dh, dev[4] += std::abs(h.s - h0.s), dev[5] += std::abs(h.l - h0.l);
    for (int k = 0; k < 5; ++k) lo[k] = std::min(lo[k], v[k]), hi[k] = std::max(hi[k], v[k]);
    maxDh = std::max(maxDh, dh);
  });
  const SampleColour& s = Pipeline().colour.sample;
  auto got = [&] {
    return std::array<int, 12>{s.red, s.green, s.blue, s.redRange, s.greenRange, s.blueRange,
                               s.hue, s.saturation, s.lightness, s.hueRange, s.saturationRange, s.lightnessRange};
  };
  SetParamValue(kSample, 1, 0);
  ASSERT_EQ(Run(kSample), 0);
  EXPECT_EQ(got(), (std::array<int, 12>{mean[0], mean[1], mean[2], int(dev[0] / n * 2), int(dev[1] / n * 2),
                                        int(dev[2] / n * 2), h0.h, h0.s, h0.l, int(dev[3] / n * 2),
                                        int(dev[4] / n * 2), int(dev[5] / n * 2)}));
  SetParamValue(kSample, 1, 1);
  ASSERT_EQ(Run(kSample), 0);
  EXPECT_EQ(got(), (std::array<int, 12>{(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2,
                                        (hi[0] - lo[0]) / 2, (hi[1] - lo[1]) / 2, (hi[2] - lo[2]) / 2, h0.h,
                                        (lo[3] + hi[3]) / 2, (lo[4] + hi[4]) / 2, maxDh, (hi[3] - lo[3]) / 2,
                                        (hi[4] - lo[4]) / 2}));
}

TEST_F(ColourOpsTest, BalanceSampleNowMeasuresOnTheNextApplyInsteadOfChanging) {
  ImageRecord* image = Row({{40, 80, 120, 255}});
  auto before = Pixels(image);
  BalanceSampleNow();
  ASSERT_EQ(Run(kBalance), 0);
  EXPECT_EQ(Pixels(image), before);
  EXPECT_EQ(Pipeline().colour.sample.green, 80);
  BalanceToGray();
  EXPECT_EQ(ParamValue(kBalance, 1), 80);
  ASSERT_EQ(Run(kBalance), 0);  // now it changes
  EXPECT_EQ(At(image, 0, 0), (Px{80, 80, 80, 255}));
}

TEST_F(ColourOpsTest, KeyToAlphaChangesOnlyFullyMaskedPixels) {
  // The default key: blue (0, 0, 255), ranges 20.
  ImageRecord* image = Row({{0, 0, 250, 255}, {200, 0, 0, 255}, {0, 10, 245, 255}});
  TheProgram().area.selection.transparencyLevel = 254;
  ASSERT_EQ(Run(kKeyToAlpha), 0);
  ExpectRow(image, {{0, 0, 250, 255}, {200, 0, 0, 255}, {0, 10, 245, 255}});
  EXPECT_EQ(image->hasAlpha, 1);

  TheProgram().area.selection.transparencyLevel = 255;
  ASSERT_EQ(Run(kKeyToAlpha), 0);
  ExpectRow(image, {{0, 0, 250, 0}, {200, 0, 0, 255}, {0, 10, 245, 0}});
  SetParamValue(kKeyToAlpha, 7, 1);  // soft: distance sum x 255 / range sum
  ASSERT_EQ(Run(kKeyToAlpha), 0);
  ExpectRow(image, {{0, 0, 250, 21}, {200, 0, 0, 255}, {0, 10, 245, 85}});
  SetParamValue(kKeyToAlpha, 6, 1);  // inverse soft: outside fades by distance past the ranges
  ASSERT_EQ(Run(kKeyToAlpha), 0);
  // (200,0,0): e = 180 + 0 + 235, E = 235 + 235 + 235 -> 255 - 255 x 415 / 705
  ExpectRow(image, {{0, 0, 250, 255}, {200, 0, 0, 105}, {0, 10, 245, 255}});
}

TEST_F(ColourOpsTest, InvertAndHardenAlpha) {
  ImageRecord* image = Row({{0, 0, 0, 100}, {0, 0, 0, 200}});
  image->hasAlpha = 1;
  ASSERT_EQ(Run(kInvertAlpha), 0);
  ExpectRow(image, {{0, 0, 0, 155}, {0, 0, 0, 55}});
  ASSERT_EQ(Run(kHardenAlpha), 0);  // threshold 127, amount 100
  ExpectRow(image, {{0, 0, 0, 255}, {0, 0, 0, 0}});
  ImageRecord* soft = Row({{0, 0, 0, 137}, {0, 0, 0, 117}});
  soft->hasAlpha = 1;
  SetParamValue(kHardenAlpha, 1, 40);  // (A - 127) x 40 / 20 + A
  ASSERT_EQ(Run(kHardenAlpha), 0);
  ExpectRow(soft, {{0, 0, 0, 157}, {0, 0, 0, 97}});
}

TEST_F(ColourOpsTest, RemapFirstMatchingEntryWinsAndShiftsByItsDifference) {
  ImageRecord* image = Row({{10, 10, 10, 255}, {11, 10, 10, 255}, {60, 60, 60, 255}});
  PaletteRecord& from = Pipeline().colour.remapFrom;
  PaletteRecord& to = Pipeline().colour.remapTo;
  from.count = to.count = 3;
  const int f[3][3] = {{60, 60, 60}, {10, 10, 10}, {10, 10, 10}};
  const int t[3][3] = {{60, 60, 60}, {50, 0, 250}, {90, 90, 90}};
  for (int i = 0; i < 3; ++i) {
    from.red[i] = static_cast<std::uint8_t>(f[i][0]), from.green[i] = static_cast<std::uint8_t>(f[i][1]);
    from.blue[i] = static_cast<std::uint8_t>(f[i][2]);
    to.red[i] = static_cast<std::uint8_t>(t[i][0]), to.green[i] = static_cast<std::uint8_t>(t[i][1]);
    to.blue[i] = static_cast<std::uint8_t>(t[i][2]);
  }
  ASSERT_EQ(Run(kRemap), 0);
  ExpectRow(image, {{50, 0, 250, 255}, {11, 10, 10, 255}, {60, 60, 60, 255}});
  ImageRecord* near = Row({{11, 10, 10, 255}, {11, 11, 10, 255}});
  SetParamValue(kRemap, 0, 1);
  ASSERT_EQ(Run(kRemap), 0);
  ExpectRow(near, {{51, 0, 250, 255}, {11, 11, 10, 255}});
}

// A palette of many entries: a candidate by every channel that is too far
// by the sum must not stop the search, and entries past the first 64 match.
TEST_F(ColourOpsTest, RemapOfALargePaletteMatchesThePlainSearch) {
  PaletteRecord& from = Pipeline().colour.remapFrom;
  PaletteRecord& to = Pipeline().colour.remapTo;
  from.count = to.count = 300;
  for (int i = 0; i < 300; ++i) {
    from.red[i] = static_cast<std::uint8_t>(i * 37 % 256), from.green[i] = static_cast<std::uint8_t>(i * 11 % 256);
    from.blue[i] = static_cast<std::uint8_t>(i * 101 % 256);
    to.red[i] = static_cast<std::uint8_t>(255 - i % 256), to.green[i] = static_cast<std::uint8_t>(i % 256);
    to.blue[i] = static_cast<std::uint8_t>(i * 7 % 256);
  }
  from.red[5] = from.green[5] = from.blue[5] = 10;  // every channel within 3 of 12, the sum 6
  from.red[70] = 12, from.green[70] = 12, from.blue[70] = 13;
  ImageRecord* image = Add(64, 64, [](int x, int y) {
    return x == 3 && y == 3 ? Px{12, 12, 12, 255} : Px{x * 4, y * 4, (x * 9 + y * 5) % 256, 255};
  });
  auto before = Pixels(image);
  const int nearness = 3;
  SetParamValue(kRemap, 0, nearness);
  SelectEntireImage();
  ASSERT_EQ(Run(kRemap), 0);
  auto after = Pixels(image);
  for (std::size_t p = 0; p < before.size(); p += 4) {
    int want[3] = {before[p], before[p + 1], before[p + 2]};
    for (int i = 0; i < 300; ++i) {
      if (std::abs(want[0] - from.red[i]) + std::abs(want[1] - from.green[i]) + std::abs(want[2] - from.blue[i]) >
          nearness)
        continue;
      want[0] = std::clamp(want[0] - from.red[i] + to.red[i], 0, 255);
      want[1] = std::clamp(want[1] - from.green[i] + to.green[i], 0, 255);
      want[2] = std::clamp(want[2] - from.blue[i] + to.blue[i], 0, 255);
      break;
    }
    for (int k = 0; k < 3; ++k) ASSERT_EQ(after[p + k], want[k]) << p / 4 << " " << k;
  }
  const std::size_t hit = (3 * 64 + 3) * 4;
  EXPECT_EQ((std::array<int, 3>{after[hit], after[hit + 1], after[hit + 2]}),
            (std::array<int, 3>{to.red[70], to.green[70], to.blue[70] - 1}));
}

TEST_F(ColourOpsTest, ColorizeSetsTheHueAndBlendsByTheMask) {
  ImageRecord* image = Row({{255, 0, 0, 255}, {0, 0, 0, 255}});
  SetParamValue(kColorize, 0, 120);
  ASSERT_EQ(Run(kColorize), 0);
  ExpectRow(image, {{0, 255, 0, 255}, {0, 0, 0, 255}});
  SetParamValue(kColorize, 0, 240);
  SetParamValue(kColorize, 2, 0);  // keep each pixel's saturation
  ASSERT_EQ(Run(kColorize), 0);
  ExpectRow(image, {{0, 0, 255, 255}, {0, 0, 0, 255}});

  // Any colour: the HSL round trip with the new hue, blended by the mask.
  ImageRecord* many = Add(16, 16, [](int x, int y) { return Px{x * 17, y * 16, (x * 7 + y * 13) % 256, 255}; });
  auto before = Pixels(many);
  SelectEntireImage();
  TheProgram().area.selection.transparencyLevel = 200;
  SetParamValue(kColorize, 0, 290);
  ASSERT_EQ(Run(kColorize), 0);
  auto after = Pixels(many);
  for (std::size_t i = 0; i < before.size(); i += 4) {
    Hsl h = RgbToHsl(before[i], before[i + 1], before[i + 2]);
    h.h = 290;
    RgbColour c = HslToRgb(h, {0, 0, 0});
    const int want[3] = {c.r, c.g, c.b};
    for (int k = 0; k < 3; ++k)
      ASSERT_EQ(after[i + k], (before[i + k] * 55 + std::clamp(want[k], 0, 255) * 200) / 255) << i / 4 << " " << k;
  }
}

// Known colours; and, since the conversion avoids hardware division, every
// colour must still give what the plain truncating formulas give.
TEST(ColourSpace, RgbToHslOfKnownColoursAndOfEveryColourByThePlainFormulas) {
  auto hsl = [](int r, int g, int b) {
    Hsl c = RgbToHsl(r, g, b);
    return std::array<int, 3>{c.h, c.s, c.l};
  };
  EXPECT_EQ(hsl(255, 0, 0), (std::array<int, 3>{0, 100, 50}));
  EXPECT_EQ(hsl(128, 128, 128), (std::array<int, 3>{0, 0, 50}));
  EXPECT_EQ(hsl(0, 255, 0), (std::array<int, 3>{120, 100, 50}));
  EXPECT_EQ(hsl(0, 0, 255), (std::array<int, 3>{240, 100, 50}));
  EXPECT_EQ(hsl(255, 0, 128), (std::array<int, 3>{330, 100, 50}));
  EXPECT_EQ(hsl(255, 200, 200), (std::array<int, 3>{0, 100, 89}));
  auto plain = [](int r, int g, int b) {
    const int mx = std::max({r, g, b}), mn = std::min({r, g, b});
    Hsl out{0, 0, (mx + mn) * 100 / 510};
    if (mx == mn) return out;
    const int d = mx - mn;
    out.s = d * 100 / (out.l < 50 ? mx + mn : 510 - mx - mn);
    out.h = r == mx ? (g - b) * 60 / d : g == mx ? (b - r) * 60 / d + 120 : (r - g) * 60 / d + 240;
    if (out.h < 0) out.h += 360;
    if (out.h > 360) out.h -= 360;
    return out;
  };
  // The row converter takes the same colours as one row of 256 blues per
  // (r, g), an odd count after it so that the tail is checked too.
  std::vector<std::uint8_t> row(256 * 4 + 4 * 7, 77);
  std::int32_t h[263], s[263], l[263];
  int wrong = 0, wrongRow = 0;
  for (int r = 0; r < 256; ++r)
    for (int g = 0; g < 256; ++g) {
      for (int b = 0; b < 256; ++b) row[b * 4] = static_cast<std::uint8_t>(r), row[b * 4 + 1] = static_cast<std::uint8_t>(g),
                                    row[b * 4 + 2] = static_cast<std::uint8_t>(b);
      const int count = 256 + (r + g) % 8;
      RgbToHslRow(row.data(), count, h, s, l);
      for (int b = 0; b < count; ++b) {
        const std::uint8_t* p = &row[b * 4];
        const Hsl want = plain(p[0], p[1], p[2]), got = RgbToHsl(p[0], p[1], p[2]);
        if (want.h != got.h || want.s != got.s || want.l != got.l) {
          if (++wrong < 5) ADD_FAILURE() << r << "," << g << "," << b;
        }
        if (h[b] != want.h || s[b] != want.s || l[b] != want.l) {
          if (++wrongRow < 5) ADD_FAILURE() << "row " << r << "," << g << "," << b;
        }
      }
    }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(wrongRow, 0);
}

TEST_F(ColourOpsTest, MonochromeRoundsInSinglePrecision) {
  // 0.3 x 0 + 0.59 x 21 + 0.11 x 1 + 0.5 is just below 13 in double precision.
  ImageRecord* image = Row({{0, 21, 1, 255}, {0, 41, 21, 255}, {100, 0, 0, 9}, {255, 255, 255, 255}});
  ASSERT_EQ(Run(kMonochrome), 0);
  ExpectRow(image, {{13, 13, 13, 255}, {27, 27, 27, 255}, {30, 30, 30, 9}, {255, 255, 255, 255}});
  EXPECT_EQ(MonochromeGrey(10, 20, 31, false), 20);
  EXPECT_EQ(MonochromeGrey(255, 255, 255, false), 255);
  // Every colour as the floating-point formula gives it.
  int wrong = 0;
  for (int r = 0; r < 256; ++r)
    for (int g = 0; g < 256; ++g)
      for (int b = 0; b < 256; ++b)
        for (bool luminance : {false, true}) {
          const double grey = luminance ? 0.3 * r + 0.59 * g + 0.11 * b : (r + g + b) * 0.3333333333333333;
          const int want = std::clamp(static_cast<int>(static_cast<float>(grey + 0.5)), 0, 255);
          if (MonochromeGrey(r, g, b, luminance) != want && ++wrong < 5) ADD_FAILURE() << r << "," << g << "," << b;
        }
  EXPECT_EQ(wrong, 0);
}

TEST_F(ColourOpsTest, HistogramGatherEqualizeAndMapApply) {
  ImageRecord* image = Row({{0, 0, 0, 255}, {0, 0, 0, 255}, {255, 255, 255, 255}});
  SetParamValue(kHistogram, 0, 1);
  ASSERT_EQ(Run(kHistogram), 0);
  const auto& h = Pipeline().colour.histogram;
  EXPECT_EQ(h[0][0], 100);
  EXPECT_EQ(h[0][255], 50);
  EXPECT_EQ(h[2][7], 0);  // the unselected pixel is not counted
  HistogramEqualize();
  EXPECT_EQ(Pipeline().colour.histogramMap[0][0], 170);  // 100 x 255 / 150
  EXPECT_EQ(Pipeline().colour.histogramMap[0][254], 170);
  SetParamValue(kHistogram, 0, 0);
  ASSERT_EQ(Run(kHistogram), 0);  // the map through the table worker
  ExpectRow(image, {{170, 170, 170, 255}, {170, 170, 170, 255}, {255, 255, 255, 255}});
}

}  // namespace
}  // namespace qv::test
