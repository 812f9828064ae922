#include "area/ui/area_dialogs.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QVBoxLayout>
#include <array>
#include <limits>
#include <memory>

#include "anim/trends.h"
#include "app/program.h"
#include "area/area_mask.h"
#include "area/area_options.h"
#include "app/ui/dialog_buttons.h"

namespace qv::ui {
namespace {

constexpr int kPreviewWidth = 120;
// "Transparency: Level", "Transparency: Edge Fade", "Transparency: Grow".
constexpr std::uint32_t kTransparencyTrendNames[3] = {14710, 14720, 14730};
constexpr int kPreviewHeight = 90;

QSpinBox* Spin(QWidget* parent, const QString& name, int value, int lo, int hi) {
  auto* s = new QSpinBox(parent);
  s->setObjectName(name);
  s->setRange(lo, hi);
  s->setValue(value);
  return s;
}

// One transparency value: a scroll bar and an edit field that follow each
// other. The field takes any whole number; the engine's clamp decides.
struct ValueRow {
  QScrollBar* bar = nullptr;
  QLineEdit* edit = nullptr;
  int value = 0;
};

}  // namespace

int RunTransparencyControls(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Transparency Controls"));
  dialog.setObjectName(QStringLiteral("Transparency Controls"));
  TransparencyValues values = CurrentTransparency();
  const bool ellipse = TheProgram().area.selection.mode == kAreaEllipse;

  auto* preview = new QLabel(&dialog);
  preview->setObjectName(QStringLiteral("Preview"));
  preview->setFixedSize(kPreviewWidth, kPreviewHeight);
  auto drawPreview = [&] {
    std::vector<std::uint8_t> bytes = TransparencyPreview(kPreviewWidth, kPreviewHeight, ellipse, values);
    QImage picture(kPreviewWidth, kPreviewHeight, QImage::Format_Grayscale8);
    picture.fill(0);
    if (!bytes.empty())
      for (int y = 0; y < kPreviewHeight; ++y)
        std::copy_n(bytes.data() + static_cast<std::size_t>(y) * kPreviewWidth, kPreviewWidth, picture.scanLine(y));
    preview->setPixmap(QPixmap::fromImage(picture));
  };

  std::array<ValueRow, 3> rows;
  const char* names[3] = {"Level", "Edge Fade", "Grow"};
  const int maxima[3] = {kMaxTransparencyLevel, kMaxEdgeFade, kMaxGrow};
  auto valueOf = [&](int i) -> int& { return i == 0 ? values.level : i == 1 ? values.edgeFade : values.grow; };
  // Shows the (clamped) values in every row and the preview.
  auto show = [&] {
    values = ClampTransparency(values);
    for (int i = 0; i < 3; ++i) {
      QSignalBlocker block(rows[static_cast<std::size_t>(i)].bar);
      rows[static_cast<std::size_t>(i)].bar->setValue(valueOf(i));
      rows[static_cast<std::size_t>(i)].edit->setText(QString::number(valueOf(i)));
    }
    drawPreview();
  };
  // The edit fields as typed; text that is no number keeps the old value.
  auto readEdits = [&] {
    for (int i = 0; i < 3; ++i) {
      bool ok = false;
      int v = rows[static_cast<std::size_t>(i)].edit->text().trimmed().toInt(&ok);
      if (ok) valueOf(i) = v;
    }
  };

  auto* grid = new QGridLayout;
  std::uint32_t trendToOpen = 0;
  for (int i = 0; i < 3; ++i) {
    ValueRow& row = rows[static_cast<std::size_t>(i)];
    QString name = QString::fromLatin1(names[i]);
    row.bar = new QScrollBar(Qt::Horizontal, &dialog);
    row.bar->setObjectName(name + QStringLiteral(" bar"));
    row.bar->setRange(0, maxima[i]);
    row.bar->setMinimumWidth(160);
    row.edit = new QLineEdit(&dialog);
    row.edit->setObjectName(name);
    row.edit->setMaximumWidth(60);
    grid->addWidget(new QLabel(name + QLatin1Char(':'), &dialog), i, 0);
    grid->addWidget(row.bar, i, 1);
    grid->addWidget(row.edit, i, 2);
    QObject::connect(row.bar, &QScrollBar::valueChanged, &dialog, [&, i](int v) {
      readEdits();  // a field still being typed in keeps what it says
      valueOf(i) = v;
      show();
    });
    QObject::connect(row.edit, &QLineEdit::editingFinished, &dialog, [&] {
      readEdits();
      show();
    });
    // The value's Trend opens once the values are taken.
    auto* trend = new QPushButton(QStringLiteral("Trend"), &dialog);
    trend->setObjectName(name + QStringLiteral(" Trend"));
    trend->setAutoDefault(false);
    grid->addWidget(trend, i, 3);
    QObject::connect(trend, &QPushButton::clicked, &dialog, [&, i] {
      trendToOpen = kTransparencyTrendNames[i];
      dialog.accept();
    });
  }

  auto* presets = new QHBoxLayout;
  const std::pair<const char*, TransparencyPreset> kPresets[] = {{"Flat", TransparencyPreset::Flat},
                                                                  {"Soft Edges", TransparencyPreset::SoftEdges},
                                                                  {"Broad Edge Fade", TransparencyPreset::BroadEdgeFade},
                                                                  {"Conical Fade", TransparencyPreset::ConicalFade}};
  for (const auto& [text, preset] : kPresets) {
    auto* b = new QPushButton(QString::fromLatin1(text), &dialog);
    b->setAutoDefault(false);
    TransparencyPreset p = preset;
    QObject::connect(b, &QPushButton::clicked, &dialog, [&, p] {
      readEdits();
      values.edgeFade = PresetEdgeFade(p);
      show();
    });
    presets->addWidget(b);
  }

  auto* top = new QHBoxLayout;
  top->addLayout(grid, 1);
  top->addWidget(preview);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(top);
  layout->addLayout(presets);
  layout->addWidget(OkCancel(&dialog));
  show();
  if (dialog.exec() != QDialog::Accepted) return 2;
  readEdits();
  SetTransparency(values);
  if (trendToOpen) OpenTrend(trendToOpen);
  return 0;
}

int RunSplatterControls(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Splatter Controls"));
  dialog.setObjectName(QStringLiteral("Splatter Controls"));
  SplatterSettings now = ClampSplatter(TheProgram().area.splat);
  auto* form = new QFormLayout;
  QSpinBox* number = Spin(&dialog, QStringLiteral("Number"), now.number, 1, kMaxSplats);
  QSpinBox* seed = Spin(&dialog, QStringLiteral("Seed"), now.seed, 0, std::numeric_limits<int>::max());
  QSpinBox* sizing = Spin(&dialog, QStringLiteral("Sizing"), now.sizing, 1, kMaxSplatSizing);
  auto* ellipses = new QRadioButton(QStringLiteral("Ellipses"), &dialog);
  auto* rectangles = new QRadioButton(QStringLiteral("Rectangles"), &dialog);
  (now.shape == 0 ? ellipses : rectangles)->setChecked(true);
  auto* shapes = new QHBoxLayout;
  shapes->addWidget(ellipses);
  shapes->addWidget(rectangles);
  auto* square = new QCheckBox(QStringLiteral("Hold square"), &dialog);
  square->setChecked(now.holdSquare != 0);
  auto* inside = new QCheckBox(QStringLiteral("In from Edge"), &dialog);
  inside->setChecked(now.inFromEdge != 0);
  form->addRow(QStringLiteral("Number:"), number);
  form->addRow(QStringLiteral("Seed:"), seed);
  form->addRow(QStringLiteral("Shape:"), shapes);
  form->addRow(QStringLiteral("Sizing (%):"), sizing);
  form->addRow(square);
  form->addRow(inside);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(OkCancel(&dialog));
  if (dialog.exec() != QDialog::Accepted) return 2;
  SplatterSettings edited;
  edited.number = number->value();
  edited.seed = seed->value();
  edited.shape = rectangles->isChecked() ? 1 : 0;
  edited.sizing = sizing->value();
  edited.holdSquare = square->isChecked() ? 1 : 0;
  edited.inFromEdge = inside->isChecked() ? 1 : 0;
  SetSplatter(edited);
  return 0;
}

int AskColourDiscriminator(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Color Discriminator"));
  dialog.setObjectName(QStringLiteral("Color Discriminator"));
  ColourDiscriminator now = ClampDiscriminator(TheProgram().area.discriminator);
  auto* enabled = new QCheckBox(QStringLiteral("Enabled"), &dialog);
  enabled->setChecked(now.enabled);
  auto* grid = new QGridLayout;
  grid->addWidget(new QLabel(QStringLiteral("From"), &dialog), 0, 1);
  grid->addWidget(new QLabel(QStringLiteral("To"), &dialog), 0, 2);
  const char* names[3] = {"Red", "Green", "Blue"};
  std::array<QSpinBox*, 3> from{}, to{};
  for (int c = 0; c < 3; ++c) {
    QString name = QString::fromLatin1(names[c]);
    from[static_cast<std::size_t>(c)] = Spin(&dialog, name + QStringLiteral(" from"), now.from[c], 0, 255);
    to[static_cast<std::size_t>(c)] = Spin(&dialog, name + QStringLiteral(" to"), now.to[c], 0, 255);
    grid->addWidget(new QLabel(name + QLatin1Char(':'), &dialog), c + 1, 0);
    grid->addWidget(from[static_cast<std::size_t>(c)], c + 1, 1);
    grid->addWidget(to[static_cast<std::size_t>(c)], c + 1, 2);
  }
  auto* note = new QLabel(QStringLiteral("Selected pixels whose red, green and blue all lie in these ranges are left out "
                                         "of areas made from the TimeLine."),
                          &dialog);
  note->setWordWrap(true);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(enabled);
  layout->addLayout(grid);
  layout->addWidget(note);
  layout->addWidget(OkCancel(&dialog));
  if (dialog.exec() != QDialog::Accepted) return 2;
  ColourDiscriminator edited;
  edited.enabled = enabled->isChecked();
  for (int c = 0; c < 3; ++c) {
    edited.from[c] = from[static_cast<std::size_t>(c)]->value();
    edited.to[c] = to[static_cast<std::size_t>(c)]->value();
  }
  SetDiscriminator(edited);
  return 0;
}

}  // namespace qv::ui
