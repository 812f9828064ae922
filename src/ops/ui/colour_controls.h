// The drawn controls of the standard colour operations' settings: the
// histogram curves, the "Color Map" curve window and Remap's scrolling
// column of "From" and "To" swatches. They show and edit the engine's
// colour state through the commands of ops/colour_commands.h.
#pragma once

#include <functional>

#include <QAbstractScrollArea>
#include <QWidget>

class QComboBox;

namespace qv::ui {

// The gathered histogram as three curves (percent of the largest count),
// with the "Standard Adjustments" markers as two upright lines.
class HistogramView : public QWidget {
  Q_OBJECT

 public:
  explicit HistogramView(QWidget* parent);
  QSize sizeHint() const override { return {258, 102}; }

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// What a curve window shows and edits: `curves` curves over the indexes
// 0..length - 1 with values 0..maximum. Without `value` and `draw` it is
// the histogram's three maps.
struct CurveSource {
  int length = 256;
  int maximum = 255;
  int curves = 3;
  std::function<int(int curve, int index)> value;
  // Draws the line between two (index, value) points of the pointer's path.
  std::function<void(int i0, int v0, int i1, int v1)> draw;
};

// The area of a curve window where its curves are drawn and edited:
// pressing and dragging the mouse draws the curves along the pointer's path.
class MapCurve : public QWidget {
  Q_OBJECT

 public:
  explicit MapCurve(QWidget* parent, CurveSource source = {});
  QSize sizeHint() const override { return {source_.length + 2 < 258 ? 258 : source_.length + 2, 258}; }
  void SetChannels(unsigned channels) { channels_ = channels; }
  // The map index and value under a point of the widget.
  QPoint MapPointAt(QPoint widgetPoint) const;

 Q_SIGNALS:
  void Edited();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void DrawLine(int i0, int v0, int i1, int v1);
  int ValueAt(int curve, int index) const;

  CurveSource source_;
  unsigned channels_ = 7;
  bool drawing_ = false;
  QPoint last_;
};

// "Color Map": the curve window of the histogram map.
class ColourMapWindow : public QWidget {
  Q_OBJECT

 public:
  explicit ColourMapWindow(QWidget* parent);
  MapCurve* Curve() const { return curve_; }

 Q_SIGNALS:
  void Edited();

 private:
  MapCurve* curve_ = nullptr;
  QComboBox* channels_ = nullptr;
};

// Remap's palette: one row per entry of the "From" palette, each with its
// "From" swatch and "Set" button and its "To" swatch and "Set" button.
// Drawn rather than built of widgets, since a palette holds up to 1024.
class RemapColumn : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit RemapColumn(QWidget* parent);
  // Re-reads the palette size and colours.
  void Reload();
  int RowCount() const { return rows_; }
  // Where the "Set" button of a row is, in viewport coordinates (the row
  // scrolled into view first).
  QRect SetButtonRect(int row, bool to);
  QSize sizeHint() const override;

  static constexpr int kRowHeight = 22;

 Q_SIGNALS:
  // A "Set" button (or a swatch) of a row was clicked.
  void SetRequested(int row, bool to);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void UpdateScrollRange();
  QRect CellRect(int row, int column) const;  // in content coordinates

  int rows_ = 0;
};

}  // namespace qv::ui
