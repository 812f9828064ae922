// The standard colour operations and the point operations of the Alpha
// group: their routines (registered in the catalogue) and the commands of
// their settings dialogs.
#pragma once

#include <cstdint>
#include <span>

#include "ops/op_catalogue.h"

namespace qv {

std::span<const OpRoutineEntry> ColourOperationRoutines();

// Monochrome's grey, in the precision the operation has always had.
int MonochromeGrey(int r, int g, int b, bool luminance);

// Balance dialog commands.
// "Sample Now": measures at once in Draw First, otherwise arms the next Apply.
int BalanceSampleNow(int viewIndex = 0);
void BalanceMatchSample();
void BalanceToBlack();
void BalanceToWhite();
void BalanceToGray();
void BalanceSetTarget(int red, int green, int blue);  // "Set", after the colour chooser

// Histogram map window.
void ResetHistogramMap();
void HistogramEqualize();
// "Standard Adjustments": the markers from brightness and contrast, and
// "Apply", which resamples the three maps between them.
void SetStandardAdjustments(int brightness, int contrast);
void ApplyStandardAdjustments();

}  // namespace qv
