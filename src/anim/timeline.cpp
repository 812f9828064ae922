#include "anim/timeline.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "anim/anim_state.h"
#include "anim/exposure_sheet.h"
#include "area/area_mask.h"
#include "area/stored_area.h"
#include "base/fixed_text.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "base/text_words.h"
#include "ops/op_state.h"

namespace qv {
namespace {

constexpr int kMessageNoMemory = 22;
constexpr const char* kRowTags[4] = {"srcs", "areas", "opts", "targs"};
constexpr const char* kHoldTexts[4] = {"Re-load File", "Re-apply Area", "Repeat Op", "Re-load File"};

TimeLineState& TL() { return Anim().timeline; }

bool ValidRow(int row) { return row >= kRowSource && row <= kRowAction; }
bool ValidLevel(int level) { return level >= 0 && level < kMaxLevels; }

Cell*& RowOf(int level, int row) { return TL().rows[static_cast<std::size_t>(row - 1)][static_cast<std::size_t>(level)]; }

void FreeRow(int level, int row) {
  Cell*& r = RowOf(level, row);
  if (r) FreeReal(r, kRowTags[row - 1]);
  r = nullptr;
}

void RedrawWindow() {
  if (Anim().redrawTimeLine) Anim().redrawTimeLine();
}

// The record table slot of a record cell, or null.
void** SlotOf(Cell cell) {
  TimeLineState& t = TL();
  if (!IsRecordCell(cell)) return nullptr;
  std::size_t i = cell - kFirstRecordCell;
  return i < t.records.size() ? &t.records[i] : nullptr;
}

// The cell that holds this record already, or empty.
Cell CellOfRecord(const void* record) {
  const auto& records = TL().records;
  for (std::size_t i = 0; i < records.size(); ++i)
    if (records[i] == record) return static_cast<Cell>(kFirstRecordCell + i);
  return kCellEmpty;
}

// Holds from the frame after a new key to the next key or hold end.
void HoldToNextKey(int level, int frame, int row) {
  const int f = FrameCount();
  if (frame > 0 && CellAt(level, frame - 1, row) == kCellHold) SetCell(level, frame - 1, row, kCellHoldEnd);
  for (int g = frame + 1; g < f; ++g) {
    Cell c = CellAt(level, g, row);
    if (c == kCellHoldEnd || IsRecordCell(c)) break;
    if (g == f - 1 || IsRecordCell(CellAt(level, g + 1, row))) {
      SetCell(level, g, row, kCellHoldEnd);
      break;
    }
    SetCell(level, g, row, kCellHold);
  }
}

// Every record begins with its 16-bit kind: 1 a file, 2 an op, 3 an area.
void FreeRecordPointer(void* p) {
  const auto kind = *static_cast<std::uint16_t*>(p);
  if (kind == kOpCellKind)
    FreeOpSettings(static_cast<OpSettings*>(p));
  else if (kind == kStoredAreaKind)
    FreeStoredArea(static_cast<StoredArea*>(p));
  else
    FreeReal(p, "tfile");
}

std::int32_t MixInt(std::int64_t a, std::int64_t b, std::int64_t t, std::int64_t span) {
  return static_cast<std::int32_t>(a + t * (b - a) / span);
}

std::string Formatted(const char* format, auto... values) {
  char buffer[160];
  int n = std::snprintf(buffer, sizeof buffer, format, values...);
  return std::string(buffer, static_cast<std::size_t>(std::clamp(n, 0, static_cast<int>(sizeof buffer) - 1)));
}

}  // namespace


// ---- the grid ---------------------------------------------------------------

int CreateGrid() {
  TimeLineState& t = TL();
  if (!t.needs) t.needs = AllocRealArray<void*>(kMaxLevels, "needs");
  if (!t.outf) t.outf = AllocRealArray<std::int32_t>(t.frames, "outf");
  if (!t.needs || !t.outf) {
    ShowMessageWith(kMessageNoMemory, "Adding to Time Line");
    return 1;
  }
  t.created = true;
  bool anyOp = std::any_of(t.rows[kRowOp - 1].begin(), t.rows[kRowOp - 1].end(), [](Cell* r) { return r != nullptr; });
  if (!anyOp) {
    const bool wasModified = t.modified;
    if (AddOpAt(0, 0) != 0) return 1;
    t.modified = wasModified;
    t.cursor.level = 0;
    t.cursor.frame = 0;
  }
  t.cursor.row = kRowOp;
  return 0;
}

bool GridExists() { return TL().created; }

void ClearTimeLine() {
  TimeLineState& t = TL();
  for (int row = kRowSource; row <= kRowAction; ++row)
    for (int level = 0; level < kMaxLevels; ++level) FreeRow(level, row);
  for (std::size_t i = 0; i < t.records.size(); ++i)
    if (t.records[i]) {
      FreeRecordPointer(t.records[i]);
      t.records[i] = nullptr;
    }
  t.records.clear();
  t.freeCells.clear();
  t.cursor = {};
  t.cursor.frame = std::min(t.cursor.frame, t.frames - 1);
  t.editCell = kCellEmpty;
  t.editLevel = t.editFrame = -1;
  t.modified = false;
  RedrawWindow();
}

void EraseTimeLine() {
  ClearTimeLine();
  KillAllTrends();
  TL().title.clear();
}

int FrameCount() { return TL().frames; }

int ChangeFrameCount(int frames) {
  TimeLineState& t = TL();
  frames = std::clamp(frames, kMinFrames, kMaxFrames);
  const int old = t.frames;
  if (frames == old) return 0;
  // The film follows first: when it cannot, the count stays as it was.
  if (ResizeFilm(old, frames) != 0) return 1;
  // Every new row first, so that a failure leaves the grid as it was.
  std::array<std::array<Cell*, kMaxLevels>, 4> grown{};
  std::int32_t* outf = t.outf ? AllocRealArray<std::int32_t>(frames, "outf") : nullptr;
  bool failed = t.outf && !outf;
  for (int row = 0; row < 4 && !failed; ++row)
    for (int level = 0; level < kMaxLevels && !failed; ++level)
      if (t.rows[row][level]) {
        grown[row][level] = AllocRealArray<Cell>(frames, kRowTags[row]);
        failed = grown[row][level] == nullptr;
      }
  if (failed) {
    for (int row = 0; row < 4; ++row)
      for (Cell* r : grown[row])
        if (r) FreeReal(r, kRowTags[row]);
    if (outf) FreeReal(outf, "outf");
    ShowMessageWith(kMessageNoMemory, "Adding to Time Line");
    (void)ResizeFilm(frames, old);
    return 1;
  }
  for (int row = 0; row < 4; ++row)
    for (int level = 0; level < kMaxLevels; ++level) {
      Cell* from = t.rows[row][level];
      if (!from) continue;
      Cell* to = grown[row][level];
      std::copy_n(from, std::min(old, frames), to);
      if (frames < old) {
        for (int g = frames; g < old; ++g)
          if (IsRecordCell(from[g])) FreeRecordOf(row + 1, from[g]);
        if (to[frames - 1] == kCellHold) to[frames - 1] = kCellHoldEnd;
      } else if (from[old - 1] == kCellHoldEnd) {
        // A run that reached the end keeps reaching it.
        for (int g = old - 1; g < frames - 1; ++g) to[g] = kCellHold;
        to[frames - 1] = kCellHoldEnd;
      }
      FreeReal(from, kRowTags[row]);
      t.rows[row][level] = to;
      // A row whose cells all lay past the new end has none left: the level
      // no longer has such a row (else an empty level would stay in use).
      if (std::all_of(to, to + frames, [](Cell c) { return c == kCellEmpty; })) FreeRow(level, row + 1);
    }
  if (t.outf) FreeReal(t.outf, "outf");
  t.outf = outf;
  t.frames = frames;
  t.cursor.frame = std::min(t.cursor.frame, frames - 1);
  t.cursor.firstFrameShown = std::min(t.cursor.firstFrameShown, frames - 1);
  t.firstFrame = 1;
  t.lastFrame = frames;
  if (t.editFrame >= frames) t.editCell = kCellEmpty;
  if (t.created) t.modified = true;
  // The exposure sheet has as many frames as the TimeLine.
  ResizeSheet(frames);
  RescaleTrends(old, frames);
  RedrawWindow();
  return 0;
}

Cell CellAt(int level, int frame, int row) {
  if (!ValidLevel(level) || !ValidRow(row) || frame < 0 || frame >= FrameCount()) return kCellEmpty;
  const Cell* r = RowOf(level, row);
  return r ? r[frame] : kCellEmpty;
}

bool RowExists(int level, int row) { return ValidLevel(level) && ValidRow(row) && RowOf(level, row) != nullptr; }

int SetCell(int level, int frame, int row, Cell value, std::string_view detail) {
  TimeLineState& t = TL();
  if (frame < 0) frame = 0;
  if (!ValidLevel(level) || !ValidRow(row) || frame >= t.frames) return 0;
  Cell*& r = RowOf(level, row);
  if (!r) {
    r = AllocRealArray<Cell>(t.frames, kRowTags[row - 1]);
    if (!r) {
      ShowMessageWith(kMessageNoMemory, detail);
      return 1;
    }
  }
  const Cell old = r[frame];
  r[frame] = value;
  if (old != value && IsRecordCell(old)) FreeRecordOf(row, old);
  t.modified = true;
  return 0;
}

bool LevelInUse(int level) {
  if (!ValidLevel(level)) return false;
  for (int row = kRowSource; row <= kRowAction; ++row)
    if (RowOf(level, row)) return true;
  return false;
}

int LevelsInUse() {
  for (int level = kMaxLevels - 1; level >= 0; --level)
    if (LevelInUse(level)) return level + 1;
  return 0;
}

Cell AddRecord(void* record) {
  TimeLineState& t = TL();
  if (!record) return kCellEmpty;
  if (!t.freeCells.empty()) {
    Cell c = t.freeCells.back();
    t.freeCells.pop_back();
    *SlotOf(c) = record;
    return c;
  }
  t.records.push_back(record);
  return static_cast<Cell>(kFirstRecordCell + t.records.size() - 1);
}

void* RecordOf(Cell cell) {
  void** slot = SlotOf(cell);
  return slot ? *slot : nullptr;
}

TimeFileRecord* FileRecordOf(Cell cell) {
  void* p = RecordOf(cell);
  return p && *static_cast<std::uint16_t*>(p) == 1 ? static_cast<TimeFileRecord*>(p) : nullptr;
}

OpSettings* OpRecordOf(Cell cell) {
  void* p = RecordOf(cell);
  return p && *static_cast<std::uint16_t*>(p) == kOpCellKind ? static_cast<OpSettings*>(p) : nullptr;
}

StoredArea* AreaRecordOf(Cell cell) {
  void* p = RecordOf(cell);
  return p && *static_cast<std::uint16_t*>(p) == kStoredAreaKind ? static_cast<StoredArea*>(p) : nullptr;
}

TimeFileRecord* NewFileRecord() {
  void* place = AllocReal(sizeof(TimeFileRecord), "tfile");
  return place ? std::construct_at(static_cast<TimeFileRecord*>(place)) : nullptr;
}

void* CopyRecord(int row, const void* record) {
  if (!record) return nullptr;
  if (row == kRowArea) return CopyStoredArea(*static_cast<const StoredArea*>(record));
  const std::size_t size = row == kRowOp ? sizeof(OpSettings) : sizeof(TimeFileRecord);
  void* place = AllocReal(static_cast<std::int64_t>(size), row == kRowOp ? "ctop" : "ctfil");
  if (place) std::memcpy(place, record, size);
  return place;
}

std::uint16_t RecordTag(const void* record) { return record ? *static_cast<const std::uint16_t*>(record) : 0; }

void FreeTaggedRecord(void* record) {
  if (record) FreeRecordPointer(record);
}

void* CopyTaggedRecord(const void* record) {
  switch (RecordTag(record)) {
    case kOpCellKind: return CopyRecord(kRowOp, record);
    case kStoredAreaKind: return CopyRecord(kRowArea, record);
    case 1: return CopyRecord(kRowAction, record);
    default: return nullptr;
  }
}

void FreeRecordOf(int /*row*/, Cell cell) {
  TimeLineState& t = TL();
  void** slot = SlotOf(cell);
  if (!slot || !*slot) return;
  FreeRecordPointer(*slot);
  *slot = nullptr;
  t.freeCells.push_back(cell);
  if (t.editCell == cell) t.editCell = kCellEmpty;
}

// ---- edits ------------------------------------------------------------------

bool IsVideoName(std::string_view name) {
  for (std::string_view ext : {".avi", ".flc", ".fli", ".mov", ".mpg", ".flm"})
    if (name.size() >= ext.size() && EqualsNoCase(name.substr(name.size() - ext.size()), ext)) return true;
  return false;
}

int AssignFiles(const std::vector<std::string>& names, TimeFileRecord* record, int level, int frame, int row) {
  if (!record || names.empty() || !ValidLevel(level) || frame < 0 || frame >= FrameCount()) return 1;
  Cell cell = CellOfRecord(record);
  if (cell == kCellEmpty) cell = AddRecord(record);
  auto name = [](TimeFileRecord& r, const std::string& n) {
    CopyText(r.fileName, n);
    r.video = IsVideoName(n);
  };
  name(*record, names[0]);
  if (SetCell(level, frame, row, cell, "Adding to Time Line") != 0) return 1;
  const int f = FrameCount();
  if (names.size() == 1) {
    for (int g = frame + 1; g < f; ++g) {
      if (CellAt(level, g, row) != kCellEmpty) break;
      SetCell(level, g, row, (g == f - 1 || CellAt(level, g + 1, row) != kCellEmpty) ? kCellHoldEnd : kCellHold);
    }
    if (frame > 0 && CellAt(level, frame - 1, row) == kCellHold) SetCell(level, frame - 1, row, kCellHoldEnd);
  } else {
    for (std::size_t i = 1; i < names.size() && frame + static_cast<int>(i) < f; ++i) {
      TimeFileRecord* r = NewFileRecord();
      if (!r) {
        ShowMessageWith(kMessageNoMemory, "for Time Line update");
        return 1;
      }
      name(*r, names[i]);
      if (SetCell(level, frame + static_cast<int>(i), row, AddRecord(r), "Adding to Time Line") != 0) return 1;
    }
  }
  RedrawWindow();
  return 0;
}

int AddAreaAt(int level, int frame) {
  StoredArea* r = StoreArea(Area().selection.mode);
  if (!r) {
    ShowMessageWith(kMessageNoMemory, "for Time Line update");
    return 1;
  }
  if (SetCell(level, frame, kRowArea, AddRecord(r), "Adding to Time Line") != 0) return 1;
  HoldToNextKey(level, frame, kRowArea);
  RedrawWindow();
  return 0;
}

int AddOpAt(int level, int frame) {
  OpSettings* r = SnapshotOpSettings(CurrentOp(), false);
  if (!r) {
    ShowMessageWith(kMessageNoMemory, "for Time Line update");
    return 1;
  }
  if (SetCell(level, frame, kRowOp, AddRecord(r), "Adding to Time Line") != 0) return 1;
  HoldToNextKey(level, frame, kRowOp);
  RedrawWindow();
  return 0;
}

int AreaToCursorCell() {
  // Making the grid puts the cursor on its first op; the selection goes
  // where the cursor stood.
  TimeLineCursor& cursor = TL().cursor;
  const int level = cursor.level, frame = std::clamp(cursor.frame, 0, FrameCount() - 1);
  if (!GridExists() && CreateGrid() != 0) return 1;
  cursor.level = level;
  cursor.frame = frame;
  return AddAreaAt(level, frame);
}

TimeFileRecord* AddFileAt(int level, int frame, int row) {
  TimeFileRecord* r = NewFileRecord();
  if (!r) {
    ShowMessageWith(kMessageNoMemory, "for Time Line update");
    return nullptr;
  }
  if (SetCell(level, frame, row, AddRecord(r), "Adding to Time Line") != 0) return nullptr;
  return r;
}

void RemoveRecordAt(int level, int frame, int row) {
  if (!IsRecordCell(CellAt(level, frame, row))) return;
  SetCell(level, frame, row, kCellEmpty);
  for (int g = frame + 1; g < FrameCount(); ++g) {
    Cell c = CellAt(level, g, row);
    if (IsRecordCell(c) || c == kCellEmpty) break;
    SetCell(level, g, row, kCellEmpty);
    // An area's holds end at its hold end.
    if (row == kRowArea && c == kCellHoldEnd) break;
  }
  TidyLevel(level);
  RedrawWindow();
}

int CopyCell(int row, int fromLevel, int fromFrame, int toLevel, int toFrame) {
  Cell c = CellAt(fromLevel, fromFrame, row);
  if (!IsRecordCell(c) || !ValidLevel(toLevel) || toFrame < 0 || toFrame >= FrameCount()) return 1;
  if (fromLevel == toLevel && fromFrame == toFrame) return 0;
  void* copy = CopyRecord(row, RecordOf(c));
  if (!copy) {
    ShowMessageWith(kMessageNoMemory, "for Time Line update");
    return 1;
  }
  if (SetCell(toLevel, toFrame, row, AddRecord(copy), "for Time Line update") != 0) return 1;
  if (toFrame > 0 && CellAt(toLevel, toFrame - 1, row) == kCellHold) SetCell(toLevel, toFrame - 1, row, kCellHoldEnd);
  TimeLineCursor& cursor = TL().cursor;
  cursor.level = toLevel, cursor.frame = toFrame, cursor.row = row;
  RedrawWindow();
  return 0;
}

void TidyLevel(int level) {
  TimeLineState& t = TL();
  if (!ValidLevel(level)) return;
  const int f = t.frames;
  for (int row = kRowSource; row <= kRowAction; ++row) {
    const Cell* r = RowOf(level, row);
    if (r && std::all_of(r, r + f, [](Cell c) { return c == kCellEmpty; })) FreeRow(level, row);
  }
  if (!LevelInUse(level)) {
    for (auto& table : t.rows) {
      std::move(table.begin() + level + 1, table.end(), table.begin() + level);
      table.back() = nullptr;
    }
    RemoveTrendLevel(level);
    if (t.editLevel > level) --t.editLevel;
  }
  TimeLineCursor& c = t.cursor;
  c.level = std::clamp(c.level, 0, std::max(0, LevelsInUse() - 1));
  if (!RowExists(c.level, c.row)) {
    auto first = [&](int l, std::initializer_list<int> order) {
      for (int row : order)
        if (RowExists(l, row)) {
          c.level = l, c.row = row;
          return true;
        }
      return false;
    };
    if (!first(c.level, {kRowAction, kRowOp, kRowArea, kRowSource}) && c.level > 0)
      first(c.level - 1, {kRowOp, kRowArea, kRowAction, kRowSource});
  }
  t.modified = true;
}

// ---- content at a frame -------------------------------------------------------

OpSettings InterpolateOp(const OpSettings& key, const OpSettings& next, int k, int n, int f) {
  OpSettings r = key;
  if (key.id != next.id) return r;
  // 64 bits: a parameter's whole range times a frame distance overflows 32.
  const std::int64_t span = n - k == 0 ? 1 : std::int64_t{n} - k;
  const std::int64_t t = std::int64_t{f} - k;
  for (int s = 0; s < kSlotCount; ++s) {
    if (key.labelIds[s] == 0) continue;
    int partner = -1;
    for (int j = 0; j < kSlotCount && partner < 0; ++j)
      if (next.labelIds[j] != 0 && next.bindings[j] == key.bindings[s]) partner = j;
    // A slot the next key does not have keeps its value.
    if (partner < 0) continue;
    const std::int32_t a = key.values[s], b = next.values[partner];
    switch (key.kinds[s]) {
      case kParamFloat: {
        const double fa = std::bit_cast<float>(a), fb = std::bit_cast<float>(b);
        const double v = fa + static_cast<double>(t) / static_cast<double>(span) * (fb - fa);
        r.values[s] = std::isfinite(v) ? std::bit_cast<std::int32_t>(static_cast<float>(v)) : a;
        break;
      }
      case kParamColour: {
        std::uint32_t packed = 0;
        for (int byte = 0; byte < 4; ++byte) {
          const std::int64_t ca = (static_cast<std::uint32_t>(a) >> (8 * byte)) & 0xFF;
          const std::int64_t cb = (static_cast<std::uint32_t>(b) >> (8 * byte)) & 0xFF;
          packed |= (static_cast<std::uint32_t>(MixInt(ca, cb, t, span)) & 0xFF) << (8 * byte);
        }
        r.values[s] = static_cast<std::int32_t>(packed);
        break;
      }
      default:
        r.values[s] = MixInt(a, b, t, span);
        break;
    }
  }
  return r;
}

CellContent EffectiveContent(int level, int frame, int row) {
  CellContent out;
  TimeLineState& t = TL();
  if (!RowExists(level, row) || frame < 0 || frame >= t.frames) return out;
  const Cell* r = RowOf(level, row);
  // The record governing the frame: the nearest one at or before it with no
  // empty cell between, found walking back over the run rather than forward
  // from frame 0.
  for (int g = frame; g >= 0 && r[g] != kCellEmpty; --g)
    if (IsRecordCell(r[g])) {
      out.key = r[g];
      out.keyFrame = g;
      break;
    }
  if (out.key == kCellEmpty) return out;
  if (row == kRowSource || row == kRowAction) {
    if (const TimeFileRecord* file = FileRecordOf(out.key))
      out.videoFrame = file->startFrame + std::int64_t{frame - out.keyFrame} * file->increment;
    return out;
  }
  const OpSettings* op = row == kRowOp ? OpRecordOf(out.key) : nullptr;
  const StoredArea* area = row == kRowArea ? AreaRecordOf(out.key) : nullptr;
  out.op = op;
  const bool interpolate = op ? op->interpolate != 0 : area && area->interpolate != 0;
  if (!interpolate || frame == out.keyFrame) return out;
  for (int g = frame + 1; g < t.frames; ++g) {
    if (r[g] == kCellHold || r[g] == kCellHoldEnd) continue;
    if (IsRecordCell(r[g])) out.next = r[g], out.nextFrame = g;
    break;
  }
  if (out.next == kCellEmpty && out.keyFrame != 0 && IsRecordCell(r[0])) out.next = r[0], out.nextFrame = 0;
  if (out.next == kCellEmpty || !op) return out;
  const OpSettings* next = OpRecordOf(out.next);
  if (!next) return out;
  if (!t.scratchOp) {
    void* place = AllocReal(sizeof(OpSettings), "iops");
    if (!place) return out;
    t.scratchOp = std::construct_at(static_cast<OpSettings*>(place));
  }
  // A wrap to frame 0 spans the frames that are left, up to F.
  const int n = out.nextFrame == 0 ? t.frames : out.nextFrame;
  *t.scratchOp = InterpolateOp(*op, *next, out.keyFrame, n, frame);
  out.op = t.scratchOp;
  return out;
}

// ---- the op being edited ------------------------------------------------------

int RefreshOpRecord(int level, int frame, bool fromTrends) {
  const OpSettings* old = OpRecordOf(CellAt(level, frame, kRowOp));
  if (!old) return 1;
  const OpId id = old->id;
  const std::uint16_t interpolate = old->interpolate;
  if (fromTrends) ApplyAllTrends(id, level, frame);
  OpSettings* r = SnapshotOpSettings(id, false);
  if (!r) {
    ShowMessageWith(kMessageNoMemory, "for Time Line update");
    return 1;
  }
  r->interpolate = interpolate;
  if (SetCell(level, frame, kRowOp, AddRecord(r), "for Time Line update") != 0) return 1;
  RedrawWindow();
  return 0;
}

int UseOpRecord(int level, int frame) {
  const OpSettings* r = OpRecordOf(CellAt(level, frame, kRowOp));
  if (!r || RestoreOpSettings(*r) != 0) return 1;
  SetEditedOp(level, frame);
  return 0;
}

void SetEditedOp(int level, int frame) {
  TimeLineState& t = TL();
  t.editLevel = level;
  t.editFrame = frame;
  t.editCell = CellAt(level, frame, kRowOp);
  if (!IsRecordCell(t.editCell)) t.editCell = kCellEmpty;
}

void WriteBackEditedOp() {
  TimeLineState& t = TL();
  if (t.editCell == kCellEmpty) return;
  const Cell cell = t.editCell;
  t.editCell = kCellEmpty;
  if (CellAt(t.editLevel, t.editFrame, kRowOp) != cell) return;
  OpSettings* r = OpRecordOf(cell);
  if (!r) return;
  for (int s = 0; s < kSlotCount; ++s)
    if (r->labelIds[s] != 0)
      if (const std::int32_t* v = BindingValue(r->bindings[s])) r->values[s] = *v;
  SetPointsFromOpRecord(*r, t.editLevel, t.editFrame);
  t.modified = true;
  RedrawWindow();
}

// ---- what the window shows ----------------------------------------------------

std::string FrameTime(int frame, int millisPerFrame) {
  const double seconds = static_cast<double>(millisPerFrame) * frame / 1000.0;
  const long minutes = static_cast<long>(std::floor(seconds / 60.0));
  return Formatted("%02ld:%06.3f", minutes, seconds - 60.0 * static_cast<double>(minutes));
}

std::string CellText(int row, Cell cell) {
  if (cell == kCellHold || cell == kCellHoldEnd) return ValidRow(row) ? kHoldTexts[row - 1] : "";
  if (!IsRecordCell(cell)) return {};
  if (row == kRowOp) {
    const OpSettings* r = OpRecordOf(cell);
    return r ? std::string(OpName(r->id)) : std::string{};
  }
  if (row == kRowArea) {
    const StoredArea* r = AreaRecordOf(cell);
    return r ? std::string(LoadString(r->mode)) : std::string{};
  }
  const TimeFileRecord* r = FileRecordOf(cell);
  return r ? std::string(r->fileName, strnlen(r->fileName, sizeof r->fileName)) : std::string{};
}

std::string CursorStatusText(int millisPerFrame) {
  const TimeLineCursor& c = TL().cursor;
  return Formatted("%s   Frame:%5ld   Time: %s   Level:%3ld", CellText(c.row, CellAt(c.level, c.frame, c.row)).c_str(),
                   static_cast<long>(c.frame + 1), FrameTime(c.frame, millisPerFrame).c_str(), static_cast<long>(c.level + 1));
}

void FreeTimeLineState() {
  TimeLineState& t = TL();
  ClearTimeLine();
  if (t.needs) FreeReal(t.needs, "needs");
  if (t.outf) FreeReal(t.outf, "outf");
  if (t.scratchOp) FreeReal(t.scratchOp, "iops");
  t.needs = nullptr;
  t.outf = nullptr;
  t.scratchOp = nullptr;
  t.created = false;
}

}  // namespace qv
