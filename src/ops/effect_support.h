// What the lighting, aura and pattern workers share: the undo copy read at
// image coordinates, the mask, the luminance of a colour, the mapping
// palette's look-up, and the few program-wide settings they consult.
#pragma once

#include <algorithm>
#include <cstdint>

#include "store/display_palettes.h"
#include "extlib/qvpal_abi.h"
#include "ops/apply_state.h"

namespace qv {

struct ImageRecord;
struct AreaSelection;

inline int Clamp0To255(long v) { return static_cast<int>(std::clamp<long>(v, 0, 255)); }
inline int Lum(int r, int g, int b) { return Luminance(r, g, b); }

// The untouched pixels of the box, read at image coordinates.
struct CopyView {
  const std::uint8_t* pixels = nullptr;
  const std::uint32_t* rows = nullptr;
  int left = 0, top = 0, width = 0, height = 0;
  explicit CopyView(const ImageRecord* copy);
  bool Has(int x, int y) const { return x >= left && y >= top && x < left + width && y < top + height; }
  const std::uint8_t* At(int x, int y) const {
    return pixels + (static_cast<std::size_t>(rows[y - top]) + static_cast<std::size_t>(x - left)) * 4;
  }
};

// The image being changed, with its mask.
struct Plane {
  std::uint8_t* pixels = nullptr;
  const std::uint32_t* rows = nullptr;
  std::uint8_t* mask = nullptr;
  int width = 0, height = 0;
  Plane(ImageRecord* image, std::uint8_t* maskBytes);
  bool Has(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  std::uint8_t* At(int x, int y) const {
    return pixels + (static_cast<std::size_t>(rows[y]) + static_cast<std::size_t>(x)) * 4;
  }
  std::uint8_t& MaskAt(int x, int y) const { return mask[static_cast<std::size_t>(y) * width + x]; }
};

// The selection rectangle of this apply (the box as the pipeline fixed it,
// before an operation widened it).
struct SelectionRect {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};
SelectionRect CurrentSelectionRect(const ApplyContext& c);
// Widens the box by dx, dy on each side, kept within the image.
void WidenBox(ApplyContext& c, long dx, long dy);

// The mapping palette of the gradient operations and Outline.
const PaletteRecord& MappingPalette();
PaletteRecord& MutableMappingPalette();
int MappingCount();  // 1..1024

// Palette lookup of the gradient fills: position t, "Smooth" or not.
struct PaletteLookup {
  const PaletteRecord* palette = nullptr;
  int count = 1;
  bool smooth = true;
  void Colour(float t, int out[3]) const;
  void Colour(double t, int out[3]) const;
};
// The cycle offset of a "Cycle" value for a palette of n entries.
float CycleOffset(long cycle, int n);

// The transparency settings, "&Mask with Alpha", the selection's mode and
// its capture points, and whether a sequence is being generated.
struct TransparencyNow {
  int level = 255, edgeFade = 0, grow = 100;
};
TransparencyNow CurrentTransparencyValues();
// Writes rows of a box back into the area mask after a driver released it
// (bytes: the box's rows, x0..x1 each).
void RestoreMaskBox(const std::uint8_t* bytes, int x0, int y0, int x1, int y1);
bool MaskWithAlphaOn();
const AreaSelection& TheAreaSelection();
// The settings window (and an open profile window) shows the live values again.
void RefreshOperationSettings();
bool Generating();

// Blends colour into pixel p by m (0..255), R, G, B; with affect-alpha the
// alpha takes the luminance of colour instead.
inline void BlendRgb(std::uint8_t* p, const int col[3], int m) {
  const int k = 255 - m;
  p[0] = static_cast<std::uint8_t>((col[0] * m + p[0] * k) / 255);
  p[1] = static_cast<std::uint8_t>((col[1] * m + p[1] * k) / 255);
  p[2] = static_cast<std::uint8_t>((col[2] * m + p[2] * k) / 255);
}

}  // namespace qv
