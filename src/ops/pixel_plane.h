// Pixels placed in an image at (x, y): an undo copy, or a whole picture at 0, 0.
#pragma once

#include <cstdint>

namespace qv {

struct PixelPlane {
  const std::uint8_t* pixels = nullptr;
  const std::uint32_t* rows = nullptr;
  std::int32_t x = 0, y = 0, width = 0, height = 0;
};

}  // namespace qv
