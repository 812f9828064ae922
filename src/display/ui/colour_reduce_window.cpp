#include "display/ui/colour_reduce_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <filesystem>

#include "app/program.h"
#include "display/colour_palettes.h"
#include "display/colour_reduce.h"
#include "extlib/palette_library.h"

namespace qv::ui {
namespace {

constexpr const char* kUsageFilter = "Palette Usage (*.PLU)";

ColourReduceState& Reduce() { return TheProgram().reduce; }

}  // namespace

ColourReduceWindow::ColourReduceWindow(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setObjectName(QStringLiteral("reduceClass"));
  setWindowTitle(QStringLiteral("Output Color Reduction"));
  setAttribute(Qt::WA_DeleteOnClose);
  auto* top = new QHBoxLayout(this);

  auto* left = new QVBoxLayout;
  auto* sourceBox = new QGroupBox(QStringLiteral("Palette"), this);
  auto* sourceLayout = new QVBoxLayout(sourceBox);
  sources_ = new QButtonGroup(this);
  const std::pair<const char*, int> kSources[] = {{"Use &default color palette", kPaletteDefault},
                                                  {"Use &gray scale palette", kPaletteGray},
                                                  {"Use &existing render palette", kPaletteRender},
                                                  {"C&hoose palette colors", kPaletteChoose}};
  for (auto [text, id] : kSources) {
    auto* b = new QRadioButton(QString::fromUtf8(text), sourceBox);
    sources_->addButton(b, id);
    sourceLayout->addWidget(b);
  }
  connect(sources_, &QButtonGroup::idClicked, this, [](int id) { Reduce().chooseColors = id; });
  left->addWidget(sourceBox);

  auto* edit = new QPushButton(QStringLiteral("Edit &Palette"), this);
  connect(edit, &QPushButton::clicked, this, [] { OpenPal(&TheProgram().palettes.render); });
  left->addWidget(edit);
  lock_ = new QCheckBox(QStringLiteral("&Lock palette after first frame"), this);
  connect(lock_, &QCheckBox::clicked, this, [](bool on) { Reduce().lockAfterFirst = on ? 1 : 0; });
  left->addWidget(lock_);

  auto* countRow = new QHBoxLayout;
  auto* countLabel = new QLabel(QStringLiteral("&Number of Colors"), this);
  colours_ = new QSpinBox(this);
  colours_->setRange(1, 256);
  countLabel->setBuddy(colours_);
  countRow->addWidget(countLabel);
  countRow->addWidget(colours_);
  left->addLayout(countRow);
  connect(colours_, &QSpinBox::valueChanged, this, [this](int n) {
    if (n == NumberOfColours()) return;
    SetNumberOfColours(n);
    FillUsage();
  });

  auto* ditherBox = new QGroupBox(QStringLiteral("Dither"), this);
  auto* ditherLayout = new QVBoxLayout(ditherBox);
  dithers_ = new QButtonGroup(this);
  auto* ordered = new QRadioButton(QStringLiteral("&Ordered Dither"), ditherBox);
  auto* diffusion = new QRadioButton(QStringLiteral("Error Di&ffusion Dither"), ditherBox);
  dithers_->addButton(ordered, 1);
  dithers_->addButton(diffusion, 0);
  ditherLayout->addWidget(ordered);
  ditherLayout->addWidget(diffusion);
  connect(dithers_, &QButtonGroup::idClicked, this, [](int id) { Reduce().ordered = id; });
  auto* amountRow = new QHBoxLayout;
  amountRow->addWidget(new QLabel(QStringLiteral("Dither &Amount"), ditherBox));
  amount_ = new QSlider(Qt::Horizontal, ditherBox);
  amount_->setRange(0, 100);
  amount_->setPageStep(10);
  amountText_ = new QLabel(ditherBox);
  amountText_->setMinimumWidth(40);
  amountRow->addWidget(amount_, 1);
  amountRow->addWidget(amountText_);
  ditherLayout->addLayout(amountRow);
  connect(amount_, &QSlider::valueChanged, this, [this](int v) {
    Reduce().ditherAmount = v;
    amountText_->setText(QStringLiteral("%1 %").arg(v));
  });
  left->addWidget(ditherBox);
  left->addStretch();
  top->addLayout(left);

  auto* useBox = new QGroupBox(QStringLiteral("Palette Use"), this);
  auto* useLayout = new QVBoxLayout(useBox);
  usage_ = new QTableWidget(0, 2, useBox);
  usage_->setObjectName(QStringLiteral("usageTable"));
  usage_->setHorizontalHeaderLabels({QStringLiteral("Color"), QStringLiteral("Use")});
  usage_->verticalHeader()->setDefaultSectionSize(18);
  usage_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  usage_->setSelectionBehavior(QAbstractItemView::SelectRows);
  usage_->setMinimumHeight(220);
  // A double click steps an entry through pick, use as is and skip.
  connect(usage_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
    char letter = UsageLetter(row);
    SetUsage(row, letter == 'p' ? kUseAsIs : letter == 'u' ? kUseSkip : kUsePick);
    FillUsage();
  });
  useLayout->addWidget(usage_);
  useLayout->addWidget(new QLabel(QStringLiteral("p = pick, u = use as is, s = skip"), useBox));
  auto* codeRow = new QHBoxLayout;
  const std::pair<const char*, int> kCodes[] = {{"&p", kUsePick}, {"&u", kUseAsIs}, {"&s", kUseSkip}};
  for (auto [text, code] : kCodes) {
    auto* b = new QPushButton(QString::fromUtf8(text), useBox);
    b->setObjectName(QStringLiteral("use%1").arg(code));
    connect(b, &QPushButton::clicked, this, [this, code] { SetSelectedUsage(code); });
    codeRow->addWidget(b);
  }
  useLayout->addLayout(codeRow);
  auto* fileRow = new QHBoxLayout;
  auto* load = new QPushButton(QStringLiteral("Load Use"), useBox);
  auto* save = new QPushButton(QStringLiteral("Save Use"), useBox);
  load->setObjectName(QStringLiteral("loadUse"));
  save->setObjectName(QStringLiteral("saveUse"));
  connect(load, &QPushButton::clicked, this, [this] {
    Settings& s = TheProgram().settings;
    auto files = TheHost().ChooseFiles({"Load Palette Usage", kUsageFilter, s.palUsePath, false});
    if (files.empty()) return;
    s.palUsePath = std::filesystem::path(files.front()).parent_path().string();
    LoadPaletteUsage(files.front());
    Refresh();
  });
  connect(save, &QPushButton::clicked, this, [] {
    Settings& s = TheProgram().settings;
    std::string file = TheHost().ChooseSaveFile({"Save Palette Usage", kUsageFilter, s.palUsePath, false});
    if (file.empty()) return;
    s.palUsePath = std::filesystem::path(file).parent_path().string();
    SavePaletteUsage(file);
  });
  fileRow->addWidget(load);
  fileRow->addWidget(save);
  useLayout->addLayout(fileRow);
  top->addWidget(useBox);
  Refresh();
}

void ColourReduceWindow::Refresh() {
  const ColourReduceState& s = Reduce();
  if (QAbstractButton* b = sources_->button(s.chooseColors)) b->setChecked(true);
  if (QAbstractButton* b = dithers_->button(s.ordered ? 1 : 0)) b->setChecked(true);
  lock_->setChecked(s.lockAfterFirst != 0);
  {
    const QSignalBlocker block(colours_);
    colours_->setValue(std::clamp(NumberOfColours(), 1, 256));
  }
  amount_->setValue(s.ditherAmount);
  amountText_->setText(QStringLiteral("%1 %").arg(s.ditherAmount));
  FillUsage();
}

// One line per entry in use: its colour in the render palette and its code.
void ColourReduceWindow::FillUsage() {
  const PaletteRecord& render = TheProgram().palettes.render;
  const int count = std::clamp(NumberOfColours(), 0, 256);
  usage_->setRowCount(count);
  for (int i = 0; i < count; ++i) {
    auto* swatch = usage_->item(i, 0);
    if (!swatch) {
      swatch = new QTableWidgetItem;
      usage_->setItem(i, 0, swatch);
    }
    swatch->setBackground(QColor(render.red[i], render.green[i], render.blue[i]));
    auto* code = usage_->item(i, 1);
    if (!code) {
      code = new QTableWidgetItem;
      usage_->setItem(i, 1, code);
    }
    code->setText(QString(QChar(UsageLetter(i))));
  }
}

void ColourReduceWindow::SetSelectedUsage(int code) {
  for (const QModelIndex& index : usage_->selectionModel()->selectedRows())
    SetUsage(index.row(), static_cast<std::uint8_t>(code));
  FillUsage();
}

void ColourReduceWindow::closeEvent(QCloseEvent* event) {
  Reduce().windowOpen = false;
  setObjectName(QString());  // no longer found while it waits to be deleted
  QWidget::closeEvent(event);
}

ColourReduceWindow* OpenColourReduceWindow(QWidget* parent) {
  auto* w = parent ? parent->findChild<ColourReduceWindow*>(QStringLiteral("reduceClass"), Qt::FindDirectChildrenOnly)
                   : nullptr;
  if (!w) w = new ColourReduceWindow(parent);
  Reduce().windowOpen = true;
  w->Refresh();
  w->show();
  w->raise();
  return w;
}

}  // namespace qv::ui
