// Refract (Lighting group) bends the picture as if seen through moulded
// glass whose thickness is the picture's own colour; Fire (Plasma group)
// grows flames from the selection's edge.
#pragma once

#include <span>

#include "ops/op_catalogue.h"
#include "ops/op_state.h"

namespace qv {

inline constexpr OpId kRefractOp = 3113;
inline constexpr OpId kFireOp = 3213;

std::span<const OpRoutineEntry> RefractRoutines();

// The value at `index` (0..200) of Refract's curve that changes nothing:
// the colour curves give back their channel, the position curves 100 %.
// A curve drawn for the first time starts from it.
int RefractIdentity(ProfileId id, int index);
// Whether a profile is one of Refract's twelve curves.
bool IsRefractCurve(ProfileId id);
std::span<const OpRoutineEntry> FireRoutines();

// The ways Fire can work its pixels out, all to the same bytes: the widest
// the processor has, or one named (for the tests that hold them to it);
// kEveryPixel works out every pixel of the selection in full, one at a
// time, without leaving out any that could not show, from the steps of the
// whole box walked at once.
enum class FirePath { kBest, kPlain, kAvx2, kAvx512, kEveryPixel };
bool FirePathAvailable(FirePath path);
// Until called again with kBest.
void UseFirePath(FirePath path);

}  // namespace qv
