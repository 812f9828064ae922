#include "anim/ui/timeline_window.h"
#include "display/ui/mdi_child.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "anim/anim_state.h"
#include "anim/timeline_file.h"
#include "anim/ui/timeline_dialogs.h"
#include "app/commands.h"
#include "app/program.h"
#include "base/messages.h"
#include "base/string_table.h"

namespace qv::ui {
namespace {

constexpr int kLabelWidth = 96;
constexpr int kHeaderHeight = 16;
constexpr const char* kRowLabels[4] = {"Source (%1)", "Area (%1)", "Op (%1)", "Action (%1)"};
constexpr int kMessageNoWindow = 23;

TimeLineState& TL() { return Anim().timeline; }

QString Text(int id) {
  std::string_view t = LoadString(id);
  return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

// Levels the grid offers: those in use and one more to start a new one.
int OfferedLevels() { return std::min(kMaxLevels, LevelsInUse() + 1); }

void RefreshWindowOf(QWidget* w) {
  for (; w; w = w->parentWidget())
    if (auto* window = dynamic_cast<TimeLineWindow*>(w)) {
      window->Refresh();
      return;
    }
}

// A double click: the record's dialog, or a new record of the row.
void EditOrAdd(QWidget* parent, int level, int frame, int row) {
  const Cell cell = CellAt(level, frame, row);
  if (IsRecordCell(cell)) {
    if (row == kRowOp) RunTimeOp(parent, level, frame);
    else if (row == kRowArea) RunAreaCell(parent, level, frame);
    else RunSrcOp(parent, level, frame, row);
    return;
  }
  if (row == kRowArea) {
    AddAreaAt(level, frame);
  } else if (row == kRowOp) {
    AddOpAt(level, frame);
  } else if (AddFileAt(level, frame, row) && !RunSrcOp(parent, level, frame, row)) {
    // No file chosen: the cell goes back to what it was.
    RemoveRecordAt(level, frame, row);
  }
}

}  // namespace

TimeLineGrid::TimeLineGrid(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("TimeLineGrid"));
  setMinimumSize(kLabelWidth + 60, kHeaderHeight + 40);
}

int TimeLineGrid::VisibleFrames() const { return std::max(1, (width() - kLabelWidth) / std::max(1, TL().cellWidth)); }

int TimeLineGrid::VisibleLevels() const { return std::max(1, (height() - kHeaderHeight) / std::max(1, 4 * TL().cellHeight)); }

QRect TimeLineGrid::CellRect(int level, int frame, int row) const {
  const TimeLineState& t = TL();
  return {kLabelWidth + (frame - t.cursor.firstFrameShown) * t.cellWidth,
          kHeaderHeight + ((level - t.cursor.firstLevelShown) * 4 + row - 1) * t.cellHeight, t.cellWidth, t.cellHeight};
}

bool TimeLineGrid::CellAt(QPoint at, int& level, int& frame, int& row) const {
  const TimeLineState& t = TL();
  if (at.x() < kLabelWidth || at.y() < kHeaderHeight) return false;
  frame = t.cursor.firstFrameShown + (at.x() - kLabelWidth) / std::max(1, t.cellWidth);
  const int line = (at.y() - kHeaderHeight) / std::max(1, t.cellHeight);
  level = t.cursor.firstLevelShown + line / 4;
  row = line % 4 + 1;
  return frame < FrameCount() && level < OfferedLevels();
}

void TimeLineGrid::paintEvent(QPaintEvent*) {
  const TimeLineState& t = TL();
  QPainter p(this);
  p.fillRect(rect(), QColor(236, 236, 236));
  const int frames = FrameCount();
  const int lastFrame = std::min(frames, t.cursor.firstFrameShown + VisibleFrames() + 1);
  const int lastLevel = std::min(OfferedLevels(), t.cursor.firstLevelShown + VisibleLevels() + 1);
  p.setPen(Qt::black);
  for (int f = t.cursor.firstFrameShown; f < lastFrame; ++f) {
    const QRect r = CellRect(0, f, 1);
    p.drawText(QRect(r.x(), 0, r.width(), kHeaderHeight), Qt::AlignCenter, QString::number(f + 1));
  }
  for (int level = t.cursor.firstLevelShown; level < lastLevel; ++level)
    for (int row = kRowSource; row <= kRowAction; ++row) {
      const QRect line = CellRect(level, t.cursor.firstFrameShown, row);
      p.setPen(Qt::black);
      p.drawText(QRect(2, line.y(), kLabelWidth - 4, line.height()), Qt::AlignVCenter | Qt::AlignLeft,
                 QString::fromLatin1(kRowLabels[row - 1]).arg(level + 1));
      for (int f = t.cursor.firstFrameShown; f < lastFrame; ++f) {
        const QRect r = CellRect(level, f, row).adjusted(0, 0, -1, -1);
        const Cell c = qv::CellAt(level, f, row);
        p.setPen(QColor(190, 190, 190));
        p.setBrush(IsRecordCell(c) ? QColor(255, 248, 200) : QColor(250, 250, 250));
        p.drawRect(r);
        p.setPen(Qt::darkBlue);
        const int mid = r.center().y();
        if (c == kCellHold || c == kCellHoldEnd) p.drawLine(r.left(), mid, c == kCellHold ? r.right() : r.right() - 3, mid);
        if (c == kCellHoldEnd) p.drawLine(r.right() - 3, mid - 5, r.right() - 3, mid + 5);
        if (IsRecordCell(c)) {
          QString text = QString::fromStdString(CellText(row, c));
          text = text.mid(text.lastIndexOf(QLatin1Char('/')) + 1);
          p.drawText(r.adjusted(2, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
        }
      }
    }
  if (t.cursor.level >= t.cursor.firstLevelShown && t.cursor.frame >= t.cursor.firstFrameShown) {
    p.setPen(QPen(Qt::red, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(CellRect(t.cursor.level, t.cursor.frame, t.cursor.row).adjusted(1, 1, -2, -2));
  }
}

void TimeLineGrid::mousePressEvent(QMouseEvent* event) {
  int level = 0, frame = 0, row = 0;
  if (!CellAt(event->position().toPoint(), level, frame, row)) return;
  // A click ends the editing of an op whose values were made current.
  WriteBackEditedOp();
  TimeLineCursor& c = TL().cursor;
  c.level = level, c.frame = frame, c.row = row;
  if (event->button() == Qt::RightButton) {
    dragging_ = true;
    fromLevel_ = level, fromFrame_ = frame, fromRow_ = row;
  }
  RefreshWindowOf(this);
}

void TimeLineGrid::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::RightButton || !dragging_) return;
  dragging_ = false;
  int level = 0, frame = 0, row = 0;
  if (!CellAt(event->position().toPoint(), level, frame, row)) return;
  if (level != fromLevel_ || frame != fromFrame_) {
    // Dragged with the right button: the record is copied there.
    CopyCell(fromRow_, fromLevel_, fromFrame_, level, frame);
  } else if (const int add = RunAddToTimeLine(this)) {
    TL().cursor.row = add;
    EditOrAdd(this, level, frame, add);
  }
  RefreshWindowOf(this);
}

void TimeLineGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  int level = 0, frame = 0, row = 0;
  if (event->button() != Qt::LeftButton || !CellAt(event->position().toPoint(), level, frame, row)) return;
  EditOrAdd(this, level, frame, row);
  RefreshWindowOf(this);
}

void TimeLineGrid::resizeEvent(QResizeEvent*) { RefreshWindowOf(this); }

TimeLineWindow::TimeLineWindow(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("timeClass"));
  setWindowTitle(QStringLiteral("Time Line"));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* buttons = new QHBoxLayout;
  auto add = [&](const QString& text, int tip) {
    QPushButton* b = AddButton(text, tip);
    buttons->addWidget(b);
    return b;
  };
  connect(add(QStringLiteral("Load"), 6400), &QPushButton::clicked, this, [this] {
    if (IsRunning()) return RefuseWhileRunning();
    LoadTimeLineCommand();
    Refresh();
  });
  connect(add(QStringLiteral("Save"), 6401), &QPushButton::clicked, this, [] { SaveTimeLineCommand(); });
  // The same command as the menu's, refused while a sequence runs.
  connect(add(QStringLiteral("Generate"), 6402), &QPushButton::clicked, this, [this] {
    RouteCommand(201);
    Refresh();
  });
  connect(add(QStringLiteral("Sizing"), 6409), &QPushButton::clicked, this, [this] {
    if (RunCellSizing(this)) Refresh();
  });
  connect(add(QStringLiteral("Close"), 6407), &QPushButton::clicked, this, [this] {
    if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->close();
    else close();
  });
  connect(add(QStringLiteral("Erase"), 6408), &QPushButton::clicked, this, [this] {
    if (IsRunning()) return RefuseWhileRunning();
    if (EraseTimeLineCommand() == 0) CreateGrid();
    Refresh();
  });
  buttons->addStretch(1);

  grid_ = new TimeLineGrid(this);
  across_ = new QScrollBar(Qt::Horizontal, this);
  across_->setObjectName(QStringLiteral("Frames"));
  down_ = new QScrollBar(Qt::Vertical, this);
  down_->setObjectName(QStringLiteral("Levels"));
  connect(across_, &QScrollBar::valueChanged, this, [this](int v) {
    TL().cursor.firstFrameShown = v;
    grid_->update();
  });
  connect(down_, &QScrollBar::valueChanged, this, [this](int v) {
    TL().cursor.firstLevelShown = v;
    grid_->update();
  });
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("Status"));
  status_->setToolTip(Text(6403) + QStringLiteral(" / ") + Text(6404) + QStringLiteral(" / ") + Text(6405) +
                      QStringLiteral(" / ") + Text(6406));

  auto* body = new QGridLayout;
  body->addWidget(grid_, 0, 0);
  body->addWidget(down_, 0, 1);
  body->addWidget(across_, 1, 0);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addLayout(buttons);
  layout->addLayout(body, 1);
  layout->addWidget(status_);
  Refresh();
}

QPushButton* TimeLineWindow::AddButton(const QString& text, int tip) {
  auto* b = new QPushButton(text, this);
  b->setObjectName(text);
  b->setToolTip(Text(tip));
  b->setAutoDefault(false);
  return b;
}

void TimeLineWindow::Refresh() {
  TimeLineState& t = TL();
  {
    QSignalBlocker a(across_), d(down_);
    across_->setRange(0, FrameCount() - 1);
    across_->setPageStep(grid_->VisibleFrames());
    down_->setRange(0, std::max(0, LevelsInUse() - 1));
    down_->setPageStep(1);
    t.cursor.firstFrameShown = std::clamp(t.cursor.firstFrameShown, 0, FrameCount() - 1);
    t.cursor.firstLevelShown = std::clamp(t.cursor.firstLevelShown, 0, std::max(0, LevelsInUse() - 1));
    across_->setValue(t.cursor.firstFrameShown);
    down_->setValue(t.cursor.firstLevelShown);
  }
  status_->setText(QString::fromStdString(CursorStatusText(TheProgram().settings.animMillis)));
  grid_->update();
}

void TimeLineWindow::closeEvent(QCloseEvent* event) {
  WriteBackEditedOp();
  TimeLineState& t = TL();
  t.windowOpen = false;
  Anim().redrawTimeLine = nullptr;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) {
    const QRect g = sub->geometry();
    TheProgram().settings.time = {g.x(), g.y(), g.width(), g.height()};
  }
  event->accept();
}

TimeLineWindow* FindTimeLineWindow(QMdiArea* area) { return FindMdiChild<TimeLineWindow>(area); }

void ToggleTimeLineWindow(QMdiArea* area) {
  if (TimeLineWindow* open = FindTimeLineWindow(area)) {
    CloseMdiFrame(open);
    return;
  }
  if (!area || CreateGrid() != 0) return;
  auto* window = new TimeLineWindow;
  QMdiSubWindow* sub = area->addSubWindow(window);
  if (!sub) {
    ShowMessageWith(kMessageNoWindow, "for Time Line");
    return;
  }
  sub->setAttribute(Qt::WA_DeleteOnClose);
  const WindowPlace& place = TheProgram().settings.time;
  sub->setGeometry(place.x, place.y, std::max(240, place.width), std::max(140, place.height));
  sub->show();
  TL().windowOpen = true;
  QPointer<QMdiArea> mdi(area);
  Anim().redrawTimeLine = [mdi] {
    if (TimeLineWindow* w = FindTimeLineWindow(mdi)) w->Refresh();
  };
}

}  // namespace qv::ui
