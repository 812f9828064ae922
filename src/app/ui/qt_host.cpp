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
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStyle>
#include <QVBoxLayout>

#include "anim/ui/sequence_dialogs.h"
#include "anim/ui/exposure_sheet_window.h"
#include "anim/ui/film_window.h"
#include "anim/ui/timeline_window.h"
#include "app/program.h"
#include "app/ui/help_window.h"
#include "app/ui/main_window.h"
#include "app/ui/option_dialogs.h"
#include "area/ui/area_toolbox.h"
#include "capture/screen_source.h"
#include "capture/ui/capture_dialog.h"
#include "base/messages.h"
#include "display/ui/colour_reduce_window.h"
#include "display/ui/view_dialogs.h"
#include "display/ui/view_window.h"
#include "display/views.h"
#include "extlib/palette_library.h"
#include "formats/save_image.h"
#include "formats/ui/raw_dialog.h"
#include "formats/ui/save_dialog.h"
#include "ops/ui/chronograph_window.h"
#include "store/image_record.h"
#include "store/ui/image_dialogs.h"

namespace qv::ui {
namespace {

constexpr int kShowToolboxCommand = 616;

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

// A line of a message: text wraps between words; a file name or path (the
// extra line) is never broken, only shortened in its middle when it is wider
// than most of the screen, the whole of it in the tool tip.
QLabel* MessageLine(const QString& text, QWidget* parent, bool wrap, bool bold = false) {
  auto* label = new QLabel(text, parent);
  label->setTextInteractionFlags(Qt::TextSelectableByMouse);
  label->setTextFormat(Qt::PlainText);
  if (bold) {
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
  }
  if (wrap) {
    label->setWordWrap(true);
    return label;
  }
  const QScreen* screen = parent->screen();
  const int room = (screen ? screen->availableGeometry().width() : 1024) * 3 / 4;
  const QFontMetrics metrics(label->font());
  if (metrics.horizontalAdvance(text) > room) {
    label->setText(metrics.elidedText(text, Qt::ElideMiddle, room));
    label->setToolTip(text);
  }
  return label;
}

}  // namespace

QtHost::QtHost() = default;
QtHost::~QtHost() { delete help_.data(); }

void QtHost::SetWindow(MainWindow* window) {
  window_ = window;
  // The window commands become available with the window.
  if (window_) window_->UpdateCommands();
}

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
  auto addLine = [&](const std::string& text, bool wrap, bool bold = false) {
    if (!text.empty()) texts->addWidget(MessageLine(Q(text), &dialog, wrap, bold));
  };
  addLine(r.title, true, true);
  if (r.kind == MessageKind::WithText) {
    addLine(r.firstLine, true);
    addLine(r.secondLine, true);
  } else {
    addLine(r.text, true);
  }
  addLine(r.extra, false);  // a file or image name
  addLine(r.question, true);
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

// The first line says what happened; the lines after it name what it
// happened to (a file, a path), which are kept whole.
void QtHost::ShowNote(const std::string& text) {
  QDialog dialog(Parent());
  dialog.setWindowTitle(QStringLiteral("Note!"));
  dialog.setObjectName(QStringLiteral("Note"));
  auto* top = new QHBoxLayout;
  auto* icon = new QLabel(&dialog);
  icon->setPixmap(dialog.style()->standardIcon(QStyle::SP_MessageBoxCritical).pixmap(32, 32));
  top->addWidget(icon, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout;
  const QStringList lines = Q(text).split('\n');
  for (qsizetype i = 0; i < lines.size(); ++i) texts->addWidget(MessageLine(lines[i], &dialog, i == 0));
  top->addLayout(texts, 1);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(top);
  layout->addWidget(box);
  dialog.exec();
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

bool QtHost::EditNewImageDetails(NewImageDetails& details) { return RunNewImageDetails(Parent(), details); }

void QtHost::ImageAdded(ImageRecord* image, bool openView) {
  if (!window_ || !openView || !image) return;
  OpenView(image);
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

bool QtHost::EditRawImage(RawImageRequest& request) { return RunRawImageDialog(Parent(), request); }

void QtHost::OpenToolWindow(int command) {
  if (command == kColourReduceCommand) OpenColourReduceWindow(Parent());
  if (command == kTimeLineCommand && window_) ToggleTimeLineWindow(window_->DocumentArea());
  if (command == kFilmCommand && window_) ToggleFilmWindow(window_->DocumentArea());
  if (command == kExposureSheetCommand && window_) ToggleExposureSheetWindow(window_->DocumentArea());
}

long QtHost::ChooseVideoFrame(const VideoFrameRequest& request) {
  return RunSelectVideoFrame(Parent(), request.frames, request.secondsPerFrame, request.frame);
}

bool QtHost::ToolWindowShown(int command) {
  if (command == kFilmCommand) return window_ && FindFilmWindow(window_->DocumentArea());
  return command == kShowToolboxCommand && toolbox_ && toolbox_->isVisible();
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
  for (ViewRecord* v : AllViews()) v->reRender = 1;
  for (QMdiSubWindow* w : window_->DocumentArea()->subWindowList()) {
    w->update();
    if (w->widget()) w->widget()->update();
  }
}

void QtHost::ShowStatusText(const std::string& text) {
  if (window_) window_->SetStatusText(Q(text));
}

AreaToolbox* QtHost::Toolbox() const { return toolbox_.data(); }

ViewSubWindow* QtHost::SubWindowOf(const ViewRecord* view) const {
  if (!window_ || !view) return nullptr;
  for (QMdiSubWindow* w : window_->DocumentArea()->subWindowList())
    if (auto* sub = dynamic_cast<ViewSubWindow*>(w); sub && sub->View()->Record() == view) return sub;
  return nullptr;
}

int QtHost::ChooseUndoLayer(bool deUndo, const std::vector<std::string>& entries, int defaultIndex) {
  return RunUndoChoose(Parent(), deUndo, entries, defaultIndex);
}

void QtHost::RefreshImageViews(ImageRecord* image, bool sizeChanged) {
  for (ViewRecord* v : ViewsOf(image)) {
    if (sizeChanged) {
      // The old region may lie outside the new picture.
      TheProgram().views.history.erase(
          std::remove_if(TheProgram().views.history.begin(), TheProgram().views.history.end(),
                         [v](const ZoomEntry& e) { return e.view == v; }),
          TheProgram().views.history.end());
      v->left = v->top = 0;
      v->right = image->width - 1;
      v->bottom = image->height - 1;
      v->zoomKind = kZoomNone;
      if (v->placement == ViewPlacement::DocumentChild) FitViewWindow(v, false);
      RefreshViewTitles(image);
    }
    v->reRender = 1;
    InvalidateView(v);
  }
}

void QtHost::ShowViewRows(ViewRecord* view, std::span<const std::uint8_t> dib, int startRow, int rowCount) {
  if (ViewSubWindow* sub = SubWindowOf(view)) sub->View()->SetRows(dib, startRow, rowCount);
}

bool QtHost::OpenViewWindow(ViewRecord* view) {
  if (!window_) return false;
  auto* widget = new ViewWindow(view, nullptr);
  auto* sub = new ViewSubWindow(widget);
  window_->DocumentArea()->addSubWindow(sub);
  const WindowPlace& v = TheProgram().settings.view;
  // New views cascade from the remembered place.
  int n = static_cast<int>(AllViews().size()) - 1;
  sub->setGeometry(v.x + 24 * (n % 8), v.y + 24 * (n % 8), std::max(v.width, 64), std::max(v.height, 64));
  view->clientWidth = std::max(1, widget->width());
  view->clientHeight = std::max(1, widget->height());
  sub->show();
  return true;
}

void QtHost::ActivateViewWindow(ViewRecord* view) {
  if (ViewSubWindow* sub = SubWindowOf(view); sub && window_) window_->DocumentArea()->setActiveSubWindow(sub);
}

void QtHost::SetViewTitle(ViewRecord* view, const std::string& title) {
  if (ViewSubWindow* sub = SubWindowOf(view)) sub->setWindowTitle(Q(title));
}

void QtHost::InvalidateView(ViewRecord* view) {
  if (ViewSubWindow* sub = SubWindowOf(view)) {
    sub->SyncScrollBars();
    sub->View()->update();
  }
}

void QtHost::CloseViewWindow(ViewRecord* view) {
  // The record is no longer in use, so the window's close asks nothing; a
  // window already closing (its own close removed the image) is left to it.
  if (ViewSubWindow* sub = SubWindowOf(view)) sub->close();
}

void QtHost::FitViewWindow(ViewRecord* view, bool oneToOne) {
  ViewSubWindow* sub = SubWindowOf(view);
  if (!sub || sub->isMaximized() || sub->isMinimized()) return;
  // The client as it was drawn; the scroll bars the new zoom asks for are
  // part of the frame.
  const int width = sub->View()->width();
  sub->SyncScrollBars();
  QSize frame = sub->size() - sub->widget()->size() + sub->ScrollBarRoom();
  QSize room = window_->DocumentArea()->viewport()->size() - frame - QSize(sub->x(), sub->y());
  int w, h;
  if (oneToOne)
    OneToOneClientSize(*view, w, h);
  else
    KeepAspectClientSize(*view, sub->View()->fitted ? width : 0, std::max(room.width(), 64), std::max(room.height(), 64), w, h);
  sub->View()->fitted = true;
  sub->resize(QSize(w, h) + frame);
}

void QtHost::ShowChronograph(const std::string& action, const std::string& start, const std::string& end,
                             const std::string& elapsed) {
  if (!window_) return;
  ChronographWindow* w = SyncChronograph(window_, window_->DocumentArea());
  if (w) w->SetValues(Q(action), Q(start), Q(end), Q(elapsed));
}

ScreenPixels QtHost::GrabScreen() { return GrabPrimaryScreen(); }

int QtHost::RunWindowCommand(int id) {
  if (!window_) return 1;
  switch (id) {
    case kShowToolboxCommand:
      if (!toolbox_) {
        toolbox_ = new AreaToolbox(window_);
        const WindowPlace& t = TheProgram().settings.tool;
        toolbox_->move(window_->mapToGlobal(QPoint(t.x, t.y)));
      }
      toolbox_->setVisible(!toolbox_->isVisible());
      return 0;
    case 705: return RunImageInfo(Parent());
    case 708: {
      int result = RunChangeImageInfo(Parent());
      for (int i = 0; i < ImageCount(); ++i) RefreshViewTitles(ImageAt(i));
      // "Image Has Alpha" decides whether a view blends the picture.
      if (result == 0) RedrawViews();
      return result;
    }
    case 709: return RunAlphaViewDialog(Parent());
    case 613: return RunSequenceControls(Parent());
    case 9493: return RunFrameRate(Parent());
    case kFilmResolutionCommand: return RunFilmResolutionDialog(Parent());
    case 364: return RunViewColours(Parent());
    case 108: return RunCaptureDialog(Parent());
    default: return RunOptionDialog(id, Parent());
  }
}

}  // namespace qv::ui
