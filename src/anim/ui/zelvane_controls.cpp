#include "anim/ui/zelvane_controls.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <filesystem>

#include "anim/zelvane_link.h"
#include "base/messages.h"
#include "ops/op_state.h"

namespace qv {
namespace {

constexpr OpId kDistortionOp = 3199;

std::string& PointFileOf(OpId op) {
  return op == kDistortionOp ? Ops().distortionPointFile : Ops().transitionPointFile;
}

// A name that cannot be kept whole is refused, never cut; the box goes back
// to the name in force.
bool Accept(QLineEdit* box, OpId op, const QString& typed) {
  std::string name = typed.trimmed().toStdString();
  if (!name.empty()) name = std::filesystem::absolute(name).lexically_normal().string();
  std::string why;
  if (!PointFileNameFits(name, why)) {
    ShowNote(why);
    box->setText(QString::fromStdString(PointFileOf(op)));
    return false;
  }
  PointFileOf(op) = name;
  box->setText(QString::fromStdString(name));
  return true;
}

}  // namespace

void AddZelvaneControls(QWidget* body, QGridLayout* grid, int& gridRow, OpId op) {
  auto* box = new QLineEdit(QString::fromStdString(PointFileOf(op)), body);
  box->setObjectName(QStringLiteral("pointFile"));
  box->setPlaceholderText(QStringLiteral("point file (.zpt)"));
  auto* browse = new QPushButton(QStringLiteral("Browse..."), body);
  browse->setObjectName(QStringLiteral("browsePointFile"));
  auto* edit = new QPushButton(QStringLiteral("Edit in Zelvane"), body);
  edit->setObjectName(QStringLiteral("editInZelvane"));
  grid->addWidget(new QLabel(QStringLiteral("Point File"), body), gridRow, 0);
  grid->addWidget(box, gridRow, 1, 1, 2);
  grid->addWidget(browse, gridRow++, 3);
  grid->addWidget(edit, gridRow++, 0, 1, 2);

  QObject::connect(box, &QLineEdit::editingFinished, body, [body, box, op] {
    if (box->text().trimmed().toStdString() != PointFileOf(op)) Accept(box, op, box->text());
  });
  QObject::connect(browse, &QPushButton::clicked, body, [body, box, op] {
    // Starts in the folder of the point file in force.
    const QString current = QString::fromStdString(PointFileOf(op));
    const QString name = QFileDialog::getSaveFileName(
        body, QStringLiteral("Point File"), current.isEmpty() ? QString() : QFileInfo(current).absolutePath(),
        QStringLiteral("Point files (*.zpt);;All files (*)"), nullptr, QFileDialog::DontConfirmOverwrite);
    if (!name.isEmpty()) Accept(box, op, name);
  });
  QObject::connect(edit, &QPushButton::clicked, body, [body, box, op] {
    if (box->text().trimmed().toStdString() != PointFileOf(op) && !Accept(box, op, box->text())) return;
    (void)EditInZelvane(PointFileOf(op), op == kDistortionOp ? 1 : 2);
  });
}

}  // namespace qv
