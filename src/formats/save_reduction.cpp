// The seam between the writers that need a palette and the output colour
// reduction, which lives with the display code.
#include <algorithm>

#include "display/colour_reduce.h"
#include "formats/bmp.h"

namespace qv {

int ReduceImageForSave(ImageRecord* image, int mode, IndexedImage& out) {
  std::uint8_t red[256]{}, green[256]{}, blue[256]{};
  ReducedImage reduced = ReduceWithSettings(image, red, green, blue, mode);
  if (!reduced || reduced.bitsPerPixel() != 8) return 1;  // the reduction has told the user
  out.width = reduced.width();
  out.height = reduced.height();
  out.indexes.resize(static_cast<std::size_t>(out.width) * out.height);
  for (int y = 0; y < out.height; ++y)
    std::copy_n(reduced.Row(y), out.width, out.indexes.begin() + static_cast<std::ptrdiff_t>(y) * out.width);
  for (int i = 0; i < 256; ++i) out.palette[i] = {red[i], green[i], blue[i]};
  return 0;
}

}  // namespace qv
