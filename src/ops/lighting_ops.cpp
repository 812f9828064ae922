// Asterize, Annular and Shine, and the presets of the first two.
#include "ops/lighting_ops.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "base/crt_random.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "base/text_words.h"
#include "ops/apply.h"
#include "ops/effect_support.h"
#include "ops/fast_atan2.h"
#include "ops/glass_flame_ops.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "ops/plasma_ops.h"
#include "store/memory_places.h"

namespace qv {
namespace {

constexpr OpId kShine = 3114;
constexpr int kMessageNoMemory = 22;

// What the Prepare of Asterize or Annular keeps for the per-pixel worker.
struct LightSettings {
  const std::int16_t* profile = nullptr;
  int edge[3] = {0, 0, 0}, peak[3] = {255, 255, 255};
  double rx = 1, ry = 1;
  double wn = 0.0001;
  double rotation = 0;
  long arms = 4;
  bool centreSpot = false, additive = false, taper = true, armWidthSet = true;
  bool alpha = false;
  int cx = 0, cy = 0;
  // The squared distances across and down from the centre in radii, per
  // column and row of the image: worked out once, and read alike by rows
  // on any thread.
  std::vector<double> u2, v2;
};
LightSettings ls;

const std::int16_t* ProfileFor(ProfileId id, OpId op) {
  const std::int16_t* p = EnsureProfile(id);
  if (!p) ShowMessageWith(kMessageNoMemory, std::string(LoadString(static_cast<int>(op))));
  return p;
}

void PrepareCommon(OpId op) {
  const ApplyContext& c = Ctx();
  EdgeAndPeak(op, ls.edge, ls.peak);
  ls.rx = c.rx == 0 ? 1 : c.rx;
  ls.ry = c.ry == 0 ? 1 : c.ry;
  ls.cx = c.cx;
  ls.cy = c.cy;
  ls.alpha = c.affectAlpha;
  ls.u2.resize(static_cast<std::size_t>(c.image->width));
  ls.v2.resize(static_cast<std::size_t>(c.image->height));
  for (int x = 0; x < c.image->width; ++x) {
    const double u = std::abs(x - c.cx) / ls.rx;
    ls.u2[static_cast<std::size_t>(x)] = u * u;
  }
  for (int y = 0; y < c.image->height; ++y) {
    const double v = std::abs(y - c.cy) / ls.ry;
    ls.v2[static_cast<std::size_t>(y)] = v * v;
  }
}

// The colour of light of strength s between the edge and the peak colour.
inline void LightColour(int s, int col[3]) {
  for (int k = 0; k < 3; ++k) col[k] = (ls.edge[k] * (256 - s) + ls.peak[k] * s) / 256;
}

inline void Input(const std::uint8_t* p, bool alpha, int in[3]) {
  for (int k = 0; k < 3; ++k) in[k] = alpha ? p[3] : p[k];
}

inline void Output(std::uint8_t* p, bool alpha, const int r[3]) {
  if (alpha) {
    p[3] = static_cast<std::uint8_t>(Lum(r[0], r[1], r[2]));
  } else {
    for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>(r[k]);
  }
}

// The distance from the centre in radii, or 1 for any pixel at or beyond
// the rim (whose square root is never below 1).
inline double Distance(int x, int y) {
  const double q = ls.u2[static_cast<std::size_t>(x)] + ls.v2[static_cast<std::size_t>(y)];
  if (q >= 1) return 1;
  return std::max(std::sqrt(q), 0.0001);
}

// ---- Asterize

int PrepareAsterize() {
  ls.profile = ProfileFor(ProfileId::Arm, kAsterizeOp);
  if (!ls.profile) return 1;
  PrepareCommon(kAsterizeOp);
  const long width = ParamValue(kAsterizeOp, 4);
  const long armWidth = width == 0 ? 1 : width;
  const long rx = static_cast<long>(ls.rx), ry = static_cast<long>(ls.ry);
  const double wx = static_cast<double>(armWidth * rx / 100), wy = static_cast<double>(armWidth * ry / 100);
  ls.wn = std::max(std::sqrt((std::fabs(wx) / ls.rx) * (std::fabs(wx) / ls.rx) + (std::fabs(wy) / ls.ry) * (std::fabs(wy) / ls.ry)),
                   0.0001);
  ls.armWidthSet = width != 0;
  ls.rotation = ParamValue(kAsterizeOp, 5);
  ls.arms = ParamValue(kAsterizeOp, 6);
  ls.centreSpot = ParamValue(kAsterizeOp, 7) != 0;
  ls.additive = ParamValue(kAsterizeOp, 8) != 0;
  ls.taper = ParamValue(kAsterizeOp, 9) != 0;
  return 0;
}

inline void AsterizeLight(std::uint8_t* p, double d, int s, int m);

// The angle around the centre in (0, 360], whatever the rotation, from the
// arc tangent of the pixel's offset.
inline double ArmAngle(double atan) {
  double alpha = -atan * 57.29577951 - ls.rotation + 180;
  if (alpha <= 0 || alpha > 360) {
    alpha = std::fmod(alpha, 360.0);
    if (alpha <= 0) alpha += 360;
  }
  return alpha;
}

// The position on the arm profile of a pixel at angle alpha and distance d.
inline double ArmPosition(double alpha, double d) {
  double t = static_cast<double>(ls.arms) * alpha * 0.5555555555555556 + 100;
  const double k = std::trunc(t * 0.005);
  t -= 200 * k;
  if (ls.taper) t = (t - 100) / ls.wn * d + 100;
  return t;
}

// The profile's strength for the pixel at (dx, dy) from the centre and d
// radii out.
inline int ArmStrength(int dx, int dy, double d) {
  const double alpha = ArmAngle(std::atan2(static_cast<double>(dx), static_cast<double>(dy)));
  return SampleProfile(ls.profile, ArmPosition(alpha, d));
}

void AsterizeWorker(std::uint8_t* p, int x, int y, int m) {
  const double d = Distance(x, y);
  if (d >= 1) return;  // beyond the rim the star adds nothing
  AsterizeLight(p, d, ArmStrength(x - ls.cx, y - ls.cy, d), m);
}

// AsterizeWorker from `first` to x1 of a row whose v2 is below 1.
void AsterizeRowPlain(std::uint8_t* p, int first, int x0, int x1, int y, const std::uint8_t* maskRow) {
  const double v2 = ls.v2[static_cast<std::size_t>(y)];
  const double* u2 = ls.u2.data();
  const int dy = y - ls.cy;
  for (int x = first; x <= x1; ++x, p += 4) {
    const int m = maskRow[x - x0];
    if (!m) continue;
    const double q = u2[x] + v2;
    if (q >= 1) continue;
    const double d = std::max(std::sqrt(q), 0.0001);
    AsterizeLight(p, d, ArmStrength(x - ls.cx, dy, d), m);
  }
}

#if defined(__x86_64__)
// ArmAngle, ArmPosition and SampleProfile's place on the profile for four
// arc tangents, the same operations in the same order: `turned` gets the
// lanes whose angle needed the turn into (0, 360], `whole` the arm's number
// of whole profile lengths, `index` and `f` the profile entry and 256ths
// (-1 below the profile, -2 beyond it).
__attribute__((target("avx2"))) inline void ArmPlaceFour(__m256d atan, __m256d d, __m256d& turned, __m256d& whole,
                                                         __m256d& index, __m256d& f) {
  const __m256d alpha = _mm256_add_pd(
      _mm256_sub_pd(_mm256_mul_pd(_mm256_xor_pd(atan, _mm256_set1_pd(-0.0)), _mm256_set1_pd(57.29577951)),
                    _mm256_set1_pd(ls.rotation)),
      _mm256_set1_pd(180));
  turned = _mm256_or_pd(_mm256_cmp_pd(alpha, _mm256_setzero_pd(), _CMP_LE_OQ),
                        _mm256_cmp_pd(alpha, _mm256_set1_pd(360), _CMP_GT_OQ));
  __m256d t = _mm256_add_pd(
      _mm256_mul_pd(_mm256_mul_pd(_mm256_set1_pd(static_cast<double>(ls.arms)), alpha), _mm256_set1_pd(0.5555555555555556)),
      _mm256_set1_pd(100));
  whole = _mm256_round_pd(_mm256_mul_pd(t, _mm256_set1_pd(0.005)), _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  t = _mm256_sub_pd(t, _mm256_mul_pd(_mm256_set1_pd(200), whole));
  if (ls.taper)
    t = _mm256_add_pd(_mm256_mul_pd(_mm256_div_pd(_mm256_sub_pd(t, _mm256_set1_pd(100)), _mm256_set1_pd(ls.wn)), d),
                      _mm256_set1_pd(100));
  const __m256d below = _mm256_cmp_pd(t, _mm256_setzero_pd(), _CMP_LT_OQ);
  const __m256d beyond = _mm256_cmp_pd(t, _mm256_set1_pd(200), _CMP_GE_OQ);
  const __m256d ip = _mm256_round_pd(t, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  const __m256d outside = _mm256_or_pd(below, beyond);
  index = _mm256_blendv_pd(ip, _mm256_blendv_pd(_mm256_set1_pd(-2), _mm256_set1_pd(-1), below), outside);
  f = _mm256_andnot_pd(outside, _mm256_round_pd(_mm256_mul_pd(_mm256_sub_pd(t, ip), _mm256_set1_pd(256)),
                                                _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC));
}

// AsterizeRow with the arc tangents four at a time, each within kAtanError
// of the library's. Between the angle's turn into (0, 360] and the arm's
// whole lengths the profile position moves one way with the angle, and the
// profile place one way with the position, so where both ends of that
// error give one turn, one number of lengths and one place, the library's
// angle gives that place too; elsewhere the pixel takes the library's.
__attribute__((target("avx2"))) void AsterizeRowFast(std::uint8_t* row, int x0, int x1, int y,
                                                     const std::uint8_t* maskRow) {
  const double v2 = ls.v2[static_cast<std::size_t>(y)];
  const double* u2 = ls.u2.data();
  const int dy = y - ls.cy;
  const __m256d down = _mm256_set1_pd(dy), eps = _mm256_set1_pd(kAtanError);
  alignas(32) double dist[4], index[4], frac[4];
  std::uint8_t* p = row;
  int x = x0;
  for (; x + 3 <= x1; x += 4, p += 16) {
    const std::uint32_t masks = static_cast<std::uint32_t>(maskRow[x - x0]) | maskRow[x - x0 + 1] |
                                maskRow[x - x0 + 2] | maskRow[x - x0 + 3];
    if (!masks) continue;
    const __m256d q = _mm256_add_pd(_mm256_loadu_pd(u2 + x), _mm256_set1_pd(v2));
    const int inside = _mm256_movemask_pd(_mm256_cmp_pd(q, _mm256_set1_pd(1), _CMP_LT_OQ));
    if (!inside) continue;
    const __m256d d = _mm256_max_pd(_mm256_sqrt_pd(q), _mm256_set1_pd(0.0001));
    const __m256d dx = _mm256_setr_pd(x - ls.cx, x + 1 - ls.cx, x + 2 - ls.cx, x + 3 - ls.cx);
    __m256d angle;
    const __m256d bad = FastAtan2Four(dx, down, angle);
    __m256d turnedLo, wholeLo, indexLo, fLo, turnedHi, wholeHi, indexHi, fHi;
    ArmPlaceFour(_mm256_sub_pd(angle, eps), d, turnedLo, wholeLo, indexLo, fLo);
    ArmPlaceFour(_mm256_add_pd(angle, eps), d, turnedHi, wholeHi, indexHi, fHi);
    const __m256d same = _mm256_and_pd(_mm256_and_pd(_mm256_cmp_pd(wholeLo, wholeHi, _CMP_EQ_OQ),
                                                     _mm256_cmp_pd(indexLo, indexHi, _CMP_EQ_OQ)),
                                       _mm256_cmp_pd(fLo, fHi, _CMP_EQ_OQ));
    const int fast = _mm256_movemask_pd(_mm256_andnot_pd(_mm256_or_pd(bad, _mm256_or_pd(turnedLo, turnedHi)), same));
    _mm256_store_pd(dist, d);
    _mm256_store_pd(index, indexLo);
    _mm256_store_pd(frac, fLo);
    for (int j = 0; j < 4; ++j) {
      const int m = maskRow[x + j - x0];
      if (!m || !(inside >> j & 1)) continue;
      int s;
      if (fast >> j & 1) {
        const int ip = static_cast<int>(index[j]);
        const int f = std::min(static_cast<int>(frac[j]), 255);
        s = ip < 0 ? 0 : (ls.profile[ip] * (256 - f) + ls.profile[ip + 1] * f) / 256;
      } else {
        s = ArmStrength(x + j - ls.cx, dy, dist[j]);
      }
      AsterizeLight(p + 4 * j, dist[j], s, m);
    }
  }
  AsterizeRowPlain(p, x, x0, x1, y, maskRow);
}
#endif

// AsterizeWorker over a row, the rows and pixels beyond the rim skipped.
void AsterizeRow(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t* maskRow) {
  if (ls.v2[static_cast<std::size_t>(y)] >= 1) return;  // no pixel of this row is inside the rim
#if defined(__x86_64__)
  if (CpuHasAvx2()) return AsterizeRowFast(row, x0, x1, y, maskRow);
#endif
  AsterizeRowPlain(row, x0, x0, x1, y, maskRow);
}

inline void AsterizeLight(std::uint8_t* p, double d, int s, int m) {
  s -= static_cast<int>(s * d);
  if (ls.centreSpot && ls.armWidthSet && d < ls.wn) s = std::max(s, Clamp0To255(static_cast<long>(285 - 255 * d / ls.wn)));
  if (s <= 0) return;
  int in[3], out[3], col[3];
  const bool alphaOnly = ls.alpha;
  Input(p, alphaOnly, in);
  LightColour(s, col);
  for (int ch = 0; ch < 3; ++ch)
    out[ch] = ls.additive ? Clamp0To255(in[ch] + col[ch] * s / 256) : Clamp0To255(((256 - s) * in[ch] + col[ch] * s) / 256);
  if (m == 255) {  // what the blend below gives at full coverage
    Output(p, alphaOnly, out);
    return;
  }
  int r[3];
  for (int ch = 0; ch < 3; ++ch) r[ch] = (in[ch] * (255 - m) + out[ch] * m) / 255;
  Output(p, alphaOnly, r);
}

// ---- Annular

int PrepareAnnular() {
  ls.profile = ProfileFor(ProfileId::Shape, kAnnularOp);
  if (!ls.profile) return 1;
  PrepareCommon(kAnnularOp);
  ls.additive = ParamValue(kAnnularOp, 4) != 0;
  return 0;
}

void AnnularLight(std::uint8_t* p, double d, int m);

void AnnularWorker(std::uint8_t* p, int x, int y, int m) {
  const double d = Distance(x, y);
  if (d >= 1) return;
  AnnularLight(p, d, m);
}

// AnnularWorker over a row.
void AnnularRow(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t* maskRow) {
  const double v2 = ls.v2[static_cast<std::size_t>(y)];
  if (v2 >= 1) return;  // the whole row is at or beyond the rim
  const double* u2 = ls.u2.data();
  std::uint8_t* p = row;
  for (int x = x0; x <= x1; ++x, p += 4) {
    const int m = maskRow[x - x0];
    if (!m) continue;
    const double q = u2[x] + v2;
    if (q < 1) AnnularLight(p, std::max(std::sqrt(q), 0.0001), m);
  }
}

void AnnularLight(std::uint8_t* p, double d, int m) {
  const int s = SampleProfile(ls.profile, d * 200);
  if (s <= 0) return;
  int in[3], out[3], col[3];
  const bool alphaOnly = ls.alpha;
  Input(p, alphaOnly, in);
  LightColour(s, col);
  const int sm = m * s / 255;
  for (int ch = 0; ch < 3; ++ch)
    out[ch] = ls.additive ? Clamp0To255(in[ch] + col[ch] * sm / 256) : Clamp0To255(((256 - sm) * in[ch] + col[ch] * sm) / 256);
  Output(p, alphaOnly, out);
}

// ---- Shine

struct ShineSettings {
  int width = 5, height = 20;
  long amount = 100, threshold = 0;
  // Bright masked pixels of the undo copy, packed R | G << 8 | B << 16 with
  // bit 24 set; 0 for the others. Made before the first pixel.
  std::uint32_t* bright = nullptr;
  int left = 0, top = 0, w = 0, h = 0;
  // Set once the plane is made; rows on other threads wait for it on the lock.
  std::atomic<bool> made{false};
  std::mutex making;
  // The weight of a tap |dx| across (|dy| down) from the pixel.
  std::vector<long> across, down;
  // Per row of the plane, its first and last bright column from sh.left
  // (first > last: none), so that ShineRow skips what adds nothing.
  std::vector<int> firstBright, lastBright;
  bool byRows = false;           // ShineRow sums from the plane
  std::vector<std::int32_t> acc;  // ShineRow's four sums per column of the box
};
ShineSettings sh;

void FreeShinePlane() {
  sh.bright = static_cast<std::uint32_t*>(FreeReal(sh.bright, "shpl"));
  sh.made.store(false);
}

int PrepareShine() {
  FreeShinePlane();
  sh.byRows = false;
  sh.width = std::clamp(ParamValue(kShine, 0), 0, 4000);
  sh.height = std::clamp(ParamValue(kShine, 1), 0, 4000);
  sh.amount = ParamValue(kShine, 2);
  if (sh.amount == 0 || (sh.width == 0 && sh.height == 0)) return NoChangeCancel();
  sh.threshold = ParamValue(kShine, 3) * 768L / 100;
  const long wd = sh.width == 0 ? 1 : sh.width, ht = sh.height == 0 ? 1 : sh.height;
  sh.across.resize(static_cast<std::size_t>(sh.width) + 1);
  sh.down.resize(static_cast<std::size_t>(sh.height) + 1);
  for (int d = 0; d <= sh.width; ++d) sh.across[static_cast<std::size_t>(d)] = (sh.width - d) * 100 / wd;
  for (int d = 0; d <= sh.height; ++d) sh.down[static_cast<std::size_t>(d)] = (sh.height - d) * 100 / ht;
  return 0;
}

// The plane of bright masked pixels over the copy.
void MakeShinePlane(const ApplyContext& c) {
  CopyView copy(c.undo);
  sh.left = copy.left, sh.top = copy.top, sh.w = copy.width, sh.h = copy.height;
  if (!copy.pixels) return;
  sh.bright = AllocRealArray<std::uint32_t>(static_cast<std::int64_t>(sh.w) * sh.h, "shpl");
  if (!sh.bright) return;  // each tap is then read from the copy itself
  const int width = c.image->width;
  sh.firstBright.assign(static_cast<std::size_t>(sh.h), sh.w);
  sh.lastBright.assign(static_cast<std::size_t>(sh.h), -1);
  for (int y = 0; y < sh.h; ++y) {
    const std::uint8_t* s = copy.At(sh.left, sh.top + y);
    const std::uint8_t* mask = c.mask + static_cast<std::size_t>(sh.top + y) * width + sh.left;
    std::uint32_t* out = sh.bright + static_cast<std::size_t>(y) * sh.w;
    int first = sh.w, last = -1;
    for (int x = 0; x < sh.w; ++x, s += 4) {
      const int v[3] = {c.affectAlpha ? s[3] : s[0], c.affectAlpha ? s[3] : s[1], c.affectAlpha ? s[3] : s[2]};
      const bool bright = mask[x] != 0 && v[0] + v[1] + v[2] > sh.threshold;
      out[x] = bright ? 0x1000000u | v[0] | v[1] << 8 | v[2] << 16 : 0;
      if (bright) {
        first = std::min(first, x);
        last = x;
      }
    }
    sh.firstBright[static_cast<std::size_t>(y)] = first;
    sh.lastBright[static_cast<std::size_t>(y)] = last;
  }
}

// The bright pixel at (x, y) of the copy (bit 24 set), or 0, read from the
// copy itself when there was no memory for the plane.
inline std::uint32_t Tap(const ApplyContext& c, int x, int y) {
  if (!c.mask[static_cast<std::size_t>(y) * c.image->width + x]) return 0;
  const CopyView copy(c.undo);
  const std::uint8_t* s = copy.At(x, y);
  const int v[3] = {c.affectAlpha ? s[3] : s[0], c.affectAlpha ? s[3] : s[1], c.affectAlpha ? s[3] : s[2]};
  return v[0] + v[1] + v[2] > sh.threshold ? 0x1000000u | v[0] | v[1] << 8 | v[2] << 16 : 0;
}

void ShineWorker(std::uint8_t* p, int x, int y, int) {
  const ApplyContext& c = Ctx();
  if (!sh.made.load(std::memory_order_acquire)) {
    const std::lock_guard<std::mutex> hold(sh.making);
    if (!sh.made.load(std::memory_order_relaxed)) {
      MakeShinePlane(c);
      sh.made.store(true, std::memory_order_release);
    }
  }
  long sumW = 0, sum[3] = {0, 0, 0};
  auto add = [&](std::uint32_t v, long w) {
    sumW += w;
    sum[0] += w * static_cast<long>(v & 255);
    sum[1] += w * static_cast<long>((v >> 8) & 255);
    sum[2] += w * static_cast<long>((v >> 16) & 255);
  };
  const long* across = sh.across.data();
  const long* down = sh.down.data();
  // The taps that lie in the copy.
  const int xa = std::max(x - sh.width, sh.left), xb = std::min(x + sh.width, sh.left + sh.w - 1);
  const int ya = std::max(y - sh.height, sh.top), yb = std::min(y + sh.height, sh.top + sh.h - 1);
  if (sh.bright) {
    const std::uint32_t* row = sh.bright + static_cast<std::size_t>(y - sh.top) * sh.w - sh.left;
    for (int xx = xa; xx <= xb; ++xx)
      if (const std::uint32_t v = row[xx]) add(v, across[std::abs(xx - x)]);
    const std::uint32_t* column = sh.bright + (x - sh.left);
    for (int yy = ya; yy <= yb; ++yy)
      if (const std::uint32_t v = column[static_cast<std::size_t>(yy - sh.top) * sh.w])
        add(v, down[std::abs(yy - y)]);
  } else {
    for (int xx = xa; xx <= xb; ++xx)
      if (const std::uint32_t v = Tap(c, xx, y)) add(v, across[std::abs(xx - x)]);
    for (int yy = ya; yy <= yb; ++yy)
      if (const std::uint32_t v = Tap(c, x, yy)) add(v, down[std::abs(yy - y)]);
  }
  if (sumW < 1) return;
  const long a = sh.amount * 255 / 100, n = sh.width + sh.height;
  int old[3], out[3];
  Input(p, c.affectAlpha, old);
  for (int k = 0; k < 3; ++k) {
    const long cc = (sum[k] + old[k] * n) / (sumW + n);
    out[k] = Clamp0To255((cc * a + old[k] * (255 - a)) / 255);
  }
  Output(p, c.affectAlpha, out);
}


// Adds w times the taps from `row` to the four sums of `count` pixels that
// start at `acc`, each sum `stride` entries after the one before.
inline void AddTaps(std::int32_t* __restrict acc, int stride, int count, const std::uint32_t* __restrict row,
                    std::int32_t w) {
  std::int32_t* __restrict s0 = acc;
  std::int32_t* __restrict s1 = acc + stride;
  std::int32_t* __restrict s2 = acc + 2 * stride;
  std::int32_t* __restrict sw = acc + 3 * stride;
  for (int i = 0; i < count; ++i) {
    const std::uint32_t v = row[i];
    s0[i] += w * static_cast<std::int32_t>(v & 255);
    s1[i] += w * static_cast<std::int32_t>((v >> 8) & 255);
    s2[i] += w * static_cast<std::int32_t>((v >> 16) & 255);
    sw[i] += w * static_cast<std::int32_t>(v >> 24);
  }
}

// ShineWorker's bytes over a row: the taps summed across the whole row one
// offset at a time, and only where a row of the plane has bright pixels.
// The sums are of integers, so their order does not matter. (At most
// 255 x 100 for each of 2 x 4000 + 2 taps: they stay within 32 bits.)
void ShineRow(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t* maskRow) {
  const ApplyContext& c = Ctx();
  if (y == c.y0) {
    if (!sh.made.load()) {
      MakeShinePlane(c);
      sh.made.store(true);
    }
    sh.byRows = sh.bright && x0 >= sh.left && x1 < sh.left + sh.w && c.y0 >= sh.top && c.y1 < sh.top + sh.h;
    if (sh.byRows) sh.acc.resize(static_cast<std::size_t>(x1 - x0 + 1) * 4);
  }
  if (!sh.byRows) {
    std::uint8_t* p = row;
    for (int x = x0; x <= x1; ++x, p += 4) ShineWorker(p, x, y, maskRow[x - x0]);
    return;
  }
  const int count = x1 - x0 + 1, W = sh.width, from = x0 - sh.left;
  std::int32_t* acc = sh.acc.data();
  std::fill(acc, acc + 4 * count, 0);
  // Across: plane column from + i + k is tap k of pixel i.
  {
    const std::size_t r = static_cast<std::size_t>(y - sh.top);
    const std::uint32_t* plane = sh.bright + r * sh.w;
    for (int k = -W; k <= W; ++k) {
      const int ia = std::max(sh.firstBright[r] - from - k, 0), ib = std::min(sh.lastBright[r] - from - k, count - 1);
      if (ia > ib) continue;
      AddTaps(acc + ia, count, ib - ia + 1, plane + from + ia + k,
              static_cast<std::int32_t>(sh.across[static_cast<std::size_t>(std::abs(k))]));
    }
  }
  // Down: plane column from + i of each row reached.
  const int ya = std::max(y - sh.height, sh.top), yb = std::min(y + sh.height, sh.top + sh.h - 1);
  for (int yy = ya; yy <= yb; ++yy) {
    const std::size_t r = static_cast<std::size_t>(yy - sh.top);
    const int ia = std::max(sh.firstBright[r] - from, 0), ib = std::min(sh.lastBright[r] - from, count - 1);
    if (ia > ib) continue;
    AddTaps(acc + ia, count, ib - ia + 1, sh.bright + r * sh.w + from + ia,
            static_cast<std::int32_t>(sh.down[static_cast<std::size_t>(std::abs(yy - y))]));
  }
  const long a = sh.amount * 255 / 100, n = sh.width + sh.height;
  const bool alpha = c.affectAlpha;
  std::uint8_t* p = row;
  for (int i = 0; i < count; ++i, p += 4) {
    const long sumW = acc[i + 3 * count];
    if (sumW < 1) continue;
    const long sum[3] = {acc[i], acc[i + count], acc[i + 2 * count]};
    int old[3], out[3];
    Input(p, alpha, old);
    for (int k = 0; k < 3; ++k) {
      const long cc = (sum[k] + old[k] * n) / (sumW + n);
      out[k] = Clamp0To255((cc * a + old[k] * (255 - a)) / 255);
    }
    Output(p, alpha, out);
  }
}

void FinishShine() {
  FreeShinePlane();
  sh.byRows = false;
  sh.acc = {};
}

// ---- Presets

using Curve = std::array<std::int16_t, kProfileLength>;

Curve Mirrored(int (*half)(int)) {
  Curve p{};
  for (int i = 0; i <= 100; ++i) p[i] = p[200 - i] = static_cast<std::int16_t>(Clamp0To255(half(i)));
  return p;
}
Curve Each(int (*f)(int)) {
  Curve p{};
  for (int i = 0; i < kProfileLength; ++i) p[i] = static_cast<std::int16_t>(Clamp0To255(f(i)));
  return p;
}
Curve SolarFlare() {
  Curve p{};
  Srand(5);
  for (int i = 0; i < kProfileLength; ++i) p[i] = static_cast<std::int16_t>(Rand() & 255);
  return p;
}

struct AsterizePreset {
  std::string_view name;
  Curve (*curve)();
  int taper, arms, rotation, saturation, armWidth;
};
const AsterizePreset kAsterizePresets[] = {
    {"Vert Glare", [] { return Mirrored([](int i) { return 255 - (100 - i) * (100 - i) * 255 / 10000; }); }, 1, 2, 0, 50, 10},
    {"Four Star", [] { return DefaultProfile(); }, 1, 4, 0, 0, 10},
    {"Hex Lens", [] { return Mirrored([](int i) { return i * 255 / 100; }); }, 1, 6, 30, 0, 10},
    {"Oct Lens", [] { return Mirrored([](int i) { return i * 255 / 100; }); }, 0, 8, 0, 0, 10},
    {"Solar Flare", SolarFlare, 0, 1, 0, 0, 5},
    {"Even Glow", [] { return Each([](int) { return 127; }); }, 0, 1, 0, 50, 50},
    {"Sparkle",
     [] {
       return Each([](int i) {
         if (i < 51 || i >= 125) return 0;
         return i <= 100 ? 255 - std::abs(75 - i) * 10 : 255 - std::abs(112 - i) * 20;
       });
     },
     0, 20, 9, 0, 10},
    {"Flash", [] { return Each([](int i) { return std::max(0, 255 - std::abs(100 - i) * 4); }); }, 0, 10, 18, 10, 10},
};

struct AnnularPreset {
  std::string_view name;
  Curve (*curve)();
  int saturation;
  int colour[3];  // -1: left as it is
  int additive;   // -1: left as it is
};
const AnnularPreset kAnnularPresets[] = {
    {"Even Glow", [] { return Each([](int i) { return 255 - 255 * i / 200; }); }, 50, {-1, -1, -1}, -1},
    {"Flat Glare", [] { return Each([](int) { return 96; }); }, 50, {-1, -1, -1}, -1},
    {"Bright Ring",
     [] {
       return Each([](int i) {
         if (i < 150) return 0;
         if (i < 170) return 255 * (i - 150) / 20;
         if (i < 180) return 255;
         return 255 * (200 - i) / 20;
       });
     },
     0, {-1, -1, -1}, -1},
    {"Halo", [] { return Mirrored([](int i) { return i * 255 / 100; }); }, 0, {-1, -1, -1}, -1},
    {"Milk Ripples",
     [] {
       return Each([](int i) {
         int k = i % 40;
         if (k > 30) k = (40 - k) * 3;
         return (255 - (30 - k) * (30 - k) * 255 / 900) * (400 - i) / 400;
       });
     },
     20, {255, 76, 76}, -1},
    {"St Elmo's Fire",
     [] {
       return Each([](int i) {
         const int e = std::abs(i - 50);
         return (75 - e * e * 75 / (i < 50 ? 2500 : 22500)) * 2;
       });
     },
     0, {92, 92, 240}, 1},
};

constexpr std::string_view kAsterizePresetNames[] = {"Vert Glare", "Four Star",   "Hex Lens", "Oct Lens",
                                                     "Solar Flare", "Even Glow", "Sparkle",  "Flash"};
constexpr std::string_view kAnnularPresetNames[] = {"Even Glow", "Flat Glare",   "Bright Ring",
                                                    "Halo",      "Milk Ripples", "St Elmo's Fire"};

int StoreCurve(ProfileId id, OpId op, const Curve& curve) {
  std::int16_t* p = EnsureProfile(id);
  if (!p) {
    ShowMessageWith(kMessageNoMemory, std::string(LoadString(static_cast<int>(op))));
    return 1;
  }
  std::copy(curve.begin(), curve.end(), p);
  return 0;
}

}  // namespace

int DrawProfileLine(ProfileId id, int i0, int v0, int i1, int v1) {
  const bool fresh = !FindProfile(id);
  std::int16_t* p = EnsureProfile(id);
  if (!p) return 1;
  // A Refract curve never drawn changes nothing; drawing starts from that.
  if (fresh && IsRefractCurve(id))
    for (int i = 0; i < kProfileLength; ++i) p[i] = static_cast<std::int16_t>(RefractIdentity(id, i));
  const int maximum = InfoOf(id).maximum;
  i0 = std::clamp(i0, 0, kProfileLength - 1);
  i1 = std::clamp(i1, 0, kProfileLength - 1);
  if (i1 < i0) {
    std::swap(i0, i1);
    std::swap(v0, v1);
  }
  for (int i = i0; i <= i1; ++i) {
    const long v = i1 == i0 ? v1 : v0 + static_cast<long>(v1 - v0) * (i - i0) / (i1 - i0);
    p[i] = static_cast<std::int16_t>(std::clamp<long>(v, 0, maximum));
  }
  return 0;
}

bool ProfileOf(OpId op, ProfileId& id, std::string_view& title) {
  if (op == kAsterizeOp) {
    id = ProfileId::Arm;
    title = "Asterize Arm Profile";
    return true;
  }
  if (op == kAnnularOp) {
    id = ProfileId::Shape;
    title = "Annular Radial Profile";
    return true;
  }
  if (op == kRefractOp) {
    id = ProfileId::CcL;  // the one that shapes the glass first
    title = "Refract Color Curves";
    return true;
  }
  return false;
}

int SampleProfile(const std::int16_t* profile, double t) {
  if (!(t >= 0 && t < 200)) return 0;
  const int ip = static_cast<int>(t);
  const int f = std::min(std::abs(static_cast<int>((t - ip) * 256)), 255);
  return (profile[ip] * (256 - f) + profile[ip + 1] * f) / 256;
}

void EdgeAndPeak(OpId op, int edge[3], int peak[3]) {
  const long sat = ParamValue(op, 3);
  for (int k = 0; k < 3; ++k) {
    edge[k] = Clamp0To255(ParamValue(op, k));
    peak[k] = Clamp0To255(((edge[k] - 255) * sat + 25500) / 100);
  }
}

std::span<const std::string_view> PresetNames(OpId op) {
  if (op == kAsterizeOp) return kAsterizePresetNames;
  if (op == kAnnularOp) return kAnnularPresetNames;
  return {};
}

int ApplyPreset(OpId op, std::string_view name) {
  if (op == kAsterizeOp) {
    for (const AsterizePreset& p : kAsterizePresets) {
      if (!EqualsNoCase(p.name, name)) continue;
      if (StoreCurve(ProfileId::Arm, op, p.curve()) != 0) return 1;
      SetParamValue(op, 9, p.taper);
      SetParamValue(op, 6, p.arms);
      SetParamValue(op, 5, p.rotation);
      SetParamValue(op, 3, p.saturation);
      SetParamValue(op, 4, p.armWidth);
      RefreshOperationSettings();
      return 0;
    }
  } else if (op == kAnnularOp) {
    for (const AnnularPreset& p : kAnnularPresets) {
      if (!EqualsNoCase(p.name, name)) continue;
      if (StoreCurve(ProfileId::Shape, op, p.curve()) != 0) return 1;
      SetParamValue(op, 3, p.saturation);
      for (int k = 0; k < 3; ++k)
        if (p.colour[k] >= 0) SetParamValue(op, k, p.colour[k]);
      if (p.additive >= 0) SetParamValue(op, 4, p.additive);
      RefreshOperationSettings();
      return 0;
    }
  }
  return 1;
}

std::span<const OpRoutineEntry> LightingOperationRoutines() {
  static const std::vector<OpRoutineEntry> table = [] {
    OpRoutines asterize, annular, shine;
    asterize.prepare = PrepareAsterize;
    asterize.pixelWorker = AsterizeWorker;
    asterize.rowWorker = AsterizeRow;
    annular.prepare = PrepareAnnular;
    annular.pixelWorker = AnnularWorker;
    annular.rowWorker = AnnularRow;
    shine.prepare = PrepareShine;
    shine.pixelWorker = ShineWorker;
    shine.rowWorker = ShineRow;
    shine.finish = FinishShine;
    std::vector<OpRoutineEntry> t = {{kAsterizeOp, asterize}, {kAnnularOp, annular}, {kShine, shine}};
    auto refract = RefractRoutines();
    t.insert(t.end(), refract.begin(), refract.end());
    auto plasma = PlasmaOperationRoutines();
    t.insert(t.end(), plasma.begin(), plasma.end());
    return t;
  }();
  return table;
}

}  // namespace qv
