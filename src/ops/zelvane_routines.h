// Distortion and Transition are computed by the Zelvane companion; their
// entries hand the work to the link through the pipeline's hooks.
#pragma once

#include <span>

#include "ops/op_catalogue.h"

namespace qv {

std::span<const OpRoutineEntry> ZelvaneOperationRoutines();

}  // namespace qv
