// The Pattern group: cells, tiles, nets, lines, gradient fills and outlines.
#pragma once

#include <span>

#include "ops/op_catalogue.h"

namespace qv {

std::span<const OpRoutineEntry> PatternOperationRoutines();

}  // namespace qv
