// A view window: one image (or its alpha) rendered into the client area,
// the area outline over it, and the mouse gestures that draw selections and
// zoom.
#pragma once

#include <QImage>
#include <QMdiSubWindow>
#include <QPolygon>
#include <QWidget>

class QScrollBar;
#include <cstdint>
#include <span>

#include "ops/perspective_handles.h"

namespace qv {
struct ViewRecord;
}

namespace qv::ui {

class ViewSubWindow;

// Repaints every view window (the outline changed; nothing is rendered).
void RepaintAllViews();
// Gives every view the cursor of what its next drag or click does: the
// magnifier while a zoom waits, else the cross of area selection.
void SyncViewCursors();

// The picture a DIB of the renderer describes (whole), or a null image.
QImage DibToImage(std::span<const std::uint8_t> dib);

class ViewWindow : public QWidget {
 public:
  ViewWindow(ViewRecord* record, QWidget* parent);
  ~ViewWindow() override;

  ViewRecord* Record() const { return record_; }
  // The kept bitmap, as last painted.
  const QImage& Bitmap() const { return bitmap_; }
  // Copies DIB rows startRow..startRow + rowCount - 1 (counted from the
  // bottom) into the kept bitmap and repaints those rows without rendering.
  void SetRows(std::span<const std::uint8_t> dib, int startRow, int rowCount);
  // Renders now when the re-render mark is set (what a paint does first).
  void RenderIfNeeded();
  // Sized to its picture once (later sizing keeps the width).
  bool fitted = false;
  // The frame holding this view (set by the frame).
  ViewSubWindow* frame = nullptr;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  enum class Gesture { None, Zoom, Box, Freehand, FreehandMove, Points, EditBox, Perspective };
  QPoint ImagePoint(QPoint window) const;
  QPoint WindowPoint(int x, int y) const;
  void SyncClient();
  void FinishBox(QPoint end, Qt::KeyboardModifiers mods);
  void Finish();
  void DrawOutline(QPainter& p);
  // Perspective's handles, when they are shown in this view.
  void DrawPerspectiveHandles(QPainter& p);
  bool GrabPerspectiveHandle(QPoint window);
  void Repaint();
  void ShowPixelAt(QPoint window);

  ViewRecord* record_;
  QImage bitmap_;
  Gesture gesture_ = Gesture::None;
  QPoint press_, current_;
  QPolygon drawn_;  // window points of a gesture in progress
  int code_ = 0;
  int mode_ = 0;
  int corner_ = 0;  // Edit Area: the corner being dragged
  bool pointsOpen_ = false;
  PerspectiveDrag perspective_;  // the handle being dragged
};

// The frame of a view: a close that the engine refuses (rendering, or a
// cancelled save of the last view) leaves it open.
// Its scroll bars are shown only while the view is zoomed in; they move the
// region, and the picture follows once the gesture ends.
class ViewSubWindow : public QMdiSubWindow {
 public:
  explicit ViewSubWindow(ViewWindow* view);
  ViewWindow* View() const { return view_; }
  QScrollBar* ScrollBar(bool vertical) const { return bars_[vertical ? 1 : 0]; }
  // Shows or hides the scroll bars by the zoom and sets their thumbs.
  void SyncScrollBars();
  // The room the shown scroll bars take beside and below the view.
  QSize ScrollBarRoom() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Scrolled(bool vertical, int action);
  void ThumbReleased(bool vertical);

  ViewWindow* view_;
  QScrollBar* bars_[2] = {nullptr, nullptr};  // horizontal, vertical
  bool moved_[2] = {false, false};            // a gesture moved the region
};

}  // namespace qv::ui
