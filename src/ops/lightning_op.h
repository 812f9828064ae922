// Lightning: a zig-zagging, branching bolt across the selection or along a
// drawn path.
#pragma once

#include <span>

#include "ops/op_catalogue.h"

namespace qv {

std::span<const OpRoutineEntry> LightningRoutines();

}  // namespace qv
