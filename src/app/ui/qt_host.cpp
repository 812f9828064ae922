#include "app/ui/qt_host.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

#include "app/messages.h"
#include "app/program.h"
#include "app/ui/help_window.h"
#include "app/ui/main_window.h"
#include "display/ui/colour_reduce_window.h"
#include "formats/save_image.h"
#include "formats/ui/save_dialog.h"
#include "extlib/palette_library.h"
#include "store/image_record.h"

namespace qv::ui {
namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A busy cursor that fills like a clock face, one eighth per step.
QCursor PieCursor(int eighths) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 2));
  p.setBrush(Qt::white);
  p.drawEllipse(QRectF(3, 3, 26, 26));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(29, 95, 168));
  p.drawPie(QRectF(5, 5, 22, 22), 90 * 16, -(eighths + 1) * 45 * 16);
  p.end();
  return QCursor(pixmap, 16, 16);
}

// A first look at a picture until the view windows take over.
class PictureWidget : public QWidget {
 public:
  PictureWidget(const QImage& image, QWidget* parent) : QWidget(parent), image_(image) {
    setMinimumSize(std::min(image.width(), 64), std::min(image.height(), 64));
  }
  QSize sizeHint() const override { return image_.size().boundedTo(QSize(800, 600)); }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    QSize fit = image_.size().scaled(size(), Qt::KeepAspectRatio).boundedTo(image_.size());
    p.drawImage(QRect(QPoint(0, 0), fit), image_);
  }

 private:
  QImage image_;
};

QImage ImageOf(ImageRecord* image) {
  QImage out(image->width, image->height, QImage::Format_RGBA8888);
  if (LockImage(image) != 0) return out;
  for (int y = 0; y < image->height; ++y)
    std::memcpy(out.scanLine(y), PixelAt(image, 0, y), static_cast<std::size_t>(image->width) * 4);
  UnlockImage(image);
  return out;
}

}  // namespace

QtHost::QtHost() = default;
QtHost::~QtHost() { delete help_.data(); }

void QtHost::SetWindow(MainWindow* window) { window_ = window; }

QWidget* QtHost::Parent() const { return window_ ? static_cast<QWidget*>(window_.data()) : nullptr; }

int QtHost::RunMessage(const MessageRequest& r) {
  QDialog dialog(Parent());
  // Modal to the main window only, so that the help it opens can be read.
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setWindowTitle(QStringLiteral("Note !"));
  dialog.setObjectName(Q(r.dialog));
  auto* layout = new QVBoxLayout(&dialog);
  auto* top = new QHBoxLayout;
  auto* icon = new QLabel(&dialog);
  QStyle::StandardPixmap kind = (r.kind == MessageKind::Plain || r.kind == MessageKind::WithText)
                                    ? QStyle::SP_MessageBoxWarning
                                    : QStyle::SP_MessageBoxQuestion;
  icon->setPixmap(dialog.style()->standardIcon(kind).pixmap(32, 32));
  top->addWidget(icon, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout;
  auto addLine = [&](const std::string& text, bool bold = false) {
    if (text.empty()) return;
    auto* label = new QLabel(Q(text), &dialog);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    if (bold) {
      QFont f = label->font();
      f.setBold(true);
      label->setFont(f);
    }
    texts->addWidget(label);
  };
  addLine(r.title, true);
  if (r.kind == MessageKind::WithText) {
    addLine(r.firstLine);
    addLine(r.secondLine);
  } else {
    addLine(r.text);
  }
  addLine(r.extra);
  addLine(r.question);
  top->addLayout(texts, 1);
  layout->addLayout(top);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  for (std::size_t i = 0; i < r.buttons.size(); ++i) {
    auto* b = new QPushButton(Q(r.buttons[i]), &dialog);
    if (i == 0) b->setDefault(true);
    int code = 1000 + static_cast<int>(i);
    QObject::connect(b, &QPushButton::clicked, &dialog, [&dialog, code] { dialog.done(code); });
    buttons->addWidget(b);
  }
  auto* help = new QPushButton(QStringLiteral("&Help"), &dialog);
  std::string keyword = r.title;
  // Help opens beside the dialog, which stays until answered.
  QObject::connect(help, &QPushButton::clicked, &dialog, [keyword] { HelpOn(keyword); });
  buttons->addWidget(help);
  layout->addLayout(buttons);

  int code = dialog.exec();
  if (code >= 1000 && code - 1000 < static_cast<int>(r.results.size())) return r.results[code - 1000];
  return r.closeResult;
}

void QtHost::ShowNote(const std::string& text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Note!"), Q(text), QMessageBox::Ok, Parent());
  box.exec();
}

void QtHost::OpenHelp(const std::string& keyword) {
  if (!help_) help_ = new HelpWindow(nullptr);
  help_->ShowKeyword(Q(keyword));
}

void QtHost::ShowProgress(const ProgressDisplay& display) {
  if (window_) window_->ShowProgressDisplay(display);
}

void QtHost::PumpEvents() { QCoreApplication::processEvents(); }

bool QtHost::WaitForEvents() {
  if (!window_ || TheProgram().frame.quitRequested) return false;
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  return true;
}

void QtHost::SetProgressCursor(int index) {
  if (index < 0) {
    // Only the end of the outermost level gives the cursor back.
    if (overriding_ && TheProgram().progress.depth <= 1) {
      QApplication::restoreOverrideCursor();
      overriding_ = false;
    }
    return;
  }
  index = std::clamp(index, 0, 7);
  if (cursors_[index].shape() != Qt::BitmapCursor) cursors_[index] = PieCursor(index);
  if (!overriding_) {
    QApplication::setOverrideCursor(cursors_[index]);
    overriding_ = true;
  } else {
    QApplication::changeOverrideCursor(cursors_[index]);
  }
}

void QtHost::SetRunningButtons(bool) {
  if (window_) window_->UpdateCommands();
}

bool QtHost::IsMainMinimised() { return window_ && window_->isMinimized(); }

void QtHost::SetMainTitle(const std::string& title) {
  if (window_) window_->setWindowTitle(Q(title));
}

bool QtHost::EditNewImageDetails(NewImageDetails& details) {
  QDialog dialog(Parent());
  dialog.setWindowTitle(QStringLiteral("New Image Details"));
  auto* form = new QFormLayout;
  auto* name = new QLineEdit(Q(details.name), &dialog);
  name->setMaxLength(kNewImageNameMax);
  auto spin = [&](int value, int lo, int hi) {
    auto* s = new QSpinBox(&dialog);
    s->setRange(lo, hi);
    s->setValue(value);
    return s;
  };
  QSpinBox* width = spin(details.width, 1, 32000);
  QSpinBox* height = spin(details.height, 1, 32000);
  QSpinBox* dpiX = spin(details.dpiX, 1, 10000);
  QSpinBox* dpiY = spin(details.dpiY, 1, 10000);
  int colour[3] = {details.colour[0], details.colour[1], details.colour[2]};
  auto* swatch = new QPushButton(QStringLiteral("&Colour..."), &dialog);
  auto paintSwatch = [&] {
    swatch->setStyleSheet(QStringLiteral("background: rgb(%1,%2,%3); color: %4")
                              .arg(colour[0])
                              .arg(colour[1])
                              .arg(colour[2])
                              .arg(colour[0] + colour[1] + colour[2] > 380 ? "black" : "white"));
  };
  paintSwatch();
  QObject::connect(swatch, &QPushButton::clicked, &dialog, [&] {
    if (AskCol(&colour[0], &colour[1], &colour[2], "New Image") == 0) paintSwatch();
  });
  form->addRow(QStringLiteral("&Name:"), name);
  form->addRow(QStringLiteral("&Width:"), width);
  form->addRow(QStringLiteral("H&eight:"), height);
  form->addRow(QStringLiteral("DPI &X:"), dpiX);
  form->addRow(QStringLiteral("DPI &Y:"), dpiY);
  form->addRow(QStringLiteral("Initial colour:"), swatch);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(box);
  if (dialog.exec() != QDialog::Accepted) return false;
  details.name = name->text().toStdString();
  details.width = width->value();
  details.height = height->value();
  details.dpiX = dpiX->value();
  details.dpiY = dpiY->value();
  for (int i = 0; i < 3; ++i) details.colour[i] = static_cast<std::uint8_t>(std::clamp(colour[i], 0, 255));
  return true;
}

void QtHost::ImageAdded(ImageRecord* image, bool openView) {
  if (!window_ || !openView || !image) return;
  auto* widget = new PictureWidget(ImageOf(image), nullptr);
  QMdiSubWindow* sub = window_->DocumentArea()->addSubWindow(widget);
  sub->setWindowTitle(QString::fromUtf8(image->name));
  const WindowPlace& v = TheProgram().settings.view;
  sub->setGeometry(v.x, v.y, v.width, v.height);
  sub->show();
}

int QtHost::SaveImageToOwnFile(ImageRecord* image) { return SaveToOwnFile(image); }

std::string QtHost::ChooseSaveFile(const FileRequest& request) {
  QString filter = Q(request.filter);
  filter.replace(QStringLiteral("*.*"), QStringLiteral("*"));
  return QFileDialog::getSaveFileName(Parent(), Q(request.title), Q(request.folder), filter).toStdString();
}

bool QtHost::EditSaveChoices(SaveImageRequest& request) {
  SaveImageDialog dialog(Parent(), request);
  if (dialog.exec() != QDialog::Accepted) return false;
  request = dialog.Choices();
  return !request.name.empty();
}

void QtHost::OpenToolWindow(int command) {
  if (command == kColourReduceCommand) OpenColourReduceWindow(Parent());
}

std::vector<std::string> QtHost::ChooseFiles(const FileRequest& request) {
  QString filter = Q(request.filter);
  filter.replace(QStringLiteral("*.*"), QStringLiteral("*"));
  QStringList files;
  if (request.several)
    files = QFileDialog::getOpenFileNames(Parent(), Q(request.title), Q(request.folder), filter);
  else if (QString f = QFileDialog::getOpenFileName(Parent(), Q(request.title), Q(request.folder), filter); !f.isEmpty())
    files << f;
  std::vector<std::string> out;
  for (const QString& f : files) out.push_back(f.toStdString());
  return out;
}

int QtHost::ChooseImage(const std::string& title) {
  QStringList names;
  for (int i = 0; i < ImageCount(); ++i) names << QString::fromUtf8(ImageAt(i)->name);
  bool ok = false;
  QString chosen = QInputDialog::getItem(Parent(), Q(title), QStringLiteral("Images:"), names, 0, false, &ok);
  return ok ? static_cast<int>(names.indexOf(chosen)) : -1;
}

void QtHost::RedrawViews() {
  if (!window_) return;
  for (QMdiSubWindow* w : window_->DocumentArea()->subWindowList()) w->update();
}

}  // namespace qv::ui
