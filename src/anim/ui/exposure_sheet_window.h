// The "Exposure Sheet" window ("PosExp"): frames down, columns across, a
// thumbnail or a name in each cell, block selection, files dropped from the
// desktop, and the sheet's seventeen commands.
#pragma once

#include <QWidget>

class QLabel;
class QMdiArea;
class QScrollBar;

namespace qv::ui {

// "Show &Exposure Sheet" in the TimeLine menu.
inline constexpr int kExposureSheetCommand = 6420;

class SheetGrid : public QWidget {
 public:
  explicit SheetGrid(QWidget* parent);
  // The cell under a point; false off the cells.
  bool CellAt(QPoint at, int& column, int& frame) const;
  QRect CellRect(int column, int frame) const;
  int VisibleColumns() const;
  int VisibleFrames() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  int anchorColumn_ = 0, anchorFrame_ = 0;
};

class ExposureSheetWindow : public QWidget {
 public:
  explicit ExposureSheetWindow(QWidget* parent = nullptr);
  void Refresh();
  void ShowCell(int column, int frame);  // the status line for a cell
  SheetGrid* Grid() const { return grid_; }
  QLabel* Status() const { return status_; }
  // One of the commands 6422..6445, as its button runs it.
  void Run(int id);

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void MakeStamps();
  SheetGrid* grid_ = nullptr;
  QScrollBar* across_ = nullptr;
  QScrollBar* down_ = nullptr;
  QLabel* status_ = nullptr;
};

// Opens the window or closes it.
void ToggleExposureSheetWindow(QMdiArea* area);
ExposureSheetWindow* FindExposureSheetWindow(QMdiArea* area);

}  // namespace qv::ui
