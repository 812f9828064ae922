#include "display/ui/view_dialogs.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QSpinBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

#include "app/commands.h"
#include "app/program.h"
#include "app/settings.h"
#include "app/ui/dialog_buttons.h"
#include "base/messages.h"
#include "base/string_table.h"
#include "display/render.h"
#include "display/views.h"
#include "extlib/palette_library.h"
#include "store/image_record.h"

namespace qv::ui {

int RunAlphaViewDialog(QWidget* parent) {
  if (ImageCount() == 0) {
    ShowMessage(11);
    return 1;
  }
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Display Alpha View"));
  dialog.setObjectName(QStringLiteral("Display Alpha View"));
  auto* list = new QListWidget(&dialog);
  std::vector<ViewRecord*> views = AllViews();
  auto titles = [&] {
    for (int i = 0; i < static_cast<int>(views.size()); ++i) {
      QString t = QString::fromStdString(ViewTitle(views[static_cast<std::size_t>(i)]));
      if (i < list->count()) list->item(i)->setText(t);
      else list->addItem(t);
    }
  };
  titles();
  auto* alpha = new QCheckBox(QStringLiteral("Display Alpha"), &dialog);
  alpha->setEnabled(false);
  QObject::connect(list, &QListWidget::currentRowChanged, &dialog, [&](int row) {
    alpha->setEnabled(row >= 0);
    if (row < 0) return;
    QSignalBlocker block(alpha);
    alpha->setChecked(views[static_cast<std::size_t>(row)]->kind == kViewKindAlpha);
  });
  QObject::connect(alpha, &QCheckBox::toggled, &dialog, [&](bool on) {
    int row = list->currentRow();
    if (row < 0) return;
    SetAlphaView(views[static_cast<std::size_t>(row)], on);
    titles();
  });
  auto* box = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(list);
  layout->addWidget(alpha);
  layout->addWidget(box);
  dialog.exec();
  return 0;
}

int RunViewColours(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("View Colors"));
  dialog.setObjectName(QStringLiteral("ColorsDlg"));
  auto* layout = new QVBoxLayout(&dialog);
  const char* names[] = {"Line Color 1", "Line Color 2", "Handle Color", "Previous Color 1", "Previous Color 2"};
  for (int i = 0; i < 5; ++i) {
    auto* b = new QPushButton(QString::fromLatin1(names[i]), &dialog);
    int id = 366 + i;
    QObject::connect(b, &QPushButton::clicked, &dialog, [id] { RouteCommand(id); });
    layout->addWidget(b);
  }
  // What the views blend an image with alpha against (AlphaColor) and show
  // beyond the picture's edges (BackColor).
  DisplayState& display = TheProgram().display;
  const std::pair<const char*, std::array<std::uint8_t, 3>*> viewColours[] = {
      {"Alpha Color", &display.alphaColour}, {"Back Color", &display.backColour}};
  for (const auto& [name, colour] : viewColours) {
    auto* b = new QPushButton(QString::fromLatin1(name), &dialog);
    QObject::connect(b, &QPushButton::clicked, &dialog, [name, colour] {
      int c[3] = {(*colour)[0], (*colour)[1], (*colour)[2]};
      if (AskCol(&c[0], &c[1], &c[2], name) != 0) return;
      for (int i = 0; i < 3; ++i) (*colour)[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::clamp(c[i], 0, 255));
      TheHost().RedrawViews();
    });
    layout->addWidget(b);
  }
  auto* box = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(box);
  dialog.exec();
  return 0;
}

int RunWindowSizing(QWidget* parent) {
  Settings& s = TheProgram().settings;
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Size Windows"));
  dialog.setObjectName(QStringLiteral("WinSize"));
  auto spin = [&](const QString& name, int value, int most) {
    auto* b = new QSpinBox(&dialog);
    b->setObjectName(name);
    b->setRange(64, std::max(64, most));
    b->setValue(value);
    return b;
  };
  // A new view never opens larger than the main window holds.
  QSpinBox* width = spin(QStringLiteral("Width"), s.view.width, s.main.width);
  QSpinBox* height = spin(QStringLiteral("Height"), s.view.height, s.main.height);
  auto* aspect = new QCheckBox(QStringLiteral("Maintain Aspect Ratio"), &dialog);
  aspect->setChecked(s.keepAspect != 0);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("New view width:"), width);
  form->addRow(QStringLiteral("New view height:"), height);
  form->addRow(aspect);
  auto* box = OkCancel(&dialog);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(box);
  if (dialog.exec() != QDialog::Accepted) return 2;
  s.view.width = width->value();
  s.view.height = height->value();
  bool switchedOn = aspect->isChecked() && s.keepAspect == 0;
  s.keepAspect = aspect->isChecked() ? 1 : 0;
  if (switchedOn)
    for (ViewRecord* v : AllViews()) TheHost().FitViewWindow(v, false);
  return 0;
}

int RunDisplayInformation(QWidget* parent) {
  DisplayInformation info = DescribeDisplay(TheProgram().display.screen);
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Display Information"));
  dialog.setObjectName(QStringLiteral("Display Information"));
  auto* grid = new QGridLayout;
  auto row = [&](int r, const char* caption, const std::string& value, const std::string& beside = {}) {
    grid->addWidget(new QLabel(QString::fromLatin1(caption), &dialog), r, 0);
    auto* v = new QLabel(QString::fromStdString(value), &dialog);
    v->setObjectName(QString::fromLatin1(caption));
    // "%4d" pads with blanks; a fixed-pitch face keeps the columns.
    v->setFont(QFont(QStringLiteral("monospace")));
    grid->addWidget(v, r, 1);
    if (beside.empty()) return;
    auto* b = new QLabel(QString::fromStdString(beside), &dialog);
    b->setObjectName(QStringLiteral("Colors"));
    grid->addWidget(b, r, 2);
    grid->addWidget(new QLabel(QStringLiteral("colors"), &dialog), r, 3);
  };
  row(0, "Bits per pixel:", info.bitsText, info.colours);
  row(1, "Palette depth:", info.depthText);
  row(2, "Width:", info.widthText);
  row(3, "Height:", info.heightText);
  grid->addWidget(new QLabel(QStringLiteral("Recommended display mode:"), &dialog), 4, 0);
  auto* mode = new QLabel(QString::fromStdString(info.recommended), &dialog);
  mode->setObjectName(QStringLiteral("Recommended"));
  grid->addWidget(mode, 4, 1, 1, 3);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(grid);
  layout->addWidget(box);
  dialog.exec();
  return 0;
}

}  // namespace qv::ui
