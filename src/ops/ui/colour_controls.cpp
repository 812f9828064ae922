#include "ops/ui/colour_controls.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ops/apply.h"
#include "ops/colour_commands.h"

namespace qv::ui {
namespace {

const QColor kCurveColours[3] = {QColor(220, 40, 40), QColor(30, 160, 30), QColor(40, 70, 230)};

// The drawing area inside a one-pixel frame.
QRect Inner(const QWidget* w) { return w->rect().adjusted(1, 1, -2, -2); }

}  // namespace

HistogramView::HistogramView(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("histogramView"));
  setMinimumSize(sizeHint());
}

void HistogramView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.setPen(Qt::gray);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  const QRect r = Inner(this);
  const ColourOpsState& col = Pipeline().colour;
  auto xOf = [&r](int i) { return r.left() + i * r.width() / 255.0; };
  auto yOf = [&r](int v) { return r.bottom() - std::clamp(v, 0, 100) * r.height() / 100.0; };
  p.setRenderHint(QPainter::Antialiasing);
  for (int c = 0; c < 3; ++c) {
    QPainterPath path;
    path.moveTo(xOf(0), yOf(col.histogram[c][0]));
    for (int i = 1; i < 256; ++i) path.lineTo(xOf(i), yOf(col.histogram[c][i]));
    p.setPen(QPen(kCurveColours[c], 1));
    p.drawPath(path);
  }
  p.setPen(QPen(Qt::black, 1, Qt::DashLine));
  for (int marker : {col.markerLow, col.markerHigh})
    if (marker >= 0 && marker <= 255) p.drawLine(QPointF(xOf(marker), r.top()), QPointF(xOf(marker), r.bottom()));
}

MapCurve::MapCurve(QWidget* parent, CurveSource source) : QWidget(parent), source_(std::move(source)) {
  setObjectName(QStringLiteral("mapCurve"));
  setMinimumSize(sizeHint());
  setCursor(Qt::CrossCursor);
}

QPoint MapCurve::MapPointAt(QPoint at) const {
  const QRect r = Inner(this);
  const int last = source_.length - 1;
  const int index = std::clamp((at.x() - r.left()) * last / std::max(1, r.width()), 0, last);
  const int value = std::clamp((r.bottom() - at.y()) * source_.maximum / std::max(1, r.height()), 0, source_.maximum);
  return {index, value};
}

int MapCurve::ValueAt(int curve, int index) const {
  if (source_.value) return source_.value(curve, index);
  return Pipeline().colour.histogramMap[curve][index];
}

void MapCurve::DrawLine(int i0, int v0, int i1, int v1) {
  if (source_.draw)
    source_.draw(i0, v0, i1, v1);
  else
    DrawMapLine(channels_, i0, v0, i1, v1);
}

void MapCurve::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  p.setPen(Qt::gray);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  const QRect r = Inner(this);
  p.setPen(QPen(QColor(220, 220, 220), 1, Qt::DotLine));
  for (int k = 1; k < 4; ++k) {
    p.drawLine(r.left() + k * r.width() / 4, r.top(), r.left() + k * r.width() / 4, r.bottom());
    p.drawLine(r.left(), r.top() + k * r.height() / 4, r.right(), r.top() + k * r.height() / 4);
  }
  const double last = source_.length - 1, top = source_.maximum;
  auto xOf = [&r, last](int i) { return r.left() + i * r.width() / last; };
  auto yOf = [&r, top, this](int v) { return r.bottom() - std::clamp(v, 0, source_.maximum) * r.height() / top; };
  p.setRenderHint(QPainter::Antialiasing);
  for (int c = 0; c < source_.curves; ++c) {
    QPainterPath path;
    path.moveTo(xOf(0), yOf(ValueAt(c, 0)));
    for (int i = 1; i < source_.length; ++i) path.lineTo(xOf(i), yOf(ValueAt(c, i)));
    p.setPen(QPen(source_.curves == 1 ? QColor(Qt::black) : kCurveColours[c % 3], 1));
    p.drawPath(path);
  }
}

void MapCurve::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  drawing_ = true;
  last_ = MapPointAt(event->position().toPoint());
  DrawLine(last_.x(), last_.y(), last_.x(), last_.y());
  update();
  Q_EMIT Edited();
}

void MapCurve::mouseMoveEvent(QMouseEvent* event) {
  if (!drawing_) return;
  // A fast stroke skips indexes: the line between the two readings fills them.
  const QPoint now = MapPointAt(event->position().toPoint());
  DrawLine(last_.x(), last_.y(), now.x(), now.y());
  last_ = now;
  update();
  Q_EMIT Edited();
}

void MapCurve::mouseReleaseEvent(QMouseEvent*) { drawing_ = false; }

ColourMapWindow::ColourMapWindow(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setObjectName(QStringLiteral("colorMap"));
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Color Map"));
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  channels_ = new QComboBox(this);
  channels_->setObjectName(QStringLiteral("mapChannels"));
  channels_->addItem(QStringLiteral("Red, Green and Blue"), kMapAll);
  channels_->addItem(QStringLiteral("Red"), kMapRed);
  channels_->addItem(QStringLiteral("Green"), kMapGreen);
  channels_->addItem(QStringLiteral("Blue"), kMapBlue);
  top->addWidget(new QLabel(QStringLiteral("Draw on:"), this));
  top->addWidget(channels_);
  top->addStretch();
  layout->addLayout(top);
  curve_ = new MapCurve(this);
  layout->addWidget(curve_);
  connect(channels_, &QComboBox::currentIndexChanged, this,
          [this](int) { curve_->SetChannels(channels_->currentData().toUInt()); });
  connect(curve_, &MapCurve::Edited, this, &ColourMapWindow::Edited);
}

RemapColumn::RemapColumn(QWidget* parent) : QAbstractScrollArea(parent) {
  setObjectName(QStringLiteral("remapColumn"));
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  verticalScrollBar()->setSingleStep(kRowHeight);
  connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(), [this] { viewport()->update(); });
  Reload();
}

QSize RemapColumn::sizeHint() const {
  return {5 * 44 + 8 + verticalScrollBar()->sizeHint().width(), 8 * kRowHeight + 2 * frameWidth()};
}

void RemapColumn::Reload() {
  rows_ = RemapPaletteSize();
  UpdateScrollRange();
  viewport()->update();
}

void RemapColumn::UpdateScrollRange() {
  QScrollBar* bar = verticalScrollBar();
  bar->setPageStep(viewport()->height());
  bar->setRange(0, std::max(0, rows_ * kRowHeight - viewport()->height()));
}

void RemapColumn::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollRange();
}

// Columns: 0 the entry number, 1 the "From" swatch, 2 its "Set", 3 the "To"
// swatch, 4 its "Set".
QRect RemapColumn::CellRect(int row, int column) const {
  return {4 + column * 44, row * kRowHeight + 2, 40, kRowHeight - 4};
}

QRect RemapColumn::SetButtonRect(int row, bool to) {
  QScrollBar* bar = verticalScrollBar();
  const int top = row * kRowHeight;
  if (top < bar->value()) bar->setValue(top);
  if (top + kRowHeight > bar->value() + viewport()->height()) bar->setValue(top + kRowHeight - viewport()->height());
  return CellRect(row, to ? 4 : 2).translated(0, -bar->value());
}

void RemapColumn::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  p.fillRect(viewport()->rect(), palette().window());
  const int scroll = verticalScrollBar()->value();
  const int first = scroll / kRowHeight;
  const int last = std::min(rows_ - 1, (scroll + viewport()->height()) / kRowHeight);
  p.translate(0, -scroll);
  for (int row = first; row <= last; ++row) {
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(CellRect(row, 0), Qt::AlignRight | Qt::AlignVCenter, QString::number(row + 1));
    for (bool to : {false, true}) {
      const Rgb c = RemapEntry(to, row);
      const QRect swatch = CellRect(row, to ? 3 : 1);
      p.fillRect(swatch, QColor(c.red, c.green, c.blue));
      p.setPen(QColor(68, 68, 68));
      p.drawRect(swatch.adjusted(0, 0, -1, -1));
      QStyleOptionButton button;
      button.initFrom(viewport());
      button.rect = CellRect(row, to ? 4 : 2);
      button.text = QStringLiteral("Set");
      style()->drawControl(QStyle::CE_PushButton, &button, &p, viewport());
    }
  }
}

void RemapColumn::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint at = event->position().toPoint() + QPoint(0, verticalScrollBar()->value());
  const int row = at.y() / kRowHeight;
  if (row < 0 || row >= rows_) return;
  for (int column = 1; column <= 4; ++column)
    if (CellRect(row, column).contains(at)) {
      Q_EMIT SetRequested(row, column >= 3);
      return;
    }
}

}  // namespace qv::ui
