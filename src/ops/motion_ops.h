// The Motion group: Motion Blur, Spiral Blur and Explode smear the selected
// content along lines, arcs or rays, reading the box as it was from the
// undo copy and taking samples only where the mask is set.
#pragma once

#include <span>

#include "ops/op_catalogue.h"

namespace qv {

std::span<const OpRoutineEntry> MotionOperationRoutines();

inline constexpr OpId kMotionBlurOp = 3121, kSpiralBlurOp = 3122, kExplodeOp = 3123;

}  // namespace qv
