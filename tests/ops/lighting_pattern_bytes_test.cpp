// The lighting, gradient and pattern operations give the bytes they gave
// before their inner loops were reworked for speed, through a partly
// covering mask, in both affect modes, and the same bytes whether their rows
// run on one thread or are shared out.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "ops/apply_test_support.h"
#include "ops/fast_atan2.h"
#include "ops/lighting_ops.h"
#include "ops/op_state.h"
#include "ops/row_equivalence.h"
#include "store/memory_places.h"

namespace qv::test {
namespace {

// Big enough for the drivers to share the rows out over threads.
constexpr int kWidth = 270, kHeight = 262;

std::uint64_t Fnv(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t h = 1469598103934665603ull;
  for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

struct Case {
  const char* name;
  OpId op;
  void (*configure)();
};

const Case kCases[] = {
    {"Asterize", 3111, nullptr},
    {"AsterizeTurned", 3111,
     [] { SetParamValue(3111, 5, -1000), SetParamValue(3111, 6, 7), SetParamValue(3111, 7, 1), SetParamValue(3111, 8, 1); }},
    {"Annular", 3112, nullptr},
    {"AnnularAdditive", 3112, [] { SetParamValue(3112, 4, 1); }},
    {"Shine", 3114, [] { SetParamValue(3114, 0, 7), SetParamValue(3114, 1, 13), SetParamValue(3114, 3, 30); }},
    {"LinearFill", 3146, [] { SetParamValue(3146, 0, 33); }},
    {"LinearFillStepped", 3146, [] { SetParamValue(3146, 0, 250), SetParamValue(3146, 1, 77), SetParamValue(3146, 2, 0); }},
    {"Concentric", 3147, [] { SetParamValue(3147, 1, 30), SetParamValue(3147, 2, -45); }},
    {"ConcentricStepped", 3147, [] { SetParamValue(3147, 0, 200), SetParamValue(3147, 3, 0); }},
    {"Radiating", 3148, [] { SetParamValue(3148, 1, -20), SetParamValue(3148, 2, 60); }},
    {"RadiatingCycled", 3148, [] { SetParamValue(3148, 0, -99999); }},
    {"Lightning", 3211, [] { SetParamValue(3211, 0, 12), SetParamValue(3211, 2, 40); }},
    {"Pixelize", 3143, [] { SetParamValue(3143, 3, 7), SetParamValue(3143, 4, 5), SetParamValue(3143, 5, 1); }},
    {"ShineDefaults", 3114, nullptr},
    {"ShineTall", 3114, [] { SetParamValue(3114, 0, 0), SetParamValue(3114, 1, 90), SetParamValue(3114, 2, 250), SetParamValue(3114, 3, 10); }},
    {"ShineWide", 3114, [] { SetParamValue(3114, 0, 300), SetParamValue(3114, 1, 2), SetParamValue(3114, 2, 40), SetParamValue(3114, 3, 55); }},
    {"AsterizeUntapered", 3111,
     [] { SetParamValue(3111, 9, 0), SetParamValue(3111, 6, 3), SetParamValue(3111, 5, 45), SetParamValue(3111, 4, 60), SetParamValue(3111, 7, 1); }},
    {"AsterizeManyArms", 3111, [] { SetParamValue(3111, 6, 99999), SetParamValue(3111, 5, 99999), SetParamValue(3111, 4, 0); }},
    {"RadiatingStepped", 3148, [] { SetParamValue(3148, 0, 77), SetParamValue(3148, 1, 100), SetParamValue(3148, 3, 0); }},
    {"Outline", 3149, nullptr},
    {"OutlineCrystal", 3149, [] { SetParamValue(3149, 0, 3), SetParamValue(3149, 1, 2), SetParamValue(3149, 6, 1); }},
    {"Refract", 3113, nullptr},
    {"Fire", 3213, nullptr},
    {"FireTurned", 3213, [] { SetParamValue(3213, 1, 125), SetParamValue(3213, 2, 200), SetParamValue(3213, 0, 300); }},
    {"FireDownSlanted", 3213, [] { SetParamValue(3213, 1, 205), SetParamValue(3213, 0, 900), SetParamValue(3213, 12, 3); }},
    {"FireCalm", 3213, [] { SetParamValue(3213, 8, 0), SetParamValue(3213, 14, 0), SetParamValue(3213, 12, 3), SetParamValue(3213, 11, 300); }},
    {"FireRuffled", 3213,
     [] { SetParamValue(3213, 14, 1000), SetParamValue(3213, 9, 800), SetParamValue(3213, 10, 800), SetParamValue(3213, 2, 77); }},
};

// Recorded from the per-pixel code before it was reworked: RGB-only, then alpha-only.
const std::uint64_t kExpected[][2] = {
    {0x70e952f617d9076dull, 0x16e5f8104918fe60ull},  // Asterize
    {0xefee6cddef21a0dcull, 0xe0ccdc541b153badull},  // AsterizeTurned
    {0x151e317e6d7cbc06ull, 0xc6aa086963331325ull},  // Annular
    {0x2b31594a82f7dc90ull, 0x61788299f47c0d43ull},  // AnnularAdditive
    {0xdc81fbb179542f49ull, 0xdba3b5495abea162ull},  // Shine
    {0xdcd196e4bacaa6e6ull, 0xc5bac7b03d2052acull},  // LinearFill
    {0xb33e9c79f6882d39ull, 0xbeb8ef265906bcf6ull},  // LinearFillStepped
    {0x1a31cd3d8d15a2daull, 0x6dffaa18f71ab5f3ull},  // Concentric
    {0x476891c077ad807eull, 0x8179977ed085f8d2ull},  // ConcentricStepped
    {0x89d33119a335b6b5ull, 0x96b76ab9f7735d99ull},  // Radiating
    {0xdf24eb7b24b4d0dfull, 0x0f7cc0f0a700cb19ull},  // RadiatingCycled
    {0x1a7ccb77bff2f172ull, 0x0caabdbcc6f0eb6bull},  // Lightning
    {0x58166f504d6c4572ull, 0x66e7f101f31e724dull},  // Pixelize
    {0x3bf7f9ddac31b6ebull, 0x8b8624dc2dbbcadfull},  // ShineDefaults
    {0x4f127132d3dc3f53ull, 0xb8e4a1de54f52b26ull},  // ShineTall
    {0x8c4f274ed14537eaull, 0x78c710935247c5d1ull},  // ShineWide
    {0x35bb3c860f5c4176ull, 0x7870b9fd9d3c2574ull},  // AsterizeUntapered
    {0x4dad083883973730ull, 0x4815be3bb72cbaedull},  // AsterizeManyArms
    {0xdb48b6eaa025cb87ull, 0xc281fba403e95e8dull},  // RadiatingStepped
    {0x7f70cec44494930full, 0x718b6a86f9c43f7eull},  // Outline
    {0x74626bdf85227da4ull, 0x2b7d95f46a32d80full},  // OutlineCrystal
    {0xe88350d231d8104cull, 0x7bf920822659f017ull},  // Refract
    {0xcfa104cec648202eull, 0xcfa104cec648202eull},  // Fire
    {0xdfbc986f29a13dd1ull, 0xdfbc986f29a13dd1ull},  // FireTurned
    {0x5ad467f375bbd7c0ull, 0x5ad467f375bbd7c0ull},  // FireDownSlanted
    {0x9d7377c38551dac8ull, 0x9d7377c38551dac8ull},  // FireCalm
    {0xe98dd8bc29fc41acull, 0xe98dd8bc29fc41acull},  // FireRuffled
};

class LightingPatternBytesTest : public ApplyTest {
 protected:
  // A random picture selected by a rectangle inside it, with a mask of runs
  // of 0, 255 and values between, as a soft-edged selection has them.
  ImageRecord* RandomPicture(std::uint32_t seed) {
    std::uint32_t s = seed;
    auto next = [&s] {
      s = s * 1664525u + 1013904223u;
      return s >> 8;
    };
    ImageRecord* image = Add(kWidth, kHeight, [&](int, int) {
      return std::array<int, 4>{int(next() & 255), int(next() & 255), int(next() & 255), int(next() & 255)};
    });
    image->hasAlpha = 1;
    SelectRect(5, 3, kWidth - 9, kHeight - 2);
    EXPECT_EQ(BuildAreaMask(image, 0), 0);
    AreaMask& m = TheProgram().area.mask;
    auto* mask = static_cast<std::uint8_t*>(LockVirtual(m.place));
    int value = 0, run = 0;
    for (int i = 0; i < kWidth * kHeight; ++i) {
      if (run-- <= 0) {
        run = int(next() % 9);
        const std::uint32_t kind = next() % 4;
        value = kind == 0 ? 0 : kind == 1 ? 255 : int(next() % 254) + 1;
      }
      if (mask[i]) mask[i] = static_cast<std::uint8_t>(value);
    }
    UnlockVirtual(m.place);
    SetWorkMethod(kDrawFirst);
    return image;
  }

  std::uint64_t Result(const Case& c, int mode, int threads) {
    ResetProgram();
    EXPECT_EQ(InitImageTable(), 0);
    ImageRecord* image = RandomPicture(977u + static_cast<std::uint32_t>(c.op));
    TheProgram().settings.modAlpha = mode == 0 ? kAffectRgbOnly : kAffectAlphaOnly;
    TheProgram().settings.threads = threads;
    if (c.configure) c.configure();
    const std::vector<std::uint8_t> before = Pixels(image);
    EXPECT_EQ(Apply(static_cast<int>(c.op), 0), 0) << c.name;
    const std::vector<std::uint8_t> after = Pixels(image);
    EXPECT_NE(after, before) << c.name << " changed nothing";
    return Fnv(after);
  }
};

TEST_F(LightingPatternBytesTest, EachOperationGivesItsFormerBytesOnOneThreadAndOnSeveral) {
  std::string table;
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    for (int mode = 0; mode < 2; ++mode) {
      const std::uint64_t one = Result(kCases[i], mode, 1);
      EXPECT_EQ(Result(kCases[i], mode, 3), one) << kCases[i].name << " differs when its rows are shared out";
      char line[96];
      std::snprintf(line, sizeof line, "%s0x%016llxull", mode == 0 ? "    {" : ", ", static_cast<unsigned long long>(one));
      table += line;
      if (mode == 1) table += std::string("},  // ") + kCases[i].name + "\n";
      if (i < std::size(kExpected)) {
        EXPECT_EQ(one, kExpected[i][mode]) << kCases[i].name << (mode == 0 ? " (RGB)" : " (alpha)");
      }
    }
  }
  EXPECT_EQ(std::size(kExpected), std::size(kCases)) << "table:\n" << table;
}

class LightingRowsTest : public RowEquivalenceTest {};

// Each row routine against its operation's per-pixel worker, under
// settings that take the row routines' separate ways: Shine's taps clipped
// at the copy's edges and rows with and without bright pixels, stars with
// and without taper, Refract's slopes inside its map and at its edges,
// Outline over two generations and from inside.
TEST_F(LightingRowsTest, RowRoutinesGiveThePixelWorkersBytes) {
  const Case cases[] = {
      {"Asterize", 3111, [] { SetParamValue(3111, 5, 33), SetParamValue(3111, 6, 5), SetParamValue(3111, 7, 1); }},
      {"AsterizeUntapered", 3111, [] { SetParamValue(3111, 9, 0), SetParamValue(3111, 8, 1); }},
      {"Annular", 3112, nullptr},
      {"Shine", 3114, [] { SetParamValue(3114, 0, 9), SetParamValue(3114, 1, 30), SetParamValue(3114, 3, 40); }},
      {"ShineAcross", 3114, [] { SetParamValue(3114, 0, 70), SetParamValue(3114, 1, 0), SetParamValue(3114, 3, 75); }},
      {"Outline", 3149, [] { SetParamValue(3149, 0, 4), SetParamValue(3149, 1, 2); }},
      {"RefractTurned", 3113, [] { SetParamValue(3113, 0, 75); }},
      {"Radiating", 3148, [] { SetParamValue(3148, 1, 35), SetParamValue(3148, 0, 9); }},
      {"OutlineInside", 3149, [] { SetParamValue(3149, 0, 5), SetParamValue(3149, 3, 1), SetParamValue(3149, 6, 1); }},
      // Glass shaped by saturation, recoloured and mixed in by distance.
      {"RefractCurved", 3113, [] {
         DrawProfileLine(ProfileId::CcS, 0, 255, 200, 0), DrawProfileLine(ProfileId::RcS, 0, 255, 200, 40);
         DrawProfileLine(ProfileId::RpS, 0, 100, 200, 30);
       }},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ResetParamValues();
    if (k.configure) k.configure();
    ExpectSameBothWays(k.op);
  }
  FreeProfiles();
  // Radiating's table of palette places is made for boxes with a pixel per
  // place: stepped (256 places) and smooth (256 x 256).
  ResetParamValues();
  SetParamValue(3148, 3, 0);
  ExpectSameBothWays(3148);
  ResetParamValues();
  SetParamValue(3148, 1, -30);
  ExpectSameBothWays(3148, 300, 262);
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) void AtanLanes(const double* y, const double* x, double* angle, int* bad) {
  __m256d a;
  *bad = _mm256_movemask_pd(FastAtan2Four(_mm256_loadu_pd(y), _mm256_loadu_pd(x), a));
  _mm256_storeu_pd(angle, a);
}

// The guarded angle paths rest on this bound: swept over every octant, its
// edges, the 64ths the table steps by, signed zeros and extreme sizes.
TEST(FastAtan2, StaysWithinItsBoundOfTheLibraryAndFlagsWhatItCannotDo) {
  if (!__builtin_cpu_supports("avx2")) GTEST_SKIP() << "no AVX2";
  std::vector<double> ys, xs;
  auto both = [&](double y, double x) {
    for (double sy : {1.0, -1.0})
      for (double sx : {1.0, -1.0}) ys.push_back(sy * y), xs.push_back(sx * x), ys.push_back(sx * x), xs.push_back(sy * y);
  };
  for (int i = 0; i <= 400000; ++i) both(i * 2.5e-6, 1.0);  // a over [0, 1], so every octant
  for (int k = 0; k <= 64; ++k)
    for (double step : {-1e-12, 0.0, 1e-12}) both((k + 0.5) / 64 + step, 1.0), both(k / 64.0 + step, 1.0);
  for (int x = -300; x <= 300; x += 7)
    for (int y = -300; y <= 300; y += 3) both(y, x);
  for (double big : {1e-300, 1e-5, 1e5, 1e300}) both(big, 3.0), both(3.0, big), both(big, big);
  both(0.0, 1.0), both(-0.0, 1.0), both(1.0, 0.0), both(1.0, -0.0);
  double worst = 0;
  for (std::size_t i = 0; i + 4 <= ys.size(); i += 4) {
    double angle[4];
    int bad = 0;
    AtanLanes(&ys[i], &xs[i], angle, &bad);
    ASSERT_EQ(bad, 0) << ys[i] << "," << xs[i];
    for (int l = 0; l < 4; ++l) worst = std::max(worst, std::fabs(angle[l] - std::atan2(ys[i + l], xs[i + l])));
  }
  EXPECT_LE(worst, kAtanError / 25);
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  const double y[4] = {0.0, nan, inf, 1.0}, x[4] = {-0.0, 1.0, 1.0, nan};
  double angle[4];
  int bad = 0;
  AtanLanes(y, x, angle, &bad);
  EXPECT_EQ(bad, 15);
}
#endif

}  // namespace
}  // namespace qv::test
