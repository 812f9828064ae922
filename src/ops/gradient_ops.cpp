#include "ops/gradient_ops.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "display/colour_palettes.h"
#include "ops/apply.h"
#include "ops/effect_support.h"
#include "ops/fast_atan2.h"
#include "ops/op_state.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr OpId kLinearFill = 3146, kConcentric = 3147, kRadiating = 3148, kOutline = 3149;

struct GradientSettings {
  PaletteLookup lookup;
  bool affectAlpha = false;
  int n = 1;
  float cycF = 0;
  double cyc = 0;
  // Linear Fill
  float ux = 0, uy = 0, pmin = 0, pmax = 1;
  // Concentric, Radiating
  double bx = 0, by = 0, qx = 1, qy = 1;
  // What each column and row adds to a pixel's position on the ramp
  // (Linear Fill's projections, Concentric's squared distances), worked
  // out once per apply over the image's width and height.
  std::vector<float> colF, rowF;
  std::vector<double> colD, rowD;
  // Radiating over a large box: the colour of every palette place (entry
  // and 256th when smooth), packed red, green, blue from the low byte.
  std::vector<std::uint32_t> placeColour;
};
GradientSettings gs;

// The mapping palette's colour at t, as PaletteLookup::Colour gives it,
// inlined into the per-pixel workers.
inline int WrapEntry(long i, int count) {
  if (i >= 0 && i < count) return static_cast<int>(i);
  long e = i % count;
  if (e < 0) e += count;
  return static_cast<int>(std::clamp<long>(e, 0, kMaxPaletteEntries - 1));
}
// Where t falls in the palette, as LookUp below splits it: the entry below
// it and, for a smooth lookup, how far on to the next in 256ths. LookUp
// reads t only through this place, so two t with one place give one colour.
struct PalettePlace {
  long i;
  int g;
  bool operator==(const PalettePlace&) const = default;
};
template <class T>
inline PalettePlace PlaceOf(T t) {
  if (!std::isfinite(t)) t = 0;
  t = std::clamp<T>(t, T(-1e9), T(1e9));
  const long i = static_cast<long>(t);
  return {i, gs.lookup.smooth ? static_cast<int>((t - static_cast<T>(i)) * 256) : 0};
}
// LookUp's colour at a place; the palette, its count and smoothness passed
// in, so that a row's loop can hold them while it writes pixels.
inline void ColourAt(PalettePlace at, int out[3], const PaletteRecord& p, int count, bool smooth) {
  if (smooth) {
    const int g = at.g;
    const int e1 = WrapEntry(at.i, count);
    const int e2 = e1 + 1 < count ? std::min(e1 + 1, kMaxPaletteEntries - 1) : 0;
    out[0] = Clamp0To255((p.red[e2] * g + p.red[e1] * (256 - g)) / 256);
    out[1] = Clamp0To255((p.green[e2] * g + p.green[e1] * (256 - g)) / 256);
    out[2] = Clamp0To255((p.blue[e2] * g + p.blue[e1] * (256 - g)) / 256);
  } else {
    const int e = WrapEntry(at.i, count);
    out[0] = p.red[e];
    out[1] = p.green[e];
    out[2] = p.blue[e];
  }
}
template <class T>
inline void LookUp(T t, int out[3]) {
  const PaletteLookup& l = gs.lookup;
  const PaletteRecord& p = *l.palette;
  if (!std::isfinite(t)) t = 0;
  t = std::clamp<T>(t, T(-1e9), T(1e9));
  const long i = static_cast<long>(t);
  if (l.smooth) {
    const int g = static_cast<int>((t - static_cast<T>(i)) * 256);
    const int e1 = WrapEntry(i, l.count);
    const int e2 = e1 + 1 < l.count ? std::min(e1 + 1, kMaxPaletteEntries - 1) : 0;
    out[0] = Clamp0To255((p.red[e2] * g + p.red[e1] * (256 - g)) / 256);
    out[1] = Clamp0To255((p.green[e2] * g + p.green[e1] * (256 - g)) / 256);
    out[2] = Clamp0To255((p.blue[e2] * g + p.blue[e1] * (256 - g)) / 256);
  } else {
    const int e = WrapEntry(i, l.count);
    out[0] = p.red[e];
    out[1] = p.green[e];
    out[2] = p.blue[e];
  }
}

void PreparePalette(long cycle, int smoothSlotValue) {
  gs = {};
  gs.n = MappingCount();
  gs.lookup.palette = &MappingPalette();
  gs.lookup.count = gs.n;
  gs.lookup.smooth = smoothSlotValue != 0;
  gs.cycF = CycleOffset(cycle, gs.n);
  gs.affectAlpha = Ctx().affectAlpha;
  gs.cyc = gs.cycF;
}

// The palette colour into the pixel by m (the alpha by its luminance with
// affect-alpha on).
inline void PaintAs(std::uint8_t* p, const int col[3], int m, bool affectAlpha) {
  if (affectAlpha) {
    p[3] = static_cast<std::uint8_t>((p[3] * (255 - m) + m * Lum(col[0], col[1], col[2])) / 255);
  } else if (m == 255) {
    // What the blend gives at full coverage, without its divisions.
    p[0] = static_cast<std::uint8_t>(col[0]);
    p[1] = static_cast<std::uint8_t>(col[1]);
    p[2] = static_cast<std::uint8_t>(col[2]);
  } else {
    BlendRgb(p, col, m);
  }
}
inline void Paint(std::uint8_t* p, const int col[3], int m) { PaintAs(p, col, m, gs.affectAlpha); }

// ---- Linear Fill

int PrepareLinearFill() {
  const ApplyContext& c = Ctx();
  PreparePalette(ParamValue(kLinearFill, 1), ParamValue(kLinearFill, 2));
  const float a = static_cast<float>(ParamValue(kLinearFill, 0) - 180) * 0.0174532925239284f;
  gs.ux = std::sin(a);
  gs.uy = -std::cos(a);
  const int xs[2] = {c.x0, c.x1}, ys[2] = {c.y0, c.y1};
  bool first = true;
  for (int x : xs)
    for (int y : ys) {
      const float p = static_cast<float>(x - c.cx) * gs.ux + static_cast<float>(y - c.cy) * gs.uy;
      if (first || p < gs.pmin) gs.pmin = p;
      if (first || p > gs.pmax) gs.pmax = p;
      first = false;
    }
  if (gs.pmax == gs.pmin) gs.pmax = gs.pmin + 1;
  gs.colF.resize(static_cast<std::size_t>(c.image->width));
  gs.rowF.resize(static_cast<std::size_t>(c.image->height));
  for (int x = 0; x < c.image->width; ++x) gs.colF[static_cast<std::size_t>(x)] = static_cast<float>(x - c.cx) * gs.ux;
  for (int y = 0; y < c.image->height; ++y) gs.rowF[static_cast<std::size_t>(y)] = static_cast<float>(y - c.cy) * gs.uy;
  return 0;
}

void LinearFillWorker(std::uint8_t* p, int x, int y, int m) {
  if (!m) return;
  const float proj = gs.colF[static_cast<std::size_t>(x)] + gs.rowF[static_cast<std::size_t>(y)];
  const float t = (proj - gs.pmin) / (gs.pmax - gs.pmin) * static_cast<float>(gs.n - 1) + gs.cycF;
  int col[3];
  LookUp(t, col);
  Paint(p, col, m);
}

// ---- Concentric and Radiating: the same biased centre

void BiasedCentre(OpId op) {
  const ApplyContext& c = Ctx();
  gs.bx = c.cx + (c.x1 - c.cx) * ParamValue(op, 1) * 0.01;
  gs.by = c.cy + (c.cy - c.y1) * ParamValue(op, 2) * 0.01;
  gs.qx = std::max({std::fabs(c.x0 - gs.bx), std::fabs(gs.bx - c.x1), 1.0});
  gs.qy = std::max({std::fabs(c.y0 - gs.by), std::fabs(gs.by - c.y1), 1.0});
}

// The squared distances across and down from the biased centre in its radii.
void SquaredDistances() {
  const ApplyContext& c = Ctx();
  gs.colD.resize(static_cast<std::size_t>(c.image->width));
  gs.rowD.resize(static_cast<std::size_t>(c.image->height));
  for (int x = 0; x < c.image->width; ++x) {
    const double u = (x - gs.bx) / gs.qx;
    gs.colD[static_cast<std::size_t>(x)] = u * u;
  }
  for (int y = 0; y < c.image->height; ++y) {
    const double v = (y - gs.by) / gs.qy;
    gs.rowD[static_cast<std::size_t>(y)] = v * v;
  }
}

int PrepareConcentric() {
  PreparePalette(ParamValue(kConcentric, 0), ParamValue(kConcentric, 3));
  BiasedCentre(kConcentric);
  SquaredDistances();
  return 0;
}

void ConcentricWorker(std::uint8_t* p, int x, int y, int m) {
  if (!m) return;
  double t = (1 - std::sqrt(gs.colD[static_cast<std::size_t>(x)] + gs.rowD[static_cast<std::size_t>(y)])) * (gs.n - 1) + gs.cyc;
  if (t < 0) t = 0;
  int col[3];
  LookUp(t, col);
  Paint(p, col, m);
}

inline void ColourAt(PalettePlace at, int out[3], const PaletteRecord& p, int count, bool smooth);

int PrepareRadiating() {
  PreparePalette(ParamValue(kRadiating, 0), ParamValue(kRadiating, 3));
  BiasedCentre(kRadiating);
  // Made only where the box has at least a pixel per place, so that it
  // never costs more than the pixels themselves.
  const ApplyContext& c = Ctx();
  const int steps = gs.lookup.smooth ? 256 : 1;
  const std::int64_t places = std::int64_t{gs.lookup.count} * steps;
  if (gs.lookup.count > 0 && gs.lookup.count <= kMaxPaletteEntries &&
      std::int64_t{c.x1 - c.x0 + 1} * (c.y1 - c.y0 + 1) >= places) {
    gs.placeColour.resize(static_cast<std::size_t>(places));
    for (int e = 0; e < gs.lookup.count; ++e)
      for (int g = 0; g < steps; ++g) {
        int col[3];
        ColourAt({e, g}, col, *gs.lookup.palette, gs.lookup.count, gs.lookup.smooth);
        gs.placeColour[static_cast<std::size_t>(e) * steps + g] =
            static_cast<std::uint32_t>(col[0]) | static_cast<std::uint32_t>(col[1]) << 8 | static_cast<std::uint32_t>(col[2]) << 16;
      }
  }
  return 0;
}

// The angle around the biased centre, from the arc tangent, turned to start
// straight up and kept in [0, 2 pi).
inline double RadiatingAngle(double atan) {
  double phi = atan + 1.570796;
  if (phi < 0) phi += 6.2831853;
  return phi;
}

inline double RadiatingPosition(double phi) { return (gs.n - 1) * phi * 0.15915494327375637 + gs.cyc; }

void RadiatingWorker(std::uint8_t* p, int x, int y, int m) {
  if (!m) return;
  const double t = RadiatingPosition(RadiatingAngle(std::atan2(y - gs.by, x - gs.bx)));
  int col[3];
  LookUp(t, col);
  Paint(p, col, m);
}

#if defined(__x86_64__)
// RadiatingAngle, RadiatingPosition and PlaceOf on four lanes, the same
// operations in the same order; `turned` gets the lanes that took the turn
// below straight up, `finite` those whose position is a number.
__attribute__((target("avx2"))) inline void RadiatingPlaceFour(__m256d atan, __m256d& turned, __m256d& finite,
                                                               __m256d& entry, __m256d& g) {
  __m256d phi = _mm256_add_pd(atan, _mm256_set1_pd(1.570796));
  turned = _mm256_cmp_pd(phi, _mm256_setzero_pd(), _CMP_LT_OQ);
  phi = _mm256_blendv_pd(phi, _mm256_add_pd(phi, _mm256_set1_pd(6.2831853)), turned);
  __m256d t = _mm256_add_pd(_mm256_mul_pd(_mm256_mul_pd(_mm256_set1_pd(gs.n - 1), phi), _mm256_set1_pd(0.15915494327375637)),
                            _mm256_set1_pd(gs.cyc));
  finite = _mm256_cmp_pd(_mm256_andnot_pd(_mm256_set1_pd(-0.0), t), _mm256_set1_pd(INFINITY), _CMP_LT_OQ);
  t = _mm256_max_pd(_mm256_min_pd(t, _mm256_set1_pd(1e9)), _mm256_set1_pd(-1e9));
  entry = _mm256_round_pd(t, _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
  g = gs.lookup.smooth ? _mm256_round_pd(_mm256_mul_pd(_mm256_sub_pd(t, entry), _mm256_set1_pd(256)),
                                         _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC)
                       : _mm256_setzero_pd();
}

// RadiatingWorker over a row with the arc tangents four at a time, each
// within kAtanError of the library's. The position is a rising function of
// the angle, and the palette place a rising one of the position, so where
// both ends of that error give one palette place (on one side of the turn
// at straight up) the library's angle gives it too; elsewhere the pixel
// takes the library's value.
__attribute__((target("avx2"))) void RadiatingRowFast(std::uint8_t* row, int x0, int x1, int y,
                                                      const std::uint8_t* maskRow) {
  const __m256d dy = _mm256_set1_pd(y - gs.by), bx = _mm256_set1_pd(gs.bx), eps = _mm256_set1_pd(kAtanError);
  alignas(32) double entry[4], frac[4];
  const PaletteRecord& palette = *gs.lookup.palette;
  const int count = gs.lookup.count;
  const bool smooth = gs.lookup.smooth, alpha = gs.affectAlpha;
  const std::uint32_t* table = alpha || gs.placeColour.empty() ? nullptr : gs.placeColour.data();
  const int steps = smooth ? 256 : 1;
  const __m256d entries = _mm256_set1_pd(count);
  std::uint8_t* p = row;
  for (int x = x0; x <= x1; x += 4) {
    const int lanes = std::min(4, x1 - x + 1);
    const __m256d dx = _mm256_sub_pd(_mm256_setr_pd(x, x + 1, x + 2, x + 3), bx);
    __m256d a;
    const __m256d bad = FastAtan2Four(dy, dx, a);
    __m256d turnedLo, finiteLo, entryLo, gLo, turnedHi, finiteHi, entryHi, gHi;
    RadiatingPlaceFour(_mm256_sub_pd(a, eps), turnedLo, finiteLo, entryLo, gLo);
    RadiatingPlaceFour(_mm256_add_pd(a, eps), turnedHi, finiteHi, entryHi, gHi);
    // (The turn flags are all-ones or all-zeros masks: they differ where their exclusive or is set.)
    const __m256d same = _mm256_and_pd(
        _mm256_and_pd(_mm256_cmp_pd(entryLo, entryHi, _CMP_EQ_OQ), _mm256_cmp_pd(gLo, gHi, _CMP_EQ_OQ)),
        _mm256_and_pd(finiteLo, finiteHi));
    const int fast = _mm256_movemask_pd(_mm256_andnot_pd(_mm256_or_pd(bad, _mm256_xor_pd(turnedLo, turnedHi)), same));
    if (table && fast == 15 && lanes == 4) {
      // Four whole-coverage pixels at places in the table: their colours
      // under their own alpha bytes.
      std::uint32_t full;
      std::memcpy(&full, maskRow + (x - x0), 4);
      const __m256d inTable = _mm256_and_pd(
          _mm256_and_pd(_mm256_cmp_pd(entryLo, _mm256_setzero_pd(), _CMP_GE_OQ), _mm256_cmp_pd(entryLo, entries, _CMP_LT_OQ)),
          _mm256_cmp_pd(gLo, _mm256_setzero_pd(), _CMP_GE_OQ));
      if (full == 0xFFFFFFFFu && _mm256_movemask_pd(inTable) == 15) {
        alignas(16) std::int32_t place[4];
        _mm_store_si128(reinterpret_cast<__m128i*>(place),
                        _mm_add_epi32(_mm_mullo_epi32(_mm256_cvttpd_epi32(entryLo), _mm_set1_epi32(steps)),
                                      _mm256_cvttpd_epi32(gLo)));
        const __m128i colours = _mm_setr_epi32(static_cast<int>(table[place[0]]), static_cast<int>(table[place[1]]),
                                               static_cast<int>(table[place[2]]), static_cast<int>(table[place[3]]));
        const __m128i alphaBytes = _mm_set1_epi32(static_cast<int>(0xFF000000u));
        __m128i* q = reinterpret_cast<__m128i*>(p);
        _mm_storeu_si128(q, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(q), alphaBytes), colours));
        p += 16;
        continue;
      }
    }
    _mm256_store_pd(entry, entryLo);
    _mm256_store_pd(frac, gLo);
    for (int j = 0; j < lanes; ++j, p += 4) {
      const int m = maskRow[x + j - x0];
      if (!m) continue;
      if (fast >> j & 1) {
        int col[3];
        ColourAt({static_cast<long>(entry[j]), static_cast<int>(frac[j])}, col, palette, count, smooth);
        PaintAs(p, col, m, alpha);
      } else {
        RadiatingWorker(p, x + j, y, m);
      }
    }
  }
}
#endif

void RadiatingRow(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t* maskRow) {
#if defined(__x86_64__)
  if (CpuHasAvx2()) return RadiatingRowFast(row, x0, x1, y, maskRow);
#endif
  std::uint8_t* p = row;
  for (int x = x0; x <= x1; ++x, p += 4) RadiatingWorker(p, x, y, maskRow[x - x0]);
}

// ---- Outline

struct OutlineSettings {
  int w = 8, generations = 1;
  bool inside = false, repeat = false, crystal = false;
  double sc = 0;
  TransparencyNow tr;
  // The mask of the box as the selection drew it: the generations mark
  // their bands into the driver's copy, and the selection gets it back.
  std::vector<std::uint8_t> drawn;
  int x0 = 0, y0 = 0, x1 = -1, y1 = -1;
};
OutlineSettings os;

int PrepareOutline() {
  ApplyContext& c = Ctx();
  PreparePalette(ParamValue(kOutline, 2), ParamValue(kOutline, 4));
  os.w = std::clamp(ParamValue(kOutline, 0), 0, 4000);
  os.generations = std::clamp(ParamValue(kOutline, 1), 0, 400);
  if (os.w == 0 || os.generations == 0) return NoChangeCancel();
  os.inside = ParamValue(kOutline, 3) != 0;
  os.repeat = ParamValue(kOutline, 5) != 0;
  os.crystal = ParamValue(kOutline, 6) != 0;
  os.tr = CurrentTransparencyValues();
  WidenBox(c, static_cast<long>(os.generations) * os.w, static_cast<long>(os.generations) * os.w);
  const int n = gs.n;
  os.sc = (os.repeat || os.generations < 2) ? double(n - 1) / os.w : double(n - 1) / (double(os.generations) * os.w);
  c.generationCount = os.generations;
  os.drawn.clear();
  os.x1 = os.y1 = -1;
  return 0;
}

// Keeps the mask of the box as drawn, once, before the first pixel.
void KeepDrawnMask(const ApplyContext& c) {
  const int w = c.image->width;
  os.x0 = c.x0, os.y0 = c.y0, os.x1 = c.x1, os.y1 = c.y1;
  const std::size_t span = static_cast<std::size_t>(c.x1 - c.x0 + 1);
  os.drawn.resize(span * static_cast<std::size_t>(c.y1 - c.y0 + 1));
  for (int y = c.y0; y <= c.y1; ++y)
    std::copy_n(c.mask + static_cast<std::size_t>(y) * w + c.x0, span, os.drawn.begin() + (y - c.y0) * span);
}

// For every pixel of the box, the nearest column of its row at or left of
// it (and at or right of it) holding a pixel on the other side of the edge;
// made once per generation, since the mask stays put while one runs.
struct RowNearest {
  int generation = -1;
  int x0 = 0, y0 = 0, width = 0;
  std::vector<int> left, right;  // image columns; kNone where there is none
  static constexpr int kNone = -1000000000;
};
RowNearest rn;

void MakeRowNearest(const ApplyContext& c) {
  rn.generation = c.generation;
  rn.x0 = c.x0, rn.y0 = c.y0, rn.width = c.x1 - c.x0 + 1;
  const std::size_t n = static_cast<std::size_t>(rn.width) * (c.y1 - c.y0 + 1);
  rn.left.assign(n, RowNearest::kNone);
  rn.right.assign(n, RowNearest::kNone);
  const int w = c.image->width;
  for (int y = c.y0; y <= c.y1; ++y) {
    const std::uint8_t* mr = c.mask + static_cast<std::size_t>(y) * w;
    int* l = &rn.left[static_cast<std::size_t>(y - c.y0) * rn.width];
    int* r = &rn.right[static_cast<std::size_t>(y - c.y0) * rn.width];
    int last = RowNearest::kNone;
    for (int x = c.x0; x <= c.x1; ++x) {
      if (os.inside ? mr[x] == 0 : mr[x] != 0) last = x;
      l[x - c.x0] = last;
    }
    last = RowNearest::kNone;
    for (int x = c.x1; x >= c.x0; --x) {
      if (os.inside ? mr[x] == 0 : mr[x] != 0) last = x;
      r[x - c.x0] = last;
    }
  }
}

void OutlinePixel(const ApplyContext& c, std::uint8_t* p, int x, int y, int m);

void OutlineWorker(std::uint8_t* p, int x, int y, int m) {
  const ApplyContext& c = Ctx();
  if (c.generation == 0 && x == c.x0 && y == c.y0) KeepDrawnMask(c);
  if (c.generation != rn.generation || (x == c.x0 && y == c.y0)) MakeRowNearest(c);
  OutlinePixel(c, p, x, y, m);
}

// OutlineWorker over a row.
void OutlineRow(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t* maskRow) {
  const ApplyContext& c = Ctx();
  if (c.generation == 0 && x0 == c.x0 && y == c.y0) KeepDrawnMask(c);
  if (c.generation != rn.generation || (x0 == c.x0 && y == c.y0)) MakeRowNearest(c);
  const bool inside = os.inside;
  std::uint8_t* p = row;
  for (int x = x0; x <= x1; ++x, p += 4) {
    const int m = maskRow[x - x0];
    if (inside ? m == 0 : m != 0) continue;
    OutlinePixel(c, p, x, y, m);
  }
}

void OutlinePixel(const ApplyContext& c, std::uint8_t* p, int x, int y, int m) {
  if (os.inside ? m == 0 : m != 0) return;
  // The nearest pixel on the other side of the edge within the band, the
  // first in reading order (rows top to bottom, each left to right) of
  // equal distances: in each row the nearer of the nearest columns on
  // either side, the left one on a tie.
  const int w = os.w;
  const long limit = static_cast<long>(w) * w + 1;
  long best = limit;
  int nx = 0, ny = 0;
  const int ya = std::max(y - w, c.y0), yb = std::min(y + w, c.y1);
  for (int yy = ya; yy <= yb; ++yy) {
    const long dy2 = static_cast<long>(yy - y) * (yy - y);
    if (dy2 >= best) continue;
    const std::size_t at = static_cast<std::size_t>(yy - rn.y0) * rn.width + (x - rn.x0);
    const int l = rn.left[at], r = rn.right[at];
    const long dl = l == RowNearest::kNone ? limit : x - l, dr = r == RowNearest::kNone ? limit : r - x;
    const long dx = std::min(dl, dr);
    if (dx > w) continue;
    const long d2 = dy2 + dx * dx;
    if (d2 < best) {
      best = d2;
      nx = dl <= dr ? l : r;
      ny = yy;
    }
  }
  if (best >= limit) return;
  double t = std::sqrt(static_cast<double>(best)) * os.sc + gs.cyc;
  if (os.generations >= 2 && !os.repeat) t += double(gs.n - 1) / os.generations * c.generation;
  int col[3];
  if (os.crystal) {
    CopyView copy(c.undo);
    const std::uint8_t* s = copy.At(nx, ny);
    for (int k = 0; k < 3; ++k) col[k] = c.affectAlpha ? s[3] : s[k];
  } else {
    gs.lookup.Colour(t, col);
  }
  int k;
  if (os.inside) {
    k = m;
  } else if (os.tr.level == 255 && os.tr.edgeFade == 0 && os.tr.grow == 100) {
    k = 255;
  } else {
    // Crystal too takes the weight of the palette position it would have.
    const long a = Clamp0To255(static_cast<long>(t / gs.n * 255));
    const long P = os.tr.grow * 255L / 100, p0 = P - P * os.tr.edgeFade / 100;
    if (a <= p0)
      k = os.tr.level;
    else if (a < P)
      k = static_cast<int>((P - a) * os.tr.level / std::max<long>(P - p0, 1));
    else
      k = 0;
  }
  if (c.affectAlpha)
    p[3] = static_cast<std::uint8_t>((Lum(col[0], col[1], col[2]) * k + p[3] * (255 - k)) / 255);
  else
    BlendRgb(p, col, k);
  if (c.nextMask && c.generation + 1 < os.generations)
    c.nextMask[static_cast<std::size_t>(y) * c.image->width + x] = os.inside ? 0 : 255;
}

// The selection's mask as drawn, without the generations' marks.
void FinishOutline() {
  if (os.x1 >= os.x0 && os.y1 >= os.y0 && !os.drawn.empty())
    RestoreMaskBox(os.drawn.data(), os.x0, os.y0, os.x1, os.y1);
  os.drawn.clear();
  os.x1 = os.y1 = -1;
  rn = {};
}

}  // namespace

std::span<const OpRoutineEntry> GradientOperationRoutines() {
  static const OpRoutineEntry table[] = {
      {kLinearFill, PixelRoutines(PrepareLinearFill, LinearFillWorker)},
      {kConcentric, PixelRoutines(PrepareConcentric, ConcentricWorker)},
      {kRadiating, [] {
         OpRoutines r = PixelRoutines(PrepareRadiating, RadiatingWorker);
         r.rowWorker = RadiatingRow;
         return r;
       }()},
      {kOutline, [] {
         OpRoutines r = PixelRoutines(PrepareOutline, OutlineWorker, FinishOutline);
         r.rowWorker = OutlineRow;
         return r;
       }()},
  };
  return table;
}

}  // namespace qv
