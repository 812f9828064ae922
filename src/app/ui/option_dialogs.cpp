#include "app/ui/option_dialogs.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/program.h"
#include "area/ui/area_dialogs.h"
#include "area/ui/area_toolbox.h"
#include "display/ui/view_dialogs.h"
#include "ops/apply.h"
#include "ops/op_state.h"
#include "store/ui/memory_dialog.h"
#include "store/undo.h"
#include "app/ui/dialog_buttons.h"

namespace qv::ui {
namespace {

int Accepted(bool ok) { return ok ? 0 : 2; }

}  // namespace

int RunWorkingMethod(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Working Method"));
  dialog.setObjectName(QStringLiteral("MethodDlg"));
  auto* drawFirst = new QRadioButton(QStringLiteral("Draw First"), &dialog);
  auto* immediate = new QRadioButton(QStringLiteral("Immediate Painting"), &dialog);
  (DrawFirst() ? drawFirst : immediate)->setChecked(true);
  auto* drawFirstText = new QLabel(QStringLiteral("Make the area selection, then click an effect to apply it."), &dialog);
  auto* immediateText =
      new QLabel(QStringLiteral("Choose the effect first; every area selection you make applies it."), &dialog);
  for (QLabel* l : {drawFirstText, immediateText}) {
    l->setWordWrap(true);
    l->setIndent(20);
  }
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(drawFirst);
  layout->addWidget(drawFirstText);
  layout->addWidget(immediate);
  layout->addWidget(immediateText);
  layout->addWidget(OkCancel(&dialog));
  if (dialog.exec() != QDialog::Accepted) return 2;
  SetWorkMethod(drawFirst->isChecked() ? kWorkDrawFirst : kWorkImmediatePainting);
  return 0;
}

int RunUndoLevels(QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Number of Undo levels"));
  dialog.setObjectName(QStringLiteral("UndoNum"));
  auto* edit = new QLineEdit(QString::number(TheProgram().undo.levels), &dialog);
  edit->setObjectName(QStringLiteral("UndoWant"));
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Undo levels (0 to %1):").arg(kMaxUndoLevels), edit);
  auto* note = new QLabel(QStringLiteral("Each level keeps a copy of the part of the image an operation changes."),
                          &dialog);
  note->setWordWrap(true);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(note);
  layout->addWidget(OkCancel(&dialog));
  if (dialog.exec() != QDialog::Accepted) return 2;
  bool ok = false;
  int wanted = edit->text().trimmed().toInt(&ok);
  // Text that is no number changes nothing, as a Cancel would.
  if (!ok) return 2;
  return ChangeUndoLevels(wanted);
}

int RunOptionDialog(int id, QWidget* parent) {
  switch (id) {
    case 123: return RunWorkingMethod(parent);
    case 205: return RunUndoLevels(parent);
    case 361: return RunWindowSizing(parent);
    case 632: return RunDisplayInformation(parent);
    case 618: return Accepted(AskRoundness(parent));
    case 619: return Accepted(AskAreaFont(parent));
    case 620: return Accepted(AskColourRanges(parent, true));
    case 621: return Accepted(AskColourRanges(parent, false));
    case 707: return RunMemoryInfo(parent);
    case 911: return RunTransparencyControls(parent);
    case 912: return RunSplatterControls(parent);
    default: return 1;
  }
}

}  // namespace qv::ui
