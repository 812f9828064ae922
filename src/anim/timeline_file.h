// TimeLine files (.tml): the whole TimeLine, its records and its Trends as
// a line-oriented text file that people and render farms can read. The
// exposure sheet exports and imports the same format.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "anim/timeline.h"

namespace qv {

inline constexpr std::size_t kTimeLineLineLimit = 1023;
// Files are read whole up to this size; a longer one is not a TimeLine.
inline constexpr std::size_t kTimeLineMaxBytes = std::size_t{256} << 20;
// Points on one Trend line before it continues on "- " lines.
inline constexpr int kTrendPointsPerLine = 20;

// What a load fell back on: unknown names, skipped and cut lines, values
// kept inside their range. Each is also logged.
struct TimeLineLoadReport {
  std::vector<std::string> warnings;
};

// What a TimeLine file is read into and written from: the TimeLine itself,
// or the exposure sheet, whose columns are the file's levels.
class TimeLineTarget {
 public:
  virtual ~TimeLineTarget() = default;
  // The most levels a cell line may name (from 1).
  virtual int MaxLevels() const = 0;
  // Whether the target keeps cells of this row kind.
  virtual bool TakesRow(int row) const = 0;
  // Before the body is read.
  virtual void Clear() = 0;
  // "=" and "==" (kCellHold, kCellHoldEnd).
  virtual void PutHold(int level, int frame, int row, Cell hold) = 0;
  // A record made by the reader; the target owns it from here on.
  virtual void PutRecord(int level, int frame, int row, void* record) = 0;
  // After the body: what the target does once it holds the file.
  virtual void Finish() = 0;

  // Writing.
  virtual int LevelsInUse() const = 0;
  virtual bool HasRow(int level, int row) const = 0;
  // Empty, a hold, a hold end, or a record (any value above 10; see RecordAt).
  virtual Cell CellAt(int level, int frame, int row) const = 0;
  virtual const void* RecordAt(int level, int frame, int row) const = 0;
};

// The TimeLine as a target.
TimeLineTarget& TimeLineAsTarget();

// The text of a target's file, titled so.
std::string TargetText(const TimeLineTarget& target, std::string_view title);
// Reads the text into the target (cleared first). 0 read; 1 after message
// 14 or 17 (the target is then unchanged).
int ReadTargetText(TimeLineTarget& target, std::string_view text, TimeLineLoadReport* report = nullptr);
// A TimeLine file's text, read whole. 0 read; 1 after message 71.
int ReadTimeLineFile(const std::filesystem::path& path, std::string& text);
// Writes the text atomically. 0 written; 1 after message 84.
int WriteTimeLineFile(const std::filesystem::path& path, const std::string& text);

// The file Save writes for the current TimeLine, titled so.
std::string TimeLineText(std::string_view title);
// 0 written (the modified flag is cleared); 1 after message 84, the
// previous file left as it was.
int SaveTimeLine(const std::filesystem::path& path);

// Clears the TimeLine and reads the text into it. 0 read; 1 after message
// 14 or 17 (the TimeLine is then unchanged).
int ReadTimeLineText(std::string_view text, TimeLineLoadReport* report = nullptr);
// 0 read; 1 after message 71, 14 or 17.
int LoadTimeLine(const std::filesystem::path& path, TimeLineLoadReport* report = nullptr);

// The TimeLine's own commands (the window's buttons and the questions before
// it goes). AskToSaveTimeLine asks with message 85 when the TimeLine was
// changed since it was saved: 0 go on (saved, or changes given up), 2
// cancelled. The others: 0 done, 1 failed (the user was told), 2 cancelled.
int AskToSaveTimeLine();
int LoadTimeLineCommand();
int SaveTimeLineCommand();
int EraseTimeLineCommand();

// A file named in a TimeLine as a path of this machine: a backslash is a
// folder separator; a relative name is found beside the TimeLine file,
// else in the projects folder, else taken as it is.
std::filesystem::path ResolveTimeLinePath(std::string_view name, const std::filesystem::path& timeLineFolder,
                                          const std::filesystem::path& projectFolder);

}  // namespace qv
