#include "ops/ui/op_settings_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "app/commands.h"
#include "app/messages.h"
#include "app/program.h"
#include "app/string_table.h"
#include "extlib/palette_library.h"
#include "ops/op_controls.h"
#include "ops/op_menu.h"
#include "ops/op_state.h"

namespace qv::ui {
namespace {

constexpr OpId kEnlarge = 3173;
constexpr OpId kReduce = 3174;
constexpr int kColourTrendNote = 16101;
constexpr int kLoadSettingsCommand = 628;
constexpr int kSaveSettingsCommand = 629;

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

std::string_view LabelOf(const ParamSlot& s) { return LoadString(static_cast<int>(s.labelId)); }

QString ColourSheet(int r, int g, int b) {
  return QStringLiteral("background: rgb(%1,%2,%3); border: 1px solid #444;").arg(r).arg(g).arg(b);
}

}  // namespace

OpSettingsWindow::OpSettingsWindow(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setObjectName(QStringLiteral("opClass"));
  setAttribute(Qt::WA_DeleteOnClose);
  layout_ = new QVBoxLayout(this);
  layout_->setSizeConstraint(QLayout::SetFixedSize);
  const WindowPlace& place = TheProgram().settings.op;
  move(place.x, place.y);
}

void OpSettingsWindow::Clear() {
  rows_.clear();
  swatches_.clear();
  swatchFirstSlot_.clear();
  oldSize_ = nullptr;
  // The old rows may be the very sender of the signal that brought us here
  // (Load refills the window): they go once the event is over.
  if (body_) {
    body_->hide();
    body_->setParent(nullptr);
    body_->deleteLater();
  }
  body_ = new QWidget(this);
  layout_->addWidget(body_);
}

void OpSettingsWindow::ShowOperation(OpId id) {
  op_ = IsCatalogued(id) ? id : OpAt(0).id;
  Clear();
  setWindowTitle(Q(SettingsWindowTitle(op_)));
  auto* grid = new QGridLayout(body_);
  const OpEntry& e = OpOf(op_);
  int gridRow = 0;
  for (int k = 0; k < kSlotCount; ++k) {
    const ParamSlot& s = e.slots[k];
    if (!s.labelId) break;
    Row row;
    row.slot = k;
    row.label = new QLabel(Q(RowLabel(op_, k)), body_);
    grid->addWidget(row.label, gridRow, 0);
    if (s.kind == kParamColour) {
      row.colour = new QPushButton(body_);
      row.colour->setFixedWidth(60);
      connect(row.colour, &QPushButton::clicked, this, [this, k] {
        Rgb c = UnpackColour(static_cast<std::uint32_t>(ParamValue(op_, k)));
        std::string title(LabelOf(OpOf(op_).slots[k]));
        if (AskCol(&c.red, &c.green, &c.blue, title) != 0) return;
        SetParamValue(op_, k, static_cast<std::int32_t>(PackColour(c)));
        Changed(k);
      });
      grid->addWidget(row.colour, gridRow, 1);
    } else if (IsSwitchRow(s)) {
      row.check = new QCheckBox(body_);
      connect(row.check, &QCheckBox::clicked, this, [this, k](bool on) {
        SetParamValue(op_, k, on ? 1 : 0);
        Changed(k);
      });
      grid->addWidget(row.check, gridRow, 1);
    } else {
      AddNumberRow(row, s);
      grid->addWidget(row.bar, gridRow, 1);
      grid->addWidget(row.edit, gridRow, 2);
    }
    row.trend = new QPushButton(QStringLiteral("Trend"), body_);
    row.trend->setObjectName(QStringLiteral("trend%1").arg(k));
    // Numbers are trended in the Trend editor once it exists; a colour is
    // trended through the TimeLine, which the note says.
    row.trend->setEnabled(s.kind == kParamColour);
    connect(row.trend, &QPushButton::clicked, this, [] { ShowNote(LoadString(kColourTrendNote)); });
    grid->addWidget(row.trend, gridRow, 3);
    rows_.push_back(row);
    ++gridRow;
  }
  // A swatch under every red, green and blue trio shows the colour they make.
  for (std::size_t i = 0; i + 2 < rows_.size(); ++i) {
    const int k = rows_[i].slot;
    if (EndsWith(LabelOf(e.slots[k]), "Red") && EndsWith(LabelOf(e.slots[k + 1]), "Green") &&
        EndsWith(LabelOf(e.slots[k + 2]), "Blue")) {
      auto* swatch = new QPushButton(body_);
      swatch->setObjectName(QStringLiteral("swatch%1").arg(swatches_.size()));
      swatch->setFixedHeight(18);
      // Clicking the swatch picks the trio with the colour chooser.
      connect(swatch, &QPushButton::clicked, this, [this, k] {
        int c[3] = {ParamValue(op_, k), ParamValue(op_, k + 1), ParamValue(op_, k + 2)};
        if (AskCol(&c[0], &c[1], &c[2], std::string(OpName(op_))) != 0) return;
        for (int j = 0; j < 3; ++j) SetParamValue(op_, k + j, std::clamp(c[j], 0, 255));
        Changed(k);
      });
      grid->addWidget(swatch, gridRow++, 1, 1, 2);
      swatches_.push_back(swatch);
      swatchFirstSlot_.push_back(k);
    }
  }
  if (rows_.empty()) grid->addWidget(new QLabel(QStringLiteral("No settings"), body_), gridRow++, 0, 1, 4);
  if (op_ == kEnlarge || op_ == kReduce) {
    oldSize_ = new QLabel(body_);
    grid->addWidget(oldSize_, gridRow++, 0, 1, 4);
  }
  AddButtons();
  Refresh();
}

void OpSettingsWindow::AddNumberRow(Row& row, const ParamSlot& s) {
  const int k = row.slot;
  row.bar = new QScrollBar(Qt::Horizontal, body_);
  row.bar->setObjectName(QStringLiteral("bar%1").arg(k));
  row.bar->setRange(s.dialMin, s.dialMax);
  row.bar->setSingleStep(1);
  row.bar->setPageStep(10);
  row.bar->setMinimumWidth(160);
  row.edit = new QLineEdit(body_);
  row.edit->setObjectName(QStringLiteral("edit%1").arg(k));
  row.edit->setFixedWidth(60);
  QScrollBar* bar = row.bar;
  QLineEdit* edit = row.edit;
  // The engine decides every step; the bar only shows where it landed.
  connect(bar, &QAbstractSlider::actionTriggered, this, [this, bar, edit, k](int action) {
    ScrollStep step;
    switch (action) {
      case QAbstractSlider::SliderSingleStepSub: step = ScrollStep::LineLeft; break;
      case QAbstractSlider::SliderSingleStepAdd: step = ScrollStep::LineRight; break;
      case QAbstractSlider::SliderPageStepSub: step = ScrollStep::PageLeft; break;
      case QAbstractSlider::SliderPageStepAdd: step = ScrollStep::PageRight; break;
      case QAbstractSlider::SliderMove: step = ScrollStep::Thumb; break;
      default: return;
    }
    std::int32_t v = ScrollParam(op_, k, step, bar->sliderPosition());
    bar->setSliderPosition(v);
    edit->setText(QString::number(v));
    Changed(k);
  });
  // Read when the edit is left (or confirmed) after a change.
  connect(edit, &QLineEdit::editingFinished, this, [this, bar, edit, k] {
    if (!edit->isModified()) return;
    std::int32_t v = EditParam(op_, k, edit->text().toStdString());
    edit->setText(QString::number(v));
    edit->setModified(false);
    const QSignalBlocker block(bar);
    bar->setValue(v);
    Changed(k);
  });
}

void OpSettingsWindow::AddButtons() {
  auto* buttons = new QHBoxLayout;
  auto* load = new QPushButton(QStringLiteral("&Load..."), body_);
  auto* save = new QPushButton(QStringLiteral("&Save..."), body_);
  load->setObjectName(QStringLiteral("loadSettings"));
  save->setObjectName(QStringLiteral("saveSettings"));
  connect(load, &QPushButton::clicked, this, [] { RouteCommand(kLoadSettingsCommand); });
  connect(save, &QPushButton::clicked, this, [] { RouteCommand(kSaveSettingsCommand); });
  buttons->addStretch();
  buttons->addWidget(load);
  buttons->addWidget(save);
  static_cast<QGridLayout*>(body_->layout())->addLayout(buttons, body_->layout()->count(), 0, 1, 4);
}

void OpSettingsWindow::Changed(int) {
  if (op_ == kEnlarge || op_ == kReduce) {
    RecoupleSize(op_);
    Refresh();
    return;
  }
  PaintSwatches();
}

void OpSettingsWindow::PaintSwatches() {
  for (std::size_t i = 0; i < swatches_.size(); ++i) {
    int k = swatchFirstSlot_[i];
    swatches_[i]->setStyleSheet(ColourSheet(ParamValue(op_, k), ParamValue(op_, k + 1), ParamValue(op_, k + 2)));
  }
  for (const Row& row : rows_)
    if (row.colour) {
      Rgb c = UnpackColour(static_cast<std::uint32_t>(ParamValue(op_, row.slot)));
      row.colour->setStyleSheet(ColourSheet(c.red, c.green, c.blue));
    }
}

void OpSettingsWindow::Refresh() {
  for (const Row& row : rows_) {
    std::int32_t v = ParamValue(op_, row.slot);
    if (row.bar) {
      const QSignalBlocker block(row.bar);
      row.bar->setValue(v);
      row.edit->setText(QString::number(v));
      row.edit->setModified(false);
    }
    if (row.check) row.check->setChecked(v != 0);
  }
  if (oldSize_) {
    const OpsState& ops = TheProgram().ops;
    oldSize_->setText(QStringLiteral("Old Width: %1   Old Height: %2").arg(ops.oldWidth).arg(ops.oldHeight));
  }
  PaintSwatches();
}

void OpSettingsWindow::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  if (isVisible()) TheProgram().settings.op = {x(), y(), 0, 0};
}

// Closed by the person (not by the engine, which renames it first): the
// controls are switched off as the menu item would.
void OpSettingsWindow::closeEvent(QCloseEvent* event) {
  if (objectName() == QLatin1String("opClass")) TheProgram().ops.showControls = false;
  setObjectName(QString());  // no longer found while it waits to be deleted
  QWidget::closeEvent(event);
}

OpSettingsWindow* FindOpSettingsWindow(QWidget* parent) {
  return parent ? parent->findChild<OpSettingsWindow*>(QStringLiteral("opClass"), Qt::FindDirectChildrenOnly)
                : nullptr;
}

void InstallOpSettingsHooks(QWidget* parent) {
  QPointer<QWidget> owner(parent);
  OpsHooks& hooks = TheProgram().ops.hooks;
  hooks.openSettings = [owner](OpId, OpId current) {
    if (!owner) return;
    OpSettingsWindow* w = FindOpSettingsWindow(owner);
    if (!w) w = new OpSettingsWindow(owner);
    w->ShowOperation(current);
    w->show();
    w->raise();
  };
  hooks.closeSettings = [owner] {
    if (OpSettingsWindow* w = FindOpSettingsWindow(owner)) {
      w->setObjectName(QStringLiteral("closing"));  // the engine closes it, the controls stay as they are
      w->close();
    }
  };
  hooks.refreshSettings = [owner] {
    if (OpSettingsWindow* w = FindOpSettingsWindow(owner)) w->ShowOperation(CurrentOp());
  };
}

void RemoveOpSettingsHooks() {
  OpsHooks& hooks = TheProgram().ops.hooks;
  hooks.openSettings = nullptr;
  hooks.closeSettings = nullptr;
  hooks.refreshSettings = nullptr;
  hooks.markOperation = nullptr;
}

}  // namespace qv::ui
