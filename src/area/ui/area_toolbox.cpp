#include "area/ui/area_toolbox.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/commands.h"
#include "app/program.h"
#include "app/settings.h"
#include "app/ui/dialog_buttons.h"
#include "area/area_files.h"
#include "area/area_mask.h"
#include "area/area_options.h"
#include "area/ui/area_dialogs.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "display/ui/view_window.h"
#include "ops/apply.h"
#include "ops/op_state.h"

namespace qv::ui {
namespace {

constexpr int kModeButtons[] = {kAreaFreehand, kAreaPolygon,    kAreaIShape,     kAreaRectangle, kAreaRoundRect,
                                kAreaEllipse,  kAreaPolyArc,    kAreaSpline,     kAreaBezier,    kAreaNumRect,
                                kAreaColourWand, kAreaEntire,   kAreaFont,       kAreaRedo};
constexpr int kToggleButtons[] = {kAreaEditArea, kAreaColourKey, kAreaSplatter, kAreaExclude};
constexpr int kCombinationButtons[] = {kAreaComplement, kAreaIntersection, kAreaUnion};
constexpr int kHoldSquare = 9773, kHoldAspect = 9774, kHoldSource = 9775;
constexpr int kSettingsButton = 9776, kHelpButton = 9781, kDiscriminatorButton = 9782;

// Builds the selection of a mode that needs no drawing on the image the
// user works on.
void SelectWithoutDrawing(int mode) {
  ImageRecord* image = TheProgram().images.current;
  if (ImageIndex(image) < 0) image = ImageAt(0);
  if (!image) return;
  if (mode == kAreaRedo) {
    // Rebuilt once, and in Immediate Painting the effect lands on it.
    if (RedoSelection(image) == 0) TheHost().SetRunningButtons(false);
    RepaintAllViews();
    return;
  }
  Area().selection.mode = static_cast<std::int16_t>(mode);
  TheProgram().images.current = image;
  int code = BeginSelectionGesture(false, false);
  FinishSelection(image, -1, code);
  RepaintAllViews();
}

QDialog* Form(QWidget* parent, const QString& title, QFormLayout*& form) {
  auto* dialog = new QDialog(parent);
  dialog->setWindowTitle(title);
  dialog->setObjectName(title);
  form = new QFormLayout;
  auto* layout = new QVBoxLayout(dialog);
  layout->addLayout(form);
  layout->addWidget(OkCancel(dialog));
  return dialog;
}

QSpinBox* Spin(QWidget* parent, int value, int lo, int hi) {
  auto* s = new QSpinBox(parent);
  s->setRange(lo, hi);
  s->setValue(value);
  return s;
}

}  // namespace

bool AskRoundness(QWidget* parent) {
  QFormLayout* form;
  std::unique_ptr<QDialog> d(Form(parent, QStringLiteral("Rounded Rectangle Roundness"), form));
  QSpinBox* r = Spin(d.get(), Area().selection.roundness, 0, 100);
  r->setObjectName(QStringLiteral("Roundness"));
  form->addRow(QStringLiteral("Roundness (%):"), r);
  if (d->exec() != QDialog::Accepted) return false;
  SetRoundness(r->value());
  return true;
}

bool AskAreaFont(QWidget* parent) {
  AreaFont& font = Area().selection.font;
  bool ok = false;
  QFont initial(QString::fromStdString(font.face));
  initial.setPixelSize(std::max(1, font.pixelSize));
  initial.setBold(font.bold);
  initial.setItalic(font.italic);
  QFont f = QFontDialog::getFont(&ok, initial, parent, QStringLiteral("Font"));
  if (!ok) return false;
  font.face = f.family().toStdString().substr(0, kFontNameMax);
  font.pixelSize = std::clamp(f.pixelSize() > 0 ? f.pixelSize() : f.pointSize() * 96 / 72, 1, 100);
  font.bold = f.bold();
  font.italic = f.italic();
  return true;
}

bool AskNumericRectangle(QWidget* parent) {
  QFormLayout* form;
  std::unique_ptr<QDialog> d(Form(parent, QStringLiteral("Numeric Rectangle Area Selection"), form));
  AreaSelection& s = Area().selection;
  QSpinBox* edges[4] = {Spin(d.get(), s.left, -100000, 100000), Spin(d.get(), s.top, -100000, 100000),
                        Spin(d.get(), s.right, -100000, 100000), Spin(d.get(), s.bottom, -100000, 100000)};
  const char* names[4] = {"Left", "Top", "Right", "Bottom"};
  for (int i = 0; i < 4; ++i) form->addRow(QString::fromLatin1(names[i]), edges[i]);
  if (d->exec() != QDialog::Accepted) return false;
  s.left = edges[0]->value();
  s.top = edges[1]->value();
  s.right = edges[2]->value();
  s.bottom = edges[3]->value();
  return true;
}

bool AskColourRanges(QWidget* parent, bool key) {
  QFormLayout* form;
  std::unique_ptr<QDialog> d(
      Form(parent, key ? QStringLiteral("Color Key Controls") : QStringLiteral("Color Wand Controls"), form));
  AreaSelection& s = Area().selection;
  // The key colour is shared with Key In and Key to Alpha; the wand's ranges
  // are the selection's own.
  KeyColour shared = GetKeyColour();
  ColourRanges keyRanges;
  keyRanges.rgb[0] = shared.redRange, keyRanges.rgb[1] = shared.greenRange, keyRanges.rgb[2] = shared.blueRange;
  keyRanges.hsl[0] = shared.extra.hueRange, keyRanges.hsl[1] = shared.extra.saturationRange;
  keyRanges.hsl[2] = shared.extra.lightnessRange;
  keyRanges.useHsl = shared.extra.useHsl != 0;
  ColourRanges& r = key ? keyRanges : s.wandRanges;
  int keyValues[3] = {shared.red, shared.green, shared.blue};
  QSpinBox* keyColour[3] = {};
  if (key)
    for (int i = 0; i < 3; ++i) {
      keyColour[i] = Spin(d.get(), keyValues[i], 0, 255);
      form->addRow(QString::fromLatin1(i == 0 ? "Key Red" : i == 1 ? "Key Green" : "Key Blue"), keyColour[i]);
    }
  QSpinBox* rgb[3];
  QSpinBox* hsl[3];
  const char* rgbNames[3] = {"Red range", "Green range", "Blue range"};
  const char* hslNames[3] = {"Hue range", "Saturation range", "Lightness range"};
  for (int i = 0; i < 3; ++i) {
    rgb[i] = Spin(d.get(), r.rgb[i], 0, 255);
    form->addRow(QString::fromLatin1(rgbNames[i]), rgb[i]);
  }
  for (int i = 0; i < 3; ++i) {
    hsl[i] = Spin(d.get(), r.hsl[i], 0, i == 0 ? 180 : 100);
    form->addRow(QString::fromLatin1(hslNames[i]), hsl[i]);
  }
  auto* useHsl = new QCheckBox(QStringLiteral("Use HSL"), d.get());
  useHsl->setChecked(r.useHsl);
  form->addRow(useHsl);
  if (d->exec() != QDialog::Accepted) return false;
  for (int i = 0; i < 3; ++i) {
    r.rgb[i] = rgb[i]->value();
    r.hsl[i] = hsl[i]->value();
  }
  r.useHsl = useHsl->isChecked();
  if (key) {
    shared.red = keyColour[0]->value(), shared.green = keyColour[1]->value(), shared.blue = keyColour[2]->value();
    shared.redRange = r.rgb[0], shared.greenRange = r.rgb[1], shared.blueRange = r.rgb[2];
    shared.extra.hueRange = r.hsl[0], shared.extra.saturationRange = r.hsl[1], shared.extra.lightnessRange = r.hsl[2];
    shared.extra.useHsl = r.useHsl ? 1 : 0;
    SetKeyColour(shared);
  }
  return true;
}

AreaToolbox::AreaToolbox(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setWindowTitle(QStringLiteral("Tools"));
  setObjectName(QStringLiteral("areaClass"));
  auto* grid = new QGridLayout(this);
  grid->setSpacing(2);
  int cell = 0;
  auto add = [&](int id, bool checkable) {
    auto* b = new QToolButton(this);
    b->setText(QString::fromUtf8(LoadString(id).data(), static_cast<int>(LoadString(id).size())));
    b->setCheckable(checkable);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    grid->addWidget(b, cell / 2, cell % 2);
    ++cell;
    buttons_[id] = b;
    connect(b, &QToolButton::clicked, this, [this, id] { Clicked(id); });
  };
  for (int id : kModeButtons) add(id, id != kAreaRedo);
  for (int id : kCombinationButtons) add(id, true);
  for (int id : kToggleButtons) add(id, true);
  for (int id : {kHoldSquare, kHoldAspect, kHoldSource}) add(id, true);
  add(kSettingsButton, false);
  add(kHelpButton, false);
  add(kDiscriminatorButton, false);
  Sync();
}

QAbstractButton* AreaToolbox::Button(int id) const {
  auto it = buttons_.find(id);
  return it == buttons_.end() ? nullptr : it->second;
}

void AreaToolbox::Sync() {
  const AreaState& a = Area();
  int mode = a.selection.mode ? a.selection.mode : kAreaRectangle;
  for (int id : kModeButtons)
    if (id != kAreaRedo) buttons_[id]->setChecked(id == mode);
  buttons_[kAreaComplement]->setChecked(a.combination == AreaCombination::Complement);
  buttons_[kAreaIntersection]->setChecked(a.combination == AreaCombination::Intersection);
  buttons_[kAreaUnion]->setChecked(a.combination == AreaCombination::Union);
  buttons_[kAreaEditArea]->setChecked(a.editArea);
  buttons_[kAreaColourKey]->setChecked(a.colourKey);
  buttons_[kAreaSplatter]->setChecked(a.splatter);
  buttons_[kAreaExclude]->setChecked(a.exclude);
  buttons_[kHoldSquare]->setChecked(a.hold == HoldConstraint::Square);
  buttons_[kHoldAspect]->setChecked(a.hold == HoldConstraint::Aspect);
  buttons_[kHoldSource]->setChecked(a.hold == HoldConstraint::Source);
  // The I-shape button names the shape it draws.
  const std::string& shape = AreaFiles().shapeName;
  buttons_[kAreaIShape]->setText(QString::fromUtf8(LoadString(kAreaIShape).data()) +
                                 (shape.empty() ? QString() : QStringLiteral(": ") + QString::fromStdString(shape)));
}

void AreaToolbox::Clicked(int id) {
  AreaState& a = Area();
  auto combination = [&](AreaCombination c) { a.combination = a.combination == c ? AreaCombination::None : c; };
  auto hold = [&](HoldConstraint h) { a.hold = a.hold == h ? HoldConstraint::None : h; };
  switch (id) {
    case kAreaComplement: combination(AreaCombination::Complement); break;
    case kAreaIntersection: combination(AreaCombination::Intersection); break;
    case kAreaUnion: combination(AreaCombination::Union); break;
    case kAreaEditArea: a.editArea = !a.editArea; RepaintAllViews(); break;
    case kAreaColourKey: a.colourKey = !a.colourKey; break;
    case kAreaSplatter: a.splatter = !a.splatter; break;
    case kAreaExclude: a.exclude = !a.exclude; break;
    case kHoldSquare: hold(HoldConstraint::Square); break;
    case kHoldAspect: hold(HoldConstraint::Aspect); break;
    case kHoldSource: hold(HoldConstraint::Source); break;
    case kSettingsButton: Settings(); break;
    case kHelpButton: HelpOn("Area Selection Modes"); break;
    case kDiscriminatorButton: AskColourDiscriminator(this); break;
    case kAreaRedo: SelectWithoutDrawing(kAreaRedo); break;
    case kAreaEntire:
      a.selection.mode = kAreaEntire;
      SelectWithoutDrawing(kAreaEntire);
      break;
    case kAreaNumRect:
      a.selection.mode = kAreaNumRect;
      if (AskNumericRectangle(this)) SelectWithoutDrawing(kAreaNumRect);
      break;
    default:
      a.selection.mode = static_cast<std::int16_t>(id);
      break;
  }
  Sync();
}

void AreaToolbox::moveEvent(QMoveEvent* event) {
  QWidget::moveEvent(event);
  // Kept relative to the main window, as it is placed.
  if (!isVisible() || !parentWidget()) return;
  const QPoint at = parentWidget()->mapFromGlobal(pos());
  TheProgram().settings.tool = {at.x(), at.y(), 0, 0};
}

void AreaToolbox::Settings() {
  AreaSelection& s = Area().selection;
  switch (s.mode) {
    case kAreaColourWand: AskColourRanges(this, false); break;
    case kAreaRoundRect: AskRoundness(this); break;
    case kAreaFont: AskAreaFont(this); break;
    case kAreaIShape: RouteCommand(9771); break;
    default:
      if (Area().colourKey) AskColourRanges(this, true);
      break;
  }
}

}  // namespace qv::ui
