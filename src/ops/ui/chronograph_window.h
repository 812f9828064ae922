// The chronograph ("chronClass"): a small tool window telling what the last
// operation was, when it started and ended and how long it took. The engine
// times the work; this window only shows the four values it is handed.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

namespace qv::ui {

class ChronographWindow : public QWidget {
 public:
  // Positions are kept relative to `client`, the main window's document area.
  ChronographWindow(QWidget* mainWindow, QWidget* client);

  void SetValues(const QString& action, const QString& start, const QString& end, const QString& elapsed);
  // Line 0 "Action:", 1 "Start:", 2 "End:", 3 "Elapsed:".
  QString Value(int line) const;
  // Where the value column starts, in pixels from the left.
  int ValueColumn() const;
  // The remembered corner, relative to the client area.
  QPoint ClientPosition() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QPointer<QWidget> client_;
  QString values_[4];
  bool placed_ = false;
};

// A remembered corner outside the client (less a 60-pixel margin) goes back
// to the client's corner, one coordinate at a time.
QPoint ChronographPlace(QPoint remembered, QSize client);

// Opens or hides the window under `mainWindow` as "Show &Chronograph" says;
// returns it when shown.
ChronographWindow* SyncChronograph(QWidget* mainWindow, QWidget* client);
ChronographWindow* FindChronograph(QWidget* mainWindow);

}  // namespace qv::ui
