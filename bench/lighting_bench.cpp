// Lighting and Plasma operations, one thread, on a 4-megapixel picture:
// the whole image, or (Aura, Lightning) around a centred ellipse of half
// sizes 512, counted by its box. Lightning reports its stamped pixels too.
#include "effect_bench.h"

namespace {

constexpr double kWhole = double(bench::kSide) * bench::kSide;
constexpr double kAuraBox = (1024.0 + 2 * 289) * (1024.0 + 2 * 289);  // widened by the halo

EFFECT(Asterize, 3111, false, kWhole, nullptr);
EFFECT(Annular, 3112, false, kWhole, nullptr);
EFFECT(Shine, 3114, false, kWhole, nullptr);
EFFECT(Aura, 3212, true, kAuraBox, nullptr);
EFFECT(Lightning, 3211, true, 1025.0 * 1025.0, nullptr);
EFFECT(Refract, 3113, false, kWhole, nullptr);
EFFECT(Fire, 3213, false, kWhole, nullptr);

}  // namespace
