// Lightning: a zig-zagging, branching bolt across the selection or along a
// drawn path.
#pragma once

#include <cstdint>
#include <span>

#include "ops/op_catalogue.h"

namespace qv {

std::span<const OpRoutineEntry> LightningRoutines();

// The pixels the last Lightning apply stamped light into, counted once per
// stamp (a measure of its work for the benchmarks).
std::int64_t LightningStampedPixels();

}  // namespace qv
