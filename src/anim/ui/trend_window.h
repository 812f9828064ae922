// The Trend window ("trendClass"): a Trend's curve over the frames, its
// points edited with the mouse, and the menu of Trend commands.
#pragma once

#include <QWidget>

class QLabel;
class QMdiArea;

namespace qv {
struct Trend;
}

namespace qv::ui {

class TrendPlot : public QWidget {
 public:
  TrendPlot(Trend& trend, QLabel* status, QWidget* parent);
  Trend& Curve() const { return trend_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void PlaceTrendPlot();
  Trend& trend_;
  QLabel* status_;
  int paintFrom_ = 0;
  int paintValue_ = 0;
};

class TrendWindow : public QWidget {
 public:
  TrendWindow(Trend& trend, QWidget* parent = nullptr);
  Trend& Curve() const { return plot_->Curve(); }
  TrendPlot* Plot() const { return plot_; }
  void Refresh();
  // Runs a menu command (8014..8035) as the menu does.
  void RunCommand(int id);
  // The Trend is closed or killed: the window goes and touches it no more.
  void Detach();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  TrendPlot* plot_ = nullptr;
  QLabel* status_ = nullptr;
  bool detached_ = false;
};

// Shows, redraws and closes the Trend windows in this document area as the
// Trends ask.
void InstallTrendWindows(QMdiArea* area);
TrendWindow* FindTrendWindow(QMdiArea* area, const Trend& trend);

}  // namespace qv::ui
