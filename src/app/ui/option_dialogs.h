// The option dialogs the menus open with a window: the working method, the
// number of undo levels, the area settings, window sizing, the display and
// memory information. The dialogs themselves live with their subsystems;
// this is where a command id finds its dialog.
#pragma once

class QWidget;

namespace qv::ui {

// 0 done, 2 cancelled, 1 for an id that has no dialog here.
int RunOptionDialog(int id, QWidget* parent);

// "MethodDlg": Draw First or Immediate Painting.
int RunWorkingMethod(QWidget* parent);
// "UndoNum": 0 to 20 levels; a value outside is clamped, and fewer levels
// free the layers beyond at once.
int RunUndoLevels(QWidget* parent);

}  // namespace qv::ui
