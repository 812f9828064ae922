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
    // Soften the mask: a third of the selected pixels get a random weight.
    AreaMask& m = TheProgram().area.mask;
    auto* bytes = static_cast<std::uint8_t*>(LockVirtual(m.place));
    for (int i = 0; i < m.width * m.height; ++i)
      if (bytes[i] && i % 3 == 0) bytes[i] = static_cast<std::uint8_t>(Rand() & 255);
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
       {818797532889518573ull, 13189991281868898775ull, 11528111775479306311ull, 15139036398071394320ull,
        5266185064161377740ull, 8214033174132420918ull}},
      {kMerge,
       {{0, 0}},
       {2529571671360719221ull, 5719390664716069365ull, 5127950812849974588ull, 17160145671614280385ull,
        1556652682562056101ull, 6670857237983255347ull}},
      {kMerge,
       {{0, 1}},
       {6382175217704470650ull, 14298833781708050760ull, 9112982582690614892ull, 11375860812849416078ull,
        10993853981848187417ull, 114574057068333130ull}},
      // key, ranges, On Source, Inverse, Soft Replace
      {kKeyIn,
       {{0, 0}, {1, 0}, {2, 250}, {3, 60}, {4, 90}, {5, 40}, {6, 1}, {7, 0}, {8, 1}},
       {17213792344071695600ull, 8102216037609077690ull, 2713786892015398866ull, 745240667352847561ull,
        1304566161975605645ull, 6672281387383621207ull}},
      {kKeyIn,
       {{0, 0}, {1, 0}, {2, 250}, {3, 60}, {4, 90}, {5, 40}, {6, 1}, {7, 1}, {8, 0}},
       {15260981593503565329ull, 11171669311113132454ull, 5238156844335512044ull, 14636280420262080604ull,
        8319607183397682771ull, 16357580497469454051ull}},
      {kKeyIn,
       {{0, 120}, {1, 30}, {2, 200}, {3, 255}, {4, 0}, {5, 100}, {6, 0}, {7, 0}, {8, 0}},
       {17379173678935821138ull, 10125769359486966408ull, 14920303797108073407ull, 6612317279633942149ull,
        5728784401802088631ull, 14378403102977044652ull}},
      {kKeyIn,
       {{0, 120}, {1, 30}, {2, 200}, {3, 255}, {4, 200}, {5, 100}, {6, 0}, {7, 1}, {8, 1}},
       {17640447209877254789ull, 4812603426703303021ull, 5577480807825613956ull, 1085228471905617275ull,
        1253495412704600633ull, 9512312387181400263ull}},
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
       {17768957441905421912ull, 6136758777417304466ull, 3971987927826601789ull, 2645403860978487466ull,
        10156096357239044238ull, 11647080377898883629ull}},
      {kMakeAlpha,
       {{1, 1}, {2, 0}},
       {12349743582936406787ull, 11518573982740234605ull, 8282078994723873934ull, 1162062295118444573ull,
        15649082326513762139ull, 7760333615127788237ull}},
      {kMakeAlpha,
       {{1, 1}, {2, 1}},
       {2772789758622162667ull, 8210038798553387583ull, 9530884035418345952ull, 10027645676541138211ull,
        17710199972349704977ull, 8170634053894539762ull}},
      {kMakeAlpha,
       {{1, 1}, {2, 2}},
       {2751061656248102541ull, 3407864378661763687ull, 13388653147384181823ull, 11585211919661666727ull,
        11562718122760570416ull, 16782489845556441819ull}},
      // X Size, Y Size, X Dim, Y Dim, Replace, Constant zoom
      {kEnlarge,
       {{0, 200}, {1, 200}, {4, 0}, {5, 1}},
       {783447113247253509ull, 11297449934453013040ull, 10211645426986613422ull, 3331957532633502666ull,
        527189401200366745ull, 11944388442430991711ull}},
      {kEnlarge,
       {{0, 317}, {1, 150}, {4, 1}, {5, 1}},
       {7084138187399537623ull, 15937765083476796030ull, 11754802547424380349ull, 15151492327015112547ull,
        17716765531877172770ull, 17929115527054724340ull}},
      {kEnlarge,
       {{2, 97}, {3, 61}, {4, 0}, {5, 0}},
       {8678189157812819712ull, 3140810670335314586ull, 18399415266236708448ull, 5149515645266814019ull,
        17813654193629226045ull, 10604968137162385893ull}},
      {kReduce,
       {{0, 50}, {1, 50}, {4, 0}, {5, 1}},
       {1037577116591539880ull, 9547612968380820808ull, 7673715884200163169ull, 7869356548060305825ull,
        9194126219262329781ull, 5334336162171081019ull}},
      {kReduce,
       {{0, 33}, {1, 71}, {4, 1}, {5, 1}},
       {5285523480635478936ull, 6114764230053704261ull, 261325482638953468ull, 10308905043985647617ull,
        7831713556282712957ull, 12921549206352955093ull}},
      {kReduce,
       {{2, 40}, {3, 13}, {4, 0}, {5, 0}},
       {6612409770430986453ull, 5212700717946405582ull, 3014602882594271252ull, 6168958948117675080ull,
        627546323787437094ull, 2801432914242264891ull}},
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
