#include "store/ui/image_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <map>
#include <cstdio>
#include <cstring>

#include "app/program.h"
#include "app/ui/dialog_buttons.h"
#include "base/messages.h"
#include "extlib/palette_library.h"
#include "store/image_record.h"

namespace qv::ui {
namespace {

constexpr int kNoImageForInformation = 29;
constexpr int kChangeNameMax = 39;
constexpr double kMillimetresPerInch = 25.40005;

QString Q(const std::string& s) { return QString::fromStdString(s); }

double Dpi(std::int32_t num, std::int32_t den) { return den > 0 ? static_cast<double>(num) / den : num; }

std::string Pair(double a, double b) {
  char text[64];
  std::snprintf(text, sizeof text, "%5.1lf x %5.1lf", a, b);
  return text;
}

// The image list every image dialog starts from.
QListWidget* ImageList(QDialog* dialog) {
  auto* list = new QListWidget(dialog);
  list->setObjectName(QStringLiteral("images"));
  for (int i = 0; i < ImageCount(); ++i) list->addItem(QString::fromUtf8(ImageAt(i)->name));
  list->setCurrentRow(0);
  return list;
}

}  // namespace

std::string InchText(int width, int height, int dpiX, int dpiY) {
  return Pair(static_cast<double>(width) / std::max(dpiX, 1), static_cast<double>(height) / std::max(dpiY, 1));
}

std::string MillimetreText(int width, int height, int dpiX, int dpiY) {
  return Pair(kMillimetresPerInch * width / std::max(dpiX, 1), kMillimetresPerInch * height / std::max(dpiY, 1));
}

bool RunNewImageDetails(QWidget* parent, NewImageDetails& details) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("New Image Details"));
  dialog.setObjectName(QStringLiteral("NewImageDetails"));
  auto* form = new QFormLayout;
  auto* name = new QLineEdit(Q(details.name), &dialog);
  name->setObjectName(QStringLiteral("name"));
  name->setMaxLength(kNewImageNameMax);
  auto spin = [&](const char* objectName, int value, int lo, int hi) {
    auto* s = new QSpinBox(&dialog);
    s->setObjectName(QString::fromLatin1(objectName));
    s->setRange(lo, hi);
    s->setValue(value);
    return s;
  };
  QSpinBox* width = spin("width", details.width, 1, 32000);
  QSpinBox* height = spin("height", details.height, 1, 32000);
  QSpinBox* dpiX = spin("dpiX", details.dpiX, 1, 10000);
  QSpinBox* dpiY = spin("dpiY", details.dpiY, 1, 10000);
  auto* inches = new QLabel(&dialog);
  auto* millimetres = new QLabel(&dialog);
  inches->setObjectName(QStringLiteral("inches"));
  millimetres->setObjectName(QStringLiteral("millimetres"));
  auto sizes = [&] {
    inches->setText(Q(InchText(width->value(), height->value(), dpiX->value(), dpiY->value())));
    millimetres->setText(Q(MillimetreText(width->value(), height->value(), dpiX->value(), dpiY->value())));
  };
  sizes();
  for (QSpinBox* s : {width, height, dpiX, dpiY}) QObject::connect(s, &QSpinBox::valueChanged, &dialog, sizes);
  int colour[3] = {details.colour[0], details.colour[1], details.colour[2]};
  auto* swatch = new QLabel(&dialog);
  swatch->setObjectName(QStringLiteral("swatch"));
  swatch->setMinimumSize(48, 20);
  auto paintSwatch = [&] {
    swatch->setStyleSheet(
        QStringLiteral("background: rgb(%1,%2,%3); border: 1px solid black").arg(colour[0]).arg(colour[1]).arg(colour[2]));
  };
  paintSwatch();
  auto* pick = new QPushButton(QStringLiteral("Specify Initial &Color"), &dialog);
  QObject::connect(pick, &QPushButton::clicked, &dialog, [&] {
    if (AskCol(&colour[0], &colour[1], &colour[2], "New Image") == 0) paintSwatch();
  });
  form->addRow(QStringLiteral("&Name:"), name);
  form->addRow(QStringLiteral("Pixels &X:"), width);
  form->addRow(QStringLiteral("Pixels &Y:"), height);
  form->addRow(QStringLiteral("DPI X:"), dpiX);
  form->addRow(QStringLiteral("DPI Y:"), dpiY);
  form->addRow(QStringLiteral("Inches:"), inches);
  form->addRow(QStringLiteral("Millimetres:"), millimetres);
  auto* colourRow = new QHBoxLayout;
  colourRow->addWidget(pick);
  colourRow->addWidget(swatch);
  form->addRow(colourRow);
  auto* box = OkCancel(&dialog);
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

int RunUndoChoose(QWidget* parent, bool deUndo, const std::vector<std::string>& entries, int defaultIndex) {
  QDialog dialog(parent);
  dialog.setObjectName(deUndo ? QStringLiteral("DeUndoChoose") : QStringLiteral("UndoChoose"));
  dialog.setWindowTitle(deUndo ? QStringLiteral("Choose Layer to De-Undo") : QStringLiteral("Choose Layer to Undo"));
  auto* list = new QListWidget(&dialog);
  for (const auto& e : entries) list->addItem(Q(e));
  list->setCurrentRow(std::clamp(defaultIndex, 0, std::max(0, static_cast<int>(entries.size()) - 1)));
  QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
  auto* box = OkCancel(&dialog);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(list);
  layout->addWidget(box);
  if (dialog.exec() != QDialog::Accepted) return -1;
  return list->currentRow();
}

int RunImageInfo(QWidget* parent) {
  if (ImageCount() == 0) {
    ShowMessage(kNoImageForInformation);
    return 1;
  }
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("ImgInfo"));
  dialog.setWindowTitle(QStringLiteral("Image Information"));
  QListWidget* list = ImageList(&dialog);
  auto* form = new QFormLayout;
  auto field = [&](const QString& label, const char* objectName) {
    auto* l = new QLabel(&dialog);
    l->setObjectName(QString::fromLatin1(objectName));
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(label, l);
    return l;
  };
  QLabel* name = field(QStringLiteral("Name:"), "name");
  QLabel* size = field(QStringLiteral("Size:"), "size");
  QLabel* dpi = field(QStringLiteral("DPI:"), "dpi");
  QLabel* alpha = field(QStringLiteral("Image Has Alpha:"), "alpha");
  QLabel* parentName = field(QStringLiteral("Parent:"), "parent");
  QLabel* author = field(QStringLiteral("Author:"), "author");
  QLabel* annotation = field(QStringLiteral("Annotation:"), "annotation");
  annotation->setWordWrap(true);
  auto show = [&](int row) {
    ImageRecord* image = ImageAt(row);
    if (!image) return;
    name->setText(QString::fromUtf8(image->name));
    size->setText(QStringLiteral("%1 x %2").arg(image->width).arg(image->height));
    dpi->setText(Q(Pair(Dpi(image->dpiXNum, image->dpiXDen), Dpi(image->dpiYNum, image->dpiYDen))));
    alpha->setText(image->hasAlpha ? QStringLiteral("YES") : QStringLiteral("NO"));
    parentName->setText(image->parent ? QString::fromUtf8(image->parent->name) : QStringLiteral("(none)"));
    author->setText(QString::fromUtf8(image->author, static_cast<int>(strnlen(image->author, sizeof image->author))));
    annotation->setText(image->annotation ? QString::fromUtf8(image->annotation) : QString());
  };
  QObject::connect(list, &QListWidget::currentRowChanged, &dialog, show);
  show(0);
  auto* box = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(list);
  layout->addLayout(form);
  layout->addWidget(box);
  dialog.exec();
  return 0;
}

int RunChangeImageInfo(QWidget* parent) {
  if (ImageCount() == 0) {
    ShowMessage(kNoImageForInformation);
    return 1;
  }
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("ChangeDlg"));
  dialog.setWindowTitle(QStringLiteral("Change Image Information"));
  QListWidget* list = ImageList(&dialog);
  auto* form = new QFormLayout;
  auto* name = new QLineEdit(&dialog);
  name->setObjectName(QStringLiteral("name"));
  name->setMaxLength(kChangeNameMax);
  auto* dpiX = new QSpinBox(&dialog);
  auto* dpiY = new QSpinBox(&dialog);
  dpiX->setObjectName(QStringLiteral("dpiX"));
  dpiY->setObjectName(QStringLiteral("dpiY"));
  dpiX->setRange(0, 100000);
  dpiY->setRange(0, 100000);
  auto* alpha = new QCheckBox(QStringLiteral("Image Has Alpha"), &dialog);
  auto* parentBox = new QComboBox(&dialog);
  auto* author = new QLineEdit(&dialog);
  author->setMaxLength(static_cast<int>(sizeof(ImageRecord::author)) - 1);
  auto* annotation = new QPlainTextEdit(&dialog);
  form->addRow(QStringLiteral("&Name:"), name);
  form->addRow(QStringLiteral("DPI &X:"), dpiX);
  form->addRow(QStringLiteral("DPI &Y:"), dpiY);
  form->addRow(alpha);
  form->addRow(QStringLiteral("&Parent:"), parentBox);
  form->addRow(QStringLiteral("&Author:"), author);
  form->addRow(QStringLiteral("A&nnotation:"), annotation);

  // Edits stay in the dialog until OK, so that Cancel leaves every image it
  // showed as it was, not only the last one picked.
  struct Fields {
    std::string name;
    int dpiX = 0, dpiY = 0;
    bool alpha = false;
    ImageRecord* parent = nullptr;
    std::string author;
    std::string annotation;
  };
  auto of = [](const ImageRecord* im) {
    Fields f;
    f.name = im->name;
    f.dpiX = static_cast<int>(Dpi(im->dpiXNum, im->dpiXDen));
    f.dpiY = static_cast<int>(Dpi(im->dpiYNum, im->dpiYDen));
    f.alpha = im->hasAlpha != 0;
    f.parent = im->parent;
    f.author.assign(im->author, strnlen(im->author, sizeof im->author));
    if (im->annotation) f.annotation = im->annotation;
    return f;
  };
  std::map<ImageRecord*, Fields> edits;
  ImageRecord* image = nullptr;
  auto show = [&](const Fields& f) {
    name->setText(QString::fromStdString(f.name));
    dpiX->setValue(f.dpiX);
    dpiY->setValue(f.dpiY);
    alpha->setChecked(f.alpha);
    parentBox->clear();
    parentBox->addItem(QStringLiteral("(none)"));
    for (int i = 0; i < ImageCount(); ++i) parentBox->addItem(QString::fromUtf8(ImageAt(i)->name));
    parentBox->setCurrentIndex(f.parent ? ImageIndex(f.parent) + 1 : 0);
    author->setText(QString::fromStdString(f.author));
    annotation->setPlainText(QString::fromStdString(f.annotation));
  };
  auto read = [&] {
    Fields f;
    f.name = name->text().left(kChangeNameMax).toStdString();
    f.dpiX = dpiX->value();
    f.dpiY = dpiY->value();
    f.alpha = alpha->isChecked();
    ImageRecord* chosen = ImageAt(parentBox->currentIndex() - 1);
    f.parent = chosen == image ? nullptr : chosen;
    f.author = author->text().toStdString();
    f.annotation = annotation->toPlainText().toStdString();
    return f;
  };
  // Only what was changed is written: an untouched resolution keeps its
  // exact rational.
  auto apply = [&](ImageRecord* im, const Fields& f) {
    const Fields was = of(im);
    if (f.name != was.name) std::snprintf(im->name, sizeof im->name, "%s", f.name.c_str());
    if (f.dpiX != was.dpiX) im->dpiXNum = f.dpiX, im->dpiXDen = 1;
    if (f.dpiY != was.dpiY) im->dpiYNum = f.dpiY, im->dpiYDen = 1;
    im->hasAlpha = f.alpha ? 1 : 0;
    im->parent = f.parent;
    if (f.author != was.author) std::snprintf(im->author, sizeof im->author, "%s", f.author.c_str());
    if (f.annotation != was.annotation &&
        EnsureAnnotation(im, static_cast<int>(f.annotation.size()) + 1) == 0)
      std::memcpy(im->annotation, f.annotation.c_str(), f.annotation.size() + 1);
  };
  auto select = [&](int row) {
    if (image) edits[image] = read();
    image = ImageAt(row);
    if (!image) return;
    auto kept = edits.find(image);
    show(kept != edits.end() ? kept->second : of(image));
  };
  auto* square = new QPushButton(QStringLiteral("&Square"), &dialog);
  auto* ntsc = new QPushButton(QStringLiteral("NTSC"), &dialog);
  auto* pal = new QPushButton(QStringLiteral("PAL"), &dialog);
  auto* cancelChange = new QPushButton(QStringLiteral("Cancel This Change"), &dialog);
  QObject::connect(square, &QPushButton::clicked, &dialog, [&] {
    if (dpiX->value() == 0) dpiX->setValue(100);
    dpiY->setValue(dpiX->value());
  });
  QObject::connect(ntsc, &QPushButton::clicked, &dialog, [&] {
    dpiX->setValue(52);
    dpiY->setValue(44);
  });
  QObject::connect(pal, &QPushButton::clicked, &dialog, [&] {
    dpiX->setValue(52);
    dpiY->setValue(66);
  });
  // What the image has, since nothing is written before OK.
  QObject::connect(cancelChange, &QPushButton::clicked, &dialog, [&] {
    if (!image) return;
    Fields f = read();
    const Fields was = of(image);
    f.name = was.name;
    f.dpiX = was.dpiX;
    f.dpiY = was.dpiY;
    f.alpha = was.alpha;
    f.parent = was.parent;
    show(f);
  });
  auto* presets = new QHBoxLayout;
  for (QPushButton* b : {square, ntsc, pal, cancelChange}) presets->addWidget(b);
  QObject::connect(list, &QListWidget::currentRowChanged, &dialog, select);
  select(0);
  auto* box = OkCancel(&dialog);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(list);
  layout->addLayout(form);
  layout->addLayout(presets);
  layout->addWidget(box);
  if (dialog.exec() != QDialog::Accepted) return 2;
  if (image) edits[image] = read();
  for (const auto& [im, f] : edits) apply(im, f);
  return 0;
}

}  // namespace qv::ui
