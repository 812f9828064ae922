#include "ops/colour_commands.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/colour_space.h"
#include "display/colour_palettes.h"
#include "ops/apply.h"
#include "ops/apply_state.h"
#include "ops/op_menu.h"
#include "ops/op_state.h"

namespace qv {
namespace {

constexpr OpId kBalance = 3184, kColorize = 3188;
static_assert(kRemapMaxEntries == kMaxPaletteEntries);

ColourOpsState& Col() { return Pipeline().colour; }

std::uint8_t Channel(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

}  // namespace

int BalanceSampleNow(int viewIndex) {
  ColourOpsState& col = Col();
  col.balancePick = true;
  if (!DrawFirst()) {
    RefreshSettingsDialog();
    return 0;
  }
  // The view the person works in is the one to measure when the window
  // knows it; otherwise the given one.
  const auto& applyHere = Ops().hooks.applyToCurrentView;
  const int result = applyHere && CurrentOp() == kBalance ? applyHere() : Apply(static_cast<int>(kBalance), viewIndex);
  // An Apply that never reached the pick handler (no image, busy) must not
  // leave the next real Balance measuring instead of changing the image.
  const bool measured = !col.balancePick;
  col.balancePick = false;
  RefreshSettingsDialog();
  return result == 0 && measured ? 0 : 1;
}

bool BalancePickArmed() { return Col().balancePick; }

void BalanceCancelPick() {
  Col().balancePick = false;
  RefreshSettingsDialog();
}

void BalanceSetTarget(int red, int green, int blue) {
  SetParamValue(kBalance, 1, std::clamp(red, 0, 255));
  SetParamValue(kBalance, 2, std::clamp(green, 0, 255));
  SetParamValue(kBalance, 3, std::clamp(blue, 0, 255));
  RefreshSettingsDialog();
}

void BalanceMatchSample() {
  const SampleColour& s = Col().sample;
  BalanceSetTarget(s.red, s.green, s.blue);
}

void BalanceToBlack() {
  SetParamValue(kBalance, 0, 0);
  BalanceSetTarget(0, 0, 0);
}

void BalanceToWhite() {
  SetParamValue(kBalance, 0, 0);
  BalanceSetTarget(255, 255, 255);
}

void BalanceToGray() {
  const SampleColour& s = Col().sample;
  const int grey = (s.red + s.green + s.blue) / 3;
  SetParamValue(kBalance, 0, 0);
  BalanceSetTarget(grey, grey, grey);
}

bool HistogramGathered() {
  for (const auto& channel : Col().histogram)
    if (std::any_of(channel, channel + 256, [](std::int32_t v) { return v != 0; })) return true;
  return false;
}

void ResetHistogramMap() {
  ColourOpsState& col = Col();
  for (auto& channel : col.histogramMap)
    for (int i = 0; i < 256; ++i) channel[i] = static_cast<std::int16_t>(i);
  col.mapBrightness = 0;
  col.mapContrast = 0;
  col.markerLow = 0;
  col.markerHigh = 255;
  RefreshSettingsDialog();
}

int HistogramEqualize() {
  ColourOpsState& col = Col();
  std::int64_t cum[3][256];
  for (int c = 0; c < 3; ++c) {
    std::int64_t run = 0;
    for (int i = 0; i < 256; ++i) cum[c][i] = run += std::max<std::int32_t>(0, col.histogram[c][i]);
  }
  bool changed = false;
  if (col.independentRgb) {
    for (int c = 0; c < 3; ++c) {
      if (cum[c][255] == 0) continue;
      for (int i = 0; i < 256; ++i) col.histogramMap[c][i] = static_cast<std::int16_t>(cum[c][i] * 255 / cum[c][255]);
      changed = true;
    }
  } else if (const std::int64_t total = cum[0][255] + cum[1][255] + cum[2][255]; total != 0) {
    for (int i = 0; i < 256; ++i) {
      const auto v = static_cast<std::int16_t>((cum[0][i] + cum[1][i] + cum[2][i]) * 255 / total);
      col.histogramMap[0][i] = col.histogramMap[1][i] = col.histogramMap[2][i] = v;
    }
    changed = true;
  }
  if (changed) RefreshSettingsDialog();
  return changed ? 0 : 1;
}

void SetIndependentRgb(bool on) { Col().independentRgb = on; }

void SetStandardAdjustments(int brightness, int contrast) {
  ColourOpsState& col = Col();
  col.mapBrightness = std::clamp(brightness, -100, 100);
  col.mapContrast = std::clamp(contrast, -100, 100);
  const int b = col.mapBrightness, c = col.mapContrast;
  col.markerLow = (c - 100) * 127 / 100 - b * 256 / 100 + 127;
  col.markerHigh = (100 - c) * 127 / 100 - b * 256 / 100 + 128;
}

void ApplyStandardAdjustments() {
  ColourOpsState& col = Col();
  auto& map = col.histogramMap;
  int low = 255, high = 0;
  for (int i = 0; i < 256; ++i) {
    if (map[0][i] > 0 || map[1][i] > 0) low = i;
    if (map[0][i] < 255 || map[1][i] < 255) high = i;
  }
  if (high <= low) {
    low = 0;
    high = 255;
  }
  const long span = col.markerHigh - col.markerLow == 0 ? 1 : col.markerHigh - col.markerLow;
  std::int16_t out[3][256];
  for (int i = 0; i < 256; ++i) {
    const long j = low + static_cast<long>(i - col.markerLow) * (high - low) / span;
    for (int c = 0; c < 3; ++c) out[c][i] = static_cast<std::int16_t>(j < 0 ? 0 : j > 255 ? 255 : map[c][j]);
  }
  std::memcpy(map, out, sizeof out);
  RefreshSettingsDialog();
}

void DrawMapLine(unsigned channels, int x0, int v0, int x1, int v1) {
  if (x0 > x1) {
    std::swap(x0, x1);
    std::swap(v0, v1);
  }
  auto& map = Col().histogramMap;
  // In floating point: the ends may lie far outside the map, and only the
  // part over 0..255 is drawn.
  const double dx = static_cast<double>(x1) - x0;
  for (long x = std::max(x0, 0); x <= std::min(x1, 255); ++x) {
    // Rounded to the nearest level so that a slow stroke meets its end points.
    const double v = dx == 0 ? v1 : v0 + (static_cast<double>(v1) - v0) * (x - x0) / dx;
    const auto level = static_cast<std::int16_t>(std::lround(std::clamp(v, 0.0, 255.0)));
    for (int c = 0; c < 3; ++c)
      if (channels & (1u << c)) map[c][x] = level;
  }
}

int RemapPaletteSize() { return PaletteCount(Col().remapFrom); }

int SetRemapPaletteSize(int entries) {
  const int n = std::clamp(entries, 1, kRemapMaxEntries);
  // The "To" palette follows, so that the palette window shows the pairs.
  Col().remapFrom.count = n;
  Col().remapTo.count = n;
  RefreshSettingsDialog();
  return n;
}

Rgb RemapEntry(bool to, int index) {
  if (index < 0 || index >= kRemapMaxEntries) return {};
  const PaletteRecord& p = to ? Col().remapTo : Col().remapFrom;
  return {p.red[index], p.green[index], p.blue[index]};
}

int SetRemapEntry(bool to, int index, const Rgb& colour) {
  if (index < 0 || index >= kRemapMaxEntries) return 1;
  PaletteRecord& p = to ? Col().remapTo : Col().remapFrom;
  p.red[index] = Channel(colour.red);
  p.green[index] = Channel(colour.green);
  p.blue[index] = Channel(colour.blue);
  RefreshSettingsDialog();
  return 0;
}

Rgb ColorizeSwatch() {
  const int hue = ParamValue(kColorize, 0);
  const int saturation = ParamValue(kColorize, 2) != 0 ? ParamValue(kColorize, 1) : 100;
  const RgbColour c = HslToRgb({hue, std::clamp(saturation, 0, 100), 50}, {127, 127, 127});
  return {std::clamp(c.r, 0, 255), std::clamp(c.g, 0, 255), std::clamp(c.b, 0, 255)};
}

Rgb SampleSwatch() {
  const SampleColour& s = Col().sample;
  return {std::clamp(s.red, 0, 255), std::clamp(s.green, 0, 255), std::clamp(s.blue, 0, 255)};
}

}  // namespace qv
