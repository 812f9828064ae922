// The Plasma group: Aura's halo and Lightning's bolt.
#pragma once

#include <span>

#include "ops/op_catalogue.h"

namespace qv {

std::span<const OpRoutineEntry> PlasmaOperationRoutines();

}  // namespace qv
