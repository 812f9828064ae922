// Dialogs about the views as a whole: which views show alpha, the colours
// of the area outline, the size of view windows, and what the display is.
#pragma once

class QWidget;

namespace qv::ui {

// "Display Alpha View": every view by its title and the "Display Alpha" box
// switching the chosen one. Message 11 with no images loaded.
int RunAlphaViewDialog(QWidget* parent);
// "ColorsDlg": a button per outline colour.
int RunViewColours(QWidget* parent);
// "WinSize": the size new view windows open at and "Maintain Aspect Ratio";
// switching the latter on re-fits every view. 0 accepted, 2 cancelled.
int RunWindowSizing(QWidget* parent);
// "Display Information": the screen's depth, colours, size and the display
// mode that suits it.
int RunDisplayInformation(QWidget* parent);

}  // namespace qv::ui
