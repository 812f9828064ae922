#include "capture/ui/capture_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <filesystem>
#include <optional>

#include "anim/sequence.h"
#include "base/host.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "capture/capture.h"
#include "formats/save_choices.h"

namespace qv::ui {
namespace {

constexpr const char* kTitle = "Screen Capture Control";

QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// "Counter:" shows its number as "%04ld".
class CounterBox : public QSpinBox {
 public:
  using QSpinBox::QSpinBox;

 protected:
  QString textFromValue(int value) const override { return QStringLiteral("%1").arg(value, 4, 10, QLatin1Char('0')); }
};

// While the dialog runs the general save choices hold the capture's, so the
// type, depth and compression controls follow the save dialog's rules; the
// general ones come back however the dialog ends.
class SaveChoicesSwap {
 public:
  explicit SaveChoicesSwap(const OutputChoices& capture) : kept_(SavePrefs()) {
    SaveChoices& s = SavePrefs();
    s.type = capture.type;
    s.depth = capture.depth;
    s.compress = capture.compress;
    s.jpegQuality = capture.quality;
  }
  ~SaveChoicesSwap() { SavePrefs() = kept_; }
  SaveChoicesSwap(const SaveChoicesSwap&) = delete;
  SaveChoicesSwap& operator=(const SaveChoicesSwap&) = delete;

 private:
  SaveChoices kept_;
};

}  // namespace

int RunCaptureDialog(QWidget* parent) {
  const CaptureDialogFields start = CaptureDialogStart();
  std::optional<SaveChoicesSwap> swap(std::in_place, start.choices);

  QDialog dialog(parent);
  dialog.setWindowTitle(QString::fromUtf8(kTitle));
  dialog.setObjectName(QStringLiteral("CaptureDlg"));
  auto* form = new QFormLayout;

  auto* delay = new QScrollBar(Qt::Horizontal, &dialog);
  delay->setObjectName(QStringLiteral("Delay"));
  delay->setRange(0, kCaptureMaxDelay);
  delay->setSingleStep(1);
  delay->setPageStep(4);
  delay->setValue(start.delay);
  auto* delayShown = new QLabel(QString::number(start.delay), &dialog);
  delayShown->setObjectName(QStringLiteral("Delay shown"));
  delayShown->setMinimumWidth(24);
  QObject::connect(delay, &QScrollBar::valueChanged, delayShown,
                   [delayShown](int v) { delayShown->setText(QString::number(v)); });
  auto* delayRow = new QHBoxLayout;
  delayRow->addWidget(delay, 1);
  delayRow->addWidget(delayShown);
  form->addRow(QStringLiteral("Delay (seconds)"), delayRow);

  auto* inMemory = new QRadioButton(QStringLiteral("Capture as Image in Memory"), &dialog);
  inMemory->setObjectName(QStringLiteral("Capture as Image in Memory"));
  auto* toFile = new QRadioButton(QStringLiteral("Capture to File"), &dialog);
  toFile->setObjectName(QStringLiteral("Capture to File"));
  (start.inMemory ? inMemory : toFile)->setChecked(true);
  form->addRow(inMemory);
  form->addRow(toFile);

  auto* path = new QLineEdit(Q(start.pathAndName), &dialog);
  path->setObjectName(QStringLiteral("Output Image Path+Name"));
  auto* browse = new QPushButton(QStringLiteral("Browse"), &dialog);
  browse->setAutoDefault(false);
  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(path, 1);
  pathRow->addWidget(browse);
  form->addRow(QStringLiteral("Output Image Path+Name"), pathRow);
  auto* extension = new QLineEdit(Q(start.extension), &dialog);
  extension->setObjectName(QStringLiteral("Extension"));
  form->addRow(QStringLiteral("Extension"), extension);
  auto* counter = new CounterBox(&dialog);
  counter->setObjectName(QStringLiteral("Counter:"));
  counter->setRange(0, static_cast<int>(kCaptureMaxCounter));
  counter->setValue(static_cast<int>(start.counter));
  form->addRow(QStringLiteral("Counter:"), counter);

  auto* type = new QComboBox(&dialog);
  type->setObjectName(QStringLiteral("Save File as Type"));
  for (int k = kSaveBitmap; k <= kSaveToasterFs; ++k)
    if (k != kSaveGif || SavePrefs().chopMem) type->addItem(Q(SaveTypeName(k)), k);
  form->addRow(QStringLiteral("Save File as &Type:"), type);
  auto* depth = new QComboBox(&dialog);
  depth->setObjectName(QStringLiteral("Color Depth:"));
  form->addRow(QStringLiteral("Color Depth:"), depth);
  auto* compress = new QCheckBox(QStringLiteral("Compression"), &dialog);
  compress->setObjectName(QStringLiteral("Compression"));
  form->addRow(compress);
  auto* quality = new QSpinBox(&dialog);  // Page Up and Page Down step by 10
  quality->setObjectName(QStringLiteral("JPEG Quality:"));
  quality->setRange(0, 100);
  quality->setValue(start.choices.quality);
  form->addRow(QStringLiteral("JPEG Quality:"), quality);

  auto selectType = [&](int chosenType, int entry) {
    if (const int at = type->findData(chosenType); at >= 0) {
      const QSignalBlocker quiet(type);
      type->setCurrentIndex(at);
    }
    depth->clear();
    for (int e : OfferedDepths(chosenType)) depth->addItem(Q(DepthEntryName(e)), e);
    depth->setCurrentIndex(std::max(0, depth->findData(PreselectedDepth(chosenType, entry))));
    const CompressionBox box = CompressionFor(chosenType, SavePrefs());
    compress->setChecked(box.checked);
    compress->setEnabled(box.enabled);
    quality->setEnabled(QualityEnabled(chosenType));
  };
  selectType(start.choices.type, start.choices.depth);
  QObject::connect(type, &QComboBox::currentIndexChanged, &dialog,
                   [&](int) { selectType(type->currentData().toInt(), SavePrefs().depth); });
  // A known extension typed chooses its type with that type's usual depth.
  QObject::connect(extension, &QLineEdit::textEdited, &dialog, [&](const QString& text) {
    if (const auto choice = ExtensionChoice(text.toStdString())) selectType(choice->type, choice->depthEntry);
  });
  QObject::connect(browse, &QPushButton::clicked, &dialog, [&] {
    const std::string folder = std::filesystem::path(path->text().toStdString()).parent_path().string();
    const std::string file = TheHost().ChooseSaveFile({"Specify Output File", "All Images (*.*)", folder, false});
    if (file.empty()) return;
    std::string name, ext;
    SplitOutputPath(file, name, ext);
    path->setText(Q(name));
    if (!ext.empty()) {
      extension->setText(Q(DottedExtension(ext)));
      if (const auto choice = ExtensionChoice(ext)) selectType(choice->type, choice->depthEntry);
    }
  });

  bool captureNow = false;
  auto take = [&] {
    CaptureDialogFields f;
    f.delay = delay->value();
    f.inMemory = inMemory->isChecked();
    f.pathAndName = path->text().toStdString();
    f.extension = extension->text().toStdString();
    f.counter = counter->value();
    f.choices.type = type->currentData().toInt();
    f.choices.depth = depth->currentData().toInt();
    f.choices.compress = compress->isChecked() ? 1 : 0;
    f.choices.quality = quality->value();
    TakeCaptureDialog(f);
    dialog.accept();
  };
  auto* ok = new QPushButton(QStringLiteral("&OK"), &dialog);
  ok->setObjectName(QStringLiteral("OK"));
  ok->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("&Cancel"), &dialog);
  cancel->setObjectName(QStringLiteral("Cancel"));
  auto* now = new QPushButton(QStringLiteral("Capture &Now"), &dialog);
  now->setObjectName(QStringLiteral("Capture Now"));
  auto* help = new QPushButton(QStringLiteral("&Help"), &dialog);
  help->setObjectName(QStringLiteral("Help"));
  for (QPushButton* b : {cancel, now, help}) b->setAutoDefault(false);
  QObject::connect(ok, &QPushButton::clicked, &dialog, take);
  QObject::connect(cancel, &QPushButton::clicked, &dialog, &QDialog::reject);
  QObject::connect(now, &QPushButton::clicked, &dialog, [&] {
    captureNow = true;
    take();
  });
  QObject::connect(help, &QPushButton::clicked, &dialog, [] { HelpOn(kTitle); });
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addWidget(now);
  buttons->addWidget(help);

  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addLayout(buttons);
  const bool kept = dialog.exec() == QDialog::Accepted;
  swap.reset();
  if (!kept) return 2;
  if (!captureNow) return 0;
  return CaptureNow();
}

void InstallCaptureTimer(QObject* owner) {
  auto* timer = new QTimer(owner);
  timer->setSingleShot(true);
  QObject::connect(timer, &QTimer::timeout, owner, [] { (void)CaptureTimerTick(); });
  // The hooks outlive the owner until the program's state is dropped.
  QPointer<QTimer> kept(timer);
  CaptureState& c = ScreenCapture();
  c.startTimer = [kept](int, int ms) {
    if (!kept) return false;
    kept->start(ms);
    return kept->isActive();
  };
  c.stopTimer = [kept](int) {
    if (kept) kept->stop();
  };
}

}  // namespace qv::ui
