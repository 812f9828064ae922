#include "ops/lightning_op.h"

namespace qv {

std::span<const OpRoutineEntry> LightningRoutines() { return {}; }

}  // namespace qv
