// The "Output Color Reduction" window, driven offscreen.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>

#include "display/colour_reduce.h"
#include "display/ui/colour_reduce_window.h"
#include "ui/ui_test_support.h"

using namespace qv;

class ColourReduceWindowTest : public QObject {
  Q_OBJECT

  ui::ColourReduceWindow* Window() {
    return app.window->findChild<ui::ColourReduceWindow*>(QStringLiteral("reduceClass"));
  }

 private Q_SLOTS:
  void initTestCase() { QVERIFY(app.Start()); }

  void opensFromTheCommandWithTheState() {
    TheProgram().reduce.chooseColors = kPaletteRender;
    TheProgram().reduce.ordered = 1;
    app.window->ActionOf(6700)->trigger();
    ui::ColourReduceWindow* w = Window();
    QVERIFY(w && w->isVisible());
    QCOMPARE(w->windowTitle(), QStringLiteral("Output Color Reduction"));
    QVERIFY(TheProgram().reduce.windowOpen);
    QCOMPARE(w->Sources()->checkedId(), kPaletteRender);
    QCOMPARE(w->Dithers()->checkedId(), 1);
    QCOMPARE(w->Colours()->value(), NumberOfColours());
    QCOMPARE(w->Usage()->rowCount(), NumberOfColours());
    // The command again brings the same window forward.
    app.window->ActionOf(6700)->trigger();
    QCOMPARE(app.window->findChildren<ui::ColourReduceWindow*>().size(), 1);
  }

  void controlsEditTheReductionState() {
    ui::ColourReduceWindow* w = Window();
    w->Sources()->button(kPaletteChoose)->click();
    QCOMPARE(TheProgram().reduce.chooseColors, kPaletteChoose);
    w->Dithers()->button(0)->click();
    QCOMPARE(TheProgram().reduce.ordered, 0);
    w->Lock()->click();
    QCOMPARE(TheProgram().reduce.lockAfterFirst, 1);
    w->Amount()->setValue(40);
    QCOMPARE(TheProgram().reduce.ditherAmount, 40);
    w->Colours()->setValue(16);
    QCOMPARE(NumberOfColours(), 16);
    QCOMPARE(w->Usage()->rowCount(), 16);
  }

  void usageLettersFollowTheSelectionAndTheFiles() {
    ui::ColourReduceWindow* w = Window();
    QTableWidget* table = w->Usage();
    table->clearSelection();
    table->selectRow(2);
    w->findChild<QPushButton*>(QStringLiteral("use2"))->click();
    QCOMPARE(UsageLetter(2), 's');
    QCOMPARE(table->item(2, 1)->text(), QStringLiteral("s"));
    Q_EMIT table->cellDoubleClicked(3, 1);
    QCOMPARE(UsageLetter(3), 'u');

    const QString file = app.Path(QStringLiteral("use.plu"));
    test::AnswerFileDialog(file);
    w->findChild<QPushButton*>(QStringLiteral("saveUse"))->click();
    QVERIFY(QFile::exists(file));
    SetUsage(2, kUsePick);
    SetNumberOfColours(200);
    test::AnswerFileDialog(file);
    w->findChild<QPushButton*>(QStringLiteral("loadUse"))->click();
    QCOMPARE(UsageLetter(2), 's');
    // The window shows what the file said, count included.
    QCOMPARE(w->Colours()->value(), 16);
    QCOMPARE(table->rowCount(), 16);
    QCOMPARE(table->item(2, 1)->text(), QStringLiteral("s"));
  }

  void closingForgetsTheWindow() {
    Window()->close();
    QVERIFY(!TheProgram().reduce.windowOpen);
    QVERIFY(!Window());
  }

  void cleanupTestCase() { app.Stop(); }

 private:
  test::UiProgram app;
};

QTEST_MAIN(ColourReduceWindowTest)
#include "colour_reduce_window_test.moc"
