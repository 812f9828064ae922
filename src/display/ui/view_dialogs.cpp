#include "display/ui/view_dialogs.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/commands.h"
#include "app/messages.h"
#include "app/program.h"
#include "app/string_table.h"
#include "display/views.h"
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
  auto* box = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
  QObject::connect(box, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addWidget(box);
  dialog.exec();
  return 0;
}

}  // namespace qv::ui
