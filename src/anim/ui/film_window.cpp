#include "anim/ui/film_window.h"
#include "display/ui/mdi_child.h"

#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "anim/anim_state.h"
#include "anim/film_strip.h"
#include "app/program.h"
#include "app/ui/dialog_buttons.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "display/render.h"
#include "display/ui/view_window.h"

namespace qv::ui {
namespace {

constexpr int kCellGap = 3;
constexpr int kMessageNoMemory = 22;
constexpr int kMessageNoWindow = 23;

QString Text(int id) {
  std::string_view t = LoadString(id);
  return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

// Every changed frame rendered for the display before it is drawn.
void RenderChanged() {
  FilmStrip& f = Film();
  for (int i = 0; i < f.length; ++i)
    if (f.used[i] || (f.slots[i] && !f.bitmaps[i])) {
      (void)RenderFilm(Display().mode);
      return;
    }
}

// The playback area: the frame playback drew last, black without one.
class FilmPlayer : public QWidget {
 public:
  FilmPlayer(FilmWindow* window, QWidget* parent) : QWidget(parent), window_(window) {
    setObjectName(QStringLiteral("Playback"));
    setMinimumSize(Film().frameWidth, Film().frameHeight);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    QImage frame = FilmFrameImage(window_->Shown());
    if (!frame.isNull()) p.drawImage((width() - frame.width()) / 2, (height() - frame.height()) / 2, frame);
  }

 private:
  FilmWindow* window_;
};

void RefreshWindowOf(QWidget* w) {
  for (; w; w = w->parentWidget())
    if (auto* window = dynamic_cast<FilmWindow*>(w)) {
      window->Refresh();
      return;
    }
}

}  // namespace

QImage FilmFrameImage(int frame) {
  const FilmStrip& f = Film();
  if (frame < 0 || frame >= f.length || !f.bitmaps[frame]) return {};
  QImage image = DibToImage(DibBytes(f.bitmaps[frame]));
  if (image.isNull()) ShowMessageWith(kMessageNoMemory, "For Filmstrip Drawing");
  return image;
}

// ---- the strip ----

FilmStripCells::FilmStripCells(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("Strip"));
  setMinimumHeight(Film().frameHeight + 2 * kCellGap);
}

QRect FilmStripCells::CellRect(int frame) const {
  const FilmStrip& f = Film();
  const int pitch = f.frameWidth + kCellGap;
  // The selected frame's cell sits in the middle.
  const int left = width() / 2 - f.frameWidth / 2 + (frame - f.current) * pitch;
  return {left, (height() - f.frameHeight) / 2, f.frameWidth, f.frameHeight};
}

int FilmStripCells::FrameAt(QPoint at) const {
  const int frames = Film().length > 0 ? Film().length : FrameCount();
  for (int i = 0; i < frames; ++i)
    if (CellRect(i).contains(at)) return i;
  return -1;
}

void FilmStripCells::paintEvent(QPaintEvent*) {
  RenderChanged();
  QPainter p(this);
  p.fillRect(rect(), QColor(64, 64, 64));
  const int frames = Film().length > 0 ? Film().length : FrameCount();
  for (int i = 0; i < frames; ++i) {
    const QRect cell = CellRect(i);
    if (cell.right() < 0 || cell.left() > width()) continue;
    QImage image = FilmFrameImage(i);
    if (image.isNull())
      p.fillRect(cell, Qt::black);
    else
      p.drawImage(cell.topLeft(), image);
    if (i == Film().current) {
      p.setPen(QPen(Qt::yellow, 1));
      p.drawRect(cell.adjusted(-1, -1, 0, 0));
    }
  }
}

void FilmStripCells::mousePressEvent(QMouseEvent* event) {
  const int frame = FrameAt(event->position().toPoint());
  if (frame >= 0) {
    SetCurrentFilmFrame(frame);
    RefreshWindowOf(this);
  }
}

// ---- the window ----

FilmWindow::FilmWindow(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("filmClass"));
  setWindowTitle(QStringLiteral("Film Strip"));
  (void)EnsureFilm();
  cells_ = new FilmStripCells(this);
  player_ = new FilmPlayer(this, this);

  auto* buttons = new QHBoxLayout;
  buttons->setSpacing(1);
  auto command = [this](int id, int value = 0) {
    (void)FilmWindowCommand(id, value);
    Refresh();
  };
  struct Control {
    const char* text;
    int id;
  };
  for (Control c : {Control{"?", 9700}, {"Play", 9701}, {"|<", 9702}, {"<<", 9704}, {"<", 9711}, {">", 9710},
                    {">>", 9705}, {">|", 9703}, {"Stop", 9706}, {"Eject", 9707}}) {
    QPushButton* b = AddButton(QString::fromLatin1(c.text), c.id);
    buttons->addWidget(b);
    const int id = c.id;
    if (id == 9710 || id == 9711) {
      // Held down, the one-frame buttons step on.
      b->setAutoRepeat(true);
      b->setAutoRepeatDelay(kFilmRepeatMillis);
      b->setAutoRepeatInterval(kFilmRepeatMillis);
    }
    connect(b, &QPushButton::clicked, this, [command, id] { command(id); });
  }
  frame_ = new QSlider(Qt::Horizontal, this);
  frame_->setObjectName(Text(9708));
  frame_->setToolTip(Text(9708));
  frame_->setRange(0, 1000);
  connect(frame_, &QSlider::sliderMoved, this, [command](int v) { command(9708, v); });
  speed_ = new QSlider(Qt::Horizontal, this);
  speed_->setObjectName(Text(9712));
  speed_->setToolTip(Text(9712));
  speed_->setRange(0, 1000);
  speed_->setSingleStep(20);
  speed_->setPageStep(100);
  speed_->setValue(Prefs().filmSpeed);
  connect(speed_, &QSlider::valueChanged, this, [command](int v) { command(9712, v); });
  buttons->addWidget(frame_, 2);
  buttons->addWidget(speed_, 1);

  position_ = new QLabel(this);
  position_->setObjectName(QStringLiteral("Position"));
  time_ = new QLabel(this);
  time_->setObjectName(QStringLiteral("Time"));
  auto* status = new QHBoxLayout;
  status->addWidget(position_);
  status->addWidget(time_);
  status->addStretch(1);

  auto* top = new QHBoxLayout;
  top->addWidget(cells_, 1);
  top->addWidget(player_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(2, 2, 2, 2);
  layout->addLayout(top, 1);
  layout->addLayout(buttons);
  layout->addLayout(status);

  connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
  FilmStrip& f = Film();
  // The hooks outlive a closed window until the next one replaces them.
  QPointer<FilmWindow> self(this);
  f.startTimer = [self](int, int ms) {
    if (!self) return false;
    self->timer_.start(ms);
    return self->timer_.isActive();
  };
  f.stopTimer = [self](int) {
    if (self) self->timer_.stop();
  };
  Refresh();
}

FilmWindow::~FilmWindow() { timer_.stop(); }

QPushButton* FilmWindow::AddButton(const QString& text, int id) {
  auto* b = new QPushButton(text, this);
  b->setObjectName(Text(id));
  b->setToolTip(Text(id));
  b->setAutoDefault(false);
  b->setMaximumWidth(40);
  return b;
}

QPushButton* FilmWindow::Button(int id) const { return findChild<QPushButton*>(Text(id)); }

void FilmWindow::Tick() {
  RenderChanged();
  shown_ = PlaybackTick();
  player_->update();
}

void FilmWindow::Refresh() {
  const FilmStrip& f = Film();
  const int frames = std::max(f.length > 0 ? f.length : FrameCount(), 1);
  {
    QSignalBlocker block(frame_);
    frame_->setValue(static_cast<int>((static_cast<long>(f.current) * 1001 + frames - 1) / frames));
  }
  if (!f.playing) shown_ = f.current;
  position_->setText(QString::fromStdString(FilmPositionText()));
  time_->setText(QString::fromStdString(FilmTimeText(Prefs().animMillis)));
  cells_->setMinimumHeight(f.frameHeight + 2 * kCellGap);
  player_->setMinimumSize(f.frameWidth, f.frameHeight);
  cells_->update();
  player_->update();
}

void FilmWindow::closeEvent(QCloseEvent* event) {
  if (RefuseFilmClose()) {
    event->ignore();
    return;
  }
  StopPlayback();
  FilmStrip& f = Film();
  f.windowOpen = false;
  f.redraw = nullptr;
  if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) {
    const QRect g = sub->geometry();
    Prefs().film = {g.x(), g.y(), g.width(), g.height()};
  }
  event->accept();
}

FilmWindow* FindFilmWindow(QMdiArea* area) { return FindMdiChild<FilmWindow>(area); }

bool ToggleFilmWindow(QMdiArea* area) {
  if (FilmWindow* open = FindFilmWindow(area)) {
    if (CloseMdiFrame(open)) Prefs().showFilm = 0;
    return true;
  }
  QMdiSubWindow* sub = area ? area->addSubWindow(new FilmWindow) : nullptr;
  if (!sub) {
    LogLine("Open filmWnd failed\n");
    ShowMessageWith(kMessageNoWindow, "for Film Strip");
    return false;
  }
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->setWindowTitle(QStringLiteral("Film Strip"));
  const WindowPlace& place = Prefs().film;
  sub->setGeometry(place.x, place.y, std::max(200, place.width), std::max(98, place.height));
  sub->show();
  Prefs().showFilm = 1;
  FilmStrip& f = Film();
  f.windowOpen = true;
  QPointer<QMdiArea> mdi(area);
  f.redraw = [mdi] {
    if (FilmWindow* w = FindFilmWindow(mdi)) w->Refresh();
  };
  return true;
}

int RunFilmResolutionDialog(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Filmstrip Resolution"));
  dialog.setObjectName(QStringLiteral("Filmstrip Resolution"));
  auto spin = [&](const QString& name, int value) {
    auto* s = new QSpinBox(&dialog);
    s->setObjectName(name);
    s->setRange(1, kFilmMaxSide);
    s->setValue(value);
    return s;
  };
  const FilmStrip& f = Film();
  QSpinBox* across = spin(QStringLiteral("X"), f.length > 0 ? f.frameWidth : Prefs().filmWidth);
  QSpinBox* down = spin(QStringLiteral("Y"), f.length > 0 ? f.frameHeight : Prefs().filmHeight);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Film frame X resolution :"), across);
  form->addRow(QStringLiteral("Film frame Y resolution :"), down);
  auto* presets = new QHBoxLayout;
  auto preset = [&](const QString& text, auto apply) {
    auto* b = new QPushButton(text, &dialog);
    b->setObjectName(text);
    b->setAutoDefault(false);
    presets->addWidget(b);
    QObject::connect(b, &QPushButton::clicked, &dialog, apply);
  };
  auto set = [across, down](int w, int h) {
    across->setValue(w);
    down->setValue(h);
  };
  preset(QStringLiteral("Match Output Aspect Ratio"), [across, set] {
    // The 96 x 72 shape at the width entered (height = width * 72 / 96: the
    // other way round would turn a landscape frame on its side), else the
    // default frame.
    const int w = across->value();
    const int h = w * kFilmDefaultHeight / kFilmDefaultWidth;
    if (w >= 4 && w <= kFilmMaxSide && h >= 4 && h <= kFilmMaxSide) set(w, h);
    else set(kFilmDefaultWidth, kFilmDefaultHeight);
  });
  preset(QStringLiteral("Match Output Size"), [set] { set(320, 200); });
  preset(QStringLiteral("Set to Default"), [set] { set(kFilmDefaultWidth, kFilmDefaultHeight); });
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addLayout(presets);
  layout->addWidget(OkCancel(&dialog));
  if (dialog.exec() != QDialog::Accepted) return 2;
  Prefs().filmWidth = across->value();
  Prefs().filmHeight = down->value();
  return RescaleFilm(across->value(), down->value());
}

long RunSelectVideoFrame(QWidget* parent, long frames, double secondsPerFrame, long proposal) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Select Video Frame"));
  dialog.setObjectName(QStringLiteral("Select Video Frame"));
  auto* frame = new QSpinBox(&dialog);
  frame->setObjectName(QStringLiteral("Frame"));
  frame->setRange(1, static_cast<int>(std::max(frames, 1L)));
  frame->setValue(static_cast<int>(proposal + 1));
  auto* time = new QLabel(&dialog);
  auto showTime = [time, secondsPerFrame](int v) {
    time->setText(QStringLiteral("%1 s").arg((v - 1) * secondsPerFrame, 0, 'f', 3));
  };
  showTime(frame->value());
  QObject::connect(frame, &QSpinBox::valueChanged, &dialog, showTime);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Frame (of %1):").arg(frames), frame);
  form->addRow(QStringLiteral("Time:"), time);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(OkCancel(&dialog));
  return dialog.exec() == QDialog::Accepted ? frame->value() - 1 : -1;
}

}  // namespace qv::ui
