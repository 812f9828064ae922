// Point files (".zpt"): the pairs of a warp, each a point of the start image
// and where it goes in the end image, in pixels.
//
//   ZPOINTS 1
//   # start x, start y, end x, end y
//   10 12 14.5 12
//
// The file is read as hostile: at most kMaxPairs pairs, finite numbers only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelvane {

struct PointPair {
  double x0 = 0, y0 = 0;  // in the start image
  double x1 = 0, y1 = 0;  // in the end image
};

inline constexpr std::size_t kMaxPairs = 10000;

// The pairs of a file's text; false with the reason (and its line) when refused.
bool ParsePointFile(std::string_view text, std::vector<PointPair>& pairs, std::string& why);
std::string FormatPointFile(const std::vector<PointPair>& pairs);

// Reading caps the file at what kMaxPairs lines can take.
bool LoadPointFile(const std::string& path, std::vector<PointPair>& pairs, std::string& why);
// Written to a temporary file beside it and renamed over it when complete.
bool SavePointFile(const std::string& path, const std::vector<PointPair>& pairs, std::string& why);

}  // namespace zelvane
