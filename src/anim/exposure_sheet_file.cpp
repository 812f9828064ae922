// The exposure sheet's files: the TimeLine format with the columns as
// levels, file cells as ACT lines, operations as OP lines and areas as AREA
// lines. A sheet has no hold cells: "=" and "==" in a file give the cell its
// own copy of the record above it.
#include <algorithm>
#include <cstring>
#include <filesystem>

#include "anim/anim_state.h"
#include "anim/exposure_sheet.h"
#include "anim/timeline_file.h"
#include "base/messages.h"

namespace qv {
namespace {

int RowOfTag(std::uint16_t tag) {
  switch (tag) {
    case kSheetFile: return kRowAction;
    case kSheetOp: return kRowOp;
    case kSheetArea: return kRowArea;
    default: return 0;
  }
}

class SheetTarget final : public TimeLineTarget {
 public:
  SheetTarget(bool merge, const SheetBlock* block) : merge_(merge), block_(block) {}

  int MaxLevels() const override { return kSheetColumns; }
  bool TakesRow(int row) const override { return row != kRowSource; }
  void Clear() override {
    // The sheet's own cells only: the TimeLine and its Trends stay.
    if (!merge_) ClearSheet();
  }
  void PutHold(int level, int frame, int /*row*/, Cell /*hold*/) override {
    // Nothing above (the first frame, or an empty cell) leaves it empty.
    const SheetCell* above = SheetCellAt(level, frame - 1);
    if (!above) {
      ClearSheetCell(level, frame);
      return;
    }
    void* copy = CopyTaggedRecord(above->record.get());
    if (!copy) {
      ShowMessageWith(22, "for exposure sheet");
      return;
    }
    (void)PutSheetRecord(level, frame, copy);
  }
  void PutRecord(int level, int frame, int /*row*/, void* record) override {
    if (RecordTag(record) == kSheetFile) {
      const auto* r = static_cast<const TimeFileRecord*>(record);
      const std::string name(r->fileName, strnlen(r->fileName, sizeof r->fileName));
      if (IsLevelResultName(name)) {
        LogLine("Exposure sheet: %s at column %d, frame %d is a TimeLine result; skipped\n", name.c_str(), level + 1,
                frame + 1);
        FreeTaggedRecord(record);
        return;
      }
    }
    (void)PutSheetRecord(level, frame, record);
  }
  void Finish() override {
    SheetState& s = Sheet();
    s.modified = merge_;
    if (s.redraw) s.redraw();
  }

  int LevelsInUse() const override { return block_ ? std::min(block_->lastColumn + 1, SheetColumnsInUse()) : SheetColumnsInUse(); }
  bool HasRow(int level, int row) const override {
    if (block_ && (level < block_->firstColumn || level > block_->lastColumn)) return false;
    if (level < 0 || level >= kSheetColumns) return false;
    // Straight down the column's own cells: asked for every column and row,
    // a lookup per cell made saving a long sparse sheet crawl.
    const std::vector<SheetCell>& column = Sheet().columns[static_cast<std::size_t>(level)];
    const int first = block_ ? std::max(block_->firstFrame, 0) : 0;
    const int end = std::min(static_cast<int>(column.size()), block_ ? block_->lastFrame + 1 : SheetFrames());
    for (int f = first; f < end; ++f) {
      const SheetCell& cell = column[static_cast<std::size_t>(f)];
      if (cell.record && RowOfTag(cell.Tag()) == row) return true;
    }
    return false;
  }
  Cell CellAt(int level, int frame, int row) const override {
    if (block_ && (frame < block_->firstFrame || frame > block_->lastFrame)) return kCellEmpty;
    return RowOfTag(SheetTagAt(level, frame)) == row ? kFirstRecordCell : kCellEmpty;
  }
  const void* RecordAt(int level, int frame, int row) const override {
    return CellAt(level, frame, row) != kCellEmpty ? SheetCellAt(level, frame)->record.get() : nullptr;
  }

 private:
  bool merge_;
  const SheetBlock* block_;
};

}  // namespace

std::string SheetText(std::string_view title, const SheetBlock* block) {
  SheetTarget target(false, block);
  return TargetText(target, title);
}

int SaveSheet(const std::filesystem::path& path, const SheetBlock* block) {
  if (WriteTimeLineFile(path, SheetText(path.filename().string(), block)) != 0) return 1;
  if (!block) {
    Sheet().modified = false;
    Sheet().title = path.string();
  }
  LogLine("Saved exposure sheet %s\n", path.string().c_str());
  return 0;
}

int ReadSheetText(std::string_view text, bool merge, TimeLineLoadReport* report) {
  SheetTarget target(merge, nullptr);
  return ReadTargetText(target, text, report);
}

int LoadSheet(const std::filesystem::path& path, bool merge, TimeLineLoadReport* report) {
  std::string text;
  if (ReadTimeLineFile(path, text) != 0) return 1;
  if (ReadSheetText(text, merge, report) != 0) return 1;
  if (!merge) Sheet().title = path.string();
  LogLine("Loaded exposure sheet %s\n", path.string().c_str());
  return 0;
}

}  // namespace qv
