#include <gtest/gtest.h>

#include <cmath>

#include "base/crt_random.h"
#include "ops/effect_support.h"
#include "ops/math_ops.h"
#include "ops/motion_ops.h"
#include "ops/row_equivalence.h"
#include "store/display_palettes.h"

namespace qv::test {
namespace {

using Px = std::array<int, 4>;

class MotionMathTest : public RowEquivalenceTest {
 protected:
  // White inside x0..x1, y0..y1 on black, that rectangle selected.
  ImageRecord* WhiteBlock(int w, int h, int x0, int y0, int x1, int y1) {
    ImageRecord* image = Add(w, h, [=](int x, int y) {
      const int v = x >= x0 && x <= x1 && y >= y0 && y <= y1 ? 255 : 0;
      return Px{v, v, v, 255};
    });
    SelectRect(x0, y0, x1, y1);
    return image;
  }
  ImageRecord* Varied(int w, int h) {
    ImageRecord* image = Add(w, h, [](int x, int y) { return Px{(x * 37) % 256, (y * 23) % 256, (x * y) % 256, 255}; });
    SelectRect(0, 0, w - 1, h - 1);
    return image;
  }
};

TEST_F(MotionMathTest, MotionBlurAtNinetyDegreesStreaksRightPastTheSelection) {
  ImageRecord* image = WhiteBlock(40, 10, 5, 2, 14, 7);
  SetParamValue(kMotionBlurOp, 0, 10);
  SetParamValue(kMotionBlurOp, 1, 90);
  SetParamValue(kMotionBlurOp, 2, 100);
  ASSERT_EQ(Run(kMotionBlurOp), 0);
  // (20, 4) samples x = 20..11; the selected ones are k = 6..9, weights
  // 40 + 30 + 20 + 10: c = 100 x 255 / (100 + 400).
  EXPECT_EQ(At(image, 20, 4), (Px{51, 51, 51, 255}));
  // (15, 4): k = 1..9 weigh 450.
  EXPECT_EQ(At(image, 15, 4), (Px{255 * 450 / 850, 255 * 450 / 850, 255 * 450 / 850, 255}));
  // Whole streak outside the selection: unchanged, to the right and the left.
  EXPECT_EQ(At(image, 25, 4), (Px{0, 0, 0, 255}));
  EXPECT_EQ(At(image, 4, 4), (Px{0, 0, 0, 255}));
  // Inside, the first pixels of the streak have nothing selected behind them
  // but themselves: k = 0 only, weight 100, c = 255, unchanged.
  EXPECT_EQ(At(image, 5, 4), (Px{255, 255, 255, 255}));
}

TEST_F(MotionMathTest, ExplodeWidensOnlyOutwardAndLeavesTheCentreAlone) {
  ImageRecord* out = WhiteBlock(41, 41, 10, 10, 30, 30);
  SetParamValue(kExplodeOp, 0, 8);
  ASSERT_EQ(Run(kExplodeOp), 0);
  EXPECT_NE(At(out, 33, 20), (Px{0, 0, 0, 255}));  // reaches back into the block
  EXPECT_EQ(At(out, 20, 20), (Px{255, 255, 255, 255}));
  ImageRecord* in = Add(41, 41, [](int x, int) { return Px{x * 6, 0, 0, 255}; });
  SelectRect(10, 10, 30, 30);
  const auto before = Pixels(in);
  SetParamValue(kExplodeOp, 0, -8);
  ASSERT_EQ(Run(kExplodeOp), 0);
  const auto after = Pixels(in);
  bool insideChanged = false;
  for (int y = 0; y < 41; ++y)
    for (int x = 0; x < 41; ++x) {
      const std::size_t i = (static_cast<std::size_t>(y) * 41 + x) * 4;
      if (x < 10 || x > 30 || y < 10 || y > 30)
        ASSERT_EQ(after[i], before[i]) << x << "," << y;
      else
        insideChanged = insideChanged || after[i] != before[i];
    }
  EXPECT_TRUE(insideChanged);
  // Pulling in from farther out: right of the centre the red grows.
  EXPECT_GT(after[(20 * 41 + 25) * 4], before[(20 * 41 + 25) * 4]);
  EXPECT_EQ(after[(20 * 41 + 20) * 4], before[(20 * 41 + 20) * 4]);
}

TEST_F(MotionMathTest, SpiralBlurWithoutRotationAveragesTheRayAwayFromThePixel) {
  ImageRecord* image = Add(41, 41, [](int x, int y) { return Px{y * 6, x * 3, 40, 255}; });
  SelectRect(0, 0, 40, 40);
  SetParamValue(kSpiralBlurOp, 0, 5);
  SetParamValue(kSpiralBlurOp, 1, 0);
  SetParamValue(kSpiralBlurOp, 2, 100);
  const auto before = Pixels(image);
  ASSERT_EQ(Run(kSpiralBlurOp), 0);
  // (20, 30): D = 10; samples (20, 20 - j) for j = 6..10, weights j - 5.
  long w = 0, s = 0;
  for (int j = 6; j <= 10; ++j) {
    w += j - 5;
    s += (j - 5) * before[(static_cast<std::size_t>(20 - j) * 41 + 20) * 4];
  }
  const long old = before[(30 * 41 + 20) * 4];
  EXPECT_EQ(At(image, 20, 30)[0], (s + 5 * old) / (w + 5));
  EXPECT_EQ(At(image, 20, 30)[1], 60);  // the column's green is the same along the ray
}

TEST_F(MotionMathTest, NoChangeSettingsCancelWithMessage65) {
  struct Case {
    OpId op;
    int slot, value;
  };
  const Case cases[] = {{kMotionBlurOp, 0, 0}, {kMotionBlurOp, 2, 0}, {kSpiralBlurOp, 0, 0},
                        {kSpiralBlurOp, 2, 0}, {kExplodeOp, 0, 0},    {kExplodeOp, 1, 0}};
  for (const Case& k : cases) {
    ResetParamValues();
    ImageRecord* image = Varied(9, 9);
    const auto before = Pixels(image);
    SetParamValue(k.op, k.slot, k.value);
    EXPECT_EQ(Run(k.op), 2) << k.op;
    EXPECT_EQ(host->MessageNumbers().back(), 65) << k.op;
    EXPECT_EQ(Pixels(image), before) << k.op;
  }
}

TEST_F(MotionMathTest, AStreakLongerThanAnyPictureIsRefusedWithMessage22) {
  ImageRecord* image = Varied(9, 9);
  const auto before = Pixels(image);
  SetParamValue(kMotionBlurOp, 0, 2000000000);
  EXPECT_EQ(Run(kMotionBlurOp), 2);
  EXPECT_EQ(host->MessageNumbers().back(), 22);
  EXPECT_EQ(Pixels(image), before);
}

TEST_F(MotionMathTest, DerivativeSignedOrAbsoluteAddedOrAboutGrey) {
  // Red falls by 10 a pixel: D = -10 away from the left column and top row
  // (the top row has no upper term, the left column no left term).
  struct Case {
    int gray, add, expected;
  };
  const int cur = 200 - 10 * 5;
  const Case cases[] = {{1, 1, cur - 20}, {0, 1, cur + 20}, {1, 0, 127 - 20}, {0, 0, 20}};
  for (const Case& k : cases) {
    ImageRecord* image = Add(12, 6, [](int x, int) { return Px{200 - 10 * x, 100, 100, 255}; });
    SelectRect(0, 0, 11, 5);
    SetParamValue(kDerivativeOp, 0, 2);
    SetParamValue(kDerivativeOp, 1, k.gray);
    SetParamValue(kDerivativeOp, 2, k.add);
    ASSERT_EQ(Run(kDerivativeOp), 0);
    EXPECT_EQ(At(image, 5, 3)[0], k.expected) << k.gray << k.add;
    EXPECT_EQ(At(image, 5, 3)[1], k.add ? 100 : k.gray ? 127 : 0) << k.gray << k.add;
  }
}

TEST_F(MotionMathTest, VarianceOfAFlatAreaIsZeroAndOfAStepIsItsMeanDeviation) {
  ImageRecord* flat = Add(9, 9, [](int, int) { return Px{90, 90, 90, 255}; });
  SelectRect(0, 0, 8, 8);
  ASSERT_EQ(Run(kVarianceOp), 0);
  EXPECT_EQ(At(flat, 4, 4), (Px{0, 0, 0, 255}));
  SetParamValue(kVarianceOp, 2, 1);  // "Add"
  ImageRecord* kept = Add(9, 9, [](int, int) { return Px{90, 90, 90, 255}; });
  SelectRect(0, 0, 8, 8);
  ASSERT_EQ(Run(kVarianceOp), 0);
  EXPECT_EQ(At(kept, 4, 4), (Px{90, 90, 90, 255}));
  // Radius 1 at the edge of a 0 | 90 step: 3 of 9 are 90, mean 30, the
  // deviations 6 x 30 + 3 x 60 = 360; x 4 / 9 = 160.
  SetParamValue(kVarianceOp, 0, 1);
  SetParamValue(kVarianceOp, 2, 0);
  ImageRecord* step = Add(9, 9, [](int x, int) { return x < 5 ? Px{0, 0, 0, 255} : Px{90, 90, 90, 255}; });
  SelectRect(0, 0, 8, 8);
  ASSERT_EQ(Run(kVarianceOp), 0);
  EXPECT_EQ(At(step, 4, 4), (Px{160, 160, 160, 255}));
}

TEST_F(MotionMathTest, VarianceOfNoiseFollowsItsRuleInsideAndAtTheEdges) {
  Srand(5);
  ImageRecord* image = Add(19, 14, [](int, int) { return Px{Rand() & 255, Rand() & 255, Rand() & 255, 255}; });
  const auto before = Pixels(image);
  SelectRect(0, 0, 18, 13);
  SetParamValue(kVarianceOp, 1, 3);
  ASSERT_EQ(Run(kVarianceOp), 0);
  for (int y = 0; y < 14; ++y)
    for (int x = 0; x < 19; ++x)
      for (int ch = 0; ch < 3; ++ch) {
        long n = 0, sum = 0, dev = 0;
        for (int pass = 0; pass < 2; ++pass)
          for (int yy = std::max(y - 2, 0); yy <= std::min(y + 2, 13); ++yy)
            for (int xx = std::max(x - 2, 0); xx <= std::min(x + 2, 18); ++xx) {
              const int v = before[(static_cast<std::size_t>(yy) * 19 + xx) * 4 + ch];
              if (pass == 0) sum += v, ++n;
              else dev += std::labs(sum / n - v);
            }
        ASSERT_EQ(At(image, x, y)[static_cast<std::size_t>(ch)], Clamp0To255(3 * dev / n)) << x << "," << y;
      }
}

TEST_F(MotionMathTest, AddImagesAndSubtractOfSameSizePicturesCombineEveryPixel) {
  auto a = [](int x, int y) { return Px{(x * 40 + y * 7) % 256, (x * 13) % 256, 250, 255}; };
  auto b = [](int x, int y) { return Px{(y * 50) % 256, 128, 10 + x, 255}; };
  struct Case {
    OpId op;
    int mode;
    int (*f)(int s, int t);
  };
  const Case cases[] = {
      {kAddImagesOp, 0, [](int s, int t) { return (s + t) / 2; }},
      {kAddImagesOp, 1, [](int s, int t) { return std::min(s + t, 255); }},
      {kAddImagesOp, 2, [](int s, int t) { return std::clamp(s + t - 127, 0, 255); }},
      {kSubtractOp, 0, [](int s, int t) { return std::abs(s - t); }},
      {kSubtractOp, 1, [](int s, int t) { return std::clamp(t - s + 127, 0, 255); }},
  };
  for (const Case& k : cases) {
    ImageRecord* source = Add(7, 5, b);
    ImageRecord* image = Add(7, 5, a);
    SelectRect(0, 0, 6, 4);
    Pipeline().source = source;
    SetParamValue(k.op, 0, k.mode);
    ASSERT_EQ(Run(k.op), 0);
    for (int y = 0; y < 5; ++y)
      for (int x = 0; x < 7; ++x) {
        const Px s = b(x, y), t = a(x, y);
        ASSERT_EQ(At(image, x, y), (Px{k.f(s[0], t[0]), k.f(s[1], t[1]), k.f(s[2], t[2]), 255}))
            << k.op << " mode " << k.mode << " at " << x << "," << y;
      }
  }
  EXPECT_EQ(AddImagesModeNames()[2], "Add about gray");
}

// A translucent source through a soft mask, one to one, rows long enough
// to be worked eight pixels at a time with some left over: each pixel
// mixes by the mask times the source's coverage.
TEST_F(MotionMathTest, AddImagesAndSubtractMixByMaskAndSourceCoverage) {
  const int w = 45, h = 9;
  int (*const rule[5])(int, int) = {
      [](int s, int t) { return (s + t) / 2; }, [](int s, int t) { return std::min(s + t, 255); },
      [](int s, int t) { return std::clamp(s + t - 127, 0, 255); }, [](int s, int t) { return std::abs(s - t); },
      [](int s, int t) { return std::clamp(t - s + 127, 0, 255); }};
  for (int k = 0; k < 5; ++k)
    for (bool full : {false, true}) {
      const OpId op = k < 3 ? kAddImagesOp : kSubtractOp;
      ResetParamValues();
      SetParamValue(op, 0, k < 3 ? k : k - 3);
      Srand(40u + static_cast<unsigned>(k));
      ImageRecord* source = Add(w, h, [](int, int) { return Px{Rand() & 255, Rand() & 255, Rand() & 255, Rand() & 255}; });
      source->hasAlpha = 1;
      const auto src = Pixels(source);
      Pipeline().source = source;
      const auto after = RunDirect(op, {w, h, 0, 0, w - 1, h - 1, false, 11u + static_cast<unsigned>(k), full}, false);
      for (std::size_t i = 0; i < std::size_t(w) * h; ++i) {
        const int wt = lastMask[i] * src[4 * i + 3] / 255;
        for (int ch = 0; ch < 4; ++ch) {
          const int t = lastBefore[4 * i + ch];
          const int want = ch == 3 || wt == 0 ? t : (t * (255 - wt) + rule[k](src[4 * i + ch], t) * wt) / 255;
          ASSERT_EQ(after[4 * i + ch], want) << "rule " << k << " pixel " << i << " channel " << ch;
        }
      }
    }
}

TEST_F(MotionMathTest, AddImagesStretchesAnotherSizeAndATransparentSourceAddsNothing) {
  ImageRecord* clear = Add(3, 3, [](int, int) { return Px{255, 255, 255, 0}; });
  clear->hasAlpha = 1;
  ImageRecord* image = Varied(20, 16);
  const auto before = Pixels(image);
  Pipeline().source = clear;
  SetParamValue(kAddImagesOp, 0, 1);
  ASSERT_EQ(Run(kAddImagesOp), 0);
  EXPECT_EQ(Pixels(image), before);
  // One opaque white pixel stretched over the selection: the source's
  // middle ((1 + 1) / 2 = 1) lies on the centre, so its only pixel covers
  // part of the upper left quarter and nothing beyond.
  ImageRecord* dot = Add(1, 1, [](int, int) { return Px{255, 255, 255, 255}; });
  ImageRecord* target = Varied(20, 16);
  const auto plain = Pixels(target);
  Pipeline().source = dot;
  ASSERT_EQ(Run(kAddImagesOp), 0);
  const auto added = Pixels(target);
  auto red = [](const std::vector<std::uint8_t>& p, int x, int y) { return p[(static_cast<std::size_t>(y) * 20 + x) * 4]; };
  EXPECT_GT(red(added, 0, 0), red(plain, 0, 0));
  EXPECT_GT(red(added, 4, 4), red(plain, 4, 4));
  EXPECT_LT(red(added, 4, 4), 255);
  for (int y = 7; y < 16; ++y)
    for (int x = 9; x < 20; ++x) ASSERT_EQ(red(added, x, y), red(plain, x, y)) << x << "," << y;
}

TEST_F(MotionMathTest, WithAffectAlphaOnlyTheAlphaChanges) {
  TheProgram().settings.modAlpha = kAffectAlphaOnly;
  for (OpId op : {kMotionBlurOp, kSpiralBlurOp, kExplodeOp, kDerivativeOp, kVarianceOp, kAddImagesOp, kSubtractOp}) {
    ResetParamValues();
    ImageRecord* image = Add(24, 20, [](int x, int y) { return Px{x * 9, y * 13, 77, (x * 31 + y * 57) % 256}; });
    SelectRect(4, 4, 19, 15);
    const auto before = Pixels(image);
    ASSERT_EQ(Run(op), 0) << op;
    EXPECT_TRUE(OnlyAlphaChanged(before, Pixels(image))) << op;
  }
}

TEST_F(MotionMathTest, TinyPicturesAndSourcesAreWorkedWithoutReadingOutside) {
  for (OpId op : {kMotionBlurOp, kSpiralBlurOp, kExplodeOp, kDerivativeOp, kVarianceOp, kAddImagesOp, kSubtractOp})
    for (auto [w, h] : {std::pair{1, 1}, std::pair{1, 7}, std::pair{7, 1}}) {
      ImageRecord* image = Varied(w, h);
      Pipeline().source = nullptr;
      EXPECT_EQ(Run(op), 0) << op << " " << w << "x" << h;
      EXPECT_EQ(image->lockCount, 0);
    }
}

TEST_F(MotionMathTest, MotionBlurRowsGiveTheWorkersBytes) {
  for (int direction : {0, 45, 90, 135, 200, 270, -33}) {
    SetParamValue(kMotionBlurOp, 1, direction);
    SetParamValue(kMotionBlurOp, 0, direction == 45 ? 3 : 12);
    ExpectSameBothWays(kMotionBlurOp);
  }
}

TEST_F(MotionMathTest, ExplodeRowsGiveTheWorkersBytes) {
  // Rays that stop at the centre, that reach past the picture's edges, and
  // inward ones.
  for (int length : {25, 60, -7, -40}) {
    SetParamValue(kExplodeOp, 0, length);
    ExpectSameBothWays(kExplodeOp);
  }
  // Far from the centre eight rays mostly share a step's row of samples;
  // where they part, and at 2000 (sums beyond a float's whole numbers),
  // the bytes must not move.
  for (int length : {25, -30, 2000}) {
    SetParamValue(kExplodeOp, 0, length);
    ExpectSameBothWays(kExplodeOp, 230, 170);
  }
  // Far columns: the test's rounding margin grows with the coordinates.
  SetParamValue(kExplodeOp, 0, 25);
  ExpectSameBothWays(kExplodeOp, 1500, 40);
}

TEST_F(MotionMathTest, RowsUnderAWholeMaskGiveTheWorkersBytes) {
  // Every mask byte set lets the rows skip the mask; rays and streaks that
  // stop at the centre, leave the picture or point inward must still match.
  struct Case {
    OpId op;
    int length, direction;
  };
  // A length of 2000000 weighs each sample beyond what 32-bit sums hold.
  const Case cases[] = {{kExplodeOp, 25, 0},     {kExplodeOp, 90, 0},     {kExplodeOp, -13, 0},
                        {kExplodeOp, 2000000, 0}, {kExplodeOp, 2000, 0},  {kMotionBlurOp, 50, 0}, {kMotionBlurOp, 9, 135}};
  for (const Case& k : cases) {
    SetParamValue(k.op, 0, k.length);
    if (k.op == kMotionBlurOp) SetParamValue(k.op, 1, k.direction);
    for (bool alpha : {false, true}) {
      const DirectRun run{83, 71, 0, 0, 82, 70, alpha, 4, true};
      EXPECT_EQ(RunDirect(k.op, run, true), RunDirect(k.op, run, false)) << k.op << " " << k.length << " " << alpha;
    }
  }
  // Unmasked rays mix in narrower lanes: "Amount" at its ends.
  SetParamValue(kExplodeOp, 0, 25);
  for (int amount : {1, 57, 100}) {
    SetParamValue(kExplodeOp, 1, amount);
    const DirectRun run{83, 71, 0, 0, 82, 70, false, 4, true};
    EXPECT_EQ(RunDirect(kExplodeOp, run, true), RunDirect(kExplodeOp, run, false)) << amount;
  }
}

TEST_F(MotionMathTest, SpiralBlurByTheAngleSumRuleGivesTheWorkersBytes) {
  // Rotation 0 and 90 put many samples exactly on whole numbers, where the
  // guard must hand them to sin and cos; large turns test its bound.
  for (int rotation : {0, 90, 120, -360, 7919, -99999}) {
    SetParamValue(kSpiralBlurOp, 1, rotation);
    SetParamValue(kSpiralBlurOp, 0, rotation == 7919 ? 3 : 20);
    ExpectSameBothWays(kSpiralBlurOp);
  }
}

}  // namespace
}  // namespace qv::test
