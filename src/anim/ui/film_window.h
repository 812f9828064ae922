// The "Film Strip" window ("filmClass"): the strip of frames centred on the
// selected one, the playback area, the transport buttons and sliders, and
// the frame and time of the selection.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>

class QLabel;
class QMdiArea;
class QPushButton;
class QSlider;

namespace qv::ui {

inline constexpr int kFilmCommand = 901;            // "&Show Filmstrip"
inline constexpr int kFilmResolutionCommand = 908;  // "Filmstrip &Pixel Resolution..."

// The frames as cells of the frame width plus a gap, the selected one in the
// middle; a click selects.
class FilmStripCells : public QWidget {
 public:
  explicit FilmStripCells(QWidget* parent);
  // The frame drawn at a point, or -1.
  int FrameAt(QPoint at) const;
  QRect CellRect(int frame) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
};

class FilmWindow : public QWidget {
 public:
  explicit FilmWindow(QWidget* parent = nullptr);
  ~FilmWindow() override;
  // The film or the selection changed: cells, sliders and status follow.
  void Refresh();
  // The frame playback shows (the playback area paints it).
  int Shown() const { return shown_; }
  QLabel* Position() const { return position_; }
  QLabel* Time() const { return time_; }
  QPushButton* Button(int id) const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  QPushButton* AddButton(const QString& text, int id);
  void Tick();
  FilmStripCells* cells_ = nullptr;
  QWidget* player_ = nullptr;
  QSlider* frame_ = nullptr;
  QSlider* speed_ = nullptr;
  QLabel* position_ = nullptr;
  QLabel* time_ = nullptr;
  QTimer timer_;
  int shown_ = -1;
};

// A rendered frame as a picture (null when the slot has no bitmap).
QImage FilmFrameImage(int frame);

// Command 901: opens the window or closes it. False when no window could be
// made (the log says "Open filmWnd failed").
bool ToggleFilmWindow(QMdiArea* area);
FilmWindow* FindFilmWindow(QMdiArea* area);
// "Filmstrip Resolution" (908): 0 rescaled, 1 failed, 2 cancelled.
int RunFilmResolutionDialog(QWidget* parent);
// "Select Video Frame": the chosen frame from 0, or -1.
long RunSelectVideoFrame(QWidget* parent, long frames, double secondsPerFrame, long proposal);

}  // namespace qv::ui
