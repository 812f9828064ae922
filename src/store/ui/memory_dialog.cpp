#include "store/ui/memory_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSysInfo>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <map>

#include "app/program.h"
#include "base/messages.h"
#include "store/image_record.h"
#include "store/memory_places.h"
#include "store/undo.h"

namespace qv::ui {
namespace {

struct TagUse {
  int places = 0;
  int locked = 0;
  std::int64_t bytes = 0;
};

QString Bytes(std::int64_t n) { return QLocale::c().toString(static_cast<qlonglong>(n)) + QStringLiteral(" bytes"); }

QLabel* Value(QDialog* dialog, const QString& name, const QString& text) {
  auto* l = new QLabel(text, dialog);
  l->setObjectName(name);
  l->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return l;
}

}  // namespace

int RunMemoryInfo(QWidget* parent) {
  const Program& p = TheProgram();
  const MemoryPlaces& m = p.memory;
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("System and Memory Info"));
  dialog.setObjectName(QStringLiteral("MemDlg"));

  auto* system = new QFormLayout;
  system->addRow(QStringLiteral("Program:"),
                 Value(&dialog, QStringLiteral("Program"), QStringLiteral("Pixanta: Q/v " QV_VERSION)));
  system->addRow(QStringLiteral("System:"), Value(&dialog, QStringLiteral("System"), QSysInfo::prettyProductName()));
  const ScreenInfo& screen = p.display.screen;
  system->addRow(QStringLiteral("Screen:"),
                 Value(&dialog, QStringLiteral("Screen"),
                       QStringLiteral("%1 x %2, %3 bits per pixel")
                           .arg(screen.width)
                           .arg(screen.height)
                           .arg(screen.bitsPerPixel * screen.planes)));

  auto* memory = new QFormLayout;
  memory->addRow(QStringLiteral("Memory places:"),
                 Value(&dialog, QStringLiteral("Places"),
                       QStringLiteral("%1 in use, at most %2").arg(m.placesInUse).arg(m.placesMax)));
  memory->addRow(QStringLiteral("Real (locked):"),
                 Value(&dialog, QStringLiteral("Real"),
                       Bytes(m.realTotal) + QStringLiteral(", at most ") + Bytes(m.realMax)));
  memory->addRow(QStringLiteral("Virtual (all):"),
                 Value(&dialog, QStringLiteral("Virtual"),
                       Bytes(m.virtualTotal) + QStringLiteral(", at most ") + Bytes(m.virtualMax)));
  std::int64_t imageBytes = 0;
  for (int i = 0; i < ImageCount(); ++i)
    imageBytes += std::int64_t{ImageAt(i)->width} * ImageAt(i)->height * 4;
  memory->addRow(QStringLiteral("Images loaded:"),
                 Value(&dialog, QStringLiteral("Images"),
                       QStringLiteral("%1 (%2 of pixels)").arg(ImageCount()).arg(Bytes(imageBytes))));
  const UndoState& u = p.undo;
  int layers = 0;
  for (int i = 0; u.stack && i < u.capacity; ++i) layers += u.stack[i] != nullptr;
  memory->addRow(QStringLiteral("Undo:"),
                 Value(&dialog, QStringLiteral("Undo"),
                       QStringLiteral("%1 levels, %2 layers held").arg(u.levels).arg(layers)));

  // What the memory is used for, one line per tag.
  std::map<std::string, TagUse> byTag;
  for (std::size_t i = 1; i < m.handle.size(); ++i) {
    if (!m.handle[i]) continue;
    TagUse& t = byTag[UnpackTag(m.tag[i])];
    t.places += 1;
    t.locked += m.address[i] != nullptr;
    t.bytes += m.size[i];
  }
  auto* tags = new QTreeWidget(&dialog);
  tags->setObjectName(QStringLiteral("Tags"));
  tags->setRootIsDecorated(false);
  tags->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("Places"), QStringLiteral("Locked"),
                         QStringLiteral("Bytes")});
  for (const auto& [tag, use] : byTag) {
    auto* item = new QTreeWidgetItem(tags);
    item->setText(0, QString::fromStdString(tag));
    item->setText(1, QString::number(use.places));
    item->setText(2, QString::number(use.locked));
    item->setText(3, QLocale::c().toString(static_cast<qlonglong>(use.bytes)));
    for (int c = 1; c < 4; ++c) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
  }
  tags->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
  tags->setMinimumHeight(160);

  auto* box = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QObject::connect(box, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  // The place-by-place list is long; it goes to the log, which must be kept.
  auto* report = box->addButton(QStringLiteral("Report to Log"), QDialogButtonBox::ActionRole);
  report->setEnabled(LogIsOpen());
  report->setToolTip(QStringLiteral("Writes every memory place to the log file (Options, Keep a log file)."));
  QObject::connect(report, &QPushButton::clicked, &dialog, [] { MemoryReport(); });

  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(system);
  layout->addLayout(memory);
  layout->addWidget(tags, 1);
  layout->addWidget(box);
  dialog.exec();
  return 0;
}

}  // namespace qv::ui
