// Palette files in the GIMP palette format (.gpl), which most painting and
// colour tools read and write.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "extlib/qvpal_abi.h"

namespace qvpal {

// Fills the record from the file's text; false (record unchanged) when the
// text is not a palette. At most QVPAL_MAX_ENTRIES colours are kept.
bool ParseGpl(std::string_view text, PaletteRecord& palette);
std::string FormatGpl(const PaletteRecord& palette);
// The number of entries a record holds (a count of 0 means 256).
int EntryCount(const PaletteRecord& palette);

}  // namespace qvpal
