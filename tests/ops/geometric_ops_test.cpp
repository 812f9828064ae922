#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <limits>

#include "base/progress.h"
#include "app/recording_host.h"
#include "ops/apply_test_support.h"
#include "ops/bilinear.h"
#include "ops/fast_sine.h"
#include "ops/geometric_ops.h"
#include "ops/row_equivalence.h"
#include "store/memory_places.h"
#include "store/undo.h"

namespace qv::test {
namespace {

using Px = std::array<int, 4>;

// Deterministic noise, so that every moved pixel shows.
Px Noise(int x, int y) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
  h = (h ^ (h >> 13)) * 0x5bd1e995u;
  return {static_cast<int>(h & 255), static_cast<int>((h >> 8) & 255), static_cast<int>((h >> 16) & 255), 255};
}

class GeometricTest : public ApplyTest {
 protected:
  void SetUp() override {
    ApplyTest::SetUp();
    SetWorkMethod(kDrawFirst);
  }
  static void Select(int x0, int y0, int x1, int y1) {
    SelectRect(x0, y0, x1, y1);
    ASSERT_EQ(FinishSelection(ActionImage(), 0, 0), 0);
  }
  static void SelectWhole() {
    SelectEntireImage();
    ASSERT_EQ(FinishSelection(ActionImage(), 0, 0), 0);
  }
  static int Apply(OpId op) { return qv::Apply(static_cast<int>(op), 0); }
};

// The sampler, by hand: 256ths truncated toward zero, one division by the
// weights' sum, clamping, and the copy's edge repeated beyond it.
TEST(BilinearSampler, WeightsTruncationAndEdges) {
  const std::uint8_t pixels[] = {0, 100, 255, 255, 255, 200, 0, 255,  // row 0: (0,100,255) (255,200,0)
                                 100, 100, 100, 0, 50, 50, 50, 0};    // row 1
  const std::uint32_t rows[] = {0, 2};
  PixelPlane plane{pixels, rows, 10, 20, 2, 2};  // placed at (10, 20)
  std::uint8_t out[4];
  ASSERT_TRUE(SampleClamped(plane, 10.5, 20.0, out));
  EXPECT_EQ((Px{out[0], out[1], out[2], out[3]}), (Px{127, 150, 127, 255}));
  ASSERT_TRUE(SampleClamped(plane, 10.3, 20.5, out));  // gx 76, gy 128
  // R: (255 * 76 + 100 * 180 + 50 * 76) * 128 / 65536 = 80.4
  EXPECT_EQ(out[0], 80);
  EXPECT_EQ(out[3], 127);
  // Left of the copy the fraction is negative: the edge arithmetic overshoots
  // and is clamped (R: 0 * 384 - 255 * 128 < 0; G: 100 * 384 - 200 * 128 =
  // 50 * 256; B: 255 * 384 > 255 * 256).
  const PixelPlane atOrigin{pixels, rows, 0, 0, 2, 2};
  ASSERT_TRUE(SampleClamped(atOrigin, -0.5, 0.0, out));
  EXPECT_EQ((Px{out[0], out[1], out[2]}), (Px{0, 50, 255}));
  // Beyond the right and bottom the last pixel repeats, however far.
  ASSERT_TRUE(SampleClamped(plane, 1e40, 1e40, out));
  EXPECT_EQ((Px{out[0], out[1], out[2], out[3]}), (Px{50, 50, 50, 0}));
  ASSERT_TRUE(SampleClamped(plane, -std::numeric_limits<double>::infinity(), 20.0, out));
  EXPECT_EQ(out[1], 100);
  out[0] = 7;
  EXPECT_FALSE(SampleClamped(plane, std::nan(""), 20.0, out));
  EXPECT_EQ(out[0], 7);
}

// A run sampled at once against the one-by-one sampler: runs wholly inside
// (the vector path), runs with one neighbour across an edge, negative,
// huge and not-a-number positions, planes at and away from the origin, and
// row tables evenly spaced (padded, or bottom-up with a stride that wraps)
// or with two rows exchanged, which address arithmetic must not assume away.
TEST(BilinearSampler, RunGivesTheOneByOneBytes) {
  constexpr int w = 37, h = 23;
  std::uint32_t seed = 5;
  auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
  std::vector<std::uint8_t> pixels(std::size_t{w + 3} * h * 4);  // rows padded apart
  for (auto& b : pixels) b = static_cast<std::uint8_t>(next());
  std::vector<std::uint32_t> rows(h);
  const double odd[] = {std::nan(""), -std::numeric_limits<double>::infinity(), 1e40, -0.3, -1e-9, 0.0};
  for (int layout = 0; layout < 3; ++layout) {
    for (const auto& [ox, oy] : {std::pair{0, 0}, std::pair{5, 3}}) {
      for (int y = 0; y < h; ++y) rows[y] = static_cast<std::uint32_t>((layout == 1 ? h - 1 - y : y) * (w + 3));
      if (layout == 2) std::swap(rows[9], rows[17]);
      const PixelPlane plane{pixels.data(), rows.data(), ox, oy, w, h};
      constexpr int n = 1003;
      std::vector<double> sx(n), sy(n);
      for (int i = 0; i < n; ++i) {
        // Stretches of 32 wholly inside (whole columns and rows among them),
        // so that the widest paths' groups are taken whole too.
        int kind = static_cast<int>(next() % 16);
        if ((i / 32) % 2 == 0) kind = 4 + kind % 4;
        const double fx = (next() % 4096) / 4096.0, fy = (next() % 4096) / 4096.0;
        // Mostly inside, the last column and row included; some at the edges
        // and beyond; a few odd ones.
        sx[i] = ox + static_cast<int>(next() % (w - 1)) + fx;
        sy[i] = oy + static_cast<int>(next() % (h - 1)) + fy;
        if (kind == 0) sx[i] = ox + w - 1 + fx;
        if (kind == 1) sy[i] = oy + h - 1 + fy;
        if (kind == 2) sx[i] = ox - 2 + 3 * fx;
        if (kind == 3) sy[i] = odd[next() % std::size(odd)];
        if (kind == 4) sx[i] = std::floor(sx[i]);
        if (kind == 5) sy[i] = std::floor(sy[i]);
      }
      for (SamplerPath path : {SamplerPath::kBest, SamplerPath::kAvx2, SamplerPath::kAvx512}) {
        if (!SamplerPathAvailable(path)) continue;
        for (int start : {0, 3}) {
          std::vector<std::uint8_t> fast(4 * n, 1), plain(4 * n, 1), fastValid(n), plainValid(n);
          SampleRun(plane, sx.data() + start, sy.data() + start, n - start, fast.data(), fastValid.data(), path);
          SampleRun(plane, sx.data() + start, sy.data() + start, n - start, plain.data(), plainValid.data(),
                    SamplerPath::kPlain);
          for (int i = 0; i < n - start; ++i) {
            ASSERT_EQ(fastValid[i], plainValid[i]) << i;
            if (!plainValid[i]) continue;
            ASSERT_EQ(std::memcmp(&fast[4 * i], &plain[4 * i], 4), 0)
                << static_cast<int>(path) << " rows " << layout << ": " << sx[start + i] << ", " << sy[start + i];
          }
        }
      }
    }
  }
}

// The fast sine and cosine against the library, a hundred times inside the
// error the warps allow for them: dense steps over the whole reach, the
// quadrant boundaries and their neighbours, tiny and signed zeros; beyond
// the reach and not-a-number are refused.
#if defined(__x86_64__)
__attribute__((target("avx2"))) std::pair<std::array<double, 4>, std::array<double, 4>> FourLanes(const double* x) {
  __m256d s, c;
  FastSinCosFour(_mm256_loadu_pd(x), s, c);
  std::pair<std::array<double, 4>, std::array<double, 4>> out;
  _mm256_storeu_pd(out.first.data(), s);
  _mm256_storeu_pd(out.second.data(), c);
  return out;
}
#endif

TEST(FastSine, StaysWithinItsBoundOfTheLibrary) {
  std::vector<double> xs = {0.0, -0.0, 1e-300, -1e-12, kSineReach, -kSineReach};
  for (int i = -2000000; i <= 2000000; ++i) xs.push_back(i * (kSineReach / 2000000));
  for (int q = -81; q <= 81; ++q)
    for (double step : {-1e-9, 0.0, 1e-9}) xs.push_back(std::nextafter(q * 0.7853981633974483 + step, 0.0));
  double worst = 0;
  for (double x : xs) {
    double s = 0, c = 0;
    ASSERT_TRUE(FastSinCos(x, s, c)) << x;
    worst = std::max({worst, std::fabs(s - std::sin(x)), std::fabs(c - std::cos(x))});
  }
  EXPECT_LE(worst, kSineError / 100);
#if defined(__x86_64__)
  // Four lanes at once give the same doubles.
  if (__builtin_cpu_supports("avx2"))
    for (std::size_t i = 0; i + 4 <= xs.size(); i += 4 * 997) {
      const auto [sines, cosines] = FourLanes(xs.data() + i);
      for (int l = 0; l < 4; ++l) {
        double s = 0, c = 0;
        FastSinCos(xs[i + l], s, c);
        ASSERT_EQ(sines[l], s) << xs[i + l];
        ASSERT_EQ(cosines[l], c) << xs[i + l];
      }
    }
#endif
  double s = 0, c = 0;
  EXPECT_FALSE(FastSinCos(std::nextafter(kSineReach, 100.0), s, c));
  EXPECT_FALSE(FastSinCos(std::nan(""), s, c));
}

TEST_F(GeometricTest, DomeKeepsCentreAndRimAndMovesBetween) {
  ImageRecord* image = Add(21, 21, Noise);
  const auto before = Pixels(image);
  Select(0, 0, 20, 20);  // centre (10, 10), half sizes 10
  ASSERT_EQ(Apply(kDome), 0);
  EXPECT_EQ(At(image, 10, 10), Noise(10, 10));
  for (auto [x, y] : {std::pair{20, 10}, {0, 10}, {10, 0}, {10, 20}}) EXPECT_EQ(At(image, x, y), Noise(x, y)) << x << "," << y;
  EXPECT_NE(Pixels(image), before);
  // Below 0 (a Trend's range) and at a divisor of exactly 0 at r = 1.25:
  // results, not faults.
  for (int distortion : {-9000, 400, 9000}) {
    SetParamValue(kDome, 0, distortion);
    SetParamValue(kCaricature, 0, -distortion);
    EXPECT_EQ(Apply(kDome), 0);
    EXPECT_EQ(Apply(kCaricature), 0);
  }
  SetParamValue(kDome, 0, 0);
  EXPECT_EQ(Apply(kDome), 2);
  ASSERT_FALSE(host->messages.empty());
  EXPECT_EQ(host->messages.back().number, 65);
}

TEST_F(GeometricTest, SwirlKeepsTheRingsOfARingPicture) {
  auto ringOf = [](int x, int y) { return static_cast<int>(std::sqrt((x - 20.0) * (x - 20.0) + (y - 20.0) * (y - 20.0)) / 5); };
  ImageRecord* image = Add(41, 41, [&](int x, int y) { return Px{ringOf(x, y) * 30, 0, 0, 255}; });
  Select(0, 0, 40, 40);
  SetParamValue(kSwirl, 0, 300);
  ASSERT_EQ(Apply(kSwirl), 0);
  int kept = 0, moved = 0;
  for (int y = 0; y <= 40; ++y)
    for (int x = 0; x <= 40; ++x) {
      const double r = std::sqrt((x - 20.0) * (x - 20.0) + (y - 20.0) * (y - 20.0));
      const double fromEdge = std::fabs(r / 5 - std::round(r / 5)) * 5;
      if (r > 19 || fromEdge < 1.6) continue;  // ring borders mix neighbours
      EXPECT_EQ(At(image, x, y)[0], ringOf(x, y) * 30) << x << "," << y;
      ++kept;
    }
  EXPECT_GT(kept, 300);
  // The same swirl turns a picture that is not round.
  ImageRecord* noise = Add(41, 41, Noise);
  Select(0, 0, 40, 40);
  ASSERT_EQ(Apply(kSwirl), 0);
  for (int y = 0; y <= 40; ++y)
    for (int x = 0; x <= 40; ++x) moved += At(noise, x, y) != Noise(x, y);
  EXPECT_GT(moved, 800);
}

TEST_F(GeometricTest, TurbulenceRepeatsPerSeedAndNoWhorlsMoveNothing) {
  auto run = [&](int seed, int whorls) {
    ImageRecord* image = Add(60, 40, Noise);
    Select(0, 0, 59, 39);
    SetParamValue(kTurbulence, 0, whorls);
    SetParamValue(kTurbulence, 3, seed);
    EXPECT_EQ(Apply(kTurbulence), 0);
    return Pixels(image);
  };
  const auto first = run(5, 8);
  EXPECT_EQ(run(5, 8), first);
  EXPECT_NE(run(6, 8), first);
  ImageRecord* reference = Add(60, 40, Noise);
  EXPECT_EQ(run(5, 0), Pixels(reference));
  // A selection wider than 65535 pixels: the whorls' centres stay inside it.
  Add(70000, 1, Noise);
  Select(0, 0, 69999, 0);
  SetParamValue(kTurbulence, 0, 3);
  EXPECT_EQ(Apply(kTurbulence), 0);
  // The whorls' arrays cannot be had: message 22 with the operation's name.
  TheProgram().memory.faults.allocate = [](std::int64_t) { return true; };
  EXPECT_EQ(Apply(kTurbulence), 2);
  TheProgram().memory.faults.allocate = nullptr;
  ASSERT_FALSE(host->messages.empty());
  EXPECT_EQ(host->messages.back().number, 22);
  EXPECT_EQ(host->messages.back().extra, "Turbulence");
}

TEST_F(GeometricTest, WavesShadeByHand) {
  ImageRecord* image = Add(21, 21, [](int, int) { return Px{100, 100, 100, 255}; });
  Select(0, 0, 20, 20);  // rx 10: with "Y Length" 10 the wave is 4 pixels long
  SetParamValue(kWaves, 3, 10);
  SetParamValue(kWaves, 5, 100);  // "Y Side"
  ASSERT_EQ(Apply(kWaves), 0);
  // a = -sin(+-pi/2) is a hair short of -+1: the shade (+-39.99 x 20 x 2) truncates toward 0.
  EXPECT_EQ(At(image, 11, 5), (Px{85, 85, 85, 255}));
  EXPECT_EQ(At(image, 9, 5), (Px{115, 115, 115, 255}));
  EXPECT_EQ(At(image, 10, 5), (Px{100, 100, 100, 255}));
}

TEST_F(GeometricTest, AffectAlphaStoresOnlyAlpha) {
  ImageRecord* image = Add(21, 21, [](int x, int y) { return Px{x * 10, y * 10, 50, (x * 12) & 255}; });
  TheProgram().settings.modAlpha = kAffectAlphaOnly;
  Select(0, 0, 20, 20);
  ASSERT_EQ(Apply(kDome), 0);
  int alphaMoved = 0;
  for (int y = 0; y <= 20; ++y)
    for (int x = 0; x <= 20; ++x) {
      const Px p = At(image, x, y);
      EXPECT_EQ((Px{p[0], p[1], p[2], 0}), (Px{x * 10, y * 10, 50, 0}));
      alphaMoved += p[3] != ((x * 12) & 255);
    }
  EXPECT_GT(alphaMoved, 50);
}

TEST_F(GeometricTest, RadialWaveKeepsRadiiOutsideItsRing) {
  ImageRecord* image = Add(41, 41, Noise);
  Select(0, 0, 40, 40);
  SetParamValue(kRadialWave, 1, 10);   // length: w = 0.1
  SetParamValue(kRadialWave, 2, 6);    // half-waves: r_out = 0.3 + r_in
  SetParamValue(kRadialWave, 3, 200);  // r_in = 0.2
  ASSERT_EQ(Apply(kRadialWave), 0);
  int inside = 0;
  for (int y = 0; y <= 40; ++y)
    for (int x = 0; x <= 40; ++x) {
      const double r = std::sqrt((x - 20.0) * (x - 20.0) + (y - 20.0) * (y - 20.0)) / 20;
      if (r < 0.2 || r > 0.5)
        EXPECT_EQ(At(image, x, y), Noise(x, y)) << x << "," << y;
      else
        inside += At(image, x, y) != Noise(x, y);
    }
  EXPECT_GT(inside, 100);
  SetParamValue(kRadialWave, 2, 0);
  EXPECT_EQ(Apply(kRadialWave), 2);
}

// Surface Warp with a flat white map and "Mid Level" 0 moves every pixel by
// the same amount: beyond the box's right edge the edge column repeats.
TEST_F(GeometricTest, SurfaceWarpShiftsByTheMapAndRepeatsTheEdge) {
  ImageRecord* image = Add(10, 4, [](int x, int) { return Px{x * 10, 0, 0, 255}; });
  ImageRecord* map = Add(3, 3, [](int, int) { return Px{255, 255, 255, 255}; });
  Pipeline().source = map;
  TheProgram().images.currentAction = image;
  Select(0, 0, 5, 3);
  SetParamValue(kSurfaceWarp, 0, 270);  // along +x
  SetParamValue(kSurfaceWarp, 1, 100);
  SetParamValue(kSurfaceWarp, 2, 0);
  SetParamValue(kSurfaceWarp, 3, 0);
  ASSERT_EQ(Apply(kSurfaceWarp), 0);  // shift sqrt(5) = 2.236
  EXPECT_EQ(At(image, 0, 1)[0], 22);   // 20 + 0.236 of 10, by 256ths
  EXPECT_EQ(At(image, 4, 1)[0], 50);
  EXPECT_EQ(At(image, 5, 1)[0], 50);
  EXPECT_EQ(At(image, 6, 1)[0], 60);   // outside the selection
  // A flat map at the mid level moves nothing.
  ImageRecord* still = Add(10, 4, Noise);
  ImageRecord* grey = Add(3, 3, [](int, int) { return Px{127, 127, 127, 255}; });
  Pipeline().source = grey;
  TheProgram().images.currentAction = still;
  SetParamValue(kSurfaceWarp, 2, 127);
  Select(0, 0, 9, 3);
  ASSERT_EQ(Apply(kSurfaceWarp), 0);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(At(still, x, 2), Noise(x, 2)) << x;
}

// The action image as its own height map is read as it was: the same
// result whether the rows are visited downwards or (on the turned picture)
// in another order.
TEST_F(GeometricTest, SurfaceWarpOnItsOwnImageReadsTheMapAsItWas) {
  auto picture = [](int x, int y) { return Px{(x * 37 + y * 11) & 255, (x * 5) & 255, (y * 9) & 255, 255}; };
  ImageRecord* image = Add(30, 30, picture);
  Pipeline().source = nullptr;
  Select(0, 0, 29, 29);
  SetParamValue(kSurfaceWarp, 1, 60);
  ASSERT_EQ(Apply(kSurfaceWarp), 0);
  // Independently: every pixel from the unchanged picture's map.
  ImageRecord* original = Add(30, 30, picture);
  LockImage(original);
  PixelPlane plane = PlaneOf(original, 0, 0);
  const double amp = std::sqrt(14.0 * 14 + 14.0 * 14) * 60 * 0.01;
  const double alpha = -45 * 0.017453292520882225;
  int checked = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 30; ++x) {
      std::uint8_t h4[4], s[4];
      SampleClamped(plane, x, y, h4);
      const double h = (33 * h4[0] + 46 * h4[1] + 21 * h4[2] - 100 * 127) / 25500.0;
      SampleClamped(plane, x + std::sin(alpha) * amp * h, y + std::cos(alpha) * amp * h, s);
      const int shade = static_cast<int>(5 * h * 5);
      const Px got = At(image, x, y);
      for (int k = 0; k < 3; ++k) {
        const int want = std::clamp(s[k] + s[k] * shade / 255, 0, 255);
        EXPECT_EQ(got[static_cast<std::size_t>(k)], want) << x << "," << y;
      }
      ++checked;
    }
  UnlockImage(original);
  EXPECT_EQ(checked, 900);
}

// A selection one pixel wide has a half size of 0, which counts as 1: the
// column is domed along its length instead of left to chance.
TEST_F(GeometricTest, OnePixelSelectionsWarpTheirLine) {
  for (OpId op : {kDome, kCaricature, kSwirl, kWaves, kRadialWave, kTurbulence}) {
    ImageRecord* image = Add(9, 21, Noise);
    Select(4, 0, 4, 20);
    ASSERT_EQ(Apply(op), 0) << OpName(op);
    int changed = 0;
    for (int y = 0; y < 21; ++y) changed += At(image, 4, y) != Noise(4, y);
    if (op == kDome || op == kCaricature || op == kRadialWave) {
      EXPECT_GT(changed, 3) << OpName(op);
    }
    for (int y = 0; y < 21; ++y) EXPECT_EQ(At(image, 3, y), Noise(3, y));
  }
  ImageRecord* dot = Add(1, 1, Noise);
  for (OpId op : {kDome, kSwirl, kWaves, kRadialWave, kTurbulence, kSurfaceWarp, kRotate, kFlip, kTurn90, kPerspective}) {
    TheProgram().images.currentAction = dot;
    Select(0, 0, 0, 0);
    EXPECT_NE(Apply(op), 1) << OpName(op);
  }
}

TEST_F(GeometricTest, RotateZeroKeepsTheBoxAndNinetyEqualsTurn90) {
  ImageRecord* image = Add(21, 21, Noise);
  Select(3, 3, 17, 17);
  SetParamValue(kRotate, 0, 0);
  ASSERT_EQ(Apply(kRotate), 0);
  for (int y = 3; y <= 17; ++y)
    for (int x = 3; x <= 17; ++x) EXPECT_EQ(At(image, x, y), Noise(x, y));

  ImageRecord* turned = Add(21, 21, Noise);
  Select(2, 2, 18, 18);
  ASSERT_EQ(Apply(kTurn90), 0);
  ImageRecord* rotated = Add(21, 21, Noise);
  Select(2, 2, 18, 18);
  SetParamValue(kRotate, 0, 90);
  ASSERT_EQ(Apply(kRotate), 0);
  for (int y = 3; y <= 17; ++y)
    for (int x = 3; x <= 17; ++x)
      for (std::size_t k = 0; k < 4; ++k)
        EXPECT_NEAR(At(rotated, x, y)[k], At(turned, x, y)[k], 1) << x << "," << y;
}

TEST_F(GeometricTest, RotateToANewImageLeavesTheActionAlone) {
  ImageRecord* image = Add(30, 30, Noise);
  image->dpiXNum = 100;
  image->dpiXDen = 1;
  image->dpiYNum = 200;  // pixels twice as tall as wide on paper
  image->dpiYDen = 1;
  Select(0, 0, 20, 10);
  SetParamValue(kRotate, 0, 90);
  SetParamValue(kRotate, 1, 0);
  const auto before = Pixels(image);
  const int images = ImageCount();
  const std::uint16_t changes = image->changed;
  ASSERT_EQ(Apply(kRotate), 0);
  ImageRecord* made = Ctx().result;
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(ImageCount(), images + 1);
  EXPECT_EQ(std::string(made->name).rfind("NEW_", 0), 0u);
  // On paper 20 x 5 turns into 5 x 20, which is 21 x 41 pixels with the
  // unturned rectangle.
  EXPECT_EQ(made->width, 21);
  EXPECT_EQ(made->height, 41);
  EXPECT_TRUE(made->hasAlpha);
  EXPECT_EQ(made->changed, 1);
  EXPECT_EQ(made->dpiYNum, 200);
  EXPECT_EQ(Pixels(image), before);
  EXPECT_EQ(image->changed, changes);
  EXPECT_NE(Undo(), 0);  // nothing of this apply to take back
  EXPECT_EQ(Pixels(image), before);
  EXPECT_EQ(At(made, 0, 0), (Px{0, 0, 0, 0}));  // uncovered corner
  EXPECT_EQ(At(made, 10, 20)[3], 255);         // covered middle
  // An aspect that puts the turned box past any size: message 70, nothing made.
  image->dpiYNum = 1000000000;
  host->messages.clear();
  EXPECT_EQ(Apply(kRotate), 1);
  ASSERT_FALSE(host->messages.empty());
  EXPECT_EQ(host->messages.back().number, 70);
  EXPECT_EQ(ImageCount(), images + 1);
}

TEST_F(GeometricTest, Turn90WholeImageClockwiseRestoresAndUndoes) {
  ImageRecord* image = Add(3, 2, [](int x, int y) { return Px{x, y, 0, x == 1 ? 0 : 255}; });
  image->dpiXNum = 72;
  image->dpiXDen = 1;
  image->dpiYNum = 144;
  image->dpiYDen = 1;
  SelectWhole();
  ASSERT_EQ(Apply(kTurn90), 0);
  ASSERT_EQ(image->width, 2);
  ASSERT_EQ(image->height, 3);
  // Clockwise: the left column read upwards becomes the top row; pixels
  // with alpha 0 move whole.
  EXPECT_EQ(At(image, 0, 0), (Px{0, 1, 0, 255}));
  EXPECT_EQ(At(image, 1, 0), (Px{0, 0, 0, 255}));
  EXPECT_EQ(At(image, 0, 1), (Px{1, 1, 0, 0}));
  EXPECT_EQ(At(image, 1, 2), (Px{2, 0, 0, 255}));
  EXPECT_EQ(image->dpiXNum, 144);
  ASSERT_EQ(Undo(), 0);
  EXPECT_EQ(image->width, 3);
  EXPECT_EQ(image->dpiXNum, 72);
  EXPECT_EQ(At(image, 1, 1), (Px{1, 1, 0, 0}));

  ImageRecord* noisy = Add(7, 4, Noise);
  const auto before = Pixels(noisy);
  for (int steps : {1, 3, 2, 2, 1, 1, 1, 1}) {
    SetParamValue(kTurn90, 0, steps);
    SelectWhole();
    ASSERT_EQ(Apply(kTurn90), 0);
  }
  EXPECT_EQ(noisy->width, 7);
  EXPECT_EQ(Pixels(noisy), before);
}

TEST_F(GeometricTest, FlipMirrorsInsideTheSelectionWeightedByAlpha) {
  ImageRecord* image = Add(6, 3, Noise);
  Select(1, 0, 4, 2);
  SetParamValue(kFlip, 0, 0);
  SetParamValue(kFlip, 1, 1);
  ASSERT_EQ(Apply(kFlip), 0);
  EXPECT_EQ(At(image, 1, 1), Noise(4, 1));
  EXPECT_EQ(At(image, 3, 2), Noise(2, 2));
  EXPECT_EQ(At(image, 0, 1), Noise(0, 1));
  SetParamValue(kFlip, 1, 0);
  const auto flipped = Pixels(image);
  ASSERT_EQ(Apply(kFlip), 0);  // both off: the box onto itself
  EXPECT_EQ(Pixels(image), flipped);

  // A logo on a transparent background: "Mask with Alpha" keeps the clear
  // pixels clear; with it off they take the mirrored pixels whole.
  auto logo = [](int x, int) { return x < 2 ? Px{200, 10, 10, 255} : Px{0, 0, 0, 0}; };
  ImageRecord* weighted = Add(4, 1, logo);
  weighted->hasAlpha = 1;
  Select(0, 0, 3, 0);
  SetParamValue(kFlip, 1, 1);
  ASSERT_EQ(Apply(kFlip), 0);
  EXPECT_EQ(At(weighted, 3, 0), (Px{0, 0, 0, 0}));
  TheProgram().area.maskWithAlpha = false;
  ImageRecord* whole = Add(4, 1, logo);
  whole->hasAlpha = 1;
  Select(0, 0, 3, 0);
  ASSERT_EQ(Apply(kFlip), 0);
  EXPECT_EQ(At(whole, 3, 0), (Px{200, 10, 10, 255}));
  EXPECT_EQ(At(whole, 0, 0), (Px{0, 0, 0, 0}));
}

TEST_F(GeometricTest, StopsRestoreTheImageAndFreeAHalfMadeOne) {
  for (OpId op : {kRotate, kFlip, kTurn90, kPerspective, kSwirl}) {
    ImageRecord* image = Add(40, 30, Noise);
    image->changed = 0;
    SelectWhole();
    SetParamValue(kRotate, 1, op == kRotate ? 0 : 1);
    const int images = ImageCount();
    int pumps = 0;
    host->onPump = [&] {
      if (++pumps == 5) RequestStop();
    };
    EXPECT_EQ(Apply(op), 1) << OpName(op);
    host->onPump = nullptr;
    EXPECT_EQ(image->width, 40);
    EXPECT_EQ(Pixels(image), Pixels(Add(40, 30, Noise))) << OpName(op);
    EXPECT_EQ(ImageCount(), images + 1);  // only the reference just added
    EXPECT_EQ(image->changed, 0);
  }
}

TEST_F(GeometricTest, PerspectiveIdentityCopiesTheSourceAndSelectsIt) {
  ImageRecord* source = Add(16, 12, Noise);
  ImageRecord* action = Add(16, 12, [](int, int) { return Px{1, 2, 3, 255}; });
  Pipeline().source = source;
  TheProgram().images.currentAction = action;
  for (int slot : {5, 6, 7}) SetParamValue(kPerspective, slot, 300);
  SelectWhole();
  ASSERT_EQ(Apply(kPerspective), 0);
  EXPECT_EQ(Pixels(action), Pixels(source));
  const AreaSelection& s = TheProgram().area.selection;
  EXPECT_EQ((std::array{s.left, s.top, s.right, s.bottom}), (std::array{0, 0, 15, 11}));
  EXPECT_EQ((std::array{s.centreX, s.centreY, s.radiusX, s.radiusY}), (std::array{7, 5, 8, 6}));

  // Without a chosen source the first image of the table is projected;
  // half size in the middle.
  Pipeline().source = nullptr;
  ImageRecord* other = Add(16, 12, [](int, int) { return Px{9, 9, 9, 255}; });
  SetParamValue(kPerspective, 5, 600);
  SelectWhole();
  ASSERT_EQ(Apply(kPerspective), 0);
  EXPECT_EQ(At(other, 0, 0), (Px{9, 9, 9, 255}));
  EXPECT_EQ(At(other, 8, 6), Noise(8, 6));
  EXPECT_EQ(TheProgram().area.selection.left, 4);
  // A plane seen edge-on and a third component of 0: results, not faults.
  SetParamValue(kPerspective, 1, 90);
  SetParamValue(kPerspective, 5, 0);
  SelectWhole();
  EXPECT_EQ(Apply(kPerspective), 0);
}

// Every geometric operation on a random picture through a random, partly
// covering mask, in both affect modes, against the bytes the plain per-pixel
// paths gave: the fast paths must not move a single byte.
struct GeoCase {
  const char* name;
  OpId op;
  void (*configure)();
};
const GeoCase kGeoCases[] = {
    {"Dome", kDome, nullptr},
    {"DomeBelow", kDome, [] { SetParamValue(kDome, 0, -80); }},
    {"Caricature", kCaricature, [] { SetParamValue(kCaricature, 0, 70); }},
    {"CaricatureBelow", kCaricature, [] { SetParamValue(kCaricature, 0, -60); }},
    {"Swirl", kSwirl, [] { SetParamValue(kSwirl, 0, 250); }},
    {"Waves", kWaves, [] { SetParamValue(kWaves, 6, 30); }},
    {"Turbulence", kTurbulence, [] { SetParamValue(kTurbulence, 0, 8); }},
    {"SurfaceWarp", kSurfaceWarp, nullptr},
    {"RadialWave", kRadialWave, nullptr},
    {"Rotate", kRotate, [] { SetParamValue(kRotate, 0, 37); }},
    {"RotateNew", kRotate, [] { SetParamValue(kRotate, 0, -20), SetParamValue(kRotate, 1, 0); }},
    {"Flip", kFlip, [] { SetParamValue(kFlip, 1, 1); }},
    {"Turn90", kTurn90, [] { SetParamValue(kTurn90, 0, 1); }},
    {"Turn90Back", kTurn90, [] { SetParamValue(kTurn90, 0, 3); }},
    {"Perspective", kPerspective, [] { SetParamValue(kPerspective, 2, 30); }},
};
const std::uint64_t kGeoExpected[][2] = {
    {0x36c23513885f53ddull, 0x9cb169a75da150c4ull},  // Dome
    {0x1c39113fc8af094bull, 0xdd9931da31e33290ull},  // DomeBelow
    {0x0573e75e84cbfb6eull, 0x7e70b26f22565e23ull},  // Caricature
    {0x536fcc9517fda3a2ull, 0x533dc0b0c00df255ull},  // CaricatureBelow
    {0xdbed4caa333b3df6ull, 0x0ac6d23973978228ull},  // Swirl
    {0x3bc8fe93ae35dee5ull, 0x0397da0dcecc7fedull},  // Waves
    {0x566650911727660dull, 0x56674492035a6e87ull},  // Turbulence
    {0xda9f7c9ed43f694dull, 0xc15fdb4a00b8b53full},  // SurfaceWarp
    {0x821b26b7dd2e1107ull, 0x821b26b7dd2e1107ull},  // RadialWave
    {0xc03de1a73c122ccaull, 0xc03de1a73c122ccaull},  // Rotate
    {0x9e689196b3ebade9ull, 0x9e689196b3ebade9ull},  // RotateNew
    {0xe7d4741bf6feb3cfull, 0x306f0ba9a82d601dull},  // Flip
    {0x670987feeb1ba8ecull, 0xe3fd240a45a33ab6ull},  // Turn90
    {0x4c0378d16460065cull, 0x98eb7bc5dcf2182eull},  // Turn90Back
    {0xec5057b225cb6e1aull, 0xec5057b225cb6e1aull},  // Perspective
};

std::uint64_t Fnv(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

TEST_F(GeometricTest, EveryOperationThroughAPartialMaskGivesTheSameBytesAsBefore) {
  std::string table;
  for (std::size_t i = 0; i < std::size(kGeoCases); ++i)
    for (int mode = 0; mode < 2; ++mode) {
      ResetProgram();
      ASSERT_EQ(InitImageTable(), 0);
      SetWorkMethod(kDrawFirst);
      std::uint32_t s = static_cast<std::uint32_t>(99 + i);
      auto next = [&s] { return (s = s * 1664525u + 1013904223u) >> 8; };
      constexpr int w = 97, h = 71;
      ImageRecord* image = Add(w, h, [&](int, int) {
        return Px{int(next() & 255), int(next() & 255), int(next() & 255), int(next() & 255)};
      });
      image->hasAlpha = 1;
      Select(3, 2, w - 5, h - 4);
      AreaMask& m = TheProgram().area.mask;
      auto* mask = static_cast<std::uint8_t*>(LockVirtual(m.place));
      for (int k = 0; k < w * h; ++k) {
        const std::uint32_t kind = next() % 4;
        mask[k] = mask[k] == 0 ? 0 : static_cast<std::uint8_t>(kind == 0 ? 0 : kind == 1 ? 255 : next() % 254 + 1);
      }
      UnlockVirtual(m.place);
      TheProgram().settings.modAlpha = mode == 0 ? kAffectRgbOnly : kAffectAlphaOnly;
      if (kGeoCases[i].configure) kGeoCases[i].configure();
      EXPECT_EQ(Apply(kGeoCases[i].op), 0) << kGeoCases[i].name;
      const std::uint64_t sum = Fnv(Pixels(ImageAt(ImageCount() - 1)));
      char line[64];
      std::snprintf(line, sizeof line, "%s0x%016llxull", mode == 0 ? "    {" : ", ", static_cast<unsigned long long>(sum));
      table += line;
      if (mode == 1) table += std::string("},  // ") + kGeoCases[i].name + "\n";
      if (i < std::size(kGeoExpected)) {
        EXPECT_EQ(sum, kGeoExpected[i][mode]) << kGeoCases[i].name << (mode == 0 ? " (RGB)" : " (alpha)");
      }
    }
  EXPECT_EQ(std::size(kGeoExpected), std::size(kGeoCases)) << "table:\n" << table;
}

// The warps' row routines (pixels paired about the centre, whorls passed
// by) against their per-pixel maps, over boxes at every edge.
using WarpRowsTest = RowEquivalenceTest;
TEST_F(WarpRowsTest, RowRoutinesGiveThePerPixelBytes) {
  SetParamValue(kTurbulence, 0, 8);
  for (OpId op : {kDome, kCaricature, kSwirl, kWaves, kTurbulence}) ExpectSameBothWays(op);
  SetParamValue(kDome, 0, -80);
  SetParamValue(kCaricature, 0, -60);
  SetParamValue(kTurbulence, 2, -90);
  for (OpId op : {kDome, kCaricature, kTurbulence}) ExpectSameBothWays(op, 40, 90);
  // Turbulence's fast whorl chain: many whorls acting on one another, strong
  // twists, turns past the fast sine's reach, and a chain so long that its
  // error bound gives up.
  const int kTurbulenceCases[][4] = {{30, 50, 100, 5}, {60, 100, 900, 11}, {12, 90, 8000, 2}, {800, 0, 300, 7}};
  for (const auto& t : kTurbulenceCases) {
    for (int slot = 0; slot < 4; ++slot) SetParamValue(kTurbulence, slot, t[slot]);
    ExpectSameBothWays(kTurbulence, 150, 110);
  }
  // Swirl's fast turns, past the fast sine's reach, and both ways.
  for (int angle : {-360, 37, 9000}) {
    SetParamValue(kSwirl, 0, angle);
    ExpectSameBothWays(kSwirl, 90, 70);
  }
}

// Every vector width the warps' row routines may take against the per-pixel
// maps, through a full mask (the samples written straight into the row) and
// a soft one, with the centre inside the box and beyond either side of it
// (every row then lies on one side of the centre's column).
TEST_F(WarpRowsTest, EveryVectorWidthGivesThePerPixelBytes) {
  struct Setting {
    OpId op;
    int slot, value;
  };
  const Setting settings[] = {{kDome, 0, 70},        {kDome, 0, -80},       {kCaricature, 0, 60}, {kCaricature, 0, -60},
                              {kSwirl, 0, 250},      {kSwirl, 0, -9000},    {kTurbulence, 0, 8},  {kTurbulence, 2, 900}};
  for (SamplerPath path : {SamplerPath::kPlain, SamplerPath::kAvx2, SamplerPath::kAvx512}) {
    if (!SamplerPathAvailable(path)) continue;
    for (const Setting& s : settings) {
      SetParamValue(s.op, s.slot, s.value);
      for (int shift : {0, -70, 70})
        for (bool full : {true, false}) {
          DirectRun r{77, 23, 3, 2, 71, 20, shift > 0, 13, full, shift};
          Pipeline().geometric.vectors = path;
          const auto fast = RunDirect(s.op, r, true);
          const auto plain = RunDirect(s.op, r, false);
          EXPECT_TRUE(fast == plain) << "op " << s.op << " = " << s.value << " path " << static_cast<int>(path)
                                     << " shift " << shift << " full " << full;
        }
    }
  }
}

// Rows shared out over threads give the bytes of one thread.
TEST_F(GeometricTest, WarpsGiveTheSameBytesWithOneThreadAndWithSeveral) {
  SetParamValue(kTurbulence, 0, 8);
  for (OpId op : {kDome, kCaricature, kSwirl, kWaves, kTurbulence, kRadialWave}) {
    std::vector<std::uint8_t> one;
    for (int threads : {1, 3}) {
      TheProgram().settings.threads = threads;
      ImageRecord* image = Add(331, 229, Noise);
      Select(5, 3, 320, 227);
      ASSERT_EQ(Apply(op), 0) << op;
      if (threads == 1)
        one = Pixels(image);
      else
        EXPECT_EQ(Pixels(image), one) << op;
    }
  }
}

}  // namespace
}  // namespace qv::test
