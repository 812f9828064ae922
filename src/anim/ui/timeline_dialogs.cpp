#include "anim/ui/timeline_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cstring>

#include "anim/anim_state.h"
#include "anim/ui/trend_window.h"
#include "app/program.h"
#include "app/ui/dialog_buttons.h"
#include "area/area_mask.h"
#include "area/stored_area.h"
#include "base/host.h"
#include "base/string_table.h"
#include "ops/op_menu.h"
#include "ops/op_state.h"
#include "store/image_record.h"

namespace qv::ui {
namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

QString Title(const char* what, int level, int frame) {
  return QStringLiteral("%1: Frame %2, Level %3").arg(QString::fromLatin1(what)).arg(frame + 1).arg(level + 1);
}

QPushButton* Button(QWidget* parent, QLayout* layout, const QString& text) {
  auto* b = new QPushButton(text, parent);
  b->setObjectName(text);
  b->setAutoDefault(false);
  layout->addWidget(b);
  return b;
}

QSpinBox* Spin(QWidget* parent, const QString& name, int lo, int hi, int value) {
  auto* s = new QSpinBox(parent);
  s->setObjectName(name);
  s->setRange(lo, hi);
  s->setValue(value);
  s->setSingleStep(1);
  return s;
}

}  // namespace

int RunAddToTimeLine(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Add to Time Line"));
  dialog.setObjectName(QStringLiteral("Add to Time Line"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* group = new QButtonGroup(&dialog);
  const char* texts[4] = {"Source Image", "Area Selection", "Operation", "Action Image"};
  for (int i = 0; i < 4; ++i) {
    auto* b = new QRadioButton(QString::fromLatin1(texts[i]), &dialog);
    b->setObjectName(QString::fromLatin1(texts[i]));
    group->addButton(b, 6011 + i);  // the ids of the four choices
    layout->addWidget(b);
  }
  group->button(6013)->setChecked(true);
  layout->addWidget(OkCancel(&dialog));
  if (dialog.exec() != QDialog::Accepted) return 0;
  return group->checkedId() - 6011 + kRowSource;
}

void RunTimeOp(QWidget* parent, int level, int frame) {
  const OpSettings* record = OpRecordOf(CellAt(level, frame, kRowOp));
  if (!record) return;
  const OpId op = record->id;
  QDialog dialog(parent);
  dialog.setWindowTitle(Title("Time Line Operation", level, frame));
  dialog.setObjectName(QStringLiteral("TimeOp"));
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(QStringLiteral("Operation: ") + Q(OpName(op)), &dialog));
  auto* interpolate = new QCheckBox(QStringLiteral("Interpolate Settings"), &dialog);
  interpolate->setObjectName(QStringLiteral("Interpolate Settings"));
  interpolate->setChecked(record->interpolate != 0);
  layout->addWidget(interpolate);
  QObject::connect(interpolate, &QCheckBox::toggled, &dialog, [=](bool on) {
    if (OpSettings* r = OpRecordOf(CellAt(level, frame, kRowOp))) r->interpolate = on;
    Anim().timeline.modified = true;
  });
  auto* buttons = new QVBoxLayout;
  layout->addLayout(buttons);
  QObject::connect(Button(&dialog, buttons, QStringLiteral("Get Current Settings")), &QPushButton::clicked, &dialog,
                   [=] { RefreshOpRecord(level, frame, false); });
  QObject::connect(Button(&dialog, buttons, QStringLiteral("Get Settings from Trends")), &QPushButton::clicked, &dialog,
                   [=] { RefreshOpRecord(level, frame, true); });
  QObject::connect(Button(&dialog, buttons, QStringLiteral("Set Current Settings")), &QPushButton::clicked, &dialog,
                   [&dialog, level, frame, op] {
                     // The settings window shows the operation, then its values.
                     if (CurrentOp() != op) SelectOperation(static_cast<int>(op));
                     UseOpRecord(level, frame);
                     RefreshSettingsDialog();
                     dialog.accept();
                   });
  QObject::connect(Button(&dialog, buttons, QStringLiteral("Set Trends")), &QPushButton::clicked, &dialog,
                   [&dialog, op, level] { RunSetTrends(&dialog, op, level); });
  QPushButton* source = Button(&dialog, buttons, QStringLiteral("Browse for Source Image"));
  source->setEnabled(NeedsSource(op));
  QObject::connect(source, &QPushButton::clicked, &dialog, [&dialog, level, frame] {
    if (!IsRecordCell(CellAt(level, frame, kRowSource)) && !AddFileAt(level, frame, kRowSource)) return;
    RunSrcOp(&dialog, level, frame, kRowSource);
  });
  QObject::connect(Button(&dialog, buttons, QStringLiteral("Browse for Action Image")), &QPushButton::clicked, &dialog,
                   [&dialog, level, frame] {
                     if (!IsRecordCell(CellAt(level, frame, kRowAction)) && !AddFileAt(level, frame, kRowAction)) return;
                     RunSrcOp(&dialog, level, frame, kRowAction);
                   });
  QObject::connect(Button(&dialog, buttons, QStringLiteral("Remove")), &QPushButton::clicked, &dialog, [&dialog, level, frame] {
    RemoveRecordAt(level, frame, kRowOp);
    dialog.accept();
  });
  auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QObject::connect(ok, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  layout->addWidget(ok);
  dialog.exec();
}

bool RunSrcOp(QWidget* parent, int level, int frame, int row) {
  TimeFileRecord* record = FileRecordOf(CellAt(level, frame, row));
  if (!record) return false;
  const bool action = row == kRowAction;
  QDialog dialog(parent);
  dialog.setWindowTitle(Title(action ? "Time Line Action Image" : "Time Line Source Image", level, frame));
  dialog.setObjectName(QStringLiteral("SrcOp"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* name = new QLabel(&dialog);
  name->setObjectName(QStringLiteral("File"));
  layout->addWidget(name);
  auto* video = new QCheckBox(QStringLiteral("This is a video sequence"), &dialog);
  video->setObjectName(video->text());
  auto* start = Spin(&dialog, QStringLiteral("Start Frame"), 1, kMaxStartFrame, 1);
  start->setSingleStep(1);
  auto* increment = Spin(&dialog, QStringLiteral("Frame Increment"), 1, kMaxIncrement, 1);
  auto* form = new QFormLayout;
  form->addRow(video);
  form->addRow(QStringLiteral("Start Frame"), start);
  form->addRow(QStringLiteral("Frame Increment"), increment);
  // The record may be replaced while the dialog is open (a file chosen).
  auto current = [=] { return FileRecordOf(CellAt(level, frame, row)); };
  auto show = [=] {
    const TimeFileRecord* r = current();
    if (!r) return;
    QSignalBlocker b1(video), b2(start), b3(increment);
    name->setText(Q(CellText(row, CellAt(level, frame, row))));
    video->setChecked(r->video != 0);
    start->setValue(r->startFrame);
    increment->setValue(std::max(1, r->increment));
  };
  auto* buttons = new QHBoxLayout;
  QObject::connect(Button(&dialog, buttons, QStringLiteral("Browse for Image File")), &QPushButton::clicked, &dialog, [=] {
    auto files = TheHost().ChooseFiles({action ? "Specify Action Image" : "Specify Source File", "All Images (*.*)",
                                        TheProgram().files.imagePath, true});
    if (TimeFileRecord* r = current(); r && !files.empty()) AssignFiles(files, r, level, frame, row);
    show();
  });
  QObject::connect(Button(&dialog, buttons, QStringLiteral("Use Loaded Image")), &QPushButton::clicked, &dialog, [=, &dialog] {
    const std::string chosen = RunSpecifyLoadedImage(&dialog, level);
    TimeFileRecord* r = current();
    if (r && !chosen.empty()) {
      AssignFiles({chosen}, r, level, frame, row);
      r->fromLoadedImage = chosen.rfind("Level(", 0) != 0;
    }
    show();
  });
  bool removed = false;
  QObject::connect(Button(&dialog, buttons, QStringLiteral("Remove")), &QPushButton::clicked, &dialog, [&, level, frame, row] {
    RemoveRecordAt(level, frame, row);
    removed = true;
    dialog.accept();
  });
  QObject::connect(video, &QCheckBox::toggled, &dialog, [=](bool on) {
    if (TimeFileRecord* r = current()) r->video = on;
  });
  QObject::connect(start, &QSpinBox::valueChanged, &dialog, [=](int v) {
    if (TimeFileRecord* r = current()) r->startFrame = v;
  });
  QObject::connect(increment, &QSpinBox::valueChanged, &dialog, [=](int v) {
    if (TimeFileRecord* r = current()) r->increment = v;
  });
  layout->addLayout(form);
  layout->addLayout(buttons);
  auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QObject::connect(ok, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  layout->addWidget(ok);
  show();
  dialog.exec();
  Anim().timeline.modified = true;
  if (removed) return false;
  const TimeFileRecord* r = current();
  return r && r->fileName[0] != '\0';
}

void RunAreaCell(QWidget* parent, int level, int frame) {
  StoredArea* record = AreaRecordOf(CellAt(level, frame, kRowArea));
  if (!record) return;
  QDialog dialog(parent);
  dialog.setWindowTitle(Title("Time Line Area Selection", level, frame));
  dialog.setObjectName(QStringLiteral("Time Line Area Selection"));
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(QStringLiteral("Area: ") + Q(LoadString(record->mode)), &dialog));
  auto* interpolate = new QCheckBox(QStringLiteral("Interpolate"), &dialog);
  interpolate->setObjectName(interpolate->text());
  interpolate->setChecked(record->interpolate != 0);
  QObject::connect(interpolate, &QCheckBox::toggled, &dialog, [=](bool on) {
    if (StoredArea* r = AreaRecordOf(CellAt(level, frame, kRowArea))) r->interpolate = on;
    Anim().timeline.modified = true;
  });
  layout->addWidget(interpolate);
  QObject::connect(Button(&dialog, layout, QStringLiteral("Set Current Area")), &QPushButton::clicked, &dialog, [=, &dialog] {
    ImageRecord* image = TheProgram().images.current;
    const StoredArea* r = AreaRecordOf(CellAt(level, frame, kRowArea));
    if (r && image && ImageIndex(image) >= 0 && ApplyStoredArea(*r, image, -1) == 0) TraceMaskOutline();
    TheHost().RedrawViews();
    dialog.accept();
  });
  QObject::connect(Button(&dialog, layout, QStringLiteral("Replace with Current Area")), &QPushButton::clicked, &dialog,
                   [&dialog, level, frame] {
                     AddAreaAt(level, frame);
                     dialog.accept();
                   });
  QObject::connect(Button(&dialog, layout, QStringLiteral("Remove")), &QPushButton::clicked, &dialog, [&dialog, level, frame] {
    RemoveRecordAt(level, frame, kRowArea);
    dialog.accept();
  });
  auto* ok = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QObject::connect(ok, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  layout->addWidget(ok);
  dialog.exec();
}

std::string RunSpecifyLoadedImage(QWidget* parent, int level) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Specify Loaded Image"));
  dialog.setObjectName(QStringLiteral("Specify Loaded Image"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* result = new QRadioButton(QStringLiteral("Use previous Time Line Result"), &dialog);
  result->setObjectName(result->text());
  auto* below = Spin(&dialog, QStringLiteral("Level"), 1, std::max(1, level), std::max(1, level));
  result->setEnabled(level > 0);
  below->setEnabled(level > 0);
  auto* memory = new QRadioButton(QStringLiteral("Use image currently in memory"), &dialog);
  memory->setObjectName(memory->text());
  auto* images = new QListWidget(&dialog);
  images->setObjectName(QStringLiteral("Images"));
  for (int i = 0; i < ImageCount(); ++i) images->addItem(QString::fromUtf8(ImageAt(i)->name));
  if (images->count()) images->setCurrentRow(0);
  (level > 0 ? result : memory)->setChecked(true);
  auto* row = new QHBoxLayout;
  row->addWidget(result);
  row->addWidget(new QLabel(QStringLiteral("Level"), &dialog));
  row->addWidget(below);
  layout->addLayout(row);
  layout->addWidget(memory);
  layout->addWidget(images);
  layout->addWidget(OkCancel(&dialog));
  if (dialog.exec() != QDialog::Accepted) return {};
  if (result->isChecked()) return "Level(" + std::to_string(below->value()) + ")";
  ImageRecord* image = ImageAt(images->currentRow());
  if (!image) return {};
  // The TimeLine takes the picture as it is now.
  image->changed = 0;
  return std::string(image->name, strnlen(image->name, sizeof image->name));
}

bool RunCellSizing(QWidget* parent) {
  TimeLineState& t = Anim().timeline;
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Cell Sizing"));
  dialog.setObjectName(QStringLiteral("Cell Sizing"));
  auto* layout = new QVBoxLayout(&dialog);
  auto* width = Spin(&dialog, QStringLiteral("Width"), 16, 256, t.cellWidth);
  auto* height = Spin(&dialog, QStringLiteral("Height"), 16, 256, t.cellHeight);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Width"), width);
  form->addRow(QStringLiteral("Height"), height);
  layout->addLayout(form);
  auto* presets = new QHBoxLayout;
  for (auto [w, h] : {std::pair{36, 32}, {54, 38}, {64, 48}, {64, 64}}) {
    QPushButton* b = Button(&dialog, presets, QStringLiteral("%1 x %2").arg(w).arg(h));
    QObject::connect(b, &QPushButton::clicked, &dialog, [=] {
      width->setValue(w);
      height->setValue(h);
    });
  }
  layout->addLayout(presets);
  layout->addWidget(OkCancel(&dialog));
  if (dialog.exec() != QDialog::Accepted) return false;
  t.cellWidth = width->value();
  t.cellHeight = height->value();
  return true;
}

void RunSetTrends(QWidget* parent, std::uint32_t op, int level) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Set Trends"));
  dialog.setObjectName(QStringLiteral("TreDlg"));
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(new QLabel(Q(OpName(op)) + QStringLiteral("   Level: %1").arg(level + 1), &dialog));
  layout->addWidget(new QLabel(QStringLiteral("Available Trends"), &dialog));
  auto* list = new QListWidget(&dialog);
  list->setObjectName(QStringLiteral("Available Trends"));
  const OpEntry& e = OpOf(op);
  std::vector<int> slots;
  for (int k = 0; k < kSlotCount; ++k)
    if (e.slots[k].labelId != 0) {
      list->addItem(Q(LoadString(static_cast<int>(e.slots[k].labelId))));
      slots.push_back(k);
    }
  if (list->count()) list->setCurrentRow(0);
  layout->addWidget(list);
  QPushButton* adjust = Button(&dialog, layout, QStringLiteral("Adjust this trend"));
  QObject::connect(adjust, &QPushButton::clicked, &dialog, [&, level] {
    const int row = list->currentRow();
    if (row < 0) return;
    // The Trend of this level, whatever level the cursor is on.
    TimeLineCursor& cursor = Anim().timeline.cursor;
    const int kept = cursor.level;
    cursor.level = level;
    OpenTrendOfSlot(e.id, e.slots[slots[static_cast<std::size_t>(row)]]);
    cursor.level = kept;
  });
  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QObject::connect(close, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(close);
  dialog.exec();
}

bool RunTrendExtents(QWidget* parent, Trend& trend) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Set Trend Extents"));
  dialog.setObjectName(QStringLiteral("ExtDlg"));
  auto limit = [](std::int32_t v, std::int32_t none) {
    return v == none ? QStringLiteral("(no limit)") : QString::number(v);
  };
  auto* form = new QFormLayout(&dialog);
  form->addRow(QStringLiteral("Maximum:"), new QLabel(limit(trend.maximum, kNoUpperLimit), &dialog));
  form->addRow(QStringLiteral("Minimum:"), new QLabel(limit(trend.minimum, kNoLowerLimit), &dialog));
  auto* upper = Spin(&dialog, QStringLiteral("Upper Extent"), trend.minimum + 1, trend.maximum, trend.upper);
  auto* lower = Spin(&dialog, QStringLiteral("Lower Extent"), trend.minimum, trend.maximum - 1, trend.lower);
  // Each keeps clear of the other.
  QObject::connect(lower, &QSpinBox::valueChanged, &dialog, [=](int v) {
    if (upper->value() <= v) upper->setValue(v + 1);
  });
  QObject::connect(upper, &QSpinBox::valueChanged, &dialog, [=](int v) {
    if (lower->value() >= v) lower->setValue(v - 1);
  });
  form->addRow(QStringLiteral("Upper Extent"), upper);
  form->addRow(QStringLiteral("Lower Extent"), lower);
  form->addRow(OkCancel(&dialog));
  if (dialog.exec() != QDialog::Accepted) return false;
  SetTrendExtents(trend, lower->value(), upper->value());
  return true;
}

}  // namespace qv::ui
