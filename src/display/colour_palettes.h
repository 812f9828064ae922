// Palette records and the fixed display palettes.
//
// A PaletteRecord is the editable palette the palette library works on; two
// live for the whole run: the render palette (the output palette of every
// colour reduction, and the colours wanted) and the mapping palette (the
// colour table of the gradient and map-coloured operations).
#pragma once

#include <array>
#include <cstdint>

namespace qv {

inline constexpr int kMaxPaletteEntries = 1024;
inline constexpr const char* kRenderPaletteName = "RENDER.pal";
inline constexpr const char* kMappingPaletteName = "GRAY256.pal";

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

// The layout the render palette starts with: a 7 x 8 x 4 cube in entries
// 0-223 (index = red level x 32 + green level x 4 + blue level), a 21-step
// gray ramp in 224-244 and white in 245-255; 256 entries.
void FillRenderPalette(PaletteRecord& palette);
// A 256-step gray ramp.
void FillGrayPalette(PaletteRecord& palette);

// The two palette records of the running program.
struct DisplayPalettes {
  DisplayPalettes();
  PaletteRecord render;   // "RENDER.pal"
  PaletteRecord mapping;  // "GRAY256.pal"
};

// The standard 16 colours, nominal values, in index order.
extern const std::array<std::array<std::uint8_t, 3>, 16> kStandard16Colours;

// Index into the standard 16 colours of a colour, by its top three bits per
// channel.
int Standard16Index(int red, int green, int blue);

// Cube levels of the render palette layout for a channel value.
int CubeRedLevel(int value);
int CubeGreenLevel(int value);
int CubeBlueLevel(int value);

// The gray level of a colour: red x 85/255 + green x 105/255 + blue x 65/255,
// each rounded down.
int Luminance(int red, int green, int blue);

}  // namespace qv
