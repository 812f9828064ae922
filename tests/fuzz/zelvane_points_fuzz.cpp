// libFuzzer target for the companion's point-file reader: what it accepts
// must come back the same when written and read again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "point_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<zelvane::PointPair> pairs, again;
  std::string why;
  if (!zelvane::ParsePointFile(std::string_view(reinterpret_cast<const char*>(data), size), pairs, why)) return 0;
  if (!zelvane::ParsePointFile(zelvane::FormatPointFile(pairs), again, why) || again.size() != pairs.size()) std::abort();
  for (std::size_t i = 0; i < pairs.size(); ++i)
    if (again[i].x0 != pairs[i].x0 || again[i].y1 != pairs[i].y1) std::abort();
  return 0;
}
