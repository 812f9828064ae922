// "Screen Capture Control" opened by its command and answered offscreen,
// with a fake screen behind the program's host.
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>

#include "app/commands.h"
#include "capture/capture.h"
#include "formats/save_choices.h"
#include "ui/ui_test_support.h"

using namespace qv;

namespace {

class FakeScreenHost : public ui::QtHost {
 public:
  ScreenPixels GrabScreen() override {
    ScreenPixels s;
    s.width = 4;
    s.height = 2;
    s.depth = 24;
    s.stride = 16;
    s.bytes.assign(32, 0x80);
    return s;
  }
};

int Answer(std::function<void(QDialog*)> answer) {
  test::OnNextModal([answer](QWidget* w) {
    if (auto* dialog = qobject_cast<QDialog*>(w)) answer(dialog);
  });
  return RouteCommand(108);
}

void Press(QDialog* d, const char* name) { d->findChild<QPushButton*>(QString::fromLatin1(name))->click(); }

}  // namespace

class CaptureDialogTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    QVERIFY(dir.isValid());
    qputenv("PIXQV_INI", dir.filePath(QStringLiteral("PIXQV.ini")).toUtf8());
    ResetProgram();
    host = &InstallHost<FakeScreenHost>();
    QCOMPARE(StartUp(), 1);
    window = new ui::MainWindow;
    host->SetWindow(window);
  }

  void typedExtensionChoosesItsTypeAndOkKeepsTheEditsWhileTheSaveChoicesComeBack() {
    SavePrefs().type = kSaveBitmap;
    Prefs().cap = {kSaveAvi, 24, 1, 75};
    int typeDuringDialog = -1;
    QString typeShown, depthShown, counterShown;
    QCOMPARE(Answer([&](QDialog* d) {
               QCOMPARE(d->objectName(), QStringLiteral("CaptureDlg"));
               QCOMPARE(d->windowTitle(), QStringLiteral("Screen Capture Control"));
               typeDuringDialog = SavePrefs().type;
               d->findChild<QScrollBar*>(QStringLiteral("Delay"))->setValue(3);
               d->findChild<QLineEdit*>(QStringLiteral("Output Image Path+Name"))->setText(dir.filePath("shot"));
               auto* ext = d->findChild<QLineEdit*>(QStringLiteral("Extension"));
               ext->clear();
               QTest::keyClicks(ext, QStringLiteral("TGA"));
               auto* counter = d->findChild<QSpinBox*>(QStringLiteral("Counter:"));
               counter->setValue(7);
               counterShown = counter->text();
               typeShown = d->findChild<QComboBox*>(QStringLiteral("Save File as Type"))->currentText();
               depthShown = d->findChild<QComboBox*>(QStringLiteral("Color Depth:"))->currentText();
               Press(d, "OK");
             }),
             0);
    QCOMPARE(typeDuringDialog, static_cast<int>(kSaveAvi));
    QCOMPARE(SavePrefs().type, static_cast<int>(kSaveBitmap));
    QCOMPARE(typeShown, QString::fromUtf8(SaveTypeName(kSaveTarga).data()));
    QCOMPARE(depthShown, QStringLiteral("24/32-bit with Alpha"));
    QCOMPARE(counterShown, QStringLiteral("0007"));
    QCOMPARE(Prefs().capDelay, 3);
    QCOMPARE(QString::fromStdString(Prefs().capFile), dir.filePath("shot.TGA"));
    QCOMPARE(Prefs().cap.type, static_cast<int>(kSaveTarga));
    QCOMPARE(Prefs().capCounter, 7);

    // Cancel forgets what was edited.
    QCOMPARE(Answer([&](QDialog* d) {
               d->findChild<QSpinBox*>(QStringLiteral("Counter:"))->setValue(50);
               Press(d, "Cancel");
             }),
             2);
    QCOMPARE(Prefs().capCounter, 7);
  }

  void captureNowWithoutDelayWritesTheNumberedFileAtOnce() {
    QCOMPARE(Answer([&](QDialog* d) {
               d->findChild<QScrollBar*>(QStringLiteral("Delay"))->setValue(0);
               d->findChild<QRadioButton*>(QStringLiteral("Capture to File"))->setChecked(true);
               Press(d, "Capture Now");
             }),
             0);
    QVERIFY(QFile::exists(dir.filePath("shot0007.TGA")));
    QCOMPARE(Prefs().capCounter, 8);
    QVERIFY(!ScreenCapture().pending);
  }

  void cleanupTestCase() {
    host->SetWindow(nullptr);
    delete window;
    ResetProgram();
  }

 private:
  QTemporaryDir dir;
  FakeScreenHost* host = nullptr;
  ui::MainWindow* window = nullptr;
};

QTEST_MAIN(CaptureDialogTest)
#include "capture_dialog_test.moc"
