// Palette records as the colour code uses them. The records themselves (and
// the two standard palettes every run starts with) belong to the palette
// library interface.
#pragma once

#include <cstdint>

#include "extlib/qvpal_abi.h"

namespace qv {

inline constexpr int kMaxPaletteEntries = QVPAL_MAX_ENTRIES;

// The entry count as the rest of the system uses it (0 means 256), kept
// within the record.
int PaletteCount(const PaletteRecord& palette);

}  // namespace qv
