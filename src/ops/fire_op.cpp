// Fire: flames that rise inside the selection from its edge, the side the
// "Direction" points away from (0 upward, 90 to the left, 180 downward, 270
// to the right). Across the flame front "Lat Structure" tongues stand side by
// side, their heights varied by "Lat Turb"; along them "Long Structure" bands
// of heat, varied by "Long Turb", travel toward the tips as "Propagate" turns
// (a whole turn brings the same picture back, so a Trend of it loops);
// "Wobbles" sways the tongues, "Wobble Amount" far, and "Distortion" ruffles
// everything on a small scale. A flame reaches "Length" tenths of a percent
// of the selection's depth along the direction and is coloured from "Base
// Color" through "Mid Color" and "End Color" to "Tip Color", beyond which it
// fades out. The random heights and ruffles are drawn from the C library
// generator seeded with "Seed".
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/cpu_features.h"
#include "base/crt_random.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/string_table.h"
#include "ops/apply.h"
#include "ops/effect_support.h"
#include "ops/glass_flame_ops.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace qv {
namespace {

constexpr int kMessageNoMemory = 22;
constexpr double kPi = 3.14159265358979323846;
constexpr double kDegree = kPi / 180;
constexpr int kLattice = 32;  // the ruffles repeat every 32 cells
constexpr int kFields = 4;
constexpr int kPaddedRow = kLattice + 1;

struct Flame {
  double hx = 0, hy = -1;  // the way the flames rise
  double lx = 1, ly = 0;   // across them
  double latMin = 0;
  double length = 1;       // of a flame at full height, in pixels
  double tongueWidth = 1;
  double cell = 3;         // of the ruffles, in pixels
  int tongues = 0;
  double latTurb = 0, longStructure = 0, longTurb = 0, wobbles = 0, wobbleAmount = 0, distortion = 0;
  double cosP = 1, sinP = 0, phase = 0;
  double swayPhase = 0;
  int colour[4][3] = {};
  std::vector<double> height;  // per tongue, 0..1
  std::vector<double> field;   // kFields lattices of kLattice x kLattice, -0.5..0.5
  // The lattices again with each row's first point repeated after its last,
  // so that a point and its right neighbour are always side by side.
  std::vector<double> padded;
  // How far up (in pixels) anything can still show, per slice of the front
  // an eighth of a tongue wide; see Reach().
  std::vector<double> reach;
  double reachScale = 1;
  double reachLeast = 0, reachMost = 0;  // over all the slices
  FirePath path = FirePath::kBest;
};
Flame fl;

inline double R() { return Rand() * 3.051850947599719e-5; }

int Clamped(int slot, int lo, int hi) { return std::clamp(ParamValue(kFireOp, slot), lo, hi); }

int PrepareFire() {
  const ApplyContext& c = Ctx();
  const int length = Clamped(0, 0, 8000);
  if (length == 0) return NoChangeCancel();
  const double direction = std::fmod(static_cast<double>(ParamValue(kFireOp, 1)), 360.0) * kDegree;
  fl.hx = -std::sin(direction);
  fl.hy = -std::cos(direction);
  fl.lx = std::cos(direction);
  fl.ly = -std::sin(direction);
  // The box's depth along the flames and its width across them.
  double hMin = 1e300, hMax = -1e300, lMin = 1e300, lMax = -1e300;
  for (int corner = 0; corner < 4; ++corner) {
    const double x = corner & 1 ? c.x1 : c.x0, y = corner & 2 ? c.y1 : c.y0;
    hMin = std::min(hMin, x * fl.hx + y * fl.hy), hMax = std::max(hMax, x * fl.hx + y * fl.hy);
    lMin = std::min(lMin, x * fl.lx + y * fl.ly), lMax = std::max(lMax, x * fl.lx + y * fl.ly);
  }
  fl.latMin = lMin;
  fl.length = std::max((hMax - hMin + 1) * length / 1000, 0.5);
  fl.tongues = Clamped(8, 0, 800);
  fl.tongueWidth = (lMax - lMin + 1) / std::max(fl.tongues, 1);
  fl.cell = std::max(fl.tongueWidth / 2, 3.0);
  fl.latTurb = Clamped(9, 0, 800) / 100.0;
  fl.longStructure = Clamped(10, 0, 800);
  fl.longTurb = Clamped(11, 0, 800) / 100.0;
  fl.wobbles = Clamped(12, 0, 200);
  fl.wobbleAmount = Clamped(13, 0, 1000) / 100.0;
  fl.distortion = Clamped(14, 0, 1000) / 100.0;
  fl.phase = std::fmod(static_cast<double>(ParamValue(kFireOp, 2)), 360.0) * kDegree;
  fl.cosP = std::cos(fl.phase);
  fl.sinP = std::sin(fl.phase);
  for (int i = 0; i < 4; ++i) {
    const std::uint32_t packed = static_cast<std::uint32_t>(ParamValue(kFireOp, 4 + i));
    for (int ch = 0; ch < 3; ++ch) fl.colour[i][ch] = static_cast<int>((packed >> (8 * ch)) & 255);
  }
  // The draws, in this order: a height per tongue and one beyond the last,
  // the sway's phase, then the ruffle lattices one after the other.
  Srand(static_cast<std::uint32_t>(ParamValue(kFireOp, 3)));
  fl.height.assign(static_cast<std::size_t>(fl.tongues) + 2, 0);
  for (double& h : fl.height) h = R();
  fl.swayPhase = R() * 2 * kPi;
  fl.field.assign(std::size_t{kFields} * kLattice * kLattice, 0);
  for (double& v : fl.field) v = R() - 0.5;
  fl.padded.resize(std::size_t{kFields} * kLattice * kPaddedRow);
  for (int k = 0; k < kFields * kLattice; ++k)
    for (int i = 0; i < kPaddedRow; ++i)
      fl.padded[std::size_t(k) * kPaddedRow + i] = fl.field[std::size_t(k) * kLattice + (i & (kLattice - 1))];
  return 0;
}

// Where a flame has faded out completely, in t.
constexpr double kFaded = 1.25;

// The per-pixel steps are forced inline, so that the rows built for AVX2
// and AVX-512 below get their own copies of them.
#define QV_FLAME_INLINE inline __attribute__((always_inline))

QV_FLAME_INLINE double Smooth(double f) { return f * f * (3 - 2 * f); }

// A sine from a table of a quarter of a degree with straight lines
// between: the flames need shape, not the last digit, and it is the same
// on every machine.
constexpr int kSineSteps = 1440;
struct SineTable {
  double value[kSineSteps + 1];
  SineTable() {
    for (int i = 0; i <= kSineSteps; ++i) value[i] = std::sin(2 * kPi * i / kSineSteps);
  }
};
const SineTable& Sines() {
  static const SineTable table;
  return table;
}
QV_FLAME_INLINE double Sine(const double* v, double radians) {
  double turns = radians * (1 / (2 * kPi));
  turns -= std::floor(turns);
  const double at = turns * kSineSteps;
  const int i = std::min(static_cast<int>(at), kSineSteps - 1);
  return v[i] + (v[i + 1] - v[i]) * (at - i);
}

// Lattices `first` and `first + 1` at (u, v) cells, smoothly between their
// points, mixed by the phase: a whole turn of "Propagate" comes back to the
// same ruffle. `other` gets the mix a quarter turn on, for a second,
// independent-looking ruffle from the same lattices.
QV_FLAME_INLINE double Turning(int first, double u, double v, double* other = nullptr) {
  const double fu = std::floor(u), fv = std::floor(v);
  const double su = Smooth(u - fu), sv = Smooth(v - fv);
  const int i0 = static_cast<int>(static_cast<long long>(fu) & (kLattice - 1)), i1 = (i0 + 1) & (kLattice - 1);
  const int j0 = static_cast<int>(static_cast<long long>(fv) & (kLattice - 1)), j1 = (j0 + 1) & (kLattice - 1);
  double at[2];
  for (int k = 0; k < 2; ++k) {
    const double* f = &fl.field[std::size_t(first + k) * kLattice * kLattice];
    const double top = f[j0 * kLattice + i0] + (f[j0 * kLattice + i1] - f[j0 * kLattice + i0]) * su;
    const double bottom = f[j1 * kLattice + i0] + (f[j1 * kLattice + i1] - f[j1 * kLattice + i0]) * su;
    at[k] = top + (bottom - top) * sv;
  }
  if (other) *other = at[1] * fl.cosP - at[0] * fl.sinP;
  return at[0] * fl.cosP + at[1] * fl.sinP;
}

// How far up its flame (0 at the base, 1 at the tip) a point lies that is
// `across` pixels along the front and `up` pixels from the edge.
// `whole`: all the way, even once it cannot show.
QV_FLAME_INLINE double FlamePosition(const double* sines, double across, double up, bool whole = false) {
  if (fl.distortion > 0) {
    double sideways;
    const double lift = Turning(0, across / fl.cell, up / fl.cell, &sideways);
    const double amount = fl.distortion * fl.tongueWidth;
    across += amount * sideways;
    up += amount * lift;
  }
  const double along = std::max(up, 0.0) / fl.length;
  if (fl.wobbleAmount > 0 && fl.wobbles > 0)
    across += fl.wobbleAmount * fl.tongueWidth * 0.5 * std::min(along, 1.0) *
              Sine(sines, 2 * kPi * fl.wobbles * along - fl.phase + fl.swayPhase + across / fl.tongueWidth);
  double height = 1;
  if (fl.tongues > 0) {
    const double q = std::clamp(across / fl.tongueWidth, 0.0, static_cast<double>(fl.tongues));
    const int k = std::min(static_cast<int>(q), fl.tongues);
    const double f = q - k;
    const double h = fl.height[std::size_t(k)] + (fl.height[std::size_t(k) + 1] - fl.height[std::size_t(k)]) * Smooth(f);
    // Each tongue is tallest in its middle.
    height = (1 - 0.6 * (1 - 4 * f * (1 - f))) * std::max(1 - fl.latTurb * 0.5 * h, 0.0);
  }
  if (height <= 0) return 2;
  double t = along / height;
  // The long turbulence only makes t larger (see Reach()).
  if (t >= kFaded && !whole) return t;
  if (fl.longStructure > 0 && fl.longTurb > 0) {
    const double wave = Sine(sines, 2 * kPi * (fl.longStructure * along + Turning(2, across / fl.cell, up / fl.cell)) - fl.phase);
    t *= 1 + fl.longTurb * 0.15 * (1 + wave);
  }
  return t;
}

// How much of the flame covers the picture at t (0..1), and its colour there.
QV_FLAME_INLINE double FlameCover(double t) { return t <= 1 ? 1 : std::max(0.0, 1 - (t - 1) * 4); }
QV_FLAME_INLINE void FlameColour(double t, int col[3]) {
  const double seg = std::clamp(t, 0.0, 1.0) * 3;
  const int i = std::min(static_cast<int>(seg), 2);
  const double f = seg - i;
  for (int ch = 0; ch < 3; ++ch)
    col[ch] = static_cast<int>(fl.colour[i][ch] + (fl.colour[i + 1][ch] - fl.colour[i][ch]) * f + 0.5);
}

// Steps from the selection's edge for every pixel of the box, walking
// against the direction one row (or column) at a time: -1 outside the
// selection. Returns the length of one step in pixels.
double EdgeSteps(const ApplyContext& c, const Plane& img, std::int32_t* steps) {
  const int bw = c.x1 - c.x0 + 1;
  const bool vertical = std::fabs(fl.hy) >= std::fabs(fl.hx);
  const double major = vertical ? std::fabs(fl.hy) : std::fabs(fl.hx);
  const double sx = fl.hx / major, sy = fl.hy / major;
  auto at = [&](int x, int y) -> std::int32_t& { return steps[std::size_t(y - c.y0) * bw + (x - c.x0)]; };
  auto visit = [&](int x, int y, int px, int py) {
    if (img.MaskAt(x, y) == 0) {
      at(x, y) = -1;
      return;
    }
    const bool before = px >= c.x0 && px <= c.x1 && py >= c.y0 && py <= c.y1;
    at(x, y) = before && at(px, py) >= 0 ? at(px, py) + 1 : 0;
  };
  if (vertical) {
    const int dy = sy < 0 ? -1 : 1;
    for (int n = 0; n <= c.y1 - c.y0; ++n) {
      const int y = dy < 0 ? c.y1 - n : c.y0 + n;
      for (int x = c.x0; x <= c.x1; ++x) visit(x, y, static_cast<int>(std::floor(x - sx + 0.5)), y - dy);
    }
  } else {
    const int dx = sx < 0 ? -1 : 1;
    for (int n = 0; n <= c.x1 - c.x0; ++n) {
      const int x = dx < 0 ? c.x1 - n : c.x0 + n;
      for (int y = c.y0; y <= c.y1; ++y) visit(x, y, x - dx, static_cast<int>(std::floor(y - sy + 0.5)));
    }
  }
  return std::sqrt(sx * sx + sy * sy);
}

// t grows at least as fast as the distance up, less what the ruffles can
// move a point back (each lattice mix stays within 0.71), and the flame
// has faded out at t = 1.25: beyond this distance up nothing shows.
double Beyond() { return 1.25 * fl.length + fl.distortion * fl.tongueWidth * 0.75; }

// A bound on either lattice mix: a cos + b sin of values within 0.5 stays
// within 0.5 * sqrt(2).
constexpr double kMixBound = 0.7072;
constexpr int kReachSlices = 8;  // per tongue

// Beyond() for each slice of the front (an eighth of a tongue wide), so
// that the short tongues' columns stop early. A point `across` the front is
// moved sideways by the ruffles and the sway by at most
//   S = distortion * tongueWidth * kMixBound + wobbleAmount * tongueWidth / 2,
// so its height is at most the largest any place within S of its slice
// gives: in each tongue there the shape factor is largest nearest the
// tongue's middle, and 1 - latTurb h / 2 largest where h, going smoothly
// from one end's height to the other's, is least. t is at least
// along / height (the long turbulence multiplies it by 1 + x (1 + wave),
// x >= 0, and the table's sine never falls below -1), and along at least
// (up - distortion * tongueWidth * kMixBound) / length; so from
//   up = kFaded * H * length + distortion * tongueWidth * kMixBound
// on nothing shows. The margins below cover rounding many times over; the
// two end slices reach out past the box, where `across` is clamped anyway.
void Reach(int bw, int bh) {
  const int slices = kReachSlices * std::max(fl.tongues, 1) + 2;
  const double step = fl.tongueWidth / kReachSlices;
  fl.reachScale = 1 / step;
  fl.reach.assign(static_cast<std::size_t>(slices), 0);
  const double lift = fl.distortion > 0 ? fl.distortion * fl.tongueWidth * kMixBound : 0;
  const double sway = fl.wobbleAmount > 0 && fl.wobbles > 0 ? fl.wobbleAmount * fl.tongueWidth * 0.5 : 0;
  const double spread = (lift + sway) * (1 + 1e-9) + 1e-6 * (fl.tongueWidth + bw + bh);
  auto shape = [](double f) { return 1 - 0.6 * (1 - 4 * f * (1 - f)); };
  const double tongues = fl.tongues;
  for (int b = 0; b < slices; ++b) {
    double most = 1;
    if (fl.tongues > 0) {
      const double lo = b == 0 ? 0 : std::max((b * step - spread) / fl.tongueWidth, 0.0);
      const double hi = b == slices - 1 ? tongues : std::min(((b + 1) * step + spread) / fl.tongueWidth, tongues);
      most = 0;
      for (int k = static_cast<int>(lo); k <= std::min(static_cast<int>(hi), fl.tongues); ++k) {
        const double f0 = std::max(lo - k, 0.0), f1 = std::min(hi - k, 1.0);
        const double widest = f0 <= 0.5 && f1 >= 0.5 ? 1 : shape(f1 < 0.5 ? f1 : f0);
        const double least = std::min(fl.height[std::size_t(k)], fl.height[std::size_t(k) + 1]);
        most = std::max(most, widest * std::max(1 - fl.latTurb * 0.5 * least, 0.0));
      }
    }
    const double up = kFaded * (most * (1 + 1e-9) + 1e-12) * fl.length + lift * (1 + 1e-9) + 1e-6 * (bw + bh);
    fl.reach[std::size_t(b)] = std::min(up, Beyond());
  }
  const auto [least, most] = std::minmax_element(fl.reach.begin(), fl.reach.end());
  fl.reachLeast = *least, fl.reachMost = *most;
}

// The reach of the slice a point `across` the front lies in.
QV_FLAME_INLINE double ReachAt(double across) {
  const double at = across * fl.reachScale;
  const int last = static_cast<int>(fl.reach.size()) - 1;
  return fl.reach[std::size_t(at <= 0 ? 0 : at >= last ? last : static_cast<int>(at))];
}

// One pixel of the flames, of mask byte m, at place t up its flame.
QV_FLAME_INLINE void Burn(std::uint8_t* p, int m, double t) {
  const int level = static_cast<int>(FlameCover(t) * m + 0.5);
  if (level == 0) return;
  int col[3];
  FlameColour(t, col);
  for (int ch = 0; ch < 3; ++ch) p[ch] = static_cast<std::uint8_t>((col[ch] * level + p[ch] * (255 - level)) / 255);
}

// The flames over pixels `from` on of row y of the box, from their steps
// from the edge; `whole`: every pixel in full.
QV_FLAME_INLINE void BurnRowBody(const ApplyContext& c, const Plane& img, int y, const std::int32_t* row,
                                 double stepLength, int from = 0, bool whole = false) {
  const double* sines = Sines().value;
  const int bw = c.x1 - c.x0 + 1;
  std::uint8_t* p = img.At(c.x0 + from, y);
  const std::uint8_t* m = &img.MaskAt(c.x0, y);
  for (int i = from; i < bw; ++i, p += 4) {
    if (row[i] < 0 || m[i] == 0) continue;
    const double up = row[i] * stepLength;
    const int x = c.x0 + i;
    const double across = x * fl.lx + y * fl.ly - fl.latMin;
    if (!whole && up > ReachAt(across)) continue;  // past every tip and its fade
    Burn(p, m[i], FlamePosition(sines, across, up, whole));
  }
}

#if defined(__x86_64__)
// x / 255 for every numerator Burn can make (up to 255 * 255), as a
// multiply and a shift.
constexpr bool ShiftDividesBy255() {
  for (int x = 0; x <= 255 * 255; ++x)
    if ((x * 32897) >> 23 != x / 255) return false;
  return true;
}
static_assert(ShiftDividesBy255());

namespace lanes {
using V = __m256d;
__attribute__((target("avx2"))) inline V K(double v) { return _mm256_set1_pd(v); }
__attribute__((target("avx2"))) inline V Add(V a, V b) { return _mm256_add_pd(a, b); }
__attribute__((target("avx2"))) inline V Sub(V a, V b) { return _mm256_sub_pd(a, b); }
__attribute__((target("avx2"))) inline V Mul(V a, V b) { return _mm256_mul_pd(a, b); }
__attribute__((target("avx2"))) inline V Div(V a, V b) { return _mm256_div_pd(a, b); }
__attribute__((target("avx2"))) inline V Less(V a, V b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
// a < b ? b : a and b < a ? b : a, as std::max and std::min choose.
__attribute__((target("avx2"))) inline V Max(V a, V b) { return _mm256_blendv_pd(a, b, Less(a, b)); }
__attribute__((target("avx2"))) inline V Min(V a, V b) { return _mm256_blendv_pd(a, b, Less(b, a)); }
__attribute__((target("avx2"))) inline V Floor(V a) { return _mm256_round_pd(a, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC); }
__attribute__((target("avx2"))) inline V Smooth4(V f) { return Mul(Mul(f, f), Sub(K(3), Mul(K(2), f))); }

// Two neighbouring values of a table (a padded lattice, the sines, the
// heights) for each of four lanes, as the four left and the four right.
__attribute__((target("avx2"))) inline void Pairs4(const double* base, const int* at, V& left, V& right) {
  const V even = _mm256_set_m128d(_mm_loadu_pd(base + at[2]), _mm_loadu_pd(base + at[0]));
  const V odd = _mm256_set_m128d(_mm_loadu_pd(base + at[3]), _mm_loadu_pd(base + at[1]));
  left = _mm256_unpacklo_pd(even, odd);
  right = _mm256_unpackhi_pd(even, odd);
}

// Sine4, Turning4 and Fire4 below work on N groups of four lanes side by
// side, step by step, so that the processor can follow the groups' long
// chains of dependent steps at the same time.
#define QV_EACH for (int n = 0; n < N; ++n)

// Sine on four lanes.
template <int N>
__attribute__((target("avx2"))) inline void Sine4(const double* v, const V* radians, V* out) {
  V at[N];
  __m128i i[N];
  QV_EACH {
    V turns = Mul(radians[n], K(1 / (2 * kPi)));
    turns = Sub(turns, Floor(turns));
    at[n] = Mul(turns, K(kSineSteps));
    // (The bounds only keep a lane that is not a number inside the table.)
    i[n] = _mm_max_epi32(_mm_min_epi32(_mm256_cvttpd_epi32(at[n]), _mm_set1_epi32(kSineSteps - 1)), _mm_setzero_si128());
  }
  QV_EACH {
    alignas(16) int at4[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(at4), i[n]);
    V lo, hi;
    Pairs4(v, at4, lo, hi);
    out[n] = Add(lo, Mul(Sub(hi, lo), Sub(at[n], _mm256_cvtepi32_pd(i[n]))));
  }
}

// Turning on four lanes, its points read in pairs from the padded
// lattices; its cell numbers as 32-bit whole numbers, which Fire4 makes
// sure of.
template <int N>
__attribute__((target("avx2"))) inline void Turning4(int first, const V* u, const V* v, V* other, V* out) {
  V su[N], sv[N];
  alignas(16) int upper[N][4], lower[N][4];
  const __m128i wrap = _mm_set1_epi32(kLattice - 1), one = _mm_set1_epi32(1), row = _mm_set1_epi32(kPaddedRow);
  QV_EACH {
    const V fu = Floor(u[n]), fv = Floor(v[n]);
    su[n] = Smooth4(Sub(u[n], fu)), sv[n] = Smooth4(Sub(v[n], fv));
    const __m128i i0 = _mm_and_si128(_mm256_cvttpd_epi32(fu), wrap);
    const __m128i j0 = _mm_and_si128(_mm256_cvttpd_epi32(fv), wrap), j1 = _mm_and_si128(_mm_add_epi32(j0, one), wrap);
    _mm_store_si128(reinterpret_cast<__m128i*>(upper[n]), _mm_add_epi32(_mm_mullo_epi32(j0, row), i0));
    _mm_store_si128(reinterpret_cast<__m128i*>(lower[n]), _mm_add_epi32(_mm_mullo_epi32(j1, row), i0));
  }
  V at[2][N];
  for (int k = 0; k < 2; ++k) {
    const double* f = &fl.padded[std::size_t(first + k) * kLattice * kPaddedRow];
    QV_EACH {
      V a, b, cc, d;
      Pairs4(f, upper[n], a, b);
      Pairs4(f, lower[n], cc, d);
      const V top = Add(a, Mul(Sub(b, a), su[n]));
      const V bottom = Add(cc, Mul(Sub(d, cc), su[n]));
      at[k][n] = Add(top, Mul(Sub(bottom, top), sv[n]));
    }
  }
  QV_EACH {
    if (other) other[n] = Sub(Mul(at[1][n], K(fl.cosP)), Mul(at[0][n], K(fl.sinP)));
    out[n] = Add(Mul(at[0][n], K(fl.cosP)), Mul(at[1][n], K(fl.sinP)));
  }
}

// A lane whose cell numbers could pass 32 bits (none of a picture's size).
__attribute__((target("avx2"))) inline int Far4(V u, V v) {
  const V abs = K(-0.0), limit = K(1e9);
  return _mm256_movemask_pd(_mm256_or_pd(_mm256_cmp_pd(_mm256_andnot_pd(abs, u), limit, _CMP_NLT_UQ),
                                         _mm256_cmp_pd(_mm256_andnot_pd(abs, v), limit, _CMP_NLT_UQ)));
}

// FlamePosition on N groups of four lanes, the same operations in the same
// order; the lanes set in `far` are to be worked out one by one. When
// every lane in `live` of every group has faded out before the long
// turbulence, that is left out, as FlamePosition leaves it out for one.
template <int N>
__attribute__((target("avx2"))) inline void Fire4(const double* sines, const V* start, const V* rise, const int* live,
                                                  int* far, V* out) {
  V across[N], up[N], along[N], height[N], t[N], spent[N];
  const V zero = _mm256_setzero_pd();
  QV_EACH far[n] = 0, across[n] = start[n], up[n] = rise[n], height[n] = K(1);
  if (fl.distortion > 0) {
    V u[N], v[N], sideways[N], lift[N];
    QV_EACH u[n] = Div(across[n], K(fl.cell)), v[n] = Div(up[n], K(fl.cell)), far[n] |= Far4(u[n], v[n]);
    Turning4<N>(0, u, v, sideways, lift);
    const V amount = K(fl.distortion * fl.tongueWidth);
    QV_EACH across[n] = Add(across[n], Mul(amount, sideways[n])), up[n] = Add(up[n], Mul(amount, lift[n]));
  }
  QV_EACH along[n] = Div(Max(up[n], zero), K(fl.length));
  if (fl.wobbleAmount > 0 && fl.wobbles > 0) {
    V arg[N], sine[N];
    QV_EACH arg[n] = Add(Add(Sub(Mul(K(2 * kPi * fl.wobbles), along[n]), K(fl.phase)), K(fl.swayPhase)),
                         Div(across[n], K(fl.tongueWidth)));
    Sine4<N>(sines, arg, sine);
    QV_EACH across[n] = Add(across[n], Mul(Mul(K(fl.wobbleAmount * fl.tongueWidth * 0.5), Min(along[n], K(1.0))), sine[n]));
  }
  if (fl.tongues > 0) {
    const V top = K(static_cast<double>(fl.tongues));
    QV_EACH {
      V q = Div(across[n], K(fl.tongueWidth));
      q = _mm256_blendv_pd(_mm256_blendv_pd(q, top, Less(top, q)), zero, Less(q, zero));
      const __m128i k = _mm_max_epi32(_mm_min_epi32(_mm256_cvttpd_epi32(q), _mm_set1_epi32(fl.tongues)), _mm_setzero_si128());
      const V f = Sub(q, _mm256_cvtepi32_pd(k));
      alignas(16) int at4[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(at4), k);
      V h0, h1;
      Pairs4(fl.height.data(), at4, h0, h1);
      const V h = Add(h0, Mul(Sub(h1, h0), Smooth4(f)));
      height[n] = Mul(Sub(K(1), Mul(K(0.6), Sub(K(1), Mul(Mul(K(4), f), Sub(K(1), f))))),
                      Max(Sub(K(1), Mul(K(fl.latTurb * 0.5), h)), zero));
    }
  }
  bool showing = false;
  QV_EACH {
    spent[n] = _mm256_cmp_pd(height[n], zero, _CMP_LE_OQ);
    t[n] = Div(along[n], height[n]);
    const int faded = _mm256_movemask_pd(_mm256_or_pd(spent[n], _mm256_cmp_pd(t[n], K(kFaded), _CMP_GE_OQ)));
    showing = showing || (live[n] & ~faded) != 0;
  }
  if (showing && fl.longStructure > 0 && fl.longTurb > 0) {
    V u[N], v[N], turn[N], arg[N], wave[N];
    QV_EACH u[n] = Div(across[n], K(fl.cell)), v[n] = Div(up[n], K(fl.cell)), far[n] |= Far4(u[n], v[n]);
    Turning4<N>(2, u, v, nullptr, turn);
    QV_EACH arg[n] = Sub(Mul(K(2 * kPi), Add(Mul(K(fl.longStructure), along[n]), turn[n])), K(fl.phase));
    Sine4<N>(sines, arg, wave);
    QV_EACH t[n] = Mul(t[n], Add(K(1), Mul(K(fl.longTurb * 0.15), Add(K(1), wave[n]))));
  }
  QV_EACH out[n] = _mm256_blendv_pd(t[n], K(2), spent[n]);
}
#undef QV_EACH

// Fire4<groups> for any count of groups up to G.
template <int G>
__attribute__((target("avx2"))) inline void FireGroups(int groups, const double* sines, const V* start, const V* rise,
                                                       const int* live, int* far, V* out) {
  if constexpr (G > 1)
    if (groups < G) return FireGroups<G - 1>(groups, sines, start, rise, live, far, out);
  Fire4<G>(sines, start, rise, live, far, out);
}

// Burn on the four pixels at p whose lanes are set in `burn`, of mask
// bytes m, at places t: the same doubles, rounded the same way.
__attribute__((target("avx2"))) inline void Burn4(std::uint8_t* p, const std::uint8_t* m, V t, int burn) {
  const V zero = _mm256_setzero_pd(), one = K(1);
  const V cover = _mm256_blendv_pd(Max(zero, Sub(one, Mul(Sub(t, one), K(4)))), one, _mm256_cmp_pd(t, one, _CMP_LE_OQ));
  std::int32_t four;
  std::memcpy(&four, m, 4);
  const V mask = _mm256_cvtepi32_pd(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(four)));
  const __m128i level = _mm256_cvttpd_epi32(Add(Mul(cover, mask), K(0.5)));
  const __m128i write = _mm_andnot_si128(
      _mm_cmpeq_epi32(_mm_and_si128(_mm_set1_epi32(burn), _mm_setr_epi32(1, 2, 4, 8)), _mm_setzero_si128()),
      _mm_cmpgt_epi32(level, _mm_setzero_si128()));
  if (_mm_testz_si128(write, write)) return;
  const V clamped = _mm256_blendv_pd(_mm256_blendv_pd(t, one, Less(one, t)), zero, Less(t, zero));
  const V seg = Mul(clamped, K(3));
  const V i = _mm256_cvtepi32_pd(_mm_min_epi32(_mm256_cvttpd_epi32(seg), _mm_set1_epi32(2)));
  const V f = Sub(seg, i);
  const V second = _mm256_cmp_pd(i, one, _CMP_GE_OQ), third = _mm256_cmp_pd(i, K(2), _CMP_GE_OQ);
  const __m128i px = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i byte = _mm_set1_epi32(255), rest = _mm_sub_epi32(byte, level), scale = _mm_set1_epi32(32897);
  __m128i out = _mm_andnot_si128(_mm_set1_epi32(0xFFFFFF), px);
  for (int ch = 0; ch < 3; ++ch) {
    const int* c[4] = {fl.colour[0], fl.colour[1], fl.colour[2], fl.colour[3]};
    const V base = _mm256_blendv_pd(_mm256_blendv_pd(K(c[0][ch]), K(c[1][ch]), second), K(c[2][ch]), third);
    const V step = _mm256_blendv_pd(_mm256_blendv_pd(K(c[1][ch] - c[0][ch]), K(c[2][ch] - c[1][ch]), second),
                                    K(c[3][ch] - c[2][ch]), third);
    const __m128i colour = _mm256_cvttpd_epi32(Add(Add(base, Mul(step, f)), K(0.5)));
    const __m128i was = _mm_and_si128(_mm_srli_epi32(px, 8 * ch), byte);
    const __m128i sum = _mm_add_epi32(_mm_mullo_epi32(colour, level), _mm_mullo_epi32(was, rest));
    out = _mm_or_si128(out, _mm_slli_epi32(_mm_srli_epi32(_mm_mullo_epi32(sum, scale), 23), 8 * ch));
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_blendv_epi8(px, out, write));
}
}  // namespace lanes

// BurnRowBody with the flame's places four at a time, kGroups4 groups of
// four that have pixels to burn together.
constexpr int kGroups4 = 4;
__attribute__((target("avx2"))) void BurnRowAvx2(const ApplyContext& c, const Plane& img, int y,
                                                 const std::int32_t* row, double stepLength, int from = 0) {
  using namespace lanes;
  const double* sines = Sines().value;
  const int bw = c.x1 - c.x0 + 1;
  std::uint8_t* const p = img.At(c.x0, y);
  const std::uint8_t* m = &img.MaskAt(c.x0, y);
  const V rowAcross = K(y * fl.ly), lx = K(fl.lx), latMin = K(fl.latMin);
  const double yAcross = y * fl.ly;
  const V least = K(fl.reachLeast), most = K(fl.reachMost), step = K(stepLength);
  // The groups waiting: their first pixels, lanes to burn, places across and up.
  int first[kGroups4], burn[kGroups4], waiting = 0;
  V across[kGroups4], up[kGroups4];
  auto finish = [&](int groups) __attribute__((target("avx2"))) {
    int far[kGroups4];
    V place[kGroups4];
    FireGroups<kGroups4>(groups, sines, across, up, burn, far, place);
    for (int g = 0; g < groups; ++g) {
      const int i = first[g], x = c.x0 + i;
      if (far[g] & burn[g]) {
        alignas(32) double t[4], ups[4];
        _mm256_store_pd(t, place[g]);
        _mm256_store_pd(ups, up[g]);
        for (int j = 0; j < 4; ++j)
          if (far[g] >> j & 1) t[j] = FlamePosition(sines, (x + j) * fl.lx + y * fl.ly - fl.latMin, ups[j]);
        place[g] = _mm256_load_pd(t);
      }
      Burn4(p + 4 * i, m + i, place[g], burn[g]);
    }
  };
  int i = from;
  for (; i + 4 <= bw; i += 4) {
    const int x = c.x0 + i;
    // Which pixels are inside the selection and not past their slice's
    // reach: most settle by the least and the most reach of all.
    const __m128i steps = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i));
    std::int32_t four;
    std::memcpy(&four, m + i, 4);
    const __m128i bytes = _mm_cvtepu8_epi32(_mm_cvtsi32_si128(four));
    const __m128i out = _mm_or_si128(_mm_cmpgt_epi32(_mm_setzero_si128(), steps), _mm_cmpeq_epi32(bytes, _mm_setzero_si128()));
    const int inside = ~_mm_movemask_ps(_mm_castsi128_ps(out)) & 15;
    if (!inside) continue;
    const V rise = Mul(_mm256_cvtepi32_pd(steps), step);
    int lanes = inside & ~_mm256_movemask_pd(_mm256_cmp_pd(rise, least, _CMP_GT_OQ));
    const int unsure = inside & ~lanes & ~_mm256_movemask_pd(_mm256_cmp_pd(rise, most, _CMP_GT_OQ));
    if (unsure) {
      alignas(32) double ups[4];
      _mm256_store_pd(ups, rise);
      for (int j = 0; j < 4; ++j)
        if (unsure >> j & 1 && !(ups[j] > ReachAt((x + j) * fl.lx + yAcross - fl.latMin))) lanes |= 1 << j;
    }
    if (!lanes) continue;
    first[waiting] = i, burn[waiting] = lanes, up[waiting] = rise;
    across[waiting] = Sub(Add(Mul(_mm256_setr_pd(x, x + 1, x + 2, x + 3), lx), rowAcross), latMin);
    if (++waiting == kGroups4) finish(kGroups4), waiting = 0;
  }
  if (waiting) finish(waiting);
  BurnRowBody(c, img, y, row, stepLength, i);
}

// GCC 12's 512-bit intrinsics start some results from a deliberately
// undefined vector, which its flow analysis reports as maybe uninitialised.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#define QV_FLAME_512 __attribute__((target("avx512f,avx2")))
// The same on eight lanes: the steps of Fire4 one for one.
namespace lanes8 {
using V = __m512d;
using M = __mmask8;
QV_FLAME_512 inline V K(double v) { return _mm512_set1_pd(v); }
QV_FLAME_512 inline V Add(V a, V b) { return _mm512_add_pd(a, b); }
QV_FLAME_512 inline V Sub(V a, V b) { return _mm512_sub_pd(a, b); }
QV_FLAME_512 inline V Mul(V a, V b) { return _mm512_mul_pd(a, b); }
QV_FLAME_512 inline V Div(V a, V b) { return _mm512_div_pd(a, b); }
QV_FLAME_512 inline M Less(V a, V b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
QV_FLAME_512 inline V Max(V a, V b) { return _mm512_mask_blend_pd(Less(a, b), a, b); }
QV_FLAME_512 inline V Min(V a, V b) { return _mm512_mask_blend_pd(Less(b, a), a, b); }
QV_FLAME_512 inline V Floor(V a) { return _mm512_roundscale_pd(a, _MM_FROUND_TO_NEG_INF | _MM_FROUND_NO_EXC); }
QV_FLAME_512 inline V Smooth8(V f) { return Mul(Mul(f, f), Sub(K(3), Mul(K(2), f))); }

// Loaded in pairs as Pairs4 does: gathers are slower on the processors at
// hand (their microcode guards them).
QV_FLAME_512 inline __m256d Two(const double* base, int a, int b) {
  return _mm256_set_m128d(_mm_loadu_pd(base + b), _mm_loadu_pd(base + a));
}
QV_FLAME_512 inline void Pairs8(const double* base, __m256i at, V& left, V& right) {
  alignas(32) int i[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(i), at);
  const V even = _mm512_insertf64x4(_mm512_castpd256_pd512(Two(base, i[0], i[2])), Two(base, i[4], i[6]), 1);
  const V odd = _mm512_insertf64x4(_mm512_castpd256_pd512(Two(base, i[1], i[3])), Two(base, i[5], i[7]), 1);
  left = _mm512_unpacklo_pd(even, odd);
  right = _mm512_unpackhi_pd(even, odd);
}

// Sine8, Turning8 and Fire8 below work on N groups of eight lanes side by
// side, step by step, so that the processor can follow the groups' long
// chains of dependent steps at the same time.
#define QV_EACH for (int n = 0; n < N; ++n)

template <int N>
QV_FLAME_512 inline void Sine8(const double* v, const V* radians, V* out) {
  V at[N];
  __m256i i[N];
  QV_EACH {
    V turns = Mul(radians[n], K(1 / (2 * kPi)));
    turns = Sub(turns, Floor(turns));
    at[n] = Mul(turns, K(kSineSteps));
  }
  QV_EACH i[n] = _mm256_max_epi32(_mm256_min_epi32(_mm512_cvttpd_epi32(at[n]), _mm256_set1_epi32(kSineSteps - 1)),
                                  _mm256_setzero_si256());
  QV_EACH {
    V lo, hi;
    Pairs8(v, i[n], lo, hi);
    out[n] = Add(lo, Mul(Sub(hi, lo), Sub(at[n], _mm512_cvtepi32_pd(i[n]))));
  }
}

template <int N>
QV_FLAME_512 inline void Turning8(int first, const V* u, const V* v, V* other, V* out) {
  V su[N], sv[N];
  __m256i upper[N], lower[N];
  const __m256i wrap = _mm256_set1_epi32(kLattice - 1), one = _mm256_set1_epi32(1), row = _mm256_set1_epi32(kPaddedRow);
  QV_EACH {
    const V fu = Floor(u[n]), fv = Floor(v[n]);
    su[n] = Smooth8(Sub(u[n], fu)), sv[n] = Smooth8(Sub(v[n], fv));
    const __m256i i0 = _mm256_and_si256(_mm512_cvttpd_epi32(fu), wrap);
    const __m256i j0 = _mm256_and_si256(_mm512_cvttpd_epi32(fv), wrap), j1 = _mm256_and_si256(_mm256_add_epi32(j0, one), wrap);
    upper[n] = _mm256_add_epi32(_mm256_mullo_epi32(j0, row), i0);
    lower[n] = _mm256_add_epi32(_mm256_mullo_epi32(j1, row), i0);
  }
  V at[2][N];
  for (int k = 0; k < 2; ++k) {
    const double* f = &fl.padded[std::size_t(first + k) * kLattice * kPaddedRow];
    QV_EACH {
      V a, b, cc, d;
      Pairs8(f, upper[n], a, b);
      Pairs8(f, lower[n], cc, d);
      const V top = Add(a, Mul(Sub(b, a), su[n]));
      const V bottom = Add(cc, Mul(Sub(d, cc), su[n]));
      at[k][n] = Add(top, Mul(Sub(bottom, top), sv[n]));
    }
  }
  QV_EACH {
    if (other) other[n] = Sub(Mul(at[1][n], K(fl.cosP)), Mul(at[0][n], K(fl.sinP)));
    out[n] = Add(Mul(at[0][n], K(fl.cosP)), Mul(at[1][n], K(fl.sinP)));
  }
}

QV_FLAME_512 inline int Far8(V u, V v) {
  const V limit = K(1e9);
  return _mm512_cmp_pd_mask(_mm512_abs_pd(u), limit, _CMP_NLT_UQ) | _mm512_cmp_pd_mask(_mm512_abs_pd(v), limit, _CMP_NLT_UQ);
}

// Fire4's steps on N groups; the long turbulence is left out only when
// every live lane of every group has faded before it.
template <int N>
QV_FLAME_512 inline void Fire8(const double* sines, const V* start, const V* rise, const int* live, int* far, V* out) {
  V across[N], up[N], along[N], height[N], t[N];
  M spent[N];
  const V zero = _mm512_setzero_pd();
  QV_EACH far[n] = 0, across[n] = start[n], up[n] = rise[n], height[n] = K(1);
  if (fl.distortion > 0) {
    V u[N], v[N], sideways[N], lift[N];
    QV_EACH u[n] = Div(across[n], K(fl.cell)), v[n] = Div(up[n], K(fl.cell)), far[n] |= Far8(u[n], v[n]);
    Turning8<N>(0, u, v, sideways, lift);
    const V amount = K(fl.distortion * fl.tongueWidth);
    QV_EACH across[n] = Add(across[n], Mul(amount, sideways[n])), up[n] = Add(up[n], Mul(amount, lift[n]));
  }
  QV_EACH along[n] = Div(Max(up[n], zero), K(fl.length));
  if (fl.wobbleAmount > 0 && fl.wobbles > 0) {
    V arg[N], sine[N];
    QV_EACH arg[n] = Add(Add(Sub(Mul(K(2 * kPi * fl.wobbles), along[n]), K(fl.phase)), K(fl.swayPhase)),
                         Div(across[n], K(fl.tongueWidth)));
    Sine8<N>(sines, arg, sine);
    QV_EACH across[n] = Add(across[n], Mul(Mul(K(fl.wobbleAmount * fl.tongueWidth * 0.5), Min(along[n], K(1.0))), sine[n]));
  }
  if (fl.tongues > 0) {
    const V top = K(static_cast<double>(fl.tongues));
    QV_EACH {
      V q = Div(across[n], K(fl.tongueWidth));
      q = _mm512_mask_blend_pd(Less(q, zero), _mm512_mask_blend_pd(Less(top, q), q, top), zero);
      const __m256i k = _mm256_max_epi32(_mm256_min_epi32(_mm512_cvttpd_epi32(q), _mm256_set1_epi32(fl.tongues)),
                                         _mm256_setzero_si256());
      const V f = Sub(q, _mm512_cvtepi32_pd(k));
      V h0, h1;
      Pairs8(fl.height.data(), k, h0, h1);
      const V h = Add(h0, Mul(Sub(h1, h0), Smooth8(f)));
      height[n] = Mul(Sub(K(1), Mul(K(0.6), Sub(K(1), Mul(Mul(K(4), f), Sub(K(1), f))))),
                      Max(Sub(K(1), Mul(K(fl.latTurb * 0.5), h)), zero));
    }
  }
  bool showing = false;
  QV_EACH {
    spent[n] = _mm512_cmp_pd_mask(height[n], zero, _CMP_LE_OQ);
    t[n] = Div(along[n], height[n]);
    const int faded = spent[n] | _mm512_cmp_pd_mask(t[n], K(kFaded), _CMP_GE_OQ);
    showing = showing || (live[n] & ~faded) != 0;
  }
  if (showing && fl.longStructure > 0 && fl.longTurb > 0) {
    V u[N], v[N], turn[N], arg[N], wave[N];
    QV_EACH u[n] = Div(across[n], K(fl.cell)), v[n] = Div(up[n], K(fl.cell)), far[n] |= Far8(u[n], v[n]);
    Turning8<N>(2, u, v, nullptr, turn);
    QV_EACH arg[n] = Sub(Mul(K(2 * kPi), Add(Mul(K(fl.longStructure), along[n]), turn[n])), K(fl.phase));
    Sine8<N>(sines, arg, wave);
    QV_EACH t[n] = Mul(t[n], Add(K(1), Mul(K(fl.longTurb * 0.15), Add(K(1), wave[n]))));
  }
  QV_EACH out[n] = _mm512_mask_blend_pd(spent[n], t[n], K(2));
}
#undef QV_EACH

// Fire8<groups> for any count of groups up to G.
template <int G>
QV_FLAME_512 inline void FireGroups(int groups, const double* sines, const V* start, const V* rise, const int* live,
                                    int* far, V* out) {
  if constexpr (G > 1)
    if (groups < G) return FireGroups<G - 1>(groups, sines, start, rise, live, far, out);
  Fire8<G>(sines, start, rise, live, far, out);
}


// The colours of the four stops, per channel, for Burn8.
struct Stops8 {
  V base[3], step[3];
};
QV_FLAME_512 inline Stops8 MakeStops8() {
  Stops8 s;
  for (int ch = 0; ch < 3; ++ch) {
    const int* c[4] = {fl.colour[0], fl.colour[1], fl.colour[2], fl.colour[3]};
    s.base[ch] = _mm512_setr_pd(c[0][ch], c[1][ch], c[2][ch], 0, 0, 0, 0, 0);
    s.step[ch] = _mm512_setr_pd(c[1][ch] - c[0][ch], c[2][ch] - c[1][ch], c[3][ch] - c[2][ch], 0, 0, 0, 0, 0);
  }
  return s;
}

// Burn on the eight pixels at p whose lanes are set in `burn`, of mask
// bytes m, at places t: the same doubles, rounded the same way.
QV_FLAME_512 inline void Burn8(std::uint8_t* p, const std::uint8_t* m, V t, int burn, const Stops8& stops) {
  const V zero = _mm512_setzero_pd(), one = K(1);
  const V faded = Max(zero, Sub(one, Mul(Sub(t, one), K(4))));
  const V cover = _mm512_mask_blend_pd(_mm512_cmp_pd_mask(t, one, _CMP_LE_OQ), faded, one);
  const V mask = _mm512_cvtepi32_pd(_mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m))));
  const __m256i level = _mm512_cvttpd_epi32(Add(Mul(cover, mask), K(0.5)));
  const __m256i bits = _mm256_setr_epi32(1, 2, 4, 8, 16, 32, 64, 128);
  const __m256i write = _mm256_andnot_si256(
      _mm256_cmpeq_epi32(_mm256_and_si256(_mm256_set1_epi32(burn), bits), _mm256_setzero_si256()),
      _mm256_cmpgt_epi32(level, _mm256_setzero_si256()));
  if (_mm256_testz_si256(write, write)) return;
  const V clamped = _mm512_mask_blend_pd(Less(t, zero), _mm512_mask_blend_pd(Less(one, t), t, one), zero);
  const V seg = Mul(clamped, K(3));
  const __m256i i = _mm256_min_epi32(_mm512_cvttpd_epi32(seg), _mm256_set1_epi32(2));
  const V f = Sub(seg, _mm512_cvtepi32_pd(i));
  const __m512i at = _mm512_cvtepi32_epi64(i);
  const __m256i px = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i byte = _mm256_set1_epi32(255), rest = _mm256_sub_epi32(byte, level), scale = _mm256_set1_epi32(32897);
  __m256i out = _mm256_andnot_si256(_mm256_set1_epi32(0xFFFFFF), px);
  for (int ch = 0; ch < 3; ++ch) {
    const V colour = Add(Add(_mm512_permutexvar_pd(at, stops.base[ch]), Mul(_mm512_permutexvar_pd(at, stops.step[ch]), f)), K(0.5));
    const __m256i was = _mm256_and_si256(_mm256_srli_epi32(px, 8 * ch), byte);
    const __m256i sum = _mm256_add_epi32(_mm256_mullo_epi32(_mm512_cvttpd_epi32(colour), level), _mm256_mullo_epi32(was, rest));
    out = _mm256_or_si256(out, _mm256_slli_epi32(_mm256_srli_epi32(_mm256_mullo_epi32(sum, scale), 23), 8 * ch));
  }
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_blendv_epi8(px, out, write));
}
}  // namespace lanes8

// BurnRowAvx2 eight at a time, four groups of eight that have pixels to
// burn together; the last few pixels go four at a time.
QV_FLAME_512 void BurnRowAvx512(const ApplyContext& c, const Plane& img, int y, const std::int32_t* row,
                                double stepLength) {
  using namespace lanes8;
  const double* sines = Sines().value;
  const int bw = c.x1 - c.x0 + 1;
  std::uint8_t* const p = img.At(c.x0, y);
  const std::uint8_t* m = &img.MaskAt(c.x0, y);
  const V rowAcross = K(y * fl.ly), lx = K(fl.lx), latMin = K(fl.latMin);
  const double yAcross = y * fl.ly;
  const Stops8 stops = MakeStops8();
  const V least = K(fl.reachLeast), most = K(fl.reachMost), step = K(stepLength);
  // The groups waiting: their first pixels, lanes to burn, places across and up.
  constexpr int kGroups = 4;
  int first[kGroups], burn[kGroups], waiting = 0;
  V across[kGroups], up[kGroups];
  auto finish = [&](int groups) QV_FLAME_512 {
    int far[kGroups];
    V place[kGroups];
    FireGroups<kGroups>(groups, sines, across, up, burn, far, place);
    for (int g = 0; g < groups; ++g) {
      const int i = first[g], x = c.x0 + i;
      if (far[g] & burn[g]) {
        alignas(64) double t[8], ups[8];
        _mm512_store_pd(t, place[g]);
        _mm512_store_pd(ups, up[g]);
        for (int j = 0; j < 8; ++j)
          if (far[g] >> j & 1) t[j] = FlamePosition(sines, (x + j) * fl.lx + y * fl.ly - fl.latMin, ups[j]);
        place[g] = _mm512_load_pd(t);
      }
      Burn8(p + 4 * i, m + i, place[g], burn[g], stops);
    }
  };
  int i = 0;
  for (; i + 8 <= bw; i += 8) {
    const int x = c.x0 + i;
    // Which pixels are inside the selection and not past their slice's
    // reach: most settle by the least and the most reach of all.
    const __m256i steps = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(row + i));
    const __m256i bytes = _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(m + i)));
    const __m256i out = _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_setzero_si256(), steps),
                                        _mm256_cmpeq_epi32(bytes, _mm256_setzero_si256()));
    const int inside = ~_mm256_movemask_ps(_mm256_castsi256_ps(out)) & 255;
    if (!inside) continue;
    const V rise = Mul(_mm512_cvtepi32_pd(steps), step);
    int lanes = inside & _mm512_cmp_pd_mask(rise, least, _CMP_LE_OQ);
    const int unsure = inside & ~lanes & _mm512_cmp_pd_mask(rise, most, _CMP_LE_OQ);
    if (unsure) {
      alignas(64) double ups[8];
      _mm512_store_pd(ups, rise);
      for (int j = 0; j < 8; ++j)
        if (unsure >> j & 1 && !(ups[j] > ReachAt((x + j) * fl.lx + yAcross - fl.latMin))) lanes |= 1 << j;
    }
    if (!lanes) continue;
    const V xs = _mm512_setr_pd(x, x + 1, x + 2, x + 3, x + 4, x + 5, x + 6, x + 7);
    first[waiting] = i, burn[waiting] = lanes, up[waiting] = rise;
    across[waiting] = Sub(Add(Mul(xs, lx), rowAcross), latMin);
    if (++waiting == kGroups) finish(kGroups), waiting = 0;
  }
  if (waiting) finish(waiting);
  BurnRowAvx2(c, img, y, row, stepLength, i);
}
#undef QV_FLAME_512
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#endif

FirePath PathInUse() {
  if (fl.path != FirePath::kBest) return fl.path;
#if defined(__x86_64__)
  if (CpuHasAvx512F()) return FirePath::kAvx512;
  if (CpuHasAvx2()) return FirePath::kAvx2;
#endif
  return FirePath::kPlain;
}

void BurnRow(FirePath path, const ApplyContext& c, const Plane& img, int y, const std::int32_t* row,
             double stepLength) {
  switch (path) {
#if defined(__x86_64__)
    case FirePath::kAvx512:
      return BurnRowAvx512(c, img, y, row, stepLength);
    case FirePath::kAvx2:
      return BurnRowAvx2(c, img, y, row, stepLength);
#endif
    case FirePath::kEveryPixel:
      return BurnRowBody(c, img, y, row, stepLength, 0, true);
    default:
      return BurnRowBody(c, img, y, row, stepLength);
  }
}

int NoStepMemory() {
  ShowMessageWith(kMessageNoMemory, std::string(LoadString(static_cast<int>(kFireOp))));
  return 1;
}

// The loop of FireByRows below for a row after the first when each column
// steps from itself, four columns at a time; returns the columns done.
int StepStraight(const std::uint8_t* m, const std::int32_t* before, std::int32_t* now, int bw) {
  int i = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128(), none = _mm_set1_epi32(-1);
  for (; i + 4 <= bw; i += 4) {
    std::int32_t four;
    std::memcpy(&four, m + i, 4);
    const __m128i bytes = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(four), zero), zero);
    const __m128i was = _mm_loadu_si128(reinterpret_cast<const __m128i*>(before + i));
    // before >= 0 ? before + 1 : 0, and -1 outside the selection
    const __m128i next = _mm_and_si128(_mm_sub_epi32(was, none), _mm_cmpgt_epi32(was, none));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(now + i), _mm_or_si128(next, _mm_cmpeq_epi32(bytes, zero)));
  }
#endif
  return i;
}

// Flames that rise mostly up or down: EdgeSteps walks row by row, each row
// from the one before alone, so two rows of steps do instead of the box's
// (each pixel's colour depends on nothing else), and each row burns as soon
// as it is walked.
int FireByRows(const ApplyContext& c, const Plane& img) {
  const int bw = c.x1 - c.x0 + 1, bh = c.y1 - c.y0 + 1;
  std::int32_t* rows = AllocRealArray<std::int32_t>(std::int64_t{bw} * 2, "fird");
  if (!rows) return NoStepMemory();
  const double sx = fl.hx / std::fabs(fl.hy), sy = fl.hy / std::fabs(fl.hy);
  const double stepLength = std::sqrt(sx * sx + sy * sy);
  Reach(bw, bh);
  const FirePath path = PathInUse();
  const int dy = sy < 0 ? -1 : 1;
  // The column of the row before that each column steps from.
  std::vector<int> from(static_cast<std::size_t>(bw));
  for (int i = 0; i < bw; ++i) from[static_cast<std::size_t>(i)] = static_cast<int>(std::floor(c.x0 + i - sx + 0.5));
  // Straight up or down each column steps from itself.
  bool straight = true;
  for (int i = 0; i < bw; ++i) straight = straight && from[static_cast<std::size_t>(i)] == c.x0 + i;
  SetProgressTotal(bh);
  int result = 0;
  std::int32_t* before = rows;
  std::int32_t* now = rows + bw;
  for (int n = 0; n < bh; ++n) {
    if (Progress(n) != 0) {
      result = 1;
      break;
    }
    const int y = dy < 0 ? c.y1 - n : c.y0 + n;
    const std::uint8_t* m = &img.MaskAt(c.x0, y);
    int i = 0;
    if (straight && n > 0) i = StepStraight(m, before, now, bw);
    for (; i < bw; ++i) {
      if (m[i] == 0) {
        now[i] = -1;
        continue;
      }
      const int px = from[static_cast<std::size_t>(i)];
      const bool inBox = n > 0 && px >= c.x0 && px <= c.x1;
      now[i] = inBox && before[px - c.x0] >= 0 ? before[px - c.x0] + 1 : 0;
    }
    BurnRow(path, c, img, y, now, stepLength);
    std::swap(before, now);
  }
  FreeReal(rows, "fird");
  return result;
}

// Flames that rise mostly to the left or right: EdgeSteps walks column by
// column, each pixel from the column before at a row `shift` away, which
// is the same for every row (checked, as EdgeSteps rounds it). So the rows
// can be walked in turn instead, each from the row `shift` away walked
// before it (or, for a shift of 0, from itself, column after column), two
// rows of steps instead of the box's, and each burned as soon as walked.
// Returns -1 when the shift is not the same for every row.
int FireByColumns(const ApplyContext& c, const Plane& img) {
  const int bw = c.x1 - c.x0 + 1, bh = c.y1 - c.y0 + 1;
  const double sx = fl.hx / std::fabs(fl.hx), sy = fl.hy / std::fabs(fl.hx);
  const int shift = static_cast<int>(std::floor(c.y0 - sy + 0.5)) - c.y0;
  if (shift < -1 || shift > 1) return -1;
  for (int y = c.y0; y <= c.y1; ++y)
    if (static_cast<int>(std::floor(y - sy + 0.5)) != y + shift) return -1;
  std::int32_t* rows = AllocRealArray<std::int32_t>(std::int64_t{bw} * 2, "fird");
  if (!rows) return NoStepMemory();
  const double stepLength = std::sqrt(sx * sx + sy * sy);
  Reach(bw, bh);
  const FirePath path = PathInUse();
  const int dx = sx < 0 ? -1 : 1;
  SetProgressTotal(bh);
  int result = 0;
  std::int32_t* before = rows;
  std::int32_t* now = rows + bw;
  for (int n = 0; n < bh; ++n) {
    if (Progress(n) != 0) {
      result = 1;
      break;
    }
    // A row steps from the one `shift` below it, walked just before.
    const int y = shift > 0 ? c.y1 - n : c.y0 + n;
    const std::int32_t* from = shift == 0 ? now : n > 0 ? before : nullptr;
    const std::uint8_t* m = &img.MaskAt(c.x0, y);
    for (int k = 0; k < bw; ++k) {
      const int i = dx < 0 ? bw - 1 - k : k, pi = i - dx;
      if (m[i] == 0) {
        now[i] = -1;
        continue;
      }
      now[i] = from && pi >= 0 && pi < bw && from[pi] >= 0 ? from[pi] + 1 : 0;
    }
    BurnRow(path, c, img, y, now, stepLength);
    std::swap(before, now);
  }
  FreeReal(rows, "fird");
  return result;
}

int FireWorker(std::uint8_t*, std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  const Plane img(c.image, mask);
  // Every pixel in full works from the whole box's steps, as a check on
  // the row by row walks.
  if (fl.path != FirePath::kEveryPixel) {
    if (std::fabs(fl.hy) >= std::fabs(fl.hx)) return FireByRows(c, img);
    const int sideways = FireByColumns(c, img);
    if (sideways >= 0) return sideways;
  }
  const int bw = c.x1 - c.x0 + 1, bh = c.y1 - c.y0 + 1;
  std::int32_t* steps = AllocRealArray<std::int32_t>(std::int64_t{bw} * bh, "fird");
  if (!steps) return NoStepMemory();
  const double stepLength = EdgeSteps(c, img, steps);
  Reach(bw, bh);
  const FirePath path = PathInUse();
  SetProgressTotal(bh);
  int result = 0;
  for (int y = c.y0; y <= c.y1; ++y) {
    if (Progress(y - c.y0) != 0) {
      result = 1;
      break;
    }
    BurnRow(path, c, img, y, steps + std::size_t(y - c.y0) * bw, stepLength);
  }
  FreeReal(steps, "fird");
  return result;
}

}  // namespace

bool FirePathAvailable(FirePath path) {
#if defined(__x86_64__)
  if (path == FirePath::kAvx512) return CpuHasAvx512F();
  if (path == FirePath::kAvx2) return CpuHasAvx2();
#else
  if (path == FirePath::kAvx512 || path == FirePath::kAvx2) return false;
#endif
  return true;
}

void UseFirePath(FirePath path) { fl.path = path; }

std::span<const OpRoutineEntry> FireRoutines() {
  static const OpRoutineEntry table[] = {[] {
    OpRoutineEntry e{kFireOp, {}};
    e.routines.prepare = PrepareFire;
    e.routines.imageWorker = FireWorker;
    return e;
  }()};
  return table;
}

}  // namespace qv
