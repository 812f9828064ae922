#include "anim/ui/exposure_sheet_window.h"
#include "display/ui/mdi_child.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

#include "anim/anim_state.h"
#include "anim/exposure_sheet.h"
#include "anim/ui/sequence_dialogs.h"
#include "anim/ui/timeline_dialogs.h"
#include "app/program.h"
#include "area/stored_area.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "ops/apply.h"
#include "ops/op_state.h"
#include "store/image_record.h"

namespace qv::ui {
namespace {

constexpr int kLabelWidth = 48;
constexpr int kHeaderHeight = 18;
constexpr int kMessageNoWindow = 23;
// The seventeen commands in the order of their buttons.
constexpr int kCommands[] = {6422, 6424, 6439, 6440, 6426, 6428, 6430, 6432, 6434,
                             6436, 6443, 6444, 6441, 6442, 6445, 6437, 6438};

QString Text(int id) {
  std::string_view t = LoadString(id);
  return QString::fromUtf8(t.data(), static_cast<qsizetype>(t.size()));
}

ExposureSheetWindow* WindowOf(QWidget* w) {
  for (; w; w = w->parentWidget())
    if (auto* window = dynamic_cast<ExposureSheetWindow*>(w)) return window;
  return nullptr;
}

QString Titled(const char* format, int frame, int column) {
  char text[120];
  std::snprintf(text, sizeof text, format, static_cast<long>(frame + 1), static_cast<long>(column + 1));
  return QString::fromUtf8(text);
}

// "Exposure Sheet Image": the file, video flag, start frame and increment.
void EditFileCell(QWidget* parent, int column, int frame) {
  const TimeFileRecord* r = SheetFileAt(column, frame);
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("SrcOp"));
  dialog.setWindowTitle(Titled("Exposure Sheet Image: Frame %ld, Action %ld", frame, column));
  auto* name = new QLineEdit(r ? QString::fromUtf8(r->fileName, static_cast<qsizetype>(strnlen(r->fileName, sizeof r->fileName))) : QString());
  auto* video = new QCheckBox(QStringLiteral("This is a video sequence"));
  video->setChecked(r && r->video);
  auto* start = new QSpinBox;
  start->setRange(1, kMaxStartFrame);
  start->setValue(r ? r->startFrame : 1);
  auto* increment = new QSpinBox;
  increment->setRange(1, kMaxIncrement);
  increment->setValue(r ? std::max(1, r->increment) : 1);
  auto* browse = new QPushButton(QStringLiteral("Browse for Image File"));
  auto* loaded = new QPushButton(QStringLiteral("Use Loaded Image"));
  auto* remove = new QPushButton(QStringLiteral("Remove"));
  QObject::connect(browse, &QPushButton::clicked, &dialog, [&] {
    const QString f = QFileDialog::getOpenFileName(&dialog, QStringLiteral("Specify Source File"), {}, QStringLiteral("All Images (*)"));
    if (!f.isEmpty()) name->setText(f);
  });
  // "Use image currently in memory": no TimeLine results in the sheet.
  QObject::connect(loaded, &QPushButton::clicked, &dialog, [&] {
    QStringList names;
    for (int i = 0; i < ImageCount(); ++i)
      names << QString::fromUtf8(ImageAt(i)->path[0] ? ImageAt(i)->path : ImageAt(i)->name);
    if (names.isEmpty()) return;
    bool ok = false;
    const QString chosen = QInputDialog::getItem(&dialog, QStringLiteral("Use image currently in memory"),
                                                 QStringLiteral("Image:"), names, 0, false, &ok);
    if (ok) name->setText(chosen);
  });
  bool removed = false;
  QObject::connect(remove, &QPushButton::clicked, &dialog, [&] {
    removed = true;
    dialog.accept();
  });
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("File:"), name);
  form->addRow(browse, loaded);
  form->addRow(video);
  form->addRow(QStringLiteral("Start Frame"), start);
  form->addRow(QStringLiteral("Frame Increment"), increment);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->addButton(remove, QDialogButtonBox::DestructiveRole);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) return;
  const std::string text = name->text().trimmed().toStdString();
  if (removed || text.empty()) {
    ClearSheetCell(column, frame);
    return;
  }
  TimeFileRecord* made = SheetFileRecord(text);
  if (!made) return;
  made->video = video->isChecked() ? 1 : 0;
  made->startFrame = start->value();
  made->increment = increment->value();
  (void)PutSheetRecord(column, frame, made);
}

// "TimeOp" for a sheet cell: the record's settings to and from the current ones.
void EditOpCell(QWidget* parent, int column, int frame) {
  const OpSettings* r = SheetOpAt(column, frame);
  if (!r) return;
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("TimeOp"));
  dialog.setWindowTitle(Titled("Time Line Operation: Frame %ld, Level %ld", frame, column));
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(QStringLiteral("Operation: ") + QString::fromUtf8(std::string(OpName(r->id)).c_str())));
  auto* interpolate = new QCheckBox(QStringLiteral("Interpolate Settings"));
  interpolate->setChecked(r->interpolate != 0);
  layout->addWidget(interpolate);
  auto* get = new QPushButton(QStringLiteral("Get Current Settings"));
  auto* set = new QPushButton(QStringLiteral("Set Current Settings"));
  auto* remove = new QPushButton(QStringLiteral("Remove"));
  for (QPushButton* b : {get, set, remove}) layout->addWidget(b);
  const OpId op = r->id;
  QObject::connect(get, &QPushButton::clicked, &dialog, [&] {
    OpSettings* fresh = SnapshotOpSettings(op, false);
    if (fresh) (void)PutSheetRecord(column, frame, fresh);
    dialog.accept();
  });
  QObject::connect(set, &QPushButton::clicked, &dialog, [&] {
    if (const OpSettings* now = SheetOpAt(column, frame)) (void)RestoreOpSettings(*now);
    if (Ops().hooks.refreshSettings) Ops().hooks.refreshSettings();
  });
  QObject::connect(remove, &QPushButton::clicked, &dialog, [&] {
    ClearSheetCell(column, frame);
    dialog.reject();
  });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(buttons);
  if (dialog.exec() == QDialog::Accepted)
    if (const OpSettings* now = SheetOpAt(column, frame))
      const_cast<OpSettings*>(now)->interpolate = interpolate->isChecked() ? 1 : 0;
}

// The area cell's editor: shown on the acting image, replaced, or removed.
void EditAreaCell(QWidget* parent, int column, int frame) {
  const StoredArea* r = SheetAreaAt(column, frame);
  if (!r) return;
  QStringList choices{QStringLiteral("Show on the action image"), QStringLiteral("Replace by the current selection"),
                      QStringLiteral("Remove")};
  bool ok = false;
  const QString chosen = QInputDialog::getItem(parent, Titled("Area: Frame %ld, Action %ld", frame, column),
                                               Text(r->mode), choices, 0, false, &ok);
  if (!ok) return;
  if (chosen == choices[0]) {
    if (ImageRecord* image = ActionImage()) (void)ApplyStoredArea(*r, image, 0);
  } else if (chosen == choices[1]) {
    (void)PutCurrentAreaAt(column, frame);
  } else {
    ClearSheetCell(column, frame);
  }
}

// "Add To Sheet": an image file, the current operation or the current area.
void ImportCell(QWidget* parent, int column, int frame) {
  QStringList choices{QStringLiteral("Image File"), QStringLiteral("Operation"), QStringLiteral("Area Selection")};
  bool ok = false;
  const QString chosen = QInputDialog::getItem(parent, Titled("Add To Sheet: Frame %ld, Action %ld", frame, column),
                                               QStringLiteral("Add:"), choices, 0, false, &ok);
  if (!ok) return;
  if (chosen == choices[1]) {
    (void)PutCurrentOpAt(column, frame);
  } else if (chosen == choices[2]) {
    (void)PutCurrentAreaAt(column, frame);
  } else {
    const QStringList files = QFileDialog::getOpenFileNames(parent, QStringLiteral("Specify Source File"), {},
                                                            QStringLiteral("All Images (*)"));
    std::vector<std::string> names;
    for (const QString& f : files) names.push_back(f.toStdString());
    // From the cell down its column, with the column's placement repeat.
    const SheetBlock kept = Sheet().selection;
    SelectSheetBlock({column, column, frame, SheetFrames() - 1});
    PlaceSheetFiles(names);
    SelectSheetBlock(kept);
  }
}

void Placement(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Set 1's 2's Placement"));
  auto* background = new QSpinBox;
  auto* actors = new QSpinBox;
  background->setRange(1, kMaxFrames);
  actors->setRange(1, kMaxFrames);
  background->setValue(std::max(1, Sheet().backgroundRepeat));
  actors->setValue(std::max(1, Sheet().actorRepeat));
  auto* form = new QFormLayout(&dialog);
  form->addRow(QStringLiteral("Background (Column 1)"), background);
  form->addRow(QStringLiteral("Actors (Columns 2...)"), actors);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return;
  Sheet().backgroundRepeat = background->value();
  Sheet().actorRepeat = actors->value();
}

}  // namespace

SheetGrid::SheetGrid(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PosExp"));
  setAcceptDrops(true);
  setMouseTracking(true);
  setMinimumSize(160, 80);
}

int SheetGrid::VisibleColumns() const {
  return std::max(1, (width() - kLabelWidth) / std::max(8, Anim().timeline.cellWidth));
}
int SheetGrid::VisibleFrames() const {
  return std::max(1, (height() - kHeaderHeight) / std::max(8, Anim().timeline.cellHeight));
}

QRect SheetGrid::CellRect(int column, int frame) const {
  const SheetState& s = Sheet();
  const int w = Anim().timeline.cellWidth, h = Anim().timeline.cellHeight;
  return {kLabelWidth + (column - s.firstColumnShown) * w, kHeaderHeight + (frame - s.firstFrameShown) * h, w, h};
}

bool SheetGrid::CellAt(QPoint at, int& column, int& frame) const {
  if (at.x() < kLabelWidth || at.y() < kHeaderHeight) return false;
  const SheetState& s = Sheet();
  column = s.firstColumnShown + (at.x() - kLabelWidth) / std::max(8, Anim().timeline.cellWidth);
  frame = s.firstFrameShown + (at.y() - kHeaderHeight) / std::max(8, Anim().timeline.cellHeight);
  return column < kSheetColumns && frame < SheetFrames();
}

void SheetGrid::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), palette().base());
  const SheetState& s = Sheet();
  const int w = Anim().timeline.cellWidth, h = Anim().timeline.cellHeight;
  const int lastColumn = std::min(kSheetColumns - 1, s.firstColumnShown + VisibleColumns());
  const int lastFrame = std::min(SheetFrames() - 1, s.firstFrameShown + VisibleFrames());
  for (int c = s.firstColumnShown; c <= lastColumn; ++c) {
    const QRect head(CellRect(c, 0).x(), 0, w, kHeaderHeight);
    p.drawText(head, Qt::AlignCenter, QString::number(c + 1));
  }
  for (int f = s.firstFrameShown; f <= lastFrame; ++f) {
    const QRect label(0, CellRect(0, f).y(), kLabelWidth, h);
    p.drawText(label, Qt::AlignCenter, QString::number(f + 1));
    for (int c = s.firstColumnShown; c <= lastColumn; ++c) {
      const QRect cell = CellRect(c, f);
      const SheetBlock& b = s.selection;
      const bool selected = c >= b.firstColumn && c <= b.lastColumn && f >= b.firstFrame && f <= b.lastFrame;
      p.fillRect(cell, selected ? palette().highlight() : (c == 0 ? palette().alternateBase() : palette().base()));
      p.setPen(palette().mid().color());
      p.drawRect(cell.adjusted(0, 0, -1, -1));
      const std::uint16_t tag = SheetTagAt(c, f);
      if (tag == 0) continue;
      if (const SheetStamp* stamp = tag == kSheetFile ? SheetStampAt(c, f, w - 4, h - 4, false) : nullptr) {
        const QImage image(stamp->rgb.data(), stamp->width, stamp->height, stamp->width * 3, QImage::Format_RGB888);
        p.drawImage(QPoint(cell.x() + (w - stamp->width) / 2, cell.y() + (h - stamp->height) / 2), image);
        continue;
      }
      std::string text = SheetStatusText(c, f);
      text = text.substr(text.find(": ") == std::string::npos ? 0 : text.find(": ") + 2);
      p.setPen(selected ? palette().highlightedText().color() : palette().text().color());
      p.drawText(cell.adjusted(2, 2, -2, -2), Qt::AlignCenter | Qt::TextWrapAnywhere, QString::fromStdString(text));
    }
  }
}

void SheetGrid::mousePressEvent(QMouseEvent* event) {
  int c = 0, f = 0;
  if (event->button() != Qt::LeftButton || !CellAt(event->position().toPoint(), c, f)) return;
  if (!(event->modifiers() & Qt::ShiftModifier)) anchorColumn_ = c, anchorFrame_ = f;
  SelectSheetBlock({anchorColumn_, c, anchorFrame_, f});
  if (auto* w = WindowOf(this)) w->Refresh();
}

void SheetGrid::mouseMoveEvent(QMouseEvent* event) {
  int c = 0, f = 0;
  if (!CellAt(event->position().toPoint(), c, f)) return;
  if (event->buttons() & Qt::LeftButton) {
    SelectSheetBlock({anchorColumn_, c, anchorFrame_, f});
    update();
  }
  if (auto* w = WindowOf(this)) w->ShowCell(c, f);
}

void SheetGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  int c = 0, f = 0;
  if (event->button() != Qt::LeftButton || !CellAt(event->position().toPoint(), c, f)) return;
  switch (SheetTagAt(c, f)) {
    case kSheetFile: EditFileCell(this, c, f); break;
    case kSheetOp: EditOpCell(this, c, f); break;
    case kSheetArea: EditAreaCell(this, c, f); break;
    default: ImportCell(this, c, f); break;
  }
  if (auto* w = WindowOf(this)) w->Refresh();
}

void SheetGrid::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void SheetGrid::dropEvent(QDropEvent* event) {
  std::vector<std::string> files;
  for (const QUrl& url : event->mimeData()->urls())
    if (url.isLocalFile()) files.push_back(url.toLocalFile().toStdString());
  int c = 0, f = 0;
  // Dropped outside the selection: the cell it fell on starts the block.
  if (CellAt(event->position().toPoint(), c, f)) {
    const SheetBlock& b = Sheet().selection;
    if (c < b.firstColumn || c > b.lastColumn || f < b.firstFrame || f > b.lastFrame)
      SelectSheetBlock({c, c, f, SheetFrames() - 1});
  }
  PlaceSheetFiles(files);
  event->acceptProposedAction();
  if (auto* w = WindowOf(this)) w->Refresh();
}

void SheetGrid::resizeEvent(QResizeEvent*) {
  if (auto* w = WindowOf(this)) w->Refresh();
}

ExposureSheetWindow::ExposureSheetWindow(QWidget* parent) : QWidget(parent) {
  setObjectName(QStringLiteral("PosExp"));
  setWindowTitle(QStringLiteral("Exposure Sheet"));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* buttons = new QGridLayout;
  int i = 0;
  for (int id : kCommands) {
    auto* b = new QToolButton(this);
    b->setText(Text(id));
    b->setObjectName(Text(id));
    b->setToolTip(Text(id));
    connect(b, &QToolButton::clicked, this, [this, id] { Run(id); });
    buttons->addWidget(b, i / 9, i % 9);
    ++i;
  }
  grid_ = new SheetGrid(this);
  across_ = new QScrollBar(Qt::Horizontal, this);
  across_->setObjectName(QStringLiteral("Columns"));
  down_ = new QScrollBar(Qt::Vertical, this);
  down_->setObjectName(QStringLiteral("Frames"));
  connect(across_, &QScrollBar::valueChanged, this, [this](int v) {
    Sheet().firstColumnShown = v;
    grid_->update();
  });
  connect(down_, &QScrollBar::valueChanged, this, [this](int v) {
    Sheet().firstFrameShown = v;
    grid_->update();
  });
  status_ = new QLabel(this);
  status_->setObjectName(QStringLiteral("Status"));
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

void ExposureSheetWindow::Run(int id) {
  switch (id) {
    case 6434: {
      const SheetBlock& b = Sheet().selection;
      ImportCell(this, b.firstColumn, b.firstFrame);
      break;
    }
    case 6438:
      if (auto* sub = qobject_cast<QMdiSubWindow*>(parentWidget())) sub->close();
      else close();
      return;
    case 6441: Placement(this); break;
    case 6442: RunSequenceControls(this); break;
    case 6445: RunCellSizing(this); break;
    default: SheetCommand(id); break;
  }
  Refresh();
}

void ExposureSheetWindow::ShowCell(int column, int frame) {
  char where[64];
  std::snprintf(where, sizeof where, "Exp F:%ld A:%ld", static_cast<long>(frame + 1), static_cast<long>(column + 1));
  status_->setText(QString::fromUtf8(where) + QStringLiteral("   ") + QString::fromStdString(SheetStatusText(column, frame)));
}

void ExposureSheetWindow::Refresh() {
  SheetState& s = Sheet();
  {
    QSignalBlocker a(across_), d(down_);
    across_->setRange(0, kSheetColumns - 1);
    across_->setPageStep(grid_->VisibleColumns());
    down_->setRange(0, std::max(0, SheetFrames() - 1));
    down_->setPageStep(grid_->VisibleFrames());
    s.firstColumnShown = std::clamp(s.firstColumnShown, 0, kSheetColumns - 1);
    s.firstFrameShown = std::clamp(s.firstFrameShown, 0, std::max(0, SheetFrames() - 1));
    across_->setValue(s.firstColumnShown);
    down_->setValue(s.firstFrameShown);
  }
  across_->setToolTip(QStringLiteral("Exp Action:%1").arg(s.selection.firstColumn + 1));
  down_->setToolTip(QStringLiteral("Exp Frame:%1").arg(s.selection.firstFrame + 1));
  ShowCell(s.selection.firstColumn, s.selection.firstFrame);
  grid_->update();
  // Thumbnails are made after the paint, never inside it (a file that will
  // not read shows its message).
  QTimer::singleShot(0, this, [this] { MakeStamps(); });
}

void ExposureSheetWindow::MakeStamps() {
  const SheetState& s = Sheet();
  const int w = Anim().timeline.cellWidth, h = Anim().timeline.cellHeight;
  bool made = false;
  const int lastColumn = std::min(kSheetColumns - 1, s.firstColumnShown + grid_->VisibleColumns());
  const int lastFrame = std::min(SheetFrames() - 1, s.firstFrameShown + grid_->VisibleFrames());
  for (int c = s.firstColumnShown; c <= lastColumn; ++c)
    for (int f = s.firstFrameShown; f <= lastFrame; ++f)
      if (SheetTagAt(c, f) == kSheetFile && !SheetStampAt(c, f, w - 4, h - 4, false) && !SheetCellAt(c, f)->stamp.tried)
        made = SheetStampAt(c, f, w - 4, h - 4, true) != nullptr || made;
  if (made) grid_->update();
}

void ExposureSheetWindow::closeEvent(QCloseEvent* event) {
  if (AskToSaveSheet() != 0) {
    event->ignore();
    return;
  }
  Sheet().windowOpen = false;
  Sheet().redraw = nullptr;
  event->accept();
}

ExposureSheetWindow* FindExposureSheetWindow(QMdiArea* area) { return FindMdiChild<ExposureSheetWindow>(area); }

void ToggleExposureSheetWindow(QMdiArea* area) {
  if (ExposureSheetWindow* open = FindExposureSheetWindow(area)) {
    CloseMdiFrame(open);
    return;
  }
  if (!area) return;
  auto* window = new ExposureSheetWindow;
  QMdiSubWindow* sub = area->addSubWindow(window);
  if (!sub) {
    ShowMessageWith(kMessageNoWindow, "for exposure sheet");
    return;
  }
  sub->setAttribute(Qt::WA_DeleteOnClose);
  sub->resize(560, 360);
  sub->show();
  Sheet().windowOpen = true;
  QPointer<QMdiArea> mdi(area);
  Sheet().redraw = [mdi] {
    if (ExposureSheetWindow* w = FindExposureSheetWindow(mdi)) w->Refresh();
  };
}

}  // namespace qv::ui
