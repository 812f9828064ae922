// The TimeLine and Trend windows offscreen: opened by their commands and
// buttons, edited with the mouse and their dialogs.
#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QSpinBox>

#include "anim/anim_state.h"
#include "anim/ui/timeline_window.h"
#include "anim/ui/trend_window.h"
#include "app/commands.h"
#include "ops/op_menu.h"
#include "ops/op_state.h"
#include "ops/ui/op_settings_window.h"
#include "ui/ui_test_support.h"

using namespace qv;

namespace {

// Answers the next modal dialog with `act`, then accepts it if still open.
void OnDialog(std::function<void(QDialog*)> act) {
  test::OnNextModal([act](QWidget* w) {
    auto* d = qobject_cast<QDialog*>(w);
    if (!d) return;
    act(d);
    if (d->isVisible()) d->accept();
  });
}

void Press(QWidget* w, const QString& text) {
  for (QAbstractButton* b : w->findChildren<QAbstractButton*>())
    if (b->text() == text) return b->click();
  qWarning("no button %s", qPrintable(text));
}

QPoint Centre(ui::TimeLineGrid* grid, int level, int frame, int row) { return grid->CellRect(level, frame, row).center(); }

}  // namespace

class TimeLineWindowTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() { QVERIFY(app.Start()); }

  void showTimeLineOpensTheGridAndClosingUnchecksIt() {
    TheProgram().ops.current = 3181;  // Contrast
    QVERIFY(CommandAvailable(209));
    app.window->RunCommand(209);
    ui::TimeLineWindow* w = ui::FindTimeLineWindow(app.window->DocumentArea());
    QVERIFY(w);
    QVERIFY(CommandChecked(209));
    QCOMPARE(w->windowTitle(), QStringLiteral("Time Line"));
    QCOMPARE(CellText(kRowOp, CellAt(0, 0, kRowOp)), std::string("Contrast"));
    QVERIFY(w->Status()->text().contains(QStringLiteral("Level:  1")));
    QCOMPARE(w->findChild<QAbstractButton*>(QStringLiteral("Load"))->toolTip(), QStringLiteral("Load TimeLine"));

    // A double click on an empty Area cell keeps the selection there; one
    // on the op opens "TimeOp", whose Remove empties the level.
    ui::TimeLineGrid* grid = w->Grid();
    QTest::mouseDClick(grid, Qt::LeftButton, {}, Centre(grid, 0, 2, kRowArea));
    QVERIFY(IsRecordCell(CellAt(0, 2, kRowArea)));
    QString title;
    OnDialog([&](QDialog* d) {
      title = d->windowTitle();
      Press(d, QStringLiteral("Remove"));
    });
    QTest::mouseDClick(grid, Qt::LeftButton, {}, Centre(grid, 0, 0, kRowOp));
    QCOMPARE(title, QStringLiteral("Time Line Operation: Frame 1, Level 1"));
    QCOMPARE(CellAt(0, 0, kRowOp), kCellEmpty);

    // Dragged with the right button: the area is copied to level 2.
    QTest::mousePress(grid, Qt::RightButton, {}, Centre(grid, 0, 2, kRowArea));
    QTest::mouseRelease(grid, Qt::RightButton, {}, Centre(grid, 1, 4, kRowArea));
    QVERIFY(IsRecordCell(CellAt(1, 4, kRowArea)));
    QCOMPARE(Anim().timeline.cursor.level, 1);

    // Cell Sizing's presets.
    OnDialog([](QDialog* d) { Press(d, QStringLiteral("64 x 48")); });
    Press(w, QStringLiteral("Sizing"));
    QCOMPARE(Anim().timeline.cellWidth, 64);
    QCOMPARE(Anim().timeline.cellHeight, 48);

    app.window->RunCommand(209);
    QVERIFY(!ui::FindTimeLineWindow(app.window->DocumentArea()));
    QVERIFY(!CommandChecked(209));
    QVERIFY2(GridExists(), "closing keeps the grid");
  }

  void aSourceCellWithoutAFileGoesAgain() {
    EraseTimeLine();
    app.window->RunCommand(209);
    ui::TimeLineWindow* w = ui::FindTimeLineWindow(app.window->DocumentArea());
    QVERIFY(w);
    QString title;
    OnDialog([&](QDialog* d) { title = d->windowTitle(); });
    QTest::mouseDClick(w->Grid(), Qt::LeftButton, {}, Centre(w->Grid(), 0, 3, kRowSource));
    QCOMPARE(title, QStringLiteral("Time Line Source Image: Frame 4, Level 1"));
    QVERIFY(!RowExists(0, kRowSource));
    app.window->RunCommand(209);
  }

  void trendWindowsFollowTheirTrends() {
    Trend* t = OpenTrend(14710);
    QVERIFY(t);
    ui::TrendWindow* w = ui::FindTrendWindow(app.window->DocumentArea(), *t);
    QVERIFY(w);
    QCOMPARE(w->windowTitle(), QStringLiteral("Trend - Transparency: Level (Level: 1)"));
    ui::TrendPlot* plot = w->Plot();
    plot->resize(200, 100);
    const int points = t->count;
    QTest::mouseClick(plot, Qt::LeftButton, {}, QPoint(t->plot[0] + (t->plot[2] - t->plot[0]) / 2, t->plot[1] + 5));
    QCOMPARE(t->count, points + 1);
    const QPointF corner(t->plot[0], t->plot[3]);
    QMouseEvent move(QEvent::MouseMove, corner, plot->mapToGlobal(corner), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    QVERIFY(w->findChild<QLabel*>(QStringLiteral("Position"))->text().startsWith(QStringLiteral("F:1, Y:")));
    w->RunCommand(8026);  // Flip
    QCOMPARE(t->values[0], 255 - 255);

    // "Set Trend Extents" keeps the upper extent above the lower one.
    OnDialog([](QDialog* d) {
      d->findChild<QSpinBox*>(QStringLiteral("Upper Extent"))->setValue(40);
      d->findChild<QSpinBox*>(QStringLiteral("Lower Extent"))->setValue(60);
    });
    w->RunCommand(8034);
    QCOMPARE(t->lower, 60);
    QCOMPARE(t->upper, 61);

    w->RunCommand(8031);  // Kill Trend
    QCoreApplication::processEvents();
    QVERIFY(Trends().empty());
  }

  void theOperationsTrendButtonOpensItsTrend() {
    KillAllTrends();
    SelectOperation(3181);
    auto* settings = app.window->findChild<ui::OpSettingsWindow*>();
    QVERIFY(settings);
    settings->findChild<QAbstractButton*>(QStringLiteral("trend0"))->click();
    QCOMPARE(Trends().size(), std::size_t{1});
    QCOMPARE(Trends()[0]->variable, static_cast<TrendVar>(OpOf(3181).slots[0].binding));
    KillAllTrends();
  }

  void cleanupTestCase() { app.Stop(); }

 private:
  test::UiProgram app;
};

QTEST_MAIN(TimeLineWindowTest)
#include "timeline_window_test.moc"
