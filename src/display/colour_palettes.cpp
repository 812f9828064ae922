#include "display/colour_palettes.h"

#include <cstring>

#include "app/fixed_text.h"

namespace qv {

int PaletteCount(const PaletteRecord& palette) {
  if (palette.count <= 0) return 256;
  return palette.count > kMaxPaletteEntries ? kMaxPaletteEntries : palette.count;
}

DisplayPalettes::DisplayPalettes() {
  std::memset(&render, 0, sizeof render);
  for (int i = 0; i < 224; ++i) {
    render.red[i] = static_cast<std::uint8_t>((i >> 5) * 255 / 6);
    render.green[i] = static_cast<std::uint8_t>(((i >> 2) & 7) * 255 / 7);
    render.blue[i] = static_cast<std::uint8_t>((i & 3) * 85);
  }
  for (int k = 0; k < 21; ++k) render.red[224 + k] = static_cast<std::uint8_t>(k * 255 / 21);
  for (int i = 245; i < 256; ++i) render.red[i] = 255;
  for (int i = 224; i < 256; ++i) render.green[i] = render.blue[i] = render.red[i];
  render.count = 256;
  CopyText(render.name, "RENDER.pal");

  std::memset(&mapping, 0, sizeof mapping);
  for (int i = 0; i < 256; ++i) mapping.red[i] = mapping.green[i] = mapping.blue[i] = static_cast<std::uint8_t>(i);
  mapping.count = 256;
  CopyText(mapping.name, "GRAY256.pal");
}

}  // namespace qv
