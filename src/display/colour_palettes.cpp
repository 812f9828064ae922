#include "display/colour_palettes.h"

namespace qv {

int PaletteCount(const PaletteRecord& palette) {
  if (palette.count <= 0) return 256;
  return palette.count > kMaxPaletteEntries ? kMaxPaletteEntries : palette.count;
}

}  // namespace qv
