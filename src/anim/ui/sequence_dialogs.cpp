#include "anim/ui/sequence_dialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <filesystem>

#include "anim/anim_state.h"
#include "anim/sequence.h"
#include "app/program.h"
#include "base/host.h"
#include "display/views.h"
#include "formats/save_choices.h"

namespace qv::ui {
namespace {

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// "Counter:" shows its number as "%04ld".
class CounterBox : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

 protected:
  QString textFromValue(int value) const override { return QStringLiteral("%1").arg(value, 4, 10, QLatin1Char('0')); }
};

QSpinBox* Spin(QWidget* parent, const QString& name, int lo, int hi, int value, int page = 10) {
  auto* s = new QSpinBox(parent);
  s->setObjectName(name);
  s->setRange(lo, hi);
  s->setValue(value);
  s->setSingleStep(1);
  Q_UNUSED(page);
  return s;
}

}  // namespace

int RunSequenceControls(QWidget* parent) {
  Program& p = TheProgram();
  Settings& s = p.settings;
  TimeLineState& t = p.anim.timeline;
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Sequence Controls"));
  dialog.setObjectName(QStringLiteral("SeqBox"));
  auto* form = new QFormLayout;
  auto* total = Spin(&dialog, QStringLiteral("Total Frames:"), 1, kMaxFrames, t.frames);
  auto* begin = Spin(&dialog, QStringLiteral("Begin Frame #:"), 0, kMaxFrames, t.firstFrame);
  auto* finish = Spin(&dialog, QStringLiteral("Finish Frame #:"), 0, kMaxFrames, t.lastFrame);
  auto* current = Spin(&dialog, QStringLiteral("Current Frame #:"), 0, kMaxFrames + 1, t.cursor.frame + 1);
  form->addRow(QStringLiteral("Total Frames:"), total);
  form->addRow(QStringLiteral("Begin Frame #:"), begin);
  form->addRow(QStringLiteral("Finish Frame #:"), finish);
  form->addRow(QStringLiteral("Current Frame #:"), current);

  auto* save = new QCheckBox(QStringLiteral("Save Result"), &dialog);
  save->setObjectName(QStringLiteral("Save Result"));
  save->setChecked(s.saveResult != 0);
  form->addRow(save);
  auto* path = new QLineEdit(&dialog);
  path->setObjectName(QStringLiteral("Output Image Path+Name"));
  path->setText(Q(s.outPath.empty() ? s.outName : (std::filesystem::path(s.outPath) / s.outName).string()));
  auto* browse = new QPushButton(QStringLiteral("Browse"), &dialog);
  browse->setAutoDefault(false);
  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(path, 1);
  pathRow->addWidget(browse);
  form->addRow(QStringLiteral("Output Image Path+Name"), pathRow);
  auto* extension = new QLineEdit(Q(s.outExtn), &dialog);
  extension->setObjectName(QStringLiteral("Extension"));
  form->addRow(QStringLiteral("Extension"), extension);
  auto* counter = new CounterBox(&dialog);
  counter->setObjectName(QStringLiteral("Counter:"));
  counter->setRange(0, 99999999);
  counter->setValue(static_cast<int>(Sequence().settings.counter));
  form->addRow(QStringLiteral("Counter:"), counter);

  // The types in the order of the list; GIF only while ChopMem offers it.
  auto* type = new QComboBox(&dialog);
  type->setObjectName(QStringLiteral("Save File as Type"));
  for (int k = kSaveBitmap; k <= kSaveToasterFs; ++k)
    if (k != kSaveGif || p.save.chopMem) type->addItem(Q(SaveTypeName(k)), k);
  form->addRow(QStringLiteral("Save File as Type"), type);
  auto* depth = new QComboBox(&dialog);
  depth->setObjectName(QStringLiteral("Color Depth:"));
  form->addRow(QStringLiteral("Color Depth:"), depth);
  auto* compress = new QCheckBox(QStringLiteral("Compression"), &dialog);
  compress->setObjectName(QStringLiteral("Compression"));
  compress->setChecked(s.seq.compress != 0);
  form->addRow(compress);
  auto* quality = Spin(&dialog, QStringLiteral("JPEG Quality:"), 0, 100, s.seq.quality);
  form->addRow(QStringLiteral("JPEG Quality:"), quality);

  auto fillDepths = [&](int chosenType, int entry) {
    depth->clear();
    for (int e : OfferedDepths(chosenType)) depth->addItem(Q(DepthEntryName(e)), e);
    const int at = depth->findData(PreselectedDepth(chosenType, entry));
    depth->setCurrentIndex(std::max(0, at));
    quality->setEnabled(QualityEnabled(chosenType));
  };
  auto selectType = [&](int chosenType, int entry) {
    const int at = type->findData(chosenType);
    if (at >= 0) type->setCurrentIndex(at);
    fillDepths(chosenType, entry);
  };
  selectType(s.seq.type, s.seq.depth);
  QObject::connect(type, &QComboBox::currentIndexChanged, &dialog,
                   [&](int) { fillDepths(type->currentData().toInt(), depth->currentData().toInt()); });
  // A known extension typed chooses its type and that type's usual depth.
  QObject::connect(extension, &QLineEdit::textEdited, &dialog, [&](const QString& text) {
    if (const auto choice = ExtensionChoice(text.toStdString())) selectType(choice->type, choice->depthEntry);
  });
  QObject::connect(browse, &QPushButton::clicked, &dialog, [&] {
    const std::string file = TheHost().ChooseSaveFile({"Specify Output File", "All Images (*.*)", s.outPath, false});
    if (file.empty()) return;
    std::string name, ext;
    SplitOutputPath(file, name, ext);
    path->setText(Q(name));
    if (!ext.empty()) {
      extension->setText(Q(ext));
      if (const auto choice = ExtensionChoice(ext)) selectType(choice->type, choice->depthEntry);
    }
  });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    SequenceRange range{total->value(), begin->value(), finish->value(), current->value()};
    const int result = TakeSequenceRange(range);
    begin->setValue(range.begin);
    finish->setValue(range.finish);
    current->setValue(range.current);
    if (result != 0) return;  // the dialog stays, corrected
    s.saveResult = save->isChecked() ? 1 : 0;
    const std::filesystem::path out(path->text().toStdString());
    s.outPath = out.parent_path().string();
    s.outName = out.filename().string();
    s.outExtn = DottedExtension(extension->text().toStdString());
    s.seq.type = type->currentData().toInt();
    s.seq.depth = depth->currentData().toInt();
    s.seq.compress = compress->isChecked() ? 1 : 0;
    s.seq.quality = quality->value();
    Sequence().settings.counter = counter->value();
    dialog.accept();
  });
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(buttons);
  return dialog.exec() == QDialog::Accepted ? 0 : 2;
}

void InstallSequenceHooks() {
  Sequence().showAction = [](ImageRecord* image) {
    if (!image || Prefs().inhibitDisplay) return;
    std::vector<ViewRecord*> shown = ViewsOf(image);
    if (shown.empty()) {
      if (ViewRecord* view = OpenView(image)) shown.push_back(view);
    }
    if (!shown.empty()) SetActionView(shown.front());
  };
}

int RunFrameRate(QWidget* parent) {
  Settings& s = TheProgram().settings;
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Animation (File) Frame Rate"));
  dialog.setObjectName(QStringLiteral("Animation (File) Frame Rate"));
  auto* millis = Spin(&dialog, QStringLiteral("Milliseconds per frame"), 1, 10000, std::max(1, s.animMillis));
  auto* fps = new QLabel(&dialog);
  fps->setObjectName(QStringLiteral("Frames per second"));
  auto* jiffies = new QLabel(&dialog);
  jiffies->setObjectName(QStringLiteral("Jiffies per frame"));
  auto show = [&](int m) {
    fps->setText(QStringLiteral("= %1 frames per second").arg(FramesPerSecond(m)));
    jiffies->setText(QStringLiteral("= %1 jiffies per frame").arg(JiffiesPerFrame(m)));
  };
  show(millis->value());
  QObject::connect(millis, &QSpinBox::valueChanged, &dialog, show);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Milliseconds per frame"), millis);
  form->addRow(fps);
  form->addRow(jiffies);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) return 2;
  s.animMillis = millis->value();
  if (TheProgram().anim.redrawTimeLine) TheProgram().anim.redrawTimeLine();
  return 0;
}

}  // namespace qv::ui
