// Dialogs about the views as a whole: which views show alpha, and the
// colours of the area outline.
#pragma once

class QWidget;

namespace qv::ui {

// "Display Alpha View": every view by its title and the "Display Alpha" box
// switching the chosen one. Message 11 with no images loaded.
int RunAlphaViewDialog(QWidget* parent);
// "ColorsDlg": a button per outline colour.
int RunViewColours(QWidget* parent);

}  // namespace qv::ui
