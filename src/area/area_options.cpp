#include "area/area_options.h"

#include <algorithm>

#include "area/area_mask.h"

namespace qv {

KeyColour GetKeyColour() {
  const KeyColourAccess& access = Area().keyColour;
  return access.get ? access.get() : KeyColour{};
}

void SetKeyColour(const KeyColour& key) {
  const KeyColourAccess& access = Area().keyColour;
  if (access.set) access.set(key);
}

void ForgetAreaImage(const ImageRecord* image) {
  if (Area().maskImage == image) Area().maskImage = nullptr;
}

int PresetEdgeFade(TransparencyPreset preset) {
  switch (preset) {
    case TransparencyPreset::Flat: return 0;
    case TransparencyPreset::SoftEdges: return 1;
    case TransparencyPreset::BroadEdgeFade: return 50;
    case TransparencyPreset::ConicalFade: return 100;
  }
  return 0;
}

TransparencyValues ClampTransparency(TransparencyValues v) {
  v.level = std::clamp(v.level, 0, kMaxTransparencyLevel);
  v.edgeFade = std::clamp(v.edgeFade, 0, kMaxEdgeFade);
  v.grow = std::clamp(v.grow, 0, kMaxGrow);
  return v;
}

TransparencyValues CurrentTransparency() {
  const AreaSelection& s = Area().selection;
  return ClampTransparency({s.transparencyLevel, s.edgeFade, s.grow});
}

void SetTransparency(const TransparencyValues& v) {
  TransparencyValues c = ClampTransparency(v);
  AreaSelection& s = Area().selection;
  s.transparencyLevel = c.level;
  s.edgeFade = c.edgeFade;
  s.grow = c.grow;
}

std::vector<std::uint8_t> TransparencyPreview(int width, int height, bool ellipse, const TransparencyValues& v) {
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096) return {};
  std::vector<std::uint8_t> mask(static_cast<std::size_t>(width) * height, 0);
  AreaSelection s;
  s.mode = static_cast<std::int16_t>(ellipse ? kAreaEllipse : kAreaRectangle);
  SetSelectionBox(s, 0, 0, width - 1, height - 1);
  TransparencyValues c = ClampTransparency(v);
  s.transparencyLevel = c.level;
  s.edgeFade = c.edgeFade;
  s.grow = c.grow;
  // The shape as its builder leaves it: every byte inside at 255.
  double rx = std::max(0.5, (width - 1) / 2.0), ry = std::max(0.5, (height - 1) / 2.0);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      bool inside = true;
      if (ellipse) {
        double fx = (x - s.centreX) / rx, fy = (y - s.centreY) / ry;
        inside = fx * fx + fy * fy <= 1.0;
      }
      if (inside) mask[static_cast<std::size_t>(y) * width + x] = 255;
    }
  if (FadeMaskBytes(mask.data(), width, height, s) != 0) return {};
  return mask;
}

SplatterSettings ClampSplatter(SplatterSettings s) {
  s.number = std::clamp(s.number, 1, kMaxSplats);
  s.seed = std::max(s.seed, 0);
  s.shape = s.shape != 0 ? 1 : 0;
  s.sizing = std::clamp(s.sizing, 1, kMaxSplatSizing);
  s.holdSquare = s.holdSquare != 0 ? 1 : 0;
  s.inFromEdge = s.inFromEdge != 0 ? 1 : 0;
  return s;
}

void SetSplatter(const SplatterSettings& s) { Area().splat = ClampSplatter(s); }

ColourDiscriminator ClampDiscriminator(ColourDiscriminator d) {
  for (int c = 0; c < 3; ++c) {
    d.from[c] = std::clamp(d.from[c], 0, 255);
    d.to[c] = std::clamp(d.to[c], 0, 255);
  }
  return d;
}

void SetDiscriminator(const ColourDiscriminator& d) { Area().discriminator = ClampDiscriminator(d); }

void SetRoundness(int percent) { Area().selection.roundness = std::clamp(percent, 0, 100); }

}  // namespace qv
