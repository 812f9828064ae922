// The TimeLine: a grid of up to 100 levels by the frames of the sequence.
// Each level has four rows (Source, Area, Op, Action); a cell is empty, a
// hold of the record before it, the end of such a hold, or a record of its
// own. Generation walks the grid frame by frame and level by level; this
// file owns the grid, its records, its edits and the content of a cell at
// any frame.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ops/op_settings.h"

namespace qv {

struct StoredArea;

inline constexpr int kMaxLevels = 100;
inline constexpr int kMinFrames = 2;
// The most frames a TimeLine has: what a film strip file can hold.
inline constexpr int kMaxFrames = 4096;

// Row kinds, as the window, the edits and the look-ups number them.
inline constexpr int kRowSource = 1;
inline constexpr int kRowArea = 2;
inline constexpr int kRowOp = 3;
inline constexpr int kRowAction = 4;

// Cells: 0 empty, 1 hold, 2 hold end; above 10 a record (the value names it).
using Cell = std::uint32_t;
inline constexpr Cell kCellEmpty = 0;
inline constexpr Cell kCellHold = 1;
inline constexpr Cell kCellHoldEnd = 2;
inline constexpr Cell kFirstRecordCell = 11;
inline constexpr bool IsRecordCell(Cell c) { return c > 10; }

inline constexpr int kFileNameRoom = 312;  // up to 311 characters

// The record of a Source or Action cell.
struct TimeFileRecord {
  std::uint16_t tag = 1;
  std::uint16_t video = 0;       // the file is a video sequence
  std::int32_t startFrame = 1;   // 1..1000000
  std::int32_t increment = 1;    // 1..1000
  char fileName[kFileNameRoom] = {};
  std::uint16_t fromLoadedImage = 0;
};
inline constexpr std::int32_t kMaxStartFrame = 1000000;
inline constexpr std::int32_t kMaxIncrement = 1000;

struct TimeLineCursor {
  int level = 0;
  int frame = 3;  // the fourth frame, as a fresh settings file has it
  int row = kRowOp;
  int firstLevelShown = 0;
  int firstFrameShown = 0;
};

struct TimeLineState {
  int frames = 7;      // the frame count F, shared with Trends and the film strip
  int firstFrame = 1;  // the sequence's begin and finish frames, from 1
  int lastFrame = 7;
  bool created = false;
  // rows[kind - 1][level]: F cells, or null when the level has no such row.
  std::array<std::array<Cell*, kMaxLevels>, 4> rows{};
  std::vector<void*> records;      // record of cell kFirstRecordCell + i
  std::vector<Cell> freeCells;     // record cells given back
  void** needs = nullptr;          // "needs": a level's result during generation
  std::int32_t* outf = nullptr;    // "outf": one word per frame
  TimeLineCursor cursor;
  int cellWidth = 36;
  int cellHeight = 32;
  bool modified = false;
  bool windowOpen = false;         // the "Time Line" window is shown
  std::string title;               // the file it was last loaded from or saved to
  OpSettings* scratchOp = nullptr; // "ctop": the interpolated op of a frame
  // An op record whose values were made current by "Set Current Settings":
  // the next click in the window (or closing it) writes the values back.
  int editLevel = -1;
  int editFrame = -1;
  Cell editCell = kCellEmpty;
};

// ---- the grid ----
// Allocates the row tables; when there is no Op row yet, level 0 gets the
// current operation from frame 0 to the end. 0 ok, 1 no memory.
int CreateGrid();
bool GridExists();
// Frees every row and record; the frame count stays. Trends are not touched.
void ClearTimeLine();
// Clears the grid and kills every Trend (Erase TimeLine).
void EraseTimeLine();

int FrameCount();
// 0 ok, 1 a row could not be reallocated (the grid keeps what it had).
// The count is kept within kMinFrames..kMaxFrames; Trends are rescaled.
int ChangeFrameCount(int frames);

Cell CellAt(int level, int frame, int row);
bool RowExists(int level, int row);
// Stores a value (allocating the level's row); a frame below 0 counts as 0;
// a level outside 0..99 or a frame at or past F is ignored. 0 ok, 1 no
// memory (message 22 with `detail`).
int SetCell(int level, int frame, int row, Cell value, std::string_view detail = "loading TimeLine");
int LevelsInUse();
bool LevelInUse(int level);

// Records. A cell value names one; its row kind says which type it is.
Cell AddRecord(void* record);  // kCellEmpty when out of memory
void* RecordOf(Cell cell);
TimeFileRecord* FileRecordOf(Cell cell);
OpSettings* OpRecordOf(Cell cell);
StoredArea* AreaRecordOf(Cell cell);
TimeFileRecord* NewFileRecord();  // "tfile"; null when out of memory
// A new record of the row's kind that copies one.
void* CopyRecord(int row, const void* record);
void FreeRecordOf(int row, Cell cell);
// Any record, told by the 16-bit tag it begins with (1 file, 2 op, 3 area).
std::uint16_t RecordTag(const void* record);
void FreeTaggedRecord(void* record);
void* CopyTaggedRecord(const void* record);  // null when out of memory

// ---- edits ----
// Whether a file name names a video sequence.
bool IsVideoName(std::string_view name);
// The names chosen for a Source or Action cell: one goes into the record at
// (level, frame) and holds to the next non-empty cell; several go into
// consecutive frames, one record each. The record becomes the grid's.
// 0 ok, 1 no memory.
int AssignFiles(const std::vector<std::string>& names, TimeFileRecord* record, int level, int frame, int row);
// A snapshot of the current area selection or operation at a cell, holding
// to the next key. 0 ok, 1 no memory.
int AddAreaAt(int level, int frame);
int AddOpAt(int level, int frame);
// Make Area: the current selection becomes the area cell at the cursor (the
// grid is made first when there is none). 0 ok, 1 no memory.
int AreaToCursorCell();
// A new empty file record at a cell, for its dialog to fill (null when out
// of memory); the dialog keeps it or removes it.
TimeFileRecord* AddFileAt(int level, int frame, int row);
// Frees the record at a cell with the holds that follow it, then tidies the
// level.
void RemoveRecordAt(int level, int frame, int row);
// Copies the record of one cell to another of the same row kind and moves
// the cursor there. 0 ok, 1 nothing to copy or no memory.
int CopyCell(int row, int fromLevel, int fromFrame, int toLevel, int toFrame);
void TidyLevel(int level);

// ---- content at a frame ----
struct CellContent {
  Cell key = kCellEmpty;     // the record that governs the frame, or empty
  int keyFrame = -1;
  Cell next = kCellEmpty;    // the next key when the frame lies between two
  int nextFrame = -1;        // 0 for a wrap to frame 0 (reached at F)
  std::int64_t videoFrame = 0;  // Source and Action: the frame of the file
  const OpSettings* op = nullptr;  // Op: the record or the interpolated one
};
CellContent EffectiveContent(int level, int frame, int row);
// The op of frame f between key k and next key n (n = F for a wrap).
OpSettings InterpolateOp(const OpSettings& key, const OpSettings& next, int k, int n, int f);

// ---- the op being edited ----
// "Get Current Settings", and with fromTrends "Get Settings from Trends": the
// record made anew for its operation from the live values (after setting
// those the level's Trends drive to their value at this frame). 0 ok, 1 no
// record there or no memory.
int RefreshOpRecord(int level, int frame, bool fromTrends);
// "Set Current Settings": the record's operation and values become the
// current ones and the record is remembered as being edited. 0 ok, 1 none.
int UseOpRecord(int level, int frame);
void SetEditedOp(int level, int frame);
// Writes the current parameter values into the edited record (when it is
// still in its cell) and sets the level's Trends at its frame. Nothing when
// no record is being edited.
void WriteBackEditedOp();

// ---- what the window shows ----
// "Time (MM:SS.)": t = ms per frame x frame / 1000 as "%02ld:%06.3f".
std::string FrameTime(int frame, int millisPerFrame);
// The status line of the cursor cell.
std::string CursorStatusText(int millisPerFrame);
// The text of a record cell for the window and the status line.
std::string CellText(int row, Cell cell);

void FreeTimeLineState();

}  // namespace qv
