#include "anim/exposure_sheet.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "anim/anim_state.h"
#include "anim/timeline_file.h"
#include "area/area_mask.h"
#include "area/stored_area.h"
#include "base/fixed_text.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/string_table.h"
#include "formats/image_files.h"
#include "ops/op_settings.h"
#include "ops/op_state.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageNoMemory = 22;
constexpr const char* kColumnDetail = "for exposure sheet";
constexpr const char* kBufferDetail = "to copy Sheet cells";

bool OnSheet(int column, int frame) {
  return column >= 0 && column < kSheetColumns && frame >= 0 && frame < SheetFrames();
}

SheetCell* CellOf(int column, int frame) {
  if (!OnSheet(column, frame)) return nullptr;
  auto& col = Sheet().columns[static_cast<std::size_t>(column)];
  if (static_cast<std::size_t>(frame) >= col.size()) return nullptr;
  return &col[static_cast<std::size_t>(frame)];
}

// The column at the sheet's frame count, made when absent. 0 ok, 1 no memory.
int EnsureColumn(int column) {
  auto& col = Sheet().columns[static_cast<std::size_t>(column)];
  if (col.size() == static_cast<std::size_t>(SheetFrames())) return 0;
  try {
    col.resize(static_cast<std::size_t>(SheetFrames()));
  } catch (const std::bad_alloc&) {
    ShowMessageWith(kMessageNoMemory, kColumnDetail);
    return 1;
  }
  return 0;
}

// A column whose cells are all empty is absent again.
void DropEmptyColumn(int column) {
  auto& col = Sheet().columns[static_cast<std::size_t>(column)];
  if (std::none_of(col.begin(), col.end(), [](const SheetCell& c) { return c.record != nullptr; })) {
    col.clear();
    col.shrink_to_fit();
  }
}

void Changed() {
  SheetState& s = Sheet();
  s.modified = true;
  if (s.redraw) s.redraw();
}

// Copies of a block's records; false when out of memory (nothing kept).
bool CopyBlock(const SheetBlock& b, std::vector<std::vector<SheetCell>>& into) {
  std::vector<std::vector<SheetCell>> copy;
  try {
    copy.resize(static_cast<std::size_t>(b.Columns()));
    for (int c = 0; c < b.Columns(); ++c) {
      auto& col = copy[static_cast<std::size_t>(c)];
      col.resize(static_cast<std::size_t>(b.Frames()));
      for (int f = 0; f < b.Frames(); ++f) {
        const SheetCell* from = SheetCellAt(b.firstColumn + c, b.firstFrame + f);
        if (!from) continue;
        col[static_cast<std::size_t>(f)].record.reset(CopyTaggedRecord(from->record.get()));
        if (!col[static_cast<std::size_t>(f)].record) return false;
        col[static_cast<std::size_t>(f)].stamp = from->stamp;
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  into = std::move(copy);
  return true;
}

}  // namespace

SheetState& Sheet() { return Anim().sheet; }

int SheetFrames() { return FrameCount(); }

int SheetColumnsInUse() {
  const SheetState& s = Sheet();
  for (int c = kSheetColumns; c-- > 0;)
    for (const SheetCell& cell : s.columns[static_cast<std::size_t>(c)])
      if (cell.record) return c + 1;
  return 0;
}

const SheetCell* SheetCellAt(int column, int frame) {
  const SheetCell* cell = CellOf(column, frame);
  return cell && cell->record ? cell : nullptr;
}

std::uint16_t SheetTagAt(int column, int frame) {
  const SheetCell* cell = SheetCellAt(column, frame);
  return cell ? cell->Tag() : 0;
}

const TimeFileRecord* SheetFileAt(int column, int frame) {
  return SheetTagAt(column, frame) == kSheetFile
             ? static_cast<const TimeFileRecord*>(SheetCellAt(column, frame)->record.get())
             : nullptr;
}
const OpSettings* SheetOpAt(int column, int frame) {
  return SheetTagAt(column, frame) == kSheetOp ? static_cast<const OpSettings*>(SheetCellAt(column, frame)->record.get())
                                               : nullptr;
}
const StoredArea* SheetAreaAt(int column, int frame) {
  return SheetTagAt(column, frame) == kSheetArea
             ? static_cast<const StoredArea*>(SheetCellAt(column, frame)->record.get())
             : nullptr;
}

int PutSheetRecord(int column, int frame, void* record) {
  SheetRecord owned(record);
  if (!OnSheet(column, frame)) return 0;
  if (EnsureColumn(column) != 0) return 1;
  SheetCell& cell = Sheet().columns[static_cast<std::size_t>(column)][static_cast<std::size_t>(frame)];
  cell.record = std::move(owned);
  cell.stamp = {};
  Changed();
  return 0;
}

void ClearSheetCell(int column, int frame) {
  SheetCell* cell = CellOf(column, frame);
  if (!cell || !cell->record) return;
  *cell = SheetCell{};
  DropEmptyColumn(column);
  Changed();
}

bool IsLevelResultName(std::string_view name) {
  if (name.size() < 8 || name.substr(0, 6) != "Level(" || name.back() != ')') return false;
  std::string_view digits = name.substr(6, name.size() - 7);
  if (!digits.empty() && digits.front() == '-') digits.remove_prefix(1);
  return !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; });
}

TimeFileRecord* SheetFileRecord(std::string_view name) {
  if (IsLevelResultName(name)) {
    ShowNote("A TimeLine level result cannot be placed in the exposure sheet.", name);
    return nullptr;
  }
  TimeFileRecord* r = NewFileRecord();
  if (!r) {
    ShowMessageWith(kMessageNoMemory, kColumnDetail);
    return nullptr;
  }
  CopyText(r->fileName, name);
  r->video = IsVideoName(name) ? 1 : 0;
  return r;
}

void ClearSheet() {
  SheetState& s = Sheet();
  for (auto& col : s.columns) {
    col.clear();
    col.shrink_to_fit();
  }
  s.modified = false;
  if (s.redraw) s.redraw();
}

void SelectSheetBlock(SheetBlock b) {
  const int lastFrame = std::max(0, SheetFrames() - 1);
  auto fit = [](int& a, int high) { a = std::clamp(a, 0, high); };
  fit(b.firstColumn, kSheetColumns - 1), fit(b.lastColumn, kSheetColumns - 1);
  fit(b.firstFrame, lastFrame), fit(b.lastFrame, lastFrame);
  if (b.firstColumn > b.lastColumn) std::swap(b.firstColumn, b.lastColumn);
  if (b.firstFrame > b.lastFrame) std::swap(b.firstFrame, b.lastFrame);
  Sheet().selection = b;
}

void ResizeSheet(int frames) {
  SheetState& s = Sheet();
  for (int c = 0; c < kSheetColumns; ++c) {
    auto& col = s.columns[static_cast<std::size_t>(c)];
    if (col.empty()) continue;
    try {
      col.resize(static_cast<std::size_t>(frames));
    } catch (const std::bad_alloc&) {
      ShowMessageWith(kMessageNoMemory, kColumnDetail);
    }
    DropEmptyColumn(c);
  }
  SelectSheetBlock(s.selection);
  s.firstFrameShown = std::clamp(s.firstFrameShown, 0, std::max(0, frames - 1));
  if (s.redraw) s.redraw();
}

int CopySheetCells() {
  SheetState& s = Sheet();
  if (!CopyBlock(s.selection, s.buffer)) {
    ShowMessageWith(kMessageNoMemory, kBufferDetail);
    return 1;
  }
  return 0;
}

int CutSheetCells() {
  if (CopySheetCells() != 0) return 1;
  ClearSheetCells();
  return 0;
}

int PasteSheetCells() {
  SheetState& s = Sheet();
  if (s.buffer.empty()) return 0;
  // The buffer stays for another paste: the cells get copies of it.
  std::vector<std::vector<SheetCell>> copies;
  try {
    copies.resize(s.buffer.size());
    for (std::size_t c = 0; c < s.buffer.size(); ++c) {
      copies[c].resize(s.buffer[c].size());
      for (std::size_t f = 0; f < s.buffer[c].size(); ++f) {
        const SheetCell& from = s.buffer[c][f];
        if (!from.record) continue;
        copies[c][f].record.reset(CopyTaggedRecord(from.record.get()));
        if (!copies[c][f].record) throw std::bad_alloc();
        copies[c][f].stamp = from.stamp;
      }
    }
  } catch (const std::bad_alloc&) {
    ShowMessageWith(kMessageNoMemory, kBufferDetail);
    return 1;
  }
  for (std::size_t c = 0; c < copies.size(); ++c) {
    const int column = s.selection.firstColumn + static_cast<int>(c);
    if (column >= kSheetColumns) break;
    for (std::size_t f = 0; f < copies[c].size(); ++f) {
      const int frame = s.selection.firstFrame + static_cast<int>(f);
      if (frame >= SheetFrames()) break;
      // An empty buffer cell empties the cell it lands on, as the block was.
      if (!copies[c][f].record) {
        ClearSheetCell(column, frame);
        continue;
      }
      if (EnsureColumn(column) != 0) return 1;
      s.columns[static_cast<std::size_t>(column)][static_cast<std::size_t>(frame)] = std::move(copies[c][f]);
    }
  }
  Changed();
  return 0;
}

void ClearSheetCells() {
  const SheetBlock b = Sheet().selection;
  for (int c = b.firstColumn; c <= b.lastColumn; ++c)
    for (int f = b.firstFrame; f <= b.lastFrame; ++f) ClearSheetCell(c, f);
}

int PlaceSheetFiles(const std::vector<std::string>& files) {
  const SheetState& s = Sheet();
  const SheetBlock b = s.selection;
  std::vector<std::string> names;
  for (const std::string& f : files)
    if (!IsLevelResultName(f)) names.push_back(f);
  if (names.empty()) return 0;
  BeginProgress("Drag Files", b.Columns() * b.Frames());
  int placed = 0, next = 0;
  for (int c = b.firstColumn; c <= b.lastColumn && next < static_cast<int>(names.size()); ++c) {
    const int repeat = std::max(1, c == 0 ? s.backgroundRepeat : s.actorRepeat);
    for (int f = b.firstFrame; f <= b.lastFrame && next < static_cast<int>(names.size());) {
      const std::string& name = names[static_cast<std::size_t>(next++)];
      for (int k = 0; k < repeat && f <= b.lastFrame; ++k, ++f) {
        if (Progress((c - b.firstColumn) * b.Frames() + (f - b.firstFrame)) != 0) {
          EndProgress();
          return placed;
        }
        TimeFileRecord* r = SheetFileRecord(name);
        if (!r || PutSheetRecord(c, f, r) != 0) {
          EndProgress();
          return placed;
        }
        ++placed;
      }
    }
  }
  EndProgress();
  return placed;
}

int PutCurrentOpAt(int column, int frame) {
  OpSettings* r = SnapshotOpSettings(Ops().current, false);
  if (!r) {
    ShowMessageWith(kMessageNoMemory, kColumnDetail);
    return 1;
  }
  return PutSheetRecord(column, frame, r);
}

int PutCurrentAreaAt(int column, int frame) {
  StoredArea* r = StoreArea(Area().selection.mode);
  if (!r) {
    ShowMessageWith(kMessageNoMemory, kColumnDetail);
    return 1;
  }
  return PutSheetRecord(column, frame, r);
}

const SheetStamp* SheetStampAt(int column, int frame, int width, int height, bool make) {
  SheetCell* cell = CellOf(column, frame);
  if (!cell || cell->Tag() != kSheetFile) return nullptr;
  SheetStamp& stamp = cell->stamp;
  if (!stamp.tried && make) {
    stamp.tried = true;
    const auto* r = static_cast<const TimeFileRecord*>(cell->record.get());
    std::string path(r->fileName, strnlen(r->fileName, sizeof r->fileName));
    const std::filesystem::path folder = std::filesystem::path(Sheet().title).parent_path();
    path = ResolveTimeLinePath(path, folder, {}).string();
    // Only a plain file that is there: a missing one is no message a cell,
    // and a FIFO or a device would never end.
    std::error_code ec;
    ImageRecord* image = r->video || !std::filesystem::is_regular_file(path, ec) ? nullptr : LoadImageFile(nullptr, path);
    if (image && LockImage(image) == 0) {
      // The picture fitted inside the cell, its sides in proportion.
      const double scale = std::min(static_cast<double>(width) / image->width, static_cast<double>(height) / image->height);
      stamp.width = std::clamp(static_cast<int>(image->width * scale), 1, 255);
      stamp.height = std::clamp(static_cast<int>(image->height * scale), 1, 255);
      stamp.rgb.resize(static_cast<std::size_t>(stamp.width) * stamp.height * 3);
      for (int y = 0; y < stamp.height; ++y)
        for (int x = 0; x < stamp.width; ++x) {
          const std::uint8_t* p = PixelAt(image, static_cast<int>(std::int64_t{x} * image->width / stamp.width),
                                          static_cast<int>(std::int64_t{y} * image->height / stamp.height));
          std::memcpy(&stamp.rgb[(static_cast<std::size_t>(y) * stamp.width + x) * 3], p, 3);
        }
      UnlockImage(image);
    }
    if (image) FreeImage(image);
  }
  return stamp.rgb.empty() ? nullptr : &stamp;
}

std::string SheetStatusText(int column, int frame) {
  const SheetCell* cell = SheetCellAt(column, frame);
  if (!cell) return "(empty)";
  char text[400];
  switch (cell->Tag()) {
    case kSheetFile: {
      const auto* r = static_cast<const TimeFileRecord*>(cell->record.get());
      std::snprintf(text, sizeof text, "File: %.*s", static_cast<int>(strnlen(r->fileName, sizeof r->fileName)), r->fileName);
      break;
    }
    case kSheetOp:
      std::snprintf(text, sizeof text, "Op: %s",
                    std::string(OpName(static_cast<const OpSettings*>(cell->record.get())->id)).c_str());
      break;
    default:
      std::snprintf(text, sizeof text, "Area: %s",
                    std::string(LoadString(static_cast<const StoredArea*>(cell->record.get())->mode)).c_str());
      break;
  }
  return text;
}

void FreeSheetState() {
  SheetState& s = Sheet();
  for (auto& col : s.columns) std::vector<SheetCell>().swap(col);
  s.buffer.clear();
  s.modified = false;
}

}  // namespace qv
