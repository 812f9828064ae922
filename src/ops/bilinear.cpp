#include "ops/bilinear.h"

#include <algorithm>
#include <cmath>

#include "store/image_record.h"

namespace qv {

PixelPlane PlaneOf(const ImageRecord* image, int x, int y) {
  PixelPlane p;
  if (!image) return p;
  p.pixels = image->pixels;
  p.rows = image->rows;
  p.x = x;
  p.y = y;
  p.width = image->width;
  p.height = image->height;
  return p;
}

bool SplitPosition(double sxf, double syf, SamplePoint& out) {
  if (std::isnan(sxf) || std::isnan(syf)) return false;
  sxf = std::clamp(sxf, -kFarAway, kFarAway);
  syf = std::clamp(syf, -kFarAway, kFarAway);
  out.ix = static_cast<std::int32_t>(sxf);
  out.iy = static_cast<std::int32_t>(syf);
  out.gx = static_cast<std::int32_t>((sxf - out.ix) * 256);
  out.gy = static_cast<std::int32_t>((syf - out.iy) * 256);
  return true;
}

bool SampleClamped(const PixelPlane& plane, double sxf, double syf, std::uint8_t out[4]) {
  SamplePoint s;
  if (!SplitPosition(sxf, syf, s)) return false;
  const std::int64_t cx = std::clamp<std::int64_t>(std::int64_t{s.ix} - plane.x, 0, plane.width - 1);
  const std::int64_t cy = std::clamp<std::int64_t>(std::int64_t{s.iy} - plane.y, 0, plane.height - 1);
  const std::int64_t nx = cx + 1 < plane.width ? cx + 1 : cx;
  const std::int64_t ny = cy + 1 < plane.height ? cy + 1 : cy;
  const std::uint8_t* row0 = plane.pixels + std::size_t{plane.rows[cy]} * 4;
  const std::uint8_t* row1 = plane.pixels + std::size_t{plane.rows[ny]} * 4;
  Blend4(row0 + cx * 4, row0 + nx * 4, row1 + cx * 4, row1 + nx * 4, s.gx, s.gy, out);
  return true;
}

}  // namespace qv
