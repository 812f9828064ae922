// The image dialogs: New Image Details, the undo choose lists, Image
// Information and Change Image Information.
#pragma once

#include <string>
#include <vector>

class QWidget;

namespace qv {
struct NewImageDetails;
}

namespace qv::ui {

// False when cancelled.
bool RunNewImageDetails(QWidget* parent, NewImageDetails& details);
// "UndoChoose" / "DeUndoChoose": the chosen entry, -1 when cancelled.
int RunUndoChoose(QWidget* parent, bool deUndo, const std::vector<std::string>& entries, int defaultIndex);
// "ImgInfo" (read-only) and "ChangeDlg" (editing); message 29 with no images.
int RunImageInfo(QWidget* parent);
int RunChangeImageInfo(QWidget* parent);

// Pixels / DPI in inches and millimetres as the New Image dialog shows them.
std::string InchText(int width, int height, int dpiX, int dpiY);
std::string MillimetreText(int width, int height, int dpiX, int dpiY);

}  // namespace qv::ui
