#include "display/ui/view_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGridLayout>
#include <QInputDialog>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/commands.h"
#include "app/program.h"
#include "area/area_files.h"
#include "area/area_gesture.h"
#include "area/area_mask.h"
#include "base/messages.h"
#include "display/render.h"
#include "display/views.h"
#include "ops/apply.h"
#include "ops/op_menu.h"
#include "store/image_record.h"

namespace qv::ui {
namespace {

QColor Colour(const Rgb& c) { return QColor(c.red, c.green, c.blue); }

bool IsBoxMode(int mode) {
  return mode == kAreaRectangle || mode == kAreaRoundRect || mode == kAreaEllipse || mode == kAreaIShape;
}
bool IsPointMode(int mode) {
  return mode == kAreaPolygon || mode == kAreaPolyArc || mode == kAreaSpline || mode == kAreaBezier;
}

// Every view of an image shows the new outline (no render needed).
void RepaintViewsOf(const ImageRecord* image) {
  for (QWidget* w : QApplication::allWidgets())
    if (auto* v = dynamic_cast<ViewWindow*>(w); v && v->Record() && v->Record()->image == image) v->update();
}

// A magnifying glass with what the click does in it: + zooms in, 1:1 sizes
// the window to the picture, - picks the view to zoom out.
QCursor CursorOf(ViewTool tool) {
  if (tool == ViewTool::None) return Qt::CrossCursor;
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 4, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(QPointF(19, 19), QPointF(29, 29));
  p.setPen(QPen(Qt::black, 2));
  p.setBrush(QColor(255, 255, 255, 220));
  p.drawEllipse(QRectF(2, 2, 19, 19));
  if (tool == ViewTool::MagnifyOneToOne) {
    QFont font = p.font();
    font.setPixelSize(8);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRectF(2, 2, 19, 19), Qt::AlignCenter, QStringLiteral("1:1"));
  } else {
    p.drawLine(QPointF(7, 11.5), QPointF(16, 11.5));
    if (tool == ViewTool::Magnify) p.drawLine(QPointF(11.5, 7), QPointF(11.5, 16));
  }
  p.end();
  return QCursor(pixmap, 11, 11);
}

}  // namespace

void RepaintAllViews() {
  for (QWidget* w : QApplication::allWidgets())
    if (auto* v = dynamic_cast<ViewWindow*>(w)) v->update();
}

void SyncViewCursors() {
  const QCursor cursor = CursorOf(TheProgram().views.tool);
  for (QWidget* w : QApplication::allWidgets())
    if (auto* v = dynamic_cast<ViewWindow*>(w)) v->setCursor(cursor);
}

QImage DibToImage(std::span<const std::uint8_t> dib) {
  DibLayout layout;
  if (!ReadDibLayout(dib, layout)) return {};
  QImage out(layout.width, layout.height, QImage::Format_RGB32);
  std::vector<QRgb> table(static_cast<std::size_t>(layout.colours));
  for (int i = 0; i < layout.colours; ++i) {
    std::uint32_t c = DibColour(dib, i);
    table[static_cast<std::size_t>(i)] = qRgb(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
  }
  for (int y = 0; y < layout.height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < layout.width; ++x) {
      std::uint32_t v = DibPixel(dib, layout, x, y);
      if (layout.bits <= 8) {
        line[x] = v < table.size() ? table[v] : qRgb(0, 0, 0);
      } else if (layout.bits == 16) {
        // 5 bits each, red highest.
        int r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
        line[x] = qRgb(r << 3 | r >> 2, g << 3 | g >> 2, b << 3 | b >> 2);
      } else {
        line[x] = qRgb((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
      }
    }
  }
  return out;
}

ViewWindow::ViewWindow(ViewRecord* record, QWidget* parent) : QWidget(parent), record_(record) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAcceptDrops(true);
  // The status line follows the pixel under the mouse.
  setMouseTracking(true);
  setMinimumSize(16, 16);
  setCursor(CursorOf(TheProgram().views.tool));
  setFocusPolicy(Qt::ClickFocus);
}

ViewWindow::~ViewWindow() {
  // A window going away without a close (the program ending) forgets its
  // view but leaves the image to the image table.
  if (record_ && SlotOf(record_) && SlotOf(record_)->inUse) DropView(record_);
}

void ViewWindow::SyncClient() {
  record_->clientWidth = std::max(1, width());
  record_->clientHeight = std::max(1, height());
}

void ViewWindow::RenderIfNeeded() {
  SyncClient();
  if (!record_->reRender && bitmap_.size() == size()) return;
  ViewSlot* slot = SlotOf(record_);
  if (!slot || !record_->image) {
    bitmap_ = QImage(size(), QImage::Format_RGB32);
    bitmap_.fill(Qt::black);
    record_->reRender = 0;
    return;
  }
  Program& program = TheProgram();
  record_->renderState = 1;
  record_->reRender = 0;
  slot->dib = RenderView(record_->image, record_, slot->dib, program.display.mode, 0, record_->clientHeight - 1);
  bool stopped = record_->renderState == kRenderStateResized;
  record_->renderState = 0;
  if (!slot->dib) {
    // Stopped by a resize (render again at the next paint) or failed (told).
    if (stopped) record_->reRender = 1;
    if (bitmap_.size() != size()) {
      bitmap_ = QImage(size(), QImage::Format_RGB32);
      bitmap_.fill(Qt::black);
    }
    return;
  }
  bitmap_ = DibToImage(DibBytes(slot->dib));
}

void ViewWindow::SetRows(std::span<const std::uint8_t> dib, int startRow, int rowCount) {
  QImage band = DibToImage(dib);
  if (band.isNull()) return;
  if (bitmap_.size() != band.size()) {
    // The kept bitmap is out of date as a whole: render it all next time.
    record_->reRender = 1;
    update();
    return;
  }
  int top = band.height() - startRow - rowCount;
  QPainter p(&bitmap_);
  p.drawImage(QPoint(0, top), band, QRect(0, top, band.width(), rowCount));
  p.end();
  // Only the band's pixels are new on the screen.
  update(0, top, band.width(), rowCount);
}

void ViewWindow::paintEvent(QPaintEvent*) {
  if (frame) frame->SyncScrollBars();
  RenderIfNeeded();
  QPainter p(this);
  p.drawImage(0, 0, bitmap_);
  if (bitmap_.width() < width() || bitmap_.height() < height()) {
    p.fillRect(bitmap_.width(), 0, width() - bitmap_.width(), height(), Qt::black);
    p.fillRect(0, bitmap_.height(), width(), height() - bitmap_.height(), Qt::black);
  }
  DrawOutline(p);
  DrawPerspectiveHandles(p);
  const Settings& s = TheProgram().settings;
  QPen pen(Colour(s.lineDash1), 1, Qt::DashLine);
  p.setBackground(Colour(s.lineDash2));
  p.setBackgroundMode(Qt::OpaqueMode);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  switch (gesture_) {
    case Gesture::Zoom:
      p.drawRect(QRect(press_, current_).normalized());
      break;
    case Gesture::Box:
      if (mode_ == kAreaEllipse) {
        if (DragsFromCorner(mode_, QApplication::keyboardModifiers() & Qt::AltModifier))
          p.drawEllipse(QRect(press_, current_).normalized());
        else
          p.drawEllipse(press_, std::abs(current_.x() - press_.x()), std::abs(current_.y() - press_.y()));
      } else {
        QPoint d = current_ - press_;
        bool corner = DragsFromCorner(mode_, QApplication::keyboardModifiers() & Qt::AltModifier);
        p.drawRect(corner ? QRect(press_, current_).normalized() : QRect(press_ - d, press_ + d).normalized());
      }
      break;
    case Gesture::EditBox:
      p.drawLine(press_, current_);
      break;
    case Gesture::Freehand:
    case Gesture::Points:
      p.drawPolyline(drawn_);
      break;
    default:
      if (pointsOpen_) p.drawPolyline(drawn_);
      break;
  }
}

QPoint ViewWindow::ImagePoint(QPoint w) const {
  return {WindowToImageX(*record_, w.x()), WindowToImageY(*record_, w.y())};
}

QPoint ViewWindow::WindowPoint(int x, int y) const { return {ImageToWindowX(*record_, x), ImageToWindowY(*record_, y)}; }

void ViewWindow::DrawOutline(QPainter& p) {
  const Program& program = TheProgram();
  const AreaState& a = program.area;
  ImageRecord* image = record_->image;
  if (!image || image != program.images.current || a.shownOutline.count == 0) return;
  if (a.selection.imageWidth != image->width || a.selection.imageHeight != image->height) return;
  const Settings& s = program.settings;
  QPen pen(Colour(s.lineDash1), 1, Qt::DashLine);
  p.setPen(pen);
  p.setBackground(Colour(s.lineDash2));
  p.setBackgroundMode(Qt::OpaqueMode);
  // Neighbouring edge pixels become one run of the polyline.
  QPolygon run;
  auto flush = [&] {
    if (run.size() == 1) p.drawPoint(run[0]);
    else if (run.size() > 1) p.drawPolyline(run);
    run.clear();
  };
  for (int i = 0; i < a.shownOutline.count; ++i) {
    const AreaPoint& pt = a.shownOutline.points[i];
    if (pt.flag == kPenUp) flush();
    run << WindowPoint(pt.x, pt.y);
  }
  flush();
  if (a.editArea) {
    p.setBackgroundMode(Qt::TransparentMode);
    p.setPen(Colour(s.lineHandle));
    const AreaSelection& sel = a.selection;
    for (QPoint c : {WindowPoint(sel.left, sel.top), WindowPoint(sel.right, sel.top), WindowPoint(sel.left, sel.bottom),
                     WindowPoint(sel.right, sel.bottom)})
      p.drawRect(c.x() - 3, c.y() - 3, 6, 6);
  }
}

void ViewWindow::DrawPerspectiveHandles(QPainter& p) {
  ImageRecord* image = record_->image;
  const ImageRecord* picture = PerspectivePicture();
  if (!image || !picture || PerspectiveHandlesView() != record_) return;
  const PerspectiveFrame f = PerspectiveFrameFor(image->width, image->height, picture->width, picture->height);
  auto at = [&](int h) {
    const HandlePoint& pt = f.point[h];
    return WindowPoint(static_cast<int>(std::clamp(pt.x, -1e6, 1e6)), static_cast<int>(std::clamp(pt.y, -1e6, 1e6)));
  };
  p.setBackgroundMode(Qt::TransparentMode);
  p.setPen(QPen(Colour(TheProgram().settings.lineHandle), 1));
  p.setBrush(Qt::NoBrush);
  if (f.Whole()) p.drawPolygon(QPolygon{at(kHandleTopLeft), at(kHandleTopRight), at(kHandleBottomRight), at(kHandleBottomLeft)});
  for (int h = 0; h < kHandleCount; ++h) {
    if (!f.point[h].visible) continue;
    const QPoint c = at(h);
    if (h == kHandleCentre) p.drawEllipse(c, 4, 4);
    else if (h <= kHandleBottomLeft) p.drawRect(c.x() - 3, c.y() - 3, 6, 6);
    else p.drawRect(c.x() - 2, c.y() - 2, 4, 4);
  }
}

bool ViewWindow::GrabPerspectiveHandle(QPoint window) {
  ImageRecord* image = record_->image;
  const ImageRecord* picture = PerspectivePicture();
  if (!image || !picture || PerspectiveHandlesView() != record_) return false;
  const PerspectiveFrame f = PerspectiveFrameFor(image->width, image->height, picture->width, picture->height);
  // Within a few screen pixels, whatever the zoom.
  int best = kHandleNone, bestD = 7 * 7;
  for (int h = 0; h < kHandleCount; ++h) {
    const HandlePoint& pt = f.point[h];
    if (!pt.visible) continue;
    const QPoint w = WindowPoint(static_cast<int>(std::clamp(pt.x, -1e6, 1e6)), static_cast<int>(std::clamp(pt.y, -1e6, 1e6)));
    const int d = (w - window).x() * (w - window).x() + (w - window).y() * (w - window).y();
    if (d <= bestD) best = h, bestD = d;
  }
  if (best == kHandleNone) return false;
  perspective_ = BeginPerspectiveDrag(image->width, image->height, picture->width, picture->height, f.point[best].x,
                                      f.point[best].y, 0);
  perspective_.handle = best;
  return true;
}

void ViewWindow::resizeEvent(QResizeEvent*) {
  if (record_->renderState == 1) record_->renderState = kRenderStateResized;
  record_->reRender = 1;
  SyncClient();
  if (record_->image) RefreshViewTitles(record_->image);
  update();
}

void ViewWindow::mousePressEvent(QMouseEvent* e) {
  SyncClient();
  ViewsState& views = TheProgram().views;
  ImageRecord* image = record_->image;
  if (!image) return;
  QPoint pos = e->position().toPoint();
  current_ = pos;
  if (views.tool == ViewTool::ChooseDemagnify) {
    DemagnifyChosen(record_);
    SyncViewCursors();
    return;
  }
  if (views.tool == ViewTool::Magnify || views.tool == ViewTool::MagnifyOneToOne) {
    if (e->button() != Qt::LeftButton) return;
    gesture_ = Gesture::Zoom;
    press_ = pos;
    return;
  }
  // Perspective's handles come before a new selection.
  if (e->button() == Qt::LeftButton && gesture_ == Gesture::None && GrabPerspectiveHandle(pos)) {
    gesture_ = Gesture::Perspective;
    press_ = pos;
    return;
  }
  AreaState& a = TheProgram().area;
  mode_ = a.selection.mode ? a.selection.mode : kAreaRectangle;
  bool shift = e->modifiers() & Qt::ShiftModifier, ctrl = e->modifiers() & Qt::ControlModifier;

  if (gesture_ == Gesture::Freehand && e->button() == Qt::RightButton) {
    gesture_ = Gesture::FreehandMove;
    press_ = pos;
    return;
  }
  if (e->button() != Qt::LeftButton) return;
  if (a.editArea) {
    if (!a.mask.place) {
      ShowMessage(72);
      return;
    }
    const AreaSelection& s = a.selection;
    QPoint corners[4] = {WindowPoint(s.left, s.top), WindowPoint(s.right, s.top), WindowPoint(s.left, s.bottom),
                         WindowPoint(s.right, s.bottom)};
    corner_ = 0;
    for (int i = 1; i < 4; ++i)
      if ((corners[i] - pos).manhattanLength() < (corners[corner_] - pos).manhattanLength()) corner_ = i;
    gesture_ = Gesture::EditBox;
    press_ = corners[corner_];
    return;
  }
  if (IsPointMode(mode_)) {
    // Corners are added on release; the first starts a new outline.
    if (!pointsOpen_) code_ = BeginSelectionGesture(shift, ctrl);
    gesture_ = Gesture::Points;
    press_ = pos;
    return;
  }
  code_ = BeginSelectionGesture(shift, ctrl);
  press_ = pos;
  if (IsBoxMode(mode_)) {
    gesture_ = Gesture::Box;
    // The I-shape mode stretches the current shape into the box drawn.
    if (mode_ == kAreaIShape) SetIShapeCapture(a.selection);
  } else if (mode_ == kAreaFreehand) {
    gesture_ = Gesture::Freehand;
    ClearPointList(a.selection.capture);
    QPoint ip = ImagePoint(pos);
    PushPoint(a.selection.capture, ip.x(), ip.y(), kPenUp);
    drawn_.clear();
    drawn_ << pos;
  } else {
    // One click: Color Wand, Font, Entire, Color Key, Redo.
    QPoint ip = ImagePoint(pos);
    ip.setX(std::clamp(ip.x(), 0, image->width - 1));
    ip.setY(std::clamp(ip.y(), 0, image->height - 1));
    a.selection.seedX = a.selection.centreX = ip.x();
    a.selection.seedY = a.selection.centreY = ip.y();
    if (mode_ == kAreaFont && a.selection.fontText.empty()) {
      bool ok = false;
      QString text = QInputDialog::getText(this, QStringLiteral("Font"), QStringLiteral("Text:"), QLineEdit::Normal,
                                           QString(), &ok);
      if (!ok || text.isEmpty()) return;
      a.selection.fontText = text.toStdString();
    }
    Finish();
  }
  update();
}

void ViewWindow::mouseMoveEvent(QMouseEvent* e) {
  QPoint pos = e->position().toPoint();
  ShowPixelAt(pos);
  AreaState& a = TheProgram().area;
  if (gesture_ == Gesture::Freehand) {
    QPoint ip = ImagePoint(pos);
    PushPoint(a.selection.capture, ip.x(), ip.y(), kPenDown);
    drawn_ << pos;
  } else if (gesture_ == Gesture::Perspective) {
    const QPoint from = ImagePoint(press_), to = ImagePoint(pos);
    DragPerspective(perspective_, perspective_.pressX + (to.x() - from.x()), perspective_.pressY + (to.y() - from.y()),
                    e->modifiers() & Qt::ShiftModifier, e->modifiers() & Qt::ControlModifier);
    RefreshSettingsDialog();
  } else if (gesture_ == Gesture::FreehandMove) {
    // The whole outline follows the mouse.
    QPoint by = pos - current_;
    drawn_.translate(by);
    QPoint from = ImagePoint(current_), to = ImagePoint(pos);
    for (int i = 0; i < a.selection.capture.count; ++i) {
      a.selection.capture.points[i].x += to.x() - from.x();
      a.selection.capture.points[i].y += to.y() - from.y();
    }
  }
  current_ = pos;
  if (gesture_ != Gesture::None) update();
}

void ViewWindow::mouseReleaseEvent(QMouseEvent* e) {
  QPoint pos = e->position().toPoint();
  current_ = pos;
  ViewsState& views = TheProgram().views;
  AreaState& a = TheProgram().area;
  Gesture g = gesture_;
  switch (g) {
    case Gesture::Zoom: {
      gesture_ = Gesture::None;
      bool oneToOne = views.tool == ViewTool::MagnifyOneToOne || (e->modifiers() & Qt::AltModifier);
      views.tool = ViewTool::None;
      SyncViewCursors();
      if (oneToOne) {
        TheHost().FitViewWindow(record_, true);
      } else {
        MagnifyView(record_, press_.x(), press_.y(), pos.x(), pos.y(), e->modifiers() & Qt::ControlModifier);
      }
      break;
    }
    case Gesture::Box:
      gesture_ = Gesture::None;
      FinishBox(pos, e->modifiers());
      break;
    case Gesture::Freehand: {
      if (e->button() != Qt::LeftButton) break;
      gesture_ = Gesture::None;
      if (a.selection.capture.count > 0) {
        const AreaPoint first = a.selection.capture.points[0];
        PushPoint(a.selection.capture, first.x, first.y, kPenDown);
      }
      drawn_.clear();
      Finish();
      break;
    }
    case Gesture::FreehandMove:
      if (e->button() == Qt::RightButton) gesture_ = Gesture::Freehand;
      break;
    case Gesture::Perspective:
      if (e->button() == Qt::LeftButton) gesture_ = Gesture::None;
      break;
    case Gesture::EditBox: {
      gesture_ = Gesture::None;
      const AreaSelection& s = a.selection;
      int box[4] = {s.left, s.top, s.right, s.bottom};
      QPoint ip = ImagePoint(pos);
      box[(corner_ & 1) ? 2 : 0] = ip.x();
      box[(corner_ & 2) ? 3 : 1] = ip.y();
      if (EditAreaBox(record_->image, std::min(box[0], box[2]), std::min(box[1], box[3]), std::max(box[0], box[2]),
                      std::max(box[1], box[3])) == 0) {
        TraceMaskOutline();
        RepaintViewsOf(record_->image);
      }
      break;
    }
    case Gesture::Points: {
      gesture_ = Gesture::None;
      PointList& list = mode_ == kAreaPolygon ? a.selection.capture : a.selection.control;
      if (!pointsOpen_) {
        ClearPointList(list);
        QPoint start = ImagePoint(press_);
        PushPoint(list, start.x(), start.y(), kPenUp);
        drawn_.clear();
        drawn_ << press_;
        pointsOpen_ = true;
      }
      QPoint ip = ImagePoint(pos);
      const AreaPoint& last = list.points[list.count - 1];
      if (last.x != ip.x() || last.y != ip.y()) {
        PushPoint(list, ip.x(), ip.y(), mode_ == kAreaPolygon ? kPenDown : std::uint8_t{1});
        drawn_ << pos;
      }
      break;
    }
    default:
      // The right button closes the polygon or curve being clicked.
      if (e->button() == Qt::RightButton && pointsOpen_) {
        pointsOpen_ = false;
        PointList& list = mode_ == kAreaPolygon ? a.selection.capture : a.selection.control;
        if (mode_ == kAreaPolygon && list.count > 0) {
          const AreaPoint first = list.points[0];
          PushPoint(list, first.x, first.y, kPenDown);
        }
        a.selection.closed = true;
        drawn_.clear();
        Finish();
      }
      break;
  }
  update();
}

void ViewWindow::leaveEvent(QEvent* event) {
  TheHost().ShowStatusText({});
  QWidget::leaveEvent(event);
}

// Where the mouse is in the image and what is there.
void ViewWindow::ShowPixelAt(QPoint window) {
  ImageRecord* image = record_->image;
  SyncClient();
  const QPoint at = ImagePoint(window);
  if (!image || at.x() < 0 || at.y() < 0 || at.x() >= image->width || at.y() >= image->height ||
      LockImage(image) != 0) {
    TheHost().ShowStatusText({});
    return;
  }
  const std::uint8_t* px = PixelAt(image, at.x(), at.y());
  char text[96];
  std::snprintf(text, sizeof text, "X %d  Y %d    R %u  G %u  B %u  A %u", at.x(), at.y(), px[0], px[1], px[2], px[3]);
  UnlockImage(image);
  TheHost().ShowStatusText(text);
}

void ViewWindow::FinishBox(QPoint end, Qt::KeyboardModifiers mods) {
  AreaState& a = TheProgram().area;
  ImageRecord* image = record_->image;
  BoxDrag d;
  QPoint p0 = ImagePoint(press_), p1 = ImagePoint(end);
  d.pressX = p0.x();
  d.pressY = p0.y();
  d.x = p1.x();
  d.y = p1.y();
  d.fromCorner = DragsFromCorner(mode_, mods & Qt::AltModifier);
  d.hold = a.hold;
  d.aspectWidth = image->width;
  d.aspectHeight = image->height;
  SetBoxFromDrag(a.selection, d);
  Finish();
}

void ViewWindow::Finish() {
  ImageRecord* image = record_->image;
  if (!image) return;
  AreaState& a = TheProgram().area;
  a.selection.mode = static_cast<std::int16_t>(mode_);
  SetActionView(record_);
  const int index = ViewIndexOf(record_);
  const bool made = FinishSelection(image, index, code_) == 0;
  RepaintViewsOf(image);
  // Immediate Painting applies the current effect to every selection made.
  if (made && AreaSelectionMade(index) == 0) TheHost().SetRunningButtons(false);  // Undo is offered now
}

void ViewWindow::wheelEvent(QWheelEvent* e) {
  if (!CanScroll(*record_)) return;
  bool vertical = !(e->modifiers() & Qt::ShiftModifier);
  int steps = e->angleDelta().y() / 120;
  for (int i = 0; i < std::abs(steps); ++i)
    ScrollView(record_, vertical, steps > 0 ? ScrollAction::LineBack : ScrollAction::LineForward);
  if (steps != 0) EndScroll(record_);
}

void ViewWindow::dragEnterEvent(QDragEnterEvent* e) {
  if (e->mimeData()->hasUrls()) e->acceptProposedAction();
}

void ViewWindow::dropEvent(QDropEvent* e) {
  for (const QUrl& url : e->mimeData()->urls())
    if (url.isLocalFile()) OpenFileCommand(url.toLocalFile().toStdString());
  e->acceptProposedAction();
}

ViewSubWindow::ViewSubWindow(ViewWindow* view) : view_(view) {
  view->frame = this;
  auto* body = new QWidget;
  auto* grid = new QGridLayout(body);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(0);
  grid->addWidget(view, 0, 0);
  for (int v = 0; v < 2; ++v) {
    const bool vertical = v == 1;
    auto* bar = new QScrollBar(vertical ? Qt::Vertical : Qt::Horizontal, body);
    bar->setObjectName(vertical ? QStringLiteral("vscroll") : QStringLiteral("hscroll"));
    bar->setRange(0, 1000);
    bar->setSingleStep(1);
    bar->hide();
    bar->installEventFilter(this);
    connect(bar, &QAbstractSlider::actionTriggered, this, [this, vertical](int action) { Scrolled(vertical, action); });
    connect(bar, &QAbstractSlider::sliderReleased, this, [this, vertical] { ThumbReleased(vertical); });
    if (vertical)
      grid->addWidget(bar, 0, 1);
    else
      grid->addWidget(bar, 1, 0);
    bars_[v] = bar;
  }
  setWidget(body);
  setAttribute(Qt::WA_DeleteOnClose);
}

void ViewSubWindow::SyncScrollBars() {
  ViewRecord* r = view_->Record();
  const bool show = r && r->image && r->zoomKind == kZoomIn;
  for (int v = 0; v < 2; ++v) {
    QScrollBar* bar = bars_[v];
    if (bar->isHidden() == show) bar->setVisible(show);
    if (!show || bar->isSliderDown()) continue;
    const bool vertical = v == 1;
    const int shown = vertical ? r->bottom - r->top : r->right - r->left;
    const int size = vertical ? r->image->height : r->image->width;
    // The thumb is as long as the part of the image shown.
    const long long page = size > shown ? 1000LL * shown / (size - shown) : 1000;
    QSignalBlocker quiet(bar);
    bar->setPageStep(static_cast<int>(std::clamp<long long>(page, 1, 100000)));
    bar->setValue(ScrollPosition(*r, vertical));
  }
}

QSize ViewSubWindow::ScrollBarRoom() const {
  return {bars_[1]->isVisibleTo(widget()) ? bars_[1]->sizeHint().width() : 0,
          bars_[0]->isVisibleTo(widget()) ? bars_[0]->sizeHint().height() : 0};
}

void ViewSubWindow::Scrolled(bool vertical, int action) {
  ViewRecord* r = view_->Record();
  ScrollAction step;
  switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: step = ScrollAction::LineForward; break;
    case QAbstractSlider::SliderSingleStepSub: step = ScrollAction::LineBack; break;
    case QAbstractSlider::SliderPageStepAdd: step = ScrollAction::PageForward; break;
    case QAbstractSlider::SliderPageStepSub: step = ScrollAction::PageBack; break;
    case QAbstractSlider::SliderToMinimum: step = ScrollAction::Start; break;
    case QAbstractSlider::SliderToMaximum: step = ScrollAction::End; break;
    default:
      // Dragging the thumb moves nothing until it is let go.
      return;
  }
  ScrollView(r, vertical, step);
  moved_[vertical ? 1 : 0] = true;
  bars_[vertical ? 1 : 0]->setSliderPosition(ScrollPosition(*r, vertical));
}

void ViewSubWindow::ThumbReleased(bool vertical) {
  ViewRecord* r = view_->Record();
  ScrollView(r, vertical, ScrollAction::Thumb, bars_[vertical ? 1 : 0]->sliderPosition());
  moved_[vertical ? 1 : 0] = false;
  EndScroll(r);
}

bool ViewSubWindow::eventFilter(QObject* watched, QEvent* event) {
  for (int v = 0; v < 2; ++v) {
    if (watched != bars_[v]) continue;
    if (event->type() == QEvent::Wheel) {
      // A wheel turn is a gesture of its own along the bar's axis.
      QPoint delta = static_cast<QWheelEvent*>(event)->angleDelta();
      int steps = (delta.y() != 0 ? delta.y() : delta.x()) / 120;
      ViewRecord* r = view_->Record();
      for (int i = 0; i < std::abs(steps); ++i)
        ScrollView(r, v == 1, steps > 0 ? ScrollAction::LineBack : ScrollAction::LineForward);
      if (steps != 0) EndScroll(r);
      return true;
    }
    if (event->type() == QEvent::MouseButtonRelease && moved_[v]) {
      // The end of a gesture on the arrows or the trough.
      moved_[v] = false;
      EndScroll(view_->Record());
    }
  }
  return QMdiSubWindow::eventFilter(watched, event);
}

void ViewSubWindow::closeEvent(QCloseEvent* event) {
  if (!CloseView(view_->Record())) {
    event->ignore();
    return;
  }
  event->accept();
  QMdiSubWindow::closeEvent(event);
}

void ViewSubWindow::changeEvent(QEvent* event) {
  if (event->type() == QEvent::WindowStateChange) {
    ViewRecord* r = view_->Record();
    ViewPlacement before = r->placement;
    r->placement = isMaximized()   ? ViewPlacement::Maximised
                   : isMinimized() ? ViewPlacement::Minimised
                                   : ViewPlacement::DocumentChild;
    if (before != r->placement) {
      // A fitted view's region was widened over its margins: start again
      // from the region it had.
      if (before == ViewPlacement::Maximised && r->zoomKind == kZoomNone && r->image) {
        r->left = r->top = 0;
        r->right = r->image->width - 1;
        r->bottom = r->image->height - 1;
      }
      r->reRender = 1;
      view_->update();
    }
  }
  QMdiSubWindow::changeEvent(event);
}

}  // namespace qv::ui
