// The exposure sheet: an animation described as a cel animator's sheet,
// frames down and up to 200 columns across. Column 1 is the background, the
// further columns are actors merged onto it or transformed by the operation
// columns that follow them. Each cell holds its own record: an image file,
// an operation or an area selection. The sheet is stored as a TimeLine file
// whose levels are its columns.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "anim/timeline.h"

namespace qv {

struct GenerateRequest;
struct TimeLineLoadReport;

inline constexpr int kSheetColumns = 2 * kMaxLevels;
// Cell records by their tag.
inline constexpr std::uint16_t kSheetFile = 1;
inline constexpr std::uint16_t kSheetOp = 2;
inline constexpr std::uint16_t kSheetArea = 3;

// "Stamps": a file cell's thumbnail, width and height then RGB pixels.
struct SheetStamp {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
  bool tried = false;  // made once; a file that will not load is not tried again
};

struct TaggedRecordFree {
  void operator()(void* record) const { FreeTaggedRecord(record); }
};
using SheetRecord = std::unique_ptr<void, TaggedRecordFree>;

struct SheetCell {
  SheetRecord record;  // null: the cell is empty
  SheetStamp stamp;
  std::uint16_t Tag() const { return RecordTag(record.get()); }
};

// A block of cells, columns and frames from 0, inclusive.
struct SheetBlock {
  int firstColumn = 0, lastColumn = 0;
  int firstFrame = 0, lastFrame = 0;
  int Columns() const { return lastColumn - firstColumn + 1; }
  int Frames() const { return lastFrame - firstFrame + 1; }
};

struct SheetState {
  // "EXco": a column is absent (empty) or F cells.
  std::array<std::vector<SheetCell>, kSheetColumns> columns;
  SheetBlock selection;
  // "EXbu": copies of the records of a copied block, column by column.
  std::vector<std::vector<SheetCell>> buffer;
  // "Set 1's 2's Placement": frames a dropped or imported file fills.
  int backgroundRepeat = 1;
  int actorRepeat = 1;
  bool modified = false;
  bool windowOpen = false;
  bool performing = false;
  int firstColumnShown = 0;
  int firstFrameShown = 0;
  std::string title;  // the file it was last loaded from or saved to
  std::function<void()> redraw;  // the sheet window, when open
};

SheetState& Sheet();

// ---- cells ----
int SheetFrames();
// One more than the highest column holding a cell.
int SheetColumnsInUse();
const SheetCell* SheetCellAt(int column, int frame);  // null off the sheet or empty
std::uint16_t SheetTagAt(int column, int frame);        // 0 off the sheet or empty
const TimeFileRecord* SheetFileAt(int column, int frame);
const OpSettings* SheetOpAt(int column, int frame);
const StoredArea* SheetAreaAt(int column, int frame);
// Puts a record into a cell (the sheet owns it then; the column is made on
// demand). Off the sheet the record is freed. 0 ok, 1 no memory (message 22
// "for exposure sheet").
int PutSheetRecord(int column, int frame, void* record);
void ClearSheetCell(int column, int frame);
// "Level(%d)": a TimeLine result, which has no meaning in the sheet.
bool IsLevelResultName(std::string_view name);
// A file record for a name; null (with a note) for "Level(%d)" names or
// when out of memory.
TimeFileRecord* SheetFileRecord(std::string_view name);
// Frees every cell; the frame count stays.
void ClearSheet();
// Every column at the new frame count: cells past it freed, new ones empty;
// the selection kept inside. Called when the TimeLine's count changes.
void ResizeSheet(int frames);
// The selection as given, kept inside the sheet.
void SelectSheetBlock(SheetBlock block);

// ---- editing ----
// 0 ok, 1 no memory (message 22 "to copy Sheet cells").
int CopySheetCells();
int CutSheetCells();
// Copies of the buffer with their corner at the selection's; what falls
// off the sheet is dropped. 0 ok (also with an empty buffer), 1 no memory.
int PasteSheetCells();
void ClearSheetCells();
// Image files into the selection: column by column, each file filling the
// placement repeat of its column in frames before the next is taken.
// "Level(%d)" names are skipped. Returns how many cells were filled.
int PlaceSheetFiles(const std::vector<std::string>& files);
// A snapshot of the current operation or area selection at a cell.
int PutCurrentOpAt(int column, int frame);
int PutCurrentAreaAt(int column, int frame);
// The thumbnail of a file cell, made at first use when `make` (null for
// other cells, a file that does not load, or one not made yet).
const SheetStamp* SheetStampAt(int column, int frame, int width, int height, bool make = true);

// ---- what the window shows ----
// "File: %s", "Op: %s", "Area: %s" or "(empty)".
std::string SheetStatusText(int column, int frame);

// ---- files ----
// The sheet's file: a TimeLine file whose levels are its columns. Only the
// block when one is given.
std::string SheetText(std::string_view title, const SheetBlock* block = nullptr);
// 0 written (the modified flag cleared for the whole sheet); 1 after 84.
int SaveSheet(const std::filesystem::path& path, const SheetBlock* block = nullptr);
// Clears the sheet (merge: keeps it) and reads the file into it; Source
// lines are logged and skipped. 0 read; 1 after message 71, 14 or 17.
int ReadSheetText(std::string_view text, bool merge, TimeLineLoadReport* report = nullptr);
int LoadSheet(const std::filesystem::path& path, bool merge, TimeLineLoadReport* report = nullptr);

// ---- running ----
// Run Sheet Sequence with the outputs of sequence generation. 0 done, 1
// failed or stopped, 2 cancelled at a question (82, 91).
int RunSheet(const GenerateRequest& request);
// Perform (save: each result written back to its own file) or Preview the
// current operation on the file cells of a block. 0 done, 1 failed or
// stopped, 2 cancelled at the confirmation.
struct PerformRequest {
  SheetBlock block;
  bool save = false;
  bool film = false;       // results into the film strip
  bool replace = false;    // no confirmation asked
  // Told after each cell (file, whether it was written).
  std::function<void(const std::string& file, bool written)> cellDone;
};
int PerformSheet(const PerformRequest& request);

// ---- the window's commands (6422..6445) ----
// 0 done, 1 failed (the user was told), 2 cancelled; -1 not a sheet command.
int SheetCommand(int id);
// With a changed sheet, message 85: 0 go on, 2 cancelled.
int AskToSaveSheet();

void FreeSheetState();

}  // namespace qv
