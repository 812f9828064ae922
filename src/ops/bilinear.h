// The bilinear sampler that the warps, Motion, Collage and Alpha operations
// share: weights in 256ths of a pixel, truncated toward zero, one division by
// their sum, results clamped to 0..255.
#pragma once

#include <cstdint>

namespace qv {

struct ImageRecord;

// Pixels placed in the image at (x, y): an undo copy, or a whole picture at 0, 0.
struct PixelPlane {
  const std::uint8_t* pixels = nullptr;
  const std::uint32_t* rows = nullptr;
  std::int32_t x = 0, y = 0, width = 0, height = 0;
};
PixelPlane PlaneOf(const ImageRecord* image, int x, int y);

// Positions beyond this are treated as this far away, so that they convert
// to int safely; no picture comes near it.
inline constexpr double kFarAway = 1073741824.0;

// The position split into whole pixels and 256ths, both truncated toward
// zero (so a negative position has negative fractions).
struct SamplePoint {
  std::int32_t ix, iy, gx, gy;
};
// False for a position that is not a number.
bool SplitPosition(double sxf, double syf, SamplePoint& out);

// The four neighbours' weighted sum per channel, divided by the weights'
// sum (65536) and clamped. p00 at (ix, iy), p10 at (ix + 1, iy), p01 at
// (ix, iy + 1), p11 at (ix + 1, iy + 1).
inline void Blend4(const std::uint8_t* p00, const std::uint8_t* p10, const std::uint8_t* p01,
                   const std::uint8_t* p11, int gx, int gy, std::uint8_t out[4]) {
  const int w00 = (256 - gy) * (256 - gx), w10 = (256 - gy) * gx, w01 = gy * (256 - gx), w11 = gy * gx;
  const int total = w00 + w10 + w01 + w11;
  for (int k = 0; k < 4; ++k) {
    const int v = (p00[k] * w00 + p10[k] * w10 + p01[k] * w01 + p11[k] * w11) / total;
    out[k] = static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
  }
}

// Samples the plane at (sxf, syf) in image coordinates; a neighbour outside
// the plane takes its nearest edge pixel. False (out untouched) for a
// position that is not a number.
bool SampleClamped(const PixelPlane& plane, double sxf, double syf, std::uint8_t out[4]);

}  // namespace qv
