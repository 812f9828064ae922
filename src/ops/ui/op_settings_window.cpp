#include "ops/ui/op_settings_window.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>

#include "anim/trends.h"
#include "anim/ui/zelvane_controls.h"
#include "app/commands.h"
#include "app/program.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "extlib/palette_library.h"
#include "ops/apply.h"
#include "ops/colour_commands.h"
#include "ops/op_controls.h"
#include "ops/op_menu.h"
#include "ops/op_state.h"
#include "ops/ui/colour_controls.h"
#include "store/image_record.h"
#include "ops/ui/profile_window.h"
#include "ops/effect_support.h"
#include "ops/lighting_ops.h"
#include "ops/math_ops.h"
#include "ops/texture_ops.h"
#include "ops/geometric_ops.h"
#include "ops/glass_flame_ops.h"
#include "ops/perspective_handles.h"
#include "display/views.h"
#include "base/host.h"

namespace qv::ui {
namespace {

constexpr OpId kEnlarge = 3173;
constexpr OpId kReduce = 3174;
constexpr OpId kBalance = 3184, kHistogram = 3185, kSample = 3187, kColorize = 3188, kRemap = 3189;
constexpr OpId kMakeArea = 3191;
constexpr int kUpdateTimeLineText = 16161;
constexpr int kLoadSettingsCommand = 628;
constexpr int kSaveSettingsCommand = 629;

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// Rows whose values are chosen by name: Shave's "Direction", Add Images' "On Gray".
std::span<const std::string_view> ChoiceNames(OpId op, int slot) {
  if (op == kShaveOp && slot == 1) return ShaveDirectionNames();
  if (op == kAddImagesOp && slot == 0) return AddImagesModeNames();
  return {};
}

bool EndsWith(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

std::string_view LabelOf(const ParamSlot& s) { return LoadString(static_cast<int>(s.labelId)); }

QString ColourSheet(int r, int g, int b) {
  return QStringLiteral("background: rgb(%1,%2,%3); border: 1px solid #444;").arg(r).arg(g).arg(b);
}

QLabel* NewSwatch(QWidget* parent, const QString& name) {
  auto* swatch = new QLabel(parent);
  swatch->setObjectName(name);
  swatch->setFixedHeight(18);
  swatch->setMinimumWidth(60);
  return swatch;
}

QPushButton* NewButton(QWidget* parent, const QString& text, const QString& name) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  return button;
}

// A sample value with its range, as "value +/- range".
QString WithRange(const char* name, int value, int range) {
  return QStringLiteral("%1 %2 %3 %4").arg(QLatin1String(name)).arg(value).arg(QChar(0x00B1)).arg(range);
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
  source_ = nullptr;
  apply_ = nullptr;
  colour_ = {};
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
  if (mapWindow_ && op_ != kHistogram) mapWindow_->close();
  // Leaving the operation closes its profile window.
  if (profileWindow_ && profileWindow_->Operation() != op_) profileWindow_->close();
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
    } else if (const auto names = ChoiceNames(op_, k); !names.empty()) {
      row.choice = new QComboBox(body_);
      row.choice->setObjectName(QStringLiteral("choice%1").arg(k));
      for (std::string_view n : names) row.choice->addItem(Q(n));
      connect(row.choice, &QComboBox::activated, this, [this, k](int index) {
        SetParamValue(op_, k, index);
        Changed(k);
      });
      grid->addWidget(row.choice, gridRow, 1, 1, 2);
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
    // A number opens its Trend on the TimeLine's level; a colour is trended
    // through the TimeLine, which the note says.
    connect(row.trend, &QPushButton::clicked, this, [this, k] { OpenTrendOfSlot(op_, OpOf(op_).slots[k]); });
    grid->addWidget(row.trend, gridRow, 3);
    rows_.push_back(row);
    ++gridRow;
  }
  // A swatch under every red, green and blue trio shows the colour they make.
  for (std::size_t i = 0; i + 2 < rows_.size(); ++i) {
    const int k = rows_[i].slot;
    // Contour's background trio is labelled "Red backgound", "Green background" ...
    const bool background = op_ == kContourOp && k == 3;
    if (background || (EndsWith(LabelOf(e.slots[k]), "Red") && EndsWith(LabelOf(e.slots[k + 1]), "Green") &&
                       EndsWith(LabelOf(e.slots[k + 2]), "Blue"))) {
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
  if (rows_.empty() && op_ != kMakeArea) grid->addWidget(new QLabel(QStringLiteral("No settings"), body_), gridRow++, 0, 1, 4);
  AddColourControls(grid, gridRow);
  if (NeedsSource(op_)) {
    // The source combo box (6500): every loaded image; the one chosen is
    // the source of the next apply.
    source_ = new QComboBox(body_);
    source_->setObjectName(QStringLiteral("source6500"));
    connect(source_, &QComboBox::activated, this, [](int index) {
      if (index >= 0 && index < ImageCount()) Pipeline().source = ImageAt(index);
    });
    grid->addWidget(new QLabel(QStringLiteral("Source"), body_), gridRow, 0);
    grid->addWidget(source_, gridRow++, 1, 1, 3);
  }
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
  // Apply works on the current view, which the view windows know.
  apply_ = NewButton(body_, QStringLiteral("Apply"), QStringLiteral("applyButton"));
  connect(apply_, &QPushButton::clicked, this, [] {
    if (const auto& apply = TheProgram().ops.hooks.applyToCurrentView) apply();
  });
  buttons->addWidget(apply_);
  buttons->addStretch();
  buttons->addWidget(load);
  buttons->addWidget(save);
  static_cast<QGridLayout*>(body_->layout())->addLayout(buttons, body_->layout()->count(), 0, 1, 4);
}

void OpSettingsWindow::Changed(int) {
  if (op_ == kPerspective)
    if (ViewRecord* view = PerspectiveHandlesView()) TheHost().InvalidateView(view);
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
  if (colour_.sampleSwatch) {
    const Rgb c = SampleSwatch();
    colour_.sampleSwatch->setStyleSheet(ColourSheet(c.red, c.green, c.blue));
  }
  if (colour_.colorizeSwatch) {
    const Rgb c = ColorizeSwatch();
    colour_.colorizeSwatch->setStyleSheet(ColourSheet(c.red, c.green, c.blue));
  }
  if (colour_.edge) {
    int edge[3], peak[3];
    EdgeAndPeak(op_, edge, peak);
    colour_.edge->setStyleSheet(ColourSheet(edge[0], edge[1], edge[2]));
    colour_.peak->setStyleSheet(ColourSheet(peak[0], peak[1], peak[2]));
  }
  if (profileWindow_) profileWindow_->Curve()->update();
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
    if (row.choice) {
      const QSignalBlocker block(row.choice);
      row.choice->setCurrentIndex(std::clamp(v, 0, row.choice->count() - 1));
    }
  }
  if (apply_) {
    // An effect not built yet shows its settings but cannot be applied.
    const bool built = OperationAvailable(op_);
    apply_->setEnabled(built && static_cast<bool>(TheProgram().ops.hooks.applyToCurrentView));
    QString why = Q(LoadString(kNotAvailableText));
    why.replace(QStringLiteral("%s"), Q(OpName(op_)));
    apply_->setToolTip(built ? QString() : why);
  }
  RefreshColourControls();
  if (source_) {
    const QSignalBlocker block(source_);
    source_->clear();
    const ImageRecord* chosen = SourceImage();
    for (int i = 0; i < ImageCount(); ++i) {
      source_->addItem(QString::fromLocal8Bit(ImageAt(i)->name));
      if (ImageAt(i) == chosen) source_->setCurrentIndex(i);
    }
  }
  if (oldSize_) {
    const OpsState& ops = TheProgram().ops;
    oldSize_->setText(QStringLiteral("Old Width: %1   Old Height: %2").arg(ops.oldWidth).arg(ops.oldHeight));
  }
  PaintSwatches();
}

ColourMapWindow* OpSettingsWindow::MapWindow() const { return mapWindow_.data(); }
ProfileWindow* OpSettingsWindow::Profile() const { return profileWindow_.data(); }

// Asterize and Annular: the "Edge" and "Peak" colours, the profile window
// and the preset buttons.
void OpSettingsWindow::AddLightingControls(QGridLayout* grid, int& gridRow) {
  grid->addWidget(new QLabel(QStringLiteral("Edge"), body_), gridRow, 0);
  colour_.edge = NewSwatch(body_, QStringLiteral("edgeSwatch"));
  grid->addWidget(colour_.edge, gridRow++, 1, 1, 2);
  grid->addWidget(new QLabel(QStringLiteral("Peak"), body_), gridRow, 0);
  colour_.peak = NewSwatch(body_, QStringLiteral("peakSwatch"));
  grid->addWidget(colour_.peak, gridRow++, 1, 1, 2);
  auto* edit = NewButton(body_, QStringLiteral("Edit Profile"), QStringLiteral("editProfile"));
  connect(edit, &QPushButton::clicked, this, [this] { ShowProfile(); });
  grid->addWidget(edit, gridRow++, 0, 1, 2);
  auto* presets = new QGridLayout;
  const auto names = PresetNames(op_);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const QString name = Q(names[i]);
    auto* button = NewButton(body_, name, QStringLiteral("preset%1").arg(i));
    connect(button, &QPushButton::clicked, this, [this, i] {
      const auto all = PresetNames(op_);
      if (i < all.size() && ApplyPreset(op_, all[i]) == 0) Refresh();
    });
    presets->addWidget(button, static_cast<int>(i / 4), static_cast<int>(i % 4));
  }
  grid->addLayout(presets, gridRow++, 0, 1, 4);
}

// The gradient fills and Outline take their colours from the mapping palette.
void OpSettingsWindow::AddPaletteButton(QGridLayout* grid, int& gridRow) {
  auto* button = NewButton(body_, QStringLiteral("Edit Palette..."), QStringLiteral("editPalette"));
  connect(button, &QPushButton::clicked, this, [] { OpenPal(&MutableMappingPalette()); });
  grid->addWidget(button, gridRow++, 0, 1, 2);
}

void OpSettingsWindow::ShowProfile() {
  if (profileWindow_ && profileWindow_->Operation() != op_) profileWindow_->close();
  if (!profileWindow_) profileWindow_ = new ProfileWindow(this, op_);
  profileWindow_->show();
  profileWindow_->raise();
}

void OpSettingsWindow::OperationChosen(OpId previous, OpId current) {
  if (previous == kHistogram && mapWindow_) mapWindow_->close();
  ShowOperation(current);
}

void OpSettingsWindow::AddColourControls(QGridLayout* grid, int& gridRow) {
  switch (op_) {
    case kBalance: AddBalanceControls(grid, gridRow); break;
    case kHistogram: AddHistogramControls(grid, gridRow); break;
    case kRemap: AddRemapControls(grid, gridRow); break;
    case kAsterizeOp:
    case kAnnularOp: AddLightingControls(grid, gridRow); break;
    case 3146:  // Linear Fill, Concentric, Radiating, Outline
    case 3147:
    case 3148:
    case 3149: AddPaletteButton(grid, gridRow); break;
    case 3198:  // Transition, Distortion
    case 3199: AddZelvaneControls(body_, grid, gridRow, op_); break;
    case kRefractOp: {
      auto* edit = NewButton(body_, QStringLiteral("Edit Curves"), QStringLiteral("editProfile"));
      connect(edit, &QPushButton::clicked, this, [this] { ShowProfile(); });
      grid->addWidget(edit, gridRow++, 0, 1, 2);
      break;
    }
    case kPerspective: {
      // The handles go on the action view; the dialog's values follow a drag.
      colour_.handles = NewButton(body_, QStringLiteral("Handles"), QStringLiteral("perspectiveHandles"));
      colour_.handles->setCheckable(true);
      colour_.handles->setToolTip(QStringLiteral("Drag the picture's centre, corners and edges in the action view"));
      connect(colour_.handles, &QPushButton::toggled, this, [this](bool on) {
        if (on) ShowPerspectiveHandles(ViewAt(ActionViewIndex()));
        else RemovePerspectiveHandles();
        const QSignalBlocker block(colour_.handles);
        colour_.handles->setChecked(PerspectiveHandlesView() != nullptr);
      });
      grid->addWidget(colour_.handles, gridRow++, 0, 1, 2);
      break;
    }
    case kSample: {
      grid->addWidget(new QLabel(QStringLiteral("Sample"), body_), gridRow, 0);
      colour_.sampleSwatch = NewSwatch(body_, QStringLiteral("sampleSwatch"));
      grid->addWidget(colour_.sampleSwatch, gridRow++, 1, 1, 2);
      colour_.sampleText = new QLabel(body_);
      colour_.sampleText->setObjectName(QStringLiteral("sampleText"));
      colour_.sampleText->setTextInteractionFlags(Qt::TextSelectableByMouse);
      grid->addWidget(colour_.sampleText, gridRow++, 0, 1, 4);
      break;
    }
    case kMakeArea: {
      // AreDlg: the switch holds for the session, on until turned off.
      auto* update = new QCheckBox(Q(LoadString(kUpdateTimeLineText)), body_);
      update->setObjectName(QStringLiteral("updateTimeLine"));
      update->setChecked(TheProgram().apply.collage.updateTimeLine);
      connect(update, &QCheckBox::toggled, this, [](bool on) { TheProgram().apply.collage.updateTimeLine = on; });
      grid->addWidget(update, gridRow++, 0, 1, 4);
      break;
    }
    case kColorize:
      colour_.colorizeSwatch = NewSwatch(body_, QStringLiteral("colorizeSwatch"));
      grid->addWidget(colour_.colorizeSwatch, gridRow++, 1, 1, 2);
      break;
    default: break;
  }
}

void OpSettingsWindow::AddBalanceControls(QGridLayout* grid, int& gridRow) {
  grid->addWidget(new QLabel(QStringLiteral("Sample"), body_), gridRow, 0);
  colour_.sampleSwatch = NewSwatch(body_, QStringLiteral("sampleSwatch"));
  grid->addWidget(colour_.sampleSwatch, gridRow++, 1, 1, 2);
  auto* buttons = new QGridLayout;
  colour_.sampleNow = NewButton(body_, QStringLiteral("Sample Now"), QStringLiteral("sampleNow"));
  colour_.sampleNow->setCheckable(true);
  // Pressed again while it waits for the next Apply, it stops waiting.
  connect(colour_.sampleNow, &QPushButton::clicked, this, [] {
    if (BalancePickArmed())
      BalanceCancelPick();
    else
      BalanceSampleNow();
  });
  auto* match = NewButton(body_, QStringLiteral("Match Sample"), QStringLiteral("matchSample"));
  connect(match, &QPushButton::clicked, this, [] { BalanceMatchSample(); });
  auto* set = NewButton(body_, QStringLiteral("Set"), QStringLiteral("setTarget"));
  connect(set, &QPushButton::clicked, this, [this] {
    int c[3] = {ParamValue(op_, 1), ParamValue(op_, 2), ParamValue(op_, 3)};
    if (AskCol(&c[0], &c[1], &c[2], std::string(OpName(op_))) != 0) return;
    BalanceSetTarget(c[0], c[1], c[2]);
  });
  auto* black = NewButton(body_, QStringLiteral("Balance to Black"), QStringLiteral("balanceBlack"));
  auto* white = NewButton(body_, QStringLiteral("Balance to White"), QStringLiteral("balanceWhite"));
  auto* gray = NewButton(body_, QStringLiteral("Balance to Gray"), QStringLiteral("balanceGray"));
  connect(black, &QPushButton::clicked, this, [] { BalanceToBlack(); });
  connect(white, &QPushButton::clicked, this, [] { BalanceToWhite(); });
  connect(gray, &QPushButton::clicked, this, [] { BalanceToGray(); });
  buttons->addWidget(colour_.sampleNow, 0, 0);
  buttons->addWidget(match, 0, 1);
  buttons->addWidget(set, 0, 2);
  buttons->addWidget(black, 1, 0);
  buttons->addWidget(white, 1, 1);
  buttons->addWidget(gray, 1, 2);
  grid->addLayout(buttons, gridRow++, 0, 1, 4);
}

void OpSettingsWindow::AddHistogramControls(QGridLayout* grid, int& gridRow) {
  colour_.histogram = new HistogramView(body_);
  grid->addWidget(colour_.histogram, gridRow++, 0, 1, 4, Qt::AlignHCenter);
  auto* buttons = new QHBoxLayout;
  auto* show = NewButton(body_, QStringLiteral("Show Map"), QStringLiteral("showMap"));
  auto* reset = NewButton(body_, QStringLiteral("Reset Map"), QStringLiteral("resetMap"));
  colour_.equalize = NewButton(body_, QStringLiteral("Histogram Equalize"), QStringLiteral("equalize"));
  connect(show, &QPushButton::clicked, this, [this] { ShowMap(); });
  connect(reset, &QPushButton::clicked, this, [] { ResetHistogramMap(); });
  connect(colour_.equalize, &QPushButton::clicked, this, [] { HistogramEqualize(); });
  buttons->addWidget(show);
  buttons->addWidget(reset);
  buttons->addWidget(colour_.equalize);
  grid->addLayout(buttons, gridRow++, 0, 1, 4);
  colour_.independent = new QCheckBox(QStringLiteral("Independent R,G,B"), body_);
  colour_.independent->setObjectName(QStringLiteral("independentRgb"));
  connect(colour_.independent, &QCheckBox::clicked, this, [](bool on) { SetIndependentRgb(on); });
  grid->addWidget(colour_.independent, gridRow++, 0, 1, 4);

  auto* adjust = new QGroupBox(QStringLiteral("Standard Adjustments"), body_);
  auto* box = new QGridLayout(adjust);
  colour_.brightness = new QSpinBox(adjust);
  colour_.contrast = new QSpinBox(adjust);
  colour_.brightness->setObjectName(QStringLiteral("mapBrightness"));
  colour_.contrast->setObjectName(QStringLiteral("mapContrast"));
  for (QSpinBox* spin : {colour_.brightness, colour_.contrast}) {
    spin->setRange(-100, 100);
    connect(spin, &QSpinBox::valueChanged, this, [this] {
      SetStandardAdjustments(colour_.brightness->value(), colour_.contrast->value());
      RefreshColourControls();
    });
  }
  colour_.markers = new QLabel(adjust);
  colour_.markers->setObjectName(QStringLiteral("mapMarkers"));
  auto* apply = NewButton(adjust, QStringLiteral("Apply"), QStringLiteral("applyAdjustments"));
  connect(apply, &QPushButton::clicked, this, [] { ApplyStandardAdjustments(); });
  box->addWidget(new QLabel(QStringLiteral("Brightness"), adjust), 0, 0);
  box->addWidget(colour_.brightness, 0, 1);
  box->addWidget(new QLabel(QStringLiteral("Contrast"), adjust), 1, 0);
  box->addWidget(colour_.contrast, 1, 1);
  box->addWidget(colour_.markers, 0, 2);
  box->addWidget(apply, 1, 2);
  grid->addWidget(adjust, gridRow++, 0, 1, 4);
}

void OpSettingsWindow::AddRemapControls(QGridLayout* grid, int& gridRow) {
  grid->addWidget(new QLabel(QStringLiteral("Palette Size"), body_), gridRow, 0);
  colour_.paletteSize = new QLineEdit(body_);
  colour_.paletteSize->setObjectName(QStringLiteral("paletteSize"));
  colour_.paletteSize->setFixedWidth(60);
  QLineEdit* size = colour_.paletteSize;
  connect(size, &QLineEdit::editingFinished, this, [size] {
    if (!size->isModified()) return;
    size->setModified(false);
    bool ok = false;
    const long long n = size->text().trimmed().toLongLong(&ok);
    if (ok)
      SetRemapPaletteSize(static_cast<int>(std::clamp<long long>(n, -1, kRemapMaxEntries + 1)));
    else
      size->setText(QString::number(RemapPaletteSize()));  // no number: as it was
  });
  grid->addWidget(size, gridRow, 1, Qt::AlignLeft);
  auto* editFrom = NewButton(body_, QStringLiteral("Edit From..."), QStringLiteral("editFrom"));
  auto* editTo = NewButton(body_, QStringLiteral("Edit To..."), QStringLiteral("editTo"));
  connect(editFrom, &QPushButton::clicked, this, [] { OpenPal(&Pipeline().colour.remapFrom); });
  connect(editTo, &QPushButton::clicked, this, [] { OpenPal(&Pipeline().colour.remapTo); });
  auto* edits = new QHBoxLayout;
  edits->addWidget(editFrom);
  edits->addWidget(editTo);
  grid->addLayout(edits, gridRow++, 2, 1, 2);
  // Over the swatch and "Set" pair of each palette in the column below.
  auto* heads = new QHBoxLayout;
  heads->setSpacing(0);
  heads->addSpacing(48);
  for (const char* head : {"From", "To"}) {
    auto* label = new QLabel(QLatin1String(head), body_);
    label->setFixedWidth(88);
    heads->addWidget(label);
  }
  heads->addStretch();
  grid->addLayout(heads, gridRow++, 0, 1, 4);
  colour_.remap = new RemapColumn(body_);
  connect(colour_.remap, &RemapColumn::SetRequested, this, [this](int row, bool to) {
    Rgb c = RemapEntry(to, row);
    if (AskCol(&c.red, &c.green, &c.blue, std::string(OpName(op_))) != 0) return;
    SetRemapEntry(to, row, c);
  });
  grid->addWidget(colour_.remap, gridRow++, 0, 1, 4);
}

void OpSettingsWindow::ShowMap() {
  if (!mapWindow_) {
    mapWindow_ = new ColourMapWindow(this);
    // Drawing on the map moves nothing else in this window but the picture.
    connect(mapWindow_, &ColourMapWindow::Edited, this, [this] {
      if (colour_.histogram) colour_.histogram->update();
    });
  }
  mapWindow_->show();
  mapWindow_->raise();
}

void OpSettingsWindow::RefreshColourControls() {
  const ColourOpsState& col = Pipeline().colour;
  if (colour_.sampleNow) colour_.sampleNow->setChecked(BalancePickArmed());
  if (colour_.sampleText) {
    const SampleColour& s = col.sample;
    colour_.sampleText->setText(
        WithRange("Red", s.red, s.redRange) + QStringLiteral("   ") + WithRange("Green", s.green, s.greenRange) +
        QStringLiteral("   ") + WithRange("Blue", s.blue, s.blueRange) + QLatin1Char('\n') +
        WithRange("Hue", s.hue, s.hueRange) + QStringLiteral("   ") +
        WithRange("Saturation", s.saturation, s.saturationRange) + QStringLiteral("   ") +
        WithRange("Lightness", s.lightness, s.lightnessRange));
  }
  if (colour_.histogram) colour_.histogram->update();
  if (colour_.equalize) {
    // Before a gather there is nothing to equalize: the map would not move.
    colour_.equalize->setEnabled(HistogramGathered());
  }
  if (colour_.independent) colour_.independent->setChecked(col.independentRgb);
  if (colour_.brightness) {
    const QSignalBlocker b(colour_.brightness), c(colour_.contrast);
    colour_.brightness->setValue(col.mapBrightness);
    colour_.contrast->setValue(col.mapContrast);
    colour_.markers->setText(QStringLiteral("Markers %1, %2").arg(col.markerLow).arg(col.markerHigh));
  }
  if (mapWindow_) mapWindow_->Curve()->update();
  if (colour_.paletteSize) {
    colour_.paletteSize->setText(QString::number(RemapPaletteSize()));
    colour_.paletteSize->setModified(false);
  }
  if (colour_.remap) colour_.remap->Reload();
  if (colour_.handles) {
    const QSignalBlocker block(colour_.handles);
    colour_.handles->setChecked(PerspectiveHandlesView() != nullptr);
  }
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
  hooks.openSettings = [owner](OpId previous, OpId current) {
    if (!owner) return;
    OpSettingsWindow* w = FindOpSettingsWindow(owner);
    if (!w) w = new OpSettingsWindow(owner);
    w->OperationChosen(previous, current);
    w->show();
    w->raise();
  };
  hooks.closeSettings = [owner] {
    if (OpSettingsWindow* w = FindOpSettingsWindow(owner)) {
      w->setObjectName(QStringLiteral("closing"));  // the engine closes it, the controls stay as they are
      w->close();
    }
  };
  // The same operation keeps its controls (and the place the person scrolled
  // to); another one (a settings file may change it) gets its own.
  hooks.refreshSettings = [owner] {
    OpSettingsWindow* w = FindOpSettingsWindow(owner);
    if (!w) return;
    if (w->Operation() == CurrentOp())
      w->Refresh();
    else
      w->ShowOperation(CurrentOp());
  };
  // The palette window closed while Remap is current: its column shows the
  // palettes as they were edited there.
  TheProgram().palettes.remapClosed = [] {
    if (TheProgram().ops.current == kRemapOpId) RefreshSettingsDialog();
  };
}

void RemoveOpSettingsHooks() {
  OpsHooks& hooks = TheProgram().ops.hooks;
  hooks.openSettings = nullptr;
  hooks.closeSettings = nullptr;
  hooks.refreshSettings = nullptr;
  hooks.markOperation = nullptr;
  TheProgram().palettes.remapClosed = nullptr;
}

}  // namespace qv::ui
