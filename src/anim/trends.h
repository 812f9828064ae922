// Trends: one parameter of an operation, or one of the three transparency
// settings, varied over the frames of one TimeLine level along a curve of
// points, by straight segments or a cubic spline.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ops/op_catalogue.h"
#include "ops/op_settings.h"

namespace qv {

// The variable a Trend drives: an operation parameter's binding (above 0),
// or one of the transparency settings.
using TrendVar = std::int32_t;
inline constexpr TrendVar kTrendLevel = -14710;
inline constexpr TrendVar kTrendEdgeFade = -14720;
inline constexpr TrendVar kTrendGrow = -14730;
inline constexpr bool IsTransparencyVar(TrendVar v) { return v == kTrendLevel || v == kTrendEdgeFade || v == kTrendGrow; }

inline constexpr std::int32_t kNoLowerLimit = -99999;
inline constexpr std::int32_t kNoUpperLimit = 99999;

// One memory place "ntre"; its three arrays hold F + 2 entries each.
struct Trend {
  TrendVar variable = 0;
  std::uint32_t nameId = 0;
  OpId op = 0;                  // the operation named in the title (0: transparency)
  bool windowOpen = false;
  std::int32_t lower = 0;       // the editing range
  std::int32_t upper = 0;
  std::int32_t minimum = kNoLowerLimit;  // what a computed value may take
  std::int32_t maximum = kNoUpperLimit;
  std::int32_t period = 0;
  std::int32_t count = 0;       // points, at least 1
  std::int32_t selected = 0;
  std::int32_t room = 0;        // entries of each array
  std::int32_t* frames = nullptr;       // "trnx", strictly increasing
  std::int32_t* values = nullptr;       // "trny"
  std::int32_t* frameValues = nullptr;  // "trna", one per frame
  std::int32_t plot[4] = {0, 0, 1, 1};  // left, top, right, bottom
  std::uint16_t twoState = 0;
  std::uint16_t spline = 0;
  std::int32_t level = 0;
};

struct TrendPasteBuffer {
  bool full = false;
  std::vector<std::int32_t> frames, values;
  std::int32_t lower = 0, upper = 0;
  int frameCount = 0;  // the frame count the points were copied at
};

struct TrendState {
  Trend** list = nullptr;  // room for 20 at first, 16 more at a time
  int count = 0;
  int capacity = 0;
  TrendPasteBuffer paste;
  bool createdSinceStart = false;  // Close Project offers to keep them first
};

// What the windows do when a Trend changes (the GUI installs them).
struct TrendHooks {
  std::function<void(Trend&)> show;     // open or bring its window forward
  std::function<void(Trend&)> redraw;
  std::function<void(Trend&)> close;    // the window goes; the Trend stays
};

std::span<Trend* const> Trends();
Trend* FindTrend(TrendVar variable, int level);
// Finds the Trend or makes it with its initial values (message 66 when
// memory runs out: null).
Trend* FindOrCreateTrend(TrendVar variable, int level);
// The parameter's slot for a binding (null for the transparency variables).
const ParamSlot* SlotOfVar(TrendVar variable);
// The name a Trend goes by ("Transparency: Level", or the parameter's label).
std::string TrendVarName(TrendVar variable);
// The variable with this name: the operation's own parameters first (exact
// match, or over the given length without regard to case when `prefix`),
// then every operation's, then the transparency settings. 0 when none.
TrendVar VarNamed(std::string_view name, OpId op, bool prefix);
// The value the variable has now (0 for none).
std::int32_t LiveValue(TrendVar variable);
void SetLiveValue(TrendVar variable, std::int32_t value);

// The Trend buttons: the Trend of a transparency setting (its name id) or of
// the first parameter with this label id, on the cursor's level, made when
// absent and shown. A colour parameter is refused with a notice.
Trend* OpenTrend(std::uint32_t nameId);
Trend* OpenTrendOfSlot(OpId op, const ParamSlot& slot);

// The Trend's value at a frame into the variable; 1 when the value changed.
int ApplyTrend(TrendVar variable, int level, int frame);
// Every parameter of the operation that has a Trend on the level.
void ApplyAllTrends(OpId op, int level, int frame);

void SetTrendPoint(Trend& trend, int frame, std::int32_t value);  // no room: nothing
void SetPointsFromOpRecord(const OpSettings& record, int level, int frame);
void RecomputeTrend(Trend& trend);
// Every Trend's point frames from F to F' frames (arrays remade at F' + 2).
// 0 ok, 1 no memory (message 66; the Trend keeps its points).
int RescaleTrends(int oldFrames, int newFrames);
// Levels above a removed one move down: their Trends follow; the removed
// level's Trends go.
void RemoveTrendLevel(int level);
void KillTrend(Trend* trend);
void KillAllTrends();

// ---- the Trend window ----
void SetTrendPlot(Trend& trend, int left, int top, int right, int bottom);
int TrendFrameAt(const Trend& trend, int x);
std::int32_t TrendValueAt(const Trend& trend, int y);
void TrendButtonDown(Trend& trend, int x, int y);
void TrendDrag(Trend& trend, int x, int y);
// Removes the selected point: refused (false) for the ends or fewer than 3.
bool TrendDeleteSelected(Trend& trend);
// Two-state Trends are painted frame by frame: the value a press at frame f
// paints, and the painting from the pressed frame to the current one.
std::int32_t TrendPaintValue(const Trend& trend, int frame);
void TrendPaint(Trend& trend, int fromFrame, int toFrame, std::int32_t value);
std::string TrendPositionText(const Trend& trend, int x, int y);
std::string TrendTitle(const Trend& trend);

// The window's menu commands (8014..8035). 0 done, 1 refused or failed.
int TrendCommand(Trend& trend, int id);
// "Set Trend Extents": upper within lower + 1 .. maximum, lower within
// minimum .. upper - 1.
void SetTrendExtents(Trend& trend, std::int32_t lower, std::int32_t upper);

// ---- settings and project files ----
// The Trend of a parameter on the cursor's level, as op-settings files
// write it: the header, then the F frame values, 20 to a line. False (and
// nothing written) when the parameter has none.
bool WriteTrendLines(std::string& out, std::string_view key, const ParamSlot& slot);
void ReadTrendLines(const std::string& line, const ParamSlot& slot, const std::function<bool(std::string&)>& nextLine);
void RemoveTrendOfSlot(const ParamSlot& slot);
// Installs the above as the operations' trend hooks.
void InstallTrendHooks();

void FreeTrendState();

}  // namespace qv
