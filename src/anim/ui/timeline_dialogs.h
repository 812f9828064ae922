// The dialogs of the TimeLine window: adding to a cell, editing an op, a
// source or action file, or an area cell, choosing a loaded image, sizing
// the cells; and the Trend dialogs "Set Trends" and "Set Trend Extents".
#pragma once

#include <cstdint>
#include <string>

class QWidget;

namespace qv {
struct Trend;
}

namespace qv::ui {

// "Add to Time Line": what to add at the cursor cell (a row kind 1..4), 0
// when cancelled.
int RunAddToTimeLine(QWidget* parent);
// "TimeOp" for the op record at (level, frame).
void RunTimeOp(QWidget* parent, int level, int frame);
// "SrcOp" for the Source or Action record at (level, frame). False when the
// record went (removed, or left without a file name).
bool RunSrcOp(QWidget* parent, int level, int frame, int row);
// The area cell's editor: make it the current selection, replace it by the
// current selection, interpolate, remove.
void RunAreaCell(QWidget* parent, int level, int frame);
// "Specify Loaded Image": "Level(n)" of a level below, or a loaded image's
// file (or display) name; empty when cancelled.
std::string RunSpecifyLoadedImage(QWidget* parent, int level);
// "Cell Sizing": the cell width and height. True when changed.
bool RunCellSizing(QWidget* parent);
// "Set Trends" ("TreDlg") for an operation on a level.
void RunSetTrends(QWidget* parent, std::uint32_t op, int level);
// "Set Trend Extents" ("ExtDlg").
bool RunTrendExtents(QWidget* parent, Trend& trend);

}  // namespace qv::ui
