// The apply pipeline's program-wide state: the apply context that drivers
// publish for workers, the switches of the Apply entry, and what the
// standard colour operations keep between applies (sample colour, histogram
// and its map, the Remap palettes, Build Palette's presence table).
#pragma once

#include "ops/op_state.h"

#include <cstdint>
#include <functional>

#include "display/colour_palettes.h"
#include "ops/collage_state.h"
#include "ops/geometric_state.h"
#include "ops/op_catalogue.h"

namespace qv {

struct ImageRecord;

// The values one apply publishes for its workers (one apply at a time).
struct ApplyContext {
  ImageRecord* image = nullptr;  // the action image, locked while a driver runs
  int viewIndex = 0;
  OpId op = 0;
  ApplyKind kind = ApplyKind::Point;
  std::int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // the box, inclusive
  std::int32_t cx = 0, cy = 0, rx = 0, ry = 0;  // selection centre and half sizes
  // The selection's rectangle as drawn, before the box was clamped to the image.
  std::int32_t sx0 = 0, sy0 = 0, sx1 = 0, sy1 = 0;
  std::uint8_t* mask = nullptr;                  // locked AreaMask, width x height
  // The undo copy of the box as it was; null when none was taken. In a
  // splatter pass it is the pass's own copy, never a layer on the stack.
  ImageRecord* undo = nullptr;
  bool splatPass = false;
  // Where the undo copy lies in the image and its size (0 x 0 without one).
  std::int32_t copyX = 0, copyY = 0, copyWidth = 0, copyHeight = 0;
  // An operation that makes a new image instead of changing the action image
  // (Rotate with "In Place" off): the pipeline redraws and counts this one.
  ImageRecord* result = nullptr;
  // Source image (operations with NeedsSource).
  std::uint8_t* sourcePixels = nullptr;
  std::uint32_t* sourceRows = nullptr;
  std::int32_t sourceWidth = 0, sourceHeight = 0;
  bool affectAlpha = false;
  int generation = 0;
  int generationCount = 1;  // set by a Generation operation's Prepare
  // The mask the Generation driver puts back after each generation ("msk2");
  // what an operation marks in it holds for the next generation. Null with
  // one generation.
  std::uint8_t* nextMask = nullptr;
  OpRoutines routines;
};

// Working methods ("MethodDlg", settings key WorkMethod). The working method,
// the affect mode (ModAlpha), "Show &Chronograph" (ShowChron) and "&Inhibit
// Display" are the program settings' values.
inline constexpr int kImmediatePainting = kWorkImmediatePainting;
inline constexpr int kDrawFirst = kWorkDrawFirst;

// Affect modes (menu "Affect &RGB Only", "Affect &Alpha Only", "Affect Alpha in &View").
inline constexpr int kAffectRgbOnly = 0;
inline constexpr int kAffectAlphaOnly = 1;
inline constexpr int kAffectAlphaInView = 2;

struct SampleColour {
  std::int32_t red = 0, green = 0, blue = 0;
  std::int32_t redRange = 0, greenRange = 0, blueRange = 0;
  std::int32_t hue = 0, saturation = 0, lightness = 0;
  std::int32_t hueRange = 0, saturationRange = 0, lightnessRange = 0;
};

struct ColourOpsState {
  SampleColour sample;
  bool balancePick = false;  // "Sample Now" waiting for the next Apply
  std::int32_t histogram[3][256] = {};  // percent of the largest count after gathering
  std::int16_t histogramMap[3][256];    // output value per input value
  std::int32_t mapBrightness = 0, mapContrast = 0;  // "Standard Adjustments"
  std::int32_t markerLow = 0, markerHigh = 255;
  bool independentRgb = true;           // "Independent R,G,B"
  PaletteRecord remapFrom{};
  PaletteRecord remapTo{};
  // Remap: bit i of remapNear[c][v] is set when channel c of "From" entry i
  // lies within Nearness of v, so a pixel only measures the entries that can
  // match it (filled by the Prepare).
  static constexpr int kRemapWords = (kMaxPaletteEntries + 63) / 64;
  std::uint64_t remapNear[3][256][kRemapWords] = {};
  std::uint8_t* presence = nullptr;     // Build Palette, real place "plbuse"
  // The current operation's settings as its Prepare read them, so that the
  // per-pixel workers need no look-ups.
  std::int32_t values[8] = {};
  // Colorize: saturation and lightness by (max, min) of a colour, and the
  // colour made for each (saturation, lightness) with the chosen hue.
  std::uint16_t colorizeSl[256 * 256] = {};
  std::uint8_t colorizeRgb[101 * 101][3] = {};
  ColourOpsState();
};

// Hooks into the parts that come later (sequence generation, film strip,
// sequence application). Each may be empty.
struct ApplyHooks {
  std::function<void(ImageRecord*)> updateFilmStrip;
  std::function<int()> applyToSequence;  // Apply To Sequence, when requested
  // Make Area: the current selection into the TimeLine's area cell at its
  // cursor. 0 done, 1 failed.
  std::function<int()> areaToTimeLine;
  // Distortion and Transition: the Prepare and the worker of the Zelvane
  // link, which lives above the operations.
  PrepareRoutine linkPrepare = nullptr;
  ImageWorker linkWorker = nullptr;
};

struct ApplyState {
  ApplyContext ctx;
  bool busy = false;
  bool suspendSplatter = false;
  bool redrawOnly = false;       // the operation asks only for a plain redraw
  bool sizeChanged = false;
  ImageRecord* source = nullptr; // chosen source image, null: the action image
  long appliedChanges = 0;       // counted for sequence application
  // Sequence generation (set by the generator).
  bool generating = false;
  long frame = 0, level = 0;     // counted from 0
  bool sequenceRequested = false;
  bool sequenceApplying = false;
  // Make Area: the operation and working method to return to.
  OpId opBeforeMakeArea = 0;
  int methodBeforeMakeArea = kImmediatePainting;
  // The look-up tables "rhist", "ghist", "bhist", "ahist".
  std::int32_t* tables[4] = {nullptr, nullptr, nullptr, nullptr};
  ColourOpsState colour;
  GeometricState geometric;
  CollageState collage;
  ApplyHooks hooks;
};

// The program's one ApplyState (owned by the Program).
ApplyState& Pipeline();

}  // namespace qv
