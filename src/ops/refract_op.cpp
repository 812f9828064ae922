// Refract: the selection seen through a sheet of moulded glass. The glass
// is thick where the picture is light (or as the "Cc" colour curves and the
// "Cp" position curves shape it), and each pixel shows the picture a little
// to one side, as far as the glass slopes there, in the direction of its
// slope turned by "Rotation". The "Rc" curves then recolour what is seen
// through the glass and the "Rp" curves say, by position, how much of it
// replaces the pixel.
//
// Curves are read as functions over 0..200: a colour's hue (0..360), its
// saturation and lightness (0..100) scaled onto that range, or a position:
// the angle around the selection's centre ("H"), the distance from the
// centre in radii up to the rim ("S") and the height from the selection's
// top to its bottom ("L"). A curve never drawn changes nothing: the colour
// curves leave their channel as it is, the position curves count 100 %.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>
#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/cpu_features.h"
#include "base/colour_space.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "ops/apply.h"
#include "ops/bilinear.h"
#include "ops/effect_support.h"
#include "ops/glass_flame_ops.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace qv {
namespace {

constexpr int kMessageNoMemory = 22;
constexpr double kPi = 3.14159265358979323846;

// The curves in the order of ProfileId from CcH.
enum Curve { kCcH, kCcS, kCcL, kCpH, kCpS, kCpL, kRcH, kRcS, kRcL, kRpH, kRpS, kRpL, kCurves };

struct Glass {
  const std::int16_t* curve[kCurves] = {};
  std::int32_t maximum[kCurves] = {};
  // The picture as it was, over every place an offset can reach.
  std::uint8_t* pixels = nullptr;  // "refr"
  std::vector<std::uint32_t> rows;
  PixelPlane plane;
  // The glass's thickness (0..255) over the box widened by the slope span.
  std::uint8_t* thick = nullptr;  // "refT"
  int tx = 0, ty = 0, tw = 0, th = 0;
  int span = 1;                   // slopes are measured across 2 x span pixels
  double scale = 0, cosR = 1, sinR = 0;
  double cx = 0, cy = 0, rx = 1, ry = 1, top = 0, height = 1;
  bool alpha = false;
  bool recolour = false;          // some Rc curve exists
  bool mixByPosition = false;     // some Rp curve exists
};
Glass gl;

void FreeGlass() {
  gl.pixels = static_cast<std::uint8_t*>(FreeReal(gl.pixels, "refr"));
  gl.thick = static_cast<std::uint8_t*>(FreeReal(gl.thick, "refT"));
  gl.rows.clear();
  gl.plane = {};
}

// A curve's value at t (0..200, between its points by straight lines),
// kept within the curve's range whatever a settings file put there.
double CurveAt(Curve k, double t) {
  const std::int16_t* p = gl.curve[k];
  t = std::clamp(t, 0.0, 200.0);
  const int i = std::min(static_cast<int>(t), 199);
  const double f = t - i;
  const double lo = std::clamp<double>(p[i], 0, gl.maximum[k]);
  const double hi = std::clamp<double>(p[i + 1], 0, gl.maximum[k]);
  return lo + (hi - lo) * f;
}

// 0..1: how much the position curves from `first` (H, S, L) let through.
double PositionWeight(Curve first, double x, double y) {
  double w = 1;
  if (gl.curve[first]) {
    double a = std::atan2(y - gl.cy, x - gl.cx) * (180 / kPi);
    if (a < 0) a += 360;
    w *= CurveAt(first, a * 200 / 360) / 100;
  }
  if (gl.curve[first + 1]) {
    const double u = (x - gl.cx) / gl.rx, v = (y - gl.cy) / gl.ry;
    w *= CurveAt(static_cast<Curve>(first + 1), std::min(std::sqrt(u * u + v * v), 1.0) * 200) / 100;
  }
  if (gl.curve[first + 2]) w *= CurveAt(static_cast<Curve>(first + 2), (y - gl.top) / gl.height * 200) / 100;
  return w;
}

// The glass's thickness under one pixel of the picture as it was.
int Thickness(const std::uint8_t* p, int x, int y) {
  const Hsl c = gl.alpha ? RgbToHsl(p[3], p[3], p[3]) : RgbToHsl(p[0], p[1], p[2]);
  double sum = gl.curve[kCcL] ? CurveAt(kCcL, c.l * 2) : c.l * 2.55;
  int terms = 1;
  if (gl.curve[kCcH]) sum += CurveAt(kCcH, c.h * 200.0 / 360) * 255 / 360, ++terms;
  if (gl.curve[kCcS]) sum += CurveAt(kCcS, c.s * 2), ++terms;
  const double t = sum / terms * PositionWeight(kCpH, x, y);
  return static_cast<int>(std::lround(std::clamp(t, 0.0, 255.0)));
}

int NoMemory() {
  FreeGlass();
  ShowMessageWith(kMessageNoMemory, std::string(LoadString(static_cast<int>(kRefractOp))));
  return 1;
}

int PrepareRefract() {
  FreeGlass();
  const ApplyContext& c = Ctx();
  ImageRecord* image = c.image;
  if (!image) return 1;
  for (int k = 0; k < kCurves; ++k) {
    const ProfileId id = static_cast<ProfileId>(static_cast<int>(ProfileId::CcH) + k);
    gl.curve[k] = FindProfile(id);
    gl.maximum[k] = InfoOf(id).maximum;
  }
  gl.recolour = gl.curve[kRcH] || gl.curve[kRcS] || gl.curve[kRcL];
  gl.mixByPosition = gl.curve[kRpH] || gl.curve[kRpS] || gl.curve[kRpL];
  gl.alpha = c.affectAlpha;
  gl.cx = c.cx;
  gl.cy = c.cy;
  gl.rx = c.rx == 0 ? 1 : std::abs(c.rx);
  gl.ry = c.ry == 0 ? 1 : std::abs(c.ry);
  gl.top = std::min(c.sy0, c.sy1);
  gl.height = std::max(std::abs(c.sy1 - c.sy0), 1);
  // Bigger selections get broader glass, so the effect keeps its look when
  // the same settings are applied to a larger picture.
  gl.span = static_cast<int>(std::clamp(std::min(gl.rx, gl.ry) / 24, 1.0, 64.0));
  gl.scale = 3.0 * gl.span / 255;
  const double turn = std::fmod(static_cast<double>(ParamValue(kRefractOp, 0)), 360.0) * kPi / 180;
  gl.cosR = std::cos(turn);
  gl.sinR = std::sin(turn);

  // The farthest an offset reaches: a slope of 255 both ways.
  const int reach = static_cast<int>(std::ceil(255 * gl.scale * std::sqrt(2.0))) + 2;
  const int px0 = std::max(c.x0 - reach, 0), py0 = std::max(c.y0 - reach, 0);
  const int px1 = std::min(c.x1 + reach, image->width - 1), py1 = std::min(c.y1 + reach, image->height - 1);
  const int pw = px1 - px0 + 1, ph = py1 - py0 + 1;
  gl.pixels = AllocRealArray<std::uint8_t>(std::int64_t{pw} * ph * 4, "refr");
  gl.tx = std::max(c.x0 - gl.span, 0);
  gl.ty = std::max(c.y0 - gl.span, 0);
  gl.tw = std::min(c.x1 + gl.span, image->width - 1) - gl.tx + 1;
  gl.th = std::min(c.y1 + gl.span, image->height - 1) - gl.ty + 1;
  gl.thick = AllocRealArray<std::uint8_t>(std::int64_t{gl.tw} * gl.th, "refT");
  if (!gl.pixels || !gl.thick) return NoMemory();
  gl.rows.resize(static_cast<std::size_t>(ph));
  for (int y = 0; y < ph; ++y) gl.rows[static_cast<std::size_t>(y)] = static_cast<std::uint32_t>(y * pw);

  if (LockImage(image) != 0) return NoMemory();
  for (int y = 0; y < ph; ++y)
    std::memcpy(gl.pixels + std::size_t(y) * pw * 4, PixelAt(image, px0, py0 + y), std::size_t(pw) * 4);
  if (!gl.curve[kCcH] && !gl.curve[kCcS] && !gl.curve[kCpH] && !gl.curve[kCpS] && !gl.curve[kCpL]) {
    // Without hue, saturation or position curves the thickness depends on
    // the lightness alone, which is fixed by the largest plus the smallest
    // channel: one table of Thickness over that sum. Affect-alpha reads the
    // alpha as all three channels, a sum of twice it.
    std::uint8_t bySum[511];
    for (int sum = 0; sum <= 510; ++sum) {
      const std::uint8_t grey[4] = {static_cast<std::uint8_t>((sum + 1) / 2), static_cast<std::uint8_t>(sum / 2),
                                    static_cast<std::uint8_t>(sum / 2), static_cast<std::uint8_t>(sum / 2)};
      bySum[sum] = static_cast<std::uint8_t>(Thickness(grey, 0, 0));
    }
    for (int y = 0; y < gl.th; ++y) {
      const std::uint8_t* p = PixelAt(image, gl.tx, gl.ty + y);
      std::uint8_t* out = gl.thick + std::size_t(y) * gl.tw;
      if (gl.alpha) {
        for (int x = 0; x < gl.tw; ++x, p += 4) out[x] = bySum[2 * p[3]];
      } else {
        for (int x = 0; x < gl.tw; ++x, p += 4)
          out[x] = bySum[std::max({p[0], p[1], p[2]}) + std::min({p[0], p[1], p[2]})];
      }
    }
  } else {
    for (int y = 0; y < gl.th; ++y)
      for (int x = 0; x < gl.tw; ++x)
        gl.thick[std::size_t(y) * gl.tw + x] =
            static_cast<std::uint8_t>(Thickness(PixelAt(image, gl.tx + x, gl.ty + y), gl.tx + x, gl.ty + y));
  }
  UnlockImage(image);
  gl.plane = {gl.pixels, gl.rows.data(), px0, py0, pw, ph};
  return 0;
}

inline int ThickAt(int x, int y) {
  x = std::clamp(x - gl.tx, 0, gl.tw - 1);
  y = std::clamp(y - gl.ty, 0, gl.th - 1);
  return gl.thick[std::size_t(y) * gl.tw + x];
}

// What the glass shows: the seen colour through the Rc curves.
void Recolour(std::uint8_t seen[4]) {
  if (gl.alpha) {
    if (gl.curve[kRcL]) seen[3] = static_cast<std::uint8_t>(std::lround(CurveAt(kRcL, seen[3] * 200.0 / 255)));
    return;
  }
  const Hsl c = RgbToHsl(seen[0], seen[1], seen[2]);
  Hsl out = c;
  if (gl.curve[kRcH]) out.h = static_cast<int>(std::lround(CurveAt(kRcH, c.h * 200.0 / 360)));
  if (gl.curve[kRcS]) out.s = static_cast<int>(std::lround(CurveAt(kRcS, c.s * 2) * 100 / 255));
  if (gl.curve[kRcL]) out.l = static_cast<int>(std::lround(CurveAt(kRcL, c.l * 2) * 100 / 255));
  const RgbColour rgb = HslToRgb(out, RgbColour{seen[0], seen[1], seen[2]});
  seen[0] = static_cast<std::uint8_t>(Clamp0To255(rgb.r));
  seen[1] = static_cast<std::uint8_t>(Clamp0To255(rgb.g));
  seen[2] = static_cast<std::uint8_t>(Clamp0To255(rgb.b));
}

// The pixel through glass of slopes gx across and gy down.
void Refracted(std::uint8_t* p, int x, int y, int m, int gx, int gy);

// Reads only what Prepare made, so rows may run on several threads.
void RefractWorker(std::uint8_t* p, int x, int y, int m) {
  const int gx = ThickAt(x + gl.span, y) - ThickAt(x - gl.span, y);
  const int gy = ThickAt(x, y + gl.span) - ThickAt(x, y - gl.span);
  Refracted(p, x, y, m, gx, gy);
}

// The seen colour through the Rc curves, mixed into the pixel by position
// and mask.
void Mix(std::uint8_t* p, int x, int y, int m, std::uint8_t seen[4]) {
  if (gl.recolour) Recolour(seen);
  const double w = gl.mixByPosition ? PositionWeight(kRpH, x, y) : 1;
  const int first = gl.alpha ? 3 : 0, last = gl.alpha ? 3 : 2;
  for (int k = first; k <= last; ++k) {
    const int mixed = w >= 1 ? seen[k] : static_cast<int>(std::lround(p[k] + (seen[k] - p[k]) * w));
    p[k] = static_cast<std::uint8_t>((mixed * m + p[k] * (255 - m)) / 255);
  }
}

// The offset pixels seen, sampled, into a run of the row: Mix where there
// are curves, else the mask's blend inline (Mix's own bytes). Pixels whose
// glass is flat are left to `Refracted` when curves may change them.
inline void MixRun(std::uint8_t* row, int x0, int y, const std::uint8_t* maskRow, const int* at, int n,
                   std::uint8_t* seen, const std::uint8_t* valid) {
  const bool flatKeeps = !gl.recolour && !gl.mixByPosition, alpha = gl.alpha;
  for (int i = 0; i < n; ++i) {
    std::uint8_t* p = row + std::size_t(at[i] - x0) * 4;
    std::uint8_t* s = seen + 4 * i;
    if (!valid[i]) std::copy(p, p + 4, s);
    const int m = maskRow[at[i] - x0];
    if (!flatKeeps) {
      Mix(p, at[i], y, m, s);
    } else if (alpha) {
      p[3] = static_cast<std::uint8_t>((s[3] * m + p[3] * (255 - m)) / 255);
    } else if (m == 255) {  // what Mix gives at full coverage without curves
      p[0] = s[0], p[1] = s[1], p[2] = s[2];
    } else {
      for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>((s[k] * m + p[k] * (255 - m)) / 255);
    }
  }
}

// The glass's slope along one row: read straight from the thickness map
// where the four thicknesses lie in it, else through ThickAt's clamping.
struct RowSlopes {
  int y, span;
  bool rowsIn;
  std::ptrdiff_t down;
  const std::uint8_t* thick;
  int xa, xb;  // columns whose slope is inside across
  explicit RowSlopes(int row)
      : y(row),
        span(gl.span),
        rowsIn(row - gl.ty - gl.span >= 0 && row - gl.ty + gl.span < gl.th),
        down(static_cast<std::ptrdiff_t>(gl.span) * gl.tw),
        thick(rowsIn ? gl.thick + static_cast<std::ptrdiff_t>(row - gl.ty) * gl.tw : nullptr),
        xa(gl.tx + gl.span),
        xb(gl.tx + gl.tw - 1 - gl.span) {}
  void At(int x, int& gx, int& gy) const {
    if (rowsIn && x >= xa && x <= xb) {
      const std::uint8_t* t = thick + (x - gl.tx);
      gx = t[span] - t[-span];
      gy = t[down] - t[-down];
    } else {
      gx = ThickAt(x + span, y) - ThickAt(x - span, y);
      gy = ThickAt(x, y + span) - ThickAt(x, y - span);
    }
  }
};

constexpr int kRun = 256;

// RefractWorker over a row: where the slope's four thicknesses all lie in
// the map they are read without clamping each one, and the offset pixels
// are sampled a run at a time. Flat glass with neither Rc nor Rp curves
// leaves a pixel as it is (its own colour mixed into itself), so it is
// passed over.
void RefractRowPlain(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t* maskRow) {
  const RowSlopes slopes(y);
  const bool flatKeeps = !gl.recolour && !gl.mixByPosition;
  double sx[kRun], sy[kRun];
  int at[kRun];
  std::uint8_t seen[kRun * 4], valid[kRun];
  for (int start = x0; start <= x1; start += kRun) {
    const int end = std::min(x1, start + kRun - 1);
    int n = 0;
    for (int x = start; x <= end; ++x) {
      const int m = maskRow[x - x0];
      if (!m) continue;
      int gx, gy;
      slopes.At(x, gx, gy);
      if (gx == 0 && gy == 0) {
        if (!flatKeeps) Refracted(row + std::size_t(x - x0) * 4, x, y, m, 0, 0);
        continue;
      }
      sx[n] = x + (gx * gl.cosR - gy * gl.sinR) * gl.scale;
      sy[n] = y + (gx * gl.sinR + gy * gl.cosR) * gl.scale;
      at[n++] = x;
    }
    SampleRun(gl.plane, sx, sy, n, seen, valid);
    MixRun(row, x0, y, maskRow, at, n, seen, valid);
  }
}

#if defined(__x86_64__)
// Four thicknesses as whole numbers.
__attribute__((target("avx2"))) inline __m128i Bytes4(const std::uint8_t* q) {
  std::int32_t v;
  std::memcpy(&v, q, 4);
  return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(v));
}

// RefractRowPlain with the slopes and offsets four pixels at a time where
// their thicknesses lie in the map: the same operations in the same order.
__attribute__((target("avx2"))) void RefractRowFast(std::uint8_t* row, int x0, int x1, int y,
                                                    const std::uint8_t* maskRow) {
  const RowSlopes slopes(y);
  const bool rowsIn = slopes.rowsIn;
  const int span = slopes.span, xa = slopes.xa, xb = slopes.xb;
  const std::ptrdiff_t down = slopes.down;
  const std::uint8_t* thick = slopes.thick;
  const bool flatKeeps = !gl.recolour && !gl.mixByPosition;
  const __m256d cosR = _mm256_set1_pd(gl.cosR), sinR = _mm256_set1_pd(gl.sinR), scale = _mm256_set1_pd(gl.scale);
  const __m256d down0 = _mm256_set1_pd(y);
  alignas(32) double sx[kRun], sy[kRun];
  alignas(16) int gxs[4], gys[4];
  int at[kRun];
  std::uint8_t seen[kRun * 4], valid[kRun];
  for (int start = x0; start <= x1; start += kRun) {
    const int end = std::min(x1, start + kRun - 1);
    int n = 0;
    int x = start;
    while (x <= end) {
      if (rowsIn && x >= xa && x + 3 <= xb && x + 3 <= end) {
        const std::uint8_t* t = thick + (x - gl.tx);
        const __m128i gx = _mm_sub_epi32(Bytes4(t + span), Bytes4(t - span));
        const __m128i gy = _mm_sub_epi32(Bytes4(t + down), Bytes4(t - down));
        const __m256d gxd = _mm256_cvtepi32_pd(gx), gyd = _mm256_cvtepi32_pd(gy);
        const __m256d ox = _mm256_mul_pd(_mm256_sub_pd(_mm256_mul_pd(gxd, cosR), _mm256_mul_pd(gyd, sinR)), scale);
        const __m256d oy = _mm256_mul_pd(_mm256_add_pd(_mm256_mul_pd(gxd, sinR), _mm256_mul_pd(gyd, cosR)), scale);
        alignas(32) double ax[4], ay[4];
        _mm256_store_pd(ax, _mm256_add_pd(_mm256_setr_pd(x, x + 1, x + 2, x + 3), ox));
        _mm256_store_pd(ay, _mm256_add_pd(down0, oy));
        _mm_store_si128(reinterpret_cast<__m128i*>(gxs), gx);
        _mm_store_si128(reinterpret_cast<__m128i*>(gys), gy);
        for (int j = 0; j < 4; ++j) {
          const int m = maskRow[x + j - x0];
          if (!m) continue;
          if (gxs[j] == 0 && gys[j] == 0) {
            if (!flatKeeps) Refracted(row + std::size_t(x + j - x0) * 4, x + j, y, m, 0, 0);
            continue;
          }
          sx[n] = ax[j];
          sy[n] = ay[j];
          at[n++] = x + j;
        }
        x += 4;
        continue;
      }
      const int m = maskRow[x - x0];
      if (m) {
        int gx, gy;
        slopes.At(x, gx, gy);
        if (gx != 0 || gy != 0) {
          sx[n] = x + (gx * gl.cosR - gy * gl.sinR) * gl.scale;
          sy[n] = y + (gx * gl.sinR + gy * gl.cosR) * gl.scale;
          at[n++] = x;
        } else if (!flatKeeps) {
          Refracted(row + std::size_t(x - x0) * 4, x, y, m, 0, 0);
        }
      }
      ++x;
    }
    SampleRun(gl.plane, sx, sy, n, seen, valid);
    MixRun(row, x0, y, maskRow, at, n, seen, valid);
  }
}
#endif

void RefractRow(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t* maskRow) {
#if defined(__x86_64__)
  if (CpuHasAvx2()) return RefractRowFast(row, x0, x1, y, maskRow);
#endif
  RefractRowPlain(row, x0, x1, y, maskRow);
}

void Refracted(std::uint8_t* p, int x, int y, int m, int gx, int gy) {
  std::uint8_t seen[4] = {p[0], p[1], p[2], p[3]};
  if (gx != 0 || gy != 0) {
    const double ox = (gx * gl.cosR - gy * gl.sinR) * gl.scale, oy = (gx * gl.sinR + gy * gl.cosR) * gl.scale;
    SampleClamped(gl.plane, x + ox, y + oy, seen);
  }
  Mix(p, x, y, m, seen);
}

}  // namespace

bool IsRefractCurve(ProfileId id) {
  const int k = static_cast<int>(id) - static_cast<int>(ProfileId::CcH);
  return k >= 0 && k < kCurves;
}

int RefractIdentity(ProfileId id, int index) {
  const int k = static_cast<int>(id) - static_cast<int>(ProfileId::CcH);
  switch (k) {
    case kCcH:
    case kRcH: return (index * 360 + 100) / 200;
    case kCcS:
    case kCcL:
    case kRcS:
    case kRcL: return (index * 255 + 100) / 200;
    default: return 100;
  }
}

std::span<const OpRoutineEntry> RefractRoutines() {
  static const OpRoutineEntry table[] = {[] {
    OpRoutineEntry e{kRefractOp, {}};
    e.routines.prepare = PrepareRefract;
    e.routines.pixelWorker = RefractWorker;
    e.routines.rowWorker = RefractRow;
    e.routines.finish = FreeGlass;
    return e;
  }()};
  return table;
}

}  // namespace qv
