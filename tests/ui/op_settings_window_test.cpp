// The Operations menu and the operation settings window, driven offscreen.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>

#include "app/commands.h"
#include "ops/op_state.h"
#include "ops/ui/op_settings_window.h"
#include "ui/ui_test_support.h"

using namespace qv;

class OpSettingsWindowTest : public QObject {
  Q_OBJECT

  ui::OpSettingsWindow* Settings() { return ui::FindOpSettingsWindow(app.window); }
  ui::OpSettingsWindow* Choose(int id) {
    app.window->ActionOf(id)->trigger();
    return Settings();
  }
  static void Type(QLineEdit* edit, const QString& text) {
    edit->setText(text);
    edit->setModified(true);
    Q_EMIT edit->editingFinished();
  }

 private Q_SLOTS:
  void initTestCase() { QVERIFY(app.Start()); }

  void groupsHeadTheOperationsMenu() {
    QMenu* ops = app.window->MenuAt(static_cast<int>(Menu::Operations));
    const auto actions = ops->actions();
    QVERIFY(actions.size() > 11);
    // "&Load Op. Settings File..." holds the L, so the first group takes the next letter.
    QCOMPARE(actions[0]->text(), QStringLiteral("L&ighting Group"));
    QCOMPARE(actions[1]->text(), QStringLiteral("&Plasma Group"));
    int popups = 0;
    for (QAction* a : actions) popups += a->menu() ? 1 : 0;
    QCOMPARE(popups, 11);
    QCOMPARE(actions[0]->menu()->actions().at(0)->data().toInt(), 3111);
    // The menu's own items stay after the groups.
    QVERIFY(actions.contains(app.window->ActionOf(3997)));
    // A fresh system starts on operation 3131.
    QVERIFY(app.window->ActionOf(3131)->isChecked());
  }

  void swirlOpensWithItsAngleRow() {
    ui::OpSettingsWindow* w = Choose(3133);
    QVERIFY(w && w->isVisible());
    QCOMPARE(w->windowTitle(), QStringLiteral("Swirl Settings"));
    QCOMPARE(CurrentOp(), 3133u);
    QVERIFY(app.window->ActionOf(3133)->isChecked());
    QVERIFY(app.window->ActionOf(3997)->isChecked());
    QCOMPARE(w->Rows().size(), std::size_t{1});
    const auto& row = w->Rows()[0];
    QCOMPARE(row.label->text(), QStringLiteral("Angle"));
    QCOMPARE(row.bar->minimum(), -360);
    QCOMPARE(row.bar->maximum(), 360);
    QCOMPARE(row.bar->value(), 100);

    Type(row.edit, QStringLiteral("999"));
    QCOMPARE(ParamValue(3133, 0), 360);
    QCOMPARE(row.bar->value(), 360);
    QCOMPARE(row.edit->text(), QStringLiteral("360"));
    // Steps go through the engine and stop at the range end.
    row.bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    QCOMPARE(ParamValue(3133, 0), 360);
    row.bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(ParamValue(3133, 0), 359);
    QCOMPARE(row.edit->text(), QStringLiteral("359"));
    Type(row.edit, QStringLiteral("no number"));
    QCOMPARE(ParamValue(3133, 0), 359);
  }

  void relabelledRowsSwitchesAndSwatches() {
    QCOMPARE(Choose(3131)->Rows()[0].label->text(), QStringLiteral("Distortion%"));
    // The same window now hosts Asterize: a swatch for the arm colour, switches as check boxes.
    ui::OpSettingsWindow* w = Choose(3111);
    QCOMPARE(w->windowTitle(), QStringLiteral("Asterize Settings"));
    QCOMPARE(w->Swatches().size(), std::size_t{1});
    const auto& rows = w->Rows();
    QVERIFY(rows[7].check && !rows[7].bar);  // "Center Spot"
    rows[7].check->click();
    QCOMPARE(ParamValue(3111, 7), 1);
    Type(rows[0].edit, QStringLiteral("12"));
    QVERIFY(w->Swatches()[0]->styleSheet().contains(QStringLiteral("rgb(12,64,255)")));
    QVERIFY(!rows[0].trend->isEnabled());
    QCOMPARE(Choose(3187)->windowTitle(), QStringLiteral("Sample Contents"));
  }

  void enlargeRowsAreCoupled() {
    TheProgram().ops.oldWidth = 400;
    TheProgram().ops.oldHeight = 300;
    ui::OpSettingsWindow* w = Choose(3173);
    const auto& rows = w->Rows();
    QCOMPARE(ParamValue(3173, 5), 0);  // "Constant zoom" off: dimensions lead
    Type(rows[2].edit, QStringLiteral("1000"));
    QCOMPARE(ParamValue(3173, 0), 250);
    QCOMPARE(rows[0].edit->text(), QStringLiteral("250"));
  }

  void settingsFilesGoThroughTheButtons() {
    ui::OpSettingsWindow* w = Choose(3121);  // Motion Blur
    const QString file = app.Path(QStringLiteral("blur.qvs"));
    Type(w->Rows()[0].edit, QStringLiteral("77"));
    test::AnswerFileDialog(file);
    w->findChild<QPushButton*>(QStringLiteral("saveSettings"))->click();
    QVERIFY(QFile::exists(file));
    Type(w->Rows()[0].edit, QStringLiteral("5"));
    test::AnswerFileDialog(file);
    w->findChild<QPushButton*>(QStringLiteral("loadSettings"))->click();
    QCOMPARE(ParamValue(3121, 0), 77);
    QCOMPARE(Settings()->Rows()[0].edit->text(), QStringLiteral("77"));
  }

  void controlsToggleAndCloseTogether() {
    QVERIFY(Settings());
    app.window->ActionOf(3997)->trigger();
    QVERIFY(!TheProgram().ops.showControls);
    QTRY_VERIFY(!Settings());
    app.window->ActionOf(3997)->trigger();
    QVERIFY(Settings() && Settings()->isVisible());
    // Closed by its frame, the window switches the controls off.
    Settings()->close();
    QVERIFY(!TheProgram().ops.showControls);
    app.window->UpdateCommands();
    QVERIFY(!app.window->ActionOf(3997)->isChecked());
  }

  void cleanupTestCase() { app.Stop(); }

 private:
  test::UiProgram app;
};

QTEST_MAIN(OpSettingsWindowTest)
#include "op_settings_window_test.moc"
