#include "ops/effect_support.h"

#include <cmath>
#include <cstring>

#include "area/area_mask.h"
#include "area/area_options.h"
#include "display/colour_palettes.h"
#include "extlib/palette_library.h"
#include "ops/apply.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/memory_places.h"

namespace qv {

CopyView::CopyView(const ImageRecord* copy) {
  if (!copy || !copy->pixels) return;
  pixels = copy->pixels;
  rows = copy->rows;
  left = copy->originX < 0 ? 0 : copy->originX;
  top = copy->originY < 0 ? 0 : copy->originY;
  width = copy->width;
  height = copy->height;
}

Plane::Plane(ImageRecord* image, std::uint8_t* maskBytes)
    : pixels(image->pixels), rows(image->rows), mask(maskBytes), width(image->width), height(image->height) {}

SelectionRect CurrentSelectionRect(const ApplyContext& c) { return {c.x0, c.y0, c.x1, c.y1}; }

void WidenBox(ApplyContext& c, long dx, long dy) {
  if (!c.image) return;
  const long w = c.image->width, h = c.image->height;
  dx = std::clamp<long>(dx, 0, w);
  dy = std::clamp<long>(dy, 0, h);
  c.x0 = static_cast<std::int32_t>(std::clamp<long>(c.x0 - dx, 0, w - 1));
  c.x1 = static_cast<std::int32_t>(std::clamp<long>(c.x1 + dx, 0, w - 1));
  c.y0 = static_cast<std::int32_t>(std::clamp<long>(c.y0 - dy, 0, h - 1));
  c.y1 = static_cast<std::int32_t>(std::clamp<long>(c.y1 + dy, 0, h - 1));
}

const PaletteRecord& MappingPalette() { return PaletteLibrary().mapping; }
PaletteRecord& MutableMappingPalette() { return PaletteLibrary().mapping; }
int MappingCount() { return PaletteCount(MappingPalette()); }

namespace {

// Entry index within 0..count - 1 and the record's 1024 entries.
inline int Wrap(long i, int count) {
  if (i >= 0 && i < count) return static_cast<int>(i);
  long e = i % count;
  if (e < 0) e += count;
  return static_cast<int>(std::clamp<long>(e, 0, kMaxPaletteEntries - 1));
}

template <class T>
void LookUp(const PaletteLookup& l, T t, int out[3]) {
  const PaletteRecord& p = *l.palette;
  if (!std::isfinite(t)) t = 0;
  t = std::clamp<T>(t, T(-1e9), T(1e9));
  const long i = static_cast<long>(t);
  if (l.smooth) {
    const int g = static_cast<int>((t - static_cast<T>(i)) * 256);
    const int e1 = Wrap(i, l.count);
    const int e2 = e1 + 1 < l.count ? std::min(e1 + 1, kMaxPaletteEntries - 1) : 0;
    out[0] = (p.red[e2] * g + p.red[e1] * (256 - g)) / 256;
    out[1] = (p.green[e2] * g + p.green[e1] * (256 - g)) / 256;
    out[2] = (p.blue[e2] * g + p.blue[e1] * (256 - g)) / 256;
    // Below the first entry the fraction is negative: keep the colour a colour.
    for (int c = 0; c < 3; ++c) out[c] = Clamp0To255(out[c]);
  } else {
    const int e = Wrap(i, l.count);
    out[0] = p.red[e];
    out[1] = p.green[e];
    out[2] = p.blue[e];
  }
}

}  // namespace

void PaletteLookup::Colour(float t, int out[3]) const { LookUp(*this, t, out); }
void PaletteLookup::Colour(double t, int out[3]) const { LookUp(*this, t, out); }

float CycleOffset(long cycle, int n) {
  if (cycle == 0) return 0.0f;
  return static_cast<float>((360 - cycle) * (n - 1) / 360);
}

TransparencyNow CurrentTransparencyValues() {
  const TransparencyValues v = CurrentTransparency();
  return {v.level, v.edgeFade, v.grow};
}

void RestoreMaskBox(const std::uint8_t* bytes, int x0, int y0, int x1, int y1) {
  const AreaMask& m = Area().mask;
  if (!m.place || x1 < x0 || y1 < y0 || x1 >= m.width || y1 >= m.height) return;
  auto* mask = static_cast<std::uint8_t*>(LockVirtual(m.place));
  if (!mask) return;
  const std::size_t span = static_cast<std::size_t>(x1 - x0 + 1);
  for (int y = y0; y <= y1; ++y)
    std::memcpy(mask + static_cast<std::size_t>(y) * m.width + x0, bytes + (y - y0) * span, span);
  UnlockVirtual(m.place);
}

const AreaSelection& TheAreaSelection() { return Area().selection; }

bool MaskWithAlphaOn() { return Area().maskWithAlpha; }
void RefreshOperationSettings() {
  if (Ops().hooks.refreshSettings) Ops().hooks.refreshSettings();
}

bool Generating() { return Pipeline().generating; }

}  // namespace qv
