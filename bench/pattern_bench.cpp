// Pattern operations, one thread, on a 4-megapixel picture selected whole
// (Outline around a centred ellipse of half sizes 512, counted by its box).
// Pixelize's peer: bench/pixelize_vs_imagemagick.sh.
#include "effect_bench.h"

namespace {

constexpr double kWhole = double(bench::kSide) * bench::kSide;

EFFECT(Pixelize, 3143, false, kWhole, nullptr);
EFFECT(RandomTile, 3142, false, kWhole, nullptr);
EFFECT(Net3D, 3141, false, kWhole, nullptr);
EFFECT(Cellular, 3144, false, kWhole, nullptr);
EFFECT(Lined, 3145, false, kWhole, nullptr);
EFFECT(LinearFill, 3146, false, kWhole, nullptr);
EFFECT(Concentric, 3147, false, kWhole, nullptr);
EFFECT(Radiating, 3148, false, kWhole, nullptr);
EFFECT(Outline, 3149, true, (1024.0 + 16) * (1024.0 + 16), nullptr);

}  // namespace
