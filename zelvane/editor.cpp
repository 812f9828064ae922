#include "editor.h"

#include <QCloseEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>

#include "morph.h"

namespace {

QImage ToQImage(const zelvane::Picture& p) {
  if (p.width <= 0 || p.height <= 0) return {};
  QImage image(reinterpret_cast<const uchar*>(p.rgba.data()), p.width, p.height, p.width * 4, QImage::Format_RGBA8888);
  return image.copy();
}

}  // namespace

// One image with the pairs' points of its side as handles.
class PairView : public QWidget {
 public:
  PairView(Editor* editor, bool end) : QWidget(editor), editor_(editor), end_(end) {
    setMinimumSize(240, 180);
    setFocusPolicy(Qt::ClickFocus);
  }
  void SetPicture(const zelvane::Picture& p) {
    image_ = ToQImage(p);
    update();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (image_.isNull()) {
      painter.drawText(rect(), Qt::AlignCenter, end_ ? tr("No end image") : tr("No start image"));
      return;
    }
    painter.drawImage(Target(), image_);
    painter.setRenderHint(QPainter::Antialiasing);
    const auto& pairs = editor_->pairs_;
    for (std::size_t i = 0; i < pairs.size(); ++i) {
      const QPointF at = ToView(Point(pairs[i]));
      const bool chosen = static_cast<int>(i) == editor_->selected_;
      painter.setPen(QPen(chosen ? Qt::yellow : Qt::red, 2));
      painter.setBrush(Qt::NoBrush);
      painter.drawEllipse(at, 5, 5);
      painter.drawText(at + QPointF(7, -7), QString::number(i + 1));
    }
  }
  void mousePressEvent(QMouseEvent* e) override {
    if (image_.isNull()) return;
    const int hit = HandleAt(e->position());
    auto& pairs = editor_->pairs_;
    if (e->button() == Qt::RightButton) {
      if (hit >= 0) {
        pairs.erase(pairs.begin() + hit);
        editor_->selected_ = -1;
        editor_->PairsEdited();
      }
      return;
    }
    if (hit >= 0) {
      editor_->selected_ = hit;
    } else {
      // A new pair starts at the same place in both images.
      const QPointF p = ToImage(e->position());
      const double fx = p.x() / image_.width(), fy = p.y() / image_.height();
      const auto& s = editor_->session_;
      const zelvane::Picture& a = s.Start().picture;
      const zelvane::Picture& b = s.Distort() || !s.End().complete ? a : s.End().picture;
      pairs.push_back({fx * a.width, fy * a.height, fx * b.width, fy * b.height});
      if (end_) pairs.back().x1 = p.x(), pairs.back().y1 = p.y();
      else pairs.back().x0 = p.x(), pairs.back().y0 = p.y();
      editor_->selected_ = static_cast<int>(pairs.size()) - 1;
      editor_->PairsEdited();
    }
    dragging_ = true;
    editor_->update();
    editor_->startView_->update();
    editor_->endView_->update();
  }
  void mouseMoveEvent(QMouseEvent* e) override {
    if (!dragging_ || editor_->selected_ < 0) return;
    const QPointF p = ToImage(e->position());
    auto& pair = editor_->pairs_[static_cast<std::size_t>(editor_->selected_)];
    const double x = std::clamp(p.x(), 0.0, static_cast<double>(image_.width() - 1));
    const double y = std::clamp(p.y(), 0.0, static_cast<double>(image_.height() - 1));
    if (end_) pair.x1 = x, pair.y1 = y;
    else pair.x0 = x, pair.y0 = y;
    update();
  }
  void mouseReleaseEvent(QMouseEvent*) override {
    if (dragging_) editor_->PairsEdited();
    dragging_ = false;
  }
  void keyPressEvent(QKeyEvent* e) override {
    if ((e->key() == Qt::Key_Delete || e->key() == Qt::Key_Backspace) && editor_->selected_ >= 0) {
      editor_->pairs_.erase(editor_->pairs_.begin() + editor_->selected_);
      editor_->selected_ = -1;
      editor_->PairsEdited();
      return;
    }
    QWidget::keyPressEvent(e);
  }

 private:
  QPointF Point(const zelvane::PointPair& p) const { return end_ ? QPointF(p.x1, p.y1) : QPointF(p.x0, p.y0); }
  QRectF Target() const {
    const QSizeF size = QSizeF(image_.size()).scaled(QSizeF(this->size()), Qt::KeepAspectRatio);
    return QRectF(QPointF((width() - size.width()) / 2, (height() - size.height()) / 2), size);
  }
  // Pixel centres: image point (x, y) is drawn at the middle of its pixel.
  QPointF ToView(QPointF p) const {
    const QRectF t = Target();
    return {t.left() + (p.x() + 0.5) * t.width() / image_.width(), t.top() + (p.y() + 0.5) * t.height() / image_.height()};
  }
  QPointF ToImage(QPointF v) const {
    const QRectF t = Target();
    return {(v.x() - t.left()) * image_.width() / t.width() - 0.5, (v.y() - t.top()) * image_.height() / t.height() - 0.5};
  }
  int HandleAt(QPointF v) const {
    const auto& pairs = editor_->pairs_;
    for (int i = static_cast<int>(pairs.size()) - 1; i >= 0; --i)
      if (QLineF(ToView(Point(pairs[static_cast<std::size_t>(i)])), v).length() <= 7) return i;
    return -1;
  }

  Editor* editor_;
  bool end_;
  bool dragging_ = false;
  QImage image_;
};

Editor::Editor(zelvane::Session& session, QWidget* parent) : QWidget(parent), session_(session) {
  startView_ = new PairView(this, false);
  endView_ = new PairView(this, true);
  frame_ = new QSlider(Qt::Horizontal, this);
  frame_->setRange(1, 30);
  total_ = new QSpinBox(this);
  total_->setRange(2, 4000);
  total_->setValue(30);
  total_->setPrefix(tr("of "));
  preview_ = new QLabel(this);
  preview_->setMinimumSize(240, 180);
  preview_->setAlignment(Qt::AlignCenter);
  status_ = new QLabel(this);
  auto* open = new QPushButton(tr("&Open..."), this);
  auto* save = new QPushButton(tr("&Save"), this);
  auto* saveAs = new QPushButton(tr("Save &As..."), this);

  auto* views = new QHBoxLayout;
  views->addWidget(startView_);
  views->addWidget(endView_);
  views->addWidget(preview_);
  auto* slider = new QHBoxLayout;
  slider->addWidget(new QLabel(tr("Frame"), this));
  slider->addWidget(frame_, 1);
  slider->addWidget(total_);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(status_, 1);
  buttons->addWidget(open);
  buttons->addWidget(save);
  buttons->addWidget(saveAs);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(views, 1);
  layout->addLayout(slider);
  layout->addLayout(buttons);

  connect(frame_, &QSlider::valueChanged, this, [this] { ShowFrame(); });
  connect(total_, &QSpinBox::valueChanged, this, [this](int m) {
    frame_->setRange(1, m);
    ShowFrame();
  });
  connect(save, &QPushButton::clicked, this, [this] { Save(); });
  connect(saveAs, &QPushButton::clicked, this, [this] {
    const QString name = QFileDialog::getSaveFileName(this, tr("Save Point File"), QString::fromStdString(path_),
                                                      tr("Point files (*.zpt)"));
    if (name.isEmpty()) return;
    path_ = name.toStdString();
    Save();
  });
  connect(open, &QPushButton::clicked, this, [this] {
    const QString name = QFileDialog::getOpenFileName(this, tr("Open Point File"), QString::fromStdString(path_),
                                                      tr("Point files (*.zpt);;All files (*)"));
    if (name.isEmpty()) return;
    std::vector<zelvane::PointPair> pairs;
    std::string why;
    if (!zelvane::LoadPointFile(name.toStdString(), pairs, why)) {
      QMessageBox::warning(this, tr("Zelvane"), QString::fromStdString(why));
      return;
    }
    path_ = name.toStdString();
    pairs_ = std::move(pairs);
    modified_ = false;
    PairsEdited();
    modified_ = false;
    UpdateTitle();
  });
  new QShortcut(QKeySequence::Save, this, [this] { Save(); });
  resize(900, 420);
  Reload();
}

void Editor::Reload() {
  startView_->SetPicture(session_.Start().complete ? session_.Start().picture : zelvane::Picture{});
  endView_->SetPicture(session_.End().complete && !session_.Distort() ? session_.End().picture : zelvane::Picture{});
  endView_->setVisible(!session_.Distort());
  if (session_.PointsPath() != path_ && !modified_) {
    path_ = session_.PointsPath();
    pairs_.clear();
    std::string why;
    // A new point file starts empty; a file that cannot be read says why.
    if (!path_.empty() && !zelvane::LoadPointFile(path_, pairs_, why)) status_->setText(QString::fromStdString(why));
    else status_->clear();
    selected_ = -1;
  }
  UpdateTitle();
  ShowFrame();
}

void Editor::PairsEdited() {
  modified_ = true;
  UpdateTitle();
  startView_->update();
  endView_->update();
  ShowFrame();
}

void Editor::ShowFrame() {
  const auto& s = session_;
  if (!s.Start().complete) {
    preview_->setText(tr("No frame"));
    return;
  }
  const int n = frame_->value(), m = total_->value();
  const zelvane::Picture p = s.Distort() || !s.End().complete
                                 ? zelvane::DistortFrame(s.Start().picture, pairs_, n, m)
                                 : zelvane::TransitionFrame(s.Start().picture, s.End().picture, pairs_, n, m);
  preview_->setPixmap(QPixmap::fromImage(ToQImage(p)).scaled(preview_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

bool Editor::Save() {
  if (path_.empty()) {
    const QString name = QFileDialog::getSaveFileName(this, tr("Save Point File"), {}, tr("Point files (*.zpt)"));
    if (name.isEmpty()) return false;
    path_ = name.toStdString();
  }
  std::string why;
  if (!zelvane::SavePointFile(path_, pairs_, why)) {
    QMessageBox::warning(this, tr("Zelvane"), QString::fromStdString(why));
    return false;
  }
  modified_ = false;
  status_->setText(tr("Saved %1").arg(QString::fromStdString(path_)));
  UpdateTitle();
  return true;
}

void Editor::UpdateTitle() {
  const QString file = path_.empty() ? tr("untitled") : QString::fromStdString(path_);
  setWindowTitle(tr("Zelvane - %1[*] (%2)").arg(file, session_.Distort() ? tr("Distortion") : tr("Transition")));
  setWindowModified(modified_);
}

void Editor::closeEvent(QCloseEvent* event) {
  // The companion keeps running; only unsaved pairs are asked about.
  if (modified_) {
    const auto answer = QMessageBox::question(this, tr("Zelvane"), tr("Save the changed point pairs?"),
                                              QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel);
    if (answer == QMessageBox::Cancel || (answer == QMessageBox::Save && !Save())) {
      event->ignore();
      return;
    }
    modified_ = false;
  }
  event->accept();
}
