// The warps: each pixel of the selection takes the colour found at a mapped
// position in the box as it was (the undo copy), sampled bilinearly.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "base/crt_random.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "ops/apply.h"
#include "ops/bilinear.h"
#include "ops/geometric_ops.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace qv {
namespace {

constexpr int kMessageNoMemory = 22;
constexpr double kTwoPi = 6.283185;
// Whorls beyond the trend range would only make the apply endless.
constexpr int kMaxWhorls = 800;

GeometricState& Geo() { return Pipeline().geometric; }

int Clamp255(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

// A double truncated toward zero into int range (not-a-number gives 0).
int TruncToInt(double v) {
  if (std::isnan(v)) return 0;
  return static_cast<int>(std::clamp(v, -kFarAway, kFarAway));
}

// The selection's centre and half sizes as doubles; a selection one pixel
// wide or tall has a half size of 0, which counts as 1.
void TakeEllipse(GeometricState& g) {
  const ApplyContext& c = Ctx();
  g.cx = c.cx;
  g.cy = c.cy;
  g.rx = c.rx == 0 ? 1 : c.rx;
  g.ry = c.ry == 0 ? 1 : c.ry;
}

PixelPlane CopyPlane(const ApplyContext& c) {
  PixelPlane p;
  if (!c.undo) return p;
  p.pixels = c.undo->pixels;
  p.rows = c.undo->rows;
  p.x = c.copyX;
  p.y = c.copyY;
  p.width = c.copyWidth;
  p.height = c.copyHeight;
  return p;
}

// Steps 5 and 6 of every warp: the sample blended through the mask, shaded.
inline void StoreWarped(std::uint8_t* p, int m, const std::uint8_t s[4], int shade, bool affectAlpha) {
  int b[4];
  if (m == 255) {
    for (int k = 0; k < 4; ++k) b[k] = s[k];
  } else {
    for (int k = 0; k < 4; ++k) b[k] = (s[k] * m + p[k] * (255 - m)) / 255;
  }
  if (affectAlpha) {
    p[3] = static_cast<std::uint8_t>(b[3]);
    return;
  }
  if (shade == 0) {
    for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>(b[k]);
    return;
  }
  for (int k = 0; k < 3; ++k) p[k] = static_cast<std::uint8_t>(Clamp255(b[k] + b[k] * shade / 255));
  p[3] = static_cast<std::uint8_t>(b[3]);
}

WarpSample MapSurface(const GeometricState& g, int x, int y);

// One row of a warp: Map gives the source position and shade of (x, y).
template <WarpSample (*Map)(const GeometricState&, int, int)>
void WarpRow(std::uint8_t* p, int x0, int x1, int y, const std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  GeometricState& g = Geo();
  const PixelPlane copy = CopyPlane(c);
  if constexpr (Map == MapSurface) {
    // The action image as its own map is read as it was before this apply,
    // from the copy (its nearest edge beyond the box), so the result does
    // not depend on the order the pixels are visited in.
    if (g.mapIsCopy) {
      g.map = copy;
    } else {
      g.map.pixels = c.sourcePixels;
      g.map.rows = c.sourceRows;
      g.map.x = g.map.y = 0;
      g.map.width = c.sourceWidth;
      g.map.height = c.sourceHeight;
    }
  }
  const bool affectAlpha = c.affectAlpha;
  for (int x = x0; x <= x1; ++x, p += 4, ++mask) {
    const int m = *mask;
    if (!m) continue;
    const WarpSample s = Map(g, x, y);
    std::uint8_t sample[4];
    if (!SampleClamped(copy, s.x, s.y, sample)) continue;
    StoreWarped(p, m, sample, s.shade, affectAlpha);
  }
}

template <WarpSample (*Map)(const GeometricState&, int, int)>
void WarpPixel(std::uint8_t* p, int x, int y, int m) {
  const std::uint8_t mask = static_cast<std::uint8_t>(m);
  WarpRow<Map>(p, x, x, y, &mask);
}

template <WarpSample (*Map)(const GeometricState&, int, int)>
WarpSample Mapping(int x, int y) {
  return Map(Geo(), x, y);
}

// Row is a faster row routine giving WarpRow<Map>'s bytes; the per-pixel
// worker and the mapping stay the plain ones.
template <WarpSample (*Map)(const GeometricState&, int, int)>
constexpr OpRoutines WarpRoutines(PrepareRoutine prepare, FinishRoutine finish = nullptr, RowWorker row = nullptr) {
  OpRoutines r;
  r.prepare = prepare;
  r.pixelWorker = WarpPixel<Map>;
  r.mapping = Mapping<Map>;
  r.finish = finish;
  r.rowWorker = row ? row : WarpRow<Map>;
  // Surface Warp's rows set the map they read.
  r.rowsIndependent = Map != MapSurface;
  return r;
}

// The state a row routine reads, copied out of the pipeline once per row:
// the pixel stores could otherwise alias it and force a reload per pixel.
struct RowFrame {
  PixelPlane copy;
  bool affectAlpha;
  double cx, cy, rx, ry, k;
  explicit RowFrame(const GeometricState& g)
      : copy(CopyPlane(Ctx())), affectAlpha(Ctx().affectAlpha), cx(g.cx), cy(g.cy), rx(g.rx), ry(g.ry), k(g.k) {}
  void Store(std::uint8_t* p, int m, double sx, double sy, int shade = 0) const {
    std::uint8_t sample[4];
    if (SampleClamped(copy, sx, sy, sample)) StoreWarped(p, m, sample, shade, affectAlpha);
  }
};

// The ellipse's maps are symmetric about the centre's column: the pixel
// mirrored there has u negated exactly (whole numbers less a whole-valued
// centre), the same radius, and so the same sines, cosines and bulge with
// the sign of u. pair(x, u, v) maps x and its mirror 2 cx - x at once; each
// pair is visited once, the pixels beyond the mirror's reach alone. Warps
// read only the copy, so the order of visiting does not matter.
template <class Pair>
void MirroredRow(std::uint8_t* p, int x0, int x1, int y, const std::uint8_t* mask, const RowFrame& f, Pair pair) {
  const std::int64_t twice = 2 * static_cast<std::int64_t>(f.cx);
  const double v = (y - f.cy) / f.ry;
  for (int x = x0; x <= x1; ++x) {
    const std::int64_t mirror = twice - x;
    const bool paired = mirror != x && mirror >= x0 && mirror <= x1;
    if (paired && mirror > x) continue;  // done with its mirror
    const int m = mask[x - x0], mm = paired ? mask[mirror - x0] : 0;
    if (!m && !mm) continue;
    // Without a mirror in the row there is no pixel to point at (mm is 0).
    std::uint8_t* const mp = paired ? p + std::size_t{4} * static_cast<std::size_t>(mirror - x0) : nullptr;
    pair((x - f.cx) / f.rx, v, m, p + std::size_t{4} * (x - x0), mm, mp);
  }
}

// Dome's and Caricature's new radius for radius r, as MapDome and
// MapCaricature have it.
inline double DomeRadius(double k, double r) {
  const double q = 1 - r;
  if (k >= 0) {
    double divisor = 1 + k * q;
    if (divisor == 0) divisor = 0.0001;
    return r / divisor;
  }
  return (1 - q * q * k / 2) * r;
}
inline double CaricatureRadius(double k, double r) {
  const double q = 1 - r;
  if (k < 0) {
    double divisor = 1 - q * k;
    if (divisor == 0) divisor = 0.0001;
    return r / divisor;
  }
  return (q * q * k + 1) * r;
}

template <double (*Radius)(double, double)>
void BulgeRow(std::uint8_t* p, int x0, int x1, int y, const std::uint8_t* mask) {
  const RowFrame f(Geo());
  MirroredRow(p, x0, x1, y, mask, f,
              [&f](double u, double v, int m, std::uint8_t* at, int mm, std::uint8_t* mirrored) {
                const double r = std::sqrt(u * u + v * v);
                double sine = 0, cosine = 1;
                if (r > 0) {
                  sine = u / r;
                  cosine = v / r;
                }
                const double radius = Radius(f.k, r);
                const double t = f.rx * radius * sine, sy = f.cy + f.ry * radius * cosine;
                if (m) f.Store(at, m, f.cx + t, sy);
                if (mm) f.Store(mirrored, mm, f.cx - t, sy);
              });
}

void SwirlRow(std::uint8_t* p, int x0, int x1, int y, const std::uint8_t* mask) {
  const RowFrame f(Geo());
  MirroredRow(p, x0, x1, y, mask, f,
              [&f](double u, double v, int m, std::uint8_t* at, int mm, std::uint8_t* mirrored) {
                const double r = std::sqrt(u * u + v * v);
                const double turn = (1 - r) * f.k;
                const double s = std::sin(turn), co = std::cos(turn);
                if (m) f.Store(at, m, f.cx + f.rx * (u * co + v * s), f.cy + f.ry * (v * co - u * s));
                const double w = -u;
                if (mm) f.Store(mirrored, mm, f.cx + f.rx * (w * co + v * s), f.cy + f.ry * (v * co - w * s));
              });
}

// (u, v) the elliptic coordinates, r their radius; (sin, cos) of the angle
// atan2(u, v), which is 0 at the centre.
struct Polar {
  double u, v, r, sine, cosine;
};
inline Polar PolarAt(const GeometricState& g, int x, int y) {
  Polar p;
  p.u = (x - g.cx) / g.rx;
  p.v = (y - g.cy) / g.ry;
  p.r = std::sqrt(p.u * p.u + p.v * p.v);
  if (p.r > 0) {
    p.sine = p.u / p.r;
    p.cosine = p.v / p.r;
  } else {
    p.sine = 0;
    p.cosine = 1;
  }
  return p;
}

inline WarpSample AtRadius(const GeometricState& g, const Polar& p, double radius) {
  return {g.cx + g.rx * radius * p.sine, g.cy + g.ry * radius * p.cosine, 0};
}

// Dome and Caricature.

int PrepareBulge(OpId op) {
  const int distortion = ParamValue(op, 0);
  if (distortion == 0) return NoChangeCancel();
  GeometricState& g = Geo();
  TakeEllipse(g);
  g.k = distortion / 100.0;
  return 0;
}
int PrepareDome() { return PrepareBulge(kDome); }
int PrepareCaricature() { return PrepareBulge(kCaricature); }

WarpSample MapDome(const GeometricState& g, int x, int y) {
  const Polar p = PolarAt(g, x, y);
  return AtRadius(g, p, DomeRadius(g.k, p.r));
}

WarpSample MapCaricature(const GeometricState& g, int x, int y) {
  const Polar p = PolarAt(g, x, y);
  return AtRadius(g, p, CaricatureRadius(g.k, p.r));
}

// Swirl: the angle grows by (1 - r) k. With r sin t = u and r cos t = v the
// turned position needs only the sine and cosine of the growth.

int PrepareSwirl() {
  const int angle = ParamValue(kSwirl, 0);
  if (angle == 0) return NoChangeCancel();
  GeometricState& g = Geo();
  TakeEllipse(g);
  g.k = angle / 100.0;
  return 0;
}

WarpSample MapSwirl(const GeometricState& g, int x, int y) {
  const double u = (x - g.cx) / g.rx, v = (y - g.cy) / g.ry;
  const double r = std::sqrt(u * u + v * v);
  const double turn = (1 - r) * g.k;
  const double s = std::sin(turn), co = std::cos(turn);
  return {g.cx + g.rx * (u * co + v * s), g.cy + g.ry * (v * co - u * s), 0};
}

// Waves: a depends on the column only and b on the row only, so both are
// tabled across the box once.

int PrepareWaves() {
  const int xLength = ParamValue(kWaves, 0), xFront = ParamValue(kWaves, 1), xSide = ParamValue(kWaves, 2);
  const int yLength = ParamValue(kWaves, 3), yFront = ParamValue(kWaves, 4), ySide = ParamValue(kWaves, 5);
  const int shading = ParamValue(kWaves, 6), xPhase = ParamValue(kWaves, 7), yPhase = ParamValue(kWaves, 8);
  if (xFront == 0 && xSide == 0 && yFront == 0 && ySide == 0) return NoChangeCancel();
  GeometricState& g = Geo();
  const ApplyContext& c = Ctx();
  TakeEllipse(g);
  // A length of 0 (only a file can give it) would divide by zero: it counts as 1.
  g.lx = g.rx / (yLength == 0 ? 1 : yLength) * 4;
  g.ly = g.ry / (xLength == 0 ? 1 : xLength) * 4;
  g.aYFront = yFront / 100.0;
  g.aYSide = ySide / 100.0;
  g.aXFront = xFront / 100.0;
  g.aXSide = xSide / 100.0;
  g.shading = shading;
  const double phaseY = yPhase / 57.29578, phaseX = xPhase / 57.29578;
  g.waveX0 = c.x0;
  g.waveY0 = c.y0;
  g.waveA.resize(static_cast<std::size_t>(c.x1 - c.x0 + 1));
  g.waveB.resize(static_cast<std::size_t>(c.y1 - c.y0 + 1));
  for (int x = c.x0; x <= c.x1; ++x)
    g.waveA[static_cast<std::size_t>(x - c.x0)] = -std::sin((x - g.cx) * kTwoPi / g.lx - phaseY);
  for (int y = c.y0; y <= c.y1; ++y)
    g.waveB[static_cast<std::size_t>(y - c.y0)] = -std::sin((y - g.cy) * kTwoPi / g.ly + phaseX);
  return 0;
}

WarpSample MapWaves(const GeometricState& g, int x, int y) {
  const double a = g.waveA[static_cast<std::size_t>(x - g.waveX0)];
  const double b = g.waveB[static_cast<std::size_t>(y - g.waveY0)];
  WarpSample s;
  s.x = x + a * g.aYFront * g.lx + b * g.aXSide * g.ly;
  s.y = y + b * g.aXFront * g.ly + a * g.aYSide * g.lx;
  s.shade = TruncToInt((a * g.aYFront + a * g.aYSide + b * g.aXSide + b * g.aXFront) * g.shading * 2);
  return s;
}

void WavesRow(std::uint8_t* p, int x0, int x1, int y, const std::uint8_t* mask) {
  const GeometricState& g = Geo();
  const RowFrame f(g);
  const double* column = g.waveA.data() - g.waveX0;
  const double b = g.waveB[static_cast<std::size_t>(y - g.waveY0)];
  const double aYFront = g.aYFront, aYSide = g.aYSide, aXFront = g.aXFront, aXSide = g.aXSide;
  const double lx = g.lx, ly = g.ly;
  const int shading = g.shading;
  for (int x = x0; x <= x1; ++x, p += 4, ++mask) {
    const int m = *mask;
    if (!m) continue;
    const double a = column[x];
    const double sx = x + a * aYFront * lx + b * aXSide * ly;
    const double sy = y + b * aXFront * ly + a * aYSide * lx;
    f.Store(p, m, sx, sy, shading == 0 ? 0 : TruncToInt((a * aYFront + a * aYSide + b * aXSide + b * aXFront) * shading * 2));
  }
}

void FinishWaves() {
  GeometricState& g = Geo();
  g.waveA = {};
  g.waveB = {};
}

// Turbulence: whorls drawn from the seed, acting one after another on the
// running position.

void FreeWhorls() {
  GeometricState& g = Geo();
  FreeReal(g.whorlX, "xtur");
  FreeReal(g.whorlY, "ytur");
  FreeReal(g.whorlRadius, "xdur");
  FreeReal(g.whorlTwist, "ydur");
  g.whorlX = g.whorlY = nullptr;
  g.whorlRadius = g.whorlTwist = nullptr;
  g.whorls = 0;
}

int PrepareTurbulence() {
  const int whorls = std::clamp(ParamValue(kTurbulence, 0), 0, kMaxWhorls);
  const int swirliness = ParamValue(kTurbulence, 1), movement = ParamValue(kTurbulence, 2);
  const int seed = ParamValue(kTurbulence, 3);
  if (movement == 0) return NoChangeCancel();
  GeometricState& g = Geo();
  const ApplyContext& c = Ctx();
  TakeEllipse(g);
  FreeWhorls();
  const int n = std::max(whorls, 1);
  g.whorlX = AllocRealArray<std::int32_t>(n, "xtur");
  g.whorlY = AllocRealArray<std::int32_t>(n, "ytur");
  g.whorlRadius = AllocRealArray<double>(n, "xdur");
  g.whorlTwist = AllocRealArray<double>(n, "ydur");
  if (!g.whorlX || !g.whorlY || !g.whorlRadius || !g.whorlTwist) {
    FreeWhorls();
    ShowMessageWith(kMessageNoMemory, OpName(kTurbulence));
    return 2;
  }
  g.whorls = whorls;
  const std::int64_t x0 = c.x0, y0 = c.y0, x1 = c.x1, y1 = c.y1;
  const std::int64_t d = std::max(std::llabs(x1 - x0), std::llabs(y1 - y0));
  const std::int64_t rx = c.rx;
  double twistDivisor = 50 - 0.4 * swirliness;
  if (twistDivisor == 0) twistDivisor = 0.0001;
  Srand(static_cast<std::uint32_t>(seed));
  for (int i = 0; i < whorls; ++i) {
    g.whorlX[i] = static_cast<std::int32_t>(x0 + (x1 - x0) * Rand() / kRandMax);
    g.whorlY[i] = static_cast<std::int32_t>(y0 + (y1 - y0) * Rand() / kRandMax);
    double radius = static_cast<double>((d * Rand() / kRandMax) / 2 - rx) * swirliness * 0.01 + static_cast<double>(rx);
    if (radius == 0) radius = 0.5;
    g.whorlRadius[i] = radius;
    g.whorlTwist[i] = ((Rand() * 360 / kRandMax) - 180) / twistDivisor * movement * 0.0025;
  }
  return 0;
}

WarpSample MapTurbulence(const GeometricState& g, int x, int y) {
  double sx = x, sy = y;
  for (int i = 0; i < g.whorls; ++i) {
    const double radius = g.whorlRadius[i];
    const double du = (sx - g.whorlX[i]) / radius, dv = (sy - g.whorlY[i]) / radius;
    const double d2 = du * du + dv * dv;
    if (!(d2 < 1)) continue;
    const double d = std::sqrt(d2);
    const double turn = g.whorlTwist[i] * (1 - d) * (1 - d);
    // R d sin(atan2(du, dv) + turn), without the angle itself.
    const double s = std::sin(turn), co = std::cos(turn);
    sx = (du * co + dv * s) * radius + g.whorlX[i];
    sy = (dv * co - du * s) * radius + g.whorlY[i];
  }
  return {sx, sy, 0};
}

// MapTurbulence a row at a time. A whorl that the running position lies
// outside of by a whole radius in x or in y is passed by before dividing:
// its du or dv would be at least 1 in size, and so d2 too.
void TurbulenceRow(std::uint8_t* p, int x0, int x1, int y, const std::uint8_t* mask) {
  const GeometricState& g = Geo();
  const RowFrame f(g);
  const int whorls = g.whorls;
  const std::int32_t* whorlX = g.whorlX;
  const std::int32_t* whorlY = g.whorlY;
  const double* whorlRadius = g.whorlRadius;
  const double* whorlTwist = g.whorlTwist;
  for (int x = x0; x <= x1; ++x, p += 4, ++mask) {
    const int m = *mask;
    if (!m) continue;
    double sx = x, sy = y;
    for (int i = 0; i < whorls; ++i) {
      const double radius = whorlRadius[i];
      const double ox = sx - whorlX[i], oy = sy - whorlY[i];
      const double reach = std::fabs(radius);
      if (std::fabs(ox) > reach || std::fabs(oy) > reach) continue;
      const double du = ox / radius, dv = oy / radius;
      const double d2 = du * du + dv * dv;
      if (!(d2 < 1)) continue;
      const double d = std::sqrt(d2);
      const double turn = whorlTwist[i] * (1 - d) * (1 - d);
      const double s = std::sin(turn), co = std::cos(turn);
      sx = (du * co + dv * s) * radius + whorlX[i];
      sy = (dv * co - du * s) * radius + whorlY[i];
    }
    f.Store(p, m, sx, sy);
  }
}

// Surface Warp: the source image, stretched over the selection rectangle, is
// a height map; each pixel moves along the direction by its height.

int PrepareSurfaceWarp() {
  const int direction = ParamValue(kSurfaceWarp, 0), amount = ParamValue(kSurfaceWarp, 1);
  const int midLevel = ParamValue(kSurfaceWarp, 2), shading = ParamValue(kSurfaceWarp, 3);
  if (amount == 0) return NoChangeCancel();
  GeometricState& g = Geo();
  const ApplyContext& c = Ctx();
  const ImageRecord* map = SourceImage();
  const ImageRecord* action = c.image;
  const double alpha = -direction * 0.017453292520882225;
  const double halfH = (c.sy1 - c.sy0) / 2, halfW = (c.sx1 - c.sx0) / 2;
  const double d = std::sqrt(halfH * halfH + halfW * halfW);
  const double amp = d * amount * 0.01;
  g.ax = std::sin(alpha) * amp;
  g.ay = std::cos(alpha) * amp;
  g.midLevel = midLevel;
  g.shading = shading;
  g.sx0 = c.sx0;
  g.sy0 = c.sy0;
  double spanX = c.sx1 - c.sx0, spanY = c.sy1 - c.sy0;
  if (spanX == 0) spanX = 0.0001;
  if (spanY == 0) spanY = 0.0001;
  const ImageRecord* m = map ? map : action;
  g.mapScaleX = (m->width - 1) / spanX;
  g.mapScaleY = (m->height - 1) / spanY;
  g.mapHasAlpha = m->hasAlpha != 0;
  g.mapIsCopy = m == action;
  return 0;
}

WarpSample MapSurface(const GeometricState& g, int x, int y) {
  const PixelPlane& map = g.map;
  std::uint8_t h4[4] = {0, 0, 0, 255};
  if (map.pixels && map.width > 0 && map.height > 0)
    SampleClamped(map, (x - g.sx0) * g.mapScaleX, (y - g.sy0) * g.mapScaleY, h4);
  // 0.33 R + 0.46 G + 0.21 B - Mid Level in hundredths, exactly: a flat
  // map at the mid level moves nothing.
  double h = (33 * h4[0] + 46 * h4[1] + 21 * h4[2] - 100 * g.midLevel) / 25500.0;
  if (g.mapHasAlpha && h4[3] < 255) h = h * h4[3] / 255;
  return {x + g.ax * h, y + g.ay * h, TruncToInt(g.shading * h * 5)};
}

// Radial Wave: rings between an inner and an outer radius move in and out
// along the radius.

int PrepareRadialWave() {
  const int distortion = ParamValue(kRadialWave, 0), length = ParamValue(kRadialWave, 1);
  const int halfWaves = ParamValue(kRadialWave, 2), radius = ParamValue(kRadialWave, 3);
  const int phase = ParamValue(kRadialWave, 4), shading = ParamValue(kRadialWave, 5);
  if (!((distortion != 0 || shading != 0) && halfWaves != 0 && length != 0)) return NoChangeCancel();
  GeometricState& g = Geo();
  TakeEllipse(g);
  const ApplyContext& c = Ctx();
  double r0 = std::sqrt(static_cast<double>(c.rx) * c.rx + static_cast<double>(c.ry) * c.ry);
  if (r0 < 0.001) r0 = 0.001;
  g.rIn = radius * 0.001;
  g.waveLength = 1.0 / length;
  g.rOut = halfWaves * g.waveLength * 0.5 + g.rIn;
  g.phase = phase * g.waveLength / 360;
  g.amplitude = distortion * r0 * g.waveLength * 0.01;
  g.distortion = distortion;
  g.shading = shading;
  return 0;
}

void RadialWaveRow(std::uint8_t* p, int x0, int x1, int y, const std::uint8_t* mask) {
  const ApplyContext& c = Ctx();
  const GeometricState& g = Geo();
  const PixelPlane copy = CopyPlane(c);
  const double v = (y - g.cy) / g.ry;
  for (int x = x0; x <= x1; ++x, p += 4, ++mask) {
    const int m = *mask;
    if (!m) continue;
    const double u = (x - g.cx) / g.rx;
    const double r = std::sqrt(u * u + v * v);
    if (r < g.rIn || r > g.rOut) continue;
    const double s = std::sin((r - g.phase - g.rIn) / g.waveLength * 6.283185306);
    const double d = s * g.amplitude;
    std::uint8_t sample[4];
    if (!SampleClamped(copy, x + d * u, y + d * v, sample)) continue;
    if (g.shading != 0) {
      const int f = TruncToInt(g.distortion * g.shading * s * 0.01) + 100;
      for (int k = 0; k < 3; ++k) sample[k] = static_cast<std::uint8_t>(Clamp255(sample[k] * f / 100));
    }
    for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>((sample[k] * m + p[k] * (255 - m)) / 255);
  }
}

void RadialWavePixel(std::uint8_t* p, int x, int y, int m) {
  const std::uint8_t mask = static_cast<std::uint8_t>(m);
  RadialWaveRow(p, x, x, y, &mask);
}

OpRoutines RadialWaveRoutines() {
  OpRoutines r;
  r.prepare = PrepareRadialWave;
  r.pixelWorker = RadialWavePixel;
  r.rowWorker = RadialWaveRow;
  r.rowsIndependent = true;
  return r;
}

const OpRoutineEntry kRoutines[] = {
    {kDome, WarpRoutines<MapDome>(PrepareDome, nullptr, BulgeRow<DomeRadius>)},
    {kCaricature, WarpRoutines<MapCaricature>(PrepareCaricature, nullptr, BulgeRow<CaricatureRadius>)},
    {kSwirl, WarpRoutines<MapSwirl>(PrepareSwirl, nullptr, SwirlRow)},
    {kWaves, WarpRoutines<MapWaves>(PrepareWaves, FinishWaves, WavesRow)},
    {kTurbulence, WarpRoutines<MapTurbulence>(PrepareTurbulence, FreeWhorls, TurbulenceRow)},
    {kSurfaceWarp, WarpRoutines<MapSurface>(PrepareSurfaceWarp)},
    {kRadialWave, RadialWaveRoutines()},
};

}  // namespace

std::span<const OpRoutineEntry> WarpOperationRoutines() { return kRoutines; }

}  // namespace qv
