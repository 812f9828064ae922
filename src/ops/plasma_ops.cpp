// Aura: a halo grown outward from the selection in passes of at most ten
// pixels, shaded by random spokes and rings.
#include "ops/plasma_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "base/crt_random.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/string_table.h"
#include "ops/apply.h"
#include "ops/effect_support.h"
#include "ops/glass_flame_ops.h"
#include "ops/lightning_op.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace qv {
namespace {

constexpr OpId kAura = 3212;
constexpr int kMessageNoMemory = 22;
constexpr int kStep = 10;  // the farthest one pass reaches

struct AuraSettings {
  int hw = 1;
  int spokes = 0, rings = 0;
  double radiate = 0;
  int connect = 100, innerFade = 0, outerFade = 0;
  int inner[3] = {0, 0, 0}, outer[3] = {0, 0, 0};
  double* spokeGain = nullptr;   // "Aur1", Spokes + 1 entries
  double* spokeShift = nullptr;  // "Aur2"
  double* ring = nullptr;        // "Rur3", 2 x Rings + 2 entries
};
AuraSettings au;

void FreeAuraArrays() {
  au.spokeGain = static_cast<double*>(FreeReal(au.spokeGain, "Aur1"));
  au.spokeShift = static_cast<double*>(FreeReal(au.spokeShift, "Aur2"));
  au.ring = static_cast<double*>(FreeReal(au.ring, "Rur3"));
}

inline double R() { return Rand() * 3.051850947599719e-5; }

int PrepareAura() {
  ApplyContext& c = Ctx();
  FreeAuraArrays();
  const long width = std::clamp(ParamValue(kAura, 0), 0, 1000);
  if (width == 0) return 2;
  const double dx = c.x1 - c.x0, dy = c.y1 - c.y0;
  au.hw = std::max(static_cast<int>(std::sqrt(dy * dy + dx * dx) * width * 0.01), 1);
  WidenBox(c, au.hw, au.hw);
  au.connect = std::clamp(ParamValue(kAura, 1), 0, 100);
  au.radiate = ParamValue(kAura, 2);
  au.spokes = std::clamp(ParamValue(kAura, 4), 0, 100000);
  au.rings = std::clamp(ParamValue(kAura, 6), 0, 100000);
  au.innerFade = ParamValue(kAura, 8);
  au.outerFade = ParamValue(kAura, 12);
  for (int k = 0; k < 3; ++k) {
    au.inner[k] = Clamp0To255(ParamValue(kAura, 9 + k));
    au.outer[k] = Clamp0To255(ParamValue(kAura, 13 + k));
  }
  au.spokeGain = AllocRealArray<double>(au.spokes + 1, "Aur1");
  au.spokeShift = AllocRealArray<double>(au.spokes + 1, "Aur2");
  au.ring = AllocRealArray<double>(2L * au.rings + 2, "Rur3");
  if (!au.spokeGain || !au.spokeShift || !au.ring) {
    FreeAuraArrays();
    ShowMessageWith(kMessageNoMemory, std::string(LoadString(static_cast<int>(kAura))));
    return 1;
  }
  Srand(static_cast<std::uint32_t>(ParamValue(kAura, 3)));
  const double spokeVar = ParamValue(kAura, 5) * 0.01, ringVar = ParamValue(kAura, 7) * 0.01;
  for (int i = 0; i <= au.spokes; ++i) {
    au.spokeGain[i] = (R() - 0.5) * spokeVar + 0.5;
    au.spokeShift[i] = R();
  }
  au.spokeGain[au.spokes] = au.spokeGain[0];
  au.spokeShift[au.spokes] = au.spokeShift[0];
  for (int j = 0; j <= 2 * au.rings + 1; ++j) au.ring[j] = (R() - 0.5) * ringVar + 0.5;
  au.ring[2 * au.rings] = au.ring[0];
  au.ring[2 * au.rings + 1] = au.ring[1];
  return 0;
}

// Brings v into 0..period by whole periods.
inline double IntoPeriod(double v, double period) {
  if (period <= 0) return 0;
  if (v < 0 || v > period) {
    v = std::fmod(v, period);
    if (v < 0) v += period;
  }
  return v;
}

// The light of a halo pixel at (x, y), t of the way from the selection's
// edge to the rim: 0..256.
int AuraLevel(const ApplyContext& c, int x, int y, double t, int transparency) {
  const double s = IntoPeriod(std::atan2(static_cast<double>(y - c.cy), static_cast<double>(x - c.cx)) * au.spokes *
                                  0.1591549430204534,
                              au.spokes);
  const int k = static_cast<int>(s);
  const double f = s - k;
  // An index past the last spoke is the first one again.
  const int k0 = k > au.spokes ? 0 : k, k1 = k + 1 > au.spokes ? 0 : k + 1;
  auto ringValue = [&](int spoke) {
    const double u = IntoPeriod((au.spokeShift[spoke] - au.radiate * 0.005555555555555556 + t) * au.rings, 2.0 * au.rings);
    int i = static_cast<int>(u);
    if (i > 2 * au.rings) i = 2 * au.rings;
    const double e = u - i;
    return (1 - e) * au.ring[i] + e * au.ring[i + 1];
  };
  double v = (1 - f) * au.spokeGain[k0] * ringValue(k0) + au.spokeGain[k1] * ringValue(k1) * f;
  double q, F;
  if (t < 0.5) {
    q = (0.5 - t) * (0.5 - t);
    F = au.innerFade - 100;
  } else {
    q = (t - 0.5) * (t - 0.5);
    F = au.outerFade - 100;
  }
  v = (q * F * 0.04 + 1) * v * 2;
  const double level = std::pow(std::fabs(v), (100 - au.connect) * 0.05 + 1) * transparency;
  return static_cast<int>(std::clamp(level, 0.0, 256.0));
}

struct Point {
  int x, y;
};

int AuraWorker(std::uint8_t*, std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  Plane img(c.image, mask);
  const int bx0 = c.x0, by0 = c.y0, bx1 = c.x1, by1 = c.y1;
  const int bw = bx1 - bx0 + 1, rows = by1 - by0 + 1;
  const int passes = (au.hw + 9) / 10;
  const int transparency = CurrentTransparencyValues().level;
  const bool alphaLimits = MaskWithAlphaOn() && c.image->hasAlpha;
  SetProgressTotal(rows * passes);

  // Squared distances to the nearest source pixel, up to the reach of a
  // pass; 255 for none near enough.
  std::vector<std::uint8_t> d2(static_cast<std::size_t>(bw) * rows, 255);
  std::vector<Point> fresh, joined;
  // The first sources: what the selection holds (1 counts once the pass starts).
  for (int y = by0; y <= by1; ++y)
    for (int x = bx0; x <= bx1; ++x)
      if (img.MaskAt(x, y) == 1) img.MaskAt(x, y) = 2;
  {
    const int ya = std::max(by0 - kStep, 0), yb = std::min(by1 + kStep, img.height - 1);
    const int xa = std::max(bx0 - kStep, 0), xb = std::min(bx1 + kStep, img.width - 1);
    for (int y = ya; y <= yb; ++y)
      for (int x = xa; x <= xb; ++x)
        if (img.MaskAt(x, y) > 1) fresh.push_back({x, y});
  }
  auto isSource = [&](int x, int y) { return img.MaskAt(x, y) > 1; };
  int result = 0;
  for (int p = 0; p < passes && result == 0; ++p) {
    for (const Point& q : joined) img.MaskAt(q.x, q.y) = 2;
    if (p > 0) fresh.swap(joined);
    joined.clear();
    // The nearest source of a pixel outside lies on the sources' edge, and
    // whatever was a source before the last pass lies farther than a pass
    // reaches from every pixel still outside: the edge of the newest
    // sources is all there is to measure from.
    std::vector<std::size_t> touched;
    for (const Point& s : fresh) {
      const bool edge = (s.x > 0 && !isSource(s.x - 1, s.y)) || (s.x + 1 < img.width && !isSource(s.x + 1, s.y)) ||
                        (s.y > 0 && !isSource(s.x, s.y - 1)) || (s.y + 1 < img.height && !isSource(s.x, s.y + 1));
      if (!edge) continue;
      const int ya = std::max(s.y - kStep, by0), yb = std::min(s.y + kStep, by1);
      const int xa = std::max(s.x - kStep, bx0), xb = std::min(s.x + kStep, bx1);
      for (int y = ya; y <= yb; ++y) {
        const int dy2 = (y - s.y) * (y - s.y);
        std::uint8_t* row = &d2[static_cast<std::size_t>(y - by0) * bw];
        const std::uint8_t* mrow = &img.MaskAt(0, y);
        for (int x = xa; x <= xb; ++x) {
          if (mrow[x]) continue;
          const int dd = dy2 + (x - s.x) * (x - s.x);
          if (dd > 100) continue;
          std::uint8_t& cell = row[x - bx0];
          if (cell == 255) touched.push_back(static_cast<std::size_t>(y - by0) * bw + (x - bx0));
          if (dd < cell) cell = static_cast<std::uint8_t>(dd);
        }
      }
    }
    const int reach = std::min(au.hw - kStep * p, kStep);
    for (int y = by0; y <= by1; ++y) {
      if (Progress(p * rows + (y - by0)) != 0) {
        result = 1;
        break;
      }
      const std::uint8_t* row = &d2[static_cast<std::size_t>(y - by0) * bw];
      for (int x = bx0; x <= bx1; ++x) {
        const int dd = row[x - bx0];
        if (dd > reach * reach || img.MaskAt(x, y) != 0) continue;
        img.MaskAt(x, y) = 1;
        joined.push_back({x, y});
        const double t = (std::sqrt(static_cast<double>(dd)) + kStep * p) / au.hw;
        std::uint8_t* px = img.At(x, y);
        int level = AuraLevel(c, x, y, t, transparency);
        if (alphaLimits && px[3] < 255) level = level * px[3] / 255;
        const int cc = static_cast<int>(std::clamp(t * 256, 0.0, 256.0));
        for (int k = 0; k < 3; ++k) {
          const int col = ((256 - cc) * au.inner[k] + cc * au.outer[k]) / 256;
          px[k] = static_cast<std::uint8_t>((col * level + px[k] * (256 - level)) >> 8);
        }
      }
    }
    for (std::size_t i : touched) d2[i] = 255;
  }
  FreeAuraArrays();
  for (int y = by0; y <= by1; ++y)
    for (int x = bx0; x <= bx1; ++x)
      if (std::uint8_t& m = img.MaskAt(x, y); m == 1 || m == 2) m = 0;
  return result;
}

}  // namespace

std::span<const OpRoutineEntry> PlasmaOperationRoutines() {
  static const std::vector<OpRoutineEntry> table = [] {
    OpRoutines aura;
    aura.prepare = PrepareAura;
    aura.imageWorker = AuraWorker;
    aura.finish = FreeAuraArrays;  // also when the driver could not start
    std::vector<OpRoutineEntry> t = {{kAura, aura}};
    auto lightning = LightningRoutines();
    t.insert(t.end(), lightning.begin(), lightning.end());
    auto fire = FireRoutines();
    t.insert(t.end(), fire.begin(), fire.end());
    return t;
  }();
  return table;
}

}  // namespace qv
