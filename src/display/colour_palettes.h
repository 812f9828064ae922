// Palette records and the two palettes every run starts with.
//
// A PaletteRecord is the editable palette the palette library works on; two
// live for the whole run: the render palette (the output palette of every
// colour reduction, and the number of colours wanted) and the mapping
// palette (the colour table of the gradient and map-coloured operations).
#pragma once

#include <cstdint>

namespace qv {

inline constexpr int kMaxPaletteEntries = 1024;

struct PaletteRecord {
  std::uint8_t red[kMaxPaletteEntries];
  std::uint8_t green[kMaxPaletteEntries];
  std::uint8_t blue[kMaxPaletteEntries];
  std::int32_t count;  // 0 is treated as 256
  char name[60];
};

// The entry count as the rest of the system uses it (0 means 256), kept
// within the record.
int PaletteCount(const PaletteRecord& palette);

struct DisplayPalettes {
  DisplayPalettes();
  // "RENDER.pal": a 7 x 8 x 4 cube in entries 0-223 (index = red level x 32
  // + green level x 4 + blue level), a 21-step gray ramp in 224-244, white
  // in 245-255.
  PaletteRecord render;
  PaletteRecord mapping;  // "GRAY256.pal": a 256-step gray ramp
};

}  // namespace qv
