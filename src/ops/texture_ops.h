// The Texture group: Blur, Sharpen, Remove, Shave, Relief, Elevations,
// Contour, Apply Canvas and Dither. Each reads the box as it was from the
// undo copy and writes the result blended through the mask.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "ops/op_catalogue.h"

namespace qv {

std::span<const OpRoutineEntry> TextureOperationRoutines();

inline constexpr OpId kReliefOp = 3151, kDitherOp = 3152, kElevationsOp = 3153, kSharpenOp = 3154, kBlurOp = 3155,
                      kRemoveOp = 3156, kShaveOp = 3157, kApplyCanvasOp = 3158, kContourOp = 3159;

// The quarter kernel of Blur, Sharpen and Apply Canvas for "Radius /10" p:
// (R + 1) x (R + 1) weights indexed by |dx| + |dy| x (R + 1). Empty when p
// asks for more than any picture could use.
std::vector<std::int16_t> SpreadKernel(int p);

// The names of Shave's "Direction", in value order.
std::span<const std::string_view> ShaveDirectionNames();

}  // namespace qv
