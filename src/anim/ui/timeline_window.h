// The "Time Line" window ("timeClass"): the grid of levels by frames, its
// buttons and scroll bars, and the status line of the cursor cell.
#pragma once

#include <QWidget>

class QLabel;
class QMdiArea;
class QPushButton;
class QScrollBar;

namespace qv::ui {

inline constexpr int kTimeLineCommand = 209;  // "&Show TimeLine..."

// The cells: a label column, then one column per frame; four rows per level.
class TimeLineGrid : public QWidget {
 public:
  explicit TimeLineGrid(QWidget* parent);
  // The cell under a point: level, frame and row kind; false off the cells.
  bool CellAt(QPoint at, int& level, int& frame, int& row) const;
  // Where a cell is drawn (for tests and the cursor).
  QRect CellRect(int level, int frame, int row) const;
  int VisibleFrames() const;
  int VisibleLevels() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  bool dragging_ = false;
  int fromLevel_ = 0, fromFrame_ = 0, fromRow_ = 0;
};

class TimeLineWindow : public QWidget {
 public:
  explicit TimeLineWindow(QWidget* parent = nullptr);
  // The grid changed: scroll ranges, grid and status line follow.
  void Refresh();
  TimeLineGrid* Grid() const { return grid_; }
  QLabel* Status() const { return status_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QPushButton* AddButton(const QString& text, int tip);
  TimeLineGrid* grid_ = nullptr;
  QScrollBar* across_ = nullptr;
  QScrollBar* down_ = nullptr;
  QLabel* status_ = nullptr;
};

// Command 209: opens the window (making the grid on first use) or closes it.
void ToggleTimeLineWindow(QMdiArea* area);
TimeLineWindow* FindTimeLineWindow(QMdiArea* area);

}  // namespace qv::ui
