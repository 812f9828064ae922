#include "formats/ui/save_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

#include "app/program.h"
#include "base/string_table.h"
#include "formats/save_choices.h"

namespace qv::ui {
namespace {

constexpr int kAllTypesFilter = 21110;
constexpr int kTypesWithoutGif = 21112;

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

SaveImageDialog::SaveImageDialog(QWidget* parent, const SaveImageRequest& request)
    : QFileDialog(parent, Q(request.title), Q(request.folder)), request_(request) {
  setObjectName(QStringLiteral("saveImageDialog"));
  // The dialog carries controls of its own, which a native one cannot.
  setOption(QFileDialog::DontUseNativeDialog, true);
  setAcceptMode(QFileDialog::AcceptSave);
  setFileMode(QFileDialog::AnyFile);
  userCompress_ = request.compress ? 1 : 0;

  // "Name (*.EXT)|*.EXT|..." pairs: the first of each pair is the filter.
  const QStringList parts = Q(LoadString(request.chopMem ? kAllTypesFilter : kTypesWithoutGif)).split('|');
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) filters_ << parts[i];
  types_ = OfferedSaveTypes(request.chopMem);
  setNameFilters(filters_);

  auto* panel = new QWidget(this);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(new QLabel(QStringLiteral("&Depth:"), panel));
  depth_ = new QComboBox(panel);
  depth_->setObjectName(QStringLiteral("depthList"));
  static_cast<QLabel*>(row->itemAt(0)->widget())->setBuddy(depth_);
  row->addWidget(depth_, 1);
  compress_ = new QCheckBox(QStringLiteral("&Compress"), panel);
  compress_->setObjectName(QStringLiteral("compressBox"));
  row->addWidget(compress_);
  row->addWidget(new QLabel(QStringLiteral("JPEG &Quality:"), panel));
  quality_ = new QScrollBar(Qt::Horizontal, panel);
  quality_->setObjectName(QStringLiteral("qualityBar"));
  quality_->setRange(0, 100);
  quality_->setPageStep(10);
  quality_->setMinimumWidth(120);
  quality_->setValue(std::clamp(request.quality, 0, 100));
  static_cast<QLabel*>(row->itemAt(row->count() - 1)->widget())->setBuddy(quality_);
  row->addWidget(quality_);
  qualityEdit_ = new QLineEdit(QString::number(quality_->value()), panel);
  qualityEdit_->setObjectName(QStringLiteral("qualityEdit"));
  qualityEdit_->setValidator(new QIntValidator(0, 100, qualityEdit_));
  qualityEdit_->setFixedWidth(40);
  row->addWidget(qualityEdit_);
  connect(quality_, &QScrollBar::valueChanged, this, [this](int v) { qualityEdit_->setText(QString::number(v)); });
  connect(qualityEdit_, &QLineEdit::editingFinished, this, [this] {
    quality_->setValue(std::clamp(qualityEdit_->text().toInt(), 0, 100));
    qualityEdit_->setText(QString::number(quality_->value()));
  });
  connect(compress_, &QCheckBox::clicked, this, [this](bool on) { userCompress_ = on ? 1 : 0; });
  if (auto* grid = qobject_cast<QGridLayout*>(layout())) {
    grid->addWidget(panel, grid->rowCount(), 0, 1, grid->columnCount());
  } else {
    layout()->addWidget(panel);
  }

  connect(this, &QFileDialog::filterSelected, this, [this](const QString& filter) {
    qsizetype at = filters_.indexOf(filter);
    if (at >= 0 && at < static_cast<qsizetype>(types_.size())) TypeChanged(types_[static_cast<std::size_t>(at)]);
  });
  selectFile(Q(request.name));
  typed_ = Q(request.name);
  // The file dialog puts its filter's extension on the name by itself; the
  // name follows the system's rule instead, from what was typed.
  if (QLineEdit* edit = NameEdit())
    connect(edit, &QLineEdit::textEdited, this, [this](const QString& text) { typed_ = text; });
  SelectType(request.type);
}

QLineEdit* SaveImageDialog::NameEdit() const { return findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }

void SaveImageDialog::SelectType(int type) {
  auto it = std::find(types_.begin(), types_.end(), type);
  if (it == types_.end()) it = types_.begin();
  selectNameFilter(filters_[it - types_.begin()]);
  TypeChanged(*it);
}

// What the dialog hook does whenever the type changes: the depth list, the
// compression box and the quality controls follow the type, and so does
// the name's extension.
void SaveImageDialog::TypeChanged(int type) {
  type_ = type;
  depths_ = OfferedDepths(type);
  depth_->clear();
  for (int e : depths_) depth_->addItem(Q(DepthEntryName(e)));
  const int chosen = PreselectedDepth(type, request_.depthEntry);
  auto at = std::find(depths_.begin(), depths_.end(), chosen);
  depth_->setCurrentIndex(at == depths_.end() ? 0 : static_cast<int>(at - depths_.begin()));

  SaveChoices choices{type, request_.depthEntry, userCompress_, request_.quality, request_.chopMem};
  CompressionBox box = CompressionFor(type, choices);
  compress_->setChecked(box.checked);
  compress_->setEnabled(box.enabled);
  const bool quality = QualityEnabled(type);
  quality_->setEnabled(quality);
  qualityEdit_->setEnabled(quality);

  if (QLineEdit* edit = NameEdit(); edit && !typed_.isEmpty()) {
    typed_ = Q(SaveOutputName(typed_.toStdString(), type));
    edit->setText(typed_);
  }
}

SaveImageRequest SaveImageDialog::Choices() const {
  SaveImageRequest r = request_;
  r.type = type_;
  const int line = depth_->currentIndex();
  r.depthEntry = line >= 0 && line < static_cast<int>(depths_.size()) ? depths_[static_cast<std::size_t>(line)] : -1;
  r.compress = compress_->isChecked() ? 1 : 0;
  r.quality = quality_->value();
  const QStringList files = selectedFiles();
  if (result() == QDialog::Accepted && !files.isEmpty())
    r.name = files.first().toStdString();
  else if (QLineEdit* edit = NameEdit())
    r.name = edit->text().toStdString();
  return r;
}

// The name is completed before the dialog takes it: no extension gets
// ".bmp" and then, like any three-letter one, the chosen type's.
void SaveImageDialog::accept() {
  if (QLineEdit* edit = NameEdit(); edit && !edit->text().isEmpty()) {
    std::string name = SaveOutputName(edit->text().toStdString(), type_);
    edit->setText(Q(SaveOutputName(name, type_)));
  }
  QFileDialog::accept();
}

}  // namespace qv::ui
