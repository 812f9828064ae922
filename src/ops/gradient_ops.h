// Linear Fill, Concentric, Radiating and Outline: colours of the mapping
// palette laid along a direction, around ellipses, around a centre, or in
// bands by the distance from the selection's edge.
#pragma once

#include <span>

#include "ops/op_catalogue.h"

namespace qv {

std::span<const OpRoutineEntry> GradientOperationRoutines();

}  // namespace qv
