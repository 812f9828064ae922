// The operation catalogue: the one table that names every operation, its
// menu group, its settings dialog, the driver that runs it, its routines and
// its numeric parameters. The Operations menu, the settings window, the apply
// pipeline, TimeLine op cells, Trends, op-settings files and `pixqv-cli ops`
// all read it.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace qv {

// Equal to the string id of the operation's name and to its menu command.
using OpId = std::uint32_t;
// Names a live parameter: 1 + its index in OpsState::values; 0 for none.
// Trends and op cells use it as the parameter's key.
using ParamBinding = std::uint32_t;

// The seven drivers of the apply pipeline.
enum class ApplyKind : std::uint8_t { Point, Value, Pixel, Generation, Warp, Image, Inspect };
std::string_view ApplyKindName(ApplyKind kind);

inline constexpr int kSlotCount = 17;
inline constexpr int kCatalogueRoom = 80;
inline constexpr int kOperationCount = 70;

// Parameter kinds as op cells and TimeLine files store them.
inline constexpr std::uint32_t kParamNumber = 0;
inline constexpr std::uint32_t kParamFloat = 1;   // understood by TimeLines; no catalogued parameter has it
inline constexpr std::uint32_t kParamColour = 2;  // packed: red bits 0..7, green 8..15, blue 16..23

// The group ids (string ids of the group names).
inline constexpr std::uint32_t kLightingGroup = 3110, kMotionGroup = 3120, kGeometricGroup = 3130,
                               kPatternGroup = 3140, kTextureGroup = 3150, kMathGroup = 3160,
                               kCollageGroup = 3170, kStandardGroup = 3180, kAlphaGroup = 3190,
                               kPlasmaGroup = 3210, kZelvaneGroup = 3600;

// Routines of an operation; any may be absent until its effect is written.
// Worker signatures by driver: Point (pixel, mask); Value (pixel) -> pixel;
// Pixel, Generation and Warp (pixel, x, y, mask); Image and Inspect (pixels,
// mask) -> 0 done, non-zero stopped or failed. Histogram carries both an
// Inspect and a Point worker, so each kind has its own pointer.
struct WarpSample {
  double x = 0;
  double y = 0;
  int shade = 0;
};
using PrepareRoutine = int (*)();   // non-zero cancels the apply
using PrePassRoutine = void (*)();
using PointWorker = void (*)(std::uint8_t* pixel, int mask);
using ValueWorker = std::uint32_t (*)(std::uint32_t pixel);
using PixelWorker = void (*)(std::uint8_t* pixel, int x, int y, int mask);
using ImageWorker = int (*)(std::uint8_t* pixels, std::uint8_t* mask);
// A Warp operation's worker for one row of the box from x0 to x1: the same
// bytes as its pixel worker over the masked pixels, without a call per pixel.
using RowWorker = void (*)(std::uint8_t* row, int x0, int x1, int y, const std::uint8_t* maskRow);
using MappingRoutine = WarpSample (*)(int x, int y);
using FinishRoutine = void (*)();
// Row forms a worker may add, called once per row instead of once per
// pixel and giving the same bytes: a Point row changes `count` pixels by
// their mask values (a pixel whose mask is 0 stays); a Value row maps
// `count` values in place.
using PointRowWorker = void (*)(std::uint8_t* pixels, const std::uint8_t* mask, int count);
using ValueRowWorker = void (*)(std::uint32_t* values, int count);

struct OpRoutines {
  PrepareRoutine prepare = nullptr;
  PrePassRoutine prePass = nullptr;
  PointWorker pointWorker = nullptr;
  ValueWorker valueWorker = nullptr;
  PixelWorker pixelWorker = nullptr;  // Pixel, Generation and Warp drivers
  ImageWorker imageWorker = nullptr;  // Image and Inspect drivers
  MappingRoutine mapping = nullptr;
  FinishRoutine finish = nullptr;
  PointRowWorker pointRow = nullptr;
  ValueRowWorker valueRow = nullptr;
  // The Point, Value, Pixel and Warp drivers share the rows out over
  // threads: a worker that keeps state from pixel to pixel (a running random
  // sequence, a sum) or reads pixels it has already changed asks for one
  // thread in row order here.
  bool inPixelOrder = false;
  RowWorker rowWorker = nullptr;  // optional, Warp and Generation drivers
  // A Warp row routine that keeps no state between rows and may run on
  // several rows at once: its rows are shared out like the pixel worker's.
  bool rowsIndependent = false;
  // An Image worker that reads only the action image and makes a new one
  // (or hands the undo layer a whole new body itself) never needs the box's
  // copy unless it stops: the copy is then filled from the unchanged image,
  // for the stop to restore.
  bool copyOnlyToStop = false;
};

// The two commonest shapes of an entry: a preparation with a whole-image
// worker, and a preparation with a per-pixel worker and a finish.
constexpr OpRoutines ImageRoutines(PrepareRoutine prepare, ImageWorker worker) {
  OpRoutines r;
  r.prepare = prepare;
  r.imageWorker = worker;
  return r;
}
constexpr OpRoutines PixelRoutines(PrepareRoutine prepare, PixelWorker worker, FinishRoutine finish = nullptr) {
  OpRoutines r;
  r.prepare = prepare;
  r.pixelWorker = worker;
  r.finish = finish;
  return r;
}

// What an effect family contributes: the routines of some operations.
struct OpRoutineEntry {
  OpId id;
  OpRoutines routines;
};

struct ParamSlot {
  ParamBinding binding = 0;
  std::uint32_t labelId = 0;  // 0: no parameter in this slot
  std::uint32_t kind = kParamNumber;
  std::int32_t dialMin = 0;
  std::int32_t dialMax = 0;
  std::int32_t trendMin = 0;
  std::int32_t trendMax = 0;
  std::int32_t wrap = 0;       // 0 none, 360 for angles
  std::int32_t defaultValue = 0;
};

struct OpEntry {
  OpId id = 0;  // 0 ends the catalogue
  std::uint32_t group = 0;
  std::string_view dialog;
  ApplyKind kind = ApplyKind::Point;
  OpRoutines routines;
  ParamSlot slots[kSlotCount];
  std::uint16_t needsSource = 0;
  std::uint16_t noAlphaMaskA = 0;
  std::uint16_t noAlphaMaskB = 0;
};

// The catalogue in its fixed order, without the terminating entry.
std::span<const OpEntry> Catalogue();
// Number of distinct live parameters (bindings run 1..ParamCount()) and
// their defaults, indexed by binding - 1.
int ParamCount();
std::span<const std::int32_t> DefaultParamValues();

// Index of the entry with this id; 0 when there is none.
int FindOp(OpId id);
bool IsCatalogued(OpId id);
const OpEntry& OpAt(int index);
// The entry of this id, or the first entry when there is none.
const OpEntry& OpOf(OpId id);
std::string_view OpName(OpId id);
int LabelledSlotCount(const OpEntry& entry);

// The driver that runs the entry now: Histogram is Inspect while its
// "Gather" switch is on and otherwise a Point operation with the look-up
// table worker.
ApplyKind EffectiveKind(const OpEntry& entry);

bool NeedsSource(OpId id);
bool NoAlphaMaskA(OpId id);
bool NoAlphaMaskB(OpId id);

// The slot of an entry carrying this label id; null when none does.
const ParamSlot* SlotByLabel(int entryIndex, std::uint32_t labelId);
// The first slot anywhere in the catalogue with this binding (for Trends).
const ParamSlot* SlotOfBinding(ParamBinding binding);

// Whether the worker the driver of this entry's kind needs exists (Histogram
// needs both its Inspect and its Point worker).
bool HasWorker(const OpEntry& entry);
// Whether an operation can be applied: catalogued, with the routines of its
// effect registered. The menus, the settings window and the first start
// all go by this, so an effect lights up everywhere once it is registered.
bool OperationAvailable(OpId id);
// 0 when the operation can be applied; otherwise tells the user (string
// kNotAvailableText) that it is not available yet and returns 1.
inline constexpr int kNotAvailableText = 16100;
int CheckOperationAvailable(OpId id);

// The effect families' routine tables (op_routines.cpp lists them).
std::span<const OpRoutineEntry> RegisteredRoutines();

}  // namespace qv
