// "MemDlg", System and Memory Info: the program, the platform and screen,
// the memory places in use (totals, maxima and the places grouped by tag),
// the images and undo layers held, and a button that writes the full place
// list to the log.
#pragma once

class QWidget;

namespace qv::ui {

int RunMemoryInfo(QWidget* parent);

}  // namespace qv::ui
