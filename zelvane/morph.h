// The companion's warp and blend: frame n of m of a Distortion (one image
// warped along its point pairs) or a Transition (start and end images warped
// towards each other and cross-dissolved).
#pragma once

#include <cstdint>
#include <vector>

#include "point_file.h"

namespace zelvane {

// RGBA, 4 bytes per pixel, rows top first.
struct Picture {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> rgba;
};

// Where frame n of m lies between start (0) and end (1): (n - 1) / (m - 1),
// clamped.
double FrameTime(long n, long m);

// Distortion: the start image sampled (bilinearly) at q + sum w_i (p0_i - p_i(t)) / sum w_i,
// w_i = 1 / (|q - p_i(t)|^2 + 1), with p_i(t) the pair's point moved by t.
// No pair leaves the picture as it is; one pair shifts it.
Picture DistortFrame(const Picture& start, const std::vector<PointPair>& pairs, long n, long m);

// Transition: the start warped as above, the end (stretched to the start's
// size) warped likewise from its own points, blended (S(M - k) + E k + M/2) / M
// with k = n - 1 and M = m - 1 (k clamped to 0..M).
Picture TransitionFrame(const Picture& start, const Picture& end, const std::vector<PointPair>& pairs, long n, long m);

}  // namespace zelvane
