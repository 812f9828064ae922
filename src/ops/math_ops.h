// The Math group: Derivative and Variance measure each pixel's
// neighbourhood; Add Images and Subtract combine the action image with a
// second image laid over the selection.
#pragma once

#include <span>
#include <string_view>

#include "ops/op_catalogue.h"

namespace qv {

std::span<const OpRoutineEntry> MathOperationRoutines();

inline constexpr OpId kDerivativeOp = 3161, kVarianceOp = 3162, kAddImagesOp = 3163, kSubtractOp = 3164;

// The names of Add Images' "On Gray" modes, in value order.
std::span<const std::string_view> AddImagesModeNames();

}  // namespace qv
