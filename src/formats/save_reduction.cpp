// The seam between the writers that need a palette and the output colour
// reduction, which lives with the display code.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "display/colour_reduce.h"
#include "formats/bmp.h"
#include "store/image_record.h"

namespace qv {
namespace {

std::uint32_t Key(const std::uint8_t* p) { return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2]; }

// The image's distinct colours (red, green, blue), sorted, when there are
// at most `limit` of them; false when there are more.
bool DistinctColours(ImageRecord* image, std::size_t limit, std::vector<std::uint32_t>& colours) {
  colours.clear();
  std::uint32_t last = 0;
  bool any = false;
  for (int y = 0; y < image->height; ++y) {
    const std::uint8_t* p = PixelAt(image, 0, y);
    for (int x = 0; x < image->width; ++x, p += 4) {
      const std::uint32_t key = Key(p);
      if (any && key == last) continue;
      any = true;
      last = key;
      auto at = std::lower_bound(colours.begin(), colours.end(), key);
      if (at != colours.end() && *at == key) continue;
      if (colours.size() == limit) return false;
      colours.insert(at, key);
    }
  }
  return true;
}

// An image of no more colours than the palette holds is stored with exactly
// those colours: reducing it (to a fixed palette, or with dithering) would
// only lose what the file could have kept, and each save of an 8-bit file
// would lose more. The render palette is left as it was.
bool ExactIndexes(ImageRecord* image, int colourCount, IndexedImage& out) {
  std::vector<std::uint32_t> colours;
  if (!DistinctColours(image, static_cast<std::size_t>(colourCount), colours)) return false;
  out.width = image->width;
  out.height = image->height;
  out.indexes.resize(static_cast<std::size_t>(out.width) * out.height);
  out.palette = {};
  for (std::size_t i = 0; i < colours.size(); ++i)
    out.palette[i] = {static_cast<std::uint8_t>(colours[i] >> 16), static_cast<std::uint8_t>(colours[i] >> 8),
                      static_cast<std::uint8_t>(colours[i])};
  std::uint8_t* index = out.indexes.data();
  std::uint32_t lastKey = colours.front();
  std::uint8_t lastIndex = 0;
  for (int y = 0; y < image->height; ++y) {
    const std::uint8_t* p = PixelAt(image, 0, y);
    for (int x = 0; x < image->width; ++x, p += 4) {
      const std::uint32_t key = Key(p);
      if (key != lastKey) {
        lastKey = key;
        lastIndex = static_cast<std::uint8_t>(std::lower_bound(colours.begin(), colours.end(), key) - colours.begin());
      }
      *index++ = lastIndex;
    }
  }
  return true;
}

}  // namespace

int ReduceImageForSave(ImageRecord* image, int mode, IndexedImage& out) {
  if (!image || image->width < 1 || image->height < 1) return 1;
  const int colourCount = mode == kReduce256Colours ? 256 : mode == kReduce16Colours ? 16 : 2;
  if (LockImage(image) != 0) return 1;
  const bool exact = ExactIndexes(image, colourCount, out);
  UnlockImage(image);
  if (exact) return 0;

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
