#include "formats/ui/raw_dialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "app/ui/dialog_buttons.h"
#include "formats/raw.h"

namespace qv::ui {
namespace {

constexpr int kMaxSide = 1 << 20;

QString Q(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

RawImageDialog::RawImageDialog(QWidget* parent, const RawImageRequest& request) : QDialog(parent), request_(request) {
  setObjectName(QStringLiteral("RawDlg"));
  setWindowTitle(QStringLiteral("Raw Image Load"));
  auto* layout = new QVBoxLayout(this);
  auto* file = new QLabel(QStringLiteral("%1\n%2 bytes")
                              .arg(QFileInfo(Q(request.fileName)).fileName())
                              .arg(static_cast<qulonglong>(request.fileSize)),
                          this);
  file->setObjectName(QStringLiteral("fileInfo"));
  file->setToolTip(Q(request.fileName));
  layout->addWidget(file);

  auto spin = [this](const char* name, long long value, int low, int high) {
    auto* s = new QSpinBox(this);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(low, high);
    s->setValue(static_cast<int>(std::clamp<long long>(value, low, high)));
    return s;
  };
  start_ = spin("start", request.start, 0, INT_MAX);
  width_ = spin("width", request.width, 1, kMaxSide);
  height_ = spin("height", request.height, 1, kMaxSide);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("&Starting byte:"), start_);
  form->addRow(QStringLiteral("&Width:"), width_);
  form->addRow(QStringLiteral("&Height:"), height_);
  layout->addLayout(form);

  auto* group = new QGroupBox(QStringLiteral("Layout"), this);
  auto* column = new QVBoxLayout(group);
  auto* buttons = new QButtonGroup(this);
  static const char* const kLabels[] = {"&Gray scale", "R,G,B,  R,G,B, ...", "R block, G block, B block",
                                        "R file, G file, B file"};
  for (int l = 0; l < kRawLayoutCount; ++l) {
    auto* b = new QRadioButton(QString::fromLatin1(kLabels[l]), group);
    b->setObjectName(QStringLiteral("layout%1").arg(l));
    buttons->addButton(b, l);
    column->addWidget(b);
    layouts_[static_cast<std::size_t>(l)] = b;
  }
  layouts_[static_cast<std::size_t>(std::clamp(request.layout, 0, kRawLayoutCount - 1))]->setChecked(true);
  green_ = new QLineEdit(Q(request.greenExtension), group);
  green_->setObjectName(QStringLiteral("greenExtension"));
  blue_ = new QLineEdit(Q(request.blueExtension), group);
  blue_->setObjectName(QStringLiteral("blueExtension"));
  auto* extensions = new QFormLayout;
  extensions->addRow(QStringLiteral("G&reen file extension:"), green_);
  extensions->addRow(QStringLiteral("B&lue file extension:"), blue_);
  column->addLayout(extensions);
  layout->addWidget(group);
  layout->addWidget(OkCancel(this));

  const bool files = request.layout == kRawFiles;
  green_->setEnabled(files);
  blue_->setEnabled(files);
  connect(buttons, &QButtonGroup::idClicked, this, &RawImageDialog::LayoutChosen);
}

void RawImageDialog::LayoutChosen(int layout) {
  RawSize proposal = ProposeRawSize(request_.fileSize, start_->value(), layout);
  width_->setValue(proposal.width);
  height_->setValue(proposal.height);
  green_->setEnabled(layout == kRawFiles);
  blue_->setEnabled(layout == kRawFiles);
}

RawImageRequest RawImageDialog::Request() const {
  RawImageRequest r = request_;
  r.start = start_->value();
  r.width = width_->value();
  r.height = height_->value();
  for (int l = 0; l < kRawLayoutCount; ++l)
    if (layouts_[static_cast<std::size_t>(l)]->isChecked()) r.layout = l;
  r.greenExtension = green_->text().toStdString();
  r.blueExtension = blue_->text().toStdString();
  return r;
}

bool RunRawImageDialog(QWidget* parent, RawImageRequest& request) {
  RawImageDialog dialog(parent, request);
  if (dialog.exec() != QDialog::Accepted) return false;
  request = dialog.Request();
  return true;
}

}  // namespace qv::ui
