// The main frame window: menu bar, tool bar, document area and status line,
// all built from the command table.
#pragma once

#include <QMainWindow>
#include <map>

#include "base/host.h"

class QActionGroup;
class QLabel;
class QMdiArea;
class QMenu;
class QProgressBar;
class QToolBar;
class QToolButton;

namespace qv::ui {

class MainWindow : public QMainWindow {
 public:
  MainWindow();
  ~MainWindow() override;

  // Places and shows the window as the settings and the command line ask.
  void ShowAtStart();

  QAction* ActionOf(int id) const;
  QMenu* MenuAt(int index) const;
  QMdiArea* DocumentArea() const { return area_; }
  QToolBar* ToolBar() const { return toolBar_; }
  // The tool-bar button of a command (it shares the menu's action), and the
  // two scroll buttons (3090, 3091).
  QToolButton* ToolButtonOf(int id) const;

  // Runs a command as the menus do, then brings every action up to date.
  void RunCommand(int id);
  // Enables and checks every action from the table.
  void UpdateCommands();
  // Background, tool-bar text, progress-bar look.
  void ApplyLook();

  void ShowProgressDisplay(const ProgressDisplay& display);
  void SetStatusText(const QString& text);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void BuildOperationsMenu();
  void MarkOperation();
  void BuildToolBar();
  void BuildStatusLine();
  void FillRecentFiles();
  void FillWindowList();
  void ScrollToolBar(int by);
  void LayOutToolBar();
  void AfterCommand();
  void RememberPlace();

  QMdiArea* area_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  std::map<int, QAction*> actions_;
  std::map<int, QActionGroup*> groups_;
  std::map<int, QAction*> opActions_;  // the catalogue's operations by OpId
  QMenu* menus_[9] = {};
  QList<QAction*> recentActions_;
  QAction* recentSeparator_ = nullptr;
  QList<QAction*> windowActions_;
  // Each command's button sits in the tool bar through a place of its own,
  // so scrolling hides the place and never the action the menus share.
  QList<QAction*> toolPlaces_;
  std::map<int, QToolButton*> toolButtons_;
  QAction* scrollPlaces_[2] = {};  // left, right
  int firstToolButton_ = 0;
  QLabel* statusText_ = nullptr;
  QLabel* sequenceText_ = nullptr;
  QProgressBar* sequenceBar_ = nullptr;
  QLabel* operationText_ = nullptr;
  QProgressBar* operationBar_ = nullptr;
};

}  // namespace qv::ui
