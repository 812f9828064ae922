// Place, Merge, Key In, Make Alpha, Enlarge and Reduce have no second
// implementation to compare their fast ways with: their bytes over random
// pictures, soft masks, sources smaller, equal and larger, with and without
// alpha, are pinned by checksums taken from the plain per-pixel loops.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/crt_random.h"
#include "ops/apply_test_support.h"
#include "ops/collage_ops.h"
#include "store/memory_places.h"

namespace qv::test {
namespace {

using Px = std::array<int, 4>;

std::uint64_t Fnv(const std::vector<std::uint8_t>& bytes, std::uint64_t h = 1469598103934665603ull) {
  for (std::uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

// Random pixels with flat patches (equal neighbours) and, for a picture with
// alpha, clear and half-clear pixels among the opaque ones.
Px RandomPixel(int x, int y) {
  if ((x / 5 + y / 3) % 4 == 0) return Px{0, 0, 250, 255};  // a key colour patch
  const int a = Rand() % 4 == 0 ? (Rand() & 1 ? 0 : Rand() & 255) : 255;
  return Px{Rand() & 255, Rand() & 255, Rand() & 255, a};
}

struct Scene {
  int sourceW, sourceH;  // 0: no source (the action image is read)
  bool sourceAlpha;
  int selection;  // 0 whole, 1 rectangle, 2 ellipse
  bool affectAlpha;
};

class CollageBytesTest : public ApplyTest {
 protected:
  // Runs op on a fresh 67 x 53 scene with a soft mask; the checksum of the
  // action image and of a new image, when one was made.
  std::uint64_t Run(OpId op, const std::vector<std::pair<int, int>>& settings, const Scene& s, std::uint32_t seed) {
    ResetProgram();
    InstallHost<RecordingHost>();
    EXPECT_EQ(InitImageTable(), 0);
    for (const auto& setting : settings) SetParamValue(op, setting.first, setting.second);
    SetWorkMethod(kDrawFirst);
    Srand(seed);
    ImageRecord* action = Add(67, 53, RandomPixel);
    action->hasAlpha = 1;
    if (s.sourceW > 0) {
      ImageRecord* source = Add(s.sourceW, s.sourceH, RandomPixel);
      source->hasAlpha = s.sourceAlpha;
      TheProgram().images.currentAction = action;
      Pipeline().source = source;
    }
    AreaSelection& a = TheProgram().area.selection;
    if (s.selection == 0) {
      SelectEntireImage();
    } else if (s.selection == 1) {
      SelectRect(9, 4, 50, 47);
    } else {
      a.mode = kAreaEllipse;
      a.centreX = 40, a.centreY = 20, a.radiusX = 30, a.radiusY = 17;
      a.left = 10, a.right = 70, a.top = 3, a.bottom = 37;
    }
    EXPECT_EQ(FinishSelection(action, 0, 0), 0);
    // Soften the mask: runs of five selected pixels in fifteen get random
    // weights, the others stay whole.
    AreaMask& m = TheProgram().area.mask;
    auto* bytes = static_cast<std::uint8_t*>(LockVirtual(m.place));
    for (int i = 0; i < m.width * m.height; ++i)
      if (bytes[i] && (i / 5) % 3 == 0) bytes[i] = static_cast<std::uint8_t>(Rand() & 255);
    UnlockVirtual(m.place);
    TheProgram().settings.modAlpha = s.affectAlpha ? kAffectAlphaOnly : kAffectRgbOnly;
    EXPECT_EQ(qv::Apply(static_cast<int>(op), 0), 0) << op;
    std::uint64_t h = Fnv(Pixels(action));
    if (ImageRecord* made = Ctx().result; made && made != action) {
      h = Fnv(Pixels(made), h);
      h = Fnv({static_cast<std::uint8_t>(made->width), static_cast<std::uint8_t>(made->height)}, h);
    }
    return h;
  }
};

const Scene kScenes[] = {
    {0, 0, false, 0, false},     // the action image laid on itself
    {67, 53, true, 0, false},    // the same size, with alpha
    {67, 53, false, 2, true},    // the same size, opaque, affecting alpha
    {23, 17, true, 2, false},    // smaller
    {131, 90, false, 1, false},  // larger, opaque
    {130, 91, true, 1, true},    // larger, with alpha, affecting alpha
};

TEST_F(CollageBytesTest, PlaceMergeAndKeyInKeepTheirBytes) {
  struct Case {
    OpId op;
    std::vector<std::pair<int, int>> settings;  // slot, value
    std::uint64_t sums[6];
  };
  const Case cases[] = {
      {kPlace,
       {{0, 0}},
       {9092580871326259936ull, 6712661011258227118ull, 13035514780797500561ull, 17465449502752004334ull,
        8824603323778172150ull, 17799884784648569039ull}},
      {kPlace,
       {{0, 1}},
       {10179026946349998009ull, 6321673899776086076ull, 3491294584566111500ull, 10373303185802568642ull,
        13965459074744188043ull, 2060917067320858441ull}},
      {kMerge,
       {{0, 0}},
       {12508625630974127767ull, 6836960158036084758ull, 15822725970297861134ull, 17635362627029068721ull,
        15735092880007399723ull, 8138914247953170259ull}},
      {kMerge,
       {{0, 1}},
       {6382175217704470650ull, 6908902656871213887ull, 7069469955305378256ull, 10904477369460631748ull,
        12081087192902603709ull, 8001552773483453826ull}},
      // key, ranges, On Source, Inverse, Soft Replace
      {kKeyIn,
       {{0, 0}, {1, 0}, {2, 250}, {3, 60}, {4, 90}, {5, 40}, {6, 1}, {7, 0}, {8, 1}},
       {17213792344071695600ull, 11765230617473650989ull, 9663999361123461145ull, 7656821329714164061ull,
        12933371302579208336ull, 2202972214184824911ull}},
      {kKeyIn,
       {{0, 0}, {1, 0}, {2, 250}, {3, 60}, {4, 90}, {5, 40}, {6, 1}, {7, 1}, {8, 0}},
       {15260981593503565329ull, 13476430898753715063ull, 350898735639991579ull, 1811633002126562966ull,
        3438580076221812139ull, 8731968557250810707ull}},
      {kKeyIn,
       {{0, 120}, {1, 30}, {2, 200}, {3, 255}, {4, 0}, {5, 100}, {6, 0}, {7, 0}, {8, 0}},
       {17379173678935821138ull, 17862636798401610163ull, 10755341180939293449ull, 243820907614568016ull,
        6360631544933169831ull, 9971487978449814487ull}},
      {kKeyIn,
       {{0, 120}, {1, 30}, {2, 200}, {3, 255}, {4, 200}, {5, 100}, {6, 0}, {7, 1}, {8, 1}},
       {17640447209877254789ull, 14204524032499893783ull, 13239560906553648990ull, 38515301144127089ull,
        7800175343298581120ull, 9208485523065535088ull}},
  };
  for (std::size_t n = 0; n < std::size(cases); ++n)
    for (std::size_t k = 0; k < std::size(kScenes); ++k) {
      EXPECT_EQ(Run(cases[n].op, cases[n].settings, kScenes[k], static_cast<std::uint32_t>(n * 7 + k)),
                cases[n].sums[k])
          << "case " << n << " scene " << k;
    }
}

TEST_F(CollageBytesTest, MakeAlphaEnlargeAndReduceKeepTheirBytes) {
  struct Case {
    OpId op;
    std::vector<std::pair<int, int>> settings;
    std::uint64_t sums[6];
  };
  const Case cases[] = {
      {kMakeAlpha,
       {{1, 0}, {2, 0}},
       {15363817337543952582ull, 5976098533605368265ull, 14424900875166197206ull, 3826486489383570479ull,
        6215345239640800701ull, 10540880936581698261ull}},
      {kMakeAlpha,
       {{1, 1}, {2, 0}},
       {5540506218793971008ull, 8051862922386012819ull, 12111618945065329200ull, 16895029688371406043ull,
        8937678484684672599ull, 1355200355118234746ull}},
      {kMakeAlpha,
       {{1, 1}, {2, 1}},
       {3588944069592991011ull, 3603276768169480635ull, 2958880196417198179ull, 14281343556618527088ull,
        14280408684423377821ull, 10175737888791668197ull}},
      {kMakeAlpha,
       {{1, 1}, {2, 2}},
       {7907966541784112745ull, 14059418064091746920ull, 13066372646395200056ull, 3137694884099784486ull,
        9354663826420350690ull, 15863530590216690032ull}},
      // X Size, Y Size, X Dim, Y Dim, Replace, Constant zoom
      {kEnlarge,
       {{0, 200}, {1, 200}, {4, 0}, {5, 1}},
       {11772291783836232432ull, 3176202754237472452ull, 17605899057718354369ull, 9070407133792548252ull,
        8756331103678550904ull, 13234600903971751741ull}},
      {kEnlarge,
       {{0, 317}, {1, 150}, {4, 1}, {5, 1}},
       {8500153352499363844ull, 3226989460040409177ull, 4806386225092970074ull, 11450749143107584717ull,
        2927980282973339331ull, 5369322330010064621ull}},
      {kEnlarge,
       {{2, 97}, {3, 61}, {4, 0}, {5, 0}},
       {11940040534453807478ull, 7450260734321500916ull, 8666274345550094518ull, 2184280844836804265ull,
        1700645846242766897ull, 1960413272324429547ull}},
      {kReduce,
       {{0, 50}, {1, 50}, {4, 0}, {5, 1}},
       {5280332829634719655ull, 8240339174262965268ull, 12507502985300673294ull, 3355260185950996832ull,
        10948537697795038446ull, 3976044442586701750ull}},
      {kReduce,
       {{0, 33}, {1, 71}, {4, 1}, {5, 1}},
       {14814213278769787432ull, 8231128469912307058ull, 11941451116542079359ull, 13264703471191611459ull,
        3516836305972451307ull, 14781503288597440588ull}},
      {kReduce,
       {{2, 40}, {3, 13}, {4, 0}, {5, 0}},
       {13295398961523597541ull, 10746402154905690742ull, 7894895972996268743ull, 6240309644016153382ull,
        3458985760527656582ull, 6126686628815287789ull}},
  };
  for (std::size_t n = 0; n < std::size(cases); ++n)
    for (std::size_t k = 0; k < std::size(kScenes); ++k) {
      EXPECT_EQ(Run(cases[n].op, cases[n].settings, kScenes[k], static_cast<std::uint32_t>(100 + n * 7 + k)),
                cases[n].sums[k])
          << "case " << n << " scene " << k;
    }
}

}  // namespace
}  // namespace qv::test
