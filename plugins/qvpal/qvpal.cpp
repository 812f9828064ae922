// QVpal: the palette library. A modeless palette window that edits a
// palette record in place, palette files in the GIMP format, and the colour
// chooser with the program's 16 custom colours.
#include <QColorDialog>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QVBoxLayout>

#include "extlib/qvpal_abi.h"
#include "extlib/gpl_format.h"

#define QVPAL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr int kColumns = 16;
constexpr qint64 kMaxPaletteFile = 1 << 20;

// The one palette window and what the program asked to hear about it.
struct WindowState {
  QPointer<QDialog> window;
  QvPalClosed onClose = nullptr;
  void** windowOut = nullptr;
};

WindowState& Window() {
  static WindowState state;
  return state;
}

QWidget* Parent(void* mainWindow) { return static_cast<QWidget*>(mainWindow); }

QString SwatchStyle(const PaletteRecord& p, int i) {
  return QStringLiteral("background: rgb(%1,%2,%3); border: 1px solid #333;").arg(p.red[i]).arg(p.green[i]).arg(p.blue[i]);
}

void FillSwatches(QDialog* dialog, QGridLayout* grid, QLabel* title, PaletteRecord* palette) {
  while (QLayoutItem* item = grid->takeAt(0)) {
    delete item->widget();
    delete item;
  }
  title->setText(QStringLiteral("%1 (%2 colours)").arg(QString::fromUtf8(palette->name)).arg(qvpal::EntryCount(*palette)));
  for (int i = 0; i < qvpal::EntryCount(*palette); ++i) {
    auto* swatch = new QPushButton;
    swatch->setFixedSize(20, 20);
    swatch->setToolTip(QStringLiteral("%1: %2 %3 %4").arg(i).arg(palette->red[i]).arg(palette->green[i]).arg(palette->blue[i]));
    swatch->setStyleSheet(SwatchStyle(*palette, i));
    QObject::connect(swatch, &QPushButton::clicked, dialog, [dialog, swatch, palette, i] {
      QColor c = QColorDialog::getColor(QColor(palette->red[i], palette->green[i], palette->blue[i]), dialog,
                                        QStringLiteral("Palette entry %1").arg(i));
      if (!c.isValid()) return;
      palette->red[i] = static_cast<uint8_t>(c.red());
      palette->green[i] = static_cast<uint8_t>(c.green());
      palette->blue[i] = static_cast<uint8_t>(c.blue());
      swatch->setStyleSheet(SwatchStyle(*palette, i));
    });
    grid->addWidget(swatch, i / kColumns, i % kColumns);
  }
}

int LoadInto(QWidget* parent, PaletteRecord* palette) {
  QString path = QFileDialog::getOpenFileName(parent, QStringLiteral("Load Palette"), QString(),
                                              QStringLiteral("GIMP palettes (*.gpl);;All files (*)"));
  if (path.isEmpty()) return 2;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return 1;
  QByteArray bytes = file.read(kMaxPaletteFile);
  PaletteRecord loaded = *palette;
  if (!qvpal::ParseGpl(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), loaded)) return 1;
  *palette = loaded;
  return 0;
}

int SaveFrom(QWidget* parent, const PaletteRecord* palette) {
  QString path = QFileDialog::getSaveFileName(parent, QStringLiteral("Save Palette"), QString::fromUtf8(palette->name),
                                              QStringLiteral("GIMP palettes (*.gpl)"));
  if (path.isEmpty()) return 2;
  // QSaveFile writes beside the target and renames it over when complete.
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return 1;
  std::string text = qvpal::FormatGpl(*palette);
  file.write(text.data(), static_cast<qint64>(text.size()));
  return file.commit() ? 0 : 1;
}

}  // namespace

QVPAL_EXPORT int OpenPal(void*, void* mainWindow, PaletteRecord* palette, void*, QvPalClosed onClose, QvPalAllocate,
                         QvPalFree, QvPalMessage, void** windowOut) {
  WindowState& s = Window();
  if (s.window) s.window->close();
  auto* dialog = new QDialog(Parent(mainWindow), Qt::Tool);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setWindowTitle(QStringLiteral("Palette"));
  auto* title = new QLabel(dialog);
  auto* holder = new QWidget;
  auto* grid = new QGridLayout(holder);
  grid->setSpacing(1);
  auto* scroll = new QScrollArea(dialog);
  scroll->setWidget(holder);
  scroll->setWidgetResizable(true);
  auto* load = new QPushButton(QStringLiteral("&Load..."), dialog);
  auto* save = new QPushButton(QStringLiteral("&Save..."), dialog);
  auto* close = new QPushButton(QStringLiteral("&Close"), dialog);
  QObject::connect(load, &QPushButton::clicked, dialog, [=] {
    if (LoadInto(dialog, palette) == 0) FillSwatches(dialog, grid, title, palette);
  });
  QObject::connect(save, &QPushButton::clicked, dialog, [=] { SaveFrom(dialog, palette); });
  QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::close);
  QObject::connect(dialog, &QObject::destroyed, [] {
    WindowState& st = Window();
    if (st.windowOut) *st.windowOut = nullptr;
    if (st.onClose) st.onClose();
  });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(load);
  buttons->addWidget(save);
  buttons->addStretch();
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(dialog);
  layout->addWidget(title);
  layout->addWidget(scroll, 1);
  layout->addLayout(buttons);
  FillSwatches(dialog, grid, title, palette);
  dialog->resize(kColumns * 21 + 60, 420);
  s.window = dialog;
  s.onClose = onClose;
  s.windowOut = windowOut;
  if (windowOut) *windowOut = dialog;
  dialog->show();
  return 0;
}

QVPAL_EXPORT int ClosePal() {
  WindowState& s = Window();
  s.onClose = nullptr;  // the program closed it itself
  if (s.window) delete s.window.data();
  s.windowOut = nullptr;
  return 0;
}

QVPAL_EXPORT int LoadPal(PaletteRecord* palette) { return LoadInto(nullptr, palette); }

QVPAL_EXPORT int SavePal(PaletteRecord* palette) { return SaveFrom(nullptr, palette); }

QVPAL_EXPORT int AskCol(void*, void* mainWindow, int* red, int* green, int* blue, void*, QvPalAllocate, QvPalFree,
                        QvPalMessage, uint32_t* customColours, const char* title) {
  for (int i = 0; i < 16 && customColours; ++i) {
    uint32_t c = customColours[i];
    QColorDialog::setCustomColor(i, QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF));
  }
  QColorDialog dialog(QColor(std::clamp(*red, 0, 255), std::clamp(*green, 0, 255), std::clamp(*blue, 0, 255)),
                      Parent(mainWindow));
  dialog.setWindowTitle(QString::fromUtf8(title ? title : ""));
  if (dialog.exec() != QDialog::Accepted) return 2;
  QColor c = dialog.selectedColor();
  *red = c.red();
  *green = c.green();
  *blue = c.blue();
  for (int i = 0; i < 16 && customColours; ++i) {
    QColor k = QColorDialog::customColor(i);
    customColours[i] = static_cast<uint32_t>(k.red()) + static_cast<uint32_t>(k.green()) * 256u +
                       static_cast<uint32_t>(k.blue()) * 65536u;
  }
  return 0;
}
