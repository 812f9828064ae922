// The commands of the standard colour operations' settings dialogs: what
// Balance's buttons, the histogram map window and Remap's palette column do
// to the program's state. Kept apart from the dialogs so that every command
// can be used (and checked) without a window.
#pragma once

#include <cstdint>

#include "base/preferences.h"

namespace qv {

// Balance.
// "Sample Now": in Draw First the sample colour is measured from the
// current selection at once; otherwise the next Apply of Balance measures
// instead of changing the image. 0 done or armed, 1 the measuring failed
// (the pick is then not left armed).
int BalanceSampleNow(int viewIndex = 0);
bool BalancePickArmed();
void BalanceCancelPick();
void BalanceMatchSample();
// These three also switch "Dynamic Range" off.
void BalanceToBlack();
void BalanceToWhite();
void BalanceToGray();
// "Set": the target colour the colour chooser gave, each channel clamped.
void BalanceSetTarget(int red, int green, int blue);

// Histogram.
// Whether any count is non-zero (a gather found something).
bool HistogramGathered();
// "Reset Map": every map entry its own index; brightness, contrast and the
// markers back to 0, 0, 0 and 255.
void ResetHistogramMap();
// "Histogram Equalize": the map from the cumulative histogram. A channel
// (or, with "Independent R,G,B" off, the three together) whose counts are
// all 0 keeps its map: there is nothing to equalize. 0 when some map
// changed, 1 when nothing had been gathered.
int HistogramEqualize();
void SetIndependentRgb(bool on);
// "Standard Adjustments": the markers from brightness and contrast (each
// clamped to -100..100), and "Apply", which resamples the three maps
// between them.
void SetStandardAdjustments(int brightness, int contrast);
void ApplyStandardAdjustments();
// The map window's pen: sets the chosen maps (bit 0 red, 1 green, 2 blue)
// along the straight line from (x0, v0) to (x1, v1); indexes outside 0..255
// are skipped and values clamped to 0..255.
inline constexpr unsigned kMapRed = 1, kMapGreen = 2, kMapBlue = 4, kMapAll = 7;
void DrawMapLine(unsigned channels, int x0, int v0, int x1, int v1);

// Remap.
inline constexpr int kRemapMaxEntries = 1024;
// The "Palette Size" box: the "From" palette's entry count.
int RemapPaletteSize();
// Stores the size clamped to 1..1024 in both palettes; returns it.
int SetRemapPaletteSize(int entries);
// Entry `index` of the "To" palette (to = true) or the "From" palette.
Rgb RemapEntry(bool to, int index);
// 1 when the index lies outside the palette's storage; channels clamped.
int SetRemapEntry(bool to, int index, const Rgb& colour);

// The colour Colorize gives a mid-grey (lightness 50): what its swatch shows.
Rgb ColorizeSwatch();
// The sample colour as Balance's and Sample's swatches show it.
Rgb SampleSwatch();

}  // namespace qv
