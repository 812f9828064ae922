// "Sequence Controls" and "Animation (File) Frame Rate", opened through
// their commands and answered offscreen.
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include "anim/anim_state.h"
#include "anim/sequence.h"
#include "app/commands.h"
#include "formats/save_choices.h"
#include "ui/ui_test_support.h"

using namespace qv;

namespace {

int Answer(int command, std::function<void(QDialog*)> answer) {
  bool seen = false;
  test::OnNextModal([&](QWidget* w) {
    auto* dialog = qobject_cast<QDialog*>(w);
    if (!dialog) return;
    seen = true;
    answer(dialog);
    if (dialog->isVisible()) dialog->reject();
  });
  const int result = RouteCommand(command);
  if (!seen) qWarning("command %d showed no dialog", command);
  return result;
}

void PressOk(QDialog* d) { d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click(); }

}  // namespace

class SequenceDialogsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { QVERIFY(app.Start()); }

  void sequenceControlsTakeEveryFieldAndAnExtensionChoosesItsType() {
    Settings& s = TheProgram().settings;
    s.seq.type = kSaveBitmap;
    QString typeShown, depthShown, counterShown;
    QCOMPARE(Answer(613, [&](QDialog* d) {
               QCOMPARE(d->objectName(), QStringLiteral("SeqBox"));
               d->findChild<QSpinBox*>(QStringLiteral("Total Frames:"))->setValue(10);
               d->findChild<QSpinBox*>(QStringLiteral("Current Frame #:"))->setValue(4);
               d->findChild<QLineEdit*>(QStringLiteral("Output Image Path+Name"))->setText(QStringLiteral("/tmp/out/wave"));
               auto* ext = d->findChild<QLineEdit*>(QStringLiteral("Extension"));
               ext->clear();
               QTest::keyClicks(ext, QStringLiteral("tga"));
               auto* counter = d->findChild<QSpinBox*>(QStringLiteral("Counter:"));
               counter->setValue(7);
               counterShown = counter->text();
               typeShown = d->findChild<QComboBox*>(QStringLiteral("Save File as Type"))->currentText();
               depthShown = d->findChild<QComboBox*>(QStringLiteral("Color Depth:"))->currentText();
               PressOk(d);
             }),
             0);
    QCOMPARE(counterShown, QStringLiteral("0007"));
    QCOMPARE(typeShown, QString::fromUtf8(SaveTypeName(kSaveTarga).data()));
    QCOMPARE(depthShown, QString::fromUtf8(DepthEntryName(kDepthAlpha).data()));
    QCOMPARE(FrameCount(), 10);
    QCOMPARE(Anim().timeline.firstFrame, 1);
    QCOMPARE(Anim().timeline.lastFrame, 10);
    QCOMPARE(Anim().timeline.cursor.frame, 3);
    QCOMPARE(s.outPath, std::string("/tmp/out"));
    QCOMPARE(s.outName, std::string("wave"));
    QCOMPARE(s.outExtn, std::string(".tga"));
    QCOMPARE(s.seq.type, static_cast<int>(kSaveTarga));
    QCOMPARE(Sequence().settings.counter, 7L);
    QCOMPARE(RequestFromSettings().outPath, std::string("/tmp/out/wave"));
  }

  void frameRateShowsFramesPerSecondAndJiffies() {
    QString fps, jiffies;
    QCOMPARE(Answer(9493, [&](QDialog* d) {
               d->findChild<QSpinBox*>()->setValue(50);
               fps = d->findChild<QLabel*>(QStringLiteral("Frames per second"))->text();
               jiffies = d->findChild<QLabel*>(QStringLiteral("Jiffies per frame"))->text();
               PressOk(d);
             }),
             0);
    QCOMPARE(fps, QStringLiteral("= 20 frames per second"));
    QCOMPARE(jiffies, QStringLiteral("= 3 jiffies per frame"));
    QCOMPARE(TheProgram().settings.animMillis, 50);
  }

  void cleanupTestCase() { app.Stop(); }

 private:
  test::UiProgram app;
};

QTEST_MAIN(SequenceDialogsTest)
#include "sequence_dialogs_test.moc"
