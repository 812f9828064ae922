#include "anim/ui/trend_window.h"
#include "display/ui/mdi_child.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QVBoxLayout>

#include "anim/anim_state.h"
#include "anim/ui/timeline_dialogs.h"
#include "app/program.h"
#include "base/string_table.h"

namespace qv::ui {
namespace {

constexpr int kLeft = 44, kTop = 8, kRight = 10, kBottom = 8;
constexpr int kMenuIds[] = {8014, 8015, 8016, 8017, 0, 8021, 8022, 0, 8024, 8025, 0, 8026, 8027, 8028, 8029,
                            0,    8035, 8034, 8033, 0, 8032, 8031};
constexpr int kUseSplines = 8035, kSetExtents = 8034, kTrendPosition = 8033, kCloseTrend = 8032, kKillTrend = 8031;

QString Text(int id) {
  std::string_view t = LoadString(id);
  return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

}  // namespace

TrendPlot::TrendPlot(Trend& trend, QLabel* status, QWidget* parent) : QWidget(parent), trend_(trend), status_(status) {
  setObjectName(QStringLiteral("TrendPlot"));
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  setMinimumSize(160, 60);
}

void TrendPlot::PlaceTrendPlot() { SetTrendPlot(trend_, kLeft, kTop, width() - kRight, height() - kBottom); }

void TrendPlot::resizeEvent(QResizeEvent*) { PlaceTrendPlot(); }

void TrendPlot::paintEvent(QPaintEvent*) {
  PlaceTrendPlot();
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  const int frames = FrameCount();
  const int left = trend_.plot[0], top = trend_.plot[1], right = trend_.plot[2], bottom = trend_.plot[3];
  const double lo = trend_.lower, hi = std::max<double>(trend_.upper, lo + 1);
  auto x = [&](int f) { return left + static_cast<double>(f) * (right - left) / std::max(1, frames - 1); };
  auto y = [&](double v) { return top + (hi - v) * (bottom - top) / (hi - lo); };
  p.setPen(QColor(200, 200, 200));
  p.drawRect(QRect(QPoint(left, top), QPoint(right, bottom)));
  for (int f = 0; f < frames; ++f) p.drawLine(QPointF(x(f), bottom), QPointF(x(f), bottom - 3));
  p.setPen(Qt::black);
  p.drawText(QRect(0, top - 6, kLeft - 4, 14), Qt::AlignRight, QString::asprintf("%3ld", static_cast<long>(trend_.upper)));
  p.drawText(QRect(0, bottom - 8, kLeft - 4, 14), Qt::AlignRight, QString::asprintf("%3ld", static_cast<long>(trend_.lower)));
  const int count = std::min(frames, trend_.room);
  if (trend_.twoState) {
    // Painted frame by frame: green for 1, black for 0.
    for (int f = 0; f < count; ++f) {
      const double w = std::max(1.0, (right - left) / static_cast<double>(std::max(1, frames - 1)));
      p.fillRect(QRectF(x(f) - w / 2, top, w, bottom - top), trend_.frameValues[f] == 1 ? QColor(0x00, 0xFF, 0x00) : Qt::black);
    }
    return;
  }
  p.setPen(QPen(Qt::blue, 1.5));
  for (int f = 1; f < count; ++f)
    p.drawLine(QPointF(x(f - 1), y(trend_.frameValues[f - 1])), QPointF(x(f), y(trend_.frameValues[f])));
  for (int i = 0; i < trend_.count; ++i) {
    p.setPen(i == trend_.selected ? Qt::red : Qt::black);
    p.drawRect(QRectF(x(trend_.frames[i]) - 3, y(trend_.values[i]) - 3, 6, 6));
  }
}

void TrendPlot::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const QPoint at = event->position().toPoint();
  if (trend_.twoState) {
    paintFrom_ = TrendFrameAt(trend_, at.x());
    paintValue_ = TrendPaintValue(trend_, paintFrom_);
    TrendPaint(trend_, paintFrom_, paintFrom_, paintValue_);
  } else {
    TrendButtonDown(trend_, at.x(), at.y());
  }
  Anim().timeline.modified = true;
  update();
}

void TrendPlot::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  status_->setText(QString::fromStdString(TrendPositionText(trend_, at.x(), at.y())));
  if (!(event->buttons() & Qt::LeftButton)) return;
  if (trend_.twoState)
    TrendPaint(trend_, paintFrom_, TrendFrameAt(trend_, at.x()), paintValue_);
  else
    TrendDrag(trend_, at.x(), at.y());
  update();
}

void TrendPlot::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Delete && TrendDeleteSelected(trend_)) {
    Anim().timeline.modified = true;
    update();
    return;
  }
  QWidget::keyPressEvent(event);
}

TrendWindow::TrendWindow(Trend& trend, QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("trendClass"));
  setAttribute(Qt::WA_DeleteOnClose);
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("Position"));
  plot_ = new TrendPlot(trend, status_, this);
  auto* menuBar = new QMenuBar(this);
  QMenu* menu = menuBar->addMenu(QStringLiteral("&Trend"));
  for (int id : kMenuIds) {
    if (id == 0) {
      menu->addSeparator();
      continue;
    }
    QAction* a = menu->addAction(Text(id));
    a->setObjectName(QStringLiteral("trend%1").arg(id));
    if (id == kUseSplines) {
      a->setCheckable(true);
      a->setChecked(trend.spline != 0);
    }
    connect(a, &QAction::triggered, this, [this, id] { RunCommand(id); });
  }
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setMenuBar(menuBar);
  layout->addWidget(plot_, 1);
  layout->addWidget(status_);
  setWindowTitle(QString::fromStdString(TrendTitle(trend)));
}

void TrendWindow::Refresh() {
  setWindowTitle(QString::fromStdString(TrendTitle(Curve())));
  plot_->update();
}

void TrendWindow::RunCommand(int id) {
  Trend& t = Curve();
  switch (id) {
    case kSetExtents:
      RunTrendExtents(this, t);
      break;
    case kTrendPosition:
      status_->setText(QStringLiteral("F:%1, Y:%2").arg(t.frames[t.selected] + 1).arg(t.values[t.selected]));
      return;
    case kCloseTrend:
    case kKillTrend:
      // The hooks close this window; nothing here may touch the Trend after.
      TrendCommand(t, id);
      return;
    default:
      if (TrendCommand(t, id) == 0) Anim().timeline.modified = true;
  }
  Refresh();
}

void TrendWindow::Detach() {
  if (detached_) return;
  detached_ = true;
  auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget());
  if (sub) {
    const QRect g = sub->geometry();
    TheProgram().settings.trend = {g.x(), g.y(), g.width(), g.height()};
  }
  // Hidden at once and gone later: the Trend may be freed right after this.
  setUpdatesEnabled(false);
  if (sub)
    sub->close();
  else
    close();
}

void TrendWindow::closeEvent(QCloseEvent* event) {
  if (!detached_) {
    Curve().windowOpen = false;
    detached_ = true;
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) {
      const QRect g = sub->geometry();
      TheProgram().settings.trend = {g.x(), g.y(), g.width(), g.height()};
    }
  }
  event->accept();
}

TrendWindow* FindTrendWindow(QMdiArea* area, const Trend& trend) {
  return FindMdiChild<TrendWindow>(area, [&trend](const TrendWindow& w) { return &w.Curve() == &trend; });
}

void InstallTrendWindows(QMdiArea* area) {
  QPointer<QMdiArea> mdi(area);
  TrendHooks& hooks = Anim().trendHooks;
  hooks.show = [mdi](Trend& t) {
    if (!mdi) return;
    if (TrendWindow* w = FindTrendWindow(mdi, t)) {
      mdi->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(w->parentWidget()));
      return;
    }
    auto* window = new TrendWindow(t);
    QMdiSubWindow* sub = mdi->addSubWindow(window);
    sub->setAttribute(Qt::WA_DeleteOnClose);
    const WindowPlace& place = TheProgram().settings.trend;
    sub->setGeometry(place.x, place.y, std::max(200, place.width), std::max(120, place.height));
    sub->show();
  };
  hooks.redraw = [mdi](Trend& t) {
    if (TrendWindow* w = FindTrendWindow(mdi, t)) w->Refresh();
  };
  hooks.close = [mdi](Trend& t) {
    t.windowOpen = false;
    if (TrendWindow* w = FindTrendWindow(mdi, t)) w->Detach();
  };
}

}  // namespace qv::ui
