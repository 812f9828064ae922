#include "ops/ui/chronograph_window.h"

#include <QCloseEvent>
#include <QFontMetrics>
#include <QPainter>

#include "app/program.h"

namespace qv::ui {
namespace {

constexpr int kMargin = 5;
constexpr int kLines = 4;
const char* const kLabels[kLines] = {"Action:", "Start:", "End:", "Elapsed:"};
const QColor kGrey(0x7F, 0x7F, 0x7F);

}  // namespace

QPoint ChronographPlace(QPoint remembered, QSize client) {
  QPoint out = remembered;
  if (out.x() < 0 || out.x() > client.width() - 60) out.setX(0);
  if (out.y() < 0 || out.y() > client.height() - 60) out.setY(0);
  return out;
}

ChronographWindow::ChronographWindow(QWidget* mainWindow, QWidget* client)
    : QWidget(mainWindow, Qt::Tool), client_(client) {
  setObjectName(QStringLiteral("chronClass"));
  setWindowTitle(QStringLiteral("Chronograph"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  QFontMetrics fm(font());
  // Wide enough for the longest operation name it usually shows.
  setFixedSize(fm.horizontalAdvance(QStringLiteral("Elapsed: Apply canvas")) + 20,
               kLines * fm.lineSpacing() + 2 * kMargin);
  const WindowPlace& place = TheProgram().settings.chron;
  QPoint corner = ChronographPlace({place.x, place.y}, client ? client->size() : QSize());
  TheProgram().settings.chron = {corner.x(), corner.y(), 0, 0};
  move(client ? client->mapToGlobal(corner) : corner);
  placed_ = true;
}

int ChronographWindow::ValueColumn() const {
  return QFontMetrics(font()).horizontalAdvance(QStringLiteral("Elapsed: ")) + kMargin;
}

void ChronographWindow::SetValues(const QString& action, const QString& start, const QString& end,
                                  const QString& elapsed) {
  values_[0] = action;
  values_[1] = start;
  values_[2] = end;
  values_[3] = elapsed;
  update();
}

QString ChronographWindow::Value(int line) const { return line >= 0 && line < kLines ? values_[line] : QString(); }

QPoint ChronographWindow::ClientPosition() const { return client_ ? client_->mapFromGlobal(pos()) : pos(); }

void ChronographWindow::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kGrey);
  p.setPen(Qt::black);
  QFontMetrics fm(font());
  const int column = ValueColumn();
  for (int i = 0; i < kLines; ++i) {
    int baseline = kMargin + i * fm.lineSpacing() + fm.ascent();
    p.drawText(kMargin, baseline, QString::fromLatin1(kLabels[i]));
    p.drawText(column, baseline, values_[i]);
  }
}

void ChronographWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (!placed_ || !isVisible()) return;
  QPoint corner = ClientPosition();
  TheProgram().settings.chron = {corner.x(), corner.y(), 0, 0};
}

void ChronographWindow::closeEvent(QCloseEvent* event) {
  // Closed by its frame: the menu's check goes with it.
  TheProgram().settings.showChron = 0;
  event->accept();
}

ChronographWindow* FindChronograph(QWidget* mainWindow) {
  return mainWindow ? mainWindow->findChild<ChronographWindow*>(QStringLiteral("chronClass"), Qt::FindDirectChildrenOnly)
                    : nullptr;
}

ChronographWindow* SyncChronograph(QWidget* mainWindow, QWidget* client) {
  ChronographWindow* w = FindChronograph(mainWindow);
  if (!TheProgram().settings.showChron) {
    if (w && w->isVisible()) w->hide();
    return nullptr;
  }
  if (!w) w = new ChronographWindow(mainWindow, client);
  if (!w->isVisible()) w->show();
  return w;
}

}  // namespace qv::ui
