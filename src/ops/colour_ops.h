// The standard colour operations and the point operations of the Alpha
// group: their routines (registered in the catalogue).
#pragma once

#include <cstdint>
#include <span>

#include "ops/colour_commands.h"  // the commands of their dialogs
#include "ops/op_catalogue.h"

namespace qv {

std::span<const OpRoutineEntry> ColourOperationRoutines();

// Monochrome's grey, in the precision the operation has always had.
int MonochromeGrey(int r, int g, int b, bool luminance);

}  // namespace qv
