// What the settings window's controls do to the live values, kept out of the
// window so that it can be used and checked without one: the row labels of
// the shared dialog templates, scroll and edit steps clamped to the dial
// range, and the coupled size rows of Enlarge and Reduce.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ops/op_catalogue.h"

namespace qv {

// "%s Settings" with the operation's name ("%s Contents" for Sample).
std::string SettingsWindowTitle(OpId id);

// The text of a parameter row: the catalogue label, except where a shared
// template shows its own ("Distortion%" for Dome, "Depth" for Relief, ...).
std::string_view RowLabel(OpId id, int slot);

// A parameter row edited as a switch (a check box) rather than a number.
bool IsSwitchRow(const ParamSlot& slot);

enum class ScrollStep { LineLeft, LineRight, PageLeft, PageRight, Thumb };
// Applies a scroll bar step (1 a line, 10 a page, or the thumb position) to
// the live value, clamped to the dial range; returns the stored value.
std::int32_t ScrollParam(OpId id, int slot, ScrollStep step, std::int32_t thumb = 0);
// The edit box lost the focus: its number, clamped to the dial range, is
// stored; text without a number leaves the value as it was.
std::int32_t EditParam(OpId id, int slot, std::string_view text);

// Enlarge and Reduce: with "Constant zoom" on the percentages stay and the
// new dimensions follow from the old size; with it off the new dimensions
// stay and the percentages follow. An old dimension of 0 counts as 1.
void RecoupleSize(OpId id);

}  // namespace qv
