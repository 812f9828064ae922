// The values the area dialogs edit (transparency, splatter, the colour
// discriminator, Round Rect roundness), kept inside their ranges whatever a
// dialog, an area file or the settings file hands in.
#pragma once

#include <cstdint>
#include <vector>

#include "area/area_mask.h"

namespace qv {

struct TransparencyValues {
  int level = 255;    // 0..255
  int edgeFade = 0;   // 0..100 percent
  int grow = 100;     // 0..100 percent
};
inline constexpr int kMaxTransparencyLevel = 255;
inline constexpr int kMaxEdgeFade = 100;
inline constexpr int kMaxGrow = 100;

// The presets of the "Transparency Controls" dialog; each sets Edge Fade only.
enum class TransparencyPreset { Flat, SoftEdges, BroadEdgeFade, ConicalFade };
int PresetEdgeFade(TransparencyPreset preset);

TransparencyValues ClampTransparency(TransparencyValues v);
TransparencyValues CurrentTransparency();
void SetTransparency(const TransparencyValues& v);

// What a selection filling a width x height box (a rectangle, or the ellipse
// inside it) becomes under these values: the mask the apply pipeline would
// use, made by the same code. Empty when memory runs out.
std::vector<std::uint8_t> TransparencyPreview(int width, int height, bool ellipse, const TransparencyValues& v);

// Splatter: at least one splat and a size factor the splat arithmetic can
// carry; flags become 0 or 1; the seed is never negative.
inline constexpr int kMaxSplats = 9999;
inline constexpr int kMaxSplatSizing = 1000;
SplatterSettings ClampSplatter(SplatterSettings s);
void SetSplatter(const SplatterSettings& s);

// R, G, B from and to values 0..255 (their order is kept: the test orders
// each range when it is used).
ColourDiscriminator ClampDiscriminator(ColourDiscriminator d);
void SetDiscriminator(const ColourDiscriminator& d);

void SetRoundness(int percent);  // 0..100

}  // namespace qv
